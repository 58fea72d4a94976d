// Servers and other programs the tests run: bounded waits, free local ports, child processes
// (each in a process group of its own, its output in a file, the group ended with the object),
// and Debian's gpsfake, which starts a gpsd of its own on a port and replays a receiver log.
#pragma once

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "watchdog.h"

namespace hu::test {

// Waits (real time, as a watchdog) until `pred` holds; polls every 20 ms.
inline bool waitUntil(const std::function<bool()>& pred, int ms = 5000) {
  for (auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms * watchdogScale()); !pred();) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// A socket bound to a local port of the system's choice, listening or (a port nobody answers on
// while it is held) not.
inline int bindLocalPort(int* port, bool listening = true) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
  socklen_t size = sizeof a;
  bind(fd, reinterpret_cast<sockaddr*>(&a), size);
  if (listening) listen(fd, 4);
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
  *port = ntohs(a.sin_port);
  return fd;
}
inline int freeTcpPort() {
  int port = 0;
  close(bindLocalPort(&port));
  return port;
}

class ChildProcess {
 public:
  // `env` empty: this process's environment. `withStdin`: its standard input is a pipe that
  // write() feeds.
  ChildProcess(std::vector<std::string> argv, const std::string& output, std::vector<std::string> env = {},
               bool withStdin = false) {
    int in[2] = {-1, -1};
    if (withStdin && pipe2(in, O_CLOEXEC) != 0) return;
    pid_ = fork();
    if (pid_ > 0) setpgid(pid_, pid_);  // before the object can end it
    if (pid_ != 0) {
      if (in[0] >= 0) close(in[0]);
      stdin_ = in[1];
      return;
    }
    setpgid(0, 0);
    const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    dup2(out, 1), dup2(out, 2);
    if (withStdin) dup2(in[0], 0);
    std::vector<char*> a, e;
    for (std::string& s : argv) a.push_back(s.data());
    for (std::string& s : env) e.push_back(s.data());
    a.push_back(nullptr), e.push_back(nullptr);
    env.empty() ? execv(a[0], a.data()) : execve(a[0], a.data(), e.data());
    _exit(127);
  }
  ~ChildProcess() { stop(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  void stop() {
    if (stdin_ >= 0) close(stdin_);
    stdin_ = -1;
    if (pid_ > 0) kill(-pid_, SIGKILL), waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  pid_t pid() const { return pid_; }
  void write(const std::string& text) {
    if (stdin_ >= 0) (void)!::write(stdin_, text.data(), text.size());
  }
  void interrupt() {
    if (pid_ > 0) kill(pid_, SIGINT);
  }
  // Its exit status (128 + the signal) once it ends by itself within `ms`, else -1.
  int wait(int ms) {
    int status = 0;
    if (pid_ <= 0 || !waitUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, ms)) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  pid_t pid_ = -1;
  int stdin_ = -1;
};

inline std::string gpsdMissing() {
  const bool there = access("/usr/sbin/gpsd", X_OK) == 0 && access("/usr/bin/gpsfake", X_OK) == 0;
  return there ? "" : "gpsd or gpsfake is not installed (apt-get install gpsd gpsd-clients)";
}

// gpsfake and its gpsd on `port` replaying our drive log, a sentence every 20 ms.
// Ended by SIGKILL, gpsfake cannot remove its control socket (in TMPDIR, named after its
// process): the object removes it.
struct GpsFake : ChildProcess {
  GpsFake(int port, const std::string& output)
      : ChildProcess({"/usr/bin/gpsfake", "-q", "-c", "0.02", "-P", std::to_string(port), kLog}, output) {}
  ~GpsFake() {
    const pid_t gpsfake = pid();
    stop();
    const char* tmp = getenv("TMPDIR");
    unlink(((tmp && *tmp ? tmp : "/tmp") + std::string("/gpsfake-") + std::to_string(gpsfake) + ".sock").c_str());
  }
  static constexpr const char* kLog = HU_SOURCE_DIR "/tests/e2e/gpsd_drive.nmea";
};

}  // namespace hu::test
