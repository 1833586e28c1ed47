#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when
# they are missing. Run as root on Debian 12; does nothing when all are there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  gcc-multilib g++-multilib
  zlib1g-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  libcurl4-openssl-dev libssl-dev openssl libcpp-httplib-dev
  libturbojpeg0-dev
  tinyproxy curl python3
)

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
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
