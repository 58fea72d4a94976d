// An X server for the tests (Debian's Xvfb, on a display number it picks itself), and a client
// of our own that stands for other programs: it makes windows with chosen properties, reads
// the server's stacking order and takes screenshots of the root window.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "servers.h"

namespace hu::test {

class XServer {
 public:
  ~XServer() { stop(); }

  // Starts Xvfb with one 800x480 screen; false with the reason when it cannot run here.
  bool start(std::string& why, const char* size = "800x480x24") {
    if (access("/usr/bin/Xvfb", X_OK) != 0) {
      why = "Xvfb is not installed (apt-get install xvfb)";
      return false;
    }
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
      why = "no pipe";
      return false;
    }
    pid_ = fork();
    if (pid_ == 0) {
      dup2(fds[1], 3);  // -displayfd: the server writes its display number here when ready
      int null = open("/dev/null", O_WRONLY);
      if (null >= 0) {
        dup2(null, 1);
        dup2(null, 2);
      }
      setpgid(0, 0);
      execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", size, "-nolisten", "tcp", "-noreset",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    std::string number;
    pollfd p = {fds[0], POLLIN, 0};
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < end) {
      if (poll(&p, 1, 200) <= 0) continue;
      char buf[16];
      ssize_t n = read(fds[0], buf, sizeof buf);
      if (n <= 0) break;
      number.append(buf, static_cast<size_t>(n));
      if (number.find('\n') != std::string::npos) break;
    }
    close(fds[0]);
    while (!number.empty() && (number.back() == '\n' || number.back() == ' ')) number.pop_back();
    if (number.empty()) {
      why = "Xvfb did not start";
      stop();
      return false;
    }
    display_ = ":" + number;
    return true;
  }

  void stop() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
      pid_ = -1;
    }
  }

  const std::string& display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

// A display nobody serves while the test holds it: a local port (6000 + the display number)
// bound but not listening, so a connection to it is refused.
class HeldDisplay {
 public:
  HeldDisplay() : fd_(bindLocalPort(&port_, false)) {}
  ~HeldDisplay() { close(fd_); }
  std::string display() const { return "127.0.0.1:" + std::to_string(port_ - 6000); }

 private:
  int port_ = 0;
  int fd_;
};

// A client of the X server of its own, standing for another program.
class XClient {
 public:
  explicit XClient(const std::string& display) {
    c_ = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(c_)) return;
    screen_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
  }
  ~XClient() { xcb_disconnect(c_); }
  bool ok() const { return screen_ != nullptr; }
  xcb_connection_t* connection() const { return c_; }
  xcb_window_t root() const { return screen_->root; }

  xcb_atom_t atom(const char* name) {
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    xcb_atom_t a = r ? r->atom : XCB_NONE;
    std::free(r);
    return a;
  }

  // A top-level window filled with `color`, mapped unless told otherwise.
  xcb_window_t makeWindow(uint32_t color, bool map = true, int x = 0, int y = 0, int w = 800, int h = 480) {
    xcb_window_t win = xcb_generate_id(c_);
    uint32_t values[] = {color};
    xcb_create_window(c_, XCB_COPY_FROM_PARENT, win, screen_->root, static_cast<int16_t>(x), static_cast<int16_t>(y),
                      static_cast<uint16_t>(w), static_cast<uint16_t>(h), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen_->root_visual, XCB_CW_BACK_PIXEL, values);
    if (map) xcb_map_window(c_, win);
    sync();
    return win;
  }

  void setString(xcb_window_t w, const char* property, const char* type, const std::string& value) {
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, atom(property), atom(type), 8,
                        static_cast<uint32_t>(value.size()), value.data());
    sync();
  }
  void setPid(xcb_window_t w, uint32_t pid) {
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
    sync();
  }
  void destroy(xcb_window_t w) {
    xcb_destroy_window(c_, w);
    sync();
  }
  // What a window manager sends when its close button is pressed.
  void askToClose(xcb_window_t w) {
    xcb_client_message_event_t e = {};
    e.response_type = XCB_CLIENT_MESSAGE;
    e.format = 32;
    e.window = w;
    e.type = atom("WM_PROTOCOLS");
    e.data.data32[0] = atom("WM_DELETE_WINDOW");
    e.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(c_, 0, w, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&e));
    sync();
  }

  // The root's children, bottom first (the server's stacking order).
  std::vector<xcb_window_t> stacking() {
    std::vector<xcb_window_t> out;
    xcb_query_tree_reply_t* t = xcb_query_tree_reply(c_, xcb_query_tree(c_, screen_->root), nullptr);
    if (!t) return out;
    const xcb_window_t* ch = xcb_query_tree_children(t);
    out.assign(ch, ch + xcb_query_tree_children_length(t));
    std::free(t);
    return out;
  }
  // Among the mapped root children, the topmost.
  xcb_window_t topMapped() {
    std::vector<xcb_window_t> s = stacking();
    for (auto it = s.rbegin(); it != s.rend(); ++it)
      if (viewable(*it)) return *it;
    return XCB_NONE;
  }
  bool viewable(xcb_window_t w) {
    xcb_get_window_attributes_reply_t* a = xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, w), nullptr);
    bool v = a && a->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(a);
    return v;
  }
  // Index in the stacking order (bottom 0), -1 when not a root child.
  int stackIndex(xcb_window_t w) {
    std::vector<xcb_window_t> s = stacking();
    for (size_t i = 0; i < s.size(); ++i)
      if (s[i] == w) return static_cast<int>(i);
    return -1;
  }
  uint32_t cardinal(xcb_window_t w, const char* property) {
    xcb_get_property_reply_t* r =
        xcb_get_property_reply(c_, xcb_get_property(c_, 0, w, atom(property), XCB_ATOM_CARDINAL, 0, 1), nullptr);
    uint32_t v = 0;
    if (r && xcb_get_property_value_length(r) == 4) std::memcpy(&v, xcb_get_property_value(r), 4);
    std::free(r);
    return v;
  }
  // The viewable top-level window whose _NET_WM_PID is `pid`.
  xcb_window_t windowOfProcess(uint32_t pid) {
    for (xcb_window_t w : stacking())
      if (viewable(w) && cardinal(w, "_NET_WM_PID") == pid) return w;
    return XCB_NONE;
  }
  // A window property of 32-bit values (windows, cardinals), empty when missing.
  std::vector<uint32_t> words(xcb_window_t w, const char* property) {
    std::vector<uint32_t> out;
    xcb_get_property_reply_t* r = xcb_get_property_reply(
        c_, xcb_get_property(c_, 0, w, atom(property), XCB_GET_PROPERTY_TYPE_ANY, 0, 4096), nullptr);
    if (r && r->format == 32) {
      auto* v = static_cast<const uint32_t*>(xcb_get_property_value(r));
      out.assign(v, v + xcb_get_property_value_length(r) / 4);
    }
    std::free(r);
    return out;
  }
  // With a window manager: the windows it manages, bottom first, and the active one.
  std::vector<uint32_t> managedStacking() { return words(root(), "_NET_CLIENT_LIST_STACKING"); }
  xcb_window_t activeWindow() {
    std::vector<uint32_t> v = words(root(), "_NET_ACTIVE_WINDOW");
    return v.empty() ? XCB_NONE : v[0];
  }
  xcb_window_t managedOfProcess(uint32_t pid) {
    for (uint32_t w : managedStacking())
      if (cardinal(w, "_NET_WM_PID") == pid) return w;
    return XCB_NONE;
  }
  bool windowManagerRuns() { return !words(root(), "_NET_SUPPORTING_WM_CHECK").empty(); }
  // The middle of a window, in root coordinates.
  std::pair<int, int> middleOf(xcb_window_t w) {
    xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c_, xcb_get_geometry(c_, w), nullptr);
    xcb_translate_coordinates_reply_t* t =
        xcb_translate_coordinates_reply(c_, xcb_translate_coordinates(c_, w, root(), 0, 0), nullptr);
    std::pair<int, int> m{-1, -1};
    if (g && t) m = {t->dst_x + g->width / 2, t->dst_y + g->height / 2};
    std::free(g);
    std::free(t);
    return m;
  }

  // One pixel of a screenshot of the root window (what a person sees), 0xRRGGBB.
  uint32_t screenPixel(int x, int y) {
    xcb_get_image_reply_t* r = xcb_get_image_reply(
        c_, xcb_get_image(c_, XCB_IMAGE_FORMAT_Z_PIXMAP, screen_->root, static_cast<int16_t>(x), static_cast<int16_t>(y), 1, 1, ~0u),
        nullptr);
    uint32_t v = 0xFFFFFFFF;
    if (r && xcb_get_image_data_length(r) >= 4) {
      std::memcpy(&v, xcb_get_image_data(r), 4);
      v &= 0xFFFFFF;
    }
    std::free(r);
    return v;
  }
  void sync() { std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)); }
  xcb_window_t focus() {
    xcb_get_input_focus_reply_t* r = xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr);
    xcb_window_t f = r ? r->focus : XCB_NONE;
    std::free(r);
    return f;
  }

 private:
  xcb_connection_t* c_ = nullptr;
  xcb_screen_t* screen_ = nullptr;
};

}  // namespace hu::test
