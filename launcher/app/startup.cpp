#include "app/startup.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "app/config.h"
#include "services/utility.h"
#include "txt_res.h"

namespace app {

namespace {

// The unit's display settings, made for the start-up settings and gone after them. Being made,
// they read the day and the night picture parameters of the video driver (one 44-byte record
// each); the values are the panel's own, and nothing of the start-up settings depends on them.
class CDisplaySettings {
 public:
  CDisplaySettings() {
    HANDLE video = CreateFileW(u"VEC0:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (video == INVALID_HANDLE_VALUE || !video) {
      NKDbgPrintfW(u"[Vexa APP] VEC0: cannot be opened, picture parameters not read\n");
      return;
    }
    DWORD returned = 0;
    DeviceIoControl(video, IOCTL_VEC_GET_DAY_PARAMS, nullptr, 0, m_day, sizeof m_day, &returned, nullptr);
    DeviceIoControl(video, IOCTL_VEC_GET_NIGHT_PARAMS, nullptr, 0, m_night, sizeof m_night, &returned, nullptr);
    CloseHandle(video);
  }

 private:
  BYTE m_day[44] = {};
  BYTE m_night[44] = {};
};

}  // namespace

void ApplyStartupSettings(CConfig& config, CUtility& utility) {
  CDisplaySettings display;
  int language = 0;
  config.GetValue(u"CURRENT_LANGUAGE", &language);
  if (!SetUserDefaultUILanguage(static_cast<LANGID>(language & 0xFFFF))) {
    SetUserDefaultUILanguage(1033);
    config.SetValue(u"CURRENT_LANGUAGE", 1033);
  }

  int volume = 8;
  if (!config.GetValue(u"VOLUME_LEVEL", &volume)) {
    utility.SetVolume(8);
    config.SetValue(u"VOLUME_LEVEL", 8);
  } else {
    utility.SetVolume(volume);
  }

  int mute = 0;
  if (!config.GetValue(u"GBL_MUTE", &mute)) config.SetValue(u"GBL_MUTE", 0);
  else if (mute == 1) utility.SetVolume(0);

  int click = 0;
  if (!config.GetValue(u"KEYTONE_LEVEL", &click)) {
    utility.SetClickSound(1);
    config.SetValue(u"KEYTONE_LEVEL", 1);
  } else {
    utility.SetClickSound(click);
  }

  int check = 0;
  if (!config.GetValue(u"BT_POWEROFF_CHECK", &check)) config.SetValue(u"BT_POWEROFF_CHECK", 0);

  config.Save();
}

namespace {

// The registry's "TZI" value: the zone record without its names.
#pragma pack(push, 1)
struct RegistryTzi {
  LONG Bias;
  LONG StandardBias;
  LONG DaylightBias;
  SYSTEMTIME StandardDate;
  SYSTEMTIME DaylightDate;
};
#pragma pack(pop)
static_assert(sizeof(RegistryTzi) == 44, "the registry keeps 44 bytes");

// Reads a string value into a buffer of `chars` characters; empty when missing or not a string.
void readString(HKEY key, LPCWSTR name, WCHAR* buffer, DWORD chars) {
  buffer[0] = 0;
  DWORD type = 0;
  DWORD size = (chars - 1) * sizeof(WCHAR);
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    buffer[0] = 0;
    return;
  }
  buffer[std::min<DWORD>(size / sizeof(WCHAR), chars - 1)] = 0;
}

}  // namespace

void BuildTimeZoneList(TIME_ZONE_INFORMATION (&list)[kTimeZoneCount], TimeZoneNameFn displayName, void* context,
                       bool (*filled)[kTimeZoneCount]) {
  std::memset(list, 0, sizeof(list));
  if (filled) std::fill(std::begin(*filled), std::end(*filled), false);
  // The display names are read once; an entry without a name can never match.
  static thread_local WCHAR names[kTimeZoneCount][MAX_PATH];
  for (int i = 0; i < kTimeZoneCount; ++i)
    if (!displayName || !displayName(i, names[i], context)) names[i][0] = 0;

  HKEY zones = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Time Zones", 0, KEY_READ, &zones) != ERROR_SUCCESS) return;
  int placed = 0;
  for (DWORD index = 0; placed < kTimeZoneCount; ++index) {
    WCHAR subName[101];
    DWORD subLength = 101;
    if (RegEnumKeyExW(zones, index, subName, &subLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    HKEY zone = nullptr;
    if (RegOpenKeyExW(zones, subName, 0, KEY_READ, &zone) != ERROR_SUCCESS) continue;
    WCHAR display[MAX_PATH];
    readString(zone, u"Display", display, MAX_PATH);
    int match = -1;
    if (display[0]) {
      for (int i = 0; i < kTimeZoneCount && match < 0; ++i)
        if (names[i][0] && lstrcmpW(names[i], display) == 0) match = i;
    }
    if (match >= 0) {
      TIME_ZONE_INFORMATION& tz = list[match];
      readString(zone, u"Dlt", tz.DaylightName, 32);
      readString(zone, u"Std", tz.StandardName, 32);
      RegistryTzi tzi = {};
      DWORD type = 0;
      DWORD size = sizeof(tzi);
      if (RegQueryValueExW(zone, u"TZI", nullptr, &type, reinterpret_cast<BYTE*>(&tzi), &size) == ERROR_SUCCESS &&
          type == REG_BINARY && size == sizeof(tzi)) {
        tz.Bias = tzi.Bias;
        tz.StandardBias = tzi.StandardBias;
        tz.DaylightBias = tzi.DaylightBias;
        tz.StandardDate = tzi.StandardDate;
        tz.DaylightDate = tzi.DaylightDate;
      }
      if (filled) (*filled)[match] = true;
      ++placed;
    }
    RegCloseKey(zone);
  }
  RegCloseKey(zones);
}

bool ApplyTimeZone(CConfig& config) {
  int index = 0;
  if (!config.GetValue(u"TIME_ZONE", &index)) return false;
  if (index < 0 || index >= kTimeZoneCount) {
    // The list has 100 entries; any other value names none of them.
    NKDbgPrintfW(u"[Vexa APP] TIME_ZONE %d is outside the time-zone list, zone unchanged\n", index);
    return false;
  }
  CTxtRes names;  // reads "language.xml" as it is made
  names.ChangeLanguageRes();
  static TIME_ZONE_INFORMATION list[kTimeZoneCount];
  static bool filled[kTimeZoneCount];
  struct Names {
    CTxtRes* texts;
    int found;
  } lookup{&names, 0};
  BuildTimeZoneList(
      list,
      [](int i, WCHAR* buffer, void* context) {
        auto* seen = static_cast<Names*>(context);
        bool found = seen->texts->GetResItem(static_cast<unsigned short>(kTimeZoneFirstText + i), buffer) != nullptr &&
                     buffer[0] != 0;
        if (found) ++seen->found;
        return found;
      },
      &lookup, &filled);
  if (!filled[index]) {
    if (lookup.found == 0)
      NKDbgPrintfW(u"[Vexa APP] TIME_ZONE %d: the language module holds no time-zone names, zone unchanged\n", index);
    else
      NKDbgPrintfW(u"[Vexa APP] TIME_ZONE %d: no \\Time Zones entry matches its name, zone unchanged\n", index);
    return false;
  }
  SetTimeZoneInformation(&list[index]);
  return true;
}

int ReportFoldersOthersMayWrite() {
  WCHAR data[MAX_PATH];
  CConfig::GetDataFolder(data);
  int shared = 0;
  for (const WCHAR* folder : {static_cast<const WCHAR*>(u"\\"), static_cast<const WCHAR*>(data)}) {
    std::string who = plat::writableByOthers(plat::hostPath(folder));
    if (who.empty()) continue;
    ++shared;
    NKDbgPrintfW(u"[Vexa APP] %S can be written by %S: they may change the unit's settings and the programs it "
                 u"starts\n",
                 plat::hostPath(folder).c_str(), who.c_str());
  }
  return shared;
}

}  // namespace app
