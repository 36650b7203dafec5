# Cross build for 64-bit Windows with Debian's MinGW-w64 (POSIX thread model). Programs are
# linked statically so that they run on a bare Windows without the MinGW runtime DLLs, and
# tests run under Wine through CTest.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TESSARO_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TESSARO_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TESSARO_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TESSARO_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TESSARO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libstdc++, libgcc and winpthread go into every program.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine, quietly, in a prefix of the build's own (see
# scripts/test-windows.sh, which creates it once).
find_program(TESSARO_WINE NAMES wine wine64)
if(TESSARO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      /usr/bin/env WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDEBUG=-all ${TESSARO_WINE})
endif()
