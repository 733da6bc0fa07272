#!/usr/bin/env bash
# Starts the real OrvaneScope on a virtual screen with a recording on its command line and looks
# at it as a person would: first the splash (a navy title strip over a light 500 x 360 panel),
# then the main window (a navy title bar across the top of a 1280-wide window and the grey 16:9
# image area below it). A blank or missing window fails.
#   test_viewer_smoke.sh BIN_DIR DATA_DIR
set -euo pipefail
BIN=$(cd "$1" && pwd)
DATA=${2:-}

if ! command -v xvfb-run >/dev/null; then
  echo "SKIP: xvfb-run is not installed (package xvfb)"
  exit 0
fi
if [ ! -x "$BIN/OrvaneScope" ]; then
  echo "SKIP: $BIN/OrvaneScope is not built (ORVANE_BUILD_VIEWER=OFF)"
  exit 0
fi
CONVERT=/usr/bin/convert
[ -x "$CONVERT" ] || CONVERT=$(command -v convert)
IMPORT=/usr/bin/import
[ -x "$IMPORT" ] || IMPORT=$(command -v import)

export SCREEN_LIB="$(cd "$(dirname "$0")" && pwd)/screen_lib.sh"
work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/run" "$work/cwd"
chmod 700 "$work/run"
recording=""
for f in "$DATA"/*.raw; do
  [ -e "$f" ] || continue
  cp "$f" "$work/"
  recording="$work/$(basename "$f")"
  break
done

cat > "$work/inside.sh" <<'INSIDE'
#!/usr/bin/env bash
# Runs on the virtual display: starts the viewer and takes screenshots until it has seen the
# splash and then the main window, or until time runs out (start-up is slow on a busy machine).
set -u
work=$1 bin=$2 import=$3 convert=$4 recording=$5
source "$SCREEN_LIB"

is_splash() {
  local sw sh sx sy sn pw ph px py pn
  read -r sw sh sx sy sn < <(colour_box "$1" '#004B6A')
  read -r pw ph px py pn < <(colour_box "$1" '#F2F2F2')
  echo "  navy ${sw}x${sh}+${sx}+${sy} (${sn} px), panel ${pw}x${ph}+${px}+${py} (${pn} px)"
  [ "$sw" -ge 480 ] && [ "$sw" -le 520 ] && [ "$sn" -ge $((480 * 30)) ] &&
    [ "$pw" -ge 480 ] && [ "$pw" -le 520 ] && [ "$ph" -ge 280 ] && [ "$ph" -le 360 ] && [ "$py" -ge "$sy" ]
}

is_main() {
  local tw th tx ty tn gw gh gx gy gn
  # The title bar is the navy above the picture (the play bar below it has navy icons and slider).
  read -r gw gh gx gy gn < <(colour_box "$1" '#707070')
  [ "$gy" -gt 0 ] || return 1
  read -r tw th tx ty tn < <(colour_box "$1" '#004B6A' 2 "$gy")
  echo "  title bar ${tw}x${th}+${tx}+${ty} (${tn} px), image ${gw}x${gh}+${gx}+${gy} (${gn} px)"
  [ "$tw" -ge 1200 ] && [ "$th" -ge 40 ] && [ "$th" -le 60 ] && [ "$tn" -ge $((tw * th * 7 / 10)) ] || return 1
  [ "$gw" -ge 900 ] && [ "$gh" -ge 500 ] && [ "$gn" -ge $((gw * gh * 95 / 100)) ] || return 1
  [ "$gy" -ge $((ty + th)) ] && [ "$gx" -ge "$tx" ] && [ $((gx + gw)) -le $((tx + tw)) ] || return 1
  local ratio=$((gw * 1000 / gh))
  [ "$ratio" -ge 1740 ] && [ "$ratio" -le 1820 ]
}

cd "$work/cwd"
args=()
[ -n "$recording" ] && args=("$recording")
"$bin/OrvaneScope" "${args[@]}" > "$work/viewer.log" 2>&1 &
pid=$!
start=$SECONDS
# Screenshots are taken as fast as the machine allows and looked at afterwards: judging one takes
# seconds on a busy machine, longer than the splash stays up. Every eighth one is judged at once to
# see whether the main window is up yet.
n=0
main_seen=0
while [ $((SECONDS - start)) -lt 60 ]; do
  sleep 0.2
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "viewer exited early" > "$work/died"
    break
  fi
  n=$((n + 1))
  "$import" -window root "$work/shot$n.png" 2>/dev/null || { rm -f "$work/shot$n.png"; continue; }
  if [ $((n % 8)) -eq 0 ] && is_main "$work/shot$n.png" >/dev/null; then
    main_seen=1
    break
  fi
done
state=splash
for i in $(seq 1 "$n"); do
  shot="$work/shot$i.png"
  [ -e "$shot" ] || continue
  echo "look $i ($state):"
  if [ $state = splash ]; then
    if is_splash "$shot"; then
      cp "$shot" "$work/splash.png"
      state=main
    elif is_main "$shot"; then
      echo "main window without a splash first" > "$work/nosplash"
      break
    fi
  elif is_main "$shot"; then
    cp "$shot" "$work/main.png"
    state=done
    break
  fi
done
[ $main_seen = 1 ] || echo "  (the main window was not seen within the time allowed)"
[ -e "$work/keep-shots" ] || rm -f "$work"/shot*.png
echo "$state" > "$work/state"
# A termination signal ends the viewer like a normal quit: exit code 0, settings written.
kill -TERM "$pid" 2>/dev/null
for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -KILL "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
echo $? > "$work/exit-code"
exit 0
INSIDE

HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1600x1000x24" \
  bash "$work/inside.sh" "$work" "$BIN" "$IMPORT" "$CONVERT" "$recording"

fail() {
  echo "FAIL: $*"
  echo "--- viewer log"
  cat "$work/viewer.log" 2>/dev/null || true
  exit 1
}
[ -e "$work/died" ] && fail "the viewer exited while being watched"
[ -e "$work/nosplash" ] && fail "the main window came without the splash"
state=$(cat "$work/state" 2>/dev/null || echo none)
case $state in
  done) ;;
  splash) fail "no splash (navy strip over a light panel) seen" ;;
  main) fail "splash seen, but no main window with its title bar and grey image area" ;;
  *) fail "no screenshots" ;;
esac
grep -q "OrvaneScope Version: 1.0.3" "$work/viewer.log" || fail "no version line in the log"
code=$(cat "$work/exit-code")
[ "$code" = 0 ] || fail "the viewer did not end cleanly on SIGTERM (exit code $code)"
# Written back at exit in the user's configuration folder (not the working directory), with the
# defaults of a first start.
ini="$work/home/.config/OrvaneScope/config.ini"
[ -f "$ini" ] || fail "config.ini not written at exit"
[ ! -e "$work/cwd/config.ini" ] || fail "config.ini written in the working directory"
data="$work/home/Documents/OrvaneData"
# A recording opened from the command line becomes the folder the next "Open Recording" starts in.
input=$data
[ -n "$recording" ] && input=$(dirname "$recording")
for line in "language=en" "output_raw_file_path=$data" "input_raw_file_path=$input" "video_save_path=$data"; do
  grep -qxF "$line" "$ini" || fail "config.ini lacks '$line': $(cat "$ini")"
done
[ -d "$data" ] || fail "default data folder $data not created"
echo "PASS"
