#!/usr/bin/env bash
# Cross-builds the Windows program with mingw-w64 into build-windows/ (or the
# folder given as $1, with any further CMake options after it):
# build-windows/zelvanEacSniffer.exe, linked statically, and with
# ZV_PACKAGE=1 the .zip of the program and the README. Sets up the mingw-w64
# compiler and Wine first (scripts/setup.sh --windows).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --windows
dir=${1:-build-windows}
shift || true
cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DZV_WERROR=ON "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
if [ "${ZV_PACKAGE:-0}" = 1 ]; then
  (cd "$dir" && cpack >/dev/null && ls -1 "$PWD"/*.zip)
fi
