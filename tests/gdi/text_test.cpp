#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <set>

#include "gdi_test_util.h"
#include "text/font_catalog.h"

using gdi_test::Canvas;

namespace {

// Every text test draws with these files only, whatever the machine has installed.
class Text : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    plat::text::pinFontFiles({"/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf",
                              "/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf",
                              "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                              "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc",
                              "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf"});
  }
  static void TearDownTestSuite() { plat::text::pinFontFiles({}); }
  void SetUp() override {
    FILE* f = std::fopen("/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf", "rb");
    if (!f) GTEST_SKIP() << "fonts-liberation is not installed (scripts/install-deps.sh)";
    std::fclose(f);
  }
};

struct Ink {
  int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN, count = 0;
};

Ink inkOf(const Canvas& c, uint32_t background) {
  Ink ink;
  for (int y = 0; y < c.height(); ++y)
    for (int x = 0; x < c.width(); ++x)
      if (c.at(x, y) != background) {
        ink.left = std::min(ink.left, x);
        ink.right = std::max(ink.right, x + 1);
        ink.top = std::min(ink.top, y);
        ink.bottom = std::max(ink.bottom, y + 1);
        ++ink.count;
      }
  return ink;
}

class FontScope {
 public:
  FontScope(HDC dc, int height, const char16_t* face, int weight = FW_NORMAL) : dc_(dc) {
    font_ = CreateFontW(height, 0, 0, 0, weight, 0, 0, 0, DEFAULT_CHARSET, 0, 0, ANTIALIASED_QUALITY, 0, face);
    old_ = SelectObject(dc, font_);
  }
  ~FontScope() {
    SelectObject(dc_, old_);
    DeleteObject(font_);
  }

 private:
  HDC dc_;
  HFONT font_;
  HGDIOBJ old_;
};

TEST_F(Text, HeightAsGdiMeansIt) {
  Canvas c(8, 8);
  TEXTMETRICW cell{}, chars{};
  {
    FontScope f(c.dc(), 20, u"Arial");
    ASSERT_TRUE(GetTextMetricsW(c.dc(), &cell));
  }
  {
    FontScope f(c.dc(), -20, u"Arial");
    ASSERT_TRUE(GetTextMetricsW(c.dc(), &chars));
  }
  // Positive: the cell is 20 pixels. Negative: the characters are, the cell is larger.
  EXPECT_EQ(cell.tmHeight, 20);
  EXPECT_EQ(cell.tmAscent + cell.tmDescent, 20);
  EXPECT_GT(cell.tmInternalLeading, 0);
  EXPECT_EQ(chars.tmHeight - chars.tmInternalLeading, 20);
  EXPECT_GT(chars.tmHeight, 20);
  EXPECT_GT(chars.tmAveCharWidth, cell.tmAveCharWidth - 1);
}

TEST_F(Text, ExtentGrowsWithTheTextAndMatchesCalcRect) {
  Canvas c(8, 8);
  FontScope f(c.dc(), 18, u"Tahoma");
  SIZE one{}, two{}, none{};
  ASSERT_TRUE(GetTextExtentPoint32W(c.dc(), u"Navi", 4, &one));
  ASSERT_TRUE(GetTextExtentPoint32W(c.dc(), u"NaviNavi", 8, &two));
  ASSERT_TRUE(GetTextExtentPoint32W(c.dc(), u"", 0, &none));
  EXPECT_GT(one.cx, 20);
  EXPECT_EQ(two.cx, 2 * one.cx);
  EXPECT_EQ(one.cy, 18);
  EXPECT_EQ(none.cx, 0);
  RECT r{10, 10, 500, 500};
  EXPECT_EQ(DrawTextW(c.dc(), u"Navi", -1, &r, DT_CALCRECT | DT_SINGLELINE), 18);
  EXPECT_EQ(r.right - r.left, one.cx);
  EXPECT_EQ(r.bottom - r.top, 18);
  int fit = 0;
  SIZE sz{};
  ASSERT_TRUE(GetTextExtentExPointW(c.dc(), u"NaviNavi", 8, one.cx, &fit, nullptr, &sz));
  EXPECT_EQ(fit, 4);
}

TEST_F(Text, AlignmentPlacesTheInk) {
  struct Case {
    UINT format;
    int wantLeft, wantRight;  // -1: not checked
  };
  const Case cases[] = {
      {DT_LEFT | DT_SINGLELINE | DT_VCENTER, 10, -1},
      {DT_RIGHT | DT_SINGLELINE | DT_VCENTER, -1, 190},
  };
  for (const Case& k : cases) {
    Canvas c(200, 40, 0);
    FontScope f(c.dc(), 20, u"Arial");
    SetTextColor(c.dc(), RGB(255, 255, 255));
    SetBkMode(c.dc(), TRANSPARENT);
    RECT r{10, 0, 190, 40};
    DrawTextW(c.dc(), u"HHHH", -1, &r, k.format);
    const Ink ink = inkOf(c, 0);
    ASSERT_GT(ink.count, 0);
    // 'H' has a small side bearing: within 3 pixels of the edge.
    if (k.wantLeft >= 0) {
      EXPECT_NEAR(ink.left, k.wantLeft, 3);
    }
    if (k.wantRight >= 0) {
      EXPECT_NEAR(ink.right, k.wantRight, 3);
    }
    // Vertically centred: as much room above as below, give or take the descent.
    EXPECT_NEAR(ink.top, 40 - ink.bottom, 6);
  }
  Canvas c(200, 40, 0);
  FontScope f(c.dc(), 20, u"Arial");
  SetTextColor(c.dc(), RGB(255, 255, 255));
  SetBkMode(c.dc(), TRANSPARENT);
  RECT r{0, 0, 200, 40};
  DrawTextW(c.dc(), u"HHHH", -1, &r, DT_CENTER | DT_BOTTOM | DT_SINGLELINE);
  const Ink ink = inkOf(c, 0);
  EXPECT_NEAR(ink.left, 200 - ink.right, 2);
  EXPECT_GT(ink.top, 20);
}

TEST_F(Text, EndEllipsisKeepsTheTextInsideItsRectangle) {
  Canvas c(300, 30, 0);
  FontScope f(c.dc(), 20, u"Arial");
  SetTextColor(c.dc(), RGB(255, 255, 255));
  SetBkMode(c.dc(), TRANSPARENT);
  const char16_t* text = u"A rather long destination name that does not fit";
  RECT calc{0, 0, 120, 30};
  DrawTextW(c.dc(), text, -1, &calc, DT_CALCRECT | DT_SINGLELINE | DT_END_ELLIPSIS);
  EXPECT_LE(calc.right, 120);
  EXPECT_GT(calc.right, 90);
  // Drawn with DT_NOCLIP the ink still ends inside, because the text was cut.
  RECT r{0, 0, 120, 30};
  DrawTextW(c.dc(), text, -1, &r, DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOCLIP);
  const Ink ink = inkOf(c, 0);
  EXPECT_LE(ink.right, 120);
  EXPECT_GT(ink.right, 100);
  // Without the ellipsis and with DT_NOCLIP it runs on.
  Canvas d(600, 30, 0);
  FontScope g(d.dc(), 20, u"Arial");
  SetTextColor(d.dc(), RGB(255, 255, 255));
  DrawTextW(d.dc(), text, -1, &r, DT_SINGLELINE | DT_NOCLIP);
  EXPECT_GT(inkOf(d, 0).right, 300);
  // And without DT_NOCLIP it is cut at the rectangle.
  Canvas e(600, 30, 0);
  FontScope h(e.dc(), 20, u"Arial");
  SetTextColor(e.dc(), RGB(255, 255, 255));
  DrawTextW(e.dc(), text, -1, &r, DT_SINGLELINE);
  EXPECT_LE(inkOf(e, 0).right, 120);
}

TEST_F(Text, WordBreakWrapsAtSpacesAndLineBreaks) {
  Canvas c(8, 8);
  FontScope f(c.dc(), 16, u"Arial");
  SIZE word{};
  GetTextExtentPoint32W(c.dc(), u"Radio", 5, &word);
  struct Case {
    const char16_t* text;
    UINT format;
    int lines;
  };
  const Case cases[] = {
      {u"Radio Radio Radio", DT_WORDBREAK, 3},
      {u"Radio Radio Radio", 0, 1},
      {u"Radio\nRadio", 0, 2},
      {u"Radio\r\nRadio", DT_SINGLELINE, 1},
      {u"RadioRadioRadio", DT_WORDBREAK, 1},  // one word is never split
      {u"导航导航导航", DT_WORDBREAK, 3},   // ideographs wrap anywhere
  };
  for (const Case& k : cases) {
    RECT r{0, 0, word.cx + 4, 100};
    const int h = DrawTextW(c.dc(), k.text, -1, &r, k.format | DT_CALCRECT);
    EXPECT_EQ(h, 16 * k.lines);
    EXPECT_EQ(r.bottom, 16 * k.lines);
  }
}

TEST_F(Text, DrawTextReturnsTheHeightOrTheOffsetToTheBottomOfTheText) {
  Canvas c(200, 60, 0);
  FontScope f(c.dc(), 20, u"Arial");
  SetBkMode(c.dc(), TRANSPARENT);
  struct Case {
    UINT format;
    int want;
  };
  const Case cases[] = {
      {DT_SINGLELINE, 20},
      {DT_SINGLELINE | DT_VCENTER, 40},  // 20 above the text in a 60-pixel rectangle, then 20
      {DT_SINGLELINE | DT_BOTTOM, 60},
      {DT_VCENTER, 20},  // vertical placement needs a single line
      {DT_BOTTOM, 20},
      {DT_WORDBREAK | DT_VCENTER, 20},
  };
  for (const Case& k : cases) {
    RECT r{0, 0, 200, 60};
    EXPECT_EQ(DrawTextW(c.dc(), u"Menu", -1, &r, k.format), k.want) << std::hex << k.format;
    EXPECT_EQ(r.right, 200);  // drawing leaves the rectangle alone
    EXPECT_EQ(r.bottom, 60);
  }
  // Without DT_SINGLELINE, DT_BOTTOM leaves the text at the top.
  Canvas d(100, 60, 0);
  FontScope g(d.dc(), 20, u"Arial");
  SetTextColor(d.dc(), RGB(255, 255, 255));
  RECT r{0, 0, 100, 60};
  DrawTextW(d.dc(), u"Menu", -1, &r, DT_BOTTOM);
  const Ink ink = inkOf(d, 0);
  ASSERT_GT(ink.count, 0);
  EXPECT_LT(ink.bottom, 21);
  // Measuring: the rectangle gets the text's size, left and top stay.
  SIZE sz{};
  GetTextExtentPoint32W(c.dc(), u"Menu", 4, &sz);
  RECT calc{5, 7, 6, 8};
  EXPECT_EQ(DrawTextW(c.dc(), u"Menu", 4, &calc, DT_CALCRECT | DT_SINGLELINE), 20);
  EXPECT_EQ(calc.left, 5);
  EXPECT_EQ(calc.top, 7);
  EXPECT_EQ(calc.right, 5 + sz.cx);
  EXPECT_EQ(calc.bottom, 27);
}

TEST_F(Text, PrefixUnderlinesUnlessNoPrefix) {
  Canvas c(8, 8);
  FontScope f(c.dc(), 16, u"Arial");
  RECT a{0, 0, 300, 40}, b{0, 0, 300, 40};
  DrawTextW(c.dc(), u"&File", -1, &a, DT_CALCRECT | DT_SINGLELINE);
  DrawTextW(c.dc(), u"&File", -1, &b, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  EXPECT_LT(a.right, b.right);  // the '&' takes no room
  SIZE file{};
  GetTextExtentPoint32W(c.dc(), u"File", 4, &file);
  EXPECT_EQ(a.right, file.cx);
}

TEST_F(Text, ExtTextOutClipsToItsRectangle) {
  Canvas c(200, 40, 0x000040);
  FontScope f(c.dc(), 24, u"Arial");
  SetTextColor(c.dc(), RGB(255, 255, 255));
  SetBkMode(c.dc(), TRANSPARENT);
  RECT clip{20, 5, 80, 35};
  // Scrolling text starts left of its rectangle.
  ASSERT_TRUE(ExtTextOutW(c.dc(), 20 - 37, 8, ETO_CLIPPED, &clip, u"Scrolling message", 17, nullptr));
  const Ink ink = inkOf(c, 0x000040);
  ASSERT_GT(ink.count, 0);
  EXPECT_GE(ink.left, 20);
  EXPECT_LE(ink.right, 80);
  EXPECT_GE(ink.top, 5);
  EXPECT_LE(ink.bottom, 35);
}

TEST_F(Text, TransparentModeBlendsAntialiasedEdgesOpaqueFillsTheCell) {
  Canvas c(100, 30, 0x0000FF);
  FontScope f(c.dc(), 22, u"Arial");
  SetTextColor(c.dc(), RGB(255, 255, 0));
  SetBkMode(c.dc(), TRANSPARENT);
  TextOutW(c.dc(), 2, 2, u"Wave", 4);
  std::set<uint32_t> colours;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 100; ++x) colours.insert(c.at(x, y));
  EXPECT_TRUE(colours.count(0xFFFF00));  // full coverage
  EXPECT_TRUE(colours.count(0x0000FF));  // background kept
  EXPECT_GT(colours.size(), 4u);         // and blends in between
  for (uint32_t p : colours) EXPECT_EQ(p >> 16, (p >> 8) & 255) << std::hex << p;  // mixes of the two only

  Canvas d(100, 30, 0x0000FF);
  FontScope g(d.dc(), 22, u"Arial");
  SetBkMode(d.dc(), OPAQUE);
  SetBkColor(d.dc(), RGB(0, 255, 0));
  SIZE sz{};
  GetTextExtentPoint32W(d.dc(), u"Wave", 4, &sz);
  TextOutW(d.dc(), 2, 2, u"Wave", 4);
  EXPECT_EQ(d.at(2, 2), 0x00FF00u);
  EXPECT_EQ(d.at(2 + sz.cx - 1, 2 + sz.cy - 1), 0x00FF00u);
  EXPECT_EQ(d.at(2 + sz.cx, 2), 0x0000FFu);
}

TEST_F(Text, ChineseAndJapaneseRenderInAnyFace) {
  for (const char16_t* face : {u"Arial", u"Tahoma", u"", u"微软雅黑", u"MS Gothic"}) {
    Canvas c(120, 30, 0);
    FontScope f(c.dc(), 20, face);
    SetTextColor(c.dc(), RGB(255, 255, 255));
    SIZE sz{};
    GetTextExtentPoint32W(c.dc(), u"中文导航", 4, &sz);
    // Full-width characters: about one em each, never the narrow missing-glyph box.
    EXPECT_GT(sz.cx, 4 * 14);
    TextOutW(c.dc(), 0, 0, u"中文导航ナビ", 6);
    EXPECT_GT(inkOf(c, 0).count, 150);
  }
}

TEST_F(Text, GoldenLabels) {
  Canvas c(240, 120, 0x102030);
  SetBkMode(c.dc(), TRANSPARENT);
  struct Label {
    const char16_t* face;
    int height, weight;
    uint32_t colour;
    RECT r;
    UINT format;
    const char16_t* text;
  };
  const Label labels[] = {
      {u"Tahoma", 16, FW_NORMAL, RGB(255, 255, 255), {4, 2, 236, 22}, DT_LEFT | DT_VCENTER | DT_SINGLELINE, u"Navigation 12:30"},
      {u"Arial", 20, FW_BOLD, RGB(255, 200, 0), {4, 24, 236, 48}, DT_CENTER | DT_VCENTER | DT_SINGLELINE, u"Radio FM 98.5"},
      {u"微软雅黑", 18, FW_NORMAL, RGB(120, 255, 120), {4, 50, 236, 72}, DT_RIGHT | DT_SINGLELINE, u"导航 设置 音乐"},
      {u"MS Gothic", 16, FW_NORMAL, RGB(160, 200, 255), {4, 74, 236, 94}, DT_LEFT | DT_SINGLELINE, u"ナビゲーション"},
      {u"Arial", 16, FW_NORMAL, RGB(255, 255, 255), {4, 96, 120, 118}, DT_LEFT | DT_SINGLELINE | DT_END_ELLIPSIS, u"A very long street name"},
  };
  for (const Label& l : labels) {
    FontScope f(c.dc(), l.height, l.face, l.weight);
    SetTextColor(c.dc(), l.colour);
    RECT r = l.r;
    DrawTextW(c.dc(), l.text, -1, &r, l.format);
  }
  gdi_test::expectGolden("text_labels", c.pixels(), 240, 120, 8);
}

}  // namespace

namespace {

TEST(FontCatalog, TheUnitsFontsFolderComesBeforeTheSystemFonts) {
  namespace fs = std::filesystem;
  const std::string font = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
  if (!fs::exists(font)) GTEST_SKIP() << "fonts-dejavu-core is not installed";
  char tmpl[] = "/tmp/gdi_unit_XXXXXX";
  ASSERT_TRUE(mkdtemp(tmpl));
  const std::string root = tmpl;
  fs::create_directories(root + "/Windows/Fonts");
  fs::copy_file(font, root + "/Windows/Fonts/DejaVuSans.ttf");
  plat::Options options;
  options.unitRoot = root;
  options.persistRegistry = false;
  plat::startup(options);
  const std::string folder = plat::hostPath(u"\\Windows\\Fonts");
  if (folder.rfind(root, 0) != 0) {
    plat::shutdown();
    fs::remove_all(root);
    GTEST_SKIP() << "device paths are not mapped into the unit root in this build";
  }
  plat::text::resetFontCatalog();
  plat::text::FontFile found;
  ASSERT_TRUE(plat::text::findFontFile("DejaVu Sans", false, false, found));
  EXPECT_EQ(found.path.rfind(root, 0), 0u) << found.path;
  // A family the unit does not ship still comes from the system.
  if (plat::text::findFontFile("Liberation Sans", false, false, found)) {
    EXPECT_NE(found.path.rfind(root, 0), 0u);
  }
  plat::shutdown();
  plat::text::resetFontCatalog();
  fs::remove_all(root);
}

}  // namespace
