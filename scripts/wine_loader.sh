# Sourced by the scripts that run Windows programs under wine.
#
# With wine32 installed, the plain `wine` command (and wineboot, winepath
# and the like, which go through it) always starts the 32-bit loader, even
# for a 64-bit program; a machine that executes no 32-bit code refuses that
# loader ("Exec format error"). So every prefix here is run through the
# loader of its own kind, called by its path: WINE.
#
#   wine_prefix ARCH DIR  makes DIR a wine prefix of ARCH (win32 or win64)
#                         and the current one (WINEPREFIX, WINEARCH, WINE,
#                         and WINELOADER for a 64-bit prefix, so that the
#                         programs wine itself starts take the same loader)
#   wine32_runs           whether 32-bit Windows programs run here, in the
#                         current (win32) prefix
#   wine_kill             ends the current prefix's wine server, and waits
#
# TULORA_WINE_64_ONLY=1 takes the path of a machine without 32-bit
# execution on one that has it: wine32_runs answers no, and the plain wine
# commands on PATH fail as they do there, so that any step still using them
# shows.
WINE32_LOADER=/usr/lib/wine/wine
WINE64_LOADER=/usr/lib/wine/wine64

wine_prefix() {
  export WINEARCH=$1 WINEPREFIX=$2
  if [ "$1" = win64 ]; then
    export WINE=$WINE64_LOADER WINELOADER=$WINE64_LOADER
  else
    export WINE=$WINE32_LOADER
    unset WINELOADER
  fi
  mkdir -p "$WINEPREFIX"
  "$WINE" wineboot.exe -i </dev/null >/dev/null 2>&1 || true
}

wine32_runs() {
  [ "${TULORA_WINE_64_ONLY:-0}" = 1 ] && return 1
  [ -x "$WINE32_LOADER" ] && "$WINE32_LOADER" cmd /c exit 0 </dev/null >/dev/null 2>&1
}

wine_kill() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}

if [ "${TULORA_WINE_64_ONLY:-0}" = 1 ]; then
  TULORA_WINE_GUARD=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/wine-64-only
  mkdir -p "$TULORA_WINE_GUARD"
  for tool in wine wineboot winepath winecfg wineconsole; do
    printf '#!/bin/sh\necho "%s: Exec format error (TULORA_WINE_64_ONLY: the 32-bit loader is off)" >&2\nexit 126\n' \
      "$tool" >"$TULORA_WINE_GUARD/$tool"
    chmod +x "$TULORA_WINE_GUARD/$tool"
  done
  case ":$PATH:" in *":$TULORA_WINE_GUARD:"*) ;; *) export PATH=$TULORA_WINE_GUARD:$PATH ;; esac
fi
