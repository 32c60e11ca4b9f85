#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, where missing.
# With --windows also the mingw-w64 cross compiler, Wine and the GoogleTest
# sources, for the Windows build (scripts/build-windows.sh).
set -euo pipefail
packages=(cmake g++ make libgtest-dev libgmock-dev clang-format-14 clang-14 libclang-rt-14-dev socat)
apt_options=()
for arg in "$@"; do
  case $arg in
    # Wine's recommendations (fonts, desktop integration) are not needed
    # for console programs.
    --windows)
      packages+=(g++-mingw-w64-x86-64-posix wine wine64 googletest)
      apt_options=(--no-install-recommends)
      ;;
    *) echo "usage: $0 [--windows]" >&2; exit 2 ;;
  esac
done
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${apt_options[@]}" "${missing[@]}"
fi
