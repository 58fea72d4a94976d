// CPU per GPS sentence through gpsd against the serial path, on the same log (the drive log of
// the gpsd tests, played epoch by epoch as a receiver sends it: one burst a second, each once the
// one before has reached the parser).
//
//   BM_SerialPath     a pseudo-terminal as COM9, CSerialCom's reader, the parser (the reference)
//   BM_GpsdPath       the pseudo-terminal given to Debian's gpsd, CGpsdCom (libgps), the parser
//   BM_GpsdOwnClient  the same gpsd read by a plain socket client of a few lines, with the same
//                     100 ms pause between blocks: what libgps costs over the least a client does
//   BM_GpsdAway       CGpsdCom with no gpsd on its port: the CPU it takes while it tries again
//
// Counters: shell_us (the shell's threads: reader and parser; the thread that plays the receiver
// is not counted), gpsd_us (the daemon), both per sentence. Times are CPU time on the threads'
// and processes' own clocks (/proc .../schedstat), so other work on the machine does not count.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "links/gpsd_com.h"
#include "links/nmea_parser.h"
#include "links/serial_com.h"

namespace {

namespace fs = std::filesystem;

// The log's epochs, each from one RMC to the next.
const std::vector<std::string>& epochs() {
  static const std::vector<std::string> all = [] {
    std::ifstream in(std::string(HU_SOURCE_DIR) + "/tests/e2e/gpsd_drive.nmea", std::ios::binary);
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);) {
      if (line.empty() || line[0] != '$') continue;
      if (line.find("RMC,") == 3 || out.empty()) out.emplace_back();
      out.back() += line + "\n";
    }
    return out;
  }();
  return all;
}

DWORD sentencesIn(const std::string& text) { return static_cast<DWORD>(std::count(text.begin(), text.end(), '$')); }

uint64_t schedNs(const fs::path& task) {
  std::ifstream in(task / "schedstat");
  uint64_t ns = 0;
  in >> ns;
  return ns;
}

// CPU of every thread of a process (ns); of this one, all but the calling thread.
uint64_t cpuNs(pid_t pid) {
  const bool self = pid == getpid();
  const std::string me = std::to_string(syscall(SYS_gettid));
  uint64_t total = 0;
  std::error_code error;
  for (auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error))
    if (!self || task.path().filename() != me) total += schedNs(task.path());
  return total;
}

// The parser the channel feeds, and an event once it has counted the sentences asked for.
struct Sink {
  CNmeaParser parser;
  std::atomic<DWORD> target{~0u};
  HANDLE reached = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ~Sink() { CloseHandle(reached); }
  static int onData(void* owner, BYTE* bytes, int count) {
    auto* self = static_cast<Sink*>(owner);
    self->parser.Feed(bytes, count);
    if (self->parser.SentenceCount() >= self->target) SetEvent(self->reached);
    return count;
  }
  // Waits (bounded) until `more` sentences after those counted so far arrived, once `write` ran.
  template <class Write>
  bool expect(DWORD more, Write write) {
    target = parser.SentenceCount() + more;
    write();
    return WaitForSingleObject(reached, 5000) == WAIT_OBJECT_0;
  }
};

// A pseudo-terminal: the benchmark writes the receiver's side, the reader opens `name`.
struct Pty {
  int master = -1, keeper = -1;
  std::string name;
  Pty() {
    char path[256];
    if (openpty(&master, &keeper, path, nullptr, nullptr) != 0) return;
    termios tio{};
    tcgetattr(keeper, &tio);
    cfmakeraw(&tio);
    tcsetattr(keeper, TCSANOW, &tio);
    name = path;
  }
  ~Pty() {
    if (master >= 0) close(master);
    if (keeper >= 0) close(keeper);
  }
  void write(const std::string& text) const {
    for (size_t at = 0; at < text.size();) {
      const ssize_t n = ::write(master, text.data() + at, text.size() - at);
      if (n <= 0) return;
      at += static_cast<size_t>(n);
    }
  }
};

int freePort() {
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

int connectTo(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
  close(fd);
  return -1;
}

// Debian's gpsd reading the pseudo-terminal (read-only: it sends the receiver nothing).
class Gpsd {
 public:
  explicit Gpsd(const std::string& device) : port_(freePort()) {
    if (access("/usr/sbin/gpsd", X_OK) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      const std::string port = std::to_string(port_);
      execl("/usr/sbin/gpsd", "gpsd", "-N", "-n", "-b", "-S", port.c_str(), device.c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 200 && !ready_; ++i) {
      const int fd = connectTo(port_);
      ready_ = fd >= 0;
      if (fd >= 0)
        close(fd);
      else
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  ~Gpsd() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  bool ready() const { return ready_; }
  int port() const { return port_; }
  pid_t pid() const { return pid_; }

 private:
  int port_;
  pid_t pid_ = -1;
  bool ready_ = false;
};

// Plays the log through `device` into the sink; the CPU per sentence as counters.
void play(benchmark::State& state, const Pty& device, Sink& sink, pid_t daemon) {
  // gpsd takes a few sentences to recognise the receiver's protocol.
  for (int i = 0; i < 20 && !sink.expect(1, [&] { device.write(epochs()[0]); }); ++i) {
  }
  uint64_t sentences = 0;
  const uint64_t shellStart = cpuNs(getpid()), daemonStart = daemon > 0 ? cpuNs(daemon) : 0;
  for (auto _ : state) {
    for (const std::string& epoch : epochs()) {
      const DWORD before = sink.parser.SentenceCount();
      if (!sink.expect(sentencesIn(epoch), [&] { device.write(epoch); }))
        return state.SkipWithError("sentences did not reach the parser within 5 s");
      sentences += sink.parser.SentenceCount() - before;
    }
  }
  const double n = static_cast<double>(sentences);
  state.counters["shell_us"] = static_cast<double>(cpuNs(getpid()) - shellStart) / 1e3 / n;
  if (daemon > 0) state.counters["gpsd_us"] = static_cast<double>(cpuNs(daemon) - daemonStart) / 1e3 / n;
  state.counters["sentences"] = n;
}

void BM_SerialPath(benchmark::State& state) {
  plat::console::setEcho(false);
  const fs::path unit = fs::temp_directory_path() / ("bench-gps-" + std::to_string(getpid()));
  fs::create_directories(unit / "dev");
  plat::setUnitRoot(unit.string());
  {
    Pty device;
    fs::create_symlink(device.name, unit / "dev" / "COM9");
    Sink sink;
    CSerialCom com;
    com.m_pOwner = &sink;
    if (!com.Start(9, 9600, Sink::onData, nullptr))
      state.SkipWithError("COM9 did not open");
    else
      play(state, device, sink, 0);
  }
  plat::setUnitRoot("");
  fs::remove_all(unit);
  plat::console::setEcho(true);
}
BENCHMARK(BM_SerialPath)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GpsdPath(benchmark::State& state) {
  plat::console::setEcho(false);
  Pty device;
  Gpsd gpsd(device.name);
  if (!gpsd.ready()) return state.SkipWithError("gpsd is not installed or did not start (apt-get install gpsd)");
  Sink sink;
  CGpsdCom com;
  com.m_pOwner = &sink;
  com.Start("127.0.0.1", gpsd.port(), Sink::onData);
  play(state, device, sink, gpsd.pid());
  plat::console::setEcho(true);
}
BENCHMARK(BM_GpsdPath)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The least a gpsd client does: one socket, the watch request, lines split at their line feed,
// the sentences among them fed as one block, the same pause between blocks as CGpsdCom's.
class PlainClient {
 public:
  PlainClient(int port, Sink& sink) : sink_(sink), wake_(eventfd(0, EFD_CLOEXEC)) {
    fd_ = connectTo(port);
    const char watch[] = "?WATCH={\"enable\":true,\"nmea\":true}\n";
    if (fd_ >= 0) (void)!::write(fd_, watch, sizeof watch - 1);
    thread_ = std::thread([this] { run(); });
  }
  ~PlainClient() {
    const uint64_t one = 1;
    (void)!::write(wake_, &one, sizeof one);
    thread_.join();
    if (fd_ >= 0) close(fd_);
    close(wake_);
  }

 private:
  void run() {
    std::string pending;
    char buffer[8192];
    for (;;) {
      pollfd p[2] = {{fd_, POLLIN, 0}, {wake_, POLLIN, 0}};
      poll(p, 2, -1);
      if (p[1].revents) return;
      const ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
      if (got <= 0) return;
      pending.append(buffer, static_cast<size_t>(got));
      std::string block;
      size_t start = 0;
      for (size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1)
        if (pending[start] == '$') block.append(pending, start, end + 1 - start);
      pending.erase(0, start);
      if (!block.empty()) Sink::onData(&sink_, reinterpret_cast<BYTE*>(block.data()), static_cast<int>(block.size()));
      if (poll(&p[1], 1, 100) > 0) return;
    }
  }
  Sink& sink_;
  int fd_ = -1, wake_;
  std::thread thread_;
};

void BM_GpsdOwnClient(benchmark::State& state) {
  Pty device;
  Gpsd gpsd(device.name);
  if (!gpsd.ready()) return state.SkipWithError("gpsd is not installed or did not start (apt-get install gpsd)");
  Sink sink;
  PlainClient client(gpsd.port(), sink);
  play(state, device, sink, gpsd.pid());
}
BENCHMARK(BM_GpsdOwnClient)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GpsdAway(benchmark::State& state) {
  plat::console::setEcho(false);
  Sink sink;
  CGpsdCom com;
  com.m_pOwner = &sink;
  const uint64_t start = cpuNs(getpid());
  const auto began = std::chrono::steady_clock::now();
  com.Start("127.0.0.1", freePort(), Sink::onData);
  for (auto _ : state) std::this_thread::sleep_for(std::chrono::seconds(8));  // tries at 0, 0.5, 1.5, 3.5, 7.5 s
  // Measured while the reader runs: a thread that ended is no longer listed.
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  state.counters["shell_us_per_s"] = static_cast<double>(cpuNs(getpid()) - start) / 1e3 / seconds;
  com.Stop();
  plat::console::setEcho(true);
}
BENCHMARK(BM_GpsdAway)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
