#!/bin/bash
# A recorder killed with SIGKILL keeps all but its last moment: the raw file holds the events up to
# about a quarter of a second before the kill (even from a quiet camera, whose chunks fill slowly),
# and a fusion recording's video plays up to its last fragment with its first frame's DVS time,
# which lies inside the raw file's time range.
set -u
BIN=$1
ORVANE="$BIN/orvane"
TMP=$(mktemp -d)
trap 'kill -9 $(jobs -p) 2>/dev/null; rm -rf "$TMP"' EXIT
errors=0
fail() {
    echo "FAIL $1"
    errors=$((errors + 1))
}

# Starts `orvane record SERIAL OUT` in the background, waits until its progress line shows at
# least SECONDS recorded and, if given, WAITFOR has grown past 50 kB (generous limit), then kills
# it with SIGKILL.
record_and_kill() {
    local serial=$1 out=$2 seconds=$3 log=$4 waitfor=${5:-}
    "$ORVANE" record "$serial" "$out" --seconds 600 2>"$log" >/dev/null &
    local pid=$!
    local shown=0
    for _ in $(seq 1 3000); do
        shown=$(tr '\r' '\n' <"$log" | sed -n 's/^recording \([0-9]*\)\.[0-9] .*/\1/p' | tail -1)
        if [ -n "$shown" ] && [ "$shown" -ge "$seconds" ]; then
            [ -z "$waitfor" ] && break
            [ "$(stat -c %s "$waitfor" 2>/dev/null || echo 0)" -gt 50000 ] && break
        fi
        kill -0 $pid 2>/dev/null || break
        sleep 0.1
    done
    kill -9 $pid 2>/dev/null
    wait $pid 2>/dev/null
    [ -n "$shown" ] && [ "$shown" -ge "$seconds" ] || fail "$serial never showed $seconds s of recording: $(tail -c 300 "$log")"
}

json_field() {  # json_field KEY < json
    sed -n "s/.*\"$1\":\([0-9]*\).*/\1/p"
}

# A quiet event camera: at this rate a 10 MiB chunk takes minutes to fill.
export ORVANE_SIM_CAMERAS="kestrel:KE-KILL,tandem:TD-KILL"
ORVANE_SIM_RATE=100000 record_and_kill KE-KILL "$TMP/quiet.raw" 3 "$TMP/quiet.log"
info=$("$ORVANE" info "$TMP/quiet.raw" --json 2>&1)
events=$(echo "$info" | json_field events)
duration=$(echo "$info" | json_field duration_us)
echo "quiet camera killed after 3 s: ${events:-none} events over ${duration:-?} us"
[ -n "$events" ] && [ "$events" -gt 0 ] || fail "the killed recording holds no events: $info"
# 3 s shown on the progress line; a quarter of a second may be lost, and the first events come a
# moment after the start.
[ -n "$duration" ] && [ "$duration" -ge 2000000 ] || fail "the killed recording keeps only ${duration:-0} us of 3 s"

# A fusion camera: raw and mp4 both survive the kill. The video reaches the disk a fragment (a
# second of frames) at a time, once the encoder is through it: a loaded machine takes longer.
record_and_kill TD-KILL "$TMP/fusion.raw" 2 "$TMP/fusion.log" "$TMP/fusion.mp4"
info=$("$ORVANE" info "$TMP/fusion.raw" --json 2>&1)
first=$(echo "$info" | json_field first_event_us)
last=$(echo "$info" | json_field last_event_us)
[ -n "$first" ] && [ -n "$last" ] || fail "the killed fusion recording's raw file does not open: $info"
if command -v ffprobe >/dev/null; then
    frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
        -of default=nokey=1:noprint_wrappers=1 "$TMP/fusion.mp4" 2>/dev/null)
    offset=$(ffprobe -v error -show_entries format_tags=dvs_offset_us -of default=nokey=1:noprint_wrappers=1 \
        "$TMP/fusion.mp4" 2>/dev/null)
    echo "fusion camera killed: ${frames:-no} frames, dvs_offset_us ${offset:-none}, events $first..$last us"
    [ -n "$frames" ] && [ "$frames" -ge 30 ] || fail "the killed fusion recording's video holds ${frames:-no} frames"
    [ -n "$offset" ] || fail "the killed fusion recording's video lost its dvs_offset_us"
    if [ -n "$offset" ] && [ -n "$first" ] && [ -n "$last" ]; then
        [ "$offset" -ge "$first" ] && [ "$offset" -le "$last" ] ||
            fail "dvs_offset_us $offset lies outside the raw file's events $first..$last"
    fi
fi

exit $((errors > 0))
