#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite. With ZV_SANITIZE=1 it does
# the same in the AddressSanitizer + UndefinedBehaviorSanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
if [ "${ZV_SANITIZE:-0}" = 1 ]; then
  scripts/build.sh build-asan -DZV_SANITIZE=ON
  ctest --test-dir build-asan --output-on-failure -j "$(nproc)"
else
  scripts/build.sh build
  ctest --test-dir build --output-on-failure -j "$(nproc)"
fi
