#!/usr/bin/env bash
# A 640 x 480 recording and a 1280 x 720 one opened in the real OrvaneScope on a virtual screen:
# each picture fills its view in its own proportions (4:3 and 16:9), not the corner of another's.
#   test_viewer_sizes.sh BIN_DIR DATA_DIR
set -euo pipefail
BIN=$(cd "$1" && pwd)
DATA=${2:-}
for tool in xvfb-run; do
  command -v $tool >/dev/null || { echo "SKIP: $tool is not installed"; exit 0; }
done
[ -x "$BIN/OrvaneScope" ] || { echo "SKIP: $BIN/OrvaneScope is not built"; exit 0; }
convert=/usr/bin/convert
[ -x "$convert" ] || convert=$(command -v convert)
import=/usr/bin/import
[ -x "$import" ] || import=$(command -v import)
export SCREEN_LIB="$(cd "$(dirname "$0")" && pwd)/screen_lib.sh"
work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/run" "$work/config"
chmod 700 "$work/run"
for f in ecpy_test_events_1.raw eccodecs_evt3_trigger.raw; do
  [ -f "$DATA/$f" ] || { echo "SKIP: $DATA/$f is missing"; exit 0; }
  cp "$DATA/$f" "$work/"
done

cat > "$work/inside.sh" <<'INSIDE'
#!/usr/bin/env bash
# On the virtual display: opens each recording, waits for its grey picture, writes its box.
set -u
work=$1 bin=$2 import=$3 convert=$4
source "$SCREEN_LIB"
for name in ecpy_test_events_1 eccodecs_evt3_trigger; do
  "$bin/OrvaneScope" "$work/$name.raw" >"$work/$name.log" 2>&1 &
  pid=$!
  box="0 0 0 0 0"
  t0=$SECONDS
  while [ $((SECONDS - t0)) -lt 60 ]; do
    sleep 1
    "$import" -window root "$work/$name.png" 2>/dev/null || continue
    box=$(colour_box "$work/$name.png" '#707070' 4)
    read -r w h _ < <(echo "$box")
    [ "$w" -ge 400 ] && [ "$h" -ge 300 ] && break
  done
  echo "$name $box" >>"$work/boxes.txt"
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
done
INSIDE

XDG_RUNTIME_DIR="$work/run" HOME="$work/home" XDG_CONFIG_HOME="$work/config" \
  xvfb-run -a -s "-screen 0 1600x1000x24" bash "$work/inside.sh" "$work" "$BIN" "$import" "$convert"

errors=0
while read -r name w h x y n; do
  echo "$name: picture ${w}x${h} at $x,$y"
  case $name in
    ecpy_test_events_1) want=1333 ;;     # 640 x 480, times 1000
    eccodecs_evt3_trigger) want=1778 ;;  # 1280 x 720
  esac
  ratio=$((w * 1000 / (h > 0 ? h : 1)))
  if [ "$h" -lt 400 ] || [ $((ratio - want)) -gt 30 ] || [ $((want - ratio)) -gt 30 ]; then
    echo "FAIL $name: a ${w}x${h} picture (ratio $ratio/1000, $want expected) does not fill its view in its own size"
    errors=$((errors + 1))
  fi
done <"$work/boxes.txt"
[ "$(wc -l <"$work/boxes.txt")" -eq 2 ] || { echo "FAIL: not every recording was shown"; errors=$((errors + 1)); }
exit $((errors > 0))
