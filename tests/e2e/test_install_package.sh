#!/bin/bash
# cmake --install into a temporary prefix, then the README's "Use from C++" example, built as
# written against it with CMake and with pkg-config, counts a reference recording's events; the
# installed Python module imports from the prefix and reads the same recording.
set -u
BIN=$1
DATA=$2
BUILD=$(cd "$BIN/.." && pwd)
README=$(cd "$(dirname "$0")/../.." && pwd)/README.md
# A sanitizer build's libraries need the sanitizer's runtime in every program that links them.
if grep -q '^ORVANE_SANITIZE:STRING=.' "$BUILD/CMakeCache.txt" 2>/dev/null; then
    echo "skipped: sanitizer build"
    exit 77
fi
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
errors=0
fail() {
    echo "FAIL $1"
    errors=$((errors + 1))
}

export HOME=$TMP/home
mkdir -p "$HOME" "$TMP/work"
cmake --install "$BUILD" --prefix "$HOME/orvane" >"$TMP/install.log" 2>&1 || { cat "$TMP/install.log"; exit 1; }
for f in lib/cmake/Orvane/OrvaneConfig.cmake lib/cmake/Orvane/OrvaneConfigVersion.cmake lib/pkgconfig/orvane.pc \
         include/orvane/driver/RawFileReader.h include/orvane/types/Event2D.h lib/libOrvaneDriver.so; do
    [ -e "$HOME/orvane/$f" ] || fail "not installed: $f"
done

# The fenced blocks of the README section, by language.
block() {  # language
    awk -v lang="$1" '
        /^## / { inside = ($0 == "## Use from C++") }
        inside && /^```/ { if (grab) { grab = 0; exit } else if ($0 == "```" lang) { grab = 1; next } }
        grab { print }' "$README"
}
cd "$TMP/work" || exit 1
block cpp >count_events.cpp
block cmake >CMakeLists.txt
block sh >build.sh
[ -s count_events.cpp ] && [ -s CMakeLists.txt ] && [ -s build.sh ] || fail "README blocks not found"
cp "$DATA/ecpy_test_events_1.raw" recording.raw

out=$(bash -e build.sh 2>"$TMP/build.err") || { cat "$TMP/build.err"; fail "the README commands failed"; }
expected="343474 events, 125183 ON"
[ "$(echo "$out" | grep -c "^$expected\$")" = 2 ] || fail "expected '$expected' from both builds, got: $out"

# The installed Python module finds the installed libraries.
PY=python3
[ -x /usr/bin/python3 ] && PY=/usr/bin/python3
if [ -d "$HOME/orvane/lib/python3/dist-packages" ]; then
    got=$(cd / && PYTHONPATH="$HOME/orvane/lib/python3/dist-packages" "$PY" -c \
        "import orvane; print(len(orvane.RawFile('$TMP/work/recording.raw').read()), orvane.__file__)" 2>&1)
    case "$got" in
        "343474 $HOME/orvane/"*) ;;
        *) fail "installed Python module: $got" ;;
    esac
fi

[ $errors -eq 0 ] && echo "install package: all checks passed"
exit $errors
