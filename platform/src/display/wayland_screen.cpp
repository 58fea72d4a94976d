// The screen on a Wayland compositor: a window of our own (xdg-shell) showing the screen from
// shared-memory buffers, with pointer and touch as the touch screen and the keyboard as the
// remote keys. SDL 2 makes every Wayland window an OpenGL one (Mesa and its threads, tens of
// megabytes) only to show a picture; this backend needs the Wayland client library and
// xkbcommon only.
//
// One thread of the backend's own reads and handles the compositor's events; it sleeps in poll()
// on the connection and an eventfd that stops it. The window side draws a frame into a free
// buffer and commits it itself (Wayland requests may come from any thread), under the lock the
// events are handled under: a frame wakes nobody. Two buffers take turns: the compositor may
// read one while the other is drawn; each remembers what changed since it was last shown, so
// only changed parts are copied (scaled) and reported as damage.
#include "display/backend.h"

#ifdef HU_HAVE_WAYLAND_SCREEN
#include <linux/input-event-codes.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "display/placement.h"
#include "plat_core.h"
#include "plat_display.h"
#include "plat_window.h"
#include "xdg-shell-client-protocol.h"
#endif

namespace plat::display {

#ifdef HU_HAVE_WAYLAND_SCREEN

namespace {

// Remote keys, as the sdl backend maps them.
int virtualKey(xkb_keysym_t k) {
  switch (k) {
    case XKB_KEY_Left: return VK_LEFT;
    case XKB_KEY_Up: return VK_UP;
    case XKB_KEY_Right: return VK_RIGHT;
    case XKB_KEY_Down: return VK_DOWN;
    case XKB_KEY_Return:
    case XKB_KEY_KP_Enter: return VK_RETURN;
    case XKB_KEY_Escape: return VK_ESCAPE;
    case XKB_KEY_BackSpace: return VK_BACK;
    case XKB_KEY_Tab: return VK_TAB;
    case XKB_KEY_space: return VK_SPACE;
    case XKB_KEY_Alt_L:
    case XKB_KEY_Alt_R: return VK_MENU;
    case XKB_KEY_KP_Add: return 0x2B;
    case XKB_KEY_F7: return 206;
    case XKB_KEY_F8: return 207;
    default: break;
  }
  if (k >= XKB_KEY_F1 && k <= XKB_KEY_F6) return 199 + static_cast<int>(k - XKB_KEY_F1);
  if (k >= XKB_KEY_a && k <= XKB_KEY_z) return 'A' + static_cast<int>(k - XKB_KEY_a);
  if (k >= XKB_KEY_A && k <= XKB_KEY_Z) return 'A' + static_cast<int>(k - XKB_KEY_A);
  if (k >= XKB_KEY_0 && k <= XKB_KEY_9) return '0' + static_cast<int>(k - XKB_KEY_0);
  return 0;
}

struct Buffer {
  wl_buffer* buffer = nullptr;
  uint32_t* pixels = nullptr;
  size_t bytes = 0;
  bool busy = false;           // the compositor holds it
  std::vector<RECT> changed;   // screen parts changed since it was last shown
};

class WaylandScreen : public DisplayBackend {
 public:
  ~WaylandScreen() override {
    stop();
    teardown();
  }

  bool start(int width, int height, int scale, DWORD quitThread) override {
    width_ = width;
    height_ = height;
    scale_ = scale;
    quitThread_ = quitThread;
    display_ = wl_display_connect(nullptr);
    if (!display_) {
      plat::console::writeUtf8("display: cannot reach the Wayland compositor\n");
      return false;
    }
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &kRegistry, this);
    wl_display_roundtrip(display_);
    if (!compositor_ || !shm_ || !wmBase_) {
      plat::console::writeUtf8("display: the Wayland compositor offers no xdg-shell windows with shared memory\n");
      return false;
    }
    xkb_ = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    surface_ = wl_compositor_create_surface(compositor_);
    xdgSurface_ = xdg_wm_base_get_xdg_surface(wmBase_, surface_);
    xdg_surface_add_listener(xdgSurface_, &kXdgSurface, this);
    toplevel_ = xdg_surface_get_toplevel(xdgSurface_);
    xdg_toplevel_add_listener(toplevel_, &kToplevel, this);
    xdg_toplevel_set_title(toplevel_, "head unit");
    xdg_toplevel_set_app_id(toplevel_, "headunit");
    if (scale_ == 0) xdg_toplevel_set_fullscreen(toplevel_, nullptr);
    wl_surface_commit(surface_);
    // The first configure says the size; a compositor that never sends one is no place to show.
    for (int i = 0; i < 50 && !configured_; ++i)
      if (wl_display_roundtrip(display_) < 0) break;
    if (!configured_) {
      plat::console::writeUtf8("display: the Wayland compositor does not configure our window\n");
      return false;
    }
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_ < 0) return false;
    // The window is on the screen (black) from the start, as an X11 window is once mapped; a
    // Wayland window without a buffer is not shown at all.
    shown_.assign(static_cast<size_t>(width_) * static_cast<size_t>(height_), 0);
    resize();
    thread_ = std::thread([this] { loop(); });
    watchOtherWindows();
    return true;
  }

  // The window side shows the frame itself: drawing into a free buffer and committing it are
  // requests, which any thread may send, so a frame costs the display thread no wakeup (only
  // the compositor's release of the buffer before comes back to it).
  void present(const uint32_t* frame, int width, int height, const std::vector<RECT>& rects) override {
    std::lock_guard<std::mutex> g(lock_);
    if (width != width_ || height != height_ || stop_ || lost_) return;
    for (const RECT& r : rects) {
      for (LONG y = r.top; y < r.bottom; ++y) {
        size_t at = static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(r.left);
        std::copy(frame + at, frame + at + (r.right - r.left), shown_.begin() + static_cast<ptrdiff_t>(at));
      }
      for (Buffer& b : buffers_) b.changed.push_back(r);
    }
    if (rects.empty()) return;
    unshown_ = true;
    draw();
    wl_display_flush(display_);
  }

  void stop() override {
    {
      std::lock_guard<std::mutex> g(lock_);
      stop_ = true;
    }
    signal();
    window::foreign::uninstall();
    if (thread_.joinable()) thread_.join();
  }

 private:
  void signal() { wakeEventFd(wake_); }

  void watchOtherWindows() { watchSwayWindows("Wayland window"); }

  void teardown() {
    for (Buffer& b : buffers_) freeBuffer(b);
    if (keyState_) xkb_state_unref(keyState_);
    if (keymap_) xkb_keymap_unref(keymap_);
    if (xkb_) xkb_context_unref(xkb_);
    keyState_ = nullptr;
    keymap_ = nullptr;
    xkb_ = nullptr;
    if (pointer_) wl_pointer_destroy(pointer_);
    if (touch_) wl_touch_destroy(touch_);
    if (keyboard_) wl_keyboard_destroy(keyboard_);
    if (toplevel_) xdg_toplevel_destroy(toplevel_);
    if (xdgSurface_) xdg_surface_destroy(xdgSurface_);
    if (surface_) wl_surface_destroy(surface_);
    if (seat_) wl_seat_destroy(seat_);
    if (wmBase_) xdg_wm_base_destroy(wmBase_);
    if (shm_) wl_shm_destroy(shm_);
    if (compositor_) wl_compositor_destroy(compositor_);
    if (registry_) wl_registry_destroy(registry_);
    pointer_ = nullptr;
    touch_ = nullptr;
    keyboard_ = nullptr;
    toplevel_ = nullptr;
    xdgSurface_ = nullptr;
    surface_ = nullptr;
    seat_ = nullptr;
    wmBase_ = nullptr;
    shm_ = nullptr;
    compositor_ = nullptr;
    registry_ = nullptr;
    if (display_) wl_display_disconnect(display_);
    display_ = nullptr;
    if (wake_ >= 0) ::close(wake_);
    wake_ = -1;
  }

  // --- the thread -------------------------------------------------------------------------

  void loop() {
    int fd = wl_display_get_fd(display_);
    {
      std::lock_guard<std::mutex> g(lock_);
      draw();  // the first (black) buffer maps the window
    }
    for (;;) {
      // Wayland's rule for a thread that sleeps on the connection: prepare, flush, poll, then
      // read or cancel. Events are handled under the lock the window side draws under.
      bool prepared = false;
      while (!lost_ && !(prepared = wl_display_prepare_read(display_) == 0)) {
        {
          std::lock_guard<std::mutex> g(lock_);
          if (wl_display_dispatch_pending(display_) < 0) lose();
        }
        runLater();
      }
      if (prepared) wl_display_flush(display_);
      pollfd fds[2] = {{wake_, POLLIN, 0}, {fd, POLLIN, 0}};
      int n = ::poll(fds, prepared ? 2 : 1, -1);
      std::unique_lock<std::mutex> g(lock_);
      if (prepared) {
        if (n > 0 && (fds[1].revents & POLLIN)) {
          if (wl_display_read_events(display_) < 0) lose();
        } else {
          wl_display_cancel_read(display_);
          if (fds[1].revents & (POLLHUP | POLLERR)) lose();
        }
        if (!lost_ && wl_display_dispatch_pending(display_) < 0) lose();
      }
      if (fds[0].revents & POLLIN) {
        uint64_t count = 0;
        ssize_t r = ::read(wake_, &count, sizeof count);
        (void)r;
      }
      if (stop_) return;
      // A frame the window side could not show (both buffers held) goes out once one is back.
      if (!lost_) draw();
      g.unlock();
      runLater();
    }
  }

  // What events ask of the window system is done once the lock is released: the window side
  // takes its own locks first and then ours when it presents.
  void later(std::function<void()> f) { later_.push_back(std::move(f)); }
  void runLater() {
    std::vector<std::function<void()>> todo;
    {
      std::lock_guard<std::mutex> g(lock_);
      todo.swap(later_);
    }
    for (auto& f : todo) f();
  }

  void lose() {
    if (lost_) return;
    lost_ = true;
    plat::console::writeUtf8("display: the Wayland compositor went away; ending\n");
    later([q = quitThread_] { plat::window::postQuit(q, HU_DISPLAY_LOST_EXIT_STATUS); });
  }

  // Shows the latest frame in a buffer the compositor does not hold, drawing there what changed
  // since that buffer was last shown; with both held, the next release brings us back here. A
  // buffer released after the frame went out keeps its changes until the next frame.
  void draw() {
    if (shown_.empty() || !unshown_) return;
    for (Buffer& b : buffers_) {
      if (b.busy || b.changed.empty() || !b.buffer) continue;
      std::vector<RECT> parts;
      parts.swap(b.changed);
      limitParts(parts, 32);
      wl_surface_attach(surface_, b.buffer, 0, 0);
      for (const RECT& r : parts) {
        scaleInto(placement_, shown_.data(), r, b.pixels, bufferW_, 0, 0);
        int x0 = placement_.toWindowX(r.left), y0 = placement_.toWindowY(r.top);
        wl_surface_damage_buffer(surface_, x0, y0, placement_.toWindowX(r.right) - x0,
                                 placement_.toWindowY(r.bottom) - y0);
      }
      wl_surface_commit(surface_);
      b.busy = true;
      unshown_ = false;
      return;
    }
  }

  // New buffers for the configured size, black around the screen, everything to be drawn.
  void resize() {
    int w = configuredW_ > 0 ? configuredW_ : width_ * std::max(scale_, 1);
    int h = configuredH_ > 0 ? configuredH_ : height_ * std::max(scale_, 1);
    if (w == bufferW_ && h == bufferH_ && buffers_[0].buffer) return;
    bufferW_ = w;
    bufferH_ = h;
    placement_.fit(width_, height_, w, h, scale_);
    for (Buffer& b : buffers_) {
      freeBuffer(b);
      makeBuffer(b, w, h);
      b.changed.assign(1, RECT{0, 0, width_, height_});
    }
    unshown_ = true;
  }

  void makeBuffer(Buffer& b, int w, int h) {
    size_t stride = static_cast<size_t>(w) * 4;
    b.bytes = stride * static_cast<size_t>(h);
    int fd = memfd_create("headunit-screen", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(b.bytes)) != 0) {
      if (fd >= 0) ::close(fd);
      plat::console::writeUtf8("display: no shared memory for the Wayland window\n");
      return;
    }
    void* p = mmap(nullptr, b.bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) {
      ::close(fd);
      return;
    }
    b.pixels = static_cast<uint32_t*>(p);
    std::memset(b.pixels, 0, b.bytes);
    wl_shm_pool* pool = wl_shm_create_pool(shm_, fd, static_cast<int32_t>(b.bytes));
    b.buffer = wl_shm_pool_create_buffer(pool, 0, w, h, static_cast<int32_t>(stride), WL_SHM_FORMAT_XRGB8888);
    wl_buffer_add_listener(b.buffer, &kBuffer, &b);
    wl_shm_pool_destroy(pool);
    ::close(fd);
    b.busy = false;
  }

  void freeBuffer(Buffer& b) {
    if (b.buffer) wl_buffer_destroy(b.buffer);
    if (b.pixels) munmap(b.pixels, b.bytes);
    b = Buffer{};
  }

  void touch(UINT message, wl_fixed_t x, wl_fixed_t y) {
    int sx = placement_.toScreenX(wl_fixed_to_int(x)), sy = placement_.toScreenY(wl_fixed_to_int(y));
    // A touch on the screen takes it back from another program's window.
    later([message, sx, sy] {
      if (message == WM_LBUTTONDOWN)
        if (auto other = window::foreign::current()) other->frontScreen();
      plat::window::injectTouch(message, sx, sy);
    });
  }

  // --- listeners ----------------------------------------------------------------------------

  static WaylandScreen* self(void* data) { return static_cast<WaylandScreen*>(data); }

  static void onGlobal(void* data, wl_registry* r, uint32_t name, const char* interface, uint32_t version) {
    WaylandScreen* s = self(data);
    std::string i = interface;
    if (i == wl_compositor_interface.name)
      s->compositor_ = static_cast<wl_compositor*>(wl_registry_bind(r, name, &wl_compositor_interface, std::min(version, 4u)));
    else if (i == wl_shm_interface.name)
      s->shm_ = static_cast<wl_shm*>(wl_registry_bind(r, name, &wl_shm_interface, 1));
    else if (i == xdg_wm_base_interface.name) {
      s->wmBase_ = static_cast<xdg_wm_base*>(wl_registry_bind(r, name, &xdg_wm_base_interface, 1));
      xdg_wm_base_add_listener(s->wmBase_, &kWmBase, s);
    } else if (i == wl_seat_interface.name && !s->seat_) {
      s->seat_ = static_cast<wl_seat*>(wl_registry_bind(r, name, &wl_seat_interface, std::min(version, 5u)));
      wl_seat_add_listener(s->seat_, &kSeat, s);
    }
  }
  static void onGlobalRemove(void*, wl_registry*, uint32_t) {}
  static constexpr wl_registry_listener kRegistry = {onGlobal, onGlobalRemove};

  static void onPing(void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); }
  static constexpr xdg_wm_base_listener kWmBase = {onPing};

  static void onSurfaceConfigure(void* data, xdg_surface* surface, uint32_t serial) {
    WaylandScreen* s = self(data);
    xdg_surface_ack_configure(surface, serial);
    s->configured_ = true;
    if (s->wake_ >= 0) {
      s->resize();
      s->draw();
    }
  }
  static constexpr xdg_surface_listener kXdgSurface = {onSurfaceConfigure};

  static void onToplevelConfigure(void* data, xdg_toplevel*, int32_t w, int32_t h, wl_array*) {
    WaylandScreen* s = self(data);
    // 0 leaves the size to us; a scaled window keeps its own.
    s->configuredW_ = s->scale_ == 0 ? w : 0;
    s->configuredH_ = s->scale_ == 0 ? h : 0;
  }
  static void onClose(void* data, xdg_toplevel*) {
    // Closing the window ends the program the way its own quit message does.
    self(data)->later([q = self(data)->quitThread_] { plat::window::postQuit(q, 0); });
  }
  // Bound at version 1: the later events (bounds, capabilities) never come.
  static constexpr xdg_toplevel_listener kToplevel = {onToplevelConfigure, onClose, nullptr, nullptr};

  static void onRelease(void* data, wl_buffer*) { static_cast<Buffer*>(data)->busy = false; }
  static constexpr wl_buffer_listener kBuffer = {onRelease};

  static void onCapabilities(void* data, wl_seat* seat, uint32_t caps) {
    WaylandScreen* s = self(data);
    if ((caps & WL_SEAT_CAPABILITY_POINTER) && !s->pointer_) {
      s->pointer_ = wl_seat_get_pointer(seat);
      wl_pointer_add_listener(s->pointer_, &kPointer, s);
    }
    if ((caps & WL_SEAT_CAPABILITY_TOUCH) && !s->touch_) {
      s->touch_ = wl_seat_get_touch(seat);
      wl_touch_add_listener(s->touch_, &kTouch, s);
    }
    if ((caps & WL_SEAT_CAPABILITY_KEYBOARD) && !s->keyboard_) {
      s->keyboard_ = wl_seat_get_keyboard(seat);
      wl_keyboard_add_listener(s->keyboard_, &kKeyboard, s);
    }
  }
  static void onSeatName(void*, wl_seat*, const char*) {}
  static constexpr wl_seat_listener kSeat = {onCapabilities, onSeatName};

  static void onEnter(void* data, wl_pointer* p, uint32_t serial, wl_surface*, wl_fixed_t x, wl_fixed_t y) {
    WaylandScreen* s = self(data);
    // A kiosk shows no cursor on its screen.
    if (s->scale_ == 0) wl_pointer_set_cursor(p, serial, nullptr, 0, 0);
    s->px_ = x;
    s->py_ = y;
  }
  static void onLeave(void*, wl_pointer*, uint32_t, wl_surface*) {}
  static void onMotion(void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
    WaylandScreen* s = self(data);
    s->px_ = x;
    s->py_ = y;
    // A touch screen reports movement only while touched.
    if (s->down_) s->touch(WM_MOUSEMOVE, x, y);
  }
  static void onButton(void* data, wl_pointer*, uint32_t, uint32_t, uint32_t button, uint32_t state) {
    WaylandScreen* s = self(data);
    if (button != BTN_LEFT) return;
    bool pressed = state == WL_POINTER_BUTTON_STATE_PRESSED;
    if (pressed == s->down_) return;
    s->down_ = pressed;
    s->touch(pressed ? WM_LBUTTONDOWN : WM_LBUTTONUP, s->px_, s->py_);
  }
  static void onAxis(void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {}
  static void onFrame(void*, wl_pointer*) {}
  static void onAxisSource(void*, wl_pointer*, uint32_t) {}
  static void onAxisStop(void*, wl_pointer*, uint32_t, uint32_t) {}
  static void onAxisDiscrete(void*, wl_pointer*, uint32_t, int32_t) {}
  // Bound at version 5 at most: high-resolution wheel steps never come.
  static constexpr wl_pointer_listener kPointer = {onEnter,      onLeave,    onMotion,       onButton, onAxis, onFrame,
                                                   onAxisSource, onAxisStop, onAxisDiscrete, nullptr};

  // The first finger down is the touch; others are ignored until it lifts.
  static void onTouchDown(void* data, wl_touch*, uint32_t, uint32_t, wl_surface*, int32_t id, wl_fixed_t x,
                          wl_fixed_t y) {
    WaylandScreen* s = self(data);
    if (s->finger_ >= 0) return;
    s->finger_ = id;
    s->px_ = x;
    s->py_ = y;
    s->touch(WM_LBUTTONDOWN, x, y);
  }
  static void onTouchUp(void* data, wl_touch*, uint32_t, uint32_t, int32_t id) {
    WaylandScreen* s = self(data);
    if (id != s->finger_) return;
    s->finger_ = -1;
    s->touch(WM_LBUTTONUP, s->px_, s->py_);
  }
  static void onTouchMotion(void* data, wl_touch*, uint32_t, int32_t id, wl_fixed_t x, wl_fixed_t y) {
    WaylandScreen* s = self(data);
    if (id != s->finger_) return;
    s->px_ = x;
    s->py_ = y;
    s->touch(WM_MOUSEMOVE, x, y);
  }
  static void onTouchFrame(void*, wl_touch*) {}
  static void onTouchCancel(void* data, wl_touch*) { onTouchUp(data, nullptr, 0, 0, self(data)->finger_); }
  static void onTouchShape(void*, wl_touch*, int32_t, wl_fixed_t, wl_fixed_t) {}
  static void onTouchOrientation(void*, wl_touch*, int32_t, wl_fixed_t) {}
  static constexpr wl_touch_listener kTouch = {onTouchDown,   onTouchUp,    onTouchMotion,     onTouchFrame,
                                               onTouchCancel, onTouchShape, onTouchOrientation};

  static void onKeymap(void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size) {
    WaylandScreen* s = self(data);
    void* text = format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 ? mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0)
                                                            : MAP_FAILED;
    ::close(fd);
    if (text == MAP_FAILED) return;
    xkb_keymap* map = xkb_keymap_new_from_buffer(s->xkb_, static_cast<const char*>(text), strnlen(static_cast<const char*>(text), size),
                                                 XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
    munmap(text, size);
    if (!map) {
      plat::console::writeUtf8("display: the compositor's keymap cannot be read; keys are not seen\n");
      return;
    }
    if (s->keyState_) xkb_state_unref(s->keyState_);
    if (s->keymap_) xkb_keymap_unref(s->keymap_);
    s->keymap_ = map;
    s->keyState_ = xkb_state_new(map);
  }
  static void onKeyEnter(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {}
  static void onKeyLeave(void*, wl_keyboard*, uint32_t, wl_surface*) {}
  static void onKey(void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state) {
    WaylandScreen* s = self(data);
    if (!s->keyState_) return;
    // Evdev codes are 8 below XKB's.
    int vk = virtualKey(xkb_state_key_get_one_sym(s->keyState_, key + 8));
    bool down = state == WL_KEYBOARD_KEY_STATE_PRESSED;
    if (vk) s->later([vk, down] { plat::window::injectKey(static_cast<UINT>(vk), down); });
  }
  static void onModifiers(void* data, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched, uint32_t locked,
                          uint32_t group) {
    WaylandScreen* s = self(data);
    if (s->keyState_) xkb_state_update_mask(s->keyState_, depressed, latched, locked, 0, 0, group);
  }
  static void onRepeatInfo(void*, wl_keyboard*, int32_t, int32_t) {}
  static constexpr wl_keyboard_listener kKeyboard = {onKeymap, onKeyEnter, onKeyLeave, onKey, onModifiers, onRepeatInfo};

  int width_ = 0, height_ = 0, scale_ = 1;
  DWORD quitThread_ = 0;
  wl_display* display_ = nullptr;
  wl_registry* registry_ = nullptr;
  wl_compositor* compositor_ = nullptr;
  wl_shm* shm_ = nullptr;
  xdg_wm_base* wmBase_ = nullptr;
  wl_seat* seat_ = nullptr;
  wl_pointer* pointer_ = nullptr;
  wl_touch* touch_ = nullptr;
  wl_keyboard* keyboard_ = nullptr;
  wl_surface* surface_ = nullptr;
  xdg_surface* xdgSurface_ = nullptr;
  xdg_toplevel* toplevel_ = nullptr;
  xkb_context* xkb_ = nullptr;
  xkb_keymap* keymap_ = nullptr;
  xkb_state* keyState_ = nullptr;
  bool configured_ = false;
  int configuredW_ = 0, configuredH_ = 0;
  int bufferW_ = 0, bufferH_ = 0;
  Buffer buffers_[2];
  Placement placement_;
  wl_fixed_t px_ = 0, py_ = 0;
  bool down_ = false;
  int32_t finger_ = -1;
  bool lost_ = false;
  std::thread thread_;
  int wake_ = -1;
  // Guarded by lock_ once the thread runs: the frame, the buffers and every Wayland object's
  // state (events are dispatched under it, frames drawn under it).
  std::mutex lock_;
  bool stop_ = false;
  std::vector<uint32_t> shown_;
  std::vector<std::function<void()>> later_;
  bool unshown_ = false;  // shown_ has changes no committed buffer shows yet
};

}  // namespace

std::unique_ptr<DisplayBackend> makeWaylandScreen() { return std::make_unique<WaylandScreen>(); }

#else

std::unique_ptr<DisplayBackend> makeWaylandScreen() { return nullptr; }

#endif

}  // namespace plat::display
