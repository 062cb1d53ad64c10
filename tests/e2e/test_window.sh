#!/usr/bin/env bash
# End to end: the real program in a real window under Xvfb. It opens
# "SoftwareRenderTest" with a 640x480 client area, shows the blue frame with
# the pyramid, moves the second copy right while D is held, and exits with
# status 0 soon after the window is closed.
#   test_window.sh BIN_DIR KXWMCLOSE
set -u
here=$(cd "$(dirname "$0")" && pwd)

if [ "${1:-}" != "--inner" ]; then
  for tool in xvfb-run xdotool import convert python3; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      echo "SKIPPED: $tool is not installed (make deps installs it)"
      exit 77
    fi
  done
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" --inner "$@"
fi

bindir=$2
wmclose=$3
work=$(mktemp -d)
trap 'rm -rf "$work"; [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null' EXIT

fail() {
  echo "FAIL: $*"
  exit 1
}

screenshot() {
  import -window "$wid" "$work/$1.png" && convert "$work/$1.png" "$work/$1.ppm" ||
    fail "cannot take a screenshot"
}

cd "$bindir" || fail "no $bindir"
./SoftwareRenderTest &
pid=$!

wid=$(timeout 10 xdotool search --sync --name '^SoftwareRenderTest$' | head -n 1)
[ -n "$wid" ] || fail "no window titled SoftwareRenderTest"
echo "window $wid"

geometry=$(xdotool getwindowgeometry "$wid" | sed -n 's/ *Geometry: //p')
[ "$geometry" = "640x480" ] || fail "client area is $geometry, not 640x480"

sleep 1
screenshot before
corner=$(python3 "$here/imagestats.py" "$work/before.ppm" 2 2)
[ "$corner" = "0000FF" ] || fail "background pixel is $corner, not blue"
read -r count left top right bottom < <(python3 "$here/imagestats.py" "$work/before.ppm" box)
echo "pyramids: $count pixels in x $left..$right, y $top..$bottom"
[ "$count" -gt 20000 ] || fail "the pyramids cover only $count pixels"

# Holding D moves the second copy right, out past the first one's extent.
xdotool windowfocus --sync "$wid" 2>/dev/null || xdotool windowfocus "$wid"
xdotool keydown --window "$wid" d
sleep 1
xdotool keyup --window "$wid" d
sleep 0.3
screenshot after
read -r count2 left2 top2 right2 bottom2 < <(python3 "$here/imagestats.py" "$work/after.ppm" box)
echo "after D: $count2 pixels in x $left2..$right2, y $top2..$bottom2"
# Only the extent: the first pyramid keeps turning, and its own size at the
# later angle may exceed what both covered before.
[ "$right2" -lt "$right" ] ||
  fail "holding D did not move the second copy right (out of view)"

"$wmclose" "$wid" || fail "cannot send the close request"
for _ in $(seq 50); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "still running 5 seconds after the close request"
wait "$pid"
status=$?
pid=
[ "$status" -eq 0 ] || fail "exit status $status"
echo "PASS"
