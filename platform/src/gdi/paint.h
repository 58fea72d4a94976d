// Pixel primitives shared by the raster, shape and text calls. All of them work on a
// DrawScope whose clip is already cut to the operation: they never test pixels one by one.
#pragma once

#include <algorithm>

#include "gdi/device_context.h"

namespace plat::gdi {

// Calls f(left, top, right, bottom) for every rectangle of the region.
template <class F>
void forEachRect(const Region& region, F&& f) {
  for (const Band& b : region.bands())
    for (size_t i = 0; i < b.xs.size(); i += 2) f(b.xs[i], b.top, b.xs[i + 1], b.bottom);
}

// Fills the clipped part of rectangle r.
void fillRect(const DrawScope& scope, const RECT& r, uint32_t pixel);
// Fills one row from x0 to x1 (exclusive), cut to the clip.
void fillSpan(const DrawScope& scope, int y, int x0, int x1, uint32_t pixel);
// Applies f(uint32_t* pixel) over the clipped part of r, row by row.
template <class F>
void applyRect(const DrawScope& scope, const RECT& r, F&& f) {
  const PixelView& v = scope.view();
  forEachRect(scope.clip(), [&](int l, int t, int rr, int b) {
    l = std::max<int>(l, r.left);
    t = std::max<int>(t, r.top);
    rr = std::min<int>(rr, r.right);
    b = std::min<int>(b, r.bottom);
    for (int y = t; y < b; ++y) {
      uint32_t* p = v.at(l, y);
      for (int x = l; x < rr; ++x) f(p++);
    }
  });
}

// Copies n pixels, the same speed wherever the two rows lie (no overlap).
void copyPixels(uint32_t* d, const uint32_t* s, size_t n);
// Draws n pixels of straight alpha (alpha in the top byte) over n surface pixels.
void blendPixels(uint32_t* d, const uint32_t* s, size_t n);
// Draws a picture of straight-alpha pixels (width x height, rows packed) into `target` (device
// coordinates) of the scope: each target pixel is the average of the source pixels it covers
// (one when enlarging), blended over what is there. No scaled copy of the picture is made.
void drawPicture(const DrawScope& scope, const RECT& target, const uint32_t* pixels, int width, int height);

inline RECT intersect(const RECT& a, const RECT& b) {
  return RECT{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}
inline bool isEmpty(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }

}  // namespace plat::gdi
