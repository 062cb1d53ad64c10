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
  # The demo frames, and those where the second pyramid crosses the near
  # plane (S held): "frames|reference|options".
  for golden in "1|frame1|" "2|frame2|" "90|frame90|" "360|frame360|" "38|hold_s_frame38|--hold S" \
                "42|hold_s_frame42|--hold S" "46|hold_s_frame46|--hold S"; do
    IFS='|' read -r frame name options <<<"$golden"
    # shellcheck disable=SC2086
    if (cd "$dir/bin" && bash "$root/tests/golden/compare_frame.sh" ./kxsnapshot "$frame" \
          "$root/tests/golden/$name.bmp" "$dir" $options) >/dev/null; then
      echo "cross_build: $flags: $name matches"
    else
      echo "FAIL: cross_build: $flags: $name differs from tests/golden/$name.bmp"
      failures=$((failures + 1))
    fi
  done
done
exit $((failures > 0))
