#!/usr/bin/env bash
# Runs the fuzz targets of a fuzz build, each for a bounded time.
#   fuzz/run.sh BUILD_DIR SECONDS [NAME...]
# Without names every target of BUILD_DIR/fuzz-bin runs. For target NAME_fuzz
# the corpus starts from fuzz/seeds/NAME/ (committed) and from what
# NAME_seeds writes; new inputs stay in BUILD_DIR/corpus/NAME, its log in
# BUILD_DIR/corpus/NAME.log and what it finds in BUILD_DIR/corpus/NAME-*.
# Every target runs even when another one fails; at the end one line per
# target gives its executions, new inputs and findings, and the exit status
# is 1 when any target failed.
#   FUZZ_JOBS=N     targets run at a time (default 1)
set -uo pipefail
if [ $# -lt 2 ]; then
  echo "usage: fuzz/run.sh BUILD_DIR SECONDS [NAME...]" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
seconds=$2
shift 2
src=$(cd "$(dirname "$0")" && pwd)
bin=$build/fuzz-bin
jobs=${FUZZ_JOBS:-1}

names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  shopt -s nullglob
  for target in "$bin"/*_fuzz; do names+=("$(basename "$target" _fuzz)"); done
  shopt -u nullglob
fi
if [ ${#names[@]} -eq 0 ]; then
  echo "fuzz: no targets in $bin" >&2
  exit 1
fi

# One file per target of this run, read by the summary (and by
# scripts/fuzz.sh, which merges the corpora of the targets that ran).
results=$build/corpus/results
rm -rf "$results"
mkdir -p "$results"

# One target: prepares its corpus, runs it, writes its summary line.
run_target() {
  local name=$1
  local corpus=$build/corpus/$name log=$build/corpus/$name.log
  mkdir -p "$corpus"
  rm -f "$build/corpus/$name"-crash-* "$build/corpus/$name"-leak-* \
        "$build/corpus/$name"-timeout-* "$build/corpus/$name"-oom-*
  if [ -d "$src/seeds/$name" ]; then cp -n "$src/seeds/$name"/* "$corpus"/ 2>/dev/null; fi
  if [ -x "$bin/${name}_seeds" ] && ! "$bin/${name}_seeds" "$corpus"; then
    echo "$name FAILED: its seed program failed" >"$results/$name"
    return
  fi
  echo "fuzz: $name for ${seconds}s on $(ls "$corpus" | wc -l) inputs"
  local status=ok
  "$bin/${name}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$build/corpus/$name-" -print_final_stats=1 "$corpus" 2>"$log" \
    || status=FAILED
  local runs added findings
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  # A run that ended on a finding may not have printed its statistics.
  [ -n "$runs" ] || runs=$(grep -oE '^#[0-9]+' "$log" | tail -1 | tr -d '#')
  added=$(sed -n 's/^stat::new_units_added: *//p' "$log" | tail -1)
  findings=$(cd "$build/corpus" && ls -d "$name"-crash-* "$name"-leak-* "$name"-timeout-* \
                                          "$name"-oom-* 2>/dev/null | tr '\n' ' ')
  if [ "$status" = FAILED ]; then
    echo "fuzz: $name FAILED, the end of $log:" >&2
    tail -30 "$log" >&2
  fi
  printf '%-14s %-6s executions %-10s new inputs %-6s findings: %s\n' "$name" "$status" \
    "${runs:-?}" "${added:-?}" "${findings:-none}" >"$results/$name"
}

for name in "${names[@]}"; do
  if [ ! -x "$bin/${name}_fuzz" ]; then
    echo "$name FAILED: no $bin/${name}_fuzz" >"$results/$name"
    continue
  fi
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n; done
  run_target "$name" &
done
wait

echo "fuzz: summary (${seconds}s per target)"
failed=0
for name in "${names[@]}"; do
  line=$(cat "$results/$name")
  echo "fuzz: $line"
  case $line in *FAILED*) failed=1 ;; esac
done
exit $failed
