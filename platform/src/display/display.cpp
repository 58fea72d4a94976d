// The screen surface, presenting it through the chosen backend, and PNG snapshots.
#include <algorithm>
#include <atomic>
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
  void present(const uint32_t*, int, int) override {}
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
};

DisplayState& display() {
  static DisplayState* d = new DisplayState;
  return *d;
}

// With the display lock held: present when the screen differs from the last frame.
void presentLocked(DisplayState& d, uint64_t now) {
  plat::gdi::Surface s = screenSurface();
  size_t n = static_cast<size_t>(s.width) * static_cast<size_t>(s.height);
  d.owed = false;
  if (d.lastFrame.size() == n && d.presentedOnce && std::memcmp(d.lastFrame.data(), s.pixels, n * 4) == 0) return;
  d.lastFrame.assign(s.pixels, s.pixels + n);
  d.lastPresentMs = now;
  d.presentedOnce = true;
  d.frames.fetch_add(1);
  if (d.backend) d.backend->present(d.lastFrame.data(), s.width, s.height);
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
  if (s.pixels.size() != n) s.pixels.assign(n, 0);
  return plat::gdi::Surface{s.pixels.data(), w, h, w};
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
  s.width = width;
  s.height = height;
  // A new screen starts black.
  s.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
}

void queueIdle() {
  DisplayState& d = display();
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
    backend = makeSdlBackend();
    // Scale 0 asks the backend for a full-screen window.
    int scale = options.fullscreen ? 0 : options.scale;
    if (!backend || !backend->start(screenWidth(), screenHeight(), scale, GetCurrentThreadId())) {
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

void presentNow() {
  DisplayState& d = display();
  std::lock_guard<std::mutex> g(d.lock);
  if (d.open) presentLocked(d, plat::clock::nowMs());
}

uint32_t pixel(int x, int y) {
  plat::gdi::Surface s = screenSurface();
  if (x < 0 || y < 0 || x >= s.width || y >= s.height) return 0;
  return s.pixels[static_cast<size_t>(y) * static_cast<size_t>(s.stride) + static_cast<size_t>(x)] & 0xFFFFFF;
}

bool snapshot(const std::string& path) {
  plat::gdi::Surface s = screenSurface();
  std::vector<unsigned char> rgb(static_cast<size_t>(s.width) * static_cast<size_t>(s.height) * 3);
  size_t k = 0;
  for (int y = 0; y < s.height; ++y) {
    const uint32_t* row = s.pixels + static_cast<size_t>(y) * static_cast<size_t>(s.stride);
    for (int x = 0; x < s.width; ++x) {
      uint32_t p = row[x];
      rgb[k++] = static_cast<unsigned char>(p >> 16);
      rgb[k++] = static_cast<unsigned char>(p >> 8);
      rgb[k++] = static_cast<unsigned char>(p);
    }
  }
  if (path.empty() || !stbi_write_png(path.c_str(), s.width, s.height, 3, rgb.data(), s.width * 3)) {
    plat::console::writeUtf8("display: cannot write snapshot " + path + "\n");
    return false;
  }
  return true;
}

}  // namespace plat::display
