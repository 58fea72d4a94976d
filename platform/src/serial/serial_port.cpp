// Serial ports on termios. "COMn:" is <unit root>/dev/COMn: a device node, a link to a host
// serial device or to a pseudo-terminal. All I/O is synchronous; the CE read time-outs are
// applied here with poll(), and closing the last handle wakes a reader blocked in ReadFile or
// WaitCommEvent (threads are woken, never killed).
#include <fcntl.h>
#include <sys/stat.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <map>
#include <mutex>
#include <string>

#include "core/kernel_object.h"
#include "serial/serial_termios.h"
#include "plat_core.h"
#include "plat_file.h"
#include "plat_serial.h"
#include "plat_time.h"

namespace plat {

namespace {

class SerialPort : public KernelObject {
 public:
  SerialPort(int fd, int portNumber) : fd_(fd), number_(portNumber) {
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    maskFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    dcb_ = {};
    dcb_.DCBlength = sizeof(DCB);
    dcb_.fBinary = 1;
    dcb_.BaudRate = CBR_9600;
    dcb_.ByteSize = 8;
    dcb_.XonChar = 0x11;
    dcb_.XoffChar = 0x13;
    dcb_.fDtrControl = DTR_CONTROL_ENABLE;
    dcb_.fRtsControl = RTS_CONTROL_ENABLE;
    termios tio{};
    isTty_ = tcgetattr(fd_, &tio) == 0;
    if (isTty_) serial::termiosToDcb(tio, &dcb_);
  }

  ~SerialPort() override {
    if (fd_ >= 0) ::close(fd_);
    if (wakeFd_ >= 0) ::close(wakeFd_);
    if (maskFd_ >= 0) ::close(maskFd_);
  }

  const char* kind() const override { return "serial"; }
  int number() const { return number_; }
  bool closed() const { return closed_.load(); }

  void onClose() override;

  bool read(void* buffer, DWORD size, DWORD* done) override {
    if (done) *done = 0;
    if (closed_) {
      SetLastError(ERROR_INVALID_HANDLE);
      return false;
    }
    if (size == 0) return true;
    if (hungUp_) {
      SetLastError(ERROR_HANDLE_EOF);
      return false;
    }
    COMMTIMEOUTS t;
    {
      std::lock_guard<std::mutex> guard(lock_);
      t = timeouts_;
    }
    auto* out = static_cast<uint8_t*>(buffer);
    const bool immediate =
        t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0;
    // Interval MAXDWORD with multiplier MAXDWORD: return as soon as any byte is there, waiting
    // at most the constant for the first one.
    const bool firstByte = t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
                           t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != MAXDWORD;
    uint64_t start = clock::nowMs();
    uint64_t totalDeadline = UINT64_MAX;
    if (firstByte) {
      totalDeadline = start + t.ReadTotalTimeoutConstant;
    } else if (t.ReadTotalTimeoutMultiplier || t.ReadTotalTimeoutConstant) {
      totalDeadline = start + static_cast<uint64_t>(t.ReadTotalTimeoutMultiplier) * size + t.ReadTotalTimeoutConstant;
    }
    const bool useInterval = !immediate && !firstByte && t.ReadIntervalTimeout != 0 &&
                             t.ReadIntervalTimeout != MAXDWORD;
    DWORD got = 0;
    uint64_t lastByte = start;
    for (;;) {
      ssize_t n = ::read(fd_, out + got, size - got);
      if (n > 0) {
        got += static_cast<DWORD>(n);
        lastByte = clock::nowMs();
        if (got == size || firstByte) break;
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n == 0) {
        // A raw terminal reads 0 both when nothing is there yet and after a hang-up; only the
        // hang-up is reported by poll. Nothing more will come then, and waiting for it would
        // only spin, since the descriptor stays readable.
        pollfd now = {fd_, POLLIN, 0};
        if (::poll(&now, 1, 0) > 0 && (now.revents & (POLLHUP | POLLERR | POLLNVAL))) {
          hungUp_ = true;
          if (got > 0) break;
          SetLastError(ERROR_HANDLE_EOF);
          return false;
        }
      }
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        // The device went away (a pseudo-terminal whose other side closed reports EIO).
        hungUp_ = true;
        if (got > 0) break;
        SetLastError(ERROR_GEN_FAILURE);
        return false;
      }
      if (immediate) break;
      uint64_t deadline = totalDeadline;
      if (useInterval && got > 0) deadline = std::min<uint64_t>(deadline, lastByte + t.ReadIntervalTimeout);
      if (deadline != UINT64_MAX && clock::nowMs() >= deadline) break;
      pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
      int r = ::poll(fds, 2, clock::pollTimeoutMs(deadline));
      if (closed_) {
        if (got > 0) break;
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
      }
      if (r > 0 && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) && !(fds[0].revents & POLLIN)) {
        hungUp_ = true;
        if (got > 0) break;
        SetLastError(ERROR_GEN_FAILURE);
        return false;
      }
    }
    if (done) *done = got;
    return true;
  }

  bool write(const void* buffer, DWORD size, DWORD* done) override {
    if (done) *done = 0;
    if (closed_) {
      SetLastError(ERROR_INVALID_HANDLE);
      return false;
    }
    COMMTIMEOUTS t;
    {
      std::lock_guard<std::mutex> guard(lock_);
      t = timeouts_;
    }
    uint64_t deadline = UINT64_MAX;
    if (t.WriteTotalTimeoutMultiplier || t.WriteTotalTimeoutConstant)
      deadline = clock::nowMs() + static_cast<uint64_t>(t.WriteTotalTimeoutMultiplier) * size +
                 t.WriteTotalTimeoutConstant;
    auto* in = static_cast<const uint8_t*>(buffer);
    DWORD put = 0;
    while (put < size) {
      ssize_t n = ::write(fd_, in + put, size - put);
      if (n > 0) {
        put += static_cast<DWORD>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        if (done) *done = put;
        SetLastError(ERROR_GEN_FAILURE);
        return false;
      }
      if (deadline != UINT64_MAX && clock::nowMs() >= deadline) break;
      pollfd fds[2] = {{fd_, POLLOUT, 0}, {wakeFd_, POLLIN, 0}};
      ::poll(fds, 2, clock::pollTimeoutMs(deadline));
      if (closed_) {
        if (done) *done = put;
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
      }
    }
    if (done) *done = put;
    return true;
  }

  BOOL getState(LPDCB dcb) {
    std::lock_guard<std::mutex> guard(lock_);
    *dcb = dcb_;
    dcb->DCBlength = sizeof(DCB);
    return TRUE;
  }

  BOOL setState(const DCB& dcb) {
    if (!serial::validDcb(dcb)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (isTty_) {
      termios tio{};
      if (tcgetattr(fd_, &tio) != 0) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
      }
      serial::dcbToTermios(dcb, &tio);
      if (tcsetattr(fd_, TCSANOW, &tio) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
      }
      // Modem lines: pseudo-terminals have none, so failures here are not errors.
      int dtr = TIOCM_DTR, rts = TIOCM_RTS;
      if (dcb.fDtrControl == DTR_CONTROL_DISABLE) ioctl(fd_, TIOCMBIC, &dtr);
      if (dcb.fDtrControl == DTR_CONTROL_ENABLE) ioctl(fd_, TIOCMBIS, &dtr);
      if (dcb.fRtsControl == RTS_CONTROL_DISABLE) ioctl(fd_, TIOCMBIC, &rts);
      if (dcb.fRtsControl == RTS_CONTROL_ENABLE) ioctl(fd_, TIOCMBIS, &rts);
    }
    dcb_ = dcb;
    dcb_.DCBlength = sizeof(DCB);
    return TRUE;
  }

  BOOL getTimeouts(LPCOMMTIMEOUTS t) {
    std::lock_guard<std::mutex> guard(lock_);
    *t = timeouts_;
    return TRUE;
  }

  BOOL setTimeouts(const COMMTIMEOUTS& t) {
    // The device refuses the one combination that cannot be honoured.
    if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
        t.ReadTotalTimeoutConstant == MAXDWORD) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    std::lock_guard<std::mutex> guard(lock_);
    timeouts_ = t;
    return TRUE;
  }

  BOOL setupComm(DWORD in, DWORD out) {
    std::lock_guard<std::mutex> guard(lock_);
    inQueue_ = in;
    outQueue_ = out;
    return TRUE;
  }

  BOOL setMask(DWORD mask) {
    {
      std::lock_guard<std::mutex> guard(lock_);
      mask_ = mask;
    }
    uint64_t one = 1;
    ssize_t ignored = ::write(maskFd_, &one, sizeof one);
    (void)ignored;
    return TRUE;
  }

  BOOL getMask(LPDWORD mask) {
    std::lock_guard<std::mutex> guard(lock_);
    *mask = mask_;
    return TRUE;
  }

  BOOL waitEvent(LPDWORD events) {
    if (events) *events = 0;
    // Forget mask changes made before this wait began.
    uint64_t drain;
    while (::read(maskFd_, &drain, sizeof drain) > 0) {
    }
    for (;;) {
      if (closed_) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
      }
      DWORD mask;
      {
        std::lock_guard<std::mutex> guard(lock_);
        mask = mask_;
      }
      if (mask == 0) return TRUE;  // nothing to wait for: released with no event
      int waiting = 0;
      if ((mask & EV_RXCHAR) && ioctl(fd_, FIONREAD, &waiting) == 0 && waiting > 0) {
        if (events) *events = EV_RXCHAR;
        return TRUE;
      }
      pollfd fds[3] = {{fd_, static_cast<short>((mask & EV_RXCHAR) ? POLLIN : 0), 0},
                       {wakeFd_, POLLIN, 0},
                       {maskFd_, POLLIN, 0}};
      int r = ::poll(fds, 3, clock::frozen() ? 20 : 1000);
      if (r > 0 && (fds[2].revents & POLLIN)) {
        while (::read(maskFd_, &drain, sizeof drain) > 0) {
        }
        return TRUE;  // the mask changed: released with no event
      }
      if (r > 0 && (fds[0].revents & POLLIN) && !isTty_) {
        if (events) *events = EV_RXCHAR;
        return TRUE;
      }
      if (r > 0 && (fds[0].revents & (POLLHUP | POLLERR)) && !(fds[0].revents & POLLIN)) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
      }
    }
  }

  BOOL purge(DWORD flags) {
    if (!isTty_) return TRUE;
    bool rx = flags & (PURGE_RXCLEAR | PURGE_RXABORT);
    bool tx = flags & (PURGE_TXCLEAR | PURGE_TXABORT);
    if (rx && tx)
      tcflush(fd_, TCIOFLUSH);
    else if (rx)
      tcflush(fd_, TCIFLUSH);
    else if (tx)
      tcflush(fd_, TCOFLUSH);
    return TRUE;
  }

  BOOL clearError(LPDWORD errors, LPCOMSTAT status) {
    if (errors) *errors = 0;
    if (status) {
      *status = {};
      int n = 0;
      if (ioctl(fd_, FIONREAD, &n) == 0) status->cbInQue = static_cast<DWORD>(n);
      n = 0;
      if (isTty_ && ioctl(fd_, TIOCOUTQ, &n) == 0) status->cbOutQue = static_cast<DWORD>(n);
    }
    return TRUE;
  }

  BOOL escape(DWORD function) {
    int dtr = TIOCM_DTR, rts = TIOCM_RTS;
    switch (function) {
      case SETDTR: ioctl(fd_, TIOCMBIS, &dtr); return TRUE;
      case CLRDTR: ioctl(fd_, TIOCMBIC, &dtr); return TRUE;
      case SETRTS: ioctl(fd_, TIOCMBIS, &rts); return TRUE;
      case CLRRTS: ioctl(fd_, TIOCMBIC, &rts); return TRUE;
      case SETBREAK: ioctl(fd_, TIOCSBRK); return TRUE;
      case CLRBREAK: ioctl(fd_, TIOCCBRK); return TRUE;
      case SETXOFF: tcflow(fd_, TCOOFF); return TRUE;
      case SETXON: tcflow(fd_, TCOON); return TRUE;
      default: SetLastError(ERROR_INVALID_PARAMETER); return FALSE;
    }
  }

 private:
  int fd_;
  int wakeFd_ = -1;
  int maskFd_ = -1;
  int number_;
  bool isTty_ = false;
  std::atomic<bool> closed_{false};
  // The device hung up or went away: every later read fails at once instead of waiting.
  std::atomic<bool> hungUp_{false};
  std::mutex lock_;
  DCB dcb_;
  COMMTIMEOUTS timeouts_{};
  DWORD mask_ = 0;
  DWORD inQueue_ = 0, outQueue_ = 0;
};

// A port is opened by one handle at a time, as on the device.
std::mutex& openPortsLock() {
  static std::mutex* m = new std::mutex();
  return *m;
}
std::map<int, SerialPort*>& openPorts() {
  static auto* m = new std::map<int, SerialPort*>();
  return *m;
}

void SerialPort::onClose() {
  {
    std::lock_guard<std::mutex> guard(openPortsLock());
    auto it = openPorts().find(number_);
    if (it != openPorts().end() && it->second == this) openPorts().erase(it);
  }
  closed_ = true;
  uint64_t one = 1;
  ssize_t ignored = ::write(wakeFd_, &one, sizeof one);
  (void)ignored;
}

// "COM9:" (case ignored) → 9; -1 for anything else.
int parsePortName(const std::u16string& name) {
  if (name.size() < 5) return -1;
  auto up = [](char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; };
  if (up(name[0]) != u'C' || up(name[1]) != u'O' || up(name[2]) != u'M') return -1;
  size_t i = 3;
  int number = 0;
  while (i < name.size() && name[i] >= u'0' && name[i] <= u'9' && number < 1000) number = number * 10 + (name[i++] - u'0');
  if (i == 3 || i + 1 != name.size() || name[i] != u':' || number > 255) return -1;
  return number;
}

std::shared_ptr<SerialPort> portOf(HANDLE handle) {
  auto port = lookupAs<SerialPort>(handle);
  if (!port) SetLastError(ERROR_INVALID_HANDLE);
  return port;
}

}  // namespace

HANDLE openSerialDevice(const std::u16string& name, DWORD, DWORD, DWORD, DWORD) {
  int number = parsePortName(name);
  if (number < 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  std::u16string device = u"\\dev\\COM";
  for (char c : std::to_string(number)) device += static_cast<char16_t>(c);
  std::string path = hostPath(device);
  std::lock_guard<std::mutex> guard(openPortsLock());
  if (openPorts().count(number)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    switch (errno) {
      case EACCES:
      case EPERM: SetLastError(ERROR_ACCESS_DENIED); break;
      case EBUSY: SetLastError(ERROR_SHARING_VIOLATION); break;
      case ENXIO:
      case ENODEV: SetLastError(ERROR_DEVICE_NOT_CONNECTED); break;
      default: SetLastError(ERROR_FILE_NOT_FOUND); break;
    }
    return nullptr;
  }
  if (!::isatty(fd)) {
    // A regular file or /dev/null "reads" end-of-file forever: a reader on it would spin. Only
    // terminals (serial devices, USB adapters, pseudo-terminals) are ports.
    struct stat st;
    std::string what = ::fstat(fd, &st) != 0 ? "unknown"
                       : S_ISREG(st.st_mode) ? "a regular file"
                       : S_ISCHR(st.st_mode) ? "a character device that is not a terminal"
                       : S_ISFIFO(st.st_mode) ? "a pipe"
                                              : "not a terminal";
    ::close(fd);
    console::writeUtf8("Serial: " + path + " is " + what + ", not a serial port: COM" + std::to_string(number) +
                       ": refused\n");
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  auto port = std::make_shared<SerialPort>(fd, number);
  openPorts()[number] = port.get();
  SetLastError(ERROR_SUCCESS);
  return makeHandle(port);
}

}  // namespace plat

BOOL GetCommState(HANDLE port, LPDCB dcb) {
  auto p = plat::portOf(port);
  if (!p || !dcb) return FALSE;
  return p->getState(dcb);
}

BOOL SetCommState(HANDLE port, LPDCB dcb) {
  auto p = plat::portOf(port);
  if (!p) return FALSE;
  if (!dcb) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return p->setState(*dcb);
}

BOOL GetCommTimeouts(HANDLE port, LPCOMMTIMEOUTS timeouts) {
  auto p = plat::portOf(port);
  if (!p || !timeouts) return FALSE;
  return p->getTimeouts(timeouts);
}

BOOL SetCommTimeouts(HANDLE port, LPCOMMTIMEOUTS timeouts) {
  auto p = plat::portOf(port);
  if (!p) return FALSE;
  if (!timeouts) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return p->setTimeouts(*timeouts);
}

BOOL SetupComm(HANDLE port, DWORD inQueue, DWORD outQueue) {
  auto p = plat::portOf(port);
  return p ? p->setupComm(inQueue, outQueue) : FALSE;
}

BOOL SetCommMask(HANDLE port, DWORD mask) {
  auto p = plat::portOf(port);
  return p ? p->setMask(mask) : FALSE;
}

BOOL GetCommMask(HANDLE port, LPDWORD mask) {
  auto p = plat::portOf(port);
  if (!p || !mask) return FALSE;
  return p->getMask(mask);
}

BOOL WaitCommEvent(HANDLE port, LPDWORD events, LPOVERLAPPED) {
  auto p = plat::portOf(port);
  return p ? p->waitEvent(events) : FALSE;
}

BOOL PurgeComm(HANDLE port, DWORD flags) {
  auto p = plat::portOf(port);
  return p ? p->purge(flags) : FALSE;
}

BOOL ClearCommError(HANDLE port, LPDWORD errors, LPCOMSTAT status) {
  auto p = plat::portOf(port);
  return p ? p->clearError(errors, status) : FALSE;
}

BOOL EscapeCommFunction(HANDLE port, DWORD function) {
  auto p = plat::portOf(port);
  return p ? p->escape(function) : FALSE;
}
