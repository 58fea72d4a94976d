// Builds small GIF files byte by byte for the GIF tests: header and colour tables, graphic
// control blocks, images (LZW written with literal codes only, a clear code before the code
// size would grow, or by a real dictionary encoder), other blocks, raw bytes for broken files.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace giftest {

struct Rgb {
  uint8_t r, g, b;
};

class GifBuilder {
 public:
  GifBuilder& header(int width, int height, const std::vector<Rgb>& global = {}, const char* sig = "GIF89a") {
    bytes.insert(bytes.end(), sig, sig + 6);
    le16(width);
    le16(height);
    uint8_t flags = 0;
    if (!global.empty()) flags = uint8_t(0x80 | (tableBits(global.size()) - 1));
    bytes.push_back(flags);
    bytes.push_back(0);
    bytes.push_back(0);
    table(global);
    return *this;
  }
  GifBuilder& control(int disposal, bool transparent, int index, int delay) {
    raw({0x21, 0xF9, 4, uint8_t((disposal << 2) | (transparent ? 1 : 0)), uint8_t(delay), uint8_t(delay >> 8),
         uint8_t(index), 0});
    return *this;
  }
  GifBuilder& comment(const std::string& text) {
    raw({0x21, 0xFE, uint8_t(text.size())});
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.push_back(0);
    return *this;
  }
  // indices: width * height colour indices, rows top to bottom (written in interlace order
  // when interlaced).
  GifBuilder& image(int left, int top, int width, int height, const std::vector<uint8_t>& indices,
                    const std::vector<Rgb>& local = {}, bool interlaced = false, int minCodeSize = 2) {
    descriptor(left, top, width, height);
    uint8_t flags = interlaced ? 0x40 : 0;
    if (!local.empty()) flags = uint8_t(flags | 0x80 | (tableBits(local.size()) - 1));
    bytes.push_back(flags);
    table(local);
    std::vector<uint8_t> ordered;
    if (interlaced) {
      static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
      for (int p = 0; p < 4; ++p)
        for (int y = kStart[p]; y < height; y += kStep[p])
          ordered.insert(ordered.end(), indices.begin() + y * width, indices.begin() + (y + 1) * width);
    } else {
      ordered = indices;
    }
    bytes.push_back(uint8_t(minCodeSize));
    subBlocks(lzw(ordered, minCodeSize));
    return *this;
  }
  // An image compressed as image editors do: a dictionary of up to 4096 strings, codes widened
  // as soon as the next free code needs another bit, a clear code when the table is full.
  GifBuilder& imageEncoded(int left, int top, int width, int height, const std::vector<uint8_t>& indices,
                           int minCodeSize) {
    descriptor(left, top, width, height);
    bytes.push_back(0);  // no local table, not interlaced
    bytes.push_back(uint8_t(minCodeSize));
    subBlocks(encode(indices, minCodeSize));
    return *this;
  }
  // An image whose LZW data is given as codes of a fixed size.
  GifBuilder& imageCodes(int left, int top, int width, int height, int minCodeSize, const std::vector<int>& codes) {
    descriptor(left, top, width, height);
    bytes.push_back(0);  // no local table, not interlaced
    bytes.push_back(uint8_t(minCodeSize));
    BitWriter w;
    for (int c : codes) w.put(c, minCodeSize + 1);
    subBlocks(w.finish());
    return *this;
  }
  GifBuilder& trailer() {
    bytes.push_back(0x3B);
    return *this;
  }
  GifBuilder& raw(std::initializer_list<uint8_t> b) {
    bytes.insert(bytes.end(), b);
    return *this;
  }
  std::string str() const { return std::string(bytes.begin(), bytes.end()); }

  std::vector<uint8_t> bytes;

 private:
  struct BitWriter {
    std::vector<uint8_t> out;
    uint32_t acc = 0;
    int n = 0;
    void put(int code, int size) {
      acc |= uint32_t(code) << n;
      n += size;
      while (n >= 8) {
        out.push_back(uint8_t(acc));
        acc >>= 8;
        n -= 8;
      }
    }
    std::vector<uint8_t> finish() {
      if (n > 0) out.push_back(uint8_t(acc));
      return out;
    }
  };
  static int tableBits(size_t entries) {
    int bits = 1;
    while ((size_t(1) << bits) < entries) ++bits;
    return bits;
  }
  // The image separator and the image's place and size; its flags follow.
  void descriptor(int left, int top, int width, int height) {
    bytes.push_back(0x2C);
    le16(left);
    le16(top);
    le16(width);
    le16(height);
  }
  void le16(int v) {
    bytes.push_back(uint8_t(v));
    bytes.push_back(uint8_t(v >> 8));
  }
  void table(const std::vector<Rgb>& t) {
    if (t.empty()) return;
    size_t n = size_t(1) << tableBits(t.size());
    for (size_t i = 0; i < n; ++i) {
      Rgb c = i < t.size() ? t[i] : Rgb{0, 0, 0};
      bytes.insert(bytes.end(), {c.r, c.g, c.b});
    }
  }
  void subBlocks(const std::vector<uint8_t>& data) {
    for (size_t i = 0; i < data.size(); i += 255) {
      size_t n = std::min<size_t>(255, data.size() - i);
      bytes.push_back(uint8_t(n));
      bytes.insert(bytes.end(), data.begin() + long(i), data.begin() + long(i + n));
    }
    bytes.push_back(0);
  }
  static std::vector<uint8_t> encode(const std::vector<uint8_t>& px, int minCodeSize) {
    const int clear = 1 << minCodeSize;
    BitWriter w;
    int size = minCodeSize + 1;
    w.put(clear, size);
    if (px.empty()) {
      w.put(clear + 1, size);
      return w.finish();
    }
    std::map<std::pair<int, uint8_t>, int> dict;
    int next = clear + 2;
    int cur = px[0];
    for (size_t i = 1; i < px.size(); ++i) {
      auto it = dict.find({cur, px[i]});
      if (it != dict.end()) {
        cur = it->second;
        continue;
      }
      w.put(cur, size);
      if (next < 4096) {
        dict[{cur, px[i]}] = next++;
        if (next > (1 << size) && size < 12) ++size;
      } else {
        w.put(clear, size);
        dict.clear();
        next = clear + 2;
        size = minCodeSize + 1;
      }
      cur = px[i];
    }
    w.put(cur, size);
    w.put(clear + 1, size);
    return w.finish();
  }
  static std::vector<uint8_t> lzw(const std::vector<uint8_t>& indices, int minCodeSize) {
    const int clear = 1 << minCodeSize;
    const int size = minCodeSize + 1;
    BitWriter w;
    // Literals only; after clear - 2 of them the table would reach the next code size, so
    // a clear code keeps every code at the same width.
    int run = 0;
    w.put(clear, size);
    for (uint8_t v : indices) {
      if (run == clear - 2) {
        w.put(clear, size);
        run = 0;
      }
      w.put(v, size);
      ++run;
    }
    w.put(clear + 1, size);
    return w.finish();
  }
};

}  // namespace giftest
