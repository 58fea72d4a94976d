#!/usr/bin/env bash
# Cross build for an ARM unit, its tests under emulation and its Debian package:
#
#   scripts/cross.sh arm64|armhf [ctest arguments...]
#
# Builds the launcher, the engine, the tools and the test programs with Debian's cross compiler
# and the target's multiarch development packages in build/cross-<arch>/ (Release), runs the test
# suite under qemu's user emulation (called directly, no binfmt registration), makes the Debian
# package (build/cross-<arch>/headunit-shell_<version>_<arch>.deb) and, where ../shared/testdata
# is beside the clone, decodes its receiver logs, pictures and XML with the target's build and
# with a desktop build and compares the two (input-digest, docs/testing.md).
#
# Settings: HU_CROSS_JOBS (build jobs, default 2), HU_TEST_JOBS (tests at once, default 4),
# HU_CROSS_SKIP_TESTS=1, HU_CROSS_SKIP_PACKAGE=1, HU_CROSS_SKIP_COMPARE=1.
# Arguments after the architecture go to ctest (-R Markup: only the tests whose names hold Markup).
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
arch="${1:-}"
case "$arch" in
  arm64) triplet=aarch64-linux-gnu; qemu=qemu-aarch64-static ;;
  armhf) triplet=arm-linux-gnueabihf; qemu=qemu-arm-static ;;
  *) echo "usage: scripts/cross.sh arm64|armhf [ctest arguments...]" >&2; exit 2 ;;
esac
shift
jobs="${HU_CROSS_JOBS:-2}"
test_jobs="${HU_TEST_JOBS:-4}"
build="$src/build/cross-$arch"
host_build="$src/build/cross-host"
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo

# --- what it needs -------------------------------------------------------------------------
# The desktop's packages first: the tests use its fonts, X server, gpsd and tools as they are.
"$src/scripts/install-deps.sh"
host_pkgs=(g++-$triplet qemu-user-static dpkg-dev file ccache)
# The target's development packages: what the platform, the engine and the tests link.
target_pkgs=()
for p in libgtest-dev libgmock-dev libpugixml-dev libsdl2-dev libfreetype-dev libfontconfig-dev libstb-dev \
         libjpeg-dev libpng-dev libxcb1-dev libxcb-ewmh-dev libx11-dev libgps-dev libwayland-dev \
         libxkbcommon-dev libjson-c-dev; do
  target_pkgs+=("$p:$arch")
done
if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
  echo "adding the $arch architecture to dpkg"
  $SUDO dpkg --add-architecture "$arch"
  $SUDO apt-get update -qq
fi
"$src/scripts/install-deps.sh" --only "${host_pkgs[@]}" "${target_pkgs[@]}"

launcher_flags=()
if command -v ccache >/dev/null; then
  launcher_flags=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
stage_times=()
timed() {  # NAME COMMAND...: runs the command, keeps its time for the summary
  local name="$1" start=$SECONDS
  shift
  "$@"
  stage_times+=("$name: $((SECONDS - start)) s")
}

# --- build ---------------------------------------------------------------------------------
configure() {
  cmake -S "$src" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$src/cmake/toolchain-$arch.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DHU_BUILD_TESTS=ON "${launcher_flags[@]}" >/dev/null
}
timed configure configure
timed build nice -n 10 cmake --build "$build" -j "$jobs"

# --- tests under emulation -----------------------------------------------------------------
test_status=0
if [ "${HU_CROSS_SKIP_TESTS:-0}" != 1 ]; then
  run_tests() {
    rm -rf "$build/test-results"
    ctest --test-dir "$build" -j "$test_jobs" --output-on-failure "$@" 2>&1 |
      tee "$build/ctest.log" || true
    test_status=${PIPESTATUS[0]}
  }
  timed "tests under $qemu" run_tests "$@"
fi

# --- the package ---------------------------------------------------------------------------
if [ "${HU_CROSS_SKIP_PACKAGE:-0}" != 1 ]; then
  make_package() {
    rm -f "$build"/headunit-shell_*.deb
    (cd "$build" && cpack -G DEB >/dev/null)
    local deb
    deb=$(ls "$build"/headunit-shell_*_"$arch".deb)
    echo "package: $deb"
    dpkg-deb -f "$deb" Package Version Architecture Depends
    local unpacked="$build/package-contents"
    rm -rf "$unpacked"
    dpkg-deb -x "$deb" "$unpacked"
    (cd "$unpacked" && file usr/lib/headunit/* | grep ELF)
  }
  timed package make_package
fi

# --- held-back inputs: the target's decoding against the desktop's ------------------------
compare_status=0
data="$src/../shared/testdata"
if [ "${HU_CROSS_SKIP_COMPARE:-0}" != 1 ] && [ -d "$data" ]; then
  compare() {
    # The desktop's own build of the tool (only it), Release as the target's.
    cmake -S "$src" -B "$host_build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHU_BUILD_TESTS=OFF \
          "${launcher_flags[@]}" >/dev/null
    nice -n 10 cmake --build "$host_build" -j "$jobs" --target input-digest
    local scratch
    scratch=$(mktemp -d)
    # The XML conformance suite comes as a zip that may only be passed on unmodified: unpacked
    # for the run, then removed.
    if [ -f "$data/xml/xmlts20130923.zip" ] && command -v unzip >/dev/null; then
      unzip -q "$data/xml/xmlts20130923.zip" -d "$scratch/xmlts"
    fi
    local inputs=("$data/nmea" "$data/bmp" "$data/gif" "$data/png" "$data/xml/osm" "$scratch/xmlts")
    (cd "$scratch" && "$host_build/tools/input-digest" "${inputs[@]}" >desktop.txt)
    (cd "$scratch" && "$qemu" -L / "$build/tools/input-digest" "${inputs[@]}" >"target.txt")
    sed -e "s|$scratch|<scratch>|" "$scratch/desktop.txt" >"$build/digest-desktop.txt"
    sed -e "s|$scratch|<scratch>|" "$scratch/target.txt" >"$build/digest-$arch.txt"
    rm -rf "$scratch"
    echo "inputs decoded: $(wc -l <"$build/digest-$arch.txt") by $arch, $(wc -l <"$build/digest-desktop.txt") by the desktop"
    awk '{print $2}' "$build/digest-$arch.txt" | sort | uniq -c | sed 's/^/  /'
    if diff -u "$build/digest-desktop.txt" "$build/digest-$arch.txt" >"$build/digest.diff"; then
      echo "the $arch build decodes every input as the desktop build does"
    else
      compare_status=1
      echo "the $arch build decodes $(grep -c '^+[^+]' "$build/digest.diff") inputs differently: $build/digest.diff"
    fi
  }
  timed compare compare
fi

echo
echo "== cross build for $arch =="
for t in "${stage_times[@]}"; do echo "  $t"; done
if [ -f "$build/ctest.log" ] && [ "${HU_CROSS_SKIP_TESTS:-0}" != 1 ]; then
  # Each program's shards leave GoogleTest's report in test-results/: the counts of its tests.
  python3 - "$build/test-results" <<'PY'
import glob, sys, xml.etree.ElementTree as ET
passed = skipped = failed = 0
names = []
for f in sorted(glob.glob(sys.argv[1] + "/*.xml")):
    try:
        cases = list(ET.parse(f).getroot().iter("testcase"))
    except Exception:
        continue
    for c in cases:
        if c.find("failure") is not None:
            failed += 1
            names.append(c.get("classname", "") + "." + c.get("name", ""))
        elif c.find("skipped") is not None or c.get("result") == "skipped":
            skipped += 1
        else:
            passed += 1
print(f"  tests under emulation: {passed} passed, {skipped} skipped, {failed} failed")
for n in names:
    print("    failed: " + n)
PY
  # A shard that ended without its report (a crash, a timeout) shows in ctest's own list.
  grep -E '^\s+[0-9]+ - .*\((Failed|Timeout|SEGFAULT|Subprocess aborted|Not Run)\)' "$build/ctest.log" | sed 's/^/  /' || true
fi
[ "$test_status" -eq 0 ] && [ "$compare_status" -eq 0 ]
