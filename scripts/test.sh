#!/usr/bin/env bash
# The whole test command (CI runs it through .ci/run), in three stages:
#   1. every suite, built with AddressSanitizer and UndefinedBehaviorSanitizer (build/asan-ubsan,
#      clang); the same build holds the fuzz targets;
#   2. every program that runs threads of its own, under ThreadSanitizer (build/tsan): the
#      threaded suites, and the launcher, mcu-sim and skin-preview the end-to-end suites start;
#   3. every fuzz target of stage 1's build for a short time on its seed corpus, two at a time.
# Any failure, race report or fuzzer finding fails the command. The last lines give each stage's
# time and how many tests were skipped because the outside test data (../shared/testdata) is not
# beside the clone. docs/testing.md says more.
#
#   scripts/test.sh [--quick] [CTEST ARGUMENTS...]
#
# --quick runs stage 1 alone (the inner loop). Arguments go to stage 1's ctest (-L test_markup:
# one program). HU_SKIP_TSAN=1 / HU_SKIP_FUZZ=1 leave out stages 2 / 3; HU_FUZZ_SECONDS sets the
# time per fuzz target (default 10); HU_TEST_JOBS the tests run at once (default: twice the
# processors, since many tests wait on servers and children rather than compute).
set -euo pipefail
cd "$(dirname "$0")/.."
quick=0
if [ "${1:-}" = "--quick" ]; then
  quick=1
  shift
fi
scripts/install-deps.sh
cores=$(nproc)
test_jobs=${HU_TEST_JOBS:-$((cores * 2))}
summary=()
stage_start=$SECONDS
stage_done() {
  summary+=("$(printf '%-58s %4d s' "$1" $((SECONDS - stage_start)))")
  stage_start=$SECONDS
}
print_summary() {
  echo "== Summary"
  printf '%s\n' "${summary[@]}"
  printf '%-58s %4d s\n' "total" "$SECONDS"
  [ -n "${missing_data:-}" ] && echo "$missing_data"
  return 0
}

echo "== AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset asan-ubsan >/dev/null
cmake --build --preset asan-ubsan
stage_done "build, AddressSanitizer"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
results=build/asan-ubsan/test-results
rm -rf "$results"
status=0
ctest --test-dir build/asan-ubsan --output-on-failure -j "$test_jobs" "$@" || status=$?
stage_done "suites, AddressSanitizer (ctest -j $test_jobs)"
# Tests that skipped for want of the outside data say "missing test data" (tests/support/test_data.h);
# each program's shards leave GoogleTest's report in test-results/.
skipped=$(python3 -c '
import glob, sys, xml.etree.ElementTree as ET
n = 0
for f in glob.glob(sys.argv[1] + "/*.xml"):
    try: cases = ET.parse(f).getroot().iter("testcase")
    except Exception: continue
    n += sum(1 for c in cases if any("missing test data" in (s.get("message") or "") + "".join(s.itertext())
                                     for s in c.iter("skipped")))
print(n)' "$results")
if [ "$skipped" -gt 0 ]; then
  missing_data="$skipped tests skipped for missing test data (../shared/testdata is not beside the clone)"
else
  missing_data="no test skipped for missing test data"
fi
if [ "$status" -ne 0 ] || [ "$quick" = 1 ]; then
  print_summary
  exit "$status"
fi

if [ "${HU_SKIP_TSAN:-0}" != 1 ]; then
  echo "== ThreadSanitizer: every program that runs threads"
  # The suites whose code under test runs threads of its own (links, registry, notification,
  # process watchers, cross-thread messages, the skin folder watch, the animation player, the
  # scanner and storage monitor behind the screens, the launcher end to end with mcu-sim, the
  # skin preview's painter, the display threads on an X server and on sway). Only the picture
  # decoders, the play lists and the skin checker run on one thread. The power-cut test forks
  # mid-write, which this sanitizer does not follow well; it runs in stage 1.
  threaded=(test_links test_platform_base test_platform_core test_services test_window test_app test_watch
            test_skinlet test_screens test_markup test_e2e test_skinpreview test_xwin test_wayland)
  cmake --preset tsan >/dev/null
  cmake --build build/tsan -j "$cores" --target "${threaded[@]}"
  stage_done "build, ThreadSanitizer"
  export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
  pattern=$(printf '%s|' "${threaded[@]}")
  GTEST_FILTER='-PowerCutTest.*' ctest --test-dir build/tsan --output-on-failure -j "$test_jobs" \
    -L "^(${pattern%|})\$" || { stage_done "suites, ThreadSanitizer"; print_summary; exit 1; }
  stage_done "suites, ThreadSanitizer (ctest -j $test_jobs)"
fi

if [ "${HU_SKIP_FUZZ:-0}" != 1 ]; then
  echo "== Fuzz targets, ${HU_FUZZ_SECONDS:-10} s each on their seed corpora, $cores at a time"
  HU_FUZZ_BUILD=build/asan-ubsan HU_FUZZ_JOBS=$cores scripts/fuzz.sh "${HU_FUZZ_SECONDS:-10}" ||
    { stage_done "fuzz runs"; print_summary; exit 1; }
  stage_done "fuzz runs"
fi
print_summary
