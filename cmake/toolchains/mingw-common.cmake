# Shared part of the MinGW-w64 cross toolchains.  The including file sets
# INSTKIT_MINGW_TRIPLE (i686-w64-mingw32 or x86_64-w64-mingw32) and
# CMAKE_SYSTEM_PROCESSOR first.
#
# The "-posix" compilers are used: their C++ runtime has std::thread and
# std::mutex, which GoogleTest and the library need; the "-win32" variants
# do not build GoogleTest.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${INSTKIT_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${INSTKIT_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${INSTKIT_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${INSTKIT_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${INSTKIT_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${INSTKIT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config must not hand out the build machine's Linux libraries.
set(ENV{PKG_CONFIG_LIBDIR} /usr/${INSTKIT_MINGW_TRIPLE}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# The C++ runtime (libstdc++, libgcc, winpthread) is linked as DLLs so that an
# exception thrown in one module can be caught in another: with a static
# libgcc every DLL has its own unwinder state and a 32-bit build fails to
# catch across the library boundary.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-shared-libgcc")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-shared-libgcc")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-shared-libgcc")
