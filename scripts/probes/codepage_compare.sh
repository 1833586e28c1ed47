#!/usr/bin/env bash
# Builds codepage_probe.c for Windows (mingw-w64, run under 64-bit wine)
# and natively over the runtime's conversion, runs both and shows where
# they differ. Error codes are left out: the runtime keeps no last error.
#   scripts/probes/codepage_compare.sh OUT_DIR
# Needs x86_64-w64-mingw32-gcc and wine. Not part of the build or of CI.
set -euo pipefail
out=$1
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
mkdir -p "$out"
x86_64-w64-mingw32-gcc -O1 -o "$out/codepage_probe.exe" "$here/codepage_probe.c"
gcc -O1 -c -o "$out/codepage_probe.o" "$here/codepage_probe.c"
g++ -std=c++20 -O1 -I"$root" -o "$out/codepage_probe" "$out/codepage_probe.o" \
    "$here/codepage_shim.cc" "$root/runtime/text/codepage.cc"
export WINEPREFIX=${WINEPREFIX:-$out/wineprefix} WINEDEBUG=-all
wine "$out/codepage_probe.exe" | tr -d '\r' | sed 's/ err=[0-9]*//' >"$out/windows.txt"
"$out/codepage_probe" | sed 's/ err=[0-9]*//' >"$out/runtime.txt"
echo "windows: $(wc -l <"$out/windows.txt") lines, runtime: $(wc -l <"$out/runtime.txt") lines"
if diff "$out/windows.txt" "$out/runtime.txt" >"$out/diff.txt"; then
  echo "no difference"
else
  echo "$(grep -c '^<' "$out/diff.txt") lines differ; see $out/diff.txt"
fi
