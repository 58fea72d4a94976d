// Start-up settings applied from the configuration store, and the time-zone list built from
// the registry and the display names of the system language.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "app/config.h"
#include "app/startup.h"
#include "platform_fixture.h"
#include "services/utility.h"
#include "windows.h"

namespace fs = std::filesystem;

namespace {

class StartupTest : public hu::test::PlatformFixture {
 protected:
  void SetUp() override {
    freezeClock_ = false;
    PlatformFixture::SetUp();
    plat::registry::clear();
    fs::create_directories(hostPath("Windows"));
    fs::create_directories(hostPath("GPSData"));
    GetTimeZoneInformation(&savedZone_);
  }
  void TearDown() override {
    SetTimeZoneInformation(&savedZone_);
    PlatformFixture::TearDown();
  }
  void write(const std::string& relative, const std::string& text) {
    std::ofstream(hostPath(relative), std::ios::binary) << text;
  }
  int value(CConfig& config, LPCWSTR key) {
    int v = -12345;
    config.GetValue(key, &v);
    return v;
  }
  TIME_ZONE_INFORMATION savedZone_ = {};
};

TEST_F(StartupTest, MissingSettingsAreAppliedWithTheirDefaultsAndStored) {
  write("GPSData/Config.xml", "<CONFIG>\r\n<CURRENT_LANGUAGE Value=\"1033\"/>\r\n</CONFIG>\r\n");
  CConfig config;
  ASSERT_EQ(config.Open(), 1);
  CUtility utility;
  app::ApplyStartupSettings(config, utility);
  EXPECT_EQ(utility.GetVolume(), 8);
  CConfig reread;
  ASSERT_EQ(reread.Open(), 1);
  EXPECT_EQ(value(reread, u"VOLUME_LEVEL"), 8);
  EXPECT_EQ(value(reread, u"GBL_MUTE"), 0);
  EXPECT_EQ(value(reread, u"KEYTONE_LEVEL"), 1);
  EXPECT_EQ(value(reread, u"BT_POWEROFF_CHECK"), 0);
  EXPECT_EQ(GetUserDefaultUILanguage(), 1033);
}

TEST_F(StartupTest, MuteSetsTheVolumeToZeroAndARefusedLanguageFallsBackTo1033) {
  write("GPSData/Config.xml",
        "<CONFIG><CURRENT_LANGUAGE Value=\"0\"/><VOLUME_LEVEL Value=\"12\"/><GBL_MUTE Value=\"1\"/>"
        "<KEYTONE_LEVEL Value=\"0\"/><BT_POWEROFF_CHECK Value=\"1\"/></CONFIG>");
  CConfig config;
  ASSERT_EQ(config.Open(), 1);
  CUtility utility;
  app::ApplyStartupSettings(config, utility);
  EXPECT_EQ(utility.GetVolume(), 0);
  EXPECT_EQ(GetUserDefaultUILanguage(), 1033);
  CConfig reread;
  ASSERT_EQ(reread.Open(), 1);
  EXPECT_EQ(value(reread, u"CURRENT_LANGUAGE"), 1033);
  EXPECT_EQ(value(reread, u"VOLUME_LEVEL"), 12);  // muting does not forget the level
  EXPECT_EQ(value(reread, u"BT_POWEROFF_CHECK"), 1);
}

const char kZones[] =
    "REGEDIT4\r\n"
    "[HKEY_LOCAL_MACHINE\\Time Zones\\Caucasus Standard Time]\r\n"
    "\"Display\"=\"(GMT+04:00) Yerevan\"\r\n\"Std\"=\"Caucasus Standard Time\"\r\n"
    "\"Dlt\"=\"Caucasus Daylight Time\"\r\n"
    "\"TZI\"=hex:10,ff,ff,ff,00,00,00,00,c4,ff,ff,ff,00,00,0a,00,00,00,05,00,03,00,00,00,00,00,00,00,\\\r\n"
    "  00,00,03,00,00,00,05,00,02,00,00,00,00,00,00,00\r\n"
    "[HKEY_LOCAL_MACHINE\\Time Zones\\Nowhere Standard Time]\r\n"
    "\"Display\"=\"(GMT+13:37) Nowhere\"\r\n\"Std\"=\"Nowhere Standard Time\"\r\n"
    "\"TZI\"=hex:01,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,\\\r\n"
    "  00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00\r\n";

bool twoNames(int index, WCHAR* buffer, void*) {
  if (index == 63) lstrcpyW(buffer, u"(GMT+04:00) Yerevan");
  else if (index == 64) lstrcpyW(buffer, u"(GMT+05:00) Tashkent");
  else return false;
  return true;
}

TEST_F(StartupTest, TimeZoneListTakesOnlySubkeysWhoseDisplayNameIsListed) {
  plat::registry::loadText(kZones);
  TIME_ZONE_INFORMATION list[app::kTimeZoneCount];
  app::BuildTimeZoneList(list, twoNames, nullptr);
  EXPECT_EQ(list[63].Bias, -240);
  EXPECT_EQ(list[63].DaylightBias, -60);
  EXPECT_EQ(std::u16string(list[63].StandardName), u"Caucasus Standard Time");
  EXPECT_EQ(std::u16string(list[63].DaylightName), u"Caucasus Daylight Time");
  EXPECT_EQ(list[63].StandardDate.wMonth, 10);
  EXPECT_EQ(list[63].StandardDate.wDay, 5);
  EXPECT_EQ(list[63].DaylightDate.wMonth, 3);
  // The unlisted "Nowhere" changed nothing; entry 64 had no subkey and stays all zero.
  TIME_ZONE_INFORMATION zero = {};
  for (int i = 0; i < app::kTimeZoneCount; ++i) {
    if (i == 63) continue;
    EXPECT_EQ(std::memcmp(&list[i], &zero, sizeof(zero)), 0) << i;
  }
}

TEST_F(StartupTest, NoTimeZoneKeyLeavesTheZoneAndAnOutOfRangeIndexIsRefused) {
  write("GPSData/Config.xml", "<CONFIG/>");
  CConfig config;
  ASSERT_EQ(config.Open(), 1);
  EXPECT_FALSE(app::ApplyTimeZone(config));
  config.SetValue(u"TIME_ZONE", 100);
  EXPECT_FALSE(app::ApplyTimeZone(config));
  EXPECT_TRUE(consoleHas("TIME_ZONE 100 is outside the time-zone list"));
}

TEST_F(StartupTest, TimeZoneFromTheLanguageModuleAndTheRegistryIsSet) {
  // The system language's module names entry 63; an entry nothing filled sets an empty zone.
  write("Windows/language.xml", "<LANGUAGES><LANGUAGE LANGID=\"1033\">lang.rc</LANGUAGE></LANGUAGES>");
  write("Windows/lang.rc",
        "STRINGTABLE\r\nBEGIN\r\n  32831, \"(GMT+04:00) Yerevan\"\r\n  32832, \"(GMT+05:00) Tashkent\"\r\nEND\r\n");
  SetUserDefaultUILanguage(1033);
  plat::registry::loadText(kZones);
  write("GPSData/Config.xml", "<CONFIG><TIME_ZONE Value=\"63\"/></CONFIG>");
  CConfig config;
  ASSERT_EQ(config.Open(), 1);
  ASSERT_TRUE(app::ApplyTimeZone(config));
  TIME_ZONE_INFORMATION zone = {};
  GetTimeZoneInformation(&zone);
  EXPECT_EQ(zone.Bias, -240);
  EXPECT_EQ(std::u16string(zone.StandardName), u"Caucasus Standard Time");

  // Entry 64 is named but no subkey filled it: an all-zero zone would be UTC with blank names,
  // kept by the registry for good. The zone stays as it is.
  config.SetValue(u"TIME_ZONE", 64);
  EXPECT_FALSE(app::ApplyTimeZone(config));
  GetTimeZoneInformation(&zone);
  EXPECT_EQ(zone.Bias, -240);
  EXPECT_EQ(std::u16string(zone.StandardName), u"Caucasus Standard Time");
  EXPECT_TRUE(consoleHas("TIME_ZONE 64: no \\Time Zones entry matches its name, zone unchanged"));
}

TEST_F(StartupTest, ABadLanguageModuleLeavesTheTimeZoneAlone) {
  SetUserDefaultUILanguage(1033);
  plat::registry::loadText(kZones);
  write("GPSData/Config.xml", "<CONFIG><TIME_ZONE Value=\"63\"/></CONFIG>");
  TIME_ZONE_INFORMATION before = {};
  before.Bias = -60;
  lstrcpyW(before.StandardName, u"Before Standard Time");
  SetTimeZoneInformation(&before);
  struct Case {
    const char* what;
    const char* language;  // language.xml
    const char* module;    // lang.rc; nullptr: no such file
  } cases[] = {
      {"missing module", "<LANGUAGES><LANGUAGE LANGID=\"1033\">lang.rc</LANGUAGE></LANGUAGES>", nullptr},
      {"empty module", "<LANGUAGES><LANGUAGE LANGID=\"1033\">lang.rc</LANGUAGE></LANGUAGES>", ""},
      {"malformed module", "<LANGUAGES><LANGUAGE LANGID=\"1033\">lang.rc</LANGUAGE></LANGUAGES>",
       "STRINGTABLE\r\nBEGIN\r\n  32831, \"(GMT+04:00) Yere"},
      {"no language listed", "<LANGUAGES/>", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    clearConsole();
    write("Windows/language.xml", c.language);
    fs::remove(hostPath("Windows/lang.rc"));
    if (c.module) write("Windows/lang.rc", c.module);
    CConfig config;
    ASSERT_EQ(config.Open(), 1);
    EXPECT_FALSE(app::ApplyTimeZone(config));
    TIME_ZONE_INFORMATION zone = {};
    GetTimeZoneInformation(&zone);
    EXPECT_EQ(zone.Bias, -60);
    EXPECT_EQ(std::u16string(zone.StandardName), u"Before Standard Time");
    EXPECT_TRUE(consoleHas("TIME_ZONE 63: the language module holds no time-zone names, zone unchanged"));
  }
}

TEST_F(StartupTest, FoldersOthersMayWriteAreNamedOnTheConsole) {
  const int cases[][3] = {{0755, 0755, 0}, {0777, 0755, 1}, {0755, 0757, 1}, {01777, 0777, 2}};  // root, data, named
  for (auto [root, data, named] : cases) {
    ::chmod(unitRoot().c_str(), root), ::chmod(hostPath("GPSData").c_str(), data);
    EXPECT_EQ(app::ReportFoldersOthersMayWrite(), named) << std::oct << root << " " << data;
  }
  EXPECT_TRUE(consoleHas("GPSData can be written by every user (mode 0777)"));
}

}  // namespace
