#!/usr/bin/env bash
# Cross-builds the Windows programs with mingw-w64: build-win32/ (i686) and
# build-win64/ (x86-64). Arguments go on to CMake's configure step of both,
# e.g. -DTULORA_GALLERY_URL=... -DTULORA_PICTURE_URL=... The build tools and
# the program images come from the host build build/, which gets the same
# arguments (the site URLs live in the images) and is brought up to date
# for those targets first.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh windows

jobs=$(nproc)
echo "== host build (build/): build tools and program images"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build build -j"$jobs" --target tulora_image tulora-pack tulora-peassemble tulora-imageinspect \
      tulora-payloadinspect

for pair in win32:i686 win64:x86_64; do
  dir=build-${pair%%:*}
  arch=${pair##*:}
  echo "== $dir ($arch Windows)"
  cmake --no-warn-unused-cli -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_TOOLCHAIN_FILE="$(pwd)/cmake/mingw-$arch.cmake" -DTULORA_HOST_BUILD="$(pwd)/build" \
        "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
done
