// A headless sway for the tests: run as an unprivileged user (sway refuses root) in a folder of
// the test's with a runtime folder inside, so its socket names are its own and tests run side by
// side; and a reader of its window tree through swaymsg.
#pragma once

#include <json-c/json.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "file_text.h"
#include "program_name.h"
#include "servers.h"

namespace hu::test {

// The user a test's compositor runs as: nobody when we are root, else ourselves.
inline bool asNobody() { return geteuid() == 0; }

// One window of sway's tree.
struct SwayView {
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

  // Runs `argv` as the compositor's user, to whom `dir` is given, in the environment of a headless
  // session whose runtime folder is `dir`/runtime; `extra` adds NAME=VALUE pairs. True once the
  // session's sway has made its IPC socket.
  bool start(const std::string& dir, std::vector<std::string> argv, std::vector<std::string> env,
             const std::string& log) {
    dir_ = dir, runtime = dir + "/runtime";
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(dir, std::filesystem::perms::all);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    if (asNobody() && std::system(("chown -R nobody:nogroup '" + dir + "'").c_str()) != 0) return false;
    env.insert(env.end(), {"PATH=/usr/bin:/bin", "XDG_RUNTIME_DIR=" + runtime, "WLR_BACKENDS=headless",
                           "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1", "HOME=" + runtime});
    if (const char* asan = getenv("ASAN_OPTIONS")) env.push_back(std::string("ASAN_OPTIONS=") + asan);
    if (asNobody()) argv.insert(argv.begin(), {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
    process.emplace(argv, log, env);
    return waitUntil([&] { return !(socket = entry("sway-ipc.", true)).empty(); }, 20000);
  }
  // Ends the session and whatever the compositor's user left running from `dir`; so does the end
  // of the object.
  void stop() {
    process.reset();
    if (!dir_.empty() && std::system(("pkill -KILL -f '" + dir_ + "/' 2>/dev/null").c_str()) < 0) perror("pkill");
    dir_.clear();
  }
  ~Sway() { stop(); }

  // The name of the session's Wayland socket.
  std::string waylandName() const { return entry("wayland-", false); }

  // The windows of the tree, in tree order.
  std::vector<SwayView> views() const {
    std::vector<SwayView> out;
    FILE* p = popen(("swaymsg -s '" + socket + "' -t get_tree -r 2>/dev/null").c_str(), "r");
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
  long focusedPid() const {
    for (const SwayView& v : views())
      if (v.focused) return v.pid;
    return 0;
  }

  std::string runtime, socket;
  std::optional<ChildProcess> process;

 private:
  std::string entry(const std::string& prefix, bool wholePath) const {
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
      if (json_object_object_get_ex(node, "focused", &v)) view.focused = json_object_get_boolean(v);
      if (json_object_object_get_ex(node, "shell", &v)) view.shell = json_object_get_string(v);
      out.push_back(view);
    }
    for (const char* list : {"nodes", "floating_nodes"})
      if (json_object_object_get_ex(node, list, &v))
        for (size_t i = 0; i < json_object_array_length(v); ++i) collect(json_object_array_get_idx(v, i), out);
  }

  std::string dir_;
};

}  // namespace hu::test
