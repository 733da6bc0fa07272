#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer + AddressSanitizer + UBSan) and runs each briefly.
# FUZZ_SECONDS: time per target (30); FUZZ_BUILD: build folder (build-fuzz).
set -euo pipefail
SECONDS_PER_TARGET=${FUZZ_SECONDS:-30}
BUILD_DIR=${FUZZ_BUILD:-build-fuzz}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DORVANE_BUILD_FUZZ=ON -DORVANE_BUILD_TESTS=OFF -DORVANE_BUILD_VIEWER=OFF \
  -DORVANE_BUILD_BENCH=OFF -DORVANE_BUILD_PYTHON=OFF -DORVANE_SANITIZE=address,undefined >/dev/null
# Only the fuzz targets (fuzz/<name>.cpp) and what they link.
targets=()
for source in fuzz/*.cpp; do targets+=("$(basename "$source" .cpp)"); done
cmake --build "$BUILD_DIR" -j "$(nproc)" --target "${targets[@]}"
for name in "${targets[@]}"; do
  target="$BUILD_DIR/bin/$name"
  echo "fuzzing $name for ${SECONDS_PER_TARGET}s"
  corpus="$BUILD_DIR/corpus/$name"
  mkdir -p "$corpus"
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$target" -max_total_time="$SECONDS_PER_TARGET" -max_len=65536 -print_final_stats=1 "$corpus" 2>&1 | tail -8
done
