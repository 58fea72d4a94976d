// The one GIF decoder of the system (plat_gif.h): header, colour tables, the walk over the
// blocks, LZW, interlacing, clipping to the logical screen and the size and time limits.
// What differs between its users is in GifRules, not in copies of this file.
#include "plat_gif.h"

#include <algorithm>
#include <cstring>

namespace plat::gif {
namespace {

constexpr uint8_t kImage = 0x2C;      // ','
constexpr uint8_t kExtension = 0x21;  // '!'
constexpr uint8_t kTrailer = 0x3B;    // ';'
constexpr uint8_t kGraphicControl = 0xF9;
// Codes decoded between two looks at the clock when a deadline is set.
constexpr int kCodesPerClockCheck = 4096;

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

void readColourTable(const uint8_t* p, int count, uint32_t* out) {
  for (int i = 0; i < count; ++i, p += 3)
    out[i] = 0xFF000000u | (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | uint32_t(p[2]);
}

// Image rows in the order the data gives them: top to bottom, or the four interlace passes.
struct RowOrder {
  int height;
  bool interlaced;
  int pass = 0;
  int row = 0;
  void advance() {
    static const int kStart[4] = {0, 4, 2, 1};
    static const int kStep[4] = {8, 8, 4, 2};
    if (!interlaced) {
      ++row;
      return;
    }
    row += kStep[pass];
    while (row >= height && pass < 3) row = kStart[++pass];
  }
};

}  // namespace

bool GifDecoder::screenSize(const uint8_t* data, size_t size, int& width, int& height, std::string& why) {
  if (size < 13) {
    why = "short header";
    return false;
  }
  if (std::memcmp(data, "GIF87a", 6) != 0 && std::memcmp(data, "GIF89a", 6) != 0) {
    why = "not a GIF87a/GIF89a file";
    return false;
  }
  width = le16(data + 6);
  height = le16(data + 8);
  if (width == 0 || height == 0) {
    // Nothing could ever be shown; a canvas of no pixels would only make every frame vanish.
    why = "logical screen of no pixels";
    return false;
  }
  return true;
}

bool GifDecoder::load(std::vector<uint8_t> bytes, std::string& why) {
  clear();
  owned_ = std::move(bytes);
  if (parse(owned_.data(), owned_.size(), why)) return true;
  clear();
  return false;
}

bool GifDecoder::load(const uint8_t* data, size_t size, std::string& why) {
  clear();
  return parse(data, size, why);
}

bool GifDecoder::parse(const uint8_t* data, size_t size, std::string& why) {
  if (rules_.maxFileBytes && size > rules_.maxFileBytes) {
    why = "file of " + std::to_string(size) + " bytes is over the limit of " + std::to_string(rules_.maxFileBytes);
    return false;
  }
  int w = 0, h = 0;
  if (!screenSize(data, size, w, h, why)) return false;
  const uint8_t flags = data[10];
  size_t at = 13;
  int globalSize = 0;
  if (flags & 0x80) {
    globalSize = 1 << ((flags & 7) + 1);
    if (size < at + size_t(globalSize) * 3) {
      why = "short global colour table";
      return false;
    }
    readColourTable(data + at, globalSize, global_);
    at += size_t(globalSize) * 3;
  }
  if (rules_.maxCanvasPixels && uint64_t(w) * uint64_t(h) > rules_.maxCanvasPixels) {
    why = "logical screen " + std::to_string(w) + "x" + std::to_string(h) + " is over the canvas budget of " +
          std::to_string(rules_.maxCanvasPixels) + " pixels";
    return false;
  }
  data_ = data;
  size_ = size;
  width_ = w;
  height_ = h;
  globalSize_ = globalSize;
  framesStart_ = pos_ = at;
  coloursKey_ = -1;
  loaded_ = true;
  return true;
}

void GifDecoder::clear() {
  releaseBuffers();
  std::vector<uint8_t>().swap(owned_);
  data_ = nullptr;
  size_ = 0;
  loaded_ = false;
  width_ = height_ = globalSize_ = 0;
  framesStart_ = pos_ = 0;
  imageReady_ = false;
}

void GifDecoder::releaseBuffers() {
  std::vector<uint32_t>().swap(ownCanvas_);
  canvas_ = nullptr;
  std::vector<uint32_t>().swap(saved_);
  std::vector<uint8_t>().swap(indices_);
  std::vector<uint8_t>().swap(row_);
  restorePending_ = false;
  imageReady_ = false;
}

void GifDecoder::reset(uint32_t fill) {
  ownCanvas_.assign(size_t(width_) * size_t(height_), fill);
  attach(ownCanvas_.data());
}

void GifDecoder::attach(uint32_t* pixels) {
  if (pixels != ownCanvas_.data()) std::vector<uint32_t>().swap(ownCanvas_);
  canvas_ = pixels;
  pos_ = framesStart_;
  pending_ = control_ = GraphicControl{};
  frame_ = FrameRect{};
  restorePending_ = false;
  imageReady_ = false;
  timedOut_ = false;
}

void GifDecoder::setDeadline(std::chrono::steady_clock::time_point deadline) {
  hasDeadline_ = true;
  deadline_ = deadline;
}

bool GifDecoder::readByte(uint8_t& b) {
  if (pos_ >= size_) return false;
  b = data_[pos_++];
  return true;
}

bool GifDecoder::skipSubBlocks() {
  for (;;) {
    uint8_t n;
    if (!readByte(n)) return false;
    if (n == 0) return true;
    if (size_ - pos_ < n) return false;
    pos_ += n;
  }
}

GifDecoder::Step GifDecoder::endOfStream(const char* why) {
  // The stream cannot be followed any further: the next call starts the first frame again.
  why_ = why;
  pos_ = framesStart_;
  pending_ = GraphicControl{};
  return Step::Broken;
}

void GifDecoder::saveCovered() {
  savedRect_ = FrameRect{visLeft_, visTop_, visWidth_, visHeight_};
  saved_.resize(size_t(visWidth_) * size_t(visHeight_));
  for (int y = 0; y < visHeight_; ++y)
    std::memcpy(&saved_[size_t(y) * size_t(visWidth_)], &canvas_[size_t(visTop_ + y) * size_t(width_) + size_t(visLeft_)],
                size_t(visWidth_) * sizeof(uint32_t));
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
  Step s = nextImage();
  return s == Step::Image ? drawImage() : s;
}

GifDecoder::Step GifDecoder::nextImage() {
  why_.clear();
  imageReady_ = false;
  if (!loaded_ || !canvas_) {
    why_ = "not loaded";
    return Step::Broken;
  }
  restoreSaved();
  for (;;) {
    uint8_t introducer;
    if (!readByte(introducer)) return endOfStream("read past the data");
    if (introducer == kTrailer) {
      pos_ = framesStart_;
      pending_ = GraphicControl{};
      return Step::Cycle;
    }
    if (introducer == kImage) break;
    if (introducer != kExtension) {
      std::string why = "unknown block type " + std::to_string(introducer);
      return endOfStream(why.c_str());
    }
    uint8_t label;
    if (!readByte(label)) return endOfStream("read past the data");
    if (label == kGraphicControl) {
      // The fixed block is 4 bytes; a shorter one carries nothing usable and is only skipped.
      size_t start = pos_;
      uint8_t n;
      if (!readByte(n) || size_ - pos_ < n) return endOfStream("read past the data");
      pending_.present = true;
      if (n >= 4) {
        const uint8_t* b = &data_[start + 1];
        pending_.disposal = (b[0] >> 2) & 7;
        pending_.transparent = (b[0] & 1) != 0;
        pending_.delay = le16(b + 1);
        pending_.transparentIndex = b[3];
      }
      pos_ = start;
    }
    // Graphic control, plain text, comment, application and extensions we do not know all
    // end in the same chain of sub-blocks.
    if (!skipSubBlocks()) return endOfStream("read past the data");
  }

  if (size_ - pos_ < 9) return endOfStream("read past the data");
  const uint8_t* d = &data_[pos_];
  frame_ = FrameRect{le16(d), le16(d + 2), le16(d + 4), le16(d + 6)};
  const uint8_t flags = d[8];
  pos_ += 9;
  control_ = pending_;
  pending_ = GraphicControl{};  // a graphic control applies to the one image after it

  // Most animations draw every image with the global table: its colours stay set up between
  // images unless the transparent index changes.
  const int globalKey = control_.transparent ? control_.transparentIndex : 256;
  auto holes = [this] {
    std::fill(colours_ + tableSize_, colours_ + 256, 0u);
    if (control_.transparent) colours_[control_.transparentIndex] = 0;
  };
  if (flags & 0x80) {
    tableSize_ = 1 << ((flags & 7) + 1);
    if (size_ - pos_ < size_t(tableSize_) * 3) return endOfStream("read past the data");
    readColourTable(&data_[pos_], tableSize_, colours_);
    pos_ += size_t(tableSize_) * 3;
    holes();
    coloursKey_ = -1;
  } else if (coloursKey_ != globalKey) {
    tableSize_ = globalSize_;
    std::copy(global_, global_ + globalSize_, colours_);
    holes();
    coloursKey_ = globalKey;
  }
  // A whole image with an index past the table is never drawn, so only its transparent index
  // can leave a pixel as it was.
  anyHole_ = control_.transparent || (!rules_.wholeImagesOnly && tableSize_ < 256);
  interlaced_ = (flags & 0x40) != 0;

  uint8_t minCodeSize;
  if (!readByte(minCodeSize)) return endOfStream("read past the data");
  minCodeSize_ = minCodeSize;
  imageData_ = pos_;
  if (!skipSubBlocks()) {  // the file ends inside the image's data
    if (!rules_.drawCutImages) return endOfStream("read past the data");
    pos_ = size_;  // drawn as far as it goes; the stream ends after it
  }
  imageReady_ = true;
  return Step::Image;
}

GifDecoder::Step GifDecoder::drawImage() {
  why_.clear();
  if (!imageReady_) {
    why_ = "no image read";
    return Step::Broken;
  }
  imageReady_ = false;

  // The part of the image that lands on the canvas.
  int x0 = std::min(frame_.left, width_), y0 = std::min(frame_.top, height_);
  int x1 = std::min(frame_.left + frame_.width, width_), y1 = std::min(frame_.top + frame_.height, height_);
  visLeft_ = x0;
  visTop_ = y0;
  visWidth_ = x1 - x0;
  visHeight_ = y1 - y0;
  const bool visible = visWidth_ > 0 && visHeight_ > 0;

  if (rules_.maxImagePixels && uint64_t(frame_.width) * uint64_t(frame_.height) > rules_.maxImagePixels) {
    why_ = "image of " + std::to_string(frame_.width) + "x" + std::to_string(frame_.height) + " is over the budget";
    return Step::Skipped;
  }
  if (minCodeSize_ < 1 || minCodeSize_ > 11) {
    why_ = "LZW minimum code size " + std::to_string(minCodeSize_);
    return Step::Skipped;
  }
  // An image wholly outside the canvas covers nothing there is to restore.
  const bool restores = (control_.disposal == 2 || control_.disposal == 3) && visible;

  if (!rules_.wholeImagesOnly) {
    if (restores) saveCovered();  // before the first row lands
    decodeLzw();                  // a broken code ends the image; its rows stay drawn
    restorePending_ = restores;
    return Step::Frame;
  }

  if (!decodeLzw()) return Step::Skipped;
  // An index past the colour table has no colour: the image is not drawn (the transparent
  // index is exempt, it is never looked up).
  if (visible) {
    int maxIndex = -1;
    int tIndex = control_.transparent ? control_.transparentIndex : -1;
    for (uint8_t v : indices_)
      if (v != tIndex && v > maxIndex) maxIndex = v;
    if (maxIndex >= tableSize_) {
      why_ = tableSize_ == 0 ? "no colour table" : "colour index " + std::to_string(maxIndex) + " past the table";
      return Step::Skipped;
    }
  }
  if (restores) saveCovered();
  if (visible) {
    RowOrder order{frame_.height, interlaced_};
    for (int k = 0; k < rowsDone_; ++k, order.advance())
      drawRow(frame_.top + order.row, &indices_[0], visWidth_);
    if (lastRowPixels_ > 0 && rowsDone_ < frame_.height)
      drawRow(frame_.top + order.row, &indices_[0], std::min(lastRowPixels_, visWidth_));
  }
  restorePending_ = restores;
  return Step::Frame;
}

// Draws `pixels` indices of canvas row y. In whole-image mode `indices` is the start of
// indices_ and the row is found in it; row by row, it is the decoded row itself.
void GifDecoder::drawRow(int y, const uint8_t* indices, int pixels) {
  if (y >= visTop_ + visHeight_) return;
  const uint8_t* src = rules_.wholeImagesOnly ? indices + size_t(y - visTop_) * size_t(visWidth_) : indices;
  uint32_t* dst = &canvas_[size_t(y) * size_t(width_) + size_t(visLeft_)];
  if (!anyHole_) {
    for (int i = 0; i < pixels; ++i) dst[i] = colours_[src[i]];
  } else {
    for (int i = 0; i < pixels; ++i)
      if (uint32_t c = colours_[src[i]]) dst[i] = c;
  }
}

// LZW decoding of the image nextImage() found, straight from its sub-blocks. Whole images go
// into indices_ (visible part, canvas rows) and are drawn by the caller; otherwise each
// finished row is drawn at once. rowsDone_ and lastRowPixels_ say how far the data went.
// False (why_ set) on a code that cannot occur in a valid stream.
bool GifDecoder::decodeLzw() {
  const int frameWidth = frame_.width, frameHeight = frame_.height;
  const bool whole = rules_.wholeImagesOnly;
  const int visWidth = std::max(visWidth_, 0), visHeight = std::max(visHeight_, 0);
  if (whole)
    indices_.assign(size_t(visWidth) * size_t(visHeight), 0);
  else
    row_.resize(size_t(visWidth));
  rowsDone_ = 0;
  lastRowPixels_ = 0;
  if (frameWidth == 0 || frameHeight == 0) return true;

  RowOrder order{frameHeight, interlaced_};
  // Where the visible part of the row being decoded goes; null for a row off the canvas.
  auto rowTarget = [&]() -> uint8_t* {
    const int y = frame_.top + order.row;
    if (visWidth == 0 || y >= visTop_ + visHeight) return nullptr;
    return whole ? &indices_[size_t(y - visTop_) * size_t(visWidth)] : row_.data();
  };
  uint8_t* target = rowTarget();

  uint16_t* const prefix = prefix_;
  uint8_t* const suffix = suffix_;
  uint8_t* const firstOf = firstOf_;
  uint16_t* const length = length_;
  uint8_t* const string = string_;

  const int clearCode = 1 << minCodeSize_;
  const int endCode = clearCode + 1;
  // The single-byte roots stay set up between images; only those an image with a smaller code
  // size used as codes of its own are set up again.
  for (int i = rootsClean_; i < clearCode; ++i) {
    prefix[i] = 0;
    suffix[i] = firstOf[i] = static_cast<uint8_t>(i);
    length[i] = 1;
  }
  rootsClean_ = clearCode;
  int codeSize = minCodeSize_ + 1;
  int nextCode = clearCode + 2;
  int prev = -1;  // no previous code: a stream without a leading clear code starts as after one

  const uint8_t* in = data_ + imageData_;
  const uint8_t* const inEnd = data_ + size_;
  uint64_t bits = 0;
  int bitCount = 0;
  int x = 0;
  const bool watchClock = hasDeadline_;
  int untilClock = kCodesPerClockCheck;

  // False once every row is decoded.
  auto emit = [&](const uint8_t* s, int n) {
    while (n > 0) {
      int take = std::min(n, frameWidth - x);
      if (target && x < visWidth) std::memcpy(target + x, s, size_t(std::min(take, visWidth - x)));
      x += take;
      s += take;
      n -= take;
      if (x == frameWidth) {
        if (!whole && target) drawRow(frame_.top + order.row, target, visWidth);
        x = 0;
        if (++rowsDone_ == frameHeight) return false;
        order.advance();
        target = rowTarget();
      }
    }
    return true;
  };

  bool clean = true;
  const uint8_t* blockEnd = in;  // end of the current sub-block's bytes within the file
  for (;;) {
    if (bitCount < codeSize) {
      for (;;) {
        while (in < blockEnd && bitCount <= 56) {
          bits |= uint64_t(*in++) << bitCount;
          bitCount += 8;
        }
        if (bitCount >= codeSize) break;
        // The data ends without an end code, or the file inside a sub-block.
        if (in >= inEnd || *in == 0) goto ended;
        const size_t n = *in++;
        blockEnd = in + std::min(n, size_t(inEnd - in));
      }
    }
    if (watchClock && --untilClock == 0) {
      untilClock = kCodesPerClockCheck;
      if (std::chrono::steady_clock::now() >= deadline_) {
        timedOut_ = true;
        why_ = "out of decoding time";
        goto ended;  // what was decoded so far is kept
      }
    }
    int code = static_cast<int>(bits & ((1u << codeSize) - 1));
    bits >>= codeSize;
    bitCount -= codeSize;

    if (code == clearCode) {
      codeSize = minCodeSize_ + 1;
      nextCode = clearCode + 2;
      prev = -1;
      continue;
    }
    if (code == endCode) goto ended;
    // The string of the code: the string of `from`, then `tail` when it is the code being
    // defined right now (the previous string plus its own first byte).
    int len, from;
    bool withTail = false;
    uint8_t tail = 0;
    if (code < nextCode) {  // clear and end codes were handled above
      len = length[code];
      from = code;
      if (prev >= 0 && nextCode < kLzwCodes) {
        prefix[nextCode] = static_cast<uint16_t>(prev);
        suffix[nextCode] = firstOf[code];
        firstOf[nextCode] = firstOf[prev];
        length[nextCode] = static_cast<uint16_t>(length[prev] + 1);
        ++nextCode;
      }
    } else if (code == nextCode && prev >= 0 && nextCode < kLzwCodes) {
      len = length[prev] + 1;
      from = prev;
      withTail = true;
      tail = firstOf[prev];
      prefix[nextCode] = static_cast<uint16_t>(prev);
      suffix[nextCode] = tail;
      firstOf[nextCode] = tail;
      length[nextCode] = static_cast<uint16_t>(len);
      ++nextCode;
    } else {
      why_ = "LZW code " + std::to_string(code) + " is not defined";
      clean = false;
      goto ended;
    }
    // The encoder widens its codes once the next free code needs another bit, counting the
    // code it has just written; that is when this table reaches the power of two.
    if (nextCode == (1 << codeSize) && codeSize < 12) ++codeSize;
    prev = code;

    // Most strings end inside the current row: written straight into it (or not at all on a
    // row off the canvas). The others go through emit(), which finishes rows.
    const bool inRow = x + len < frameWidth;
    if (inRow && !target) {
      x += len;
      continue;
    }
    uint8_t* out = inRow && x + len <= visWidth ? target + x : string;
    int i = len - 1;
    if (withTail) out[i--] = tail;
    for (int c = from; i >= 0; --i) {
      out[i] = suffix[c];
      c = prefix[c];
    }
    if (out != string)
      x += len;
    else if (!emit(string, len))
      return true;  // every row decoded: the rest of the data is not needed
  }
ended:
  lastRowPixels_ = x;
  // A row the data stopped in the middle of: its decoded pixels are drawn, the rest is not.
  if (!whole && target && x > 0) drawRow(frame_.top + order.row, target, std::min(x, visWidth));
  return clean;
}

}  // namespace plat::gif
