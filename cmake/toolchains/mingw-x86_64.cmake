# 64-bit Windows (x86_64) with MinGW-w64 from Debian
# (g++-mingw-w64-x86-64-posix).  Programs run under wine64 through
# scripts/wine64-run.sh, which CMake and CTest use as the emulator.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(INSTKIT_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../../scripts/wine64-run.sh)
