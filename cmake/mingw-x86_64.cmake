# Cross build for Windows x86_64 with mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VARNELLE_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# The tests run under wine64 (never /usr/bin/wine, which picks wine32).
if(NOT CMAKE_CROSSCOMPILING_EMULATOR AND EXISTS /usr/lib/wine/wine64)
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
endif()
