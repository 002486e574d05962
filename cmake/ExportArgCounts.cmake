# cmake -DDEF=PWSETUP.def -DOUTPUT=FILE -P ExportArgCounts.cmake
#
# Writes the argument count of each export that the .def file lists, as entries of an
# initializer list ({"DLL_SetStr", 2},). A line "DLL_SetStr=DLL_SetStr@8" says that the standard
# call takes 8 bytes of arguments: two 32-bit arguments, which is all the setup engine passes.
file(STRINGS ${DEF} _lines REGEX "^[ \t]*[A-Za-z_][A-Za-z_0-9]*=")
set(_entries "")
foreach(_line IN LISTS _lines)
  if(NOT _line MATCHES "^[ \t]*([A-Za-z_][A-Za-z_0-9]*)=[A-Za-z_0-9]+@([0-9]+)[ \t]*$")
    message(FATAL_ERROR "${DEF}: no argument size in \"${_line}\"")
  endif()
  set(_name ${CMAKE_MATCH_1})
  set(_bytes ${CMAKE_MATCH_2})
  math(EXPR _rest "${_bytes} % 4")
  if(_rest)
    message(FATAL_ERROR "${DEF}: ${_name} takes ${_bytes} bytes, not whole 32-bit arguments")
  endif()
  math(EXPR _count "${_bytes} / 4")
  string(APPEND _entries "{\"${_name}\", ${_count}},\n")
endforeach()
if(_entries STREQUAL "")
  message(FATAL_ERROR "${DEF}: no exports")
endif()
get_filename_component(_def_name ${DEF} NAME)
file(WRITE ${OUTPUT}
     "// Generated from ${_def_name} by cmake/ExportArgCounts.cmake at build time; do not edit.\n"
     "${_entries}")
