#!/usr/bin/env bash
# Soak test: the bus simulator plays a busy bus with line faults at
# 115200 bit/s into the sniffer for a long time, with the most expensive
# settings (verboseMessages 3, rawData 1, logToFile on). At the end the log
# is compared with the simulator's summary, per message id: every frame it
# sent intact must be decoded exactly once, and none that it damaged. The
# ONLINE and OFFLINE reports per device must match too. The sniffer's
# resident memory and CPU time are reported.
#
#   scripts/soak.sh [-t SECONDS] [-m] [-f FAULT_RATE] [-s SEED] [-n DEVICES] [-B BUILD_DIR] [-k]
#
#   -t SECONDS     how long the simulator plays (default 600)
#   -m             no pacing: frames back to back as fast as the sniffer
#                  takes them (default: the line's timing at 115200 bit/s)
#   -f FAULT_RATE  line faults per frame, 0 to 1 (default 0.05)
#   -s SEED        scenario seed (default 7)
#   -n DEVICES     devices on the bus (default 16)
#   -B BUILD_DIR   where the two programs are built (default build)
#   -k             keep the work folder (log, summary, comparison)
#
# Exit status 0 only when every count matches exactly.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=600
faults=0.05
seed=7
devices=16
build=build
keep=0
pacing=(-b 115200)
while getopts "t:mf:s:n:B:k" opt; do
  case $opt in
    t) seconds=$OPTARG ;;
    m) pacing=(--rate max) ;;
    f) faults=$OPTARG ;;
    s) seed=$OPTARG ;;
    n) devices=$OPTARG ;;
    B) build=$OPTARG ;;
    k) keep=1 ;;
    *) sed -n '2,21p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
  esac
done

work=$(mktemp -d "${TMPDIR:-/tmp}/zvSoak.XXXXXX")
sim_pid=
sniffer_pid=
cleanup() {
  exec 3>&- 2>/dev/null || true
  [ -z "$sniffer_pid" ] || kill "$sniffer_pid" 2>/dev/null || true
  [ -z "$sim_pid" ] || kill "$sim_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  if [ "$keep" = 1 ]; then
    echo "work folder kept: $work"
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT

log=$work/sniffer.log
summary=$work/summary

[ -f "$build/build.ninja" ] || [ -f "$build/Makefile" ] || cmake -S . -B "$build" -DZV_WERROR=ON >/dev/null
cmake --build "$build" -j 2 --target zelvanEacSniffer zelvanEacBusSim >"$work/build.log" 2>&1 ||
  { cat "$work/build.log" >&2; exit 1; }
sniffer=$build/zelvanEacSniffer
sim=$build/zelvanEacBusSim

# --- start --------------------------------------------------------------------

# The simulator waits for the sniffer to open the line, then gives it a few
# seconds to take its settings before the first frame; it keeps the line
# open after the play until the sniffer lets go, so the sniffer never sees a
# hang-up.
"$sim" --link "$work/bus" "${pacing[@]}" -n "$devices" -s "$seed" --faults "$faults" -t "$seconds" \
  --summary "$summary" --delay 5 --hold -q 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 100); do
  [ -e "$work/bus" ] && break
  sleep 0.1
done
[ -e "$work/bus" ] || { echo "soak: the simulator did not open its line" >&2; cat "$work/sim.err" >&2; exit 1; }

mkfifo "$work/console"
"$sniffer" "$work/bus" -b 115200 <"$work/console" >/dev/null 2>"$work/sniffer.err" &
sniffer_pid=$!
exec 3>"$work/console"
printf 'verboseMessages 3\nrawData 1\nlogToFile 1 %s\n' "$log" >&3
started=$(date +%s)
for _ in $(seq 40); do
  [ -e "$log" ] && break
  sleep 0.1
done
[ -e "$log" ] || { echo "soak: the sniffer did not take its settings in time" >&2; exit 1; }

# --- run ----------------------------------------------------------------------

rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$sniffer_pid/status"; }
# utime + stime, fields 14 and 15 of /proc/<pid>/stat; the name in field 2
# may hold blanks, so count from the closing parenthesis.
cpu_seconds() {
  local ticks
  ticks=$(sed 's/^.*) //' "/proc/$sniffer_pid/stat" | awk '{ print $12 + $13 }')
  awk -v t="$ticks" -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.1f", t / hz }'
}

sleep 10
rss_start=$(rss_kb)
rss_max=$rss_start
echo "soak: ${seconds}s, ${pacing[*]}, faults $faults, seed $seed, $devices devices; sniffer RSS ${rss_start} kB"
while kill -0 "$sim_pid" 2>/dev/null && ! grep -q '^total bytes' "$summary" 2>/dev/null; do
  sleep 5
  kill -0 "$sniffer_pid" 2>/dev/null || { echo "soak: the sniffer ended during the run" >&2; cat "$work/sniffer.err" >&2; exit 1; }
  rss=$(rss_kb)
  [ "$rss" -le "$rss_max" ] || rss_max=$rss
done
grep -q '^total bytes' "$summary" 2>/dev/null || { echo "soak: no summary from the simulator" >&2; cat "$work/sim.err" >&2; exit 1; }

# The sniffer works through what is still queued; the log stops growing.
size=-1
while [ "$size" != "$(stat -c %s "$log")" ]; do
  size=$(stat -c %s "$log")
  sleep 2
done
rss_end=$(rss_kb)
[ "$rss_end" -le "$rss_max" ] || rss_max=$rss_end
cpu=$(cpu_seconds)
elapsed=$(($(date +%s) - started))

printf 'quit\n' >&3
exec 3>&-
status=0
wait "$sniffer_pid" || status=$?
sniffer_pid=
[ "$status" = 0 ] || { echo "soak: the sniffer ended with status $status" >&2; cat "$work/sniffer.err" >&2; exit 1; }
wait "$sim_pid" || true
sim_pid=

# --- compare ------------------------------------------------------------------

# Decoded telegrams per message id: at the raw level every one ends with its
# dump "length = N, msg [ 0xID ...". Frames without data are not printed;
# they are counted from the raw line dump, where a delivered frame is the
# only thing that ends a line with "ETX  " (the part after the line's last
# STX is that frame, escapes shown as ESC and the value with bit 7 set).
awk '
  /length = [0-9]+, msg \[ 0x/ {
    match($0, /msg \[ 0x[0-9a-f][0-9a-f]/)
    decoded[substr($0, RSTART + 8, 2)]++
  }
  /ETX  $/ {
    frame = $0
    sub(/.*STX /, "", frame)
    # A timestamp inside means the receiver went idle on the way: no frame.
    if (frame ~ /\(/) next
    n = split(frame, tok, " ")
    count = 0
    escaped = 0
    for (i = 1; i <= n; i++) {
      if (tok[i] == "ETX") break
      if (tok[i] == "ESC") { escaped = 1; continue }
      count++
      if (count == 3 && (tok[i] == "00" || (escaped && tok[i] == "80"))) { empty++ }
      escaped = 0
    }
  }
  /##  device [0-9]+  (ONLINE|OFFLINE)/ {
    match($0, /device [0-9]+/)
    dev = substr($0, RSTART + 7, RLENGTH - 7)
    if ($0 ~ /ONLINE/) online[dev]++; else offline[dev]++
  }
  END {
    printf "frames empty %d\n", empty
    for (id in decoded) printf "frames 0x%s %d\n", id, decoded[id]
    for (dev in online) printf "online %s %d\n", dev, online[dev]
    for (dev in offline) printf "offline %s %d\n", dev, offline[dev]
  }' "$log" | sort >"$work/sniffer.counts"

awk '
  /^frames empty good/ { printf "frames empty %d\n", $4 }
  /^frames 0x/ { if ($4 > 0) printf "frames %s %d\n", $2, $4 }
  /^reports device/ {
    if ($5 > 0) printf "online %s %d\n", $3, $5
    if ($7 > 0) printf "offline %s %d\n", $3, $7
  }' "$summary" | sort >"$work/sim.counts"

good=$(awk '/^total good/ { print $3 }' "$summary")
faulty=$(awk '/^total faulty/ { print $3 }' "$summary")
bytes=$(awk '/^total bytes/ { print $3 }' "$summary")
ids=$(grep -c '^frames 0x' "$work/sim.counts" || true)

echo "soak: simulator sent $good intact and $faulty damaged frames ($bytes bytes, $ids message ids)"
echo "soak: $(grep -c . "$log") log lines, $(stat -c %s "$log") bytes"
echo "soak: sniffer RSS start ${rss_start} kB, end ${rss_end} kB, max ${rss_max} kB; CPU ${cpu} s in ${elapsed} s"
if diff -u "$work/sim.counts" "$work/sniffer.counts" >"$work/diff"; then
  echo "soak: PASS, every count matches (frames per message id, empty frames, reports per device)"
else
  echo "soak: FAIL, counts differ (- simulator, + sniffer):"
  grep '^[-+][^-+]' "$work/diff"
  keep=1
  exit 1
fi
