#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "gdi/gdi_bridge.h"
#include "windows.h"

namespace {

// A region and a plain boolean picture of it; every operation is applied to both.
struct Model {
  static constexpr int W = 56, H = 43;  // holds every rectangle the test makes
  std::vector<char> in = std::vector<char>(W * H, 0);
  void rect(int l, int t, int r, int b, int mode) {
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const bool inside = x >= l && x < r && y >= t && y < b;
        bool v = in[y * W + x];
        switch (mode) {
          case RGN_AND: v = v && inside; break;
          case RGN_OR: v = v || inside; break;
          case RGN_XOR: v = v != inside; break;
          case RGN_DIFF: v = v && !inside; break;
        }
        in[y * W + x] = v;
      }
  }
};

void expectSame(HRGN rgn, const Model& m) {
  for (int y = -2; y < Model::H + 2; ++y)
    for (int x = -2; x < Model::W + 2; ++x) {
      const bool want = x >= 0 && y >= 0 && x < Model::W && y < Model::H && m.in[y * Model::W + x];
      ASSERT_EQ(PtInRegion(rgn, x, y) != 0, want) << "at " << x << "," << y;
    }
}

TEST(Region, RandomCombinationsMatchAPixelModel) {
  std::mt19937 rng(7);
  const int modes[] = {RGN_AND, RGN_OR, RGN_XOR, RGN_DIFF};
  for (int round = 0; round < 40; ++round) {
    Model m;
    m.rect(2, 2, 30, 25, RGN_OR);
    HRGN rgn = CreateRectRgn(2, 2, 30, 25);
    for (int step = 0; step < 60; ++step) {
      const int l = rng() % 40, t = rng() % 30;
      // Mostly one-row rectangles, which take the in-place path once rows are bands.
      const int r = l + 1 + rng() % 15, b = t + 1 + (step % 3 ? 0 : static_cast<int>(rng() % 12));
      const int mode = modes[rng() % 4];
      HRGN other = CreateRectRgn(l, t, r, b);
      // Alternate in-place and into a third region to cover both paths.
      if (step % 2) {
        CombineRgn(rgn, rgn, other, mode);
      } else {
        HRGN out = CreateRectRgn(0, 0, 0, 0);
        CombineRgn(out, rgn, other, mode);
        CombineRgn(rgn, out, nullptr, RGN_COPY);
        DeleteObject(out);
      }
      m.rect(l, t, r, b, mode);
      DeleteObject(other);
    }
    expectSame(rgn, m);
    // The banded form is canonical: rebuilding the region from its own rectangles, in any
    // order, gives an equal region.
    std::vector<RECT> rects = plat::gdi::regionRects(rgn);
    std::shuffle(rects.begin(), rects.end(), rng);
    HRGN rebuilt = CreateRectRgn(0, 0, 0, 0);
    for (const RECT& r : rects) {
      HRGN piece = CreateRectRgnIndirect(&r);
      CombineRgn(rebuilt, rebuilt, piece, RGN_OR);
      DeleteObject(piece);
    }
    EXPECT_TRUE(EqualRgn(rgn, rebuilt));
    DeleteObject(rebuilt);
    DeleteObject(rgn);
  }
}

TEST(Region, TypesAndBoxes) {
  HRGN a = CreateRectRgn(0, 0, 10, 10);
  HRGN b = CreateRectRgn(20, 0, 30, 10);
  HRGN c = CreateRectRgn(0, 0, 0, 0);
  RECT box;
  EXPECT_EQ(GetRgnBox(a, &box), SIMPLEREGION);
  EXPECT_EQ(CombineRgn(c, a, b, RGN_OR), COMPLEXREGION);
  EXPECT_EQ(GetRgnBox(c, &box), COMPLEXREGION);
  EXPECT_EQ(box.left, 0);
  EXPECT_EQ(box.right, 30);
  EXPECT_EQ(CombineRgn(c, a, b, RGN_AND), NULLREGION);
  EXPECT_EQ(GetRgnBox(c, &box), NULLREGION);
  EXPECT_EQ(box.right, 0);
  EXPECT_EQ(CombineRgn(c, a, a, RGN_DIFF), NULLREGION);
  EXPECT_EQ(OffsetRgn(a, 5, -5), SIMPLEREGION);
  GetRgnBox(a, &box);
  EXPECT_EQ(box.left, 5);
  EXPECT_EQ(box.top, -5);
  EXPECT_TRUE(SetRectRgn(a, 10, 10, 0, 0));  // corners in either order
  GetRgnBox(a, &box);
  EXPECT_EQ(box.left, 0);
  EXPECT_EQ(box.bottom, 10);
  EXPECT_FALSE(PtInRegion(a, 10, 5));  // right edge excluded
  EXPECT_TRUE(PtInRegion(a, 9, 9));
  EXPECT_EQ(CombineRgn(c, a, nullptr, RGN_OR), ERROR);
  for (HRGN r : {a, b, c}) DeleteObject(r);
}

TEST(Region, CuttingMaskPixelsOneAtATime) {
  // A fully black 16x8 mask leaves nothing; a checkerboard leaves exactly the white squares.
  HRGN all = CreateRectRgn(0, 0, 16, 8);
  HRGN check = CreateRectRgn(0, 0, 16, 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) {
      HRGN px = CreateRectRgn(x, y, x + 1, y + 1);
      CombineRgn(all, all, px, RGN_DIFF);
      if ((x + y) % 2) CombineRgn(check, check, px, RGN_DIFF);
      DeleteObject(px);
    }
  RECT box;
  EXPECT_EQ(GetRgnBox(all, &box), NULLREGION);
  EXPECT_TRUE(plat::gdi::regionRects(all).empty());
  EXPECT_EQ(plat::gdi::regionRects(check).size(), 64u);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) EXPECT_EQ(PtInRegion(check, x, y) != 0, (x + y) % 2 == 0);
  DeleteObject(all);
  DeleteObject(check);
}

TEST(Region, RectsComeInBandsTopToBottomLeftToRight) {
  HRGN r = CreateRectRgn(0, 0, 10, 10);
  HRGN hole = CreateRectRgn(3, 3, 6, 6);
  CombineRgn(r, r, hole, RGN_DIFF);
  const std::vector<RECT> got = plat::gdi::regionRects(r);
  const std::vector<RECT> want = {{0, 0, 10, 3}, {0, 3, 3, 6}, {6, 3, 10, 6}, {0, 6, 10, 10}};
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(got[i].left, want[i].left);
    EXPECT_EQ(got[i].top, want[i].top);
    EXPECT_EQ(got[i].right, want[i].right);
    EXPECT_EQ(got[i].bottom, want[i].bottom);
  }
  DeleteObject(r);
  DeleteObject(hole);
}

TEST(Region, BadHandlesFailWithoutCrashing) {
  HRGN bogus = reinterpret_cast<HRGN>(uintptr_t(0x1234));
  RECT box;
  EXPECT_EQ(CombineRgn(bogus, bogus, bogus, RGN_OR), ERROR);
  EXPECT_EQ(GetRgnBox(bogus, &box), ERROR);
  EXPECT_FALSE(PtInRegion(bogus, 0, 0));
  EXPECT_EQ(OffsetRgn(nullptr, 1, 1), ERROR);
  HBRUSH brush = CreateSolidBrush(0);
  EXPECT_EQ(OffsetRgn(brush, 1, 1), ERROR);  // not a region
  EXPECT_TRUE(DeleteObject(brush));
  EXPECT_FALSE(DeleteObject(brush));  // already gone
}

}  // namespace
