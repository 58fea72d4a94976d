// GDI speed, side by side with the reference each figure should be read against.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <pixman.h>
#include <stb/stb_image.h>

#include "median_times.h"
#include "plat_image.h"
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

// Two 800x480 surfaces placed either side by side, as the allocator usually places two such
// blocks made one after the other (1.5 MB apart), or far apart. Four pairs of surfaces are made
// with large untouched blocks between the pairs; the two nearest together and the two farthest
// apart are used. Where the pixels lie is reported with each figure: the speed of the C library's row
// copy can depend on it, ours must not.
struct SurfacePool {
  std::vector<std::unique_ptr<Surface32>> surfaces;
  std::vector<char*> spacers;
  SurfacePool() {
    for (int k = 0; k < 4; ++k) {
      surfaces.push_back(std::make_unique<Surface32>(W, H));
      surfaces.push_back(std::make_unique<Surface32>(W, H));
      spacers.push_back(static_cast<char*>(std::malloc(size_t{8} << 20)));  // never touched
    }
  }
  ~SurfacePool() {
    for (char* p : spacers) std::free(p);
  }
  static SurfacePool& get() {
    static SurfacePool pool;
    return pool;
  }
};

struct SurfacePair {
  Surface32* src = nullptr;
  Surface32* dst = nullptr;
  explicit SurfacePair(bool far) {
    auto& all = SurfacePool::get().surfaces;
    int64_t best = far ? -1 : INT64_MAX;
    for (auto& a : all)
      for (auto& b : all) {
        if (a == b) continue;
        const int64_t gap = std::llabs(reinterpret_cast<intptr_t>(b->pixels) - reinterpret_cast<intptr_t>(a->pixels));
        if (far ? gap > best : gap < best) {
          best = gap;
          src = a.get();
          dst = b.get();
        }
      }
    for (int i = 0; i < W * H; ++i) src->pixels[i] = static_cast<uint32_t>(i * 2654435761u) & 0xFFFFFF;
  }
  double distanceMB() const {
    return static_cast<double>(reinterpret_cast<intptr_t>(dst->pixels) - reinterpret_cast<intptr_t>(src->pixels)) /
           1048576.0;
  }
};

void BM_BitBlt_Srccopy_800x480(benchmark::State& state) {
  SurfacePair pair(state.range(0) != 0);
  for (auto _ : state) {
    BitBlt(pair.dst->dc, 0, 0, W, H, pair.src->dc, 0, 0, SRCCOPY);
    benchmark::DoNotOptimize(pair.dst->pixels[0]);
  }
  state.counters["distance_MB"] = pair.distanceMB();
}
BENCHMARK(BM_BitBlt_Srccopy_800x480)->ArgName("far")->Arg(0)->Arg(1);

// A part of the surface (rows not contiguous): our own row loop.
void BM_BitBlt_Srccopy_700x400(benchmark::State& state) {
  SurfacePair pair(state.range(0) != 0);
  for (auto _ : state) {
    BitBlt(pair.dst->dc, 50, 40, 700, 400, pair.src->dc, 50, 40, SRCCOPY);
    benchmark::DoNotOptimize(pair.dst->pixels[0]);
  }
  state.counters["distance_MB"] = pair.distanceMB();
}
BENCHMARK(BM_BitBlt_Srccopy_700x400)->ArgName("far")->Arg(0)->Arg(1);

// The references: one memcpy of the whole picture, and memcpy row by row of the same part,
// between the same two buffers.
void BM_Memcpy_800x480x4(benchmark::State& state) {
  SurfacePair pair(state.range(0) != 0);
  for (auto _ : state) {
    std::memcpy(pair.dst->pixels, pair.src->pixels, size_t{W} * H * 4);
    benchmark::DoNotOptimize(pair.dst->pixels);
    benchmark::ClobberMemory();
  }
  state.counters["distance_MB"] = pair.distanceMB();
}
BENCHMARK(BM_Memcpy_800x480x4)->ArgName("far")->Arg(0)->Arg(1);

void BM_MemcpyRows_700x400(benchmark::State& state) {
  SurfacePair pair(state.range(0) != 0);
  for (auto _ : state) {
    for (int y = 40; y < 440; ++y) std::memcpy(pair.dst->pixels + y * W + 50, pair.src->pixels + y * W + 50, 700 * 4);
    benchmark::DoNotOptimize(pair.dst->pixels);
    benchmark::ClobberMemory();
  }
  state.counters["distance_MB"] = pair.distanceMB();
}
BENCHMARK(BM_MemcpyRows_700x400)->ArgName("far")->Arg(0)->Arg(1);

// A picture with straight alpha (a fifth of its pixels half transparent) drawn at half its size,
// as a thumbnail is, over a surface; the reference is pixman compositing the same picture
// (premultiplied, as pixman keeps it) with a halving transform and its bilinear filter, which at
// exactly half the size averages the same four pixels.
constexpr int PW = 640, PH = 480;
std::vector<uint32_t> picturePixels(int pw = PW, int ph = PH) {
  std::vector<uint32_t> px(size_t(pw) * size_t(ph));
  for (size_t i = 0; i < px.size(); ++i)
    px[i] = ((i % 5 == 0) ? 0x80000000u : 0xFF000000u) | (static_cast<uint32_t>(i * 2654435761u) & 0xFFFFFF);
  return px;
}

// The picture as a PNG-free in-memory BMP would need a decoder; a 32-bit BMP keeps its alpha.
std::unique_ptr<plat::image::Image> pictureImage(const std::vector<uint32_t>& px, int pw, int ph) {
  std::vector<uint8_t> file(54 + px.size() * 4);
  auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&file[at], &v, 4); };
  file[0] = 'B', file[1] = 'M';
  put32(2, static_cast<uint32_t>(file.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(pw));
  put32(22, static_cast<uint32_t>(-ph));
  file[26] = 1;
  file[28] = 32;
  std::memcpy(&file[54], px.data(), px.size() * 4);
  return plat::image::Image::fromMemory(file.data(), file.size());
}

// pixman keeps premultiplied pixels.
void premultiply(std::vector<uint32_t>& px) {
  for (uint32_t& p : px) {
    const uint32_t a = p >> 24;
    auto ch = [&](int shift) { return (((p >> shift) & 255) * a + 127) / 255; };
    p = (a << 24) | (ch(16) << 16) | (ch(8) << 8) | ch(0);
  }
}

void BM_ImageDraw_Half_640x480(benchmark::State& state) {
  std::vector<uint32_t> px = picturePixels();
  auto img = pictureImage(px, PW, PH);
  if (!img) return state.SkipWithError("picture not decoded");
  Surface32 dst(W, H);
  const RECT r{10, 10, 10 + PW / 2, 10 + PH / 2};
  for (auto _ : state) {
    img->draw(dst.dc, r);
    benchmark::DoNotOptimize(dst.pixels[0]);
  }
}
BENCHMARK(BM_ImageDraw_Half_640x480);

void BM_Pixman_OverHalf_640x480(benchmark::State& state) {
  std::vector<uint32_t> px = picturePixels();
  premultiply(px);
  std::vector<uint32_t> out(size_t{W} * H, 0x204060);
  pixman_image_t* s = pixman_image_create_bits(PIXMAN_a8r8g8b8, PW, PH, px.data(), PW * 4);
  pixman_image_t* d = pixman_image_create_bits(PIXMAN_x8r8g8b8, W, H, out.data(), W * 4);
  pixman_transform_t t;
  pixman_transform_init_scale(&t, pixman_int_to_fixed(2), pixman_int_to_fixed(2));
  pixman_image_set_transform(s, &t);
  pixman_image_set_filter(s, PIXMAN_FILTER_BILINEAR, nullptr, 0);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_OVER, s, nullptr, d, 0, 0, 0, 0, 10, 10, PW / 2, PH / 2);
    benchmark::DoNotOptimize(out[0]);
  }
  pixman_image_unref(s);
  pixman_image_unref(d);
}
BENCHMARK(BM_Pixman_OverHalf_640x480);

// The same kind of picture drawn twice its size (400x240 to the whole 800x480 screen), each
// screen pixel one picture pixel, over the surface; the reference is pixman's nearest-neighbour
// OVER with a doubling transform, which picks the same pixels.
void BM_ImageDraw_Up_400x240_to_800x480(benchmark::State& state) {
  std::vector<uint32_t> px = picturePixels(400, 240);
  auto img = pictureImage(px, 400, 240);
  if (!img) return state.SkipWithError("picture not decoded");
  Surface32 dst(W, H);
  const RECT r{0, 0, W, H};
  for (auto _ : state) {
    img->draw(dst.dc, r);
    benchmark::DoNotOptimize(dst.pixels[0]);
  }
}
BENCHMARK(BM_ImageDraw_Up_400x240_to_800x480);

void BM_Pixman_OverNearestUp_400x240_to_800x480(benchmark::State& state) {
  std::vector<uint32_t> px = picturePixels(400, 240);
  premultiply(px);
  std::vector<uint32_t> out(size_t{W} * H, 0x204060);
  pixman_image_t* s = pixman_image_create_bits(PIXMAN_a8r8g8b8, 400, 240, px.data(), 400 * 4);
  pixman_image_t* d = pixman_image_create_bits(PIXMAN_x8r8g8b8, W, H, out.data(), W * 4);
  pixman_transform_t t;
  pixman_transform_init_scale(&t, pixman_double_to_fixed(0.5), pixman_double_to_fixed(0.5));
  pixman_image_set_transform(s, &t);
  pixman_image_set_filter(s, PIXMAN_FILTER_NEAREST, nullptr, 0);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_OVER, s, nullptr, d, 0, 0, 0, 0, 0, 0, W, H);
    benchmark::DoNotOptimize(out[0]);
  }
  pixman_image_unref(s);
  pixman_image_unref(d);
}
BENCHMARK(BM_Pixman_OverNearestUp_400x240_to_800x480);

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
  const char16_t* text = u"Navigation started at 12:30 am";
  const int length = static_cast<int>(std::char_traits<char16_t>::length(text));
  if (length != 30) return state.SkipWithError("the text is not 30 characters");
  RECT r{0, 0, W, 40};
  DrawTextW(dst.dc, text, length, &r, DT_LEFT | DT_VCENTER | DT_SINGLELINE);  // warms the cache
  for (auto _ : state) {
    DrawTextW(dst.dc, text, length, &r, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
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
    bench::keepMedianCpuTimes(runs, ns,
                              [](const Run& r) { return r.time_unit == benchmark::kMillisecond ? 1e6 : 1.0; });
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
  std::printf("\nRatios (CPU time; medians when repeated)\n");
  ratio("BitBlt SRCCOPY 800x480 / memcpy, side by side", "BM_BitBlt_Srccopy_800x480/far:0",
        "BM_Memcpy_800x480x4/far:0", "<= 1.5x");
  ratio("BitBlt SRCCOPY 800x480 / memcpy, far apart", "BM_BitBlt_Srccopy_800x480/far:1", "BM_Memcpy_800x480x4/far:1",
        "<= 1.5x");
  ratio("BitBlt SRCCOPY 700x400 part / memcpy whole", "BM_BitBlt_Srccopy_700x400/far:0",
        "BM_Memcpy_800x480x4/far:0", "<= 1.5x");
  ratio("BitBlt SRCCOPY 700x400 part / memcpy whole, far", "BM_BitBlt_Srccopy_700x400/far:1",
        "BM_Memcpy_800x480x4/far:1", "<= 1.5x");
  ratio("memcpy row by row 700x400 / memcpy whole", "BM_MemcpyRows_700x400/far:0", "BM_Memcpy_800x480x4/far:0",
        "(for scale)");
  ratio("memcpy row by row 700x400 / memcpy whole, far", "BM_MemcpyRows_700x400/far:1", "BM_Memcpy_800x480x4/far:1",
        "(for scale)");
  ratio("Picture drawn at half size, alpha / pixman", "BM_ImageDraw_Half_640x480", "BM_Pixman_OverHalf_640x480",
        "<= 1.5x");
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
