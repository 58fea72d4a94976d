// Thumbnail of a 12-megapixel camera photo (4000 x 3000 JPEG) into a 160 x 120 table cell by
// the imaging service, against decoding the whole photo with stb_image, in the same run.
// The photo is made at start (libjpeg, quality 90, a textured picture) rather than kept in
// the tree.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <stb/stb_image.h>

#include "plat_image.h"
#include "windows.h"

namespace {

const std::vector<uint8_t>& photo() {
  static std::vector<uint8_t> bytes;
  if (!bytes.empty()) return bytes;
  const int w = 4000, h = 3000;
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &out, &size);
  c.image_width = w;
  c.image_height = h;
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 90, TRUE);
  jpeg_start_compress(&c, TRUE);
  std::vector<uint8_t> row(size_t(w) * 3);
  uint32_t seed = 12345;
  while (c.next_scanline < c.image_height) {
    const int y = static_cast<int>(c.next_scanline);
    for (int x = 0; x < w; ++x) {
      seed = seed * 1103515245u + 12345u;
      const int noise = static_cast<int>((seed >> 16) & 31) - 16;
      const double v = 128 + 60 * std::sin(x * 0.01) * std::cos(y * 0.013);
      row[size_t(x) * 3] = static_cast<uint8_t>(std::clamp(int(v) + noise, 0, 255));
      row[size_t(x) * 3 + 1] = static_cast<uint8_t>(std::clamp(x * 255 / w + noise, 0, 255));
      row[size_t(x) * 3 + 2] = static_cast<uint8_t>(std::clamp(y * 255 / h - noise, 0, 255));
    }
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  bytes.assign(out, out + size);
  jpeg_destroy_compress(&c);
  std::free(out);
  return bytes;
}

void BM_Thumbnail_Jpeg4000x3000_To160x120(benchmark::State& state) {
  const std::vector<uint8_t>& f = photo();
  for (auto _ : state) {
    auto img = plat::image::Image::fromMemory(f.data(), f.size());
    auto thumb = img ? img->thumbnail(160, 120) : nullptr;
    if (!thumb) state.SkipWithError("thumbnail failed");
    benchmark::DoNotOptimize(thumb);
  }
}
BENCHMARK(BM_Thumbnail_Jpeg4000x3000_To160x120)->Unit(benchmark::kMillisecond);

void BM_StbImage_Jpeg4000x3000_FullDecode(benchmark::State& state) {
  const std::vector<uint8_t>& f = photo();
  for (auto _ : state) {
    int w, h, n;
    unsigned char* px = stbi_load_from_memory(f.data(), static_cast<int>(f.size()), &w, &h, &n, 4);
    if (!px) state.SkipWithError("stb_image failed");
    benchmark::DoNotOptimize(px);
    stbi_image_free(px);
  }
}
BENCHMARK(BM_StbImage_Jpeg4000x3000_FullDecode)->Unit(benchmark::kMillisecond);

// For reference: the imaging service's own full-size decode of the same photo.
void BM_Imaging_Jpeg4000x3000_FullDecode(benchmark::State& state) {
  const std::vector<uint8_t>& f = photo();
  for (auto _ : state) {
    auto img = plat::image::Image::fromMemory(f.data(), f.size());
    if (!img || img->pixels().empty()) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(img);
  }
}
BENCHMARK(BM_Imaging_Jpeg4000x3000_FullDecode)->Unit(benchmark::kMillisecond);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> ns;
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration && !r.error_occurred)
        ns[r.benchmark_name()] = r.GetAdjustedCPUTime() * (r.time_unit == benchmark::kMillisecond ? 1e6 : 1.0);
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::printf("photo: %zu bytes of JPEG\n", photo().size());
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto& t = reporter.ns;
  const char* thumb = "BM_Thumbnail_Jpeg4000x3000_To160x120";
  const char* stb = "BM_StbImage_Jpeg4000x3000_FullDecode";
  const char* full = "BM_Imaging_Jpeg4000x3000_FullDecode";
  std::printf("\nRatios (CPU time)\n");
  if (t.count(thumb) && t.count(stb) && t[thumb] > 0)
    std::printf("%-52s %6.2fx faster (target >= 4x)\n", "thumbnail 160x120 vs stb_image full decode", t[stb] / t[thumb]);
  if (t.count(full) && t.count(stb) && t[full] > 0)
    std::printf("%-52s %6.2fx faster\n", "imaging full decode vs stb_image full decode", t[stb] / t[full]);
  benchmark::Shutdown();
  return 0;
}
