#!/usr/bin/env bash
# tests/windows/launcher_cases.sh BUILD HOST_BUILD
# The launcher of BUILD/tulora.exe under wine, in the current WINEPREFIX,
# through the loader WINE (scripts/wine_loader.sh):
# every broken payload ends in one message box (no owner, the launcher's
# message, caption "Error", style 0x10), seen through wine's relay trace,
# with exit code 0; the runtime files land in V_N<id> under the prefix's
# temporary directory. Prints one line per case; exit code 1 when one
# failed.
set -uo pipefail
build=$1
host=$2
pack=$host/tools/tulora-pack
bare=$build/launcher/tulora-launcher-image.exe  # launcher and image, no payload
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# Only MessageBoxA shows in the relay trace.
: "${WINE:?the wine loader of the current prefix}"
"$WINE" reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ /d user32.MessageBoxA /f \
  >/dev/null 2>&1
temp_dir=$("$WINE" winepath.exe -u "$("$WINE" cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')" \
  2>/dev/null)

verdict() {  # verdict NAME OK DETAIL
  if [ "$2" = 1 ]; then
    echo "  ok    $1"
  else
    echo "  FAIL  $1: $3"
    failed=1
  fi
}

# run EXE: runs it with empty input; sets rc, box (the message box call
# with its addresses left out, or empty) and out. A 64-bit trace writes
# addresses of more than 8 digits.
run() {
  rc=0
  WINEDEBUG=+relay "$WINE" "$1" </dev/null >"$work/out" 2>"$work/err" || rc=$?
  box=$(grep -o 'Call user32.MessageBoxA([^)]*)' "$work/err" | sed -E 's/[0-9a-f]{8,16} "/"/g')
  out=$(cat "$work/out")
}

# expect_box NAME EXE MESSAGE
expect_box() {
  run "$2"
  local want="Call user32.MessageBoxA(00000000,\"$3\",\"Error\",00000010)"
  local ok=0
  [ "$box" = "$want" ] && [ "$rc" = 0 ] && [ -z "$out" ] && ok=1
  verdict "$1" $ok "exit code $rc, console '$out', box '${box:-none}', want '$want'"
}

# patched NAME OFFSET_FROM_END: tulora.exe with the byte that lies
# OFFSET_FROM_END bytes before its end inverted.
patched() {
  local exe=$work/$1.exe size
  cp "$build/tulora.exe" "$exe"
  size=$(stat -c %s "$exe")
  python3 - "$exe" $((size - $2)) <<'PY'
import sys
path, at = sys.argv[1], int(sys.argv[2])
data = bytearray(open(path, 'rb').read())
data[at] ^= 0xFF
open(path, 'wb').write(data)
PY
  echo "$exe"
}

# packed NAME ID FILE=PATH...: the bare launcher with a payload of these.
packed() {
  local name=$1 id=$2
  shift 2
  "$pack" --launcher "$bare" --output "$work/$name.exe" --id "$id" --key 0x1234567 "$@" >/dev/null
  echo "$work/$name.exe"
}

payload_length=$(python3 -c "import struct,sys; d=open(sys.argv[1],'rb').read(); \
print(struct.unpack('<I', d[-8:-4])[0])" "$build/tulora.exe")
head -c 5000 /dev/urandom >"$work/garbage.vlr"
runtime=$build/payload

echo "== launcher cases ($(basename "$build"))"
expect_box "no payload" "$bare" "Invalid data in the file!"
expect_box "trailer magic broken" "$(patched trailer 1)" "Invalid data in the file!"
expect_box "payload magic broken" "$(patched magic $((8 + payload_length)))" \
  "Failed to read file or invalid data in file!"
expect_box "compressed stream broken" "$(patched stream $((8 + payload_length / 2)))" \
  "Failed to decompress data!"
expect_box "no kernel library" "$(packed nokernel 0x5EED1 "xtra.vlr=$runtime/xtra.vlr" \
  "VThread.vlr=$runtime/VThread.vlr")" "Not found the kernel library!"
extracted=1
for f in xtra.vlr VThread.vlr; do
  cmp -s "$runtime/$f" "$temp_dir/V_N5EED1/$f" || extracted=0
done
verdict "files written before the missing kernel shows" $extracted \
  "V_N5EED1 under the temporary directory does not hold xtra.vlr and VThread.vlr"
expect_box "kernel library not loadable" \
  "$(packed garbage 0x5EED2 "ostra.vlr=$work/garbage.vlr")" "Failed to load kernel library!"
expect_box "kernel library without GetNewSock" \
  "$(packed noexport 0x5EED3 "ostra.vlr=$runtime/VThread.vlr")" "The kernel library is invalid!"
expect_box "GetNewSock refusing version 1000" \
  "$(packed refusing 0x5EED4 "ostra.vlr=$build/tests/refusing_kernel.vlr")" \
  "The interface of kernel library is invalid!"

# A good start: no message box, the dialogue on the console, the runtime
# files in V_N7D10A001 as the payload carries them.
run "$build/tulora.exe"
ok=0
[ -z "$box" ] && [ "$rc" = 0 ] && grep -q 'Tips' "$work/out" && ok=1
verdict "good start hands over to the program" $ok "exit code $rc, box '${box:-none}'"
ok=1
for f in ostra.vlr VThread.vlr xtra.vlr; do
  cmp -s "$runtime/$f" "$temp_dir/V_N7D10A001/$f" || ok=0
done
verdict "runtime files extracted into V_N7D10A001" $ok "files differ or are missing"
exit $failed
