// The folder watch: inotify on each folder, read on a thread of its own, with changes gathered
// until the folders have been quiet for a moment. Each folder is watched by path: a file saved
// by rename-over is a new inode in the same folder and is seen as a name that arrived. A folder
// that goes away loses its watch; it is looked for again on a timer and, when it is back,
// reported as a whole.
//
// Times here are the host's real time (steady clock), never the platform clock that tests
// freeze: files change in real time whatever the screens' clock says.
#include "plat_folder_watch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <set>
#include <thread>

#include "plat_core.h"
#include "plat_file.h"
#include "plat_strings.h"

namespace plat {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kFolderMask = IN_CREATE | IN_DELETE | IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_MOVED_FROM |
                                 IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

int msUntil(Clock::time_point when, Clock::time_point now) {
  if (when <= now) return 0;
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when - now).count();
  return static_cast<int>(std::min<long long>(ms + 1, 1 << 30));
}

}  // namespace

struct FolderWatch::Impl {
  struct Folder {
    std::u16string device;
    std::string host;
    int wd = -1;
  };

  std::vector<Folder> folders;
  Handler handler;
  Timing timing;
  int inotifyFd = -1;
  int wakeFd = -1;
  std::thread thread;

  ~Impl() { stop(); }

  bool open() {
    inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd < 0) {
      console::write(format(u"folder watch: the host gives no file watch (%d), files are not watched\r\n", errno));
      return false;
    }
    wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
      console::write(format(u"folder watch: no wake-up event (%d), files are not watched\r\n", errno));
      close(inotifyFd);
      inotifyFd = -1;
      return false;
    }
    return true;
  }

  // Tries to watch a folder that has no watch; says why not when `tell`.
  bool attach(Folder& f, bool tell) {
    int wd = inotify_add_watch(inotifyFd, f.host.c_str(), kFolderMask);
    if (wd >= 0) {
      f.wd = wd;
      return true;
    }
    if (tell) {
      int e = errno;
      const char16_t* why = e == ENOENT    ? u"it does not exist (yet)"
                            : e == ENOTDIR ? u"it is not a folder"
                            : e == ENOSPC  ? u"the host's limit of watches is reached"
                            : e == EACCES  ? u"access denied"
                                           : u"the host refuses";
      console::write(format(u"folder watch %s: cannot watch: %s; trying again every %u ms\r\n", f.device.c_str(), why,
                            timing.retryMs));
    }
    return false;
  }

  Folder* byWatch(int wd) {
    for (Folder& f : folders)
      if (f.wd == wd) return &f;
    return nullptr;
  }

  bool anyLost() const {
    return std::any_of(folders.begin(), folders.end(), [](const Folder& f) { return f.wd < 0; });
  }

  void stop() {
    if (wakeFd >= 0) {
      uint64_t one = 1;
      ssize_t ignored = ::write(wakeFd, &one, sizeof one);
      (void)ignored;
    }
    if (thread.joinable()) thread.join();
    if (inotifyFd >= 0) close(inotifyFd);
    if (wakeFd >= 0) close(wakeFd);
    inotifyFd = wakeFd = -1;
  }

  void run() {
    std::set<std::u16string> pending;
    Clock::time_point first{}, last{};
    Clock::time_point nextRetry = Clock::now() + std::chrono::milliseconds(timing.retryMs);
    auto note = [&](std::u16string path) {
      Clock::time_point now = Clock::now();
      if (pending.empty()) first = now;
      last = now;
      pending.insert(std::move(path));
    };
    alignas(inotify_event) char buffer[16384];
    for (;;) {
      Clock::time_point now = Clock::now();
      int timeout = -1;
      if (!pending.empty()) {
        Clock::time_point due = std::min(last + std::chrono::milliseconds(timing.quietMs),
                                         first + std::chrono::milliseconds(timing.longestMs));
        timeout = msUntil(due, now);
      }
      if (anyLost()) {
        int retry = msUntil(nextRetry, now);
        timeout = timeout < 0 ? retry : std::min(timeout, retry);
      }
      pollfd fds[2] = {{wakeFd, POLLIN, 0}, {inotifyFd, POLLIN, 0}};
      int n = poll(fds, 2, timeout);
      if (n < 0 && errno != EINTR) {
        console::write(format(u"folder watch: poll failed (%d), files are no longer watched\r\n", errno));
        return;
      }
      if (n > 0 && fds[0].revents) return;
      if (n > 0 && (fds[1].revents & POLLIN)) {
        for (;;) {
          ssize_t got = ::read(inotifyFd, buffer, sizeof buffer);
          if (got <= 0) break;
          for (ssize_t off = 0; off + static_cast<ssize_t>(sizeof(inotify_event)) <= got;) {
            auto* ev = reinterpret_cast<const inotify_event*>(buffer + off);
            off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
            if (ev->mask & IN_Q_OVERFLOW) {
              // Changes were lost: any file of any folder may differ.
              for (const Folder& f : folders)
                if (f.wd >= 0) note(f.device);
              continue;
            }
            Folder* f = byWatch(ev->wd);
            if (!f) continue;
            if (ev->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT)) {
              // A folder moved away keeps its watch under the new name: drop it, the path is
              // what we watch.
              if (ev->mask & IN_MOVE_SELF) inotify_rm_watch(inotifyFd, f->wd);
              console::write(format(u"folder watch %s: the folder is gone; watching for it to come back\r\n",
                                    f->device.c_str()));
              f->wd = -1;
              // Watched folders inside it went with it (a moved folder takes them along without
              // a word): they are looked for again by path too.
              for (Folder& inside : folders) {
                if (inside.wd < 0 || inside.host.compare(0, f->host.size() + 1, f->host + "/") != 0) continue;
                inotify_rm_watch(inotifyFd, inside.wd);
                inside.wd = -1;
              }
              nextRetry = Clock::now() + std::chrono::milliseconds(timing.retryMs);
              continue;
            }
            if (ev->len == 0) continue;
            std::u16string name = utf8ToUtf16(std::string_view(ev->name, strnlen(ev->name, ev->len)));
            note(f->device + u"\\" + name);
          }
        }
      }
      now = Clock::now();
      if (anyLost() && now >= nextRetry) {
        for (Folder& f : folders) {
          if (f.wd >= 0 || !attach(f, false)) continue;
          console::write(format(u"folder watch %s: the folder is there again\r\n", f.device.c_str()));
          note(f.device);
        }
        nextRetry = now + std::chrono::milliseconds(timing.retryMs);
      }
      if (!pending.empty() && (now >= last + std::chrono::milliseconds(timing.quietMs) ||
                               now >= first + std::chrono::milliseconds(timing.longestMs))) {
        std::vector<std::u16string> changed(pending.begin(), pending.end());
        pending.clear();
        handler(changed);
      }
    }
  }
};

FolderWatch::FolderWatch() = default;

FolderWatch::~FolderWatch() { stop(); }

bool FolderWatch::start(const std::vector<std::u16string>& folders, Handler handler, Timing timing) {
  stop();
  auto impl = std::make_unique<Impl>();
  impl->handler = std::move(handler);
  impl->timing = timing;
  if (!impl->open()) return false;
  std::set<std::string> seen;
  for (const std::u16string& device : folders) {
    std::string host = hostPath(device);
    if (host.empty() || !seen.insert(host).second) continue;
    Impl::Folder f;
    f.device = device;
    f.host = host;
    impl->attach(f, true);
    impl->folders.push_back(std::move(f));
  }
  Impl* raw = impl.get();
  impl->thread = std::thread([raw] { raw->run(); });
  impl_ = std::move(impl);
  return true;
}

void FolderWatch::stop() { impl_.reset(); }

bool FolderWatch::running() const { return impl_ != nullptr; }

}  // namespace plat
