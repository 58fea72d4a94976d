// Helpers for the GDI tests: a memory context on a surface-format bitmap, pixel access.
#pragma once

#include "golden_image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "windows.h"

namespace gdi_test {

// A memory DC with a width x height 32-bit top-down DIB section selected; freed at scope end.
class Canvas {
 public:
  Canvas(int width, int height, uint32_t fill = 0) : width_(width), height_(height) {
    BITMAPINFO info{};
    info.bmiHeader = {40, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    pixels_ = static_cast<uint32_t*>(bits);
    dc_ = CreateCompatibleDC(nullptr);
    old_ = SelectObject(dc_, bitmap_);
    std::fill(pixels_, pixels_ + width * height, fill);
  }
  ~Canvas() {
    SelectObject(dc_, old_);
    DeleteDC(dc_);
    DeleteObject(bitmap_);
  }
  HDC dc() const { return dc_; }
  HBITMAP bitmap() const { return bitmap_; }
  int width() const { return width_; }
  int height() const { return height_; }
  // 0x00RRGGBB
  uint32_t at(int x, int y) const { return pixels_[y * width_ + x] & 0xFFFFFF; }
  uint32_t* pixels() const { return pixels_; }
  // One character per pixel: '#' where the pixel equals `ink`, '.' elsewhere.
  std::string mask(uint32_t ink) const {
    std::string s;
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) s += at(x, y) == ink ? '#' : '.';
      s += '\n';
    }
    return s;
  }

 private:
  int width_, height_;
  HBITMAP bitmap_;
  HDC dc_;
  HGDIOBJ old_;
  uint32_t* pixels_;
};

using test_support::expectGolden;

}  // namespace gdi_test
