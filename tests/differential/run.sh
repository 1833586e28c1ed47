#!/usr/bin/env bash
# The differential wire test: the same calls of the two request routines
# (the request driver image) made once on the Linux kernel library and once
# on the i686 Windows kernel library under 32-bit wine, against one wire
# site, then compared case by case: the requests as they arrived and the
# routines' outputs (compare.py; known differences: known_differences.txt).
#
#   tests/differential/run.sh [HOST_BUILD [WIN32_BUILD]]
#
# HOST_BUILD (default build/) must have the targets tulora-run-image (which
# brings the driver images, the wire site and the kernel libraries);
# WIN32_BUILD (default build-win32/) ostra, VThread, xtra, runtime_smoke and
# trust_certificate. Without the i686 build or 32-bit wine, the Linux half
# runs alone and the script says so loudly and ends with 77 (skipped).
# Exit code: 0 when every difference found is a known one.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
host=$(cd "${1:-$root/build}" && pwd) || exit 2
win32=${2:-$root/build-win32}
skipped=77
source "$root/scripts/wait_for_line.sh"

work=$(mktemp -d)
site=
cleanup() {
  [ -n "$site" ] && { kill "$site" 2>/dev/null; wait "$site" 2>/dev/null; }
  [ -d "$work/prefix" ] && WINEPREFIX=$work/prefix wineserver -k 2>/dev/null
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

windows_ready() {
  local f
  for f in ostra.vlr VThread.vlr xtra.vlr runtime_smoke.exe trust_certificate.exe; do
    [ -f "$win32/runtime/$f" ] || { echo "no $win32/runtime/$f"; return 1; }
  done
  command -v wine >/dev/null || { echo "no wine"; return 1; }
  export WINEDEBUG=-all LC_ALL=C.UTF-8 WINEPREFIX=$work/prefix WINEARCH=win32
  wineboot -i >/dev/null 2>&1
  wine cmd /c exit 0 >/dev/null 2>&1 || { echo "32-bit code does not execute under wine"; return 1; }
}

if ! why=$(windows_ready); then
  echo "!!!!! DIFFERENTIAL WIRE TEST: THE WINDOWS HALF IS NOT RUN ($why): LINUX HALF ONLY, NOTHING COMPARED !!!!!"
  python3 "$here/compare.py" "$here/known_differences.txt" "$work/linux.out" "$work/linux.log" &&
    [ "$rc" -eq 0 ] || exit 1
  exit $skipped
fi
export WINEDEBUG=-all LC_ALL=C.UTF-8 WINEPREFIX=$work/prefix WINEARCH=win32

echo "== differential wire test: Windows half (i386 image on the i686 kernel library, 32-bit wine)"
run=$work/windows
mkdir -p "$run"
cp "$win32"/runtime/{ostra.vlr,VThread.vlr,xtra.vlr,runtime_smoke.exe,trust_certificate.exe} \
   "$host/image/request-driver-i386.img" "$cert" "$run/"
(cd "$run" && wine trust_certificate.exe "$(basename "$cert")" >/dev/null) ||
  { echo "the certificate could not be trusted in the wine prefix"; exit 1; }
start=$(next_line)
(cd "$run" && printf '%s\n' "$bases" |
   timeout 300 wine runtime_smoke.exe run request-driver-i386.img >"$work/windows.out")
wrc=$?
log_from "$start" >"$work/windows.log"
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
