#!/usr/bin/env bash
# The arithmetic must not depend on the optimiser or the instruction set:
# builds kxsnapshot at -O0 and, when compiler and CPU take it, with
# -march=native, and compares their demo frames with the golden ones.
#   cross_build.sh [JOBS]   (from anywhere; builds in build-O0, build-native)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
jobs=${1:-2}
configs=("build-O0|-O0")
if echo 'int main() { return 0; }' | c++ -march=native -x c++ - -o /dev/null 2>/dev/null; then
  configs+=("build-native|-O2 -march=native")
else
  echo "cross_build: -march=native is not supported here; skipped"
fi

failures=0
for config in "${configs[@]}"; do
  dir=$root/${config%%|*}
  flags=${config#*|}
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS="$flags" -DBUILD_TESTING=OFF \
    -DKX_BUILD_BENCHMARKS=OFF >/dev/null
  cmake --build "$dir" -j "$jobs" --target kxsnapshot >/dev/null
  for frame in 1 2 90 360; do
    if (cd "$dir/bin" && bash "$root/tests/golden/compare_frame.sh" ./kxsnapshot "$frame" \
          "$root/tests/golden/frame$frame.bmp" "$dir") >/dev/null; then
      echo "cross_build: $flags: frame $frame matches"
    else
      echo "FAIL: cross_build: $flags: frame $frame differs from tests/golden/frame$frame.bmp"
      failures=$((failures + 1))
    fi
  done
done
exit $((failures > 0))
