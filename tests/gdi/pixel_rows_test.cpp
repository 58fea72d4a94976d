// The row kernels behind BitBlt and picture drawing: our own copy loop, the single copy of
// contiguous rows, and scaled straight-alpha drawing done in one pass. Each is held to a plain
// pixel-by-pixel reading of the same rule over sizes that exercise every vector tail.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "gdi/paint.h"
#include "gdi_test_util.h"
#include "plat_image.h"

namespace {

using gdi_test::Canvas;

uint32_t pattern(int x, int y) { return ((uint32_t(x) * 73856093u) ^ (uint32_t(y) * 19349663u)) & 0xFFFFFF; }

TEST(PixelRows, CopyPixelsCopiesEveryLengthAndNothingMore) {
  std::vector<uint32_t> src(80), dst(80);
  for (size_t n = 0; n <= 70; ++n) {
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint32_t>(i * 2654435761u);
    std::fill(dst.begin(), dst.end(), 0xDEADBEEFu);
    plat::gdi::copyPixels(dst.data() + 3, src.data() + 5, n);
    for (size_t i = 0; i < dst.size(); ++i) {
      const bool inside = i >= 3 && i < 3 + n;
      ASSERT_EQ(dst[i], inside ? src[i + 2] : 0xDEADBEEFu) << "n " << n << " at " << i;
    }
  }
}

// Whole surfaces (one block), parts of rows at every small width and offset, and a clip with a
// hole, against the source read pixel by pixel.
TEST(PixelRows, BitBltSrcCopyMatchesThePixelRule) {
  const int W = 61, H = 23;
  Canvas src(W, H), whole(W, H, 0x123456);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) src.pixels()[y * W + x] = pattern(x, y);
  ASSERT_TRUE(BitBlt(whole.dc(), 0, 0, W, H, src.dc(), 0, 0, SRCCOPY));
  EXPECT_EQ(std::memcmp(whole.pixels(), src.pixels(), size_t{W} * H * 4), 0);

  for (int width = 1; width <= 37; ++width) {
    for (int x0 : {0, 1, 3, 7}) {
      Canvas dst(W, H, 0x010203);
      ASSERT_TRUE(BitBlt(dst.dc(), x0 + 2, 4, width, 9, src.dc(), x0, 1, SRCCOPY));
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
          const bool inside = x >= x0 + 2 && x < x0 + 2 + width && y >= 4 && y < 13;
          ASSERT_EQ(dst.at(x, y), inside ? pattern(x - 2, y - 3) : 0x010203u) << width << " " << x0 << " " << x << "," << y;
        }
    }
  }

  // Full rows, but a clip with a hole: not one block any more.
  Canvas holed(W, H, 0x0F0F0F);
  HRGN clip = CreateRectRgn(0, 0, W, H);
  HRGN hole = CreateRectRgn(10, 5, 20, 9);
  CombineRgn(clip, clip, hole, RGN_DIFF);
  SelectClipRgn(holed.dc(), clip);
  ASSERT_TRUE(BitBlt(holed.dc(), 0, 0, W, H, src.dc(), 0, 0, SRCCOPY));
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const bool inHole = x >= 10 && x < 20 && y >= 5 && y < 9;
      ASSERT_EQ(holed.at(x, y), inHole ? 0x0F0F0Fu : pattern(x, y)) << x << "," << y;
    }
  DeleteObject(clip);
  DeleteObject(hole);

  // Full rows shifted down: the block starts at the destination's row 3, the source's row 0.
  Canvas shifted(W, H, 0);
  ASSERT_TRUE(BitBlt(shifted.dc(), 0, 3, W, H, src.dc(), 0, 0, SRCCOPY));
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) ASSERT_EQ(shifted.at(x, y), y < 3 ? 0u : pattern(x, y - 3)) << x << "," << y;
}

// A 32-bit BMP with straight alpha, top-down, as the imaging service reads it.
std::unique_ptr<plat::image::Image> picture(int w, int h, std::mt19937& rng) {
  std::vector<uint8_t> file(54 + size_t(w) * h * 4);
  auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&file[at], &v, 4); };
  file[0] = 'B', file[1] = 'M';
  put32(2, static_cast<uint32_t>(file.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(w));
  put32(22, static_cast<uint32_t>(-h));
  file[26] = 1;
  file[28] = 32;
  const uint32_t alphas[] = {0, 255, 255, 128, 1, 254, 77};
  for (int i = 0; i < w * h; ++i) put32(54 + size_t(i) * 4, (alphas[rng() % 7] << 24) | (rng() & 0xFFFFFF));
  return plat::image::Image::fromMemory(file.data(), file.size());
}

// The rule written out: the area-averaged picture of the target size, then each pixel blended.
uint32_t blendRule(uint32_t s, uint32_t q) {
  const uint32_t k = s >> 24;
  if (k == 0) return q;
  if (k == 255) return s & 0xFFFFFF;
  auto ch = [&](int shift) { return ((((s >> shift) & 255) * k + ((q >> shift) & 255) * (255 - k) + 127) / 255) << shift; };
  return ch(16) | ch(8) | ch(0);
}

TEST(PixelRows, ScaledPictureDrawingMatchesTheAreaAverageBlendedPixelByPixel) {
  std::mt19937 rng(18);
  struct Case {
    int pw, ph;     // picture
    RECT target;    // logical, on a 40x30 canvas
  };
  const Case cases[] = {
      {16, 10, {3, 2, 19, 12}},    // same size
      {34, 22, {1, 1, 18, 12}},    // exact halving, odd target width (vector tail)
      {32, 20, {-5, -3, 11, 7}},   // halving, partly off the canvas
      {64, 40, {4, 5, 36, 25}},    // halving, a multiple of four wide
      {30, 21, {2, 2, 12, 9}},     // a third
      {37, 23, {0, 0, 15, 11}},    // uneven ratio
      {5, 4, {1, 1, 24, 18}},      // enlarged
      {7, 9, {10, 2, 17, 27}},     // narrower and taller
  };
  for (const Case& c : cases) {
    auto img = picture(c.pw, c.ph, rng);
    ASSERT_TRUE(img);
    const int tw = c.target.right - c.target.left, th = c.target.bottom - c.target.top;
    auto scaled = img->thumbnail(tw, th);
    ASSERT_TRUE(scaled);
    Canvas canvas(40, 30);
    for (int i = 0; i < 40 * 30; ++i) canvas.pixels()[i] = (rng() & 0xFFFFFF) | (i % 3 ? 0 : 0xAB000000u);
    std::vector<uint32_t> before(canvas.pixels(), canvas.pixels() + 40 * 30);
    ASSERT_TRUE(img->draw(canvas.dc(), c.target));
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x) {
        const uint32_t was = before[size_t(y) * 40 + x];
        uint32_t expected = was;
        if (x >= c.target.left && x < c.target.right && y >= c.target.top && y < c.target.bottom)
          expected = blendRule(scaled->pixels()[size_t(y - c.target.top) * tw + (x - c.target.left)], was);
        // The whole pixel: a transparent source leaves even the top byte as it was.
        ASSERT_EQ(canvas.pixels()[size_t(y) * 40 + x], expected)
            << c.pw << "x" << c.ph << " into " << tw << "x" << th << " at " << x << "," << y;
      }
  }
}

// Drawing through a clip: only the visible part changes, and it changes as an unclipped draw does.
TEST(PixelRows, ScaledPictureDrawingHonoursTheClip) {
  std::mt19937 rng(7);
  auto img = picture(48, 32, rng);
  ASSERT_TRUE(img);
  Canvas full(30, 20, 0x336699), clipped(30, 20, 0x336699);
  const RECT target{2, 2, 26, 18};
  ASSERT_TRUE(img->draw(full.dc(), target));
  HRGN clip = CreateRectRgn(5, 4, 13, 15);
  HRGN more = CreateRectRgn(17, 0, 30, 9);
  CombineRgn(clip, clip, more, RGN_OR);
  SelectClipRgn(clipped.dc(), clip);
  ASSERT_TRUE(img->draw(clipped.dc(), target));
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x) {
      const bool visible = (x >= 5 && x < 13 && y >= 4 && y < 15) || (x >= 17 && y < 9);
      ASSERT_EQ(clipped.at(x, y), visible ? full.at(x, y) : 0x336699u) << x << "," << y;
    }
  DeleteObject(clip);
  DeleteObject(more);
}

}  // namespace
