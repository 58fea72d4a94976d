#!/usr/bin/env bash
# Runs every fuzz target built in build/fuzz for SECONDS each (default 20) on its seed corpus
# (fuzz/corpus/<target>/, read only: new inputs go to a scratch folder), one after the other.
# Every target runs even when an earlier one found something; the command fails when any did,
# and the input that found it is left in build/fuzz/findings/.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
# A long run of one target: scripts/fuzz.sh 3600 markup
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
shift || true
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for src in fuzz/*.cpp; do names+=("$(basename "$src" .cpp)"); done
fi
mkdir -p build/fuzz/findings
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
for name in "${names[@]}"; do
  binary=build/fuzz/fuzz/fuzz_$name
  if [ ! -x "$binary" ]; then
    echo "fuzz: $binary is not built" >&2
    status=1
    continue
  fi
  mkdir -p "$scratch/$name"
  corpora=("$scratch/$name")
  [ -d "fuzz/corpus/$name" ] && corpora+=("fuzz/corpus/$name")
  dict=()
  [ -f "fuzz/$name.dict" ] && dict=(-dict="fuzz/$name.dict")
  echo "-- $name"
  if ! "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="build/fuzz/findings/$name-" "${dict[@]}" "${corpora[@]}" 2>"$scratch/$name.log"; then
    tail -n 60 "$scratch/$name.log" >&2
    echo "fuzz: $name found a fault (input in build/fuzz/findings/)" >&2
    status=1
    continue
  fi
  grep -E '^stat::number_of_executed_units|^Done ' "$scratch/$name.log" || true
done
exit $status
