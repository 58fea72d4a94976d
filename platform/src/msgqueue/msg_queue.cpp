// Point-to-point message queues on POSIX message queues. A queue name maps to
// "/" + prefix + name, so a companion process opens the same queue by the same name. On Linux
// a queue descriptor can be polled, which lets a blocked reader be woken when its handle is
// closed.
//
// Lifetime. On the device a queue ends with its last handle; a POSIX queue stays in the system
// until it is removed. Every handle therefore holds a shared flock on its queue descriptor for
// as long as it is open: the handle that can take the lock exclusively at its close is the last
// one, and removes the queue; a queue found at creation that no one holds was left by a run that
// ended without closing it (a crash, a kill): its old messages are dropped. While any handle of
// either side is open the queue stays, with what it holds.
//
// Access. Queues are the unit user's alone (0600), or the user's and the unit's group's (0660)
// when a group is set. A queue that exists with another owner, or open to others while in use,
// is not used; one of ours left open to others is made anew.
#include <fcntl.h>
#include <grp.h>
#include <mqueue.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/stat.h>
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
  bool groupInitialised = false;
  std::string group;  // the unit's group name; empty: owner only
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
std::atomic<bool> memoryNoticeGiven{false};

// Removes the queue behind `queue` when no other handle, in any process, holds it: the lock is
// taken only when every other holder has let go, and new openers wait for it and then see the
// queue gone (no link left) and make a new one.
bool removeWhenLast(mqd_t queue, const std::string& host) {
  if (flock(queue, LOCK_EX | LOCK_NB) != 0) return false;
  struct stat st;
  if (fstat(queue, &st) != 0 || st.st_nlink == 0) return false;
  return mq_unlink(host.c_str()) == 0;
}

class MsgQueueObject;
// The live queue objects, for an end of the process that runs no destructors.
std::mutex& liveLock() {
  static auto* m = new std::mutex;
  return *m;
}
std::vector<MsgQueueObject*>& liveQueues() {
  static auto* v = new std::vector<MsgQueueObject*>;
  return *v;
}

class MsgQueueObject : public KernelObject {
 public:
  MsgQueueObject(mqd_t queue, bool reader, DWORD maxMessage, DWORD flags, long hostMessageSize, std::string host)
      : queue_(queue), reader_(reader), maxMessage_(maxMessage), flags_(flags), host_(std::move(host)) {
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (reader_) buffer_.resize(static_cast<size_t>(hostMessageSize));
    std::lock_guard<std::mutex> guard(liveLock());
    liveQueues().push_back(this);
  }
  ~MsgQueueObject() override {
    {
      std::lock_guard<std::mutex> guard(liveLock());
      auto& live = liveQueues();
      live.erase(std::remove(live.begin(), live.end(), this), live.end());
    }
    removeWhenLast(queue_, host_);
    mq_close(queue_);
    if (wakeFd_ >= 0) ::close(wakeFd_);
  }
  void removeAtExit() { removeWhenLast(queue_, host_); }
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
  std::string host_;
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
  memoryNoticeGiven = false;
}

bool removeQueue(const std::u16string& name) { return mq_unlink(hostName(name).c_str()) == 0; }

void setAccessGroup(const std::string& group) {
  auto& s = prefixState();
  std::lock_guard<std::mutex> guard(s.lock);
  s.group = group;
  s.groupInitialised = true;
}

std::string accessGroup() {
  auto& s = prefixState();
  std::lock_guard<std::mutex> guard(s.lock);
  if (!s.groupInitialised) {
    const char* env = std::getenv("HU_MSGQUEUE_GROUP");
    s.group = env ? env : "";
    s.groupInitialised = true;
  }
  return s.group;
}

void removeQueuesAtExit() {
  std::lock_guard<std::mutex> guard(liveLock());
  for (MsgQueueObject* queue : liveQueues()) queue->removeAtExit();
}

namespace {

// Why a queue that exists cannot be trusted with the unit's messages, or empty when it can.
std::string untrusted(const struct stat& st, mode_t allowed, bool haveGroup, gid_t group) {
  const bool groupShared = haveGroup && st.st_gid == group;
  if (st.st_uid != geteuid() && !groupShared)
    return "belongs to another user (uid " + std::to_string(st.st_uid) + ")";
  if ((st.st_mode & 07777) & ~allowed) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return std::string("is open to others (mode ") + mode + ")";
  }
  return {};
}

// Empties a queue (through a reading descriptor of its own: ours may only write); the number
// of messages taken out.
long drain(const std::string& host) {
  mqd_t reader = mq_open(host.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (reader == static_cast<mqd_t>(-1)) return 0;
  mq_attr attr{};
  mq_getattr(reader, &attr);
  std::vector<char> buffer(static_cast<size_t>(std::max<long>(attr.mq_msgsize, 1)));
  long count = 0;
  while (mq_receive(reader, buffer.data(), buffer.size(), nullptr) >= 0) ++count;
  mq_close(reader);
  return count;
}

mqd_t openQueue(const std::u16string& name, const std::string& host, int access, mq_attr& attr, DWORD& error) {
  std::string groupName = accessGroup();
  gid_t group = 0;
  bool haveGroup = false;
  if (!groupName.empty()) {
    if (struct group* g = getgrnam(groupName.c_str())) {
      group = g->gr_gid;
      haveGroup = true;
    } else {
      NKDbgPrintfW(u"CreateMsgQueue: no group %S on this system: %s is the user's alone\n", groupName.c_str(),
                   name.c_str());
    }
  }
  const mode_t allowed = haveGroup ? 0660 : 0600;
  // A few rounds: another process may remove the queue between our open and our lock.
  for (int round = 0; round < 8; ++round) {
    mqd_t queue = mq_open(host.c_str(), access | O_CREAT | O_EXCL, allowed, &attr);
    // The user's queue memory (RLIMIT_MSGQUEUE, 800 KB by default, shared by all of the user's
    // queues) may not hold the depth asked for; a shallower queue works where none would.
    const long asked = attr.mq_maxmsg;
    while (queue == static_cast<mqd_t>(-1) && errno == EMFILE && attr.mq_maxmsg > 1) {
      attr.mq_maxmsg /= 2;
      queue = mq_open(host.c_str(), access | O_CREAT | O_EXCL, allowed, &attr);
    }
    if (queue != static_cast<mqd_t>(-1) && attr.mq_maxmsg < asked && !memoryNoticeGiven.exchange(true))
      NKDbgPrintfW(u"CreateMsgQueue: %s holds %ld messages instead of %ld, the user's queue memory limit; "
                   u"raise it with LimitMSGQUEUE= or ulimit -q\n",
                   name.c_str(), static_cast<long>(attr.mq_maxmsg), asked);
    const bool created = queue != static_cast<mqd_t>(-1);
    if (!created) {
      if (errno != EEXIST) break;
      queue = mq_open(host.c_str(), access, 0, nullptr);
      if (queue == static_cast<mqd_t>(-1)) {
        if (errno == ENOENT) continue;
        break;
      }
    }
    struct stat st {};
    fstat(queue, &st);
    if (created) {
      // The mode asked for is cut by the umask; the group's share is given here.
      fchmod(queue, 0600);
      if (haveGroup) {
        if (fchown(queue, static_cast<uid_t>(-1), group) == 0) fchmod(queue, allowed);
        else NKDbgPrintfW(u"CreateMsgQueue: %s cannot be given to group %S: the user's alone\n", name.c_str(),
                          groupName.c_str());
      }
    } else {
      std::string why = untrusted(st, allowed, haveGroup, group);
      if (!why.empty() && st.st_uid != geteuid()) {
        NKDbgPrintfW(u"CreateMsgQueue: %s %S: not used\n", name.c_str(), why.c_str());
        mq_close(queue);
        error = ERROR_ACCESS_DENIED;
        return static_cast<mqd_t>(-1);
      }
      if (flock(queue, LOCK_EX | LOCK_NB) == 0) {
        // No handle holds it: a run that ended without closing it (a crash, a kill) left it,
        // with what it held; nothing in it is for this run.
        if (!why.empty()) {
          // Someone may keep a descriptor of it from while it was open: never use it again.
          NKDbgPrintfW(u"CreateMsgQueue: %s was left by an earlier run and %S: made anew\n", name.c_str(),
                       why.c_str());
          mq_unlink(host.c_str());
          mq_close(queue);
          continue;
        }
        long dropped = drain(host);
        NKDbgPrintfW(u"CreateMsgQueue: %s was left by an earlier run: %ld old message%s dropped\n", name.c_str(),
                     dropped, dropped == 1 ? u"" : u"s");
      }
      if (!why.empty()) {
        // In use, and someone else may already hold a descriptor of it.
        NKDbgPrintfW(u"CreateMsgQueue: %s %S: not used\n", name.c_str(), why.c_str());
        mq_close(queue);
        error = ERROR_ACCESS_DENIED;
        return static_cast<mqd_t>(-1);
      }
    }
    while (flock(queue, LOCK_SH) != 0 && errno == EINTR) {
    }
    // Its last holder may have removed it while we waited for the lock: start again.
    if (fstat(queue, &st) == 0 && st.st_nlink == 0) {
      mq_close(queue);
      continue;
    }
    return queue;
  }
  int failure = errno;
  switch (failure) {
    case EACCES: error = ERROR_ACCESS_DENIED; break;
    case EMFILE:
    case ENFILE:
    case ENOSPC:
    case ENOMEM: error = ERROR_OUTOFMEMORY; break;
    case ENOSYS: error = ERROR_NOT_SUPPORTED; break;
    default: error = ERROR_INVALID_PARAMETER; break;
  }
  std::u16string reason = utf8ToUtf16(std::strerror(failure));
  NKDbgPrintfW(u"CreateMsgQueue: %s cannot be opened (%s)\n", name.c_str(), reason.c_str());
  return static_cast<mqd_t>(-1);
}

}  // namespace

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
  DWORD error = ERROR_SUCCESS;
  mqd_t queue = plat::msgqueue::openQueue(queueName, host, (reader ? O_RDONLY : O_WRONLY) | O_NONBLOCK | O_CLOEXEC,
                                          attr, error);
  if (queue == static_cast<mqd_t>(-1)) {
    SetLastError(error);
    return nullptr;
  }
  // An existing queue keeps the sizes it was made with.
  mq_attr actual{};
  mq_getattr(queue, &actual);
  DWORD maxMessage = static_cast<DWORD>(std::min<long>(static_cast<long>(options->cbMaxMessage), actual.mq_msgsize));
  auto object = std::make_shared<MsgQueueObject>(queue, reader, maxMessage, options->dwFlags, actual.mq_msgsize, host);
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
