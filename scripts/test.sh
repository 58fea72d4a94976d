#!/usr/bin/env bash
# The whole test command (CI runs it through .ci/run):
#   1. every suite, built with AddressSanitizer and UndefinedBehaviorSanitizer;
#   2. the threaded suites again under ThreadSanitizer (build/tsan, only those programs);
#   3. every fuzz target for a short time on its seed corpus (build/fuzz, clang).
# Any failure, race report or fuzzer finding fails the command.
# Arguments go to the first ctest run. HU_SKIP_TSAN=1 / HU_SKIP_FUZZ=1 leave out steps 2 / 3;
# HU_FUZZ_SECONDS sets the time per fuzz target (default 20).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

echo "== AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset asan-ubsan >/dev/null
cmake --build --preset asan-ubsan
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir build/asan-ubsan --output-on-failure -j "$jobs" "$@"

if [ "${HU_SKIP_TSAN:-0}" != 1 ]; then
  echo "== ThreadSanitizer: the suites that run threads"
  # The suites whose code under test runs threads of its own (links, registry, notification,
  # process watchers, cross-thread messages, the skin folder watch). The power-cut test forks,
  # which this sanitizer does not follow well; it runs in step 1.
  threaded=(test_links test_platform_base test_platform_core test_services test_window test_app test_watch)
  cmake --preset tsan >/dev/null
  cmake --build build/tsan -j "$jobs" --target "${threaded[@]}"
  export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
  for t in "${threaded[@]}"; do
    echo "-- $t"
    (cd build/tsan/tests && "./$t" --gtest_brief=1 --gtest_filter='-PowerCutTest.*')
  done
fi

if [ "${HU_SKIP_FUZZ:-0}" != 1 ]; then
  echo "== Fuzz targets, ${HU_FUZZ_SECONDS:-20} s each on their seed corpora"
  CC=clang-14 CXX=clang++-14 cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DHU_BUILD_FUZZ=ON -DHU_BUILD_TESTS=OFF >/dev/null
  targets=()
  for src in fuzz/*.cpp; do targets+=("fuzz_$(basename "$src" .cpp)"); done
  cmake --build build/fuzz -j "$jobs" --target "${targets[@]}"
  scripts/fuzz.sh "${HU_FUZZ_SECONDS:-20}"
fi
