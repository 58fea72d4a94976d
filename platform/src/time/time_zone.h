// Date arithmetic and the time zone's daylight rules, shared by the time calls and the
// registry start-up (which restores the zone the unit had).
#pragma once

#include <cstdint>

#include "plat_time.h"

namespace plat::time {

// Whether the zone's daylight time is in force at a UTC instant (ms since 1970). Transitions
// happen exactly at the instants the rules name: daylight time starts at DaylightDate read on
// the standard clock and ends at StandardDate read on the daylight clock.
bool isDaylight(const TIME_ZONE_INFORMATION& zone, int64_t utcMs);
// Minutes to add to local time to get UTC at that instant.
int64_t biasMinutes(const TIME_ZONE_INFORMATION& zone, int64_t utcMs);
int64_t localToUtcMs(const TIME_ZONE_INFORMATION& zone, int64_t localMs);

// Milliseconds since 1970 <-> SYSTEMTIME (years 1601..30827; fields checked).
bool toSystemTime(int64_t ms, SYSTEMTIME& out);
bool fromSystemTime(const SYSTEMTIME& time, int64_t& ms);

// Takes the zone kept in the registry (HKEY_LOCAL_MACHINE\Time "TimeZoneInformation"), or
// UTC without daylight time when there is none.
void restoreTimeZone();

}  // namespace plat::time
