// Start-up steps of the shell that stand on their own: the saved settings applied through the
// system services, and the saved time zone looked up in the registry's time-zone list.
#pragma once

#include "windows.h"

class CConfig;
class CUtility;

namespace app {

// Language, volume, mute, key click and the Bluetooth check flag from the configuration store;
// the defaults that were missing are stored, then the store is saved. The video driver's day
// and night picture parameters are read on the way ("VEC0:", as the unit's display settings do).
void ApplyStartupSettings(CConfig& config, CUtility& utility);

// Number of entries of the time-zone list; text item 0x8000 + i names entry i.
constexpr int kTimeZoneCount = 100;
constexpr unsigned short kTimeZoneFirstText = 0x8000;

// Builds the time-zone list from HKEY_LOCAL_MACHINE\Time Zones, matching each subkey's
// "Display" against the display names of the system language's module. Entries no subkey
// matched stay zero. `displayName(i, buffer)` writes name i (MAX_PATH characters); false when
// there is none.
using TimeZoneNameFn = bool (*)(int index, WCHAR* buffer, void* context);
// `filled`, when given, tells which entries a subkey filled.
void BuildTimeZoneList(TIME_ZONE_INFORMATION (&list)[kTimeZoneCount], TimeZoneNameFn displayName, void* context,
                       bool (*filled)[kTimeZoneCount] = nullptr);

// Sets the platform's time zone from the entry "TIME_ZONE" names; nothing when the key is
// missing, or when no registry subkey filled that entry (an empty entry would be UTC with blank
// names, and the registry would keep it). Returns true when a zone was set.
bool ApplyTimeZone(CConfig& config);

// Says on the console when the unit root or the data folder may be written by other users than
// the unit's: they could change its settings, its registry and the programs it starts. Returns
// how many such folders there are.
int ReportFoldersOthersMayWrite();

}  // namespace app
