// The screen surface, presenting it through the chosen backend, and PNG snapshots.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "display/backend.h"
#include "display/screen.h"
#include "plat_core.h"
#include "plat_display.h"
#include "plat_thread.h"
#include "plat_time.h"
#include "plat_window.h"

#include "stb_image_write.h"

namespace plat::display {

namespace {

struct ScreenState {
  std::mutex lock;
  std::vector<uint32_t> pixels;
  plat::gdi::DamageLog damage;  // what the screen's contexts drew on since the last present
  std::atomic<int> width{800};
  std::atomic<int> height{480};
};

ScreenState& screen() {
  static ScreenState* s = new ScreenState;
  return *s;
}

class HeadlessBackend : public DisplayBackend {
 public:
  bool start(int, int, int, DWORD) override { return true; }
  void present(const uint32_t*, int, int, const std::vector<RECT>&) override {}
  void stop() override {}
};

struct DisplayState {
  std::mutex lock;  // guards everything below; never held while calling the window system
  bool open = false;
  Backend kind = Backend::Headless;
  std::unique_ptr<DisplayBackend> backend;
  std::vector<uint32_t> lastFrame;
  uint64_t lastPresentMs = 0;
  bool presentedOnce = false;
  bool owed = false;
  int rate = 60;
  bool presentOnIdle = true;
  std::atomic<uint64_t> frames{0};
  std::atomic<uint64_t> pixelsPresented{0};
  std::condition_variable framePresented;  // with `lock`: a frame went to the backend
};

// More changed parts than this in one frame are merged into their bounding box.
constexpr size_t kMaxRects = 32;

uint64_t pixelCount(const std::vector<RECT>& rects) {
  uint64_t n = 0;
  for (const RECT& r : rects) n += static_cast<uint64_t>(r.right - r.left) * static_cast<uint64_t>(r.bottom - r.top);
  return n;
}

DisplayState& display() {
  static DisplayState* d = new DisplayState;
  return *d;
}

// Where a rectangle of the screen differs from the last frame: the box around the changed
// pixels, or an empty rectangle.
RECT changedPart(const uint32_t* now, const uint32_t* before, int stride, const RECT& r) {
  RECT out{r.right, r.bottom, r.left, r.top};
  size_t width = static_cast<size_t>(r.right - r.left);
  for (int y = r.top; y < r.bottom; ++y) {
    size_t at = static_cast<size_t>(y) * static_cast<size_t>(stride) + static_cast<size_t>(r.left);
    const uint32_t* a = now + at;
    const uint32_t* b = before + at;
    if (std::memcmp(a, b, width * 4) == 0) continue;
    int first = 0, last = static_cast<int>(width) - 1;
    while (a[first] == b[first]) ++first;
    while (a[last] == b[last]) --last;
    out.left = std::min<LONG>(out.left, r.left + first);
    out.right = std::max<LONG>(out.right, r.left + last + 1);
    out.top = std::min<LONG>(out.top, y);
    out.bottom = y + 1;
  }
  return out;
}

// With the display lock held: hands the backend what changed on the screen since the last
// present. Only the parts drawn on are compared; the first present (and one after a new
// screen size) is the whole screen.
void presentLocked(DisplayState& d, uint64_t now) {
  plat::gdi::Surface s = screenSurface();
  size_t n = static_cast<size_t>(s.width) * static_cast<size_t>(s.height);
  d.owed = false;
  std::unique_lock<std::recursive_mutex> held(s.damage->pixels());
  std::vector<RECT> drawn = s.damage->take();
  RECT whole{0, 0, s.width, s.height};
  std::vector<RECT> changed;
  if (!d.presentedOnce || d.lastFrame.size() != n) {
    d.lastFrame.assign(s.pixels, s.pixels + n);
    changed.push_back(whole);
  } else {
    for (const RECT& area : drawn) {
      RECT r{std::max<LONG>(area.left, 0), std::max<LONG>(area.top, 0), std::min<LONG>(area.right, s.width),
             std::min<LONG>(area.bottom, s.height)};
      if (r.left >= r.right || r.top >= r.bottom) continue;
      RECT c = changedPart(s.pixels, d.lastFrame.data(), s.stride, r);
      if (c.left >= c.right) continue;
      for (LONG y = c.top; y < c.bottom; ++y) {
        size_t at = static_cast<size_t>(y) * static_cast<size_t>(s.stride) + static_cast<size_t>(c.left);
        std::memcpy(d.lastFrame.data() + at, s.pixels + at, static_cast<size_t>(c.right - c.left) * 4);
      }
      changed.push_back(c);
    }
    if (changed.empty()) return;
    limitParts(changed, kMaxRects);
  }
  held.unlock();
  d.lastPresentMs = now;
  d.presentedOnce = true;
  d.frames.fetch_add(1);
  d.pixelsPresented.fetch_add(pixelCount(changed));
  if (d.backend) d.backend->present(d.lastFrame.data(), s.width, s.height, changed);
}

// On a Wayland session the screen is a Wayland window of our own: SDL 2 would make it an OpenGL
// window. The accelerated renderer, or SDL_VIDEODRIVER naming another driver, keeps SDL.
bool ownWaylandWindow(const Options& options) {
  const char* w = std::getenv("WAYLAND_DISPLAY");
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  return w && *w && !options.accelerated && (!driver || std::string(driver) == "wayland");
}

bool hasDisplayServer() {
  const char* x = std::getenv("DISPLAY");
  const char* w = std::getenv("WAYLAND_DISPLAY");
  return (x && *x) || (w && *w);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Screen surface.

plat::gdi::Surface screenSurface() {
  ScreenState& s = screen();
  std::lock_guard<std::mutex> g(s.lock);
  int w = s.width.load(), h = s.height.load();
  size_t n = static_cast<size_t>(w) * static_cast<size_t>(h);
  if (s.pixels.size() != n) {
    std::lock_guard<std::recursive_mutex> held(s.damage.pixels());
    s.pixels.assign(n, 0);
  }
  return plat::gdi::Surface{s.pixels.data(), w, h, w, &s.damage};
}

int screenWidth() { return screen().width.load(); }
int screenHeight() { return screen().height.load(); }

void setScreenSize(int width, int height) {
  if (width < 1 || height < 1 || width > 8192 || height > 8192) {
    plat::console::writeUtf8("display: screen size out of range, kept\n");
    return;
  }
  ScreenState& s = screen();
  std::lock_guard<std::mutex> g(s.lock);
  std::lock_guard<std::recursive_mutex> held(s.damage.pixels());
  s.width = width;
  s.height = height;
  // A new screen starts black, and is shown whole.
  s.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
  s.damage.add(RECT{0, 0, width, height});
}

void queueIdle() {
  DisplayState& d = display();
  uint64_t before = d.frames.load();
  {
    std::lock_guard<std::mutex> g(d.lock);
    if (!d.open || !d.presentOnIdle) return;
    uint64_t now = plat::clock::nowMs();
    uint64_t interval = 1000u / static_cast<unsigned>(std::max(d.rate, 1));
    if (d.presentedOnce && now < d.lastPresentMs + interval) {
      d.owed = true;
      return;
    }
    presentLocked(d, now);
  }
  // Outside the lock, so that a waiter does not wake only to wait for it.
  if (d.frames.load() != before) d.framePresented.notify_all();
}

uint64_t presentDueMs() {
  DisplayState& d = display();
  std::lock_guard<std::mutex> g(d.lock);
  if (!d.open || !d.owed) return UINT64_MAX;
  return d.lastPresentMs + 1000u / static_cast<unsigned>(std::max(d.rate, 1));
}

// ---------------------------------------------------------------------------------------------
// Public display calls.

bool parseBackend(const std::string& text, Backend& out) {
  if (text == "headless") out = Backend::Headless;
  else if (text == "sdl") out = Backend::Sdl;
  else if (text == "auto") out = Backend::Auto;
  else return false;
  return true;
}

bool parseOption(const std::string& option, const std::string& value, Options& out, std::string& error) {
  if (option == "--display") {
    if (parseBackend(value, out.backend)) return true;
    error = "--display takes headless, sdl or auto, not '" + value.substr(0, 40) + "'";
    return false;
  }
  if (option == "--scale") {
    char* end = nullptr;
    long v = value.size() <= 3 ? std::strtol(value.c_str(), &end, 10) : 0;
    if (!value.empty() && end && !*end && v >= 1 && v <= 8) {
      out.scale = static_cast<int>(v);
      return true;
    }
    error = "--scale takes a whole number from 1 to 8";
    return false;
  }
  if (option == "--script") {
    if (!value.empty()) {
      out.script = value;
      return true;
    }
    error = "--script takes a file";
    return false;
  }
  error = "not a display option: " + option.substr(0, 40);
  return false;
}

bool open(const Options& options) {
  if (options.scale < 1 || options.scale > 8 || options.rate < 1 || options.rate > 1000 || options.width < 0 ||
      options.height < 0) {
    plat::console::writeUtf8("display: invalid options\n");
    return false;
  }
  close();
  if (options.width > 0 && options.height > 0) plat::window::setScreenSize(options.width, options.height);
  Backend want = options.backend;
  if (want == Backend::Auto) want = hasDisplayServer() ? Backend::Sdl : Backend::Headless;
  std::unique_ptr<DisplayBackend> backend;
  if (want == Backend::Sdl) {
    // Scale 0 asks the backend for a full-screen window.
    int scale = options.fullscreen ? 0 : options.scale;
    bool started = false;
    if (ownWaylandWindow(options)) {
      backend = makeWaylandScreen();
      started = backend && backend->start(screenWidth(), screenHeight(), scale, GetCurrentThreadId());
      if (!started) plat::console::writeUtf8("display: no Wayland window of our own, trying SDL\n");
    }
    if (!started) {
      backend = makeSdlBackend(options.accelerated);
      started = backend && backend->start(screenWidth(), screenHeight(), scale, GetCurrentThreadId());
    }
    if (!started) {
      if (!options.fallBackToHeadless) {
        plat::console::writeUtf8("display: sdl unavailable\n");
        return false;
      }
      plat::console::writeUtf8("display: sdl unavailable, running headless\n");
      backend.reset();
      want = Backend::Headless;
    }
  }
  if (!backend) {
    backend = std::make_unique<HeadlessBackend>();
    backend->start(screenWidth(), screenHeight(), 1, GetCurrentThreadId());
  }
  {
    DisplayState& d = display();
    std::lock_guard<std::mutex> g(d.lock);
    d.backend = std::move(backend);
    d.kind = want;
    d.rate = options.rate;
    d.presentOnIdle = options.presentOnIdle;
    d.open = true;
    d.owed = false;
    d.presentedOnce = false;
    d.lastFrame.clear();
    d.frames = 0;
  }
  if (!options.script.empty() && !runInputScript(options.script)) {
    close();
    return false;
  }
  return true;
}

void close() {
  stopScriptPlayer();
  std::unique_ptr<DisplayBackend> backend;
  {
    DisplayState& d = display();
    std::lock_guard<std::mutex> g(d.lock);
    d.open = false;
    d.owed = false;
    backend = std::move(d.backend);
  }
  if (backend) backend->stop();
}

bool isOpen() {
  DisplayState& d = display();
  std::lock_guard<std::mutex> g(d.lock);
  return d.open;
}

Backend active() {
  DisplayState& d = display();
  std::lock_guard<std::mutex> g(d.lock);
  return d.kind;
}

uint64_t framesPresented() { return display().frames.load(); }

uint64_t pixelsPresented() { return display().pixelsPresented.load(); }

uint64_t waitFrame(uint64_t seen, const std::atomic<bool>& stop) {
  DisplayState& d = display();
  std::unique_lock<std::mutex> g(d.lock);
  d.framePresented.wait(g, [&] { return d.frames.load() != seen || stop.load(); });
  return d.frames.load();
}

void wakeFrameWaiters() {
  DisplayState& d = display();
  std::lock_guard<std::mutex> g(d.lock);
  d.framePresented.notify_all();
}

void presentNow() {
  DisplayState& d = display();
  {
    std::lock_guard<std::mutex> g(d.lock);
    if (d.open) presentLocked(d, plat::clock::nowMs());
  }
  d.framePresented.notify_all();
}

uint32_t pixel(int x, int y) {
  plat::gdi::Surface s = screenSurface();
  if (x < 0 || y < 0 || x >= s.width || y >= s.height) return 0;
  std::lock_guard<std::recursive_mutex> held(s.damage->pixels());
  return s.pixels[static_cast<size_t>(y) * static_cast<size_t>(s.stride) + static_cast<size_t>(x)] & 0xFFFFFF;
}

bool snapshot(const std::string& path) {
  plat::gdi::Surface s = screenSurface();
  std::vector<unsigned char> rgb(static_cast<size_t>(s.width) * static_cast<size_t>(s.height) * 3);
  size_t k = 0;
  std::unique_lock<std::recursive_mutex> held(s.damage->pixels());
  for (int y = 0; y < s.height; ++y) {
    const uint32_t* row = s.pixels + static_cast<size_t>(y) * static_cast<size_t>(s.stride);
    for (int x = 0; x < s.width; ++x) {
      uint32_t p = row[x];
      rgb[k++] = static_cast<unsigned char>(p >> 16);
      rgb[k++] = static_cast<unsigned char>(p >> 8);
      rgb[k++] = static_cast<unsigned char>(p);
    }
  }
  held.unlock();
  if (path.empty() || !stbi_write_png(path.c_str(), s.width, s.height, 3, rgb.data(), s.width * 3)) {
    plat::console::writeUtf8("display: cannot write snapshot " + path + "\n");
    return false;
  }
  return true;
}

}  // namespace plat::display
