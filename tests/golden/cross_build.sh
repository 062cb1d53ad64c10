#!/usr/bin/env bash
# The arithmetic must not depend on the optimiser or the instruction set:
# builds the programs of tests/golden/images.txt and kxexactness at -O0 and,
# when compiler and CPU take it, with -march=native, and checks their images
# and hashes byte for byte.
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
mapfile -t targets < <(awk '!/^#/ && NF { print $2 }' "$root/tests/golden/images.txt" | sort -u)

failures=0
for config in "${configs[@]}"; do
  dir=$root/${config%%|*}
  flags=${config#*|}
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS="$flags" -DBUILD_TESTING=OFF \
    -DKX_BUILD_BENCHMARKS=OFF >/dev/null
  cmake --build "$dir" -j "$jobs" --target "${targets[@]}" kxexactness >/dev/null
  bash "$root/tests/golden/check_build.sh" "$dir" "cross_build: $flags" || failures=$((failures + 1))
done
exit $((failures > 0))
