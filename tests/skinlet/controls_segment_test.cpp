// Eight-segment displays: cells, the shapes of the characters, outlines and colours.
#include "controls_fixture.h"

namespace controls_test {
namespace {

constexpr int kId = 55;
constexpr uint32_t kLit = 0xFF2000;      // SegColor 0x0020FF
constexpr uint32_t kHi = 0x00FF00;       // SegHiColor
constexpr uint32_t kStroke = 0x505050;   // SegStrockColor

class SegmentTest : public ControlsTest {
 protected:
  tagEightSeg& addDisplay(tagArea area, const char16_t* text, int showType = 0) {
    tagEightSeg s{};
    s.ActionID = kId;
    s.SegArea = area;
    s.SegFontWid = 16;
    s.SegStrockWid = 3;
    s.SegStrockSpace = 1;
    s.SegColor = 0x0020FF;
    s.SegHiColor = 0x00FF00;
    s.SegStrockColor = 0x505050;
    s.SegShowType = showType;
    std::u16string t = text;
    std::copy(t.begin(), t.end(), s.Text);
    skin.page().EightSegs.push_back(s);
    return skin.page().EightSegs.back();
  }
  SegmentControl* control() { return skin.page().EightSegs.at(0).Control; }
  // Pixels of one colour in a rectangle of the screen.
  int count(int x, int y, int w, int h, uint32_t colour) {
    int n = 0;
    for (int j = y; j < y + h; ++j)
      for (int i = x; i < x + w; ++i) n += pixel(i, j) == colour;
    return n;
  }
};

TEST_F(SegmentTest, EachCharacterGetsAnEqualCellAndUnknownCharactersStayEmpty) {
  addDisplay(tagArea{100, 100, 100, 40}, u"12:30");
  createControls();
  // Cells of 20 pixels: '1' lights only its right bars, ':' only the dots in the cell's middle.
  EXPECT_EQ(count(100, 100, 10, 40, kLit), 0);
  EXPECT_GT(count(110, 100, 10, 40, kLit), 0);
  EXPECT_GT(count(120, 100, 20, 40, kLit), 0);
  EXPECT_EQ(count(140, 100, 5, 40, kLit), 0);
  EXPECT_GT(count(145, 100, 10, 40, kLit), 0);
  EXPECT_EQ(count(155, 100, 5, 40, kLit), 0);
  EXPECT_GT(count(160, 100, 20, 40, kLit), 0);
  EXPECT_GT(count(180, 100, 20, 40, kLit), 0);

  std::u16string text = u"1A";
  std::copy(text.begin(), text.end() + 1, skin.page().EightSegs[0].Text);
  InvalidateRect(control()->hWnd, nullptr, FALSE);
  pumpUntilIdle();
  EXPECT_GT(count(100, 100, 50, 40, kLit), 0);
  EXPECT_EQ(count(150, 100, 50, 40, kLit), 0);  // 'A' is not a character of the display
}

TEST_F(SegmentTest, TheLitBarsOfEveryDigit) {
  // Which of the seven bars each digit lights, read off the screen at each bar's middle.
  const char* kBars[] = {
      // upper-left, lower-left, top, upper-right, lower-right, bottom, middle
      "1111110", "0001100", "0111011", "0011111", "1001101", "1010111", "1110111", "0011100", "1111111", "1011111",
  };
  addDisplay(tagArea{0, 100, 400, 41}, u"0123456789");
  createControls();
  SegmentControl* c = control();
  ASSERT_EQ(c->Wd, 15);
  ASSERT_EQ(c->Hd, 39);  // 40 rounded down to even, less one for the odd stroke
  for (int d = 0; d < 10; ++d) {
    const int x = d * 40, y = 100;
    const POINT probes[7] = {{x + 1, y + 10}, {x + 1, y + 30},  {x + 7, y + 1},  {x + 14, y + 10},
                             {x + 14, y + 30}, {x + 7, y + 38}, {x + 7, y + 19}};
    std::string lit;
    for (const POINT& p : probes) lit += pixel(p.x, p.y) == kLit ? '1' : '0';
    EXPECT_EQ(lit, kBars[d]) << "digit " << d;
  }
}

TEST_F(SegmentTest, UnlitBarsAreOutlinedWhenTheShowTypeAsks) {
  addDisplay(tagArea{100, 100, 40, 41}, u" 8", 1);
  createControls();
  EXPECT_EQ(count(100, 100, 20, 41, kLit), 0);
  EXPECT_GT(count(100, 100, 20, 41, kStroke), 20);  // the space: every bar outlined
  EXPECT_EQ(pixel(107, 119), 0u);                  // outlines are not filled
  // The 8 lights its seven bars; only its two dots are outlined.
  EXPECT_GT(count(120, 100, 20, 41, kLit), 0);
  EXPECT_EQ(count(120, 100, 6, 41, kStroke), 0);
  EXPECT_GT(count(126, 100, 3, 41, kStroke), 0);
  EXPECT_EQ(count(129, 100, 11, 41, kStroke), 0);
}

TEST_F(SegmentTest, TheHighlightBitChangesTheColourAtTheNextPaint) {
  tagEightSeg& s = addDisplay(tagArea{100, 100, 20, 41}, u"8");
  createControls();
  EXPECT_GT(count(100, 100, 20, 41, kLit), 0);
  s.SegType |= 1;
  InvalidateRect(control()->hWnd, nullptr, FALSE);
  pumpUntilIdle();
  EXPECT_EQ(count(100, 100, 20, 41, kLit), 0);
  EXPECT_GT(count(100, 100, 20, 41, kHi), 0);
}

TEST_F(SegmentTest, DigitsAndColonLookRight) {
  tagEightSeg& s = addDisplay(tagArea{0, 100, 352, 64}, u"0123456789:", 1);
  s.SegFontWid = 25;
  s.SegStrockWid = 5;
  s.SegStrockSpace = 2;
  s.BgBitmap = bitmaps.make(64, 32, 0x301810);
  s.SegCrop = tagArea{0, 0, 64, 32};
  createControls();
  expectGolden("controls_segment_digits", screenPixels(0, 100, 352, 64), 352, 64);
}

TEST_F(SegmentTest, AReleaseInsidePostsTheCommand) {
  addDisplay(tagArea{100, 100, 40, 41}, u"12");
  createControls();
  tap(110, 110);
  press(110, 110);
  release(300, 300);  // outside: the display does not capture, nothing reaches it
  EXPECT_EQ(takeNotices(), (std::vector<Notice>{{WM_COMMAND, kId, reinterpret_cast<LPARAM>(control()->hWnd)}}));
}

}  // namespace
}  // namespace controls_test
