// Point-to-point message queues on POSIX message queues. A queue name maps to
// "/" + prefix + name, so a companion process opens the same queue by the same name. On Linux
// a queue descriptor can be polled, which lets a blocked reader be woken when its handle is
// closed.
#include <fcntl.h>
#include <mqueue.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "core/kernel_object.h"
#include "plat_core.h"
#include "plat_msgqueue.h"
#include "plat_strings.h"
#include "plat_time.h"

namespace plat::msgqueue {

namespace {

struct PrefixState {
  std::mutex lock;
  bool initialised = false;
  std::string prefix;
};

PrefixState& prefixState() {
  static auto* s = new PrefixState();
  return *s;
}

long systemLimit(const char* file, long fallback) {
  FILE* f = std::fopen(file, "r");
  if (!f) return fallback;
  long value = fallback;
  if (std::fscanf(f, "%ld", &value) != 1) value = fallback;
  std::fclose(f);
  return value > 0 ? value : fallback;
}

std::atomic<bool> depthNoticeGiven{false};
std::atomic<bool> sizeNoticeGiven{false};

class MsgQueueObject : public KernelObject {
 public:
  MsgQueueObject(mqd_t queue, bool reader, DWORD maxMessage, DWORD flags, long hostMessageSize)
      : queue_(queue), reader_(reader), maxMessage_(maxMessage), flags_(flags) {
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (reader_) buffer_.resize(static_cast<size_t>(hostMessageSize));
  }
  ~MsgQueueObject() override {
    mq_close(queue_);
    if (wakeFd_ >= 0) ::close(wakeFd_);
  }
  const char* kind() const override { return "msgqueue"; }

  void onClose() override {
    closed_ = true;
    uint64_t one = 1;
    ssize_t ignored = ::write(wakeFd_, &one, sizeof one);
    (void)ignored;
  }

  BOOL readMessage(void* out, DWORD size, LPDWORD got, DWORD timeout, DWORD* flags) {
    if (got) *got = 0;
    if (flags) *flags = 0;
    if (!reader_) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (!out && size > 0) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    std::lock_guard<std::mutex> guard(readLock_);
    uint64_t deadline = timeout == INFINITE ? UINT64_MAX : clock::nowMs() + timeout;
    while (!hasPending_) {
      if (closed_) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
      }
      unsigned priority = 0;
      ssize_t n = mq_receive(queue_, reinterpret_cast<char*>(buffer_.data()), buffer_.size(), &priority);
      if (n >= 0) {
        pendingSize_ = static_cast<size_t>(n);
        pendingAlert_ = priority > 0;
        hasPending_ = true;
        break;
      }
      if (errno == EINTR) continue;
      if (errno != EAGAIN) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
      }
      if (deadline != UINT64_MAX && clock::nowMs() >= deadline) {
        SetLastError(ERROR_TIMEOUT);
        return FALSE;
      }
      pollfd fds[2] = {{queue_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
      ::poll(fds, 2, clock::pollTimeoutMs(deadline));
    }
    if (pendingSize_ > size) {
      // A message larger than the reader's buffer is dropped, so one bad message cannot block
      // the queue for a reader that always offers the same buffer.
      hasPending_ = false;
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return FALSE;
    }
    if (pendingSize_) std::copy_n(buffer_.data(), pendingSize_, static_cast<uint8_t*>(out));
    if (got) *got = static_cast<DWORD>(pendingSize_);
    if (flags && pendingAlert_) *flags = MSGQUEUE_MSGALERT;
    hasPending_ = false;
    return TRUE;
  }

  BOOL writeMessage(const void* data, DWORD size, DWORD timeout, DWORD flags) {
    if (reader_) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (!data || size == 0) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    if (size > maxMessage_) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return FALSE;
    }
    uint64_t deadline = timeout == INFINITE ? UINT64_MAX : clock::nowMs() + timeout;
    unsigned priority = (flags & MSGQUEUE_MSGALERT) ? 1 : 0;
    for (;;) {
      if (closed_) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
      }
      if (mq_send(queue_, static_cast<const char*>(data), size, priority) == 0) return TRUE;
      if (errno == EINTR) continue;
      if (errno == EMSGSIZE) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
      }
      if (errno != EAGAIN) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
      }
      if (deadline != UINT64_MAX && clock::nowMs() >= deadline) {
        SetLastError(ERROR_TIMEOUT);
        return FALSE;
      }
      pollfd fds[2] = {{queue_, POLLOUT, 0}, {wakeFd_, POLLIN, 0}};
      ::poll(fds, 2, clock::pollTimeoutMs(deadline));
    }
  }

  BOOL info(LPMSGQUEUEINFO out) {
    mq_attr attr{};
    if (mq_getattr(queue_, &attr) != 0) {
      SetLastError(ERROR_GEN_FAILURE);
      return FALSE;
    }
    out->dwFlags = flags_;
    out->dwMaxMessages = static_cast<DWORD>(attr.mq_maxmsg);
    out->cbMaxMessage = maxMessage_;
    out->dwCurrentMessages = static_cast<DWORD>(attr.mq_curmsgs);
    out->dwMaxQueueMessages = static_cast<DWORD>(attr.mq_maxmsg);
    // Only this handle's side is known; the other process's ends are not visible.
    out->wNumReaders = reader_ ? 1 : 0;
    out->wNumWriters = reader_ ? 0 : 1;
    return TRUE;
  }

 private:
  mqd_t queue_;
  bool reader_;
  DWORD maxMessage_;
  DWORD flags_;
  int wakeFd_ = -1;
  std::atomic<bool> closed_{false};
  std::mutex readLock_;
  std::vector<uint8_t> buffer_;
  bool hasPending_ = false;
  bool pendingAlert_ = false;
  size_t pendingSize_ = 0;
};

}  // namespace

void setNamePrefix(const std::string& prefix) {
  auto& s = prefixState();
  std::lock_guard<std::mutex> guard(s.lock);
  s.prefix = prefix;
  s.initialised = true;
}

std::string namePrefix() {
  auto& s = prefixState();
  std::lock_guard<std::mutex> guard(s.lock);
  if (!s.initialised) {
    const char* env = std::getenv("HU_MSGQUEUE_PREFIX");
    s.prefix = env ? env : "";
    s.initialised = true;
  }
  return s.prefix;
}

std::string hostName(const std::u16string& name) {
  std::string host = "/" + namePrefix() + utf16ToUtf8(name);
  // Only the leading slash may be a slash; NAME_MAX bounds the rest.
  std::replace(host.begin() + 1, host.end(), '/', '_');
  if (host.size() > 255) host.resize(255);
  return host;
}

void resetLimitNotice() {
  depthNoticeGiven = false;
  sizeNoticeGiven = false;
}

bool removeQueue(const std::u16string& name) { return mq_unlink(hostName(name).c_str()) == 0; }

}  // namespace plat::msgqueue

using plat::msgqueue::MsgQueueObject;

HANDLE CreateMsgQueue(LPCWSTR name, LPMSGQUEUEOPTIONS options) {
  if (!options || options->dwSize != sizeof(MSGQUEUEOPTIONS) || options->cbMaxMessage == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (!name || !*name) {
    // Unnamed queues are shared through OpenMsgQueue on the device, which nothing here uses.
    NKDbgPrintfW(u"CreateMsgQueue: unnamed queues are not supported on this platform\n");
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  std::u16string queueName(name);
  std::string host = plat::msgqueue::hostName(queueName);

  long depthLimit = plat::msgqueue::systemLimit("/proc/sys/fs/mqueue/msg_max", 10);
  long sizeLimit = plat::msgqueue::systemLimit("/proc/sys/fs/mqueue/msgsize_max", 8192);
  long depth = options->dwMaxMessages == 0 ? depthLimit : static_cast<long>(options->dwMaxMessages);
  if (depth > depthLimit) {
    if (!plat::msgqueue::depthNoticeGiven.exchange(true))
      NKDbgPrintfW(u"CreateMsgQueue: %s holds %ld messages instead of %ld, the system limit; "
                   u"raise it with sysctl fs.mqueue.msg_max=%ld\n",
                   queueName.c_str(), depthLimit, depth, depth);
    depth = depthLimit;
  }
  long size = static_cast<long>(options->cbMaxMessage);
  if (size > sizeLimit) {
    if (!plat::msgqueue::sizeNoticeGiven.exchange(true))
      NKDbgPrintfW(u"CreateMsgQueue: %s takes messages of %ld bytes instead of %ld, the system limit; "
                   u"raise it with sysctl fs.mqueue.msgsize_max=%ld\n",
                   queueName.c_str(), sizeLimit, size, size);
    size = sizeLimit;
  }

  mq_attr attr{};
  attr.mq_maxmsg = depth;
  attr.mq_msgsize = size;
  bool reader = options->bReadAccess != FALSE;
  int mode = (reader ? O_RDONLY : O_WRONLY) | O_CREAT | O_NONBLOCK | O_CLOEXEC;
  mqd_t queue = mq_open(host.c_str(), mode, 0666, &attr);
  if (queue == static_cast<mqd_t>(-1)) {
    int error = errno;
    switch (error) {
      case EACCES: SetLastError(ERROR_ACCESS_DENIED); break;
      case EMFILE:
      case ENFILE:
      case ENOSPC:
      case ENOMEM: SetLastError(ERROR_OUTOFMEMORY); break;
      case ENOSYS: SetLastError(ERROR_NOT_SUPPORTED); break;
      default: SetLastError(ERROR_INVALID_PARAMETER); break;
    }
    std::u16string reason = plat::utf8ToUtf16(std::strerror(error));
    NKDbgPrintfW(u"CreateMsgQueue: %s cannot be opened (%s)\n", queueName.c_str(), reason.c_str());
    return nullptr;
  }
  // An existing queue keeps the sizes it was made with.
  mq_attr actual{};
  mq_getattr(queue, &actual);
  DWORD maxMessage = static_cast<DWORD>(std::min<long>(static_cast<long>(options->cbMaxMessage), actual.mq_msgsize));
  auto object = std::make_shared<MsgQueueObject>(queue, reader, maxMessage, options->dwFlags, actual.mq_msgsize);
  SetLastError(ERROR_SUCCESS);
  return plat::makeHandle(object);
}

BOOL ReadMsgQueue(HANDLE queue, LPVOID buffer, DWORD bufferSize, LPDWORD bytesRead, DWORD timeout, DWORD* flags) {
  auto object = plat::lookupAs<MsgQueueObject>(queue);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return object->readMessage(buffer, bufferSize, bytesRead, timeout, flags);
}

BOOL WriteMsgQueue(HANDLE queue, LPVOID data, DWORD dataSize, DWORD timeout, DWORD flags) {
  auto object = plat::lookupAs<MsgQueueObject>(queue);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return object->writeMessage(data, dataSize, timeout, flags);
}

BOOL GetMsgQueueInfo(HANDLE queue, LPMSGQUEUEINFO info) {
  auto object = plat::lookupAs<MsgQueueObject>(queue);
  if (!object || !info) {
    SetLastError(object ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return object->info(info);
}

BOOL CloseMsgQueue(HANDLE queue) {
  if (!plat::lookupAs<MsgQueueObject>(queue)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return CloseHandle(queue);
}
