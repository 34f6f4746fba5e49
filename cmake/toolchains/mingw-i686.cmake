# 32-bit Windows (i686) with MinGW-w64 from Debian
# (g++-mingw-w64-i686-posix).  32-bit code cannot execute on the build
# machines, so no emulator is set: this build is checked by building it and
# reading its export tables.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(INSTKIT_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
