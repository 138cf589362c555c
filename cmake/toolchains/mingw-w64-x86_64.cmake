# SPDX-License-Identifier: MIT
# Cross-builds lintara.exe for 64-bit Windows on Debian, with mingw-w64, and
# runs what the build makes (tests, test discovery) under Wine.
#
# Debian's "-posix" compilers use the winpthreads thread model, which
# std::thread, std::mutex and std::condition_variable need; the "-win32" ones
# lack them. The runtime is linked in statically, so that lintara.exe and the
# test programs need no DLL beside them on a bare Windows (or in a fresh Wine
# prefix).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(LINTARA_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${LINTARA_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LINTARA_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${LINTARA_MINGW_TRIPLET}-windres)

# Libraries and headers come from the mingw-w64 sysroot only; programs (the
# build's own tools) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${LINTARA_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static takes libstdc++, libgcc and winpthreads from their archives, which
# -static-libstdc++ alone does not do for winpthreads.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Windows 8 and later: GetSystemTimePreciseAsFileTime and the thread pool API.
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=0x0602 -DWINVER=0x0602 -DUNICODE -D_UNICODE")
set(CMAKE_C_FLAGS_INIT "${CMAKE_CXX_FLAGS_INIT}")

# Wine runs the Windows programs that the build and ctest start, through
# wine-run.sh beside this file. Its own messages are silenced, and it keeps
# its prefix (the C: drive and registry it makes on first start) inside the
# build folder, so that a build never reads or changes the user's ~/.wine and
# a clean build starts from a clean prefix.
find_program(LINTARA_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
set(LINTARA_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH
  "The Wine prefix in which the build's Windows programs run")
if(LINTARA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
    /usr/bin/env WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= WINEPREFIX=${LINTARA_WINEPREFIX}
    /bin/sh ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${LINTARA_WINE})
endif()
