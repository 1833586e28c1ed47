#!/usr/bin/env bash
# The main job: builds the program, starts the local demo site (gallery site
# and picture host on 127.0.0.1) and runs build/tulora in this terminal for
# you to answer. The pictures land in build/demo/Tulora. The site is stopped
# when the program ends.
#
#   scripts/demo.sh           the Linux program, build/tulora
#   scripts/demo.sh windows   the Windows program, build-win32/tulora.exe,
#                             under 32-bit wine in a prefix of its own
#                             (build/demo-windows/prefix) that trusts the
#                             site's certificate; pictures land in
#                             build/demo-windows/Tulora. On a machine that
#                             executes no 32-bit code (or with
#                             TULORA_WINE_64_ONLY=1) it says so and runs
#                             build-win64/tulora.exe under 64-bit wine
#                             instead (prefix build/demo-windows/prefix64)
#
# Installs what is missing first (Debian 12, as root).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/wait_for_line.sh
source scripts/wine_loader.sh
target=${1:-linux}
case $target in
  linux | windows) ;;
  *) echo "usage: scripts/demo.sh [windows]" >&2; exit 2 ;;
esac

bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target tulora_program tulora-gallery-site
[ "$target" = windows ] && bash scripts/build-windows.sh >/dev/null

# The URLs the program was built with, and the demo site's ports from them.
source build/site.env
port_of() { echo "${1##*:}"; }
workdir=$(pwd)/build/demo
[ "$target" = windows ] && workdir=$(pwd)/build/demo-windows
mkdir -p "$workdir/site"

site_log=$workdir/site.log
build/demosite/tulora-gallery-site --gallery-port "$(port_of "$TULORA_GALLERY_URL")" \
  --picture-port "$(port_of "$TULORA_PICTURE_URL")" --cert-dir "$workdir/site" >"$site_log" 2>&1 &
site=$!
trap 'kill $site 2>/dev/null; wait $site 2>/dev/null || true' EXIT
wait_for_line "$site" "$site_log" '^cert ' || exit 1
cert=$(sed -n 's/^cert //p' "$site_log")

cat <<NOTE

== The demo site is up: gallery site $TULORA_GALLERY_URL, picture host $TULORA_PICTURE_URL
   Gallery numbers 3 to 22120 exist (except multiples of 13); try 7284, then 2, then 1.
   Each gallery takes about 81 seconds (a one-second pause after every picture).
   Press Enter to stop early. Pictures go to ${workdir#"$(pwd)/"}/Tulora.

NOTE
if [ "$target" = windows ]; then
  # The program's own folder is its running directory: a copy of it in the
  # demo folder, run in a prefix that trusts the site's certificate.
  # The set-up reads nothing of the terminal: the answers are the program's.
  export WINEDEBUG=-all LC_ALL=C.UTF-8
  build=build-win32
  if [ "${TULORA_WINE_64_ONLY:-0}" = 1 ] || ! { wine_prefix win32 "$workdir/prefix" && wine32_runs; }; then
    echo "!!!!! 32-BIT WINDOWS PROGRAMS DO NOT RUN HERE: the x86-64 build-win64/tulora.exe under 64-bit wine instead !!!!!"
    [ -n "${WINEPREFIX:-}" ] && wine_kill
    build=build-win64
    wine_prefix win64 "$workdir/prefix64"
  fi
  "$WINE" $build/runtime/trust_certificate.exe "$cert" </dev/null >/dev/null
  cp $build/tulora.exe "$workdir/"
  cd "$workdir"
  "$WINE" tulora.exe || true
  wine_kill
else
  cd "$workdir"
  SSL_CERT_FILE=$cert "$OLDPWD/build/tulora" || true
fi
echo
echo "== Folders made in ${workdir#"$OLDPWD/"}/Tulora:"
find Tulora -maxdepth 2 | sort | head -40
