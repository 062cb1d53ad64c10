#!/usr/bin/env bash
# kxsnapshot's command line: outputs, the usage status for bad options, a
# clear failure for outputs it cannot write, before any rendering, and status
# 3 for a texture it cannot load. QUIET_ASSERTIONS is "yes" for builds with
# NDEBUG, where an unloadable texture gives exactly one line on stderr.
#   test_kxsnapshot.sh KXSNAPSHOT QUIET_ASSERTIONS   (run beside SW_TEST.bmp)
set -u
snapshot=$1 quiet_assertions=${2:-no}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# A guard, not a time limit: a check that should fail at once must not
# render a hundred million frames first.
expect_status() {
  local expected=$1
  shift
  timeout 60 "$snapshot" "$@" >"$work/stdout" 2>"$work/stderr"
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
[ -s "$work/stderr" ] && fail "stderr not empty (no progress line off a terminal): $(cat "$work/stderr")"

for help in --help -h; do
  expect_status 0 $help
  grep -q "^usage: kxsnapshot" "$work/stdout" || fail "$help printed no usage"
  grep -q "3 SW_TEST.bmp could not be loaded" "$work/stdout" || fail "$help does not explain status 3"
done

for bad in "--frames 0" "--frames x" "--frames" "--hold Q" "--bogus 1" "--out" \
           "--frames -1" "--frames 1.5" "--frames 100000001" "--frames 2x" "--hold 1" frame.bmp; do
  # shellcheck disable=SC2086
  expect_status 2 $bad
  grep -q usage "$work/stderr" || fail "'$bad' printed no usage"
done

expect_status 2 --bogus
grep -q "unknown option --bogus" "$work/stderr" || fail "--bogus: $(head -1 "$work/stderr")"
expect_status 2 frame.bmp
grep -q "unknown option frame.bmp" "$work/stderr" || fail "frame.bmp: $(head -1 "$work/stderr")"
for bad in "--hold" "--out" "--depth-out"; do
  expect_status 2 "$bad" ""
  grep -q usage "$work/stderr" || fail "'$bad \"\"' printed no usage"
done

many="--frames 100000000"
expect_status 1 $many --out "$work/missing/dir/f.bmp"
grep -q "cannot write" "$work/stderr" || fail "unwritable output gave no message"
[ -z "$(ls "$work/missing" 2>/dev/null)" ] || fail "left a partial file"

# An output that cannot be written leaves what stood there before untouched
# and no temporary file behind.
mkdir -p "$work/keep" "$work/keep/f.bmp.part" "$work/keep/dir.bmp"
echo old >"$work/keep/f.bmp"
expect_status 1 $many --out "$work/keep/f.bmp"
grep -q "cannot write $work/keep/f.bmp" "$work/stderr" || fail "blocked temporary file gave no message"
[ "$(cat "$work/keep/f.bmp")" = old ] || fail "a failed write changed the existing output"
expect_status 1 $many --out "$work/keep/dir.bmp"
grep -q "cannot write" "$work/stderr" || fail "a directory as output gave no message"
[ -d "$work/keep/dir.bmp" ] || fail "the directory in the way was replaced"
expect_status 1 $many --out "$work/keep/g.bmp" --depth-out "$work/missing/g.depth"
grep -q "cannot write $work/missing/g.depth" "$work/stderr" || fail "unwritable depth output gave no message"
[ -e "$work/keep/g.bmp" ] && fail "a frame was written though the depth output cannot be"
[ -z "$(find "$work" -name '*.part' -type f)" ] || fail "left a temporary file"

# A texture that cannot be used: the frames are the blue background alone,
# the reason is printed and the status is 3. Each case runs in a directory of
# its own.
# Every pixel of a frame file is blue (rows of 640 pixels carry no padding).
all_blue() {
  [ "$(od -An -v -tx1 -w3 -j54 "$1" | sort -u | tr -d ' ')" = "ff0000" ]
}
texture_case() {
  local name=$1 reason=$2
  local dir=$work/texture-$name
  (
    cd "$dir" || exit 1
    timeout 60 "$snapshot" --frames 3 --out f.bmp >stdout 2>stderr
  )
  local status=$?
  [ "$status" -eq 3 ] || fail "texture $name: exited $status"
  grep -qF "Cannot load texture \"SW_TEST.bmp\": $reason" "$dir/stderr" ||
    fail "texture $name: no reason '$reason' in: $(cat "$dir/stderr")"
  if [ "$quiet_assertions" = yes ] && [ "$(wc -l <"$dir/stderr")" -ne 1 ]; then
    fail "texture $name: not exactly one line: $(cat "$dir/stderr")"
  fi
  all_blue "$dir/f.bmp" || fail "texture $name: the frame is not all blue"
}
good=$(pwd)/SW_TEST.bmp
for name in missing empty truncated malformed directory fifo; do
  mkdir -p "$work/texture-$name"
done
: >"$work/texture-empty/SW_TEST.bmp"
head -c 1000 "$good" >"$work/texture-truncated/SW_TEST.bmp"
cp "$good" "$work/texture-malformed/SW_TEST.bmp"
printf '\020' | dd of="$work/texture-malformed/SW_TEST.bmp" bs=1 seek=28 conv=notrunc 2>/dev/null  # 16 bits a texel
mkdir "$work/texture-directory/SW_TEST.bmp"
mkfifo "$work/texture-fifo/SW_TEST.bmp"
texture_case missing "cannot open the file"
texture_case empty "file too short for the BMP headers"
texture_case truncated "file shorter than its pixel data"
texture_case malformed "not a 24- or 32-bit image"
texture_case directory "not a regular file"
texture_case fifo "not a regular file"
# ... while the shipped texture does reach the frame.
expect_status 0 --out "$work/textured.bmp"
all_blue "$work/textured.bmp" && fail "the shipped texture left the frame all blue"

# On a terminal a long run shows its progress, rewritten in place.
timeout 3 script -qfec "$snapshot $many --out $work/long.bmp" /dev/null >"$work/tty" 2>&1
grep -q $'\rkxsnapshot: frame [0-9]* of 100000000 (0%)' "$work/tty" || fail "no progress line on a terminal"

if [ "$failures" -ne 0 ]; then
  echo "$failures failures"
  exit 1
fi
echo "PASS"
