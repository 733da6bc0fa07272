#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer + AddressSanitizer + UBSan) and runs each briefly.
# FUZZ_SECONDS: time per target (30); FUZZ_BUILD: build folder (build-fuzz).
set -euo pipefail
SECONDS_PER_TARGET=${FUZZ_SECONDS:-30}
BUILD_DIR=${FUZZ_BUILD:-build-fuzz}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DORVANE_BUILD_FUZZ=ON -DORVANE_BUILD_TESTS=OFF -DORVANE_BUILD_VIEWER=OFF \
  -DORVANE_BUILD_BENCH=OFF -DORVANE_SANITIZE=address,undefined >/dev/null
# Only the fuzz targets (fuzz/<name>.cpp) and what they link.
targets=()
for source in fuzz/*.cpp; do targets+=("$(basename "$source" .cpp)"); done
cmake --build "$BUILD_DIR" -j "$(nproc)" --target "${targets[@]}"

# Seeds, so that a short run starts from files that parse: the reference recordings (their first
# 16 KiB) for the raw reader and a tiny H.264 mp4 for the mp4 reader.
seed() {  # target file
  mkdir -p "$BUILD_DIR/corpus/$1"
  cp "$2" "$BUILD_DIR/corpus/$1/" 2>/dev/null || true
}
seeds="$BUILD_DIR/seeds"
mkdir -p "$seeds"
for rec in tests/data/*.raw; do
  head -c 16384 "$rec" >"$seeds/$(basename "$rec")"
  seed fuzz_raw_header "$seeds/$(basename "$rec")"
  seed fuzz_evt3_decoder "$seeds/$(basename "$rec")"
done
# EVT 2.x streams from the tests' encoder are not files here: the fuzzer starts from the words above.
seed fuzz_evt2_decoder "$seeds/$(basename "$rec")"
if command -v ffmpeg >/dev/null && [ ! -f "$seeds/tiny.mp4" ]; then
  ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=30 -frames:v 3 -c:v libx264 -pix_fmt yuv420p \
    "$seeds/tiny.mp4" || true
fi
seed fuzz_mp4_reader "$seeds/tiny.mp4"

# The targets that read files write each input to a folder under TMPDIR: keep those in the build
# folder and empty it afterwards.
export TMPDIR="$(cd "$BUILD_DIR" && pwd)/tmp"
mkdir -p "$TMPDIR"
trap 'rm -rf "$TMPDIR"' EXIT

for name in "${targets[@]}"; do
  target="$BUILD_DIR/bin/$name"
  echo "fuzzing $name for ${SECONDS_PER_TARGET}s"
  corpus="$BUILD_DIR/corpus/$name"
  mkdir -p "$corpus"
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$target" -max_total_time="$SECONDS_PER_TARGET" -max_len=65536 -print_final_stats=1 "$corpus" 2>&1 | tail -8
done
