// The default unit's time-zone list: the "Time Zones" keys of unit/registry.reg that the launcher
// fills its 100 time-zone records from at start-up. Every key must match one display name of the
// language modules (else the launcher skips it) and carry a well-formed 44-byte rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "windows.h"

namespace {

const std::string kSource = HU_SOURCE_DIR;

struct Tzi {
  LONG bias;
  LONG standardBias;
  LONG daylightBias;
  SYSTEMTIME standardDate;
  SYSTEMTIME daylightDate;
};
static_assert(sizeof(Tzi) == 44);

struct Zone {
  std::u16string display, std, dlt;
  DWORD tziSize = 0;
  Tzi tzi{};
};

// The display names of the English module, in list order (ids 32768 + i).
std::vector<std::u16string> displayNames() {
  std::ifstream in(kSource + "/unit/Windows/lang_en.rc");
  std::vector<std::u16string> names;
  std::string line;
  const std::string marker = "IDS_TIMEZONE_FIRST + ";
  while (std::getline(in, line)) {
    size_t at = line.find(marker);
    if (at == std::string::npos || line.find("#define") != std::string::npos) continue;
    size_t index = std::stoul(line.substr(at + marker.size()));
    size_t open = line.find('"');
    size_t close = line.rfind('"');
    if (open == std::string::npos || close <= open) continue;
    std::string text;
    for (size_t i = open + 1; i < close; ++i) {
      if (line[i] == '"' && i + 1 < close && line[i + 1] == '"') ++i;
      else if (line[i] == '\\' && i + 1 < close) ++i;
      text.push_back(line[i]);
    }
    if (names.size() <= index) names.resize(index + 1);
    names[index] = plat::utf8ToUtf16(text);
  }
  return names;
}

std::u16string readString(HKEY key, const char16_t* name) {
  WCHAR buffer[261] = {};
  DWORD size = sizeof buffer - sizeof(WCHAR);
  DWORD type = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
      type != REG_SZ)
    return u"<missing>";
  return buffer;
}

class TimeZoneRegistryTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(plat::registry::load(kSource + "/unit/registry.reg"));
    // Nothing may ever be written back into the source tree.
    plat::registry::setFile("");
    HKEY root = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Time Zones", 0, KEY_READ, &root), ERROR_SUCCESS);
    for (DWORD index = 0;; ++index) {
      WCHAR name[101];
      DWORD length = 101;
      if (RegEnumKeyExW(root, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      HKEY key = nullptr;
      ASSERT_EQ(RegOpenKeyExW(root, name, 0, KEY_READ, &key), ERROR_SUCCESS);
      Zone zone;
      zone.display = readString(key, u"Display");
      zone.std = readString(key, u"Std");
      zone.dlt = readString(key, u"Dlt");
      BYTE data[64] = {};
      DWORD size = sizeof data;
      DWORD type = 0;
      if (RegQueryValueExW(key, u"TZI", nullptr, &type, data, &size) == ERROR_SUCCESS && type == REG_BINARY) {
        zone.tziSize = size;
        std::memcpy(&zone.tzi, data, sizeof zone.tzi);
      }
      RegCloseKey(key);
      zones()[name] = zone;
    }
    RegCloseKey(root);
  }
  static void TearDownTestSuite() {
    plat::registry::clear();
    plat::registry::setFile("");
  }

  static std::map<std::u16string, Zone>& zones() {
    static std::map<std::u16string, Zone> byKey;
    return byKey;
  }
};

bool isZero(const SYSTEMTIME& t) {
  SYSTEMTIME zero{};
  return std::memcmp(&t, &zero, sizeof t) == 0;
}

bool isDayInMonth(const SYSTEMTIME& t) {
  return t.wYear == 0 && t.wMonth >= 1 && t.wMonth <= 12 && t.wDayOfWeek <= 6 && t.wDay >= 1 && t.wDay <= 5 &&
         t.wHour <= 23 && t.wMinute <= 59 && t.wSecond == 0 && t.wMilliseconds == 0;
}

TEST_F(TimeZoneRegistryTest, EveryListEntryIsFilledByExactlyOneWellFormedZone) {
  std::vector<std::u16string> names = displayNames();
  ASSERT_EQ(names.size(), 100u);
  ASSERT_EQ(zones().size(), 100u);
  std::set<std::u16string> used;
  for (const auto& [key, zone] : zones()) {
    SCOPED_TRACE(plat::utf16ToUtf8(key));
    EXPECT_TRUE(std::find(names.begin(), names.end(), zone.display) != names.end())
        << "no list entry reads \"" << plat::utf16ToUtf8(zone.display) << "\"";
    EXPECT_TRUE(used.insert(zone.display).second) << "display name used twice";
    EXPECT_EQ(zone.std, key);
    EXPECT_LE(zone.std.size(), 31u);
    EXPECT_LE(zone.dlt.size(), 31u);
    EXPECT_FALSE(zone.dlt.empty());
    ASSERT_EQ(zone.tziSize, 44u);
    const Tzi& t = zone.tzi;
    EXPECT_EQ(t.standardBias, 0);
    EXPECT_GE(t.bias, -14 * 60);
    EXPECT_LE(t.bias, 12 * 60);
    if (t.daylightBias == 0) {
      EXPECT_TRUE(isZero(t.standardDate) && isZero(t.daylightDate));
    } else {
      EXPECT_TRUE(isDayInMonth(t.standardDate));
      EXPECT_TRUE(isDayInMonth(t.daylightDate));
      EXPECT_NE(t.standardDate.wMonth, t.daylightDate.wMonth);
    }
  }
  EXPECT_EQ(used.size(), 100u);
}

void expectDate(const SYSTEMTIME& t, WORD month, WORD dayOfWeek, WORD week, WORD hour) {
  EXPECT_EQ(t.wYear, 0);
  EXPECT_EQ(t.wMonth, month);
  EXPECT_EQ(t.wDayOfWeek, dayOfWeek);
  EXPECT_EQ(t.wDay, week);
  EXPECT_EQ(t.wHour, hour);
  EXPECT_EQ(t.wMinute, 0);
}

TEST_F(TimeZoneRegistryTest, KnownZonesCarryTheirRules) {
  auto find = [&](const std::u16string& display) -> const Zone* {
    for (const auto& entry : zones())
      if (entry.second.display == display) return &entry.second;
    return nullptr;
  };
  const Zone* beijing = find(u"(GMT+08:00) Beijing, Chongqing, Hong Kong, Urumqi");
  ASSERT_NE(beijing, nullptr);
  EXPECT_EQ(beijing->std, u"China Standard Time");
  EXPECT_EQ(beijing->tzi.bias, -480);
  EXPECT_EQ(beijing->tzi.daylightBias, 0);
  EXPECT_TRUE(isZero(beijing->tzi.standardDate) && isZero(beijing->tzi.daylightDate));

  // Central Europe: last Sunday of March 2:00 (CET) to last Sunday of October 3:00 (CEST).
  const Zone* berlin = find(u"(GMT+01:00) Amsterdam, Berlin, Bern, Rome, Stockholm, Vienna");
  ASSERT_NE(berlin, nullptr);
  EXPECT_EQ(berlin->tzi.bias, -60);
  EXPECT_EQ(berlin->tzi.daylightBias, -60);
  expectDate(berlin->tzi.daylightDate, 3, 0, 5, 2);
  expectDate(berlin->tzi.standardDate, 10, 0, 5, 3);

  // Eastern Australia: first Sunday of October 2:00 (AEST) to first Sunday of April 3:00 (AEDT).
  const Zone* sydney = find(u"(GMT+10:00) Canberra, Melbourne, Sydney");
  ASSERT_NE(sydney, nullptr);
  EXPECT_EQ(sydney->tzi.bias, -600);
  EXPECT_EQ(sydney->tzi.daylightBias, -60);
  expectDate(sydney->tzi.daylightDate, 10, 0, 1, 2);
  expectDate(sydney->tzi.standardDate, 4, 0, 1, 3);
}

}  // namespace
