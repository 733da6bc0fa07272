#!/bin/bash
# orvane convert on copies of the reference recordings (and an EVT 2.0 re-encoding): the kind follows
# OUT's extension; .csv holds exactly what orvane dump --csv prints of the range, .raw is EVT 3.0 with
# the same events (EVT 2.x written again), .h5/.hdf5 is an HDF5 file, .mp4 the same video orvane
# export makes. Mistakes are usage errors (status 2); failures are one line, non-zero and leave no file.
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
format_of() { "$ORVANE" info "$1" --json | grep -o '"format":"[^"]*"'; }

cp "$DATA/eccodecs_evt3_trigger.raw" "$DATA/ecpy_test_events_1.raw" "$TMP/"
"$BIN/orvane_rawtool" loop "$TMP/ecpy_test_events_1.raw" "$TMP/ecpy_evt2.raw" --events 300000 --format evt2 >/dev/null

for rec in eccodecs_evt3_trigger ecpy_test_events_1 ecpy_evt2; do
    src="$TMP/$rec.raw"
    info=$("$ORVANE" info "$src" --json)
    start=$(json_field "$info" start_us)
    end=$(json_field "$info" end_us)
    full=$(csv "$src")
    a=$((start + (end - start) / 3))
    b=$((start + 2 * (end - start) / 3))
    part=$(awk -F, -v a=$a -v b=$b 'on == 0 && $4 >= a { on = 1 } on && $4 >= b { exit } on' <<<"$full")

    "$ORVANE" convert "$src" "$TMP/$rec.csv" >/dev/null 2>"$TMP/err" || { echo "FAIL csv $rec"; cat "$TMP/err"; errors=$((errors + 1)); }
    check "$rec csv header" "x,y,p,t" "$(head -1 "$TMP/$rec.csv")"
    check "$rec csv whole" "$full" "$(tail -n +2 "$TMP/$rec.csv")"
    "$ORVANE" convert "$src" "$TMP/$rec.mid.csv" --start $a --end $b >/dev/null
    check "$rec csv part" "$part" "$(tail -n +2 "$TMP/$rec.mid.csv")"

    # A .raw is EVT 3.0 whatever the source's encoding (EVT 2.x is written again); its events are
    # the range's. orvane cut keeps the source's encoding.
    "$ORVANE" convert "$src" "$TMP/$rec.mid.raw" --start $a --end $b >/dev/null
    check "$rec raw part" "$part" "$(csv "$TMP/$rec.mid.raw")"
    check "$rec raw format" '"format":"EVT 3.0"' "$(format_of "$TMP/$rec.mid.raw")"
    "$ORVANE" cut "$src" "$TMP/$rec.cut.raw" --start $a --end $b >/dev/null
    check "$rec cut format" "$(format_of "$src")" "$(format_of "$TMP/$rec.cut.raw")"
    check "$rec cut part" "$part" "$(csv "$TMP/$rec.cut.raw")"

    for ext in h5 hdf5; do
        out=$("$ORVANE" convert "$src" "$TMP/$rec.$ext" --start $a --end $b)
        check "$rec $ext status" 0 $?
        check "$rec $ext line" "$TMP/$rec.$ext: hdf5, $a to $b us" "$(cut -d, -f1-2 <<<"$out")"
        check "$rec $ext signature" "894844460d0a1a0a" "$(head -c 8 "$TMP/$rec.$ext" | od -An -tx1 | tr -d ' \n')"
    done

    "$ORVANE" export "$src" "$TMP/$rec.export.mp4" --start $a --end $b >/dev/null
    "$ORVANE" convert "$src" "$TMP/$rec.mp4" --start $a --end $b >/dev/null
    if command -v ffprobe >/dev/null; then
        frames() { ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$1"; }
        check "$rec mp4 frames as export's" "$(frames "$TMP/$rec.export.mp4")" "$(frames "$TMP/$rec.mp4")"
    fi
    # At 60 fps and half speed: slices of 1000000 * 0.5 / 60 us, each with events a frame.
    "$ORVANE" convert "$src" "$TMP/$rec.slow.mp4" --start $a --end $((a + 200000)) --fps 60 --speed 0.5 >/dev/null
    if command -v ffprobe >/dev/null; then
        slices=$(awk -F, -v a=$a -v b=$((a + 200000)) '$4 >= a && $4 < b { s[int(($4 - a) / 8333)] = 1 } END { print length(s) }' <<<"$full")
        check "$rec slow mp4 frames" "$slices" "$(frames "$TMP/$rec.slow.mp4")"
    fi
done
# Every look flag at once: 10 fps, 200 ms windows, a dark time surface; one frame per 100 ms slice.
src="$TMP/eccodecs_evt3_trigger.raw"
a=14300000
"$ORVANE" export "$src" "$TMP/look.mp4" --start $a --end $((a + 500000)) --fps 10 --speed 1 \
    --accumulation-us 200000 --mode time-surface --theme dark --time-constant-us 50000 >"$TMP/out"
check "look flags status" 0 $?
grep -q "look.mp4: 5 frames" "$TMP/out" || { echo "FAIL look flags: $(cat "$TMP/out")"; errors=$((errors + 1)); }
if command -v ffprobe >/dev/null; then
    check "look mp4 frames" 5 "$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$TMP/look.mp4")"
fi
rm -f "$TMP/look.mp4"
check "no part files" "" "$(ls "$TMP" | grep '\.part')"

src="$TMP/eccodecs_evt3_trigger.raw"
fail_case() {  # name expected-status expected-message command...
    local name=$1 want=$2 message=$3
    shift 3
    "$@" >"$TMP/out" 2>"$TMP/err"
    check "$name status" "$want" $?
    check "$name stdout" "" "$(cat "$TMP/out")"
    grep -q -- "$message" "$TMP/err" || { echo "FAIL $name: '$(cat "$TMP/err")' lacks '$message'"; errors=$((errors + 1)); }
    check "$name leaves no file" "" "$(ls "$TMP" | grep -E '^f\.')"
}
fail_case "unknown kind" 2 "OUT must end in one of .raw, .mp4, .csv" "$ORVANE" convert "$src" "$TMP/f.txt"
fail_case "one argument" 2 "usage: orvane convert" "$ORVANE" convert "$src"
fail_case "bad number" 2 "usage: orvane convert" "$ORVANE" convert "$src" "$TMP/f.h5" --start 12x
fail_case "fps out of range" 2 "--fps needs a whole number from 1 to 240" "$ORVANE" convert "$src" "$TMP/f.mp4" --fps 500
fail_case "speed not a number" 2 "--speed needs a number" "$ORVANE" convert "$src" "$TMP/f.mp4" --speed fast
fail_case "fps of a csv" 2 "has no option 'fps'" "$ORVANE" convert "$src" "$TMP/f.csv" --fps 30
fail_case "unknown mode" 2 "--mode takes accumulation or time-surface, not 'trails'" \
    "$ORVANE" export "$src" "$TMP/f.mp4" --mode trails
fail_case "unknown theme" 2 "--theme takes grey, dark or light, not 'blue'" "$ORVANE" convert "$src" "$TMP/f.mp4" --theme blue
fail_case "accumulation of 0" 2 "--accumulation-us needs a whole number" "$ORVANE" export "$src" "$TMP/f.mp4" --accumulation-us 0
fail_case "time constant too short" 2 "--time-constant-us needs a whole number" \
    "$ORVANE" export "$src" "$TMP/f.mp4" --mode time-surface --time-constant-us 5
fail_case "theme of a raw cut" 2 "has no option 'theme'" "$ORVANE" convert "$src" "$TMP/f.raw" --theme dark
fail_case "start = end" 1 "must be below --end" "$ORVANE" convert "$src" "$TMP/f.csv" --start 15000000 --end 15000000
fail_case "missing input" 3 "cannot open '$TMP/missing.raw'" "$ORVANE" convert "$TMP/missing.raw" "$TMP/f.h5"
fail_case "missing folder" 1 "cannot create '$TMP/nodir/f.h5': No such file or directory" \
    "$ORVANE" convert "$src" "$TMP/nodir/f.h5"
fail_case "over its input" 1 "is the input recording" "$ORVANE" convert "$src" "$src"
# A path through a file, and a file size limit (ulimit -f: a write fails, SIGXFSZ kills nothing):
# every kind but HDF5 says why and leaves no file; an EVT 2.0 source's .raw is written again.
touch "$TMP/afile"
for ext in raw csv mp4; do
    for from in "$src" "$TMP/ecpy_evt2.raw"; do
        fail_case "through a file $ext" 1 "cannot create '$TMP/afile/f.$ext': Not a directory" \
            "$ORVANE" convert "$from" "$TMP/afile/f.$ext"
        fail_case "size limit $ext" 1 "cannot write.* '$TMP/f.$ext': File too large" \
            bash -c 'ulimit -f 16; exec "$@"' limit "$ORVANE" convert "$from" "$TMP/f.$ext"
    done
done
fail_case "size limit export" 1 "export failed: cannot write the video '$TMP/f.mp4': File too large" \
    bash -c 'ulimit -f 16; exec "$@"' limit "$ORVANE" export "$src" "$TMP/f.mp4"
rm -f "$TMP/afile"
check "input intact" "82469" "$("$ORVANE" info "$src" --json | sed -e 's/.*"events":\([0-9]*\).*/\1/')"

[ $errors -eq 0 ] && echo "all CLI convert checks passed"
exit $((errors != 0))
