// SHLoadDIBitmap: .bmp files of every common form into a 32-bit DIB section.
//
// Whatever the file's format (1/4/8 bits with a colour table, RLE4, RLE8, 16 and 32 bits with
// or without bit fields, 24 bits, top-down or bottom-up, OS/2 headers), the bitmap handed back
// holds 32-bit top-down pixels: every later copy from it is then a plain row copy. Every size
// and offset read from the file is checked before use; a file that does not add up is refused.
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

uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t u32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
int32_t s32(const uint8_t* p) { return static_cast<int32_t>(u32(p)); }

struct Header {
  int width = 0;
  int height = 0;  // positive
  bool topDown = false;
  int bitCount = 0;
  uint32_t compression = BI_RGB;
  uint32_t masks[3] = {0, 0, 0};
  std::vector<uint32_t> palette;  // surface pixels
};

// RLE8 / RLE4 into 32-bit rows (picture row y at out + y * width). Pixels the stream skips
// keep the colour of index 0.
void decodeRle(const uint8_t* p, size_t n, const Header& h, uint32_t* out) {
  const uint32_t fill = h.palette.empty() ? 0 : h.palette[0];
  std::fill(out, out + static_cast<size_t>(h.width) * h.height, fill);
  const size_t pal = h.palette.size();
  auto color = [&](unsigned i) { return i < pal ? h.palette[i] : 0u; };
  const bool four = h.compression == BI_RLE4;
  int x = 0, row = 0;  // row counted from the bottom
  auto put = [&](unsigned index) {
    if (x < h.width && row < h.height) out[static_cast<size_t>(h.height - 1 - row) * h.width + x] = color(index);
    ++x;
  };
  size_t i = 0;
  while (i + 1 < n && row < h.height) {
    const unsigned count = p[i], value = p[i + 1];
    i += 2;
    if (count) {
      for (unsigned k = 0; k < count; ++k) put(four ? ((k & 1) ? value & 15 : value >> 4) : value);
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

}  // namespace

std::shared_ptr<gdi::Bitmap> decodeBmp(const uint8_t* data, size_t size, std::string& why) {
  if (size < 14 + 12 || data[0] != 'B' || data[1] != 'M') {
    why = "not a BMP file";
    return nullptr;
  }
  const uint32_t offBits = u32(data + 10);
  const uint8_t* ih = data + 14;
  const uint32_t headerSize = u32(ih);
  Header h;
  size_t paletteAt = 0, paletteEntry = 4;
  int planes = 0;
  if (headerSize == 12) {  // OS/2 1.x
    h.width = u16(ih + 4);
    const int hh = static_cast<int16_t>(u16(ih + 6));
    h.height = hh;
    planes = u16(ih + 8);
    h.bitCount = u16(ih + 10);
    paletteEntry = 3;
  } else if (headerSize >= 16 && headerSize <= 124 && 14 + static_cast<size_t>(headerSize) <= size) {
    h.width = s32(ih + 4);
    const int32_t hh = s32(ih + 8);
    if (hh == INT32_MIN) {
      why = "bad height";
      return nullptr;
    }
    h.topDown = hh < 0;
    h.height = hh < 0 ? -hh : hh;
    planes = u16(ih + 12);
    h.bitCount = u16(ih + 14);
    if (headerSize >= 20) h.compression = u32(ih + 16);
    if (headerSize == 64 || headerSize == 16) {
      // OS/2 2.x: its compression numbers 3 and 4 mean Huffman and RLE24, which we do not read.
      if (h.compression > BI_RLE4) {
        why = "unsupported OS/2 compression";
        return nullptr;
      }
    }
  } else {
    why = "bad header size";
    return nullptr;
  }
  paletteAt = 14 + headerSize;
  if (planes != 1) {
    why = "bad plane count";
    return nullptr;
  }
  if (h.width <= 0 || h.height <= 0) {
    why = "bad size";
    return nullptr;
  }
  const int bc = h.bitCount;
  const bool rle = h.compression == BI_RLE8 || h.compression == BI_RLE4;
  const bool okFormat = (h.compression == BI_RGB && (bc == 1 || bc == 4 || bc == 8 || bc == 16 || bc == 24 || bc == 32)) ||
                        (h.compression == BI_RLE8 && bc == 8) || (h.compression == BI_RLE4 && bc == 4) ||
                        (h.compression == BI_BITFIELDS && (bc == 16 || bc == 32));
  if (!okFormat) {
    why = "unsupported bit count or compression";
    return nullptr;
  }
  if (rle && h.topDown) {
    why = "top-down RLE";
    return nullptr;
  }
  if (h.compression == BI_BITFIELDS) {
    // Masks follow a 40-byte header, or sit inside a larger one.
    const size_t at = headerSize >= 52 ? 14 + 40 : paletteAt;
    if (at + 12 > size) {
      why = "truncated bit fields";
      return nullptr;
    }
    for (int k = 0; k < 3; ++k) h.masks[k] = u32(data + at + 4 * k);
    if (headerSize == 40) paletteAt += 12;
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
    const uint32_t used = headerSize >= 36 ? u32(ih + 32) : 0;
    size_t n = used && used < (1u << bc) ? used : (1u << bc);
    // A table that runs into the pixels or past the file is cut to what is there.
    const size_t end = offBits > paletteAt && offBits <= size ? offBits : size;
    if (paletteAt + n * paletteEntry > end) n = end > paletteAt ? (end - paletteAt) / paletteEntry : 0;
    h.palette.resize(n);
    for (size_t i = 0; i < n; ++i) {
      const uint8_t* q = data + paletteAt + i * paletteEntry;
      h.palette[i] = (uint32_t(q[2]) << 16) | (q[1] << 8) | q[0];
    }
  }
  if (offBits < 14 + std::min<uint32_t>(headerSize, 12) || offBits >= size) {
    why = "bad pixel offset";
    return nullptr;
  }
  const size_t rowBytes = ((static_cast<size_t>(h.width) * bc + 31) / 32) * 4;
  if (!rle && rowBytes * static_cast<size_t>(h.height) > size - offBits) {
    why = "file shorter than its pixels";
    return nullptr;
  }
  // A few bytes of RLE can claim any size; the unit shows nothing beyond 16 million pixels.
  if (rle && static_cast<int64_t>(h.width) * h.height > (16LL << 20)) {
    why = "RLE picture too large";
    return nullptr;
  }
  BITMAPINFO info{};
  info.bmiHeader = {40, h.width, -h.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  std::shared_ptr<gdi::Bitmap> bitmap = gdi::Bitmap::createDib(&info, DIB_RGB_COLORS);
  if (!bitmap) {
    why = "too large";
    return nullptr;
  }
  uint32_t* out = reinterpret_cast<uint32_t*>(bitmap->bits());
  const uint8_t* pixels = data + offBits;
  const size_t W = static_cast<size_t>(h.width);
  if (rle) {
    decodeRle(pixels, size - offBits, h, out);
    return bitmap;
  }
  auto fileRow = [&](int y) { return pixels + rowBytes * static_cast<size_t>(h.topDown ? y : h.height - 1 - y); };
  if (bc == 24) {
    for (int y = 0; y < h.height; ++y) {
      const uint8_t* s = fileRow(y);
      uint32_t* d = out + W * y;
      for (size_t x = 0; x < W; ++x, s += 3) d[x] = (uint32_t(s[2]) << 16) | (uint32_t(s[1]) << 8) | s[0];
    }
    return bitmap;
  }
  if (bc == 32 && h.masks[0] == 0xFF0000 && h.masks[1] == 0xFF00 && h.masks[2] == 0xFF) {
    for (int y = 0; y < h.height; ++y) {
      const uint8_t* s = fileRow(y);
      uint32_t* d = out + W * y;
      for (size_t x = 0; x < W; ++x, s += 4) d[x] = (uint32_t(s[2]) << 16) | (uint32_t(s[1]) << 8) | s[0];
    }
    return bitmap;
  }
  // Other formats: one row at a time through a one-row bitmap of the file's format.
  struct {
    BITMAPINFOHEADER hd;
    RGBQUAD c[256];
  } fmt{};
  fmt.hd = {40, h.width, 1, 1, static_cast<WORD>(bc), static_cast<DWORD>(h.compression == BI_BITFIELDS ? BI_BITFIELDS : BI_RGB), 0, 0, 0,
            static_cast<DWORD>(h.palette.size()), 0};
  if (h.compression == BI_BITFIELDS) {
    std::memcpy(fmt.c, h.masks, 12);
    if (!h.masks[0] && !h.masks[1] && !h.masks[2]) {
      why = "empty bit fields";
      return nullptr;
    }
  }
  auto rowFmt = gdi::Bitmap::createDib(reinterpret_cast<const BITMAPINFO*>(&fmt), DIB_RGB_COLORS);
  if (!rowFmt) {
    why = "bad format";
    return nullptr;
  }
  rowFmt->palette = h.palette;
  if (bc <= 8 && h.palette.empty()) rowFmt->palette.assign(1, 0);
  for (int y = 0; y < h.height; ++y) {
    std::memcpy(rowFmt->bits(), fileRow(y), rowBytes);
    rowFmt->readRect(RECT{0, 0, h.width, 1}, out + W * y, static_cast<ptrdiff_t>(W));
  }
  return bitmap;
}

}  // namespace plat::image

HBITMAP SHLoadDIBitmap(LPCWSTR fileName) {
  if (!fileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::string path = plat::hostPath(fileName);
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  std::vector<uint8_t> bytes;
  uint8_t buffer[65536];
  size_t got;
  // Files beyond 256 MB are no bitmaps this unit can show.
  while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0 && bytes.size() < (256u << 20))
    bytes.insert(bytes.end(), buffer, buffer + got);
  std::fclose(f);
  std::string why;
  auto bitmap = plat::image::decodeBmp(bytes.data(), bytes.size(), why);
  if (!bitmap) {
    plat::console::writeUtf8("SHLoadDIBitmap: " + path + ": " + why + "\n");
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  return plat::gdi::addObject(bitmap);
}
