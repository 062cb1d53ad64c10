#!/usr/bin/env bash
# kxsnapshot's command line: outputs, the usage status for bad options and a
# clear failure for outputs it cannot write.
#   test_kxsnapshot.sh KXSNAPSHOT   (run in the directory holding SW_TEST.bmp)
set -u
snapshot=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

expect_status() {
  local expected=$1
  shift
  "$snapshot" "$@" >"$work/stdout" 2>"$work/stderr"
  local status=$?
  [ "$status" -eq "$expected" ] || fail "'$*' exited $status, expected $expected"
}

expect_status 0 --frames 2 --hold wd --out "$work/f.bmp" --depth-out "$work/f.depth"
grep -Eq '^frames: 2  seconds: [0-9.]+  fps: [0-9.]+$' "$work/stdout" || fail "no fps line: $(cat "$work/stdout")"
[ "$(stat -c %s "$work/f.bmp")" -eq $((54 + 640 * 480 * 3)) ] || fail "BMP size"
[ "$(head -c 2 "$work/f.bmp")" = "BM" ] || fail "BMP signature"
[ "$(stat -c %s "$work/f.depth")" -eq $((640 * 480 * 2)) ] || fail "depth size"
# The top-left pixel is the blue background: bytes FF 00 00 in the last file row.
[ "$(tail -c 1920 "$work/f.bmp" | head -c 3 | od -An -tx1 | tr -d ' ')" = "ff0000" ] || fail "background"
[ "$(head -c 2 "$work/f.depth" | od -An -tx1 | tr -d ' ')" = "ffff" ] || fail "far depth"

for bad in "--frames 0" "--frames x" "--frames" "--hold Q" "--bogus 1" "--out"; do
  # shellcheck disable=SC2086
  expect_status 2 $bad
  grep -q usage "$work/stderr" || fail "'$bad' printed no usage"
done

expect_status 1 --out "$work/missing/dir/f.bmp"
grep -q "cannot write" "$work/stderr" || fail "unwritable output gave no message"
[ -z "$(ls "$work/missing" 2>/dev/null)" ] || fail "left a partial file"

if [ "$failures" -ne 0 ]; then
  echo "$failures failures"
  exit 1
fi
echo "PASS"
