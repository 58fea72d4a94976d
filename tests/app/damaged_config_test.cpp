// A damaged settings file is kept before anything replaces it, and the unit comes up whatever
// its settings files hold: from the factory copy, else from built-in defaults.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <unistd.h>

#include <chrono>
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

class DamagedConfigTest : public hu::test::UnitRootFixture {
 protected:
  std::string tempPrefix() const override { return "hu-damaged-"; }
  void prepareUnit(const fs::path& root) override {
    fs::create_directories(root / "Windows");
    fs::create_directories(root / "GPSData");
  }
  void write(const fs::path& relative, const std::string& text) {
    std::ofstream(root_ / relative, std::ios::binary) << text;
  }
  std::string read(const fs::path& path) { return hu::test::readFile(path); }
  // Names in GPSData that start with "Config.xml.damaged-".
  std::vector<fs::path> keptCopies() {
    std::vector<fs::path> kept;
    for (auto& entry : fs::directory_iterator(root_ / "GPSData"))
      if (entry.path().filename().string().rfind("Config.xml.damaged-", 0) == 0) kept.push_back(entry.path());
    return kept;
  }
  bool logged(const std::string& part) {
    for (auto& line : lines_)
      if (line.find(part) != std::string::npos) return true;
    return false;
  }
  int value(CConfig& config, LPCWSTR key) {
    int v = -1;
    config.GetValue(key, &v);
    return v;
  }
};

const char kFactory[] = "<CONFIG><VOLUME_LEVEL Value=\"5\"/></CONFIG>";
const char kUsers[] =
    "<CONFIG><VOLUME_LEVEL Value=\"11\"/><TIME_ZONE Value=\"63\"/><GPS_MAPPATH>\\SD\\nav.exe</GPS_MAPPATH>";

TEST_F(DamagedConfigTest, ATruncatedFileIsKeptBesideItBeforeTheFactoryCopyReplacesIt) {
  write("Windows/Config.bak", kFactory);
  write("GPSData/Config.xml", kUsers);  // cut before "</CONFIG>"
  CConfig config;
  ASSERT_EQ(config.Open(), 1);
  EXPECT_EQ(value(config, u"VOLUME_LEVEL"), 5);
  auto kept = keptCopies();
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(read(kept[0]), kUsers);  // every byte the user had
  EXPECT_TRUE(logged("cannot be read or parsed")) << "the console says the file was damaged";
  EXPECT_TRUE(logged("is kept as " + kept[0].filename().string()));
  EXPECT_TRUE(logged("restored from"));
}

TEST_F(DamagedConfigTest, OnlyAFewCopiesAreKeptAndTheNewestSurvive) {
  write("Windows/Config.bak", kFactory);
  for (int round = 0; round < plat::kDamagedCopiesKept + 3; ++round) {
    write("GPSData/Config.xml", "garbage " + std::to_string(round));
    CConfig config;
    ASSERT_EQ(config.Open(), 1);
  }
  auto kept = keptCopies();
  ASSERT_EQ(kept.size(), static_cast<size_t>(plat::kDamagedCopiesKept));
  // Oldest first: the last kDamagedCopiesKept rounds, in order.
  auto ordered = plat::damagedCopies((root_ / "GPSData/Config.xml").string());
  ASSERT_EQ(ordered.size(), kept.size());
  for (int i = 0; i < plat::kDamagedCopiesKept; ++i)
    EXPECT_EQ(read(ordered[i]), "garbage " + std::to_string(3 + i)) << ordered[i];
}

TEST_F(DamagedConfigTest, AnUnreadableFileIsKeptWhole) {
  if (::geteuid() == 0) {
    // Root reads everything; take the unreadable case as a file made of bytes that are not XML.
    write("GPSData/Config.xml", std::string("\0\xff\xfe<CONFIG", 10));
  } else {
    write("GPSData/Config.xml", kUsers);
    fs::permissions(root_ / "GPSData/Config.xml", fs::perms::none);
  }
  write("Windows/Config.bak", kFactory);
  CConfig config;
  ASSERT_EQ(config.Open(), 1);
  EXPECT_EQ(keptCopies().size(), 1u);
  EXPECT_EQ(value(config, u"VOLUME_LEVEL"), 5);
}

TEST_F(DamagedConfigTest, DamagedFactoryCopyBootsOnBuiltInDefaultsAndWritesAFreshFile) {
  write("Windows/Config.bak", "<CONFIG><VOLUME_LEVEL");
  write("GPSData/Config.xml", kUsers);
  fs::create_directories(root_ / "Windows/SkinB");
  fs::create_directories(root_ / "Windows/SkinA");
  fs::create_directories(root_ / "Windows/Empty");
  write("Windows/SkinB/image.xml", "<IMAGES/>");
  write("Windows/SkinA/image.xml", "<IMAGES/>");
  {
    CConfig config;
    ASSERT_EQ(config.Open(), 1);
    EXPECT_EQ(value(config, u"VOLUME_LEVEL"), 8);
    EXPECT_EQ(value(config, u"KEYTONE_LEVEL"), 1);
    EXPECT_EQ(value(config, u"CURRENT_LANGUAGE"), 1033);
    WCHAR skin[MAX_PATH];
    ASSERT_EQ(config.GetSkinPath(skin), 1);
    EXPECT_EQ(std::u16string(skin), u"SkinA");  // a folder that holds a skin, the first by name
    EXPECT_EQ(config.GetValue(u"TIME_ZONE", nullptr), 0);
  }
  EXPECT_EQ(keptCopies().size(), 1u);
  EXPECT_EQ(read(keptCopies()[0]), kUsers);
  EXPECT_EQ(read(root_ / "Windows/Config.bak"), "<CONFIG><VOLUME_LEVEL");  // the factory copy is not ours to change
  EXPECT_TRUE(logged("factory copy"));
  EXPECT_TRUE(logged("built-in defaults"));
  // The next start loads the fresh file and needs neither copy.
  lines_.clear();
  CConfig next;
  ASSERT_EQ(next.Open(), 1);
  EXPECT_EQ(value(next, u"VOLUME_LEVEL"), 8);
  EXPECT_FALSE(logged("built-in defaults"));
  EXPECT_EQ(keptCopies().size(), 1u);
}

TEST_F(DamagedConfigTest, MissingFileWithDamagedFactoryCopyAlsoBootsOnDefaults) {
  write("Windows/Config.bak", "garbage");
  CConfig config;
  ASSERT_EQ(config.Open(), 1);
  EXPECT_EQ(value(config, u"VOLUME_LEVEL"), 8);
  EXPECT_TRUE(fs::exists(root_ / "GPSData/Config.xml"));
  EXPECT_TRUE(keptCopies().empty());  // nothing of the user's was there to keep
}

TEST_F(DamagedConfigTest, AFolderInPlaceOfTheFileIsNamedOnTheConsoleAndLeftAlone) {
  write("Windows/Config.bak", kFactory);
  fs::create_directories(root_ / "GPSData/Config.xml/inside");
  CConfig config;
  ASSERT_EQ(config.Open(), 1);
  EXPECT_TRUE(logged("Config.xml is a folder"));
  EXPECT_TRUE(fs::is_directory(root_ / "GPSData/Config.xml/inside"));
  int volume = 8;
  EXPECT_EQ(config.GetValue(u"VOLUME_LEVEL", &volume), 0);
  fs::remove_all(root_ / "GPSData/Config.xml");  // a named pipe, likewise
  ASSERT_EQ(::mkfifo((root_ / "GPSData/Config.xml").c_str(), 0644), 0);
  ASSERT_EQ(CConfig().Open(), 1);
  EXPECT_TRUE(logged("Config.xml is a named pipe (FIFO), not a file: running on defaults"));
  EXPECT_TRUE(fs::is_fifo(root_ / "GPSData/Config.xml"));
}

TEST_F(DamagedConfigTest, RestoringTheFactoryCopyLeavesNoTemporaryFile) {
  write("Windows/Config.bak", kFactory);
  write("GPSData/Config.xml", "garbage");
  CConfig config;
  ASSERT_EQ(config.Open(), 1);
  for (auto& entry : fs::directory_iterator(root_ / "GPSData"))
    EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();
}

TEST_F(DamagedConfigTest, TemporaryFilesOfAKilledSaveAreRemovedAtStartOthersKept) {
  // One of a writer that is gone (a pid above any the system hands out), one of this process
  // (a save in flight), one without a pid, older than the process.
  write("GPSData/Config.xml.tmp-999999999-AbCdEf", "half");
  write("GPSData/Config.xml.tmp-" + std::to_string(::getpid()) + "-XyZ123", "in flight");
  write("GPSData/All_Playlist.xml.tmp-QwErTy", "half");
  fs::last_write_time(root_ / "GPSData/All_Playlist.xml.tmp-QwErTy",
                      fs::file_time_type::clock::now() - std::chrono::hours(24 * 365));
  write("GPSData/notes.tmp", "not ours");
  CConfig config;
  EXPECT_FALSE(fs::exists(root_ / "GPSData/Config.xml.tmp-999999999-AbCdEf"));
  EXPECT_FALSE(fs::exists(root_ / "GPSData/All_Playlist.xml.tmp-QwErTy"));
  EXPECT_TRUE(fs::exists(root_ / ("GPSData/Config.xml.tmp-" + std::to_string(::getpid()) + "-XyZ123")));
  EXPECT_TRUE(fs::exists(root_ / "GPSData/notes.tmp"));
}

}  // namespace
