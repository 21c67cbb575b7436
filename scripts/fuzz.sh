#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer (plus AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time, starting from
# the corpus in fuzz/corpus. New inputs it finds stay in build/fuzz/corpus;
# a crashing input is left in build/fuzz/artifacts and fails the script.
# Usage: scripts/fuzz.sh [seconds per target, default 60]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
build=build/fuzz
cxx="$(command -v clang++-14 || command -v clang++)"

cmake -S . -B "$build" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLANE_FUZZ=ON \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined,float-cast-overflow -fno-sanitize-recover=all -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined,float-cast-overflow" >/dev/null
cmake --build "$build" -j2 --target fuzz_apng_writer fuzz_frame_encoder

for target in apng_writer frame_encoder; do
  mkdir -p "$build/corpus/$target" "$build/artifacts"
  echo "fuzzing $target for $seconds s"
  "$build/bin/fuzz_$target" -max_total_time="$seconds" -max_len=65536 -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
    "$build/corpus/$target" "fuzz/corpus/$target"
done
