// Change notification on a unit folder, from inotify. A reader thread turns inotify events into
// FILE_NOTIFY_INFORMATION records queued on the handle; the handle is signalled while records
// are pending. Closing the handle stops the reader (woken through an eventfd and joined) and
// signals the handle once more so that a thread waiting on it returns.
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <thread>
#include <vector>

#include "core/kernel_object.h"
#include "plat_core.h"
#include "plat_file.h"
#include "plat_notify.h"
#include "plat_strings.h"

namespace plat {
namespace {

// Pending records beyond this are dropped (with a console line): a reader that never reads
// must not make us grow without bound.
constexpr size_t kMaxPendingBytes = 64 * 1024;
constexpr DWORD kHeaderBytes = 12;  // NextEntryOffset, Action, FileNameLength

class ChangeNotification : public KernelObject {
 public:
  ChangeNotification(std::u16string devicePath, DWORD filter) : path_(std::move(devicePath)), filter_(filter) {}
  ~ChangeNotification() override { stop(); }
  const char* kind() const override { return "change-notification"; }
  bool isWaitable() const override { return true; }
  bool isSignaled() const override { return closed_ || !records_.empty(); }

  bool start(const std::string& hostFolder) {
    inotifyFd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd_ < 0) return false;
    uint32_t mask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF |
                    IN_ONLYDIR | IN_EXCL_UNLINK;
    if (filter_ & (FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE)) mask |= IN_MODIFY;
    if (filter_ & FILE_NOTIFY_CHANGE_ATTRIBUTES) mask |= IN_ATTRIB;
    if (inotify_add_watch(inotifyFd_, hostFolder.c_str(), mask) < 0) return false;
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) return false;
    reader_ = std::thread([this] { readLoop(); });
    return true;
  }

  void onClose() override {
    {
      std::lock_guard<std::mutex> lock(waitMutex());
      closed_ = true;
      notifyWaitersLocked();
    }
    stop();
  }

  // Takes whole records into `buffer`; see CeGetFileNotificationInfo.
  BOOL take(LPVOID buffer, DWORD size, LPDWORD returned, LPDWORD available) {
    std::lock_guard<std::mutex> lock(waitMutex());
    if (available) *available = static_cast<DWORD>(pendingBytes_);
    if (returned) *returned = 0;
    if (!buffer || size == 0 || records_.empty()) return TRUE;
    auto* out = static_cast<BYTE*>(buffer);
    DWORD used = 0;
    BYTE* last = nullptr;
    while (!records_.empty() && used + records_.front().size() <= size) {
      const auto& r = records_.front();
      std::memcpy(out + used, r.data(), r.size());
      DWORD next = static_cast<DWORD>(r.size());
      std::memcpy(out + used, &next, sizeof next);
      last = out + used;
      used += next;
      pendingBytes_ -= r.size();
      records_.pop_front();
    }
    if (!last) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return FALSE;
    }
    DWORD zero = 0;
    std::memcpy(last, &zero, sizeof zero);
    if (returned) *returned = used;
    return TRUE;
  }

 private:
  void stop() {
    if (wakeFd_ >= 0) {
      uint64_t one = 1;
      ssize_t ignored = ::write(wakeFd_, &one, sizeof one);
      (void)ignored;
    }
    if (reader_.joinable() && reader_.get_id() != std::this_thread::get_id()) reader_.join();
    if (inotifyFd_ >= 0) close(inotifyFd_);
    if (wakeFd_ >= 0) close(wakeFd_);
    inotifyFd_ = wakeFd_ = -1;
  }

  void readLoop() {
    bool watching = true;
    std::vector<char> buf;
    for (;;) {
      pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {inotifyFd_, POLLIN, 0}};
      int n = poll(fds, watching ? 2 : 1, -1);
      if (n < 0) {
        if (errno == EINTR) continue;
        console::write(format(u"change notification %s: poll failed (%d)\r\n", path_.c_str(), errno));
        return;
      }
      if (fds[0].revents) return;
      if (!watching || !(fds[1].revents & POLLIN)) continue;
      buf.clear();
      if (!readEvents(buf)) continue;
      // The two halves of a rename inside the folder may be read apart; give the second one a
      // moment so that the pair is reported as a rename and not as a removal and an arrival.
      while (endsWithUnpairedMove(buf)) {
        pollfd more = {inotifyFd_, POLLIN, 0};
        if (poll(&more, 1, 20) <= 0 || !readEvents(buf)) break;
      }
      std::vector<std::vector<BYTE>> batch;
      const char* data = buf.data();
      ssize_t len = static_cast<ssize_t>(buf.size());
      for (ssize_t off = 0; off + static_cast<ssize_t>(sizeof(inotify_event)) <= len;) {
        auto* ev = reinterpret_cast<const inotify_event*>(data + off);
        ssize_t start = off;
        off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
        if (ev->mask & IN_Q_OVERFLOW) {
          console::write(format(u"change notification %s: changes lost (host queue overflow)\r\n", path_.c_str()));
          continue;
        }
        if (ev->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT)) {
          if (watching)
            console::write(format(u"change notification %s: the folder is gone, no more changes\r\n", path_.c_str()));
          watching = false;
          continue;
        }
        if (ev->len == 0) continue;
        bool dir = ev->mask & IN_ISDIR;
        if (!(filter_ & (dir ? FILE_NOTIFY_CHANGE_DIR_NAME : FILE_NOTIFY_CHANGE_FILE_NAME)) &&
            (ev->mask & (IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO)))
          continue;
        DWORD action = 0;
        if (ev->mask & IN_CREATE) action = FILE_ACTION_ADDED;
        else if (ev->mask & IN_DELETE) action = FILE_ACTION_REMOVED;
        else if (ev->mask & (IN_MODIFY | IN_ATTRIB)) action = FILE_ACTION_MODIFIED;
        else if (ev->mask & IN_MOVED_FROM)
          action = pairedMove(data, off, len, ev->cookie, IN_MOVED_TO) ? FILE_ACTION_RENAMED_OLD_NAME
                                                                        : FILE_ACTION_REMOVED;
        else if (ev->mask & IN_MOVED_TO)
          action = pairedMove(data, 0, start, ev->cookie, IN_MOVED_FROM) ? FILE_ACTION_RENAMED_NEW_NAME
                                                                         : FILE_ACTION_ADDED;
        if (!action) continue;
        batch.push_back(makeRecord(action, utf8ToUtf16(std::string_view(ev->name, strnlen(ev->name, ev->len)))));
      }
      if (!batch.empty()) queue(std::move(batch));
    }
  }

  // Appends what inotify has to `buf`; false when nothing was read.
  bool readEvents(std::vector<char>& buf) {
    alignas(inotify_event) char chunk[8192];
    ssize_t got = ::read(inotifyFd_, chunk, sizeof chunk);
    if (got <= 0) return false;
    buf.insert(buf.end(), chunk, chunk + got);
    return true;
  }

  static bool endsWithUnpairedMove(const std::vector<char>& buf) {
    const inotify_event* last = nullptr;
    ssize_t lastStart = 0;
    ssize_t len = static_cast<ssize_t>(buf.size());
    for (ssize_t off = 0; off + static_cast<ssize_t>(sizeof(inotify_event)) <= len;) {
      last = reinterpret_cast<const inotify_event*>(buf.data() + off);
      lastStart = off;
      off += static_cast<ssize_t>(sizeof(inotify_event) + last->len);
    }
    (void)lastStart;
    return last && (last->mask & IN_MOVED_FROM);
  }

  // Whether an event of kind `want` with the same cookie lies in buf[from, to): a move within
  // the folder is a rename, a move across its edge an arrival or a departure.
  static bool pairedMove(const char* buf, ssize_t from, ssize_t to, uint32_t cookie, uint32_t want) {
    for (ssize_t off = from; off + static_cast<ssize_t>(sizeof(inotify_event)) <= to;) {
      auto* ev = reinterpret_cast<const inotify_event*>(buf + off);
      if ((ev->mask & want) && ev->cookie == cookie) return true;
      off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
    }
    return false;
  }

  static std::vector<BYTE> makeRecord(DWORD action, const std::u16string& name) {
    DWORD nameBytes = static_cast<DWORD>(name.size() * sizeof(char16_t));
    size_t size = (kHeaderBytes + nameBytes + sizeof(char16_t) + 3) & ~size_t{3};
    std::vector<BYTE> r(size, 0);
    std::memcpy(r.data() + 4, &action, 4);
    std::memcpy(r.data() + 8, &nameBytes, 4);
    std::memcpy(r.data() + kHeaderBytes, name.data(), nameBytes);
    return r;
  }

  void queue(std::vector<std::vector<BYTE>> batch) {
    size_t dropped = 0;
    {
      std::lock_guard<std::mutex> lock(waitMutex());
      for (auto& r : batch) {
        if (pendingBytes_ + r.size() > kMaxPendingBytes) {
          dropped++;
          continue;
        }
        pendingBytes_ += r.size();
        records_.push_back(std::move(r));
      }
      notifyWaitersLocked();
    }
    if (dropped)
      console::write(format(u"change notification %s: %u changes dropped, nobody reads them\r\n", path_.c_str(),
                            static_cast<unsigned>(dropped)));
  }

  std::u16string path_;
  DWORD filter_;
  int inotifyFd_ = -1;
  int wakeFd_ = -1;
  std::thread reader_;
  // Under waitMutex():
  bool closed_ = false;
  std::deque<std::vector<BYTE>> records_;
  size_t pendingBytes_ = 0;
};

}  // namespace
}  // namespace plat

using namespace plat;

HANDLE CeFindFirstChangeNotification(LPCWSTR path, BOOL watchSubtree, DWORD filter) {
  if (!path || !path[0]) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if (lstrlenW(path) >= MAX_PATH) {
    console::write(u"CeFindFirstChangeNotification: path too long\r\n");
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return INVALID_HANDLE_VALUE;
  }
  if (watchSubtree) console::write(format(u"CeFindFirstChangeNotification %s: subfolders are not watched\r\n", path));
  std::string host = hostPath(path);
  if (host.empty()) host.assign(1, '/');
  auto object = std::make_shared<ChangeNotification>(path, filter);
  if (!object->start(host)) {
    int e = errno;
    console::write(format(u"CeFindFirstChangeNotification %s: cannot watch (%d)\r\n", path, e));
    SetLastError(e == ENOENT || e == ENOTDIR ? ERROR_PATH_NOT_FOUND : ERROR_GEN_FAILURE);
    return INVALID_HANDLE_VALUE;
  }
  return makeHandle(object);
}

HANDLE FindFirstChangeNotificationW(LPCWSTR path, BOOL watchSubtree, DWORD filter) {
  return CeFindFirstChangeNotification(path, watchSubtree, filter);
}

BOOL CeFindNextChangeNotification(HANDLE handle) {
  if (!lookupAs<ChangeNotification>(handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL FindNextChangeNotification(HANDLE handle) { return CeFindNextChangeNotification(handle); }

BOOL FindCloseChangeNotification(HANDLE handle) {
  if (!lookupAs<ChangeNotification>(handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return CloseHandle(handle);
}

BOOL CeGetFileNotificationInfo(HANDLE handle, DWORD, LPVOID buffer, DWORD bufferSize, LPDWORD bytesReturned,
                               LPDWORD bytesAvailable) {
  auto object = lookupAs<ChangeNotification>(handle);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return object->take(buffer, bufferSize, bytesReturned, bytesAvailable);
}
