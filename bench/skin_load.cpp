// Loading the default skin's scripts and looking images up: the work a screen does when it
// is created or its skin changes.
#include <benchmark/benchmark.h>

#include "skinlet.h"
#include "windows.h"

namespace {

void startUnit() {
  static bool started = false;
  if (started) return;
  plat::Options options;
  options.unitRoot = std::string(HU_SOURCE_DIR) + "/unit";
  options.persistRegistry = false;  // read only: the source tree is never written
  plat::startup(options);
  plat::console::setEcho(false);
  started = true;
}

void BM_LoadMainMenuScript(benchmark::State& state) {
  startUnit();
  CImgRes images;
  images.LoadImgResource(u"image.xml", u"Skin800x480");
  CSkinlet view;
  view.SL_resSetHandle(&images, nullptr);
  for (auto _ : state) {
    int ok = view.SL_LoadSkin(u"Main_Menu_Script.xml", u"Skin800x480");
    benchmark::DoNotOptimize(ok);
  }
}
BENCHMARK(BM_LoadMainMenuScript)->Unit(benchmark::kMicrosecond);

void BM_LoadImageTable(benchmark::State& state) {
  startUnit();
  for (auto _ : state) {
    CImgRes images;
    benchmark::DoNotOptimize(images.LoadImgResource(u"image.xml", u"Skin800x480"));
  }
}
BENCHMARK(BM_LoadImageTable)->Unit(benchmark::kMillisecond);

void BM_GetImgHandle(benchmark::State& state) {
  startUnit();
  CImgRes images;
  images.LoadImgResource(u"image.xml", u"Skin800x480");
  int id = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(images.GetImgHandle(id));
    id = (id + 7) & 63;
  }
}
BENCHMARK(BM_GetImgHandle);

}  // namespace

BENCHMARK_MAIN();
