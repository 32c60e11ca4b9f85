#!/usr/bin/env bash
# End to end under Wine. The bus simulator plays into a pseudo-terminal that
# Wine knows as a COM port (a link in $WINEPREFIX/dosdevices), and the Windows
# build of the sniffer decodes it into a log file; the Linux build decodes the
# same bytes from a pseudo-terminal of its own. The two logs must be the same,
# timestamps masked, and so must their JSON records. The Windows program
# records the line too (-w, and `capture 1 FILE` from its console): the Linux
# build decodes those captures to the Windows log's text, and the Windows
# build decodes them (-r) to the Linux build's text. `quit` and Ctrl-C end the
# Windows program with status 0, and a port that goes away ends it with its
# message and status 1. Also: `-v` prints the version line with status 1, and
# both builds write the same HTML report of the same capture. `devices` and
# `devices wide` print the same tables on both systems, and the live view
# (`top`) runs in a Wine console inside tmux: it shows every device's last
# lock and door state, q returns to the console and quit ends with status 0.
#
#   tests/windows/e2e.sh [LINUX_BUILD_DIR [WINDOWS_BUILD_DIR]]
#
# Defaults: build and build-windows. Exit status 0 when every check passes.
set -euo pipefail
cd "$(dirname "$0")/../.."

linux=${1:-build}
windows=${2:-build-windows}
sniffer=$linux/zelvanEacSniffer
sim=$linux/zelvanEacBusSim
exe=$windows/zelvanEacSniffer.exe
for program in "$sniffer" "$sim" "$exe"; do
  [ -f "$program" ] || { echo "e2e: $program is missing (build it first)" >&2; exit 1; }
done

# The traffic: the same seed plays the same bytes on both systems. A few
# frames per second: the log file is opened and closed for every report, which
# under Wine costs some milliseconds each, and a sniffer that falls far behind
# the line takes the rest of a frame too late and rightly drops it as timed
# out (on Linux as on Windows). At the highest rate a frame is on the line for
# the shortest time, so a reader that a busy machine keeps waiting is the least
# likely to be kept waiting in the middle of one.
frames=120
rate=115200
play=(-b "$rate" --fps 8 -n 12 -s 7 -c "$frames" -q)
settings=("verboseMessages 3" "rawData 1")

export WINEPREFIX
WINEPREFIX=$(cd "$windows" && pwd)/wineprefix
export WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="

work=$(mktemp -d "${TMPDIR:-/tmp}/zvWinE2e.XXXXXX")
pids=()
cleanup() {
  for fd in 3 4; do eval "exec $fd>&-" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -f "${link:-}"
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# On a failure the work folder (logs, outputs, summaries) is kept in
# $windows/e2e-failed for a look.
fail() {
  echo "e2e: FAIL: $*" >&2
  for f in "$work"/*.err; do
    [ -s "$f" ] && { echo "--- $f" >&2; tail -n 20 "$f" >&2; }
  done
  rm -rf "$windows/e2e-failed"
  cp -r "$work" "$windows/e2e-failed" 2>/dev/null || true
  exit 1
}

# Waits up to $2 seconds for process $1 to end; its status in $ended_status.
wait_for_end() {
  local pid=$1 limit=$2
  for _ in $(seq $((limit * 10))); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$pid" 2>/dev/null && return 1
  ended_status=0
  wait "$pid" || ended_status=$?
}

# --- Wine ----------------------------------------------------------------------

# The Linux sniffer raises its threads' priority where the system lets it;
# under Wine the Windows one cannot, so its process and the Wine server get
# the same where permitted. On a busy machine a thread kept waiting for the
# processor in the middle of a frame would make the frame time out.
boost=()
nice -n -10 true 2>/dev/null && boost=(nice -n -10)

# The first start in a fresh prefix sets it up (slow, once) and links the
# machine's serial ports as COM1, COM2, ...; a server that stays up keeps
# that from running again under the link made below.
wineserver -k 2>/dev/null || true
"${boost[@]}" wineserver -p 600 >/dev/null 2>&1
# Wine's own background programs start with the first Windows program and
# keep its standard output; started here, they keep /dev/null, not a pipe
# that a reader waits to see closed.
wine wineboot >/dev/null 2>&1 </dev/null || true
version=$(wine "$exe" -v 2>"$work/version.err") && fail "-v ended with status 0"
status=$?
[ "$status" = 1 ] || fail "-v ended with status $status, not 1"
grep -Eq '^> .*zelvanEacSniffer\.exe Version: [0-9]+\.[0-9]+\.[0-9]{5}' <<<"$version" ||
  fail "-v printed: $version"
echo "e2e: -v prints the version line, status 1"

# A COM port number that Wine has not given to a real port.
port=
for n in $(seq 20 99); do
  if [ ! -e "$WINEPREFIX/dosdevices/com$n" ] && [ ! -L "$WINEPREFIX/dosdevices/com$n" ]; then
    port=$n
    break
  fi
done
[ -n "$port" ] || fail "no free COM port number in $WINEPREFIX/dosdevices"
link=$WINEPREFIX/dosdevices/com$port

# --- one session --------------------------------------------------------------------

# start_simulator NAME LINE OPTIONS...: the simulator plays into a new
# pseudo-terminal linked as LINE; returns once the link is there, with the
# simulator's process in $simPid.
start_simulator() {
  local name=$1 simLine=$2
  shift 2
  rm -f "$simLine"
  "$sim" --link "$simLine" "$@" --summary "$work/$name.summary" 2>"$work/$name-sim.err" &
  simPid=$!
  pids+=("$simPid")
  for _ in $(seq 100); do
    [ -L "$simLine" ] && break
    sleep 0.05
  done
  [ -L "$simLine" ] || fail "$name: the simulator did not open its line"
}

# run_session NAME LOG END COMMAND...: the simulator on $line, the sniffer
# (COMMAND) with its console on a FIFO; the settings and logToFile LOG are
# typed at once. END says how the session ends once the play is over and the
# log has stopped growing: `quit` typed, `interrupt` (SIGINT, which Wine
# passes on as Ctrl-C), or `hangup`: the simulator closes the line. The
# sniffer's status ends up in $ended_status.
run_session() {
  local name=$1 log=$2 end=$3
  shift 3
  local holdOption=(--hold)
  [ "$end" = hangup ] && holdOption=()
  start_simulator "$name" "$line" "${play[@]}" --delay 3 "${holdOption[@]}"

  mkfifo "$work/$name.console"
  "$@" <"$work/$name.console" >"$work/$name.out" 2>"$work/$name.err" &
  local snifferPid=$!
  pids+=("$snifferPid")
  exec 3>"$work/$name.console"
  for setting in "${settings[@]}"; do
    printf '%s\n' "$setting" >&3
  done
  printf 'logToFile 1 %s\n' "$log" >&3
  printf 'json 1 %s\n' "${log%.log}.json" >&3
  for command in "${console_extra[@]}"; do
    printf '%s\n' "$command" >&3
  done

  for _ in $(seq 600); do
    grep -q '^total bytes' "$work/$name.summary" 2>/dev/null && break
    kill -0 "$snifferPid" 2>/dev/null || break
    sleep 0.1
  done
  if [ "$end" != hangup ]; then
    grep -q '^total bytes' "$work/$name.summary" 2>/dev/null || fail "$name: the play did not end"
    # Every frame with data ends its report with the dump line; then the log
    # has to stay as it is for a second.
    local file=${log#Z:}
    local empty
    empty=$(awk '/^frames empty good/ { print $4 }' "$work/$name.summary")
    local good
    good=$(awk '/^total good/ { print $3 }' "$work/$name.summary")
    for _ in $(seq 1200); do
      [ "$(grep -c 'length = ' "$file" 2>/dev/null || true)" -ge $((good - empty)) ] && break
      sleep 0.1
    done
    local size=-1
    while [ -f "$file" ] && [ "$size" != "$(stat -c %s "$file")" ]; do
      size=$(stat -c %s "$file")
      sleep 1
    done
    for command in "${console_after[@]}"; do
      printf '%s\n' "$command" >&3
    done
    if [ "$end" = quit ]; then
      printf 'quit\n' >&3
    else
      kill -INT "$snifferPid"
    fi
  fi
  wait_for_end "$snifferPid" 30 || fail "$name: the sniffer did not end"
  local snifferStatus=$ended_status
  exec 3>&-
  wait_for_end "$simPid" 30 || fail "$name: the simulator did not end"
  ended_status=$snifferStatus
}

console_extra=()
console_after=()

mask() {
  sed -E 's/\([0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}\)/(TIMESTAMP)/g' "$1"
}

# --- the same traffic on both systems -------------------------------------------------

started=$(date +%s)
console_after=("devices" "devices wide")
line=$work/linux-line
run_session linux "$work/linux.log" quit "$sniffer" "$line" -b "$rate"
[ "$ended_status" = 0 ] || fail "linux: quit ended with status $ended_status"

line=$link
run_session windows "Z:$work/windows.log" quit "${boost[@]}" wine "$exe" "COM$port" -b "$rate" -w "Z:$work/windows.pcap"
console_after=()
[ "$ended_status" = 0 ] || fail "windows: quit ended with status $ended_status, not 0"
grep -q -- '-- Stopping --' "$work/windows.out" || fail "windows: no reply to quit"
echo "e2e: quit ends the Windows program with status 0"

# The tables that `devices` and `devices wide` print, clock times masked.
device_tables() {
  tr -d '\r' <"$1" | awk '/^addr kind/ { p = 1; print; next } p && /^ *[0-9]+ / { print; next } { p = 0 }' |
    sed -E 's/[0-9]{2}:[0-9]{2}:[0-9]{2}/HH:MM:SS/g'
}
device_tables "$work/linux.out" >"$work/linux.devices"
device_tables "$work/windows.out" >"$work/windows.devices"
[ "$(grep -c '^addr kind' "$work/linux.devices")" = 2 ] && [ "$(wc -l <"$work/linux.devices")" = 26 ] ||
  fail "devices: the Linux build printed $(wc -l <"$work/linux.devices") lines of tables, not two of 12 devices"
if ! diff -u "$work/linux.devices" "$work/windows.devices" >"$work/devices.diff"; then
  head -n 40 "$work/devices.diff" >&2
  fail "the Windows program's devices tables differ from the Linux program's"
fi
echo "e2e: devices and devices wide print the same tables on Windows as on Linux"

[ -s "$work/linux.log" ] || fail "the Linux log is empty"
# Every frame with data is a telegram with its dump line.
empty=$(awk '/^frames empty good/ { print $4 }' "$work/linux.summary")
decoded=$(grep -c 'length = ' "$work/linux.log" || true)
[ "$decoded" = $((frames - empty)) ] || fail "the Linux log holds $decoded telegrams, not $((frames - empty))"
if ! diff -u <(mask "$work/linux.log") <(mask "$work/windows.log") >"$work/log.diff"; then
  head -n 40 "$work/log.diff" >&2
  fail "the Windows log differs from the Linux log"
fi
echo "e2e: the same traffic gives the same log on Linux and Windows ($(wc -l <"$work/linux.log") lines, $decoded telegrams)"
mask_json() { sed -E 's/"time":"[^"]*","local":"[^"]*"/"time":"T","local":"L"/' "$1"; }
[ "$(grep -c '"kind":"telegram"' "$work/linux.json" || true)" = "$decoded" ] ||
  fail "the Linux JSON records hold $(grep -c '"kind":"telegram"' "$work/linux.json" || true) telegrams, not $decoded"
if ! diff -u <(mask_json "$work/linux.json") <(mask_json "$work/windows.json") >"$work/json.diff"; then
  head -n 20 "$work/json.diff" >&2
  fail "the Windows JSON records differ from the Linux ones"
fi
echo "e2e: and the same JSON records ($(wc -l <"$work/linux.json") lines)"

# --- the Windows program's captures ---------------------------------------------------

# replays_as NAME: the Linux build decodes $work/NAME.pcap, which the Windows
# build recorded, to the Windows log's text; and the Windows build decodes it
# to the Linux build's text, byte for byte (the same time zone).
replays_as() {
  local name=$1
  "$sniffer" -r "$work/$name.pcap" --verbosity 3 --raw >"$work/$name-replay.out" 2>"$work/$name-replay.err" ||
    fail "$name: the Linux build could not decode the Windows capture"
  if ! diff -u <(mask "$work/$name.log") <(mask "$work/$name-replay.out") >"$work/$name-replay.diff"; then
    head -n 40 "$work/$name-replay.diff" >&2
    fail "$name: the Windows capture decodes to other text than the Windows log"
  fi
  # Its standard output ends the lines with CR LF, as Windows consoles do.
  wine "$exe" -r "Z:$work/$name.pcap" --verbosity 3 --raw 2>"$work/$name-winreplay.err" </dev/null |
    sed 's/\r$//' >"$work/$name-winreplay.out" || fail "$name: the Windows build could not decode its capture"
  cmp -s "$work/$name-replay.out" "$work/$name-winreplay.out" ||
    fail "$name: the Windows build decodes its capture to other text than the Linux build"
  # Standard input carries the bytes as they are, CR LF and Ctrl-Z included.
  wine "$exe" -r - --verbosity 3 --raw <"$work/$name.pcap" 2>"$work/$name-winstdin.err" |
    sed 's/\r$//' >"$work/$name-winstdin.out" || fail "$name: the Windows build could not decode its capture from -"
  cmp -s "$work/$name-replay.out" "$work/$name-winstdin.out" ||
    fail "$name: the Windows build decodes its capture from standard input to other text"
}
replays_as windows
echo "e2e: the Windows capture (-w) decodes on Linux to the Windows log, and on Windows (-r) to the same text ($(grep -c 'length = ' "$work/windows-replay.out") telegrams)"

# --- Ctrl-C, and a port that goes away ------------------------------------------------

play=(-b 115200 -n 4 -s 3 -c 20 -q)
console_extra=("capture 1 Z:$work/interrupted.pcap")
run_session interrupted "Z:$work/interrupted.log" interrupt "${boost[@]}" wine "$exe" "COM$port" -b 115200
console_extra=()
[ "$ended_status" = 0 ] || fail "interrupted: Ctrl-C ended the sniffer with status $ended_status, not 0"
echo "e2e: Ctrl-C ends the Windows program in order with status 0"
replays_as interrupted
echo "e2e: and the capture started from its console (capture 1) holds what its log holds"

run_session gone "Z:$work/gone.log" hangup "${boost[@]}" wine "$exe" "COM$port" -b 115200
[ "$ended_status" = 1 ] || fail "gone: the sniffer ended with status $ended_status, not 1"
grep -q "^cannot read COM$port: " "$work/gone.err" || fail "gone: no message naming COM$port"
echo "e2e: a port that goes away ends the program with status 1: $(head -n 1 "$work/gone.err")"

# --- the live view (top) in a Wine console --------------------------------------------

# The Windows program needs a console for top: Wine makes one of the terminal
# that tmux gives it, and tmux records what reaches that terminal. Wine's
# console (8.0) takes the view's virtual-terminal sequences as text: they reach
# the terminal as they are, so the alternate screen and the attributes work,
# but they count as columns in Wine's buffer, which breaks the rows at other
# places than a Windows console does. So the layout on a console window is not
# checked here (winScreenTest checks the frames the view writes), only what
# shows through: the column titles, each device's row with its last lock and
# door state, q back to the console and quit.
if [ -x /usr/bin/tmux ]; then
  tmux=(tmux -L "zvWinE2e$$")
  start_simulator top "$link" -b 115200 -n 6 -s 3 -c 300 --fps 100 --delay 1 --hold -q
  topSim=$simPid
  "${tmux[@]}" new-session -d -s top -x 120 -y 30 \
    "env WINEPREFIX='$WINEPREFIX' WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES='mscoree,mshtml=' \
     ${boost[*]} wine '$exe' COM$port -b 115200; echo EXIT=\$?; sleep 60"
  trap '"${tmux[@]}" kill-server 2>/dev/null || true; cleanup' EXIT
  "${tmux[@]}" pipe-pane -t top -o "cat >>'$work/top.vt'"
  # shows TEXT: the pane shows TEXT within 30 s.
  shows() {
    for _ in $(seq 300); do
      "${tmux[@]}" capture-pane -p -t top | grep -qF -- "$1" && return 0
      sleep 0.1
    done
    return 1
  }
  # The text of the view's last frame: sequences, and the line breaks of
  # Wine's and of the view, taken out; a frame starts with the figures.
  last_frame() {
    local text
    text=$(sed -E 's/\x1b\[[0-9;?]*[A-Za-z]//g' "$work/top.vt" | tr -d '\r\n')
    printf '%s' "${text##*frames/s  drops last minute}"
  }
  # wrote TEXT: TEXT reached the terminal within 30 s.
  wrote() {
    for _ in $(seq 300); do
      grep -qF -- "$1" "$work/top.vt" 2>/dev/null && return 0
      sleep 0.1
    done
    return 1
  }
  wrote 'application initialized' || fail "top: the program did not start: $("${tmux[@]}" capture-pane -p -t top)"
  "${tmux[@]}" send-keys -t top -l top
  "${tmux[@]}" send-keys -t top Enter
  shows 'q quit' || fail "top: no live view: $("${tmux[@]}" capture-pane -p -t top)"
  for _ in $(seq 600); do
    [ -f "$work/top.summary" ] && break
    sleep 0.1
  done
  [ -f "$work/top.summary" ] || fail "top: the play did not end"
  # "state 1 lock LOCK_STATE_UNLOCKED" -> UNLOCKED in device 1's row; a state
  # never sent shows as "-".
  rows=()
  for device in $(awk '$1 == "state" && $3 == "online" { print $2 }' "$work/top.summary"); do
    cell() { awk -v d="$device" -v w="$1" '$1 == "state" && $2 == d && $3 == w { sub(/.*STATE_/, "", $4); v = $4 } END { print v == "" ? "-" : v }' "$work/top.summary"; }
    rows+=("$(printf '%4u [^ ]+ +[a-zA-Z]+ +[-0-9:]+ +%-9s %-9s ' "$device" "$(cell lock)" "$(cell door)")")
  done
  [ "${#rows[@]}" = 6 ] || fail "top: the summary holds ${#rows[@]} devices, not 6"
  for _ in $(seq 50); do
    frame=$(last_frame)
    missing=
    for row in "addr kind     state   since    lock      door      " "${rows[@]}"; do
      grep -qE -- "$row" <<<"$frame" || missing=$row
    done
    [ -z "$missing" ] && break
    sleep 0.1
  done
  [ -z "$missing" ] || fail "top: the view's last frame shows no '$missing': $frame"
  grep -qF $'\x1b[?1049h' "$work/top.vt" || fail "top: the view did not take the alternate screen"
  "${tmux[@]}" send-keys -t top -l q
  wrote $'\x1b[?1049l' || fail "top: q did not give the screen back"
  "${tmux[@]}" send-keys -t top -l devices
  "${tmux[@]}" send-keys -t top Enter
  shows 'addr kind' || fail "top: the console does not answer after q: $("${tmux[@]}" capture-pane -p -t top)"
  "${tmux[@]}" send-keys -t top -l quit
  "${tmux[@]}" send-keys -t top Enter
  shows 'EXIT=' || fail "top: quit did not end the program: $("${tmux[@]}" capture-pane -p -t top)"
  shows 'EXIT=0' || fail "top: quit ended the program with $("${tmux[@]}" capture-pane -p -t top | grep -o 'EXIT=[0-9]*')"
  wait_for_end "$topSim" 30 || fail "top: the simulator did not end"
  "${tmux[@]}" kill-server 2>/dev/null || true
  echo "e2e: top in a Wine console shows every device's last lock and door state, q returns to the console, quit ends with status 0"
else
  echo "e2e: top not tried: no tmux to give Wine a terminal"
fi

# --- the HTML report of a capture --------------------------------------------------------

# Both builds report on the same faulty bytes, read under the same name; the
# pages may differ in the version line only.
"$sim" -o "$work/report.raw" -b 19200 -n 6 -s 11 -c 3000 --faults 0.02 -q --summary "$work/report.summary"
(cd "$work" && "$OLDPWD/$sniffer" -r report.raw --verbosity 0 --report linux.html >/dev/null) ||
  fail "report: the Linux build failed"
(cd "$work" && wine "$OLDPWD/$exe" -r report.raw --verbosity 0 --report windows.html >/dev/null 2>"$work/report.err") ||
  fail "report: the Windows build failed"
if ! diff <(grep -v '<p class="version">' "$work/linux.html") <(grep -v '<p class="version">' "$work/windows.html") \
  >"$work/report.diff"; then
  head -c 2000 "$work/report.diff" >&2
  fail "the Windows report differs from the Linux one"
fi
echo "e2e: the Windows build writes the same report as the Linux one ($(wc -c <"$work/linux.html") bytes)"

echo "e2e: PASS in $(($(date +%s) - started)) s"
