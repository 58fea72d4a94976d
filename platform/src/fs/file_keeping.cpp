// Keeping files that a failed load would otherwise lose, and tidying after a killed save.
//
// A settings file that fails to load is about to be replaced (from a factory copy, or by
// writing back what was understood of it). Whatever the user had in it is then gone for good
// unless a copy is kept first; these helpers keep a bounded number of dated copies.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "fs/fs_internal.h"
#include "plat_core.h"
#include "plat_file.h"
#include "plat_time.h"

namespace plat {

namespace {

const char kDamagedMark[] = ".damaged-";

std::string folderOf(const std::string& hostPath) {
  size_t slash = hostPath.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : hostPath.substr(0, slash);
}

std::string nameOf(const std::string& hostPath) {
  size_t slash = hostPath.rfind('/');
  return slash == std::string::npos ? hostPath : hostPath.substr(slash + 1);
}

// "<stamp>" or "<stamp>-<n>" after the mark: ordered by stamp, then by n (no n counts as 1).
struct CopyName {
  std::string stamp;
  long sequence = 1;
  std::string path;
  bool operator<(const CopyName& other) const {
    return stamp != other.stamp ? stamp < other.stamp : sequence < other.sequence;
  }
};

std::vector<CopyName> listCopies(const std::string& hostPath) {
  std::vector<CopyName> copies;
  std::string folder = folderOf(hostPath);
  std::string prefix = nameOf(hostPath) + kDamagedMark;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return copies;
  while (dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    std::string rest = name.substr(prefix.size());
    CopyName copy;
    size_t dash = rest.find('-');
    copy.stamp = rest.substr(0, dash);
    if (dash != std::string::npos) copy.sequence = std::strtol(rest.c_str() + dash + 1, nullptr, 10);
    copy.path = folder + "/" + name;
    copies.push_back(copy);
  }
  ::closedir(dir);
  std::sort(copies.begin(), copies.end());
  return copies;
}

std::string utcStamp() {
  SYSTEMTIME now{};
  GetSystemTime(&now);
  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "%04u%02u%02uT%02u%02u%02uZ", now.wYear, now.wMonth, now.wDay, now.wHour,
                now.wMinute, now.wSecond);
  return stamp;
}

// The process's start as seconds since the epoch (0 when unknown): boot time plus the start
// tick of /proc/self/stat.
double processStartSeconds() {
  static const double start = [] {
    std::ifstream stat("/proc/self/stat");
    std::string line;
    std::getline(stat, line);
    size_t close = line.rfind(')');
    if (close == std::string::npos) return 0.0;
    std::istringstream fields(line.substr(close + 2));
    std::string field;
    unsigned long long startTicks = 0;
    // Field 22 (starttime); the text after ")" begins with field 3.
    for (int i = 3; i <= 22 && fields >> field; ++i)
      if (i == 22) startTicks = std::strtoull(field.c_str(), nullptr, 10);
    std::ifstream procStat("/proc/stat");
    unsigned long long boot = 0;
    while (std::getline(procStat, line))
      if (line.compare(0, 6, "btime ") == 0) boot = std::strtoull(line.c_str() + 6, nullptr, 10);
    long ticks = ::sysconf(_SC_CLK_TCK);
    if (!boot || ticks <= 0) return 0.0;
    return static_cast<double>(boot) + static_cast<double>(startTicks) / static_cast<double>(ticks);
  }();
  return start;
}

// Temporary names are "<file>.tmp-<pid>-XXXXXX" (older ones "<file>.tmp-XXXXXX"). The pid of
// the writer, or -1 when the name carries none.
long writerPid(const std::string& name, size_t markAt) {
  const char* digits = name.c_str() + markAt + 5;  // after ".tmp-"
  char* end = nullptr;
  long pid = std::strtol(digits, &end, 10);
  if (end == digits || *end != '-' || pid <= 0) return -1;
  return pid;
}

}  // namespace

std::vector<std::string> damagedCopies(const std::string& hostPath) {
  std::vector<std::string> paths;
  for (auto& copy : listCopies(hostPath)) paths.push_back(copy.path);
  return paths;
}

std::string keepDamagedCopy(const std::string& hostPath) {
  struct stat st;
  if (::stat(hostPath.c_str(), &st) != 0) return {};  // nothing there to keep
  if (S_ISDIR(st.st_mode)) {
    console::writeUtf8("Files: " + hostPath + " is a folder, not a file: it is left in place\n");
    return {};
  }
  std::string stamp = utcStamp();
  long sequence = 0;
  for (auto& copy : listCopies(hostPath))
    if (copy.stamp == stamp) sequence = std::max(sequence, copy.sequence);
  std::string target = hostPath + kDamagedMark + stamp;
  if (sequence > 0) target += "-" + std::to_string(sequence + 1);
  // A second name for the same file keeps it whole without reading it (it may be unreadable);
  // every writer here replaces files by renaming, so the kept name never sees later saves.
  // Where the medium has no links, a copy does.
  // A file others may write is copied instead: the copy is the user's alone.
  const bool shared = (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
  if ((shared || ::link(hostPath.c_str(), target.c_str()) != 0) && !copyFileAtomically(hostPath, target)) {
    console::writeUtf8("Files: cannot keep a copy of the damaged " + hostPath + " (" + std::strerror(errno) + ")\n");
    return {};
  }
  console::writeUtf8("Files: the damaged " + hostPath + " is kept as " + nameOf(target) + "\n");
  auto copies = listCopies(hostPath);
  for (size_t i = 0; i + kDamagedCopiesKept < copies.size(); ++i) ::unlink(copies[i].path.c_str());
  return target;
}

int removeStaleTemporaries(const std::string& hostFolder) {
  DIR* dir = ::opendir(hostFolder.empty() ? "/" : hostFolder.c_str());
  if (!dir) return 0;
  double started = processStartSeconds();
  int removed = 0;
  while (dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    size_t mark = name.rfind(".tmp-");
    if (mark == std::string::npos || mark == 0) continue;
    std::string path = hostFolder + "/" + name;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    bool stale = false;
    long pid = writerPid(name, mark);
    if (pid > 0 && pid != static_cast<long>(::getpid())) {
      // A writer that no longer runs will never finish its rename.
      stale = ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
    } else if (pid < 0) {
      double changed = static_cast<double>(st.st_mtim.tv_sec) + st.st_mtim.tv_nsec / 1e9;
      stale = started > 0 && changed < started;
    }
    if (stale && ::unlink(path.c_str()) == 0) {
      ++removed;
      console::writeUtf8("Files: removed " + path + ", left by a save that did not finish\n");
    }
  }
  ::closedir(dir);
  return removed;
}

bool copyFileAtomically(const std::string& fromHostPath, const std::string& toHostPath) {
  std::string bytes;
  if (!readHostFile(fromHostPath, bytes)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  return writeFileAtomically(toHostPath, bytes);
}

}  // namespace plat
