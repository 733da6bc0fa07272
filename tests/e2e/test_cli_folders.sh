#!/bin/bash
# orvane info, convert and export over many files and folders: a folder with good, empty and broken
# recordings gives a line per recording (or a JSON object), a summary that names each failure and a
# non-zero exit status; --out mirrors the input folders; mistakes are usage errors (status 2) before
# anything is written; Ctrl-C mid-run stops every job and leaves no part file; the bar shows only on
# a terminal.
set -u
BIN=$1
DATA=$2
ORVANE="$BIN/orvane"
PY=/usr/bin/python3
TMP=$(mktemp -d)
trap 'kill -9 $(jobs -p) 2>/dev/null; rm -rf "$TMP"' EXIT
errors=0
check() {  # name expected actual
    if [ "$2" != "$3" ]; then
        echo "FAIL $1: expected '$2', got '$3'"
        errors=$((errors + 1))
    fi
}
has() {  # name file pattern
    grep -q -- "$3" "$2" || { echo "FAIL $1: no '$3' in: $(cat "$2")"; errors=$((errors + 1)); }
}
parts() { find "$@" -name '*.part*' | sort; }

# The folder: two good recordings (one named in capitals), an empty one, random bytes, a header that
# names an unknown encoding, and files that are not recordings (a note, a part file of a killed job).
mkdir -p "$TMP/data/day1" "$TMP/data/day2"
cp "$DATA/eccodecs_evt3_trigger.raw" "$TMP/data/day1/a.raw"
cp "$DATA/ecpy_test_events_1.raw" "$TMP/data/day2/B.RAW"
chmod u+w "$TMP/data/day1/a.raw" "$TMP/data/day2/B.RAW"
: >"$TMP/data/empty.raw"
head -c 100000 /dev/urandom >"$TMP/data/garbled.raw"
head -c 2000 "$DATA/ecpy_test_events_1.raw" | sed 's/evt 3.0/evt 9.9/' >"$TMP/data/day2/header.raw"
echo "notes" >"$TMP/data/notes.txt"
cp "$DATA/ecpy_test_events_1.raw" "$TMP/data/day2/old.raw.part999999.raw"
A="$TMP/data/day1/a.raw" B="$TMP/data/day2/B.RAW"

# info: a line per recording in path order, the failures among them, then the summary.
"$ORVANE" info "$TMP/data" -j 2 >"$TMP/out" 2>"$TMP/err"
check "info folder status (failures of two kinds)" 1 $?
check "info folder stderr (no terminal: no bar)" "" "$(cat "$TMP/err")"
check "info folder lines" "$A $TMP/data/day2/B.RAW $TMP/data/day2/header.raw $TMP/data/empty.raw $TMP/data/garbled.raw" \
    "$(head -5 "$TMP/out" | sed 's/: .*//' | tr '\n' ' ' | sed 's/ $//')"
has "info line of a.raw" "$TMP/out" "^$A: EVT 3.0, 1280x720, 82469 events"
has "info line of B.RAW" "$TMP/out" "^$B: EVT 3.0, 640x480, 343474 events"
has "info summary" "$TMP/out" "^5 files: 2 read, 3 failed; 425943 events"
has "empty's reason" "$TMP/out" "^failed: $TMP/data/empty.raw: .*holds no events"
has "garbled's reason" "$TMP/out" "^failed: $TMP/data/garbled.raw: .*does not look like event data"
has "header's reason" "$TMP/out" "^failed: $TMP/data/day2/header.raw: .*EVT 9.9"
check "info failures listed" 3 "$(grep -c '^failed: ' "$TMP/out")"
# The failures' kinds differ: 1. One kind: its own status (6: no events), as for one file.
"$ORVANE" info "$A" "$TMP/data/empty.raw" >/dev/null 2>&1
check "info status of one kind of failure" 6 $?
"$ORVANE" info "$TMP/data/day1" "$B" >"$TMP/out" 2>&1
check "info all good" "0 2" "$? $(grep -c 'events, .* bytes' "$TMP/out")"

# --json: JSON lines on stdout (the summary on stderr), an "error" for each failure.
"$ORVANE" info "$TMP/data" --json >"$TMP/json" 2>"$TMP/err"
check "info --json status" 1 $?
check "info --json objects" "a.raw:82469:None B.RAW:343474:None header.raw:-:bad_header empty.raw:-:no_events garbled.raw:-:not_event_data" \
    "$($PY -c '
import json, os, sys
rows = [json.loads(line) for line in open(sys.argv[1])]
print(" ".join("%s:%s:%s" % (os.path.basename(r["path"]), r.get("events", "-"), r.get("error_kind")) for r in rows))
' "$TMP/json")"
has "info --json summary on stderr" "$TMP/err" "^5 files: 2 read, 3 failed"

# convert into a folder: the input folders mirrored below it, the same bytes as one file's convert.
"$ORVANE" convert "$TMP/data" --out "$TMP/csv" --to csv -j 2 >"$TMP/out" 2>"$TMP/err"
status=$?
[ $status -ne 0 ] || { echo "FAIL convert folder with failures exited 0"; errors=$((errors + 1)); }
check "convert outputs" "day1/a.csv day2/B.csv" "$(cd "$TMP/csv" && find . -type f | sed 's|^\./||' | sort | tr '\n' ' ' | sed 's/ $//')"
has "convert line" "$TMP/out" "^$A -> $TMP/csv/day1/a.csv: csv, 82469 events"
has "convert summary" "$TMP/out" "^5 files: 2 converted, 3 failed"
has "convert failure" "$TMP/out" "^failed: $TMP/data/garbled.raw: "
"$ORVANE" convert "$A" "$TMP/a.csv" >/dev/null
check "a folder's csv is the file's" "" "$(cmp "$TMP/a.csv" "$TMP/csv/day1/a.csv" 2>&1)"
"$ORVANE" convert "$TMP/data/day1" "$B" --out "$TMP/h5" --to hdf5 --json -q >"$TMP/json" 2>"$TMP/err"
check "convert named file and folder" "0 $TMP/h5/a.hdf5 $TMP/h5/B.hdf5" \
    "$? $($PY -c 'import json, sys; print(" ".join(json.loads(l)["output"] for l in open(sys.argv[1])))' "$TMP/json")"
check "hdf5 signature" "894844460d0a1a0a" "$(head -c 8 "$TMP/h5/B.hdf5" | od -An -tx1 | tr -d ' \n')"
rm "$TMP/data/day2/old.raw.part999999.raw"
check "no part files after convert" "" "$(parts "$TMP")"

# The outputs' folder inside an input folder is not searched: a second run finds the same files.
"$ORVANE" convert "$TMP/data/day1" --out "$TMP/data/day1/cut" --to raw >/dev/null 2>&1
"$ORVANE" convert "$TMP/data/day1" --out "$TMP/data/day1/cut" --to raw >"$TMP/out" 2>&1
check "output folder inside the input" "0 1 file: 1 converted" "$? $(grep -o '^1 file: 1 converted' "$TMP/out")"
check "a cut per recording" "a.raw" "$(ls "$TMP/data/day1/cut")"
rm -rf "$TMP/data/day1/cut"
# Cuts into the recordings' own folder would replace them: each is refused, and kept.
"$ORVANE" convert "$TMP/data/day1" --out "$TMP/data/day1" --to raw >"$TMP/out" 2>&1
check "cut over its input" "1" "$?"
has "cut over its input: reason" "$TMP/out" "^failed: $A: .*is the input recording"
check "cut over its input: kept" "82469" "$("$ORVANE" info "$A" --json | sed -e 's/.*"events":\([0-9]*\).*/\1/')"

# export into a folder, with the video's own option.
"$ORVANE" export "$TMP/data/day1" --out "$TMP/videos" --fps 60 >"$TMP/out" 2>&1
check "export folder" "0 a.mp4" "$? $(ls "$TMP/videos")"
has "export line" "$TMP/out" "^$A -> $TMP/videos/a.mp4: video"
has "export summary" "$TMP/out" "^1 file: 1 exported"

# Mistakes: status 2, the usage line, and nothing written.
usage_case() {  # name expected-message command...
    local name=$1 message=$2
    shift 2
    "$@" >"$TMP/out" 2>"$TMP/err"
    check "$name status" 2 $?
    has "$name message" "$TMP/err" "$message"
    has "$name usage" "$TMP/err" "^usage: orvane"
    check "$name writes nothing" "no folder" "$([ -e "$TMP/x" ] && ls -A "$TMP/x" || echo "no folder")"
}
mkdir -p "$TMP/twin"
cp "$A" "$TMP/twin/a.raw"
usage_case "folder without --out" "folders take --out DIR" "$ORVANE" convert "$TMP/data" "$TMP/data/day1"
usage_case "--out without --to" "--to KIND" "$ORVANE" convert "$TMP/data" --out "$TMP/x"
usage_case "unknown kind" "--to takes one of" "$ORVANE" convert "$TMP/data" --out "$TMP/x" --to txt
usage_case "option of another kind" "has no option 'fps'" "$ORVANE" convert "$TMP/data" --out "$TMP/x" --to h5 --fps 30
usage_case "bad option value" "--fps needs" "$ORVANE" export "$TMP/data" --out "$TMP/x" --fps 999
usage_case "range with many" "--start and --end" "$ORVANE" convert "$TMP/data" --out "$TMP/x" --to csv --start 5
usage_case "no jobs" "--jobs needs a number" "$ORVANE" info "$TMP/data" -j 0
usage_case "two inputs, one output" "would both be written to '$TMP/x/a.csv'" \
    "$ORVANE" convert "$TMP/data/day1" "$TMP/twin" --out "$TMP/x" --to csv
# The same file twice (named, and in a folder named) is one job.
"$ORVANE" convert "$TMP/data/day1" "$A" --out "$TMP/once" --to csv >"$TMP/out" 2>&1
check "a file named twice" "0 1 file: 1 converted" "$? $(grep -o '^1 file: 1 converted' "$TMP/out")"
mkdir "$TMP/nothing"
"$ORVANE" info "$TMP/nothing" >"$TMP/out" 2>"$TMP/err"
check "a folder without recordings" "3" "$?"
has "a folder without recordings says so" "$TMP/err" "no recordings"

# The bar: on a terminal (script gives one), none with --quiet.
if command -v script >/dev/null; then
    script -qec "$ORVANE convert $TMP/data/day1 $B --out $TMP/bar --to csv -j 1" /dev/null >"$TMP/tty" 2>&1
    has "bar on a terminal" "$TMP/tty" "files  .* MB of .* MB"
    has "lines on a terminal" "$TMP/tty" "2 files: 2 converted"
    script -qec "$ORVANE convert $TMP/data/day1 $B --out $TMP/bar --to csv -q" /dev/null >"$TMP/tty" 2>&1
    check "no bar with --quiet" "" "$(grep -a 'files  ' "$TMP/tty")"
fi

# Ctrl-C mid-convert: every job stops, no part file is left, the files not started are cancelled
# (status 130); the outputs of jobs that ended before it are complete. Once sent to the batch alone (it passes it on), once to its whole process group
# (as a terminal sends it).
mkdir "$TMP/big"
for i in 1 2 3; do
    "$BIN/orvane_rawtool" loop "$A" "$TMP/big/big$i.raw" --events 10000000 >/dev/null || exit 77
done
"$ORVANE" info "$TMP/big" -q >/dev/null  # the indexes, so that the jobs start converting at once
interrupt() {  # target out
    local target=$1 out=$2
    setsid "$ORVANE" convert "$TMP/big" --out "$out" --to h5 -j 2 >"$TMP/job.out" 2>"$TMP/job.err" &
    local pid=$! found=""
    for _ in $(seq 1 3000); do
        found=$(parts "$out" 2>/dev/null | head -1)
        [ -n "$found" ] && break
        kill -0 $pid 2>/dev/null || break
        sleep 0.01
    done
    [ -n "$found" ] || echo "FAIL no part file seen under $out"
    # Held still while the signal goes in, so that it lands while that job runs.
    kill -STOP -- -$pid
    if [ "$target" = group ]; then kill -INT -- -$pid; else kill -INT $pid; fi
    kill -CONT -- -$pid
    wait $pid
    echo $?
}
for target in batch group; do
    status=$(interrupt $target "$TMP/bigout.$target")
    check "SIGINT to the $target: status" 130 "$status"
    check "SIGINT to the $target: no part file" "" "$(parts "$TMP/bigout.$target" "$TMP/big")"
    has "SIGINT to the $target: summary" "$TMP/job.out" "^3 files: .*cancelled"
    # The file not started and at least the job whose part file was seen.
    cancelled=$(sed -n 's/^3 files: .* \([0-9]*\) cancelled.*/\1/p' "$TMP/job.out")
    [ "${cancelled:-0}" -ge 2 ] || { echo "FAIL SIGINT to the $target: running jobs not cancelled"; errors=$((errors + 1)); }
    [ $errors -eq 0 ] || cat "$TMP/job.out" "$TMP/job.err"
    for f in $(find "$TMP/bigout.$target" -name '*.h5'); do
        check "SIGINT to the $target: $f complete" "894844460d0a1a0a" "$(head -c 8 "$f" | od -An -tx1 | tr -d ' \n')"
    done
done

# A job that dies (killed here; a crash alike) fails its file alone, and its part file goes.
setsid "$ORVANE" convert "$TMP/big" --out "$TMP/bigout.killed" --to h5 -j 2 >"$TMP/job.out" 2>"$TMP/job.err" &
pid=$!
for _ in $(seq 1 3000); do
    [ -n "$(parts "$TMP/bigout.killed" 2>/dev/null)" ] && break
    sleep 0.01
done
child=$(awk -v parent=$pid '$4 == parent { print $1; exit }' /proc/[0-9]*/stat 2>/dev/null)
[ -n "$child" ] && kill -9 "$child"
wait $pid
check "a killed job: status" 1 $?
has "a killed job: the others go on" "$TMP/job.out" "^3 files: 2 converted, 1 failed"
has "a killed job: its reason" "$TMP/job.out" "^failed: .*crashed (signal 9"
check "a killed job: no part file" "" "$(parts "$TMP/bigout.killed")"
check "a killed job: the others' outputs" 2 "$(find "$TMP/bigout.killed" -name '*.h5' | wc -l)"

[ $errors -eq 0 ] && echo "all CLI folder checks passed"
exit $((errors > 0))
