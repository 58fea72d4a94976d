// The launcher program itself on a temporary unit: headless display with an input script, the
// companion simulator on the message queues and a GPS replay on a pseudo-terminal as COM9.
// These run on the real clock (three processes), so each waits for what it expects with a bound.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mqueue.h>
#include <signal.h>
#include <stb/stb_image.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "golden_image.h"
#include "servers.h"

namespace fs = std::filesystem;

namespace {

const std::string kBuild = HU_BINARY_DIR;
const std::string kSource = HU_SOURCE_DIR;

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

size_t countOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

using Child = hu::test::ChildProcess;

class LauncherE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = ::testing::TempDir() + "hu_e2e_" + std::to_string(getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    unit_ = dir_ + "/unit";
    ASSERT_EQ(std::system(("'" + kSource + "/scripts/prepare-unit.sh' '" + unit_ + "' >/dev/null").c_str()), 0);
    // The demo program of the unit would start by itself as the fallback; these tests name theirs.
    fs::remove_all(unit_ + "/StorageCard/NaviOnej0p");
    prefix_ = "hu-e2e-" + std::to_string(getpid()) + "-";
    setenv("HU_MSGQUEUE_PREFIX", prefix_.c_str(), 1);
  }
  void TearDown() override {
    launcher_.reset();
    replay_.reset();
    mcu_.reset();
    unsetenv("HU_MSGQUEUE_PREFIX");
    for (const char* q : {"__MsgQueue_RUZ_Send__", "__MsgQueue_RUZ_Read__"}) {
      mq_unlink(("/" + prefix_ + q).c_str());
    }
    if (!HasFailure()) fs::remove_all(dir_);
  }
  void program(const std::string& relative, const std::string& body) {
    fs::path p = unit_ + "/" + relative;
    fs::create_directories(p.parent_path());
    std::ofstream(p) << "#!/bin/sh\n" << body << "\n";
    ::chmod(p.c_str(), 0755);
  }
  void remember(const std::string& devicePath) {
    std::string config = readAll(unit_ + "/Windows/Config.bak");
    config.replace(config.find("</CONFIG>"), 9, "<GPS_MAPPATH>" + devicePath + "</GPS_MAPPATH>\n</CONFIG>");
    fs::create_directories(unit_ + "/GPSData");
    std::ofstream(unit_ + "/GPSData/Config.xml") << config;
  }
  void startMcu() {
    mcu_ = std::make_unique<Child>(
        std::vector<std::string>{kBuild + "/tools/mcu-sim", "--prefix", prefix_}, dir_ + "/mcu.txt",
        std::vector<std::string>{}, true);
    ASSERT_TRUE(waitFor([&] { return mcuLog().find("listening") != std::string::npos; }, 10));
  }
  void startReplay(const std::string& log) {
    std::ofstream(dir_ + "/gps.nmea") << log;
    replay_ = std::make_unique<Child>(std::vector<std::string>{kBuild + "/tools/nmea-replay", "--unit", unit_, "--port",
                                                               "9", "--loop", "--speed", "5", dir_ + "/gps.nmea"},
                                      dir_ + "/replay.txt");
    ASSERT_TRUE(waitFor([&] { return fs::exists(unit_ + "/dev/COM9"); }, 10));
  }
  void startLauncher(const std::string& script, const std::vector<std::string>& more = {}) {
    std::ofstream(dir_ + "/script.txt") << script;
    std::vector<std::string> argv{kBuild + "/launcher/launcher", "--unit", unit_, "--display", "headless", "--script",
                                  dir_ + "/script.txt", "--snapshots", dir_ + "/screens", "--console-file",
                                  dir_ + "/console.txt"};
    argv.insert(argv.end(), more.begin(), more.end());
    launcher_ = std::make_unique<Child>(argv, dir_ + "/launcher.txt");
  }
  bool waitFor(const std::function<bool()>& pred, int seconds) { return hu::test::waitUntil(pred, seconds * 1000); }
  std::string console() { return readAll(dir_ + "/console.txt"); }
  std::string mcuLog() { return readAll(dir_ + "/mcu.txt"); }
  std::string config() { return readAll(unit_ + "/GPSData/Config.xml"); }
  bool consoleHas(const std::string& s) { return console().find(s) != std::string::npos; }
  bool mcuHas(const std::string& s) { return mcuLog().find(s) != std::string::npos; }
  // The screen below the status bar (whose clock runs on the real time) against a golden picture.
  void expectScreen(const std::string& snapshot, const std::string& golden) {
    int w = 0, h = 0, n = 0;
    unsigned char* rgb = stbi_load((dir_ + "/" + snapshot).c_str(), &w, &h, &n, 3);
    ASSERT_NE(rgb, nullptr) << snapshot;
    ASSERT_EQ(w, 800);
    ASSERT_EQ(h, 480);
    std::vector<uint32_t> pixels;
    for (int y = 40; y < 480; ++y)
      for (int x = 0; x < 800; ++x) {
        const unsigned char* p = rgb + (y * 800 + x) * 3;
        pixels.push_back((uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2]);
      }
    stbi_image_free(rgb);
    test_support::expectGolden(golden, pixels.data(), 800, 440, 8,
                               "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf");
  }

  std::string dir_, unit_, prefix_;
  std::unique_ptr<Child> mcu_, replay_, launcher_;
};

std::string nmea(const std::string& body) {
  unsigned char sum = 0;
  for (char c : body) sum ^= static_cast<unsigned char>(c);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return "$" + body + tail;
}

TEST_F(LauncherE2E, RememberedProgramStartsAloneEndsAndTheCompanionHearsOfIt) {
  program("StorageCard/Navi/Quick.exe", "sleep 60 & echo $! > child.pid; sleep 2");  // the child stays
  program("StorageCard/Maps/Other.exe", "sleep 60");
  remember("\\StorageCard\\Navi\\Quick.exe");
  startMcu();
  startReplay(nmea("GPGSA,A,3,07,09,,,,,,,,,,,2.0,1.0,1.5") + nmea("GPGSV,1,1,02,07,40,100,35,09,30,200,30") +
              nmea("GPRMC,123456.00,A,3150.00,N,11712.00,E,0.0,0.0,010114,,") +
              "$GPGGA,garbage without checksum\r\n\x01\x02\xff noise\r\n");
  startLauncher("wait 1000\nsnapshot starting.png\n");

  // No touch: the remembered program starts.
  ASSERT_TRUE(waitFor([&] { return consoleHas("StartGPS(\\StorageCard\\Navi\\Quick.exe)"); }, 20)) << console();
  ASSERT_TRUE(waitFor([&] { return mcuHas("navigation present"); }, 10)) << mcuLog();
  EXPECT_TRUE(mcuHas("KT55R-V9090418")) << mcuLog();
  // It ends after two seconds: more than 1.5 s after its start, so the companion is told.
  ASSERT_TRUE(waitFor([&] { return consoleHas("MGSID_NAVIEXITMSG"); }, 15)) << console();
  ASSERT_TRUE(waitFor([&] { return mcuHas("navigation absent"); }, 5)) << mcuLog();
  // Satellites are used: the GPS time goes out every five seconds.
  ASSERT_TRUE(waitFor([&] { return countOf(mcuLog(), "GPS time 12:34:56") >= 2; }, 15)) << mcuLog();

  // The companion asks for navigation: the version text goes out and the program starts again.
  const size_t textsBefore = countOf(mcuLog(), "KT55R-V9090418");
  const size_t startsBefore = countOf(console(), "StartGPS(");
  mcu_->write("navi\n");
  ASSERT_TRUE(waitFor([&] { return countOf(console(), "StartGPS(") > startsBefore; }, 10)) << console();
  ASSERT_TRUE(waitFor([&] { return countOf(mcuLog(), "KT55R-V9090418") > textsBefore; }, 5)) << mcuLog();
  ASSERT_TRUE(waitFor([&] { return countOf(console(), "MGSID_NAVIEXITMSG") >= 2; }, 15)) << console();

  // Noise on the GPS port and garbage from the companion leave it running.
  mcu_->write("raw 00 ff 13 37\n");
  launcher_->interrupt();
  EXPECT_EQ(launcher_->wait(20000), 0) << readAll(dir_ + "/launcher.txt");
  // What the programs left in their groups ended with the launcher; with the companion, the queues.
  const std::string child =
      readAll("/proc/" + std::to_string(std::stoi(readAll(unit_ + "/StorageCard/Navi/child.pid"))) + "/stat");
  EXPECT_TRUE(child.empty() || child.find(") Z") != std::string::npos) << "outlived the launcher: " << child;
  mcu_->write("quit\n");
  EXPECT_EQ(mcu_->wait(20000), 0);
  for (const char* q : {"__MsgQueue_RUZ_Send__", "__MsgQueue_RUZ_Read__"})
    EXPECT_EQ(mq_open(("/" + prefix_ + q).c_str(), O_RDONLY), static_cast<mqd_t>(-1)) << q << " is left";
  EXPECT_NE(config().find("<GPS_MAPPATH>\\StorageCard\\Navi\\Quick.exe</GPS_MAPPATH>"), std::string::npos);
  EXPECT_TRUE(fs::exists(dir_ + "/screens/screen.png"));
}

TEST_F(LauncherE2E, TapOnARowAndOnStartStartsThatProgramAndRemembersIt) {
  program("StorageCard/Atlas/Atlas.exe", "sleep 1");
  program("StorageCard/Maps/Europe/Route66.exe", "exit 0");
  startMcu();
  startLauncher(
      "wait 2000\n"
      "snapshot list.png\n"
      "tap 300 174\n"     // the second row
      "wait 300\n"
      "snapshot chosen.png\n"
      "tap 700 388\n"     // the start button
      "wait 6000\n"
      "quit\n");
  EXPECT_EQ(launcher_->wait(40000), 0) << readAll(dir_ + "/launcher.txt");
  EXPECT_TRUE(consoleHas("StartGPS(\\StorageCard\\Maps\\Europe\\Route66.exe)")) << console();
  EXPECT_TRUE(consoleHas("MGSID_NAVIEXITMSG")) << console();
  EXPECT_NE(config().find("<GPS_MAPPATH>\\StorageCard\\Maps\\Europe\\Route66.exe</GPS_MAPPATH>"), std::string::npos)
      << config();
  expectScreen("list.png", "e2e_list");
  expectScreen("chosen.png", "e2e_chosen");
  // The program ended within 1.5 s of its start: the companion was not told it stopped.
  EXPECT_FALSE(mcuHas("navigation absent")) << mcuLog();
}

TEST_F(LauncherE2E, AProgramThatCannotStartLeavesTheRememberedPathAlone) {
  program("StorageCard/Atlas/Atlas.exe", "sleep 1");
  {
    std::ofstream(unit_ + "/StorageCard/Broken.exe") << "MZ not for this machine";
  }
  remember("\\StorageCard\\Atlas\\Atlas.exe");
  startMcu();
  startLauncher(
      "wait 4000\n"
      "tap 300 174\n"     // the second row: Broken.exe, after the folder Atlas
      "wait 300\n"
      "tap 700 388\n"
      "wait 2000\n"
      "snapshot after.png\n"
      "quit\n");
  EXPECT_EQ(launcher_->wait(40000), 0) << readAll(dir_ + "/launcher.txt");
  EXPECT_TRUE(consoleHas("StartGPS(\\StorageCard\\Broken.exe)")) << console();
  EXPECT_TRUE(consoleHas("MGSID_NAVIERRORMSG")) << console();
  EXPECT_NE(config().find("<GPS_MAPPATH>\\StorageCard\\Atlas\\Atlas.exe</GPS_MAPPATH>"), std::string::npos) << config();
}

TEST_F(LauncherE2E, CardOutAndInEmptiesAndRefillsTheList) {
  program("StorageCard/Atlas/Atlas.exe", "sleep 1");
  startMcu();
  startLauncher("wait 600000\n");
  ASSERT_TRUE(waitFor([&] { return consoleHas("+++ MainMenu"); }, 20)) << console();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  fs::rename(unit_ + "/StorageCard", dir_ + "/card");
  ASSERT_TRUE(waitFor([&] { return consoleHas("OnDevRemoveEx 1"); }, 10)) << console();
  ASSERT_TRUE(waitFor([&] { return mcuHas("navigation absent"); }, 5)) << mcuLog();
  fs::rename(dir_ + "/card", unit_ + "/StorageCard");
  ASSERT_TRUE(waitFor([&] { return consoleHas("OnDevOnsiteEx 0"); }, 10)) << console();
  ASSERT_TRUE(waitFor([&] { return countOf(mcuLog(), "navigation present") >= 2; }, 5)) << mcuLog();
  launcher_->interrupt();
  EXPECT_EQ(launcher_->wait(20000), 0);
}

TEST_F(LauncherE2E, PullingTheCardUnderTheRunningProgramRestartsTheUnitThoughTheProgramEndsFirst) {
  // It ends as soon as its folder is gone, well within the half second the removal settles.
  program("StorageCard/Navi/Mapper.exe",
          "d=$(dirname \"$0\"); touch \"$d/running\"; while [ -d \"$d\" ]; do sleep 0.02; done");
  remember("\\StorageCard\\Navi\\Mapper.exe");
  startMcu();
  startLauncher("wait 600000\n");
  ASSERT_TRUE(waitFor([&] { return fs::exists(unit_ + "/StorageCard/Navi/running"); }, 20)) << console();
  fs::rename(unit_ + "/StorageCard", dir_ + "/card");
  EXPECT_EQ(launcher_->wait(20000), 3) << console();
  EXPECT_TRUE(consoleHas("MGSID_NAVIEXITMSG")) << console();
  EXPECT_TRUE(consoleHas("IOCTL_HAL_REBOOT")) << console();
}

TEST_F(LauncherE2E, WithWatchAnEditedScriptShowsWithoutARestart) {
  startLauncher("wait 600000\n", {"--watch"});
  ASSERT_TRUE(waitFor([&] { return consoleHas("watching for skin changes"); }, 20)) << console();
  // The status bar's texts turn red; the editor saves by writing a new file and renaming it.
  const std::string script = unit_ + "/Windows/Skin800x480/StatusBar_Script.xml";
  std::string text = readAll(script);
  const std::string grey = "<TxtColor R=\"232\" G=\"236\" B=\"240\"/>";
  ASSERT_NE(text.find(grey), std::string::npos);
  text.replace(text.find(grey), grey.size(), "<TxtColor R=\"255\" G=\"0\" B=\"0\"/>");
  std::ofstream(script + ".new") << text;
  fs::rename(script + ".new", script);
  ASSERT_TRUE(waitFor([&] { return consoleHas("StatusBar: reloaded StatusBar_Script.xml"); }, 10)) << console();
  auto redClock = [&] {
    int w = 0, h = 0, n = 0;
    unsigned char* rgb = stbi_load((dir_ + "/screens/screen.png").c_str(), &w, &h, &n, 3);
    if (!rgb) return false;
    bool red = false;
    for (int y = 0; y < 40 && y < h && !red; ++y)
      for (int x = 0; x < 300 && x < w && !red; ++x) {
        const unsigned char* p = rgb + (y * w + x) * 3;
        red = p[0] > 200 && p[1] < 60 && p[2] < 60;
      }
    stbi_image_free(rgb);
    return red;
  };
  EXPECT_TRUE(waitFor(redClock, 10));
  launcher_->interrupt();
  EXPECT_EQ(launcher_->wait(20000), 0);
}

TEST_F(LauncherE2E, WithoutAUnitTheLauncherRefusesAndWritesNothingHere) {
  fs::create_directories(dir_ + "/cwd");
  std::string command = "cd '" + dir_ + "/cwd' && env -u HU_UNIT_DIR '" + kBuild + "/launcher/launcher' --display headless 2>err.txt";
  int status = std::system(command.c_str());
  EXPECT_NE(WEXITSTATUS(status), 0);
  EXPECT_NE(readAll(dir_ + "/cwd/err.txt").find("--unit DIR or HU_UNIT_DIR"), std::string::npos);
  size_t files = 0;
  for (auto& e : fs::directory_iterator(dir_ + "/cwd")) files += e.path().filename() != "err.txt";
  EXPECT_EQ(files, 0u);
}

// ---- The receiver through gpsd: Debian's gpsd replays our drive log (gpsfake) on a free port.

// CPU time, in nanoseconds, of the thread of a process that carries a name (0 when none does).
long threadTime(pid_t pid, const std::string& name) {
  for (auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
    std::string comm;
    std::getline(std::ifstream(task.path() / "comm"), comm);
    long ns = 0;
    if (comm == name && std::ifstream(task.path() / "schedstat") >> ns) return ns;
  }
  return 0;
}

// The "hh:mm:ss" of each match of `pattern` (three groups) in a text.
std::vector<std::string> times(const std::string& text, const char* pattern) {
  std::vector<std::string> out;
  const std::regex re(pattern);
  for (std::sregex_iterator it(text.begin(), text.end(), re), end; it != end; ++it)
    out.push_back((*it)[1].str() + ":" + (*it)[2].str() + ":" + (*it)[3].str());
  return out;
}

TEST_F(LauncherE2E, ThroughGpsdTheLogsTimesReachTheCompanionAsGpsdComesGoesAndComesBack) {
  if (std::string missing = hu::test::gpsdMissing(); !missing.empty()) GTEST_SKIP() << missing;
  const std::string port = std::to_string(hu::test::freeTcpPort());
  const std::vector<std::string> logTimes = times(readAll(hu::test::GpsFake::kLog), "\\$..RMC,(\\d\\d)(\\d\\d)(\\d\\d)");
  auto sent = [&] { return times(mcuLog(), "GPS time (\\d\\d):(\\d\\d):(\\d\\d)"); };
  startMcu();
  startLauncher("wait 600000\n", {"--gps", "gpsd:127.0.0.1:" + port});
  // No gpsd yet: one console line, and over four seconds (tries at 0.5, 1 and 2 s fall in them)
  // the reader sleeps between tries rather than spinning.
  ASSERT_TRUE(waitFor([&] { return consoleHas("no gpsd at 127.0.0.1:" + port); }, 20)) << console();
  const long first = threadTime(launcher_->pid(), "gpsd reader");
  ASSERT_GT(first, 0) << "no thread named gpsd reader";
  std::this_thread::sleep_for(std::chrono::seconds(4));
  EXPECT_LT(threadTime(launcher_->pid(), "gpsd reader") - first, 200000000) << "CPU ns of the reader in 4 s";
  // gpsd comes: the log's times reach the companion; it goes and comes back: new times follow (the
  // record keeps the last one while gpsd is away).
  auto gpsd = std::make_unique<hu::test::GpsFake>(std::stoi(port), dir_ + "/gpsfake.txt");
  ASSERT_TRUE(waitFor([&] { return sent().size() >= 2; }, 60)) << console() << mcuLog();
  gpsd.reset();
  ASSERT_TRUE(waitFor([&] { return consoleHas("gpsd at 127.0.0.1:" + port + " went away"); }, 10)) << console();
  gpsd = std::make_unique<hu::test::GpsFake>(std::stoi(port), dir_ + "/gpsfake2.txt");
  ASSERT_TRUE(waitFor([&] { return countOf(console(), "GPS: reading") == 2; }, 60)) << console();
  // What was sent until the reader was back may still be the kept time; a new one must follow.
  const size_t before = sent().size();
  const std::string last = before ? sent().back() : "";
  ASSERT_TRUE(waitFor([&] { return sent().size() > before && sent().back() != last; }, 60)) << console() << mcuLog();
  for (const std::string& t : sent())
    EXPECT_NE(std::find(logTimes.begin(), logTimes.end(), t), logTimes.end()) << t << " is not a time of the log";
  EXPECT_EQ(countOf(console(), "GPS: "), 4u) << console();  // none, reading, went away, reading
  launcher_->interrupt();
  EXPECT_EQ(launcher_->wait(20000), 0);
}

}  // namespace
