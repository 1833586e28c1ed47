#!/usr/bin/env bash
# The project's test command: installs what is missing, builds the program,
# runs every test, then the sanitizer build's tests and the fuzz targets.
#
#   scripts/test.sh              everything
#   TULORA_FUZZ_SECONDS=N        seconds per fuzz target (default 20)
#   TULORA_SKIP_SANITIZE=1       skip the ASan/UBSan build (local iterations)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/deps.sh

jobs=$(nproc)
fuzz_seconds=${TULORA_FUZZ_SECONDS:-20}

step() { printf '\n== %s\n' "$*"; }

step "build (build/)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"

step "tests (build/)"
ctest --test-dir build --output-on-failure -j"$jobs"

if [ "${TULORA_SKIP_SANITIZE:-0}" != 1 ]; then
  step "build with AddressSanitizer + UndefinedBehaviorSanitizer (build-asan/)"
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTULORA_SANITIZE=ON \
        -DTULORA_BENCH=OFF >/dev/null
  cmake --build build-asan -j"$jobs"
  step "tests (build-asan/)"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j"$jobs"
fi

step "fuzz targets (build-fuzz/, ${fuzz_seconds}s each)"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DTULORA_FUZZ=ON -DTULORA_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$jobs" --target fuzz_targets
"$root/fuzz/run.sh" "$root/build-fuzz" "$fuzz_seconds"

step "all tests passed"
