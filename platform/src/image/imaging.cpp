// The imaging service: picture files opened by their header, decoded on first use by the
// decoder of their format (see picture_decoders.h), scaled and drawn into contexts.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "fs/fs_internal.h"
#include "gdi/paint.h"
#include "image/bmp_decoder.h"
#include "image/picture_decoders.h"
#include "plat_core.h"
#include "plat_file.h"
#include "plat_image.h"

namespace plat::image {

std::chrono::milliseconds pictureBudgetTime() {
  static const std::chrono::milliseconds time = [] {
    const char* text = std::getenv("HU_PICTURE_SECONDS");
    if (!text || !*text) return std::chrono::milliseconds(1000);
    char* end = nullptr;
    const long seconds = std::strtol(text, &end, 10);
    if (*end || seconds < 1 || seconds > 60) {
      plat::console::writeUtf8(std::string("Imaging: HU_PICTURE_SECONDS=") + text +
                               " is not a number of seconds from 1 to 60; a picture gets 1 s\n");
      return std::chrono::milliseconds(1000);
    }
    return std::chrono::milliseconds(seconds * 1000);
  }();
  return time;
}

bool readPictureFile(const std::string& hostPath, std::vector<uint8_t>& bytes, std::string& why) {
  // Never opened when it is not a file: a named pipe would hold the loading thread for good.
  int fd = fs::openRegularFile(hostPath, O_RDONLY, 0, nullptr);
  if (fd < 0) {
    const std::string reason = lastFileFailure();
    if (errno == ENOENT || errno == ENOTDIR) why = kCannotOpen;
    else if (errno == EINVAL || errno == EISDIR) why = reason;
    else why = "cannot be read: " + reason;
    return false;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || static_cast<uint64_t>(st.st_size) > kPictureBudgetBytes) {
    ::close(fd);
    why = "file beyond the memory budget";
    return false;
  }
  bytes.resize(static_cast<size_t>(st.st_size));
  size_t got = 0;
  while (got < bytes.size()) {
    ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // a file that shrank meanwhile is read as far as it goes
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  bytes.resize(got);
  return true;
}

PictureFormat sniffPicture(const uint8_t* data, size_t size) {
  if (size >= 8 && std::memcmp(data, "\x89PNG\r\n\x1a\n", 8) == 0) return PictureFormat::Png;
  if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return PictureFormat::Jpeg;
  if (size >= 6 && std::memcmp(data, "GIF8", 4) == 0) return PictureFormat::Gif;
  if (size >= 2 && data[0] == 'B' && data[1] == 'M') return PictureFormat::Bmp;
  return PictureFormat::Unknown;
}

bool pictureSize(PictureFormat format, const uint8_t* data, size_t size, int& width, int& height, std::string& why) {
  switch (format) {
    case PictureFormat::Png: return pngSize(data, size, width, height, why);
    case PictureFormat::Jpeg: return jpegSize(data, size, width, height, why);
    case PictureFormat::Gif: return gifSize(data, size, width, height, why);
    case PictureFormat::Bmp: return bmpSize(data, size, width, height, why);
    case PictureFormat::Unknown: break;
  }
  why = "not a picture format we read";
  return false;
}

bool decodePicture(PictureFormat format, const uint8_t* data, size_t size, int coverWidth, int coverHeight,
                   LoadBudget& budget, Raster& out, std::string& why) {
  switch (format) {
    case PictureFormat::Png: return decodePng(data, size, budget, out, why);
    case PictureFormat::Jpeg: return decodeJpeg(data, size, coverWidth, coverHeight, budget, out, why);
    case PictureFormat::Gif: return decodeGif(data, size, budget, out, why);
    case PictureFormat::Bmp: return decodeBmpRaster(data, size, budget, out, why);
    case PictureFormat::Unknown: break;
  }
  why = "not a picture format we read";
  return false;
}

namespace {

// Area average of `src` (sw x sh) into w x h (each target pixel the mean of the source pixels
// it covers; one source pixel when enlarging).
std::vector<uint32_t> scale(const uint32_t* src, int sw, int sh, int w, int h) {
  std::vector<uint32_t> out(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    const int y0 = static_cast<int>(int64_t(y) * sh / h);
    const int y1 = std::max(y0 + 1, static_cast<int>(int64_t(y + 1) * sh / h));
    for (int x = 0; x < w; ++x) {
      const int x0 = static_cast<int>(int64_t(x) * sw / w);
      const int x1 = std::max(x0 + 1, static_cast<int>(int64_t(x + 1) * sw / w));
      uint64_t a = 0, r = 0, g = 0, b = 0, n = 0;
      for (int sy = y0; sy < y1; ++sy) {
        const uint32_t* p = src + static_cast<size_t>(sy) * sw + x0;
        for (int sx = x0; sx < x1; ++sx, ++p) {
          a += *p >> 24;
          r += (*p >> 16) & 255;
          g += (*p >> 8) & 255;
          b += *p & 255;
        }
        n += static_cast<uint64_t>(x1 - x0);
      }
      out[static_cast<size_t>(y) * w + x] =
          static_cast<uint32_t>(((a / n) << 24) | ((r / n) << 16) | ((g / n) << 8) | (b / n));
    }
  }
  return out;
}

}  // namespace

struct Image::Source {
  std::vector<uint8_t> bytes;
  PictureFormat format = PictureFormat::Unknown;
  std::string name;  // for console lines
};

Image::Image() = default;
Image::~Image() = default;

std::unique_ptr<Image> Image::fromMemory(const void* data, size_t size) {
  if (!data || !size || size > kPictureBudgetBytes) return nullptr;
  const auto* p = static_cast<const uint8_t*>(data);
  return fromBytes(std::vector<uint8_t>(p, p + size), "picture in memory");
}

std::unique_ptr<Image> Image::fromBytes(std::vector<uint8_t> bytes, std::string name) {
  const uint8_t* p = bytes.data();
  const size_t size = bytes.size();
  auto img = std::make_unique<Image>();
  auto source = std::make_shared<Source>();
  source->format = sniffPicture(p, size);
  source->name = std::move(name);
  std::string why;
  int w = 0, h = 0;
  if (!pictureSize(source->format, p, size, w, h, why)) return nullptr;
  // The smallest decode the format allows must fit beside the file's bytes.
  const bool jpeg = source->format == PictureFormat::Jpeg;
  const int64_t sw = jpeg ? jpegSmallestSide(w) : w, sh = jpeg ? jpegSmallestSide(h) : h;
  LoadBudget budget;
  if (!budget.take(size) || !budget.takePixels(sw, sh)) return nullptr;
  source->bytes = std::move(bytes);
  img->source_ = std::move(source);
  img->width_ = w;
  img->height_ = h;
  return img;
}

std::unique_ptr<Image> Image::fromFile(LPCWSTR devicePath) {
  if (!devicePath) return nullptr;
  const std::string path = plat::hostPath(devicePath);
  std::vector<uint8_t> bytes;
  std::string why;
  if (!readPictureFile(path, bytes, why)) {
    plat::console::writeUtf8("Imaging: cannot decode " + path + ": " + why + "\n");
    return nullptr;
  }
  int w = 0, h = 0;
  if (!pictureSize(sniffPicture(bytes.data(), bytes.size()), bytes.data(), bytes.size(), w, h, why)) {
    plat::console::writeUtf8("Imaging: cannot decode " + path + ": " + why + "\n");
    return nullptr;
  }
  auto img = fromBytes(std::move(bytes), path);
  if (!img) {
    plat::console::writeUtf8("Imaging: cannot decode " + path + ": picture of " + std::to_string(w) + "x" +
                             std::to_string(h) + " beyond the memory budget\n");
  }
  return img;
}

const std::vector<uint32_t>& Image::pixels() const {
  std::lock_guard lock(mutex_);
  if (decoded_ || !source_) return pixels_;
  decoded_ = true;
  LoadBudget budget;
  Raster raster;
  std::string why;
  if (budget.take(source_->bytes.size()) &&
      decodePicture(source_->format, source_->bytes.data(), source_->bytes.size(), 0, 0, budget, raster, why) &&
      raster.width == width_ && raster.height == height_) {
    pixels_ = std::move(raster.pixels);
  } else {
    plat::console::writeUtf8("Imaging: cannot decode " + source_->name + ": " + (why.empty() ? "damaged" : why) + "\n");
  }
  return pixels_;
}

std::unique_ptr<Image> Image::thumbnail(int w, int h) const {
  LoadBudget budget;
  if (!budget.takePixels(w, h) || !width_ || !height_) return nullptr;
  const uint32_t* src = nullptr;
  int sw = 0, sh = 0;
  Raster reduced;
  bool full = true;
  {
    std::lock_guard lock(mutex_);
    full = decoded_ || !source_ || source_->format != PictureFormat::Jpeg || (w >= width_ && h >= height_);
  }
  if (full) {
    const std::vector<uint32_t>& all = pixels();
    if (all.empty()) return nullptr;
    src = all.data();
    sw = width_;
    sh = height_;
  } else {
    // A camera photo carries a small copy of itself: when it covers the thumbnail and shows the
    // same picture (same proportions), it is all that needs decoding. Otherwise the photo
    // decodes straight to the smallest scale that covers the thumbnail.
    std::string why;
    const uint8_t* exif = nullptr;
    size_t exifSize = 0;
    if (!budget.take(source_->bytes.size())) return nullptr;
    if (jpegExifThumbnail(source_->bytes.data(), source_->bytes.size(), exif, exifSize)) {
      LoadBudget small(budget.left());
      Raster r;
      if (decodeJpeg(exif, exifSize, w, h, small, r, why) && r.width >= w && r.height >= h &&
          std::llabs(int64_t(r.width) * height_ - int64_t(r.height) * width_) * 50 <= int64_t(r.width) * height_)
        reduced = std::move(r);
    }
    if (reduced.pixels.empty() &&
        !decodePicture(source_->format, source_->bytes.data(), source_->bytes.size(), w, h, budget, reduced, why)) {
      plat::console::writeUtf8("Imaging: cannot decode " + source_->name + ": " + why + "\n");
      return nullptr;
    }
    src = reduced.pixels.data();
    sw = reduced.width;
    sh = reduced.height;
  }
  auto out = std::make_unique<Image>();
  out->width_ = w;
  out->height_ = h;
  out->decoded_ = true;
  out->pixels_ = (sw == w && sh == h) ? std::vector<uint32_t>(src, src + size_t(w) * h) : scale(src, sw, sh, w, h);
  return out;
}

BOOL Image::draw(HDC handle, const RECT& rect) const {
  auto dc = gdi::findDC(handle);
  const int64_t w64 = int64_t(rect.right) - rect.left, h64 = int64_t(rect.bottom) - rect.top;
  if (!dc || w64 <= 0 || h64 <= 0 || w64 > 32768 || h64 > 32768 || !width_ || !height_) return FALSE;
  const int w = static_cast<int>(w64), h = static_cast<int>(h64);
  // The same limit as a thumbnail of that size would have.
  if ((w != width_ || h != height_) && int64_t(w) * h > (64LL << 20)) return FALSE;
  // A picture not decoded yet and drawn at another size goes through its thumbnail, which can
  // decode at a reduced scale; decoded pixels are scaled while they are drawn.
  std::unique_ptr<Image> scaled;
  const std::vector<uint32_t>* src = nullptr;
  int sw = width_, sh = height_;
  if ((w != width_ || h != height_) && !decoded_) {
    scaled = thumbnail(w, h);
    if (!scaled) return FALSE;
    src = &scaled->pixels_;
    sw = scaled->width_;
    sh = scaled->height_;
  } else {
    src = &pixels();
  }
  if (src->empty()) return FALSE;
  std::lock_guard lock(dc->mutex);
  const RECT d{dc->toDeviceX(rect.left), dc->toDeviceY(rect.top), dc->toDeviceX(int64_t(rect.left) + w),
               dc->toDeviceY(int64_t(rect.top) + h)};
  gdi::DrawScope scope(*dc, d);
  if (scope.empty()) return TRUE;
  // Scaled and blended in one pass over the visible part: no scaled copy is made per draw.
  gdi::drawPicture(scope, RECT{d.left, d.top, d.left + w, d.top + h}, src->data(), sw, sh);
  return TRUE;
}

}  // namespace plat::image
