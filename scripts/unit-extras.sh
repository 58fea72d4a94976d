#!/usr/bin/env bash
# Puts the build products that belong on a unit into a prepared unit folder: the demo
# navigation program at StorageCard/NaviOnej0p/NaviOne.exe. A built navione is preferred
# (debug, then release, then any other build); without one a small script stands in.
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
dest="${1:?usage: unit-extras.sh UNIT_DIR}"
navi_dir="$dest/StorageCard/NaviOnej0p"
mkdir -p "$navi_dir"
built=""
for b in "$src/build/debug" "$src/build/release" "$src"/build/*; do
  case "$b" in */build/cross-*) continue ;; esac  # the ARM builds: not for this machine
  if [ -f "$b/tools/navione" ] && [ -x "$b/tools/navione" ]; then built="$b/tools/navione"; break; fi
  if [ -f "$b/tools/navione/navione" ] && [ -x "$b/tools/navione/navione" ]; then built="$b/tools/navione/navione"; break; fi
done
if [ -n "$built" ]; then
  cp "$built" "$navi_dir/NaviOne.exe"
else
  cat > "$navi_dir/NaviOne.exe" <<'SCRIPT'
#!/bin/sh
# Demo navigation program (script form; build the project for the compiled one).
# Stays up until closed or until NAVIONE_SECONDS (default 60; 0: until closed) have passed.
secs="${NAVIONE_SECONDS:-60}"
trap 'echo "NaviOne: navigation closed"; exit 0' TERM INT
echo "NaviOne: navigation running (script)"
if [ "$secs" -eq 0 ] 2>/dev/null; then
  while :; do sleep 1; done
fi
sleep "$secs" & wait $!
echo "NaviOne: navigation finished"
SCRIPT
fi
chmod 755 "$navi_dir/NaviOne.exe"
