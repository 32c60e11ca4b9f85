#!/usr/bin/env bash
# Plays the same simulated bus (line faults included) into two sniffer
# programs in turn, at verbosity 3 with the raw byte dump on, and compares
# what they print with the timestamps masked. For restructurings that must
# not change a printed byte.
#
#   scripts/compareSniffers.sh OLD_SNIFFER NEW_SNIFFER [SIMULATOR] [-- SIMULATOR OPTIONS]
#
# The simulator defaults to build/zelvanEacBusSim and its options to
# "-b 115200 -c 3000 -s 7 -n 12 --faults 0.05". Exit status 0 when the two
# outputs are identical; the outputs stay in the folder it names.
set -euo pipefail
if [ $# -lt 2 ]; then
  sed -n '2,11p' "$0" >&2
  exit 2
fi
old=$1
new=$2
shift 2
sim=build/zelvanEacBusSim
if [ $# -gt 0 ] && [ "$1" != "--" ]; then
  sim=$1
  shift
fi
[ $# -gt 0 ] && [ "$1" = "--" ] && shift
sim_options=("$@")
[ ${#sim_options[@]} -eq 0 ] && sim_options=(-b 115200 -c 3000 -s 7 -n 12 --faults 0.05)
baud=115200
for ((i = 0; i < ${#sim_options[@]} - 1; i++)); do
  case ${sim_options[i]} in -b | --baud) baud=${sim_options[i + 1]} ;; esac
done

out=$(mktemp -d "${TMPDIR:-/tmp}/zvCompare.XXXXXX")
echo "outputs in $out"

# One play: the simulator waits for the sniffer, starts a second after it
# opened the line and holds the line until the sniffer has quit.
play() {
  local sniffer=$1 name=$2
  local link="$out/$name.bus" summary="$out/$name.summary" commands="$out/$name.commands"
  "$sim" --link "$link" --hold --delay 1 --wait-reader 30 -q --summary "$summary" "${sim_options[@]}" &
  local sim_pid=$!
  for _ in $(seq 200); do
    [ -e "$link" ] && break
    sleep 0.05
  done
  mkfifo "$commands"
  # Under one name: the version line shows it.
  (exec -a zelvanEacSniffer "$sniffer" "$link" -b "$baud" <"$commands" >"$out/$name.out" 2>&1) &
  local sniffer_pid=$!
  exec 3>"$commands"
  printf 'verboseMessages 3\nrawData 1\n' >&3
  for _ in $(seq 1200); do
    [ -e "$summary" ] && break
    sleep 0.1
  done
  # Let the sniffer print what it still holds; its output stops growing.
  local size=-1
  while [ "$size" != "$(stat -c %s "$out/$name.out")" ]; do
    size=$(stat -c %s "$out/$name.out")
    sleep 1
  done
  printf 'quit\n' >&3
  exec 3>&-
  wait "$sniffer_pid" || echo "$name sniffer ended with status $?"
  wait "$sim_pid" || echo "$name simulator ended with status $?"
  sed -E 's/\([0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}\)/(TIMESTAMP)/g' \
    "$out/$name.out" >"$out/$name.masked"
}

play "$old" old
play "$new" new
cmp -s "$out/old.summary" "$out/new.summary" || echo "the two plays differ: compare the summaries"
echo "old: $(wc -l <"$out/old.masked") lines, $(wc -c <"$out/old.masked") bytes"
echo "new: $(wc -l <"$out/new.masked") lines, $(wc -c <"$out/new.masked") bytes"
if cmp -s "$out/old.masked" "$out/new.masked"; then
  echo "identical"
else
  diff "$out/old.masked" "$out/new.masked" | head -40
  exit 1
fi
