# Cross build for Windows x86_64 with mingw-w64: the -posix compilers (the win32
# thread model has no std::thread), static runtime so the executables import
# only KERNEL32 and msvcrt.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VARNELLE_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${VARNELLE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VARNELLE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VARNELLE_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VARNELLE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# -O2 as in the native build: GCC 12's -O3 reports spurious
# -Wnull-dereference hits inside std::vector code.
# (A cache entry: CMake appends its own -O3 to the _INIT flags.)
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags of Release builds")
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags of Release builds")

# The tests run under wine64 (never /usr/bin/wine, which picks wine32).
if(NOT CMAKE_CROSSCOMPILING_EMULATOR AND EXISTS /usr/lib/wine/wine64)
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
endif()
