// The sdl backend: an SDL2 window showing the screen (optionally scaled), mouse as touch and
// the keyboard as the remote keys. All SDL calls run on one thread of the backend's own.
//
// That thread sleeps until there is something to do: it waits in poll() on the display
// server's connection and on an eventfd that the window side writes when a frame is ready or
// the backend stops. No other thread calls SDL or the display server (a wake-up through SDL
// would be a display server request, and one made after the server went away would end or
// park the thread that made it). Only the parts of a frame that changed are copied, scaled and
// shown, through the window surface (shared memory, no GL) unless the accelerated renderer is
// asked for.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "display/backend.h"
#include "display/placement.h"
#include "plat_core.h"
#include "plat_display.h"
#include "plat_window.h"

#ifdef HU_HAVE_SDL2
#include <SDL.h>
#include <SDL_syswm.h>
#endif
#ifdef HU_HAVE_WAYLAND
#include <wayland-client.h>
#endif
#ifdef HU_HAVE_XCB
#include <xcb/xcb.h>
#endif
#ifdef HU_HAVE_X11
#include <X11/Xlib.h>
#include <unistd.h>

#include <cstdio>
#endif

namespace plat::display {

#ifdef HU_HAVE_SDL2

namespace {

// Remote keys: arrows, Enter, Escape; letters and digits as themselves; F1-F6 and F7, F8 as the
// unit's extra hot keys 199-204, 206, 207.
int virtualKey(SDL_Keycode k) {
  switch (k) {
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_UP: return VK_UP;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_LALT:
    case SDLK_RALT: return VK_MENU;
    case SDLK_KP_PLUS: return 0x2B;
    case SDLK_F1: return 199;
    case SDLK_F2: return 200;
    case SDLK_F3: return 201;
    case SDLK_F4: return 202;
    case SDLK_F5: return 203;
    case SDLK_F6: return 204;
    case SDLK_F7: return 206;
    case SDLK_F8: return 207;
    default: break;
  }
  if (k >= SDLK_a && k <= SDLK_z) return 'A' + (k - SDLK_a);
  if (k >= SDLK_0 && k <= SDLK_9) return '0' + (k - SDLK_0);
  return 0;
}

#ifdef HU_HAVE_X11
// Xlib ends the process when the X server goes away, unless the handler never returns. The sdl
// thread (the only one that calls Xlib) tells the window thread to end and parks here; the
// backend's stop() leaves it parked instead of joining it, and the program ends in order.
std::atomic<DWORD> g_quitOnLoss{0};
// The sdl thread parked for good (none while the server is there).
std::mutex g_parkedLock;
std::thread::id g_parked;
bool isParked(const std::thread& t) {
  std::lock_guard<std::mutex> g(g_parkedLock);
  return t.joinable() && t.get_id() == g_parked;
}
// Set while a backend starts: a server lost before the window is up fails the start instead.
std::mutex g_startLock;
std::condition_variable* g_startCv = nullptr;
int* g_started = nullptr;
int onDisplayLost(Display*) {
  {
    std::lock_guard<std::mutex> g(g_parkedLock);
    g_parked = std::this_thread::get_id();
  }
  plat::console::writeUtf8("display: the X server went away; ending\n");
  {
    std::lock_guard<std::mutex> g(g_startLock);
    if (g_started && *g_started == 0) {
      *g_started = -1;
      g_startCv->notify_all();
    } else if (DWORD t = g_quitOnLoss.load()) {
      plat::window::postQuit(t, HU_DISPLAY_LOST_EXIT_STATUS);
    }
  }
  for (;;) pause();
  return 0;
}

// Xlib's default handler of a protocol error ends the whole process. SDL talks to the server on
// two connections; an event it sends on one to its own window can reach the server after the
// other has destroyed that window (BadWindow on X_SendEvent, seen when the display closes). No
// protocol error of the display is a reason to end the shell: say it and go on.
int onProtocolError(Display* display, XErrorEvent* error) {
  char text[96] = {};
  XGetErrorText(display, error->error_code, text, sizeof text);
  char line[256];
  std::snprintf(line, sizeof line, "display: X error ignored: %s (request %u, resource 0x%lx)\n", text,
                static_cast<unsigned>(error->request_code), static_cast<unsigned long>(error->resourceid));
  plat::console::writeUtf8(line);
  return 0;
}
#endif

#ifdef HU_HAVE_XCB
// Pictures put straight into SDL's X11 window on a connection of our own: ZPixmap images go
// with the requests and need no reply, so showing a frame is one wakeup of the display thread
// (SDL's window surface waits for a round trip after every update). Only where the window's
// depth takes 32-bit pixels laid out as ours.
class XcbOutput {
 public:
  ~XcbOutput() {
    if (c_) xcb_disconnect(c_);
  }

  bool open(const char* displayName, uint32_t window) {
    c_ = xcb_connect(displayName, nullptr);
    if (!c_ || xcb_connection_has_error(c_)) return false;
    window_ = window;
    xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c_, xcb_get_geometry(c_, window), nullptr);
    if (!g) return false;
    depth_ = g->depth;
    std::free(g);
    const xcb_setup_t* setup = xcb_get_setup(c_);
    bool fits = false;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it))
      if (it.data->depth == depth_ && it.data->bits_per_pixel == 32) fits = true;
    for (auto s = xcb_setup_roots_iterator(setup); s.rem; xcb_screen_next(&s))
      for (auto d = xcb_screen_allowed_depths_iterator(s.data); d.rem; xcb_depth_next(&d))
        if (d.data->depth == depth_)
          for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
            if (v.data->red_mask != 0xFF0000 || v.data->green_mask != 0xFF00 || v.data->blue_mask != 0xFF) fits = false;
    if (!fits || setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) return false;
    gc_ = xcb_generate_id(c_);
    uint32_t black = 0;
    xcb_create_gc(c_, gc_, window_, XCB_GC_FOREGROUND, &black);
    maxBytes_ = static_cast<size_t>(xcb_get_maximum_request_length(c_)) * 4 - 64;
    return !xcb_connection_has_error(c_);
  }

  // Puts w x h pixels (rows packed) at x, y, in strips a request can carry.
  void put(int x, int y, int w, int h, const uint32_t* pixels) {
    int rows = std::max(1, static_cast<int>(maxBytes_ / (static_cast<size_t>(w) * 4)));
    for (int top = 0; top < h; top += rows) {
      int n = std::min(rows, h - top);
      xcb_put_image(c_, XCB_IMAGE_FORMAT_Z_PIXMAP, window_, gc_, static_cast<uint16_t>(w), static_cast<uint16_t>(n),
                    static_cast<int16_t>(x), static_cast<int16_t>(y + top), 0, depth_,
                    static_cast<uint32_t>(static_cast<size_t>(w) * static_cast<size_t>(n) * 4),
                    reinterpret_cast<const uint8_t*>(pixels + static_cast<size_t>(top) * static_cast<size_t>(w)));
    }
  }
  void fill(int x, int y, int w, int h) {
    xcb_rectangle_t r{static_cast<int16_t>(x), static_cast<int16_t>(y), static_cast<uint16_t>(w), static_cast<uint16_t>(h)};
    xcb_poly_fill_rectangle(c_, window_, gc_, 1, &r);
  }
  // Sends what was put; errors the server sent back (a window gone meanwhile) are read and
  // dropped, so that they do not pile up unread.
  void flush() {
    xcb_flush(c_);
    while (xcb_generic_event_t* e = xcb_poll_for_event(c_)) std::free(e);
  }
  // The window's size as the server has it (SDL's idea of a full-screen window's size holds
  // only where a window manager made it so).
  bool size(int& w, int& h) {
    xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c_, xcb_get_geometry(c_, window_), nullptr);
    if (!g) return false;
    w = g->width;
    h = g->height;
    std::free(g);
    return true;
  }

 private:
  xcb_connection_t* c_ = nullptr;
  uint32_t window_ = 0;
  uint32_t gc_ = 0;
  uint8_t depth_ = 0;
  size_t maxBytes_ = 0;
};
#endif

class SdlBackend : public DisplayBackend {
 public:
  explicit SdlBackend(bool accelerated) : accelerated_(accelerated) {}
  ~SdlBackend() override {
    stop();
    if (wake_ >= 0) ::close(wake_);
  }

  bool start(int width, int height, int scale, DWORD quitThread) override {
    width_ = width;
    height_ = height;
    scale_ = scale;
    quitThread_ = quitThread;
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_ < 0) {
      plat::console::writeUtf8("display: sdl: no eventfd\n");
      return false;
    }
#ifdef HU_HAVE_X11
    {
      std::lock_guard<std::mutex> g(g_startLock);
      g_startCv = &startCv_;
      g_started = &started_;
    }
#endif
    thread_ = std::thread([this] { run(); });
    int started = 0;
    {
#ifdef HU_HAVE_X11
      std::unique_lock<std::mutex> l(g_startLock);
#else
      std::unique_lock<std::mutex> l(lock_);
#endif
      startCv_.wait(l, [&] { return started_ != 0; });
      started = started_;
#ifdef HU_HAVE_X11
      g_startCv = nullptr;
      g_started = nullptr;
#endif
    }
    if (started < 0) {
#ifdef HU_HAVE_X11
      if (isParked(thread_)) {
        thread_.detach();  // parked in onDisplayLost for good
        return false;
      }
#endif
      thread_.join();
      return false;
    }
    return true;
  }

  void present(const uint32_t* frame, int width, int height, const std::vector<RECT>& rects) override {
    bool wake = false;
    {
      std::lock_guard<std::mutex> g(lock_);
      if (width != width_ || height != height_) return;
      size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
      if (pending_.size() != n) pending_.assign(n, 0);
      for (const RECT& r : rects) {
        for (LONG y = r.top; y < r.bottom; ++y) {
          size_t at = static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(r.left);
          std::copy(frame + at, frame + at + (r.right - r.left), pending_.begin() + static_cast<ptrdiff_t>(at));
        }
        pendingRects_.push_back(r);
      }
      wake = !wakePending_ && !pendingRects_.empty();
      wakePending_ = wakePending_ || wake;
    }
    if (wake) signal();
  }

  void stop() override {
    {
      std::lock_guard<std::mutex> g(lock_);
      stop_ = true;
    }
    signal();
    window::foreign::uninstall();
#ifdef HU_HAVE_X11
    if (isParked(thread_)) {
      thread_.detach();  // parked in onDisplayLost for good
      return;
    }
#endif
    if (thread_.joinable()) thread_.join();
  }

 private:
  void signal() { wakeEventFd(wake_); }

  void run() {
    SDL_Window* window = nullptr;
    // Only drivers that put pixels on a screen; SDL_VIDEODRIVER in the environment still wins.
    // On a Wayland session the compositor's own protocol comes first, not its X11 server.
    if (!SDL_getenv("SDL_VIDEODRIVER")) {
      const char* w = SDL_getenv("WAYLAND_DISPLAY");
      SDL_SetHint(SDL_HINT_VIDEODRIVER, w && *w ? "wayland,x11,kmsdrm" : "x11,wayland,kmsdrm");
    }
    // The window surface stays shared memory of the display server: without this SDL would
    // make it a texture of an OpenGL renderer (a whole GL stack to show a picture).
    if (!accelerated_) SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
#ifdef HU_HAVE_X11
    // SDL keeps the handler it finds and puts it back when it shuts down, before it closes its
    // second connection: a late protocol error on that connection must still find ours, not
    // Xlib's default that ends the process.
    XSetErrorHandler(onProtocolError);
#endif
    bool ok = SDL_Init(SDL_INIT_VIDEO) == 0;
    if (!ok) plat::console::writeUtf8(std::string("display: sdl: ") + SDL_GetError() + "\n");
    std::string name;
    if (ok) {
      // SDL falls back to drivers that show nothing; those are the headless backend's job.
      const char* driver = SDL_GetCurrentVideoDriver();
      name = driver ? driver : "";
      if (name.empty() || name == "offscreen" || name == "dummy" || name == "evdev") {
        plat::console::writeUtf8("display: sdl found no screen (video driver '" + name + "')\n");
        ok = false;
      }
#ifdef HU_HAVE_X11
      // Before any window: from here on, losing the server ends the program in order.
      if (ok && name == "x11") {
        g_quitOnLoss = quitThread_;
        XSetIOErrorHandler(onDisplayLost);
        XSetErrorHandler(onProtocolError);
      }
#endif
      // SDL 2 has no window surface of its own on Wayland: there it is always a texture.
      if (ok && name == "wayland" && !accelerated_) SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "1");
    }
    if (ok) {
      // Full screen: the whole display shows the screen, scaled to fit.
      Uint32 flags = scale_ == 0 ? SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS : 0;
      int factor = scale_ == 0 ? 1 : scale_;
      window = SDL_CreateWindow("head unit", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width_ * factor,
                                height_ * factor, flags);
      ok = window && openOutput(window);
      if (!ok) plat::console::writeUtf8(std::string("display: sdl: ") + SDL_GetError() + "\n");
    }
    if (ok) {
      serverFd_ = serverConnection(window);
      // Other programs' windows are seen from the moment open() returns.
      watchOtherWindows(window);
    }
    {
#ifdef HU_HAVE_X11
      std::lock_guard<std::mutex> g(g_startLock);
#else
      std::lock_guard<std::mutex> g(lock_);
#endif
      started_ = ok ? 1 : -1;
      startCv_.notify_all();
    }
    if (ok) loop(window);
    closeOutput();
    if (window) SDL_DestroyWindow(window);
    SDL_Quit();  // the whole of SDL: it is used for the display only
  }

  // The window surface (default) or an accelerated renderer with a streaming texture.
  bool openOutput(SDL_Window* window) {
    if (accelerated_) {
      renderer_ = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED);
      if (!renderer_) return false;
      if (scale_ == 0) SDL_RenderSetLogicalSize(renderer_, width_, height_);
      texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, width_, height_);
      plat::console::writeUtf8("display: sdl presents through the accelerated renderer\n");
      return texture_ != nullptr;
    }
#ifdef HU_HAVE_XCB
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_X11) {
      auto out = std::make_unique<XcbOutput>();
      if (out->open(SDL_getenv("DISPLAY"), static_cast<uint32_t>(info.info.x11.window))) {
        xcb_ = std::move(out);
        place(window);
        return true;
      }
    }
#endif
    return placeOnSurface(window);
  }

  void place(SDL_Window* window) {
    int w = 0, h = 0;
#ifdef HU_HAVE_XCB
    if (!xcb_ || !xcb_->size(w, h))
#endif
      SDL_GetWindowSize(window, &w, &h);
    placement_.fit(width_, height_, w, h, scale_);
    windowW_ = w;
    windowH_ = h;
  }

  void closeOutput() {
    if (texture_) SDL_DestroyTexture(texture_);
    if (renderer_) SDL_DestroyRenderer(renderer_);
    texture_ = nullptr;
    renderer_ = nullptr;
#ifdef HU_HAVE_XCB
    xcb_.reset();
#endif
  }

  // (Re)reads the window surface after a size change; false when there is none.
  bool placeOnSurface(SDL_Window* window) {
    surface_ = SDL_GetWindowSurface(window);
    if (!surface_) return false;
    placement_.fit(width_, height_, surface_->w, surface_->h, scale_);
    return true;
  }

  // The file descriptor of the display server connection, to sleep on; -1 when SDL does not say.
  int serverConnection(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info)) return -1;
#ifdef HU_HAVE_X11
    if (info.subsystem == SDL_SYSWM_X11) return ConnectionNumber(info.info.x11.display);
#endif
#ifdef HU_HAVE_WAYLAND
    if (info.subsystem == SDL_SYSWM_WAYLAND) {
      wayland_ = info.info.wl.display;
      return wl_display_get_fd(wayland_);
    }
#endif
    return -1;
  }

  // On an X11 server, or on sway, other programs' windows become visible to the window calls,
  // and our own window is the screen they take turns with.
  void watchOtherWindows(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info)) return;
    if (info.subsystem == SDL_SYSWM_WAYLAND) {
      watchSwayWindows("sdl on Wayland");
      return;
    }
    if (info.subsystem != SDL_SYSWM_X11) {
      plat::console::writeUtf8("display: sdl without X11 or Wayland: other programs' windows are not seen\n");
      return;
    }
    const char* name = SDL_getenv("DISPLAY");
    auto source = makeX11Windows(name, static_cast<uint32_t>(info.info.x11.window));
    if (!source) return;
    window::foreign::install(std::move(source));
    plat::console::writeUtf8(std::string("display: sdl on X11 display ") + (name ? name : "") +
                             "; other programs' windows are seen\n");
  }

  // A window point as a screen point.
  POINT toScreen(int x, int y) const {
    if (accelerated_) {
      // The renderer's logical size already maps full-screen points; a scaled window does not.
      int f = scale_ == 0 ? 1 : scale_;
      return POINT{std::clamp(x / f, 0, width_ - 1), std::clamp(y / f, 0, height_ - 1)};
    }
    return POINT{placement_.toScreenX(x), placement_.toScreenY(y)};
  }

  void handle(const SDL_Event& e, SDL_Window* window) {
    switch (e.type) {
      case SDL_QUIT:
#ifdef HU_HAVE_WAYLAND
        // SDL says quit when the compositor's connection breaks: that is the display lost.
        if (wayland_ && wl_display_get_error(wayland_) != 0) {
          plat::console::writeUtf8("display: the Wayland compositor went away; ending\n");
          lost_ = true;
          plat::window::postQuit(quitThread_, HU_DISPLAY_LOST_EXIT_STATUS);
          break;
        }
#endif
        // Closing the window ends the program the way its own quit message does.
        plat::window::postQuit(quitThread_, 0);
        break;
      case SDL_MOUSEBUTTONDOWN:
        if (e.button.button == SDL_BUTTON_LEFT) {
          down_ = true;
          // A touch on the screen takes it back from another program's window.
          if (auto other = window::foreign::current()) other->frontScreen();
          POINT p = toScreen(e.button.x, e.button.y);
          plat::window::injectTouch(WM_LBUTTONDOWN, p.x, p.y);
        }
        break;
      case SDL_MOUSEBUTTONUP:
        if (e.button.button == SDL_BUTTON_LEFT && down_) {
          down_ = false;
          POINT p = toScreen(e.button.x, e.button.y);
          plat::window::injectTouch(WM_LBUTTONUP, p.x, p.y);
        }
        break;
      case SDL_MOUSEMOTION:
        // A touch screen reports movement only while touched.
        if (down_) {
          POINT p = toScreen(e.motion.x, e.motion.y);
          plat::window::injectTouch(WM_MOUSEMOVE, p.x, p.y);
        }
        break;
      case SDL_KEYDOWN:
      case SDL_KEYUP: {
        int vk = virtualKey(e.key.keysym.sym);
        if (vk && !(e.type == SDL_KEYDOWN && e.key.repeat))
          plat::window::injectKey(static_cast<UINT>(vk), e.type == SDL_KEYDOWN);
        break;
      }
      case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED && !accelerated_) {
#ifdef HU_HAVE_XCB
          if (xcb_) place(window);
          else
#endif
          if (!placeOnSurface(window)) plat::console::writeUtf8(std::string("display: sdl: ") + SDL_GetError() + "\n");
          redrawAll_ = true;
        }
        if (e.window.event == SDL_WINDOWEVENT_EXPOSED) {
#ifdef HU_HAVE_XCB
          if (xcb_) place(window);
#endif
          redrawAll_ = true;
        }
        break;
      default: break;
    }
  }

  void loop(SDL_Window* window) {
    std::vector<RECT> rects;
    for (;;) {
      SDL_Event e;
      while (!lost_ && SDL_PollEvent(&e)) handle(e, window);
      {
        std::lock_guard<std::mutex> g(lock_);
        if (stop_) return;
        wakePending_ = false;
        if (!pendingRects_.empty()) {
          if (shown_.size() != pending_.size()) shown_.assign(pending_.size(), 0);
          for (const RECT& r : pendingRects_)
            for (LONG y = r.top; y < r.bottom; ++y) {
              size_t at = static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(r.left);
              std::copy(pending_.begin() + static_cast<ptrdiff_t>(at),
                        pending_.begin() + static_cast<ptrdiff_t>(at) + (r.right - r.left),
                        shown_.begin() + static_cast<ptrdiff_t>(at));
            }
          rects.insert(rects.end(), pendingRects_.begin(), pendingRects_.end());
          pendingRects_.clear();
        }
      }
      if (!lost_ && !shown_.empty()) {
        if (redrawAll_) rects.assign(1, RECT{0, 0, width_, height_});
        if (!rects.empty()) show(window, rects);
        redrawAll_ = false;
        rects.clear();
        // Showing made requests whose replies may have brought events along: read them first.
        if (SDL_PollEvent(&e)) {
          handle(e, window);
          continue;
        }
      }
      sleep();
    }
  }

  // Until the server has something for us or the window side writes the eventfd.
  void sleep() {
#ifdef HU_HAVE_WAYLAND
    if (wayland_ && !lost_) wl_display_flush(wayland_);
#endif
    pollfd fds[2] = {{wake_, POLLIN, 0}, {serverFd_, POLLIN, 0}};
    // Without the server's descriptor, look at it ten times a second: the old polling, kept
    // only for a driver that does not say how to wait for it.
    int n = serverFd_ >= 0 && !lost_ ? 2 : 1;
    int timeout = serverFd_ < 0 && !lost_ ? 100 : -1;
    if (::poll(fds, static_cast<nfds_t>(n), timeout) > 0 && (fds[0].revents & POLLIN)) {
      uint64_t count = 0;
      ssize_t r = ::read(wake_, &count, sizeof count);
      (void)r;
    }
    // A server connection that hung up is read by SDL, which reports it; after that only the
    // eventfd is waited on.
  }

  void show(SDL_Window* window, const std::vector<RECT>& rects) {
    if (accelerated_) {
      for (const RECT& r : rects) {
        SDL_Rect sr{r.left, r.top, r.right - r.left, r.bottom - r.top};
        SDL_UpdateTexture(texture_, &sr, shown_.data() + static_cast<size_t>(r.top) * static_cast<size_t>(width_) + r.left,
                          width_ * 4);
      }
      SDL_RenderClear(renderer_);
      SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
      SDL_RenderPresent(renderer_);
      return;
    }
    bool whole = rects.size() == 1 && rects[0].left == 0 && rects[0].top == 0 && rects[0].right == width_ &&
                 rects[0].bottom == height_;
#ifdef HU_HAVE_XCB
    if (xcb_) {
      if (whole) {
        // The bands around a scaled picture are black.
        int ww = windowW_, wh = windowH_;
        xcb_->fill(0, 0, ww, placement_.y);
        xcb_->fill(0, placement_.y + placement_.h, ww, wh - placement_.y - placement_.h);
        xcb_->fill(0, placement_.y, placement_.x, placement_.h);
        xcb_->fill(placement_.x + placement_.w, placement_.y, ww - placement_.x - placement_.w, placement_.h);
      }
      for (const RECT& r : rects) {
        int x0 = placement_.toWindowX(r.left), y0 = placement_.toWindowY(r.top);
        int w = placement_.toWindowX(r.right) - x0, h = placement_.toWindowY(r.bottom) - y0;
        if (w <= 0 || h <= 0) continue;
        scratch_.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
        scaleInto(placement_, shown_.data(), r, scratch_.data(), w, x0, y0);
        xcb_->put(x0, y0, w, h, scratch_.data());
      }
      xcb_->flush();
      return;
    }
#endif
    if (!surface_) return;
    std::vector<SDL_Rect> out;
    if (SDL_MUSTLOCK(surface_)) SDL_LockSurface(surface_);
    if (whole) {
      // The bands around a scaled picture are black.
      SDL_FillRect(surface_, nullptr, 0);
      out.push_back(SDL_Rect{0, 0, surface_->w, surface_->h});
    }
    for (const RECT& r : rects) {
      SDL_Rect d{placement_.toWindowX(r.left), placement_.toWindowY(r.top), 0, 0};
      d.w = placement_.toWindowX(r.right) - d.x;
      d.h = placement_.toWindowY(r.bottom) - d.y;
      if (d.w <= 0 || d.h <= 0) continue;
      scratch_.resize(static_cast<size_t>(d.w) * static_cast<size_t>(d.h));
      scaleInto(placement_, shown_.data(), r, scratch_.data(), d.w, d.x, d.y);
      uint8_t* target = static_cast<uint8_t*>(surface_->pixels) + static_cast<ptrdiff_t>(d.y) * surface_->pitch +
                        static_cast<ptrdiff_t>(d.x) * surface_->format->BytesPerPixel;
      SDL_ConvertPixels(d.w, d.h, SDL_PIXELFORMAT_RGB888, scratch_.data(), d.w * 4, surface_->format->format, target,
                        surface_->pitch);
      if (!whole) out.push_back(d);
    }
    if (SDL_MUSTLOCK(surface_)) SDL_UnlockSurface(surface_);
    if (!out.empty()) SDL_UpdateWindowSurfaceRects(window, out.data(), static_cast<int>(out.size()));
  }

  bool accelerated_ = false;
  int width_ = 0, height_ = 0, scale_ = 1;
  DWORD quitThread_ = 0;
  std::thread thread_;
  std::mutex lock_;
  std::condition_variable startCv_;
  int started_ = 0;  // guarded by g_startLock where Xlib is in, else by lock_
  int wake_ = -1;    // eventfd: a frame is waiting, or stop
  // Guarded by lock_: the screen as the window side last handed it, and what changed since the
  // display thread took it.
  bool stop_ = false;
  bool wakePending_ = false;
  std::vector<uint32_t> pending_;
  std::vector<RECT> pendingRects_;
  // The display thread's own.
  std::vector<uint32_t> shown_;
  std::vector<uint32_t> scratch_;
  SDL_Surface* surface_ = nullptr;
#ifdef HU_HAVE_XCB
  std::unique_ptr<XcbOutput> xcb_;
#endif
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
  Placement placement_;
  int windowW_ = 0, windowH_ = 0;
  int serverFd_ = -1;
  bool redrawAll_ = false;
  bool down_ = false;
  bool lost_ = false;
#ifdef HU_HAVE_WAYLAND
  wl_display* wayland_ = nullptr;
#endif
};

}  // namespace

std::unique_ptr<DisplayBackend> makeSdlBackend(bool accelerated) { return std::make_unique<SdlBackend>(accelerated); }

#else

std::unique_ptr<DisplayBackend> makeSdlBackend(bool) { return nullptr; }

#endif

}  // namespace plat::display
