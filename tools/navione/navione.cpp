// navione: the demo navigation program of the default unit. The launcher starts it from
// \StorageCard\NaviOnej0p\NaviOne.exe, watches it and takes the screen back when it ends.
// It stays up until it is closed (SIGTERM, SIGINT, the close button of its window, or the
// launcher ending it) or until the given time has passed. Where an X server runs ($DISPLAY) it
// shows an 800x480 window titled "NaviOne navigation" (class "NaviOne") with a simple map, so a
// person sees at once that the navigation program is in front; without one it runs windowless.
// It reads the receiver from gpsd, as navigation programs on a unit do, and shows the position,
// the speed and the satellites it gets (or that it has none) in a band under the map.
//
//   NaviOne.exe [--seconds N] [--exit-code C]
//   NAVIONE_SECONDS=N  the same as --seconds (the launcher passes no arguments); 0: until closed
//   HU_GPS=gpsd:HOST:PORT  the gpsd to read (the launcher sets it); default localhost, port 2947
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <thread>

#ifdef HU_HAVE_XCB
#include <xcb/xcb.h>
#endif
#ifdef HU_HAVE_LIBGPS
#include <gps.h>

#include <cmath>
#endif

namespace {

volatile std::sig_atomic_t g_closed = 0;

void onSignal(int) { g_closed = 1; }

bool parseNumber(const char* text, long& value) {
  if (!text || !*text) return false;
  char* end = nullptr;
  long v = std::strtol(text, &end, 10);
  if (*end != 0 || v < 0) return false;
  value = v;
  return true;
}

// What the program shows of the receiver: two lines of text, and whether it has a fix.
struct GpsView {
  std::string status = "No GPS: this program was built without gpsd's client library";
  std::string fix;  // position, speed and satellites; empty without a fix
};

// The gpsd to read: HU_GPS as the launcher passes it ("gpsd", "gpsd:HOST:PORT", "gpsd:[V6]:PORT"),
// else localhost, port 2947: where a unit's gpsd listens.
void gpsdAddress(std::string& host, std::string& port) {
  host = "localhost";
  port = "2947";
  const char* env = std::getenv("HU_GPS");
  std::string s = env ? env : "";
  if (s.rfind("gpsd:", 0) != 0) return;
  s = s.substr(5);
  const size_t colon = s.rfind(':');
  if (colon != std::string::npos && s.find(']', colon) == std::string::npos) {
    port = s.substr(colon + 1);
    s = s.substr(0, colon);
  }
  if (s.size() > 2 && s.front() == '[' && s.back() == ']') s = s.substr(1, s.size() - 2);
  if (!s.empty()) host = s;
}

#ifdef HU_HAVE_LIBGPS

// The receiver through gpsd: its reports of the fix (TPV) and of the sky (SKY), read with gpsd's
// client library. When gpsd is not there, another try every two seconds.
class GpsFeed {
 public:
  GpsFeed() { gpsdAddress(host_, port_); }
  ~GpsFeed() { close(); }
  // The descriptor to wait on, or -1 while not connected.
  int fd() const { return open_ ? data_.gps_fd : -1; }

  // Connects when it is time to; reads what arrived. True when the view changed.
  bool update(bool readable) {
    const auto now = std::chrono::steady_clock::now();
    if (!open_ && now >= retry_) {
      retry_ = now + std::chrono::seconds(2);
      open_ = gps_open(host_.c_str(), port_.c_str(), &data_) == 0;
      if (open_ && gps_stream(&data_, WATCH_ENABLE | WATCH_JSON, nullptr) != 0) close();
    }
    if (open_ && readable) {
      int got;
      while ((got = gps_read(&data_, nullptr, 0)) > 0) {
      }
      if (got < 0) close();
    }
    return show();
  }

 private:
  void close() {
    if (open_) gps_close(&data_);
    open_ = false;
  }

  bool show() {
    GpsView v;
    if (!open_) {
      v.status = "No GPS: no gpsd at " + host_ + ":" + port_;
    } else if (data_.fix.mode < MODE_2D || std::isnan(data_.fix.latitude) || std::isnan(data_.fix.longitude)) {
      v.status = "GPS from gpsd at " + host_ + ":" + port_ + ": no fix yet, " +
                 std::to_string(data_.satellites_visible) + " satellites in view";
    } else {
      char text[160];
      const double lat = data_.fix.latitude, lon = data_.fix.longitude;
      const double kmh = std::isnan(data_.fix.speed) ? 0 : data_.fix.speed * 3.6;
      // Counted from the sky view: the count of its own that libgps keeps is not filled from every
      // report.
      int used = 0;
      for (int i = 0; i < std::min(data_.satellites_visible, MAXCHANNELS); ++i) used += data_.skyview[i].used ? 1 : 0;
      std::snprintf(text, sizeof text, "%.5f %c  %.5f %c   %.0f km/h   %d of %d satellites used", std::fabs(lat),
                    lat < 0 ? 'S' : 'N', std::fabs(lon), lon < 0 ? 'W' : 'E', kmh, used, data_.satellites_visible);
      v.status = "GPS from gpsd at " + host_ + ":" + port_;
      v.fix = text;
    }
    const bool changed = v.status != view.status || v.fix != view.fix;
    // The console hears of gpsd coming and going and of the first fix, not of every report.
    if (v.status != view.status || (view.fix.empty() && !v.fix.empty()))
      std::printf("NaviOne: %s%s%s\n", v.status.c_str(), v.fix.empty() ? "" : ": ", v.fix.c_str());
    std::fflush(stdout);
    view = v;
    return changed;
  }

  std::string host_, port_;
  gps_data_t data_{};
  bool open_ = false;
  std::chrono::steady_clock::time_point retry_{};

 public:
  GpsView view;
};

#else

struct GpsFeed {
  int fd() const { return -1; }
  bool update(bool) { return false; }
  GpsView view;
};

#endif

#ifdef HU_HAVE_XCB

// The program's window: a map with a route and the car's arrow under a title band.
class NaviWindow {
 public:
  static constexpr int kWidth = 800;
  static constexpr int kHeight = 480;
  // Colours (24-bit true colour, as Xvfb and every unit's server give).
  static constexpr uint32_t kLand = 0xE8E0C8;
  static constexpr uint32_t kBand = 0x1E3A8A;
  static constexpr uint32_t kRoad = 0x9A9A9A;
  static constexpr uint32_t kRoute = 0x2F6FEB;
  static constexpr uint32_t kArrow = 0xE0301E;
  static constexpr uint32_t kWater = 0x9CC8F0;

  bool open() {
    c_ = xcb_connect(nullptr, nullptr);
    if (!c_ || xcb_connection_has_error(c_)) return false;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
    if (!screen) return false;
    window_ = xcb_generate_id(c_);
    uint32_t values[] = {kLand, XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    xcb_create_window(c_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, kWidth, kHeight, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
    const char title[] = "NaviOne navigation";
    const char wmClass[] = "navione\0NaviOne";  // instance, class
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window_, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, sizeof title - 1, title);
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window_, atom("_NET_WM_NAME"), atom("UTF8_STRING"), 8,
                        sizeof title - 1, title);
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window_, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, sizeof wmClass,
                        wmClass);
    uint32_t pid = static_cast<uint32_t>(getpid());
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window_, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
    deleteWindow_ = atom("WM_DELETE_WINDOW");
    xcb_atom_t protocols = atom("WM_PROTOCOLS");
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window_, protocols, XCB_ATOM_ATOM, 32, 1, &deleteWindow_);
    gc_ = xcb_generate_id(c_);
    xcb_create_gc(c_, gc_, window_, 0, nullptr);
    font_ = xcb_generate_id(c_);
    // The server's own "fixed" font is always there; a missing one only leaves the title out.
    xcb_void_cookie_t fc = xcb_open_font_checked(c_, font_, 5, "fixed");
    if (xcb_generic_error_t* e = xcb_request_check(c_, fc)) {
      std::free(e);
      font_ = 0;
    }
    xcb_map_window(c_, window_);
    xcb_flush(c_);
    return true;
  }

  ~NaviWindow() {
    if (c_) xcb_disconnect(c_);
  }

  // Handles what arrived within `ms` from the server and from gpsd; false when the window was
  // closed or the server went away.
  bool pump(int ms, GpsFeed& gps) {
    pollfd p[2] = {{xcb_get_file_descriptor(c_), POLLIN, 0}, {gps.fd(), POLLIN, 0}};
    poll(p, gps.fd() >= 0 ? 2 : 1, ms);
    if (gps.update(p[1].revents != 0)) drawGps(gps.view);
    while (xcb_generic_event_t* e = xcb_poll_for_event(c_)) {
      uint8_t type = e->response_type & 0x7F;
      bool closed = false;
      if (type == XCB_EXPOSE && reinterpret_cast<xcb_expose_event_t*>(e)->count == 0) {
        draw();
        drawGps(gps.view);
      }
      if (type == XCB_CLIENT_MESSAGE) {
        auto* m = reinterpret_cast<xcb_client_message_event_t*>(e);
        closed = m->format == 32 && m->data.data32[0] == deleteWindow_;
      }
      if (type == XCB_DESTROY_NOTIFY) closed = true;
      std::free(e);
      if (closed) return false;
    }
    return !xcb_connection_has_error(c_);
  }

 private:
  xcb_atom_t atom(const char* name) {
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    xcb_atom_t a = r ? r->atom : XCB_NONE;
    std::free(r);
    return a;
  }

  void color(uint32_t pixel, uint32_t lineWidth = 0) {
    uint32_t v[] = {pixel, lineWidth};
    xcb_change_gc(c_, gc_, XCB_GC_FOREGROUND | XCB_GC_LINE_WIDTH, v);
  }

  void fill(int16_t x, int16_t y, uint16_t w, uint16_t h, uint32_t pixel) {
    color(pixel);
    xcb_rectangle_t r = {x, y, w, h};
    xcb_poly_fill_rectangle(c_, window_, gc_, 1, &r);
  }

  void line(std::initializer_list<xcb_point_t> points, uint32_t pixel, uint32_t width) {
    color(pixel, width);
    xcb_poly_line(c_, XCB_COORD_MODE_ORIGIN, window_, gc_, static_cast<uint32_t>(points.size()), points.begin());
  }

  void draw() {
    fill(0, 0, kWidth, kHeight, kLand);
    fill(560, 300, 240, 180, kWater);  // a lake in the corner
    line({{0, 380}, {800, 380}}, kRoad, 18);
    line({{180, 60}, {180, 480}}, kRoad, 18);
    line({{520, 60}, {420, 480}}, kRoad, 14);
    // The route: along the street, turn up the avenue.
    line({{40, 380}, {470, 380}, {505, 235}, {520, 130}}, kRoute, 10);
    // The car: a red arrow on the route, pointing ahead.
    color(kArrow);
    xcb_point_t arrow[] = {{300, 352}, {340, 380}, {300, 408}, {310, 380}};
    xcb_fill_poly(c_, window_, gc_, XCB_POLY_SHAPE_NONCONVEX, XCB_COORD_MODE_ORIGIN, 4, arrow);
    fill(0, 0, kWidth, 60, kBand);
    if (font_) {
      uint32_t v[] = {0xFFFFFF, kBand, font_};
      xcb_change_gc(c_, gc_, XCB_GC_FOREGROUND | XCB_GC_BACKGROUND | XCB_GC_FONT, v);
      const char text[] = "NaviOne navigation  -  in 300 m turn left onto the avenue";
      xcb_image_text_8(c_, sizeof text - 1, window_, gc_, 20, 36, text);
    }
    xcb_flush(c_);
  }

  // The band under the map: where the GPS is read from, then the fix (a tester reads the fix at
  // kGpsTextX, kGpsFixY).
 public:
  static constexpr int kGpsBandY = 410;
  static constexpr int kGpsTextX = 20;
  static constexpr int kGpsFixY = 462;
  static constexpr uint32_t kGpsBand = 0x102040;

 private:
  void drawGps(const GpsView& view) {
    fill(0, kGpsBandY, kWidth, kHeight - kGpsBandY, kGpsBand);
    if (font_) {
      uint32_t v[] = {0xFFFFFF, kGpsBand, font_};
      xcb_change_gc(c_, gc_, XCB_GC_FOREGROUND | XCB_GC_BACKGROUND | XCB_GC_FONT, v);
      xcb_image_text_8(c_, static_cast<uint8_t>(std::min<size_t>(view.status.size(), 120)), window_, gc_, kGpsTextX,
                       kGpsFixY - 26, view.status.c_str());
      if (!view.fix.empty())
        xcb_image_text_8(c_, static_cast<uint8_t>(std::min<size_t>(view.fix.size(), 120)), window_, gc_, kGpsTextX,
                         kGpsFixY, view.fix.c_str());
    }
    xcb_flush(c_);
  }

  xcb_connection_t* c_ = nullptr;
  xcb_window_t window_ = 0;
  xcb_gcontext_t gc_ = 0;
  xcb_font_t font_ = 0;
  xcb_atom_t deleteWindow_ = XCB_NONE;
};

#endif

}  // namespace

int main(int argc, char** argv) {
  long seconds = 60;
  long exitCode = 0;
  if (const char* env = std::getenv("NAVIONE_SECONDS")) {
    if (!parseNumber(env, seconds)) std::fprintf(stderr, "NaviOne: NAVIONE_SECONDS=%s is not a number, using 60\n", env);
  }
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    long* into = arg == "--seconds" ? &seconds : arg == "--exit-code" ? &exitCode : nullptr;
    if (!into || i + 1 >= argc || !parseNumber(argv[i + 1], *into)) {
      std::fprintf(stderr, "usage: NaviOne.exe [--seconds N] [--exit-code C]\n");
      return 2;
    }
    ++i;
  }
  std::signal(SIGTERM, onSignal);
  std::signal(SIGINT, onSignal);
  if (seconds > 0)
    std::printf("NaviOne: navigation running for %ld s (close it to return sooner)\n", seconds);
  else
    std::printf("NaviOne: navigation running until closed\n");
  std::fflush(stdout);
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  auto running = [&] { return !g_closed && (seconds == 0 || std::chrono::steady_clock::now() < end); };
  bool windowClosed = false;
  GpsFeed gps;
#ifdef HU_HAVE_XCB
  NaviWindow window;
  if (std::getenv("DISPLAY") && window.open()) {
    std::printf("NaviOne: window open\n");
    std::fflush(stdout);
    while (running() && !windowClosed) windowClosed = !window.pump(100, gps);
  }
#endif
  // Windowless: it only has to stay alive (and say what it reads), so a coarse wait that notices a
  // close request within a tenth of a second is enough.
  while (running() && !windowClosed) {
    pollfd p = {gps.fd(), POLLIN, 0};
    if (p.fd >= 0)
      poll(&p, 1, 100);
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    gps.update(p.revents != 0);
  }
  std::printf("NaviOne: navigation %s\n", g_closed || windowClosed ? "closed" : "finished");
  std::fflush(stdout);
  return static_cast<int>(exitCode & 0xFF);
}
