#!/usr/bin/env bash
# The real OrvaneScope on a virtual screen with the fusion camera's two sources, in English and in
# Chinese:
#  1. `OrvaneScope FUSION.raw` on a recording the simulated Tandem made (`orvane record`) replays it;
#  2. `OrvaneScope --camera SERIAL` shows the simulated Tandem live.
# Each screenshot must show the fusion picture: a white border around the APS picture, with red
# (ON) and blue (OFF) event pixels on it, and a picture that changes. The statistics lines are
# kept for the figures (pictures shown per second, longest GUI stall); a replay builds one picture
# per recorded frame.
#   test_viewer_fusion.sh BIN_DIR DATA_DIR
set -euo pipefail
BIN=$(cd "$1" && pwd)

if ! command -v xvfb-run >/dev/null; then
  echo "SKIP: xvfb-run is not installed (package xvfb)"
  exit 0
fi
for prog in OrvaneScope orvane; do
  if [ ! -x "$BIN/$prog" ]; then
    echo "SKIP: $BIN/$prog is not built"
    exit 0
  fi
done
CONVERT=/usr/bin/convert
[ -x "$CONVERT" ] || CONVERT=$(command -v convert)
IMPORT=/usr/bin/import
[ -x "$IMPORT" ] || IMPORT=$(command -v import)
COMPARE=/usr/bin/compare
[ -x "$COMPARE" ] || COMPARE=$(command -v compare)

export SCREEN_LIB="$(cd "$(dirname "$0")" && pwd)/screen_lib.sh"
work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/run" "$work/cwd-en" "$work/cwd-zh"
chmod 700 "$work/run"
printf '[Setting]\nlanguage=zh\n' > "$work/cwd-zh/config.ini"

export ORVANE_SIM_CAMERAS="tandem:TD-E2E-FUSION"
export ORVANE_SIM_FAST_PAUSES=1
if ! "$BIN/orvane" record TD-E2E-FUSION "$work/take.raw" --seconds 3 > "$work/record.log" 2>&1; then
  echo "FAIL: could not record from the simulated Tandem"
  cat "$work/record.log"
  exit 1
fi
[ -s "$work/take.mp4" ] || { echo "FAIL: the recording has no mp4"; exit 1; }

cat > "$work/inside.sh" <<'INSIDE'
#!/usr/bin/env bash
# Runs on the virtual display; writes what it saw into $work/seen for the checks outside.
set -u
work=$1 bin=$2 import=$3 convert=$4 compare=$5
source "$SCREEN_LIB"

# Waits until the window shows a fusion picture: the navy title bar, a wide white area (the
# picture's border) with red and blue pixels inside it. Leaves the picture's box in pw ph px py.
wait_fusion() {
  local pid=$1 name=$2 t0=$SECONDS shot="$work/probe.png"
  while [ $((SECONDS - t0)) -lt 90 ]; do
    sleep 0.5
    kill -0 "$pid" 2>/dev/null || { echo "${name}_died yes" >> "$work/seen"; return 1; }
    "$import" -window root "$shot" 2>/dev/null || continue
    read -r tw th tx ty tn < <(colour_box "$shot" '#004B6A' 4)
    read -r pw ph px py pn < <(colour_box "$shot" '#FFFFFF' 4)
    [ "$tw" -ge 1200 ] && [ "$pw" -ge 800 ] && [ "$ph" -ge 400 ] || continue
    "$convert" "$shot" -crop "${pw}x${ph}+${px}+${py}" +repage "$work/${name}_pic.png"
    [ "$(near_count "$work/${name}_pic.png" '#FF0000')" -gt 20 ] || continue
    [ "$(near_count "$work/${name}_pic.png" '#0000FF')" -gt 20 ] || continue
    cp "$shot" "$work/$name.png"
    return 0
  done
  return 1
}

# What one fusion picture shows: events, a white border and the APS picture inside it.
describe() {  # describe NAME
  local pic="$work/$1_pic.png" w h
  read -r w h < <("$convert" "$pic" -format '%w %h' info:)
  # The border: a strip inside the left edge (the picture starts 67 of 1280 columns in).
  "$convert" "$pic" -crop "$((w * 3 / 100))x$((h / 2))+$((w / 200))+$((h / 4))" +repage "$work/$1_border.png"
  # The middle of the APS picture.
  "$convert" "$pic" -crop "$((w / 2))x$((h / 2))+$((w / 4))+$((h / 4))" +repage "$work/$1_middle.png"
  {
    echo "$1_red $(near_count "$pic" '#FF0000')"
    echo "$1_blue $(near_count "$pic" '#0000FF')"
    echo "$1_border_white $("$convert" "$work/$1_border.png" -alpha off -fill white -opaque white -fill black +opaque white -format '%[fx:round(100*mean)]' info:)"
    echo "$1_middle_white $("$convert" "$work/$1_middle.png" -alpha off -fill white -opaque white -fill black +opaque white -format '%[fx:round(100*mean)]' info:)"
  } >> "$work/seen"
}

stop_viewer() {
  kill -TERM "$1" 2>/dev/null
  for _ in $(seq 50); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$1" 2>/dev/null
  wait "$1" 2>/dev/null
}

run() {  # run NAME LANGUAGE ARGS...
  local name=$1 lang=$2
  shift 2
  cd "$work/cwd-$lang"
  # Each start takes over its working folder's config.ini (as from an older version) afresh.
  rm -f "$work/home/.config/OrvaneScope/config.ini"
  ORVANE_SCOPE_STATS=1 "$bin/OrvaneScope" "$@" > "$work/$name.log" 2>&1 &
  local pid=$!
  if wait_fusion "$pid" "$name"; then
    echo "${name}_window ok" >> "$work/seen"
    describe "$name"
    sleep 1
    "$import" -window root "$work/${name}_later.png"
    "$convert" "$work/${name}_later.png" -crop "${pw}x${ph}+${px}+${py}" +repage "$work/${name}_later_pic.png"
    echo "${name}_changed $(differ "$work/${name}_pic.png" "$work/${name}_later_pic.png")" >> "$work/seen"
    sleep 3  # a few statistics lines, and a replay played out
  else
    echo "${name}_window none" >> "$work/seen"
  fi
  stop_viewer "$pid"
}

: > "$work/seen"
run replay_en en "$work/take.raw"
run live_en en --camera TD-E2E-FUSION
run replay_zh zh "$work/take.raw"
run live_zh zh --camera TD-E2E-FUSION
exit 0
INSIDE

HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1600x1000x24" \
  bash "$work/inside.sh" "$work" "$BIN" "$IMPORT" "$CONVERT" "$COMPARE"

value() { awk -v k="$1" '$1 == k { print $2 }' "$work/seen" | tail -1; }
fail() {
  echo "FAIL: $*"
  echo "--- seen"; cat "$work/seen"
  for log in "$work"/*_en.log "$work"/*_zh.log; do
    [ -f "$log" ] && { echo "--- $(basename "$log")"; tail -15 "$log"; }
  done
  exit 1
}
cat "$work/seen"
frames=$(sed -n 's/^\([0-9]*\) frames recorded of .*/\1/p' "$work/record.log")
[ -n "$frames" ] && [ "$frames" -gt 0 ] || fail "the recording holds no frames: $(cat "$work/record.log")"
for name in replay_en live_en replay_zh live_zh; do
  [ "$(value ${name}_window)" = ok ] || fail "$name: no fusion picture (white border, red and blue events) seen"
  # Events fall on the border too; most of it stays white.
  [ "$(value ${name}_border_white)" -ge 60 ] || fail "$name: the picture's left border is not white"
  [ "$(value ${name}_middle_white)" -le 20 ] || fail "$name: no APS picture inside the border"
  grep -q "stats: shown=[1-9]" "$work/$name.log" || fail "$name: no statistics line with pictures shown"
  echo "$name statistics:"
  grep "stats:" "$work/$name.log" | grep -v "shown=0 built=0" | tail -4
done
for name in live_en live_zh; do
  [ "$(value ${name}_changed)" -gt 0 ] || fail "$name: the live picture did not change in a second"
done
# A replay shows every recorded frame once (it may be over before the first screenshot).
for name in replay_en replay_zh; do
  built=$(sed -n 's/^stats: shown=[0-9]* built=\([0-9]*\) .*/\1/p' "$work/$name.log" | awk '{ s += $1 } END { print s + 0 }')
  # (the statistics of the last second may not be written before the viewer is ended)
  [ "$built" -le "$frames" ] && [ "$built" -ge $((frames * 8 / 10)) ] ||
    fail "$name: $built pictures built for $frames recorded frames"
done
echo "PASS"
