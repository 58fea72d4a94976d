// Showing and hiding a page of many controls, as a screen's show-all does on every page change:
// the controls' windows shown inside one layout batch (what the engine does), beside the same
// ShowWindow calls without a batch, each laid out on its own (the reference). Each iteration
// shows every control and pumps the paints, then hides them all and pumps again.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "median_times.h"
#include "plat_core.h"
#include "plat_display.h"
#include "plat_window.h"

namespace {

LRESULT CALLBACK controlProc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcW(h, m, w, l); }

struct Page {
  HWND screen = nullptr;
  std::vector<HWND> controls;

  explicit Page(int count) {
    static bool registered = false;
    if (!registered) {
      WNDCLASSW wc{};
      wc.lpfnWndProc = controlProc;
      wc.lpszClassName = u"BenchControl";
      RegisterClassW(&wc);
      registered = true;
    }
    screen = CreateWindowExW(0, u"BenchControl", u"", WS_POPUP | WS_VISIBLE, 0, 40, 800, 440, nullptr, nullptr, nullptr,
                             nullptr);
    // A grid of small buttons, as a generated script of thousands of widgets lays them out.
    const int columns = 50;
    for (int i = 0; i < count; ++i)
      controls.push_back(CreateWindowExW(0, u"BenchControl", u"", WS_CHILD, (i % columns) * 16, (i / columns % 40) * 11,
                                         15, 10, screen, nullptr, nullptr, nullptr));
    pump();
  }
  ~Page() {
    DestroyWindow(screen);
    pump();
  }
  static void pump() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
  }
  void showAll(int command, bool batched) {
    if (batched) {
      plat::window::LayoutBatch batch;
      for (HWND c : controls) ShowWindow(c, command);
    } else {
      for (HWND c : controls) ShowWindow(c, command);
    }
    pump();
  }
};

void showAndHide(benchmark::State& state, bool batched) {
  Page page(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    page.showAll(SW_SHOW, batched);
    page.showAll(SW_HIDE, batched);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * 2);
}

void BM_ShowAllInOneBatch(benchmark::State& state) { showAndHide(state, true); }
void BM_ShowAllOneByOne(benchmark::State& state) { showAndHide(state, false); }
BENCHMARK(BM_ShowAllInOneBatch)->Arg(250)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShowAllOneByOne)->Arg(250)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond);

class Reporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> ms;
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    bench::keepMedianCpuTimes(runs, ms);
  }
};

}  // namespace

int main(int argc, char** argv) {
  plat::console::setEcho(false);
  plat::display::Options display;
  display.backend = plat::display::Backend::Headless;
  display.presentOnIdle = false;
  plat::display::open(display);
  benchmark::Initialize(&argc, argv);
  Reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nshow and hide a page (ms per show-all plus hide-all; one-by-one is the reference):\n");
  for (int n : {250, 1000, 2000}) {
    const std::string arg = "/" + std::to_string(n);
    double batched = reporter.ms["BM_ShowAllInOneBatch" + arg], single = reporter.ms["BM_ShowAllOneByOne" + arg];
    if (batched > 0 && single > 0)
      std::printf("  %5d controls  batch %8.2f ms   one by one %8.2f ms   %5.1f x\n", n, batched, single,
                  single / batched);
  }
  benchmark::Shutdown();
  plat::display::close();
  return 0;
}
