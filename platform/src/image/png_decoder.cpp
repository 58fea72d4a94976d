// PNG through libpng: the reference decoder, with zlib's inflate (faster than a single-header
// one), and it reads row by row straight into our 32-bit pixels, so a picture takes no memory
// beyond its pixels. Errors come back through longjmp to the frame that set the jump.
#include <csetjmp>
#include <cstring>

#include <png.h>

#include "image/picture_decoders.h"

namespace plat::image {
namespace {

struct Reader {
  const uint8_t* data;
  size_t size;
  size_t at;
  std::string message;
};

void onRead(png_structp png, png_bytep out, size_t n) {
  auto* r = static_cast<Reader*>(png_get_io_ptr(png));
  if (n > r->size - r->at) png_error(png, "file ends early");
  std::memcpy(out, r->data + r->at, n);
  r->at += n;
}

[[noreturn]] void onError(png_structp png, png_const_charp message) {
  auto* r = static_cast<Reader*>(png_get_error_ptr(png));
  r->message = message ? message : "error";
  png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

uint32_t be32(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; }

}  // namespace

bool pngSize(const uint8_t* data, size_t size, int& width, int& height, std::string& why) {
  if (size < 33 || std::memcmp(data, kSignature, 8) != 0 || std::memcmp(data + 12, "IHDR", 4) != 0) {
    why = "not a PNG file";
    return false;
  }
  const uint32_t w = be32(data + 16), h = be32(data + 20);
  if (!w || !h || w > 0x7FFFFFFF || h > 0x7FFFFFFF) {
    why = "bad size";
    return false;
  }
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  return true;
}

bool decodePng(const uint8_t* data, size_t size, LoadBudget& budget, Raster& out, std::string& why) {
  int declaredW = 0, declaredH = 0;
  if (!pngSize(data, size, declaredW, declaredH, why)) return false;
  // Refused before libpng takes anything for it.
  if (!budget.takePixels(declaredW, declaredH)) {
    why = "picture beyond the memory budget";
    return false;
  }
  Reader reader{data, size, 0, {}};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reader, onError, onWarning);
  if (!png) {
    why = "out of memory";
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    why = reader.message.empty() ? "damaged file" : reader.message;
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    out = Raster{};
    return false;
  }
  // Ancillary chunks (text, profiles) can be any size; none of them is kept.
  png_set_chunk_malloc_max(png, 1u << 20);
  png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
  png_set_read_fn(png, &reader, onRead);
  png_read_info(png, info);
  const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
  // Everything to 8-bit B, G, R, A bytes: one little-endian 0xAARRGGBB word per pixel.
  png_set_expand(png);
  png_set_scale_16(png);
  png_set_gray_to_rgb(png);
  png_set_bgr(png);
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != size_t(w) * 4) png_error(png, "unexpected row format");
  out.width = static_cast<int>(w);
  out.height = static_cast<int>(h);
  out.pixels.assign(size_t(w) * h, 0);
  for (int pass = 0; pass < passes; ++pass) {
    for (png_uint_32 y = 0; y < h; ++y) {
      png_read_row(png, reinterpret_cast<png_bytep>(&out.pixels[size_t(y) * w]), nullptr);
      if ((y & 63) == 0 && budget.expired()) png_error(png, "decoding takes longer than the time budget");
    }
  }
  // What follows the last row (text, a damaged end chunk) cannot change the picture.
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

}  // namespace plat::image
