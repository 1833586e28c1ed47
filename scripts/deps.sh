#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when
# they are missing. Run as root on Debian 12; does nothing when all are there.
set -euo pipefail

# `deps.sh windows`: what the Windows cross builds and wine need instead.
if [ "${1:-}" = windows ]; then
  packages=(mingw-w64 libz-mingw-w64-dev wine wine32:i386 wine64)
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    if [ "$(id -u)" -ne 0 ]; then
      echo "deps: run as root to add the i386 architecture for 32-bit wine" >&2
      exit 1
    fi
    dpkg --add-architecture i386
  fi
else
packages=(
  build-essential cmake pkg-config
  gcc-multilib g++-multilib
  zlib1g-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  libcurl4-openssl-dev libssl-dev openssl libcpp-httplib-dev libpsl-dev publicsuffix
  libturbojpeg0-dev
  tinyproxy curl python3
)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "deps: installing ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "deps: run as root to install the packages above" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
# A mirror in the middle of a sync serves index files of the wrong size for
# a while: the update is tried again, and where it still fails the install
# goes on with the indexes that did arrive.
update_log=$(mktemp)
trap 'rm -f "$update_log"' EXIT
for attempt in 1 2 3; do
  if apt-get update -q 2>&1 | tee "$update_log" && ! grep -q '^E: ' "$update_log"; then break; fi
  echo "deps: apt-get update failed (attempt $attempt of 3)" >&2
  [ "$attempt" -lt 3 ] && sleep $((attempt * 20))
done
# The indexes that did not arrive, as suite/component/architecture.
lacked=$(sed -n 's|^E: Failed to fetch .*/dists/\([^ ]*\)/Packages.*|\1|p' "$update_log" |
         sort -u | paste -sd ' ')

install() { apt-get install -y -q --no-install-recommends "$@"; }
install "${missing[@]}" && exit 0
# Without one suite's index for one architecture (the security suite's for
# i386, say), the i386 twins of installed amd64 libraries cannot take the
# same version and the plain install gives up; with the release itself as
# the target it resolves.
release=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
echo "!!!!! deps: the plain install did not resolve (indexes missing: ${lacked:-none}); trying again with -t $release !!!!!" >&2
install -t "$release" "${missing[@]}"
