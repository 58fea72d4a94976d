// Bitmap files and the imaging service. (Owned by the images area.)
#pragma once

#include "plat_types.h"

// Loads a .bmp file (device path) into a DIB-section bitmap; null when it cannot be read.
HBITMAP SHLoadDIBitmap(LPCWSTR fileName);

#include <memory>
#include <vector>

namespace plat::image {

// The imaging service the thumbnail loader uses: a decoded picture (JPEG, PNG, BMP or GIF,
// its first frame) that can be measured, scaled and drawn into a rectangle of a context.
class Image {
 public:
  // Null (and a console line) when the file is missing or cannot be decoded.
  static std::unique_ptr<Image> fromFile(LPCWSTR devicePath);
  static std::unique_ptr<Image> fromMemory(const void* data, size_t size);

  int width() const { return width_; }
  int height() const { return height_; }
  // A copy scaled to width x height (area average when shrinking); null for bad sizes.
  std::unique_ptr<Image> thumbnail(int width, int height) const;
  // Draws the picture scaled into `rect` (logical coordinates of dc), blending its alpha
  // over what is there. FALSE for a bad context or an empty rectangle.
  BOOL draw(HDC dc, const RECT& rect) const;
  // Pixels 0xAARRGGBB, rows top-down.
  const std::vector<uint32_t>& pixels() const { return pixels_; }

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<uint32_t> pixels_;
};

}  // namespace plat::image
