// The window calls on other programs' windows, on a real X server without a window manager.
#include <gtest/gtest.h>

#include "../services/listener_window.h"
#include "window/foreign.h"
#include "xwin_env.h"

namespace hu::test {

// Sends an event to a window that does not exist on a fresh Xlib connection (xlib_client.cpp).
bool sendXlibEventToMissingWindow(const std::string& display);

namespace {

using plat::window::foreign::isForeign;

std::vector<HWND> allWindows() {
  std::vector<HWND> out;
  EnumWindows(
      [](HWND h, LPARAM p) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&out));
  return out;
}

// The other program's window whose process id is `pid` (null when none is listed).
HWND byProcess(DWORD pid) {
  for (HWND h : allWindows()) {
    DWORD owner = 0;
    if (isForeign(h) && GetWindowThreadProcessId(h, &owner) && owner == pid) return h;
  }
  return nullptr;
}

std::u16string title(HWND h) {
  WCHAR buf[300];
  GetWindowTextW(h, buf, 300);
  return buf;
}

std::u16string className(HWND h) {
  WCHAR buf[300];
  GetClassNameW(h, buf, 300);
  return buf;
}

class OtherWindowsTest : public OnXServerTest {};

TEST_F(OtherWindowsTest, AnotherProgramsWindowIsListedWithItsProcessTitleAndClass) {
  xcb_window_t w = x_->makeWindow(0x00FF00);
  x_->setPid(w, 4242);
  x_->setString(w, "_NET_WM_NAME", "UTF8_STRING", "Navigation \xe2\x80\x94 Stra\xc3\x9f" "e \xe8\xb7\xaf");
  x_->setString(w, "WM_NAME", "STRING", "Navigation - Strasse");
  x_->setString(w, "WM_CLASS", "STRING", std::string("navi\0NaviClass\0", 15));
  HWND h = byProcess(4242);
  ASSERT_NE(h, nullptr);
  EXPECT_TRUE(IsWindow(h));
  EXPECT_TRUE(IsWindowVisible(h));
  // The UTF-8 title wins over the old one.
  EXPECT_EQ(title(h), u"Navigation \u2014 Stra\u00dfe \u8def");
  EXPECT_EQ(GetWindowTextLengthW(h), 21);
  EXPECT_EQ(className(h), u"NaviClass");
  DWORD pid = 0;
  EXPECT_EQ(GetWindowThreadProcessId(h, &pid), 4242u);
  EXPECT_EQ(pid, 4242u);
  EXPECT_EQ(FindWindowW(u"naviclass", nullptr), h);
  EXPECT_EQ(FindWindowW(nullptr, u"NAVIGATION \u2014 STRA\u00dfE \u8def"), h);
  EXPECT_EQ(FindWindowW(u"NaviClass", u"other title"), nullptr);
  // Our own screen window is the screen, never another program's window.
  for (HWND o : allWindows()) {
    DWORD owner = 0;
    if (isForeign(o)) {
      GetWindowThreadProcessId(o, &owner);
      EXPECT_NE(owner, static_cast<DWORD>(getpid()));
    }
  }
  // A text cut to a small buffer is still terminated.
  WCHAR small[5];
  EXPECT_EQ(GetWindowTextW(h, small, 5), 4);
  EXPECT_EQ(std::u16string(small), u"Navi");
  // Once the display has stopped, other programs' windows are out of reach.
  plat::display::close();
  EXPECT_FALSE(IsWindow(h));
  EXPECT_EQ(byProcess(4242), nullptr);
}

TEST_F(OtherWindowsTest, TitlesInOtherEncodingsAndMissingPropertiesAreReadSafely) {
  xcb_window_t latin = x_->makeWindow(0x0000FF, true, 0, 0, 100, 100);
  x_->setPid(latin, 501);
  x_->setString(latin, "WM_NAME", "STRING", "Caf\xe9 \x01");  // Latin-1, a control character dropped
  x_->setString(latin, "WM_CLASS", "STRING", "solo");           // one string, no terminator
  xcb_window_t broken = x_->makeWindow(0x0000FF, true, 0, 0, 100, 100);
  x_->setPid(broken, 502);
  x_->setString(broken, "_NET_WM_NAME", "UTF8_STRING", "A\xff\xfe" "B");
  xcb_window_t huge = x_->makeWindow(0x0000FF, true, 0, 0, 100, 100);
  x_->setPid(huge, 503);
  x_->setString(huge, "_NET_WM_NAME", "UTF8_STRING", std::string(100000, 'x'));
  xcb_window_t bare = x_->makeWindow(0x0000FF, true, 0, 0, 100, 100);
  x_->setString(bare, "WM_NAME", "STRING", "no process");

  HWND h = byProcess(501);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(title(h), u"Caf\u00e9 ");
  EXPECT_EQ(className(h), u"solo");
  h = byProcess(502);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(title(h), u"A\ufffd\ufffdB");
  EXPECT_EQ(className(h), u"");
  h = byProcess(503);
  ASSERT_NE(h, nullptr);
  // Bounded: a title is read up to 4 KB, and a caller's buffer is never overrun.
  EXPECT_EQ(GetWindowTextLengthW(h), 4096);
  EXPECT_EQ(title(h), std::u16string(299, u'x'));
  HWND noPid = FindWindowW(nullptr, u"no process");
  ASSERT_NE(noPid, nullptr);
  DWORD pid = 77;
  EXPECT_EQ(GetWindowThreadProcessId(noPid, &pid), 0u);
  EXPECT_EQ(pid, 0u);
  EXPECT_TRUE(IsWindow(noPid));
  for (xcb_window_t w : {latin, broken, huge, bare}) x_->destroy(w);
}

TEST_F(OtherWindowsTest, AWindowThatGoesAwayLeavesAnInvalidHandleEvenWhenItsIdComesBack) {
  auto other = std::make_unique<XClient>(g_xserver->display());
  xcb_window_t w = other->makeWindow(0x00FF00);
  other->setPid(w, 600);
  HWND h = byProcess(600);
  ASSERT_NE(h, nullptr);
  // The program ends; X gives the next client the same ids again.
  other.reset();
  auto next = std::make_unique<XClient>(g_xserver->display());
  xcb_window_t again = next->makeWindow(0x00FF00);
  next->setPid(again, 601);
  EXPECT_FALSE(IsWindow(h));
  EXPECT_FALSE(IsWindowVisible(h));
  EXPECT_FALSE(ShowWindow(h, SW_SHOW));
  EXPECT_FALSE(SetForegroundWindow(h));
  EXPECT_FALSE(BringWindowToTop(h));
  DWORD pid = 1;
  EXPECT_EQ(GetWindowThreadProcessId(h, &pid), 0u);
  EXPECT_EQ(pid, 0u);
  WCHAR text[8] = u"junk";
  EXPECT_EQ(GetWindowTextW(h, text, 8), 0);
  EXPECT_EQ(text[0], 0);
  HWND h2 = byProcess(601);
  ASSERT_NE(h2, nullptr);
  EXPECT_NE(h2, h);
  // A made-up handle of the foreign kind names nothing either.
  EXPECT_FALSE(IsWindow(reinterpret_cast<HWND>(plat::window::foreign::kHandleTag | 0x7777)));
  next->destroy(again);
  EXPECT_FALSE(IsWindow(h2));
}

TEST_F(OtherWindowsTest, FrontingTakesTurnsBetweenTheProgramAndOurScreen) {
  ListenerWindows own({u"MainMenu"});
  ASSERT_TRUE(SetForegroundWindow(own.window(0)));
  paintScreen(0x3060C0);
  ASSERT_TRUE(screenShows(0x3060C0));
  xcb_window_t w = x_->makeWindow(0x00FF00);
  x_->setPid(w, 700);
  HWND h = byProcess(700);
  ASSERT_NE(h, nullptr);
  // Newly mapped without a window manager it is on top already; our screen takes it back.
  ASSERT_TRUE(SetForegroundWindow(own.window(0)));
  EXPECT_GT(x_->stackIndex(screen_), x_->stackIndex(w));
  EXPECT_TRUE(screenShows(0x3060C0));
  // Listed below our windows now.
  std::vector<HWND> all = allWindows();
  auto pos = [&](HWND x) { return std::find(all.begin(), all.end(), x) - all.begin(); };
  EXPECT_LT(pos(own.window(0)), pos(h));

  ASSERT_TRUE(SetForegroundWindow(h));
  EXPECT_GT(x_->stackIndex(w), x_->stackIndex(screen_));
  EXPECT_EQ(x_->focus(), w);
  EXPECT_TRUE(screenShows(0x00FF00));
  EXPECT_EQ(GetForegroundWindow(), nullptr);  // ours gave up the activation
  all = allWindows();
  EXPECT_LT(pos(h), pos(own.window(0)));

  // Hidden, it stays a window that can be shown again; shown, it is in front.
  EXPECT_TRUE(ShowWindow(h, SW_HIDE));
  EXPECT_FALSE(IsWindowVisible(h));
  EXPECT_TRUE(IsWindow(h));
  EXPECT_TRUE(screenShows(0x3060C0));
  EXPECT_EQ(byProcess(700), h);
  EXPECT_FALSE(ShowWindow(h, SW_SHOW));
  EXPECT_TRUE(IsWindowVisible(h));
  EXPECT_TRUE(screenShows(0x00FF00));
  // Without a window manager, minimising puts the window away.
  EXPECT_TRUE(ShowWindow(h, SW_MINIMIZE));
  EXPECT_FALSE(IsWindowVisible(h));
  EXPECT_TRUE(screenShows(0x3060C0));
  EXPECT_FALSE(ShowWindow(h, SW_SHOWNA));
  EXPECT_TRUE(IsWindowVisible(h));

  // BringWindowToTop on our own top-level window fronts the screen as well.
  ASSERT_TRUE(BringWindowToTop(own.window(0)));
  EXPECT_GT(x_->stackIndex(screen_), x_->stackIndex(w));
  EXPECT_TRUE(screenShows(0x3060C0));
  x_->destroy(w);
}

TEST_F(OtherWindowsTest, ATouchOnOurScreenTakesItBackFromTheProgram) {
  if (access("/usr/bin/xdotool", X_OK) != 0) GTEST_SKIP() << "xdotool is not installed (apt-get install xdotool)";
  ListenerWindows own({u"MainMenu"});  // a 10x10 window at the screen's corner
  ASSERT_TRUE(SetForegroundWindow(own.window(0)));
  paintScreen(0x3060C0);
  ASSERT_TRUE(screenShows(0x3060C0));
  xcb_window_t w = x_->makeWindow(0x00FF00, true, 100, 100, 400, 300);
  x_->setPid(w, 710);
  HWND h = byProcess(710);
  ASSERT_NE(h, nullptr);
  ASSERT_TRUE(SetForegroundWindow(h));
  ASSERT_GT(x_->stackIndex(w), x_->stackIndex(screen_));
  ASSERT_EQ(GetForegroundWindow(), nullptr);
  // The driver touches our window where the program's does not cover it.
  std::string touch = "DISPLAY=" + g_xserver->display() + " xdotool mousemove 5 5 click 1";
  ASSERT_EQ(system(touch.c_str()), 0);
  EXPECT_TRUE(waitUntil([&] { return x_->stackIndex(screen_) > x_->stackIndex(w); }));
  // The touch also activates our window, by click, as on the device.
  EXPECT_TRUE(waitUntil([&] { return GetForegroundWindow() == own.window(0); }));
  x_->destroy(w);
}

TEST_F(OtherWindowsTest, UnmappedHelperWindowsAndMenusAreNotTopLevelWindows) {
  xcb_window_t helper = x_->makeWindow(0x0000FF, false);
  x_->setPid(helper, 800);
  xcb_window_t menu = xcb_generate_id(x_->connection());
  uint32_t values[] = {1};
  xcb_create_window(x_->connection(), XCB_COPY_FROM_PARENT, menu, x_->root(), 0, 0, 50, 50, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT, values);
  xcb_map_window(x_->connection(), menu);
  x_->setPid(menu, 800);
  EXPECT_EQ(byProcess(800), nullptr);
  xcb_window_t main = x_->makeWindow(0x00FF00);
  x_->setPid(main, 800);
  HWND h = byProcess(800);
  ASSERT_NE(h, nullptr);
  EXPECT_TRUE(IsWindowVisible(h));
  for (xcb_window_t w : {helper, menu, main}) x_->destroy(w);
}

// SDL's Xlib connections share one error handler per process; Xlib's default one exits. An event
// sent to a window that is already gone (as SDL's wake-up event can be while the display closes)
// must leave the shell running, with a console line.
TEST_F(OtherWindowsTest, AnXProtocolErrorOnXlibDoesNotEndTheShell) {
  ASSERT_TRUE(sendXlibEventToMissingWindow(g_xserver->display()));
  EXPECT_TRUE(consoleHas("X error ignored"));
  EXPECT_TRUE(consoleHas("request 25"));
  // Nor once the screen is closed: the display library puts back the handler it found when it
  // shuts down, and an error can still come in on its last connection as that closes.
  plat::display::close();
  ASSERT_TRUE(sendXlibEventToMissingWindow(g_xserver->display()));
}

}  // namespace
}  // namespace hu::test
