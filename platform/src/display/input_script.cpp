// Input scripts: a text of steps (taps, drags, keys, waits, snapshots, quit) that drive the
// program without a person, played on a thread of its own.
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <thread>

#include "display/backend.h"
#include "plat_core.h"
#include "plat_display.h"
#include "plat_file.h"
#include "plat_thread.h"
#include "plat_time.h"
#include "plat_window.h"

namespace plat::display {

namespace {

// How long a script waits for the program's start-up before it plays anyway.
constexpr uint32_t kStartWaitMs = 60000;

struct KeyName {
  const char* name;
  int code;
};
const KeyName kKeyNames[] = {{"LEFT", 37},  {"UP", 38},     {"RIGHT", 39}, {"DOWN", 40}, {"ENTER", 13},
                             {"RETURN", 13}, {"ESC", 27},   {"ESCAPE", 27}, {"BACK", 8}, {"TAB", 9},
                             {"SPACE", 32},  {"MENU", 18}};

bool parseInt(const std::string& t, long lo, long hi, int& out) {
  if (t.empty() || t.size() > 11) return false;
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(t.c_str(), &end, 10);
  if (errno || *end || v < lo || v > hi) return false;
  out = static_cast<int>(v);
  return true;
}

bool parseKey(const std::string& t, int& out) {
  std::string u;
  for (char c : t) u.push_back(static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c));
  for (const KeyName& k : kKeyNames)
    if (u == k.name) {
      out = k.code;
      return true;
    }
  if (u.size() == 1 && ((u[0] >= 'A' && u[0] <= 'Z'))) {
    out = u[0];
    return true;
  }
  if (u.size() > 2 && u[0] == '0' && u[1] == 'X') {
    char* end = nullptr;
    long v = std::strtol(u.c_str() + 2, &end, 16);
    if (*end || v < 1 || v > 255) return false;
    out = static_cast<int>(v);
    return true;
  }
  return parseInt(t, 1, 255, out);
}

struct Player {
  std::mutex lock;
  std::condition_variable cv;
  std::thread thread;
  bool stop = false;
  bool running = false;
};

Player& player() {
  static Player* p = new Player;
  return *p;
}

// Waits on the platform clock; false when the player is asked to stop.
bool sleepMs(uint32_t ms) {
  Player& p = player();
  std::unique_lock<std::mutex> l(p.lock);
  uint64_t deadline = plat::clock::nowMs() + ms;
  plat::clock::waitUntil(l, p.cv, deadline, [&] { return p.stop; });
  return !p.stop;
}

bool stopping() {
  Player& p = player();
  std::lock_guard<std::mutex> g(p.lock);
  return p.stop;
}

void play(std::vector<ScriptStep> steps, DWORD quitThread) {
  using plat::window::injectKey;
  using plat::window::injectTouch;
  // The script begins where the program's start-up ends, when its main thread first waits for
  // messages: a slow start (a loaded machine, a sanitizer build) must not eat its first wait.
  plat::window::waitThreadIdle(quitThread, kStartWaitMs);
  for (const ScriptStep& s : steps) {
    if (stopping()) break;
    if (s.kind != ScriptStep::Wait) plat::window::waitIdle(5000);
    const int* a = s.args;
    switch (s.kind) {
      case ScriptStep::Tap:
        injectTouch(WM_LBUTTONDOWN, a[0], a[1]);
        injectTouch(WM_LBUTTONUP, a[0], a[1]);
        break;
      case ScriptStep::Press: injectTouch(WM_LBUTTONDOWN, a[0], a[1]); break;
      case ScriptStep::Move: injectTouch(WM_MOUSEMOVE, a[0], a[1]); break;
      case ScriptStep::Release: injectTouch(WM_LBUTTONUP, a[0], a[1]); break;
      case ScriptStep::Drag: {
        injectTouch(WM_LBUTTONDOWN, a[0], a[1]);
        int n = std::max(1, a[4] / 20);
        bool ok = true;
        for (int i = 1; i <= n && ok; ++i) {
          ok = sleepMs(static_cast<uint32_t>(a[4] / n));
          injectTouch(WM_MOUSEMOVE, a[0] + (a[2] - a[0]) * i / n, a[1] + (a[3] - a[1]) * i / n);
        }
        injectTouch(WM_LBUTTONUP, a[2], a[3]);
        break;
      }
      case ScriptStep::Key:
        injectKey(static_cast<UINT>(a[0]), true);
        injectKey(static_cast<UINT>(a[0]), false);
        break;
      case ScriptStep::KeyDown: injectKey(static_cast<UINT>(a[0]), true); break;
      case ScriptStep::KeyUp: injectKey(static_cast<UINT>(a[0]), false); break;
      case ScriptStep::Wait: sleepMs(static_cast<uint32_t>(a[0])); break;
      case ScriptStep::Snapshot:
        presentNow();
        snapshot(s.file);
        break;
      case ScriptStep::Quit: plat::window::postQuit(quitThread, 0); break;
    }
  }
  Player& p = player();
  std::lock_guard<std::mutex> g(p.lock);
  p.running = false;
  p.cv.notify_all();
}

std::string folderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

bool parseInputScript(const std::string& text, std::vector<ScriptStep>& steps, std::string& error) {
  steps.clear();
  std::istringstream in(text);
  std::string line;
  int number = 0;
  auto fail = [&](const std::string& why) {
    error = "input script line " + std::to_string(number) + ": " + why;
    steps.clear();
    return false;
  };
  while (std::getline(in, line)) {
    ++number;
    if (line.size() > 4096) return fail("line too long");
    size_t hash = line.find('#');
    if (hash != std::string::npos) line.resize(hash);
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string t; words >> t;) w.push_back(t);
    if (w.empty()) continue;
    std::string cmd;
    for (char c : w[0]) cmd.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
    ScriptStep s;
    s.line = number;
    auto coords = [&](size_t count) {
      if (w.size() != count + 1) return false;
      for (size_t i = 0; i < count; ++i)
        if (!parseInt(w[i + 1], -32768, 32767, s.args[i])) return false;
      return true;
    };
    if (cmd == "tap" || cmd == "press" || cmd == "move" || cmd == "release") {
      s.kind = cmd == "tap" ? ScriptStep::Tap
               : cmd == "press" ? ScriptStep::Press
               : cmd == "move"  ? ScriptStep::Move
                                : ScriptStep::Release;
      if (!coords(2)) return fail("expected " + cmd + " X Y");
    } else if (cmd == "drag") {
      s.kind = ScriptStep::Drag;
      if (w.size() != 6) return fail("expected drag X1 Y1 X2 Y2 MS");
      for (int i = 0; i < 4; ++i)
        if (!parseInt(w[static_cast<size_t>(i) + 1], -32768, 32767, s.args[i]))
          return fail("expected drag X1 Y1 X2 Y2 MS");
      if (!parseInt(w[5], 0, 600000, s.args[4])) return fail("drag time must be 0 to 600000 ms");
    } else if (cmd == "key" || cmd == "keydown" || cmd == "keyup") {
      s.kind = cmd == "key" ? ScriptStep::Key : cmd == "keydown" ? ScriptStep::KeyDown : ScriptStep::KeyUp;
      if (w.size() != 2 || !parseKey(w[1], s.args[0])) return fail("expected " + cmd + " CODE (1 to 255 or a key name)");
    } else if (cmd == "wait") {
      s.kind = ScriptStep::Wait;
      if (w.size() != 2 || !parseInt(w[1], 0, 3600000, s.args[0])) return fail("expected wait MS (0 to 3600000)");
    } else if (cmd == "snapshot") {
      s.kind = ScriptStep::Snapshot;
      if (w.size() != 2 || w[1].size() > 4000) return fail("expected snapshot FILE.png");
      s.file = w[1];
    } else if (cmd == "quit") {
      s.kind = ScriptStep::Quit;
      if (w.size() != 1) return fail("quit takes no arguments");
    } else {
      return fail("unknown step '" + w[0].substr(0, 40) + "'");
    }
    steps.push_back(s);
  }
  return true;
}

bool runInputScript(const std::string& hostPath) {
  // Read as every outside file is: a named pipe or a device in its place is refused, not waited on.
  std::string text;
  if (!plat::readHostFile(hostPath, text)) {
    plat::console::writeUtf8("display: cannot read input script " + hostPath + ": " + plat::lastFileFailure() + "\n");
    return false;
  }
  if (text.size() > (1u << 20)) {
    plat::console::writeUtf8("display: input script too large: " + hostPath + "\n");
    return false;
  }
  std::vector<ScriptStep> steps;
  std::string error;
  if (!parseInputScript(text, steps, error)) {
    plat::console::writeUtf8("display: " + error + "\n");
    return false;
  }
  std::string base = folderOf(hostPath);
  for (ScriptStep& s : steps)
    if (s.kind == ScriptStep::Snapshot && !s.file.empty() && s.file[0] != '/') s.file = base + s.file;
  stopScriptPlayer();
  Player& p = player();
  std::lock_guard<std::mutex> g(p.lock);
  p.stop = false;
  p.running = true;
  p.thread = std::thread(play, std::move(steps), GetCurrentThreadId());
  return true;
}

bool scriptRunning() {
  Player& p = player();
  std::lock_guard<std::mutex> g(p.lock);
  return p.running;
}

bool waitScript(uint32_t timeoutMs) {
  Player& p = player();
  std::unique_lock<std::mutex> l(p.lock);
  return p.cv.wait_for(l, std::chrono::milliseconds(timeoutMs), [&] { return !p.running; });
}

void stopScriptPlayer() {
  Player& p = player();
  std::thread t;
  {
    std::lock_guard<std::mutex> g(p.lock);
    p.stop = true;
    p.cv.notify_all();
    t = std::move(p.thread);
  }
  if (t.joinable()) t.join();
  std::lock_guard<std::mutex> g(p.lock);
  p.running = false;
}

}  // namespace plat::display
