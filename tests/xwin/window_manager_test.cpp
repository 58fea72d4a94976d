// Other programs' windows where a window manager runs (openbox, an EWMH window manager): fronting
// goes through _NET_ACTIVE_WINDOW, minimising through WM_CHANGE_STATE, and our full-screen
// window and the program's take turns in front.
#include <gtest/gtest.h>

#include "../services/listener_window.h"
#include "window/foreign.h"
#include "xwin_env.h"

namespace hu::test {
namespace {

constexpr uint32_t kOurs = 0x3060C0;
constexpr uint32_t kTheirs = 0x00C000;

class WindowManagerTest : public UnitRootTest {
 protected:
  void SetUp() override {
    if (access("/usr/bin/openbox", X_OK) != 0) GTEST_SKIP() << "openbox is not installed (apt-get install openbox)";
    std::string why;
    if (!server_.start(why)) GTEST_SKIP() << why;
    UnitRootTest::SetUp();
    savedDisplay_ = getenv("DISPLAY") ? getenv("DISPLAY") : "";
    setenv("DISPLAY", server_.display().c_str(), 1);
    wm_ = fork();
    if (wm_ == 0) {
      int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      execl("/usr/bin/openbox", "openbox", "--sm-disable", static_cast<char*>(nullptr));
      _exit(127);
    }
    x_ = std::make_unique<XClient>(server_.display());
    ASSERT_TRUE(x_->ok());
    ASSERT_TRUE(waitUntil([&] { return x_->windowManagerRuns(); }, 10000)) << "openbox did not start";
    plat::display::Options d;
    d.backend = plat::display::Backend::Sdl;
    // The test thread paints the screen itself and presents it (presentNow); presenting from the
    // listener windows' thread meanwhile would read the screen while it is being painted.
    d.presentOnIdle = false;
    d.fullscreen = true;
    ASSERT_TRUE(plat::display::open(d));
    ASSERT_TRUE(waitUntil([&] { return (screen_ = x_->managedOfProcess(static_cast<uint32_t>(getpid()))) != 0; }));
  }
  void TearDown() override {
    if (x_) {
      plat::display::close();
      x_.reset();
      UnitRootTest::TearDown();
    }
    if (wm_ > 0) {
      kill(wm_, SIGTERM);
      waitpid(wm_, nullptr, 0);
    }
    server_.stop();
    if (!savedDisplay_.empty()) setenv("DISPLAY", savedDisplay_.c_str(), 1);
  }

  static std::vector<HWND> listed() {
    std::vector<HWND> all;
    EnumWindows(
        [](HWND h, LPARAM p) -> BOOL {
          reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&all));
    return all;
  }
  HWND byProcess(DWORD pid) {
    for (HWND h : listed()) {
      DWORD owner = 0;
      if (plat::window::foreign::isForeign(h) && GetWindowThreadProcessId(h, &owner) && owner == pid) return h;
    }
    return nullptr;
  }
  bool above(xcb_window_t a, xcb_window_t b) {
    std::vector<uint32_t> s = x_->managedStacking();
    auto ia = std::find(s.begin(), s.end(), a), ib = std::find(s.begin(), s.end(), b);
    return ia != s.end() && ib != s.end() && ia > ib;
  }
  bool shows(uint32_t rgb, std::pair<int, int> at) {
    return waitUntil([&] { return x_->screenPixel(at.first, at.second) == rgb; });
  }

  XServer server_;
  pid_t wm_ = -1;
  std::string savedDisplay_;
  std::unique_ptr<XClient> x_;
  xcb_window_t screen_ = 0;
};

TEST_F(WindowManagerTest, TheProgramAndOurFullScreenTakeTurnsThroughTheWindowManager) {
  ListenerWindows own({u"MainMenu"});
  HDC dc = GetDC(nullptr);
  HBRUSH brush = CreateSolidBrush(RGB(0x30, 0x60, 0xC0));
  RECT all = {0, 0, 800, 480};
  FillRect(dc, &all, brush);
  DeleteObject(brush);
  ReleaseDC(nullptr, dc);
  plat::display::presentNow();

  xcb_window_t w = x_->makeWindow(kTheirs, true, 100, 100, 400, 300);
  x_->setPid(w, 900);
  HWND h = nullptr;
  ASSERT_TRUE(waitUntil([&] { return (h = byProcess(900)) != nullptr; }));
  std::pair<int, int> middle;
  ASSERT_TRUE(waitUntil([&] { return x_->viewable(w) && (middle = x_->middleOf(w)).first > 0; }));

  ASSERT_TRUE(SetForegroundWindow(own.window(0)));
  EXPECT_TRUE(waitUntil([&] { return x_->activeWindow() == screen_ && above(screen_, w); }));
  EXPECT_TRUE(shows(kOurs, middle));

  ASSERT_TRUE(SetForegroundWindow(h));
  EXPECT_TRUE(waitUntil([&] { return x_->activeWindow() == w && above(w, screen_); }));
  EXPECT_TRUE(shows(kTheirs, middle));
  EXPECT_EQ(GetForegroundWindow(), nullptr);

  // Minimised, the window manager keeps it; shown, it is in front again.
  EXPECT_TRUE(ShowWindow(h, SW_MINIMIZE));
  EXPECT_TRUE(waitUntil([&] { return !IsWindowVisible(h); }));
  EXPECT_TRUE(IsWindow(h));
  EXPECT_TRUE(shows(kOurs, middle));
  ShowWindow(h, SW_SHOW);
  EXPECT_TRUE(waitUntil([&] { return IsWindowVisible(h) && x_->activeWindow() == w; }));
  EXPECT_TRUE(shows(kTheirs, middle));

  // Hidden, it leaves the window manager's list but stays ours to show again.
  EXPECT_TRUE(ShowWindow(h, SW_HIDE));
  EXPECT_TRUE(waitUntil([&] { return x_->managedOfProcess(900) == XCB_NONE; }));
  EXPECT_EQ(byProcess(900), h);
  EXPECT_EQ(listed().back(), h) << "at the bottom of the stacking order";
  ShowWindow(h, SW_SHOW);
  EXPECT_TRUE(waitUntil([&] { return IsWindowVisible(h) && x_->activeWindow() == w; }));

  x_->destroy(w);
  EXPECT_TRUE(waitUntil([&] { return !IsWindow(h); }));
  EXPECT_TRUE(BringWindowToTop(own.window(0)));
  EXPECT_TRUE(waitUntil([&] { return x_->activeWindow() == screen_; }));
}

}  // namespace
}  // namespace hu::test
