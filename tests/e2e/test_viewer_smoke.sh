#!/usr/bin/env bash
# Starts the real OrvaneScope on a virtual screen with a recording on its command line, waits for
# the splash and then the main window, and checks the screenshots: the splash's navy title strip,
# then the main window's navy title bar across the top and the grey image area below it. A blank
# or missing window fails.
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
[ -x "$CONVERT" ] || CONVERT=convert
IMPORT=/usr/bin/import
[ -x "$IMPORT" ] || IMPORT=import

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
# Runs on the virtual display: start the viewer, collect screenshots, stop it.
set -u
work=$1 bin=$2 import=$3 recording=$4
cd "$work/cwd"
if [ -n "$recording" ]; then
  "$bin/OrvaneScope" "$recording" > "$work/viewer.log" 2>&1 &
else
  "$bin/OrvaneScope" > "$work/viewer.log" 2>&1 &
fi
pid=$!
# The splash: a few looks within its two seconds (start-up time varies).
for i in 1 2 3 4; do
  sleep 0.5
  "$import" -window root "$work/splash$i.png"
done
# The main window: once the splash has gone.
sleep 2.5
"$import" -window root "$work/main.png"
if ! kill -0 "$pid" 2>/dev/null; then
  echo "viewer exited early" > "$work/died"
fi
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
exit 0
INSIDE

HOME="$work/home" XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1600x1000x24" bash "$work/inside.sh" "$work" "$BIN" "$IMPORT" "$recording"

fail() {
  echo "FAIL: $*"
  echo "--- viewer log"
  cat "$work/viewer.log" 2>/dev/null || true
  exit 1
}
[ -e "$work/died" ] && fail "the viewer exited before the screenshot"
[ -s "$work/main.png" ] || fail "no screenshot taken"

# Bounding box (W H X Y) and pixel count of one exact colour in a screenshot.
colour_box() {  # colour_box FILE COLOUR
  local mask="$work/mask.png"
  # Opening the mask drops stray pixels of the same colour (anti-aliased text).
  "$CONVERT" "$1" -alpha off -fill black -opaque white -fill white -opaque "$2" -fill black +opaque white \
    -morphology Open Square:2 "$mask"
  local count
  count=$("$CONVERT" "$mask" -format '%[fx:round(mean*w*h)]' info:)
  if [ "$count" -eq 0 ]; then
    echo "0 0 0 0 0"
    return
  fi
  local box
  box=$("$CONVERT" "$mask" -format '%@' info:)  # WxH+X+Y, no newline
  echo "${box//[x+]/ } $count"
}

NAVY='#004B6A'
GREY='#707070'

# Splash: a light 500 x 360 panel under a navy title strip (the logo is navy too).
splash_seen=""
for i in 1 2 3 4; do
  read -r sw sh sx sy sn < <(colour_box "$work/splash$i.png" "$NAVY")
  read -r pw ph px py pn < <(colour_box "$work/splash$i.png" '#F2F2F2')
  echo "look $i: splash navy ${sw}x${sh}+${sx}+${sy} (${sn} px), panel ${pw}x${ph}+${px}+${py} (${pn} px)"
  if [ "$sw" -ge 480 ] && [ "$sw" -le 520 ] && [ "$sn" -ge $((480 * 30)) ] &&
     [ "$pw" -ge 480 ] && [ "$pw" -le 520 ] && [ "$ph" -ge 280 ] && [ "$ph" -le 360 ] && [ "$py" -ge "$sy" ]; then
    splash_seen=$i
    break
  fi
done
[ -n "$splash_seen" ] || fail "no splash (navy strip over a light panel) in the first two seconds"

# Main window: a navy title bar across the window's top ...
read -r tw th tx ty tn < <(colour_box "$work/main.png" "$NAVY")
echo "title bar: ${tw}x${th}+${tx}+${ty} (${tn} px)"
[ "$tw" -ge 1200 ] || fail "title bar missing or too narrow (${tw} px)"
[ "$th" -ge 40 ] && [ "$th" -le 60 ] || fail "title bar height ${th} px"
[ "$tn" -ge $((tw * th * 7 / 10)) ] || fail "title bar not filled (${tn} of $((tw * th)) px)"

# ... and the grey picture below it, within the window's width, filling its own box.
read -r gw gh gx gy gn < <(colour_box "$work/main.png" "$GREY")
echo "image area: ${gw}x${gh}+${gx}+${gy} (${gn} px)"
[ "$gw" -ge 900 ] && [ "$gh" -ge 500 ] || fail "grey image area missing or small (${gw}x${gh})"
[ "$gy" -ge $((ty + th)) ] || fail "image area not below the title bar"
[ "$gx" -ge "$tx" ] && [ $((gx + gw)) -le $((tx + tw)) ] || fail "image area outside the window"
[ "$gn" -ge $((gw * gh * 95 / 100)) ] || fail "image area not uniformly grey (${gn} of $((gw * gh)) px)"
# 16:9 picture
ratio=$((gw * 1000 / gh))
[ "$ratio" -ge 1740 ] && [ "$ratio" -le 1820 ] || fail "image area is not 16:9 (${gw}x${gh})"

grep -q "OrvaneScope Version: 1.0.3" "$work/viewer.log" || fail "no version line in the log"
echo "PASS"
