# Compiles a resource script for the native build and writes a C++ source that carries the
# compiled .res bytes into the module (see Resources.cmake).
#   cmake -DCPP=cc -DRC=llvm-rc -DINPUT=x.rc -DINCLUDE=dir -DOUTPUT=x.cpp -DDEPFILE=x.cpp.d -P this
foreach(_var CPP RC INPUT INCLUDE OUTPUT DEPFILE)
  if(NOT DEFINED ${_var})
    message(FATAL_ERROR "EmbedResources.cmake: ${_var} is not set")
  endif()
endforeach()

get_filename_component(_rcdir ${INPUT} DIRECTORY)
# Optional folders searched after the script's own, separated by "|".
set(_cpp_extra)
set(_rc_extra)
if(DEFINED EXTRA_INCLUDES AND NOT EXTRA_INCLUDES STREQUAL "")
  string(REPLACE "|" ";" _extra_dirs "${EXTRA_INCLUDES}")
  foreach(_dir IN LISTS _extra_dirs)
    list(APPEND _cpp_extra -I ${_dir})
    list(APPEND _rc_extra /I ${_dir})
  endforeach()
endif()
get_filename_component(_rcname ${INPUT} NAME)
set(_pre ${OUTPUT}.rc)
set(_res ${OUTPUT}.res)
file(REMOVE ${_pre} ${_res})

# llvm-rc would call clang for this; the C compiler we build with does the same job. Only
# winsim's headers are visible, and no host macro ("linux", "unix") may replace words of the
# script.
execute_process(
  COMMAND ${CPP} -E -P -xc -undef -nostdinc -DRC_INVOKED -I ${_rcdir} ${_cpp_extra} -I ${INCLUDE}
          -MD -MF ${DEPFILE} -MT ${OUTPUT} ${INPUT} -o ${_pre}
  RESULT_VARIABLE _rv)
if(NOT _rv EQUAL 0)
  message(FATAL_ERROR "preprocessing ${_rcname} failed")
endif()

# "--" ends the options: llvm-rc takes a path that begins with "/" and a letter of one of its
# options ("/check/...") for that option.
execute_process(
  COMMAND ${RC} /no-preprocess /C 1252 /I ${_rcdir} ${_rc_extra} /FO ${_res} -- ${_pre}
  WORKING_DIRECTORY ${_rcdir}
  RESULT_VARIABLE _rv)
if(NOT _rv EQUAL 0)
  file(REMOVE ${_res})
  message(FATAL_ERROR "llvm-rc could not compile ${_rcname}")
endif()

file(READ ${_res} _hex HEX)
string(LENGTH "${_hex}" _len)
math(EXPR _size "${_len} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," _bytes "${_hex}")
string(REPEAT "0x..," 16 _row)
string(REGEX REPLACE "(${_row})" "\\1\n    " _bytes "${_bytes}")
string(STRIP "${_bytes}" _bytes)

file(WRITE ${OUTPUT}.tmp
"// Generated from ${_rcname} by cmake/EmbedResources.cmake: the module's compiled resources.
#include <cstddef>

extern \"C\" void winsim_RegisterResources(const unsigned char* data, std::size_t size);
extern \"C\" void winsim_UnregisterResources(const unsigned char* data);

namespace {

alignas(4) const unsigned char kResources[${_size}] = {
    ${_bytes}
};

// Makes the bytes known to winsim for as long as this module is loaded.
struct ResourceRegistration {
    ResourceRegistration() { winsim_RegisterResources(kResources, sizeof kResources); }
    ~ResourceRegistration() { winsim_UnregisterResources(kResources); }
    ResourceRegistration(const ResourceRegistration&) = delete;
    ResourceRegistration& operator=(const ResourceRegistration&) = delete;
} g_resourceRegistration;

} // namespace
")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
