#!/usr/bin/env bash
# A long fuzz campaign: builds the fuzz build (build-fuzz/), runs every fuzz
# target (or the ones named) for SECONDS each, all of them even when one
# fails, prints a summary of executions and findings (also written to
# build-fuzz/corpus/summary.txt), and puts each target's corpus, minimised,
# back into fuzz/seeds/NAME/ so that the next run starts where this one
# ended.
#
#   scripts/fuzz.sh [SECONDS] [NAME...]   (default 600 seconds per target)
#   FUZZ_JOBS=N                  targets run at a time (default 1)
#   TULORA_FUZZ_KEEP_SEEDS=1     leave fuzz/seeds/ as it is
#
# On a shared machine: nice -n 19 scripts/fuzz.sh
#
# In fuzz/seeds/NAME/ a file named by the SHA-1 of its bytes came from a
# merge and is replaced by the next one; a file with any other name (an
# input that once found a fault) is kept for good.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-600}
[ $# -gt 0 ] && shift
build=$root/build-fuzz

bash scripts/deps.sh || exit 1
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DTULORA_FUZZ=ON -DTULORA_BENCH=OFF >/dev/null || exit 1
cmake --build "$build" -j"$(nproc)" --target fuzz_targets || exit 1

mkdir -p "$build/corpus"
"$root/fuzz/run.sh" "$build" "$seconds" "$@" | tee "$build/corpus/summary.txt"
status=${PIPESTATUS[0]}

is_merged() { [[ $(basename "$1") =~ ^[0-9a-f]{40}$ ]]; }
if [ "${TULORA_FUZZ_KEEP_SEEDS:-0}" != 1 ]; then
  for results in "$build"/corpus/results/*; do
    name=$(basename "$results")
    corpus=$build/corpus/$name
    [ -d "$corpus" ] || continue
    fresh=$(mktemp -d)
    if ! "$build/fuzz-bin/${name}_fuzz" -merge=1 -timeout=10 -rss_limit_mb=2048 \
           "$fresh" "$corpus" >"$build/corpus/$name.merge.log" 2>&1; then
      echo "fuzz: $name: merge failed, fuzz/seeds/$name left as it was" >&2
      rm -rf "$fresh"
      continue
    fi
    # What the seed program writes and the kept inputs are not stored twice.
    written=$(mktemp -d)
    [ -x "$build/fuzz-bin/${name}_seeds" ] && "$build/fuzz-bin/${name}_seeds" "$written"
    seeds=$root/fuzz/seeds/$name
    mkdir -p "$seeds"
    for f in "$written"/* "$seeds"/*; do
      [ -f "$f" ] || continue
      if [ "$(dirname "$f")" = "$seeds" ] && is_merged "$f"; then continue; fi
      rm -f "$fresh/$(sha1sum "$f" | cut -d' ' -f1)"
    done
    find "$seeds" -type f -regextype posix-extended -regex '.*/[0-9a-f]{40}' -delete
    cp "$fresh"/* "$seeds"/ 2>/dev/null
    echo "fuzz: $name: $(ls "$seeds" | wc -l) inputs in fuzz/seeds/$name ($(du -sk "$seeds" | cut -f1) KiB)"
    rm -rf "$fresh" "$written"
  done
fi
exit "$status"
