# Windows (MinGW-w64): Halvex32.dll with its 77 exports at their ordinals,
# linked fully static so that it imports only Windows system DLLs.
# hx_os: the Win32 side of the OS seam and the WinIo hardware back-end.
file(GLOB HX_OS_SOURCES CONFIGURE_DEPENDS os/win32/*.cpp backends/win32/*.cpp)
list(FILTER HX_OS_SOURCES EXCLUDE REGEX "dllmain\\.cpp$")
add_library(hx_os OBJECT ${HX_OS_SOURCES})
target_link_libraries(hx_os PUBLIC hx_core)
target_compile_options(hx_os PRIVATE ${HX_LIBRARY_FLAGS})

add_library(halvex32 SHARED backends/win32/dllmain.cpp "${HX_DEF_FILE}")
target_link_libraries(halvex32 PRIVATE hx_core hx_os)
target_compile_options(halvex32 PRIVATE ${HX_LIBRARY_FLAGS})
set_target_properties(halvex32 PROPERTIES OUTPUT_NAME Halvex32 PREFIX "" IMPORT_PREFIX "" IMPORT_SUFFIX ".lib")
target_link_options(halvex32 PRIVATE -static -static-libgcc -static-libstdc++ -s)
# The link map names the addresses of the library's internal state; the Wine
# tests read the selected platform and card through it (the DLL is stripped).
target_link_options(halvex32 PRIVATE "-Wl,-Map=${CMAKE_BINARY_DIR}/Halvex32.dll.map")
target_link_libraries(halvex32 PRIVATE kernel32 user32 advapi32)

# The header, the .def and the import library go together, so that an
# application build finds all three in one folder.
install(TARGETS halvex32 RUNTIME DESTINATION bin ARCHIVE DESTINATION include LIBRARY DESTINATION bin)
install(FILES include/halvex32.h "${HX_DEF_FILE}" DESTINATION include)

if(EXISTS ${CMAKE_SOURCE_DIR}/sim/winio/CMakeLists.txt)
  add_subdirectory(sim/winio)
endif()
if(EXISTS ${CMAKE_SOURCE_DIR}/tests/e2e/CMakeLists.txt)
  add_subdirectory(tests/e2e)
endif()

# The SDK for application developers: a folder and a zip with the DLL, the
# .def file, the import library, the header and a note on the WinIo files
# the DLL needs beside it (cmake --build --preset mingw32 --target sdk).
set(HX_SDK_NAME Halvex32-${PROJECT_VERSION}-sdk)
set(HX_SDK_DIR ${CMAKE_BINARY_DIR}/sdk/${HX_SDK_NAME})
set(HX_SDK_ZIP ${CMAKE_BINARY_DIR}/sdk/${HX_SDK_NAME}.zip)
set(HX_SDK_NOTE ${CMAKE_SOURCE_DIR}/cmake/sdk/WINIO.txt)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/sdk)
add_custom_command(OUTPUT ${HX_SDK_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${HX_SDK_DIR}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${HX_SDK_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:halvex32> $<TARGET_LINKER_FILE:halvex32> "${HX_DEF_FILE}"
          ${CMAKE_SOURCE_DIR}/include/halvex32.h ${HX_SDK_NOTE} ${HX_SDK_DIR}
  COMMAND ${CMAKE_COMMAND} -E tar cf ${HX_SDK_ZIP} --format=zip ${HX_SDK_NAME}
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/sdk
  DEPENDS halvex32 "${HX_DEF_FILE}" ${CMAKE_SOURCE_DIR}/include/halvex32.h ${HX_SDK_NOTE}
  COMMENT "SDK: ${HX_SDK_ZIP}" VERBATIM)
add_custom_target(sdk DEPENDS ${HX_SDK_ZIP})
