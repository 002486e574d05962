# pw_add_resources(TARGET RCFILE): compiles a resource script into TARGET.
#
# Resource scripts include <winresrc.h> for the resource constants (VS_*, VOS_*, ...), their own
# headers by relative name, and are written in code page 1252, the system code page of our texts.
#
# Windows: windres compiles the script to a COFF object that the link puts into the module, as
# for any Windows module.
#
# Native: the C preprocessor runs over the script with winsim's headers only, llvm-rc compiles
# the result to a .res file, and cmake/EmbedResources.cmake turns the .res bytes into a source of
# TARGET. That source hands the bytes to winsim when the module is loaded
# (winsim_RegisterResources, from a static constructor); winsim then serves them to
# FindResourceA and LoadStringA for the module whose image holds them. The same works for a
# shared object loaded with LoadLibraryA and for the main executable.
set(PW_EMBED_RESOURCES_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/EmbedResources.cmake)

if(WIN32)
  if(NOT CMAKE_RC_COMPILER)
    string(REGEX REPLACE "g\\+\\+$" "windres" _pw_windres_guess "${CMAKE_CXX_COMPILER}")
    find_program(CMAKE_RC_COMPILER NAMES ${_pw_windres_guess} windres REQUIRED)
  endif()
else()
  find_program(PW_LLVM_RC NAMES llvm-rc llvm-rc-16 llvm-rc-15 llvm-rc-14 REQUIRED
               DOC "The resource compiler of the native build")
endif()

# pw_add_resources(TARGET RCFILE [INCLUDE_DIRS DIR...] [DEPENDS FILE...]): INCLUDE_DIRS are
# searched after the script's own folder (for fragments generated at build time), DEPENDS are
# further inputs (those fragments).
function(pw_add_resources target rcfile)
  cmake_parse_arguments(PARSE_ARGV 2 _pw "" "" "INCLUDE_DIRS;DEPENDS")
  get_filename_component(rcfile ${rcfile} ABSOLUTE)
  get_filename_component(rcdir ${rcfile} DIRECTORY)
  # Bitmaps, icons and headers next to the script are inputs too.
  file(GLOB _inputs CONFIGURE_DEPENDS ${rcdir}/*)
  list(APPEND _inputs ${_pw_DEPENDS})
  set(_extra_includes)
  foreach(_dir IN LISTS _pw_INCLUDE_DIRS)
    list(APPEND _extra_includes -I ${_dir})
  endforeach()

  if(WIN32)
    set(_obj ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.o)
    set(_defines)
    foreach(_d IN LISTS PW_WIN_DEFINES)
      list(APPEND _defines -D ${_d})
    endforeach()
    # Called directly rather than through CMake's RC language, which would hand windres the C++
    # warning options.
    add_custom_command(
      OUTPUT ${_obj}
      COMMAND ${CMAKE_RC_COMPILER} --codepage=1252 ${_defines} -I ${rcdir} ${_extra_includes} -O coff
              -i ${rcfile}
              -o ${_obj}
      DEPENDS ${rcfile} ${_inputs}
      WORKING_DIRECTORY ${rcdir}
      COMMENT "Compiling the resources of ${target}"
      VERBATIM)
    target_sources(${target} PRIVATE ${_obj})
  else()
    set(_src ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.cpp)
    # The folders travel as one argument; the script splits them at "|".
    string(REPLACE ";" "|" _extra_dirs "${_pw_INCLUDE_DIRS}")
    add_custom_command(
      OUTPUT ${_src}
      COMMAND ${CMAKE_COMMAND} -DCPP=${CMAKE_C_COMPILER} -DRC=${PW_LLVM_RC} -DINPUT=${rcfile}
              -DINCLUDE=${PROJECT_SOURCE_DIR}/winsim/include -DEXTRA_INCLUDES=${_extra_dirs}
              -DOUTPUT=${_src}
              -DDEPFILE=${_src}.d -P ${PW_EMBED_RESOURCES_SCRIPT}
      DEPENDS ${rcfile} ${_inputs} ${PW_EMBED_RESOURCES_SCRIPT}
      DEPFILE ${_src}.d
      WORKING_DIRECTORY ${rcdir}
      COMMENT "Compiling the resources of ${target}"
      VERBATIM)
    target_sources(${target} PRIVATE ${_src})
    target_link_libraries(${target} PRIVATE winsim)
  endif()
endfunction()
