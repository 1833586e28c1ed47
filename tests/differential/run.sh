#!/usr/bin/env bash
# The differential wire test: the same calls of the two request routines
# (the request driver image) made once on the Linux kernel library and once
# on a Windows kernel library under wine (the i686 one under 32-bit wine,
# the x86-64 one under 64-bit wine through its own loader), against one
# wire site, then compared case by case: the requests as they arrived and
# the routines' outputs (compare.py; known differences:
# known_differences.txt).
#
#   tests/differential/run.sh [HOST_BUILD [WINDOWS_BUILD]]
#
# HOST_BUILD (default build/) must have the targets tulora-run-image (which
# brings the driver images, the wire site and the kernel libraries);
# WINDOWS_BUILD (default build-win32/; build-win64/ for the x86-64 one)
# ostra, VThread, xtra, runtime_smoke and trust_certificate. Without the
# Windows build or a wine that runs it, the Linux half runs alone and the
# script says so loudly and ends with 77 (skipped).
# Exit code: 0 when every difference found is a known one.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
host=$(cd "${1:-$root/build}" && pwd) || exit 2
win=${2:-$root/build-win32}
skipped=77
source "$root/scripts/wait_for_line.sh"
source "$root/scripts/wine_loader.sh"
# The Windows build's kind, from its kernel library's PE machine field.
machine=$(python3 - "$win/runtime/ostra.vlr" 2>/dev/null <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read(4096)
at = struct.unpack_from('<I', data, 0x3C)[0]
print({0x14C: 'i386', 0x8664: 'x86_64'}.get(struct.unpack_from('<H', data, at + 4)[0], '?'))
PY
)
if [ "$machine" = x86_64 ]; then kind=win64; else kind=win32; machine=i386; fi

work=$(mktemp -d)
site=
cleanup() {
  [ -n "$site" ] && { kill "$site" 2>/dev/null; wait "$site" 2>/dev/null; }
  [ -d "$work/prefix" ] && WINEPREFIX=$work/prefix wine_kill
  rm -rf "$work"
}
trap cleanup EXIT

"$host/tests/tulora-wire-site" "$work/wire.log" >"$work/site.out" 2>&1 &
site=$!
wait_for_line "$site" "$work/site.out" '^cert_file=' || exit 2
cert=$(sed -n 's/^cert_file=//p' "$work/site.out")
[ -n "$cert" ] || { echo "the wire site did not start" >&2; exit 2; }
bases="https://127.0.0.1:$(sed -n 's/^https_port=//p' "$work/site.out")
http://127.0.0.1:$(sed -n 's/^http_port=//p' "$work/site.out")"

# The wire log's lines from line $1 on.
log_from() { tail -n +"$1" "$work/wire.log"; }
next_line() { echo $(($(wc -l <"$work/wire.log") + 1)); }

echo "== differential wire test: Linux half (x86-64 image on the Linux kernel library)"
mkdir -p "$work/linux"
start=$(next_line)
(cd "$work/linux" && printf '%s\n' "$bases" |
   SSL_CERT_FILE=$cert timeout 120 "$host/tests/tulora-run-image" "$host/runtime" \
     "$host/image/request-driver-x86_64.img" >"$work/linux.out")
rc=$?
log_from "$start" >"$work/linux.log"
[ "$rc" -eq 0 ] || echo "the Linux run ended with exit code $rc"

# Why the Windows half cannot run here; empty when it can, the prefix then
# made and current.
why=
for f in ostra.vlr VThread.vlr xtra.vlr runtime_smoke.exe trust_certificate.exe; do
  [ -f "$win/runtime/$f" ] || { why="no $win/runtime/$f"; break; }
done
[ -n "$why" ] || [ -x "$WINE64_LOADER" ] || why="no wine"
if [ -z "$why" ]; then
  export WINEDEBUG=-all LC_ALL=C.UTF-8
  wine_prefix "$kind" "$work/prefix"
  [ "$kind" = win64 ] || wine32_runs || why="32-bit code does not execute under wine"
fi
if [ -n "$why" ]; then
  echo "!!!!! DIFFERENTIAL WIRE TEST: THE WINDOWS HALF IS NOT RUN ($why): LINUX HALF ONLY, NOTHING COMPARED !!!!!"
  python3 "$here/compare.py" "$here/known_differences.txt" "$work/linux.out" "$work/linux.log" &&
    [ "$rc" -eq 0 ] || exit 1
  exit $skipped
fi

echo "== differential wire test: Windows half ($machine image on the $machine kernel library, $kind wine)"
run=$work/windows
mkdir -p "$run"
cp "$win"/runtime/{ostra.vlr,VThread.vlr,xtra.vlr,runtime_smoke.exe,trust_certificate.exe} \
   "$host/image/request-driver-$machine.img" "$cert" "$run/"
(cd "$run" && "$WINE" trust_certificate.exe "$(basename "$cert")" >/dev/null) ||
  { echo "the certificate could not be trusted in the wine prefix"; exit 1; }
# A crash in wine's own code (tests/windows/wine_crash.py: its request
# object's races) has the Windows half run again, at most twice.
for attempt in 1 2 3; do
  start=$(next_line)
  (cd "$run" && printf '%s\n' "$bases" |
     timeout 300 "$WINE" runtime_smoke.exe run "request-driver-$machine.img" \
       >"$work/windows.out" 2>"$work/windows.err")
  wrc=$?
  log_from "$start" >"$work/windows.log"
  cat "$work/windows.err" >&2
  crash=$(python3 "$root/tests/windows/wine_crash.py" "$work/windows.err" "$run"/*.vlr \
          "$run"/runtime_smoke.exe)
  [ -n "$crash" ] && [ "$attempt" -lt 3 ] || break
  echo "!!!!! DIFFERENTIAL WIRE TEST: WINE CRASHED IN ITS OWN CODE AT $crash (see tests/windows/wine_crash.py): WINDOWS HALF RUN AGAIN (attempt $((attempt + 1)) of 3) !!!!!"
done
[ "$wrc" -eq 0 ] || echo "the Windows run ended with exit code $wrc"

python3 "$here/compare.py" "$here/known_differences.txt" "$work/linux.out" "$work/linux.log" \
  "$work/windows.out" "$work/windows.log"
result=$?
[ "$rc" -eq 0 ] && [ "$wrc" -eq 0 ] || result=1
if [ -n "${TULORA_DIFFERENTIAL_KEEP:-}" ]; then
  mkdir -p "$TULORA_DIFFERENTIAL_KEEP"
  cp "$work"/{linux,windows}.{out,log} "$TULORA_DIFFERENTIAL_KEEP/"
fi
exit $result
