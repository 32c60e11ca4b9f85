#!/usr/bin/env bash
# Builds the Debian package: a Release build of the two programs with
# warnings as errors, their manual pages, and `cpack -G DEB`, in
# build-package/ (or the folder given as $1). Prints the package's path.
# Install it with `sudo dpkg -i build-package/zelvaneacsniffer_*.deb`.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-package}
scripts/setup.sh
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DZV_WERROR=ON -DZV_TESTS=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)"
# A package left from an earlier version would be taken for this one.
rm -f "$dir"/*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$dir"/*.deb
