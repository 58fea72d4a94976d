// gpsd's sentence stream through libgps. libgps connects without blocking and keeps the socket
// non-blocking, so every wait here is our own poll on the socket and a wake-up descriptor: a
// reader is never stuck in the library, and wake() ends its wait at once.
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "plat_gpsd.h"

#ifdef HU_HAVE_LIBGPS
#include <gps.h>
#endif

namespace plat::gpsd {

namespace {

// What gpsd says first to every client.
constexpr char kGreeting[] = "{\"class\":\"VERSION\"";
constexpr char kWatch[] = "?WATCH={\"enable\":true,\"nmea\":true}\n";

// The start of a line, printable, for a console line that says what answered.
std::string sample(const char* line) {
  std::string out;
  for (const char* p = line; *p && *p != '\r' && out.size() < 40; ++p) out += (*p >= 0x20 && *p < 0x7F) ? *p : '?';
  return out;
}

}  // namespace

struct Stream::Impl {
  int wakeFd = -1;
  unsigned long dropped = 0;
#ifdef HU_HAVE_LIBGPS
  gps_data_t data{};
  bool connected = false;
  // One line as libgps hands it out; a longer one is cut there, which tells it apart.
  char line[kMaxLine + 2];

  // Waits for the socket or the wake-up; Sentences when the socket has something.
  Status wait(DWORD timeoutMs) {
    pollfd fds[2] = {{data.gps_fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    const int timeout = timeoutMs == INFINITE ? -1 : static_cast<int>(timeoutMs);
    int n;
    do {
      n = poll(fds, 2, timeout);
    } while (n < 0 && errno == EINTR);
    if (fds[1].revents) return Status::Woken;
    return n > 0 ? Status::Sentences : Status::Idle;
  }

  // Why libgps gave up on the connection: the socket's error, gpsd's end of it, or a line that
  // overran the library's buffer.
  Status ended(int readErrno, std::string& why) {
    int error = readErrno;
    socklen_t size = sizeof error;
    if (!error) getsockopt(data.gps_fd, SOL_SOCKET, SO_ERROR, &error, &size);
    if (error) {
      why = std::strerror(error);
      return Status::Ended;
    }
    char peek;
    if (recv(data.gps_fd, &peek, 1, MSG_PEEK | MSG_DONTWAIT) == 0) {
      why = "gpsd closed the connection";
      return Status::Ended;
    }
    why = "a line longer than gpsd ever sends";
    return Status::Garbage;
  }

  // Takes the lines libgps has whole; Idle when none was a sentence.
  Status drain(char* block, size_t size, size_t* used, std::string& why) {
    bool any = false;
    while (*used + kMaxLine + 2 <= size) {
      errno = 0;
      const int got = gps_read(&data, line, sizeof line);
      if (got == 0) break;
      if (got < 0) return ended(errno, why);
      size_t length = static_cast<size_t>(got) - 1;  // without its line feed
      if (length >= sizeof line) {
        ++dropped;
        continue;
      }
      length = std::strlen(line);
      if (length > 0 && line[length - 1] == '\r') --length;
      if (line[0] == '{') continue;  // gpsd's own reports
      if ((line[0] != '$' && line[0] != '!') || length > kMaxLine) {
        ++dropped;
        continue;
      }
      std::memcpy(block + *used, line, length);
      std::memcpy(block + *used + length, "\r\n", 2);
      *used += length + 2;
      any = true;
    }
    return any ? Status::Sentences : Status::Idle;
  }
#endif
};

Stream::Stream() : impl_(new Impl) { impl_->wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK); }

Stream::~Stream() {
  close();
  if (impl_->wakeFd >= 0) ::close(impl_->wakeFd);
  delete impl_;
}

void Stream::wake() {
  const uint64_t one = 1;
  if (impl_->wakeFd >= 0) (void)!::write(impl_->wakeFd, &one, sizeof one);
}

unsigned long Stream::droppedLines() const { return impl_->dropped; }

#ifdef HU_HAVE_LIBGPS

Status Stream::open(const std::string& host, int port, DWORD timeoutMs, std::string& why) {
  close();
  const std::string service = std::to_string(port);
  errno = 0;
  if (gps_open(host.c_str(), service.c_str(), &impl_->data) != 0) {
    why = gps_errstr(errno);
    return Status::Ended;
  }
  impl_->connected = true;
  // The connection may still be on its way: gpsd's greeting says it is there, and that it is gpsd.
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      why = "no greeting within " + std::to_string(timeoutMs) + " ms";
      return Status::Garbage;
    }
    const Status waited = impl_->wait(static_cast<DWORD>(left.count()));
    if (waited == Status::Woken) return waited;
    if (waited == Status::Idle) continue;
    errno = 0;
    const int got = gps_read(&impl_->data, impl_->line, sizeof impl_->line);
    if (got < 0) return impl_->ended(errno, why);
    if (got == 0) continue;
    if (std::strncmp(impl_->line, kGreeting, sizeof kGreeting - 1) != 0) {
      why = "it said \"" + sample(impl_->line) + "\"";
      return Status::Garbage;
    }
    break;
  }
  if (gps_send(&impl_->data, kWatch) != 0) return impl_->ended(errno, why);
  return Status::Sentences;
}

Status Stream::read(char* block, size_t size, size_t* used, DWORD timeoutMs, std::string& why) {
  if (!impl_->connected) {
    why = "not connected";
    return Status::Ended;
  }
  // What libgps holds already comes first: the socket may have nothing more to say about it.
  Status status = impl_->drain(block, size, used, why);
  if (status != Status::Idle) return status;
  status = impl_->wait(timeoutMs);
  if (status != Status::Sentences) return status;
  return impl_->drain(block, size, used, why);
}

void Stream::close() {
  if (!impl_->connected) return;
  gps_close(&impl_->data);
  impl_->connected = false;
}

#else

Status Stream::open(const std::string&, int, DWORD, std::string& why) {
  why = "this build has no gpsd client library (apt-get install libgps-dev, then build again)";
  return Status::Ended;
}

Status Stream::read(char*, size_t, size_t*, DWORD, std::string& why) {
  why = "not connected";
  return Status::Ended;
}

void Stream::close() {}

#endif

}  // namespace plat::gpsd
