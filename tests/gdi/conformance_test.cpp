// Return values and edge behaviour callers written for the device rely on.
#include <cstring>

#include "gdi_test_util.h"

using gdi_test::Canvas;

namespace {

BITMAP objectOf(HGDIOBJ h) {
  BITMAP bm;
  std::memset(&bm, 0xCD, sizeof bm);
  EXPECT_EQ(static_cast<int>(sizeof(BITMAP)), GetObjectW(h, sizeof bm, &bm));
  return bm;
}

}  // namespace

TEST(GetObjectW, BitmapFieldsOfEachKind) {
  // Device-dependent rows are padded to 2 bytes, DIB section rows to 4.
  HBITMAP mono = CreateBitmap(17, 3, 1, 1, nullptr);
  BITMAP bm = objectOf(mono);
  EXPECT_EQ(0, bm.bmType);
  EXPECT_EQ(17, bm.bmWidth);
  EXPECT_EQ(3, bm.bmHeight);
  EXPECT_EQ(4, bm.bmWidthBytes);
  EXPECT_EQ(1, bm.bmPlanes);
  EXPECT_EQ(1, bm.bmBitsPixel);
  EXPECT_EQ(nullptr, bm.bmBits);
  DeleteObject(mono);
  mono = CreateBitmap(16, 1, 1, 1, nullptr);
  EXPECT_EQ(2, objectOf(mono).bmWidthBytes);
  DeleteObject(mono);

  HBITMAP compat = CreateCompatibleBitmap(nullptr, 5, 7);
  bm = objectOf(compat);
  EXPECT_EQ(5, bm.bmWidth);
  EXPECT_EQ(7, bm.bmHeight);
  EXPECT_EQ(20, bm.bmWidthBytes);
  EXPECT_EQ(32, bm.bmBitsPixel);
  EXPECT_EQ(nullptr, bm.bmBits);
  DeleteObject(compat);

  for (int height : {5, -5}) {
    BITMAPINFO info{};
    info.bmiHeader = {40, 3, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(nullptr, dib);
    bm = objectOf(dib);
    EXPECT_EQ(3, bm.bmWidth);
    EXPECT_EQ(5, bm.bmHeight);  // positive for either row order
    EXPECT_EQ(12, bm.bmWidthBytes);
    EXPECT_EQ(24, bm.bmBitsPixel);
    EXPECT_EQ(bits, bm.bmBits);
    DeleteObject(dib);
  }

  // A fresh memory context holds a 1x1 monochrome bitmap.
  HDC dc = CreateCompatibleDC(nullptr);
  EXPECT_EQ(static_cast<DWORD>(OBJ_BITMAP), GetObjectType(GetCurrentObject(dc, OBJ_BITMAP)));
  bm = objectOf(GetCurrentObject(dc, OBJ_BITMAP));
  EXPECT_EQ(1, bm.bmWidth);
  EXPECT_EQ(1, bm.bmHeight);
  EXPECT_EQ(1, bm.bmBitsPixel);
  EXPECT_EQ(2, bm.bmWidthBytes);
  DeleteDC(dc);

  // An empty compatible bitmap is one monochrome pixel; a negative size is refused.
  HBITMAP empty = CreateCompatibleBitmap(nullptr, 0, 0);
  ASSERT_NE(nullptr, empty);
  bm = objectOf(empty);
  EXPECT_EQ(1, bm.bmWidth);
  EXPECT_EQ(1, bm.bmHeight);
  EXPECT_EQ(1, bm.bmBitsPixel);
  DeleteObject(empty);
  EXPECT_EQ(nullptr, CreateCompatibleBitmap(nullptr, -1, 5));

  // Size queries and short buffers.
  HBITMAP b = CreateCompatibleBitmap(nullptr, 2, 2);
  EXPECT_EQ(static_cast<int>(sizeof(BITMAP)), GetObjectW(b, 0, nullptr));
  BITMAP small{};
  EXPECT_EQ(0, GetObjectW(b, sizeof(BITMAP) - 1, &small));
  DeleteObject(b);
}

TEST(Region, StackedRectanglesOfOneWidthMakeASimpleRegion) {
  HRGN a = CreateRectRgn(0, 0, 10, 5);
  HRGN b = CreateRectRgn(0, 5, 10, 9);
  HRGN d = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(SIMPLEREGION, CombineRgn(d, a, b, RGN_OR));
  RECT box;
  EXPECT_EQ(SIMPLEREGION, GetRgnBox(d, &box));
  EXPECT_EQ(0, box.left);
  EXPECT_EQ(0, box.top);
  EXPECT_EQ(10, box.right);
  EXPECT_EQ(9, box.bottom);
  HRGN dot = CreateRectRgn(3, 3, 4, 4);
  EXPECT_EQ(COMPLEXREGION, CombineRgn(d, d, dot, RGN_DIFF));
  DeleteObject(dot);
  EXPECT_EQ(NULLREGION, CombineRgn(d, a, a, RGN_DIFF));
  EXPECT_EQ(NULLREGION, GetRgnBox(d, &box));
  EXPECT_EQ(0, box.left);
  EXPECT_EQ(0, box.right);
  EXPECT_EQ(NULLREGION, CombineRgn(d, a, b, RGN_AND));
  EXPECT_EQ(SIMPLEREGION, CombineRgn(d, a, b, RGN_XOR));
  DeleteObject(a);
  DeleteObject(b);
  DeleteObject(d);
}

TEST(BitBlt, NegativeSizesCopyTheRectangleBeforeThePoint) {
  Canvas src(4, 1), dst(4, 1);
  for (int x = 0; x < 4; ++x) src.pixels()[x] = 0x10 * (x + 1);
  // Both rectangles are normalised the same way: no mirroring.
  EXPECT_TRUE(BitBlt(dst.dc(), 3, 0, -2, 1, src.dc(), 3, 0, SRCCOPY));
  EXPECT_EQ(0u, dst.at(0, 0));
  EXPECT_EQ(0x20u, dst.at(1, 0));
  EXPECT_EQ(0x30u, dst.at(2, 0));
  EXPECT_EQ(0u, dst.at(3, 0));
}

TEST(TransparentImage, KeyIsAColorrefAndHoldsWhenStretchedFromATwentyFourBitPicture) {
  // A bottom-up 24-bit picture, as bitmaps loaded from files are: row 0 in memory is the bottom.
  BITMAPINFO info{};
  info.bmiHeader = {40, 2, 2, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP pic = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(nullptr, pic);
  auto* b = static_cast<uint8_t*>(bits);
  const uint8_t bottom[8] = {0x30, 0x20, 0x10, 0xFA, 0x00, 0xFA, 0, 0};  // (0x102030), key
  const uint8_t top[8] = {0xFA, 0x00, 0xFA, 0x03, 0x02, 0x01, 0, 0};     // key, (0x010203)
  std::memcpy(b, bottom, 8);
  std::memcpy(b + 8, top, 8);
  Canvas dst(4, 4, 0x777777);
  EXPECT_TRUE(TransparentImage(dst.dc(), 0, 0, 4, 4, pic, 0, 0, 2, 2, RGB(0xFA, 0x00, 0xFA)));
  EXPECT_EQ(dst.at(0, 0), 0x777777u);
  EXPECT_EQ(dst.at(3, 1), 0x010203u);
  EXPECT_EQ(dst.at(1, 3), 0x102030u);
  EXPECT_EQ(dst.at(2, 2), 0x777777u);
  // The key is compared as red, green, blue: an asymmetric key tells the byte order.
  Canvas again(2, 2, 0x777777);
  EXPECT_TRUE(TransparentImage(again.dc(), 0, 0, 2, 2, pic, 0, 0, 2, 2, RGB(0x01, 0x02, 0x03)));
  EXPECT_EQ(again.at(1, 0), 0x777777u);
  EXPECT_EQ(again.at(0, 1), 0x102030u);
  EXPECT_EQ(again.at(1, 1), 0xFA00FAu);
  DeleteObject(pic);
}
