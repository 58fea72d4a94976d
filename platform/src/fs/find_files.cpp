// FindFirstFileW / FindNextFileW / FindClose over a host folder, with the device's pattern
// rules ("*", "?", "*.*" matching names without a dot) matched without regard to case.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "core/kernel_object.h"
#include "fs/fs_internal.h"
#include "plat_core.h"
#include "plat_file.h"
#include "plat_strings.h"
#include "strings/collation.h"

namespace plat::fs {

namespace {

class FindObject : public KernelObject {
 public:
  explicit FindObject(std::vector<WIN32_FIND_DATAW> entries) : entries_(std::move(entries)) {}
  const char* kind() const override { return "find"; }

  bool next(WIN32_FIND_DATAW* data) {
    std::lock_guard<std::mutex> guard(lock_);
    if (at_ >= entries_.size()) return false;
    *data = entries_[at_++];
    return true;
  }

 private:
  std::mutex lock_;
  std::vector<WIN32_FIND_DATAW> entries_;
  size_t at_ = 0;
};

bool hasWildcards(std::u16string_view s) { return s.find_first_of(u"*?") != std::u16string_view::npos; }

bool globMatch(std::u16string_view pattern, std::u16string_view name) {
  // Iterative matcher with one back-tracking point for the last "*".
  size_t p = 0, n = 0, starP = std::u16string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() &&
               (pattern[p] == u'?' || strings::toLower(pattern[p]) == strings::toLower(name[n]))) {
      ++p;
      ++n;
    } else if (starP != std::u16string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

}  // namespace

// The device's rules on top of plain wildcards: a pattern ending in ".*" also matches names
// without any dot ("*.*" lists everything, "readme.*" finds "readme"), and a pattern ending
// in a single "." matches names without an extension.
bool patternMatches(std::u16string_view pattern, std::u16string_view name) {
  if (globMatch(pattern, name)) return true;
  bool nameHasDot = name.find(u'.') != std::u16string_view::npos;
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == u".*" && !nameHasDot)
    return globMatch(pattern.substr(0, pattern.size() - 2), name);
  if (!pattern.empty() && pattern.back() == u'.' && !nameHasDot)
    return globMatch(pattern.substr(0, pattern.size() - 1), name);
  return false;
}

namespace {

bool fillEntry(const std::string& hostPath, const std::u16string& name, WIN32_FIND_DATAW& data) {
  // Names the device's records cannot hold are left out rather than cut.
  if (name.empty() || name.size() >= MAX_PATH) return false;
  struct stat st;
  if (::stat(hostPath.c_str(), &st) != 0 && ::lstat(hostPath.c_str(), &st) != 0) return false;
  data = WIN32_FIND_DATAW{};
  data.dwFileAttributes = attributesOf(st, name);
  data.ftCreationTime = fileTimeFromTimespec(st.st_mtim);
  data.ftLastAccessTime = fileTimeFromTimespec(st.st_atim);
  data.ftLastWriteTime = fileTimeFromTimespec(st.st_mtim);
  if (!S_ISDIR(st.st_mode)) {
    auto size = static_cast<uint64_t>(st.st_size);
    data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
  }
  std::copy(name.begin(), name.end(), data.cFileName);
  data.cFileName[name.size()] = 0;
  return true;
}

}  // namespace

}  // namespace plat::fs

using namespace plat::fs;

HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data) {
  if (!pattern || !data) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  MappedPath path;
  DWORD error = 0;
  if (!plat::fs::mapPath(pattern, path, error)) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  std::vector<WIN32_FIND_DATAW> entries;
  std::u16string_view last = path.lastName;
  if (path.isRoot || path.trailingSeparator) {
    // "\Folder\" (what the file lists probe with) names the folder itself: one entry for it
    // when it exists.
    struct stat st;
    if (::stat(path.host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    WIN32_FIND_DATAW entry{};
    std::u16string name = path.isRoot ? std::u16string(u"\\") : path.lastName;
    if (fillEntry(path.host, name, entry)) entries.push_back(entry);
  } else if (!hasWildcards(last)) {
    if (!path.parentExists) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    // One named entry, reported with the host's spelling of the name.
    std::string hostName = path.host.substr(path.host.rfind('/') + 1);
    WIN32_FIND_DATAW entry{};
    if (fillEntry(path.host, plat::utf8ToUtf16(hostName), entry)) entries.push_back(entry);
  } else {
    std::string folder = path.host.substr(0, path.host.rfind('/'));
    if (folder.empty()) folder = "/";
    DIR* dir = path.parentExists ? ::opendir(folder.c_str()) : nullptr;
    if (!dir) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    // The device does not list "." and "..": callers add their own parent entry.
    std::vector<std::pair<std::u16string, std::string>> names;
    while (dirent* e = ::readdir(dir)) {
      std::string hostName = e->d_name;
      if (hostName == "." || hostName == "..") continue;
      std::u16string name = plat::utf8ToUtf16(hostName);
      if (patternMatches(last, name)) names.emplace_back(std::move(name), std::move(hostName));
    }
    ::closedir(dir);
    // Host folders list in no useful order; a fixed one keeps runs repeatable.
    std::sort(names.begin(), names.end());
    for (const auto& [name, hostName] : names) {
      WIN32_FIND_DATAW entry{};
      if (fillEntry(folder == "/" ? "/" + hostName : folder + "/" + hostName, name, entry)) entries.push_back(entry);
    }
  }
  if (entries.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  auto find = std::make_shared<FindObject>(std::move(entries));
  find->next(data);
  SetLastError(ERROR_SUCCESS);
  return plat::makeHandle(find);
}

BOOL FindNextFileW(HANDLE handle, LPWIN32_FIND_DATAW data) {
  auto find = plat::lookupAs<FindObject>(handle);
  if (!find || !data) {
    SetLastError(find ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!find->next(data)) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  return TRUE;
}

BOOL FindClose(HANDLE handle) {
  if (!plat::lookupAs<FindObject>(handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return CloseHandle(handle);
}
