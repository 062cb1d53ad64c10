#!/usr/bin/env bash
# Holding a movement key moves the second pyramid the right way: D to the
# right, A to the left, Z up (screen rows grow downward).
#   test_hold_moves_copy.sh KXSNAPSHOT IMAGESTATS_PY
set -eu
snapshot=$1 stats=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! command -v convert >/dev/null 2>&1; then
  echo "SKIPPED: convert is not installed (make test installs it)"
  exit 77
fi

# Prints "left top right bottom" of the non-blue pixels after 3 frames.
box() {
  "$snapshot" --frames 3 "$@" --out "$work/f.bmp" >/dev/null
  convert "$work/f.bmp" "$work/f.ppm"
  python3 "$stats" "$work/f.ppm" box | cut -d' ' -f2-
}

# The copy sits up and to the right of the first pyramid, so its moves show
# on the top and right edges of the pair.
read -r _ top right _ < <(box)
read -r _ _ rightD _ < <(box --hold D)
read -r _ _ rightA _ < <(box --hold A)
read -r _ topZ _ _ < <(box --hold Z)
echo "right edge: $right, with D $rightD, with A $rightA; top edge: $top, with Z $topZ"
[ "$rightD" -gt "$right" ] || { echo "FAIL: D did not move the copy right"; exit 1; }
[ "$rightA" -lt "$right" ] || { echo "FAIL: A did not move the copy left"; exit 1; }
[ "$topZ" -lt "$top" ] || { echo "FAIL: Z did not move the copy up"; exit 1; }
echo PASS
