#!/usr/bin/env bash
# Makes the root file system that mmdebstrap installed into a head unit: run by
# scripts/unit-image.sh as mmdebstrap's customize hook, on the host, with the root folder as $1
# (its /proc, /sys and /dev mounted). Settings from the caller's environment:
#   HU_IMAGE_FILES  this folder (the guest-side files)
#   HU_IMAGE_CARD   the folder that becomes the storage card (for the allow-list's digests)
#   HU_IMAGE_DISPLAY  x11 (the package's default service) or wayland (its sway kiosk instead)
set -euo pipefail
root="${1:?usage: customize.sh ROOT}"
files="${HU_IMAGE_FILES:?}"
card="${HU_IMAGE_CARD:?}"
in_root() { chroot "$root" "$@"; }

echo unit >"$root/etc/hostname"
printf '127.0.0.1\tlocalhost\n127.0.1.1\tunit\n::1\tlocalhost ip6-localhost ip6-loopback\n' >"$root/etc/hosts"
# The system disk is a whole virtio disk with an ext4 file system (no partition table).
printf '/dev/vda\t/\text4\trw,errors=remount-ro\t0\t1\n' >"$root/etc/fstab"
# A person trying the unit logs in on the serial console as root without a password
# (a virtual machine on the developer's own machine; docs/deploy.md).
in_root passwd -d root >/dev/null

# The package enabled its service while it was installed (no systemd runs here): proof that it
# does so in an image build, which the package's own configure step has to manage.
if [ ! -L "$root/etc/systemd/system/graphical.target.wants/headunit-shell.service" ]; then
  echo "customize: the package did not enable headunit-shell.service" >&2
  exit 1
fi
in_root systemctl set-default graphical.target >/dev/null
if [ "${HU_IMAGE_DISPLAY:-x11}" = wayland ]; then
  in_root systemctl disable headunit-shell.service >/dev/null 2>&1
  in_root systemctl enable headunit-shell-wayland.service >/dev/null 2>&1
fi

# The GPS receiver: the second serial port, which the host feeds with an NMEA log. gpsd owns it
# from boot on (-n), the shell and the navigation program read gpsd.
cat >"$root/etc/default/gpsd" <<'CONF'
DEVICES="/dev/ttyS1"
GPSD_OPTIONS="-n"
USBAUTO="false"
START_DAEMON="true"
CONF
in_root systemctl enable gpsd.socket gpsd.service >/dev/null 2>&1

# The companion of the microcontroller runs as a user of its own; the queues are shared through
# the group "mcu".
in_root addgroup --system mcu >/dev/null
in_root adduser --system --ingroup mcu --no-create-home --home /nonexistent mcu >/dev/null
in_root adduser headunit mcu >/dev/null
install -m 0644 "$files/unit-companion.service" "$root/etc/systemd/system/unit-companion.service"
in_root systemctl enable unit-companion.service >/dev/null 2>&1

# Only the card's program may start: its digest, as docs/deploy.md makes the list.
install -d -m 0755 "$root/etc/headunit"
(cd "$card" && find . -type f -name '*.exe' | sort | while read -r f; do
   sum=$(sha256sum "$f" | cut -d' ' -f1)
   path=$(printf '%s' "${f#./}" | tr '/' '\\')
   printf '%s  \\StorageCard\\%s\n' "$sum" "$path"
 done) >"$root/etc/headunit/programs.sha256"
chmod 0644 "$root/etc/headunit/programs.sha256"

cat >"$root/etc/default/headunit-shell" <<'CONF'
# The virtual unit: GPS through gpsd, the companion's queues shared with the group "mcu", only the
# listed programs start, the demo navigation program stays up until the shell ends it.
HU_GPS=gpsd
HEADUNIT_QUEUE_GROUP=mcu
HEADUNIT_ALLOW_PROGRAMS=/etc/headunit/programs.sha256
NAVIONE_SECONDS=0
CONF
# The kiosk draws with the CPU: the virtual unit has no GPU.
if [ "${HU_IMAGE_DISPLAY:-x11}" = wayland ]; then
  echo "WLR_RENDERER=pixman" >>"$root/etc/default/headunit-shell"
fi

# The display: QEMU's standard VGA, no GPU.
install -d "$root/etc/X11/xorg.conf.d"
install -m 0644 "$files/xorg-display.conf" "$root/etc/X11/xorg.conf.d/20-unit-display.conf"

# The card reader and the journal on the serial console.
install -m 0644 "$files/70-headunit-card.rules" "$root/etc/udev/rules.d/70-headunit-card.rules"
install -d "$root/etc/systemd/journald.conf.d"
install -m 0644 "$files/journald-console.conf" "$root/etc/systemd/journald.conf.d/console.conf"

# The unit's state: the default unit's content, as the service's first start would copy it, but
# without the packaged demo card: the storage card is the second disk.
state="$root/var/lib/headunit"
rm -rf "$state/unit"
install -d -m 0755 "$state"
cp -a "$root/usr/share/headunit/unit" "$state/unit"
rm -rf "$state/unit/StorageCard"
in_root chown -R headunit:headunit /var/lib/headunit

# Nothing on the unit waits for a network.
in_root systemctl mask systemd-networkd-wait-online.service >/dev/null 2>&1 || true
