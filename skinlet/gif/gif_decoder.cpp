#include "gif_decoder.h"

#include <algorithm>
#include <cstring>

namespace gif {
namespace {

constexpr uint8_t kImage = 0x2C;      // ','
constexpr uint8_t kExtension = 0x21;  // '!'
constexpr uint8_t kTrailer = 0x3B;    // ';'
constexpr uint8_t kGraphicControl = 0xF9;
constexpr int kMaxCodes = 4096;

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

void readColourTable(const uint8_t* p, int count, uint32_t* out) {
  for (int i = 0; i < count; ++i, p += 3)
    out[i] = 0xFF000000u | (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | uint32_t(p[2]);
}

// Row numbers of an image in the order its data gives them.
void rowOrder(int height, bool interlaced, std::vector<int>& out) {
  out.clear();
  out.reserve(static_cast<size_t>(height));
  if (!interlaced) {
    for (int y = 0; y < height; ++y) out.push_back(y);
    return;
  }
  static const int kStart[4] = {0, 4, 2, 1};
  static const int kStep[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass)
    for (int y = kStart[pass]; y < height; y += kStep[pass]) out.push_back(y);
}

}  // namespace

bool GifDecoder::load(std::vector<uint8_t> bytes, std::string& why) {
  clear();
  if (bytes.size() > kMaxFileBytes) {
    why = "file of " + std::to_string(bytes.size()) + " bytes is over the limit of " + std::to_string(kMaxFileBytes);
    return false;
  }
  if (bytes.size() < 13) {
    why = "short header";
    return false;
  }
  if (std::memcmp(bytes.data(), "GIF87a", 6) != 0 && std::memcmp(bytes.data(), "GIF89a", 6) != 0) {
    why = "not a GIF87a/GIF89a file";
    return false;
  }
  const uint8_t* p = bytes.data();
  int w = le16(p + 6), h = le16(p + 8);
  uint8_t flags = p[10];
  size_t at = 13;
  int globalSize = 0;
  if (flags & 0x80) {
    globalSize = 1 << ((flags & 7) + 1);
    if (bytes.size() < at + size_t(globalSize) * 3) {
      why = "short global colour table";
      return false;
    }
    readColourTable(p + at, globalSize, global_);
    at += size_t(globalSize) * 3;
  }
  if (uint64_t(w) * uint64_t(h) > kMaxCanvasPixels) {
    why = "logical screen " + std::to_string(w) + "x" + std::to_string(h) + " is over the canvas budget of " +
          std::to_string(kMaxCanvasPixels) + " pixels";
    return false;
  }
  if (w == 0 || h == 0) {
    // Nothing could ever be shown; a canvas of no pixels would only make every frame vanish.
    why = "logical screen of no pixels";
    return false;
  }
  file_ = std::move(bytes);
  width_ = w;
  height_ = h;
  globalSize_ = globalSize;
  framesStart_ = pos_ = at;
  loaded_ = true;
  return true;
}

void GifDecoder::clear() {
  releaseBuffers();
  std::vector<uint8_t>().swap(file_);
  loaded_ = false;
  width_ = height_ = globalSize_ = 0;
  framesStart_ = pos_ = 0;
}

void GifDecoder::releaseBuffers() {
  std::vector<uint32_t>().swap(ownCanvas_);
  canvas_ = nullptr;
  std::vector<uint32_t>().swap(saved_);
  std::vector<uint8_t>().swap(data_);
  std::vector<uint8_t>().swap(indices_);
  std::vector<uint8_t>().swap(row_);
  std::vector<int>().swap(order_);
  restorePending_ = false;
}

void GifDecoder::reset(uint32_t fill) {
  ownCanvas_.assign(size_t(width_) * size_t(height_), fill);
  canvas_ = ownCanvas_.data();
  pos_ = framesStart_;
  pending_ = control_ = GraphicControl{};
  frame_ = FrameRect{};
  restorePending_ = false;
}

void GifDecoder::attach(uint32_t* pixels) {
  std::vector<uint32_t>().swap(ownCanvas_);
  canvas_ = pixels;
  pos_ = framesStart_;
  pending_ = control_ = GraphicControl{};
  frame_ = FrameRect{};
  restorePending_ = false;
}

bool GifDecoder::readByte(uint8_t& b) {
  if (pos_ >= file_.size()) return false;
  b = file_[pos_++];
  return true;
}

bool GifDecoder::skipSubBlocks() {
  for (;;) {
    uint8_t n;
    if (!readByte(n)) return false;
    if (n == 0) return true;
    if (file_.size() - pos_ < n) return false;
    pos_ += n;
  }
}

bool GifDecoder::gatherSubBlocks() {
  data_.clear();
  for (;;) {
    uint8_t n;
    if (!readByte(n)) return false;
    if (n == 0) return true;
    if (file_.size() - pos_ < n) return false;
    data_.insert(data_.end(), file_.begin() + static_cast<std::ptrdiff_t>(pos_),
                 file_.begin() + static_cast<std::ptrdiff_t>(pos_ + n));
    pos_ += n;
  }
}

void GifDecoder::restoreSaved() {
  if (!restorePending_) return;
  restorePending_ = false;
  const FrameRect& r = savedRect_;
  for (int y = 0; y < r.height; ++y)
    std::memcpy(&canvas_[size_t(r.top + y) * size_t(width_) + size_t(r.left)], &saved_[size_t(y) * size_t(r.width)],
                size_t(r.width) * sizeof(uint32_t));
}

GifDecoder::Step GifDecoder::next() {
  why_.clear();
  if (!loaded_ || !canvas_) {
    why_ = "not loaded";
    return Step::Broken;
  }
  restoreSaved();
  for (;;) {
    uint8_t introducer;
    if (!readByte(introducer)) {
      why_ = "read past the data";
      break;
    }
    if (introducer == kTrailer) {
      pos_ = framesStart_;
      pending_ = GraphicControl{};
      return Step::Cycle;
    }
    if (introducer == kImage) return readImage();
    if (introducer != kExtension) {
      why_ = "unknown block type " + std::to_string(introducer);
      break;
    }
    uint8_t label;
    if (!readByte(label)) {
      why_ = "read past the data";
      break;
    }
    if (label == kGraphicControl) {
      // The fixed block is 4 bytes; a shorter one carries nothing usable and is only skipped.
      size_t start = pos_;
      uint8_t n;
      if (!readByte(n) || file_.size() - pos_ < n) {
        why_ = "read past the data";
        break;
      }
      if (n >= 4) {
        const uint8_t* b = &file_[start + 1];
        pending_.disposal = (b[0] >> 2) & 7;
        pending_.transparent = (b[0] & 1) != 0;
        pending_.delay = le16(b + 1);
        pending_.transparentIndex = b[3];
      }
      pos_ = start;
    }
    // Graphic control, plain text, comment, application and extensions we do not know all
    // end in the same chain of sub-blocks.
    if (!skipSubBlocks()) {
      why_ = "read past the data";
      break;
    }
  }
  // The stream cannot be followed any further: the next call starts the first frame again.
  pos_ = framesStart_;
  pending_ = GraphicControl{};
  return Step::Broken;
}

GifDecoder::Step GifDecoder::readImage() {
  if (file_.size() - pos_ < 9) {
    pos_ = framesStart_;
    why_ = "read past the data";
    return Step::Broken;
  }
  const uint8_t* d = &file_[pos_];
  frame_ = FrameRect{le16(d), le16(d + 2), le16(d + 4), le16(d + 6)};
  uint8_t flags = d[8];
  pos_ += 9;
  control_ = pending_;
  pending_ = GraphicControl{};  // a graphic control applies to the one image after it

  uint32_t local[256];
  const uint32_t* palette = global_;
  int paletteSize = globalSize_;
  if (flags & 0x80) {
    paletteSize = 1 << ((flags & 7) + 1);
    if (file_.size() - pos_ < size_t(paletteSize) * 3) {
      pos_ = framesStart_;
      why_ = "read past the data";
      return Step::Broken;
    }
    readColourTable(&file_[pos_], paletteSize, local);
    pos_ += size_t(paletteSize) * 3;
    palette = local;
  }
  bool interlaced = (flags & 0x40) != 0;
  uint8_t minCodeSize;
  if (!readByte(minCodeSize) || !gatherSubBlocks()) {
    pos_ = framesStart_;
    why_ = "read past the data";
    return Step::Broken;
  }

  // The part of the image that lands on the canvas.
  int x0 = std::min(frame_.left, width_), y0 = std::min(frame_.top, height_);
  int x1 = std::min(frame_.left + frame_.width, width_), y1 = std::min(frame_.top + frame_.height, height_);
  visLeft_ = x0;
  visTop_ = y0;
  visWidth_ = x1 - x0;
  visHeight_ = y1 - y0;

  if (uint64_t(frame_.width) * uint64_t(frame_.height) > kMaxFramePixels) {
    why_ = "image of " + std::to_string(frame_.width) + "x" + std::to_string(frame_.height) + " is over the budget";
    return Step::Skipped;
  }
  if (minCodeSize < 1 || minCodeSize > 11) {
    why_ = "LZW minimum code size " + std::to_string(minCodeSize);
    return Step::Skipped;
  }
  if (!decodeLzw(minCodeSize, frame_.width, frame_.height, interlaced)) return Step::Skipped;

  // An index past the colour table has no colour: the image is not drawn (the transparent
  // index is exempt, it is never looked up).
  if (visWidth_ > 0 && visHeight_ > 0) {
    int maxIndex = -1;
    int tIndex = control_.transparent ? control_.transparentIndex : -1;
    for (uint8_t v : indices_)
      if (v != tIndex && v > maxIndex) maxIndex = v;
    if (maxIndex >= paletteSize) {
      why_ = paletteSize == 0 ? "no colour table" : "colour index " + std::to_string(maxIndex) + " past the table";
      return Step::Skipped;
    }
  }

  // An image wholly outside the canvas covers nothing there is to restore.
  if ((control_.disposal == 2 || control_.disposal == 3) && visWidth_ > 0 && visHeight_ > 0) {
    savedRect_ = FrameRect{visLeft_, visTop_, visWidth_, visHeight_};
    saved_.resize(size_t(visWidth_) * size_t(visHeight_));
    for (int y = 0; y < visHeight_; ++y)
      std::memcpy(&saved_[size_t(y) * size_t(visWidth_)], &canvas_[size_t(visTop_ + y) * size_t(width_) + size_t(visLeft_)],
                  size_t(visWidth_) * sizeof(uint32_t));
    restorePending_ = true;
  }
  composite(palette);
  return Step::Frame;
}

// LZW decoding into indices_, which holds the visible part of the image (visWidth_ x
// visHeight_, canvas rows). Pixels the data never reaches keep the marker of "not decoded":
// rowsDone_ and lastRowPixels_ say how far the data went. False (why_ set) on a code that
// cannot occur in a valid stream.
bool GifDecoder::decodeLzw(int minCodeSize, int frameWidth, int frameHeight, bool interlaced) {
  indices_.assign(size_t(std::max(visWidth_, 0)) * size_t(std::max(visHeight_, 0)), 0);
  row_.assign(size_t(frameWidth), 0);
  rowsDone_ = 0;
  lastRowPixels_ = 0;
  if (frameWidth == 0 || frameHeight == 0) return true;

  rowOrder(frameHeight, interlaced, order_);
  const std::vector<int>& order = order_;

  uint16_t prefix[kMaxCodes];
  uint8_t suffix[kMaxCodes];
  uint8_t firstOf[kMaxCodes];
  uint16_t length[kMaxCodes];
  uint8_t string[kMaxCodes];

  const int clearCode = 1 << minCodeSize;
  const int endCode = clearCode + 1;
  for (int i = 0; i < clearCode; ++i) {
    prefix[i] = 0;
    suffix[i] = firstOf[i] = static_cast<uint8_t>(i);
    length[i] = 1;
  }
  int codeSize = minCodeSize + 1;
  int nextCode = clearCode + 2;
  int prev = -1;

  const uint8_t* in = data_.data();
  const size_t inSize = data_.size();
  size_t inPos = 0;
  uint64_t bits = 0;
  int bitCount = 0;
  int x = 0;

  auto emit = [&](const uint8_t* s, int n) {
    while (n > 0) {
      int take = std::min(n, frameWidth - x);
      std::memcpy(&row_[size_t(x)], s, size_t(take));
      x += take;
      s += take;
      n -= take;
      if (x == frameWidth) {
        int y = frame_.top + order[size_t(rowsDone_)];
        if (y < visTop_ + visHeight_ && visWidth_ > 0)
          std::memcpy(&indices_[size_t(y - visTop_) * size_t(visWidth_)], row_.data(), size_t(visWidth_));
        x = 0;
        if (++rowsDone_ == frameHeight) return false;
      }
    }
    return true;
  };

  for (;;) {
    while (bitCount < codeSize) {
      if (inPos >= inSize) {
        // The data ends without an end code: keep what was decoded.
        lastRowPixels_ = x;
        goto done;
      }
      bits |= uint64_t(in[inPos++]) << bitCount;
      bitCount += 8;
    }
    int code = static_cast<int>(bits & ((1u << codeSize) - 1));
    bits >>= codeSize;
    bitCount -= codeSize;

    if (code == clearCode) {
      codeSize = minCodeSize + 1;
      nextCode = clearCode + 2;
      prev = -1;
      continue;
    }
    if (code == endCode) {
      lastRowPixels_ = x;
      goto done;
    }
    int len;
    if (code < nextCode) {  // clear and end codes were handled above
      len = length[code];
      int c = code;
      for (int i = len - 1; i >= 0; --i) {
        string[i] = suffix[c];
        c = prefix[c];
      }
      if (prev >= 0 && nextCode < kMaxCodes) {
        prefix[nextCode] = static_cast<uint16_t>(prev);
        suffix[nextCode] = firstOf[code];
        firstOf[nextCode] = firstOf[prev];
        length[nextCode] = static_cast<uint16_t>(length[prev] + 1);
        ++nextCode;
      }
    } else if (code == nextCode && prev >= 0 && nextCode < kMaxCodes) {
      // The code being defined right now: the previous string plus its own first byte.
      len = length[prev] + 1;
      int c = prev;
      for (int i = len - 2; i >= 0; --i) {
        string[i] = suffix[c];
        c = prefix[c];
      }
      string[len - 1] = firstOf[prev];
      prefix[nextCode] = static_cast<uint16_t>(prev);
      suffix[nextCode] = firstOf[prev];
      firstOf[nextCode] = firstOf[prev];
      length[nextCode] = static_cast<uint16_t>(len);
      ++nextCode;
    } else {
      why_ = "LZW code " + std::to_string(code) + " is not defined";
      return false;
    }
    if (nextCode == (1 << codeSize) && codeSize < 12) ++codeSize;
    prev = code;
    if (!emit(string, len)) break;  // every row decoded: the rest of the data is not needed
  }
done:
  // A row the data stopped in the middle of: its decoded pixels are drawn, the rest is not.
  if (lastRowPixels_ > 0 && rowsDone_ < frameHeight) {
    int y = frame_.top + order[size_t(rowsDone_)];
    if (y < visTop_ + visHeight_ && visWidth_ > 0)
      std::memcpy(&indices_[size_t(y - visTop_) * size_t(visWidth_)], row_.data(),
                  size_t(std::min(lastRowPixels_, visWidth_)));
  }
  return true;
}

void GifDecoder::composite(const uint32_t* palette) {
  if (visWidth_ <= 0 || visHeight_ <= 0) return;
  const std::vector<int>& order = order_;  // filled by decodeLzw for this image
  const int tIndex = control_.transparent ? control_.transparentIndex : -1;
  auto drawRow = [&](int imageRow, int pixels) {
    int y = frame_.top + imageRow;
    if (y >= visTop_ + visHeight_) return;
    const uint8_t* src = &indices_[size_t(y - visTop_) * size_t(visWidth_)];
    uint32_t* dst = &canvas_[size_t(y) * size_t(width_) + size_t(visLeft_)];
    int n = std::min(pixels, visWidth_);
    if (tIndex < 0) {
      for (int i = 0; i < n; ++i) dst[i] = palette[src[i]];
    } else {
      for (int i = 0; i < n; ++i)
        if (src[i] != tIndex) dst[i] = palette[src[i]];
    }
  };
  for (int k = 0; k < rowsDone_; ++k) drawRow(order[size_t(k)], visWidth_);
  if (lastRowPixels_ > 0 && rowsDone_ < frame_.height) drawRow(order[size_t(rowsDone_)], lastRowPixels_);
}

}  // namespace gif
