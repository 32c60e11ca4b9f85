#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, where missing.
# With --windows also the mingw-w64 cross compiler, Wine and the GoogleTest
# sources, for the Windows build (scripts/build-windows.sh).
set -euo pipefail
packages=(cmake g++ make libgtest-dev libgmock-dev clang-format-14 clang-14 clang-tidy-14 libclang-rt-14-dev socat
  dpkg-dev man-db groff-base libpcap-dev tshark nlohmann-json3-dev python3-jsonschema jq libncurses-dev tmux chromium)
windows_packages=()
for arg in "$@"; do
  case $arg in
    --windows) windows_packages=(g++-mingw-w64-x86-64-posix wine wine64 googletest) ;;
    *) echo "usage: $0 [--windows]" >&2; exit 2 ;;
  esac
done
missing_of() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}
mapfile -t missing < <(missing_of "${packages[@]}")
mapfile -t missing_windows < <(missing_of "${windows_packages[@]}")
if [ ${#missing[@]} -gt 0 ] || [ ${#missing_windows[@]} -gt 0 ]; then
  echo "installing: ${missing[*]} ${missing_windows[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  # tshark asks whether non-root users may capture; the tests only read files.
  echo "wireshark-common wireshark-common/install-setuid boolean false" | "${sudo_cmd[@]}" debconf-set-selections
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi
if [ ${#missing_windows[@]} -gt 0 ]; then
  # Wine's recommendations (fonts, desktop integration) are not needed for
  # console programs.
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing_windows[@]}"
fi
