#!/bin/sh
# Builds Tessaro for Windows with MinGW-w64 and runs its tests under Wine.
#   scripts/test-windows.sh [ctest arguments...]
# The build goes to build-win (the CMake preset "windows"); the Wine prefix lives in
# build-win/wineprefix and is created on the first run.
set -eu
cd "$(dirname "$0")/.."

missing=""
command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || missing="$missing g++-mingw-w64-x86-64-posix"
command -v wine64 >/dev/null 2>&1 || [ -x /usr/lib/wine/wine64 ] || missing="$missing wine64"
command -v wine >/dev/null 2>&1 || missing="$missing wine"
# GoogleTest is built from Debian's packaged sources for the Windows target.
[ -f /usr/src/googletest/CMakeLists.txt ] || missing="$missing googletest"
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  apt-get update -qq
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing
fi

cmake --preset windows
cmake --build --preset windows

export WINEPREFIX="$PWD/build-win/wineprefix"
export WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix in $WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
fi

# A run that finds no test fails; the tests skipped are listed with their reasons.
status=0
ctest --test-dir build-win --no-tests=error --output-on-failure -j2 "$@" || status=$?
scripts/ctest-skipped.sh build-win
exit "$status"
