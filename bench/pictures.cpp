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

// A w x h JPEG at quality 90 of a textured picture; `app1` (an Exif block) is written after
// the JFIF header when given.
std::vector<uint8_t> encode(int w, int h, const std::vector<uint8_t>& app1 = {}) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &out, &size);
  c.image_width = static_cast<JDIMENSION>(w);
  c.image_height = static_cast<JDIMENSION>(h);
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 90, TRUE);
  jpeg_start_compress(&c, TRUE);
  if (!app1.empty()) jpeg_write_marker(&c, JPEG_APP0 + 1, app1.data(), static_cast<unsigned>(app1.size()));
  std::vector<uint8_t> row(size_t(w) * 3);
  uint32_t seed = 12345;
  while (c.next_scanline < c.image_height) {
    const int y = static_cast<int>(c.next_scanline) * 3000 / h;
    for (int xi = 0; xi < w; ++xi) {
      const int x = xi * 4000 / w;
      // Smooth colour areas with fine texture and sensor noise in the brightness, as in a
      // camera photo (the colour of neighbouring pixels hardly differs, their brightness does).
      seed = seed * 1103515245u + 12345u;
      const int noise = static_cast<int>((seed >> 16) % 17) - 8;
      const int texture = static_cast<int>(12 * std::sin(x * 0.7) * std::sin(y * 0.5) + 10 * std::sin((x + y) * 0.11));
      const int grain = noise + texture;
      const double v = 128 + 60 * std::sin(x * 0.01) * std::cos(y * 0.013);
      row[size_t(xi) * 3] = static_cast<uint8_t>(std::clamp(int(v) + grain, 0, 255));
      row[size_t(xi) * 3 + 1] = static_cast<uint8_t>(std::clamp(x * 255 / 4000 + grain, 0, 255));
      row[size_t(xi) * 3 + 2] = static_cast<uint8_t>(std::clamp(y * 255 / 3000 + grain, 0, 255));
    }
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  std::vector<uint8_t> bytes(out, out + size);
  jpeg_destroy_compress(&c);
  std::free(out);
  return bytes;
}

// An Exif block whose second directory points at `thumb`, as cameras write it.
std::vector<uint8_t> exifWith(const std::vector<uint8_t>& thumb) {
  std::vector<uint8_t> b = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0};
  auto u16 = [&](uint32_t v) { b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)); };
  auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
  u16(0);   // IFD0: no entries
  u32(14);  // IFD1 follows at 14
  u16(2);
  u16(0x0201), u16(4), u32(1), u32(14 + 2 + 24 + 4);
  u16(0x0202), u16(4), u32(1), u32(static_cast<uint32_t>(thumb.size()));
  u32(0);
  b.insert(b.end(), thumb.begin(), thumb.end());
  return b;
}

// A 12-megapixel photo without an embedded thumbnail: decoded at 1/8.
const std::vector<uint8_t>& photo() {
  static const std::vector<uint8_t> bytes = encode(4000, 3000);
  return bytes;
}

// The same photo as a camera writes it, with its 160 x 120 Exif thumbnail.
const std::vector<uint8_t>& cameraPhoto() {
  static const std::vector<uint8_t> bytes = encode(4000, 3000, exifWith(encode(160, 120)));
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

void BM_Thumbnail_CameraJpeg4000x3000_To160x120(benchmark::State& state) {
  const std::vector<uint8_t>& f = cameraPhoto();
  for (auto _ : state) {
    auto img = plat::image::Image::fromMemory(f.data(), f.size());
    auto thumb = img ? img->thumbnail(160, 120) : nullptr;
    if (!thumb) state.SkipWithError("thumbnail failed");
    benchmark::DoNotOptimize(thumb);
  }
}
BENCHMARK(BM_Thumbnail_CameraJpeg4000x3000_To160x120)->Unit(benchmark::kMillisecond);

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
      // Single runs, or the median of repetitions.
      if (!r.error_occurred && (r.run_type == Run::RT_Iteration || r.aggregate_name == "median"))
        ns[r.run_name.function_name] = r.GetAdjustedCPUTime() * (r.time_unit == benchmark::kMillisecond ? 1e6 : 1.0);
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::printf("photo: %zu bytes of JPEG (%zu with its Exif thumbnail)\n", photo().size(), cameraPhoto().size());
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto& t = reporter.ns;
  const char* thumb = "BM_Thumbnail_Jpeg4000x3000_To160x120";
  const char* stb = "BM_StbImage_Jpeg4000x3000_FullDecode";
  const char* full = "BM_Imaging_Jpeg4000x3000_FullDecode";
  const char* camera = "BM_Thumbnail_CameraJpeg4000x3000_To160x120";
  std::printf("\nRatios (CPU time)\n");
  if (t.count(thumb) && t.count(stb) && t[thumb] > 0)
    std::printf("%-52s %6.2fx faster (target >= 4x)\n", "thumbnail 160x120 vs stb_image full decode", t[stb] / t[thumb]);
  if (t.count(camera) && t.count(stb) && t[camera] > 0)
    std::printf("%-52s %6.2fx faster (target >= 4x)\n", "same with the camera's Exif thumbnail vs stb_image", t[stb] / t[camera]);
  if (t.count(full) && t.count(stb) && t[full] > 0)
    std::printf("%-52s %6.2fx faster\n", "imaging full decode vs stb_image full decode", t[stb] / t[full]);
  benchmark::Shutdown();
  return 0;
}
