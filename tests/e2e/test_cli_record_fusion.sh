#!/bin/bash
# orvane record on the simulated fusion camera writes a raw file and an mp4 of the same base name,
# both readable, and says how many frames it recorded.
set -u
BIN=$1
ORVANE="$BIN/orvane"
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
export ORVANE_SIM_CAMERAS="tandem:TD-E2E"
errors=0
fail() {
    echo "FAIL $1"
    errors=$((errors + 1))
}

out=$("$ORVANE" record TD-E2E "$TMP/take.001" --seconds 2 2>"$TMP/log") || fail "record exited $? ($(tail -3 "$TMP/log"))"
echo "$out"
[ -s "$TMP/take.raw" ] || fail "no take.raw"
[ -s "$TMP/take.mp4" ] || fail "no take.mp4"
frames=$(echo "$out" | sed -n 's/^\([0-9]*\) frames recorded of .*/\1/p')
[ -n "$frames" ] && [ "$frames" -gt 0 ] || fail "no frames recorded: '$out'"
grep -q "Mp4 offset: " "$TMP/log" || fail "the first frame's DVS time is not logged"

events=$("$ORVANE" info "$TMP/take.raw" --json | sed -n 's/.*"events":\([0-9]*\).*/\1/p')
[ -n "$events" ] && [ "$events" -gt 0 ] || fail "the raw file holds no events"

# A serial nobody has: one line on stderr, non-zero exit, no files.
if "$ORVANE" record NOPE "$TMP/none.raw" --seconds 1 2>/dev/null; then fail "unknown serial accepted"; fi
[ ! -e "$TMP/none.raw" ] || fail "unknown serial left a file"

exit $((errors > 0))
