// A throw-away unit root for the skin tests: the program is \Windows\launcher.exe in a fresh
// temporary folder, with an empty registry and the console captured.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bitmap_file.h"
#include "skin_paths.h"
#include "windows.h"

class TempUnit : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "skinlet-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    ASSERT_NE(mkdtemp(buffer.data()), nullptr);
    root = buffer.data();
    std::filesystem::create_directories(root + "/Windows");
    plat::Options options;
    options.unitRoot = root;
    options.moduleFileName = u"\\Windows\\launcher.exe";
    options.persistRegistry = false;
    plat::startup(options);
    plat::registry::clear();
    skinlet::resetModuleDirectory();
    plat::console::setEcho(false);
    sink = plat::console::addSink([this](const std::string& line) { console += line; });
  }

  void TearDown() override {
    plat::console::removeSink(sink);
    plat::console::setEcho(true);
    plat::shutdown();
    std::filesystem::remove_all(root);
  }

  // Writes a file below the unit root (relative host path with '/').
  void write(const std::string& relative, const std::string& bytes) {
    std::filesystem::path path = std::filesystem::path(root) / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << bytes;
  }

  // A small 24-bit bitmap file of w x h pixels of one colour.
  static std::string bitmap(int w, int h, uint32_t rgb = 0x336699) {
    return hu::test::bitmapFile(w, h, [rgb](int, int) { return rgb; });
  }

  std::string root;
  std::string console;
  int sink = 0;
};

inline std::u16string u16(const WCHAR* text) { return text ? std::u16string(text) : std::u16string(u"(null)"); }
