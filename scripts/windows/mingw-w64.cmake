# Cross-compiling for 64-bit Windows with Debian's mingw-w64 compilers. The posix-thread
# variants, because the win32-thread ones have no std::thread or std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QD7310_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QD7310_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QD7310_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QD7310_MINGW_TRIPLE}-windres)

# Look for libraries and headers in the target's trees (and the cross-built Qt, which the
# caller adds to CMAKE_PREFIX_PATH), but run programs from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${QD7310_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
