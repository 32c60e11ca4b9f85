#!/usr/bin/env bash
# Checks the Debian package: builds it (scripts/package.sh), checks its
# control fields and that it holds exactly the expected files, unpacks it
# into a temporary root and runs the programs and manual pages from there.
# Exit status 0 only when every check passes.
#
#   scripts/check-package.sh [BUILD_DIR]   (default build-package)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-package}

fail() {
  echo "check-package: $*" >&2
  exit 1
}

scripts/package.sh "$dir" >/dev/null
debs=("$dir"/*.deb)
if [ ${#debs[@]} != 1 ] || [ ! -f "${debs[0]}" ]; then
  fail "expected one .deb in $dir, found: ${debs[*]}"
fi
deb=${debs[0]}
echo "check-package: $deb"

root=$(mktemp -d "${TMPDIR:-/tmp}/zvPackage.XXXXXX")
trap 'rm -rf "$root"' EXIT

# --- control fields -------------------------------------------------------------

field() { dpkg-deb -f "$deb" "$1"; }
version=$(field Version)
[ "$(field Package)" = zelvaneacsniffer ] || fail "package name '$(field Package)'"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture '$(field Architecture)'"
for name in Maintainer Section Description; do
  [ -n "$(field $name)" ] || fail "no $name field"
done
# Worked out by dpkg-shlibdeps from the programs themselves.
depends=$(field Depends)
for library in libc6 libstdc++6 libgcc-s1; do
  tr ',|' '\n' <<<"$depends" | sed 's/^ *//; s/[ (].*//' | grep -x -- "$library" >/dev/null ||
    fail "no $library in Depends: $depends"
done

# --- contents -------------------------------------------------------------------

plugins=./usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/wireshark/plugins
expected=(
  ./usr/bin/zelvanEacBusSim
  ./usr/bin/zelvanEacSniffer
  ./usr/share/doc/zelvaneacsniffer/README.md
  ./usr/share/doc/zelvaneacsniffer/copyright
  ./usr/share/doc/zelvaneacsniffer/records.schema.json
  "./usr/lib/systemd/system/zelvanEacSniffer@.service"
  ./usr/share/man/man1/zelvanEacBusSim.1.gz
  ./usr/share/man/man1/zelvanEacSniffer.1.gz
  "$plugins/zvEac.lua"
)
# Regular files only (not folders), as "mode path".
dpkg-deb -c "$deb" | awk '$1 ~ /^-/ { print $1, $6 }' | sort -k 2 >"$root/contents"
if ! diff <(printf '%s\n' "${expected[@]}" | sort) <(awk '{ print $2 }' "$root/contents") >"$root/diff"; then
  echo "check-package: contents differ (- expected, + in the package):" >&2
  grep '^[<>]' "$root/diff" | sed 's/^</-/; s/^>/+/' >&2
  exit 1
fi
awk '$2 ~ /^\.\/usr\/bin\// && $1 != "-rwxr-xr-x" { bad = 1; print "  " $0 } END { exit bad }' \
  "$root/contents" || fail "programs not installed as -rwxr-xr-x"

# --- unpacked programs ----------------------------------------------------------

unpacked=$root/unpacked
dpkg-deb -x "$deb" "$unpacked"
sniffer=$unpacked/usr/bin/zelvanEacSniffer
sim=$unpacked/usr/bin/zelvanEacBusSim
for program in "$sniffer" "$sim"; do
  if ldd "$program" | grep "not found" >/dev/null; then
    fail "$(basename "$program"): $(ldd "$program" | grep 'not found')"
  fi
done

# The version line must carry the package's version. A sniffer whose --help
# lists --version answers it with status 0; one without the long options
# shows its version with -v, status 1.
help=$("$sniffer" --help </dev/null 2>&1 || true)
if [[ $help == *--version* ]]; then
  output=$("$sniffer" --version </dev/null 2>&1) || fail "zelvanEacSniffer --version ended with status $?"
else
  output=$("$sniffer" -v </dev/null 2>&1 || true)
fi
grep -qF "$version" <<<"$output" || fail "no version line with $version in: $output"

output=$("$sim" --help </dev/null 2>&1) || fail "zelvanEacBusSim --help ended with status $?"
[[ $output == Usage:* ]] || fail "zelvanEacBusSim --help printed: $output"
"$sim" -o "$root/bus.bin" -c 20 -q --summary "$root/summary" </dev/null || fail "zelvanEacBusSim could not play into a file"
[ -s "$root/bus.bin" ] || fail "zelvanEacBusSim wrote nothing"

# --- manual pages ---------------------------------------------------------------

for page in "$unpacked"/usr/share/man/man1/*.1.gz; do
  name=$(basename "$page" .1.gz)
  # Every groff warning counts; the text must have its sections.
  if ! LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings=w -l -P cat "$page" >"$root/page" 2>"$root/warnings" ||
    [ -s "$root/warnings" ]; then
    fail "man -l $name.1: $(cat "$root/warnings")"
  fi
  sections=(NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" FILES EXAMPLES)
  [ "$name" != zelvanEacSniffer ] || sections+=("CONSOLE COMMANDS")
  for section in "${sections[@]}"; do
    grep -q "^$section\$" "$root/page" || fail "man -l $name.1: no $section section"
  done
done

# --- installed: tshark finds the dissector by itself ------------------------------

# Only where installing is possible and harmless: as root (CI), with tshark,
# and no other copy of the package installed that this would replace.
if [ "$(id -u)" = 0 ] && command -v tshark >/dev/null &&
  ! dpkg-query -W -f='${Status}' zelvaneacsniffer 2>/dev/null | grep -q 'install ok installed'; then
  dpkg -i "$deb" >"$root/dpkg.log" 2>&1 || fail "dpkg -i: $(cat "$root/dpkg.log")"
  trap 'dpkg -r zelvaneacsniffer >/dev/null 2>&1 || true; rm -rf "$root"' EXIT
  zelvanEacSniffer -r "$root/bus.bin" -b 19200 -w "$root/bus.pcap" >/dev/null || fail "no capture from the simulator's bytes"
  tshark -r "$root/bus.pcap" -Y "zveac.kind == 0" -T fields -e zveac.msgid >"$root/tshark" 2>"$root/tshark.err" ||
    fail "tshark -r: $(cat "$root/tshark.err")"
  [ -s "$root/tshark" ] || fail "tshark decoded no frame without -X: the dissector is not where Wireshark looks"
  # The unit as systemd reads it, for one line (an instance of the template).
  if command -v systemd-analyze >/dev/null; then
    mkdir -p "$root/units"
    cp "/usr/lib/systemd/system/zelvanEacSniffer@.service" "$root/units/zelvanEacSniffer@usb-line1.service"
    systemd-analyze verify "$root/units/zelvanEacSniffer@usb-line1.service" >"$root/verify" 2>&1 ||
      fail "systemd-analyze verify: $(cat "$root/verify")"
  fi
  dpkg -r zelvaneacsniffer >/dev/null 2>&1 || fail "dpkg -r"
  [ ! -e "/${plugins#./}/zvEac.lua" ] || fail "the dissector stayed after dpkg -r"
fi

echo "check-package: $(basename "$deb") ($version) passed: ${#expected[@]} files, Depends: $depends"
