#include "gdi/bitmap.h"

#include <cstring>

#include "gdi/device_context.h"
#include "plat_core.h"

namespace plat::gdi {
namespace {

// Largest bitmap we agree to allocate: well above any screen, below what would exhaust memory.
constexpr int64_t kMaxPixels = 64LL * 1024 * 1024;
constexpr int kMaxSide = 32768;

struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  int bits = 0;
};

Channel channelOf(uint32_t mask) {
  Channel c{mask, 0, 0};
  if (!mask) return c;
  while (!((mask >> c.shift) & 1)) ++c.shift;
  while (c.shift + c.bits < 32 && ((mask >> (c.shift + c.bits)) & 1)) ++c.bits;
  return c;
}

// Widens or narrows a channel value to 8 bits, replicating the high bits downwards.
uint32_t expand8(uint32_t px, const Channel& c) {
  if (!c.bits) return 0;
  uint32_t v = (px & c.mask) >> c.shift;
  if (c.bits >= 8) return v >> (c.bits - 8);
  uint32_t r = 0;
  int have = 0;
  while (have < 8) {
    r = (r << c.bits) | v;
    have += c.bits;
  }
  return r >> (have - 8);
}

uint32_t narrow(uint32_t v8, const Channel& c) {
  if (!c.bits) return 0;
  uint32_t v = c.bits >= 8 ? v8 << (c.bits - 8) : v8 >> (8 - c.bits);
  return (v << c.shift) & c.mask;
}

}  // namespace

std::shared_ptr<Bitmap> Bitmap::createSurfaceFormat(int w, int h) {
  if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide || int64_t(w) * h > kMaxPixels) return nullptr;
  auto b = std::make_shared<Bitmap>();
  b->width = w;
  b->height = h;
  b->bitCount = 32;
  b->topDown = true;
  b->rowBytes = w * 4;
  b->storage_.reset(new (std::nothrow) uint8_t[b->imageBytes()]());
  if (!b->storage_) return nullptr;
  return b;
}

std::shared_ptr<Bitmap> Bitmap::createDib(const BITMAPINFO* info, UINT usage) {
  if (!info) return nullptr;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biSize < 40) return nullptr;
  const int bc = h.biBitCount;
  if (bc != 1 && bc != 4 && bc != 8 && bc != 16 && bc != 24 && bc != 32) return nullptr;
  if (h.biCompression != BI_RGB && !(h.biCompression == BI_BITFIELDS && (bc == 16 || bc == 32))) return nullptr;
  const int64_t w = h.biWidth;
  const int64_t hh = h.biHeight < 0 ? -int64_t(h.biHeight) : int64_t(h.biHeight);
  if (w <= 0 || hh <= 0 || w > kMaxSide || hh > kMaxSide || w * hh > kMaxPixels) return nullptr;
  auto b = std::make_shared<Bitmap>();
  b->width = static_cast<int>(w);
  b->height = static_cast<int>(hh);
  b->bitCount = bc;
  b->topDown = h.biHeight < 0;
  b->dibSection = true;
  b->rowBytes = static_cast<int>(((w * bc + 31) / 32) * 4);
  const uint8_t* after = reinterpret_cast<const uint8_t*>(info) + h.biSize;
  if (bc == 16) {
    b->masks[0] = 0x7C00;
    b->masks[1] = 0x03E0;
    b->masks[2] = 0x001F;
  }
  if (h.biCompression == BI_BITFIELDS) {
    // Masks follow a 40-byte header; larger headers carry them inside.
    const uint8_t* m = h.biSize >= 52 ? reinterpret_cast<const uint8_t*>(info) + 40 : after;
    std::memcpy(b->masks, m, 12);
    if (!b->masks[0] && !b->masks[1] && !b->masks[2]) return nullptr;
  }
  if (bc <= 8) {
    size_t n = h.biClrUsed ? h.biClrUsed : (1u << bc);
    if (n > (1u << bc)) n = 1u << bc;
    b->palette.resize(n);
    if (usage == DIB_RGB_COLORS) {
      const RGBQUAD* q = reinterpret_cast<const RGBQUAD*>(after);
      for (size_t i = 0; i < n; ++i) b->palette[i] = (uint32_t(q[i].rgbRed) << 16) | (q[i].rgbGreen << 8) | q[i].rgbBlue;
    } else {
      for (size_t i = 0; i < n; ++i) b->palette[i] = i * 255 / (n > 1 ? n - 1 : 1) * 0x010101u;
    }
  }
  b->storage_.reset(new (std::nothrow) uint8_t[b->imageBytes()]());
  if (!b->storage_) return nullptr;
  return b;
}

bool Bitmap::direct() const {
  return bitCount == 32 && masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF;
}

PixelView Bitmap::directView() {
  PixelView v;
  v.base = reinterpret_cast<uint32_t*>(row(0));
  v.stride = topDown ? rowBytes / 4 : -(rowBytes / 4);
  v.width = width;
  v.height = height;
  return v;
}

void Bitmap::readRect(const RECT& r, uint32_t* dst, ptrdiff_t dstStride) {
  const Channel ch[3] = {channelOf(masks[0]), channelOf(masks[1]), channelOf(masks[2])};
  const size_t pal = palette.size();
  for (int y = r.top; y < r.bottom; ++y, dst += dstStride) {
    const uint8_t* s = row(y);
    uint32_t* d = dst;
    for (int x = r.left; x < r.right; ++x) {
      uint32_t p = 0;
      switch (bitCount) {
        case 1: {
          const size_t i = (s[x >> 3] >> (7 - (x & 7))) & 1;
          p = i < pal ? palette[i] : 0;
          break;
        }
        case 4: {
          const size_t i = (s[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
          p = i < pal ? palette[i] : 0;
          break;
        }
        case 8: {
          const size_t i = s[x];
          p = i < pal ? palette[i] : 0;
          break;
        }
        case 16: {
          const uint32_t v = s[x * 2] | (s[x * 2 + 1] << 8);
          p = (expand8(v, ch[0]) << 16) | (expand8(v, ch[1]) << 8) | expand8(v, ch[2]);
          break;
        }
        case 24:
          p = (uint32_t(s[x * 3 + 2]) << 16) | (s[x * 3 + 1] << 8) | s[x * 3];
          break;
        default: {
          uint32_t v;
          std::memcpy(&v, s + x * 4, 4);
          p = direct() ? (v & 0xFFFFFF) : (expand8(v, ch[0]) << 16) | (expand8(v, ch[1]) << 8) | expand8(v, ch[2]);
          break;
        }
      }
      *d++ = p;
    }
  }
}

uint8_t Bitmap::nearestIndex(uint32_t p) {
  if (palette.empty()) return 0;
  if (static_cast<size_t>(lastIndex_) < palette.size() && palette[lastIndex_] == p) return static_cast<uint8_t>(lastIndex_);
  int best = 0;
  int bestD = 1 << 30;
  for (size_t i = 0; i < palette.size(); ++i) {
    const int dr = int((palette[i] >> 16) & 255) - int((p >> 16) & 255);
    const int dg = int((palette[i] >> 8) & 255) - int((p >> 8) & 255);
    const int db = int(palette[i] & 255) - int(p & 255);
    const int d = dr * dr + dg * dg + db * db;
    if (d < bestD) {
      bestD = d;
      best = static_cast<int>(i);
      if (!d) break;
    }
  }
  lastIndex_ = best;
  return static_cast<uint8_t>(best);
}

void Bitmap::writeRect(const RECT& r, const uint32_t* src, ptrdiff_t srcStride) {
  const Channel ch[3] = {channelOf(masks[0]), channelOf(masks[1]), channelOf(masks[2])};
  for (int y = r.top; y < r.bottom; ++y, src += srcStride) {
    uint8_t* d = row(y);
    const uint32_t* s = src;
    for (int x = r.left; x < r.right; ++x) {
      const uint32_t p = *s++ & 0xFFFFFF;
      switch (bitCount) {
        case 1: {
          const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
          if (nearestIndex(p)) d[x >> 3] |= bit; else d[x >> 3] &= static_cast<uint8_t>(~bit);
          break;
        }
        case 4: {
          const uint8_t i = nearestIndex(p);
          d[x >> 1] = (x & 1) ? static_cast<uint8_t>((d[x >> 1] & 0xF0) | i) : static_cast<uint8_t>((d[x >> 1] & 0x0F) | (i << 4));
          break;
        }
        case 8:
          d[x] = nearestIndex(p);
          break;
        case 16: {
          const uint32_t v = narrow(p >> 16, ch[0]) | narrow((p >> 8) & 255, ch[1]) | narrow(p & 255, ch[2]);
          d[x * 2] = static_cast<uint8_t>(v);
          d[x * 2 + 1] = static_cast<uint8_t>(v >> 8);
          break;
        }
        case 24:
          d[x * 3] = static_cast<uint8_t>(p);
          d[x * 3 + 1] = static_cast<uint8_t>(p >> 8);
          d[x * 3 + 2] = static_cast<uint8_t>(p >> 16);
          break;
        default: {
          const uint32_t v = direct() ? p : narrow(p >> 16, ch[0]) | narrow((p >> 8) & 255, ch[1]) | narrow(p & 255, ch[2]);
          std::memcpy(d + x * 4, &v, 4);
          break;
        }
      }
    }
  }
}

uint32_t Bitmap::readPixel(int x, int y) {
  uint32_t p = 0;
  readRect(RECT{x, y, x + 1, y + 1}, &p, 1);
  return p;
}

PixelLock::PixelLock(Bitmap& bitmap, const RECT& area, bool write) : area_(area), write_(write) {
  if (bitmap.direct()) {
    PixelView v = bitmap.directView();
    view_ = v;
    return;
  }
  bitmap_ = &bitmap;
  const int w = area.right - area.left;
  const int h = area.bottom - area.top;
  if (w <= 0 || h <= 0) return;
  shadow_.resize(static_cast<size_t>(w) * h);
  bitmap.readRect(area, shadow_.data(), w);
  view_.base = shadow_.data();
  view_.stride = w;
  view_.left = area.left;
  view_.top = area.top;
  view_.width = w;
  view_.height = h;
}

PixelLock::PixelLock(const PixelView& surface, const RECT& area) : area_(area) { view_ = surface; }

PixelLock::~PixelLock() {
  if (bitmap_ && write_ && !shadow_.empty()) bitmap_->writeRect(area_, shadow_.data(), view_.stride);
}

}  // namespace plat::gdi

using namespace plat::gdi;

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) {
  // Always a colour bitmap in the surface format, even for a memory context that still holds
  // its default bitmap (where the desktop system would hand out a monochrome one).
  // An empty size still gives a bitmap: one monochrome pixel, as the device hands out.
  if ((width == 0 && height >= 0) || (height == 0 && width >= 0)) return CreateBitmap(1, 1, 1, 1, nullptr);
  auto b = Bitmap::createSurfaceFormat(width, height);
  if (!b) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return addObject(b);
}

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitCount, const void* bits) {
  if (planes != 1 || (bitCount != 1 && bitCount != 32)) {
    plat::console::writeUtf8("FIXME: CreateBitmap supports 1 plane of 1 or 32 bits\n");
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  struct {
    BITMAPINFOHEADER h;
    RGBQUAD c[2];
  } info{};
  info.h = {40, width, -height, 1, static_cast<WORD>(bitCount), BI_RGB, 0, 0, 0, 0, 0};
  info.c[1] = {255, 255, 255, 0};
  auto b = Bitmap::createDib(reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS);
  if (!b) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  b->dibSection = false;
  if (bits) {
    // Device-dependent rows are padded to 16 bits, not 32.
    const size_t src = ((static_cast<size_t>(width) * bitCount + 15) / 16) * 2;
    for (int y = 0; y < b->height; ++y)
      std::memcpy(b->row(y), static_cast<const uint8_t*>(bits) + src * y, src);
  }
  return addObject(b);
}

HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD offset) {
  if (bits) *bits = nullptr;
  if (section) plat::console::writeUtf8("FIXME: CreateDIBSection ignores the file-mapping section\n");
  auto b = Bitmap::createDib(info, usage);
  if (!b) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (bits) *bits = b->bits();
  return addObject(b);
}

int GetObjectW(HGDIOBJ object, int size, LPVOID buffer) {
  std::shared_ptr<GdiObject> o = findObject(object);
  if (!o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  switch (o->kind) {
    case ObjectKind::Bitmap: {
      auto& b = static_cast<Bitmap&>(*o);
      BITMAP bm{0, b.width, b.height, b.rowBytes, 1, static_cast<WORD>(b.bitCount), b.dibSection ? b.bits() : nullptr};
      // A memory context's default bitmap is one monochrome pixel, however we store it.
      if (b.stock) {
        bm.bmBitsPixel = 1;
        bm.bmWidthBytes = 2;
      } else if (!b.dibSection) {
        // Device-dependent bitmaps report rows padded to 16 bits (our storage pads to 32).
        bm.bmWidthBytes = ((b.width * b.bitCount + 15) / 16) * 2;
      }
      if (!buffer) return sizeof(BITMAP);
      if (size < static_cast<int>(sizeof(BITMAP))) return 0;
      std::memcpy(buffer, &bm, sizeof bm);
      return sizeof(BITMAP);
    }
    case ObjectKind::Font: {
      auto& f = static_cast<FontObject&>(*o);
      if (!buffer) return sizeof(LOGFONTW);
      if (size < static_cast<int>(sizeof(LOGFONTW))) return 0;
      std::memcpy(buffer, &f.logFont, sizeof(LOGFONTW));
      return sizeof(LOGFONTW);
    }
    default:
      plat::console::writeUtf8("FIXME: GetObjectW supports bitmaps and fonts only\n");
      return 0;
  }
}

namespace {

// Rows of a caller's DIB buffer as the bitmap format they describe (format only, no pixels).
std::shared_ptr<Bitmap> formatOf(const BITMAPINFO* info, UINT usage) {
  if (!info) return nullptr;
  BITMAPINFOHEADER h = info->bmiHeader;
  (void)h;
  return Bitmap::createDib(info, usage);
}

}  // namespace

int GetDIBits(HDC dc, HBITMAP handle, UINT start, UINT lines, LPVOID bits, LPBITMAPINFO info, UINT usage) {
  auto b = findBitmap(handle);
  // Header sizes beyond the largest known one would make us read past the caller's header.
  if (!b || !info || info->bmiHeader.biSize < 40 || info->bmiHeader.biSize > 124) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  BITMAPINFOHEADER& h = info->bmiHeader;
  if (!bits) {
    if (h.biBitCount == 0) h.biBitCount = static_cast<WORD>(b->bitCount);
    h.biWidth = b->width;
    h.biHeight = h.biHeight < 0 ? -b->height : b->height;
    h.biPlanes = 1;
    h.biSizeImage = static_cast<DWORD>(((b->width * h.biBitCount + 31) / 32) * 4 * b->height);
    if (h.biCompression != BI_BITFIELDS) h.biCompression = BI_RGB;
    return b->height;
  }
  // A buffer in the wanted format, one row high and as wide as the bitmap, converts the rows.
  BITMAPINFOHEADER want = h;
  want.biWidth = b->width;
  want.biHeight = 1;
  struct {
    BITMAPINFOHEADER h;
    RGBQUAD c[256];
  } fmt{};
  fmt.h = want;
  fmt.h.biSize = 40;
  if (h.biCompression == BI_BITFIELDS) std::memcpy(fmt.c, reinterpret_cast<const uint8_t*>(info) + h.biSize, 12);
  if (h.biBitCount <= 8) {
    if (b->bitCount != h.biBitCount || b->palette.empty()) {
      plat::console::writeUtf8("FIXME: GetDIBits to a palette format needs a bitmap of that format\n");
      return 0;
    }
    fmt.h.biClrUsed = static_cast<DWORD>(b->palette.size());
    for (size_t i = 0; i < b->palette.size(); ++i) {
      const uint32_t p = b->palette[i];
      fmt.c[i] = RGBQUAD{static_cast<BYTE>(p), static_cast<BYTE>(p >> 8), static_cast<BYTE>(p >> 16), 0};
      info->bmiColors[i] = fmt.c[i];
    }
  }
  auto rowFmt = formatOf(reinterpret_cast<const BITMAPINFO*>(&fmt), DIB_RGB_COLORS);
  if (!rowFmt) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const bool topDown = h.biHeight < 0;
  const int H = b->height;
  if (start >= static_cast<UINT>(H)) return 0;
  const UINT n = std::min<UINT>(lines, static_cast<UINT>(H) - start);
  std::vector<uint32_t> px(static_cast<size_t>(b->width));
  uint8_t* out = static_cast<uint8_t*>(bits);
  for (UINT i = 0; i < n; ++i) {
    const int scan = static_cast<int>(start + i);
    const int y = topDown ? scan : H - 1 - scan;
    if (b->bitCount == h.biBitCount && b->bitCount <= 8) {
      std::memcpy(out + static_cast<size_t>(i) * rowFmt->rowBytes, b->row(y), static_cast<size_t>(rowFmt->rowBytes));
      continue;
    }
    b->readRect(RECT{0, y, b->width, y + 1}, px.data(), b->width);
    rowFmt->writeRect(RECT{0, 0, b->width, 1}, px.data(), b->width);
    std::memcpy(out + static_cast<size_t>(i) * rowFmt->rowBytes, rowFmt->bits(), static_cast<size_t>(rowFmt->rowBytes));
  }
  return static_cast<int>(n);
}

int SetDIBits(HDC dc, HBITMAP handle, UINT start, UINT lines, const void* bits, const BITMAPINFO* info, UINT usage) {
  auto b = findBitmap(handle);
  if (!b || !info || !bits || info->bmiHeader.biSize < 40 || info->bmiHeader.biSize > 124) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biWidth != b->width) {
    plat::console::writeUtf8("FIXME: SetDIBits needs rows as wide as the bitmap\n");
    return 0;
  }
  // The caller's format, one row high, reads the rows.
  std::vector<uint8_t> copy(h.biSize + 12 + 256 * 4);
  std::memcpy(copy.data(), info, h.biSize);
  const uint8_t* after = reinterpret_cast<const uint8_t*>(info) + h.biSize;
  size_t extra = 0;
  if (h.biCompression == BI_BITFIELDS) extra = 12;
  else if (h.biBitCount <= 8) extra = (h.biClrUsed && h.biClrUsed < 256u ? h.biClrUsed : (1u << h.biBitCount)) * 4;
  std::memcpy(copy.data() + h.biSize, after, std::min(extra, copy.size() - h.biSize));
  auto* fmtInfo = reinterpret_cast<BITMAPINFO*>(copy.data());
  fmtInfo->bmiHeader.biHeight = 1;
  auto rowFmt = Bitmap::createDib(fmtInfo, usage);
  if (!rowFmt) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const bool topDown = h.biHeight < 0;
  const int H = b->height;
  if (start >= static_cast<UINT>(H)) return 0;
  const UINT n = std::min<UINT>(lines, static_cast<UINT>(H) - start);
  std::vector<uint32_t> px(static_cast<size_t>(b->width));
  const uint8_t* in = static_cast<const uint8_t*>(bits);
  for (UINT i = 0; i < n; ++i) {
    const int scan = static_cast<int>(start + i);
    const int y = topDown ? scan : H - 1 - scan;
    std::memcpy(rowFmt->bits(), in + static_cast<size_t>(i) * rowFmt->rowBytes, static_cast<size_t>(rowFmt->rowBytes));
    rowFmt->readRect(RECT{0, 0, b->width, 1}, px.data(), b->width);
    b->writeRect(RECT{0, y, b->width, y + 1}, px.data(), b->width);
  }
  return static_cast<int>(n);
}
