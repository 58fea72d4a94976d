// Painting: update regions, erasing with the class brush, and clipping of window DCs to the
// visible region (windows above, children, window regions).
#include "window_test_util.h"

using namespace wintest;

namespace {

class Painting : public WindowTest {
 protected:
  // Fills the window's whole client area through a GetDC context.
  void fill(HWND w, COLORREF c) {
    HDC dc = GetDC(w);
    ASSERT_NE(dc, nullptr);
    RECT r;
    GetClientRect(w, &r);
    HBRUSH b = CreateSolidBrush(c);
    FillRect(dc, &r, b);
    DeleteObject(b);
    ReleaseDC(w, dc);
  }
  // 0x00RRGGBB of an RGB() colour.
  static uint32_t px(COLORREF c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }
  RECT updateRect(HWND w) {
    RECT r{};
    GetUpdateRect(w, &r, FALSE);
    return r;
  }
};

TEST_F(Painting, ShowingAWindowErasesItWithTheClassBrushThenPaints) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = recordingProc;
  wc.lpszClassName = u"WhiteWnd";
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  RegisterClassW(&wc);
  HWND w = CreateWindowExW(0, u"WhiteWnd", u"", 0xC0000000 | WS_VISIBLE, 10, 20, 30, 40, nullptr, nullptr, nullptr,
                           nullptr);
  ASSERT_NE(w, nullptr);
  takeLog();
  EXPECT_EQ(pixel(10, 20), 0u);  // nothing drawn before the paint
  pumpUntilIdle();
  EXPECT_EQ(numbers(only(takeLog(), {WM_PAINT, WM_ERASEBKGND})), (std::vector<UINT>{WM_PAINT, WM_ERASEBKGND}));
  EXPECT_EQ(pixel(10, 20), 0xFFFFFFu);
  EXPECT_EQ(pixel(39, 59), 0xFFFFFFu);
  EXPECT_EQ(pixel(40, 59), 0u);
  EXPECT_EQ(pixel(39, 60), 0u);
}

TEST_F(Painting, BeginPaintValidatesAndReportsTheUpdateAreaAndEraseFlag) {
  HWND w = top(0, 0, 100, 100);
  pumpUntilIdle();
  RECT part{10, 10, 20, 30};
  InvalidateRect(w, &part, FALSE);
  RECT more{50, 50, 60, 60};
  InvalidateRect(w, &more, FALSE);
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(w, &ps);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(ps.rcPaint.left, 10);
  EXPECT_EQ(ps.rcPaint.bottom, 60);
  EXPECT_FALSE(ps.fErase);
  EXPECT_FALSE(GetUpdateRect(w, nullptr, FALSE));
  // The paint context only reaches the invalid parts.
  RECT all{0, 0, 100, 100};
  HBRUSH b = CreateSolidBrush(RGB(0, 255, 0));
  FillRect(dc, &all, b);
  DeleteObject(b);
  EndPaint(w, &ps);
  EXPECT_EQ(pixel(15, 15), 0x00FF00u);
  EXPECT_EQ(pixel(55, 55), 0x00FF00u);
  EXPECT_EQ(pixel(30, 30), 0u);
  EXPECT_EQ(pumpUntilIdle(), 0);

  // A handler that does not erase leaves fErase set for the paint.
  hook() = [](HWND, UINT m, WPARAM, LPARAM, LRESULT& r) {
    r = 0;
    return m == WM_ERASEBKGND;
  };
  InvalidateRect(w, nullptr, TRUE);
  BeginPaint(w, &ps);
  EXPECT_TRUE(ps.fErase);
  EndPaint(w, &ps);
}

TEST_F(Painting, WindowDcsAreClippedByWindowsAboveAndByChildren) {
  HWND back = top(0, 0, 200, 200);
  HWND front = top(50, 50, 50, 50);
  HWND kid = child(back, 150, 150, 20, 20);
  pumpUntilIdle();
  fill(back, RGB(255, 0, 0));
  EXPECT_EQ(pixel(10, 10), 0xFF0000u);
  EXPECT_EQ(pixel(60, 60), 0u);     // under the front window
  EXPECT_EQ(pixel(155, 155), 0u);   // the child's area
  EXPECT_EQ(pixel(149, 149), 0xFF0000u);
  fill(kid, RGB(0, 0, 255));
  EXPECT_EQ(pixel(155, 155), 0x0000FFu);
  EXPECT_EQ(pixel(171, 171), 0xFF0000u);
  // The whole screen's context goes everywhere.
  HDC s = GetDC(nullptr);
  RECT r{0, 0, 800, 480};
  HBRUSH b = CreateSolidBrush(RGB(1, 2, 3));
  FillRect(s, &r, b);
  DeleteObject(b);
  ReleaseDC(nullptr, s);
  EXPECT_EQ(pixel(799, 479), 0x010203u);
  EXPECT_EQ(pixel(60, 60), 0x010203u);
  (void)front;
}

TEST_F(Painting, ALiveDcFollowsTheWindowsAboveIt) {
  HWND back = top(0, 0, 200, 100, WS_EX_NOACTIVATE);  // stays below when the front one hides
  HWND front = top(0, 0, 100, 100);
  pumpUntilIdle();
  HDC dc = GetDC(back);
  ShowWindow(front, SW_HIDE);
  RECT r{0, 0, 200, 100};
  HBRUSH b = CreateSolidBrush(RGB(0, 255, 0));
  FillRect(dc, &r, b);
  EXPECT_EQ(pixel(10, 10), 0x00FF00u);  // uncovered after the DC was taken
  ShowWindow(front, SW_SHOWNA);
  pumpUntilIdle();  // front repaints with black
  EXPECT_EQ(pixel(10, 10), 0u);
  FillRect(dc, &r, b);
  EXPECT_EQ(pixel(10, 10), 0u);
  DeleteObject(b);
  ReleaseDC(back, dc);
}

TEST_F(Painting, HidingOrMovingAWindowInvalidatesWhatItUncovers) {
  HWND back = top(0, 0, 300, 300, WS_EX_NOACTIVATE);
  HWND front = top(100, 100, 50, 40);
  pumpUntilIdle();
  EXPECT_FALSE(GetUpdateRect(back, nullptr, FALSE));
  ShowWindow(front, SW_HIDE);
  RECT u = updateRect(back);
  EXPECT_EQ(u.left, 100);
  EXPECT_EQ(u.top, 100);
  EXPECT_EQ(u.right, 150);
  EXPECT_EQ(u.bottom, 140);
  pumpUntilIdle();
  ShowWindow(front, SW_SHOW);
  pumpUntilIdle();
  EXPECT_FALSE(GetUpdateRect(back, nullptr, FALSE));
  MoveWindow(front, 120, 100, 50, 40, TRUE);
  u = updateRect(back);
  EXPECT_EQ(u.left, 100);  // only the strip the window left
  EXPECT_EQ(u.right, 120);
  EXPECT_EQ(u.bottom, 140);
  EXPECT_TRUE(GetUpdateRect(front, nullptr, FALSE));  // the moved window repaints whole
  pumpUntilIdle();
  // A hidden child uncovers its parent.
  HWND kid = child(back, 10, 10, 20, 20);
  pumpUntilIdle();
  ShowWindow(kid, SW_HIDE);
  u = updateRect(back);
  EXPECT_EQ(u.left, 10);
  EXPECT_EQ(u.right, 30);
}

TEST_F(Painting, WindowRegionShapesDrawingAndTouches) {
  HWND back = top(0, 0, 100, 100, WS_EX_NOACTIVATE);
  HWND shaped = top(0, 0, 100, 100);
  pumpUntilIdle();
  // A region of two squares; the window owns it afterwards.
  HRGN rgn = CreateRectRgn(0, 0, 20, 20);
  HRGN second = CreateRectRgn(50, 50, 70, 70);
  CombineRgn(rgn, rgn, second, RGN_OR);
  DeleteObject(second);
  EXPECT_NE(SetWindowRgn(shaped, rgn, TRUE), 0);
  pumpUntilIdle();
  fill(shaped, RGB(255, 255, 0));
  EXPECT_EQ(pixel(5, 5), 0xFFFF00u);
  EXPECT_EQ(pixel(60, 60), 0xFFFF00u);
  EXPECT_NE(pixel(30, 30), 0xFFFF00u);
  fill(back, RGB(0, 0, 255));
  EXPECT_EQ(pixel(30, 30), 0x0000FFu);  // the back window shows through outside the region
  EXPECT_EQ(pixel(5, 5), 0xFFFF00u);
  takeLog();
  tap(30, 30);
  tap(5, 5);
  auto downs = only(takeLog(), {WM_LBUTTONDOWN});
  ASSERT_EQ(downs.size(), 2u);
  EXPECT_EQ(downs[0].hwnd, back);
  EXPECT_EQ(downs[1].hwnd, shaped);
  HRGN copy = CreateRectRgn(0, 0, 0, 0);
  EXPECT_NE(GetWindowRgn(shaped, copy), ERROR);
  EXPECT_TRUE(PtInRegion(copy, 55, 55));
  DeleteObject(copy);
  // Replacing the region deletes the old one; destroying the window deletes the last.
  SetWindowRgn(shaped, CreateRectRgn(0, 0, 10, 10), FALSE);
  DestroyWindow(shaped);
}

TEST_F(Painting, UpdateWindowPaintsAtOnceAndDefaultPaintValidates) {
  HWND w = top(0, 0, 10, 10);
  pumpUntilIdle();
  InvalidateRect(w, nullptr, FALSE);
  takeLog();
  UpdateWindow(w);
  EXPECT_EQ(numbers(only(takeLog(), {WM_PAINT})), (std::vector<UINT>{WM_PAINT}));
  EXPECT_EQ(pumpUntilIdle(), 0);
  UpdateWindow(w);
  EXPECT_TRUE(takeLog().empty());
}

TEST_F(Painting, HiddenWindowsGetNoPaintUntilShown) {
  HWND w = top(0, 0, 10, 10, 0, false);
  InvalidateRect(w, nullptr, TRUE);
  takeLog();
  EXPECT_EQ(pumpUntilIdle(), 0);
  ShowWindow(w, SW_SHOW);
  pumpUntilIdle();
  EXPECT_EQ(only(takeLog(), {WM_PAINT}).size(), 1u);
}

TEST_F(Painting, ScreenSizeComesFromTheSystemMetrics) {
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 800);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 480);
}

class SmallScreen : public WindowTest {
 protected:
  void SetUp() override {
    screenWidth_ = 320;
    screenHeight_ = 240;
    WindowTest::SetUp();
  }
};

TEST_F(SmallScreen, ScreenSizeIsSettable) {
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 320);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 240);
  HWND w = top(0, 0, 1000, 1000);
  pumpUntilIdle();
  EXPECT_EQ(pixel(400, 10), 0u);  // outside the screen: nothing, no overrun
  (void)w;
}

}  // namespace
