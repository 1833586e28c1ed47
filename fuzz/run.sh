#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a bounded time.
#   fuzz/run.sh BUILD_DIR SECONDS
# For target NAME_fuzz the corpus starts from fuzz/seeds/NAME/ (committed)
# and from what NAME_seeds writes; new inputs stay in BUILD_DIR/corpus/NAME.
set -euo pipefail
build=$1
seconds=$2
src=$(cd "$(dirname "$0")" && pwd)
bin=$build/fuzz-bin
shopt -s nullglob
targets=("$bin"/*_fuzz)
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz: no targets in $bin" >&2
  exit 1
fi
for target in "${targets[@]}"; do
  name=$(basename "$target" _fuzz)
  corpus=$build/corpus/$name
  mkdir -p "$corpus"
  if [ -d "$src/seeds/$name" ]; then cp -n "$src/seeds/$name"/* "$corpus"/ 2>/dev/null || true; fi
  if [ -x "$bin/${name}_seeds" ]; then "$bin/${name}_seeds" "$corpus"; fi
  echo "fuzz: $name for ${seconds}s on $(ls "$corpus" | wc -l) seeds"
  "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
            -artifact_prefix="$build/corpus/$name-" \
            -print_final_stats=1 "$corpus" 2>"$build/corpus/$name.log" \
    || { tail -50 "$build/corpus/$name.log"; echo "fuzz: $name FAILED" >&2; exit 1; }
  grep -E 'stat::number_of_executed_units|stat::new_units_added' "$build/corpus/$name.log" \
    | sed "s/^/fuzz: $name /"
done
