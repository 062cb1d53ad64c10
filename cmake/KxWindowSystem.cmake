# Whether the platform layer has windows: off Windows they come from SDL2.
# KX_WITH_SDL is ON, OFF or AUTO; AUTO takes SDL2 where it is found and,
# where it is not, builds without windows when nothing that needs them (the
# program, the tests, the benchmarks) is asked for. Without windows
# kxplatform holds the memory device contexts, the clock and the held keys:
# the device draws off-screen, and kxsnapshot and the examples build.
# Sets KX_SDL_WINDOWS; may switch KX_BUILD_DEMO, KX_BUILD_TESTS and
# KX_BUILD_BENCHMARKS off.
set(KX_WITH_SDL AUTO CACHE STRING "Windows over SDL2 off Windows: ON, OFF, or AUTO (ON where SDL2 is found)")
set_property(CACHE KX_WITH_SDL PROPERTY STRINGS AUTO ON OFF)

set(KX_SDL_WINDOWS OFF)
if(WIN32)
  return()  # Windows has windows of its own
endif()

if(KX_WITH_SDL STREQUAL "AUTO")
  find_package(SDL2 QUIET)
  if(SDL2_FOUND)
    set(KX_SDL_WINDOWS ON)
  elseif(KX_BUILD_DEMO OR KX_BUILD_TESTS OR KX_BUILD_BENCHMARKS)
    message(FATAL_ERROR "SDL2 was not found, and the program, the tests and the benchmarks need it for their windows. "
      "Install it (scripts/install-deps.sh build, or the package libsdl2-dev), or build only what draws "
      "off-screen with -DKX_WITH_SDL=OFF.")
  else()
    message(STATUS "SDL2 not found: building the libraries without windows (off-screen drawing only)")
  endif()
elseif(KX_WITH_SDL)
  find_package(SDL2 REQUIRED)
  set(KX_SDL_WINDOWS ON)
endif()

if(NOT KX_SDL_WINDOWS AND (KX_BUILD_DEMO OR KX_BUILD_TESTS OR KX_BUILD_BENCHMARKS))
  message(STATUS "Built without windows: the program, the tests and the benchmarks are left out")
  set(KX_BUILD_DEMO OFF)
  set(KX_BUILD_TESTS OFF)
  set(KX_BUILD_BENCHMARKS OFF)
endif()
