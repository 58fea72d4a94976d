#!/usr/bin/env bash
# Lays a fresh copy of the default unit image at the given folder: unit/ plus the font
# files the screens use (copied from Debian packages so every machine draws the same).
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
dest="${1:?usage: prepare-unit.sh DIR [--navit [WIDTH HEIGHT]]}"
# --navit also places a card entry that starts Debian's navit (docs/navit.md).
navit=""
if [ "${2:-}" = "--navit" ]; then navit="${3:-800} ${4:-480}"; fi
case "$(cd "$(dirname "$dest")" 2>/dev/null && pwd)/" in
  "$src"/*) echo "refusing to prepare a unit inside the source tree: $dest" >&2; exit 1 ;;
esac
rm -rf "$dest"
mkdir -p "$dest"
cp -a "$src/unit/." "$dest/"
fonts="$dest/Windows/Fonts"
mkdir -p "$fonts"
for f in /usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf \
         /usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf \
         /usr/share/fonts/truetype/wqy/wqy-microhei.ttc \
         /usr/share/fonts/opentype/ipafont-gothic/ipag.ttf \
         /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf; do
  [ -f "$f" ] && cp "$f" "$fonts/"
done
# Build products that belong on the unit (demo navigation program and the like).
if [ -x "$src/scripts/unit-extras.sh" ]; then "$src/scripts/unit-extras.sh" "$dest"; fi
if [ -n "$navit" ]; then
  # shellcheck disable=SC2086
  "$src/scripts/navit-entry.sh" "$dest/StorageCard/Navit" $navit
  command -v navit >/dev/null 2>&1 || echo "note: navit is not installed here; the entry needs it on the unit" >&2
fi
echo "unit prepared at $dest"
