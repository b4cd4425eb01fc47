#!/usr/bin/env bash
# One fuzz target for a while (default 30 s): the committed seeds are read, new inputs go to
# a scratch corpus, a crash, leak or sanitizer report fails the test and leaves the input
# in $NV_BUILD/fuzz-clang/artifacts. Exits 77 (skipped) when the fuzzers were not built.
#   run.sh TARGET [SECONDS]
set -euo pipefail
target=$1
seconds=${2:-30}
dir="$NV_BUILD/fuzz-clang"
bin="$dir/fuzz/$target"
if [[ ! -x "$bin" ]]; then
  echo "skipped: $bin was not built (no clang?)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
seeds="$NV_ROOT/fuzz/corpus/${target#fuzz_}"
mkdir -p "$dir/artifacts"
status=0
(cd "$work" && "$bin" -max_total_time="$seconds" -print_final_stats=1 -close_fd_mask=3 \
   -artifact_prefix="$dir/artifacts/$target-" "$work" $([[ -d "$seeds" ]] && echo "$seeds")) \
  >"$work/log" 2>&1 || status=$?
runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/log" | grep -o '[0-9]*$' || echo 0)
if (( status != 0 )); then
  tail -60 "$work/log"
  echo "$target: FAILED after $runs executions"
  exit 1
fi
echo "$target: $runs executions in ${seconds}s, no finding"
