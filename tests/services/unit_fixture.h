// A fresh unit root under /tmp for each test, the platform started on it, console captured.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "core/kernel_object.h"
#include "windows.h"

class UnitRootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/hu-services-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    plat::Options options;
    options.unitRoot = root_;
    options.persistRegistry = false;
    plat::startup(options);
    plat::registry::clear();
    plat::console::setEcho(false);
    sink_ = plat::console::addSink([this](const std::string& line) {
      {
        std::lock_guard<std::mutex> lock(linesMutex_);
        lines_.push_back(line);
      }
      linesChanged_.notify_all();
    });
    handlesAtStart_ = plat::openHandleCount();
  }
  void TearDown() override {
    plat::console::removeSink(sink_);
    plat::shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  std::string host(const std::string& relative) const { return root_ + "/" + relative; }
  void makeFolder(const std::string& relative) { std::filesystem::create_directories(host(relative)); }
  void writeFile(const std::string& relative, const std::string& text, bool executable = false) {
    std::filesystem::create_directories(std::filesystem::path(host(relative)).parent_path());
    std::ofstream(host(relative)) << text;
    if (executable) chmod(host(relative).c_str(), 0755);
  }
  bool consoleHas(const std::string& part) {
    std::lock_guard<std::mutex> lock(linesMutex_);
    for (const auto& l : lines_)
      if (l.find(part) != std::string::npos) return true;
    return false;
  }
  // Waits (real time, as a watchdog) until a console line containing `part` is written.
  bool waitForConsole(const std::string& part, int ms = 5000) {
    std::unique_lock<std::mutex> lock(linesMutex_);
    return linesChanged_.wait_for(lock, std::chrono::milliseconds(ms), [&] {
      for (const auto& l : lines_)
        if (l.find(part) != std::string::npos) return true;
      return false;
    });
  }
  size_t handlesAtStart() const { return handlesAtStart_; }

  std::string root_;

 private:
  int sink_ = 0;
  std::mutex linesMutex_;
  std::condition_variable linesChanged_;
  std::vector<std::string> lines_;
  size_t handlesAtStart_ = 0;
};
