# SPDX-License-Identifier: MIT
# Cross-building the Windows console game from Linux with MinGW-w64:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# The programs are linked statically, so that they run without MinGW's DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZELVANE_MINGW_PREFIX x86_64-w64-mingw32)
# The POSIX thread model where Debian offers both: its C++ library has
# std::mutex, which GoogleTest needs (winpthreads goes in statically).
find_program(ZELVANE_MINGW_CXX NAMES ${ZELVANE_MINGW_PREFIX}-g++-posix ${ZELVANE_MINGW_PREFIX}-g++)
find_program(ZELVANE_MINGW_CC NAMES ${ZELVANE_MINGW_PREFIX}-gcc-posix ${ZELVANE_MINGW_PREFIX}-gcc)
set(CMAKE_C_COMPILER ${ZELVANE_MINGW_CC})
set(CMAKE_CXX_COMPILER ${ZELVANE_MINGW_CXX})
set(CMAKE_RC_COMPILER ${ZELVANE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZELVANE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run through wine.
find_program(ZELVANE_WINE NAMES wine)
if(ZELVANE_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${ZELVANE_WINE})
endif()
