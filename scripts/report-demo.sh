#!/usr/bin/env bash
# The report of the demo bus: the simulator plays the demo's eight devices on
# a pseudo-terminal, at full speed and with some line faults, for SECONDS
# (default 60); the sniffer listens as on site, records the capture and
# writes the HTML report when the line closes. With Chromium installed, also
# a screenshot of the page.
#
#   scripts/report-demo.sh [SECONDS [OUTPUT_DIR]]
#
# Writes OUTPUT_DIR (default report-demo/): bus.pcap, report.html, report.png.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
out=${2:-report-demo}
scripts/setup.sh
cmake -S . -B build -DZV_WERROR=ON >/dev/null
cmake --build build -j "$(nproc)" --target zelvanEacSniffer zelvanEacBusSim >/dev/null
mkdir -p "$out"
out=$(cd "$out" && pwd)

tmp=$(mktemp -d "${TMPDIR:-/tmp}/zvReport.XXXXXX")
trap 'kill "${sim_pid:-}" 2>/dev/null || true; rm -rf "$tmp"' EXIT
build/zelvanEacBusSim --link "$tmp/bus" -b 19200 -t "$seconds" --faults 0.01 -q --summary "$tmp/summary" &
sim_pid=$!
for _ in $(seq 200); do
  [ -e "$tmp/bus" ] && break
  sleep 0.05
done
# The line closes when the play ends, and the sniffer ends with it (status 1:
# the port went away); the report is written on every way out.
build/zelvanEacSniffer "$tmp/bus" -b 19200 --verbosity 0 -w "$out/bus.pcap" --report "$out/report.html" \
  </dev/null >/dev/null 2>"$tmp/sniffer.err" || true
wait "$sim_pid" || true
[ -s "$out/report.html" ] || { cat "$tmp/sniffer.err" >&2; exit 1; }
echo "report: $out/report.html"
if command -v chromium >/dev/null; then
  chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --virtual-time-budget=10000 \
    --window-size=1280,2400 --screenshot="$out/report.png" "file://$out/report.html" 2>/dev/null
  echo "screenshot: $out/report.png"
fi
