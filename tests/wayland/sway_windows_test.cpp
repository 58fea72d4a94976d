// Other programs' windows on sway, seen through the window calls of a display opened in this
// process (our own Wayland window): the demo program's Xwayland window is listed with its
// process, title and class, fronting and taking the screen back move sway's focus, hiding puts it
// in the scratchpad, a window that closes leaves an invalid handle, and the keyboard reaches our
// window as the remote keys.
#include <gtest/gtest.h>

#include <atomic>

#include "../services/unit_fixture.h"
#include "plat_display.h"
#include "sway.h"
#include "window/foreign.h"

namespace hu::test {
namespace {

std::atomic<UINT> g_lastKeyDown{0};
LRESULT CALLBACK keyProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_KEYDOWN) g_lastKeyDown = static_cast<UINT>(w);
  return DefWindowProcW(h, m, w, l);
}

class SwayWindowsTest : public UnitRootTest {
 protected:
  void SetUp() override {
    std::string why = Sway::missing();
    if (why.empty() && access("/usr/bin/Xwayland", X_OK) != 0) why = "Xwayland is not installed (apt-get install xwayland)";
    if (!why.empty()) GTEST_SKIP() << why;
    UnitRootTest::SetUp();
    std::ofstream(host("sway-config")) << "xwayland force\nswaynag_command -\n";
    std::filesystem::copy_file(HU_BINARY_DIR "/tools/navione", host("navione"));
    ASSERT_TRUE(sway_.start(root_, {"/usr/bin/sway", "-c", host("sway-config")}, {}, host("sway.txt")))
        << readFile(host("sway.txt"));
    for (const char* name : {"WAYLAND_DISPLAY", "XDG_RUNTIME_DIR", "SWAYSOCK", "DISPLAY", "SDL_VIDEODRIVER"})
      saved_.emplace_back(name, getenv(name) ? getenv(name) : "");
    setenv("WAYLAND_DISPLAY", sway_.waylandName().c_str(), 1);
    setenv("XDG_RUNTIME_DIR", sway_.runtime.c_str(), 1);
    setenv("SWAYSOCK", sway_.socket.c_str(), 1);
    unsetenv("DISPLAY");
    unsetenv("SDL_VIDEODRIVER");
    plat::display::Options d;
    d.backend = plat::display::Backend::Sdl;
    d.fallBackToHeadless = false;
    ASSERT_TRUE(plat::display::open(d)) << readFile(host("sway.txt"));
    ASSERT_NE(plat::window::foreign::current(), nullptr);
  }
  void TearDown() override {
    if (root_.empty()) return;
    plat::display::close();
    for (auto& [name, value] : saved_)
      value.empty() ? unsetenv(name.c_str()) : setenv(name.c_str(), value.c_str(), 1);
    sway_.stop();
    UnitRootTest::TearDown();
  }

  static HWND otherWindow() {  // the demo program's
    HWND found = nullptr;
    EnumWindows([](HWND h, LPARAM p) -> BOOL {
      DWORD pid = 0;
      if (!plat::window::foreign::isForeign(h) || !GetWindowThreadProcessId(h, &pid) || programName(pid) != "navione")
        return TRUE;
      return *reinterpret_cast<HWND*>(p) = h, FALSE;
    }, reinterpret_cast<LPARAM>(&found));
    return found;
  }
  bool focused(DWORD pid) {
    return waitUntil([&] { return sway_.focusedPid() == static_cast<long>(pid); });
  }

  Sway sway_;
  std::vector<std::pair<std::string, std::string>> saved_;
};

TEST_F(SwayWindowsTest, TheProgramsWindowIsListedFrontedHiddenAndDroppedAndKeysReachOurs) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = keyProc;
  wc.lpszClassName = u"KeyWnd";
  RegisterClassW(&wc);
  HWND ours = CreateWindowExW(0, u"KeyWnd", u"", WS_POPUP | WS_VISIBLE, 0, 0, 800, 480, nullptr, nullptr, nullptr, nullptr);
  std::string run = "swaymsg -s '" + sway_.socket + "' exec '" + host("navione") + " --seconds 0' >/dev/null";
  ASSERT_EQ(std::system(run.c_str()), 0);
  HWND navi = nullptr;
  ASSERT_TRUE(waitUntil([&] { return (navi = otherWindow()) != nullptr; }, 20000)) << readFile(host("sway.txt"));
  DWORD pid = 0;
  GetWindowThreadProcessId(navi, &pid);
  WCHAR text[64];
  ASSERT_GT(GetWindowTextW(navi, text, 64), 0);
  EXPECT_EQ(std::u16string(text), u"NaviOne navigation");
  ASSERT_GT(GetClassNameW(navi, text, 64), 0);
  EXPECT_EQ(std::u16string(text), u"NaviOne");

  SetForegroundWindow(ours);  // our screen in front again
  EXPECT_TRUE(focused(static_cast<DWORD>(getpid())));
  if (access("/usr/bin/wtype", X_OK) == 0) {
    // The virtual keyboard gives the seat its keyboard; the key waits until we have bound it.
    std::string key = std::string(asNobody() ? "setpriv --reuid=nobody --regid=nogroup --clear-groups " : "") +
                      "env XDG_RUNTIME_DIR='" + sway_.runtime + "' WAYLAND_DISPLAY=" + sway_.waylandName() + " wtype -s 500 -k Right";
    ASSERT_EQ(std::system(key.c_str()), 0);
    EXPECT_TRUE(waitUntil([&] {
      MSG m;
      while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
      return g_lastKeyDown.load() == VK_RIGHT;
    }));
  }
  SetForegroundWindow(navi);
  EXPECT_TRUE(focused(pid));
  EXPECT_TRUE(ShowWindow(navi, SW_HIDE));
  EXPECT_TRUE(waitUntil([&] { return !IsWindowVisible(navi); }));
  EXPECT_TRUE(focused(static_cast<DWORD>(getpid())));
  EXPECT_FALSE(ShowWindow(navi, SW_SHOW));
  EXPECT_TRUE(IsWindowVisible(navi));
  EXPECT_TRUE(focused(pid));

  kill(static_cast<pid_t>(pid), SIGTERM);
  EXPECT_TRUE(waitUntil([&] { return !IsWindow(navi); }, 10000));
  EXPECT_EQ(GetWindowTextW(navi, text, 64), 0);
  DestroyWindow(ours);
}

}  // namespace
}  // namespace hu::test
