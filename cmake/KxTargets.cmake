# How this project's own targets are compiled, and what its libraries pass
# on to the programs that link them. Included from the top directory, so
# the settings reach our targets and never an embedding project's.

set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)

# The arithmetic is bit-exact by design: the compiler must neither fuse nor
# reorder floating-point operations, and on 32-bit x86 it must use SSE2, not
# the x87 unit, which keeps intermediates in 80 bits and rounds them when it
# likes. math/kxexactfloat.h stops a build that breaks this where it can see it.
set(kxGnuLike "$<CXX_COMPILER_ID:GNU,Clang,AppleClang>")
set(KX_EXACT_FLOAT_FLAGS -ffp-contract=off)
if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND CMAKE_SYSTEM_PROCESSOR MATCHES "^([iI][3-6]86|x86|X86|x86_64|AMD64|amd64)$")
  list(APPEND KX_EXACT_FLOAT_FLAGS -msse2 -mfpmath=sse)
endif()
add_compile_options("$<${kxGnuLike}:${KX_EXACT_FLOAT_FLAGS};-fno-fast-math;-Wall;-Wextra>")
# GCC 12's basic-block (SLP) vectoriser, given 256-bit vectors (-mavx,
# -march=native), drops the rounding of a double to float when the float
# is widened again: the rasteriser's left-clip then steps with the
# unrounded slope, and kxexactness sees depths one off. Without it the
# walkers cost about 1% more instructions a frame.
add_compile_options("$<$<CXX_COMPILER_ID:GNU>:-fno-tree-slp-vectorize>")

# kx_library_interface(target HEADERS header...): the public headers, found
# from the repository root as "folder/header.h" in the source tree and once
# installed; the language level; the exact-arithmetic flags in code that
# includes the headers, whose inline arithmetic must round as the library's
# does; and the name SoftwareRender::target.
function(kx_library_interface target)
  cmake_parse_arguments(ARG "" "" "HEADERS" ${ARGN})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    set(scope INTERFACE)
  else()
    set(scope PUBLIC)
  endif()
  target_sources(${target} ${scope} FILE_SET HEADERS BASE_DIRS ${PROJECT_SOURCE_DIR} FILES ${ARG_HEADERS})
  target_compile_features(${target} ${scope} cxx_std_20)
  target_compile_options(${target} ${scope} "$<${kxGnuLike}:${KX_EXACT_FLOAT_FLAGS}>")
  add_library(SoftwareRender::${target} ALIAS ${target})
endfunction()
