// A headless sway for the tests: run as an unprivileged user (sway refuses root) with a runtime
// folder of its own, so its socket names are its own and tests run side by side; and a reader of
// its window tree through swaymsg.
#pragma once

#include <fcntl.h>
#include <json-c/json.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "program_name.h"
#include "watchdog.h"

namespace hu::test {

inline bool waitFor(const std::function<bool()>& pred, int ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms * watchdogScale());
  for (;;) {
    if (pred()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

inline std::string readText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The user a test's compositor runs as: nobody when we are root, else ourselves.
inline bool asNobody() { return geteuid() == 0; }
inline void giveToNobody(const std::string& path) {
  if (!asNobody()) return;
  std::string command = "chown -R nobody:nogroup '" + path + "'";
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "cannot give %s away\n", path.c_str());
}

// One window of sway's tree.
struct SwayView {
  long id = 0;
  long pid = 0;
  bool focused = false;
  std::string shell;  // "xdg_shell" or "xwayland"
};

class Sway {
 public:
  // Missing programs, as one line, or empty when sway can run here.
  static std::string missing() {
    if (access("/usr/bin/sway", X_OK) != 0) return "sway is not installed (apt-get install sway)";
    if (asNobody() && access("/usr/bin/setpriv", X_OK) != 0) return "setpriv is not installed";
    return "";
  }

  // Runs `argv` as the compositor's user, in the environment of a headless session whose runtime
  // folder is `runtime`. `extra` adds NAME=VALUE pairs.
  static pid_t spawn(const std::string& runtime, const std::vector<std::string>& argv,
                     const std::vector<std::string>& extra, const std::string& logFile) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    setpgid(0, 0);
    int out = open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (out >= 0) {
      dup2(out, 1);
      dup2(out, 2);
    }
    std::vector<std::string> env = {"PATH=/usr/bin:/bin", "XDG_RUNTIME_DIR=" + runtime, "WLR_BACKENDS=headless",
                                    "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1", "HOME=" + runtime};
    if (const char* asan = getenv("ASAN_OPTIONS")) env.push_back(std::string("ASAN_OPTIONS=") + asan);
    env.insert(env.end(), extra.begin(), extra.end());
    std::vector<std::string> args;
    if (asNobody()) args = {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
    args.insert(args.end(), argv.begin(), argv.end());
    std::vector<char*> a, e;
    for (auto& s : args) a.push_back(s.data());
    for (auto& s : env) e.push_back(s.data());
    a.push_back(nullptr);
    e.push_back(nullptr);
    execve(a[0], a.data(), e.data());
    _exit(127);
  }

  // The runtime folder's IPC socket once sway made it (empty until then), and the name of its
  // Wayland socket.
  static std::string ipcSocket(const std::string& runtime) { return entry(runtime, "sway-ipc.", true); }
  static std::string waylandName(const std::string& runtime) { return entry(runtime, "wayland-", false); }

  // The windows of the tree behind `socket`, in tree order.
  static std::vector<SwayView> views(const std::string& socket) {
    std::vector<SwayView> out;
    std::string command = "swaymsg -s '" + socket + "' -t get_tree -r 2>/dev/null";
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    std::string text;
    char buf[4096];
    while (size_t n = fread(buf, 1, sizeof buf, p)) text.append(buf, n);
    pclose(p);
    json_object* root = json_tokener_parse(text.c_str());
    if (root) collect(root, out);
    json_object_put(root);
    return out;
  }

  // The process whose window has the focus, 0 when none.
  static long focusedPid(const std::string& socket) {
    for (const SwayView& v : views(socket))
      if (v.focused) return v.pid;
    return 0;
  }

 private:
  static std::string entry(const std::string& runtime, const std::string& prefix, bool wholePath) {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(runtime, ec)) {
      std::string name = e.path().filename().string();
      if (name.rfind(prefix, 0) == 0 && name.find(".lock") == std::string::npos) return wholePath ? e.path().string() : name;
    }
    return "";
  }

  static void collect(json_object* node, std::vector<SwayView>& out) {
    json_object* v = nullptr;
    if (json_object_object_get_ex(node, "pid", &v)) {
      SwayView view;
      view.pid = json_object_get_int64(v);
      if (json_object_object_get_ex(node, "id", &v)) view.id = json_object_get_int64(v);
      if (json_object_object_get_ex(node, "focused", &v)) view.focused = json_object_get_boolean(v);
      if (json_object_object_get_ex(node, "shell", &v)) view.shell = json_object_get_string(v);
      out.push_back(view);
    }
    for (const char* list : {"nodes", "floating_nodes"})
      if (json_object_object_get_ex(node, list, &v))
        for (size_t i = 0; i < json_object_array_length(v); ++i) collect(json_object_array_get_idx(v, i), out);
  }
};

}  // namespace hu::test
