#!/usr/bin/env bash
# The project's test command: installs what is missing, builds the program,
# runs every test, then the sanitizer build's tests, the Windows builds'
# tests under wine and the fuzz targets.
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

# ctest's summary lines are kept to print one total at the end.
summary=$(mktemp)
trap 'rm -f "$summary"' EXIT
run_ctest() {
  ctest "$@" --output-on-failure -j"$jobs" | tee -a "$summary"
}

step "build (build/)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"

step "tests (build/)"
run_ctest --test-dir build

if [ "${TULORA_SKIP_SANITIZE:-0}" != 1 ]; then
  step "build with AddressSanitizer + UndefinedBehaviorSanitizer (build-asan/)"
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTULORA_SANITIZE=ON \
        -DTULORA_BENCH=OFF >/dev/null
  cmake --build build-asan -j"$jobs"
  step "tests (build-asan/)"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    run_ctest --test-dir build-asan
fi

step "Windows builds and their tests under wine (build-win32/, build-win64/)"
bash scripts/test-windows.sh

step "fuzz targets (build-fuzz/, ${fuzz_seconds}s each)"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DTULORA_FUZZ=ON -DTULORA_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$jobs" --target fuzz_targets
"$root/fuzz/run.sh" "$root/build-fuzz" "$fuzz_seconds"

passed=$(awk '/tests passed, 0 tests failed out of/ {n += $NF} END {print n + 0}' "$summary")
step "all tests passed"
echo "${passed:-0} passed, 0 failed"
