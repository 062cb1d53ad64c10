#!/usr/bin/env bash
# The same bytes on other processors: builds the programs of
# tests/golden/images.txt and kxexactness without windows for arm64 and for
# 32-bit x86 (SSE2) with Debian's cross compilers, and runs them under
# qemu-user: every image and the exactness check's hashes must match byte
# for byte. Then two builds that break the arithmetic must be stopped:
#  - 32-bit x86 without SSE2 (x87 arithmetic) at compile time, by the check
#    every public header makes;
#  - arm64 with fused multiply-adds (-ffp-contract=fast, given after the
#    project's -ffp-contract=off) by the exactness check.
#   cross_check.sh [JOBS]   (from anywhere; builds and logs in build-cross/)
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
jobs=${1:-2}
mapfile -t targets < <(awk '!/^#/ && NF { print $2 }' "$root/tests/golden/images.txt" | sort -u)
out=$root/build-cross
mkdir -p "$out"
failures=0

fail() {
  echo "FAIL: cross_check: $*"
  failures=$((failures + 1))
}

# build NAME TRIPLE TARGET... : configures and builds build-cross/NAME.
build() {
  local dir=$out/$1 triple=$2
  shift 2
  cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$triple.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DKX_WITH_SDL=OFF -DBUILD_TESTING=OFF -DKX_BUILD_DEMO=OFF -DKX_BUILD_BENCHMARKS=OFF \
    ${launcher:+-DCMAKE_CXX_COMPILER_LAUNCHER="$launcher"} >"$dir.log" 2>&1 &&
    cmake --build "$dir" -j "$jobs" --target "$@" >>"$dir.log" 2>&1 || { tail -n 20 "$dir.log"; return 1; }
}

# NAME TRIPLE QEMU
for processor in "arm64 aarch64-linux-gnu qemu-aarch64" "i686 i686-linux-gnu qemu-i386"; do
  read -r name triple qemu <<<"$processor"
  if launcher="" build "$name" "$triple" "${targets[@]}" kxexactness; then
    KX_RUNNER="$qemu -L /usr/$triple" bash "$root/tests/golden/check_build.sh" "$out/$name" \
      "cross_check: $name" || failures=$((failures + 1))
  else
    fail "the $name build failed ($out/$name.log)"
  fi
done

# x87: any file that includes a public header stops, with the reason.
if echo '#include "render/kxsoftwarerenderdevice.h"' |
     i686-linux-gnu-g++ -std=c++20 -I"$root" -fsyntax-only -x c++ - 2>"$out/x87.log"; then
  fail "an i686 compile with x87 arithmetic went through"
elif grep -q "x87 floating-point arithmetic" "$out/x87.log"; then
  echo "cross_check: i686 without SSE2 stops at compile time: $(grep -m 1 -o 'error: .*' "$out/x87.log")"
else
  fail "the i686 compile with x87 arithmetic failed for another reason ($out/x87.log)"
fi

# Fused multiply-adds: the golden images cannot see them, the exactness check must.
echo '#!/bin/sh
exec "$@" -ffp-contract=fast' >"$out/fma-launcher.sh"
chmod +x "$out/fma-launcher.sh"
if launcher=$out/fma-launcher.sh build arm64-fma aarch64-linux-gnu kxexactness; then
  if qemu-aarch64 -L /usr/aarch64-linux-gnu "$out/arm64-fma/bin/kxexactness" \
       --check "$root/tests/exactness/hashes.txt" >"$out/arm64-fma.check" 2>&1; then
    fail "the arm64 build with fused multiply-adds passes the exactness check: it cannot see them"
  else
    echo "cross_check: arm64 with fused multiply-adds fails the exactness check, as it must:" \
      "$(grep -c '^DIFFERS' "$out/arm64-fma.check") scenes differ"
  fi
else
  fail "the arm64 build with fused multiply-adds failed ($out/arm64-fma.log)"
fi

[ "$failures" -eq 0 ] && echo "cross_check: PASS"
exit $((failures > 0))
