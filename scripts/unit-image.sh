#!/usr/bin/env bash
# Builds the virtual head unit that scripts/unit-vm.sh boots, in build/unit-image/:
#   root.img             the system disk: Debian 12 made by mmdebstrap from the same archive as
#                        this machine's (its apt sources), with the X server and its modesetting
#                        driver, our package, gpsd, the unit's user, the service enabled and the
#                        default unit as the unit's state (scripts/unit-image/customize.sh)
#   vmlinuz, initrd.img  its kernel and initial RAM disk, which QEMU boots directly
#   card.img             the storage card, a second disk (FAT, label HUCARD) holding the demo
#                        navigation program at \StorageCard\NaviOnej0p\NaviOne.exe
#   package/             the package's files, unpacked (the test draws its reference screens with them)
#
# usage: scripts/unit-image.sh [--deb FILE] [--wayland]
#   --deb FILE  put this package on the unit instead of the one built here
#   --wayland   the Wayland kiosk (sway, headunit-shell-wayland.service) rather than the X server
# The package is built with cpack from a release build of its own (build/unit-package; later
# runs rebuild only what changed). Downloads are kept in build/unit-image/apt-cache for the next
# build. Installs what it needs on this machine (as scripts/install-deps.sh does).
set -euo pipefail
# mmdebstrap makes the root file system as root (its hooks chroot into it, mount the package).
if [ "$(id -u)" -ne 0 ]; then
  echo "unit-image: making a system image needs root; running under sudo"
  exec sudo -- "$0" "$@"
fi

src="$(cd "$(dirname "$0")/.." && pwd)"
out="$src/build/unit-image"
files="$src/scripts/unit-image"
deb=""
display=x11
while [ $# -gt 0 ]; do
  case "$1" in
    --deb) deb="$(realpath "${2:?--deb needs a file}")"; shift 2 ;;
    --wayland) display=wayland; shift ;;
    *) echo "usage: scripts/unit-image.sh [--deb FILE] [--wayland]" >&2; exit 2 ;;
  esac
done
started=$(date +%s)
say() { printf 'unit-image: %s (%ds)\n' "$1" "$(( $(date +%s) - started ))"; }

# What this machine needs: the build's packages, then the image's and the virtual machine's.
"$src/scripts/install-deps.sh" mmdebstrap qemu-system-x86 qemu-utils e2fsprogs dosfstools mtools python3-pil \
  python3-numpy xvfb ccache

# The package.
if [ -z "$deb" ]; then
  build="$src/build/unit-package"
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHU_BUILD_TESTS=OFF -DHU_BUILD_BENCH=OFF \
      -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache >/dev/null
  fi
  say "building the package in ${build#"$src"/}"
  nice -n 19 cmake --build "$build" -j2 >/dev/null
  rm -f "$build"/headunit-shell_*.deb
  (cd "$build" && nice -n 19 cpack -G DEB >/dev/null)
  deb="$(ls "$build"/headunit-shell_*.deb)"
fi
say "package: $deb"

# Its files: the card's program and the allow-list come from them. A root folder left by an
# interrupted build may still have the package mounted into it.
if [ -d "$out/rootfs" ]; then
  findmnt -rn -o TARGET | grep -F "$out/rootfs/" | sort -r | while read -r m; do umount -l "$m"; done
fi
rm -rf "$out/package" "$out/card" "$out/rootfs"
mkdir -p "$out/package" "$out/apt-cache"
dpkg-deb -x "$deb" "$out/package"
mkdir -p "$out/card"
cp -a "$out/package/usr/share/headunit/unit/StorageCard/." "$out/card/"
if [ ! -x "$out/card/NaviOnej0p/NaviOne.exe" ]; then
  echo "unit-image: the package carries no demo navigation program (StorageCard/NaviOnej0p/NaviOne.exe)" >&2
  exit 1
fi

# The apt sources: this machine's Debian sources when it is a Debian 12, else Debian's own.
sources="$out/debian.sources"
if [ -f /etc/apt/sources.list.d/debian.sources ] && grep -q '^Suites:.*bookworm' /etc/apt/sources.list.d/debian.sources; then
  grep -v '^#' /etc/apt/sources.list.d/debian.sources >"$sources"
else
  printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: bookworm bookworm-updates\nComponents: main\n\nTypes: deb\nURIs: http://deb.debian.org/debian-security\nSuites: bookworm-security\nComponents: main\n' >"$sources"
fi

# The root file system. Recommends are left out: the unit carries what it runs.
GUEST_PKGS=linux-image-amd64,systemd-sysv,udev,dbus,libpam-systemd,kmod,procps,util-linux,adduser,xserver-xorg-core,xserver-xorg-input-libinput,gpsd,qemu-guest-agent
# The kiosk: sway, Xwayland for the X11 navigation programs, and Mesa's drivers for its renderer.
if [ "$display" = wayland ]; then
  GUEST_PKGS="$GUEST_PKGS,sway,xwayland,libgl1-mesa-dri,libegl-mesa0,libgles2,libgbm1"
fi
say "making the root file system (mmdebstrap)"
HU_IMAGE_FILES="$files" HU_IMAGE_CARD="$out/card" HU_IMAGE_DISPLAY="$display" \
nice -n 19 mmdebstrap --variant=minbase --mode=root --format=directory \
  --aptopt='APT::Install-Recommends "false"' \
  --include="$GUEST_PKGS" --include="$deb" \
  --hook-dir=/usr/share/mmdebstrap/hooks/file-mirror-automount \
  --skip=essential/unlink \
  --setup-hook='mkdir -p "$1/var/cache/apt/archives/"' \
  --setup-hook="sync-in $out/apt-cache /var/cache/apt/archives/" \
  --customize-hook="sync-out /var/cache/apt/archives $out/apt-cache" \
  --customize-hook="$files/customize.sh" \
  bookworm "$out/rootfs" "$sources" >"$out/mmdebstrap.log" 2>&1 || {
    tail -30 "$out/mmdebstrap.log" >&2
    echo "unit-image: mmdebstrap failed ($out/mmdebstrap.log)" >&2
    exit 1
  }

# The kernel outside, for QEMU; the system disk from the folder, without mounting anything.
cp "$(ls "$out"/rootfs/boot/vmlinuz-* | sort -V | tail -1)" "$out/vmlinuz"
cp "$(ls "$out"/rootfs/boot/initrd.img-* | sort -V | tail -1)" "$out/initrd.img"
rm -f "$out/root.img"
truncate -s 3G "$out/root.img"
nice -n 19 mkfs.ext4 -q -F -L unitroot -d "$out/rootfs" "$out/root.img"
rm -rf "$out/rootfs"
say "system disk made"

# The storage card: 64 MiB of FAT, as a card holds it.
rm -f "$out/card.img"
mkfs.vfat -C -n HUCARD "$out/card.img" 65536 >/dev/null
MTOOLS_SKIP_CHECK=1 mcopy -s -i "$out/card.img" "$out/card/"* ::/
echo "$display" >"$out/display"
say "storage card made; build/unit-image/ ($display) is ready (scripts/unit-vm.sh run | test)"
