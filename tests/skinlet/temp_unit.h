// A throw-away unit root for the skin tests: the program is \Windows\launcher.exe in a fresh
// temporary folder, with an empty registry and the console captured.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

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
    int row = (w * 3 + 3) & ~3;
    std::string data(static_cast<size_t>(row * h), '\0');
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        size_t at = static_cast<size_t>(y * row + x * 3);
        data[at] = static_cast<char>(rgb & 0xFF);
        data[at + 1] = static_cast<char>((rgb >> 8) & 0xFF);
        data[at + 2] = static_cast<char>((rgb >> 16) & 0xFF);
      }
    }
    auto u16 = [](uint32_t v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; };
    auto u32 = [&](uint32_t v) { return u16(v & 0xFFFF) + u16(v >> 16); };
    std::string file = "BM" + u32(static_cast<uint32_t>(54 + data.size())) + u32(0) + u32(54);
    file += u32(40) + u32(static_cast<uint32_t>(w)) + u32(static_cast<uint32_t>(h)) + u16(1) + u16(24) + u32(0) +
            u32(static_cast<uint32_t>(data.size())) + u32(2835) + u32(2835) + u32(0) + u32(0);
    return file + data;
  }

  std::string root;
  std::string console;
  int sink = 0;
};

inline std::u16string u16(const WCHAR* text) { return text ? std::u16string(text) : std::u16string(u"(null)"); }
