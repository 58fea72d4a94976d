#!/usr/bin/env bash
# Builds one of the project's programs (debug preset, only that program and what it needs) and
# runs it with the rest of the arguments:
#   scripts/tool.sh skin-check unit/Windows/Skin800x480
#   scripts/tool.sh skin-preview unit/Windows/Skin800x480 Main_Menu_Script.xml --page 1 -o /tmp/page.png
# Programs: skin-check, skin-preview, mcu-sim, nmea-replay, navione, launcher.
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
if [ $# -lt 1 ]; then
  sed -n '2,6p' "$0" >&2
  exit 2
fi
name="$1"
shift
case "$name" in
  skin-check|skin-preview|mcu-sim|nmea-replay|navione) binary="$src/build/debug/tools/$name" ;;
  launcher) binary="$src/build/debug/launcher/launcher" ;;
  *) echo "tool.sh: no program named $name" >&2; exit 2 ;;
esac
(
  cd "$src"
  scripts/install-deps.sh
  cmake --preset debug >/dev/null
  cmake --build --preset debug --target "$name" >/dev/null
) >&2
exec "$binary" "$@"
