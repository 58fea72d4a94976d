// Decoding GIF files with the system's one GIF decoder, side by side with stb_image's GIF
// decoder on the same files in the same run. Player/Stb: every composited frame of one round
// (the animation player's rules); items per second are frames. Still/StbFirst: the first frame
// only, as the imaging service reads a picture. stb's first frame is the first image; ours
// composes images up to the first with a graphic control (high-color.gif: all of its tiles;
// dispose-restore-previous.gif: two images), so only the other files compare like for like.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "gif/gif_decoder.h"
#include "image/picture_decoders.h"
#include "stb/stb_image.h"

namespace {

std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A real LZW encoder (dictionary up to 4096 codes, clear when full), so the generated file
// compresses as files from image editors do.
void lzwImage(std::vector<uint8_t>& out, const std::vector<uint8_t>& px, int minCodeSize) {
  std::vector<uint8_t> data;
  uint32_t acc = 0;
  int nbits = 0;
  int size = minCodeSize + 1;
  auto put = [&](int code) {
    acc |= uint32_t(code) << nbits;
    nbits += size;
    while (nbits >= 8) {
      data.push_back(uint8_t(acc));
      acc >>= 8;
      nbits -= 8;
    }
  };
  const int clear = 1 << minCodeSize;
  std::unordered_map<uint32_t, int> dict;
  int next = clear + 2;
  put(clear);
  int cur = px[0];
  for (size_t i = 1; i < px.size(); ++i) {
    uint32_t key = (uint32_t(cur) << 8) | px[i];
    auto it = dict.find(key);
    if (it != dict.end()) {
      cur = it->second;
      continue;
    }
    put(cur);
    if (next < 4096) {
      dict[key] = next++;
      if (next > (1 << size) && size < 12) ++size;
    } else {
      put(clear);
      dict.clear();
      next = clear + 2;
      size = minCodeSize + 1;
    }
    cur = px[i];
  }
  put(cur);
  put(clear + 1);
  if (nbits > 0) data.push_back(uint8_t(acc));
  out.push_back(uint8_t(minCodeSize));
  for (size_t i = 0; i < data.size(); i += 255) {
    size_t n = std::min<size_t>(255, data.size() - i);
    out.push_back(uint8_t(n));
    out.insert(out.end(), data.begin() + long(i), data.begin() + long(i + n));
  }
  out.push_back(0);
}

// 320 x 240, 256 colours, 8 full frames of a moving pattern with a transparent hole, as an
// intro animation of a skin might be.
std::vector<uint8_t> makeAnimation(int w, int h, int frames) {
  std::vector<uint8_t> f = {'G', 'I', 'F', '8', '9', 'a', uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8),
                            0xF7, 0, 0};
  for (int i = 0; i < 256; ++i) f.insert(f.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)});
  for (int k = 0; k < frames; ++k) {
    f.insert(f.end(), {0x21, 0xF9, 4, 0x05, 4, 0, 0, 0});  // disposal 1, transparent index 0
    f.insert(f.end(), {0x2C, 0, 0, 0, 0, uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8), 0});
    std::vector<uint8_t> px(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        int dx = x - w / 2 - k * 8, dy = y - h / 2;
        int v = (dx * dx + dy * dy < 900) ? 0 : 1 + ((x / 8 + y / 8 + k) % 16) * 15 + (x % 3 == 0 ? 1 : 0);
        px[size_t(y) * size_t(w) + size_t(x)] = uint8_t(v);
      }
    lzwImage(f, px, 8);
  }
  f.push_back(0x3B);
  return f;
}

struct Input {
  std::string name;
  std::vector<uint8_t> bytes;
};

std::vector<Input>& inputs() {
  static std::vector<Input> all = [] {
    std::vector<Input> v;
    const std::string suite = std::string(HU_TESTDATA_DIR) + "/gif/pygif-test-suite/test-suite/";
    for (const char* n : {"4095-codes.gif", "high-color.gif", "interlace.gif", "dispose-restore-previous.gif"})
      v.push_back({n, readFile(suite + n)});
    v.push_back({"generated-320x240x8", makeAnimation(320, 240, 8)});
    return v;
  }();
  return all;
}

void BM_Player(benchmark::State& state) {
  const Input& in = inputs()[size_t(state.range(0))];
  state.SetLabel(in.name);
  int64_t frames = 0;
  for (auto _ : state) {
    gif::GifDecoder dec;
    std::string why;
    if (!dec.load(in.bytes, why)) state.SkipWithError(why.c_str());
    dec.reset(0u);
    for (;;) {
      gif::GifDecoder::Step s = dec.next();
      if (s == gif::GifDecoder::Step::Frame) ++frames;
      else if (s != gif::GifDecoder::Step::Skipped) break;
    }
    benchmark::DoNotOptimize(dec.canvas());
  }
  state.SetItemsProcessed(frames);
}

void BM_Stb(benchmark::State& state) {
  const Input& in = inputs()[size_t(state.range(0))];
  state.SetLabel(in.name);
  int64_t frames = 0;
  for (auto _ : state) {
    int* delays = nullptr;
    int w = 0, h = 0, z = 0, comp = 0;
    stbi_uc* px = stbi_load_gif_from_memory(in.bytes.data(), int(in.bytes.size()), &delays, &w, &h, &z, &comp, 4);
    if (!px) state.SkipWithError("stb refused the file");
    frames += z;
    benchmark::DoNotOptimize(px);
    stbi_image_free(px);
    free(delays);
  }
  state.SetItemsProcessed(frames);
}

void BM_Still(benchmark::State& state) {
  const Input& in = inputs()[size_t(state.range(0))];
  state.SetLabel(in.name);
  for (auto _ : state) {
    plat::image::LoadBudget budget;
    plat::image::Raster out;
    std::string why;
    if (!plat::image::decodeGif(in.bytes.data(), in.bytes.size(), budget, out, why)) state.SkipWithError(why.c_str());
    benchmark::DoNotOptimize(out.pixels.data());
  }
}

void BM_StbFirst(benchmark::State& state) {
  const Input& in = inputs()[size_t(state.range(0))];
  state.SetLabel(in.name);
  for (auto _ : state) {
    int w = 0, h = 0, comp = 0;
    stbi_uc* px = stbi_load_from_memory(in.bytes.data(), int(in.bytes.size()), &w, &h, &comp, 4);
    if (!px) state.SkipWithError("stb refused the file");
    benchmark::DoNotOptimize(px);
    stbi_image_free(px);
  }
}

}  // namespace

BENCHMARK(BM_Player)->DenseRange(0, 4);
BENCHMARK(BM_Stb)->DenseRange(0, 4);
BENCHMARK(BM_Still)->DenseRange(0, 4);
BENCHMARK(BM_StbFirst)->DenseRange(0, 4);
BENCHMARK_MAIN();
