// Bitmap files and the imaging service. (Owned by the images area.)
#pragma once

#include "plat_types.h"

// Loads a .bmp file (device path) into a DIB-section bitmap; null when it cannot be read.
HBITMAP SHLoadDIBitmap(LPCWSTR fileName);

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace plat::image {

// The imaging service the thumbnail loader uses: a picture file (JPEG, PNG, BMP or GIF, its
// first frame) that can be measured, scaled and drawn into a rectangle of a context.
//
// Opening reads the file and its header only; the pixels are decoded when first needed, and a
// thumbnail of a JPEG is decoded at the smallest scale that still covers it. Every load keeps
// within a fixed memory and time budget (docs: platform/docs/images.md), whatever sizes the file
// declares: a picture that cannot fit is refused when it is opened.
class Image {
 public:
  // Null (and a console line) when the file is missing, is no picture we read, or declares a
  // picture beyond the budget.
  static std::unique_ptr<Image> fromFile(LPCWSTR devicePath);
  static std::unique_ptr<Image> fromMemory(const void* data, size_t size);

  Image();
  ~Image();
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  int width() const { return width_; }
  int height() const { return height_; }
  // A copy scaled to width x height (area average when shrinking); null for bad sizes or when
  // the picture's data turns out damaged.
  std::unique_ptr<Image> thumbnail(int width, int height) const;
  // Draws the picture scaled into `rect` (logical coordinates of dc), blending its alpha
  // over what is there. FALSE for a bad context, an empty rectangle or damaged data.
  BOOL draw(HDC dc, const RECT& rect) const;
  // Pixels 0xAARRGGBB, rows top-down, width() x height() of them; empty when the data turns
  // out damaged or the full-size picture does not fit the budget (a thumbnail may still).
  const std::vector<uint32_t>& pixels() const;

 private:
  struct Source;
  static std::unique_ptr<Image> fromBytes(std::vector<uint8_t> bytes, std::string name);
  std::shared_ptr<const Source> source_;  // null for pictures made decoded (thumbnails)
  int width_ = 0;
  int height_ = 0;
  mutable std::mutex mutex_;
  mutable bool decoded_ = false;
  mutable std::vector<uint32_t> pixels_;
};

}  // namespace plat::image
