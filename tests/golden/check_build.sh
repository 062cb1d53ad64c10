#!/usr/bin/env bash
# Checks the programs of one build byte for byte: every image of
# tests/golden/images.txt, and the exactness check's hashes.
#   check_build.sh BUILD_DIR LABEL
# KX_RUNNER, when set, runs the programs (qemu-user for another processor).
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
bin=$(cd "$1/bin" && pwd)
label=$2
failures=0
while read -r image program arguments; do
  case $image in '' | '#'*) continue ;; esac
  # shellcheck disable=SC2086
  if (cd "$bin" && bash "$root/tests/golden/compare_image.sh" "$root/tests/golden/$image" "$bin/$image" \
        "./$program" $arguments </dev/null); then
    echo "$label: $image matches"
  else
    echo "FAIL: $label: $image differs"
    failures=$((failures + 1))
  fi
done <"$root/tests/golden/images.txt"
# shellcheck disable=SC2086
if ${KX_RUNNER:-} "$bin/kxexactness" --check "$root/tests/exactness/hashes.txt" >"$bin/exactness.log"; then
  echo "$label: $(tail -n 1 "$bin/exactness.log")"
else
  echo "FAIL: $label: the exactness check differs ($bin/exactness.log):"
  head -n 6 "$bin/exactness.log"
  failures=$((failures + 1))
fi
exit $((failures > 0))
