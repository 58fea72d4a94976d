// A temporary unit root with the platform started on it and the debug console captured: the
// base of tests that need files and settings but no display or message pump.
//
//   class MyTest : public hu::test::UnitRootFixture {
//     void prepareUnit(const std::filesystem::path& root) override { ... }  // before startup
//   };
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "file_text.h"
#include "windows.h"

namespace hu::test {

class UnitRootFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::path(::testing::TempDir()) / (tempPrefix() + "XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    ASSERT_NE(mkdtemp(buffer.data()), nullptr);
    root_ = buffer.data();
    prepareUnit(root_);
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
    std::filesystem::remove_all(root_, ignored);
  }

  // Start of the temporary folder's name, so a folder left by a crash tells whose it was.
  virtual std::string tempPrefix() const { return "hu-unit-"; }
  // Fills the unit root before the platform starts on it.
  virtual void prepareUnit(const std::filesystem::path& root) {}

  std::filesystem::path root_;
  int sink_ = 0;
  std::vector<std::string> lines_;  // the debug console since the test began
};

}  // namespace hu::test
