# Settings shared by the product's targets in every build.
if(WIN32)
  set(PW_WIN_DEFINES WINVER=0x0400 _WIN32_WINNT=0x0400 WIN32_LEAN_AND_MEAN)
  set(PW_WIN_LINK -static -static-libgcc -static-libstdc++)
else()
  set(PW_WIN_DEFINES)
  set(PW_WIN_LINK)
endif()

if(WIN32)
  # The .def file a Windows module links with, in *out. 32-bit Windows names a standard-call
  # symbol with its argument bytes ("DLL_SetStr@8"); 64-bit Windows has one calling convention
  # and plain symbols, so there each export resolves to the plain symbol of the same function.
  function(pw_link_def def out)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
      file(READ ${def} _text)
      string(REGEX REPLACE "=([A-Za-z_][A-Za-z_0-9]*)@[0-9]+" "=\\1" _text "${_text}")
      get_filename_component(_name ${def} NAME)
      set(_linked ${CMAKE_CURRENT_BINARY_DIR}/plain-symbols/${_name})
      file(WRITE ${_linked} "${_text}")
      set(${out} ${_linked} PARENT_SCOPE)
    else()
      set(${out} ${def} PARENT_SCOPE)
    endif()
  endfunction()
  # The check of a 32-bit deliverable for Windows 95 and NT 4.0; the 64-bit twins run on Wine
  # only, where it has nothing to check.
  # A change to the list of imports links the checked modules again, so the check runs again.
  set(PW_WINDOWS_IMPORTS ${CMAKE_SOURCE_DIR}/cmake/windows-imports.txt)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(PW_CHECK_OLD_WINDOWS ${CMAKE_COMMAND} -E env OBJDUMP=${CMAKE_OBJDUMP}
        ${CMAKE_SOURCE_DIR}/cmake/check-pe.sh ${PW_WINDOWS_IMPORTS})
  else()
    set(PW_CHECK_OLD_WINDOWS ${CMAKE_COMMAND} -E true)
  endif()
  # The export check, with the target's own objdump.
  set(PW_CHECK_EXPORTS ${CMAKE_COMMAND} -E env OBJDUMP=${CMAKE_OBJDUMP}
      ${CMAKE_SOURCE_DIR}/cmake/check-exports.sh)
endif()
