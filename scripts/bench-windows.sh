#!/usr/bin/env bash
# The start of build-win32/tulora.exe under 32-bit wine against a trivial
# Windows executable, in a wine prefix made for this run:
#   scripts/bench-windows.sh [RUNS]   (default 21)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-21}
bash scripts/build-windows.sh >/dev/null
cmake --build build -j"$(nproc)" --target wine_start_bench >/dev/null
work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEARCH=win32 WINEDEBUG=-all LC_ALL=C.UTF-8
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$WINEPREFIX"
wineserver -p  # one server for all starts, as on a running desktop
wineboot -i >/dev/null 2>&1 || true
if ! wine cmd /c exit 0 >/dev/null 2>&1; then
  echo "!!!!! 32-BIT EXECUTION DOES NOT WORK ON THIS MACHINE: no figures for tulora.exe under wine !!!!!"
  exit 1
fi
build/bench/wine_start_bench "$(pwd)/build-win32/tulora.exe" "$(pwd)/build-win32/bench/bench_trivial.exe" "$runs"
