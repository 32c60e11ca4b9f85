#!/usr/bin/env bash
# Runs clang-tidy (the checks in .clang-tidy) over the program's sources in
# src/ and tools/, as the build folder given as $1 (default build-clang)
# compiles them. Non-zero exit status on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
dir=${1:-build-clang}
db="$dir/compile_commands.json"
if [ ! -f "$db" ]; then
  echo "tidy.sh: no $db; configure that build folder first (scripts/build.sh $dir)" >&2
  exit 2
fi
mapfile -t files < <(sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$db" |
  grep -E "^$root/(src|tools)/" | sort -u)
if [ ${#files[@]} -eq 0 ]; then
  echo "tidy.sh: no sources of src/ or tools/ in $db" >&2
  exit 2
fi
echo "clang-tidy over ${#files[@]} files"
# One file per run keeps both cores busy to the end; the counts of warnings
# suppressed in system headers are only noise.
printf '%s\n' "${files[@]}" |
  xargs -P "$(nproc)" -n 1 clang-tidy-14 -p "$dir" --quiet 2> >(grep -v ' warnings\{0,1\} generated\.$' >&2)
