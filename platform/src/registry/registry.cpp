// The Reg* calls over the in-memory registry, its handles, and keeping it in the unit root
// as "registry.reg" (loaded at start-up, written back atomically on RegFlushKey and at exit).
#include <sys/stat.h>

#include <cstring>
#include <mutex>
#include <unordered_map>

#include "core/kernel_object.h"
#include "plat_core.h"
#include "plat_file.h"
#include "plat_registry.h"
#include "plat_strings.h"
#include "registry/registry_tree.h"
#include "time/time_zone.h"

namespace plat::registry {

namespace {

struct RegistryState {
  std::mutex lock;
  std::shared_ptr<Key> roots[4];
  std::unordered_map<uintptr_t, std::shared_ptr<Key>> handles;
  uintptr_t nextHandle = 0x1000;
  std::string file;
  std::vector<std::string> header;
  // Changed since it was loaded or last written. Set by every change; cleared only by the
  // flush whose snapshot was taken after the last change and has reached the file.
  bool dirty = false;
  uint64_t changes = 0;
  // The loaded file had lines we did not understand: its original is kept before the first
  // write-back, which holds only what was understood.
  bool sourceDamaged = false;
  // One flush at a time: two writers racing their renames could leave the older snapshot on
  // disk after the newer one.
  std::mutex flushLock;

  void changed() {
    dirty = true;
    ++changes;
  }

  RegistryState() { resetRoots(); }

  void resetRoots() {
    for (int r = 0; r < 4; ++r) {
      if (roots[r]) markDeleted(*roots[r]);
      roots[r] = std::make_shared<Key>();
      roots[r]->name = kRootNames[r];
    }
  }

  static void markDeleted(Key& key) {
    key.deleted = true;
    for (auto& child : key.children) markDeleted(*child.second);
  }
};

RegistryState& state() {
  static RegistryState* s = new RegistryState();
  return *s;
}

constexpr uintptr_t kFirstRoot = 0x80000000u;

// The key behind a handle (lock held); sets `error` when there is none.
std::shared_ptr<Key> keyOf(RegistryState& s, HKEY handle, LSTATUS& error) {
  auto value = reinterpret_cast<uintptr_t>(handle);
  if (value >= kFirstRoot && value < kFirstRoot + 4) return s.roots[value - kFirstRoot];
  auto it = s.handles.find(value);
  if (it == s.handles.end()) {
    error = ERROR_INVALID_HANDLE;
    return nullptr;
  }
  if (it->second->deleted) {
    error = ERROR_KEY_DELETED;
    return nullptr;
  }
  return it->second;
}

std::vector<std::u16string_view> splitPath(LPCWSTR path) {
  std::vector<std::u16string_view> parts;
  if (!path) return parts;
  std::u16string_view rest(path);
  size_t at = 0;
  while (at <= rest.size()) {
    size_t next = rest.find(u'\\', at);
    if (next == std::u16string_view::npos) next = rest.size();
    if (next > at) parts.push_back(rest.substr(at, next - at));
    at = next + 1;
  }
  return parts;
}

HKEY newHandle(RegistryState& s, std::shared_ptr<Key> key) {
  uintptr_t value = s.nextHandle++;
  s.handles[value] = std::move(key);
  return reinterpret_cast<HKEY>(value);
}

std::u16string nameOf(LPCWSTR name) { return name ? std::u16string(name) : std::u16string(); }

// Copies a name into a caller's buffer of *length characters (terminator included).
LSTATUS copyName(const std::u16string& name, LPWSTR buffer, LPDWORD length) {
  if (!buffer || !length) return ERROR_INVALID_PARAMETER;
  if (name.size() + 1 > *length) return ERROR_MORE_DATA;
  name.copy(buffer, name.size());
  buffer[name.size()] = 0;
  *length = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

// The data rules shared by RegQueryValueExW and RegEnumValueW.
LSTATUS copyData(const Value& value, LPDWORD type, LPBYTE data, LPDWORD size) {
  if (type) *type = value.type;
  auto needed = static_cast<DWORD>(value.data.size());
  if (!data) {
    if (size) *size = needed;
    return ERROR_SUCCESS;
  }
  if (!size) return ERROR_INVALID_PARAMETER;
  if (*size < needed) {
    *size = needed;
    return ERROR_MORE_DATA;
  }
  if (needed) std::memcpy(data, value.data.data(), needed);
  *size = needed;
  return ERROR_SUCCESS;
}

void report(const std::string& file, int line, const std::string& what) {
  console::writeUtf8("Registry: " + file + " line " + std::to_string(line) + ": " + what + "\n");
}

bool loadLocked(RegistryState& s, const std::string& text, const std::string& name) {
  s.resetRoots();
  s.header.clear();
  bool clean = true;
  parseScript(text, s.roots, s.header, [&](int line, const std::string& what) {
    clean = false;
    report(name, line, what);
  });
  s.dirty = false;
  s.sourceDamaged = false;
  return clean;
}

}  // namespace

bool load(const std::string& hostPath) {
  std::string text;
  bool readable = readHostFile(hostPath, text);
  const std::string why = lastFileFailure();
  auto& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  s.file = hostPath;
  if (!readable) {
    s.resetRoots();
    s.header.clear();
    s.dirty = false;
    s.sourceDamaged = false;
    struct stat st;
    if (::stat(hostPath.c_str(), &st) == 0) {
      // There is a registry we cannot read: writing ours back would replace it with an
      // empty one, so this run keeps its changes in memory only.
      s.file.clear();
      console::writeUtf8("Registry: cannot read " + hostPath + " (" + why + "), changes are not written back\n");
    }
    return false;
  }
  bool clean = loadLocked(s, text, hostPath);
  s.sourceDamaged = !clean;
  if (!clean)
    console::writeUtf8("Registry: " + hostPath +
                       " was understood only in part; the original is kept before it is first written back\n");
  return clean;
}

bool loadText(const std::string& text, const std::string& nameForMessages) {
  auto& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  return loadLocked(s, text, nameForMessages);
}

std::string toText() {
  auto& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  return writeScript(s.roots, s.header);
}

bool flush() {
  auto& s = state();
  std::lock_guard<std::mutex> serial(s.flushLock);
  std::string text, file;
  uint64_t snapshot = 0;
  bool keepOriginal = false;
  {
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.file.empty()) return true;  // nowhere to keep it: nothing to do
    if (!s.dirty) return true;
    text = writeScript(s.roots, s.header);
    file = s.file;
    snapshot = s.changes;
    keepOriginal = s.sourceDamaged;
  }
  if (keepOriginal) {
    // What failed to parse exists only in the file now: keep it before it is replaced.
    if (keepDamagedCopy(file).empty()) {
      struct stat st;
      if (::stat(file.c_str(), &st) == 0) {
        console::writeUtf8("Registry: " + file + " is not written back, its damaged original could not be kept\n");
        return false;
      }
    }
    std::lock_guard<std::mutex> guard(s.lock);
    s.sourceDamaged = false;
  }
  if (!writeFileAtomically(file, text)) {
    console::writeUtf8("Registry: cannot write " + file + " (" + lastFileFailure() + "), the previous file is kept\n");
    return false;  // still marked: a later flush tries again
  }
  std::lock_guard<std::mutex> guard(s.lock);
  // A change made while the file was written is not in it: the mark stays for the next flush.
  if (s.changes == snapshot && s.file == file) s.dirty = false;
  return true;
}

void clear() {
  auto& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  s.resetRoots();
  s.header.clear();
  s.changed();
}

void setFile(const std::string& hostPath) {
  auto& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  s.file = hostPath;
  s.sourceDamaged = false;
  s.changed();
}

}  // namespace plat::registry

namespace plat {

void registryStartup(const std::string& unitRoot, bool persist) {
  if (persist && !unitRoot.empty()) {
    // A save cut off by a power cut leaves its temporary file beside the registry.
    removeStaleTemporaries(unitRoot);
    registry::load(unitRoot + "/registry.reg");
  } else {
    // Without a unit root (or when the unit keeps no registry) nothing is read or written:
    // the host's own root is no place for the unit's registry.
    registry::clear();
    registry::setFile("");
  }
  // The time zone lives in the registry as on the device.
  time::restoreTimeZone();
}

void registryShutdown() {
  registry::flush();
  registry::setFile("");
}

}  // namespace plat

using namespace plat::registry;

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM, PHKEY result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  auto& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  LSTATUS error = ERROR_SUCCESS;
  auto node = keyOf(s, key, error);
  if (!node) return error;
  for (auto part : splitPath(subKey)) {
    auto it = node->children.find(foldName(part));
    if (it == node->children.end()) return ERROR_FILE_NOT_FOUND;
    node = it->second;
  }
  *result = newHandle(s, node);
  return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, PHKEY result,
                        LPDWORD disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  auto& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  LSTATUS error = ERROR_SUCCESS;
  auto node = keyOf(s, key, error);
  if (!node) return error;
  bool created = false;
  auto parts = splitPath(subKey);
  for (auto part : parts)
    if (!validName(part)) return ERROR_INVALID_PARAMETER;
  if (node->depth + parts.size() > static_cast<size_t>(kMaxDepth)) return ERROR_INVALID_PARAMETER;
  for (auto part : parts) {
    auto& child = node->children[foldName(part)];
    if (!child) {
      child = std::make_shared<Key>();
      child->name = std::u16string(part);
      child->depth = node->depth + 1;
      created = true;
    }
    node = child;
  }
  if (created) s.changed();
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *result = newHandle(s, node);
  return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key) {
  auto value = reinterpret_cast<uintptr_t>(key);
  if (value >= 0x80000000u && value < 0x80000004u) return ERROR_SUCCESS;
  auto& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.handles.erase(value) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
  auto& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  LSTATUS error = ERROR_SUCCESS;
  auto node = keyOf(s, key, error);
  if (!node) return error;
  auto it = node->values.find(foldName(nameOf(name)));
  if (it == node->values.end()) return ERROR_FILE_NOT_FOUND;
  return copyData(it->second, type, data, size);
}

LSTATUS RegSetValueExW(HKEY key, LPCWSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
  if (!data && size) return ERROR_INVALID_PARAMETER;
  auto& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  LSTATUS error = ERROR_SUCCESS;
  auto node = keyOf(s, key, error);
  if (!node) return error;
  std::u16string valueName = nameOf(name);
  if (!validName(valueName)) return ERROR_INVALID_PARAMETER;
  auto& value = node->values[foldName(valueName)];
  if (value.name.empty()) value.name = valueName;
  value.type = type;
  value.data.assign(data, data + size);
  s.changed();
  return ERROR_SUCCESS;
}

LSTATUS RegDeleteValueW(HKEY key, LPCWSTR name) {
  auto& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  LSTATUS error = ERROR_SUCCESS;
  auto node = keyOf(s, key, error);
  if (!node) return error;
  if (!node->values.erase(foldName(nameOf(name)))) return ERROR_FILE_NOT_FOUND;
  s.changed();
  return ERROR_SUCCESS;
}

LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR subKey) {
  auto parts = splitPath(subKey);
  if (parts.empty()) return ERROR_INVALID_PARAMETER;
  auto& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  LSTATUS error = ERROR_SUCCESS;
  auto node = keyOf(s, key, error);
  if (!node) return error;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    auto it = node->children.find(foldName(parts[i]));
    if (it == node->children.end()) return ERROR_FILE_NOT_FOUND;
    node = it->second;
  }
  auto it = node->children.find(foldName(parts.back()));
  if (it == node->children.end()) return ERROR_FILE_NOT_FOUND;
  // As on the device, the key goes with everything below it; open handles to it go stale.
  RegistryState::markDeleted(*it->second);
  node->children.erase(it);
  s.changed();
  return ERROR_SUCCESS;
}

LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLen, LPDWORD, LPWSTR className,
                      LPDWORD classLen, LPFILETIME lastWrite) {
  auto& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  LSTATUS error = ERROR_SUCCESS;
  auto node = keyOf(s, key, error);
  if (!node) return error;
  if (index >= node->children.size()) return ERROR_NO_MORE_ITEMS;
  auto it = node->children.begin();
  std::advance(it, index);
  LSTATUS status = copyName(it->second->name, name, nameLen);
  if (status != ERROR_SUCCESS) return status;
  if (className && classLen && *classLen) className[0] = 0;
  if (classLen) *classLen = 0;
  if (lastWrite) *lastWrite = FILETIME{};
  return ERROR_SUCCESS;
}

LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLen, LPDWORD, LPDWORD type, LPBYTE data,
                      LPDWORD dataLen) {
  auto& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  LSTATUS error = ERROR_SUCCESS;
  auto node = keyOf(s, key, error);
  if (!node) return error;
  if (index >= node->values.size()) return ERROR_NO_MORE_ITEMS;
  auto it = node->values.begin();
  std::advance(it, index);
  LSTATUS status = copyName(it->second.name, name, nameLen);
  if (status != ERROR_SUCCESS) return status;
  return copyData(it->second, type, data, dataLen);
}

LSTATUS RegFlushKey(HKEY key) {
  {
    auto& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    LSTATUS error = ERROR_SUCCESS;
    if (!keyOf(s, key, error)) return error;
  }
  return flush() ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}
