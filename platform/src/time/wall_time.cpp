// Wall-clock time, the time zone with its daylight rules, and FILETIME conversions. The wall
// clock itself is plat::clock (tests freeze and move it); this file turns it into dates.
#include <cstring>
#include <mutex>

#include "plat_core.h"
#include "plat_registry.h"
#include "plat_time.h"
#include "time/time_zone.h"

namespace plat::time {

namespace {

constexpr int64_t kMsPerMinute = 60000;
constexpr int64_t kMsPerDay = 86400000;
// Milliseconds from 1601-01-01 (FILETIME's epoch) to 1970-01-01.
constexpr int64_t kFileTimeEpochMs = 11644473600000LL;

struct ZoneState {
  std::mutex lock;
  TIME_ZONE_INFORMATION zone{};
};

ZoneState& zoneState() {
  static ZoneState* s = new ZoneState();
  return *s;
}

TIME_ZONE_INFORMATION currentZone() {
  auto& s = zoneState();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.zone;
}

// Days from 1970-01-01 of a civil date (proleptic Gregorian).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

bool isLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned daysInMonth(int64_t y, unsigned m) {
  static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

// 0 = Sunday.
unsigned weekday(int64_t days) { return static_cast<unsigned>(((days % 7) + 11) % 7); }

int64_t floorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

bool hasDaylightRules(const TIME_ZONE_INFORMATION& zone) {
  return zone.StandardDate.wMonth != 0 && zone.DaylightDate.wMonth != 0;
}

// Local milliseconds (since 1970, in the zone's clock) at which a transition rule falls in
// `year`; false when the rule does not apply to that year.
bool transitionLocalMs(const SYSTEMTIME& rule, int64_t year, int64_t& localMs) {
  if (rule.wMonth < 1 || rule.wMonth > 12) return false;
  unsigned day;
  if (rule.wYear != 0) {
    // Absolute form: that date of that year only.
    if (rule.wYear != year || rule.wDay < 1 || rule.wDay > daysInMonth(year, rule.wMonth)) return false;
    day = rule.wDay;
  } else {
    // "Day in month": week 1..5 of weekday wDayOfWeek, 5 meaning the last one.
    unsigned week = rule.wDay < 1 ? 1 : (rule.wDay > 5 ? 5 : rule.wDay);
    int64_t first = daysFromCivil(year, rule.wMonth, 1);
    unsigned firstMatch = 1 + (rule.wDayOfWeek % 7 + 7 - weekday(first)) % 7;
    day = firstMatch + (week - 1) * 7;
    while (day > daysInMonth(year, rule.wMonth)) day -= 7;
  }
  localMs = daysFromCivil(year, rule.wMonth, day) * kMsPerDay +
            ((static_cast<int64_t>(rule.wHour) * 60 + rule.wMinute) * 60 + rule.wSecond) * 1000 + rule.wMilliseconds;
  return true;
}

}  // namespace

bool isDaylight(const TIME_ZONE_INFORMATION& zone, int64_t utcMs) {
  if (!hasDaylightRules(zone)) return false;
  const int64_t standardBias = zone.Bias + zone.StandardBias;
  const int64_t daylightBias = zone.Bias + zone.DaylightBias;
  // The year as the zone's standard clock sees it.
  int64_t year;
  unsigned month, day;
  civilFromDays(floorDiv(utcMs - standardBias * kMsPerMinute, kMsPerDay), year, month, day);
  int64_t startLocal = 0, endLocal = 0;
  // Daylight time begins at a standard-time reading and ends at a daylight-time reading.
  if (!transitionLocalMs(zone.DaylightDate, year, startLocal) || !transitionLocalMs(zone.StandardDate, year, endLocal))
    return false;
  const int64_t start = startLocal + standardBias * kMsPerMinute;
  const int64_t end = endLocal + daylightBias * kMsPerMinute;
  if (start < end) return utcMs >= start && utcMs < end;  // northern hemisphere
  return utcMs < end || utcMs >= start;                   // southern: daylight over new year
}

int64_t biasMinutes(const TIME_ZONE_INFORMATION& zone, int64_t utcMs) {
  if (!hasDaylightRules(zone)) return zone.Bias;
  return zone.Bias + (isDaylight(zone, utcMs) ? zone.DaylightBias : zone.StandardBias);
}

int64_t localToUtcMs(const TIME_ZONE_INFORMATION& zone, int64_t localMs) {
  if (!hasDaylightRules(zone)) return localMs + zone.Bias * kMsPerMinute;
  // A local reading in the hour that daylight time skips is taken as standard time; one in
  // the hour repeated at its end as daylight time.
  int64_t asDaylight = localMs + (zone.Bias + zone.DaylightBias) * kMsPerMinute;
  if (isDaylight(zone, asDaylight)) return asDaylight;
  return localMs + (zone.Bias + zone.StandardBias) * kMsPerMinute;
}

bool toSystemTime(int64_t ms, SYSTEMTIME& out) {
  int64_t days = floorDiv(ms, kMsPerDay);
  int64_t rest = ms - days * kMsPerDay;
  int64_t year;
  unsigned month, day;
  civilFromDays(days, year, month, day);
  if (year < 1601 || year > 30827) return false;
  out.wYear = static_cast<WORD>(year);
  out.wMonth = static_cast<WORD>(month);
  out.wDay = static_cast<WORD>(day);
  out.wDayOfWeek = static_cast<WORD>(weekday(days));
  out.wHour = static_cast<WORD>(rest / 3600000);
  out.wMinute = static_cast<WORD>(rest / 60000 % 60);
  out.wSecond = static_cast<WORD>(rest / 1000 % 60);
  out.wMilliseconds = static_cast<WORD>(rest % 1000);
  return true;
}

bool fromSystemTime(const SYSTEMTIME& st, int64_t& ms) {
  if (st.wYear < 1601 || st.wYear > 30827 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
      st.wDay > daysInMonth(st.wYear, st.wMonth) || st.wHour > 23 || st.wMinute > 59 || st.wSecond > 59 ||
      st.wMilliseconds > 999)
    return false;
  ms = daysFromCivil(st.wYear, st.wMonth, st.wDay) * kMsPerDay +
       ((static_cast<int64_t>(st.wHour) * 60 + st.wMinute) * 60 + st.wSecond) * 1000 + st.wMilliseconds;
  return true;
}

namespace {

const char16_t kTimeKey[] = u"Time";
const char16_t kZoneValue[] = u"TimeZoneInformation";

void storeZone(const TIME_ZONE_INFORMATION& zone) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kTimeKey, 0, nullptr, 0, 0, nullptr, &key, nullptr) != ERROR_SUCCESS) return;
  RegSetValueExW(key, kZoneValue, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&zone), sizeof zone);
  RegCloseKey(key);
}

}  // namespace

void restoreTimeZone() {
  TIME_ZONE_INFORMATION zone{};
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTimeKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
    TIME_ZONE_INFORMATION stored{};
    DWORD size = sizeof stored;
    DWORD type = 0;
    if (RegQueryValueExW(key, kZoneValue, nullptr, &type, reinterpret_cast<BYTE*>(&stored), &size) ==
            ERROR_SUCCESS &&
        type == REG_BINARY && size == sizeof stored) {
      zone = stored;
      // Names always end inside their fields.
      zone.StandardName[31] = 0;
      zone.DaylightName[31] = 0;
    }
    RegCloseKey(key);
  }
  auto& s = zoneState();
  std::lock_guard<std::mutex> guard(s.lock);
  s.zone = zone;
}

}  // namespace plat::time

using namespace plat::time;

void GetSystemTime(LPSYSTEMTIME time) {
  if (!time) return;
  toSystemTime(plat::clock::wallMs(), *time);
}

void GetLocalTime(LPSYSTEMTIME time) {
  if (!time) return;
  int64_t utc = plat::clock::wallMs();
  toSystemTime(utc - biasMinutes(currentZone(), utc) * 60000, *time);
}

BOOL SetSystemTime(const SYSTEMTIME* time) {
  int64_t ms = 0;
  if (!time || !fromSystemTime(*time, ms)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  plat::clock::setWallMs(ms);
  return TRUE;
}

BOOL SetLocalTime(const SYSTEMTIME* time) {
  int64_t ms = 0;
  if (!time || !fromSystemTime(*time, ms)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  plat::clock::setWallMs(localToUtcMs(currentZone(), ms));
  return TRUE;
}

DWORD GetTimeZoneInformation(LPTIME_ZONE_INFORMATION info) {
  if (!info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return TIME_ZONE_ID_INVALID;
  }
  TIME_ZONE_INFORMATION zone = currentZone();
  *info = zone;
  if (zone.StandardDate.wMonth == 0 || zone.DaylightDate.wMonth == 0) return TIME_ZONE_ID_UNKNOWN;
  return isDaylight(zone, plat::clock::wallMs()) ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}

BOOL SetTimeZoneInformation(const TIME_ZONE_INFORMATION* info) {
  if (!info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  TIME_ZONE_INFORMATION zone = *info;
  zone.StandardName[31] = 0;
  zone.DaylightName[31] = 0;
  {
    auto& s = zoneState();
    std::lock_guard<std::mutex> guard(s.lock);
    s.zone = zone;
  }
  // Kept where the device keeps it, so the zone survives a restart of the unit.
  storeZone(zone);
  return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* time, LPFILETIME fileTime) {
  int64_t ms = 0;
  if (!time || !fileTime || !fromSystemTime(*time, ms)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto ticks = static_cast<uint64_t>(ms + kFileTimeEpochMs) * 10000u;
  fileTime->dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
  fileTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return TRUE;
}

namespace {
uint64_t ticksOf(const FILETIME& ft) { return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }
void setTicks(FILETIME& ft, uint64_t ticks) {
  ft.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
}
// Moves a FILETIME by the zone's current bias; fails outside the FILETIME range.
BOOL shiftFileTime(const FILETIME* in, LPFILETIME out, int64_t sign) {
  if (!in || !out) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  int64_t bias = biasMinutes(currentZone(), plat::clock::wallMs());
  int64_t ticks = static_cast<int64_t>(ticksOf(*in) & 0x7FFFFFFFFFFFFFFFull);
  int64_t shifted = ticks + sign * bias * 60 * 10000000LL;
  if (shifted < 0 || (ticksOf(*in) >> 63)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  setTicks(*out, static_cast<uint64_t>(shifted));
  return TRUE;
}
}  // namespace

BOOL FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME time) {
  if (!fileTime || !time || (ticksOf(*fileTime) >> 63)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto ms = static_cast<int64_t>(ticksOf(*fileTime) / 10000u) - kFileTimeEpochMs;
  if (!toSystemTime(ms, *time)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return TRUE;
}

// The device converts with the bias in force now, not the one at the given time.
BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, LPFILETIME localFileTime) {
  return shiftFileTime(fileTime, localFileTime, -1);
}

BOOL LocalFileTimeToFileTime(const FILETIME* localFileTime, LPFILETIME fileTime) {
  return shiftFileTime(localFileTime, fileTime, 1);
}
