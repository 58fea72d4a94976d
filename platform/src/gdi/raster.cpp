// Raster operations: fills, copies, stretched and colour-keyed copies, single pixels.
#include <cstring>
#include <mutex>
#include <optional>

#include "core/mul_div.h"
#include "gdi/paint.h"
#include "plat_core.h"

namespace plat::gdi {

void fillRect(const DrawScope& scope, const RECT& r, uint32_t pixel) {
  applyRect(scope, r, [pixel](uint32_t* p) { *p = pixel; });
}

void fillSpan(const DrawScope& scope, int y, int x0, int x1, uint32_t pixel) {
  const int k = scope.clip().bandAt(y);
  if (k < 0 || x0 >= x1) return;
  const std::vector<int>& xs = scope.clip().bands()[static_cast<size_t>(k)].xs;
  const PixelView& v = scope.view();
  for (size_t i = 0; i < xs.size(); i += 2) {
    const int l = std::max(xs[i], x0);
    const int r = std::min(xs[i + 1], x1);
    if (l >= r) continue;
    std::fill(v.at(l, y), v.at(l, y) + (r - l), pixel);
  }
}

}  // namespace plat::gdi

using namespace plat::gdi;

namespace {

// Locks one or two contexts for one call without deadlocking against a call that locks
// the same two in the other order.
class DcPairLock {
 public:
  DcPairLock(DeviceContext& a, DeviceContext* b) {
    if (!b || b == &a) {
      one_.emplace(a.mutex);
    } else {
      two_.emplace(a.mutex, b->mutex);
    }
  }

 private:
  std::optional<std::unique_lock<std::mutex>> one_;
  std::optional<std::scoped_lock<std::mutex, std::mutex>> two_;
};

// Readable pixels of a source (a context or a bitmap), in its device coordinates.
class Source {
 public:
  Source(DeviceContext* dc, Bitmap* bitmap) {
    if (dc && !dc->isSurface) bitmap = dc->bitmap();
    bitmap_ = bitmap;
    if (dc && dc->isSurface) {
      if (dc->surface.damage) surfaceHeld_ = std::unique_lock(dc->surface.damage->pixels());
      view_ = dc->pixels();
      surface_ = dc->surface.pixels;
    } else if (bitmap && !bitmap->stock) {
      view_.width = bitmap->width;
      view_.height = bitmap->height;
      if (bitmap->direct()) view_ = bitmap->directView();
    }
  }
  RECT bounds() const { return RECT{0, 0, view_.width, view_.height}; }
  bool sameMemory(DeviceContext& dst) const {
    if (dst.isSurface) return surface_ && surface_ == dst.surface.pixels;
    return bitmap_ && bitmap_ == dst.bitmap();
  }
  // Makes `need` (inside bounds) readable; copies it when it shares memory with the target.
  void open(const RECT& need, bool copy) {
    if (isEmpty(need)) return;
    if (bitmap_ && !bitmap_->direct()) {
      lock_ = std::make_unique<PixelLock>(*bitmap_, need, false);
      view_ = lock_->view();
    } else if (copy) {
      const int w = need.right - need.left;
      copy_.resize(static_cast<size_t>(w) * (need.bottom - need.top));
      for (int y = need.top; y < need.bottom; ++y)
        copyPixels(&copy_[static_cast<size_t>(y - need.top) * w], view_.at(need.left, y), static_cast<size_t>(w));
      view_.base = copy_.data();
      view_.stride = w;
      view_.left = need.left;
      view_.top = need.top;
    }
  }
  const PixelView& view() const { return view_; }

 private:
  std::unique_lock<std::recursive_mutex> surfaceHeld_;
  Bitmap* bitmap_ = nullptr;
  uint32_t* surface_ = nullptr;
  PixelView view_;
  std::unique_ptr<PixelLock> lock_;
  std::vector<uint32_t> copy_;
};

bool usesSource(DWORD rop) {
  return rop == SRCCOPY || rop == SRCPAINT || rop == SRCAND || rop == SRCINVERT || rop == NOTSRCCOPY;
}

template <class Op>
void copyRows(const DrawScope& scope, const PixelView& src, int dx, int dy, Op op) {
  const PixelView& dst = scope.view();
  forEachRect(scope.clip(), [&](int l, int t, int r, int b) {
    for (int y = t; y < b; ++y) {
      uint32_t* d = dst.at(l, y);
      const uint32_t* s = src.at(l - dx, y - dy);
      op(d, s, r - l);
    }
  });
}

void ropRows(const DrawScope& scope, const PixelView& src, int dx, int dy, DWORD rop) {
  switch (rop) {
    case SRCCOPY: {
      // Whole rows of two buffers laid out alike are one block: one copy of it all.
      const PixelView& dst = scope.view();
      const RECT box = scope.clip().box();
      if (scope.clip().bands().size() == 1 && scope.clip().bands()[0].xs.size() == 2 && box.left == dst.left &&
          box.right - box.left == dst.width && dst.stride == dst.width && src.stride == dst.stride &&
          box.left - dx == src.left && src.width == dst.width) {
        std::memcpy(dst.at(box.left, box.top), src.at(box.left - dx, box.top - dy),
                    static_cast<size_t>(box.bottom - box.top) * static_cast<size_t>(dst.width) * 4);
        break;
      }
      copyRows(scope, src, dx, dy, [](uint32_t* d, const uint32_t* s, int n) { copyPixels(d, s, static_cast<size_t>(n)); });
      break;
    }
    case SRCAND:
      copyRows(scope, src, dx, dy, [](uint32_t* d, const uint32_t* s, int n) { for (int i = 0; i < n; ++i) d[i] &= s[i]; });
      break;
    case SRCPAINT:
      copyRows(scope, src, dx, dy, [](uint32_t* d, const uint32_t* s, int n) { for (int i = 0; i < n; ++i) d[i] = (d[i] | s[i]) & 0xFFFFFF; });
      break;
    case SRCINVERT:
      copyRows(scope, src, dx, dy, [](uint32_t* d, const uint32_t* s, int n) { for (int i = 0; i < n; ++i) d[i] = (d[i] ^ s[i]) & 0xFFFFFF; });
      break;
    case NOTSRCCOPY:
      copyRows(scope, src, dx, dy, [](uint32_t* d, const uint32_t* s, int n) { for (int i = 0; i < n; ++i) d[i] = ~s[i] & 0xFFFFFF; });
      break;
  }
}

inline uint32_t applyRop(DWORD rop, uint32_t d, uint32_t s) {
  switch (rop) {
    case SRCAND: return d & s;
    case SRCPAINT: return (d | s) & 0xFFFFFF;
    case SRCINVERT: return (d ^ s) & 0xFFFFFF;
    case NOTSRCCOPY: return ~s & 0xFFFFFF;
    default: return s;
  }
}

// Maps destination positions [first, first + count) of a span of `dstLen` starting at dst0
// onto source positions of a span of `srcLen` starting at src0, sampling pixel centres.
void sampleMap(std::vector<int64_t>& map, int first, int count, int64_t dst0, int64_t dstLen, int64_t src0,
               int64_t srcLen, bool flip) {
  map.resize(static_cast<size_t>(count > 0 ? count : 0));
  for (int k = 0; k < count; ++k) {
    const int64_t i = first + k - dst0;
    // Lengths are below 2^32 and positions below 2^31, so the product may need more than 64 bits.
    int64_t j = plat::mulDiv(2 * i + 1, srcLen, 2 * dstLen);
    if (flip) j = srcLen - 1 - j;
    map[static_cast<size_t>(k)] = src0 + j;
  }
}

// Narrows [lo, hi) of the destination to the positions whose source lies inside [0, limit).
void trimToSource(const std::vector<int64_t>& map, int base, int& lo, int& hi, int limit) {
  while (lo < hi && (map[static_cast<size_t>(lo - base)] < 0 || map[static_cast<size_t>(lo - base)] >= limit)) ++lo;
  while (hi > lo && (map[static_cast<size_t>(hi - 1 - base)] < 0 || map[static_cast<size_t>(hi - 1 - base)] >= limit)) --hi;
}

struct StretchArgs {
  int64_t x, y, w, h, sx, sy, sw, sh;
};

// Stretched copy with nearest sampling; `keyed` leaves destination pixels under key-coloured
// source pixels as they are.
BOOL stretch(DeviceContext& dst, DeviceContext* srcDc, Bitmap* srcBitmap, StretchArgs a, DWORD rop, bool keyed,
             uint32_t key) {
  if (!a.w || !a.h || !a.sw || !a.sh) return TRUE;
  bool flipX = false, flipY = false;
  if (a.w < 0) { a.x += a.w; a.w = -a.w; flipX = !flipX; }
  if (a.h < 0) { a.y += a.h; a.h = -a.h; flipY = !flipY; }
  if (a.sw < 0) { a.sx += a.sw; a.sw = -a.sw; flipX = !flipX; }
  if (a.sh < 0) { a.sy += a.sh; a.sh = -a.sh; flipY = !flipY; }
  Source src(srcDc, srcBitmap);
  if (src.view().width <= 0) return TRUE;
  const int ox = srcDc ? srcDc->origin.x : 0;
  const int oy = srcDc ? srcDc->origin.y : 0;
  const int64_t dx0 = a.x + dst.origin.x, dy0 = a.y + dst.origin.y;  // unclamped, for the sampling
  const RECT D{dst.toDeviceX(a.x), dst.toDeviceY(a.y), dst.toDeviceX(a.x + a.w), dst.toDeviceY(a.y + a.h)};
  RECT area = intersect(D, dst.clip().box());
  if (isEmpty(area)) return TRUE;
  std::vector<int64_t> xmap, ymap;
  sampleMap(xmap, area.left, area.right - area.left, dx0, a.w, a.sx + ox, a.sw, flipX);
  sampleMap(ymap, area.top, area.bottom - area.top, dy0, a.h, a.sy + oy, a.sh, flipY);
  const int baseX = area.left, baseY = area.top;
  int l = area.left, r = area.right, t = area.top, b = area.bottom;
  trimToSource(xmap, baseX, l, r, src.view().width);
  trimToSource(ymap, baseY, t, b, src.view().height);
  if (l >= r || t >= b) return TRUE;
  DrawScope scope(dst, RECT{l, t, r, b});
  if (scope.empty()) return TRUE;
  // The source rows and columns the clipped destination samples.
  const RECT box = scope.clip().box();
  // Inside the source after trimming, so these fit an int.
  const int s0 = static_cast<int>(xmap[static_cast<size_t>(box.left - baseX)]);
  const int s1 = static_cast<int>(xmap[static_cast<size_t>(box.right - 1 - baseX)]);
  const int r0 = static_cast<int>(ymap[static_cast<size_t>(box.top - baseY)]);
  const int r1 = static_cast<int>(ymap[static_cast<size_t>(box.bottom - 1 - baseY)]);
  src.open(RECT{std::min(s0, s1), std::min(r0, r1), std::max(s0, s1) + 1, std::max(r0, r1) + 1}, src.sameMemory(dst));
  const PixelView& sv = src.view();
  const PixelView& dv = scope.view();
  for (int64_t& v : xmap) v -= sv.left;
  forEachRect(scope.clip(), [&](int cl, int ct, int cr, int cb) {
    for (int y = ct; y < cb; ++y) {
      uint32_t* d = dv.at(cl, y);
      const uint32_t* srow = sv.at(sv.left, ymap[static_cast<size_t>(y - baseY)]);
      const int64_t* xm = &xmap[static_cast<size_t>(cl - baseX)];
      const int n = cr - cl;
      if (keyed) {
        for (int i = 0; i < n; ++i) {
          const uint32_t s = srow[xm[i]] & 0xFFFFFF;
          if (s != key) d[i] = s;
        }
      } else if (rop == SRCCOPY) {
        for (int i = 0; i < n; ++i) d[i] = srow[xm[i]] & 0xFFFFFF;
      } else {
        for (int i = 0; i < n; ++i) d[i] = applyRop(rop, d[i], srow[xm[i]]);
      }
    }
  });
  return TRUE;
}

}  // namespace

BOOL PatBlt(HDC handle, int x, int y, int w, int h, DWORD rop) {
  auto dc = findDC(handle);
  if (!dc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard lock(dc->mutex);
  int64_t X = x, Y = y, Wd = w, Ht = h;
  if (Wd < 0) { X += Wd; Wd = -Wd; }
  if (Ht < 0) { Y += Ht; Ht = -Ht; }
  const RECT r{dc->toDeviceX(X), dc->toDeviceY(Y), dc->toDeviceX(X + Wd), dc->toDeviceY(Y + Ht)};
  const BrushObject* brush = dc->state.brush.get();
  if ((rop == PATCOPY || rop == PATINVERT) && (!brush || brush->null)) return TRUE;
  DrawScope scope(*dc, r);
  if (scope.empty()) return TRUE;
  switch (rop) {
    case PATCOPY: fillRect(scope, r, toPixel(brush->color)); break;
    case PATINVERT: {
      const uint32_t p = toPixel(brush->color);
      applyRect(scope, r, [p](uint32_t* d) { *d ^= p; });
      break;
    }
    case DSTINVERT: applyRect(scope, r, [](uint32_t* d) { *d = ~*d & 0xFFFFFF; }); break;
    case BLACKNESS: fillRect(scope, r, 0); break;
    case WHITENESS: fillRect(scope, r, 0xFFFFFF); break;
    default:
      plat::console::writeUtf8("FIXME: PatBlt raster operation not supported\n");
      return FALSE;
  }
  return TRUE;
}

BOOL BitBlt(HDC dstHandle, int x, int y, int w, int h, HDC srcHandle, int sx, int sy, DWORD rop) {
  if (!usesSource(rop)) {
    if (rop == PATCOPY || rop == PATINVERT || rop == DSTINVERT || rop == BLACKNESS || rop == WHITENESS)
      return PatBlt(dstHandle, x, y, w, h, rop);
    plat::console::writeUtf8("FIXME: BitBlt raster operation not supported\n");
    return FALSE;
  }
  auto dst = findDC(dstHandle);
  auto src = findDC(srcHandle);
  if (!dst || !src) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  DcPairLock lock(*dst, src.get());
  // Negative sizes name the rectangles before the points, the same way on both sides.
  int64_t X = x, Y = y, SX = sx, SY = sy, W = w, H = h;
  if (W < 0) { X += W; SX += W; W = -W; }
  if (H < 0) { Y += H; SY += H; H = -H; }
  if (!W || !H) return TRUE;
  Source source(src.get(), nullptr);
  // Offset from source device coordinates to destination device coordinates.
  const int dx = dst->toDeviceX(X) - src->toDeviceX(SX);
  const int dy = dst->toDeviceY(Y) - src->toDeviceY(SY);
  RECT s{src->toDeviceX(SX), src->toDeviceY(SY), src->toDeviceX(SX + W), src->toDeviceY(SY + H)};
  s = intersect(s, source.bounds());
  if (isEmpty(s)) return TRUE;
  DrawScope scope(*dst, RECT{s.left + dx, s.top + dy, s.right + dx, s.bottom + dy});
  if (scope.empty()) return TRUE;
  const RECT box = scope.clip().box();
  source.open(RECT{box.left - dx, box.top - dy, box.right - dx, box.bottom - dy}, source.sameMemory(*dst));
  ropRows(scope, source.view(), dx, dy, rop);
  return TRUE;
}

BOOL StretchBlt(HDC dstHandle, int x, int y, int w, int h, HDC srcHandle, int sx, int sy, int sw, int sh, DWORD rop) {
  if (w == sw && h == sh && w > 0 && h > 0) return BitBlt(dstHandle, x, y, w, h, srcHandle, sx, sy, rop);
  if (!usesSource(rop)) return PatBlt(dstHandle, x, y, w, h, rop);
  auto dst = findDC(dstHandle);
  auto src = findDC(srcHandle);
  if (!dst || !src) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  DcPairLock lock(*dst, src.get());
  return stretch(*dst, src.get(), nullptr, StretchArgs{x, y, w, h, sx, sy, sw, sh}, rop, false, 0);
}

BOOL TransparentImage(HDC dstHandle, int x, int y, int w, int h, HANDLE source, int sx, int sy, int sw, int sh,
                      COLORREF key) {
  auto dst = findDC(dstHandle);
  if (!dst) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  auto srcDc = findDC(static_cast<HDC>(source));
  std::shared_ptr<Bitmap> srcBitmap;
  if (!srcDc) {
    srcBitmap = findBitmap(static_cast<HGDIOBJ>(source));
    if (!srcBitmap) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
  }
  DcPairLock lock(*dst, srcDc.get());
  return stretch(*dst, srcDc.get(), srcBitmap.get(), StretchArgs{x, y, w, h, sx, sy, sw, sh}, SRCCOPY, true,
                 toPixel(key));
}

int FillRect(HDC handle, const RECT* rect, HBRUSH brushHandle) {
  auto dc = findDC(handle);
  auto brush = findAs<BrushObject>(brushHandle, ObjectKind::Brush);
  if (!dc || !rect || !brush) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (brush->null) return 1;
  std::lock_guard lock(dc->mutex);
  const RECT r{dc->toDeviceX(rect->left), dc->toDeviceY(rect->top), dc->toDeviceX(rect->right),
               dc->toDeviceY(rect->bottom)};
  DrawScope scope(*dc, r);
  if (!scope.empty()) fillRect(scope, r, toPixel(brush->color));
  return 1;
}

BOOL FrameRect(HDC handle, const RECT* rect, HBRUSH brushHandle) {
  if (!rect || rect->right <= rect->left || rect->bottom <= rect->top) return FALSE;
  const RECT sides[4] = {{rect->left, rect->top, rect->right, rect->top + 1},
                         {rect->left, rect->bottom - 1, rect->right, rect->bottom},
                         {rect->left, rect->top, rect->left + 1, rect->bottom},
                         {rect->right - 1, rect->top, rect->right, rect->bottom}};
  for (const RECT& s : sides)
    if (!FillRect(handle, &s, brushHandle)) return FALSE;
  return TRUE;
}

COLORREF SetPixel(HDC handle, int x, int y, COLORREF color) {
  auto dc = findDC(handle);
  if (!dc) return CLR_INVALID;
  std::lock_guard lock(dc->mutex);
  const int X = dc->toDeviceX(x), Y = dc->toDeviceY(y);
  DrawScope scope(*dc, RECT{X, Y, X + 1, Y + 1});
  if (scope.empty()) return CLR_INVALID;
  *scope.view().at(X, Y) = toPixel(color);
  return color & 0xFFFFFF;
}

COLORREF GetPixel(HDC handle, int x, int y) {
  auto dc = findDC(handle);
  if (!dc) return CLR_INVALID;
  std::lock_guard lock(dc->mutex);
  const int X = dc->toDeviceX(x), Y = dc->toDeviceY(y);
  DrawScope scope(*dc, RECT{X, Y, X + 1, Y + 1}, false);
  if (scope.empty()) return CLR_INVALID;
  return toColorRef(*scope.view().at(X, Y));
}

namespace {

// A caller's packed DIB as a temporary bitmap (the rows are copied once).
std::shared_ptr<Bitmap> bitmapFromPacked(const void* bits, const BITMAPINFO* info, UINT usage) {
  if (!bits || !info) return nullptr;
  auto b = Bitmap::createDib(info, usage);
  if (!b) return nullptr;
  std::memcpy(b->bits(), bits, b->imageBytes());
  return b;
}

}  // namespace

int StretchDIBits(HDC handle, int x, int y, int w, int h, int sx, int sy, int sw, int sh, const void* bits,
                  const BITMAPINFO* info, UINT usage, DWORD rop) {
  auto dst = findDC(handle);
  auto src = bitmapFromPacked(bits, info, usage);
  if (!dst || !src) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (rop != SRCCOPY && !usesSource(rop)) {
    plat::console::writeUtf8("FIXME: StretchDIBits copies with source raster operations only\n");
    return 0;
  }
  // Source rows of a bottom-up DIB are counted from its bottom edge.
  if (!src->topDown) sy = static_cast<int>(src->height - (int64_t(sy) + sh));
  std::lock_guard lock(dst->mutex);
  stretch(*dst, nullptr, src.get(), StretchArgs{x, y, w, h, sx, sy, sw, sh}, rop, false, 0);
  return sh < 0 ? -sh : sh;
}

int SetDIBitsToDevice(HDC handle, int x, int y, DWORD w, DWORD h, int sx, int sy, UINT startScan, UINT lines,
                      const void* bits, const BITMAPINFO* info, UINT usage) {
  if (!info) return 0;
  const LONG height = info->bmiHeader.biHeight < 0 ? -info->bmiHeader.biHeight : info->bmiHeader.biHeight;
  if (startScan != 0 || lines < static_cast<UINT>(height)) {
    plat::console::writeUtf8("FIXME: SetDIBitsToDevice needs every scan line at once\n");
    return 0;
  }
  return StretchDIBits(handle, x, y, static_cast<int>(w), static_cast<int>(h), sx, sy, static_cast<int>(w),
                       static_cast<int>(h), bits, info, usage, SRCCOPY)
             ? static_cast<int>(lines)
             : 0;
}

int SetStretchBltMode(HDC handle, int mode) {
  // Only nearest sampling exists; the mode is accepted so callers need not care.
  return findDC(handle) ? COLORONCOLOR : 0;
}

BOOL InvertRect(HDC handle, const RECT* rect) {
  if (!rect) return FALSE;
  return PatBlt(handle, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, DSTINVERT);
}
