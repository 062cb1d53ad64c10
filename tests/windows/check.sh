#!/usr/bin/env bash
# The Windows build checked under Wine: every image of tests/golden/images.txt
# drawn byte for byte by its .exe (frame 90 on three threads too), and
# kxexactness.exe's hashes, on one thread and on three; SoftwareRenderTest.exe
# reads its options from its command line, opens its window under Xvfb and
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
  while read -r image program arguments; do
    case $image in '' | '#'*) continue ;; esac
    # shellcheck disable=SC2086
    if (cd "$bin" && KX_RUNNER="env -u DISPLAY timeout 300 wine" bash "$root/tests/golden/compare_image.sh" \
          "$root/tests/golden/$image" "../check/$image" "$program.exe" $arguments </dev/null); then
      echo "windows-check: $program.exe draws tests/golden/$image"
    else
      fail "$program.exe: $image differs from tests/golden/$image ($out/$image)"
    fi
  done <"$root/tests/golden/images.txt"
  # The worker threads under Windows: every draw split across three.
  if (cd "$bin" && KX_RUNNER="env -u DISPLAY timeout 300 wine" bash "$root/tests/golden/compare_image.sh" \
        "$root/tests/golden/frame90.bmp" ../check/frame90_threads.bmp kxsnapshot.exe --frames 90 --out OUT \
        --threads 3 --thread-threshold 0 </dev/null); then
    echo "windows-check: kxsnapshot.exe draws tests/golden/frame90.bmp on three threads"
  else
    fail "kxsnapshot.exe: frame 90 on three threads differs from tests/golden/frame90.bmp"
  fi
  if (cd "$bin" && env -u DISPLAY timeout 300 wine kxexactness.exe --check "$root/tests/exactness/hashes.txt" \
        --threads 1,3 >"$out/exactness.log" 2>&1); then
    echo "windows-check: $(tail -n 1 "$out/exactness.log")"
  else
    fail "kxexactness.exe: $(head -n 4 "$out/exactness.log")"
  fi
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
