// GDI speed, side by side with the reference each figure should be read against.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <stb/stb_image.h>

#include "text/font_catalog.h"
#include "windows.h"

namespace {

constexpr int W = 800, H = 480;

struct Surface32 {
  HBITMAP bitmap = nullptr;
  HDC dc = nullptr;
  uint32_t* pixels = nullptr;
  Surface32(int w, int h) {
    BITMAPINFO info{};
    info.bmiHeader = {40, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    pixels = static_cast<uint32_t*>(bits);
    dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, bitmap);
  }
  ~Surface32() {
    DeleteDC(dc);
    DeleteObject(bitmap);
  }
};

void BM_BitBlt_Srccopy_800x480(benchmark::State& state) {
  Surface32 src(W, H), dst(W, H);
  for (auto _ : state) {
    BitBlt(dst.dc, 0, 0, W, H, src.dc, 0, 0, SRCCOPY);
    benchmark::DoNotOptimize(dst.pixels[0]);
  }
}
BENCHMARK(BM_BitBlt_Srccopy_800x480);

void BM_Memcpy_800x480x4(benchmark::State& state) {
  std::vector<uint32_t> a(W * H, 1), b(W * H);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), a.size() * 4);
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Memcpy_800x480x4);

void BM_TransparentImage_400x240_to_800x480(benchmark::State& state) {
  Surface32 src(400, 240), dst(W, H);
  for (int i = 0; i < 400 * 240; ++i) src.pixels[i] = (i % 7) ? 0x336699 : 0xFA00FA;
  for (auto _ : state) {
    TransparentImage(dst.dc, 0, 0, W, H, src.dc, 0, 0, 400, 240, RGB(250, 0, 250));
    benchmark::DoNotOptimize(dst.pixels[0]);
  }
}
BENCHMARK(BM_TransparentImage_400x240_to_800x480);

void BM_DrawTextW_30chars_warm(benchmark::State& state) {
  Surface32 dst(W, 40);
  HFONT font = CreateFontW(20, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, u"Arial");
  SelectObject(dst.dc, font);
  SetBkMode(dst.dc, TRANSPARENT);
  SetTextColor(dst.dc, RGB(255, 255, 255));
  const char16_t* text = u"Navigation started: 12:30 am.";  // 30 characters with the space
  RECT r{0, 0, W, 40};
  DrawTextW(dst.dc, text, 30, &r, DT_LEFT | DT_VCENTER | DT_SINGLELINE);  // warms the cache
  for (auto _ : state) {
    DrawTextW(dst.dc, text, 30, &r, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
  }
  SelectObject(dst.dc, GetStockObject(SYSTEM_FONT));
  DeleteObject(font);
}
BENCHMARK(BM_DrawTextW_30chars_warm);

void BM_RegionCut_800x480_10pct_black(benchmark::State& state) {
  std::mt19937 rng(1);
  std::vector<uint8_t> black(W * H);
  for (auto& b : black) b = (rng() % 10) == 0;
  for (auto _ : state) {
    HRGN rgn = CreateRectRgn(0, 0, W, H);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x)
        if (black[y * W + x]) {
          HRGN px = CreateRectRgn(x, y, x + 1, y + 1);
          CombineRgn(rgn, rgn, px, RGN_DIFF);
          DeleteObject(px);
        }
    benchmark::DoNotOptimize(rgn);
    DeleteObject(rgn);
  }
}
BENCHMARK(BM_RegionCut_800x480_10pct_black)->Unit(benchmark::kMillisecond);

std::string bmpFile() {
  static std::string path;
  if (!path.empty()) return path;
  char tmpl[] = "/tmp/gdi_bench_XXXXXX";
  int fd = mkstemp(tmpl);
  if (fd < 0) return path;
  close(fd);
  path = tmpl;
  const size_t row = W * 3, image = row * H;
  std::vector<uint8_t> f(54 + image);
  auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&f[at], &v, 4); };
  f[0] = 'B', f[1] = 'M';
  put32(2, static_cast<uint32_t>(f.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, W);
  put32(22, H);
  f[26] = 1;
  f[28] = 24;
  for (size_t i = 0; i < image; ++i) f[54 + i] = static_cast<uint8_t>(i * 31);
  FILE* out = std::fopen(path.c_str(), "wb");
  std::fwrite(f.data(), 1, f.size(), out);
  std::fclose(out);
  return path;
}

void BM_SHLoadDIBitmap_800x480x24(benchmark::State& state) {
  const std::string path = bmpFile();
  const std::u16string wpath(path.begin(), path.end());
  for (auto _ : state) {
    HBITMAP b = SHLoadDIBitmap(wpath.c_str());
    benchmark::DoNotOptimize(b);
    DeleteObject(b);
  }
}
BENCHMARK(BM_SHLoadDIBitmap_800x480x24);

void BM_StbImage_800x480x24(benchmark::State& state) {
  const std::string path = bmpFile();
  for (auto _ : state) {
    int w, h, n;
    unsigned char* px = stbi_load(path.c_str(), &w, &h, &n, 3);
    benchmark::DoNotOptimize(px);
    stbi_image_free(px);
  }
}
BENCHMARK(BM_StbImage_800x480x24);

// Keeps each benchmark's CPU time per iteration (ns) for the ratios printed at the end: on a
// shared machine the CPU time is the steadier figure.
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
  plat::text::pinFontFiles({"/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf",
                            "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"});
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto& t = reporter.ns;
  auto ratio = [&](const char* what, const char* a, const char* b, const char* target) {
    if (t.count(a) && t.count(b) && t[b] > 0)
      std::printf("%-48s %6.2fx   (target %s)\n", what, t[a] / t[b], target);
  };
  std::printf("\nRatios (CPU time)\n");
  ratio("BitBlt SRCCOPY 800x480 / memcpy", "BM_BitBlt_Srccopy_800x480", "BM_Memcpy_800x480x4", "<= 1.5x");
  ratio("SHLoadDIBitmap / stb_image, 800x480 24-bit", "BM_SHLoadDIBitmap_800x480x24", "BM_StbImage_800x480x24",
        "<= 1.0x");
  if (t.count("BM_DrawTextW_30chars_warm"))
    std::printf("%-48s %6.2f us (target < 10 us)\n", "DrawTextW 30 characters, warm cache", t["BM_DrawTextW_30chars_warm"] / 1e3);
  if (t.count("BM_RegionCut_800x480_10pct_black"))
    std::printf("%-48s %6.2f ms (target < 20 ms)\n", "Region cut, 800x480 mask, 10% black",
                t["BM_RegionCut_800x480_10pct_black"] / 1e6);
  if (t.count("BM_TransparentImage_400x240_to_800x480"))
    std::printf("%-48s %6.2f ms\n", "TransparentImage 400x240 -> 800x480", t["BM_TransparentImage_400x240_to_800x480"] / 1e6);
  if (const std::string p = bmpFile(); !p.empty()) std::remove(p.c_str());
  benchmark::Shutdown();
  return 0;
}
