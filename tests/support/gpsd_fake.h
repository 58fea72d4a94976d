// Debian's gpsd for the tests: gpsfake starts a gpsd of its own on a free port and replays a
// receiver log into it, over and over. Tests skip with one line where gpsd is not installed.
#pragma once

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace test_support {

// Empty when gpsd and gpsfake are installed; else what is missing, for GTEST_SKIP.
inline std::string gpsdMissing() {
  if (access("/usr/sbin/gpsd", X_OK) != 0) return "gpsd is not installed (apt-get install gpsd gpsd-clients)";
  if (access("/usr/bin/gpsfake", X_OK) != 0) return "gpsfake is not installed (apt-get install gpsd-clients)";
  return "";
}

// A local TCP port nothing listens on (the system's pick).
inline int freeTcpPort() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof a;
  bind(fd, reinterpret_cast<sockaddr*>(&a), size);
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
  close(fd);
  return ntohs(a.sin_port);
}

// gpsfake with its gpsd on `port`, a sentence every `delay` seconds; both end with the object.
class GpsFake {
 public:
  GpsFake(int port, const std::string& log, const std::string& output, const char* delay = "0.02") {
    pid_ = fork();
    if (pid_ == 0) {
      setpgid(0, 0);
      if (FILE* out = std::fopen(output.c_str(), "w")) {
        dup2(fileno(out), 1);
        dup2(fileno(out), 2);
      }
      const std::string p = std::to_string(port);
      execl("/usr/bin/gpsfake", "gpsfake", "-q", "-P", p.c_str(), "-c", delay, log.c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~GpsFake() {
    if (pid_ <= 0) return;
    kill(-pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  GpsFake(const GpsFake&) = delete;
  GpsFake& operator=(const GpsFake&) = delete;

 private:
  pid_t pid_ = -1;
};

}  // namespace test_support
