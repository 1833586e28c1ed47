#!/usr/bin/env bash
# tests/windows/executable_checks.sh BUILD HOST_BUILD
# What BUILD/tulora.exe (i686) is as a file: a PE32 console program for
# i386 with time stamp 0; its fourth and last section ".data"
# (0xE0000040) holds the i386 program image from its first byte; version
# 1.0.0.0 and the Common Controls 6.0 manifest in its resources; the payload
# right after the sections' raw data, carrying the kernel library that
# exports GetNewSock. Prints one line per check; exit code 1 when one failed.
set -uo pipefail
build=$1
host=$2
exe=$build/tulora.exe
objdump=i686-w64-mingw32-objdump
failed=0

check() {  # check NAME COMMAND...: the command's success is the verdict
  local name=$1
  shift
  if "$@" >/dev/null 2>&1; then
    echo "  ok    $name"
  else
    echo "  FAIL  $name"
    failed=1
  fi
}
has() { grep -q -E -- "$2" <<<"$1"; }

headers=$($objdump -p "$exe" 2>&1)
sections=$($objdump -h "$exe" 2>&1 | grep -E '^ +[0-9]+ ')
inspected=$("$host/tools/tulora-imageinspect" "$exe" 2>&1)
image_alone=$("$host/tools/tulora-imageinspect" "$host/image/tulora-i386.img" 2>&1)
payload=$("$host/tools/tulora-payloadinspect" "$exe" 2>&1)
resources=$(i686-w64-mingw32-windres -i "$exe" -O rc 2>&1)

echo "== executable checks ($exe)"
check "PE32 for i386" has "$($objdump -f "$exe")" 'file format pei-i386'
check "console subsystem" has "$headers" 'Subsystem[[:space:]]+00000003'
check "time stamp 0" has "$headers" 'Time/Date[[:space:]]+Thu Jan  1 00:00:00 1970'
check "four sections, the first three with a .data" \
  test "$(wc -l <<<"$sections")" = 4 -a "$(head -3 <<<"$sections" | grep -c ' \.data ')" = 1
check "section 4 is .data, 0xE0000040" \
  has "$inspected" '^image: section 4 of the executable \(\.data, characteristics 0xE0000040'
check "section 4 holds the i386 image, table for table" \
  test "$(tail -n +2 <<<"$inspected")" = "$(tail -n +2 <<<"$image_alone")"
check "file and product version 1.0.0.0" \
  has "$(tr -d '\n' <<<"$resources")" 'FILEVERSION 1, 0, 0, 0 PRODUCTVERSION 1, 0, 0, 0'
check "manifest asks for Common Controls 6.0.0.0" \
  has "$(tr -d '\n' <<<"$resources")" 'name=""Microsoft.Windows.Common-Controls"" version=""6.0.0.0""'
check "payload right after the sections' raw data" \
  has "$payload" "^payload: [0-9]+ bytes at file offset [0-9]+, right after the sections' raw data"
check "payload carries the kernel library ostra.vlr" has "$payload" '^kernel library: "ostra.vlr"'
check "the kernel library exports GetNewSock" \
  has "$($objdump -p "$build/payload/ostra.vlr")" '[[:space:]]GetNewSock$'
exit $failed
