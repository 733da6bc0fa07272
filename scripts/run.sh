#!/usr/bin/env bash
# `make run`: starts the viewer when there is a display; otherwise a short headless demo of the CLI.
set -euo pipefail
BUILD=${1:-build}
shift || true  # what follows (a recording, say) goes to the viewer
BIN="$BUILD/bin"
DATA="$(cd "$(dirname "$0")/.." && pwd)/tests/data"

if [ -x "$BIN/OrvaneScope" ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$BIN/OrvaneScope" "$@"
fi

echo "No display (or no viewer built): running the headless demo instead." >&2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A few seconds from the first simulated event camera, then what a user does with a recording.
serial=$("$BIN/orvane" cameras --json | sed -n 's/^\[{"serial":"\([^"]*\)".*/\1/p')
if [ -n "$serial" ]; then
  echo "== recording 3 s from camera $serial"
  "$BIN/orvane" record "$serial" "$work/demo.raw" --seconds 3
  echo "== orvane info"
  "$BIN/orvane" info "$work/demo.raw"
  echo "== cutting 0.5 s .. 2.0 s into demo_cut.raw"
  start=$("$BIN/orvane" info "$work/demo.raw" --json | sed -n 's/.*"start_us":\([0-9]*\).*/\1/p')
  "$BIN/orvane" cut "$work/demo.raw" "$work/demo_cut.raw" --start $((start + 500000)) --end $((start + 2000000))
  "$BIN/orvane" info "$work/demo_cut.raw"
  echo "== exporting the cut as H.264 video"
  "$BIN/orvane" export "$work/demo_cut.raw" "$work/demo_cut.mp4"
  ls -l "$work"
fi
# The fusion camera records its events and its frames side by side.
fusion=$("$BIN/orvane" cameras --json | grep -o '"serial":"[^"]*","product":"Tandem"' | sed -n '1s/"serial":"\([^"]*\)".*/\1/p')
if [ -n "$fusion" ]; then
  echo "== recording 2 s from fusion camera $fusion into fusion.raw and fusion.mp4"
  "$BIN/orvane" record "$fusion" "$work/fusion.raw" --seconds 2 2>/dev/null
  ls -l "$work"/fusion.*
fi
for f in "$DATA"/*.raw; do
  [ -e "$f" ] || continue
  cp "$f" "$work/"
  echo "== decode benchmark: $(basename "$f")"
  "$BIN/orvane" bench decode "$work/$(basename "$f")" --repeat 3
done
