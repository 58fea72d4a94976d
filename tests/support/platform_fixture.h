// Test harness for everything that runs on the platform: a temporary unit root, the headless
// display, a frozen clock, a message pump, input injection, the captured debug console and
// screen snapshots.
//
//   class MyTest : public hu::test::PlatformFixture {};
//   TEST_F(MyTest, Something) {
//     HWND w = ...;            // create windows on the test thread
//     pumpUntilIdle();         // dispatch everything that is queued, paints included
//     tap(100, 50);            // a touch, then pumped
//     pumpFor(1000);           // one second of the frozen clock: timers fire in order
//     EXPECT_TRUE(consoleHas("[Vexa APP]"));
//     EXPECT_EQ(pixel(10, 10), 0x00FF00u);
//   }
//
// Windows are created on the test thread; pumpUntilIdle / pumpFor dispatch that thread's
// messages. Every window, class and timer is forgotten between tests.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "plat_core.h"
#include "plat_display.h"
#include "plat_time.h"
#include "plat_window.h"

namespace hu::test {

class PlatformFixture : public ::testing::Test {
 protected:
  // Subclasses may set these before calling PlatformFixture::SetUp().
  int screenWidth_ = 800;
  int screenHeight_ = 480;
  bool freezeClock_ = true;

  void SetUp() override {
    std::string tmpl = ::testing::TempDir() + "hu_unit_XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back(0);
    ASSERT_NE(mkdtemp(buf.data()), nullptr);
    root_ = buf.data();
    plat::Options o;
    o.unitRoot = root_;
    o.persistRegistry = false;
    plat::startup(o);
    plat::console::setEcho(false);
    sink_ = plat::console::addSink([this](const std::string& line) {
      std::lock_guard<std::mutex> g(consoleLock_);
      console_.push_back(line);
    });
    plat::window::reset();
    plat::window::setScreenSize(screenWidth_, screenHeight_);
    if (freezeClock_) plat::clock::freeze();
    plat::display::Options d;
    d.backend = plat::display::Backend::Headless;
    plat::display::open(d);
  }

  void TearDown() override {
    plat::display::close();
    plat::window::reset();
    pumpUntilIdle();  // drops what the reset left queued
    if (plat::clock::frozen()) plat::clock::unfreeze();
    plat::console::removeSink(sink_);
    plat::console::setEcho(true);
    plat::shutdown();
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }

  // Host folder standing for the device's "\".
  const std::string& unitRoot() const { return root_; }
  std::string hostPath(const std::string& relative) const { return root_ + "/" + relative; }

  // Dispatches the test thread's messages until none is left (paints and due timers too).
  // Returns the number dispatched; stops after `limit` (a window that never validates).
  int pumpUntilIdle(int limit = 100000) {
    MSG m;
    int n = 0;
    while (n < limit && PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (m.message == WM_QUIT) {
        quitSeen_ = true;
        quitCode_ = static_cast<int>(m.wParam);
        continue;
      }
      TranslateMessage(&m);
      DispatchMessageW(&m);
      ++n;
    }
    return n;
  }

  // Moves the frozen clock on by `ms`, stopping at every timer that falls due on the way
  // and pumping there, so timers fire in their real order and number.
  void pumpFor(uint64_t ms) {
    uint64_t end = plat::clock::nowMs() + ms;
    for (;;) {
      pumpUntilIdle();
      uint64_t now = plat::clock::nowMs();
      uint64_t next = plat::window::nextTimerDueMs();
      if (next == UINT64_MAX || next > end || now >= end) break;
      // A timer of period 0 stays due: move on by a millisecond so the loop ends.
      plat::clock::advance(next > now ? next - now : 1);
    }
    uint64_t now = plat::clock::nowMs();
    if (end > now) plat::clock::advance(end - now);
    pumpUntilIdle();
  }

  // Input through the same path as the touch screen and the keys; each call pumps after.
  void press(int x, int y) { inject(WM_LBUTTONDOWN, x, y); }
  void move(int x, int y) { inject(WM_MOUSEMOVE, x, y); }
  void release(int x, int y) { inject(WM_LBUTTONUP, x, y); }
  void tap(int x, int y) {
    plat::window::injectTouch(WM_LBUTTONDOWN, x, y);
    plat::window::injectTouch(WM_LBUTTONUP, x, y);
    pumpUntilIdle();
  }
  void key(UINT vk) {
    plat::window::injectKey(vk, true);
    plat::window::injectKey(vk, false);
    pumpUntilIdle();
  }
  void keyDown(UINT vk) { injectKey(vk, true); }
  void keyUp(UINT vk) { injectKey(vk, false); }

  // Plays an input script on the test thread (waits run on the frozen clock through
  // pumpFor). Returns false, with the parser's message in scriptError(), when it is bad.
  bool runScript(const std::string& text) {
    std::vector<plat::display::ScriptStep> steps;
    if (!plat::display::parseInputScript(text, steps, scriptError_)) return false;
    using K = plat::display::ScriptStep;
    for (const K& s : steps) {
      const int* a = s.args;
      switch (s.kind) {
        case K::Tap: tap(a[0], a[1]); break;
        case K::Press: press(a[0], a[1]); break;
        case K::Move: move(a[0], a[1]); break;
        case K::Release: release(a[0], a[1]); break;
        case K::Drag: {
          press(a[0], a[1]);
          int n = a[4] / 20 > 1 ? a[4] / 20 : 1;
          for (int i = 1; i <= n; ++i) {
            pumpFor(static_cast<uint64_t>(a[4] / n));
            move(a[0] + (a[2] - a[0]) * i / n, a[1] + (a[3] - a[1]) * i / n);
          }
          release(a[2], a[3]);
          break;
        }
        case K::Key: key(static_cast<UINT>(a[0])); break;
        case K::KeyDown: keyDown(static_cast<UINT>(a[0])); break;
        case K::KeyUp: keyUp(static_cast<UINT>(a[0])); break;
        case K::Wait: pumpFor(static_cast<uint64_t>(a[0])); break;
        case K::Snapshot: snapshot(s.file); break;
        case K::Quit: PostQuitMessage(0); pumpUntilIdle(); break;
      }
    }
    return true;
  }
  const std::string& scriptError() const { return scriptError_; }
  bool quitSeen() const { return quitSeen_; }
  int quitCode() const { return quitCode_; }

  // The debug console since the test began (or since clearConsole), one entry per write.
  std::vector<std::string> consoleLines() {
    std::lock_guard<std::mutex> g(consoleLock_);
    return console_;
  }
  std::string consoleText() {
    std::string all;
    for (const auto& l : consoleLines()) all += l;
    return all;
  }
  bool consoleHas(const std::string& text) { return consoleText().find(text) != std::string::npos; }
  void clearConsole() {
    std::lock_guard<std::mutex> g(consoleLock_);
    console_.clear();
  }

  // The screen.
  uint32_t pixel(int x, int y) { return plat::display::pixel(x, y); }
  // Writes the screen as a PNG; a relative name lands in the unit root. Returns the path.
  std::string snapshot(const std::string& name) {
    std::string path = name.empty() || name[0] == '/' ? name : hostPath(name);
    EXPECT_TRUE(plat::display::snapshot(path)) << path;
    return path;
  }

 private:
  void inject(UINT message, int x, int y) {
    plat::window::injectTouch(message, x, y);
    pumpUntilIdle();
  }
  void injectKey(UINT vk, bool down) {
    plat::window::injectKey(vk, down);
    pumpUntilIdle();
  }

  std::string root_;
  int sink_ = 0;
  std::mutex consoleLock_;
  std::vector<std::string> console_;
  std::string scriptError_;
  bool quitSeen_ = false;
  int quitCode_ = 0;
};

}  // namespace hu::test
