// Bitmaps: compatible bitmaps hold surface pixels (32-bit 0x00RRGGBB, top-down); DIB
// sections keep the bit count, masks, colour table and row order they were made with,
// because callers read and write their bits directly.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "gdi/gdi_objects.h"

namespace plat::gdi {

// A window onto 32-bit pixels: at(x, y) for x in [left, left + width), y in [top, top + height).
struct PixelView {
  uint32_t* base = nullptr;  // pixel (left, top)
  ptrdiff_t stride = 0;      // in pixels, negative for bottom-up memory
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  uint32_t* at(int x, int y) const { return base + (y - top) * stride + (x - left); }
};

class Bitmap : public GdiObject {
 public:
  Bitmap() : GdiObject(ObjectKind::Bitmap) {}

  // 32-bit top-down surface-format bitmap, cleared to black; null for bad sizes.
  static std::shared_ptr<Bitmap> createSurfaceFormat(int width, int height);
  // From a BITMAPINFO (bit count 1/4/8/16/24/32, BI_RGB or BI_BITFIELDS); null when refused.
  static std::shared_ptr<Bitmap> createDib(const BITMAPINFO* info, UINT usage);

  int width = 0;
  int height = 0;
  int bitCount = 32;
  bool topDown = true;
  bool dibSection = false;
  int rowBytes = 0;
  uint32_t masks[3] = {0xFF0000, 0xFF00, 0xFF};
  std::vector<uint32_t> palette;  // surface pixels
  uint8_t* bits() { return storage_.get(); }
  size_t imageBytes() const { return static_cast<size_t>(rowBytes) * static_cast<size_t>(height); }

  // Pixels usable as 32-bit surface pixels in place (32 bits with the standard masks).
  bool direct() const;
  PixelView directView();
  // Memory row of the picture's row y (counted from the top).
  uint8_t* row(int y) { return storage_.get() + static_cast<size_t>(topDown ? y : height - 1 - y) * rowBytes; }

  // Converts a rectangle (inside the bitmap) to or from surface pixels.
  void readRect(const RECT& r, uint32_t* dst, ptrdiff_t dstStride);
  void writeRect(const RECT& r, const uint32_t* src, ptrdiff_t srcStride);
  uint32_t readPixel(int x, int y);

 private:
  uint8_t nearestIndex(uint32_t pixel);
  std::unique_ptr<uint8_t[]> storage_;
  int lastIndex_ = 0;
};

// A rectangle of a bitmap or surface, seen as 32-bit pixels for the time of one operation:
// formats other than direct 32-bit are converted in and (when writing) back out.
class PixelLock {
 public:
  PixelLock(Bitmap& bitmap, const RECT& area, bool write);
  PixelLock(const PixelView& surface, const RECT& area);
  ~PixelLock();
  PixelLock(const PixelLock&) = delete;
  PixelLock& operator=(const PixelLock&) = delete;
  const PixelView& view() const { return view_; }

 private:
  Bitmap* bitmap_ = nullptr;
  RECT area_{};
  bool write_ = false;
  std::vector<uint32_t> shadow_;
  PixelView view_;
};

}  // namespace plat::gdi
