#!/bin/bash
# cmake --install into a temporary prefix, then the README's "Use from C++" example, built as
# written against it with CMake and with pkg-config, counts a reference recording's events; a
# consumer of every installed header builds against the prefix alone; the installed Python module
# imports from the prefix and reads the same recording.
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

# The installed headers are the public ones, nothing from internal/ or src/.
SRC=$(cd "$(dirname "$0")/../.." && pwd)
PREFIX=$HOME/orvane
(cd "$PREFIX/include" && find orvane -type f | sort) >"$TMP/installed.txt"
for lib in base hal driver; do (cd "$SRC/$lib/include" && find orvane -type f); done | sort >"$TMP/public.txt"
diff "$TMP/public.txt" "$TMP/installed.txt" >"$TMP/headers.diff" ||
    fail "the installed headers are not the public ones (< public only, > installed only): $(cat "$TMP/headers.diff")"

# A consumer that includes every installed header, one source each, and reaches what the viewer and
# the CLI need (camera statistics, a cut's progress and cancel) through the public interfaces alone.
# Built against the prefix: every header it reads must come from there.
mkdir -p "$TMP/consumer/headers"
cd "$TMP/consumer" || exit 1
n=0
while read -r header; do
    n=$((n + 1))
    printf '#include <%s>\n' "$header" >"headers/h$n.cpp"
done <"$TMP/installed.txt"
cat >CMakeLists.txt <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(consumer CXX)
find_package(Orvane 0.1 REQUIRED)
file(GLOB headers headers/*.cpp)
add_executable(consumer consumer.cpp ${headers})
target_link_libraries(consumer PRIVATE Orvane::Driver)
CMAKE
cat >consumer.cpp <<'CPP'
#include <atomic>
#include <cstdio>

#include <orvane/driver/DvsCamera.h>
#include <orvane/driver/DvsFileReader.h>
#include <orvane/driver/FusionCamera.h>

// What a front end reads from a camera, without its implementation class.
[[maybe_unused]] orvane::CameraStatistics (orvane::DvsCamera::*const dvsStatistics)() const =
    &orvane::DvsCamera::statistics;
[[maybe_unused]] orvane::FusionCameraStatistics (orvane::FusionCamera::*const fusionStatistics)() const =
    &orvane::FusionCamera::statistics;

int main(int argc, char** argv)
{
    if (argc != 4) return 2;
    const auto reader = orvane::DvsFileReader::createFileReader(argv[1]);
    if (!reader || reader->open()) return 1;
    uint64_t start = 0, end = 0;
    reader->getStartTimeStamp(start);
    reader->getEndTimeStamp(end);
    double done = 0;
    std::atomic<bool> cancel{false};
    reader->setProgressCallback([&done](double share) { done = share; });
    reader->setCancelFlag(&cancel);
    const bool cut = reader->extractEventData(start, end, argv[2]);
    const double cutDone = done;
    cancel = true;
    const bool cancelled = !reader->extractEventData(start, end, argv[3]) &&
                           reader->lastError().kind == orvane::RecordingError::Kind::Cancelled;
    std::printf("cut %d, progress %.2f, cancelled %d\n", cut, cutDone, cancelled);
    return cut && cutDone == 1.0 && cancelled ? 0 : 1;
}
CPP
if cmake -S . -B build -G Ninja -DCMAKE_PREFIX_PATH="$PREFIX" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >"$TMP/consumer.log" 2>&1 &&
    cmake --build build >>"$TMP/consumer.log" 2>&1; then
    got=$(./build/consumer "$TMP/work/recording.raw" "$TMP/consumer/cut.raw" "$TMP/consumer/cancelled.raw")
    [ "$got" = "cut 1, progress 1.00, cancelled 1" ] || fail "consumer through the public interfaces: $got"
    [ -s cut.raw ] && [ ! -e cancelled.raw ] || fail "consumer: the cut is missing or the cancelled one was written"
    # Include paths of the prefix only, and every header read from it or the system.
    flags=$(grep -o -- ' -I *[^ ]*\| -isystem *[^ ]*' build/compile_commands.json | sort -u | grep -v -- "$PREFIX/include")
    [ -z "$flags" ] || fail "consumer include paths outside the prefix: $flags"
    ninja -C build -t deps >"$TMP/deps.txt" 2>&1
    outside=$(grep -e "$SRC" -e "$BUILD" "$TMP/deps.txt" | sort -u)
    [ -z "$outside" ] || fail "consumer read headers outside the prefix: $outside"
    grep -q "$PREFIX/include/orvane/driver/DvsFileReader.h" "$TMP/deps.txt" || fail "consumer deps not listed"
else
    cat "$TMP/consumer.log"
    fail "a consumer of every installed header did not build against the prefix"
fi

# The same through pkg-config: the headers it reads come from the prefix.
cat "$TMP"/consumer/headers/*.cpp >all.cpp
# shellcheck disable=SC2046
if g++ -std=c++20 -fsyntax-only -MMD -MF all.d $(PKG_CONFIG_PATH="$PREFIX/lib/pkgconfig" pkg-config --cflags orvane) \
    all.cpp 2>"$TMP/pc.err"; then
    outside=$(tr ' \\' '\n\n' <all.d | grep '\.h$' | xargs -r realpath | grep -v "^$(realpath "$PREFIX")/include/")
    [ -z "$outside" ] || fail "pkg-config consumer read headers outside the prefix: $outside"
else
    cat "$TMP/pc.err"
    fail "every installed header through pkg-config's flags"
fi

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
