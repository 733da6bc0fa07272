#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer + AddressSanitizer) and runs each briefly.
set -euo pipefail
SECONDS_PER_TARGET=${FUZZ_SECONDS:-30}
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DORVANE_BUILD_FUZZ=ON -DORVANE_BUILD_TESTS=OFF -DORVANE_BUILD_VIEWER=OFF \
  -DORVANE_BUILD_BENCH=OFF -DORVANE_SANITIZE=address,undefined >/dev/null
cmake --build build-fuzz -j "$(nproc)"
shopt -s nullglob
for target in build-fuzz/bin/fuzz_*; do
  echo "fuzzing $(basename "$target") for ${SECONDS_PER_TARGET}s"
  corpus="build-fuzz/corpus/$(basename "$target")"
  mkdir -p "$corpus"
  "$target" -max_total_time="$SECONDS_PER_TARGET" -max_len=65536 -print_final_stats=1 "$corpus" 2>&1 | tail -5
done
