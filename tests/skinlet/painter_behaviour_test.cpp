// How the painter behaves: transition types and their timing on the platform clock, which
// table image an item shows, signal bars, sectors, scrolling and breaking texts, the opening
// blend, the window region and its ownership, and pages of bad content.
#include <set>

#include "gdi/gdi_objects.h"
#include "painter_internal.h"
#include "painter_support.h"

namespace paint_test {
namespace {

class Painter : public PaintFixture {
 protected:
  void SetUp() override {
    PaintFixture::SetUp();
    installSkin("paint", paintSkinBitmaps());
    ASSERT_TRUE(load(engine, u"Paint_Script.xml", u"paint"));
  }
  TestSkinlet engine;
};

// ---- transitions ----

TEST_F(Painter, AnimationTypeIsLimitedToZeroToEight) {
  struct {
    int given, stored;
  } cases[] = {{12, 8}, {9, 8}, {8, 8}, {-3, 0}, {0, 0}, {5, 5}, {INT32_MIN, 0}, {INT32_MAX, 8}};
  for (const auto& c : cases) {
    engine.NeedAnimation = 0;
    engine.SL_SetPaintAnimationType(c.given);
    EXPECT_EQ(engine.AnimationType, c.stored) << c.given;
    EXPECT_EQ(engine.NeedAnimation, 1);
    engine.NeedAnimation = 0;
    engine.SL_ChangePaintAnimationType(c.given);
    EXPECT_EQ(engine.AnimationType, c.stored) << c.given;
    EXPECT_EQ(engine.NeedAnimation, 0) << "changing the type alone asks for no transition";
  }
}

TEST_F(Painter, TransitionStepsAndTheirTimeOnThePlatformClock) {
  HWND w = createScreen(engine);
  struct {
    int type, steps;
  } cases[] = {{0, 1}, {2, 15}, {3, 15}, {4, 15}, {5, 15}, {6, 15}, {7, 15}, {8, 15}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    std::vector<int> steps;
    engine.OnAnimationStep = [&](int type, int step) {
      EXPECT_EQ(type, c.type);
      steps.push_back(step);
    };
    engine.SL_SetPaintAnimationType(c.type);
    const DWORD before = GetTickCount();
    paint(w);
    EXPECT_EQ(GetTickCount() - before, static_cast<DWORD>(40 * c.steps));
    ASSERT_EQ(steps.size(), static_cast<size_t>(c.steps));
    for (int k = 0; k < c.steps; ++k) EXPECT_EQ(steps[static_cast<size_t>(k)], k + 1);
    EXPECT_EQ(engine.NeedAnimation, 0);
    // Without a new request the next paint plays nothing.
    steps.clear();
    paint(w);
    EXPECT_TRUE(steps.empty());
  }
}

TEST_F(Painter, TypeZeroShowsNothingUntilTheFrameIsCopiedWhole) {
  HWND w = createScreen(engine);
  engine.CurMenu = 1;
  paint(w);
  const uint32_t oldPixel = pixel(50, 50);
  engine.CurMenu = 2;
  uint32_t during = 0;
  engine.OnAnimationStep = [&](int, int) { during = pixel(50, 50); };
  engine.SL_SetPaintAnimationType(0);
  paint(w);
  EXPECT_EQ(during, oldPixel);
  EXPECT_EQ(pixel(50, 50), 0xC04040u);
}

TEST_F(Painter, TypeOnePicksASlideZoomOrBlindAtRandom) {
  HWND w = createScreen(engine);
  std::set<int> seen;
  engine.OnAnimationStep = [&](int type, int step) {
    if (step == 1) seen.insert(type);
  };
  for (int i = 0; i < 40; ++i) {
    engine.SL_SetPaintAnimationType(1);
    paint(w);
    EXPECT_EQ(engine.AnimationType, 1) << "the random choice is made anew each time";
  }
  EXPECT_GE(*seen.begin(), 3);
  EXPECT_LE(*seen.rbegin(), 8);
  EXPECT_GE(seen.size(), 4u);
}

TEST_F(Painter, StepsOfEachTransitionCoverTheirShareOfTheScreen) {
  // Old page: checkers (0x2C3034 / 0x404448); new page: quadrants. Step 1 uses the factor 0.2,
  // step 8 0.9, step 13 0.98 (the table's entry 0, 0.1, is never used).
  HWND w = createScreen(engine);
  struct Probe {
    int type, x, y;
    uint32_t expected;
    int step = 8;
  } probes[] = {
      {3, 645, 10, 0xC04040, 1},  // step 1: the frame's left 160 columns at x = 640
      {3, 635, 10, 0x2C3034, 1},
      {2, 155, 10, 0x40A040, 1},  // step 1: the right 160 columns at x = 0
      {2, 165, 10, 0x404448, 1},
      {3, 17, 10, 0xC04040, 13},  // step 13: 784 columns from x = 16
      {3, 15, 10, 0x2C3034, 13},
      {2, 10, 10, 0xC04040},   // the right 720 columns of the new page at x = 0: (10,10) shows (90,10)
      {2, 725, 10, 0x404448},  // beyond 720: still the old page
      {3, 85, 10, 0xC04040},   // the left 720 columns drawn from x = 80
      {3, 75, 10, 0x2C3034},
      {4, 10, 5, 0xC04040},  // the bottom 432 rows at y = 0: row 5 shows row 53
      {4, 10, 435, 0x404448},
      {7, 10, 10, 0xC04040},  // blinds of 8 * 480 / 60 = 64 rows from 0, 120, 240, 360
      {7, 10, 70, 0x2C3034},
      {7, 10, 365, 0x4060C0},
      {8, 10, 10, 0xC04040},  // blinds of 8 * 800 / 60 = 106 columns from 0, 120, 240 ...
      {8, 110, 10, 0x404448},
      {8, 125, 300, 0x4060C0},
      {5, 30, 10, 0x2C3034},  // zoomed in to 720 x 432 at (40, 24): the corner is old
      {5, 45, 30, 0xC04040},
      {6, 5, 5, 0xC04040},  // zoomed out: the whole screen is new
      {6, 795, 475, 0xC0A040},
  };
  for (const Probe& p : probes) {
    SCOPED_TRACE(testing::Message() << "type " << p.type << " step " << p.step << " at " << p.x << "," << p.y);
    engine.CurMenu = 1;
    engine.OnAnimationStep = nullptr;
    paint(w);
    engine.CurMenu = 2;
    uint32_t seen = 0;
    engine.OnAnimationStep = [&](int, int step) {
      if (step == p.step) seen = pixel(p.x, p.y);
    };
    engine.SL_SetPaintAnimationType(p.type);
    paint(w);
    EXPECT_EQ(seen, p.expected);
  }
}

class WideScreen : public PaintFixture {
 protected:
  void SetUp() override {
    screenWidth_ = 1024;  // blinds every 50 columns: the last ones would start past the edge
    screenHeight_ = 200;
    PaintFixture::SetUp();
    installSkin("paint", paintSkinBitmaps());
  }
  // The next test's engines are made (and read the screen's size) before its SetUp runs.
  void TearDown() override {
    PaintFixture::TearDown();
    plat::window::setScreenSize(800, 480);
  }
};

TEST_F(WideScreen, VerticalBlindsStopAtTheScreensEdge) {
  TestSkinlet wide;
  ASSERT_EQ(wide.ScreenWidth, 1024);
  ASSERT_EQ(wide.ScreenHeight, 200);
  ASSERT_TRUE(load(wide, u"Paint_Script.xml", u"paint"));
  wide.CurMenu = 2;
  HWND w = createScreen(wide, RECT{0, 0, 1024, 200});
  int steps = 0;
  wide.OnAnimationStep = [&](int, int) { ++steps; };
  wide.SL_SetPaintAnimationType(8);
  paint(w);
  EXPECT_EQ(steps, 15);
  EXPECT_EQ(pixel(10, 10), 0xC04040u);
  EXPECT_EQ(pixel(790, 10), 0x40A040u);
}

// ---- tables ----

TEST_F(Painter, TableItemTypeImages) {
  // The fixture's dir image is cream at its left edge, the file image blue-grey.
  constexpr uint32_t dir = 0xF4E8C8, file = 0xD0D8E0, selected = 0x2E6FB0;
  HWND w = createScreen(engine);
  paint(w);
  EXPECT_EQ(pixel(321, 290), dir) << "0x3: folder";
  EXPECT_EQ(pixel(321, 322), file) << "0x5: file";
  EXPECT_EQ(pixel(321, 354), dir) << "0x9 selected exactly 1: folder";
  EXPECT_EQ(pixel(321, 386), file) << "0x9 selected 3: file";
  EXPECT_EQ(pixel(321, 418), file) << "0x11: file";
  EXPECT_EQ(pixel(316, 284), selected) << "the selected background reaches 5 pixels beyond the item";
  EXPECT_EQ(pixel(320, 380), 0xFF4040u) << "IsSelected bit 2: a frame in the selected colour";
  EXPECT_NE(pixel(320, 412), 0xFF4040u) << "no frame without bit 2";
}

TEST_F(Painter, TableItemWithoutTypeBitDrawsOnlyItsBackgroundUnlessInPictureMode) {
  tagTable& bare = engine.page(0).Tables[5];  // ActionType 1, IsSelected 3, text in red
  lstrcpynW(bare.Text, u"WWWWWWWW", SL_PATH_LEN);
  HWND w = createScreen(engine);
  paint(w);
  auto redInText = [&] {
    int n = 0;
    for (int x = 360; x < 536; ++x)
      for (int y = 444; y < 470; ++y) n += (pixel(x, y) & 0xFF0000) > 0xC00000 && (pixel(x, y) & 0xFF) < 0x80;
    return n;
  };
  EXPECT_EQ(pixel(330, 450), 0x2E6FB0u) << "the selected background";
  EXPECT_NE(pixel(320, 444), 0xFF4040u) << "no frame";
  EXPECT_EQ(redInText(), 0) << "no text";
  engine.TblPictureMode = 1;
  paint(w);
  EXPECT_EQ(pixel(320, 444), 0xFF4040u) << "picture mode: the frame";
  EXPECT_GT(redInText(), 20) << "picture mode: the text";
  EXPECT_EQ(engine.PicLoadIndex, 0);
  EXPECT_EQ(plat::window::nextTimerDueMs(), plat::clock::nowMs() + 100) << "timer 888 every 100 ms";
}

TEST_F(Painter, SelectedTableTextScrollsThirtyPixelsPerPaint) {
  HWND w = createScreen(engine);  // its first paint: an empty text, no scrolling
  tagTable& row = engine.page(0).Tables[0];
  lstrcpynW(row.Text, u"A row text much wider than the hundred and seventy six pixels of its area", SL_PATH_LEN);
  row.ScrollFlags = 2;
  row.ScrollStart = 7;
  paint(w);
  EXPECT_EQ(row.ScrollPos, 30);
  paint(w);
  EXPECT_EQ(row.ScrollPos, 60);
  row.IsSelected = 0;  // no longer selected: back to its start, drawn fitted
  paint(w);
  EXPECT_EQ(row.ScrollPos, 7);
}

// ---- signals and sectors ----

TEST_F(Painter, SignalBarHeights) {
  EXPECT_EQ(skinlet::signalBarHeight(40, 25), 20);
  EXPECT_EQ(skinlet::signalBarHeight(40, 80), 40);
  EXPECT_EQ(skinlet::signalBarHeight(40, 50), 40);
  EXPECT_EQ(skinlet::signalBarHeight(40, 49), 39);
  EXPECT_EQ(skinlet::signalBarHeight(40, 0), 0);
  EXPECT_EQ(skinlet::signalBarHeight(40, -5), 0);
  EXPECT_EQ(skinlet::signalBarHeight(INT32_MAX, INT32_MAX), INT32_MAX);

  HWND w = createScreen(engine);
  paint(w);
  // Signal 0: valid, C/N 25 in a 100-pixel bar: 50 pixels from the bottom (rows 370..419).
  EXPECT_EQ(pixel(598, 370), 0x40D060u);
  EXPECT_NE(pixel(598, 369), 0x40D060u);
  // Signal 1: not valid, C/N 40: 80 pixels in the invalid colour.
  EXPECT_EQ(pixel(648, 340), 0x808080u);
  EXPECT_NE(pixel(648, 339), 0x808080u);
  // Signal 2 (type -1) is not drawn at all: neither bar nor numbers.
  for (int y = 298; y < 442; ++y) EXPECT_EQ(pixel(698, y), pixel(570, y)) << y;
  // Signal 3: C/N 0 shows no bar and no C/N number, but its own number.
  auto inkIn = [&](int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) n += pixel(x, y) != pixel(570, y);
    return n;
  };
  EXPECT_EQ(inkIn(730, 298, 766, 420), 0);
  EXPECT_GT(inkIn(730, 424, 766, 442), 10);
  EXPECT_GT(inkIn(580, 298, 616, 316), 10) << "signal 0 shows its C/N";
}

TEST_F(Painter, SectorArcPoints) {
  tagSector s{};
  s.SecArea = {100, 100, 100, 100};
  s.SecStart = 0;
  s.SecEnd = 90;
  std::vector<POINT> p = skinlet::sectorPoints(s);
  ASSERT_EQ(p.size(), 17u);  // 0, 6, ..., 90 and the centre
  EXPECT_EQ(p[0].x, 200);
  EXPECT_EQ(p[0].y, 150);
  // 90 degrees: straight up; the degree factor is a hair above pi / 180, so the cosine is a
  // hair below 0 and truncation gives 149.
  EXPECT_EQ(p[15].x, 149);
  EXPECT_EQ(p[15].y, 100);
  EXPECT_EQ(p[16].x, 150);
  EXPECT_EQ(p[16].y, 150);

  s.SecStart = 300;
  s.SecEnd = 60;  // runs over 0: the end becomes 420
  p = skinlet::sectorPoints(s);
  EXPECT_EQ(p.size(), 21u + 1u);

  s.SecStart = 720 + 30;  // angles are taken modulo 360
  s.SecEnd = 30;
  EXPECT_EQ(skinlet::sectorPoints(s).size(), 2u);

  s.SecStart = -359;  // negative remainders: the end would be 718 degrees on; one turn at most
  s.SecEnd = 359;
  EXPECT_EQ(skinlet::sectorPoints(s).size(), 61u + 1u);

  s.SecStart = 300;
  s.SecEnd = -100;  // the end stays before the start: only the centre
  EXPECT_EQ(skinlet::sectorPoints(s).size(), 1u);

  s.SecArea = {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX};
  s.SecStart = 0;
  s.SecEnd = 180;
  for (const POINT& q : skinlet::sectorPoints(s)) EXPECT_LE(std::abs(q.x), 1000000000);
}

// ---- texts ----

TEST_F(Painter, LineBreakSpacing) {
  // 20 characters measured at 200 pixels in a 100-pixel area: 10 per line.
  EXPECT_EQ(skinlet::lineBreakSpacing(20, 200, 100), 10);
  EXPECT_EQ(skinlet::lineBreakSpacing(20, 0, 100), 0);
  EXPECT_EQ(skinlet::lineBreakSpacing(0, 200, 100), 0);
  EXPECT_EQ(skinlet::lineBreakSpacing(20, 200, 5), 0);
  EXPECT_EQ(skinlet::lineBreakSpacing(20, 200, -100), 0);
  EXPECT_EQ(skinlet::lineBreakSpacing(99, 1, INT32_MAX), INT32_MAX);

  WCHAR text[SL_TEXT_LEN];
  lstrcpynW(text, u"ABCDEFGHIJKLMNOPQRST", SL_TEXT_LEN);
  skinlet::insertLineBreaks(text, SL_TEXT_LEN, 10);
  EXPECT_EQ(std::u16string(text), u"ABCDEFGHIJ KLMNOPQRST ");
  lstrcpynW(text, u"ABCDEFG", SL_TEXT_LEN);
  skinlet::insertLineBreaks(text, SL_TEXT_LEN, 3);
  EXPECT_EQ(std::u16string(text), u"ABC DEF G");
}

TEST_F(Painter, LineBreaksNeverRunPastTheWorkingCopy) {
  // 99 characters, a space after each: twice the room. The copy is cut at its last character.
  auto copy = std::make_unique<WCHAR[]>(SL_TEXT_LEN);  // exactly 100: the sanitizer sees any overrun
  std::u16string full(99, u'x');
  lstrcpynW(copy.get(), full.c_str(), SL_TEXT_LEN);
  skinlet::insertLineBreaks(copy.get(), SL_TEXT_LEN, 1);
  std::u16string out(copy.get());
  ASSERT_EQ(out.size(), 99u);
  for (size_t i = 0; i < out.size(); ++i) EXPECT_EQ(out[i], i % 2 ? u' ' : u'x') << i;

  // On a page: the longest text a record holds, broken every character, paints without fault.
  tagTexture& broken = engine.page(0).Texts[3];
  lstrcpynW(broken.Text, full.c_str(), SL_TEXT_LEN);
  broken.TxtArea.Width = 3;
  HWND w = createScreen(engine);
  paint(w);
  EXPECT_EQ(std::u16string(broken.Text), full) << "the record's text is not changed";
}

TEST_F(Painter, ScrollingTextAdvancesTwoPixelsPerPaintAndRunsTheTimer) {
  tagTexture& text = engine.page(0).Texts[4];  // TxtType 3, 240 pixels wide
  lstrcpynW(text.Text, u"short", SL_TEXT_LEN);
  HWND w = createScreen(engine);
  paint(w);
  EXPECT_EQ(text.TxtScrollPos, 0);
  EXPECT_EQ(engine.TxtScrollTimerOn, 0) << "a text that fits does not scroll";
  lstrcpynW(text.Text, u"This text scrolls because it is wider than its area", SL_TEXT_LEN);
  paint(w);
  EXPECT_EQ(text.TxtScrollPos, 2);
  EXPECT_EQ(engine.TxtScrollTimerOn, 1);
  paint(w);
  EXPECT_EQ(text.TxtScrollPos, 4);
  pumpFor(500);
  ASSERT_EQ(timersSeen.size(), 1u) << "timer 890 every 500 ms";
  EXPECT_EQ(timersSeen[0], 890u);
  // Fitting again: the timer stops.
  lstrcpynW(text.Text, u"short", SL_TEXT_LEN);
  paint(w);
  EXPECT_EQ(engine.TxtScrollTimerOn, 0);
  timersSeen.clear();
  pumpFor(1000);
  EXPECT_TRUE(timersSeen.empty());
}

TEST_F(Painter, ScrollOffsetWrapsToTheSecondCopy) {
  // Doubled string 400 wide in a 100-pixel area: offsets run to 300, then back to 100.
  EXPECT_EQ(skinlet::nextScrollOffset(0, 2, 400, 100), 2);
  EXPECT_EQ(skinlet::nextScrollOffset(298, 2, 400, 100), 300);
  EXPECT_EQ(skinlet::nextScrollOffset(300, 2, 400, 100), 100);
  EXPECT_EQ(skinlet::scrollString(u"ab"), u"ab      ab      ");
}

// ---- the opening effect ----

TEST_F(Painter, OpeningBlendAveragesOutsideTheSlaveViewPortOnly) {
  HWND w = createScreen(engine);
  engine.CurMenu = 1;
  paint(w);
  const uint32_t under = pixel(10, 10);  // 0x2C3034
  engine.CurMenu = 3;
  engine.SL_PaintEffect(0);  // no activation: nothing
  paint(w);
  EXPECT_EQ(pixel(10, 10), 0xC04040u) << "no blend without a pending effect";
  engine.CurMenu = 1;
  paint(w);
  engine.CurMenu = 3;
  engine.EffectPending = 1;
  paint(w);
  EXPECT_EQ(engine.EffectPending, 0);
  const uint32_t a = 0xC04040, b = under;
  const uint32_t mean = (((a >> 16) + (b >> 16)) >> 1) << 16 | ((((a >> 8) & 0xFF) + ((b >> 8) & 0xFF)) >> 1) << 8 |
                        (((a & 0xFF) + (b & 0xFF)) >> 1);
  EXPECT_EQ(pixel(10, 10), mean);
  EXPECT_EQ(pixel(210, 130), 0xC04040u) << "inside the slave view port the page is untouched";
  EXPECT_NE(pixel(199, 130), 0xC04040u);
}

TEST_F(Painter, BlendRoundsEachChannelDown) {
  uint32_t frame[3] = {0xFFFFFF, 0x010101, 0x80FF01};
  const uint32_t screen[3] = {0x000000, 0x000000, 0x7F0103};
  skinlet::blendOutside(frame, screen, 3, 1, RECT{1, 0, 2, 1});
  EXPECT_EQ(frame[0], 0x7F7F7Fu);
  EXPECT_EQ(frame[1], 0x010101u) << "inside the kept rectangle";
  EXPECT_EQ(frame[2], 0x7F8002u);
}

// ---- the window region ----

TEST_F(Painter, WindowRegionFromTheMask) {
  engine.CurMenu = 4;
  HWND w = createScreen(engine, RECT{200, 90, 600, 390});
  engine.SL_MakeWindowRgn(w);
  HRGN got = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(w, got), ERROR);
  EXPECT_TRUE(PtInRegion(got, 200, 60)) << "inside the ellipse";
  EXPECT_FALSE(PtInRegion(got, 200, 150)) << "the square hole";
  EXPECT_FALSE(PtInRegion(got, 2, 2)) << "a corner outside the ellipse";
  EXPECT_FALSE(PtInRegion(got, 400, 150)) << "beyond the mask";
  DeleteObject(got);
}

TEST_F(Painter, RegionZeroLeavesTheWindowAlone) {
  engine.CurMenu = 4;
  engine.page(4).Region = 0;
  HWND w = createScreen(engine, RECT{200, 90, 600, 390});
  engine.SL_MakeWindowRgn(w);
  HRGN got = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(GetWindowRgn(w, got), ERROR) << "no region set";
  DeleteObject(got);
}

TEST_F(Painter, FullyBlackMaskLeavesAnEmptyRegion) {
  writeFile("Windows/paint/Skin/mask.bmp", bitmapFile(40, 30, [](int, int) { return 0u; }));
  images.UnLoadImgResource();
  ASSERT_TRUE(load(engine, u"Paint_Script.xml", u"paint"));
  engine.CurMenu = 4;
  HWND w = createScreen(engine, RECT{200, 90, 600, 390});
  engine.SL_MakeWindowRgn(w);
  HRGN got = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(w, got), ERROR);
  RECT box{};
  EXPECT_EQ(GetRgnBox(got, &box), NULLREGION);
  DeleteObject(got);
}

TEST_F(Painter, MaskRowsCountFromTheTop) {
  // Black only in the top ten rows and the left five columns of the rest.
  writeFile("Windows/paint/Skin/mask.bmp", bitmapFile(40, 30, [](int x, int y) { return y < 10 || x < 5 ? 0u : 0xFFFFFFu; }));
  images.UnLoadImgResource();
  ASSERT_TRUE(load(engine, u"Paint_Script.xml", u"paint"));
  engine.CurMenu = 4;
  HWND w = createScreen(engine, RECT{200, 90, 600, 390});
  engine.SL_MakeWindowRgn(w);
  HRGN got = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(w, got), ERROR);
  RECT box{};
  EXPECT_EQ(GetRgnBox(got, &box), SIMPLEREGION);
  EXPECT_EQ(box.left, 5);
  EXPECT_EQ(box.top, 10);
  EXPECT_EQ(box.right, 40);
  EXPECT_EQ(box.bottom, 30);
  DeleteObject(got);
}

TEST_F(Painter, MissingMaskKeepsTheWindowShapeAndSaysSo) {
  engine.CurMenu = 4;
  engine.page(4).MaskBitmap = nullptr;
  HWND w = createScreen(engine, RECT{200, 90, 600, 390});
  engine.SL_MakeWindowRgn(w);
  HRGN got = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(GetWindowRgn(w, got), ERROR);
  DeleteObject(got);
  EXPECT_TRUE(consoleHas("SL_MakeWindowRgn")) << consoleText();
}

TEST_F(Painter, RegionOwnershipNeverDeletesWhatTheWindowUses) {
  size_t before = 0;
  HWND w = nullptr;
  {
    TestSkinlet shaped;
    shaped.SL_resSetHandle(&images, texts.get());
    ASSERT_EQ(shaped.SL_LoadSkin(u"Paint_Script.xml", u"paint"), 1);
    shaped.CurMenu = 4;
    w = createScreen(shaped, RECT{200, 90, 600, 390});
    before = plat::gdi::liveObjectCount();
    shaped.SL_MakeWindowRgn(w);
    shaped.SL_MakeWindowRgn(w);  // replaces the first; the window deleted that one
    SetWindowLongPtrW(w, GWL_USERDATA, 0);
  }
  // The engine is gone; the window still clips with its region.
  HRGN got = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(w, got), ERROR);
  EXPECT_FALSE(PtInRegion(got, 200, 150));
  DeleteObject(got);
  EXPECT_EQ(plat::gdi::liveObjectCount(), before + 1) << "exactly the window's region is left";
  DestroyWindow(w);
  EXPECT_EQ(plat::gdi::liveObjectCount(), before);
}

TEST_F(Painter, RefusedRegionIsReportedAndFreedByTheEngine) {
  const size_t before = plat::gdi::liveObjectCount();
  {
    TestSkinlet shaped;
    shaped.SL_resSetHandle(&images, texts.get());
    ASSERT_EQ(shaped.SL_LoadSkin(u"Paint_Script.xml", u"paint"), 1);
    shaped.CurMenu = 4;
    shaped.SL_MakeWindowRgn(nullptr);
    shaped.SL_MakeWindowRgn(nullptr);
    EXPECT_NE(shaped.WindowRgn, nullptr);
  }
  EXPECT_TRUE(consoleHas("SetWindowRgn Error!\n"));
  EXPECT_EQ(plat::gdi::liveObjectCount(), before);
}

// ---- paint bookkeeping and bad content ----

TEST_F(Painter, PaintsLeaveNoObjectsBehind) {
  engine.page(0).Tables[0].ScrollFlags = 2;
  lstrcpynW(engine.page(0).Texts[4].Text, u"This text scrolls because it is wider than its area", SL_TEXT_LEN);
  HWND w = createScreen(engine);
  paint(w);
  const size_t before = plat::gdi::liveObjectCount();
  for (int page = 0; page < 6; ++page) {
    engine.CurMenu = page;
    engine.FullRepaint = 1;
    engine.EffectPending = 1;
    engine.SL_SetPaintAnimationType(page + 2);
    paint(w);
  }
  EXPECT_EQ(plat::gdi::liveObjectCount(), before);
  EXPECT_EQ(engine.FullRepaint, 0);
}

TEST_F(Painter, HiddenControlsDrawNoImageButKeepTheirLabelAndTrack) {
  for (tagButton& button : engine.page(0).Buttons) lstrcpynW(button.Text, u"Label", SL_TEXT_LEN);
  HWND w = createScreen(engine);
  engine.FullRepaint = 1;
  paint(w);
  // Button 3 and progress 2 are hidden: the button's image is left out, but its label (its own
  // text bit is set) and the bar's background are part of the page's look.
  auto countColour = [&](int x0, int y0, int x1, int y1, uint32_t colour) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) n += pixel(x, y) == colour;
    return n;
  };
  auto otherThanBackground = [&](int x0, int y0, int x1, int y1) {
    return (x1 - x0) * (y1 - y0) - countColour(x0, y0, x1, y1, 0x1E2A38u);
  };
  EXPECT_EQ(countColour(620, 130, 740, 178, 0x3A7BD5u), 0) << "no image of the hidden button";
  EXPECT_GT(countColour(620, 130, 740, 178, 0xFFFFFFu), 10) << "its label is drawn";
  EXPECT_GT(otherThanBackground(340, 232, 640, 256), 100) << "the hidden bar's background is drawn";
  EXPECT_GT(otherThanBackground(380, 140, 420, 170), 100) << "the visible button is there";
  // Their visible siblings are drawn, with the colour key leaving the corners alone.
  EXPECT_EQ(pixel(400, 135), 0x3A7BD5u);
  EXPECT_EQ(pixel(340, 130), 0x1E2A38u);
  EXPECT_EQ(pixel(490, 212), 0x8090A0u);
  // Without an activation or page switch the controls draw themselves: not in the frame.
  const RECT segment{660, 196, 760, 256};
  const Image drawn = screen(segment);
  paint(w);
  EXPECT_EQ(pixel(400, 135), 0x1E2A38u);
  const Image bare = screen(segment);
  EXPECT_NE(drawn.pixels, bare.pixels) << "the segment display's background was in the frame";
  // A hidden segment display is left out of it.
  engine.page(0).EightSegs[0].Flags = 0x100;
  engine.FullRepaint = 1;
  paint(w);
  EXPECT_EQ(screen(segment).pixels, bare.pixels);
}

TEST_F(Painter, ButtonLabelsAndTableTextsTakeTheLanguageTextOfTheirIds) {
  // Texts 65533 and 65534 are what ids -3 and -2 would name, were they taken as ids.
  writeFile("Windows/en.rc", "STRINGTABLE\nBEGIN\n  1, \"W\"\n  65533, \"WW\"\n  65534, \"WWWW\"\nEND\n");
  writeFile("Windows/language.xml", "<LANGUAGES><LANGUAGE LANGID='1033'>en.rc</LANGUAGE></LANGUAGES>");
  texts = std::make_unique<CTxtRes>();
  ASSERT_EQ(texts->SetLanguage(1033), 1);
  engine.SL_resSetHandle(&images, texts.get());
  tagButton& button = engine.page(0).Buttons[0];
  tagTable& item = engine.page(0).Tables[4];
  HWND w = createScreen(engine);
  // The label and the row as painted with these ids and literal texts.
  auto look = [&](std::vector<int32_t> ids, int state, int32_t txtId, const char16_t* label, const char16_t* text) {
    button.TextIds = ids;
    button.StateIndex = state;
    item.TxtId = txtId;
    lstrcpynW(button.Text, label, SL_TEXT_LEN);
    lstrcpynW(item.Text, text, SL_TEXT_LEN);
    engine.FullRepaint = 1;
    paint(w);
    return std::make_pair(screen({340, 130, 460, 178}).pixels, screen({360, 412, 536, 438}).pixels);
  };
  const char16_t* const many = u"WWWWWWWW";
  EXPECT_TRUE(look({1}, 0, 1, many, many) == look({-1}, 0, -1, u"W", u"W")) << "the language texts win";
  EXPECT_TRUE(look({1}, 1, -2, u"W", u"W") == look({}, 1, -1, u"W", u"")) << "state past the ids; -2: no text";
  EXPECT_TRUE(look({}, 0, -3, u"", u"W") == look({}, 0, -1, u"", u"")) << "-3: no text";
  EXPECT_FALSE(look({}, 0, -1, u"W", u"W") == look({}, 0, -1, u"", u"")) << "the literal texts show";
}

TEST_F(Painter, PicturesNeedAValidIndexAndKeepTheColourKey) {
  HWND w = createScreen(engine);
  paint(w);
  EXPECT_EQ(pixel(388, 64), 0x2050C0u) << "the picture's centre, stretched";
  EXPECT_EQ(pixel(342, 18), 0x1E2A38u) << "its key-coloured corner is not drawn";
  EXPECT_EQ(pixel(490, 46), 0x1E2A38u) << "PicType 0: not shown";
  EXPECT_EQ(pixel(570, 46), 0x1E2A38u) << "index 1 of a one-image list: not drawn";
  engine.page(0).Pictures[0].Images[0].hImg = nullptr;
  paint(w);
  EXPECT_EQ(pixel(388, 64), 0x1E2A38u);
}

TEST_F(Painter, BadContentStillPaintsWhatItCan) {
  tagMenu& page = engine.page(0);
  page.MainViewPort = {0, 0, 5000, 9000};  // larger than the picture and the screen
  page.Texts[0].TxtFont = 42;              // not in the face table
  page.Texts[0].TxtSize = 100000;
  lstrcpynW(page.Texts[0].Text, u"Still drawn", SL_TEXT_LEN);
  page.Texts[1].TxtArea = {10, 10, -50, -20};
  page.Texts[2].TxtArea = {INT32_MAX - 5, INT32_MAX - 5, INT32_MAX, INT32_MAX};
  lstrcpynW(page.Texts[2].Text, std::u16string(99, u'W').c_str(), SL_TEXT_LEN);
  page.Texts[3].TextureIDs = {1234, -7};
  page.Texts[3].TextIndex = 0;  // a language text while no language is loaded
  page.Texts[4].TextIndex = -1;
  page.Pictures[0].PicArea = {0, 0, -64, 0};
  page.Pictures[2].ActionIndex = -5;
  page.Tables[0].ItemArea = {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
  page.Tables[1].TxtId = 60000;
  page.Tables[2].DirBitmap = nullptr;
  page.Sectors[0].SecArea = {INT32_MAX, 0, INT32_MAX, INT32_MAX};
  page.Signals[0].SigArea = {0, INT32_MAX - 1, 10, INT32_MAX};
  page.Signals[0].SigCN = INT32_MAX;
  page.Buttons[0].StateIndex = 7;
  page.Buttons[1].TextIds = {-1};
  page.EightSegs[0].SegCrop = {0, 0, -10, -10};
  HWND w = createScreen(engine);
  engine.FullRepaint = 1;
  engine.EffectPending = 1;
  paint(w);
  // The background and the widgets that are fine are there.
  EXPECT_EQ(pixel(799, 479), 0x263444u);
  EXPECT_EQ(pixel(490, 212), 0x8090A0u);
  EXPECT_EQ(pixel(321, 322), 0xD0D8E0u);
}

TEST_F(Painter, ScriptWithMissingImagesAndEmptyAreasPaints) {
  writeFile("Windows/paint/Bad_Script.xml", R"(<SL_MENUS><MENU>
    <BACKGRUOND MapId="99"/><MVIEWPORT LocX="0" LocY="0" Width="-800" Hight="0"/>
    <TEXTS><TEXT><TxtActionID value="1"/><TxtType value="7"/><TxtTextureID value="5"/>
      <TxtFont value="-1"/><TxtSize value="-30"/><TxtArea LocX="0" LocY="0" Width="0" Hight="0"/></TEXT></TEXTS>
    <BUTTONS><BUTTON><BtnActionID value="1"/><BtnArea LocX="-10" LocY="-10" Width="0" Hight="0"/>
      <BtnImgUp MapId="77"/><BtnTxtId value="3"/><BtnTxtType value="1"/></BUTTON></BUTTONS>
    <PROGRESSES><PROGRESS><PrgActionID value="1"/><PrgArea LocX="1" LocY="1" Width="-5" Hight="9"/>
      <PrgImgBack MapId="55"/></PROGRESS></PROGRESSES>
    <SECTORS><SECTOR><SecStart value="-720"/><SecEnd value="100000"/><SecArea LocX="0" LocY="0" Width="-40" Hight="-40"/></SECTOR></SECTORS>
    <PICTURES><PICTURE><PicType value="1"/><PicArea LocX="0" LocY="0" Width="10" Hight="10"/><PicImg MapId="66"/></PICTURE></PICTURES>
    <TABLES><TABLEITEM><TblActionType value="31"/><TblIsSelected value="3"/><TblImgNameDir MapId="88">nothing.bmp</TblImgNameDir>
      <TblTxtId value="0"/></TABLEITEM></TABLES>
    <SIGNALBAR><SIGNAL><SigActionType value="1"/><SigNumFont value="99"/><SigArea LocX="0" LocY="0" Width="-3" Hight="-9"/>
      <SigCN value="-4"/></SIGNAL></SIGNALBAR>
  </MENU></SL_MENUS>)");
  TestSkinlet bad;
  bad.SL_resSetHandle(&images, texts.get());
  ASSERT_EQ(bad.SL_LoadSkin(u"Bad_Script.xml", u"paint"), 1);
  HWND w = createScreen(bad);
  bad.FullRepaint = 1;
  bad.EffectPending = 1;
  bad.SL_SetPaintAnimationType(8);
  paint(w);
  EXPECT_EQ(bad.NeedAnimation, 0);
}

TEST_F(Painter, PaintWithoutPagesOrWindowDoesNoHarm) {
  TestSkinlet empty;
  EXPECT_NE(empty.SL_PaintBegin(), nullptr);
  empty.SL_SetPaintAnimationType(3);
  empty.SL_PaintEnd();
  empty.SL_PaintEnd();  // a second end without a begin
  EXPECT_EQ(empty.NeedAnimation, 0);
  HDC first = empty.SL_PaintBegin();
  EXPECT_NE(first, nullptr);
  EXPECT_NE(empty.SL_PaintBegin(), nullptr) << "a paint begun twice";
  empty.SL_PaintEnd();
}

}  // namespace
}  // namespace paint_test
