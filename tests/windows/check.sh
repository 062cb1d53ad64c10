#!/usr/bin/env bash
# The Windows build checked under Wine: kxsnapshot.exe renders demo frames 1,
# 2, 90 and 360 byte for byte as tests/golden has them, frame 90 on three
# threads too; SoftwareRenderTest.exe reads its options from its command
# line, opens its window under Xvfb and
# exits with status 0 when the window is closed.
#   check.sh WINDOWS_BUILD   (after make windows; Wine, Xvfb, xdotool installed)
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
bin=$build/bin
out=$build/check
mkdir -p "$out"
# A Wine configuration of its own, kept with the build.
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

if [ "${2:-}" != --window ]; then
  if [ ! -d "$WINEPREFIX" ]; then
    echo "windows-check: setting up the Wine configuration in $WINEPREFIX"
    env -u DISPLAY wineboot --init >/dev/null 2>&1
    wineserver -w
  fi
  for frame in 1 2 90 360; do
    rm -f "$out/frame$frame.bmp"
    (cd "$bin" && env -u DISPLAY timeout 300 wine kxsnapshot.exe --frames "$frame" --out ../check/frame$frame.bmp >/dev/null) ||
      fail "kxsnapshot.exe --frames $frame exited $?"
    if cmp -s "$out/frame$frame.bmp" "$root/tests/golden/frame$frame.bmp"; then
      echo "windows-check: kxsnapshot.exe frame $frame matches tests/golden/frame$frame.bmp"
    else
      fail "kxsnapshot.exe frame $frame differs from tests/golden/frame$frame.bmp ($out/frame$frame.bmp)"
    fi
  done
  # The worker threads under Windows: every draw split across three.
  rm -f "$out/frame90_threads.bmp"
  (cd "$bin" && env -u DISPLAY timeout 300 wine kxsnapshot.exe --frames 90 --threads 3 --thread-threshold 0 \
     --out ../check/frame90_threads.bmp >/dev/null) || fail "kxsnapshot.exe --threads 3 exited $?"
  cmp -s "$out/frame90_threads.bmp" "$root/tests/golden/frame90.bmp" ||
    fail "kxsnapshot.exe frame 90 on three threads differs from tests/golden/frame90.bmp"
  # The program's options come from the .exe's command line.
  env -u DISPLAY timeout 300 wine "$bin/SoftwareRenderTest.exe" --max-fps x >/dev/null 2>"$out/usage.txt"
  status=$?
  [ "$status" -eq 2 ] && grep -q "^usage: SoftwareRenderTest" "$out/usage.txt" ||
    fail "SoftwareRenderTest.exe --max-fps x exited $status: $(cat "$out/usage.txt")"
  # Wine's processes of these display-less runs must be gone: a program
  # started while they linger joins them, with no display.
  wineserver -w
  # kxwmclose closes a window as a window manager's close button does.
  c++ -O2 -o "$out/kxwmclose" "$root/tests/e2e/kxwmclose.cpp" -lX11 || fail "cannot build kxwmclose"
  xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$build" --window || failures=$((failures + 1))
  wineserver -w
  [ "$failures" -eq 0 ] || exit 1
  echo "windows-check: PASS"
  exit 0
fi

# Under Xvfb: the program's window, with the frame rate in its title, closed
# by its close button.
cd "$bin" || exit 1
wine SoftwareRenderTest.exe --max-fps 60 --show-fps &
pid=$!
wid=
for _ in $(seq 120); do
  wid=$(xdotool search --name '^SoftwareRenderTest' | head -n 1)
  { [ -n "$wid" ] || ! kill -0 "$pid" 2>/dev/null; } && break
  sleep 0.5
done
if [ -z "$wid" ]; then
  kill "$pid" 2>/dev/null
  fail "SoftwareRenderTest.exe opened no window"
  exit 1
fi
geometry=$(xdotool getwindowgeometry "$wid" | sed -n 's/ *Geometry: //p')
[ "$geometry" = 640x480 ] || fail "client area is $geometry, not 640x480"
sleep 1.5
title=$(xdotool getwindowname "$wid")
[[ "$title" =~ ^"SoftwareRenderTest - FPS : "[0-9]+$ ]] || fail "title '$title' shows no frame rate"
"$out/kxwmclose" "$wid" || fail "cannot send the close request"
for _ in $(seq 100); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
  kill "$pid"
  fail "SoftwareRenderTest.exe still running 10 seconds after the close request"
fi
wait "$pid"
status=$?
[ "$status" -eq 0 ] || fail "SoftwareRenderTest.exe exited $status"
wineserver -w  # Wine's helper processes leave while the display is still there
[ "$failures" -eq 0 ] && echo "windows-check: SoftwareRenderTest.exe opened its window and closed with status 0"
exit $((failures > 0))
