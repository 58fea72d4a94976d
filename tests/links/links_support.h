// Helpers of the device-link tests: console capture, a pseudo-terminal standing in for a
// serial device, and a private unit root.
#pragma once

#include <fcntl.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "watchdog.h"
#include "windows.h"

namespace linktest {

// Collects console lines; waitFor blocks (bounded) until a line containing the text arrives.
class ConsoleCapture {
 public:
  ConsoleCapture() {
    plat::console::setEcho(false);
    id_ = plat::console::addSink([this](const std::string& line) {
      std::lock_guard<std::mutex> guard(lock_);
      lines_.push_back(line);
      cv_.notify_all();
    });
  }
  ~ConsoleCapture() {
    plat::console::removeSink(id_);
    plat::console::setEcho(true);
  }
  std::vector<std::string> lines() {
    std::lock_guard<std::mutex> guard(lock_);
    return lines_;
  }
  bool contains(const std::string& text) {
    std::lock_guard<std::mutex> guard(lock_);
    for (auto& l : lines_)
      if (l.find(text) != std::string::npos) return true;
    return false;
  }
  int count(const std::string& text) {
    std::lock_guard<std::mutex> guard(lock_);
    int n = 0;
    for (auto& l : lines_)
      if (l.find(text) != std::string::npos) ++n;
    return n;
  }
  // Watchdog-bounded wait for a line (real time: the waits inside the code under test are real).
  bool waitFor(const std::string& text, int timeoutMs = 5000) {
    std::unique_lock<std::mutex> lock(lock_);
    return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs * hu::test::watchdogScale()), [&] {
      for (auto& l : lines_)
        if (l.find(text) != std::string::npos) return true;
      return false;
    });
  }
  void clear() {
    std::lock_guard<std::mutex> guard(lock_);
    lines_.clear();
  }

 private:
  int id_;
  std::mutex lock_;
  std::condition_variable cv_;
  std::vector<std::string> lines_;
};

// A temporary unit root with a dev folder, removed at the end.
class UnitRoot {
 public:
  UnitRoot() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/links-unit-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back(0);
    path_ = mkdtemp(buf.data());
    std::filesystem::create_directories(path_ + "/dev");
    plat::setUnitRoot(path_);
  }
  ~UnitRoot() {
    plat::setUnitRoot("");
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A pseudo-terminal whose device side is linked as <root>/dev/COM<n>; the test plays the
// device through master().
class FakeSerialDevice {
 public:
  FakeSerialDevice(const UnitRoot& root, int number) {
    char name[256];
    if (openpty(&master_, &keeper_, name, nullptr, nullptr) != 0) return;
    termios tio{};
    tcgetattr(keeper_, &tio);
    cfmakeraw(&tio);
    tcsetattr(keeper_, TCSANOW, &tio);
    slaveName_ = name;
    link_ = root.path() + "/dev/COM" + std::to_string(number);
    symlink(slaveName_.c_str(), link_.c_str());
  }
  ~FakeSerialDevice() {
    unlink(link_.c_str());
    if (keeper_ >= 0) close(keeper_);
    if (master_ >= 0) close(master_);
  }
  bool ok() const { return master_ >= 0; }
  int master() const { return master_; }
  // The device goes away: the port side now reads end of file or an error, never data.
  void hangUp() {
    if (master_ >= 0) close(master_);
    master_ = -1;
    if (keeper_ >= 0) close(keeper_);
    keeper_ = -1;
  }
  const std::string& slaveName() const { return slaveName_; }
  void send(const std::string& bytes) { sendRaw(bytes.data(), bytes.size()); }
  void sendRaw(const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
      ssize_t n = ::write(master_, p, size);
      if (n <= 0) break;
      p += n;
      size -= static_cast<size_t>(n);
    }
  }
  // The line settings the port has now, as seen on the device side.
  termios settings() const {
    termios tio{};
    tcgetattr(keeper_, &tio);
    return tio;
  }

 private:
  int master_ = -1;
  int keeper_ = -1;  // keeps the device side alive when the port under test closes
  std::string slaveName_;
  std::string link_;
};

// Opens "COMn:" the way the device programs do.
inline HANDLE openPort(int number) {
  std::u16string name = u"COM" + plat::utf8ToUtf16(std::to_string(number)) + u":";
  return CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

inline bool valid(HANDLE h) { return h && h != INVALID_HANDLE_VALUE; }

// A prefix for queue names that no other test run shares.
inline std::string uniqueQueuePrefix(const char* tag) {
  return std::string("hu-test-") + tag + "-" + std::to_string(getpid()) + "-";
}

}  // namespace linktest
