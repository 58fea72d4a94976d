// Row kernels of the raster calls: copying rows and drawing pictures with straight alpha, scaled
// by area averaging. They are written out with SSE2 here rather than left to the C library or
// the compiler: the library's copy of a row of a few kilobytes takes the processor's string-copy
// instruction, whose speed depends on how far apart the two buffers lie, and a generic loop
// would be turned back into that same library call. See platform/docs/gdi.md for the figures.
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstring>
#include <vector>

#include "gdi/paint.h"

namespace plat::gdi {

void copyPixels(uint32_t* d, const uint32_t* s, size_t n) {
  size_t i = 0;
#if defined(__SSE2__)
  for (; i + 16 <= n; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 4));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 8));
    const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 12));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), a);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 4), b);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 8), c);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 12), e);
  }
  for (; i + 4 <= n; i += 4)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i)));
#endif
  for (; i < n; ++i) d[i] = s[i];
}

namespace {

inline uint32_t blend1(uint32_t s, uint32_t q) {
  const uint32_t k = s >> 24;
  if (k == 255) return s & 0xFFFFFF;
  if (k == 0) return q;
  const uint32_t ik = 255 - k;
  const uint32_t rr = (((s >> 16) & 255) * k + ((q >> 16) & 255) * ik + 127) / 255;
  const uint32_t gg = (((s >> 8) & 255) * k + ((q >> 8) & 255) * ik + 127) / 255;
  const uint32_t bb = ((s & 255) * k + (q & 255) * ik + 127) / 255;
  return (rr << 16) | (gg << 8) | bb;
}

#if defined(__SSE2__)
// (v + 127) / 255 for v up to 255 * 255, in each 16-bit lane: exact over that whole range.
inline __m128i div255(__m128i v) {
  v = _mm_add_epi16(v, _mm_set1_epi16(127));
  return _mm_srli_epi16(_mm_mulhi_epu16(v, _mm_set1_epi16(static_cast<short>(0x8081))), 7);
}

// Two pixels (16-bit channels, alpha in lane 3 of each) over two destination pixels.
inline __m128i blend2(__m128i s, __m128i d) {
  const __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(s, 0xFF), 0xFF);
  const __m128i ia = _mm_sub_epi16(_mm_set1_epi16(255), a);
  return div255(_mm_add_epi16(_mm_mullo_epi16(s, a), _mm_mullo_epi16(d, ia)));
}

// Four blended pixels from four source pixels (straight alpha in the top byte) and four
// destination pixels. Opaque source pixels replace (top byte cleared), fully transparent ones
// leave the destination as it was, top byte included.
inline __m128i blend4(__m128i s, __m128i d) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i lo = blend2(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(d, zero));
  const __m128i hi = blend2(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(d, zero));
  const __m128i mixed = _mm_and_si128(_mm_packus_epi16(lo, hi), _mm_set1_epi32(0xFFFFFF));
  const __m128i clear = _mm_cmpeq_epi32(_mm_srli_epi32(s, 24), zero);
  return _mm_or_si128(_mm_and_si128(clear, d), _mm_andnot_si128(clear, mixed));
}
#endif

}  // namespace

void blendPixels(uint32_t* d, const uint32_t* s, size_t n) {
  size_t i = 0;
#if defined(__SSE2__)
  for (; i + 4 <= n; i += 4) {
    const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), blend4(sv, dv));
  }
#endif
  for (; i < n; ++i) d[i] = blend1(s[i], d[i]);
}

namespace {

// Each target column's first source column and how many it covers: the source columns from
// x * sw / w up to (x + 1) * sw / w, at least one.
struct Spans {
  std::vector<int> first, count;
  Spans(int source, int target) : first(static_cast<size_t>(target)), count(static_cast<size_t>(target)) {
    for (int x = 0; x < target; ++x) {
      const int a = static_cast<int>(int64_t(x) * source / target);
      const int b = std::max(a + 1, static_cast<int>(int64_t(x + 1) * source / target));
      first[static_cast<size_t>(x)] = a;
      count[static_cast<size_t>(x)] = b - a;
    }
  }
};

#if defined(__SSE2__)
// The average of source pixels [x0, x0 + 2) of rows r0 and r1, for four target pixels of an
// exact halving: eight source pixels of each row.
inline __m128i halve4(const uint32_t* r0, const uint32_t* r1) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r0));
  const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r0 + 4));
  const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r1));
  const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r1 + 4));
  const __m128i s01 = _mm_add_epi16(_mm_unpacklo_epi8(a0, zero), _mm_unpacklo_epi8(b0, zero));
  const __m128i s23 = _mm_add_epi16(_mm_unpackhi_epi8(a0, zero), _mm_unpackhi_epi8(b0, zero));
  const __m128i s45 = _mm_add_epi16(_mm_unpacklo_epi8(a1, zero), _mm_unpacklo_epi8(b1, zero));
  const __m128i s67 = _mm_add_epi16(_mm_unpackhi_epi8(a1, zero), _mm_unpackhi_epi8(b1, zero));
  const __m128i o01 = _mm_add_epi16(_mm_unpacklo_epi64(s01, s23), _mm_unpackhi_epi64(s01, s23));
  const __m128i o23 = _mm_add_epi16(_mm_unpacklo_epi64(s45, s67), _mm_unpackhi_epi64(s45, s67));
  return _mm_packus_epi16(_mm_srli_epi16(o01, 2), _mm_srli_epi16(o23, 2));
}
#endif

// The average of a box of `n` source pixels, channel by channel, rounded down. A multiply by
// the reciprocal stands in for the division; it is exact for sums up to 255 * n while n < 4104.
inline uint32_t average(const uint32_t* p, ptrdiff_t stride, int bw, int bh) {
  uint32_t a = 0, r = 0, g = 0, b = 0;
  for (int j = 0; j < bh; ++j, p += stride)
    for (int i = 0; i < bw; ++i) {
      const uint32_t v = p[i];
      a += v >> 24;
      r += (v >> 16) & 255;
      g += (v >> 8) & 255;
      b += v & 255;
    }
  const uint32_t n = static_cast<uint32_t>(bw * bh);
  if (n == 1) return (a << 24) | (r << 16) | (g << 8) | b;
  if (n >= 4104) return ((a / n) << 24) | ((r / n) << 16) | ((g / n) << 8) | (b / n);
  const uint64_t m = (uint64_t{1} << 32) / n + 1;
  auto div = [m](uint32_t v) { return static_cast<uint32_t>((v * m) >> 32); };
  return (div(a) << 24) | (div(r) << 16) | (div(g) << 8) | div(b);
}

}  // namespace

void drawPicture(const DrawScope& scope, const RECT& target, const uint32_t* pixels, int width, int height) {
  const int w = target.right - target.left, h = target.bottom - target.top;
  if (w <= 0 || h <= 0 || width <= 0 || height <= 0 || !pixels) return;
  const PixelView& v = scope.view();
  const RECT box = scope.clip().box();
  const bool same = w == width && h == height;
  [[maybe_unused]] const bool halving = !same && width == 2 * w && height == 2 * h;
  // Enlarging: every target pixel is one source pixel, and runs of target rows show the same
  // source row, which is gathered once for the run.
  const bool enlarging = !same && w >= width && h >= height;
  // Columns of the area the clip can touch, measured once for every row.
  const int cx0 = std::max(box.left, target.left), cx1 = std::min(box.right, target.right);
  if (cx0 >= cx1) return;
  Spans cols(same ? 1 : width, same ? 1 : w);
  std::vector<uint32_t> row(static_cast<size_t>(cx1 - cx0));
  int gatheredY = -1, gatheredL = 0, gatheredR = 0;
  forEachRect(scope.clip(), [&](int l, int t, int r, int b) {
    l = std::max(l, cx0);
    r = std::min(r, cx1);
    if (l >= r) return;
    const int tx0 = l - target.left, n = r - l;
    for (int y = t; y < b; ++y) {
      const int ty = y - target.top;
      const uint32_t* src;
      if (same) {
        src = pixels + static_cast<size_t>(ty) * width + tx0;
      } else if (enlarging) {
        const int y0 = static_cast<int>(int64_t(ty) * height / h);
        if (y0 != gatheredY || l != gatheredL || r != gatheredR) {
          const uint32_t* r0 = pixels + static_cast<size_t>(y0) * width;
          const int* first = cols.first.data() + tx0;
          uint32_t* o = row.data();
          for (int k = 0; k < n; ++k) o[k] = r0[first[k]];
          gatheredY = y0;
          gatheredL = l;
          gatheredR = r;
        }
        src = row.data();
      } else {
        const int y0 = static_cast<int>(int64_t(ty) * height / h);
        const int bh = std::max(y0 + 1, static_cast<int>(int64_t(ty + 1) * height / h)) - y0;
        const uint32_t* r0 = pixels + static_cast<size_t>(y0) * width;
        uint32_t* o = row.data();
        int k = 0;
#if defined(__SSE2__)
        if (halving) {
          for (; k + 4 <= n; k += 4)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o + k), halve4(r0 + 2 * (tx0 + k), r0 + width + 2 * (tx0 + k)));
        }
#endif
        for (; k < n; ++k) {
          const size_t x = static_cast<size_t>(tx0 + k);
          o[k] = average(r0 + cols.first[x], width, cols.count[x], bh);
        }
        src = o;
      }
      blendPixels(v.at(l, y), src, static_cast<size_t>(n));
    }
  });
}

}  // namespace plat::gdi
