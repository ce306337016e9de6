# Linux: libhalvex32.so (real hardware), libhalvex32-virtual.so (virtual
# board), halvexctl, tests and benchmarks; their install and Debian package.
include(GNUInstallDirs)
# hx_os: the POSIX side of the OS seam and the Linux hardware back-end.
file(GLOB HX_OS_SOURCES CONFIGURE_DEPENDS os/posix/*.cpp backends/linux/*.cpp)
list(FILTER HX_OS_SOURCES EXCLUDE REGEX "entry_native\\.cpp$")
add_library(hx_os OBJECT ${HX_OS_SOURCES})
target_link_libraries(hx_os PUBLIC hx_core)
target_compile_options(hx_os PRIVATE ${HX_LIBRARY_FLAGS})

find_package(Threads REQUIRED)

# The virtual board runs its serial links on pseudo-terminals.
file(GLOB HX_SIM_POSIX_SOURCES CONFIGURE_DEPENDS sim/posix/*.cpp)
target_sources(hx_sim PRIVATE ${HX_SIM_POSIX_SOURCES})

function(hx_shared_library target)
  add_library(${target} SHARED ${ARGN})
  target_link_libraries(${target} PRIVATE hx_core hx_os Threads::Threads rt)
  target_compile_options(${target} PRIVATE ${HX_LIBRARY_FLAGS})
  target_link_options(${target} PRIVATE
    "-Wl,--version-script=${HX_VERSION_SCRIPT}" -Wl,--no-undefined -Wl,-z,defs)
  set_target_properties(${target} PROPERTIES LINK_DEPENDS "${HX_VERSION_SCRIPT}")
endfunction()

hx_shared_library(halvex32 backends/linux/entry_native.cpp)
hx_shared_library(halvex32-virtual backends/virtual/entry_virtual.cpp)
target_link_libraries(halvex32-virtual PRIVATE hx_sim)
include(cmake/install.cmake)

# The service access (include/halvex32_service.h) for halvexctl and the unit
# tests: linked into them, never into the shared libraries.
file(GLOB HX_SERVICE_SOURCES CONFIGURE_DEPENDS backends/service/*.cpp)
add_library(hx_service OBJECT ${HX_SERVICE_SOURCES})
target_link_libraries(hx_service PUBLIC hx_core hx_os hx_sim)
target_compile_options(hx_service PRIVATE -fno-exceptions -fvisibility=hidden -fvisibility-inlines-hidden)

add_subdirectory(tools/halvexctl)

if(HX_BUILD_TESTS)
  enable_testing()
  add_subdirectory(tests/unit)
  if(EXISTS ${CMAKE_SOURCE_DIR}/tests/e2e/CMakeLists.txt)
    add_subdirectory(tests/e2e)  # the Linux side of the Wine tests
  endif()
  if(EXISTS ${CMAKE_SOURCE_DIR}/bench/CMakeLists.txt)
    add_subdirectory(bench)
  endif()
  if(EXISTS ${CMAKE_SOURCE_DIR}/tests/soak/CMakeLists.txt)
    add_subdirectory(tests/soak)  # fault soak and races: short in ctest, long by hand
  endif()
  if(EXISTS ${CMAKE_SOURCE_DIR}/tests/heap/CMakeLists.txt)
    add_subdirectory(tests/heap)  # the allocation counter interposed over the unit suite
  endif()
endif()
