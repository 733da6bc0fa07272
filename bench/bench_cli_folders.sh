#!/bin/bash
# orvane convert over a folder with two jobs beside the same folder with one job, same run:
#
#   bench/bench_cli_folders.sh build/bin [--files 20] [--events 5000000] [--to h5] [--rounds 2] [--work DIR]
#
# Makes DIR/folder/ with FILES loops of the 1280x720 reference recording (EVENTS events each) with
# orvane_rawtool and builds their indexes (orvane info) before anything is timed. The two runs
# alternate (-j 1, -j 2, -j 1, -j 2 ...) so both see the same machine load; each prints its time and
# the cores it kept busy (CPU time over wall time: below 2 for -j 2 when others share the machine),
# and the end prints the best of each and their ratio (two cores: the target is 1.7 or more).
set -euo pipefail
BIN=$(cd "$1" && pwd)
shift
FILES=20 EVENTS=5000000 TO=h5 ROUNDS=2 WORK=""
while [ $# -gt 0 ]; do
    case $1 in
    --files) FILES=$2; shift 2 ;;
    --events) EVENTS=$2; shift 2 ;;
    --to) TO=$2; shift 2 ;;
    --rounds) ROUNDS=$2; shift 2 ;;
    --work) WORK=$2; shift 2 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
    esac
done
DATA=${ORVANE_SHARED_DATA_DIR:-$(cd "$(dirname "$0")/.." && pwd)/../shared/data}
[ -d "$DATA" ] || DATA=/work/shared/data
SOURCE=$DATA/eccodecs_evt3_trigger.raw
if [ -z "$WORK" ]; then
    WORK=$(mktemp -d)
    trap 'rm -rf "$WORK"' EXIT
fi
mkdir -p "$WORK/folder"
ORVANE=$BIN/orvane

cp "$SOURCE" "$WORK/source.raw"
geometry=$("$ORVANE" info "$WORK/source.raw" --json | sed -n 's/.*"width":\([0-9]*\),"height":\([0-9]*\).*/\1x\2/p')
echo "source $(basename "$SOURCE") ($geometry), $FILES loops of $EVENTS events, to .$TO"
for i in $(seq -w 1 "$FILES"); do
    f=$WORK/folder/loop$i.raw
    [ -e "$f" ] || "$BIN/orvane_rawtool" loop "$WORK/source.raw" "$f" --events "$EVENTS" >/dev/null
done
"$ORVANE" info "$WORK/folder" -q >/dev/null
bytes=$(du -sb "$WORK/folder" | cut -f1)

run() {  # jobs; prints "wall cores" (cores: CPU time / wall time, the parallelism the run got)
    rm -rf "$WORK/out"
    local TIMEFORMAT='%R %U %S'
    { time "$ORVANE" convert "$WORK/folder" --out "$WORK/out" --to "$TO" -j "$1" -q >/dev/null; } 2>"$WORK/time"
    awk '{ printf "%.3f %.2f\n", $1, ($2 + $3) / $1 }' "$WORK/time"
}
best1="" best2=""
for r in $(seq 1 "$ROUNDS"); do
    read -r s1 c1 < <(run 1)
    read -r s2 c2 < <(run 2)
    printf 'round %d: -j 1 %.2f s (%.2f cores busy), -j 2 %.2f s (%.2f cores busy)\n' "$r" "$s1" "$c1" "$s2" "$c2"
    best1=$(awk -v a="$s1" -v b="${best1:-$s1}" 'BEGIN { print (a < b ? a : b) }')
    best2=$(awk -v a="$s2" -v b="${best2:-$s2}" 'BEGIN { print (a < b ? a : b) }')
done
rm -rf "$WORK/out"
awk -v bytes="$bytes" -v files="$FILES" -v to="$TO" -v s1="$best1" -v s2="$best2" 'BEGIN {
    mb = bytes / 1e6
    printf "convert %d files (%.0f MB) --to %s, best of each:\n", files, mb, to
    printf "  -j 1 (baseline) %6.2f s  %6.1f MB/s\n", s1, mb / s1
    printf "  -j 2            %6.2f s  %6.1f MB/s\n", s2, mb / s2
    printf "  ratio           %6.2f x  (target 1.70 or more)\n", s1 / s2
}'
