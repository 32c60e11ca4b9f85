#!/usr/bin/env bash
# The sniffer at work without hardware: sets up, builds, starts the bus
# simulator on a pseudo-terminal (a master polling eight devices, at a pace a
# person can read) and runs the sniffer on it. Type `quit` in the sniffer to
# end; the simulator goes with it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
# Only the two programs: the demo need not wait for the test suite to build.
cmake -S . -B build -DZV_WERROR=ON >/dev/null
cmake --build build -j "$(nproc)" --target zelvanEacSniffer zelvanEacBusSim

tmp=$(mktemp -d "${TMPDIR:-/tmp}/zvDemo.XXXXXX")
sim_pid=
stop_simulator() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$tmp"
}
trap stop_simulator EXIT

link="$tmp/bus"
build/zelvanEacBusSim --link "$link" -b 19200 --fps 4 --summary "$tmp/summary" >"$tmp/simulator.log" 2>&1 &
sim_pid=$!
for _ in $(seq 200); do
  [ -e "$link" ] && break
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.05
done
if [ ! -e "$link" ]; then
  echo "the bus simulator did not start:" >&2
  cat "$tmp/simulator.log" >&2
  exit 1
fi

cat <<TEXT

 Simulated bus on $link (19200 bit/s, a few frames per second).
 Try: verboseMessages 3, rawData 1, logToFile 1 bus.log, help. Type quit to end.

TEXT
build/zelvanEacSniffer "$link" -b 19200
