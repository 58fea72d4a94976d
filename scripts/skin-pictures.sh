#!/bin/sh
# Makes the pictures of the skin authoring guide (docs/skins.md) with the skin preview:
# docs/pictures/*.png from the default skin and from the example scripts in docs/examples/.
#   scripts/skin-pictures.sh [PREVIEW_PROGRAM]
# Without a program (or $SKIN_PREVIEW) it takes the one of an existing build folder, or builds
# it in build/release. Look at every picture before committing it.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/docs/pictures"

tool=${1:-${SKIN_PREVIEW:-}}
if [ -z "$tool" ]; then
  for candidate in "$root"/build/release/tools/skin-preview "$root"/build/*/tools/skin-preview; do
    if [ -x "$candidate" ]; then tool=$candidate; break; fi
  done
fi
if [ -z "$tool" ]; then
  (cd "$root" && cmake --preset release >/dev/null && cmake --build build/release -j2 --target skin-preview)
  tool="$root/build/release/tools/skin-preview"
fi
[ -x "$tool" ] || { echo "skin-pictures: no preview program at $tool" >&2; exit 2; }

# A unit of our own in a temporary folder: the default skin, and an example skin that has the
# default skin's image table and bitmaps with the example scripts.
work=$(mktemp -d "${TMPDIR:-/tmp}/skin-pictures-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/Windows"
cp -R "$root/unit/Windows/Skin800x480" "$work/Windows/"
cp "$root/unit/Windows/language.xml" "$root"/unit/Windows/lang_*.rc "$work/Windows/"
mkdir -p "$work/Windows/Examples"
cp -R "$root/unit/Windows/Skin800x480/Skin" "$root/unit/Windows/Skin800x480/image.xml" "$work/Windows/Examples/"
cp "$root"/docs/examples/*.xml "$work/Windows/Examples/"

mkdir -p "$out"
rm -f "$out"/*.png
default="$work/Windows/Skin800x480"
examples="$work/Windows/Examples"
shot() {
  name=$1
  shift
  "$tool" "$@" -o "$out/$name.png"
  echo "docs/pictures/$name.png"
}
shot default-statusbar "$default" StatusBar_Script.xml
shot default-main-starting "$default" Main_Menu_Script.xml --page 0
shot default-main-list-zh "$default" Main_Menu_Script.xml --page 1 --lang 2052
shot default-sheet "$default" --sheet
shot example-pages-0 "$examples" Pages.xml --page 0
shot example-pages-1 "$examples" Pages.xml --page 1
shot example-read-order "$examples" Read_Order.xml
shot example-defaults "$examples" Defaults.xml
shot example-colour-key "$examples" Colour_Key.xml
shot example-focus-none "$examples" Focus.xml
shot example-focus-2 "$examples" Focus.xml --focus 2
