#!/usr/bin/env bash
# The Windows build's tests: cross-builds with mingw-w64 into build-windows/
# with its .zip, runs the unit tests under Wine (CTest's cross-compiling
# emulator) and the end-to-end test tests/windows/e2e.sh, which compares the
# Windows program's log with the Linux program's for the same traffic (the
# Linux sniffer and the bus simulator are built into build/ for it).
set -euo pipefail
cd "$(dirname "$0")/.."
exec </dev/null

ZV_PACKAGE=1 scripts/build-windows.sh >/dev/null
listing=$(cmake -E tar tf build-windows/zelvanEacSniffer-*-win64.zip)
for member in zelvanEacSniffer.exe README.md; do
  grep -qx "$member" <<<"$listing" || { echo "the .zip holds no $member" >&2; exit 1; }
done
echo "windows: $(basename build-windows/zelvanEacSniffer-*-win64.zip) holds $(tr '\n' ' ' <<<"$listing")"

cmake -S . -B build >/dev/null
cmake --build build -j "$(nproc)" --target zelvanEacSniffer zelvanEacBusSim >/dev/null

# One Wine server for the whole stage: its first start in a fresh prefix is
# slow, every later one quick.
export WINEPREFIX=$PWD/build-windows/wineprefix WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
wineserver -p 600 >/dev/null 2>&1 || true  # one may run already
trap 'wineserver -k 2>/dev/null || true' EXIT
# Wine's own background programs start with the first Windows program and
# keep its standard output; started here, they keep /dev/null, not the pipe
# of a test whose end CTest waits to see.
wine wineboot >/dev/null 2>&1 </dev/null || true

ctest --test-dir build-windows --output-on-failure -j "$(nproc)"
tests/windows/e2e.sh build build-windows
