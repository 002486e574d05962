# Settings shared by the product's targets in every build.
if(WIN32)
  set(PW_WIN_DEFINES WINVER=0x0400 _WIN32_WINNT=0x0400 WIN32_LEAN_AND_MEAN)
  set(PW_WIN_LINK -static -static-libgcc -static-libstdc++)
else()
  set(PW_WIN_DEFINES)
  set(PW_WIN_LINK)
endif()
