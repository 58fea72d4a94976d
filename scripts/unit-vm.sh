#!/usr/bin/env bash
# Boots the virtual head unit that scripts/unit-image.sh built (build/unit-image/) with QEMU.
#
#   scripts/unit-vm.sh run [--no-card]   boot it and leave it running for a person (the card in
#                                        the slot unless --no-card); prints how to see and reach it
#   scripts/unit-vm.sh stop              power it off
#   scripts/unit-vm.sh test              boot it and run the checks (docs/testing.md): one line per
#                                        check, screenshots in build/unit-image/shots/; exit status 0
#                                        only when every check holds
#
# The machine: the system disk and the storage card as copy-on-write layers over the built images
# (every boot starts from the image as built), QEMU's standard VGA at the unit's 800x480, a touch
# screen (USB tablet), the serial console written to build/unit-image/vm/console.log, the QMP
# monitor and the guest agent on sockets beside it, and on the second serial port a GPS receiver:
# nmea-replay playing a receiver's log (../shared/testdata when it is there, else the project's
# own tests/e2e/gpsd_drive.nmea; HU_VM_GPS_LOG=FILE plays another), which the unit's gpsd reads.
# KVM where the host offers it and it takes the guest, plain emulation (TCG) otherwise;
# HU_VM_ACCEL=tcg chooses emulation.
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
img="$src/build/unit-image"
vm="$img/vm"
py=/usr/bin/python3   # Debian's, with its PIL and numpy
export PYTHONDONTWRITEBYTECODE=1   # nothing written into the source tree
tool="$src/scripts/unit-vm/unit_vm.py"

usage() { echo "usage: scripts/unit-vm.sh run [--no-card] | stop | test" >&2; exit 2; }
[ $# -ge 1 ] || usage
mode="$1"; shift
card=yes
case "$mode" in
  run) [ "${1:-}" = "--no-card" ] && { card=no; shift; } ;;
  test) card=no ;;   # the test puts the card in itself, once the shell's screen is up
  stop) ;;
  *) usage ;;
esac
[ $# -eq 0 ] || usage

running() { [ -f "$vm/qemu.pid" ] && kill -0 "$(cat "$vm/qemu.pid")" 2>/dev/null; }

stop_vm() {
  local pid
  for f in qemu gps; do
    if [ -f "$vm/$f.pid" ]; then
      pid="$(cat "$vm/$f.pid")"
      # Only our own: the pid must still be the program we started there.
      if kill -0 "$pid" 2>/dev/null && grep -qa -- "$vm" "/proc/$pid/cmdline"; then kill "$pid"; fi
      rm -f "$vm/$f.pid"
    fi
  done
}

if [ "$mode" = stop ]; then
  running || { echo "unit-vm: no virtual unit runs"; exit 0; }
  stop_vm
  echo "unit-vm: powered off"
  exit 0
fi

for f in root.img card.img vmlinuz initrd.img package/usr/lib/headunit/nmea-replay; do
  [ -e "$img/$f" ] || { echo "unit-vm: $img/$f is missing; build the image first: scripts/unit-image.sh" >&2; exit 1; }
done
if running; then
  echo "unit-vm: a virtual unit runs already (scripts/unit-vm.sh stop)" >&2
  exit 1
fi

# What this machine needs.
"$src/scripts/install-deps.sh" --only qemu-system-x86 qemu-utils python3-pil python3-numpy xvfb

# The receiver's log: HU_VM_GPS_LOG, else a real receiver's from the shared test data, else ours.
log="${HU_VM_GPS_LOG:-$src/../shared/testdata/nmea/gpsd/mt3339.log}"
if [ ! -f "$log" ]; then
  echo "unit-vm: no ../shared/testdata beside the clone; the GPS plays the project's tests/e2e/gpsd_drive.nmea"
  log="$src/tests/e2e/gpsd_drive.nmea"
fi
log="$(realpath "$log")"

rm -rf "$vm"
mkdir -p "$vm"
qemu-img create -q -f qcow2 -F raw -b "$img/root.img" "$vm/root.qcow2"
qemu-img create -q -f qcow2 -F raw -b "$img/card.img" "$vm/card.qcow2"

# The GPS receiver: a pseudo-terminal that nmea-replay plays the log into, QEMU's second port.
"$img/package/usr/lib/headunit/nmea-replay" --link "$vm/gps-port" --loop --quiet "$log" \
  >"$vm/gps.log" 2>&1 &
echo $! >"$vm/gps.pid"
# Whatever fails from here on leaves nothing running; `run` lifts this once the unit is up.
trap stop_vm EXIT
for _ in $(seq 100); do [ -L "$vm/gps-port" ] && break; sleep 0.1; done
[ -L "$vm/gps-port" ] || { cat "$vm/gps.log" >&2; echo "unit-vm: nmea-replay made no terminal" >&2; exit 1; }

if [ "$mode" = test ]; then
  # The screens the checks compare with, drawn by the package's own programs.
  "$py" "$tool" refs "$vm" "$img/package"
fi

accel="${HU_VM_ACCEL:-}"
if [ -z "$accel" ]; then
  if [ -r /dev/kvm ] && [ -w /dev/kvm ]; then accel=kvm; else accel=tcg; fi
fi

display=(-display none)
if [ "$mode" = run ]; then
  if [ -n "${DISPLAY:-}" ] && [ -e /usr/lib/x86_64-linux-gnu/qemu/ui-gtk.so ]; then
    display=(-display gtk,zoom-to-fit=off)
  else
    display=(-display none -vnc 127.0.0.1:0,to=20)
  fi
fi

# The screen: QEMU's standard VGA for the X server (its modesetting driver); the Wayland kiosk's
# compositor needs a display driver that imports buffers (PRIME), which the standard VGA's lacks.
screen=(-device VGA,xres=800,yres=480,edid=on)
if [ "$(cat "$img/display" 2>/dev/null)" = wayland ]; then
  screen=(-device virtio-vga,xres=800,yres=480,edid=on)
fi

start_qemu() {
  local cpu=() speed=(-accel tcg,thread=multi)
  if [ "$1" = kvm ]; then cpu=(-cpu host); speed=(-accel kvm); fi
  local carddev=()
  [ "$card" = yes ] && carddev=(-device usb-storage,bus=xhci.0,drive=card,id=carddev)
  : >"$vm/console.log"
  nice -n 19 qemu-system-x86_64 -name headunit "${speed[@]}" "${cpu[@]}" -smp 2 -m 1024 \
    -machine q35 -nodefaults -no-user-config \
    -kernel "$img/vmlinuz" -initrd "$img/initrd.img" \
    -append "root=/dev/vda rw console=ttyS0 loglevel=4" \
    -drive "file=$vm/root.qcow2,if=virtio,format=qcow2" \
    -device qemu-xhci,id=xhci -device usb-tablet,bus=xhci.0 \
    -blockdev "driver=qcow2,node-name=card,file.driver=file,file.filename=$vm/card.qcow2" "${carddev[@]}" \
    "${screen[@]}" \
    "${display[@]}" \
    -chardev "socket,id=console,path=$vm/console.sock,server=on,wait=off,logfile=$vm/console.log" \
    -serial chardev:console \
    -chardev "serial,id=gps,path=$(readlink -f "$vm/gps-port")" -serial chardev:gps \
    -qmp "unix:$vm/qmp.sock,server=on,wait=off" \
    -chardev "socket,id=qga,path=$vm/qga.sock,server=on,wait=off" \
    -device virtio-serial -device virtserialport,chardev=qga,name=org.qemu.guest_agent.0 \
    -nic none \
    >"$vm/qemu.log" 2>&1 &
  echo $! >"$vm/qemu.pid"
}

t0=$("$py" -c 'import time; print(time.time())')
start_qemu "$accel"
if ! "$py" "$tool" up "$vm" "$(cat "$vm/qemu.pid")"; then
  if [ "$accel" = kvm ]; then
    echo "unit-vm: KVM did not take the guest ($(tail -1 "$vm/qemu.log")); emulating (TCG)"
    running && kill "$(cat "$vm/qemu.pid")"
    accel=tcg
    t0=$("$py" -c 'import time; print(time.time())')
    start_qemu tcg
    "$py" "$tool" up "$vm" "$(cat "$vm/qemu.pid")" || { cat "$vm/qemu.log" >&2; exit 1; }
  else
    cat "$vm/qemu.log" >&2
    exit 1
  fi
fi

if [ "$mode" = run ]; then
  screen="a window of its own"
  if [ "${display[1]}" = none ]; then
    screen="VNC on $("$py" "$tool" qmp "$vm" query-vnc | "$py" -c 'import json, sys; v = json.load(sys.stdin); print(v["host"] + ":" + v["service"])')"
  fi
  cat <<EOF
unit-vm: the virtual unit is starting ($accel; its screen comes within a minute or two)
  screen          $screen
  console         $vm/console.log; log in as root (no password): socat -,raw,echo=0 UNIX-CONNECT:$vm/console.sock
  monitor (QMP)   $vm/qmp.sock, e.g. $py $tool qmp $vm screendump '{"filename": "/tmp/unit.png", "format": "png"}'
  storage card    pull: $py $tool qmp $vm device_del '{"id": "carddev"}'
                  insert: $py $tool qmp $vm device_add '{"driver": "usb-storage", "bus": "xhci.0", "drive": "card", "id": "carddev"}'
  GPS             $(basename "$log") played on the unit's second serial port (gpsd's /dev/ttyS1)
  power off       scripts/unit-vm.sh stop
EOF
  trap - EXIT
  exit 0
fi

echo "unit-vm: testing the virtual unit ($accel; GPS log $(basename "$log"))"
rm -rf "$img/shots"
started=$(date +%s)
set +e
(cd "$img" && "$py" "$tool" test "$vm" "$img/shots" "$log" "$t0")
status=$?
set -e
echo "unit-vm: $(( $(date +%s) - started )) s; console log $vm/console.log"
exit $status
