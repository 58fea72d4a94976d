// Bitmap files made to order for the tests: 24 bits a pixel, rows stored from the bottom as
// the device's files have them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace hu::test {

// A w x h bitmap file whose pixel (x, y), y counted from the top, is paint(x, y) as 0xRRGGBB.
inline std::string bitmapFile(int w, int h, const std::function<uint32_t(int, int)>& paint) {
  const int row = (w * 3 + 3) & ~3;
  std::string data(static_cast<size_t>(row) * h, '\0');
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const uint32_t rgb = paint(x, h - 1 - y);  // rows stored from the bottom
      const size_t at = static_cast<size_t>(y) * row + static_cast<size_t>(x) * 3;
      data[at] = static_cast<char>(rgb & 0xFF);
      data[at + 1] = static_cast<char>((rgb >> 8) & 0xFF);
      data[at + 2] = static_cast<char>((rgb >> 16) & 0xFF);
    }
  }
  auto u16 = [](uint32_t v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; };
  auto u32 = [&](uint32_t v) { return u16(v & 0xFFFF) + u16(v >> 16); };
  std::string file = "BM" + u32(static_cast<uint32_t>(54 + data.size())) + u32(0) + u32(54);
  file += u32(40) + u32(static_cast<uint32_t>(w)) + u32(static_cast<uint32_t>(h)) + u16(1) + u16(24) + u32(0) +
          u32(static_cast<uint32_t>(data.size())) + u32(2835) + u32(2835) + u32(0) + u32(0);
  return file + data;
}

}  // namespace hu::test
