// Wall time, time zones with daylight rules (switching exactly at the transition instants in
// both hemispheres) and FILETIME conversions.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "time/time_zone.h"
#include "windows.h"

namespace {

// Freezes the clock and puts the zone back to UTC whatever a test does.
class TimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::clock::freeze();
    savedWall_ = plat::clock::wallMs();
    plat::registry::setFile("");
  }
  void TearDown() override {
    TIME_ZONE_INFORMATION utc{};
    SetTimeZoneInformation(&utc);
    plat::clock::setWallMs(savedWall_);
    plat::clock::unfreeze();
    plat::registry::clear();
  }
  int64_t savedWall_ = 0;
};

int64_t utcMs(int year, int month, int day, int hour, int minute, int second = 0, int ms = 0) {
  SYSTEMTIME st{static_cast<WORD>(year), static_cast<WORD>(month), 0, static_cast<WORD>(day),
                static_cast<WORD>(hour), static_cast<WORD>(minute), static_cast<WORD>(second), static_cast<WORD>(ms)};
  int64_t out = 0;
  EXPECT_TRUE(plat::time::fromSystemTime(st, out));
  return out;
}

std::string text(const SYSTEMTIME& st) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04u-%02u-%02u %02u:%02u:%02u.%03u w%u", st.wYear, st.wMonth, st.wDay,
                st.wHour, st.wMinute, st.wSecond, st.wMilliseconds, st.wDayOfWeek);
  return buffer;
}

SYSTEMTIME rule(WORD month, WORD dayOfWeek, WORD week, WORD hour) { return {0, month, dayOfWeek, week, hour, 0, 0, 0}; }

TIME_ZONE_INFORMATION centralEurope() {
  TIME_ZONE_INFORMATION zone{};
  zone.Bias = -60;
  zone.DaylightBias = -60;
  zone.StandardDate = rule(10, 0, 5, 3);  // last Sunday of October, 03:00 daylight time
  zone.DaylightDate = rule(3, 0, 5, 2);   // last Sunday of March, 02:00 standard time
  std::u16string s = u"W. Europe Standard Time", d = u"W. Europe Daylight Time";
  s.copy(zone.StandardName, s.size());
  d.copy(zone.DaylightName, d.size());
  return zone;
}

TIME_ZONE_INFORMATION eastAustralia() {
  TIME_ZONE_INFORMATION zone{};
  zone.Bias = -600;
  zone.DaylightBias = -60;
  zone.StandardDate = rule(4, 0, 1, 3);   // first Sunday of April, 03:00 daylight time
  zone.DaylightDate = rule(10, 0, 1, 2);  // first Sunday of October, 02:00 standard time
  return zone;
}

struct ZoneCase {
  int64_t utc;
  const char* local;
  DWORD id;
};

void checkZone(const TIME_ZONE_INFORMATION& zone, const std::vector<ZoneCase>& cases) {
  ASSERT_TRUE(SetTimeZoneInformation(&zone));
  for (const auto& c : cases) {
    plat::clock::setWallMs(c.utc);
    SYSTEMTIME local;
    GetLocalTime(&local);
    EXPECT_EQ(text(local), c.local) << "utc ms " << c.utc;
    TIME_ZONE_INFORMATION info;
    EXPECT_EQ(GetTimeZoneInformation(&info), c.id) << c.local;
  }
}

TEST_F(TimeTest, EuropeanDaylightTimeSwitchesAtTheExactInstants) {
  checkZone(centralEurope(),
            {
                {utcMs(2026, 1, 15, 12, 0), "2026-01-15 13:00:00.000 w4", TIME_ZONE_ID_STANDARD},
                {utcMs(2026, 3, 29, 0, 59, 59, 999), "2026-03-29 01:59:59.999 w0", TIME_ZONE_ID_STANDARD},
                {utcMs(2026, 3, 29, 1, 0), "2026-03-29 03:00:00.000 w0", TIME_ZONE_ID_DAYLIGHT},
                {utcMs(2026, 7, 1, 22, 30), "2026-07-02 00:30:00.000 w4", TIME_ZONE_ID_DAYLIGHT},
                {utcMs(2026, 10, 25, 0, 59, 59, 999), "2026-10-25 02:59:59.999 w0", TIME_ZONE_ID_DAYLIGHT},
                {utcMs(2026, 10, 25, 1, 0), "2026-10-25 02:00:00.000 w0", TIME_ZONE_ID_STANDARD},
                {utcMs(2026, 12, 31, 23, 30), "2027-01-01 00:30:00.000 w5", TIME_ZONE_ID_STANDARD},
                // 2027: the last Sundays are 28 March and 31 October (a month with five Sundays).
                {utcMs(2027, 3, 28, 1, 0), "2027-03-28 03:00:00.000 w0", TIME_ZONE_ID_DAYLIGHT},
                {utcMs(2027, 10, 31, 0, 59), "2027-10-31 02:59:00.000 w0", TIME_ZONE_ID_DAYLIGHT},
                {utcMs(2027, 10, 31, 1, 0), "2027-10-31 02:00:00.000 w0", TIME_ZONE_ID_STANDARD},
            });
}

TEST_F(TimeTest, SouthernDaylightTimeSpansTheNewYear) {
  checkZone(eastAustralia(),
            {
                {utcMs(2026, 1, 10, 0, 0), "2026-01-10 11:00:00.000 w6", TIME_ZONE_ID_DAYLIGHT},
                // Daylight time ends 5 April 2026 03:00 local daylight time = 4 April 16:00 UTC.
                {utcMs(2026, 4, 4, 15, 59, 59, 999), "2026-04-05 02:59:59.999 w0", TIME_ZONE_ID_DAYLIGHT},
                {utcMs(2026, 4, 4, 16, 0), "2026-04-05 02:00:00.000 w0", TIME_ZONE_ID_STANDARD},
                {utcMs(2026, 7, 1, 0, 0), "2026-07-01 10:00:00.000 w3", TIME_ZONE_ID_STANDARD},
                // It begins 4 October 2026 02:00 local standard time = 3 October 16:00 UTC.
                {utcMs(2026, 10, 3, 15, 59, 59, 999), "2026-10-04 01:59:59.999 w0", TIME_ZONE_ID_STANDARD},
                {utcMs(2026, 10, 3, 16, 0), "2026-10-04 03:00:00.000 w0", TIME_ZONE_ID_DAYLIGHT},
                {utcMs(2026, 12, 31, 13, 0), "2027-01-01 00:00:00.000 w5", TIME_ZONE_ID_DAYLIGHT},
            });
}

TEST_F(TimeTest, ZoneWithoutDaylightRulesIsUnknownAndUsesTheBias) {
  TIME_ZONE_INFORMATION zone{};
  zone.Bias = -330;  // India
  zone.StandardBias = 0;
  checkZone(zone, {{utcMs(2026, 6, 1, 20, 0), "2026-06-02 01:30:00.000 w2", TIME_ZONE_ID_UNKNOWN}});
  TIME_ZONE_INFORMATION zero{};
  checkZone(zero, {{utcMs(2026, 6, 1, 20, 0), "2026-06-01 20:00:00.000 w1", TIME_ZONE_ID_UNKNOWN}});
  EXPECT_EQ(GetTimeZoneInformation(nullptr), TIME_ZONE_ID_INVALID);
  EXPECT_FALSE(SetTimeZoneInformation(nullptr));
}

TEST_F(TimeTest, SetSystemAndLocalTimeMoveTheWallClock) {
  SYSTEMTIME st{2026, 3, 0, 1, 8, 30, 15, 250};
  ASSERT_TRUE(SetSystemTime(&st));
  SYSTEMTIME now;
  GetSystemTime(&now);
  EXPECT_EQ(text(now), "2026-03-01 08:30:15.250 w0");
  plat::clock::advance(1000);
  GetSystemTime(&now);
  EXPECT_EQ(text(now), "2026-03-01 08:30:16.250 w0");

  TIME_ZONE_INFORMATION zone = centralEurope();
  SetTimeZoneInformation(&zone);
  SYSTEMTIME local{2026, 7, 0, 14, 12, 0, 0, 0};
  ASSERT_TRUE(SetLocalTime(&local));
  GetSystemTime(&now);
  EXPECT_EQ(text(now), "2026-07-14 10:00:00.000 w2");
  GetLocalTime(&now);
  EXPECT_EQ(text(now), "2026-07-14 12:00:00.000 w2");
  // A reading in the skipped hour is taken as standard time.
  SYSTEMTIME skipped{2026, 3, 0, 29, 2, 30, 0, 0};
  ASSERT_TRUE(SetLocalTime(&skipped));
  EXPECT_EQ(plat::clock::wallMs(), utcMs(2026, 3, 29, 1, 30));

  const SYSTEMTIME bad[] = {
      {2026, 13, 0, 1, 0, 0, 0, 0}, {2026, 2, 0, 29, 0, 0, 0, 0}, {2026, 1, 0, 1, 24, 0, 0, 0},
      {1600, 1, 0, 1, 0, 0, 0, 0},  {2026, 1, 0, 0, 0, 0, 0, 0},  {2026, 1, 0, 1, 0, 0, 0, 1000},
  };
  int64_t before = plat::clock::wallMs();
  for (const auto& b : bad) {
    EXPECT_FALSE(SetSystemTime(&b)) << text(b);
    EXPECT_FALSE(SetLocalTime(&b)) << text(b);
  }
  EXPECT_EQ(plat::clock::wallMs(), before);
  SYSTEMTIME leap{2024, 2, 0, 29, 0, 0, 0, 0};
  EXPECT_TRUE(SetSystemTime(&leap));
}

TEST_F(TimeTest, FileTimeConversions) {
  const struct {
    SYSTEMTIME time;
    uint64_t ticks;
  } cases[] = {
      {{1601, 1, 1, 1, 0, 0, 0, 0}, 0},
      {{1970, 1, 4, 1, 0, 0, 0, 0}, 116444736000000000ull},
      {{2000, 2, 2, 29, 23, 59, 59, 999}, 125963423999990000ull},
      {{2026, 12, 4, 31, 12, 0, 0, 0}, 134431920000000000ull},
  };
  for (const auto& c : cases) {
    FILETIME ft{};
    ASSERT_TRUE(SystemTimeToFileTime(&c.time, &ft));
    EXPECT_EQ((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime, c.ticks) << text(c.time);
    SYSTEMTIME back{};
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
    EXPECT_EQ(text(back), text(c.time));
  }
  SYSTEMTIME bad{2026, 2, 0, 30, 0, 0, 0, 0};
  FILETIME ft{};
  EXPECT_FALSE(SystemTimeToFileTime(&bad, &ft));
  FILETIME huge{0, 0x80000000u};
  SYSTEMTIME out;
  EXPECT_FALSE(FileTimeToSystemTime(&huge, &out));

  TIME_ZONE_INFORMATION zone = centralEurope();
  SetTimeZoneInformation(&zone);
  plat::clock::setWallMs(utcMs(2026, 7, 1, 0, 0));  // daylight time now: UTC+2
  SYSTEMTIME noon{2026, 1, 0, 15, 12, 0, 0, 0};
  SystemTimeToFileTime(&noon, &ft);
  FILETIME local{}, again{};
  ASSERT_TRUE(FileTimeToLocalFileTime(&ft, &local));
  FileTimeToSystemTime(&local, &out);
  // The bias in force now applies, even to a winter date, as on the device.
  EXPECT_EQ(text(out), "2026-01-15 14:00:00.000 w4");
  ASSERT_TRUE(LocalFileTimeToFileTime(&local, &again));
  EXPECT_EQ(again.dwLowDateTime, ft.dwLowDateTime);
  EXPECT_EQ(again.dwHighDateTime, ft.dwHighDateTime);
  FILETIME early{0, 0};
  EXPECT_FALSE(LocalFileTimeToFileTime(&early, &again));  // before 1601 in UTC
}

TEST_F(TimeTest, TheZoneIsKeptInTheRegistryAcrossStartups) {
  char pattern[] = "/tmp/hu-time-XXXXXX";
  std::filesystem::path root = mkdtemp(pattern);
  plat::Options options;
  options.unitRoot = root.string();
  plat::startup(options);
  TIME_ZONE_INFORMATION zone = centralEurope();
  ASSERT_TRUE(SetTimeZoneInformation(&zone));
  plat::shutdown();
  TIME_ZONE_INFORMATION utc{};
  SetTimeZoneInformation(&utc);
  plat::startup(options);
  TIME_ZONE_INFORMATION info{};
  GetTimeZoneInformation(&info);
  EXPECT_EQ(info.Bias, -60);
  EXPECT_EQ(std::u16string(info.StandardName), u"W. Europe Standard Time");
  EXPECT_EQ(info.DaylightDate.wMonth, 3);
  plat::shutdown();
  // A unit without a registry starts in UTC.
  plat::startup(plat::Options{});
  GetTimeZoneInformation(&info);
  EXPECT_EQ(info.Bias, 0);
  EXPECT_EQ(info.StandardDate.wMonth, 0);
  plat::shutdown();
  std::filesystem::remove_all(root);
}

}  // namespace
