#!/bin/bash
# orvane info and dump on the reference recordings (copied: the first open writes an index beside
# them) give the figures of the data README; every failure is one line on stderr and a non-zero exit.
set -u
BIN=$1
DATA=$2
ORVANE="$BIN/orvane"
TMP=$(mktemp -d)
trap 'chmod -R u+w "$TMP"; rm -rf "$TMP"' EXIT
errors=0
check() {  # name expected actual
    if [ "$2" != "$3" ]; then
        echo "FAIL $1: expected '$2', got '$3'"
        errors=$((errors + 1))
    fi
}

cp "$DATA/eccodecs_evt3_trigger.raw" "$DATA/ecpy_test_events_1.raw" "$TMP/"

# info --json: the same values with the index built and then reused.
for round in built reused; do
    out=$("$ORVANE" info "$TMP/eccodecs_evt3_trigger.raw" --json)
    check "eccodecs json ($round)" \
        "\"format\":\"EVT 3.0\",\"bytes\":758452,\"width\":1280,\"height\":720,\"start_us\":14221312,\"end_us\":15476202,\"duration_us\":1254890,\"first_event_us\":14224870,\"last_event_us\":15476187,\"events\":82469,\"off_sensor_events\":0,\"index\":\"$round\"" \
        "$(echo "$out" | sed -e 's/^{"path":"[^"]*",//' -e 's/,"open_ms".*//')"
    out=$("$ORVANE" info "$TMP/ecpy_test_events_1.raw" --json)
    check "ecpy json ($round)" \
        "\"format\":\"EVT 3.0\",\"bytes\":2250459,\"width\":640,\"height\":480,\"start_us\":7139328,\"end_us\":9218023,\"duration_us\":2078695,\"first_event_us\":7139845,\"last_event_us\":9218023,\"events\":343474,\"off_sensor_events\":0,\"index\":\"$round\"" \
        "$(echo "$out" | sed -e 's/^{"path":"[^"]*",//' -e 's/,"open_ms".*//')"
done
check "info text" "events       343474" "$("$ORVANE" info "$TMP/ecpy_test_events_1.raw" 2>/dev/null | grep '^events')"

# dump: summaries and CSV against the README's totals and sums.
check "dump summary" "events       82469 (41439 ON, 41030 OFF)
first event  x 354 y 604 p 1 t 14224870
last event   x 15 y 157 p 0 t 15476187" "$("$ORVANE" dump "$TMP/eccodecs_evt3_trigger.raw")"
csv=$("$ORVANE" dump "$TMP/eccodecs_evt3_trigger.raw" --csv)
check "csv header" "x,y,p,t" "$(echo "$csv" | head -1)"
check "csv sums" "82469 41439 42078718 31656267" \
    "$(echo "$csv" | awk -F, 'NR > 1 { n++; on += $3; sx += $1; sy += $2 } END { print n, on, sx, sy }')"
check "ecpy summary" "events       343474 (125183 ON, 218291 OFF)" \
    "$("$ORVANE" dump "$TMP/ecpy_test_events_1.raw" | head -1)"
# A span and a count, from a start time: consistent with the full CSV.
full=$("$ORVANE" dump "$TMP/ecpy_test_events_1.raw" --csv | tail -n +2)
span=$("$ORVANE" dump "$TMP/ecpy_test_events_1.raw" --start 8000000 --duration 100000 --csv | tail -n +2)
# Stream order: from the first event at or past the start up to the first at or past the end
# (times may step back a few microseconds, so this is not a filter on t).
check "span" "$(echo "$full" | awk -F, 'on == 0 && $4 >= 8000000 { on = 1 } on && $4 >= 8100000 { exit } on')" "$span"
count=$("$ORVANE" dump "$TMP/ecpy_test_events_1.raw" --start 8000000 --count 1234 --csv | tail -n +2)
check "count" "$(echo "$full" | awk -F, 'on || $4 >= 8000000 { on = 1; print }' | head -1234)" "$count"
# A span far past the end ends with the data: everything from the start on.
check "huge span" "$(echo "$full" | awk -F, 'on || $4 >= 8000000 { on = 1; print }')" \
    "$(timeout 60 "$ORVANE" dump "$TMP/ecpy_test_events_1.raw" --start 8000000 --duration 9999999999999999999 --csv | tail -n +2)"
check "count lines" "1234" "$(echo "$count" | wc -l)"

# Failures: one line on stderr, non-zero status, nothing on stdout.
printf '%% evt 4.0\n%% end\n\x01\x02' >"$TMP/evt4.raw"
printf '%% geometry abcx480\n%% end\n' >"$TMP/malformed.raw"
printf '%% evt 3.0\n%% end\n' >"$TMP/empty.raw"
printf '%% evt 3.0\n%% end\n' >"$TMP/locked.raw"
chmod 0 "$TMP/locked.raw"
for f in "$TMP/missing.raw" "$TMP/evt4.raw" "$TMP/malformed.raw" "$TMP/empty.raw"; do
    for cmd in info dump; do
        out=$("$ORVANE" $cmd "$f" 2>"$TMP/err")
        status=$?
        [ $status -ne 0 ] || { echo "FAIL $cmd $f: exit status 0"; errors=$((errors + 1)); }
        check "$cmd $f stdout" "" "$out"
        check "$cmd $f stderr lines" "1" "$(wc -l <"$TMP/err")"
    done
done
check "evt4 message" "orvane: '$TMP/evt4.raw' is an EVT 4.0 recording; Orvane reads EVT 2.0, 2.1 and 3.0" \
    "$("$ORVANE" info "$TMP/evt4.raw" 2>&1)"
# The exit status tells the reason: 3 not found, 4 no permission, 5 not a recording we read, 6 no events.
status_of() { "$ORVANE" info "$1" >/dev/null 2>&1; echo $?; }
check "missing status" 3 "$(status_of "$TMP/missing.raw")"
[ "$(id -u)" = 0 ] || check "locked status" 4 "$(status_of "$TMP/locked.raw")"
check "evt4 status" 5 "$(status_of "$TMP/evt4.raw")"
check "malformed status" 5 "$(status_of "$TMP/malformed.raw")"
check "empty status" 6 "$(status_of "$TMP/empty.raw")"
# EVT 2.0 and 2.1 recordings: their encoding in info, their events in dump (the reference ones re-encoded).
for f in evt2 evt21; do
    "$BIN/orvane_rawtool" loop "$TMP/ecpy_test_events_1.raw" "$TMP/$f.raw" --events 300000 --format $f >/dev/null
    check "$f format" "\"format\":\"EVT $([ $f = evt2 ] && echo 2.0 || echo 2.1)\"" \
        "$("$ORVANE" info "$TMP/$f.raw" --json | grep -o '"format":"[^"]*"')"
    check "$f dump" "$("$ORVANE" dump "$TMP/ecpy_test_events_1.raw" --csv | md5sum)" \
        "$("$ORVANE" dump "$TMP/$f.raw" --csv --count 343474 | md5sum)"
    # Without its header the words tell the encoding.
    tail -c +$(( $(grep -a -b -m1 '^% end' "$TMP/$f.raw" | cut -d: -f1) + 7 )) "$TMP/$f.raw" >"$TMP/bare_$f.raw"
    fields() { "$ORVANE" info "$1" --json | grep -o -e '"format":"[^"]*"' -e '"events":[0-9]*' | tr '\n' ' '; }
    check "$f without header" "$(fields "$TMP/$f.raw")" "$(fields "$TMP/bare_$f.raw")"
done
# Events outside the sensor the header gives are never read; info counts them.
{ printf '%% geometry 320x240\n'; cat "$TMP/bare_evt2.raw"; } >"$TMP/small.raw"
small=$("$ORVANE" info "$TMP/small.raw" --json)
kept=$(sed -e 's/.*"events":\([0-9]*\).*/\1/' <<<"$small")
off=$(sed -e 's/.*"off_sensor_events":\([0-9]*\).*/\1/' <<<"$small")
all=$("$ORVANE" info "$TMP/evt2.raw" --json | sed -e 's/.*"events":\([0-9]*\).*/\1/')
check "off-sensor events counted" "$all" "$((kept + off))"
[ "$off" -gt 0 ] || { echo "FAIL no off-sensor events in a 320x240 cut-out"; errors=$((errors + 1)); }
check "dump gives only the sensor's" "$kept" "$("$ORVANE" dump "$TMP/small.raw" --csv | tail -n +2 | awk -F, '$1 < 320 && $2 < 240' | wc -l)"
check "dump gives all it counts" "$kept" "$("$ORVANE" dump "$TMP/small.raw" --csv | tail -n +2 | wc -l)"

# Data that is no recording at all is refused, saying why.
head -c 100000 /dev/urandom >"$TMP/noise.raw"
"$ORVANE" info "$TMP/noise.raw" >/dev/null 2>"$TMP/err"
check "noise status" 5 $?
grep -q "^orvane: '$TMP/noise.raw' does not look like event data: [0-9]* % of its first 64 KiB are words no EVT encoding uses$" "$TMP/err" ||
    { echo "FAIL noise message: $(cat "$TMP/err")"; errors=$((errors + 1)); }

# A recording shorter than one bookmark period (the first 1,500 data bytes of a reference one)
# reads its events.
head -c $(( $(grep -a -b -m1 '^% end' "$TMP/eccodecs_evt3_trigger.raw" | cut -d: -f1) + 6 + 1500 )) \
    "$TMP/eccodecs_evt3_trigger.raw" >"$TMP/short.raw"
short=$("$ORVANE" info "$TMP/short.raw" --json | sed -e 's/.*"events":\([0-9]*\).*/\1/')
[ "${short:-0}" -gt 100 ] || { echo "FAIL short recording: '$short' events"; errors=$((errors + 1)); }
check "short recording dumps them all" "$short" "$("$ORVANE" dump "$TMP/short.raw" --csv | tail -n +2 | wc -l)"

# Sizes EVT 3.0 cannot address are refused by name.
for g in 99999x99999 -640x-480 0x0 640; do
    printf '%% geometry %s\n%% end\n\x00\x80' "$g" >"$TMP/geometry.raw"
    grep -q "sensor geometry" <("$ORVANE" info "$TMP/geometry.raw" 2>&1) || { echo "FAIL geometry $g"; errors=$((errors + 1)); }
done

# A result that cannot be written is a failure, not a success.
for cmd in "info $TMP/ecpy_test_events_1.raw" "info $TMP/ecpy_test_events_1.raw --json" \
    "dump $TMP/ecpy_test_events_1.raw" "dump $TMP/ecpy_test_events_1.raw --csv --count 10" "cameras"; do
    $ORVANE $cmd >/dev/full 2>"$TMP/err"
    status=$?
    [ $status -ne 0 ] || { echo "FAIL $cmd to a full disk: exit status 0"; errors=$((errors + 1)); }
    grep -q "cannot write the output" "$TMP/err" || { echo "FAIL $cmd to a full disk: $(cat "$TMP/err")"; errors=$((errors + 1)); }
done

# Usage errors exit 2 with a clear line; an unreadable file says why.
"$ORVANE" record x "$TMP/r.raw" --seconds abc 2>"$TMP/err"
check "record --seconds abc" "2 1" "$? $(grep -c "not 'abc'" "$TMP/err")"
# A recording named without ".raw" gets it, so that it opens again.
ORVANE_SIM_CAMERAS=kestrel:KE-E2E "$ORVANE" record KE-E2E "$TMP/r.dat" --seconds 0.5 >/dev/null 2>&1
check "record OUT without .raw" "0 yes" "$? $([ -s "$TMP/r.dat.raw" ] && echo yes)"
check "recording named with .raw opens" "0" "$("$ORVANE" info "$TMP/r.dat.raw" >/dev/null 2>&1; echo $?)"
if [ "$(id -u)" != 0 ]; then
    cp "$TMP/ecpy_test_events_1.raw" "$TMP/locked.raw"
    chmod 000 "$TMP/locked.raw"
    grep -q "Permission denied" <("$ORVANE" info "$TMP/locked.raw" 2>&1) || { echo "FAIL unreadable file reason"; errors=$((errors + 1)); }
fi


# A read-only folder: the index cannot be written, the recording still opens.
mkdir "$TMP/ro"
cp "$DATA/eccodecs_evt3_trigger.raw" "$TMP/ro/"
chmod a-w "$TMP/ro"
check "read-only folder" "events       82469" "$("$ORVANE" info "$TMP/ro/eccodecs_evt3_trigger.raw" 2>"$TMP/err" | grep '^events')"
check "read-only folder is no error" "0" "$(grep -c 'ERROR' "$TMP/err")"

[ $errors -eq 0 ] && echo "all CLI info/dump checks passed"
exit $((errors != 0))
