# Shared part of the mingw-w64 cross builds: the -posix compilers (the win32
# thread model has no std::thread), static runtime so the executables import
# only KERNEL32 and msvcrt. The including file sets CMAKE_SYSTEM_PROCESSOR
# and VARNELLE_MINGW_TRIPLE first.
set(CMAKE_SYSTEM_NAME Windows)

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
