#!/usr/bin/env bash
# Runs the real OrvaneScope under Xvfb with ORVANE_SCOPE_STATS=1 and summarises its statistics
# lines: pictures shown per second, the longest GUI stall, the event rate and dropped data.
#   viewer_stats.sh BIN_DIR file FILE.raw [SECONDS]      play a recording (looping tool: orvane_rawtool)
#   viewer_stats.sh BIN_DIR camera RATE [SECONDS]        a simulated Kestrel at RATE events/s
# The first 3 s (start-up, index build) are left out. Prints the figures beside the targets.
set -euo pipefail
BIN=$(cd "$1" && pwd)
kind=$2
arg=$3
secs=${4:-20}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/run" "$work/home" && chmod 700 "$work/run"
cd "$work"
if [ "$kind" = file ]; then
  cmd=("$BIN/OrvaneScope" "$arg")
  envs=()
else
  cmd=("$BIN/OrvaneScope" --camera KE_BENCH)
  envs=(ORVANE_SIM_CAMERAS=kestrel:KE_BENCH ORVANE_SIM_RATE="$arg")
fi
HOME="$work/home" XDG_RUNTIME_DIR="$work/run" env "${envs[@]}" ORVANE_SCOPE_STATS=1 \
  xvfb-run -a -s "-screen 0 1600x1000x24" timeout -s TERM $((secs + 6)) "${cmd[@]}" > "$work/log" 2>&1 || true
# Lines after the splash and the first seconds of the source, and before the closing second (which
# holds the stop of the stream at exit).
grep '^stats:' "$work/log" | awk '$2 != "shown=0"' | tail -n +4 | head -n -1 > "$work/stats" || true
n=$(wc -l < "$work/stats")
if [ "$n" -eq 0 ]; then
  echo "no statistics lines"; tail -20 "$work/log"; exit 1
fi
field() { sed -E "s/.* $1=([0-9]+).*/\1/" "$work/stats"; }
shown_sorted=$(field shown | sort -n)
median=$(echo "$shown_sorted" | awk -v n="$n" 'NR == int((n + 1) / 2)')
min=$(echo "$shown_sorted" | head -1)
mean=$(field shown | awk '{ s += $1 } END { printf "%.1f", s / NR }')
built=$(field built | awk '{ s += $1 } END { printf "%.1f", s / NR }')
stall=$(field stall_ms | sort -n | tail -1)
rate=$(field rate_eps | awk '{ s += $1 } END { printf "%.0f", s / NR }')
dropped=$(field dropped_bytes | tail -1)
echo "$kind: $n seconds: shown/s median $median, min $min, mean $mean (target >= 29); built/s mean $built"
echo "longest GUI stall $stall ms (target <= 50); event rate mean $rate ev/s; dropped $dropped bytes"
