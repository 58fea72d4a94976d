// The configuration store against a temporary unit: restore from the factory copy, defaults,
// key creation, lenient numbers, skin lookup and saves that survive a failed write.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/config.h"
#include "unit_root_fixture.h"
#include "windows.h"

namespace fs = std::filesystem;

namespace {

class ConfigTest : public hu::test::UnitRootFixture {
 protected:
  std::string tempPrefix() const override { return "hu-config-"; }
  void prepareUnit(const fs::path& root) override {
    fs::create_directories(root / "Windows");
    fs::create_directories(root / "GPSData");
  }
  void write(const fs::path& relative, const std::string& text) {
    std::ofstream(root_ / relative, std::ios::binary) << text;
  }
  std::string read(const fs::path& relative) { return hu::test::readFile(root_ / relative); }
  bool exists(const fs::path& relative) { return fs::exists(root_ / relative); }
};

const char kFactory[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<CONFIG>\r\n<VOLUME_LEVEL Value=\"5\"/>\r\n"
    "<CURRENT_SKIN Value=\"1\"/>\r\n<SKIN1>Skin800x480</SKIN1>\r\n</CONFIG>\r\n";

TEST_F(ConfigTest, DataFolderComesFromTheRegistryElseGpsDataElseTheModuleFolder) {
  WCHAR folder[MAX_PATH];
  CConfig::GetDataFolder(folder);
  EXPECT_EQ(std::u16string(folder), u"\\GPSData");

  fs::create_directories(root_ / "NandFlash");
  plat::registry::loadText(
      "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\FlashDrv\\ROFATFS]\r\n"
      "\"Folder\"=\"NandFlash\"\r\n");
  CConfig::GetDataFolder(folder);
  EXPECT_EQ(std::u16string(folder), u"\\NandFlash");

  fs::remove_all(root_ / "NandFlash");
  fs::remove_all(root_ / "GPSData");
  CConfig::GetDataFolder(folder);
  EXPECT_EQ(std::u16string(folder), u"\\Windows");
}

TEST_F(ConfigTest, OpenRestoresAMissingOrBrokenFileFromTheFactoryCopy) {
  write("Windows/Config.bak", kFactory);
  write("GPSData/Config.xml", "<CONFIG><VOLUME_LEVEL Value=\"3\"></CONFIG>");  // not well formed
  CConfig config;
  ASSERT_EQ(config.Open(), 1);
  int volume = -1;
  EXPECT_EQ(config.GetValue(u"VOLUME_LEVEL", &volume), 1);
  EXPECT_EQ(volume, 5);
  EXPECT_EQ(read("GPSData/Config.xml"), kFactory);
}


TEST_F(ConfigTest, NoFileAndNoFactoryCopyRunsOnDefaultsAndWritesNothing) {
  CConfig config;
  EXPECT_EQ(config.Open(), 1);
  int volume = 8;
  EXPECT_EQ(config.GetValue(u"VOLUME_LEVEL", &volume), 0);
  EXPECT_EQ(volume, 8);
  config.SetValue(u"VOLUME_LEVEL", 3);
  config.Save();
  EXPECT_FALSE(exists("GPSData/Config.xml"));
  WCHAR text[MAX_PATH] = u"untouched";
  EXPECT_EQ(config.GetString(u"GPS_MAPPATH", text), 0);
  EXPECT_EQ(text[0], 0);
}

TEST_F(ConfigTest, MissingKeyIsCreatedWithABlankTextAndSaved) {
  write("GPSData/Config.xml", "<CONFIG>\r\n<GBL_MUTE Value=\"0\"/>\r\n</CONFIG>\r\n");
  CConfig config;
  ASSERT_EQ(config.Open(), 1);
  int volume = 8;
  EXPECT_EQ(config.GetValue(u"VOLUME_LEVEL", &volume), 0);
  config.SetValue(u"VOLUME_LEVEL", 8);
  config.Save();
  std::string saved = read("GPSData/Config.xml");
  EXPECT_NE(saved.find("<VOLUME_LEVEL Value=\"8\"> </VOLUME_LEVEL>"), std::string::npos) << saved;
  EXPECT_NE(saved.find("<GBL_MUTE Value=\"0\"/>"), std::string::npos) << saved;

  CConfig again;
  ASSERT_EQ(again.Open(), 1);
  volume = 0;
  EXPECT_EQ(again.GetValue(u"VOLUME_LEVEL", &volume), 1);
  EXPECT_EQ(volume, 8);
}

TEST_F(ConfigTest, ExistingKeyIsUpdatedWithAConsoleLine) {
  write("GPSData/Config.xml", "<CONFIG><KEYTONE_LEVEL Value=\"1\"/></CONFIG>");
  CConfig config;
  ASSERT_EQ(config.Open(), 1);
  config.SetValue(u"KEYTONE_LEVEL", 4);
  ASSERT_FALSE(lines_.empty());
  EXPECT_EQ(lines_.back(), "CConfig4\n");
  int level = 0;
  config.GetValue(u"KEYTONE_LEVEL", &level);
  EXPECT_EQ(level, 4);
}

TEST_F(ConfigTest, NumbersAreReadLeniently) {
  write("GPSData/Config.xml",
        "<CONFIG><A Value=\"12abc\"/><B Value=\"abc\"/><C Value=\"  -7\"/><D/></CONFIG>");
  CConfig config;
  ASSERT_EQ(config.Open(), 1);
  struct Case {
    const WCHAR* key;
    int expected;
  } cases[] = {{u"A", 12}, {u"B", 0}, {u"C", -7}, {u"D", 0}};
  for (const auto& c : cases) {
    int value = 99;
    EXPECT_EQ(config.GetValue(c.key, &value), 1);
    EXPECT_EQ(value, c.expected) << plat::utf16ToUtf8(c.key);
  }
}

TEST_F(ConfigTest, SkinPathNeedsCurrentSkinAndANonEmptyName) {
  struct Case {
    const char* doc;
    int result;
    const char16_t* name;
  } cases[] = {
      {"<CONFIG><CURRENT_SKIN Value=\"1\"/><SKIN1>Skin800x480</SKIN1></CONFIG>", 1, u"Skin800x480"},
      {"<CONFIG><CURRENT_SKIN Value=\"2\"/><SKIN1>Skin800x480</SKIN1></CONFIG>", 0, u""},
      {"<CONFIG><CURRENT_SKIN Value=\"2\"/><SKIN2></SKIN2></CONFIG>", 0, u""},
      {"<CONFIG><SKIN1>Skin800x480</SKIN1></CONFIG>", 0, u""},
  };
  for (const auto& c : cases) {
    write("GPSData/Config.xml", c.doc);
    CConfig config;
    ASSERT_EQ(config.Open(), 1);
    WCHAR name[MAX_PATH] = u"x";
    EXPECT_EQ(config.GetSkinPath(name), c.result) << c.doc;
    EXPECT_EQ(std::u16string(name), c.name) << c.doc;
  }
}

TEST_F(ConfigTest, StringsAreCutToTheCallersBuffer) {
  write("GPSData/Config.xml", "<CONFIG/>");
  CConfig config;
  ASSERT_EQ(config.Open(), 1);
  std::u16string longPath(400, u'a');
  config.SetString(u"GPS_MAPPATH", longPath.c_str());
  WCHAR buffer[MAX_PATH + 8];
  for (auto& c : buffer) c = u'#';
  EXPECT_EQ(config.GetString(u"GPS_MAPPATH", buffer), 1);
  EXPECT_EQ(std::u16string(buffer).size(), static_cast<size_t>(MAX_PATH - 1));
  EXPECT_EQ(buffer[MAX_PATH], u'#');  // nothing written past the buffer
}

TEST_F(ConfigTest, LoadDropsUnsavedChanges) {
  write("GPSData/Config.xml", "<CONFIG><VOLUME_LEVEL Value=\"2\"/></CONFIG>");
  CConfig config;
  ASSERT_EQ(config.Open(), 1);
  config.SetValue(u"VOLUME_LEVEL", 9);
  config.Load();
  int volume = 0;
  config.GetValue(u"VOLUME_LEVEL", &volume);
  EXPECT_EQ(volume, 2);
}

TEST_F(ConfigTest, UnknownElementsAndCommentsSurviveASave) {
  const std::string doc =
      "<?xml version=\"1.0\"?>\r\n<!-- factory -->\r\n<CONFIG>\r\n<OEM_THING a=\"1\">x</OEM_THING>\r\n"
      "<VOLUME_LEVEL Value=\"2\"/>\r\n</CONFIG>\r\n";
  write("GPSData/Config.xml", doc);
  CConfig config;
  ASSERT_EQ(config.Open(), 1);
  config.SetValue(u"VOLUME_LEVEL", 6);
  config.Save();
  std::string expected = doc;
  expected.replace(expected.find("Value=\"2\""), 9, "Value=\"6\"");
  EXPECT_EQ(read("GPSData/Config.xml"), expected);
}

TEST_F(ConfigTest, SaveReplacesTheFileInsteadOfRewritingIt) {
  // A power cut during a save must leave the old file or the new one, never half of one: the
  // store writes a new file and renames it over the old. A hard link to the old file shows
  // it: rewriting in place would change what the link sees, replacing does not.
  const std::string doc = "<CONFIG><VOLUME_LEVEL Value=\"2\"/></CONFIG>";
  write("GPSData/Config.xml", doc);
  fs::create_hard_link(root_ / "GPSData/Config.xml", root_ / "old-config.xml");
  CConfig config;
  ASSERT_EQ(config.Open(), 1);
  config.SetValue(u"VOLUME_LEVEL", 6);
  config.Save();
  EXPECT_EQ(read("old-config.xml"), doc);
  EXPECT_EQ(read("GPSData/Config.xml"), "<CONFIG><VOLUME_LEVEL Value=\"6\"/></CONFIG>");
  std::vector<std::string> names;
  for (auto& entry : fs::directory_iterator(root_ / "GPSData")) names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"Config.xml"});  // no temporary file left behind
}

}  // namespace
