#!/usr/bin/env bash
# The real OrvaneScope on a virtual screen, used as a person would from the command line:
#  1. `OrvaneScope FILE.raw` plays: two screenshots a second apart differ, both show ON and OFF
#     events on the grey picture, and the time label moves on; Space pauses (the picture then holds).
#  2. `OrvaneScope --camera SERIAL` streams the simulated camera: the picture changes, events show,
#     and the statistics line reports pictures shown and an event rate.
#   test_viewer_play.sh BIN_DIR DATA_DIR
set -euo pipefail
BIN=$(cd "$1" && pwd)
DATA=${2:-}

for tool in xvfb-run xdotool; do
  if ! command -v $tool >/dev/null; then
    echo "SKIP: $tool is not installed (scripts/install-deps.sh installs it)"
    exit 0
  fi
done
if [ ! -x "$BIN/OrvaneScope" ]; then
  echo "SKIP: $BIN/OrvaneScope is not built (ORVANE_BUILD_VIEWER=OFF)"
  exit 0
fi
CONVERT=/usr/bin/convert
[ -x "$CONVERT" ] || CONVERT=$(command -v convert)
IMPORT=/usr/bin/import
[ -x "$IMPORT" ] || IMPORT=$(command -v import)
COMPARE=/usr/bin/compare
[ -x "$COMPARE" ] || COMPARE=$(command -v compare)

export SCREEN_LIB="$(cd "$(dirname "$0")" && pwd)/screen_lib.sh"
work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/run" "$work/cwd"
chmod 700 "$work/run"

# A recording long enough to play for a while: the 1280 x 720 reference repeated.
ref="$DATA/eccodecs_evt3_trigger.raw"
[ -f "$ref" ] || { echo "SKIP: $ref is missing"; exit 0; }
cp "$ref" "$work/ref.raw"
# About 100 s of playing, so a slow start on a busy machine still finds it playing.
[ -x "$BIN/orvane_rawtool" ] || { echo "SKIP: $BIN/orvane_rawtool is not built (ORVANE_BUILD_BENCH=OFF)"; exit 0; }
"$BIN/orvane_rawtool" loop "$work/ref.raw" "$work/long.raw" --bytes 60000000 >/dev/null
recording="$work/long.raw"

cat > "$work/inside.sh" <<'INSIDE'
#!/usr/bin/env bash
# Runs on the virtual display; writes what it saw into $work for the checks outside.
set -u
work=$1 bin=$2 import=$3 convert=$4 compare=$5 recording=$6
source "$SCREEN_LIB"

# Waits for the main window (a wide navy title bar over a grey picture); sets geometry variables.
wait_main() {
  local pid=$1 t0=$SECONDS shot="$work/probe.png"
  while [ $((SECONDS - t0)) -lt 60 ]; do
    sleep 0.5
    kill -0 "$pid" 2>/dev/null || return 1
    "$import" -window root "$shot" 2>/dev/null || continue
    read -r tw th tx ty tn < <(colour_box "$shot" '#004B6A')
    read -r gw gh gx gy gn < <(colour_box "$shot" '#707070')
    if [ "$tw" -ge 1200 ] && [ "$th" -ge 40 ] && [ "$gw" -ge 900 ] && [ "$gh" -ge 500 ]; then
      read -r pw ph px py pn < <(colour_box "$shot" '#F5F6F7')
      return 0
    fi
  done
  return 1
}

# Screenshot pair a second apart: picture crops and time-label crops.
shoot_pair() {  # shoot_pair NAME
  local a="$work/$1_a.png" b="$work/$1_b.png"
  "$import" -window root "$a"
  sleep 1
  "$import" -window root "$b"
  for s in a b; do
    "$convert" "$work/$1_$s.png" -crop "${gw}x${gh}+${gx}+${gy}" +repage "$work/$1_${s}_pic.png"
    # The time label sits at the right end of the play bar's first row.
    "$convert" "$work/$1_$s.png" -crop "220x34+$((px + pw - 236))+$((py + ph - 84))" +repage "$work/$1_${s}_time.png"
  done
  {
    echo "$1_pic_differ $(differ "$work/$1_a_pic.png" "$work/$1_b_pic.png")"
    echo "$1_time_differ $(differ "$work/$1_a_time.png" "$work/$1_b_time.png")"
    for s in a b; do
      echo "$1_${s}_on $(colour_count "$work/$1_${s}_pic.png" '#BFBCB4')"
      echo "$1_${s}_off $(colour_count "$work/$1_${s}_pic.png" '#403D33')"
      echo "$1_${s}_grey $(colour_count "$work/$1_${s}_pic.png" '#707070')"
      echo "$1_${s}_timeink $(colour_count "$work/$1_${s}_time.png" '#555555')"
    done
  } >> "$work/seen"
}

stop_viewer() {
  kill -TERM "$1" 2>/dev/null
  for _ in $(seq 50); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$1" 2>/dev/null
  wait "$1" 2>/dev/null
}

cd "$work/cwd"
: > "$work/seen"

# 1. A recording on the command line.
ORVANE_SCOPE_STATS=1 "$bin/OrvaneScope" "$recording" > "$work/file.log" 2>&1 &
pid=$!
if wait_main "$pid"; then
  echo "file_window ok" >> "$work/seen"
  sleep 1
  shoot_pair file
  wid=$(xdotool search --onlyvisible --name '^OrvaneScope' | head -1)
  if [ -n "$wid" ]; then
    # No window manager here: a click on the picture gives the window the keyboard.
    xdotool mousemove $((gx + gw / 2)) $((gy + gh / 2)) click 1
    sleep 0.5
    xdotool key space
    sleep 1
    shoot_pair paused
  fi
else
  echo "file_window none" >> "$work/seen"
fi
stop_viewer "$pid"

# 2. A simulated camera by its serial.
ORVANE_SIM_CAMERAS=kestrel:KE_E2E ORVANE_SIM_RATE=3000000 ORVANE_SCOPE_STATS=1 \
  "$bin/OrvaneScope" --camera KE_E2E > "$work/camera.log" 2>&1 &
pid=$!
if wait_main "$pid"; then
  echo "camera_window ok" >> "$work/seen"
  sleep 2
  shoot_pair camera
else
  echo "camera_window none" >> "$work/seen"
fi
stop_viewer "$pid"
exit 0
INSIDE

HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1600x1000x24" \
  bash "$work/inside.sh" "$work" "$BIN" "$IMPORT" "$CONVERT" "$COMPARE" "$recording"

value() { awk -v k="$1" '$1 == k { print $2 }' "$work/seen" | tail -1; }
fail() {
  echo "FAIL: $*"
  echo "--- seen"; cat "$work/seen"
  echo "--- file log"; tail -20 "$work/file.log" 2>/dev/null || true
  echo "--- camera log"; tail -20 "$work/camera.log" 2>/dev/null || true
  exit 1
}
cat "$work/seen"

[ "$(value file_window)" = ok ] || fail "no main window with the recording"
[ "$(value file_pic_differ)" -gt 0 ] || fail "the playing recording's picture did not change in a second"
[ "$(value file_time_differ)" -gt 0 ] || fail "the time label did not move on while playing"
[ "$(value file_a_timeink)" -gt 20 ] || fail "no time label text found where it belongs"
for s in a b; do
  [ "$(value file_${s}_on)" -gt 20 ] || fail "screenshot $s of the recording shows no ON events"
  [ "$(value file_${s}_off)" -gt 20 ] || fail "screenshot $s of the recording shows no OFF events"
  [ "$(value file_${s}_grey)" -gt "$(( $(value file_${s}_on) * 5 ))" ] || fail "screenshot $s is not events on grey"
done
[ -n "$(value paused_pic_differ)" ] || fail "could not send Space to the window"
[ "$(value paused_pic_differ)" -eq 0 ] || fail "Space did not pause: the picture kept changing"
grep -q "stats: shown=[1-9]" "$work/file.log" || fail "no statistics line with pictures shown"

[ "$(value camera_window)" = ok ] || fail "no main window with the camera"
[ "$(value camera_pic_differ)" -gt 0 ] || fail "the live camera's picture did not change in a second"
for s in a b; do
  [ "$(value camera_${s}_on)" -gt 20 ] || fail "screenshot $s of the camera shows no ON events"
  [ "$(value camera_${s}_off)" -gt 20 ] || fail "screenshot $s of the camera shows no OFF events"
done
grep -Eq "stats: shown=[1-9][0-9]* built=[0-9]+ events=[0-9]+ stall_ms=[0-9]+ rate_eps=[1-9]" "$work/camera.log" ||
  fail "no statistics line with pictures shown and an event rate from the camera"
echo "PASS"
