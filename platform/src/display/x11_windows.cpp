// Other programs' windows on an X11 server, through xcb and xcb-ewmh. A connection of our own
// (xcb is thread-safe; every call here is serialised anyway) lists the top-level windows of
// other clients, reads their process, title and class, and shows, hides and fronts them.
//
// Which windows are top-level: where an EWMH window manager runs, the clients it manages
// (_NET_CLIENT_LIST_STACKING, else _NET_CLIENT_LIST); where none runs, the children of the root
// that are mapped and not override-redirect (menus and tooltips are not windows a program is
// fronted by; unmapped helper windows such as toolkit group leaders would otherwise be taken
// for a program's main window). Windows we hid ourselves stay listed, so they can be shown
// again.
//
// Handles: every window gets a handle of its own the first time we see it, and we select
// StructureNotify on it; its DestroyNotify drops the handle. X reuses window ids once a client
// has gone, so an old handle must never come to name a newer window: every call makes a round
// trip first and only then reads the events, which by then include any destruction that came
// before the call.
#include "display/backend.h"

#ifdef HU_HAVE_XCB
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "plat_core.h"
#include "plat_strings.h"
#include "plat_window.h"
#endif

namespace plat::display {

#ifdef HU_HAVE_XCB

namespace {

using window::foreign::kHandleTag;

// Property values we read are bounded: a title of more than 4 KB is cut.
constexpr uint32_t kMaxPropertyWords = 1024;
// ICCCM WM_STATE values.
constexpr uint32_t kIconicState = 3;

class X11Windows : public window::foreign::Source {
 public:
  X11Windows(xcb_connection_t* c, int screenNumber, uint32_t screenWindow)
      : c_(c), screenNumber_(screenNumber), screenWindow_(screenWindow) {
    const xcb_setup_t* setup = xcb_get_setup(c_);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screenNumber_ && it.rem; ++i) xcb_screen_next(&it);
    root_ = it.data ? it.data->root : 0;
    xcb_intern_atom_cookie_t* cookies = xcb_ewmh_init_atoms(c_, &ewmh_);
    ewmhReady_ = cookies && xcb_ewmh_init_atoms_replies(&ewmh_, cookies, nullptr);
    wmClass_ = atom("WM_CLASS");
    wmName_ = atom("WM_NAME");
    wmChangeState_ = atom("WM_CHANGE_STATE");
    utf8_ = atom("UTF8_STRING");
  }

  ~X11Windows() override {
    if (ewmhReady_) xcb_ewmh_connection_wipe(&ewmh_);
    xcb_disconnect(c_);
  }

  bool usable() const { return root_ != 0 && ewmhReady_ && !xcb_connection_has_error(c_); }

  void list(std::vector<HWND>& above, std::vector<HWND>& below) override {
    std::lock_guard<std::mutex> g(lock_);
    above.clear();
    below.clear();
    if (broken()) return;
    std::vector<xcb_window_t> stack = stackingBottomFirst();
    drainEvents();
    // Our hidden windows are not in a window manager's list; they go to the bottom.
    for (xcb_window_t w : hiddenByUs_)
      if (std::find(stack.begin(), stack.end(), w) == stack.end() && exists(w)) stack.insert(stack.begin(), w);
    bool pastScreen = false;
    for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
      if (*it == screenWindow_) {
        pastScreen = true;
        continue;
      }
      HWND h = handleFor(*it);
      (pastScreen ? below : above).push_back(h);
    }
  }

  bool alive(HWND hwnd) override {
    std::lock_guard<std::mutex> g(lock_);
    return resolve(hwnd) != 0;
  }

  bool visible(HWND hwnd) override {
    std::lock_guard<std::mutex> g(lock_);
    xcb_window_t w = resolve(hwnd);
    return w && mapState(w) == XCB_MAP_STATE_VIEWABLE;
  }

  bool processId(HWND hwnd, DWORD& pid) override {
    std::lock_guard<std::mutex> g(lock_);
    pid = 0;
    xcb_window_t w = resolve(hwnd);
    if (!w) return false;
    uint32_t value = 0;
    if (xcb_ewmh_get_wm_pid_reply(&ewmh_, xcb_ewmh_get_wm_pid(&ewmh_, w), &value, nullptr)) pid = value;
    return true;
  }

  bool title(HWND hwnd, std::u16string& text) override {
    return readText(hwnd, text, [&](xcb_window_t w, std::string& raw, xcb_atom_t& type) {
      if (property(w, ewmh_._NET_WM_NAME, utf8_, raw, type) && !raw.empty()) {
        text = plat::utf8ToUtf16(raw);
      } else if (property(w, wmName_, XCB_GET_PROPERTY_TYPE_ANY, raw, type)) {
        // UTF8_STRING is UTF-8; STRING is Latin-1 by definition, and COMPOUND_TEXT without its
        // escape sequences is too, which is as far as we go with it.
        if (type == utf8_) {
          text = plat::utf8ToUtf16(raw);
        } else {
          for (unsigned char ch : raw)
            if (ch >= 0x20 || ch == '\t') text.push_back(static_cast<char16_t>(ch));
        }
      }
      // A title ends at its first NUL, as a window text does.
      if (size_t nul = text.find(u'\0'); nul != std::u16string::npos) text.resize(nul);
    });
  }

  bool className(HWND hwnd, std::u16string& text) override {
    return readText(hwnd, text, [&](xcb_window_t w, std::string& raw, xcb_atom_t& type) {
      if (property(w, wmClass_, XCB_ATOM_STRING, raw, type)) {
        // "instance\0Class\0": the class is the second string; a value with one string only
        // gives that one.
        size_t nul = raw.find('\0');
        std::string cls = nul == std::string::npos ? raw : raw.substr(nul + 1);
        if (size_t end = cls.find('\0'); end != std::string::npos) cls.resize(end);
        if (cls.empty()) cls = raw.substr(0, nul);
        for (unsigned char ch : cls) text.push_back(static_cast<char16_t>(ch));
      }
    });
  }

  bool show(HWND hwnd, int command, bool& wasVisible) override {
    std::lock_guard<std::mutex> g(lock_);
    wasVisible = false;
    xcb_window_t w = resolve(hwnd);
    if (!w) return false;
    wasVisible = mapState(w) == XCB_MAP_STATE_VIEWABLE;
    switch (command) {
      case SW_HIDE:
        hiddenByUs_.insert(w);
        xcb_unmap_window(c_, w);
        // ICCCM: a client withdraws its window by a synthetic UnmapNotify to the root too.
        sendUnmapToRoot(w);
        break;
      case SW_MINIMIZE:
        if (wmRunning()) {
          sendClientMessage(root_, w, wmChangeState_, kIconicState);
        } else {
          // Without a window manager nothing can keep an icon: the window is put away.
          hiddenByUs_.insert(w);
          xcb_unmap_window(c_, w);
        }
        break;
      case SW_SHOWNA:
      case SW_SHOWNOACTIVATE:
        hiddenByUs_.erase(w);
        xcb_map_window(c_, w);
        break;
      default:
        hiddenByUs_.erase(w);
        xcb_map_window(c_, w);
        frontLocked(w);
        break;
    }
    sync();
    return true;
  }

  bool front(HWND hwnd) override {
    std::lock_guard<std::mutex> g(lock_);
    xcb_window_t w = resolve(hwnd);
    if (!w) return false;
    hiddenByUs_.erase(w);
    xcb_map_window(c_, w);
    frontLocked(w);
    sync();
    return true;
  }

  void frontScreen() override {
    std::lock_guard<std::mutex> g(lock_);
    if (broken() || !screenWindow_) return;
    frontLocked(screenWindow_);
    sync();
  }

 private:
  bool broken() {
    if (!xcb_connection_has_error(c_)) return false;
    if (!reportedBroken_) {
      reportedBroken_ = true;
      plat::console::writeUtf8("display: the X server connection is gone; other programs' windows are no longer seen\n");
    }
    return true;
  }

  xcb_atom_t atom(const char* name) {
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    xcb_atom_t a = r ? r->atom : 0;
    std::free(r);
    return a;
  }

  // An EWMH window manager: the root names a check window that names itself.
  bool wmRunning() {
    xcb_window_t check = 0, self = 0;
    if (!xcb_ewmh_get_supporting_wm_check_reply(&ewmh_, xcb_ewmh_get_supporting_wm_check(&ewmh_, root_), &check,
                                                nullptr))
      return false;
    return xcb_ewmh_get_supporting_wm_check_reply(&ewmh_, xcb_ewmh_get_supporting_wm_check(&ewmh_, check), &self,
                                                  nullptr) &&
           self == check;
  }

  std::vector<xcb_window_t> stackingBottomFirst() {
    std::vector<xcb_window_t> out;
    if (wmRunning()) {
      xcb_ewmh_get_windows_reply_t r;
      bool ok = xcb_ewmh_get_client_list_stacking_reply(&ewmh_, xcb_ewmh_get_client_list_stacking(&ewmh_, screenNumber_),
                                                        &r, nullptr);
      if (!ok)
        ok = xcb_ewmh_get_client_list_reply(&ewmh_, xcb_ewmh_get_client_list(&ewmh_, screenNumber_), &r, nullptr);
      if (ok) {
        out.assign(r.windows, r.windows + r.windows_len);
        xcb_ewmh_get_windows_reply_wipe(&r);
        return out;
      }
    }
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c_, xcb_query_tree(c_, root_), nullptr);
    if (!tree) return out;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    int count = xcb_query_tree_children_length(tree);
    std::vector<xcb_get_window_attributes_cookie_t> cookies;
    cookies.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) cookies.push_back(xcb_get_window_attributes(c_, children[i]));
    for (int i = 0; i < count; ++i) {
      xcb_get_window_attributes_reply_t* a = xcb_get_window_attributes_reply(c_, cookies[static_cast<size_t>(i)], nullptr);
      if (!a) continue;  // gone meanwhile
      bool topLevel = !a->override_redirect && a->_class == XCB_WINDOW_CLASS_INPUT_OUTPUT &&
                      (a->map_state != XCB_MAP_STATE_UNMAPPED || hiddenByUs_.count(children[i]) ||
                       children[i] == screenWindow_);
      std::free(a);
      if (topLevel) out.push_back(children[i]);
    }
    std::free(tree);
    return out;
  }

  HWND handleFor(xcb_window_t w) {
    auto it = byWindow_.find(w);
    if (it != byWindow_.end()) return reinterpret_cast<HWND>(it->second);
    uintptr_t h = kHandleTag | ++next_;
    byWindow_[w] = h;
    byHandle_[h] = w;
    // Its destruction must reach us, to drop the handle.
    uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(c_, w, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c_);
    return reinterpret_cast<HWND>(h);
  }

  void forget(xcb_window_t w) {
    auto it = byWindow_.find(w);
    if (it != byWindow_.end()) {
      byHandle_.erase(it->second);
      byWindow_.erase(it);
    }
    hiddenByUs_.erase(w);
  }

  void drainEvents() {
    while (xcb_generic_event_t* e = xcb_poll_for_event(c_)) {
      if ((e->response_type & 0x7F) == XCB_DESTROY_NOTIFY)
        forget(reinterpret_cast<xcb_destroy_notify_event_t*>(e)->window);
      std::free(e);
    }
  }

  bool exists(xcb_window_t w) {
    xcb_get_window_attributes_reply_t* a = xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, w), nullptr);
    bool ok = a != nullptr;
    std::free(a);
    return ok;
  }

  // The window behind a handle, or 0 when the handle is not ours or the window is gone.
  // Fills `text` from the window behind `hwnd` under the lock: emptied first, then
  // `read(window, raw, type)` with a scratch buffer for a property. False for a handle that
  // names no window.
  template <class Read>
  bool readText(HWND hwnd, std::u16string& text, Read&& read) {
    std::lock_guard<std::mutex> g(lock_);
    text.clear();
    xcb_window_t w = resolve(hwnd);
    if (!w) return false;
    std::string raw;
    xcb_atom_t type = 0;
    read(w, raw, type);
    return true;
  }

  xcb_window_t resolve(HWND hwnd) {
    if (broken()) return 0;
    auto it = byHandle_.find(reinterpret_cast<uintptr_t>(hwnd));
    if (it == byHandle_.end()) return 0;
    xcb_window_t w = it->second;
    bool ok = exists(w);  // the round trip that brings any DestroyNotify before it
    drainEvents();
    if (!ok) forget(w);
    auto again = byHandle_.find(reinterpret_cast<uintptr_t>(hwnd));
    return again == byHandle_.end() ? 0 : again->second;
  }

  uint8_t mapState(xcb_window_t w) {
    xcb_get_window_attributes_reply_t* a = xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, w), nullptr);
    uint8_t state = a ? a->map_state : static_cast<uint8_t>(XCB_MAP_STATE_UNMAPPED);
    std::free(a);
    return state;
  }

  bool property(xcb_window_t w, xcb_atom_t name, xcb_atom_t type, std::string& value, xcb_atom_t& actualType) {
    value.clear();
    if (!name) return false;
    xcb_get_property_reply_t* r =
        xcb_get_property_reply(c_, xcb_get_property(c_, 0, w, name, type, 0, kMaxPropertyWords), nullptr);
    if (!r) return false;
    bool ok = r->type != XCB_NONE && r->format == 8;
    if (ok) {
      int len = xcb_get_property_value_length(r);
      value.assign(static_cast<const char*>(xcb_get_property_value(r)), static_cast<size_t>(std::max(len, 0)));
      actualType = r->type;
    }
    std::free(r);
    return ok;
  }

  void sendClientMessage(xcb_window_t to, xcb_window_t about, xcb_atom_t type, uint32_t data0) {
    xcb_client_message_event_t e = {};
    e.response_type = XCB_CLIENT_MESSAGE;
    e.format = 32;
    e.window = about;
    e.type = type;
    e.data.data32[0] = data0;
    xcb_send_event(c_, 0, to, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&e));
  }

  void sendUnmapToRoot(xcb_window_t w) {
    xcb_unmap_notify_event_t e = {};
    e.response_type = XCB_UNMAP_NOTIFY;
    e.event = root_;
    e.window = w;
    e.from_configure = 0;
    xcb_send_event(c_, 0, root_, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&e));
  }

  void frontLocked(xcb_window_t w) {
    if (wmRunning()) {
      // A window manager decides stacking and focus; source 2 (a pager) is what it obeys
      // without focus-stealing checks.
      xcb_ewmh_request_change_active_window(&ewmh_, screenNumber_, w, XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER,
                                            XCB_CURRENT_TIME, XCB_NONE);
      uint32_t above = XCB_STACK_MODE_ABOVE;
      xcb_configure_window(c_, w, XCB_CONFIG_WINDOW_STACK_MODE, &above);
      return;
    }
    uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(c_, w, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    xcb_set_input_focus(c_, XCB_INPUT_FOCUS_POINTER_ROOT, w, XCB_CURRENT_TIME);
  }

  // A round trip: what we asked is done (where no window manager stands between) on return.
  void sync() { std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)); }

  xcb_connection_t* c_;
  int screenNumber_;
  xcb_window_t screenWindow_;
  xcb_window_t root_ = 0;
  xcb_ewmh_connection_t ewmh_{};
  bool ewmhReady_ = false;
  bool reportedBroken_ = false;
  xcb_atom_t wmClass_ = 0, wmName_ = 0, wmChangeState_ = 0, utf8_ = 0;
  std::mutex lock_;
  std::map<xcb_window_t, uintptr_t> byWindow_;
  std::map<uintptr_t, xcb_window_t> byHandle_;
  std::set<xcb_window_t> hiddenByUs_;
  uintptr_t next_ = 0;
};

}  // namespace

std::shared_ptr<window::foreign::Source> makeX11Windows(const char* displayName, uint32_t screenWindow) {
  int screenNumber = 0;
  xcb_connection_t* c = xcb_connect(displayName, &screenNumber);
  if (!c || xcb_connection_has_error(c)) {
    if (c) xcb_disconnect(c);
    plat::console::writeUtf8("display: cannot reach the X server for other programs' windows\n");
    return nullptr;
  }
  auto source = std::make_shared<X11Windows>(c, screenNumber, screenWindow);
  if (!source->usable()) {
    plat::console::writeUtf8("display: the X server offers no usable root window; other programs' windows are not seen\n");
    return nullptr;
  }
  return source;
}

#else

std::shared_ptr<window::foreign::Source> makeX11Windows(const char*, uint32_t) { return nullptr; }

#endif

}  // namespace plat::display
