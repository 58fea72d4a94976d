// Message throughput of the window system against plain kernel round trips on the same
// machine: posting and dispatching on one thread, a SendMessageW to another thread, and
// presenting a full headless frame; each compared with a pipe and an eventfd round trip.
#include <benchmark/benchmark.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <string>
#include <thread>

#include "plat_core.h"
#include "plat_display.h"
#include "plat_gdi.h"
#include "plat_thread.h"
#include "plat_window.h"

namespace {

LRESULT CALLBACK countingProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  static std::atomic<uint64_t> count{0};
  if (m >= WM_USER) {
    count.fetch_add(1, std::memory_order_relaxed);
    return static_cast<LRESULT>(w + 1);
  }
  return DefWindowProcW(h, m, w, l);
}

void registerClass() {
  static bool done = false;
  if (done) return;
  WNDCLASSW wc{};
  wc.lpfnWndProc = countingProc;
  wc.lpszClassName = u"BenchWnd";
  RegisterClassW(&wc);
  done = true;
}

HWND makeWindow() {
  registerClass();
  return CreateWindowExW(0, u"BenchWnd", u"bench", 0xC0000000, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
}

void BM_PostAndDispatch(benchmark::State& state) {
  HWND w = makeWindow();
  MSG m;
  for (auto _ : state) {
    PostMessageW(w, WM_USER, 1, 2);
    PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE);
    DispatchMessageW(&m);
  }
  DestroyWindow(w);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PostAndDispatch);

// Posting in batches, as a worker thread filling the queue does: 100 posts, then the pump.
void BM_PostBatchThenPump(benchmark::State& state) {
  HWND w = makeWindow();
  MSG m;
  for (auto _ : state) {
    for (int i = 0; i < 100; ++i) PostMessageW(w, WM_USER, static_cast<WPARAM>(i), 0);
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
  }
  DestroyWindow(w);
  state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_PostBatchThenPump);

void BM_CrossThreadSend(benchmark::State& state) {
  std::atomic<HWND> target{nullptr};
  std::atomic<DWORD> tid{0};
  std::thread owner([&] {
    HWND w = makeWindow();
    tid = GetCurrentThreadId();
    target = w;
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) DispatchMessageW(&m);
    DestroyWindow(w);
  });
  while (!target.load()) std::this_thread::yield();
  HWND w = target.load();
  for (auto _ : state) benchmark::DoNotOptimize(SendMessageW(w, WM_USER, 1, 0));
  plat::window::postQuit(tid.load(), 0);
  owner.join();
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CrossThreadSend)->UseRealTime();

void BM_PipeRoundTrip(benchmark::State& state) {
  int toServer[2], toClient[2];
  if (pipe(toServer) || pipe(toClient)) {
    state.SkipWithError("pipe");
    return;
  }
  std::thread server([&] {
    char c;
    while (read(toServer[0], &c, 1) == 1 && c) {
      if (write(toClient[1], &c, 1) != 1) break;
    }
  });
  char c = 1;
  for (auto _ : state) {
    if (write(toServer[1], &c, 1) != 1 || read(toClient[0], &c, 1) != 1) state.SkipWithError("io");
  }
  c = 0;
  if (write(toServer[1], &c, 1) != 1) state.SkipWithError("io");
  server.join();
  for (int fd : {toServer[0], toServer[1], toClient[0], toClient[1]}) close(fd);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PipeRoundTrip)->UseRealTime();

void BM_EventfdRoundTrip(benchmark::State& state) {
  int ping = eventfd(0, 0), pong = eventfd(0, 0);
  std::atomic<bool> stop{false};
  std::thread server([&] {
    uint64_t v;
    while (read(ping, &v, 8) == 8 && !stop.load()) {
      v = 1;
      if (write(pong, &v, 8) != 8) break;
    }
  });
  uint64_t v = 1;
  for (auto _ : state) {
    v = 1;
    if (write(ping, &v, 8) != 8 || read(pong, &v, 8) != 8) state.SkipWithError("io");
  }
  stop = true;
  v = 1;
  if (write(ping, &v, 8) != 8) state.SkipWithError("io");
  server.join();
  close(ping);
  close(pong);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EventfdRoundTrip)->UseRealTime();

void BM_PresentHeadlessFrame(benchmark::State& state) {
  plat::display::Options o;
  o.backend = plat::display::Backend::Headless;
  o.width = 800;
  o.height = 480;
  plat::display::open(o);
  HDC screen = GetDC(nullptr);
  HBRUSH a = CreateSolidBrush(RGB(1, 2, 3)), b = CreateSolidBrush(RGB(4, 5, 6));
  RECT r{0, 0, 800, 480};
  bool flip = false;
  for (auto _ : state) {
    // A changed frame every time (a full-screen page drawn), so each present copies it all.
    state.PauseTiming();
    FillRect(screen, &r, flip ? a : b);
    flip = !flip;
    state.ResumeTiming();
    plat::display::presentNow();
  }
  DeleteObject(a);
  DeleteObject(b);
  ReleaseDC(nullptr, screen);
  plat::display::close();
  state.SetBytesProcessed(state.iterations() * 800 * 480 * 4);
}
BENCHMARK(BM_PresentHeadlessFrame);

// Keeps each benchmark's time per iteration so that the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> nsPerIteration;
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs)
      if (r.iterations > 0) nsPerIteration[r.benchmark_name()] = r.GetAdjustedRealTime();
  }
};

}  // namespace

int main(int argc, char** argv) {
  plat::console::setEcho(false);
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto get = [&](const char* prefix) {
    for (auto& [name, ns] : reporter.nsPerIteration)
      if (name.rfind(prefix, 0) == 0) return ns;
    return 0.0;
  };
  double pipeNs = get("BM_PipeRoundTrip"), efdNs = get("BM_EventfdRoundTrip");
  double post = get("BM_PostAndDispatch"), send = get("BM_CrossThreadSend"), present = get("BM_PresentHeadlessFrame");
  if (pipeNs > 0 && efdNs > 0) {
    std::printf("\nratios (time per operation / time per round trip):\n");
    std::printf("  post+dispatch      %8.0f ns  %6.3f x pipe  %6.3f x eventfd  (%.2f M messages/s)\n", post,
                post / pipeNs, post / efdNs, post > 0 ? 1000.0 / post : 0.0);
    std::printf("  cross-thread send  %8.0f ns  %6.3f x pipe  %6.3f x eventfd\n", send, send / pipeNs, send / efdNs);
    std::printf("  headless present   %8.0f ns  %6.3f x pipe  %6.3f x eventfd\n", present, present / pipeNs,
                present / efdNs);
  }
  benchmark::Shutdown();
  return 0;
}
