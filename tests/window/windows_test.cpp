// Windows: creation and destruction, lookups, z-order, activation and geometry.
#include <optional>
#include <thread>

#include "window_test_util.h"

using namespace wintest;

namespace {

class Windows : public WindowTest {};

TEST_F(Windows, CreationSendsCreateWithTheCreateStructAndShowsWhenVisible) {
  CREATESTRUCTW seen{};
  hook() = [&](HWND, UINT m, WPARAM, LPARAM l, LRESULT&) {
    if (m == WM_CREATE) seen = *reinterpret_cast<CREATESTRUCTW*>(l);
    return false;
  };
  HWND w = CreateWindowExW(0x40000000, u"TestWnd", u"MainMenu", 0xC0000000 | WS_VISIBLE, 0, 40, 800, 440, nullptr,
                           nullptr, nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  auto got = numbers(only(takeLog(), {WM_CREATE, WM_SHOWWINDOW, WM_ACTIVATE}));
  EXPECT_EQ(got, (std::vector<UINT>{WM_CREATE, WM_SHOWWINDOW, WM_ACTIVATE}));
  EXPECT_EQ(seen.cy, 440);
  EXPECT_EQ(seen.y, 40);
  EXPECT_EQ(static_cast<DWORD>(seen.dwExStyle), 0x40000000u);
  EXPECT_TRUE(IsWindowVisible(w));
  EXPECT_EQ(GetForegroundWindow(), w);
  RECT r;
  GetWindowRect(w, &r);
  EXPECT_EQ(r.top, 40);
  EXPECT_EQ(r.bottom, 480);
  GetClientRect(w, &r);
  EXPECT_EQ(r.right, 800);
  EXPECT_EQ(r.bottom, 440);
  EXPECT_EQ(GetParent(w), nullptr);
}

TEST_F(Windows, CreationFailures) {
  // A child needs a parent; classes must exist; a handler may refuse the creation.
  EXPECT_EQ(CreateWindowExW(0, u"TestWnd", u"", WS_CHILD, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(CreateWindowExW(0, u"NoSuchClass", u"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
  hook() = [](HWND, UINT m, WPARAM, LPARAM, LRESULT& r) {
    r = -1;
    return m == WM_CREATE;
  };
  size_t before = plat::window::windowCount();
  EXPECT_EQ(top(0, 0, 10, 10), nullptr);
  EXPECT_EQ(plat::window::windowCount(), before);
}

TEST_F(Windows, RegisteringAClassTwiceKeepsTheFirst) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.lpszClassName = u"testwnd";
  EXPECT_EQ(RegisterClassW(&wc), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
  HWND w = top(0, 0, 10, 10);
  takeLog();
  SendMessageW(w, WM_USER, 0, 0);
  EXPECT_EQ(takeLog().size(), 1u);  // still the recording procedure
}

TEST_F(Windows, DestroySendsDestroyToTheWindowThenItsChildrenAndFreesAll) {
  HWND p = top(0, 0, 100, 100);
  HWND c1 = child(p, 0, 0, 10, 10, 1);
  HWND c2 = child(p, 20, 0, 10, 10, 2);
  HWND g = child(c1, 0, 0, 5, 5, 3);
  SetTimer(c2, 1, 10, nullptr);
  pumpUntilIdle();
  takeLog();
  EXPECT_TRUE(DestroyWindow(p));
  auto got = only(takeLog(), {WM_DESTROY});
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0].hwnd, p);
  // Children get theirs after the parent, each before its own children.
  std::vector<HWND> order{got[1].hwnd, got[2].hwnd, got[3].hwnd};
  auto pos = [&](HWND h) { return std::find(order.begin(), order.end(), h) - order.begin(); };
  EXPECT_LT(pos(c1), pos(g));
  for (HWND h : {p, c1, c2, g}) EXPECT_FALSE(IsWindow(h));
  EXPECT_FALSE(DestroyWindow(p));
  EXPECT_EQ(plat::window::windowCount(), 0u);
  EXPECT_EQ(plat::window::nextTimerDueMs(), UINT64_MAX);
}

TEST_F(Windows, OwnedWindowsAreDestroyedBeforeTheirOwner) {
  HWND owner = top(0, 0, 100, 100);
  HWND owned = CreateWindowExW(0, u"TestWnd", u"popup", 0xC0000000 | WS_VISIBLE, 0, 0, 10, 10, owner, nullptr, nullptr,
                               nullptr);
  ASSERT_NE(owned, nullptr);
  EXPECT_EQ(GetParent(owned), owner);  // a popup's parent handle is its owner
  takeLog();
  DestroyWindow(owner);
  auto got = only(takeLog(), {WM_DESTROY});
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].hwnd, owned);
  EXPECT_EQ(got[1].hwnd, owner);
  EXPECT_FALSE(IsWindow(owned));
}

TEST_F(Windows, ScreenSizeStaysWhileWindowsExist) {
  top(0, 0, 10, 10);
  plat::window::setScreenSize(1024, 600);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 800);
  EXPECT_TRUE(consoleHas("display: screen size cannot change while windows exist"));
}

TEST_F(Windows, CloseDestroysThroughTheDefaultProcedure) {
  HWND w = top(0, 0, 10, 10);
  SendMessageW(w, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(w));
}

TEST_F(Windows, FindWindowByClassTitleOrBothTopLevelOnly) {
  HWND a = top(0, 0, 10, 10, 0, true, u"StatusBar");
  HWND b = top(0, 0, 10, 10, 0, false, u"MainMenu");
  HWND c = child(a, 0, 0, 5, 5);
  SetWindowTextW(c, u"Inner");
  EXPECT_EQ(FindWindowW(nullptr, u"MainMenu"), b);
  EXPECT_EQ(FindWindowW(u"testwnd", u"StatusBar"), a);
  EXPECT_NE(FindWindowW(u"TestWnd", nullptr), nullptr);
  EXPECT_EQ(FindWindowW(nullptr, u"Inner"), nullptr);
  EXPECT_EQ(FindWindowW(u"HHTaskBar", nullptr), nullptr);
  EXPECT_EQ(FindWindowW(u"TestWnd", u"mainmenu"), b);  // titles compare without regard to case too
  EXPECT_EQ(FindWindowW(u"TestWnd", u"MainMenu2"), nullptr);
  EXPECT_EQ(FindWindowW(u"TestWnd", u"Main"), nullptr);
}

BOOL CALLBACK collectWindows(HWND h, LPARAM l) {
  reinterpret_cast<std::vector<HWND>*>(l)->push_back(h);
  return TRUE;
}
BOOL CALLBACK stopAtFirst(HWND h, LPARAM l) {
  reinterpret_cast<std::vector<HWND>*>(l)->push_back(h);
  return FALSE;
}

TEST_F(Windows, EnumWindowsListsTopLevelWindowsInZOrderAndActivationRaises) {
  HWND a = top(0, 0, 10, 10);
  HWND b = top(0, 0, 10, 10);
  HWND c = top(0, 0, 10, 10, WS_EX_TOPMOST | WS_EX_NOACTIVATE);
  child(a, 0, 0, 5, 5);
  std::vector<HWND> got;
  EnumWindows(collectWindows, reinterpret_cast<LPARAM>(&got));
  EXPECT_EQ(got, (std::vector<HWND>{c, b, a}));
  SetForegroundWindow(a);
  got.clear();
  EnumWindows(collectWindows, reinterpret_cast<LPARAM>(&got));
  EXPECT_EQ(got, (std::vector<HWND>{c, a, b}));  // the topmost one stays above
  SetWindowPos(a, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  got.clear();
  EnumWindows(collectWindows, reinterpret_cast<LPARAM>(&got));
  EXPECT_EQ(got, (std::vector<HWND>{c, b, a}));
  got.clear();
  EnumWindows(stopAtFirst, reinterpret_cast<LPARAM>(&got));
  EXPECT_EQ(got.size(), 1u);
  DWORD pid = 0;
  EXPECT_EQ(GetWindowThreadProcessId(a, &pid), GetCurrentThreadId());
  EXPECT_NE(pid, 0u);
}

TEST_F(Windows, ZOrderKeepsTopmostWindowsInTheirBand) {
  HWND a = top(0, 0, 10, 10);
  HWND b = top(0, 0, 10, 10);
  HWND t = top(0, 0, 10, 10, WS_EX_TOPMOST | WS_EX_NOACTIVATE);
  const UINT keep = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
  auto order = [] {
    std::vector<HWND> got;
    EnumWindows(collectWindows, reinterpret_cast<LPARAM>(&got));
    return got;
  };
  ASSERT_EQ(order(), (std::vector<HWND>{t, b, a}));
  // After itself: nothing moves.
  SetWindowPos(a, a, 0, 0, 0, 0, keep);
  EXPECT_EQ(order(), (std::vector<HWND>{t, b, a}));
  // After a topmost window, a plain one still stays below every topmost one...
  SetWindowPos(a, t, 0, 0, 0, 0, keep);
  EXPECT_EQ(order(), (std::vector<HWND>{t, a, b}));
  // ...and after a plain one, a topmost one stays above the plain ones.
  SetWindowPos(t, b, 0, 0, 0, 0, keep);
  EXPECT_EQ(order(), (std::vector<HWND>{t, a, b}));
  EXPECT_TRUE(GetWindowLongW(t, GWL_EXSTYLE) & WS_EX_TOPMOST);
  // A topmost window sent to the bottom loses its topmost state.
  SetWindowPos(t, HWND_BOTTOM, 0, 0, 0, 0, keep);
  EXPECT_EQ(order(), (std::vector<HWND>{a, b, t}));
  EXPECT_FALSE(GetWindowLongW(t, GWL_EXSTYLE) & WS_EX_TOPMOST);
  SetWindowPos(b, HWND_TOP, 0, 0, 0, 0, keep);
  EXPECT_EQ(order(), (std::vector<HWND>{b, a, t}));
  SetWindowPos(t, HWND_TOPMOST, 0, 0, 0, 0, keep);
  EXPECT_EQ(order(), (std::vector<HWND>{t, b, a}));
  // "Not topmost" moves only a topmost window (below the topmost ones).
  SetWindowPos(a, HWND_NOTOPMOST, 0, 0, 0, 0, keep);
  EXPECT_EQ(order(), (std::vector<HWND>{t, b, a}));
  SetWindowPos(t, HWND_NOTOPMOST, 0, 0, 0, 0, keep);
  EXPECT_EQ(order(), (std::vector<HWND>{t, b, a}));
  EXPECT_FALSE(GetWindowLongW(t, GWL_EXSTYLE) & WS_EX_TOPMOST);
}

TEST_F(Windows, ActivationMessages) {
  HWND a = top(0, 0, 100, 100);
  HWND b = top(200, 0, 100, 100);
  pumpUntilIdle();
  ASSERT_EQ(GetForegroundWindow(), b);
  auto check = [&](const char* what, std::function<void()> act, std::vector<std::pair<HWND, WPARAM>> want) {
    takeLog();
    act();
    pumpUntilIdle();
    std::vector<std::pair<HWND, WPARAM>> got;
    for (const Rec& r : only(takeLog(), {WM_ACTIVATE})) got.emplace_back(r.hwnd, r.wParam);
    EXPECT_EQ(got, want) << what;
  };
  check("foreground", [&] { SetForegroundWindow(a); }, {{b, WA_INACTIVE}, {a, WA_ACTIVE}});
  check("again", [&] { SetForegroundWindow(a); }, {});
  check("touch on the inactive one", [&] { plat::window::injectTouch(WM_LBUTTONDOWN, 250, 50); },
        {{a, WA_INACTIVE}, {b, WA_CLICKACTIVE}});
  plat::window::injectTouch(WM_LBUTTONUP, 250, 50);
  check("touch on the active one", [&] { tap(210, 10); }, {});
  check("hiding the active one", [&] { ShowWindow(b, SW_HIDE); }, {{b, WA_INACTIVE}, {a, WA_ACTIVE}});
  check("showing without activation", [&] { ShowWindow(b, SW_SHOWNA); }, {});
  check("bring to top", [&] { BringWindowToTop(b); }, {{a, WA_INACTIVE}, {b, WA_ACTIVE}});
  check("destroying the active one", [&] { DestroyWindow(b); }, {{b, WA_INACTIVE}, {a, WA_ACTIVE}});
  EXPECT_EQ(GetForegroundWindow(), a);
}

TEST_F(Windows, NoActivateWindowsNeverTakeActivationByShowOrTouch) {
  HWND main = top(0, 40, 800, 440);
  HWND bar = top(0, 0, 800, 40, WS_EX_TOPMOST | WS_EX_NOACTIVATE);
  pumpUntilIdle();
  EXPECT_EQ(GetForegroundWindow(), main);
  takeLog();
  tap(10, 10);
  auto got = takeLog();
  EXPECT_TRUE(only(got, {WM_ACTIVATE}).empty());
  ASSERT_EQ(only(got, {WM_LBUTTONDOWN}).size(), 1u);
  EXPECT_EQ(only(got, {WM_LBUTTONDOWN})[0].hwnd, bar);
}

TEST_F(Windows, MovingAndSizingReportsAndKeepsChildrenRelative) {
  HWND p = top(10, 10, 100, 100);
  HWND c = child(p, 5, 5, 20, 20);
  takeLog();
  MoveWindow(p, 50, 60, 200, 100, TRUE);
  auto got = only(takeLog(), {WM_SIZE, WM_MOVE});
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].msg, static_cast<UINT>(WM_SIZE));
  EXPECT_EQ(got[0].lParam, MAKELPARAM(200, 100));
  EXPECT_EQ(got[1].lParam, MAKELPARAM(50, 60));
  RECT r;
  GetWindowRect(c, &r);
  EXPECT_EQ(r.left, 55);
  EXPECT_EQ(r.top, 65);
  POINT pt{0, 0};
  ClientToScreen(c, &pt);
  EXPECT_EQ(pt.x, 55);
  SetWindowPos(p, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
  EXPECT_TRUE(only(takeLog(), {WM_SIZE, WM_MOVE}).empty());
  EXPECT_EQ(GetParent(c), p);
  EXPECT_TRUE(IsChild(p, c));
}

TEST_F(Windows, UserDataHoldsAWholePointer) {
  HWND w = top(0, 0, 10, 10);
  static int object;
  LONG_PTR v = reinterpret_cast<LONG_PTR>(&object);
  EXPECT_EQ(SetWindowLongW(w, GWL_USERDATA, v), 0);
  EXPECT_EQ(GetWindowLongW(w, GWL_USERDATA), v);
  EXPECT_EQ(GetWindowLongW(w, GWL_STYLE) & WS_VISIBLE, WS_VISIBLE);
  EXPECT_EQ(GetWindowLongW(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x999)), GWL_USERDATA), 0);
}

TEST_F(Windows, ChangesMadeFromAnotherThreadReachTheOwnerOnItsOwnThread) {
  HWND w = top(0, 0, 100, 100, 0, false);
  pumpUntilIdle();
  DWORD me = GetCurrentThreadId();
  std::vector<DWORD> threads;
  hook() = [&](HWND, UINT m, WPARAM, LPARAM, LRESULT&) {
    if (m == WM_SHOWWINDOW || m == WM_SIZE || m == WM_MOVE) threads.push_back(GetCurrentThreadId());
    return false;
  };
  std::thread t([&] {
    ShowWindow(w, SW_SHOWNA);
    MoveWindow(w, 5, 5, 50, 50, TRUE);
  });
  t.join();
  EXPECT_TRUE(threads.empty());  // nothing ran on the other thread
  EXPECT_TRUE(IsWindowVisible(w));
  pumpUntilIdle();
  ASSERT_EQ(threads.size(), 3u);
  for (DWORD id : threads) EXPECT_EQ(id, me);
}

TEST_F(Windows, ShowWindowReturnsThePreviousStateAndHidingChildrenHidesThem) {
  HWND p = top(0, 0, 100, 100, 0, false);
  HWND c = child(p, 0, 0, 10, 10);
  EXPECT_FALSE(IsWindowVisible(c));  // its parent is hidden
  EXPECT_FALSE(ShowWindow(p, SW_SHOW));
  EXPECT_TRUE(IsWindowVisible(c));
  EXPECT_TRUE(ShowWindow(p, SW_SHOW));
  EXPECT_TRUE(ShowWindow(c, SW_HIDE));
  EXPECT_FALSE(IsWindowVisible(c));
  EXPECT_FALSE(ShowWindow(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x999)), SW_SHOW));
}

// Overlapping windows, some nested and some shaped, shown and hidden in rounds one by one or in
// a layout batch: after each round the screen is what the same windows made afresh paint. A DC
// made in the middle of a batch already sees what the batch changed.
TEST_F(Windows, VisibilityChangesInABatchOrOneByOnePaintWhatAFreshLayoutPaints) {
  hook() = [](HWND h, UINT m, WPARAM, LPARAM, LRESULT& r) -> bool {
    if (m != WM_PAINT) return m == WM_ERASEBKGND && (r = 1);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(h, &ps);
    HBRUSH brush = CreateSolidBrush(static_cast<COLORREF>(GetWindowLongPtrW(h, GWL_USERDATA)));
    FillRect(dc, &ps.rcPaint, brush);
    DeleteObject(brush);
    return EndPaint(h, &ps);
  };
  uint32_t seed = 12345;
  auto next = [&](int n) { return static_cast<int>((seed = seed * 1103515245u + 12345u) >> 8) % n; };
  std::vector<RECT> rects;   // (x, y, width, height); the last twelve inside one of the first
  std::vector<bool> shown(48, true);
  for (int i = 0, size = 400; i < 48; ++i, size = i >= 36 ? 80 : 400)
    rects.push_back(RECT{next(size) - 20, next(size * 3 / 4) - 20, 20 + next(size / 3), 20 + next(size / 4)});
  auto make = [&](std::vector<HWND>& out) {
    HWND screen = top(0, 0, 400, 300);
    out.clear();
    for (size_t i = 0; i < rects.size(); ++i) {
      const RECT& r = rects[i];
      out.push_back(child(i >= 36 ? out[i * 7 % 36] : screen, r.left, r.top, r.right, r.bottom, 0, shown[i]));
      SetWindowLongPtrW(out.back(), GWL_USERDATA, static_cast<LONG_PTR>(i * 0x050325 + 0x101010));
      if (i % 5 == 0) SetWindowRgn(out.back(), CreateRectRgn(3, 3, r.right / 2, r.bottom - 3), FALSE);
    }
    pumpUntilIdle();
    return screen;
  };
  auto capture = [&](std::vector<uint32_t> pixels = {}) {
    for (int y = 0; y < 300 * 400; ++y) pixels.push_back(pixel(y % 400, y / 400));
    return pixels;
  };
  std::vector<HWND> windows, fresh;
  HWND screen = make(windows);
  for (int round = 0; round < 8; ++round) {
    {
      std::optional<plat::window::LayoutBatch> batch;
      if (round % 2) batch.emplace();
      for (size_t i = 0; i < rects.size(); ++i)
        if (next(3) == 0) ShowWindow(windows[i], (shown[i] = !shown[i]) ? SW_SHOWNA : SW_HIDE);
    }
    pumpUntilIdle();
    std::vector<uint32_t> seen = capture();
    ShowWindow(screen, SW_HIDE);
    HWND copy = make(fresh);
    EXPECT_TRUE(capture() == seen) << "round " << round << (round % 2 ? " (batch)" : " (one by one)");
    DestroyWindow(copy);
    ShowWindow(screen, SW_SHOWNA);
    pumpUntilIdle();
  }
  HWND other = top(420, 0, 200, 100), cover = child(other, 0, 0, 200, 100);
  plat::window::LayoutBatch batch;
  ShowWindow(cover, SW_HIDE);
  RECT box{};
  GetClipBox(GetDC(other), &box);
  EXPECT_EQ(box.right - box.left, 200) << "a DC made in a batch is clipped as the batch left the windows";
}

}  // namespace
