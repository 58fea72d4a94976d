// Progress controls: values reported while dragging and at the release, in every orientation,
// and how the bar looks.
#include "controls_fixture.h"

namespace controls_test {
namespace {

constexpr int kId = 31;
constexpr uint32_t kBackPixel = 0x303030;
constexpr uint32_t kFillPixel = 0x00C000;
constexpr uint32_t kKnobPixel = 0xE00000;

class ProgressTest : public ControlsTest {
 protected:
  // A bar at `area` on the screen whose track is `track` in its own coordinates, with a
  // 20 x 20 knob: the track shrunk by half the knob runs from 10 to length - 10.
  tagProgress& addBar(tagArea area, tagArea track, int horizon) {
    tagProgress p{};
    p.ActionID = kId;
    p.PrgArea = area;
    p.PrgSldArea = track;
    p.Horizon = horizon;
    p.BackBitmap = bitmaps.make(area.Width, area.Hight, 0x303030);
    p.PrgBitmap = bitmaps.make(area.Width, area.Hight, 0x00C000);
    p.SlideBitmap = bitmaps.make(20, 20, 0x0000E0, 0xFFFFFF, 2);
    p.ActionType = 0x10000;
    p.TxtFont = 4;
    p.TxtSize = 16;
    p.TxtColor = 0xFFFFFF;
    p.TxtAlign = 0x25;
    skin.page().Progresses.push_back(p);
    return skin.page().Progresses.back();
  }
  ProgressControl* control() { return skin.page().Progresses.at(0).Control; }
  UINT released() { return RegisterWindowMessageW(u"MGSID_PROGRESS_LBUTTONUP"); }
  Notice value(int v) { return Notice{WM_COMMAND, kId, v}; }
  Notice end() { return Notice{WM_COMMAND, released(), kId}; }
  void show(int v) {
    control()->SetValue(v);
    wsprintfW(control()->ValueText, u"%d", v);
    pumpUntilIdle();
  }
};

struct Drag {
  const char* action;
  int start;                // Value before the drag
  std::vector<int> moves;   // pointer positions along the bar, in the bar's coordinates
  int releaseAt;            // along the bar
  bool releaseInTrack;      // else the release lies beside the track
  std::vector<int> values;  // values reported, posted while moving, then the one sent at the release
};

const std::vector<Drag> kHorizontal = {
    {"drag to 60 reports 50 once", 0, {60, 60}, 60, false, {50}},
    {"beyond the end gives 100", 0, {300}, 300, false, {100}},
    {"left of the window gives 0", 50, {-20}, -20, false, {0}},
    {"a press alone reports nothing", 0, {}, 60, false, {}},
    {"release in the track measures on a track shrunk twice", 0, {60}, 60, true, {50, 50}},
    {"release near the end", 0, {100}, 100, true, {90, 100}},
    {"release near the start", 0, {20}, 20, true, {10, 0}},
};

TEST_F(ProgressTest, HorizontalDragsReportTheirValues) {
  addBar(tagArea{100, 200, 140, 40}, tagArea{0, 0, 120, 40}, 1);
  createControls();
  for (const Drag& d : kHorizontal) {
    SCOPED_TRACE(d.action);
    control()->Value = d.start;
    takeNotices();
    press(100 + 30, 220);
    for (int x : d.moves) move(100 + x, 220);
    release(100 + d.releaseAt, d.releaseInTrack ? 220 : 260);
    std::vector<Notice> want;
    for (int v : d.values) want.push_back(value(v));
    want.push_back(end());
    EXPECT_EQ(takeNotices(), want);
    EXPECT_EQ(control()->Dragging, 0);
    EXPECT_EQ(GetCapture(), nullptr);
  }
}

TEST_F(ProgressTest, VerticalBarsMeasureDownwardsAndInvertedOnesUpwards) {
  addBar(tagArea{300, 100, 40, 140}, tagArea{0, 0, 40, 120}, 0);
  addBar(tagArea{400, 100, 40, 140}, tagArea{0, 0, 40, 120}, 2);
  skin.page().Progresses[1].ActionID = kId + 1;
  createControls();
  press(320, 130);
  move(320, 100 + 35);
  release(320, 400);
  press(420, 130);
  move(420, 100 + 35);
  move(420, 100 + 110);
  release(420, 400);
  EXPECT_EQ(takeNotices(), (std::vector<Notice>{value(25), end(), Notice{WM_COMMAND, kId + 1, 75},
                                                Notice{WM_COMMAND, kId + 1, 0}, Notice{WM_COMMAND, released(), kId + 1}}));
}

TEST_F(ProgressTest, TheReleaseValueIsSentAndTheEndOfDragPosted) {
  addBar(tagArea{100, 200, 140, 40}, tagArea{0, 0, 120, 40}, 1);
  createControls();
  HWND bar = control()->hWnd;
  SendMessageW(bar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(60, 20));
  SendMessageW(bar, WM_LBUTTONUP, 0, MAKELPARAM(60, 20));
  EXPECT_EQ(takeNotices(), std::vector<Notice>{value(50)});  // already there: sent
  pumpUntilIdle();
  EXPECT_EQ(takeNotices(), std::vector<Notice>{end()});
}

TEST_F(ProgressTest, ADisabledBarIgnoresDragsButStillEndsThem) {
  addBar(tagArea{100, 200, 140, 40}, tagArea{0, 0, 120, 40}, 1);
  createControls();
  control()->Disabled = 1;
  press(130, 220);
  move(160, 220);
  release(160, 220);
  EXPECT_EQ(takeNotices(), std::vector<Notice>{end()});
  control()->SetValue(80);
  EXPECT_EQ(control()->Value, 0);
  SendMessageW(control()->hWnd, 0x432, 0, 0);
  EXPECT_EQ(control()->IrFocus, 0);
}

TEST_F(ProgressTest, ValuesPlaceTheKnobWithinTheTrack) {
  struct Case {
    int horizon, value, knob;
  };
  const Case cases[] = {{1, 50, 50}, {1, 150, 100}, {1, -5, 0}, {0, 30, 30}, {2, 25, 75}, {2, 100, 0}, {2, 0, 100}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "horizon " << c.horizon << " value " << c.value);
    skin.SL_UnLoadImages();
    skin.page().Progresses.clear();
    bool h = c.horizon & 1;
    addBar(h ? tagArea{100, 200, 140, 40} : tagArea{300, 100, 40, 140},
           h ? tagArea{0, 0, 120, 40} : tagArea{0, 0, 40, 120}, c.horizon);
    createControls();
    control()->SetValue(c.value);
    EXPECT_EQ(control()->Value, c.value);
    EXPECT_EQ(h ? control()->KnobX : control()->KnobY, c.knob);
  }
}

TEST_F(ProgressTest, EveryOrientationLooksRight) {
  addBar(tagArea{100, 200, 140, 40}, tagArea{0, 0, 120, 40}, 1);
  addBar(tagArea{300, 100, 40, 140}, tagArea{0, 0, 40, 120}, 0);
  // The inverted bar's track starts 10 pixels down its window.
  addBar(tagArea{400, 100, 40, 150}, tagArea{0, 10, 40, 120}, 2);
  auto& bars = skin.page().Progresses;
  createControls();
  for (tagProgress& p : bars) {
    p.Control->SetValue(30);
    wsprintfW(p.Control->ValueText, u"%d", 30);
  }
  pumpUntilIdle();
  // Horizontal: filled up to the knob, which starts at 30.
  EXPECT_EQ(pixel(100 + 25, 205), kFillPixel);
  EXPECT_EQ(pixel(100 + 40, 220), kKnobPixel);
  EXPECT_EQ(pixel(100 + 60, 205), kBackPixel);
  expectGolden("controls_progress_horizontal", screenPixels(100, 200, 140, 40), 140, 40, 8);
  // Vertical: filled from the top down to the knob.
  EXPECT_EQ(pixel(305, 100 + 25), kFillPixel);
  EXPECT_EQ(pixel(305, 100 + 60), kBackPixel);
  expectGolden("controls_progress_vertical", screenPixels(300, 100, 40, 140), 40, 140, 8);
  // Vertical inverted: filled from the knob down to the track's bottom, never above the track.
  const int knobY = bars[2].Control->KnobY;  // 70 of 100
  EXPECT_EQ(knobY, 70);
  EXPECT_EQ(pixel(405, 100 + 10 + knobY + 5), kFillPixel);
  EXPECT_EQ(pixel(405, 100 + 10 + knobY - 5), kBackPixel);
  expectGolden("controls_progress_vertical_inverted", screenPixels(400, 100, 40, 150), 40, 150, 8);

  bars[2].Control->SetValue(100);
  pumpUntilIdle();
  EXPECT_EQ(pixel(405, 100 + 5), kBackPixel);  // above the track
  EXPECT_EQ(pixel(420, 100 + 15), kKnobPixel);  // the whole knob at the top
  bars[2].Control->SetValue(0);
  pumpUntilIdle();
  // No knob height is left at 0: nothing mirrored above the track.
  for (int y = 100; y < 110; ++y) EXPECT_EQ(pixel(420, y), kBackPixel) << y;
}

TEST_F(ProgressTest, TheFocusMarkSwapsTheBackground) {
  tagProgress& p = addBar(tagArea{100, 200, 140, 40}, tagArea{0, 0, 120, 40}, 1);
  p.IrBackBitmap = bitmaps.make(140, 40, 0x00A0A0);
  createControls();
  EXPECT_EQ(pixel(230, 205), kBackPixel);
  SendMessageW(control()->hWnd, 0x432, 0, 0);
  pumpUntilIdle();
  EXPECT_EQ(pixel(230, 205), 0xA0A000u);
  SendMessageW(control()->hWnd, 0x433, 0, 0);
  pumpUntilIdle();
  EXPECT_EQ(pixel(230, 205), kBackPixel);
}

TEST_F(ProgressTest, AKnobAsLongAsTheTrackLeavesNothingToDivide) {
  addBar(tagArea{100, 200, 140, 40}, tagArea{0, 0, 20, 40}, 1);
  createControls();
  press(110, 220);
  move(115, 220);
  release(115, 220);
  // The release inside the track reports the start's value.
  EXPECT_EQ(takeNotices(), (std::vector<Notice>{value(0), end()}));
  control()->SetValue(60);
  EXPECT_EQ(control()->KnobX, 0);
}

}  // namespace
}  // namespace controls_test
