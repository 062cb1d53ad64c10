#!/usr/bin/env bash
# Builds a program outside the project against the renderer three ways and
# checks that each one writes the example's reference image byte for byte:
#   test_consumer.sh BUILD_DIR SOURCE_DIR REFERENCE.bmp [--without-sdl]
# 1. find_package(SoftwareRender) against `cmake --install BUILD_DIR`
# 2. pkg-config --cflags --libs softwarerender against the same prefix
# 3. add_subdirectory of SOURCE_DIR from a project of its own
# The programs run with no display and no video driver chosen: drawing off
# screen must need neither. The CMake consumers also run no_window, a device
# created on a handle that names no window.
# --without-sdl: every configuration is told SDL2 cannot be found, as on a
# machine without it; the add_subdirectory build, which then has no windows,
# is also the one installed for 1 and 2, and nothing installed may ask for
# SDL2. BUILD_DIR is not used.
set -u
build=$1
source=$2
reference=$3
withoutSdl=${4:-}
no_sdl=()
[ "$withoutSdl" = --without-sdl ] && no_sdl=(-DCMAKE_DISABLE_FIND_PACKAGE_SDL2=ON -DKX_INSTALL=ON)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset DISPLAY WAYLAND_DISPLAY SDL_VIDEODRIVER
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# run NAME PROGRAM: the program's image must equal the reference; beside it
# a no_window program, where built, must succeed.
run() {
  if ! "$2" "$work/$1.bmp" >"$work/$1.log" 2>&1; then
    fail "$1: the program failed: $(cat "$work/$1.log")"
  elif ! cmp -s "$work/$1.bmp" "$reference"; then
    fail "$1: the image differs from $reference"
  fi
  local noWindow
  noWindow=$(dirname "$2")/no_window
  if [ -x "$noWindow" ] && ! "$noWindow" >"$work/$1-no-window.log" 2>&1; then
    fail "$1: no_window: $(cat "$work/$1-no-window.log")"
  fi
}

# quietly LOG COMMAND...: runs the command, showing its output only on failure.
quietly() {
  local log=$1
  shift
  "$@" >"$log" 2>&1 || { cat "$log"; return 1; }
}

if quietly "$work/subdirectory.log" cmake -S "$source/tests/consumer/outside" -B "$work/subdirectory" \
     -DKX_SOURCE_TREE="$source" "${no_sdl[@]}" &&
   quietly "$work/subdirectory-build.log" cmake --build "$work/subdirectory" -j 2; then
  run add_subdirectory "$work/subdirectory/consumer"
else
  fail "add_subdirectory: the consumer did not build"
fi

prefix=$work/prefix
[ ${#no_sdl[@]} -gt 0 ] && build=$work/subdirectory
if quietly "$work/install.log" cmake --install "$build" --prefix "$prefix"; then
  if quietly "$work/package.log" cmake -S "$source/tests/consumer/outside" -B "$work/package" \
       -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$prefix" "${no_sdl[@]}" &&
     quietly "$work/package-build.log" cmake --build "$work/package"; then
    run package "$work/package/consumer"
  else
    fail "find_package: the consumer did not build"
  fi

  if [ ${#no_sdl[@]} -gt 0 ] &&
     grep -i sdl "$prefix/lib/pkgconfig/softwarerender.pc" "$prefix"/lib/cmake/SoftwareRender/*Targets*.cmake; then
    fail "the package built without SDL2 still names it"
  fi
  if flags=$(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs softwarerender) &&
     quietly "$work/pkg-config.log" g++ -std=c++20 -O2 -o "$work/pkgconfig-consumer" \
       "$source/examples/offscreen_triangle.cpp" $flags; then
    run pkg-config "$work/pkgconfig-consumer"
  else
    fail "pkg-config: the consumer did not build"
  fi
else
  fail "cmake --install $build failed"
fi

[ "$failures" -eq 0 ] && echo "the consumer built three ways and drew the reference image each time"
exit $((failures > 0))
