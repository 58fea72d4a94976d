// The unit root: device paths ("\StorageCard\x.txt") mapped into a host folder, with the
// case-blind name matching of the device's FAT volumes, and atomic host file replacement.
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <vector>

#include "fs/fs_internal.h"
#include "plat_core.h"
#include "plat_file.h"
#include "plat_strings.h"
#include "strings/collation.h"

namespace plat {

namespace {

struct RootState {
  std::mutex lock;
  std::string root;  // without a trailing "/"; "" stands for the host's "/"
};

RootState& rootState() {
  static RootState* s = new RootState();
  return *s;
}

std::string currentRoot() {
  auto& s = rootState();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.root;
}

bool isSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool isDirectory(const std::string& host) {
  struct stat st;
  return ::stat(host.empty() ? "/" : host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool exists(const std::string& host) {
  struct stat st;
  return ::lstat(host.c_str(), &st) == 0;
}

// The host name in `folder` that matches `name` without regard to case; "" when none. When
// several do, the one first in byte order wins so that the choice does not depend on the
// order the host lists them in.
std::string findIgnoringCase(const std::string& folder, std::u16string_view name) {
  DIR* dir = ::opendir(folder.empty() ? "/" : folder.c_str());
  if (!dir) return {};
  std::string best;
  while (dirent* entry = ::readdir(dir)) {
    std::string candidate = entry->d_name;
    if (candidate == "." || candidate == "..") continue;
    if (!fs::sameNameIgnoringCase(utf8ToUtf16(candidate), name)) continue;
    if (best.empty() || candidate < best) best = candidate;
  }
  ::closedir(dir);
  return best;
}

// Splits a device path into its components, dropping empty ones and "." and resolving ".."
// without ever climbing above the root.
std::vector<std::u16string_view> components(std::u16string_view path) {
  std::vector<std::u16string_view> parts;
  size_t i = 0;
  while (i < path.size()) {
    while (i < path.size() && isSeparator(path[i])) ++i;
    size_t start = i;
    while (i < path.size() && !isSeparator(path[i])) ++i;
    std::u16string_view part = path.substr(start, i - start);
    if (part.empty() || part == u".") continue;
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  return parts;
}

fs::MappedPath mapUnchecked(std::u16string_view devicePath) {
  fs::MappedPath out;
  std::string host = currentRoot();
  auto parts = components(devicePath);
  out.trailingSeparator = !devicePath.empty() && isSeparator(devicePath.back());
  out.isRoot = parts.empty();
  bool folderExists = isDirectory(host);
  for (size_t i = 0; i < parts.size(); ++i) {
    std::string exact = utf16ToUtf8(parts[i]);
    std::string next = host + "/" + exact;
    if (i + 1 == parts.size()) out.parentExists = folderExists;
    if (folderExists && !exists(next)) {
      std::string other = findIgnoringCase(host, parts[i]);
      if (!other.empty()) next = host + "/" + other;
    }
    host = next;
    if (i + 1 < parts.size()) folderExists = folderExists && isDirectory(host);
  }
  if (parts.empty()) {
    out.parentExists = true;
  } else {
    out.lastName = std::u16string(parts.back());
  }
  out.host = host.empty() ? "/" : host;
  return out;
}

}  // namespace

void setUnitRoot(const std::string& hostFolder) {
  std::string root = hostFolder;
  while (!root.empty() && root.back() == '/') root.pop_back();
  auto& s = rootState();
  std::lock_guard<std::mutex> guard(s.lock);
  s.root = root;
}

const std::string& unitRoot() {
  // A stable reference for callers; the root changes only at start-up.
  static thread_local std::string copy;
  copy = currentRoot();
  return copy;
}

std::string hostPath(std::u16string_view devicePath) { return mapUnchecked(devicePath).host; }

std::string hostPath(LPCWSTR devicePath) {
  return hostPath(devicePath ? std::u16string_view(devicePath) : std::u16string_view());
}

std::u16string devicePath(const std::string& host) {
  std::string root = currentRoot();
  std::string rest;
  if (root.empty()) {
    if (host.empty() || host[0] != '/') return {};
    rest = host;
  } else {
    if (host == root) return u"\\";
    if (host.compare(0, root.size(), root) != 0 || host.size() <= root.size() || host[root.size()] != '/') return {};
    rest = host.substr(root.size());
  }
  std::u16string device = utf8ToUtf16(rest);
  for (auto& c : device)
    if (c == u'/') c = u'\\';
  return device;
}

bool writeFileAtomically(const std::string& hostPath, const std::string& bytes) {
  std::string folder = ".";
  size_t slash = hostPath.rfind('/');
  if (slash != std::string::npos) folder = slash == 0 ? "/" : hostPath.substr(0, slash);
  // The writer's pid in the name lets the next start tell a save that was cut off (its writer
  // is gone) from one running now in another process.
  std::string temp = hostPath + ".tmp-" + std::to_string(::getpid()) + "-XXXXXX";
  std::vector<char> pattern(temp.begin(), temp.end());
  pattern.push_back(0);
  int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) {
    // Callers report why (a missing folder, a read-only medium) through GetLastError, and in
    // words through lastFileFailure.
    fs::setFileFailure(fs::reasonOf(errno));
    SetLastError(fs::errorFromErrno(errno, ::access(folder.c_str(), F_OK) == 0));
    return false;
  }
  // Keep the permissions of the file being replaced; a new file gets the usual ones.
  struct stat old;
  mode_t mode = 0644;
  // (never with group or world write, nor set-id bits: the unit's files are its user's)
  if (::stat(hostPath.c_str(), &old) == 0) mode = old.st_mode & 0755;
  ::fchmod(fd, mode);
  bool ok = true;
  int failure = 0;
  size_t done = 0;
  while (ok && done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      failure = n < 0 ? errno : ENOSPC;
    } else {
      done += static_cast<size_t>(n);
    }
  }
  auto failed = [&] {
    ok = false;
    failure = errno;
  };
  if (ok && ::fsync(fd) != 0) failed();
  if (::close(fd) != 0 && ok) failed();
  if (ok && ::rename(pattern.data(), hostPath.c_str()) != 0) failed();
  if (!ok) {
    ::unlink(pattern.data());
    fs::setFileFailure(fs::reasonOf(failure));
    SetLastError(fs::errorFromErrno(failure, true));
    return false;
  }
  // The rename itself must reach the medium too.
  int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return true;
}

std::string writableByOthers(const std::string& hostFolder) {
  struct stat st;
  if (::stat(hostFolder.c_str(), &st) != 0) return {};
  // Group write counts when the group is more than the owner's own (a user-private group).
  struct passwd* owner = ::getpwuid(st.st_uid);
  const bool privateGroup = owner && owner->pw_gid == st.st_gid;
  if (!(st.st_mode & S_IWOTH) && (privateGroup || !(st.st_mode & S_IWGRP))) return {};
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
  std::string who = st.st_mode & S_IWOTH ? "every user" : "the members of its group";
  return who + " (mode " + mode + ")";
}

bool readHostFile(const std::string& hostPath, std::string& bytes) {
  bytes.clear();
  int fd = fs::openRegularFile(hostPath, O_RDONLY, 0, "readHostFile");
  if (fd < 0) return false;
  char chunk[65536];
  for (;;) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      fs::setFileFailure(fs::reasonOf(errno));
      ::close(fd);
      bytes.clear();
      return false;
    }
    if (n == 0) break;
    bytes.append(chunk, static_cast<size_t>(n));
  }
  ::close(fd);
  return true;
}

namespace fs {

bool mapPath(LPCWSTR devicePath, MappedPath& out, DWORD& error) {
  if (!devicePath) {
    error = ERROR_INVALID_PARAMETER;
    return false;
  }
  size_t length = 0;
  while (devicePath[length]) {
    if (++length >= MAX_PATH) {
      error = ERROR_FILENAME_EXCED_RANGE;
      return false;
    }
  }
  out = mapUnchecked(std::u16string_view(devicePath, length));
  return true;
}

DWORD errorFromErrno(int error, bool parentExists) {
  switch (error) {
    case ENOENT: return parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EROFS: return ERROR_WRITE_PROTECT;
    case EEXIST: return ERROR_FILE_EXISTS;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EBUSY:
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENODEV:
    case ENXIO: return ERROR_NOT_READY;
    default: return ERROR_GEN_FAILURE;
  }
}

bool hasInvalidNameCharacters(std::u16string_view name) {
  for (char16_t c : name) {
    if (c < 0x20) return true;
    switch (c) {
      case u'*': case u'?': case u'<': case u'>': case u'|': case u'"': case u':': return true;
      default: break;
    }
  }
  return false;
}

DWORD attributesOf(const struct stat& st, std::u16string_view name) {
  DWORD attributes = 0;
  if (S_ISDIR(st.st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  else attributes |= FILE_ATTRIBUTE_ARCHIVE;
  if (!(st.st_mode & S_IWUSR)) attributes |= FILE_ATTRIBUTE_READONLY;
  // Host dot-files are the host's own business: the device shows them as hidden system files.
  // So are entries that are neither files nor folders (named pipes, sockets, devices, links that
  // lead nowhere): the device has no such things, and nothing may take them for a file.
  if ((!name.empty() && name[0] == u'.') || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)))
    attributes |= FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  return attributes;
}

FILETIME fileTimeFromTimespec(const struct timespec& ts) {
  constexpr int64_t kEpochDifference = 11644473600LL;  // seconds from 1601 to 1970
  int64_t ticks = (static_cast<int64_t>(ts.tv_sec) + kEpochDifference) * 10000000LL + ts.tv_nsec / 100;
  if (ticks < 0) ticks = 0;
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
  return ft;
}

bool sameNameIgnoringCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (strings::toLower(a[i]) != strings::toLower(b[i])) return false;
  return true;
}

}  // namespace fs

}  // namespace plat
