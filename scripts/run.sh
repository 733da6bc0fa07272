#!/usr/bin/env bash
# `make run`: starts the viewer when there is a display; otherwise a short headless demo of the CLI.
set -euo pipefail
BUILD=${1:-build}
shift || true  # what follows (a recording, say) goes to the viewer
BIN="$BUILD/bin"
DATA="$(cd "$(dirname "$0")/.." && pwd)/../shared/data"

if [ -x "$BIN/OrvaneScope" ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$BIN/OrvaneScope" "$@"
fi

echo "No display (or no viewer built): running the headless demo instead." >&2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for f in "$DATA"/*.raw; do
  [ -e "$f" ] || continue
  cp "$f" "$work/"
  copy="$work/$(basename "$f")"
  echo "== $(basename "$f")"
  "$BIN/orvane" bench decode "$copy" --repeat 3
done
