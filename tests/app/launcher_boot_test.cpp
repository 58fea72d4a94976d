// The launcher program itself, started on a unit whose settings are damaged everywhere: it must
// still come up, reach its message loop and end cleanly when asked, keeping what was damaged.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "file_text.h"

namespace fs = std::filesystem;

namespace {

using hu::test::readFile;

TEST(LauncherBoot, DamagedSettingsAndFactoryCopyStillReachTheMessageLoop) {
  const fs::path launcher = fs::path(HU_BINARY_DIR) / "launcher/launcher";
  if (!fs::exists(launcher)) GTEST_SKIP() << "launcher not built";
  char pattern[] = "/tmp/hu-boot-XXXXXX";
  fs::path unit = mkdtemp(pattern);
  fs::create_directories(unit / "Windows");
  fs::create_directories(unit / "GPSData");
  std::ofstream(unit / "Windows/Config.bak") << "<CONFIG><VOLUME_LEVEL Val";
  std::ofstream(unit / "GPSData/Config.xml") << "<CONFIG><VOLUME_LEVEL Value=\"3\"/><TIME_ZONE";
  std::ofstream(unit / "quit.txt") << "wait 100\nquit\n";
  fs::path console = unit / "console.log";
  std::string command = "timeout 120 " + launcher.string() + " --unit " + unit.string() +
                        " --display headless --script " + (unit / "quit.txt").string() + " --console-file " +
                        console.string() + " 2>/dev/null";
  int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << readFile(console);
  std::string log = readFile(console);
  EXPECT_NE(log.find("built-in defaults"), std::string::npos) << log;
  EXPECT_EQ(log.find("configuration unusable"), std::string::npos) << log;
  // A fresh file for the next start, and the user's damaged one kept.
  EXPECT_NE(readFile(unit / "GPSData/Config.xml").find("<VOLUME_LEVEL Value=\"8\"/>"), std::string::npos);
  int kept = 0;
  for (auto& entry : fs::directory_iterator(unit / "GPSData"))
    if (entry.path().filename().string().rfind("Config.xml.damaged-", 0) == 0) ++kept;
  EXPECT_EQ(kept, 1);
  fs::remove_all(unit);
}

}  // namespace
