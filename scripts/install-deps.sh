#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the default unit need.
# Does nothing when they are all present already. clang-14 and its runtime (libFuzzer) build
# the fuzz targets the test command runs.
#
# usage: scripts/install-deps.sh [--only] [PACKAGE...]
#   PACKAGE...  more to install beside them (another script's own needs: the image's, the
#               virtual machine's, a cross build's target packages as name:arch)
#   --only      the packages named alone
set -euo pipefail
only=0
if [ "${1:-}" = "--only" ]; then only=1; shift; fi
PKGS=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev libpugixml-dev
      libsdl2-dev libfreetype-dev libfontconfig-dev libstb-dev libjpeg-dev libpng-dev
      libpixman-1-dev
      fonts-liberation fonts-wqy-microhei fonts-ipafont-gothic fonts-dejavu-core
      binutils-mingw-w64-x86-64 python3 unzip
      libxcb1-dev libxcb-ewmh-dev libx11-dev libxtst-dev xvfb xdotool navit openbox
      libgps-dev gpsd gpsd-clients
      libwayland-dev wayland-protocols libxkbcommon-dev libjson-c-dev sway xwayland grim wtype
      clang-14 libclang-rt-14-dev lld
      systemd)
[ "$only" = 0 ] || PKGS=()
PKGS+=("$@")
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
