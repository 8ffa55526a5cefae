# Cross build for Windows i686 with mingw-w64 (the shipped 32-bit program; it
# cannot run on this kernel, so there is no test runner).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VARNELLE_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
