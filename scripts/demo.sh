#!/usr/bin/env bash
# The main job: builds the program and runs build/tulora in this terminal.
# Installs what is missing first (Debian 12, as root).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"

if [ ! -x build/testsite/tulora-gallery-site ]; then
  cat <<'NOTE'

== build/tulora
The gallery crawler and the local demo site it downloads from are not part
of this tree yet. What runs now is the start of the program: the launcher
reads its payload, extracts the runtime libraries into the extraction
directory under $TMPDIR (or /tmp), loads the kernel library and hands it the
program image.

NOTE
  ./build/tulora
  exit 0
fi
