# SPDX-License-Identifier: GPL-3.0-or-later
# CMake toolchain file: Windows x64 programs built on Debian with the MinGW-w64 cross compiler
# (g++-mingw-w64-x86-64-posix, the POSIX thread model that std::thread needs).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ONDO_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ONDO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ONDO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ONDO_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${ONDO_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${ONDO_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${ONDO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
