#include <gtest/gtest.h>

#include "gdi/gdi_bridge.h"
#include "gdi_test_util.h"

using gdi_test::Canvas;

namespace {

TEST(GdiObjects, SelectObjectReturnsThePreviousObjectOfItsKind) {
  Canvas c(4, 4);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
  HPEN pen = CreatePen(PS_SOLID, 1, 0);
  HGDIOBJ firstBrush = SelectObject(c.dc(), red);
  EXPECT_EQ(firstBrush, GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(SelectObject(c.dc(), pen), GetStockObject(BLACK_PEN));
  EXPECT_EQ(SelectObject(c.dc(), blue), red);
  EXPECT_EQ(SelectObject(c.dc(), firstBrush), blue);
  EXPECT_EQ(SelectObject(c.dc(), GetStockObject(BLACK_PEN)), pen);
  EXPECT_EQ(SelectObject(c.dc(), reinterpret_cast<HGDIOBJ>(uintptr_t(0x99))), nullptr);
  for (HGDIOBJ o : {red, blue, pen}) EXPECT_TRUE(DeleteObject(o));
}

TEST(GdiObjects, StockObjectsSurviveDeleteObject) {
  const int stock[] = {WHITE_BRUSH, BLACK_BRUSH, NULL_BRUSH, NULL_PEN, BLACK_PEN, SYSTEM_FONT};
  for (int s : stock) {
    HGDIOBJ o = GetStockObject(s);
    ASSERT_NE(o, nullptr) << s;
    EXPECT_TRUE(DeleteObject(o));
    EXPECT_EQ(GetStockObject(s), o);
    EXPECT_NE(GetObjectType(o), 0u);
  }
  EXPECT_EQ(GetStockObject(99), nullptr);
}

TEST(GdiObjects, ADeletedObjectStillSelectedKeepsDrawing) {
  Canvas c(4, 4);
  HBITMAP bm = CreateCompatibleBitmap(c.dc(), 4, 4);
  HDC mem = CreateCompatibleDC(c.dc());
  HGDIOBJ old = SelectObject(mem, bm);
  HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
  SelectObject(mem, green);
  EXPECT_TRUE(DeleteObject(green));
  EXPECT_TRUE(PatBlt(mem, 0, 0, 4, 4, PATCOPY));
  EXPECT_EQ(GetPixel(mem, 3, 3), RGB(0, 255, 0));
  SelectObject(mem, old);
  DeleteDC(mem);
  DeleteObject(bm);
}

TEST(DeviceContext, FillRectCoversLeftTopExcludesRightBottom) {
  Canvas c(6, 5);
  HBRUSH b = CreateSolidBrush(RGB(0x12, 0x34, 0x56));
  RECT r{1, 1, 4, 3};
  EXPECT_TRUE(FillRect(c.dc(), &r, b));
  EXPECT_EQ(c.mask(0x123456),
            "......\n"
            ".###..\n"
            ".###..\n"
            "......\n"
            "......\n");
  // Coordinates far outside the bitmap are cut, not written.
  RECT huge{-100000, -5, 100000, 1};
  EXPECT_TRUE(FillRect(c.dc(), &huge, b));
  EXPECT_EQ(c.mask(0x123456).substr(0, 7), "######\n");
  EXPECT_FALSE(FillRect(c.dc(), &r, nullptr));
  DeleteObject(b);
}

TEST(DeviceContext, MemoryContextWithoutBitmapDrawsNothing) {
  HDC mem = CreateCompatibleDC(nullptr);
  RECT r{0, 0, 10, 10};
  EXPECT_TRUE(FillRect(mem, &r, GetStockObject(BLACK_BRUSH)));
  EXPECT_EQ(GetPixel(mem, 0, 0), CLR_INVALID);
  DeleteDC(mem);
}

TEST(DeviceContext, SelectClipRgnLimitsEveryOperation) {
  Canvas c(6, 4);
  HRGN clip = CreateRectRgn(1, 0, 3, 4);
  HRGN more = CreateRectRgn(4, 1, 5, 2);
  CombineRgn(clip, clip, more, RGN_OR);
  EXPECT_EQ(SelectClipRgn(c.dc(), clip), COMPLEXREGION);
  DeleteObject(clip);  // the context keeps its own copy
  DeleteObject(more);
  PatBlt(c.dc(), 0, 0, 6, 4, WHITENESS);
  EXPECT_EQ(c.mask(0xFFFFFF),
            ".##...\n"
            ".##.#.\n"
            ".##...\n"
            ".##...\n");
  RECT box;
  EXPECT_EQ(GetClipBox(c.dc(), &box), COMPLEXREGION);
  EXPECT_EQ(box.left, 1);
  EXPECT_EQ(box.right, 5);
  EXPECT_EQ(SelectClipRgn(c.dc(), nullptr), SIMPLEREGION);
  PatBlt(c.dc(), 0, 0, 1, 1, WHITENESS);
  EXPECT_EQ(c.at(0, 0), 0xFFFFFFu);
}

TEST(DeviceContext, SaveAndRestoreBringBackObjectsColoursAndClip) {
  Canvas c(4, 4);
  SetTextColor(c.dc(), RGB(1, 2, 3));
  const int saved = SaveDC(c.dc());
  EXPECT_EQ(saved, 1);
  HBRUSH b = CreateSolidBrush(RGB(9, 9, 9));
  SelectObject(c.dc(), b);
  SetTextColor(c.dc(), RGB(4, 5, 6));
  IntersectClipRect(c.dc(), 0, 0, 1, 1);
  EXPECT_TRUE(RestoreDC(c.dc(), -1));
  EXPECT_EQ(GetTextColor(c.dc()), RGB(1, 2, 3));
  EXPECT_EQ(GetCurrentObject(c.dc(), OBJ_BRUSH), GetStockObject(WHITE_BRUSH));
  PatBlt(c.dc(), 0, 0, 4, 4, WHITENESS);
  EXPECT_EQ(c.at(3, 3), 0xFFFFFFu);
  EXPECT_FALSE(RestoreDC(c.dc(), 1));  // nothing saved any more
  DeleteObject(b);
}

TEST(SurfaceDC, DrawsAtItsOriginClippedToTheVisibleRegion) {
  std::vector<uint32_t> px(8 * 6, 0);
  plat::gdi::Surface s{px.data(), 8, 6, 8};
  // A window at (2,1) whose visible part lacks the column x = 4 (a window above it).
  HRGN vis = CreateRectRgn(2, 1, 7, 5);
  HRGN above = CreateRectRgn(4, 0, 5, 6);
  CombineRgn(vis, vis, above, RGN_DIFF);
  HDC dc = plat::gdi::createSurfaceDC(s, POINT{2, 1}, vis);
  DeleteObject(vis);
  DeleteObject(above);
  RECT r{-5, -5, 100, 100};
  FillRect(dc, &r, GetStockObject(WHITE_BRUSH));
  auto mask = [&] {
    std::string m;
    for (int y = 0; y < 6; ++y) {
      for (int x = 0; x < 8; ++x) m += px[y * 8 + x] ? '#' : '.';
      m += '\n';
    }
    return m;
  };
  EXPECT_EQ(mask(),
            "........\n"
            "..##.##.\n"
            "..##.##.\n"
            "..##.##.\n"
            "..##.##.\n"
            "........\n");
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 255, 255));  // logical (0,0) is surface (2,1)
  EXPECT_EQ(GetPixel(dc, 2, 0), CLR_INVALID);         // hidden by the window above
  // Moved to the top-left corner and shown whole: drawing follows.
  std::fill(px.begin(), px.end(), 0);
  plat::gdi::setSurfaceDCVisible(dc, POINT{0, 0}, nullptr);
  RECT one{0, 0, 1, 1};
  FillRect(dc, &one, GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(px[0], 0xFFFFFFu);
  EXPECT_EQ(px[9], 0u);
  plat::gdi::deleteSurfaceDC(dc);
  EXPECT_EQ(GetPixel(dc, 0, 0), CLR_INVALID);
}

TEST(SurfaceDC, CopiesBetweenWindowAndMemory) {
  std::vector<uint32_t> px(8 * 4, 0x00AABBCC);
  plat::gdi::Surface s{px.data(), 8, 4, 8};
  HDC win = plat::gdi::createSurfaceDC(s, POINT{4, 0}, nullptr);
  Canvas c(4, 4);
  EXPECT_TRUE(BitBlt(c.dc(), 0, 0, 4, 4, win, 0, 0, SRCCOPY));
  EXPECT_EQ(c.at(0, 0), 0xAABBCCu);
  c.pixels()[0] = 0x112233;
  EXPECT_TRUE(BitBlt(win, 0, 0, 4, 4, c.dc(), 0, 0, SRCCOPY));
  EXPECT_EQ(px[4], 0x112233u);
  EXPECT_EQ(px[0], 0xAABBCCu);
  plat::gdi::deleteSurfaceDC(win);
}

}  // namespace
