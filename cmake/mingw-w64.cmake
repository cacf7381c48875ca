# Toolchain file for building the Windows program on Debian with MinGW-w64 (g++-mingw-w64-x86-64-posix).
# STINTKEEPER_WINDOWS_PREFIX names where SDL and SDL_net for Windows were installed; libraries and headers are
# looked for there and in the compiler's own tree only, never among the build machine's.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(STINTKEEPER_MINGW x86_64-w64-mingw32)
# The posix flavour, the one scripts/test.sh compiles the sources with.
set(CMAKE_C_COMPILER ${STINTKEEPER_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${STINTKEEPER_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${STINTKEEPER_MINGW}-windres)

set(STINTKEEPER_WINDOWS_PREFIX "$ENV{STINTKEEPER_WINDOWS_PREFIX}" CACHE PATH
    "Where SDL 1.2 and SDL_net 1.2 for Windows are installed (include/SDL, lib)")
set(CMAKE_FIND_ROOT_PATH /usr/${STINTKEEPER_MINGW} ${STINTKEEPER_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
