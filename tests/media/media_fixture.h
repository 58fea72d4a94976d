// A temporary unit root for the media tests, with console capture and host-side helpers.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "windows.h"

namespace media_test {

namespace fs = std::filesystem;

class UnitRootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::path(::testing::TempDir()) / "hu-media-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    ASSERT_NE(mkdtemp(buffer.data()), nullptr);
    root_ = buffer.data();
    plat::Options options;
    options.unitRoot = root_.string();
    options.persistRegistry = false;
    plat::startup(options);
    plat::registry::clear();
    plat::console::setEcho(false);
    sink_ = plat::console::addSink([this](const std::string& line) { lines_.push_back(line); });
  }
  void TearDown() override {
    plat::console::removeSink(sink_);
    plat::console::setEcho(true);
    plat::shutdown();
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  // Host path of a device path given in UTF-8 with forward slashes ("StorageCard/a.mp3").
  fs::path host(const std::string& relative) const { return root_ / fs::u8path(relative); }
  void mkdir(const std::string& relative) const { fs::create_directories(host(relative)); }
  void touch(const std::string& relative, const std::string& text = "x") const {
    fs::create_directories(host(relative).parent_path());
    std::ofstream(host(relative), std::ios::binary) << text;
  }
  std::string read(const std::string& relative) const {
    std::ifstream in(host(relative), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  bool exists(const std::string& relative) const { return fs::exists(host(relative)); }
  bool logged(const std::string& line) const {
    for (const auto& l : lines_)
      if (l == line) return true;
    return false;
  }

  static std::u16string u16(const std::string& utf8) { return plat::utf8ToUtf16(utf8); }
  static std::string u8(const WCHAR* text) { return text ? plat::utf16ToUtf8(text) : std::string("(null)"); }

  fs::path root_;
  int sink_ = 0;
  std::vector<std::string> lines_;
};

}  // namespace media_test
