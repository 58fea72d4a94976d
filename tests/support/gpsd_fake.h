// gpsd for the tests: free local ports, and Debian's gpsfake, which starts a gpsd of its own on a
// port and replays a receiver log into it over and over. Tests skip with one line without gpsd.
#pragma once

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace test_support {

inline std::string gpsdMissing() {
  const bool there = access("/usr/sbin/gpsd", X_OK) == 0 && access("/usr/bin/gpsfake", X_OK) == 0;
  return there ? "" : "gpsd or gpsfake is not installed (apt-get install gpsd gpsd-clients)";
}

// A socket listening on a local port of the system's choice.
inline int listenOnFreePort(int* port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
  socklen_t size = sizeof a;
  bind(fd, reinterpret_cast<sockaddr*>(&a), size);
  listen(fd, 4);
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
  *port = ntohs(a.sin_port);
  return fd;
}

inline int freeTcpPort() {
  int port = 0;
  close(listenOnFreePort(&port));
  return port;
}

// gpsfake and its gpsd on `port`, a sentence every 20 ms; both end with the object.
class GpsFake {
 public:
  GpsFake(int port, const std::string& log, const std::string& output) : pid_(fork()) {
    if (pid_ == 0) {
      setpgid(0, 0);
      const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      dup2(out, 1);
      dup2(out, 2);
      execl("/usr/bin/gpsfake", "gpsfake", "-q", "-c", "0.02", "-P", std::to_string(port).c_str(), log.c_str(),
            nullptr);
      _exit(127);
    }
    if (pid_ > 0) setpgid(pid_, pid_);
  }
  ~GpsFake() {
    if (pid_ <= 0) return;
    kill(-pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }

 private:
  pid_t pid_;
};

}  // namespace test_support
