#!/usr/bin/env bash
# What the idle launcher costs: runs it on each display it can here (headless; sdl on Xvfb; sdl
# on a headless sway) with the list page on screen and nothing happening but the status-bar
# clock, and prints per display the wakeups per second of the whole process, its CPU and its
# resident memory.
#
#   scripts/idle-cost.sh [--seconds N] [--settle N] [--launcher PATH] [--threads] [--args "..."]
#                        [headless] [xvfb] [sway]
#
# Wakeups are the voluntary context switches of all the launcher's threads (each time a thread
# sleeps it has been woken once before); CPU is user + system time over the window. The
# figures are disturbed by whatever else runs: the load average is printed beside them, so a
# run on a busy machine can be told from a quiet one. The launcher is the release build by
# default (build/release/launcher/launcher); the unit is a fresh copy of unit/ whose card
# holds one program under a name that does not start by itself, so the list page stays.
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
seconds=15
settle=4
launcher="$src/build/release/launcher/launcher"
threads=0
extra=""
displays=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds="$2"; shift 2 ;;
    --settle) settle="$2"; shift 2 ;;
    --launcher) launcher="$2"; shift 2 ;;
    --threads) threads=1; shift ;;
    --args) extra="$2"; shift 2 ;;
    headless|xvfb|sway) displays+=("$1"); shift ;;
    -h|--help) sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "idle-cost: unknown argument $1" >&2; exit 2 ;;
  esac
done
[ ${#displays[@]} -gt 0 ] || displays=(headless xvfb sway)
if [ ! -x "$launcher" ]; then
  echo "idle-cost: no launcher at $launcher (cmake --preset release && cmake --build build/release --target launcher navione)" >&2
  exit 1
fi

work="$(mktemp -d /tmp/hu-idle-cost.XXXXXX)"
pids=()
cleanup_dirs=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work" "${cleanup_dirs[@]}"
}
trap cleanup EXIT

"$src/scripts/prepare-unit.sh" "$work/unit" >/dev/null
if [ -f "$work/unit/StorageCard/NaviOnej0p/NaviOne.exe" ]; then
  mkdir -p "$work/unit/StorageCard/Demo"
  mv "$work/unit/StorageCard/NaviOnej0p/NaviOne.exe" "$work/unit/StorageCard/Demo/Demo.exe"
fi
clk="$(getconf CLK_TCK)"

# Sums the voluntary context switches of every thread of a process.
switches() {
  local total=0 n
  for f in /proc/"$1"/task/*/status; do
    n="$(awk '/^voluntary_ctxt_switches/ {print $2}' "$f" 2>/dev/null || true)"
    total=$((total + ${n:-0}))
  done
  echo "$total"
}
# user + system clock ticks of a process.
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
# Per-thread voluntary switches as "name count" lines.
thread_switches() {
  for d in /proc/"$1"/task/*; do
    printf '%s %s\n' "$(cat "$d/comm" 2>/dev/null)#$(basename "$d")" \
      "$(awk '/^voluntary_ctxt_switches/ {print $2}' "$d/status" 2>/dev/null)"
  done | sort
}

# Runs the launcher with the given environment and display options, measures, prints a row.
measure() {
  local name="$1"; shift
  local log="$work/$name.log" envs=()
  while [ "$1" != -- ]; do envs+=("$1"); shift; done
  shift
  # shellcheck disable=SC2086
  env "${envs[@]}" "$launcher" --unit "$work/unit" --console-file "$work/$name.console" "$@" $extra >"$log" 2>&1 &
  local pid=$!
  pids+=("$pid")
  sleep "$settle"
  if ! kill -0 "$pid" 2>/dev/null; then
    printf '%-28s launcher ended early; see below\n' "$name"
    tail -5 "$log"
    return
  fi
  local s0 t0 s1 t1 rss thr load
  s0="$(switches "$pid")"; t0="$(ticks "$pid")"
  [ "$threads" = 1 ] && thread_switches "$pid" >"$work/$name.t0"
  sleep "$seconds"
  s1="$(switches "$pid")"; t1="$(ticks "$pid")"
  [ "$threads" = 1 ] && thread_switches "$pid" >"$work/$name.t1"
  rss="$(awk '/^VmRSS/ {printf "%.0f", $2 / 1024}' "/proc/$pid/status")"
  thr="$(ls "/proc/$pid/task" | wc -l)"
  load="$(cut -d' ' -f1 /proc/loadavg)"
  awk -v n="$name" -v s="$((s1 - s0))" -v t="$((t1 - t0))" -v sec="$seconds" -v clk="$clk" \
      -v rss="$rss" -v thr="$thr" -v load="$load" \
      'BEGIN { printf "%-28s %9.1f %8.2f%% %8s MB %8d %8s\n", n, s / sec, 100 * t / clk / sec, rss, thr, load }'
  if [ "$threads" = 1 ]; then
    join "$work/$name.t0" "$work/$name.t1" | awk -v sec="$seconds" \
      '{ d = $3 - $2; if (d > 0) printf "    %-24s %6.1f /s\n", $1, d / sec }'
  fi
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

printf 'idle launcher, %s s per display after %s s to settle: %s\n' "$seconds" "$settle" "$launcher"
printf '%-28s %9s %9s %11s %8s %8s\n' display "wakeups/s" CPU "resident" threads load
for d in "${displays[@]}"; do
  case "$d" in
    headless)
      measure headless -u DISPLAY -u WAYLAND_DISPLAY -- --display headless --snapshots "$work/shots"
      ;;
    xvfb)
      if ! command -v Xvfb >/dev/null; then echo "xvfb: Xvfb is not installed (apt-get install xvfb)"; continue; fi
      # The server says its display number when it is ready (-displayfd).
      Xvfb -displayfd 8 -screen 0 800x480x24 -nolisten tcp 8>"$work/xvfb.number" 2>/dev/null &
      xpid=$!
      pids+=("$xpid")
      number=""
      for _ in $(seq 200); do
        number="$(cat "$work/xvfb.number" 2>/dev/null || true)"
        [ -n "$number" ] && break
        sleep 0.1
      done
      if [ -z "$number" ]; then echo "xvfb: the X server did not start"; continue; fi
      measure "sdl on Xvfb" -u WAYLAND_DISPLAY DISPLAY=":$number" -- --display sdl --fullscreen
      kill "$xpid" 2>/dev/null || true
      ;;
    sway)
      if ! command -v sway >/dev/null; then echo "sway: sway is not installed (apt-get install sway)"; continue; fi
      # Its own runtime folder: a socket name nobody else uses, reachable by the user it runs as.
      runtime="$(mktemp -d /tmp/hu-idle-sway.XXXXXX)"
      cleanup_dirs+=("$runtime")
      run_as=()
      if [ "$(id -u)" = 0 ]; then
        # sway will not run as root.
        chown nobody:nogroup "$runtime"
        run_as=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
      fi
      printf 'output * resolution 800x480\ndefault_border none\nxwayland disable\n' >"$runtime/sway.conf"
      chmod 0644 "$runtime/sway.conf"
      "${run_as[@]}" env -i PATH=/usr/bin:/bin XDG_RUNTIME_DIR="$runtime" WLR_BACKENDS=headless \
        WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 sway -c "$runtime/sway.conf" >"$work/sway.log" 2>&1 &
      spid=$!
      pids+=("$spid")
      socket=""
      for _ in $(seq 100); do
        socket="$(cd "$runtime" && ls wayland-* 2>/dev/null | grep -v lock | head -1 || true)"
        [ -n "$socket" ] && break
        sleep 0.1
      done
      if [ -z "$socket" ]; then echo "sway: the compositor did not start"; tail -3 "$work/sway.log"; continue; fi
      ipc="$(ls "$runtime"/sway-ipc.*.sock 2>/dev/null | head -1 || true)"
      measure "sdl on sway (Wayland)" -u DISPLAY XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY="$socket" \
        SWAYSOCK="$ipc" -- --display sdl --fullscreen
      kill "$spid" 2>/dev/null || true
      ;;
  esac
done
