#!/usr/bin/python3
"""The virtual unit's side of scripts/unit-vm.sh: talks to QEMU (QMP) and to the guest agent
(QGA) on their sockets, draws the reference screens, and runs the checks of `unit-vm.sh test`.

  unit_vm.py up RUN PID             wait until the guest runs; exit 3 when its processors do not
                                    (a KVM that refuses the guest), so the caller falls back to TCG
  unit_vm.py refs RUN PACKAGE       draw the screens the checks compare with, from the package
  unit_vm.py test RUN SHOTS LOG T0  the checks; T0 is the power-on time (time.time() of the host)
  unit_vm.py qmp RUN COMMAND [JSON] one QMP command, its answer printed

Every wait has a deadline and looks for the very thing it waits for (a console line, a screen,
an answer); nothing sleeps for a time that happens to be long enough.
"""
import base64
import json
import os
import re
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time

import numpy as np
from PIL import Image

POLL = 0.25  # seconds between looks at the console log or the screen


class Channel:
    """A line-based JSON channel: QMP or the guest agent on a UNIX socket."""

    def __init__(self, path, timeout=30):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.settimeout(timeout)
        self.sock.connect(path)
        self.buf = b""

    def send(self, obj):
        self.sock.sendall(json.dumps(obj).encode() + b"\n")

    def read(self):
        while b"\n" not in self.buf:
            data = self.sock.recv(65536)
            if not data:
                raise ConnectionError("the socket was closed")
            self.buf += data
        line, self.buf = self.buf.split(b"\n", 1)
        line = line.strip().lstrip(b"\xff")
        return json.loads(line) if line else None

    def close(self):
        self.sock.close()


class Qmp(Channel):
    def __init__(self, run):
        super().__init__(os.path.join(run, "qmp.sock"))
        self.read()  # the greeting
        self.command("qmp_capabilities")

    def command(self, name, **args):
        self.send({"execute": name, "arguments": args} if args else {"execute": name})
        while True:
            answer = self.read()
            if not answer or "event" in answer:
                continue
            if "error" in answer:
                raise RuntimeError(f"{name}: {answer['error'].get('desc')}")
            return answer.get("return")


class Agent(Channel):
    """The guest agent: commands run as root in the guest."""

    def __init__(self, run, deadline):
        last = None
        while time.time() < deadline:
            try:
                super().__init__(os.path.join(run, "qga.sock"), timeout=5)
                token = int(time.time() * 1000) % 2**31
                self.send({"execute": "guest-sync", "arguments": {"id": token}})
                while True:
                    answer = self.read()
                    if answer and answer.get("return") == token:
                        return
            except (OSError, ConnectionError, ValueError) as error:
                last = error
                try:
                    self.close()
                except AttributeError:
                    pass
                time.sleep(1)  # the agent starts with the guest's services; look again
        raise TimeoutError(f"the guest agent did not answer ({last})")

    def call(self, name, **args):
        self.send({"execute": name, "arguments": args})
        answer = self.read()
        if "error" in answer:
            raise RuntimeError(f"{name}: {answer['error'].get('desc')}")
        return answer["return"]

    def sh(self, script, timeout=90):
        """Runs a shell script in the guest; returns (exit status, output)."""
        pid = self.call("guest-exec", path="/bin/sh", arg=["-c", script], **{"capture-output": True})["pid"]
        end = time.time() + timeout
        while time.time() < end:
            status = self.call("guest-exec-status", pid=pid)
            if status.get("exited"):
                out = base64.b64decode(status.get("out-data", "")).decode(errors="replace")
                err = base64.b64decode(status.get("err-data", "")).decode(errors="replace")
                return status.get("exitcode", -1), out + err
            time.sleep(POLL)
        return -1, f"no end within {timeout} s"


# ---- screens ----------------------------------------------------------------------------------

def load(path):
    return np.asarray(Image.open(path).convert("RGB")).astype(np.int16)


def likeness(shot, ref):
    """The share of pixels within a small distance of the reference: the clock's digits and a
    line of changing text move it by a few thousandths, another program's picture by most."""
    if shot.shape != ref.shape:
        return 0.0
    return float((np.abs(shot - ref).max(axis=2) <= 40).mean())


SAME = 0.98  # likeness at which a screen is the reference's


class Screen:
    def __init__(self, qmp, shots):
        self.qmp, self.shots, self.n = qmp, shots, 0
        self.last = os.path.join(shots, ".screen.png")

    def grab(self):
        self.qmp.command("screendump", filename=self.last, format="png")
        return load(self.last)

    def keep(self, name):
        path = os.path.join(self.shots, name)
        shutil.copyfile(self.last, path)
        return os.path.relpath(path)

    def wait_for(self, ref, deadline, also=lambda: True):
        """Grabs the screen until it is the reference's (and `also` holds); returns the time or None."""
        best = 0.0
        while time.time() < deadline:
            ready = also()  # before the grab: what the screen shows then is its consequence
            like = likeness(self.grab(), ref)
            best = max(best, like)
            if like >= SAME and ready:
                return time.time(), like
            time.sleep(POLL)
        return None, best


# ---- the console log --------------------------------------------------------------------------

class Console:
    """The guest's serial console, as QEMU writes it to a file."""

    def __init__(self, path):
        self.path = path

    def text(self):
        with open(self.path, "rb") as f:
            return f.read().decode(errors="replace")

    def size(self):
        # In characters of the text, as find() counts (systemd's lines hold multi-byte ellipses).
        return len(self.text())

    def find(self, pattern, since=0):
        m = re.compile(pattern).search(self.text()[since:])
        return m

    def wait(self, pattern, deadline, since=0):
        while time.time() < deadline:
            m = self.find(pattern, since)
            if m:
                return m
            time.sleep(POLL)
        return None


# ---- references -------------------------------------------------------------------------------

def draw_refs(run, package):
    """The list page of the shell without a card, drawn by the packaged launcher without a display,
    and the demo program's window, drawn by the packaged program on a virtual X server."""
    refs = os.path.join(run, "refs")
    os.makedirs(refs, exist_ok=True)
    lib = os.path.join(package, "usr/lib/headunit")
    with tempfile.TemporaryDirectory() as tmp:
        unit = os.path.join(tmp, "unit")
        shutil.copytree(os.path.join(package, "usr/share/headunit/unit"), unit, symlinks=True)
        shutil.rmtree(os.path.join(unit, "StorageCard"))
        script = os.path.join(tmp, "script.txt")
        # The list comes once the scanner has looked at the card's folder; the player waits for
        # idle windows, not for that thread, so give it its time before the snapshot.
        with open(script, "w") as f:
            f.write(f"wait 2000\nsnapshot {refs}/list.png\nquit\n")
        subprocess.run([f"{lib}/launcher", "--unit", unit, "--display", "headless", "--snapshots",
                        os.path.join(tmp, "snaps"), "--script", script],
                       check=True, timeout=120, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # The demo program: Xvfb keeps its screen in a file (-fbdir), in XWD form.
        display_r, display_w = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(display_w), "-screen", "0", "800x480x24",
                                 "-fbdir", tmp, "-nolisten", "tcp"], pass_fds=[display_w],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(display_w)
        try:
            number = os.read(display_r, 64).decode().strip()
            env = dict(os.environ, DISPLAY=f":{number}", NAVIONE_SECONDS="30", HU_GPS="gpsd:127.0.0.1:1")
            navi = subprocess.Popen([f"{lib}/navione"], env=env, stdout=subprocess.PIPE,
                                    stderr=subprocess.DEVNULL, text=True)
            try:
                for line in navi.stdout:
                    if "window open" in line:
                        break
                # The window is drawn after it is mapped: take the screen once it stops changing.
                previous, end = None, time.time() + 20
                while time.time() < end:
                    screen = read_xwd(os.path.join(tmp, "Xvfb_screen0"))
                    if previous is not None and np.array_equal(screen, previous) and screen.any():
                        break
                    previous = screen
                    time.sleep(0.5)
                Image.fromarray(screen.astype(np.uint8)).save(f"{refs}/demo.png")
            finally:
                navi.terminate()
                navi.wait()
        finally:
            xvfb.terminate()
            xvfb.wait()
            os.close(display_r)
    return refs


def read_xwd(path):
    with open(path, "rb") as f:
        data = f.read()
    h = struct.unpack(">25I", data[:100])
    header, width, height, bytes_per_line, colours = h[0], h[4], h[5], h[12], h[19]
    start = header + colours * 12
    img = Image.frombuffer("RGBX", (width, height), data[start:start + bytes_per_line * height], "raw",
                           "BGRX", bytes_per_line, 1)
    return np.asarray(img.convert("RGB")).astype(np.int16)


def wait_up(run, pid):
    """0 once the guest's processors run, 3 when they do not (QEMU ended, or stopped with an
    error: a nested KVM that refuses the guest's set-up does either within its first seconds)."""
    alive = lambda: os.path.exists(f"/proc/{pid}")
    end = time.time() + 30
    qmp = None
    while time.time() < end and alive() and qmp is None:
        try:
            qmp = Qmp(run)
        except OSError:
            time.sleep(POLL)
    if qmp is None:
        return 3
    # Running for some seconds on end: by then a refused processor has shown itself.
    end = time.time() + 5
    try:
        while time.time() < end:
            if not alive() or qmp.command("query-status")["status"] != "running":
                return 3
            time.sleep(POLL)
    except (OSError, ConnectionError):
        return 3
    return 0


def main(argv):
    if len(argv) == 3 and argv[0] == "up":
        return wait_up(argv[1], int(argv[2]))
    if len(argv) == 3 and argv[0] == "refs":
        draw_refs(argv[1], argv[2])
        return 0
    if len(argv) == 5 and argv[0] == "test":
        import checks
        return checks.run(argv[1], argv[2], argv[3], float(argv[4]))
    if len(argv) >= 3 and argv[0] == "qmp":
        print(json.dumps(Qmp(argv[1]).command(argv[2], **(json.loads(argv[3]) if len(argv) > 3 else {}))))
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
