#!/usr/bin/env bash
# The public headers as a program outside the project meets them:
#   test_headers.sh CXX SOURCE_DIR HEADER...   (headers as paths in SOURCE_DIR)
# 1. each compiles on its own under -Wall -Wextra -Werror;
# 2. each stops a -ffast-math build with the exact-arithmetic error;
# 3. each defines no macro but KX_... beyond those of the standard headers,
#    but for the window-system subset (platform/kxwin32.h and the headers
#    that include it), whose Win32 macros are its purpose;
# 4. the device header stops each option that breaks exact arithmetic, with
#    the reason (table below);
# 5. the device header sits beside <glib.h>, which defines TRUE and FALSE
#    itself, in either order, under -Werror.
set -u
cxx=$1
source=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
flags=(-std=c++20 -ffp-contract=off -Wall -Wextra -Werror -I"$source")
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# The standard headers any of ours includes: the macros they define are not ours.
grep -h '^#include <' "$@" | grep -v '<windows.h>' | sort -u >"$work/standard.h"
"$cxx" "${flags[@]}" -dM -E -x c++ "$work/standard.h" | sort >"$work/standard.macros"

for header in "$@"; do
  name=${header#"$source"/}
  printf '#include "%s"\n' "$name" >"$work/one.cpp"
  "$cxx" "${flags[@]}" -fsyntax-only "$work/one.cpp" 2>"$work/one.log" ||
    fail "$name does not compile on its own: $(head -n 5 "$work/one.log")"
  if "$cxx" "${flags[@]}" -ffast-math -fsyntax-only "$work/one.cpp" 2>"$work/fast.log" ||
     ! grep -q "fast floating-point math" "$work/fast.log"; then
    fail "$name lets a -ffast-math build through"
  fi
  [ "$name" = platform/kxwin32.h ] || grep -q '^#include "platform/kxwin32.h"' "$header" && continue
  cat "$work/standard.h" "$work/one.cpp" >"$work/macros.h"
  "$cxx" "${flags[@]}" -dM -E -x c++ "$work/macros.h" | sort |
    comm -13 "$work/standard.macros" - | grep -v '^#define KX' >"$work/leaked"
  [ -s "$work/leaked" ] && fail "$name defines macros not its own: $(cut -d' ' -f2 "$work/leaked" | tr '\n' ' ')"
done

# OPTIONS|WORDS OF THE ERROR: compiling the device header with the options
# must stop with that error.
stopped=(
  "-ffast-math|fast floating-point math"
  "-Ofast|fast floating-point math"
  "-fassociative-math -fno-signed-zeros -fno-trapping-math|-fassociative-math"
  "-freciprocal-math|-freciprocal-math"
  "-fno-signed-zeros|-fno-signed-zeros"
  "-ffinite-math-only|-ffinite-math-only"
)
case $(uname -m) in
  x86_64 | i?86) stopped+=("-mfpmath=387|x87 floating-point arithmetic" "-mfpmath=both|FLT_EVAL_METHOD is not 0") ;;
esac
printf '#include "render/kxsoftwarerenderdevice.h"\n' >"$work/device.cpp"
for entry in "${stopped[@]}"; do
  options=${entry%%|*}
  # shellcheck disable=SC2086
  if "$cxx" "${flags[@]}" $options -fsyntax-only "$work/device.cpp" 2>"$work/stopped.log"; then
    fail "the device header lets $options through"
  elif ! grep -q -e "#error.*${entry#*|}" "$work/stopped.log"; then
    fail "the device header stops $options without saying why: $(head -n 3 "$work/stopped.log")"
  fi
done

if glib=$(pkg-config --cflags glib-2.0 2>/dev/null); then
  for order in "glib.h render/kxsoftwarerenderdevice.h" "render/kxsoftwarerenderdevice.h glib.h"; do
    { for h in $order; do printf '#include <%s>\n' "$h"; done
      printf 'gboolean Ready(KxSoftwareRenderDevice& d) { return d.Present() == 0 ? FALSE : TRUE; }\n'
    } >"$work/glib.cpp"
    # shellcheck disable=SC2086
    "$cxx" "${flags[@]}" $glib -fsyntax-only "$work/glib.cpp" 2>"$work/glib.log" ||
      fail "<glib.h> and the device header ($order): $(head -n 5 "$work/glib.log")"
  done
else
  fail "glib-2.0 is not installed: scripts/install-deps.sh test installs it"
fi

[ "$failures" -eq 0 ] && echo "the $# public headers keep to themselves"
exit $((failures > 0))
