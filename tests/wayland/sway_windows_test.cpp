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
    runtime_ = host("runtime");
    makeFolder("runtime");
    std::filesystem::permissions(root_, std::filesystem::perms::all);
    std::filesystem::permissions(runtime_, std::filesystem::perms::owner_all);
    std::ofstream(host("runtime/config")) << "xwayland force\nswaynag_command -\n";
    std::filesystem::copy_file(HU_BINARY_DIR "/tools/navione", host("navione"));
    giveToNobody(root_);
    sway_ = Sway::spawn(runtime_, {"/usr/bin/sway", "-c", runtime_ + "/config"}, {}, host("sway.txt"));
    ASSERT_TRUE(waitFor([&] { return !(socket_ = Sway::ipcSocket(runtime_)).empty(); }, 20000)) << readText(host("sway.txt"));
    for (const char* name : {"WAYLAND_DISPLAY", "XDG_RUNTIME_DIR", "SWAYSOCK", "DISPLAY", "SDL_VIDEODRIVER"})
      saved_.emplace_back(name, getenv(name) ? getenv(name) : "");
    wayland_ = Sway::waylandName(runtime_);
    setenv("WAYLAND_DISPLAY", wayland_.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
    setenv("SWAYSOCK", socket_.c_str(), 1);
    unsetenv("DISPLAY");
    unsetenv("SDL_VIDEODRIVER");
    plat::display::Options d;
    d.backend = plat::display::Backend::Sdl;
    d.fallBackToHeadless = false;
    ASSERT_TRUE(plat::display::open(d)) << readText(host("sway.txt"));
    ASSERT_NE(plat::window::foreign::current(), nullptr);
  }
  void TearDown() override {
    if (sway_ <= 0) return;
    plat::display::close();
    for (auto& [name, value] : saved_)
      value.empty() ? unsetenv(name.c_str()) : setenv(name.c_str(), value.c_str(), 1);
    kill(-sway_, SIGTERM);
    waitpid(sway_, nullptr, 0);
    std::string sweep = "pkill -KILL -f '" + root_ + "/' 2>/dev/null";
    if (std::system(sweep.c_str()) < 0) std::fprintf(stderr, "cannot sweep %s\n", root_.c_str());
    UnitRootTest::TearDown();
  }

  HWND otherWindow() {
    std::vector<HWND> all;
    EnumWindows([](HWND h, LPARAM p) -> BOOL { return reinterpret_cast<std::vector<HWND>*>(p)->push_back(h), TRUE; },
                reinterpret_cast<LPARAM>(&all));
    for (HWND h : all) {
      DWORD pid = 0;
      if (plat::window::foreign::isForeign(h) && GetWindowThreadProcessId(h, &pid) && programName(pid) == "navione")
        return h;
    }
    return nullptr;
  }
  bool focused(DWORD pid) {
    return waitFor([&] { return Sway::focusedPid(socket_) == static_cast<long>(pid); }, 5000);
  }

  std::string runtime_, socket_, wayland_;
  pid_t sway_ = -1;
  std::vector<std::pair<std::string, std::string>> saved_;
};

TEST_F(SwayWindowsTest, TheProgramsWindowIsListedFrontedHiddenAndDroppedAndKeysReachOurs) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = keyProc;
  wc.lpszClassName = u"KeyWnd";
  RegisterClassW(&wc);
  HWND ours = CreateWindowExW(0, u"KeyWnd", u"", WS_POPUP | WS_VISIBLE, 0, 0, 800, 480, nullptr, nullptr, nullptr, nullptr);
  std::string run = "swaymsg -s '" + socket_ + "' exec '" + host("navione") + " --seconds 0' >/dev/null";
  ASSERT_EQ(std::system(run.c_str()), 0);
  HWND navi = nullptr;
  ASSERT_TRUE(waitFor([&] { return (navi = otherWindow()) != nullptr; }, 20000)) << readText(host("sway.txt"));
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
                      "env XDG_RUNTIME_DIR='" + runtime_ + "' WAYLAND_DISPLAY=" + wayland_ + " wtype -s 500 -k Right";
    ASSERT_EQ(std::system(key.c_str()), 0);
    EXPECT_TRUE(waitFor([&] {
      MSG m;
      while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
      return g_lastKeyDown.load() == VK_RIGHT;
    }, 5000));
  }
  SetForegroundWindow(navi);
  EXPECT_TRUE(focused(pid));
  EXPECT_TRUE(ShowWindow(navi, SW_HIDE));
  EXPECT_TRUE(waitFor([&] { return !IsWindowVisible(navi); }, 5000));
  EXPECT_TRUE(focused(static_cast<DWORD>(getpid())));
  EXPECT_FALSE(ShowWindow(navi, SW_SHOW));
  EXPECT_TRUE(IsWindowVisible(navi));
  EXPECT_TRUE(focused(pid));

  kill(static_cast<pid_t>(pid), SIGTERM);
  EXPECT_TRUE(waitFor([&] { return !IsWindow(navi); }, 10000));
  EXPECT_EQ(GetWindowTextW(navi, text, 64), 0);
  DestroyWindow(ours);
}

}  // namespace
}  // namespace hu::test
