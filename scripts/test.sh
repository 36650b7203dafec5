#!/usr/bin/env bash
# Installs what is missing, builds Tessaro with its tests and runs them. Further CMake options
# can be given in TESSARO_CMAKE_ARGS (CI turns warnings into errors with -DTESSARO_WERROR=ON).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# shellcheck disable=SC2086
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo ${TESSARO_CMAKE_ARGS:-}
cmake --build build -j"$(nproc)"
# A run that finds no test fails; the tests skipped are listed with their reasons.
status=0
ctest --test-dir build --no-tests=error --output-on-failure -j"$(nproc)" || status=$?
scripts/ctest-skipped.sh build
exit "$status"
