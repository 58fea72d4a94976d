// nmea-replay: plays an NMEA log into a pseudo-terminal linked as <unit root>/dev/COM9 (or a
// given path), paced as a receiver at 9600 baud would send it, or faster; once or looping. The
// launcher then reads it as its GPS port. This is a host tool: it uses the host's terminals
// directly.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

volatile sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }

void usage() {
  std::printf(
      "usage: nmea-replay [--unit DIR] [--port N | --link PATH] [--baud B] [--speed X | --fast]\n"
      "                   [--loop] [--keep-comments] [--quiet] FILE\n"
      "Plays FILE into a pseudo-terminal linked as DIR/dev/COM<N> (default: $HU_UNIT_ROOT or the\n"
      "current folder, port 9) at B baud (default 9600), X times as fast, or as fast as read.\n");
}

// Lines of the log; '#' comment lines (log headers) are left out unless asked for.
std::vector<std::string> readLines(const std::string& path, bool keepComments) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  if (!in) return lines;
  std::stringstream s;
  s << in.rdbuf();
  std::string data = s.str();
  size_t start = 0;
  while (start < data.size()) {
    size_t end = data.find('\n', start);
    if (end == std::string::npos) end = data.size() - 1;
    std::string line = data.substr(start, end - start + 1);
    start = end + 1;
    if (!keepComments && !line.empty() && line[0] == '#') continue;
    lines.push_back(line);
  }
  return lines;
}

}  // namespace

int main(int argc, char** argv) {
  std::string unit = std::getenv("HU_UNIT_ROOT") ? std::getenv("HU_UNIT_ROOT") : ".";
  std::string link, file;
  int port = 9;
  long baud = 9600;
  double speed = 1.0;
  bool fast = false, loop = false, keepComments = false, quiet = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : ""; };
    if (a == "--unit") unit = next();
    else if (a == "--port") port = std::atoi(next());
    else if (a == "--link") link = next();
    else if (a == "--baud") baud = std::atol(next());
    else if (a == "--speed") speed = std::atof(next());
    else if (a == "--fast") fast = true;
    else if (a == "--loop") loop = true;
    else if (a == "--keep-comments") keepComments = true;
    else if (a == "--quiet") quiet = true;
    else if (a == "--help" || a == "-h") {
      usage();
      return 0;
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "nmea-replay: unknown option %s\n", a.c_str());
      usage();
      return 2;
    } else {
      file = a;
    }
  }
  if (file.empty() || baud <= 0 || speed <= 0 || port < 0 || port > 255) {
    usage();
    return 2;
  }
  std::vector<std::string> lines = readLines(file, keepComments);
  if (lines.empty()) {
    std::fprintf(stderr, "nmea-replay: %s cannot be read or holds no sentences\n", file.c_str());
    return 1;
  }
  if (link.empty()) link = unit + "/dev/COM" + std::to_string(port);

  int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    std::fprintf(stderr, "nmea-replay: no pseudo-terminal: %s\n", std::strerror(errno));
    return 1;
  }
  std::string slave = ptsname(master);
  // Holding the device side open keeps the terminal alive while the launcher is not reading.
  int keeper = open(slave.c_str(), O_RDWR | O_NOCTTY);
  termios tio{};
  tcgetattr(keeper, &tio);
  cfmakeraw(&tio);
  speed_t code = baud == 4800 ? B4800 : baud == 19200 ? B19200 : baud == 38400 ? B38400 : baud == 115200 ? B115200 : B9600;
  cfsetspeed(&tio, code);
  tcsetattr(keeper, TCSANOW, &tio);
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

  struct stat st{};
  if (lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
    std::fprintf(stderr, "nmea-replay: %s exists and is not a link; not replacing it\n", link.c_str());
    return 1;
  }
  unlink(link.c_str());
  if (symlink(slave.c_str(), link.c_str()) != 0) {
    std::fprintf(stderr, "nmea-replay: cannot link %s: %s (does its folder exist?)\n", link.c_str(),
                 std::strerror(errno));
    return 1;
  }
  signal(SIGINT, onSignal);
  signal(SIGTERM, onSignal);
  signal(SIGPIPE, SIG_IGN);
  std::printf("nmea-replay: %s on %s linked as %s, %s%s\n", file.c_str(), slave.c_str(), link.c_str(),
              fast ? "as fast as read" : (std::to_string(baud) + " baud x" + std::to_string(speed)).c_str(),
              loop ? ", looping" : "");
  std::fflush(stdout);

  // 10 bits a byte on the line (start, 8 data, stop).
  const double bytesPerSecond = fast ? 0 : baud / 10.0 * speed;
  auto clock = std::chrono::steady_clock::now();
  double due = 0;  // seconds since start at which the next byte may leave
  unsigned long long sent = 0, dropped = 0;
  int passes = 0;
  do {
    for (const std::string& line : lines) {
      if (g_stop) break;
      if (!fast) {
        auto when = clock + std::chrono::duration<double>(due);
        std::this_thread::sleep_until(when);
        due += line.size() / bytesPerSecond;
        // A receiver does not wait for its reader: what the terminal cannot take is lost.
        ssize_t n = write(master, line.data(), line.size());
        if (n < 0) n = 0;
        sent += static_cast<unsigned long long>(n);
        dropped += line.size() - static_cast<size_t>(n);
      } else {
        size_t at = 0;
        while (at < line.size() && !g_stop) {
          ssize_t n = write(master, line.data() + at, line.size() - at);
          if (n > 0) {
            at += static_cast<size_t>(n);
            continue;
          }
          pollfd p{master, POLLOUT, 0};
          poll(&p, 1, 200);
        }
        sent += at;
      }
    }
    ++passes;
  } while (loop && !g_stop);
  // Let the reader take what is still in the terminal before it goes away.
  if (!g_stop) std::this_thread::sleep_for(std::chrono::milliseconds(500));
  if (!quiet)
    std::printf("nmea-replay: %d pass(es), %llu bytes sent, %llu dropped while nobody read\n", passes, sent, dropped);
  unlink(link.c_str());
  close(keeper);
  close(master);
  return 0;
}
