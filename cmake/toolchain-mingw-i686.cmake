# SPDX-License-Identifier: MIT
# Cross build for the host's own target: 32-bit Windows (PE32, i386), with
# the POSIX-threads flavour of mingw-w64 so that the C++ runtime's threading
# pieces link statically as well.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The top CMakeLists.txt points CMAKE_CROSSCOMPILING_EMULATOR at
# scripts/wine-run.sh, so CTest runs the test programs under Wine.
