// How long a touch takes from the X server to the window procedure while the shell is idle:
// the sdl display asleep, the window thread asleep in GetMessageW. The X server is given a
// button press (XTest, as a touch screen's driver gives it); the time runs from the moment the
// server has taken it (the injecting connection's round trip is back) until the window
// procedure has WM_LBUTTONDOWN. The reference is a bare xcb client on the same server waiting
// in xcb_wait_for_event for the same press on a window of its own. Each press comes after a
// pause long enough for every thread to fall asleep.
//
// Needs an X server ($DISPLAY): DISPLAY=:N build/release/bench/bench_input_latency (under Xvfb,
// for example: xvfb-run -s "-screen 0 800x480x24" ...).
#include <benchmark/benchmark.h>

#ifdef HU_HAVE_XTST
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "plat_display.h"
#include "plat_window.h"
#include "windows.h"

namespace {

using Clock = std::chrono::steady_clock;
std::atomic<int64_t> g_pressedAt{0};

int64_t nowNs() { return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count(); }

LRESULT CALLBACK touchProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_LBUTTONDOWN) g_pressedAt = nowNs();
  return DefWindowProcW(h, m, w, l);
}

// Presses and releases the first button at the middle of the screen; returns when the server
// has taken both.
void press(Display* x) {
  XTestFakeMotionEvent(x, -1, 400, 240, CurrentTime);
  XTestFakeButtonEvent(x, 1, True, CurrentTime);
  XTestFakeButtonEvent(x, 1, False, CurrentTime);
  XSync(x, False);
}

// Runs `iterations` presses, each after a pause, timing each from the server to `pressedAt`.
template <class Wait>
void measure(benchmark::State& state, Display* x, Wait&& waitForPress) {
  for (auto _ : state) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // everything asleep again
    g_pressedAt = 0;
    press(x);
    int64_t taken = nowNs();
    int64_t at = waitForPress();
    if (!at) return state.SkipWithError("no press arrived within 2 s");
    state.SetIterationTime(static_cast<double>(std::max<int64_t>(at - taken, 0)) / 1e9);
  }
}

int64_t waitPressed() {
  auto end = Clock::now() + std::chrono::seconds(2);
  while (!g_pressedAt.load() && Clock::now() < end) std::this_thread::yield();
  return g_pressedAt.load();
}

void BM_TouchToWindowProcedure_Idle(benchmark::State& state) {
  Display* x = XOpenDisplay(nullptr);
  if (!x) return state.SkipWithError("needs an X server ($DISPLAY)");
  std::atomic<DWORD> windowThread{0};
  std::atomic<bool> ready{false};
  // The shell's window thread: the display opened from it, a full-screen window, its loop.
  std::thread shell([&] {
    plat::display::Options o;
    o.backend = plat::display::Backend::Sdl;
    o.fallBackToHeadless = false;
    if (!plat::display::open(o)) {
      ready = true;
      return;
    }
    WNDCLASSW wc{};
    wc.lpfnWndProc = touchProc;
    wc.lpszClassName = u"LatencyWnd";
    RegisterClassW(&wc);
    CreateWindowExW(0, u"LatencyWnd", u"", WS_POPUP | WS_VISIBLE, 0, 0, 800, 480, nullptr, nullptr, nullptr, nullptr);
    windowThread = GetCurrentThreadId();
    ready = true;
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) DispatchMessageW(&m);
    plat::display::close();
  });
  while (!ready) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (windowThread) {
    plat::window::waitIdle(5000);
    measure(state, x, waitPressed);
    plat::window::postQuit(windowThread, 0);
  } else {
    state.SkipWithError("the sdl display did not open");
  }
  shell.join();
  XCloseDisplay(x);
}
BENCHMARK(BM_TouchToWindowProcedure_Idle)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_Reference_TouchToBareXcbClient_Idle(benchmark::State& state) {
  Display* x = XOpenDisplay(nullptr);
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  if (!x || xcb_connection_has_error(c)) {
    if (x) XCloseDisplay(x);
    xcb_disconnect(c);
    return state.SkipWithError("needs an X server ($DISPLAY)");
  }
  xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  xcb_window_t w = xcb_generate_id(c);
  uint32_t mask = XCB_EVENT_MASK_BUTTON_PRESS;
  xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, 0, 0, 800, 480, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                    screen->root_visual, XCB_CW_EVENT_MASK, &mask);
  xcb_map_window(c, w);
  xcb_flush(c);
  XSync(x, False);
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    while (xcb_generic_event_t* e = xcb_wait_for_event(c)) {
      if ((e->response_type & 0x7F) == XCB_BUTTON_PRESS) g_pressedAt = nowNs();
      std::free(e);
      if (stop) break;
    }
  });
  measure(state, x, waitPressed);
  stop = true;
  press(x);  // wakes the reader to see the stop
  reader.join();
  xcb_disconnect(c);
  XCloseDisplay(x);
}
BENCHMARK(BM_Reference_TouchToBareXcbClient_Idle)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

#else

void BM_TouchToWindowProcedure_Idle(benchmark::State& state) {
  for (auto _ : state) return state.SkipWithError("built without XTest (apt-get install libxtst-dev)");
}
BENCHMARK(BM_TouchToWindowProcedure_Idle);

#endif

BENCHMARK_MAIN();
