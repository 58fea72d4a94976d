// SHLoadDIBitmap: .bmp files of every form the device's platform writes into a 32-bit DIB section.
//
// Whatever the file's format (1/2/4/8 bits with a colour table, RLE4, RLE8, 16 and 32 bits with
// or without bit fields, alpha bit fields, 24 bits, top-down or bottom-up, OS/2 headers), the
// bitmap handed back holds 32-bit top-down pixels: every later copy from it is then a plain row
// copy. Every size and offset read from the file is checked before use; a file that does not
// add up is refused, and so is one whose picture would not fit the picture budget. The surface
// keeps no alpha, and colour counts beyond the bit depth are refused (docs/deviations.md, Pictures).
#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "gdi/bitmap.h"
#include "image/bmp_decoder.h"
#include "plat_core.h"
#include "plat_file.h"
#include "plat_image.h"

namespace plat::image {
namespace {

// Compression 6: bit fields with a fourth (alpha) mask, a form of the device's platform.
constexpr uint32_t kAlphaBitFields = 6;

uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t u32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
int32_t s32(const uint8_t* p) { return static_cast<int32_t>(u32(p)); }

// One bit-field channel: the masked bits, shifted down, scaled to 0-255 with rounding.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  uint64_t max = 0;
  explicit Channel(uint32_t m = 0) : mask(m) {
    if (m) {
      shift = std::countr_zero(m);
      max = m >> shift;
    }
  }
  uint32_t operator()(uint32_t v) const {
    return max ? static_cast<uint32_t>((((v & mask) >> shift) * 255 + max / 2) / max) : 0;
  }
};

struct Header {
  int width = 0;
  int height = 0;  // positive
  bool topDown = false;
  int bitCount = 0;
  uint32_t compression = BI_RGB;
  uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
  uint32_t offBits = 0;
  size_t rowBytes = 0;
  std::vector<uint32_t> palette;  // 0x00RRGGBB
};

bool parse(const uint8_t* data, size_t size, Header& h, std::string& why) {
  if (size < 14 + 12 || data[0] != 'B' || data[1] != 'M') {
    why = "not a BMP file";
    return false;
  }
  h.offBits = u32(data + 10);
  const uint8_t* ih = data + 14;
  const uint32_t headerSize = u32(ih);
  int planes = 0;
  size_t paletteEntry = 4;
  uint32_t used = 0;
  if (headerSize == 12) {  // OS/2 1.x
    h.width = u16(ih + 4);
    h.height = static_cast<int16_t>(u16(ih + 6));
    planes = u16(ih + 8);
    h.bitCount = u16(ih + 10);
    paletteEntry = 3;
  } else if (headerSize >= 16 && headerSize <= 124 && 14 + static_cast<size_t>(headerSize) <= size) {
    h.width = s32(ih + 4);
    const int32_t hh = s32(ih + 8);
    if (hh == INT32_MIN) {
      why = "bad height";
      return false;
    }
    h.topDown = hh < 0;
    h.height = hh < 0 ? -hh : hh;
    planes = u16(ih + 12);
    h.bitCount = u16(ih + 14);
    if (headerSize >= 20) h.compression = u32(ih + 16);
    if (headerSize >= 36) used = u32(ih + 32);
    if ((headerSize == 64 || headerSize == 16) && h.compression > BI_RLE4) {
      // OS/2 2.x: its compression numbers 3 and 4 mean Huffman and RLE24, which we do not read.
      why = "unsupported OS/2 compression";
      return false;
    }
  } else {
    why = "bad header size";
    return false;
  }
  size_t paletteAt = 14 + headerSize;
  if (planes != 1) {
    why = "bad plane count";
    return false;
  }
  if (h.width <= 0 || h.height <= 0) {
    why = "bad size";
    return false;
  }
  const int bc = h.bitCount;
  const uint32_t c = h.compression;
  const bool okFormat = (c == BI_RGB && (bc == 1 || bc == 2 || bc == 4 || bc == 8 || bc == 16 || bc == 24 || bc == 32)) ||
                        (c == BI_RLE8 && bc == 8) || (c == BI_RLE4 && bc == 4) ||
                        ((c == BI_BITFIELDS || c == kAlphaBitFields) && (bc == 16 || bc == 32));
  if (!okFormat) {
    why = "unsupported bit count or compression";
    return false;
  }
  if ((c == BI_RLE8 || c == BI_RLE4) && h.topDown) {
    why = "top-down RLE";
    return false;
  }
  if (c == BI_BITFIELDS || c == kAlphaBitFields) {
    // The masks follow a 40-byte header, or sit inside a larger one (the alpha mask from 56 bytes).
    const size_t count = c == kAlphaBitFields ? 4 : 3;
    const bool inside = headerSize >= 40 + 4 * count;
    const size_t at = inside ? 14 + 40 : paletteAt;
    if (at + 4 * count > size) {
      why = "truncated bit fields";
      return false;
    }
    for (size_t k = 0; k < count; ++k) h.masks[k] = u32(data + at + 4 * k);
    if (c == BI_BITFIELDS && headerSize >= 56) h.masks[3] = u32(data + 14 + 52);
    if (!inside) paletteAt += 4 * count;
    if (!h.masks[0] && !h.masks[1] && !h.masks[2]) {
      why = "empty bit fields";
      return false;
    }
  } else if (bc == 16) {
    h.masks[0] = 0x7C00;
    h.masks[1] = 0x03E0;
    h.masks[2] = 0x001F;
  } else if (bc == 32) {
    h.masks[0] = 0xFF0000;
    h.masks[1] = 0xFF00;
    h.masks[2] = 0xFF;
  }
  if (bc <= 8) {
    // A colour count beyond what the bits can address is a damaged header, not a longer table.
    if (used > (1u << bc)) {
      why = "more colours than the bit count allows";
      return false;
    }
    size_t n = used ? used : (1u << bc);
    // A table that runs into the pixels or past the file is cut to what is there.
    const size_t end = h.offBits > paletteAt && h.offBits <= size ? h.offBits : size;
    if (paletteAt + n * paletteEntry > end) n = end > paletteAt ? (end - paletteAt) / paletteEntry : 0;
    h.palette.resize(n);
    for (size_t i = 0; i < n; ++i) {
      const uint8_t* q = data + paletteAt + i * paletteEntry;
      h.palette[i] = (uint32_t(q[2]) << 16) | (q[1] << 8) | q[0];
    }
  }
  if (h.offBits < 14 + std::min<uint32_t>(headerSize, 12) || h.offBits >= size) {
    why = "bad pixel offset";
    return false;
  }
  h.rowBytes = ((static_cast<size_t>(h.width) * bc + 31) / 32) * 4;
  if (c != BI_RLE8 && c != BI_RLE4 && h.rowBytes * static_cast<size_t>(h.height) > size - h.offBits) {
    why = "file shorter than its pixels";
    return false;
  }
  return true;
}

// RLE8 / RLE4 into rows (picture row y at out + y * width). Pixels the stream skips keep the
// colour of index 0.
void decodeRle(const uint8_t* p, size_t n, const Header& h, const std::vector<uint32_t>& palette, uint32_t* out) {
  const uint32_t fill = palette.empty() ? 0 : palette[0];
  std::fill(out, out + static_cast<size_t>(h.width) * h.height, fill);
  const size_t pal = palette.size();
  const uint32_t black = palette.empty() ? 0 : palette[0] & 0xFF000000u;
  auto color = [&](unsigned i) { return i < pal ? palette[i] : black; };
  const bool four = h.compression == BI_RLE4;
  int64_t x = 0;  // runs may claim more pixels than a row holds; counted without overflow
  int row = 0;    // counted from the bottom
  auto put = [&](unsigned index) {
    if (x < h.width && row < h.height) out[static_cast<size_t>(h.height - 1 - row) * h.width + x] = color(index);
    ++x;
  };
  size_t i = 0;
  while (i + 1 < n && row < h.height) {
    const unsigned count = p[i], value = p[i + 1];
    i += 2;
    if (count) {
      // A run never reaches past its row; what would lie beyond it is not drawn.
      const unsigned drawn = x < h.width ? static_cast<unsigned>(std::min<int64_t>(count, h.width - x)) : 0;
      for (unsigned k = 0; k < drawn; ++k) put(four ? ((k & 1) ? value & 15 : value >> 4) : value);
      x += count - drawn;
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++row;
    } else if (value == 1) {  // end of bitmap
      break;
    } else if (value == 2) {  // delta
      if (i + 1 >= n) break;
      x += p[i];
      row += p[i + 1];
      i += 2;
    } else {  // absolute run of `value` pixels, padded to 16 bits
      const size_t bytes = four ? (value + 1) / 2 : value;
      if (i + bytes > n) break;
      for (unsigned k = 0; k < value; ++k) put(four ? ((k & 1) ? p[i + k / 2] & 15 : p[i + k / 2] >> 4) : p[i + k]);
      i += (bytes + 1) & ~size_t(1);
    }
  }
}

// The picture into `out` (width * height pixels, top-down); `alpha` is the top byte of opaque
// pixels (0 for surface pixels, 0xFF for pictures with alpha), and with `keepAlpha` the file's
// alpha replaces it where the file has one.
void decodePixels(const uint8_t* data, size_t size, const Header& h, uint32_t* out, uint32_t opaque, bool keepAlpha) {
  const uint8_t* pixels = data + h.offBits;
  const size_t W = static_cast<size_t>(h.width);
  const uint32_t top = opaque << 24;
  std::vector<uint32_t> palette = h.palette;
  for (uint32_t& p : palette) p |= top;
  if (h.compression == BI_RLE8 || h.compression == BI_RLE4) {
    decodeRle(pixels, size - h.offBits, h, palette, out);
    return;
  }
  auto fileRow = [&](int y) { return pixels + h.rowBytes * static_cast<size_t>(h.topDown ? y : h.height - 1 - y); };
  const int bc = h.bitCount;
  if (bc <= 8) {
    const unsigned perByte = 8 / bc, mask = (1u << bc) - 1;
    const size_t pal = palette.size();
    for (int y = 0; y < h.height; ++y) {
      const uint8_t* s = fileRow(y);
      uint32_t* d = out + W * y;
      for (size_t x = 0; x < W; ++x) {
        const unsigned index = (s[x / perByte] >> (8 - bc - bc * (x % perByte))) & mask;
        d[x] = index < pal ? palette[index] : top;
      }
    }
    return;
  }
  if (bc == 24) {
    for (int y = 0; y < h.height; ++y) {
      const uint8_t* s = fileRow(y);
      uint32_t* d = out + W * y;
      for (size_t x = 0; x < W; ++x, s += 3) d[x] = top | (uint32_t(s[2]) << 16) | (uint32_t(s[1]) << 8) | s[0];
    }
    return;
  }
  // 32 bits without bit fields: the fourth byte is alpha only when some pixel uses it.
  const bool plain32 = bc == 32 && h.compression == BI_RGB;
  bool fourthByte = false;
  if (plain32 && keepAlpha) {
    for (int y = 0; y < h.height && !fourthByte; ++y) {
      const uint8_t* s = fileRow(y);
      for (size_t x = 0; x < W; ++x)
        if (s[x * 4 + 3]) {
          fourthByte = true;
          break;
        }
    }
  }
  if (plain32 || (bc == 32 && h.masks[0] == 0xFF0000 && h.masks[1] == 0xFF00 && h.masks[2] == 0xFF &&
                  (!keepAlpha || h.masks[3] == 0 || h.masks[3] == 0xFF000000u))) {
    const bool alpha = keepAlpha && (plain32 ? fourthByte : h.masks[3] != 0);
    for (int y = 0; y < h.height; ++y) {
      const uint8_t* s = fileRow(y);
      uint32_t* d = out + W * y;
      for (size_t x = 0; x < W; ++x, s += 4)
        d[x] = (alpha ? uint32_t(s[3]) << 24 : top) | (uint32_t(s[2]) << 16) | (uint32_t(s[1]) << 8) | s[0];
    }
    return;
  }
  // 16 or 32 bits with masks.
  const Channel r(h.masks[0]), g(h.masks[1]), b(h.masks[2]), a(keepAlpha ? h.masks[3] : 0);
  for (int y = 0; y < h.height; ++y) {
    const uint8_t* s = fileRow(y);
    uint32_t* d = out + W * y;
    for (size_t x = 0; x < W; ++x) {
      const uint32_t v = bc == 16 ? u16(s + x * 2) : u32(s + x * 4);
      d[x] = (a.mask ? a(v) << 24 : top) | (r(v) << 16) | (g(v) << 8) | b(v);
    }
  }
}

}  // namespace

bool bmpSize(const uint8_t* data, size_t size, int& width, int& height, std::string& why) {
  Header h;
  if (!parse(data, size, h, why)) return false;
  width = h.width;
  height = h.height;
  return true;
}

std::shared_ptr<gdi::Bitmap> decodeBmp(const uint8_t* data, size_t size, std::string& why) {
  Header h;
  if (!parse(data, size, h, why)) return nullptr;
  LoadBudget budget;
  if (!budget.take(size) || !budget.takePixels(h.width, h.height)) {
    why = "picture beyond the memory budget";
    return nullptr;
  }
  BITMAPINFO info{};
  info.bmiHeader = {40, h.width, -h.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  std::shared_ptr<gdi::Bitmap> bitmap = gdi::Bitmap::createDib(&info, DIB_RGB_COLORS);
  if (!bitmap) {
    why = "too large";
    return nullptr;
  }
  decodePixels(data, size, h, reinterpret_cast<uint32_t*>(bitmap->bits()), 0, false);
  return bitmap;
}

bool decodeBmpRaster(const uint8_t* data, size_t size, LoadBudget& budget, Raster& out, std::string& why) {
  Header h;
  if (!parse(data, size, h, why)) return false;
  if (!budget.takePixels(h.width, h.height)) {
    why = "picture beyond the memory budget";
    return false;
  }
  out.width = h.width;
  out.height = h.height;
  out.pixels.assign(static_cast<size_t>(h.width) * h.height, 0);
  decodePixels(data, size, h, out.pixels.data(), 0xFF, true);
  return true;
}

}  // namespace plat::image

HBITMAP SHLoadDIBitmap(LPCWSTR fileName) {
  if (!fileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::string path = plat::hostPath(fileName);
  std::vector<uint8_t> bytes;
  std::string why;
  if (!plat::image::readPictureFile(path, bytes, why)) {
    // A missing file is the caller's to report (the image table names the id); a file that
    // is there but cannot be taken is ours.
    const bool missing = why == plat::image::kCannotOpen;
    if (!missing) plat::console::writeUtf8("SHLoadDIBitmap: " + path + ": " + why + "\n");
    SetLastError(missing ? ERROR_FILE_NOT_FOUND
                 : why.compare(0, 15, "cannot be read:") == 0 || why.find("not a file") != std::string::npos
                     ? ERROR_ACCESS_DENIED
                     : ERROR_INVALID_DATA);
    return nullptr;
  }
  auto bitmap = plat::image::decodeBmp(bytes.data(), bytes.size(), why);
  if (!bitmap) {
    plat::console::writeUtf8("SHLoadDIBitmap: " + path + ": " + why + "\n");
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  return plat::gdi::addObject(bitmap);
}
