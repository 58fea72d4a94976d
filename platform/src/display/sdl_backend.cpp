// The sdl backend: an SDL2 window showing the screen (optionally scaled), mouse as touch and
// the keyboard as the remote keys. All SDL calls run on one thread of the backend's own.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "display/backend.h"
#include "plat_core.h"
#include "plat_display.h"
#include "plat_window.h"

#ifdef HU_HAVE_SDL2
#include <SDL.h>
#include <SDL_syswm.h>
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

class SdlBackend : public DisplayBackend {
 public:
  ~SdlBackend() override { stop(); }

  bool start(int width, int height, int scale, DWORD quitThread) override {
    width_ = width;
    height_ = height;
    scale_ = scale;
    quitThread_ = quitThread;
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

  void present(const uint32_t* pixels, int width, int height) override {
    std::lock_guard<std::mutex> g(lock_);
    if (width != width_ || height != height_) return;
    pending_.assign(pixels, pixels + static_cast<size_t>(width) * static_cast<size_t>(height));
    havePending_ = true;
  }

  void stop() override {
    {
      std::lock_guard<std::mutex> g(lock_);
      stop_ = true;
    }
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
  void run() {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    // Only drivers that put pixels on a screen; SDL_VIDEODRIVER in the environment still wins.
    if (!SDL_getenv("SDL_VIDEODRIVER")) SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11,wayland,kmsdrm");
#ifdef HU_HAVE_X11
    // SDL keeps the handler it finds and puts it back when it shuts down, before it closes its
    // second connection: a late protocol error on that connection must still find ours, not
    // Xlib's default that ends the process.
    XSetErrorHandler(onProtocolError);
#endif
    bool ok = SDL_Init(SDL_INIT_VIDEO) == 0;
    if (!ok) plat::console::writeUtf8(std::string("display: sdl: ") + SDL_GetError() + "\n");
    if (ok) {
      // SDL falls back to drivers that show nothing; those are the headless backend's job.
      const char* driver = SDL_GetCurrentVideoDriver();
      std::string name = driver ? driver : "";
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
    }
    if (ok) {
      // Full screen: the whole display shows the screen, scaled; touches come back in screen
      // pixels through the renderer's logical size.
      Uint32 flags = scale_ == 0 ? SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS : 0;
      int factor = scale_ == 0 ? 1 : scale_;
      window = SDL_CreateWindow("head unit", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width_ * factor,
                                height_ * factor, flags);
      if (window) renderer = SDL_CreateRenderer(window, -1, 0);
      if (renderer && scale_ == 0) SDL_RenderSetLogicalSize(renderer, width_, height_);
      if (scale_ == 0) scale_ = 1;
      if (renderer)
        texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, width_, height_);
      ok = texture != nullptr;
      if (!ok) plat::console::writeUtf8(std::string("display: sdl: ") + SDL_GetError() + "\n");
    }
    // Other programs' windows are seen from the moment open() returns.
    if (ok) watchOtherWindows(window);
    {
#ifdef HU_HAVE_X11
      std::lock_guard<std::mutex> g(g_startLock);
#else
      std::lock_guard<std::mutex> g(lock_);
#endif
      started_ = ok ? 1 : -1;
      startCv_.notify_all();
    }
    if (ok) loop(renderer, texture);
    if (texture) SDL_DestroyTexture(texture);
    if (renderer) SDL_DestroyRenderer(renderer);
    if (window) SDL_DestroyWindow(window);
    SDL_Quit();  // the whole of SDL: it is used for the display only
  }

  // On an X11 server other programs' windows become visible to the window calls, and our own
  // window is the screen they take turns with.
  void watchOtherWindows(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) {
      plat::console::writeUtf8("display: sdl without X11: other programs' windows are not seen\n");
      return;
    }
    const char* name = SDL_getenv("DISPLAY");
    auto source = makeX11Windows(name, static_cast<uint32_t>(info.info.x11.window));
    if (!source) return;
    window::foreign::install(std::move(source));
    plat::console::writeUtf8(std::string("display: sdl on X11 display ") + (name ? name : "") +
                             "; other programs' windows are seen\n");
  }

  void loop(SDL_Renderer* renderer, SDL_Texture* texture) {
    std::vector<uint32_t> frame;
    bool down = false;
    for (;;) {
      SDL_Event e;
      while (SDL_PollEvent(&e)) {
        switch (e.type) {
          case SDL_QUIT:
            // Closing the window ends the program the way its own quit message does.
            plat::window::postQuit(quitThread_, 0);
            break;
          case SDL_MOUSEBUTTONDOWN:
            if (e.button.button == SDL_BUTTON_LEFT) {
              down = true;
              // A touch on the screen takes it back from another program's window.
              if (auto other = window::foreign::current()) other->frontScreen();
              plat::window::injectTouch(WM_LBUTTONDOWN, e.button.x / scale_, e.button.y / scale_);
            }
            break;
          case SDL_MOUSEBUTTONUP:
            if (e.button.button == SDL_BUTTON_LEFT && down) {
              down = false;
              plat::window::injectTouch(WM_LBUTTONUP, e.button.x / scale_, e.button.y / scale_);
            }
            break;
          case SDL_MOUSEMOTION:
            // A touch screen reports movement only while touched.
            if (down) plat::window::injectTouch(WM_MOUSEMOVE, e.motion.x / scale_, e.motion.y / scale_);
            break;
          case SDL_KEYDOWN:
          case SDL_KEYUP: {
            int vk = virtualKey(e.key.keysym.sym);
            if (vk && !(e.type == SDL_KEYDOWN && e.key.repeat))
              plat::window::injectKey(static_cast<UINT>(vk), e.type == SDL_KEYDOWN);
            break;
          }
          case SDL_WINDOWEVENT:
            if (e.window.event == SDL_WINDOWEVENT_EXPOSED) redraw_ = true;
            break;
          default: break;
        }
      }
      {
        std::lock_guard<std::mutex> g(lock_);
        if (stop_) return;
        if (havePending_) {
          frame.swap(pending_);
          havePending_ = false;
          redraw_ = true;
        }
      }
      if (redraw_ && !frame.empty()) {
        SDL_UpdateTexture(texture, nullptr, frame.data(), width_ * 4);
        SDL_RenderClear(renderer);
        SDL_RenderCopy(renderer, texture, nullptr, nullptr);
        SDL_RenderPresent(renderer);
        redraw_ = false;
      }
      SDL_WaitEventTimeout(nullptr, 8);
    }
  }

  int width_ = 0, height_ = 0, scale_ = 1;
  DWORD quitThread_ = 0;
  std::thread thread_;
  std::mutex lock_;
  std::condition_variable startCv_;
  int started_ = 0;  // guarded by g_startLock where Xlib is in, else by lock_
  bool stop_ = false;
  bool havePending_ = false;
  bool redraw_ = false;
  std::vector<uint32_t> pending_;
};

}  // namespace

std::unique_ptr<DisplayBackend> makeSdlBackend() { return std::make_unique<SdlBackend>(); }

#else

std::unique_ptr<DisplayBackend> makeSdlBackend() { return nullptr; }

#endif

}  // namespace plat::display
