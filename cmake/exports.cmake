# Generates the export descriptions from frame/exports.list (one name per
# line, in ordinal order): the Windows .def file with ordinals 1..77 and the
# Linux version script that exports these names and nothing else.
file(STRINGS "${CMAKE_SOURCE_DIR}/frame/exports.list" HX_EXPORT_NAMES)
list(LENGTH HX_EXPORT_NAMES HX_EXPORT_COUNT)
if(NOT HX_EXPORT_COUNT EQUAL 77)
  message(FATAL_ERROR "frame/exports.list must name 77 exports, found ${HX_EXPORT_COUNT}")
endif()

set(_def "LIBRARY Halvex32.dll\nEXPORTS\n")
set(_map "{\n  global:\n")
set(_ordinal 1)
foreach(_name IN LISTS HX_EXPORT_NAMES)
  string(APPEND _def "  ${_name} @${_ordinal}\n")
  string(APPEND _map "    ${_name};\n")
  math(EXPR _ordinal "${_ordinal} + 1")
endforeach()
string(APPEND _map "  local: *;\n};\n")

set(HX_DEF_FILE "${CMAKE_BINARY_DIR}/Halvex32.def")
set(HX_VERSION_SCRIPT "${CMAKE_BINARY_DIR}/halvex32.map")
file(WRITE "${HX_DEF_FILE}.in" "${_def}")
file(WRITE "${HX_VERSION_SCRIPT}.in" "${_map}")
configure_file("${HX_DEF_FILE}.in" "${HX_DEF_FILE}" COPYONLY)
configure_file("${HX_VERSION_SCRIPT}.in" "${HX_VERSION_SCRIPT}" COPYONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/frame/exports.list")
