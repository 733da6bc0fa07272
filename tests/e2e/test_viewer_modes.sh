#!/usr/bin/env bash
# The real OrvaneScope on a virtual screen in the display modes a user picks (kept in config.ini):
#  1. time surface in the dark theme: black, events in white fading through greys;
#  2. ON events only in the light theme: white with red events and not one blue (OFF) pixel;
#  3. the default grey picture in Chinese, with the activity strip under the slider.
# SHOTS=DIR keeps the screenshots there.
#   test_viewer_modes.sh BIN_DIR DATA_DIR
set -euo pipefail
BIN=$(cd "$1" && pwd)
DATA=${2:-}

for tool in xvfb-run xdotool; do
  command -v $tool >/dev/null || { echo "SKIP: $tool is not installed (scripts/install-deps.sh installs it)"; exit 0; }
done
[ -x "$BIN/OrvaneScope" ] || { echo "SKIP: $BIN/OrvaneScope is not built (ORVANE_BUILD_VIEWER=OFF)"; exit 0; }
[ -x "$BIN/orvane_rawtool" ] || { echo "SKIP: $BIN/orvane_rawtool is not built (ORVANE_BUILD_BENCH=OFF)"; exit 0; }
ref="$DATA/eccodecs_evt3_trigger.raw"
[ -f "$ref" ] || { echo "SKIP: $ref is missing"; exit 0; }
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
cp "$ref" "$work/ref.raw"
"$BIN/orvane_rawtool" loop "$work/ref.raw" "$work/long.raw" --bytes 60000000 >/dev/null

cat > "$work/inside.sh" <<'INSIDE'
#!/usr/bin/env bash
set -u
work=$1 bin=$2 import=$3 convert=$4 compare=$5
source "$SCREEN_LIB"

# Waits for the main window's title bar, then for the picture to settle into playing.
wait_window() {
  local pid=$1 t0=$SECONDS shot="$work/probe.png"
  while [ $((SECONDS - t0)) -lt 60 ]; do
    sleep 0.5
    kill -0 "$pid" 2>/dev/null || return 1
    "$import" -window root "$shot" 2>/dev/null || continue
    read -r tw th tx ty tn < <(colour_box "$shot" '#004B6A')
    if [ "$tw" -ge 1200 ] && [ "$th" -ge 40 ]; then
      sleep 3
      return 0
    fi
  done
  return 1
}

stop_viewer() {
  kill -TERM "$1" 2>/dev/null
  for _ in $(seq 50); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$1" 2>/dev/null
  wait "$1" 2>/dev/null
}

# run NAME MODE POLARITY THEME LANGUAGE: one start of the viewer on the recording, one screenshot.
run() {
  local name=$1
  printf '[Setting]\nlanguage=%s\n[Display]\nmode=%s\npolarity=%s\ntheme=%s\ntime_constant_us=20000\n' \
    "$5" "$2" "$3" "$4" > "$work/home/.config/OrvaneScope/config.ini"
  ORVANE_SCOPE_STATS=1 "$bin/OrvaneScope" "$work/long.raw" > "$work/$name.log" 2>&1 &
  local pid=$!
  if wait_window "$pid"; then
    "$import" -window root "$work/$name.png"
    echo "${name}_window ok" >> "$work/seen"
  else
    echo "${name}_window none" >> "$work/seen"
  fi
  stop_viewer "$pid"
}

cd "$work/cwd"
mkdir -p "$work/home/.config/OrvaneScope"
: > "$work/seen"
run surface 1 0 1 en
run ononly 0 1 2 en
run grey_zh 0 0 0 zh
exit 0
INSIDE

HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1600x1000x24" bash "$work/inside.sh" "$work" "$BIN" "$IMPORT" "$CONVERT" "$COMPARE"

source "$SCREEN_LIB"
convert=$CONVERT
value() { awk -v k="$1" '$1 == k { print $2 }' "$work/seen" | tail -1; }
fail() {
  echo "FAIL: $*"
  cat "$work/seen"
  for log in "$work"/*.log; do echo "--- $log"; tail -5 "$log"; done
  exit 1
}
[ -n "${SHOTS:-}" ] && mkdir -p "$SHOTS" && cp "$work"/surface.png "$work"/ononly.png "$work"/grey_zh.png "$SHOTS"/ 2>/dev/null
for name in surface ononly grey_zh; do
  [ "$(value ${name}_window)" = ok ] || fail "no main window for $name"
done

# The middle of the picture: below the title and info bars, inside the side margins, above the
# play bar (the window's place is found by its title bar).
picture() {  # picture NAME -> NAME_pic.png
  local tw th tx ty tn
  read -r tw th tx ty tn < <(colour_box "$work/$1.png" '#004B6A')
  "$convert" "$work/$1.png" -crop "$((tw - 200))x500+$((tx + 60))+$((ty + 120))" +repage "$work/$1_pic.png"
}
for name in surface ononly grey_zh; do picture $name; done

# 1. Time surface, dark: a black picture with white and fading grey events.
black=$(colour_count "$work/surface_pic.png" '#000000')
white=$(near_count "$work/surface_pic.png" '#FFFFFF')
fading=$("$convert" "$work/surface_pic.png" -alpha off -fuzz 25% -fill white -opaque '#707070' -fill black +opaque white \
  -format '%[fx:round(mean*w*h)]' info:)
echo "surface: black=$black white=$white fading=$fading"
[ "$black" -gt 300000 ] || fail "the time surface in the dark theme is not a black picture"
[ "$white" -gt 10 ] || fail "the time surface shows no fresh (white) events"
[ "$fading" -gt 50 ] || fail "the time surface shows no fading events"

# 2. ON only, light: white with red events, no blue.
# colour_count keeps white as a match; on a white picture count a colour with white taken out first.
on_white() {
  "$convert" "$1" -alpha off -fill black -opaque white -fill white -opaque "$2" -fill black +opaque white \
    -format '%[fx:round(mean*w*h)]' info:
}
red=$(on_white "$work/ononly_pic.png" '#FF0000')
blue=$(on_white "$work/ononly_pic.png" '#0000FF')
echo "ononly: red=$red blue=$blue"
[ "$red" -gt 100 ] || fail "no ON events in red on the light picture"
[ "$blue" -eq 0 ] || fail "OFF events (blue) showed although only ON events were asked for"

# 3. The default grey picture, in Chinese, with the activity strip under the slider.
on=$(colour_count "$work/grey_zh_pic.png" '#BFBCB4')
bars=$(colour_count "$work/grey_zh.png" '#2F7A99')
echo "grey_zh: on=$on timeline_bars=$bars"
[ "$on" -gt 100 ] || fail "no ON events on the grey picture"
[ "$bars" -gt 1000 ] || fail "no activity strip under the slider"
echo "PASS"
