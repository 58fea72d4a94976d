// Touch and key input: which window gets it, in which coordinates, capture and double clicks.
#include "window_test_util.h"

using namespace wintest;

namespace {

class Input : public WindowTest {};

struct Hit {
  int x, y;
  int target;  // index into the windows of the scene, -1: none
  int cx, cy;  // client coordinates expected
};

TEST_F(Input, TouchesGoToTheDeepestVisibleEnabledWindowInClientCoordinates) {
  // Scene: back (0,0 400x300); front (100,100 200x100) above it; front has a child at (10,10)
  // and a hidden child and a disabled child.
  HWND back = top(0, 0, 400, 300, WS_EX_NOACTIVATE);  // touching it must not raise it
  HWND front = top(100, 100, 200, 100);
  HWND kid = child(front, 10, 10, 50, 50);
  HWND hidden = child(front, 100, 10, 50, 50, 0, false);
  HWND disabled = child(front, 150, 60, 40, 30);
  EnableWindow(disabled, FALSE);
  pumpUntilIdle();
  std::vector<HWND> scene{back, front, kid, hidden, disabled};
  const Hit hits[] = {
      {5, 5, 0, 5, 5},        {399, 299, 0, 399, 299}, {400, 300, -1, 0, 0}, {100, 100, 1, 0, 0},
      {115, 115, 2, 5, 5},    {159, 159, 2, 49, 49},   {160, 160, 1, 60, 60}, {205, 115, 1, 105, 15},
      {255, 165, 1, 155, 65}, {299, 199, 1, 199, 99},  {300, 200, 0, 300, 200},
  };
  for (const Hit& h : hits) {
    takeLog();
    tap(h.x, h.y);
    auto downs = only(takeLog(), {WM_LBUTTONDOWN});
    if (h.target < 0) {
      EXPECT_TRUE(downs.empty()) << h.x << "," << h.y;
      continue;
    }
    ASSERT_EQ(downs.size(), 1u) << h.x << "," << h.y;
    EXPECT_EQ(downs[0].hwnd, scene[static_cast<size_t>(h.target)]) << h.x << "," << h.y;
    EXPECT_EQ(downs[0].lParam, MAKELPARAM(h.cx, h.cy)) << h.x << "," << h.y;
    EXPECT_EQ(downs[0].wParam, static_cast<WPARAM>(MK_LBUTTON));
    EXPECT_EQ(WindowFromPoint(POINT{h.x, h.y}), scene[static_cast<size_t>(h.target)]);
  }
}

TEST_F(Input, CaptureTakesEveryTouchWithCoordinatesOutsideTheWindow) {
  HWND a = top(0, 0, 100, 100);
  HWND btn = child(a, 50, 50, 20, 20);
  HWND b = top(200, 0, 100, 100);
  pumpUntilIdle();
  hook() = [](HWND h, UINT m, WPARAM, LPARAM, LRESULT&) {
    if (m == WM_LBUTTONDOWN) SetCapture(h);
    if (m == WM_LBUTTONUP) ReleaseCapture();
    return false;
  };
  takeLog();
  press(55, 55);
  EXPECT_EQ(GetCapture(), btn);
  move(250, 10);
  release(10, 5);
  EXPECT_EQ(GetCapture(), nullptr);
  auto got = only(takeLog(), {WM_LBUTTONDOWN, WM_MOUSEMOVE, WM_LBUTTONUP});
  ASSERT_EQ(got.size(), 3u);
  for (const Rec& r : got) EXPECT_EQ(r.hwnd, btn);
  EXPECT_EQ(got[1].lParam, MAKELPARAM(200, -40));
  EXPECT_EQ(GET_X_LPARAM(got[2].lParam), -40);
  EXPECT_EQ(GET_Y_LPARAM(got[2].lParam), -45);
  EXPECT_EQ(got[2].wParam, 0u);
  takeLog();
  tap(250, 10);  // capture released: back to hit testing
  auto after = only(takeLog(), {WM_LBUTTONDOWN});
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0].hwnd, b);
}

TEST_F(Input, DoubleClicksNeedTheClassStyleTheTimeAndThePlace) {
  HWND w = top(0, 0, 100, 100);
  pumpUntilIdle();
  takeLog();
  tap(10, 10);
  pumpFor(100);
  tap(12, 11);  // within 500 ms and 4 pixels: a double click
  pumpFor(100);
  tap(12, 11);  // a third tap starts over
  pumpFor(600);
  tap(12, 11);  // too late
  tap(40, 40);  // too far
  auto got = numbers(only(takeLog(), {WM_LBUTTONDOWN, WM_LBUTTONDBLCLK}));
  EXPECT_EQ(got, (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, WM_LBUTTONDOWN, WM_LBUTTONDOWN,
                                    WM_LBUTTONDOWN}));
  (void)w;
}

TEST_F(Input, KeysGoToTheActiveWindowWithUpAndDownFlags) {
  HWND a = top(0, 0, 100, 100);
  HWND b = top(0, 0, 100, 100);
  child(b, 0, 0, 50, 50);
  pumpUntilIdle();
  SetForegroundWindow(a);
  pumpUntilIdle();
  takeLog();
  key(VK_RETURN);
  keyDown(72);
  keyUp(72);
  auto got = only(takeLog(), {WM_KEYDOWN, WM_KEYUP});
  ASSERT_EQ(got.size(), 4u);
  for (const Rec& r : got) EXPECT_EQ(r.hwnd, a);
  EXPECT_EQ(got[0].wParam, static_cast<WPARAM>(VK_RETURN));
  EXPECT_EQ(got[1].msg, static_cast<UINT>(WM_KEYUP));
  EXPECT_EQ(static_cast<DWORD>(got[1].lParam) & 0xC0000000u, 0xC0000000u);
  EXPECT_EQ(got[2].wParam, 72u);
  DestroyWindow(a);
  DestroyWindow(b);
  takeLog();
  key(VK_LEFT);  // nobody active: dropped
  EXPECT_TRUE(takeLog().empty());
}

TEST_F(Input, MovesNotYetReadAreMerged) {
  HWND w = top(0, 0, 100, 100);
  pumpUntilIdle();
  takeLog();
  plat::window::injectTouch(WM_LBUTTONDOWN, 1, 1);
  for (int x = 2; x < 50; ++x) plat::window::injectTouch(WM_MOUSEMOVE, x, 1);
  plat::window::injectTouch(WM_LBUTTONUP, 50, 1);
  pumpUntilIdle();
  auto got = only(takeLog(), {WM_LBUTTONDOWN, WM_MOUSEMOVE, WM_LBUTTONUP});
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[1].lParam, MAKELPARAM(49, 1));
  (void)w;
}

TEST_F(Input, TouchOnAWindowDestroyedBeforeItIsReadIsDropped) {
  HWND w = top(0, 0, 100, 100);
  pumpUntilIdle();
  plat::window::injectTouch(WM_LBUTTONDOWN, 5, 5);
  DestroyWindow(w);
  takeLog();
  EXPECT_EQ(pumpUntilIdle(), 0);
}

}  // namespace

namespace {

class InputEdge : public WindowTest {};

TEST_F(InputEdge, AWindowDestroyedByItsActivationGetsNoTouch) {
  HWND a = top(0, 0, 100, 100);
  HWND b = top(200, 0, 100, 100);
  pumpUntilIdle();
  hook() = [&](HWND h, UINT m, WPARAM w, LPARAM, LRESULT& r) {
    r = 0;
    if (m == WM_ACTIVATE && w == WA_CLICKACTIVE && h == a) DestroyWindow(h);
    return false;
  };
  takeLog();
  tap(10, 10);
  tap(210, 10);  // b still works afterwards
  auto downs = only(takeLog(), {WM_LBUTTONDOWN});
  ASSERT_EQ(downs.size(), 1u);
  EXPECT_EQ(downs[0].hwnd, b);
  EXPECT_FALSE(IsWindow(a));
}

}  // namespace
