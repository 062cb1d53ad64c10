#!/usr/bin/env bash
# Runs each fuzz target for SECONDS on a copy of its committed corpus (the
# copy grows; fuzz/corpus stays as committed). Any finding fails the run and
# leaves its input in BUILD/fuzz-artifacts.
#   run_fuzzers.sh BUILD SECONDS [TARGET...]
set -uo pipefail
build=$1
seconds=$2
shift 2
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fuzz_bmp fuzz_raster fuzz_pipeline)
here=$(cd "$(dirname "$0")" && pwd)
artifacts=$build/fuzz-artifacts
mkdir -p "$artifacts"
failures=0

for target in "${targets[@]}"; do
  work=$build/fuzz-corpus/$target
  mkdir -p "$work"
  # The inputs that once failed go in first: a fault that returns shows at once.
  find "$here/corpus/$target" "$here/regressions/$target" -type f -exec cp {} "$work/" \; 2>/dev/null
  echo "== $target: ${seconds}s"
  SDL_VIDEODRIVER=dummy "$build/fuzz/$target" "$work" \
    -dict="$here/$target.dict" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$artifacts/$target-" 2>"$build/$target.log"
  status=$?
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)|^Done' \
    "$build/$target.log"
  if [ $status -ne 0 ]; then
    echo "FAIL: $target found a fault (status $status); log: $build/$target.log"
    grep -E 'ERROR|runtime error|SUMMARY|kxfuzz' "$build/$target.log" | head -5
    failures=$((failures + 1))
  fi
done
exit $((failures > 0))
