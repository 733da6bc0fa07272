#!/bin/bash
# Two processes opening a recording whose index is missing both build it and write it at once:
# each says nothing of it (the index is a cache), both answer the same, and a whole index is left.
set -u
BIN=$1
DATA=$2
ORVANE="$BIN/orvane"
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
errors=0
fail() {
    echo "FAIL $1"
    errors=$((errors + 1))
}

# A recording long enough that writing its index takes a moment.
"$BIN/orvane_rawtool" loop "$DATA/ecpy_test_events_1.raw" "$TMP/rec.raw" --events 20000000 >/dev/null || exit 77
for round in $(seq 1 20); do
    rm -f "$TMP"/rec.ovmark.tmp*
    "$ORVANE" info "$TMP/rec.raw" --json >"$TMP/a.json" 2>"$TMP/a.log" &
    "$ORVANE" info "$TMP/rec.raw" --json >"$TMP/b.json" 2>"$TMP/b.log" &
    wait
    if grep -q "ERROR" "$TMP/a.log" "$TMP/b.log"; then
        fail "round $round: $(cat "$TMP/a.log" "$TMP/b.log" | grep ERROR | head -1)"
        break
    fi
    a=$(sed 's/"open_ms":[0-9.]*//; s/"index":"[a-z]*"//' "$TMP/a.json")
    b=$(sed 's/"open_ms":[0-9.]*//; s/"index":"[a-z]*"//' "$TMP/b.json")
    [ -n "$a" ] && [ "$a" = "$b" ] || { fail "round $round: the two answers differ: $a / $b"; break; }
done
leftovers=$(ls "$TMP" | grep -c '\.part' || true)
[ "$leftovers" -eq 0 ] || fail "part files left: $(ls "$TMP")"
reuse=$("$ORVANE" info "$TMP/rec.raw" --json 2>&1)
echo "$reuse" | grep -q '"index":"reused"' || fail "the index left behind is not reused: $reuse"
exit $((errors > 0))
