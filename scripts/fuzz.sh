#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehavior-
# Sanitizer) into build-fuzz/ and runs each for a while, two at a time at
# most, starting from the seed corpus in fuzz/corpus/<target>/.
#
#   scripts/fuzz.sh [-t SECONDS | -n EXECUTIONS] [-j JOBS] [-k] [-s] [TARGET...]
#
#   -t SECONDS  time per target (default 600)
#   -n EXECUTIONS  the long mode, for a nightly machine: each target runs
#               until it has executed this many inputs, then what it found
#               that reaches new code joins fuzz/corpus/<target>/ (-merge=1),
#               so that the next sitting resumes from it
#   -j JOBS     targets run at once (default 2)
#   -k          keep what the run found: add new inputs to fuzz/corpus/<target>/
#               (default: the corpus is copied to a temp folder and left as is)
#   -s          write the seed files again first (fuzz/makeCorpus)
#   TARGET      byteStreamFuzz, telegramFuzz, credentialFuzz, shellFuzz,
#               filterFuzz, captureFuzz, commandLineFuzz, outputGuardFuzz, recordFuzz,
#               reportFuzz, savefileFuzz
#               (default: all)
#
# A crash leaves its input in build-fuzz/findings/<target>/; after fixing the
# cause, copy it into fuzz/corpus/<target>/ as regress-<what>, so it is
# replayed by every later run. Each target's line gives its executions,
# executions per second and coverage (edges, features). Exit status 0 when
# no target found anything.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=600
executions=0
jobs=2
keep=0
seeds=0
while getopts "t:n:j:ks" opt; do
  case $opt in
    t) seconds=$OPTARG ;;
    n) executions=$OPTARG ;;
    j) jobs=$OPTARG ;;
    k) keep=1 ;;
    s) seeds=1 ;;
    *) sed -n '2,27p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
all=(byteStreamFuzz telegramFuzz credentialFuzz shellFuzz filterFuzz captureFuzz commandLineFuzz outputGuardFuzz recordFuzz
  reportFuzz savefileFuzz)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all[@]}")

build=build-fuzz
CXX=clang++-14 cmake -S . -B "$build" -DZV_FUZZ=ON -DZV_TESTS=OFF -DZV_WERROR=ON >/dev/null
cmake --build "$build" -j 2 --target makeCorpus "${targets[@]}"
[ "$seeds" = 0 ] || "$build/makeCorpus" fuzz/corpus

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Inputs longer than a target can use are cut by the target itself; these
# limits keep the fuzzer from spending its time on them.
max_len() {
  case $1 in
    telegramFuzz) echo 255 ;;
    recordFuzz) echo 256 ;;
    reportFuzz) echo 2048 ;;
    shellFuzz) echo 1024 ;;
    filterFuzz) echo 320 ;;
    commandLineFuzz) echo 512 ;;
    outputGuardFuzz) echo 128 ;;
    *) echo 4096 ;;
  esac
}

run_one() {
  local target=$1
  local corpus=fuzz/corpus/$target
  local findings=$build/findings/$target
  local out=$work/$target
  mkdir -p "$out" "$findings" "$corpus"
  # The fuzzer writes what it finds new into its first corpus folder; the
  # seeds are copied so that the checked-in corpus stays as it is.
  local dirs=("$out")
  if [ "$keep" = 1 ] && [ "$executions" = 0 ]; then
    dirs=("$corpus")
  else
    cp -r "$corpus/." "$out/"
  fi
  local limit=(-max_total_time="$seconds")
  [ "$executions" = 0 ] || limit=(-runs="$executions")
  # -rss_limit_mb: the sanitizers' own memory use included; a leak that
  # grows past it is a finding.
  local started=$SECONDS
  if "$build/$target" "${limit[@]}" -max_len="$(max_len "$target")" -timeout=10 \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/" "${dirs[@]}" \
      >"$work/$target.log" 2>&1; then
    local count elapsed coverage
    count=$(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$work/$target.log" | grep -o '[0-9]*$')
    elapsed=$((SECONDS - started))
    coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$work/$target.log" | tail -n 1)
    echo "$target: $count executions in ${elapsed}s ($((count / (elapsed > 0 ? elapsed : 1)))/s), $coverage, no finding"
    if [ "$executions" != 0 ]; then
      # Of what the run found, what reaches code the kept corpus does not
      # joins it; seeds and regress-* inputs stay as they are.
      "$build/$target" -merge=1 -max_len="$(max_len "$target")" "$corpus" "$out" >/dev/null 2>&1
    fi
  else
    echo "$target: FINDING (input in $findings/), last lines of the log:"
    tail -n 40 "$work/$target.log" | sed 's/^/    /'
    cp "$work/$target.log" "$findings/last-run.log"
    return 1
  fi
}

status=0
running=0
for target in "${targets[@]}"; do
  run_one "$target" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || status=1
    running=$((running - 1))
  fi
done
while [ "$running" -gt 0 ]; do
  wait -n || status=1
  running=$((running - 1))
done
exit $status
