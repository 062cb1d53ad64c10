#!/usr/bin/env bash
# End to end: the real program in a real window under Xvfb, started as
# `make run` starts it (--max-fps 60 --show-fps). It opens
# "SoftwareRenderTest" with a 640x480 client area, shows the blue frame with
# the pyramid and the frame rate in the title, moves the second copy right at
# one unit a frame, so about 60 units a second, while D is held, and exits
# with status 0 soon after the window is closed.
#   test_window.sh BIN_DIR KXWMCLOSE
set -u
here=$(cd "$(dirname "$0")" && pwd)

if [ "${1:-}" != "--inner" ]; then
  for tool in xvfb-run xdotool import convert python3; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      echo "SKIPPED: $tool is not installed (make test installs it)"
      exit 77
    fi
  done
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" --inner "$@"
fi

bindir=$2
wmclose=$3
unset SDL_VIDEODRIVER  # the real window, even when the caller's tests run off-screen
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

# The right edge of the pair after holding D for N frames (kxsnapshot).
right_edge_after() {
  ./kxsnapshot --frames "$1" --hold D --out "$work/ruler.bmp" >/dev/null &&
    convert "$work/ruler.bmp" "$work/ruler.ppm" || fail "kxsnapshot"
  python3 "$here/imagestats.py" "$work/ruler.ppm" box | cut -d' ' -f4
}

cd "$bindir" || fail "no $bindir"
pixels_per_ten_units=$(($(right_edge_after 11) - $(right_edge_after 1)))
./SoftwareRenderTest --max-fps 60 --show-fps &
pid=$!

wid=$(timeout 10 xdotool search --sync --name '^SoftwareRenderTest' | head -n 1)
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

# The frame rate in the title, once the first whole second is counted (the
# counter's first value is 1). A frame on a second's boundary counts in both
# seconds, so 60 frames a second can read 61 or 62.
for _ in $(seq 50); do
  title=$(xdotool getwindowname "$wid")
  [ "${title#SoftwareRenderTest - FPS : }" != 1 ] && [ "$title" != SoftwareRenderTest ] && break
  sleep 0.1
done
echo "title: $title"
fps=${title#SoftwareRenderTest - FPS : }
[[ "$fps" =~ ^[0-9]+$ ]] || fail "title '$title' shows no frame rate"
[ "$fps" -ge 30 ] && [ "$fps" -le 62 ] || fail "frame rate $fps with --max-fps 60"

# Holding D for a moment: at one unit a frame and at most 60 frames a second,
# the copy moves right but stays in view (it leaves it after about 19 units).
xdotool windowfocus --sync "$wid" 2>/dev/null || xdotool windowfocus "$wid"
start=$(date +%s.%N)
xdotool keydown --window "$wid" d
sleep 0.15
xdotool keyup --window "$wid" d
end=$(date +%s.%N)
sleep 0.3
screenshot after
read -r count2 left2 top2 right2 bottom2 < <(python3 "$here/imagestats.py" "$work/after.ppm" box)
echo "after D: $count2 pixels in x $left2..$right2, y $top2..$bottom2"
# Only the right edge: the first pyramid keeps turning, and its own size at
# the later angle may differ from what it covered before.
read -r units most < <(awk -v d=$((right2 - right)) -v p="$pixels_per_ten_units" -v s="$start" -v e="$end" \
  'BEGIN { printf "%.1f %.1f\n", 10 * d / p, 60 * (e - s) + 2 }')
echo "D held $(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.2f", e - s }') s: the copy moved $units units"
awk -v u="$units" -v m="$most" 'BEGIN { exit !(u >= 2 && u <= m) }' ||
  fail "the copy moved $units units, not between 2 and $most"

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
