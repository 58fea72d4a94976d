#include <gtest/gtest.h>

#include <cstring>

#include "gdi_test_util.h"

using gdi_test::Canvas;

namespace {

struct RopCase {
  DWORD rop;
  uint32_t dst, src, want;
};

TEST(BitBlt, RasterOperationsCombineSourceAndDestination) {
  const RopCase cases[] = {
      {SRCCOPY, 0x123456, 0xABCDEF, 0xABCDEF},   {SRCAND, 0xF0F0F0, 0x3C3C3C, 0x303030},
      {SRCPAINT, 0xF0F000, 0x0F0F0F, 0xFFFF0F},  {SRCINVERT, 0xFF00FF, 0x0F0F0F, 0xF00FF0},
      {DSTINVERT, 0x123456, 0xABCDEF, 0xEDCBA9}, {NOTSRCCOPY, 0, 0x00FF00, 0xFF00FF},
      {BLACKNESS, 0x123456, 0xABCDEF, 0x000000}, {WHITENESS, 0x123456, 0xABCDEF, 0xFFFFFF},
      {PATCOPY, 0x123456, 0xABCDEF, 0x332211},  // the brush below is RGB(0x11, 0x22, 0x33)
  };
  for (const RopCase& c : cases) {
    Canvas dst(3, 2, c.dst), src(3, 2, c.src);
    HBRUSH brush = CreateSolidBrush(RGB(0x33, 0x22, 0x11));
    SelectObject(dst.dc(), brush);
    EXPECT_TRUE(BitBlt(dst.dc(), 0, 0, 3, 2, src.dc(), 0, 0, c.rop)) << std::hex << c.rop;
    EXPECT_EQ(dst.at(2, 1), c.want) << std::hex << c.rop;
    SelectObject(dst.dc(), GetStockObject(WHITE_BRUSH));
    DeleteObject(brush);
  }
}

TEST(BitBlt, CoordinatesOutsideEitherBitmapAreCut) {
  Canvas src(4, 4, 0xFF0000), dst(4, 4, 0);
  // Source partly outside: only the part that exists is copied.
  EXPECT_TRUE(BitBlt(dst.dc(), 0, 0, 4, 4, src.dc(), 2, -1, SRCCOPY));
  EXPECT_EQ(dst.mask(0xFF0000),
            "....\n"
            "##..\n"
            "##..\n"
            "##..\n");
  EXPECT_TRUE(BitBlt(dst.dc(), -100000, 100000, 4, 4, src.dc(), 0, 0, SRCCOPY));
  EXPECT_TRUE(BitBlt(dst.dc(), 0, 0, 1 << 30, 1 << 30, src.dc(), -5, -5, SRCCOPY));
  EXPECT_TRUE(BitBlt(dst.dc(), 0, 0, -4, 4, src.dc(), 0, 0, SRCCOPY));
}

TEST(BitBlt, OverlappingCopyWithinOneBitmapScrolls) {
  Canvas c(5, 1);
  for (int x = 0; x < 5; ++x) c.pixels()[x] = static_cast<uint32_t>(x + 1);
  EXPECT_TRUE(BitBlt(c.dc(), 1, 0, 4, 1, c.dc(), 0, 0, SRCCOPY));
  EXPECT_EQ(std::vector<uint32_t>(c.pixels(), c.pixels() + 5), (std::vector<uint32_t>{1, 1, 2, 3, 4}));
}

TEST(StretchBlt, NearestSampleAndMirroring) {
  Canvas src(2, 2);
  src.pixels()[0] = 1, src.pixels()[1] = 2, src.pixels()[2] = 3, src.pixels()[3] = 4;
  Canvas dst(4, 4);
  EXPECT_TRUE(StretchBlt(dst.dc(), 0, 0, 4, 4, src.dc(), 0, 0, 2, 2, SRCCOPY));
  const uint32_t up[16] = {1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4};
  EXPECT_EQ(0, std::memcmp(dst.pixels(), up, sizeof up));
  // A negative destination width mirrors left to right, a negative source height upside down.
  EXPECT_TRUE(StretchBlt(dst.dc(), 4, 0, -4, 4, src.dc(), 0, 2, 2, -2, SRCCOPY));
  const uint32_t flipped[16] = {4, 4, 3, 3, 4, 4, 3, 3, 2, 2, 1, 1, 2, 2, 1, 1};
  EXPECT_EQ(0, std::memcmp(dst.pixels(), flipped, sizeof flipped));
  // Shrinking samples pixel centres.
  Canvas big(4, 1), small(2, 1);
  for (int x = 0; x < 4; ++x) big.pixels()[x] = static_cast<uint32_t>(10 + x);
  StretchBlt(small.dc(), 0, 0, 2, 1, big.dc(), 0, 0, 4, 1, SRCCOPY);
  EXPECT_EQ(small.at(0, 0), 11u);
  EXPECT_EQ(small.at(1, 0), 13u);
  // Sources reaching past the bitmap only draw what they sample inside it.
  Canvas part(4, 4, 0xEEEEEE);
  EXPECT_TRUE(StretchBlt(part.dc(), 0, 0, 4, 4, src.dc(), 1, 0, 2, 2, SRCCOPY));
  EXPECT_EQ(part.at(0, 0), 2u);
  EXPECT_EQ(part.at(3, 3), 0xEEEEEEu);
}

TEST(TransparentImage, KeyColourPixelsLeaveTheDestination) {
  const uint32_t key = 0xFA00FA;  // RGB(250, 0, 250) as a surface pixel
  Canvas src(2, 1);
  src.pixels()[0] = key;
  src.pixels()[1] = 0x00FF00;
  Canvas dst(4, 2, 0x0000FF);
  EXPECT_TRUE(TransparentImage(dst.dc(), 0, 0, 4, 2, src.dc(), 0, 0, 2, 1, RGB(250, 0, 250)));
  EXPECT_EQ(dst.mask(0x00FF00),
            "..##\n"
            "..##\n");
  EXPECT_EQ(dst.at(0, 0), 0x0000FFu);
  // A bitmap handle serves as source as well.
  Canvas dst2(2, 1, 0x123456);
  EXPECT_TRUE(TransparentImage(dst2.dc(), 0, 0, 2, 1, src.bitmap(), 0, 0, 2, 1, RGB(250, 0, 250)));
  EXPECT_EQ(dst2.at(0, 0), 0x123456u);
  EXPECT_EQ(dst2.at(1, 0), 0x00FF00u);
  EXPECT_FALSE(TransparentImage(dst2.dc(), 0, 0, 2, 1, reinterpret_cast<HANDLE>(uintptr_t(8)), 0, 0, 2, 1, 0));
}

TEST(DibSection, EveryBitCountKeepsItsFormatAndRowOrder) {
  struct Case {
    int bits;
    bool topDown;
  };
  const Case cases[] = {{1, false}, {4, true}, {8, false}, {16, true}, {24, false}, {24, true}, {32, false}};
  for (const Case& c : cases) {
    struct {
      BITMAPINFOHEADER h;
      RGBQUAD colors[256];
    } info{};
    info.h = {40, 5, c.topDown ? -3 : 3, 1, static_cast<WORD>(c.bits), BI_RGB, 0, 0, 0, 0, 0};
    info.colors[0] = {0, 0, 0, 0};
    info.colors[1] = {0, 0, 255, 0};  // red
    void* bits = nullptr;
    HBITMAP bm = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bm, nullptr) << c.bits;
    BITMAP desc{};
    ASSERT_EQ(GetObjectW(bm, sizeof desc, &desc), static_cast<int>(sizeof desc));
    EXPECT_EQ(desc.bmBitsPixel, c.bits);
    EXPECT_EQ(desc.bmWidthBytes, ((5 * c.bits + 31) / 32) * 4);
    EXPECT_EQ(desc.bmBits, bits);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bm);
    EXPECT_EQ(SetPixel(dc, 4, 0, RGB(255, 0, 0)), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dc, 4, 0), RGB(255, 0, 0)) << c.bits;
    EXPECT_EQ(GetPixel(dc, 3, 0), RGB(0, 0, 0)) << c.bits;
    // The pixel lands in the first memory row for top-down sections, the last otherwise.
    const uint8_t* mem = static_cast<const uint8_t*>(bits);
    const int row = c.topDown ? 0 : 2;
    const uint8_t* p = mem + row * desc.bmWidthBytes;
    switch (c.bits) {
      case 1: EXPECT_EQ(p[0], 0x08); break;
      case 4: EXPECT_EQ(p[2], 0x10); break;
      case 8: EXPECT_EQ(p[4], 1); break;
      case 16: EXPECT_EQ(p[8] | (p[9] << 8), 0x7C00); break;
      case 24: EXPECT_EQ(p[14], 255); EXPECT_EQ(p[12], 0); break;
      case 32: EXPECT_EQ(p[18], 255); break;
    }
    // Writing through the bits pointer shows at once.
    std::memset(bits, 0, static_cast<size_t>(desc.bmWidthBytes) * 3);
    EXPECT_EQ(GetPixel(dc, 4, 0), RGB(0, 0, 0));
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bm);
  }
}

TEST(DibSection, RefusesBadFormats) {
  BITMAPINFO info{};
  info.bmiHeader = {40, 4, 4, 1, 7, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = reinterpret_cast<void*>(1);
  EXPECT_EQ(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
  EXPECT_EQ(bits, nullptr);
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biWidth = 0;
  EXPECT_EQ(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
  info.bmiHeader.biWidth = 1 << 20;
  info.bmiHeader.biHeight = 1 << 20;
  EXPECT_EQ(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
}

TEST(GetDIBits, TwentyFourBitRowsBottomUpPaddedToFourBytes) {
  Canvas c(3, 2);
  c.pixels()[0] = 0x010203;  // top-left
  c.pixels()[5] = 0x0A0B0C;  // bottom-right
  BITMAPINFO info{};
  info.bmiHeader = {40, 3, 2, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  std::vector<uint8_t> rows(2 * 12, 0xEE);  // 9 bytes of pixels + 3 of padding per row
  ASSERT_EQ(GetDIBits(c.dc(), c.bitmap(), 0, 2, rows.data(), &info, DIB_RGB_COLORS), 2);
  // First row in memory is the bottom one; bytes are blue, green, red.
  EXPECT_EQ(rows[6], 0x0C);
  EXPECT_EQ(rows[7], 0x0B);
  EXPECT_EQ(rows[8], 0x0A);
  EXPECT_EQ(rows[12], 0x03);
  EXPECT_EQ(rows[14], 0x01);
  // Back again, with the top-left pixel changed through the buffer.
  rows[12] = 0x77;
  ASSERT_EQ(SetDIBits(c.dc(), c.bitmap(), 0, 2, rows.data(), &info, DIB_RGB_COLORS), 2);
  EXPECT_EQ(c.at(0, 0), 0x010277u);
  EXPECT_EQ(c.at(2, 1), 0x0A0B0Cu);
  // No buffer: the header is filled in.
  BITMAPINFO q{};
  q.bmiHeader.biSize = 40;
  EXPECT_EQ(GetDIBits(c.dc(), c.bitmap(), 0, 2, nullptr, &q, DIB_RGB_COLORS), 2);
  EXPECT_EQ(q.bmiHeader.biWidth, 3);
  EXPECT_EQ(q.bmiHeader.biBitCount, 32);
}

TEST(Shapes, RectangleDrawsPenFrameAndBrushInside) {
  Canvas c(6, 5);
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
  HBRUSH brush = CreateSolidBrush(RGB(0, 0, 255));
  SelectObject(c.dc(), pen);
  SelectObject(c.dc(), brush);
  EXPECT_TRUE(Rectangle(c.dc(), 0, 0, 5, 4));
  EXPECT_EQ(c.mask(0xFF0000),
            "#####.\n"
            "#...#.\n"
            "#...#.\n"
            "#####.\n"
            "......\n");
  EXPECT_EQ(c.mask(0x0000FF).substr(7, 7), ".###..\n");
  // The one-pixel frame of a table item: null brush leaves the inside alone.
  SelectObject(c.dc(), GetStockObject(NULL_BRUSH));
  PatBlt(c.dc(), 0, 0, 6, 5, WHITENESS);
  Rectangle(c.dc(), 1, 1, 4, 4);
  EXPECT_EQ(c.mask(0xFFFFFF),
            "######\n"
            "#...##\n"
            "#.#.##\n"
            "#...##\n"
            "######\n");
  // Null pen: the filled area is one pixel smaller.
  SelectObject(c.dc(), GetStockObject(NULL_PEN));
  SelectObject(c.dc(), brush);
  PatBlt(c.dc(), 0, 0, 6, 5, WHITENESS);
  Rectangle(c.dc(), 0, 0, 3, 3);
  EXPECT_EQ(c.mask(0x0000FF).substr(0, 14), "##....\n##....\n");
  SelectObject(c.dc(), GetStockObject(BLACK_PEN));
  SelectObject(c.dc(), GetStockObject(WHITE_BRUSH));
  DeleteObject(pen);
  DeleteObject(brush);
}

TEST(Shapes, PolygonFillsAlternateAndOutlinesWithThePen) {
  Canvas c(9, 9);
  HBRUSH brush = CreateSolidBrush(RGB(0, 255, 0));
  SelectObject(c.dc(), brush);
  SelectObject(c.dc(), GetStockObject(NULL_PEN));
  // A square with a square hole drawn as one self-overlapping outline: alternate fill leaves
  // the hole empty.
  const POINT ring[] = {{0, 0}, {9, 0}, {9, 9}, {0, 9}, {0, 0}, {3, 3}, {3, 6}, {6, 6}, {6, 3}, {3, 3}};
  EXPECT_TRUE(Polygon(c.dc(), ring, 10));
  EXPECT_EQ(c.mask(0x00FF00),
            "#########\n"
            "#########\n"
            "#########\n"
            "###...###\n"
            "###...###\n"
            "###...###\n"
            "#########\n"
            "#########\n"
            "#########\n");
  // A triangle outlined with a red pen: its corner points are drawn.
  PatBlt(c.dc(), 0, 0, 9, 9, BLACKNESS);
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
  SelectObject(c.dc(), pen);
  const POINT tri[] = {{1, 1}, {7, 1}, {1, 7}};
  Polygon(c.dc(), tri, 3);
  EXPECT_EQ(c.at(1, 1), 0xFF0000u);
  EXPECT_EQ(c.at(7, 1), 0xFF0000u);
  EXPECT_EQ(c.at(1, 7), 0xFF0000u);
  EXPECT_EQ(c.at(4, 4), 0xFF0000u);  // on the diagonal
  EXPECT_EQ(c.at(2, 2), 0x00FF00u);  // inside
  EXPECT_EQ(c.at(6, 6), 0u);         // outside
  SelectObject(c.dc(), GetStockObject(BLACK_PEN));
  SelectObject(c.dc(), GetStockObject(WHITE_BRUSH));
  DeleteObject(pen);
  DeleteObject(brush);
}

TEST(Shapes, LineToLeavesOutTheEndPointAndMovesThePosition) {
  Canvas c(5, 3);
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
  SelectObject(c.dc(), pen);
  MoveToEx(c.dc(), 0, 1, nullptr);
  LineTo(c.dc(), 4, 1);
  LineTo(c.dc(), 4, -1);
  POINT at;
  MoveToEx(c.dc(), 0, 0, &at);
  EXPECT_EQ(at.x, 4);
  EXPECT_EQ(at.y, -1);
  EXPECT_EQ(c.mask(0xFFFFFF),
            "....#\n"
            "#####\n"
            ".....\n");
  SelectObject(c.dc(), GetStockObject(BLACK_PEN));
  DeleteObject(pen);
}

TEST(Drawing, GoldenScene) {
  // A small scene of everything the skins use: background, keyed picture stretched, frame,
  // polygon sector, inverted button and a clipped region.
  Canvas c(64, 48, 0x203040);
  Canvas sprite(8, 8, 0xFA00FA);
  for (int y = 2; y < 6; ++y)
    for (int x = 1; x < 7; ++x) sprite.pixels()[y * 8 + x] = 0xF0C000 + static_cast<uint32_t>(x * 16);
  TransparentImage(c.dc(), 4, 4, 24, 16, sprite.dc(), 0, 0, 8, 8, RGB(250, 0, 250));
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 255, 0));
  HBRUSH brush = CreateSolidBrush(RGB(0, 160, 80));
  SelectObject(c.dc(), pen);
  SelectObject(c.dc(), brush);
  const POINT sector[] = {{40, 20}, {52, 14}, {58, 24}, {50, 34}, {44, 26}};
  Polygon(c.dc(), sector, 5);
  SelectObject(c.dc(), GetStockObject(NULL_BRUSH));
  Rectangle(c.dc(), 2, 2, 30, 22);
  PatBlt(c.dc(), 6, 28, 20, 12, DSTINVERT);
  HRGN clip = CreateRectRgn(30, 36, 60, 46);
  HRGN hole = CreateRectRgn(40, 38, 44, 42);
  CombineRgn(clip, clip, hole, RGN_DIFF);
  SelectClipRgn(c.dc(), clip);
  PatBlt(c.dc(), 0, 0, 64, 48, WHITENESS);
  SelectClipRgn(c.dc(), nullptr);
  gdi_test::expectGolden("gdi_scene", c.pixels(), 64, 48);
  SelectObject(c.dc(), GetStockObject(BLACK_PEN));
  SelectObject(c.dc(), GetStockObject(WHITE_BRUSH));
  for (HGDIOBJ o : {static_cast<HGDIOBJ>(pen), brush, clip, hole}) DeleteObject(o);
}

}  // namespace

namespace {

TEST(DibSection, TwentyFourBitSectionInAContextCopiesBothWays) {
  // How the opening effect blends: copy window and frame into 24-bit sections, mix the
  // bytes, copy the result back.
  Canvas frame(5, 3, 0x204060);
  frame.pixels()[0] = 0xFF0000;  // top-left red
  BITMAPINFO info{};
  info.bmiHeader = {40, 5, 3, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(frame.dc(), &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(dib, nullptr);
  HDC dc = CreateCompatibleDC(frame.dc());
  HGDIOBJ old = SelectObject(dc, dib);
  ASSERT_TRUE(BitBlt(dc, 0, 0, 5, 3, frame.dc(), 0, 0, SRCCOPY));
  uint8_t* b = static_cast<uint8_t*>(bits);
  const int stride = 16;  // 15 bytes padded to 16
  // Bottom-up: the top-left pixel is in the last memory row.
  EXPECT_EQ(b[2 * stride + 2], 0xFF);
  EXPECT_EQ(b[2 * stride + 0], 0x00);
  EXPECT_EQ(b[0], 0x60);
  EXPECT_EQ(b[2], 0x20);
  for (int i = 0; i < 3 * stride; ++i) b[i] = static_cast<uint8_t>(b[i] >> 1);
  ASSERT_TRUE(BitBlt(frame.dc(), 0, 0, 5, 3, dc, 0, 0, SRCCOPY));
  EXPECT_EQ(frame.at(0, 0), 0x7F0000u);
  EXPECT_EQ(frame.at(4, 2), 0x102030u);
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(dib);
}

TEST(Fonts, ScriptSizesOfAnyValueAreSafe) {
  Canvas c(40, 40);
  for (int height : {0, 1, -1, 5000, -5000, INT32_MIN, INT32_MAX}) {
    HFONT f = CreateFontW(height, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, u"Arial");
    HGDIOBJ old = SelectObject(c.dc(), f);
    RECT r{0, 0, 40, 40};
    DrawTextW(c.dc(), u"Ag", -1, &r, DT_SINGLELINE);
    TEXTMETRICW tm{};
    GetTextMetricsW(c.dc(), &tm);
    EXPECT_LE(tm.tmHeight, 2000) << height;
    SelectObject(c.dc(), old);
    DeleteObject(f);
  }
}

}  // namespace

namespace {

TEST(StretchDIBits, DrawsAPackedBottomUpPicture) {
  // 2x2, 24 bits, bottom-up: memory row 0 is the bottom row.
  uint8_t rows[2][8] = {{0, 0, 255, 0, 255, 0, 0, 0}, {255, 0, 0, 255, 255, 255, 0, 0}};
  BITMAPINFO info{};
  info.bmiHeader = {40, 2, 2, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  Canvas c(4, 4);
  EXPECT_EQ(StretchDIBits(c.dc(), 0, 0, 4, 4, 0, 0, 2, 2, rows, &info, DIB_RGB_COLORS, SRCCOPY), 2);
  EXPECT_EQ(c.at(0, 0), 0x0000FFu);  // top-left blue
  EXPECT_EQ(c.at(3, 0), 0xFFFFFFu);
  EXPECT_EQ(c.at(0, 3), 0xFF0000u);  // bottom-left red
  EXPECT_EQ(c.at(3, 3), 0x00FF00u);
  // The lower row alone: source y counts from the bottom.
  Canvas d(2, 1);
  EXPECT_EQ(SetDIBitsToDevice(d.dc(), 0, 0, 2, 1, 0, 0, 0, 2, rows, &info, DIB_RGB_COLORS), 2);
  EXPECT_EQ(StretchDIBits(d.dc(), 0, 0, 2, 1, 0, 0, 2, 1, rows, &info, DIB_RGB_COLORS, SRCCOPY), 1);
  EXPECT_EQ(d.at(0, 0), 0xFF0000u);
  EXPECT_EQ(StretchDIBits(d.dc(), 0, 0, 2, 1, 0, 0, 2, 1, nullptr, &info, DIB_RGB_COLORS, SRCCOPY), 0);
}

}  // namespace

namespace {

TEST(Drawing, ExtremeCoordinatesNeitherOverflowNorHang) {
  // Every call with coordinates at the ends of the range: nothing may overflow (the sanitizer
  // build checks) and long lines must not walk billions of pixels.
  Canvas c(16, 16, 0);
  const int big = INT32_MAX, small = INT32_MIN;
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
  SelectObject(c.dc(), pen);
  SelectObject(c.dc(), GetStockObject(BLACK_BRUSH));
  EXPECT_TRUE(PatBlt(c.dc(), big - 5, big - 5, big, big, WHITENESS));
  EXPECT_TRUE(PatBlt(c.dc(), small, small, big, big, BLACKNESS));
  EXPECT_TRUE(BitBlt(c.dc(), big - 1, 0, big, 16, c.dc(), small, 0, SRCCOPY));
  EXPECT_TRUE(StretchBlt(c.dc(), small, small, big, big, c.dc(), big - 2, 0, small, 16, SRCCOPY));
  EXPECT_TRUE(TransparentImage(c.dc(), 0, 0, big, small, c.dc(), 0, 0, 16, 16, 0));
  RECT r{small, small, big, big};
  EXPECT_TRUE(FillRect(c.dc(), &r, GetStockObject(BLACK_BRUSH)));
  EXPECT_TRUE(Rectangle(c.dc(), small, small, big, big));
  const POINT far[] = {{small, 0}, {big, 8}, {0, big}};
  EXPECT_TRUE(Polygon(c.dc(), far, 3));
  MoveToEx(c.dc(), small, small, nullptr);
  EXPECT_TRUE(LineTo(c.dc(), big, big));  // the diagonal through the bitmap
  EXPECT_EQ(c.at(5, 5), 0xFFFFFFu);
  EXPECT_EQ(c.at(6, 5), 0u);
  DrawTextW(c.dc(), u"x", -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  DrawTextW(c.dc(), u"x", -1, &r, DT_CALCRECT);
  ExtTextOutW(c.dc(), big, small, ETO_CLIPPED, &r, u"x", 1, nullptr);
  HRGN rgn = CreateRectRgn(0, 0, 10, 10);
  OffsetRgn(rgn, big, big);
  OffsetRgn(rgn, big, big);
  RECT box;
  GetRgnBox(rgn, &box);
  EXPECT_LE(box.right, 1 << 30);
  SelectObject(c.dc(), GetStockObject(BLACK_PEN));
  SelectObject(c.dc(), GetStockObject(WHITE_BRUSH));
  DeleteObject(pen);
  DeleteObject(rgn);
}

}  // namespace
