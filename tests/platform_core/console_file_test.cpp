// The console's copy on disk stays bounded: rotated at its limit, a few older files kept.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "windows.h"

#include "file_text.h"

namespace fs = std::filesystem;

namespace {

using hu::test::readFile;

TEST(ConsoleFile, RotatesAtTheLimitAndKeepsAFewOlderFiles) {
  char pattern[] = "/tmp/hu-console-XXXXXX";
  fs::path folder = mkdtemp(pattern);
  fs::path file = folder / "console.log";
  plat::console::setEcho(false);
  plat::console::setFileLimit(100);
  plat::console::setFile(file.string());
  // 40 lines of 10 bytes: ten per file, so 4 files fill up and the oldest go.
  for (int i = 0; i < 40; ++i) {
    char line[16];
    std::snprintf(line, sizeof line, "line %03d\n", i);
    ASSERT_EQ(std::string(line).size(), 9u);
    plat::console::writeUtf8(std::string(line) + " ");
  }
  plat::console::setFile("");
  plat::console::setFileLimit(0);
  plat::console::setEcho(true);

  // No file over the limit, the newest lines in the live file, each older file older still,
  // and nothing beyond the number kept.
  EXPECT_FALSE(fs::exists(folder / ("console.log." + std::to_string(plat::console::kConsoleFilesKept + 1))));
  std::string live = readFile(file);
  EXPECT_LE(live.size(), 100u);
  EXPECT_NE(live.find("line 039"), std::string::npos);
  std::string previous = live;
  for (int i = 1; i <= plat::console::kConsoleFilesKept; ++i) {
    fs::path older = folder / ("console.log." + std::to_string(i));
    ASSERT_TRUE(fs::exists(older)) << older;
    std::string text = readFile(older);
    EXPECT_LE(text.size(), 100u) << older;
    EXPECT_LT(text.substr(5, 3), previous.substr(5, 3)) << older;
    previous = text;
  }
  EXPECT_EQ(readFile(folder / "console.log.1").substr(0, 8), "line 020");
  fs::remove_all(folder);
}

}  // namespace
