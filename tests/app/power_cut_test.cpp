// Power cuts: a child process saves the settings, the registry and a play list in a loop and is
// killed at random moments. After every kill the next start must find each file loadable and
// holding either the content it had before or the newer one, and no temporary file left over.
//
// HU_POWER_CUTS sets the number of kills (default 200); HU_POWER_CUT_SEED repeats a run.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/config.h"
#include "media/play_list_manager.h"
#include "windows.h"

namespace fs = std::filesystem;

namespace {

plat::Options unitOptions(const fs::path& root) {
  plat::Options options;
  options.unitRoot = root.string();
  options.persistRegistry = true;
  return options;
}

std::u16string mapPath(int round) { return u"\\SD\\nav" + plat::utf8ToUtf16(std::to_string(round)) + u".exe"; }

struct Saved {
  int config = -1;
  int registry = -1;
  int playList = -1;
};

int readDword(const char16_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Unit", 0, KEY_READ, &key) != ERROR_SUCCESS) return -1;
  DWORD value = 0, size = sizeof value, type = 0;
  LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  return status == ERROR_SUCCESS && type == REG_DWORD ? static_cast<int>(value) : -1;
}

std::u16string readText(const char16_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Unit", 0, KEY_READ, &key) != ERROR_SUCCESS) return u"<none>";
  WCHAR value[64] = {};
  DWORD size = sizeof value - sizeof(WCHAR), type = 0;
  LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  return status == ERROR_SUCCESS ? std::u16string(value) : u"<none>";
}

void writeRegistry(int round) {
  HKEY key = nullptr;
  RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Unit", 0, nullptr, 0, 0, nullptr, &key, nullptr);
  DWORD value = static_cast<DWORD>(round);
  RegSetValueExW(key, u"Round", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), sizeof value);
  std::u16string check = u"r" + plat::utf8ToUtf16(std::to_string(round));
  RegSetValueExW(key, u"Check", 0, REG_SZ, reinterpret_cast<const BYTE*>(check.c_str()),
                 static_cast<DWORD>((check.size() + 1) * sizeof(WCHAR)));
  RegFlushKey(key);
  RegCloseKey(key);
}

// The child: saves all three files, round after round, telling the parent after each round.
[[noreturn]] void saveForever(const fs::path& root, int firstRound, int progress) {
  plat::startup(unitOptions(root));
  plat::console::setEcho(false);
  CConfig config;
  if (!config.Load()) _exit(3);
  CPlayListManager list;
  list.SetFileCalss(PLAY_FILE_CALSS_AUDIO);
  list.loadFileList();
  list.setAbsIndex(0);
  _PlayListData* entry = list.GetSelectedFile();
  if (!entry) _exit(4);
  for (int round = firstRound;; ++round) {
    config.SetValue(u"VOLUME_LEVEL", round);
    config.SetString(u"GPS_MAPPATH", mapPath(round).c_str());
    config.Save();
    writeRegistry(round);
    entry->playTime = round;
    list.SavePlayListtoExtStorage();
    char tick = 1;
    if (::write(progress, &tick, 1) != 1) _exit(5);
  }
}

class PowerCutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Memory-backed when there is one: a kill loses nothing that reached the page cache, so
    // what a kill can break is the same, and the suite stays fast.
    std::string base = fs::is_directory("/dev/shm") ? "/dev/shm/" : ::testing::TempDir();
    std::string pattern = base + "hu-powercut-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    ASSERT_NE(mkdtemp(buffer.data()), nullptr);
    root_ = buffer.data();
    fs::create_directories(root_ / "Windows");
    fs::create_directories(root_ / "GPSData");
    std::ofstream(root_ / "GPSData/Config.xml", std::ios::binary)
        << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<CONFIG>\r\n<VOLUME_LEVEL Value=\"0\"/>\r\n"
           "<GPS_MAPPATH>\\SD\\nav0.exe</GPS_MAPPATH>\r\n</CONFIG>\r\n";
    std::ofstream(root_ / "registry.reg", std::ios::binary)
        << "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Unit]\r\n\"Round\"=dword:00000000\r\n\"Check\"=\"r0\"\r\n";
    std::ofstream(root_ / "GPSData/Audio_Playlist.xml", std::ios::binary)
        << "<LISTS TotolList=\"1\"><LIST><FileType index=\"1\">4</FileType><FileDir index=\"1\">\\SD\\</FileDir>"
           "<FileName index=\"1\">a.mp3</FileName><PlayTime index=\"1\">0</PlayTime></LIST></LISTS>";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  // Starts the unit as the launcher would after the cut and reads back what each file holds.
  // Every failure is a test failure; returns what was found.
  Saved startAndCheck() {
    plat::startup(unitOptions(root_));
    plat::console::setEcho(false);
    Saved found;
    // The registry: the whole script parses, and the two values come from one save.
    EXPECT_TRUE(plat::registry::load((root_ / "registry.reg").string())) << "registry.reg is damaged";
    found.registry = readDword(u"Round");
    EXPECT_EQ(readText(u"Check"), u"r" + plat::utf8ToUtf16(std::to_string(found.registry)));
    {
      CConfig config;  // the start tidies the data folder
      EXPECT_EQ(config.Load(), 1) << "Config.xml is damaged";
      EXPECT_EQ(config.GetValue(u"VOLUME_LEVEL", &found.config), 1);
      WCHAR path[MAX_PATH] = {};
      config.GetString(u"GPS_MAPPATH", path);
      EXPECT_EQ(std::u16string(path), mapPath(found.config));
    }
    {
      CPlayListManager list;
      list.SetFileCalss(PLAY_FILE_CALSS_AUDIO);
      list.loadFileList();
      EXPECT_EQ(list.getTotalCount(), 1) << "the play list is damaged";
      list.setAbsIndex(0);
      if (_PlayListData* entry = list.GetSelectedFile()) found.playList = entry->playTime;
    }
    for (const fs::path& folder : {root_, root_ / "GPSData"}) {
      for (auto& item : fs::directory_iterator(folder)) {
        std::string name = item.path().filename().string();
        EXPECT_EQ(name.find(".tmp-"), std::string::npos) << "left after the start: " << item.path();
        EXPECT_EQ(name.find(".damaged-"), std::string::npos) << "a file was found damaged: " << item.path();
      }
    }
    plat::shutdown();
    return found;
  }

  fs::path root_;
};

TEST_F(PowerCutTest, EveryFileLoadsWithTheOldOrTheNewContentAfterEachKill) {
  int kills = 200;
  if (const char* env = std::getenv("HU_POWER_CUTS")) kills = std::max(1, std::atoi(env));
  unsigned seed = std::random_device{}();
  if (const char* env = std::getenv("HU_POWER_CUT_SEED")) seed = static_cast<unsigned>(std::strtoul(env, nullptr, 10));
  SCOPED_TRACE("HU_POWER_CUT_SEED=" + std::to_string(seed));
  std::mt19937 random(seed);

  Saved last = startAndCheck();
  ASSERT_FALSE(HasFailure());
  int completedRounds = 0;
  for (int kill = 0; kill < kills; ++kill) {
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    int first = std::max({last.config, last.registry, last.playList}) + 1;
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(pipeEnds[0]);
      saveForever(root_, first, pipeEnds[1]);
    }
    ::close(pipeEnds[1]);
    // Let it finish 0 to 2 rounds, then cut it somewhere in the next one.
    int rounds = static_cast<int>(random() % 3);
    char tick;
    for (int i = 0; i < rounds; ++i) ASSERT_EQ(::read(pipeEnds[0], &tick, 1), 1) << "the saver died by itself";
    auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(random() % 3000);
    while (std::chrono::steady_clock::now() < until) {
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    // Rounds the child finished while we were not reading: the pipe still holds their ticks.
    while (::read(pipeEnds[0], &tick, 1) == 1) ++rounds;
    ::close(pipeEnds[0]);
    completedRounds += rounds;
    ASSERT_TRUE(WIFSIGNALED(status)) << "the saver ended with status " << WEXITSTATUS(status);

    Saved now = startAndCheck();
    ASSERT_FALSE(HasFailure()) << "after kill " << kill;
    // Old or new: never older than what the previous start saw, never past the round cut off.
    for (auto [before, after] : {std::pair{last.config, now.config}, std::pair{last.registry, now.registry},
                                 std::pair{last.playList, now.playList}}) {
      EXPECT_GE(after, before) << "after kill " << kill;
      EXPECT_LE(after, first + rounds) << "after kill " << kill;
    }
    last = now;
  }
  RecordProperty("completed_rounds", completedRounds);
}

}  // namespace
