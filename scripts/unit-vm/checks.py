"""The checks of `scripts/unit-vm.sh test`: what a driver sees of the virtual unit, and what holds
inside it. One line per check; a late screen fails its check but is still waited for (up to
PATIENCE), so the line says when it came and the checks after it still run."""
import os
import re
import time

from unit_vm import Agent, Console, Qmp, Screen, load

PATIENCE = 600

# The service's protections, as systemctl shows them when they are set.
PROTECTIONS = dict(
    NoNewPrivileges="yes", CapabilityBoundingSet="", ProtectSystem="strict", ProtectHome="yes",
    PrivateTmp="yes", PrivateMounts="yes", DevicePolicy="closed", ProtectKernelTunables="yes",
    ProtectKernelModules="yes", ProtectKernelLogs="yes", ProtectControlGroups="yes", ProtectClock="yes",
    ProtectProc="invisible", RestrictNamespaces="yes", RestrictRealtime="yes", RestrictSUIDSGID="yes",
    LockPersonality="yes", UMask="0077", KillMode="control-group", Restart="on-failure")

# The shell's service and its display server, by the image's kind (unit-image.sh --wayland).
KINDS = {"x11": ("headunit-shell", "Xorg", "X server"), "wayland": ("headunit-shell-wayland", "sway", "sway")}

# And their effect: the session, the display server and the launcher in the service's own control group
# (where the device and address policies and the stop act), the launcher without privileges and
# with a system-call filter on a read-only system, the companion's queues closed to others and as
# deep as the device's (1000 messages; no process was cut short of it).
INSIDE = r"""
launcher=$(pgrep -x launcher | head -1)
[ -n "$launcher" ] || { echo "no launcher runs"; exit 1; }
for p in $(systemctl show -p MainPID --value $SERVICE) $(pgrep -x $SERVER) $launcher; do
  case "$(cat /proc/$p/cgroup)" in */system.slice/$SERVICE.service) ;;
    *) echo "$(cat /proc/$p/comm) runs outside the service: $(cat /proc/$p/cgroup)"; exit 1 ;; esac
done
grep -E '^(NoNewPrivs|Seccomp|CapBnd|CapEff):' /proc/$launcher/status
awk '$5 == "/" {print "root:", $6}' /proc/$launcher/mountinfo
stat -c 'queue: %a %U:%G' /dev/mqueue/__MsgQueue_RUZ_*
echo "depth: $(cat /proc/sys/fs/mqueue/msg_max) $(journalctl -b -q --no-pager | grep -c 'messages[ ]instead of')"
"""
CONFINED = {"NoNewPrivs": "1", "Seccomp": "2", "CapBnd": "0000000000000000", "CapEff": "0000000000000000"}


def protections(agent, kind):
    service, server, server_name = KINDS[kind]
    _, out = agent.sh(f"systemctl show {service} -p IPAddressDeny -p SystemCallFilter -p " + " -p ".join(PROTECTIONS))
    shown = dict(line.split("=", 1) for line in out.splitlines() if "=" in line)
    wrong = [f"{k}={shown.get(k)!r}" for k, v in PROTECTIONS.items() if shown.get(k) != v]
    if "0.0.0.0/0" not in shown.get("IPAddressDeny", ""):
        wrong.append(f"IPAddressDeny={shown.get('IPAddressDeny')!r}")
    if len(shown.get("SystemCallFilter", "").split()) < 50:
        wrong.append("no system-call filter")
    status, out = agent.sh(f"SERVICE={service} SERVER={server}\n" + INSIDE)
    facts = [tuple(re.split(r":\s+", line, maxsplit=1)) for line in out.splitlines() if ":" in line]
    seen = {k: v.strip() for k, v in facts if k in CONFINED}
    queues = sorted({v for k, v in facts if k == "queue"})
    if status != 0:
        wrong.append(out.strip().splitlines()[-1] if out.strip() else f"the look inside ended with {status}")
    wrong += [f"launcher {k}: {seen.get(k)}" for k, v in CONFINED.items() if seen.get(k) != v]
    if not re.search(r"^root: ro\b", out, re.M):
        wrong.append("the system is writable for the launcher")
    if not queues or any(q.split()[0] not in ("600", "660") for q in queues):
        wrong.append(f"queues {queues}")
    depth, cut = next((v for k, v in facts if k == "depth"), "? ?").split()[:2]
    if depth != "1000" or cut != "0":
        wrong.append(f"queues hold {depth} messages, cut short {cut} times")
    return wrong, (f"{len(PROTECTIONS) + 2} settings; session, {server_name} and launcher in the service's group, "
                   f"no privileges, system-call filter, read-only system; queues {', '.join(queues)}, {depth} deep")


def log_times(log):
    with open(log, errors="replace") as f:
        return {":".join(m.groups()) for m in (re.match(r"\$..RMC,(\d\d)(\d\d)(\d\d)[^,]*,A,", l) for l in f) if m}


def run(run_dir, shots, log, t0):
    ref_list, ref_demo = load(f"{run_dir}/refs/list.png"), load(f"{run_dir}/refs/demo.png")
    os.makedirs(shots, exist_ok=True)
    console = Console(os.path.join(run_dir, "console.log"))
    kind_file = os.path.join(run_dir, "..", "display")  # written by unit-image.sh; older images are X11
    kind = open(kind_file).read().strip() if os.path.exists(kind_file) else "x11"
    service_ended = re.escape(KINDS[kind][0]) + r"\.service: Main process exited, code=\w+, status=(\w+)"
    qmp = Qmp(run_dir)
    screen = Screen(qmp, shots)
    failed = []

    def line(ok, name, text):
        failed.extend([name] if not ok else [])
        print(f"{'PASS' if ok else 'FAIL'}  {name:<12} {text}", flush=True)

    def restarted_after(pos):  # a new shell has started its main window since the console's pos
        return lambda: console.find(r"\+\+\+ MainMenu", pos) is not None

    # The shell's screen after power-on: the status bar and the list (no card yet).
    at, like = screen.wait_for(ref_list, t0 + PATIENCE)
    shot = screen.keep("1-screen.png")
    if not at:
        line(False, "screen", f"none within {PATIENCE} s of power-on (likeness {like:.3f}; {shot})")
        return 1
    line(at - t0 <= 90, "screen", f"{at - t0:.1f} s after power-on (at most 90; {shot})")
    agent = Agent(run_dir, time.time() + 120)
    wrong_first, summary = protections(agent, kind)

    # The card goes in: the demo program starts from it and comes in front.
    pos, t = console.size(), time.time()
    qmp.command("device_add", driver="usb-storage", bus="xhci.0", drive="card", id="carddev")
    started = console.wait(r"StartGPS\((\\StorageCard\\[^)]*)\)", t + 120, pos)
    at, like = screen.wait_for(ref_demo, t + 120) if started else (None, 0.0)
    shot = screen.keep("2-demo.png")
    _, exe = agent.sh("readlink /proc/$(pgrep -x NaviOne.exe | head -1)/exe; "
                      "findmnt -no SOURCE,OPTIONS /var/lib/headunit/card")
    exe = exe.split()
    # The FAT card writes a closed file out at once (flush): a pull loses nothing a program saved.
    from_card = (len(exe) == 3 and exe[0].startswith("/var/lib/headunit/card/") and exe[1].startswith("/dev/sd")
                 and "flush" in exe[2].split(","))
    line(bool(started and at and from_card), "demo",
         f"{started.group(1)} from {' on '.join(exe[:2])} ({exe[2]}), in front {at - t:.1f} s after the card "
         f"went in ({shot})"
         if started and at and from_card else
         f"{'started' if started else 'not started'}, {'in front' if at else 'not in front'}, "
         f"running {' on '.join(exe) or 'nothing'} (likeness {like:.3f}; {shot})")

    # The card pulled while the program runs: the shell ends with status 3 and comes back.
    pos, t = console.size(), time.time()
    qmp.command("device_del", id="carddev")
    end = console.wait(service_ended, t + 60, pos)
    ended = time.time()
    at, like = screen.wait_for(ref_list, ended + PATIENCE, restarted_after(pos + end.end())) if end else (None, 0)
    shot = screen.keep("3-card-pulled.png")
    status = end.group(1) if end else "no end within 60 s"
    line(status == "3" and at is not None and at - ended <= 10, "card-pulled",
         f"status {status} {ended - t:.1f} s after the card went, "
         + (f"on screen again {at - ended:.1f} s later (at most 10; {shot})" if at else f"not on screen again ({shot})"))

    # A crash: SIGSEGV, and the shell comes back.
    pos, t = console.size(), time.time()
    agent.sh("pkill -SEGV -x launcher")
    end = console.wait(service_ended, t + 60, pos)
    at, like = screen.wait_for(ref_list, t + PATIENCE, restarted_after(pos + end.end())) if end else (None, 0)
    shot = screen.keep("4-crash.png")
    line(end is not None and at is not None and at - t <= 10, "crash",
         f"status {end.group(1) if end else '(no end seen)'}, "
         + (f"on screen again {at - t:.1f} s after SIGSEGV (at most 10; {shot})" if at else f"not on screen again ({shot})"))

    # The protections held for the first shell and hold for the one started last.
    wrong_last, _ = protections(agent, kind)
    line(not wrong_first and not wrong_last, "protections",
         summary if not wrong_first + wrong_last else "; ".join(wrong_first + [f"after the restarts: {w}" for w in wrong_last]))

    # The log's GPS time, through gpsd and the shell, to the companion.
    sent = console.wait(r"MCU TX\[7\]-- \[ 51-07-10-(\w\w)-(\w\w)-(\w\w)-", time.time() + 60)
    text = ":".join(f"{int(x, 16):02d}" for x in sent.groups()) if sent else None
    heard = text and console.find(r"launcher -> mcu: GPS time " + re.escape(text))
    line(bool(text in log_times(log) and heard), "gps-time",
         f"the shell sent {text} of {os.path.basename(log)}; the companion {'heard' if heard else 'did not hear'} it"
         if text else f"the shell sent no GPS time of {os.path.basename(log)}")
    return 1 if failed else 0
