// The imaging service: pictures decoded by stb_image, scaled and drawn into contexts.
#include <cstdio>
#include <mutex>

#include "gdi/paint.h"
#include "plat_core.h"
#include "plat_file.h"
#include "plat_image.h"
#include "stb_image.h"

namespace plat::image {

std::unique_ptr<Image> Image::fromMemory(const void* data, size_t size) {
  if (!data || !size || size > 0x7FFFFFFF) return nullptr;
  int w = 0, h = 0, n = 0;
  stbi_uc* rgba = stbi_load_from_memory(static_cast<const stbi_uc*>(data), static_cast<int>(size), &w, &h, &n, 4);
  if (!rgba) return nullptr;
  auto img = std::make_unique<Image>();
  img->width_ = w;
  img->height_ = h;
  img->pixels_.resize(static_cast<size_t>(w) * h);
  for (size_t i = 0; i < img->pixels_.size(); ++i) {
    const stbi_uc* p = rgba + i * 4;
    img->pixels_[i] = (uint32_t(p[3]) << 24) | (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
  }
  stbi_image_free(rgba);
  return img;
}

std::unique_ptr<Image> Image::fromFile(LPCWSTR devicePath) {
  if (!devicePath) return nullptr;
  const std::string path = plat::hostPath(devicePath);
  std::vector<uint8_t> bytes;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    uint8_t buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0 && bytes.size() < (256u << 20))
      bytes.insert(bytes.end(), buffer, buffer + got);
    std::fclose(f);
  }
  auto img = fromMemory(bytes.data(), bytes.size());
  if (!img) plat::console::writeUtf8("Imaging: cannot decode " + path + "\n");
  return img;
}

std::unique_ptr<Image> Image::thumbnail(int w, int h) const {
  if (w <= 0 || h <= 0 || int64_t(w) * h > (64LL << 20) || pixels_.empty()) return nullptr;
  auto out = std::make_unique<Image>();
  out->width_ = w;
  out->height_ = h;
  out->pixels_.resize(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    const int y0 = static_cast<int>(int64_t(y) * height_ / h);
    const int y1 = std::max(y0 + 1, static_cast<int>(int64_t(y + 1) * height_ / h));
    for (int x = 0; x < w; ++x) {
      const int x0 = static_cast<int>(int64_t(x) * width_ / w);
      const int x1 = std::max(x0 + 1, static_cast<int>(int64_t(x + 1) * width_ / w));
      // The average of the source pixels the target pixel covers (one when enlarging).
      uint64_t a = 0, r = 0, g = 0, b = 0, n = 0;
      for (int sy = y0; sy < y1; ++sy)
        for (int sx = x0; sx < x1; ++sx) {
          const uint32_t p = pixels_[static_cast<size_t>(sy) * width_ + sx];
          a += p >> 24;
          r += (p >> 16) & 255;
          g += (p >> 8) & 255;
          b += p & 255;
          ++n;
        }
      out->pixels_[static_cast<size_t>(y) * w + x] =
          static_cast<uint32_t>(((a / n) << 24) | ((r / n) << 16) | ((g / n) << 8) | (b / n));
    }
  }
  return out;
}

BOOL Image::draw(HDC handle, const RECT& rect) const {
  auto dc = gdi::findDC(handle);
  const int64_t w64 = int64_t(rect.right) - rect.left, h64 = int64_t(rect.bottom) - rect.top;
  if (!dc || w64 <= 0 || h64 <= 0 || w64 > 32768 || h64 > 32768 || pixels_.empty()) return FALSE;
  const int w = static_cast<int>(w64), h = static_cast<int>(h64);
  // The same limit as a thumbnail of that size would have.
  if ((w != width_ || h != height_) && int64_t(w) * h > (64LL << 20)) return FALSE;
  std::lock_guard lock(dc->mutex);
  const RECT d{dc->toDeviceX(rect.left), dc->toDeviceY(rect.top), dc->toDeviceX(int64_t(rect.left) + w),
               dc->toDeviceY(int64_t(rect.top) + h)};
  gdi::DrawScope scope(*dc, d);
  if (scope.empty()) return TRUE;
  // Scaled and blended in one pass over the visible part: no scaled copy is made per draw.
  gdi::drawPicture(scope, RECT{d.left, d.top, d.left + w, d.top + h}, pixels_.data(), width_, height_);
  return TRUE;
}

}  // namespace plat::image
