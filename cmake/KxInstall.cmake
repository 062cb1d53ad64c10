# cmake --install: the static libraries, the public headers under
# include/softwarerender/ in their folders, the CMake package
# (find_package(SoftwareRender)) and the pkg-config file.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(kxPackageDir ${CMAKE_INSTALL_LIBDIR}/cmake/SoftwareRender)
install(TARGETS kxmath kxplatform kxrender EXPORT SoftwareRenderTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/softwarerender)
install(EXPORT SoftwareRenderTargets NAMESPACE SoftwareRender:: DESTINATION ${kxPackageDir})

# Off Windows the platform layer's windows run over SDL2, which the static
# libraries leave for the program to link; a build without windows needs
# nothing.
set(KX_NEEDS_SDL2 ${KX_SDL_WINDOWS})
if(WIN32)
  set(KX_PC_REQUIRES "")
  set(KX_PC_SYSTEM_LIBS " -luser32 -lgdi32")
elseif(KX_SDL_WINDOWS)
  set(KX_PC_REQUIRES "sdl2")
  set(KX_PC_SYSTEM_LIBS "")
else()
  set(KX_PC_REQUIRES "")
  set(KX_PC_SYSTEM_LIBS "")
endif()
list(JOIN KX_EXACT_FLOAT_FLAGS " " KX_PC_FLOAT_FLAGS)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/SoftwareRenderConfig.cmake.in
  ${PROJECT_BINARY_DIR}/SoftwareRenderConfig.cmake INSTALL_DESTINATION ${kxPackageDir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/SoftwareRenderConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/SoftwareRenderConfig.cmake ${PROJECT_BINARY_DIR}/SoftwareRenderConfigVersion.cmake
  DESTINATION ${kxPackageDir})

# The .pc file finds the prefix from its own place, so the installed tree
# works wherever --prefix put it.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(KX_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(KX_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
else()
  file(RELATIVE_PATH kxUp /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
  string(REGEX REPLACE "/$" "" kxUp "${kxUp}")
  set(KX_PC_PREFIX "\${pcfiledir}/${kxUp}")
  set(KX_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(KX_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}/softwarerender")
else()
  set(KX_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}/softwarerender")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/softwarerender.pc.in ${PROJECT_BINARY_DIR}/softwarerender.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/softwarerender.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
