# Linux install: the two libraries, the public header, a CMake package
# (Halvex32::halvex32, Halvex32::virtual), a pkg-config file per library;
# halvexctl and its man page come from tools/halvexctl. `cpack -G DEB` packs
# the same tree as the Debian package halvex32.
include(CMakePackageConfigHelpers)

set(HX_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Halvex32)
set(HX_PKG_CONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The soname carries the major version; libhalvex32.so and
# libhalvex32-virtual.so stay the names to link with.
set_target_properties(halvex32 halvex32-virtual PROPERTIES
  VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
set_target_properties(halvex32 PROPERTIES EXPORT_NAME halvex32)
set_target_properties(halvex32-virtual PROPERTIES EXPORT_NAME virtual)
foreach(_lib halvex32 halvex32-virtual)
  target_include_directories(${_lib} INTERFACE
    $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/include> $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
endforeach()
add_library(Halvex32::halvex32 ALIAS halvex32)
add_library(Halvex32::virtual ALIAS halvex32-virtual)

# Only the public header: halvex32_service.h is linked into halvexctl and the
# tests, never offered to applications.
install(TARGETS halvex32 halvex32-virtual EXPORT Halvex32Targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES include/halvex32.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(EXPORT Halvex32Targets NAMESPACE Halvex32:: DESTINATION ${HX_CMAKE_PACKAGE_DIR})
configure_package_config_file(cmake/Halvex32Config.cmake.in ${CMAKE_BINARY_DIR}/Halvex32Config.cmake
  INSTALL_DESTINATION ${HX_CMAKE_PACKAGE_DIR})
# The 77 exports keep their signatures within a major version.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/Halvex32ConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/Halvex32Config.cmake ${CMAKE_BINARY_DIR}/Halvex32ConfigVersion.cmake
  DESTINATION ${HX_CMAKE_PACKAGE_DIR})

# pkg-config files that find the prefix from their own place, so that the
# staged tree of cpack and a tree unpacked elsewhere work as installed.
file(RELATIVE_PATH HX_PC_TO_PREFIX /prefix/${HX_PKG_CONFIG_DIR} /prefix)
string(REGEX REPLACE "/$" "" HX_PC_TO_PREFIX "${HX_PC_TO_PREFIX}")
function(hx_pkg_config name description)
  set(HX_PC_NAME ${name})
  set(HX_PC_LIBRARY ${name})
  set(HX_PC_DESCRIPTION ${description})
  configure_file(cmake/halvex32.pc.in ${CMAKE_BINARY_DIR}/${name}.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/${name}.pc DESTINATION ${HX_PKG_CONFIG_DIR})
endfunction()
hx_pkg_config(halvex32 "Watchdog, DIO, PoE and MCU features of industrial PCs (hardware)")
hx_pkg_config(halvex32-virtual "Halvex32 on the virtual board (HALVEX_VIRTUAL_MODEL picks the model)")

# cpack -G DEB (or cpack --preset deb): one package with the libraries, the
# header, the CMake and pkg-config files, halvexctl and its man page.
set(CPACK_PACKAGE_NAME halvex32)
set(CPACK_PACKAGE_VENDOR "Halvex32")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "watchdog, DIO, PoE and MCU features of industrial PCs")
set(CPACK_PACKAGE_DESCRIPTION
  "Halvex32 gives applications the watchdog, isolated DI/DO, PoE port power and\n"
  "the on-board microcontroller's CAN, PWM, ADC, encoder and ignition features\n"
  "of 29 industrial PC models through 77 C functions. The package holds the\n"
  "library for the hardware, the same library on a virtual board, the header,\n"
  "CMake and pkg-config files, and the halvexctl tool.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Halvex32 maintainers <maintainers@users.noreply.c-seed-83056ec4.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
# Depends from the ELF files (libc6, libstdc++6, libgcc-s1); a shlibs file
# and the ldconfig trigger for the libraries' sonames.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
