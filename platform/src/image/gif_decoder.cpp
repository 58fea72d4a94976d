// The first frame of a GIF for the imaging service (thumbnails and still pictures). Our own
// decoder rather than a library's: the files the unit meets include frames larger than their
// logical screen or partly outside it, and LZW streams that do not start with a clear code,
// which stricter decoders refuse; here the frame is cut to the screen and the stream decodes.
// The screen outside the frame stays transparent (docs/deviations.md, Pictures).
#include <algorithm>
#include <cstring>

#include "image/picture_decoders.h"

namespace plat::image {
namespace {

uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// Reads the bytes of the data sub-blocks that follow, as one bit stream, LSB first.
class SubBlockBits {
 public:
  SubBlockBits(const uint8_t* data, size_t size, size_t at) : data_(data), size_(size), at_(at) {}

  // The next code of `width` bits; false at the end of the blocks or of the file.
  bool next(int width, unsigned& code) {
    while (count_ < width) {
      if (left_ == 0) {
        if (ended_ || at_ >= size_ || data_[at_] == 0) {
          ended_ = true;
          return false;
        }
        left_ = data_[at_++];
      }
      if (at_ >= size_) {
        ended_ = true;
        return false;
      }
      bits_ |= uint32_t(data_[at_++]) << count_;
      count_ += 8;
      --left_;
    }
    code = bits_ & ((1u << width) - 1);
    bits_ >>= width;
    count_ -= width;
    return true;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_;
  size_t left_ = 0;  // bytes left in the current sub-block
  uint32_t bits_ = 0;
  int count_ = 0;
  bool ended_ = false;
};

// Skips data sub-blocks from `at`; the position after the terminator (or the file's end).
size_t skipBlocks(const uint8_t* data, size_t size, size_t at) {
  while (at < size && data[at]) at += 1 + size_t(data[at]);
  return std::min(size, at + 1);
}

bool readColours(const uint8_t* data, size_t size, size_t& at, unsigned flags, uint32_t (&table)[256], int& count) {
  if (!(flags & 0x80)) return true;
  count = 2 << (flags & 7);
  if (at + size_t(count) * 3 > size) return false;
  for (int i = 0; i < count; ++i, at += 3)
    table[i] = 0xFF000000u | (uint32_t(data[at]) << 16) | (uint32_t(data[at + 1]) << 8) | data[at + 2];
  return true;
}

}  // namespace

bool gifSize(const uint8_t* data, size_t size, int& width, int& height, std::string& why) {
  if (size < 13 || std::memcmp(data, "GIF8", 4) != 0 || (data[4] != '7' && data[4] != '9') || data[5] != 'a') {
    why = "not a GIF file";
    return false;
  }
  width = u16(data + 6);
  height = u16(data + 8);
  if (!width || !height) {
    why = "empty logical screen";
    return false;
  }
  return true;
}

// Draws the image whose descriptor is at `at` onto the screen in `out`; the position after its
// data, or 0 when the file ends inside it.
static size_t decodeImage(const uint8_t* data, size_t size, size_t at, int transparent,
                          const uint32_t (&global)[256], int globalCount, const LoadBudget& budget, Raster& out) {
  const int W = out.width, H = out.height;
  uint32_t local[256] = {};
  if (at + 10 > size) return 0;
  const int left = u16(data + at + 1), top = u16(data + at + 3);
  const int fw = u16(data + at + 5), fh = u16(data + at + 7);
  const unsigned flags = data[at + 9];
  at += 10;
  int localCount = 0;
  if (!readColours(data, size, at, flags, local, localCount)) return 0;
  const uint32_t* colours = localCount ? local : global;
  const int colourCount = localCount ? localCount : globalCount;
  if (at >= size) return 0;
  const int minCode = data[at++];
  if (minCode < 1 || minCode > 11) return 0;
  const size_t after = skipBlocks(data, size, at);

  // Frame pixels in stream order mapped to canvas positions, interlaced rows in their four passes.
  const bool interlaced = flags & 0x40;
  const uint64_t framePixels = uint64_t(fw) * fh;
  uint64_t produced = 0;
  int fx = 0, fy = 0, pass = 0;
  static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
  auto emit = [&](unsigned index) {
    const int x = left + fx, y = top + fy;
    if (x < W && y < H && int(index) != transparent && int(index) < colourCount)
      out.pixels[static_cast<size_t>(y) * W + x] = colours[index];
    ++produced;
    if (++fx == fw) {
      fx = 0;
      fy += interlaced ? kStep[pass] : 1;
      while (interlaced && fy >= fh && pass < 3) fy = kStart[++pass];
    }
  };

  const unsigned clear = 1u << minCode, end = clear + 1;
  uint16_t prefix[4096];
  uint8_t suffix[4096], first[4096];
  uint8_t stack[4097];
  for (unsigned i = 0; i < clear; ++i) {
    prefix[i] = 0;
    suffix[i] = first[i] = static_cast<uint8_t>(i);
  }
  int width = minCode + 1;
  unsigned next = end + 1;
  int previous = -1;  // no previous code: the stream starts as if after a clear code
  SubBlockBits bits(data, size, at);
  unsigned code = 0;
  unsigned sinceCheck = 0;
  while (produced < framePixels && bits.next(width, code)) {
    if (++sinceCheck == 4096) {
      sinceCheck = 0;
      if (budget.expired()) break;  // what was decoded so far is kept
    }
    if (code == clear) {
      width = minCode + 1;
      next = end + 1;
      previous = -1;
      continue;
    }
    if (code == end) break;
    if (previous < 0) {
      if (code >= clear) break;  // a first code must be a colour
      emit(code);
      previous = static_cast<int>(code);
      continue;
    }
    unsigned k;
    size_t depth = 0;
    if (code < next) {
      k = first[code];
      for (unsigned c = code; depth < sizeof stack; c = prefix[c]) {
        stack[depth++] = suffix[c];
        if (c < clear) break;
      }
    } else if (code == next) {
      k = first[previous];
      stack[depth++] = static_cast<uint8_t>(k);
      for (unsigned c = static_cast<unsigned>(previous); depth < sizeof stack; c = prefix[c]) {
        stack[depth++] = suffix[c];
        if (c < clear) break;
      }
    } else {
      break;  // a code not yet defined: the rest of the frame stays transparent
    }
    while (depth && produced < framePixels) emit(stack[--depth]);
    if (next < 4096) {
      prefix[next] = static_cast<uint16_t>(previous);
      suffix[next] = static_cast<uint8_t>(k);
      first[next] = first[previous];
      ++next;
      if (next == (1u << width) && width < 12) ++width;
    }
    previous = static_cast<int>(code);
  }
  return after;
}

bool decodeGif(const uint8_t* data, size_t size, LoadBudget& budget, Raster& out, std::string& why) {
  int W = 0, H = 0;
  if (!gifSize(data, size, W, H, why)) return false;
  uint32_t global[256] = {};
  int globalCount = 0;
  size_t at = 13;
  if (!readColours(data, size, at, data[10], global, globalCount)) {
    why = "truncated colour table";
    return false;
  }
  if (!budget.takePixels(W, H)) {
    why = "picture beyond the memory budget";
    return false;
  }
  out.width = W;
  out.height = H;
  out.pixels.assign(static_cast<size_t>(W) * H, 0);  // transparent where no frame gives a colour
  // The first frame: images are drawn one over the other until one that has a graphic control
  // extension (its delay ends the frame). Whatever the file lacks (images, colour tables, data)
  // leaves the screen as far as it was drawn; the picture is never refused for it.
  // An image that covers the whole screen after one already drawn begins the next frame too:
  // files without any control extension are shown as animations that way.
  int transparent = -1;
  bool control = false, drawn = false;
  while (at < size && data[at] != 0x3B && !budget.expired()) {
    if (data[at] == 0x2C) {
      const bool whole = at + 9 < size && u16(data + at + 1) == 0 && u16(data + at + 3) == 0 &&
                         u16(data + at + 5) >= W && u16(data + at + 7) >= H;
      if (drawn && whole) break;
      at = decodeImage(data, size, at, transparent, global, globalCount, budget, out);
      if (!at || control) break;
      drawn = true;
      continue;
    }
    if (data[at] != 0x21 || at + 1 >= size) break;
    if (data[at + 1] == 0xF9) {
      control = true;
      if (at + 7 < size && data[at + 2] >= 4) transparent = (data[at + 3] & 1) ? data[at + 6] : -1;
    }
    at = skipBlocks(data, size, at + 2);
  }
  return true;
}

}  // namespace plat::image
