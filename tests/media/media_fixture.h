// A temporary unit root for the media tests, with console capture and host-side helpers.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "unit_root_fixture.h"
#include "windows.h"

namespace media_test {

namespace fs = std::filesystem;

class UnitRootTest : public hu::test::UnitRootFixture {
 protected:
  std::string tempPrefix() const override { return "hu-media-"; }

  // Host path of a device path given in UTF-8 with forward slashes ("StorageCard/a.mp3").
  fs::path host(const std::string& relative) const { return root_ / fs::u8path(relative); }
  void mkdir(const std::string& relative) const { fs::create_directories(host(relative)); }
  void touch(const std::string& relative, const std::string& text = "x") const {
    fs::create_directories(host(relative).parent_path());
    std::ofstream(host(relative), std::ios::binary) << text;
  }
  std::string read(const std::string& relative) const { return hu::test::readFile(host(relative)); }
  bool exists(const std::string& relative) const { return fs::exists(host(relative)); }
  bool logged(const std::string& line) const {
    for (const auto& l : lines_)
      if (l == line) return true;
    return false;
  }

  static std::u16string u16(const std::string& utf8) { return plat::utf8ToUtf16(utf8); }
  static std::string u8(const WCHAR* text) { return text ? plat::utf16ToUtf8(text) : std::string("(null)"); }
};

}  // namespace media_test
