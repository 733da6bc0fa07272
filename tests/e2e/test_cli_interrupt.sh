#!/bin/bash
# Ctrl-C (SIGINT) or SIGTERM during orvane cut, export or convert cancels it: exit status 130, no output
# and no part file left; a part file a killed job left is removed by the next job on the output.
set -u
BIN=$1
DATA=$2
ORVANE="$BIN/orvane"
TMP=$(mktemp -d)
trap 'kill -9 $(jobs -p) 2>/dev/null; rm -rf "$TMP"' EXIT
errors=0
fail() {
    echo "FAIL $1"
    errors=$((errors + 1))
}

"$BIN/orvane_rawtool" loop "$DATA/eccodecs_evt3_trigger.raw" "$TMP/big.raw" --bytes 400000000 >/dev/null || exit 77
"$ORVANE" info "$TMP/big.raw" >/dev/null 2>&1  # the index, so the jobs start at once

# Starts the job, waits until its part file exists, stops it there, signals it and lets it go on:
# the signal then always lands mid-job. Prints the exit status.
interrupt() {  # signal part-glob command...
    local sig=$1 glob=$2
    shift 2
    "$@" >/dev/null 2>"$TMP/job.log" &
    local pid=$! found=""
    for _ in $(seq 1 3000); do
        found=$(ls $glob 2>/dev/null | head -1)
        [ -n "$found" ] && break
        kill -0 $pid 2>/dev/null || break
        sleep 0.01
    done
    kill -STOP $pid 2>/dev/null
    kill -"$sig" $pid 2>/dev/null
    kill -CONT $pid 2>/dev/null
    wait $pid
    echo $?
}

status=$(interrupt INT "$TMP/cut.raw.part*" "$ORVANE" cut "$TMP/big.raw" "$TMP/cut.raw")
[ "$status" = 130 ] || fail "cut after SIGINT exited $status: $(cat "$TMP/job.log")"
grep -q "cancelled" "$TMP/job.log" || fail "cut does not say it was cancelled: $(cat "$TMP/job.log")"
status=$(interrupt TERM "$TMP/out.mp4.part*" "$ORVANE" export "$TMP/big.raw" "$TMP/out.mp4")
[ "$status" = 130 ] || fail "export after SIGTERM exited $status: $(cat "$TMP/job.log")"
for ext in h5 csv; do
    status=$(interrupt INT "$TMP/out.$ext.part*" "$ORVANE" convert "$TMP/big.raw" "$TMP/out.$ext")
    [ "$status" = 130 ] || fail "convert to .$ext after SIGINT exited $status: $(cat "$TMP/job.log")"
done
left=$(ls "$TMP" | grep -vE '^(big\.raw|big\.ovmark\.tmp|job\.log)$')
[ -z "$left" ] || fail "files left after the cancelled jobs: $left"

# A part file of a job killed outright (its process is gone) goes with the next job on that output.
sh -c 'exit 0' &
gone=$!
wait $gone
: >"$TMP/cut.raw.part$gone.raw"
"$ORVANE" cut "$TMP/big.raw" "$TMP/cut.raw" --end $(("$("$ORVANE" info "$TMP/big.raw" --json | sed -n 's/.*"start_us":\([0-9]*\).*/\1/p')" + 100000)) \
    >/dev/null 2>&1 || fail "the cut after a killed one failed"
[ ! -e "$TMP/cut.raw.part$gone.raw" ] || fail "the killed job's part file is still there"
[ -s "$TMP/cut.raw" ] || fail "no cut"

exit $((errors > 0))
