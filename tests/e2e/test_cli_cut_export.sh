#!/bin/bash
# orvane cut and export on copies of the reference recordings: a cut holds exactly the events of its
# range (checked through orvane dump), an export has one frame per 33 333 us slice with events and
# is a valid H.264 mp4 (ffprobe); every failure is one line on stderr, a non-zero exit and no file.
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
csv() { "$ORVANE" dump "$1" --csv | tail -n +2; }
json_field() { sed -e "s/.*\"$2\":\\([0-9]*\\).*/\\1/" <<<"$1"; }

cp "$DATA/eccodecs_evt3_trigger.raw" "$DATA/ecpy_test_events_1.raw" "$TMP/"
# The same checks on EVT 2.0 and 2.1 recordings: the reference one looped, re-encoded.
for f in evt2 evt21; do
    "$BIN/orvane_rawtool" loop "$TMP/ecpy_test_events_1.raw" "$TMP/ecpy_$f.raw" --events 500000 --format $f >/dev/null
done

for rec in eccodecs_evt3_trigger ecpy_test_events_1 ecpy_evt2 ecpy_evt21; do
    src="$TMP/$rec.raw"
    info=$("$ORVANE" info "$src" --json)
    start=$(json_field "$info" start_us)
    end=$(json_field "$info" end_us)
    full=$(csv "$src")

    # The whole recording: the same events, and a valid recording again, in the source's encoding.
    "$ORVANE" cut "$src" "$TMP/$rec.whole.raw" >/dev/null 2>"$TMP/err" || { echo "FAIL cut $rec"; cat "$TMP/err"; errors=$((errors + 1)); }
    check "$rec whole cut events" "$full" "$(csv "$TMP/$rec.whole.raw")"
    check "$rec whole cut times" "\"start_us\":$start,\"end_us\":$end" \
        "$("$ORVANE" info "$TMP/$rec.whole.raw" --json | grep -o '"start_us":[0-9]*,"end_us":[0-9]*')"
    check "$rec whole cut format" "$(grep -o '"format":"[^"]*"' <<<"$info")" \
        "$("$ORVANE" info "$TMP/$rec.whole.raw" --json | grep -o '"format":"[^"]*"')"

    # A middle third: exactly the events from --start up to just below --end.
    a=$((start + (end - start) / 3))
    b=$((start + 2 * (end - start) / 3))
    "$ORVANE" cut "$src" "$TMP/$rec.part.raw" --start $a --end $b >/dev/null || { echo "FAIL cut part $rec"; errors=$((errors + 1)); }
    # (in stream order: from the first event at or past --start to the first at or past --end)
    check "$rec part events" "$(awk -F, -v a=$a -v b=$b 'on == 0 && $4 >= a { on = 1 } on && $4 >= b { exit } on' <<<"$full")" \
        "$(csv "$TMP/$rec.part.raw")"

    # Export: one frame per non-empty slice, a 30 fps H.264 stream.
    out=$("$ORVANE" export "$src" "$TMP/$rec.mp4" --start $a --end $b 2>"$TMP/err")
    status=$?
    check "$rec export status" 0 $status
    slices=$(awk -F, -v a=$a -v b=$b '$4 >= a && $4 < b + 33333 { k = int(($4 - a) / 33333); if (a + k * 33333 < b) s[k] = 1 } END { print length(s) }' <<<"$full")
    check "$rec export frames" "$TMP/$rec.mp4: $slices frames" "$(cut -d, -f1 <<<"$out")"
    if command -v ffprobe >/dev/null; then
        check "$rec ffprobe" "h264,$slices" "$(ffprobe -v error -count_frames -select_streams v:0 \
            -show_entries stream=codec_name,nb_read_frames -of csv=p=0 "$TMP/$rec.mp4")"
    fi
done
check "no leftovers" "" "$(ls "$TMP" | grep -v -E '\.(raw|mp4|ovmark\.tmp)$|^err$')"

# Failures: one line on stderr, non-zero status, no output file.
src="$TMP/eccodecs_evt3_trigger.raw"
mkdir "$TMP/ro"
chmod a-w "$TMP/ro"
# Usage mistakes get their line and the usage line, with status 2.
fail_case() {  # name expected-message command...
    local name=$1 message=$2
    shift 2
    "$@" >"$TMP/out" 2>"$TMP/err"
    local status=$? lines=1
    [ $status -ne 0 ] || { echo "FAIL $name: exit status 0"; errors=$((errors + 1)); }
    [ $status -eq 2 ] && lines=2
    check "$name stderr lines" "$lines" "$(wc -l <"$TMP/err")"
    check "$name stdout" "" "$(cat "$TMP/out")"
    grep -q -- "$message" "$TMP/err" || { echo "FAIL $name: '$(cat "$TMP/err")' lacks '$message'"; errors=$((errors + 1)); }
    check "$name leaves no file" "" "$(ls "$TMP/ro" "$TMP" | grep -E '^(f|ro)\.' )"
}
for cmd in cut export; do
    ext=raw
    [ $cmd = export ] && ext=mp4
    fail_case "$cmd start = end" "must be below --end" "$ORVANE" $cmd "$src" "$TMP/f.$ext" --start 15000000 --end 15000000
    fail_case "$cmd start before" "before the recording's start" "$ORVANE" $cmd "$src" "$TMP/f.$ext" --start 1000
    fail_case "$cmd end after" "after the recording's end" "$ORVANE" $cmd "$src" "$TMP/f.$ext" --end 99999999
    fail_case "$cmd missing input" "cannot open '$TMP/missing.raw': No such file or directory" \
        "$ORVANE" $cmd "$TMP/missing.raw" "$TMP/f.$ext"
    fail_case "$cmd bad number" "usage: orvane $cmd" "$ORVANE" $cmd "$src" "$TMP/f.$ext" --start 12x
    fail_case "$cmd wrong extension" "OUT must end in .$ext" "$ORVANE" $cmd "$src" "$TMP/f.txt"
    # The output's own problem, with the system's reason (not the input blamed).
    fail_case "$cmd missing folder" "cannot create '$TMP/nodir/f.$ext': No such file or directory" \
        "$ORVANE" $cmd "$src" "$TMP/nodir/f.$ext"
    if [ "$(id -u)" != 0 ]; then
        fail_case "$cmd read-only folder" "Permission denied" "$ORVANE" $cmd "$src" "$TMP/ro/f.$ext"
    fi
done
fail_case "cut over its input" "is the input recording" "$ORVANE" cut "$src" "$src"
check "input intact" "82469" "$("$ORVANE" info "$src" --json | sed -e 's/.*"events":\([0-9]*\).*/\1/')"
check "nothing in the read-only folder" "" "$(ls -A "$TMP/ro")"

[ $errors -eq 0 ] && echo "all CLI cut/export checks passed"
exit $((errors != 0))
