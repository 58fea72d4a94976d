// Painting the default skin's program list at 800x480 and the steps of a transition, each
// beside a memcpy of one 800x480 frame measured in the same run ("x_memcpy" is the ratio).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "painter_internal.h"
#include "plat_display.h"
#include "plat_time.h"
#include "skinlet.h"
#include "windows.h"

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 480;

class BenchSkinlet : public CSkinlet {
 public:
  using CSkinlet::CurMenu;
  using CSkinlet::EffectPending;
  using CSkinlet::Menus;
};

LRESULT CALLBACK quietProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ERASEBKGND) return 1;
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

struct Unit {
  CImgRes images;
  CTxtRes* texts = nullptr;
  HWND window = nullptr;

  Unit() {
    plat::Options options;
    options.unitRoot = std::string(HU_SOURCE_DIR) + "/unit";
    options.persistRegistry = false;  // read only: the source tree is never written
    plat::startup(options);
    plat::console::setEcho(false);
    plat::display::Options display;
    display.backend = plat::display::Backend::Headless;
    display.presentOnIdle = false;
    plat::display::open(display);
    images.LoadImgResource(u"image.xml", u"Skin800x480");
    texts = new CTxtRes();
    SetUserDefaultUILanguage(1033);
    WNDCLASSW wc{};
    wc.lpfnWndProc = quietProc;
    wc.lpszClassName = u"BenchScreen";
    RegisterClassW(&wc);
    window = CreateWindowExW(0, u"BenchScreen", u"", WS_POPUP | WS_VISIBLE, 0, 0, kWidth, kHeight, nullptr, nullptr,
                             nullptr, nullptr);
  }
};

Unit& unit() {
  static Unit* u = new Unit();
  return *u;
}

// The program list as the launcher fills it: six rows of program paths, the first chosen.
void fillList(BenchSkinlet& view) {
  tagMenu& list = view.Menus.at(1);
  for (size_t i = 0; i < list.Tables.size(); ++i) {
    list.Tables[i].ActionType = 0x11;
    lstrcpynW(list.Tables[i].Text, u"\\StorageCard\\NaviOne\\NaviOne.exe", SL_PATH_LEN);
  }
  list.Tables[0].IsSelected = 1;
  lstrcpynW(list.Texts[1].Text, u"\\StorageCard\\NaviOne\\NaviOne.exe", SL_TEXT_LEN);
  view.CurMenu = 1;
}

// Nanoseconds of one memcpy of an 800x480 frame of 32-bit pixels, on this machine, now.
double memcpyFrameNs() {
  static std::vector<uint32_t> a(kWidth * kHeight, 0x123456), b(kWidth * kHeight);
  const int rounds = 200;
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds; ++i) {
    std::memcpy(b.data(), a.data(), a.size() * 4);
    benchmark::ClobberMemory();
  }
  return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count() / rounds;
}

template <class Body>
void timedAgainstMemcpy(benchmark::State& state, Body body, double per = 1) {
  const double reference = memcpyFrameNs();
  double total = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    body();
    total += std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
  }
  state.counters["memcpy_us"] = reference / 1000;
  state.counters["x_memcpy"] = total / static_cast<double>(state.iterations()) / per / reference;
}

void BM_MemcpyFrame(benchmark::State& state) {
  std::vector<uint32_t> a(kWidth * kHeight, 0x123456), b(kWidth * kHeight);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), a.size() * 4);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MemcpyFrame)->Unit(benchmark::kMicrosecond);

// SL_PaintBegin + SL_PaintEnd of the list page: compose the frame and copy it to the screen.
void BM_ComposeListPage(benchmark::State& state) {
  Unit& u = unit();
  BenchSkinlet view;
  view.SL_resSetHandle(&u.images, u.texts);
  view.SL_LoadSkin(u"Main_Menu_Script.xml", u"Skin800x480");
  view.SL_SetWndHandle(u.window, u.window, nullptr);
  view.SL_PaintAnimationStop();
  fillList(view);
  timedAgainstMemcpy(state, [&] {
    InvalidateRect(u.window, nullptr, FALSE);
    benchmark::DoNotOptimize(view.SL_PaintBegin());
    view.SL_PaintEnd();
  });
}
BENCHMARK(BM_ComposeListPage)->Unit(benchmark::kMicrosecond);

// One step of a slide: the whole transition on a frozen clock (its waits cost nothing) over 15.
void BM_SlideTransitionStep(benchmark::State& state) {
  Unit& u = unit();
  BenchSkinlet view;
  view.SL_resSetHandle(&u.images, u.texts);
  view.SL_LoadSkin(u"Main_Menu_Script.xml", u"Skin800x480");
  view.SL_SetWndHandle(u.window, u.window, nullptr);
  fillList(view);
  plat::clock::freeze();
  InvalidateRect(u.window, nullptr, FALSE);  // the paint context is clipped to what is invalid
  view.SL_PaintBegin();
  timedAgainstMemcpy(
      state,
      [&] {
        view.SL_SetPaintAnimationType(3);
        view.SL_AnimationProc();
      },
      skinlet::kAnimationSteps);
  view.SL_PaintAnimationStop();
  view.SL_PaintEnd();
  plat::clock::unfreeze();
}
BENCHMARK(BM_SlideTransitionStep)->Unit(benchmark::kMillisecond);

// The opening blend of a whole frame with the screen (nothing kept aside).
void BM_BlendFrame(benchmark::State& state) {
  std::vector<uint32_t> frame(kWidth * kHeight, 0xC04040), screen(kWidth * kHeight, 0x2C3034);
  timedAgainstMemcpy(state, [&] {
    skinlet::blendOutside(frame.data(), screen.data(), kWidth, kHeight, RECT{0, 0, 0, 0});
    benchmark::ClobberMemory();
  });
}
BENCHMARK(BM_BlendFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
