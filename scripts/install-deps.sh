#!/usr/bin/env bash
# Installs the Debian packages one purpose needs, and no more:
#   install-deps.sh PURPOSE...
#   build    compiler, CMake and SDL2: the program and kxsnapshot (make run)
#   test     build, plus GoogleTest, Xvfb, xdotool, ImageMagick, Python and
#            GLib's headers (beside which ours must compile) for the tests
#            (make test, make test-asan)
#   bench    build, plus Google Benchmark (make bench)
#   windows  the MinGW-w64 cross-compiler (make windows)
#   wine     Wine, and Xvfb and xdotool for the window check (make windows-check)
#   fuzz     build, plus clang and its libFuzzer runtime (make fuzz)
#   cross    the arm64 and i686 cross-compilers and qemu-user, to run what
#            they build (make cross-check); no SDL2: those builds have no windows
#   scaling  build, plus EGL, OpenGL and Mesa's drivers for the comparison
#            with llvmpipe (make scaling)
#   images   build, plus Python: the pictures of the docs (make docs-images)
#   docs     Python and matplotlib: the plots of the docs (make docs-plots)
# Packages already present are skipped; apt-get update runs only when
# something has to be installed.
set -euo pipefail

packages_for() {
  case $1 in
  build) echo cmake make g++ pkg-config libsdl2-dev ;;
  test) echo "$(packages_for build) libgtest-dev xvfb xauth xdotool imagemagick python3 libglib2.0-dev" ;;
  bench) echo "$(packages_for build) libbenchmark-dev" ;;
  windows) echo cmake make g++-mingw-w64-x86-64 ;;
  wine) echo wine wine64 xvfb xauth xdotool g++ libx11-dev ;;
  fuzz) echo "$(packages_for build) clang libclang-rt-14-dev" ;;
  cross) echo cmake make g++ crossbuild-essential-arm64 crossbuild-essential-i386 qemu-user ;;
  scaling) echo "$(packages_for build) libegl-dev libgl-dev libgl1-mesa-dri python3" ;;
  images) echo "$(packages_for build) python3" ;;
  docs) echo python3 python3-matplotlib ;;
  *) return 1 ;;
  esac
}

[ $# -gt 0 ] || set -- build
missing=()
for purpose in "$@"; do
  if ! wanted=$(packages_for "$purpose"); then
    echo "install-deps.sh: unknown purpose '$purpose' (build, test, bench, windows, wine, fuzz, cross, scaling, images, docs)" >&2
    exit 2
  fi
  for p in $wanted; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" &&
       [[ " ${missing[*]} " != *" $p "* ]]; then
      missing+=("$p")
    fi
  done
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

command="apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Install them as root with:" >&2
  echo "  sudo sh -c '$command'" >&2
  exit 1
fi

echo "Installing: ${missing[*]}"
sh -c "$command"
