#!/usr/bin/env bash
# Runs every fuzz target built in HU_FUZZ_BUILD (default build/fuzz) for SECONDS each (default
# 20) on its seed corpus (fuzz/corpus/<target>/, read only: new inputs go to a scratch folder),
# HU_FUZZ_JOBS at a time (default: one per processor). Every target runs even when an earlier one
# found something; the command fails when any did, and the input that found it is left in
# <build>/findings/.
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
jobs=${HU_FUZZ_JOBS:-$(nproc)}
build=${HU_FUZZ_BUILD:-build/fuzz}
mkdir -p "$build/findings"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# One target; its report goes to $scratch/<name>.out, its status to $scratch/<name>.status.
run_one() {
  local name=$1 binary=$build/fuzz/fuzz_$1 out=$scratch/$1.out
  if [ ! -x "$binary" ]; then
    echo "fuzz: $binary is not built" >"$out"
    echo 1 >"$scratch/$name.status"
    return
  fi
  mkdir -p "$scratch/$name"
  local corpora=("$scratch/$name") dict=()
  [ -d "fuzz/corpus/$name" ] && corpora+=("fuzz/corpus/$name")
  [ -f "fuzz/$name.dict" ] && dict=(-dict="fuzz/$name.dict")
  if "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$build/findings/$name-" "${dict[@]}" "${corpora[@]}" 2>"$scratch/$name.log"; then
    grep -E '^stat::number_of_executed_units|^Done ' "$scratch/$name.log" >"$out" || true
    echo 0 >"$scratch/$name.status"
  else
    { tail -n 60 "$scratch/$name.log"; echo "fuzz: $name found a fault (input in $build/findings/)"; } >"$out"
    echo 1 >"$scratch/$name.status"
  fi
}

# Reports in the order the targets were named, each as soon as it and those before it are done.
status=0
reported=0
report_ready() {
  while [ $reported -lt ${#names[@]} ] && [ -f "$scratch/${names[$reported]}.status" ]; do
    local name=${names[$reported]}
    echo "-- $name"
    if [ "$(cat "$scratch/$name.status")" = 0 ]; then cat "$scratch/$name.out"; else cat "$scratch/$name.out" >&2; status=1; fi
    reported=$((reported + 1))
  done
}
for name in "${names[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do
    wait -n || true
    report_ready
  done
  run_one "$name" &
done
wait
report_ready
exit $status
