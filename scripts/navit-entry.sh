#!/usr/bin/env bash
# Places a card entry that starts Debian's navit as a navigation program of the unit:
#   navit-entry.sh DIR [WIDTH HEIGHT]
# writes DIR/Navit.exe (the program the launcher lists and starts) and DIR/navit.xml (one
# window of the unit's size, the internal menu, a vehicle that reads the receiver from gpsd, no
# map data needed). navit keeps what it remembers (last position, destinations) in DIR/home, on
# the card with the entry. Navit.exe points the vehicle at the gpsd the launcher reads ($HU_GPS,
# "gpsd:HOST:PORT"), else at the unit's own (localhost, port 2947).
set -euo pipefail
dir="${1:?usage: navit-entry.sh DIR [WIDTH HEIGHT]}"
width="${2:-800}"
height="${3:-480}"
case "$width$height" in *[!0-9]*) echo "navit-entry.sh: width and height are whole numbers" >&2; exit 2 ;; esac
mkdir -p "$dir/home"
cat > "$dir/navit.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE config SYSTEM "navit.dtd">
<config xmlns:xi="http://www.w3.org/2001/XInclude">
  <plugins>
    <plugin path="\$NAVIT_LIBDIR/*/\${NAVIT_LIBPREFIX}lib*.so" ondemand="yes"/>
    <plugin path="\$NAVIT_LIBDIR/*/\${NAVIT_LIBPREFIX}libbinding_dbus.so" active="no"/>
    <plugin path="\$NAVIT_LIBDIR/*/\${NAVIT_LIBPREFIX}libgraphics_null.so" active="no"/>
  </plugins>
  <debug name="global" dbg_level="error"/>
  <navit center="11.5666 48.1333" zoom="256" tracking="1" orientation="-1" default_layout="Car">
    <graphics type="gtk_drawing_area" w="$width" h="$height"/>
    <gui type="internal" enabled="yes" font_size="350" icon_xs="32" icon_s="96" icon_l="96"/>
    <!-- The receiver through gpsd, as every program of the unit reads it; the demo vehicle
         drives by itself where no receiver is at hand (enabled="yes" active="1" on it instead). -->
    <vehicle name="GPS" profilename="car" enabled="yes" active="1" follow="1" source="gpsd://localhost:2947"/>
    <vehicle name="Demo" profilename="car" enabled="no" active="0" source="demo://"/>
    <vehicleprofile name="car" flags="0x4000000" flags_forward_mask="0x4040002" flags_reverse_mask="0x4040001"
                    maxspeed_handling="0" route_mode="0" static_speed="5" static_distance="25"/>
    <mapset enabled="yes"/>
    <!-- Without map data the map is empty: the menu button, a compass and a title band show
         a person that the navigation program is in front. -->
    <osd enabled="yes" type="text" label="Navit navigation" x="0" y="0" w="$width" h="48" font_size="500"
         background_color="#1e3a8acc"/>
    <!-- What the vehicle reads from gpsd: position, speed, satellites used and in view. -->
    <osd enabled="yes" type="text" x="170" y="-44" w="$((width - 180))" h="40" font_size="300" background_color="#102040cc"
         label="\${vehicle.position_coord_geo}  \${vehicle.position_speed}  \${vehicle.position_sats_used} of \${vehicle.position_qual} satellites used"/>
    <osd enabled="yes" type="button" x="-96" y="60" command="gui.menu()" src="menu.png"/>
    <osd enabled="yes" type="compass" x="10" y="60" w="90" h="90" font_size="250"/>
    <osd enabled="yes" type="button" x="10" y="-96" command="zoom_in()" src="zoom_in.png"/>
    <osd enabled="yes" type="button" x="106" y="-96" command="zoom_out()" src="zoom_out.png"/>
    <xi:include href="\$NAVIT_SHAREDIR/navit_layout_car.xml"/>
  </navit>
</config>
XML
cat > "$dir/Navit.exe" <<'SCRIPT'
#!/bin/sh
# Starts Debian's navit with the configuration beside this file (see docs/navit.md).
here="$(cd "$(dirname "$0")" && pwd)"
command -v navit >/dev/null 2>&1 || { echo "Navit.exe: navit is not installed (apt-get install navit)" >&2; exit 127; }
HOME="$here/home"
export HOME
# The gpsd the launcher reads: HU_GPS=gpsd:HOST:PORT (or gpsd: the unit's own).
gpsd="localhost:2947"
case "${HU_GPS:-}" in
  gpsd:*:*) gpsd="${HU_GPS#gpsd:}" ;;
  gpsd:?*) gpsd="${HU_GPS#gpsd:}:2947" ;;
esac
case "$gpsd" in *[!A-Za-z0-9.:_-]*) gpsd="localhost:2947" ;; esac
mkdir -p "$HOME"
sed "s|gpsd://localhost:2947|gpsd://$gpsd|" "$here/navit.xml" > "$HOME/navit.xml"
exec navit -c "$HOME/navit.xml"
SCRIPT
chmod 755 "$dir/Navit.exe"
