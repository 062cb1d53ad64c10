#!/usr/bin/env bash
# The program's start, where no window is needed to tell: bad options give the
# usage and status 2, --help the usage and status 0, and a display that
# cannot be opened one line on stderr and status 1, at once.
#   test_program_start.sh SOFTWARERENDERTEST
set -u
program=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# A display with no server behind it.
n=1999
while [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done

# check STATUS STDERR_LINES TEXT [env settings...] PROGRAM [options...]
# STDERR_LINES "-" leaves the count open. The timeout is a guard against
# the old endless loop, not a time limit.
check() {
  local expected=$1 lines=$2 text=$3
  shift 3
  timeout 10 env -u SDL_VIDEODRIVER -u WAYLAND_DISPLAY "$@" >"$work/out" 2>"$work/err"
  local status=$?
  if [ "$status" -ne "$expected" ]; then
    echo "FAIL: '$*' exited $status, expected $expected"
    failures=$((failures + 1))
  elif ! grep -qF -- "$text" "$work/out" "$work/err"; then
    echo "FAIL: '$*' did not say '$text': $(cat "$work/out" "$work/err")"
    failures=$((failures + 1))
  elif [ "$lines" != - ] && [ "$(wc -l <"$work/err")" -ne "$lines" ]; then
    echo "FAIL: '$*' wrote not $lines line(s) on stderr: $(cat "$work/err")"
    failures=$((failures + 1))
  fi
}

check 1 1 "cannot open the window: no display could be opened (DISPLAY=:$n)" DISPLAY=:$n "$program"
check 1 1 "(DISPLAY and WAYLAND_DISPLAY are not set)" -u DISPLAY "$program" --max-fps 60 --show-fps
check 2 - "unknown option --bogus" DISPLAY=:$n "$program" --bogus
check 2 - "usage: SoftwareRenderTest" DISPLAY=:$n "$program" --max-fps 1001
check 2 - "usage: SoftwareRenderTest" DISPLAY=:$n "$program" --show-fps --max-fps
check 0 0 "Close the window to quit" DISPLAY=:$n "$program" --help

[ "$failures" -eq 0 ] || exit 1
echo PASS
