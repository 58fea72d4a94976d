// Top-level windows on a thread of their own with a message loop, recording the messages they
// get (WM_COMMAND and registered messages), so that tests can wait for what other threads send.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "watchdog.h"
#include "windows.h"

struct Received {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

class ListenerWindows {
 public:
  // One window per name; the class and the title are the name.
  explicit ListenerWindows(std::vector<std::u16string> names) : names_(std::move(names)) {
    thread_ = std::thread([this] { run(); });
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(5), [&] { return ready_; });
  }
  ~ListenerWindows() {
    plat::window::postQuit(threadId_, 0);
    thread_.join();
  }
  HWND window(size_t i) const { return windows_.at(i); }

  // Waits (real time, as a watchdog) until `pred` holds over what was received.
  bool waitFor(const std::function<bool(const std::vector<Received>&)>& pred, int ms = 5000) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(ms * hu::test::watchdogScale()),
                             [&] { return pred(received_); });
  }
  std::vector<Received> received() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
  }
  size_t count(UINT message, WPARAM wParam = static_cast<WPARAM>(-1)) {
    std::lock_guard<std::mutex> lock(mutex_);
    return countLocked(message, wParam);
  }
  bool waitCount(UINT message, size_t n, WPARAM wParam = static_cast<WPARAM>(-1), int ms = 5000) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return countLocked(message, wParam) >= n; });
  }

 private:
  size_t countLocked(UINT message, WPARAM wParam) const {
    size_t n = 0;
    for (const auto& r : received_)
      if (r.message == message && (wParam == static_cast<WPARAM>(-1) || r.wParam == wParam)) n++;
    return n;
  }
  static LRESULT CALLBACK proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = current();
    if (self && (message == WM_COMMAND || message >= 0xC000)) {
      {
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->received_.push_back({hwnd, message, wParam, lParam});
      }
      self->changed_.notify_all();
      return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  static ListenerWindows*& current() {
    static thread_local ListenerWindows* self = nullptr;
    return self;
  }
  void run() {
    current() = this;
    threadId_ = GetCurrentThreadId();
    for (const auto& name : names_) {
      WNDCLASSW wc = {};
      wc.lpfnWndProc = proc;
      wc.lpszClassName = name.c_str();
      RegisterClassW(&wc);
      windows_.push_back(CreateWindowExW(0, name.c_str(), name.c_str(), WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr,
                                         nullptr, nullptr));
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ready_ = true;
    }
    changed_.notify_all();
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    for (HWND w : windows_)
      if (w) DestroyWindow(w);
    for (const auto& name : names_) UnregisterClassW(name.c_str(), nullptr);
  }

  std::vector<std::u16string> names_;
  std::vector<HWND> windows_;
  std::atomic<DWORD> threadId_{0};
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool ready_ = false;
  std::vector<Received> received_;
};
