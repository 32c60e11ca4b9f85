#!/usr/bin/env bash
# Measures the sniffer side by side with generic serial readers (jpnevulator's
# hex dump, and cat as the floor) on the same pseudo-terminal streams:
# CPU while idle, CPU at 100 % load of a 115200 bit/s line, throughput when
# fed as fast as each reader takes the bytes, the sniffer's latency per frame,
# its memory, and the cost of its log file. Then the core benchmarks.
#
#   bench/run.sh [-q] [-r RUNS] [-i SECONDS] [-I SECONDS] [-l SECONDS]
#                [-m SECONDS] [-L SECONDS] [-o DIR] [-s STAGES] [-B] [-c SNIFFER]
#
#   -q          quick mode: one run each, a few seconds per measurement
#   -r RUNS     runs of every measurement; medians are reported (default 3)
#   -i SECONDS  idle time of the sniffer (default 60)
#   -I SECONDS  idle time of the reference readers (default 20)
#   -l SECONDS  time at 100 % line load (default 60)
#   -m SECONDS  time at full speed (default 10)
#   -L SECONDS  latency run, per pacing (default 30)
#   -o DIR      where results go (default build-bench/results/<date-time>)
#   -s STAGES   comma-separated subset of idle,load,max,latency,core
#               (default all)
#   -B          skip the build (use what is in build-bench/)
#   -c SNIFFER  also measure this sniffer program (for instance a build of
#               an earlier commit) as "base-sniffer" in the idle, load and
#               full-speed stages
#
# The release build goes to build-bench/. jpnevulator is installed from the
# distribution's packages when missing. Everything runs one measurement at a
# time; the machine should otherwise be quiet (the load average before each
# measurement is recorded with it). Exit status 0 when the sniffer decoded
# every frame in every run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

runs=3
idle_s=60
ref_idle_s=20
load_s=60
max_s=10
lat_s=30
out=""
stages="idle,load,max,latency,core"
build=1
quick=0
base=""
while getopts "qr:i:I:l:m:L:o:s:Bc:" opt; do
  case $opt in
    q) quick=1 ;;
    r) runs=$OPTARG ;;
    i) idle_s=$OPTARG ;;
    I) ref_idle_s=$OPTARG ;;
    l) load_s=$OPTARG ;;
    m) max_s=$OPTARG ;;
    L) lat_s=$OPTARG ;;
    o) out=$OPTARG ;;
    s) stages=$OPTARG ;;
    B) build=0 ;;
    c) base=$(realpath "$OPTARG") ;;
    *) sed -n '2,29p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
  esac
done
if [ "$quick" = 1 ]; then
  runs=1 idle_s=5 ref_idle_s=3 load_s=5 max_s=3 lat_s=5
fi
has_stage() { [[ ",$stages," == *",$1,"* ]]; }

bdir=$root/build-bench
out=${out:-$bdir/results/$(date +%Y%m%d-%H%M%S)}
mkdir -p "$out"
# Short paths: the sniffer's log file name is limited to 99 characters. The
# readers' standard output goes to memory (tmpfs) where there is one, so that
# a run at full speed measures the reader, not the disk; the log file goes to
# the disk, where an operator would keep it.
work=$(mktemp -d /tmp/zvbench.XXXXXX)
outdir=$work
[ -d /dev/shm ] && [ -w /dev/shm ] && outdir=$(mktemp -d /dev/shm/zvbench.XXXXXX)
trap 'rm -rf "$work" "$outdir"' EXIT

if [ "$build" = 1 ]; then
  echo "== building (release) in $bdir"
  cmake -S . -B "$bdir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZV_BENCH=ON -DZV_TESTS=OFF -DZV_WERROR=ON >/dev/null
  cmake --build "$bdir" -j 2 --target zvCoreBench zelvanEacSniffer zelvanEacBusSim >/dev/null
fi
bench=$bdir/zvCoreBench
sniffer=$bdir/zelvanEacSniffer
sim=$bdir/zelvanEacBusSim

if ! command -v jpnevulator >/dev/null; then
  echo "== installing jpnevulator"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq jpnevulator >/dev/null
fi

# The bus as the simulator plays it, recorded once: every reader gets the
# same bytes, looped when a run outlasts them.
stream=$out/stream.bin
if [ -x "$sim" ]; then
  "$sim" -o "$stream" -c 40000 -s 7 -n 8 -b 115200 --summary "$out/stream.summary" -q
else
  echo "(no simulator in $bdir: using the built-in stream)"
  "$bench" stream --write "$stream" --frames 40000
fi

{
  echo "date: $(date -Is)"
  echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(uname -sr)"
  echo "memory: $(free -m | awk '/Mem:/{print $2}') MB"
  echo "commit: $(git rev-parse --short HEAD 2>/dev/null || echo none)$(git diff --quiet 2>/dev/null || echo ' (with local changes)')"
  echo "stream: $("$bench" stream --info "$stream")"
  [ -z "$base" ] || echo "base-sniffer: $base"
  echo "jpnevulator: $(dpkg-query -W -f='${Version}' jpnevulator 2>/dev/null || echo '?')"
  echo "runs: $runs; idle ${idle_s}s (references ${ref_idle_s}s), load ${load_s}s, max ${max_s}s, latency ${lat_s}s"
} | tee "$out/machine.txt"

results=$out/results.txt
: >"$results"
status=0

load1() { cut -d' ' -f1 /proc/loadavg; }
headers() { grep -a -c -E ' ==> from|<==  to  ' "$1" || true; }

# measure SCENARIO READER RUN SECONDS FEEDARGS... -- COMMAND...
measure() {
  local scenario=$1 reader=$2 run=$3 seconds=$4
  shift 4
  local output=$outdir/$scenario-$reader-$run.out
  local before
  before=$(load1)
  local line
  line=$("$bench" feed --seconds "$seconds" --out "$output" --label "$reader" "$@" | head -n 1) || true
  local extra="scenario=$scenario run=$run load_before=$before"
  if [[ $reader == *sniffer* ]]; then
    local expected decoded
    expected=$(sed -n 's/.*frames_expected=\([0-9]*\).*/\1/p' <<<"$line")
    decoded=$(headers "$output")
    extra="$extra decoded=$decoded"
    if [ "$scenario" != idle ] && [ "$decoded" != "$expected" ]; then
      echo "   !! $reader decoded $decoded of $expected frames (output kept in $out)"
      cp "$output" "$out/mismatch-$scenario-$reader-$run.out"
      status=1
    fi
    if [[ $reader == *log* ]]; then
      extra="$extra log_decoded=$(headers "$work/log-$run.txt") log_bytes=$(stat -c %s "$work/log-$run.txt")"
      rm -f "$work/log-$run.txt"
    fi
  fi
  echo "$line $extra" >>"$results"
  echo "   $reader run $run: $(grep -o 'cpu_pct=[^ ]*' <<<"$line") $(grep -o 'throughput_Bps=[^ ]*' <<<"$line") $(grep -o 'wakeups_per_s=[^ ]*' <<<"$line") $(grep -o 'wakeups_per_chunk=[^ ]*' <<<"$line") ${extra#scenario=* }"
  rm -f "$output" "$output.stderr"
}

sniff=(-- "$sniffer" '{pty}' -b 115200)
based=(-- "$base" '{pty}' -b 115200)
jpn=(-- jpnevulator --read --timing-print --tty '{pty}')
cat_=(-- cat '{pty}')
quit=(--quit 'quit\n')

for run in $(seq 1 "$runs"); do
  if has_stage idle; then
    echo "== idle, run $run"
    measure idle sniffer "$run" "$idle_s" --idle "${quit[@]}" "${sniff[@]}"
    [ -z "$base" ] || measure idle base-sniffer "$run" "$idle_s" --idle "${quit[@]}" "${based[@]}"
    measure idle jpnevulator "$run" "$ref_idle_s" --idle "${jpn[@]}"
    measure idle cat "$run" "$ref_idle_s" --idle "${cat_[@]}"
  fi
  if has_stage load; then
    echo "== 100 % load at 115200 bit/s, run $run"
    measure load sniffer-v2 "$run" "$load_s" --stream "$stream" "${quit[@]}" "${sniff[@]}"
    [ -z "$base" ] || measure load base-sniffer-v2 "$run" "$load_s" --stream "$stream" "${quit[@]}" "${based[@]}"
    measure load jpnevulator "$run" "$load_s" --stream "$stream" "${jpn[@]}"
    measure load cat "$run" "$load_s" --stream "$stream" "${cat_[@]}"
    measure load sniffer-v2-log "$run" "$load_s" --stream "$stream" "${quit[@]}" \
      --command "logToFile 1 $work/log-$run.txt\n" "${sniff[@]}"
  fi
  if has_stage max; then
    echo "== as fast as it reads, run $run"
    measure max sniffer-v1 "$run" "$max_s" --stream "$stream" --rate max "${quit[@]}" \
      --command 'verboseMessages 1\n' "${sniff[@]}"
    measure max sniffer-v2 "$run" "$max_s" --stream "$stream" --rate max "${quit[@]}" "${sniff[@]}"
    if [ -n "$base" ]; then
      measure max base-sniffer-v1 "$run" "$max_s" --stream "$stream" --rate max "${quit[@]}" \
        --command 'verboseMessages 1\n' "${based[@]}"
      measure max base-sniffer-v2 "$run" "$max_s" --stream "$stream" --rate max "${quit[@]}" "${based[@]}"
    fi
    measure max jpnevulator "$run" "$max_s" --stream "$stream" --rate max "${jpn[@]}"
    measure max cat "$run" "$max_s" --stream "$stream" --rate max "${cat_[@]}"
  fi
done

if has_stage latency; then
  echo "== latency at 115200 bit/s (ETX written -> text on stdout)"
  for pacing in back-to-back isolated; do
    gap=0
    [ "$pacing" = isolated ] && gap=10
    before=$(load1)
    line=$("$bench" latency --stream "$stream" --seconds "$lat_s" --gap-ms "$gap" --label "$pacing" "${quit[@]}" \
      "${sniff[@]}") || status=1
    echo "$line scenario=latency load_before=$before" >>"$results"
    echo "   $line"
  done
fi

# ---- medians ---------------------------------------------------------------

summary=$out/summary.md
awk '
  function val(key,   i, kv) {
    for (i = 1; i <= NF; i++) { split($i, kv, "="); if (kv[1] == key) return kv[2] }
    return ""
  }
  function median(list,   n, a, i, j, t) {
    n = split(list, a, " ")
    for (i = 2; i <= n; i++) { t = a[i]; for (j = i - 1; j >= 1 && a[j] + 0 > t + 0; j--) a[j + 1] = a[j]; a[j + 1] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
  }
  val("scenario") != "latency" {
    k = val("scenario") SUBSEP val("label")
    if (!(k in seen)) { seen[k] = 1; order[++nk] = k }
    cpu[k] = cpu[k] " " val("cpu_pct"); wk[k] = wk[k] " " val("wakeups_per_s"); wpc[k] = wpc[k] " " val("wakeups_per_chunk")
    tp[k] = tp[k] " " val("throughput_Bps"); lb[k] = lb[k] " " val("load_before")
    if (val("decoded") != "") {
      dec[k] += val("decoded"); exp_[k] += val("frames_expected")
    }
    rss[k] = val("rss_start_kb") "/" val("rss_end_kb"); hwm[k] = (val("hwm_kb") > hwm[k] ? val("hwm_kb") : hwm[k])
    if (val("log_decoded") != "") logd[k] += val("log_decoded")
  }
  val("scenario") == "latency" { lat[val("label")] = $0 }
  END {
    print "| scenario | reader | CPU % of a core | wake-ups/s | wake-ups/chunk | throughput | frames decoded | RSS start/end (peak) kB | load avg before |"
    print "|---|---|---|---|---|---|---|---|---|"
    for (i = 1; i <= nk; i++) {
      k = order[i]; split(k, p, SUBSEP)
      t = median(tp[k]); ts = (p[1] == "max") ? sprintf("%.2f MB/s", t / 1e6) : (p[1] == "idle" ? "-" : sprintf("%.0f B/s", t))
      d = (p[2] ~ /sniffer/ && p[1] != "idle") ? dec[k] "/" exp_[k] : "-"
      if (k in logd) d = d " (log " logd[k] ")"
      c = (p[1] == "idle") ? "-" : sprintf("%.2f", median(wpc[k]))
      printf "| %s | %s | %.2f | %.0f | %s | %s | %s | %s (%s) | %s |\n", p[1], p[2], median(cpu[k]), median(wk[k]), c, ts, d, rss[k], hwm[k], median(lb[k])
      mc[k] = median(cpu[k]); mt[k] = t
    }
    print ""
    r = "load" SUBSEP "sniffer-v2"; j = "load" SUBSEP "jpnevulator"; l = "load" SUBSEP "sniffer-v2-log"
    if ((r in mc) && (j in mc) && mc[j] > 0) printf "- CPU at 100 %% load, sniffer (v2) / jpnevulator: %.2f\n", mc[r] / mc[j]
    if ((l in mc) && (r in mc)) printf "- log file at 100 %% load: %.2f %% with it, %.2f %% without (+%.2f points)\n", mc[l], mc[r], mc[l] - mc[r]
    m1 = "max" SUBSEP "sniffer-v1"; m2 = "max" SUBSEP "sniffer-v2"; mj = "max" SUBSEP "jpnevulator"
    if ((m1 in mt) && (mj in mt) && mt[mj] > 0) printf "- full speed, sniffer (v1) / jpnevulator throughput: %.2f\n", mt[m1] / mt[mj]
    if (m2 in mt) printf "- full speed, sniffer (v2): %.2f MB/s = %.0f x the line rate\n", mt[m2] / 1e6, mt[m2] / 10472.7
    for (x in lat) print "- latency " x ": " lat[x]
  }
' "$results" | tee "$summary"

if has_stage core; then
  echo "== core benchmarks"
  min_time=1
  [ "$quick" = 1 ] && min_time=0.1
  "$bench" --stream="$stream" --benchmark_min_time="$min_time" | tee "$out/core.txt"
fi
echo "results in $out"
exit $status
