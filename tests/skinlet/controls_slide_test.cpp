// The slide control: scrolling by drag and inertia, taps on items, and its look.
#include "controls_fixture.h"

namespace controls_test {
namespace {

constexpr int kTop = 300;  // the strip's window: (0, 300) to (400, 400)

class SlideTest : public ControlsTest {
 protected:
  // Ten items of 100 x 100 side by side; the first hosts the control.
  void addStrip(int horizon = 1) {
    for (int i = 0; i < 10; ++i) {
      tagSlide s{};
      s.ActionID = 100 + i;
      s.ActionType = i == 0 ? 1 : 0;
      s.SldArea = tagArea{0, kTop, 400, 100};
      s.Horizon = horizon;
      s.ItemArea = horizon ? tagArea{i * 100, 0, 100, 100} : tagArea{0, i * 100, 100, 100};
      s.UpBitmap = bitmaps.make(100, 100, 0x600000 + i * 8, 0xFA00FA, 4);
      s.DnBitmap = bitmaps.make(100, 100, 0x0000C0, 0xFA00FA, 4);
      s.BgBitmap = bitmaps.make(400, 100, 0x202020);
      skin.page().Slides.push_back(s);
    }
  }
  SlideControl* control() { return skin.page().Slides.at(0).Control; }
};

TEST_F(SlideTest, ASwipeKeepsTheStripMovingOnePixelPerTickUntilTheSpeedIsSpent) {
  addStrip();
  createControls();
  ASSERT_NE(control(), nullptr);
  EXPECT_EQ(control()->ContentWidth, 100 + 900 + 20);
  press(300, kTop + 50);
  pumpFor(200);
  move(200, kTop + 50);  // dragged by 100 pixels
  EXPECT_EQ(control()->OffsetX, 100);
  release(200, kTop + 50);  // 100 pixels in 200 ms
  // The first tick comes at once.
  EXPECT_EQ(control()->Speed, 248);
  EXPECT_EQ(control()->Direction, 1);
  EXPECT_EQ(control()->OffsetX, 101);

  // Then one tick after 300 / speed milliseconds, the speed falling by 2 per tick.
  std::vector<int> want;  // milliseconds after the release of every further tick
  int at = 0;
  for (int speed = 248; speed >= 1; speed -= 2) {
    at += 300 / speed;
    want.push_back(at);
  }
  std::vector<int> seen;
  int last = control()->OffsetX;
  for (int t = 1; t <= at + 500; ++t) {
    pumpFor(1);
    if (control()->OffsetX != last) {
      EXPECT_EQ(control()->OffsetX, last + 1);
      last = control()->OffsetX;
      seen.push_back(t);
    }
  }
  EXPECT_EQ(seen, want);
  EXPECT_EQ(control()->OffsetX, 100 + 125);  // 125 ticks in all
  EXPECT_EQ(plat::window::nextTimerDueMs(), UINT64_MAX);
}

TEST_F(SlideTest, ASwipeBackMovesTheStripBackAndATapNudgesItForward) {
  addStrip();
  createControls();
  control()->OffsetX = 300;
  press(100, kTop + 50);
  pumpFor(200);
  move(200, kTop + 50);
  release(200, kTop + 50);
  EXPECT_EQ(control()->Direction, -1);
  pumpFor(2000);
  EXPECT_EQ(control()->OffsetX, 300 - 100 - 125);
  // A tap has no length: it counts as a move forward at the speed left over, here one pixel.
  press(100, kTop + 50);
  pumpFor(50);
  release(100, kTop + 50);
  pumpFor(2000);
  EXPECT_EQ(control()->Direction, 1);
  EXPECT_EQ(control()->OffsetX, 300 - 100 - 125 + 1);
}

TEST_F(SlideTest, AnotherTouchStopsTheStrip) {
  addStrip();
  createControls();
  press(300, kTop + 50);
  pumpFor(100);
  move(100, kTop + 50);
  release(100, kTop + 50);
  pumpFor(20);
  int offset = control()->OffsetX;
  press(50, kTop + 50);
  pumpFor(500);
  EXPECT_EQ(control()->OffsetX, offset);
  release(50, kTop + 50);
}

TEST_F(SlideTest, ATapOnAnItemIsSentWithTheItemsActionId) {
  addStrip();
  createControls();
  HWND strip = control()->hWnd;
  struct Tap {
    const char* action;
    POINT down, up;
    std::vector<Notice> sent;
  };
  const Tap taps[] = {
      {"tap on item 1", {150, 50}, {160, 50}, {Notice{WM_COMMAND, 101, 0}}},
      {"press on item 1, release on item 2", {150, 50}, {250, 50}, {}},
      {"release outside the window", {150, 50}, {150, 150}, {}},
      {"tap on the border between two items", {100, 50}, {100, 50}, {}},
  };
  for (const Tap& t : taps) {
    SCOPED_TRACE(t.action);
    control()->OffsetX = 0;
    takeNotices();
    SendMessageW(strip, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(t.down.x, t.down.y));
    SendMessageW(strip, WM_LBUTTONUP, 0, MAKELPARAM(t.up.x, t.up.y));
    EXPECT_EQ(takeNotices(), t.sent);  // sent: there before any message is pumped
    KillTimer(strip, SlideControl::InertiaTimer);
  }
  EXPECT_EQ(SlideControl::PressPoint.x, 100);
}

TEST_F(SlideTest, OffsetsAreHeldBetweenZeroAndTheEndOfTheStrip) {
  addStrip();
  createControls();
  // 1020 pixels of strip in a window of 400: the offset runs from 0 to 620.
  const struct {
    int set, held;
  } rows[] = {{-30, 0}, {0, 0}, {300, 300}, {620, 620}, {700, 620}};
  for (const auto& r : rows) {
    control()->OffsetX = r.set;
    InvalidateRect(control()->hWnd, nullptr, FALSE);
    pumpUntilIdle();
    EXPECT_EQ(control()->OffsetX, r.held) << r.set;
  }
}

TEST_F(SlideTest, VerticalStripsScrollAlongY) {
  addStrip(0);
  createControls();
  EXPECT_EQ(control()->ContentHeight, 100 + 900 + 30);
  press(50, kTop + 90);
  move(50, kTop + 30);
  EXPECT_EQ(control()->OffsetY, 60);
  EXPECT_EQ(control()->OffsetX, 0);
  release(50, kTop + 30);
}

TEST_F(SlideTest, ThePressedItemAndTheFocusFrameShow) {
  addStrip();
  createControls();
  EXPECT_EQ(pixel(150, kTop + 50), 0x080060u);  // item 1 released (0x600008 as COLORREF)
  EXPECT_EQ(pixel(152, kTop + 2), 0x202020u);   // its keyed frame shows the background
  press(150, kTop + 50);
  EXPECT_EQ(pixel(150, kTop + 50), 0xC00000u);
  release(150, kTop + 50);
  SendMessageW(control()->hWnd, 0x432, 0, 0);
  pumpUntilIdle();
  EXPECT_EQ(pixel(0, kTop), 0xFFFF00u);
  EXPECT_EQ(pixel(399, kTop + 99), 0xFFFF00u);
}

TEST_F(SlideTest, ItemsTheirTextsAndTheFocusFrameLookRight) {
  addStrip();
  auto& items = skin.page().Slides;
  for (size_t i = 0; i < items.size(); ++i) {
    tagSlide& s = items[i];
    std::u16string text = u"Item " + std::u16string(1, static_cast<char16_t>(u'0' + i));
    std::copy(text.begin(), text.end(), s.Text);
    s.TxtType = 1;
    s.TxtArea = tagArea{s.ItemArea.LocX, 60, 100, 30};
    s.TxtFont = 4;
    s.TxtSize = 18;
    s.TxtColorUp = 0xFFFFFF;
    s.TxtColorDn = 0x00FFFF;
    s.TxtAlign = 0x25;
  }
  createControls();
  press(250, kTop + 50);  // item 2 pressed
  move(200, kTop + 50);   // and the strip moved on by 50
  SendMessageW(control()->hWnd, 0x432, 0, 0);
  pumpUntilIdle();
  expectGolden("controls_slide", screenPixels(0, kTop, 400, 100), 400, 100, 8);
  release(200, kTop + 50);
}

TEST_F(SlideTest, OnlyTheFirstItemMarkedWithActionType1HostsTheControl) {
  skin.page(1);  // both pages exist before the test holds on to a list
  addStrip();
  auto& items = skin.page().Slides;
  items[0].ActionType = 0;
  items[3].ActionType = 1;
  items[5].ActionType = 1;
  tagSlide lone{};
  lone.ActionType = 0;
  skin.page(1).Slides.push_back(lone);  // a page without a host gets no control
  createControls();
  for (size_t i = 0; i < items.size(); ++i) EXPECT_EQ(items[i].Control != nullptr, i == 3) << i;
  EXPECT_EQ(skin.page(1).Slides[0].Control, nullptr);
  EXPECT_EQ(items[3].Control->ActionID, 103);
  skin.SL_UnLoadImages();
  for (const tagSlide& s : items) EXPECT_EQ(s.Control, nullptr);
}

}  // namespace
}  // namespace controls_test
