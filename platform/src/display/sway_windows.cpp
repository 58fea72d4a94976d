// Other programs' windows on sway, through its IPC socket ($SWAYSOCK). The window tree
// (GET_TREE) names every window with its process id, its title and its app id (an Xwayland
// window's X class); commands (RUN_COMMAND) front, hide and show them. The Wayland protocol for
// the same (foreign-toplevel management) names no process, which the program watcher needs.
//
// Handles: a window gets a handle of its own the first time we see it, keyed by sway's
// container id, which sway never gives to another window while it runs. Every call reads the
// tree afresh: a window that closed is no longer in it, and its handle is dropped for good.
//
// Stacking: sway keeps for every container the order in which its children last had the focus;
// following it from the root, most recent first, lists the windows from the one in front to
// the one longest behind. Windows in the scratchpad (hidden, by us or anyone) come last.
#include "display/backend.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "plat_core.h"
#include "window/foreign.h"

#ifdef HU_HAVE_JSONC
#include <json-c/json.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "plat_core.h"
#include "plat_strings.h"
#include "plat_window.h"
#endif

namespace plat::display {

#ifdef HU_HAVE_JSONC

namespace {

using window::foreign::kHandleTag;

constexpr uint32_t kRunCommand = 0;
constexpr uint32_t kGetTree = 4;
// A tree of more than this is not a kiosk's: refused rather than read into memory.
constexpr uint32_t kMaxReply = 16u << 20;
constexpr char kMagic[] = {'i', '3', '-', 'i', 'p', 'c'};

// One window as the tree shows it.
struct View {
  int64_t id = 0;
  DWORD pid = 0;
  bool visible = false;
  bool hidden = false;  // in the scratchpad
  bool fullscreen = false;
  std::string title;
  std::string appClass;
};

// Owns a parsed JSON value.
struct Json {
  json_object* root = nullptr;
  ~Json() {
    if (root) json_object_put(root);
  }
};

std::string stringOf(json_object* o, const char* key) {
  json_object* v = nullptr;
  if (!json_object_object_get_ex(o, key, &v) || !json_object_is_type(v, json_type_string)) return {};
  return json_object_get_string(v);
}

int64_t numberOf(json_object* o, const char* key) {
  json_object* v = nullptr;
  if (!json_object_object_get_ex(o, key, &v) || !json_object_is_type(v, json_type_int)) return 0;
  return json_object_get_int64(v);
}

bool flagOf(json_object* o, const char* key) {
  json_object* v = nullptr;
  return json_object_object_get_ex(o, key, &v) && json_object_get_boolean(v);
}

// The windows below `node`, most recently focused first (see the top of the file).
void collect(json_object* node, bool hidden, std::vector<View>& out) {
  if (!json_object_is_type(node, json_type_object)) return;
  if (stringOf(node, "type") == "workspace" && stringOf(node, "name") == "__i3_scratch") hidden = true;
  json_object* pid = nullptr;
  if (json_object_object_get_ex(node, "pid", &pid) && json_object_is_type(pid, json_type_int)) {
    View v;
    v.id = numberOf(node, "id");
    v.pid = static_cast<DWORD>(json_object_get_int64(pid));
    v.visible = flagOf(node, "visible");
    v.hidden = hidden;
    v.fullscreen = numberOf(node, "fullscreen_mode") != 0;
    v.title = stringOf(node, "name");
    v.appClass = stringOf(node, "app_id");
    json_object* props = nullptr;
    if (v.appClass.empty() && json_object_object_get_ex(node, "window_properties", &props))
      v.appClass = stringOf(props, "class");
    out.push_back(std::move(v));
  }
  // Children: those in the focus order first, in that order, then any others.
  std::vector<json_object*> children;
  for (const char* list : {"nodes", "floating_nodes"}) {
    json_object* a = nullptr;
    if (!json_object_object_get_ex(node, list, &a) || !json_object_is_type(a, json_type_array)) continue;
    for (size_t i = 0; i < json_object_array_length(a); ++i) children.push_back(json_object_array_get_idx(a, i));
  }
  std::vector<json_object*> ordered;
  json_object* focus = nullptr;
  if (json_object_object_get_ex(node, "focus", &focus) && json_object_is_type(focus, json_type_array)) {
    for (size_t i = 0; i < json_object_array_length(focus); ++i) {
      int64_t id = json_object_get_int64(json_object_array_get_idx(focus, i));
      for (json_object*& c : children)
        if (c && numberOf(c, "id") == id) {
          ordered.push_back(c);
          c = nullptr;
        }
    }
  }
  for (json_object* c : children)
    if (c) ordered.push_back(c);
  for (json_object* c : ordered) collect(c, hidden, out);
}

class SwayWindows : public window::foreign::Source {
 public:
  explicit SwayWindows(std::string socketPath) : path_(std::move(socketPath)) {}
  ~SwayWindows() override {
    if (fd_ >= 0) ::close(fd_);
  }

  // Connects and reads the tree once.
  bool usable() {
    std::lock_guard<std::mutex> g(lock_);
    std::vector<View> views;
    return tree(views);
  }

  void list(std::vector<HWND>& above, std::vector<HWND>& below) override {
    std::lock_guard<std::mutex> g(lock_);
    above.clear();
    below.clear();
    std::vector<View> views;
    if (!tree(views)) return;
    std::vector<View> shown, hidden;
    for (View& v : views) (v.hidden ? hidden : shown).push_back(std::move(v));
    shown.insert(shown.end(), hidden.begin(), hidden.end());
    bool pastScreen = false;
    for (const View& v : shown) {
      if (v.pid == self_) {
        pastScreen = true;
        continue;
      }
      (pastScreen ? below : above).push_back(handleFor(v.id));
    }
  }

  bool alive(HWND hwnd) override {
    return withView(hwnd, [](const View&) {});
  }
  bool visible(HWND hwnd) override {
    bool shown = false;
    withView(hwnd, [&](const View& v) { shown = v.visible && !v.hidden; });
    return shown;
  }
  bool processId(HWND hwnd, DWORD& pid) override {
    pid = 0;
    return withView(hwnd, [&](const View& v) { pid = v.pid; });
  }
  bool title(HWND hwnd, std::u16string& text) override {
    text.clear();
    return withView(hwnd, [&](const View& v) { text = cut(plat::utf8ToUtf16(v.title)); });
  }
  bool className(HWND hwnd, std::u16string& text) override {
    text.clear();
    return withView(hwnd, [&](const View& v) { text = cut(plat::utf8ToUtf16(v.appClass)); });
  }

  bool show(HWND hwnd, int command, bool& wasVisible) override {
    std::lock_guard<std::mutex> g(lock_);
    wasVisible = false;
    View v;
    if (!find(hwnd, v)) return false;
    wasVisible = v.visible && !v.hidden;
    std::string con = "[con_id=" + std::to_string(v.id) + "] ";
    switch (command) {
      case SW_HIDE:
      case SW_MINIMIZE:
        // sway has no minimised state: both put the window away in the scratchpad.
        if (!v.hidden) run(con + "move scratchpad");
        break;
      default:
        // Back from the scratchpad as a tiled window again. sway focuses a window it shows, so
        // SW_SHOWNA and SW_SHOWNOACTIVATE front it too (platform/docs/window.md).
        if (v.hidden) run(con + "scratchpad show, floating disable");
        if (command != SW_SHOWNA && command != SW_SHOWNOACTIVATE) focus(v);
        break;
    }
    return true;
  }

  bool front(HWND hwnd) override {
    std::lock_guard<std::mutex> g(lock_);
    View v;
    if (!find(hwnd, v)) return false;
    if (v.hidden) run("[con_id=" + std::to_string(v.id) + "] scratchpad show, floating disable");
    return focus(v);
  }

  void frontScreen() override {
    std::lock_guard<std::mutex> g(lock_);
    std::vector<View> views;
    if (!tree(views)) return;
    for (const View& v : views)
      if (v.pid == self_) {
        focus(v);
        return;
      }
  }

 private:
  // A window text ends at its first NUL, as ours do.
  static std::u16string cut(std::u16string s) {
    if (size_t nul = s.find(u'\0'); nul != std::u16string::npos) s.resize(nul);
    return s;
  }

  // Focuses a window. Where the window in front is full screen (a kiosk: every window is),
  // the focused one takes over the full screen; sway would otherwise tile the two side by side.
  bool focus(const View& v) {
    std::vector<View> views;
    bool fullscreen = false;
    if (tree(views))
      for (const View& o : views) fullscreen = fullscreen || (o.fullscreen && !o.hidden);
    return run("[con_id=" + std::to_string(v.id) + "] focus" + (fullscreen ? ", fullscreen enable" : ""));
  }

  template <class F>
  bool withView(HWND hwnd, F&& f) {
    std::lock_guard<std::mutex> g(lock_);
    View v;
    if (!find(hwnd, v)) return false;
    f(v);
    return true;
  }

  // The window behind a handle as the tree shows it now; a window no longer there drops its
  // handle for good.
  bool find(HWND hwnd, View& out) {
    auto it = byHandle_.find(reinterpret_cast<uintptr_t>(hwnd));
    if (it == byHandle_.end()) return false;
    std::vector<View> views;
    if (!tree(views)) return false;
    for (View& v : views)
      if (v.id == it->second) {
        out = std::move(v);
        return true;
      }
    byWindow_.erase(it->second);
    byHandle_.erase(it);
    return false;
  }

  HWND handleFor(int64_t id) {
    auto it = byWindow_.find(id);
    if (it != byWindow_.end()) return reinterpret_cast<HWND>(it->second);
    uintptr_t h = kHandleTag | ++next_;
    byWindow_[id] = h;
    byHandle_[h] = id;
    return reinterpret_cast<HWND>(h);
  }

  bool tree(std::vector<View>& views) {
    std::string reply;
    if (!request(kGetTree, "", reply)) return false;
    Json j;
    j.root = json_tokener_parse(reply.c_str());
    if (!j.root) {
      complain("sway sent a window tree that is not JSON");
      return false;
    }
    collect(j.root, false, views);
    return true;
  }

  bool run(const std::string& text) {
    std::string reply;
    if (!request(kRunCommand, text, reply)) return false;
    Json j;
    j.root = json_tokener_parse(reply.c_str());
    json_object* first = j.root && json_object_is_type(j.root, json_type_array) ? json_object_array_get_idx(j.root, 0) : nullptr;
    if (first && flagOf(first, "success")) return true;
    plat::console::writeUtf8("display: sway refused '" + text + "': " + (first ? stringOf(first, "error") : reply) + "\n");
    return false;
  }

  // One message and its reply on the IPC socket, connecting (again) as needed.
  bool request(uint32_t type, const std::string& payload, std::string& reply) {
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (fd_ < 0 && !connectSocket()) return false;
      if (exchange(type, payload, reply)) {
        reportedBroken_ = false;
        return true;
      }
      ::close(fd_);
      fd_ = -1;
    }
    complain("sway's IPC socket does not answer; other programs' windows are not seen");
    return false;
  }

  bool connectSocket() {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    if (path_.empty() || path_.size() >= sizeof a.sun_path) return false;
    std::memcpy(a.sun_path, path_.c_str(), path_.size() + 1);
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return false;
    // A compositor that hangs must not hang the window thread with it.
    timeval t{2, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t);
    setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &t, sizeof t);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      ::close(fd_);
      fd_ = -1;
      complain("cannot reach sway's IPC socket " + path_);
      return false;
    }
    return true;
  }

  bool exchange(uint32_t type, const std::string& payload, std::string& reply) {
    std::string message(kMagic, sizeof kMagic);
    uint32_t header[2] = {static_cast<uint32_t>(payload.size()), type};
    message.append(reinterpret_cast<const char*>(header), sizeof header);
    message += payload;
    if (!sendAll(message.data(), message.size())) return false;
    char head[sizeof kMagic + 8];
    if (!readAll(head, sizeof head) || std::memcmp(head, kMagic, sizeof kMagic) != 0) return false;
    uint32_t length = 0, replyType = 0;
    std::memcpy(&length, head + sizeof kMagic, 4);
    std::memcpy(&replyType, head + sizeof kMagic + 4, 4);
    if (length > kMaxReply || replyType != type) return false;
    reply.assign(length, '\0');
    return readAll(reply.data(), length);
  }

  bool sendAll(const char* p, size_t n) {
    while (n) {
      ssize_t k = ::send(fd_, p, n, MSG_NOSIGNAL);
      if (k <= 0) return false;
      p += k;
      n -= static_cast<size_t>(k);
    }
    return true;
  }
  bool readAll(char* p, size_t n) {
    while (n) {
      ssize_t k = ::recv(fd_, p, n, 0);
      if (k <= 0) return false;
      p += k;
      n -= static_cast<size_t>(k);
    }
    return true;
  }

  void complain(const std::string& what) {
    if (reportedBroken_) return;
    reportedBroken_ = true;
    plat::console::writeUtf8("display: " + what + "\n");
  }

  std::string path_;
  DWORD self_ = static_cast<DWORD>(getpid());
  int fd_ = -1;
  bool reportedBroken_ = false;
  std::mutex lock_;
  std::map<int64_t, uintptr_t> byWindow_;
  std::map<uintptr_t, int64_t> byHandle_;
  uintptr_t next_ = 0;
};

}  // namespace

std::shared_ptr<window::foreign::Source> makeSwayWindows(const char* socketPath) {
  if (!socketPath || !*socketPath) return nullptr;
  auto source = std::make_shared<SwayWindows>(socketPath);
  if (!source->usable()) return nullptr;
  return source;
}

#else

std::shared_ptr<window::foreign::Source> makeSwayWindows(const char*) { return nullptr; }

#endif

void watchSwayWindows(const char* screen) {
  const char* sway = std::getenv("SWAYSOCK");
  if (auto source = makeSwayWindows(sway)) {
    window::foreign::install(std::move(source));
    plat::console::writeUtf8(std::string("display: ") + screen + " on sway (" + sway +
                             "); other programs' windows are seen\n");
    return;
  }
  plat::console::writeUtf8(std::string("display: ") + screen +
                           " without sway's IPC ($SWAYSOCK): other programs' windows are not seen\n");
}

void wakeEventFd(int fd) {
  if (fd < 0) return;
  uint64_t one = 1;
  ssize_t n = ::write(fd, &one, sizeof one);
  (void)n;  // a full counter already wakes the thread
}

}  // namespace plat::display
