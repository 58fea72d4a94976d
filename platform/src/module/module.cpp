// Module handles: the built-in "coredll.dll" and language resource modules (string tables).
// Nothing is ever executed: a language module is data, whichever form it has.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "core/kernel_object.h"
#include "module/string_table.h"
#include "plat_core.h"
#include "plat_file.h"
#include "plat_module.h"
#include "plat_strings.h"

namespace {

struct Module {
  bool builtin = false;
  std::string key;  // host path, or "coredll" for the built-in module
  // What the file held when it was read: a file that changed since is another module.
  size_t contentHash = 0;
  size_t contentSize = 0;
  plat::module::StringTable strings;
  int refs = 0;
};

struct ModuleTable {
  std::mutex lock;
  std::map<uintptr_t, std::shared_ptr<Module>> byHandle;
  uintptr_t next = 0;
};

ModuleTable& table() {
  static ModuleTable* t = new ModuleTable();
  return *t;
}

HMODULE toHandle(uintptr_t value) { return reinterpret_cast<HMODULE>(value); }

// Handles look like module bases: 64 KB apart, never reused within a run.
uintptr_t newHandleValue(ModuleTable& t) { return 0x7E000000u + (++t.next) * 0x10000u; }

std::shared_ptr<Module> find(HMODULE module) {
  ModuleTable& t = table();
  auto it = t.byHandle.find(reinterpret_cast<uintptr_t>(module));
  return it == t.byHandle.end() ? nullptr : it->second;
}

std::u16string lower(std::u16string s) {
  for (char16_t& c : s) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  }
  return s;
}

std::u16string fileNamePart(const std::u16string& name) {
  size_t cut = name.find_last_of(u"\\/");
  return cut == std::u16string::npos ? name : name.substr(cut + 1);
}

std::u16string programDirectory() {
  WCHAR buffer[MAX_PATH] = {};
  DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  std::u16string full(buffer, n < MAX_PATH ? n : MAX_PATH - 1);
  size_t cut = full.rfind(u'\\');
  return cut == std::u16string::npos ? std::u16string() : full.substr(0, cut);
}

// Device paths to try for a module name, in order.
std::vector<std::u16string> candidates(std::u16string name) {
  if (fileNamePart(name).find(u'.') == std::u16string::npos) name += u".dll";
  if (name.find_first_of(u"\\/") != std::u16string::npos) return {name};
  return {programDirectory() + u"\\" + name, u"\\Windows\\" + name};
}

std::string narrow(const std::u16string& s) { return plat::utf16ToUtf8(s); }

HMODULE addModule(ModuleTable& t, std::shared_ptr<Module> module) {
  uintptr_t value = newHandleValue(t);
  module->refs = 1;
  t.byHandle[value] = std::move(module);
  return toHandle(value);
}

// The loaded module of that file, when the file still holds what it held then (`bytes` null:
// any content, for the built-in module).
HMODULE findLoaded(ModuleTable& t, const std::string& key, const std::string* bytes = nullptr) {
  size_t hash = bytes ? std::hash<std::string>{}(*bytes) : 0;
  for (auto& [value, module] : t.byHandle) {
    if (module->key == key &&
        (!bytes || (module->contentSize == bytes->size() && module->contentHash == hash))) {
      ++module->refs;
      return toHandle(value);
    }
  }
  return nullptr;
}

}  // namespace

HMODULE LoadLibraryW(LPCWSTR name) { return LoadLibraryExW(name, nullptr, 0); }

HMODULE LoadLibraryExW(LPCWSTR name, HANDLE, DWORD) {
  // Whatever the flags ask, a module is only ever read as data here.
  if (!name || !*name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::u16string given(name);
  ModuleTable& t = table();

  std::u16string file = lower(fileNamePart(given));
  if (file == u"coredll.dll" || file == u"coredll") {
    std::lock_guard<std::mutex> guard(t.lock);
    if (HMODULE loaded = findLoaded(t, "coredll")) return loaded;
    auto module = std::make_shared<Module>();
    module->builtin = true;
    module->key = "coredll";
    return addModule(t, std::move(module));
  }

  // A module that is there but cannot be read is named with the reason; a missing one is not.
  std::string unreadable;
  for (const std::u16string& candidate : candidates(given)) {
    std::string host = plat::hostPath(candidate);
    std::string bytes;
    if (!plat::readHostFile(host, bytes)) {
      struct stat st;
      if (unreadable.empty() && ::lstat(host.c_str(), &st) == 0) {
        std::string why = plat::lastFileFailure();
        unreadable =
            "\"" + narrow(candidate) + "\" " + (why.compare(0, 3, "is ") == 0 ? why : "cannot be read: " + why);
      }
      continue;
    }
    {
      std::lock_guard<std::mutex> guard(t.lock);
      if (HMODULE loaded = findLoaded(t, host, &bytes)) return loaded;
    }
    auto module = std::make_shared<Module>();
    module->key = host;
    module->contentHash = std::hash<std::string>{}(bytes);
    module->contentSize = bytes.size();
    plat::module::ParseResult parsed = plat::module::parseModule(bytes, module->strings);
    if (!parsed.ok) {
      std::string where = parsed.line > 0 ? " line " + std::to_string(parsed.line) + ":" : "";
      plat::console::writeUtf8("LoadLibraryExW: \"" + narrow(candidate) + "\" is not a language module:" + where +
                               " " + parsed.error + "\n");
      SetLastError(ERROR_BAD_EXE_FORMAT);
      return nullptr;
    }
    std::lock_guard<std::mutex> guard(t.lock);
    // Another thread may have loaded the same file meanwhile: share its handle.
    if (HMODULE loaded = findLoaded(t, host, &bytes)) return loaded;
    return addModule(t, std::move(module));
  }
  if (!unreadable.empty()) {
    plat::console::writeUtf8("LoadLibraryExW: " + unreadable + "\n");
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

BOOL FreeLibrary(HMODULE module) {
  ModuleTable& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.byHandle.find(reinterpret_cast<uintptr_t>(module));
  if (it == t.byHandle.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (--it->second->refs <= 0) t.byHandle.erase(it);
  return TRUE;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  std::shared_ptr<Module> m;
  {
    std::lock_guard<std::mutex> guard(table().lock);
    m = find(module);
  }
  if (!m) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  // Ordinals (values below 64 K passed as names) are not offered.
  if (m->builtin && name && reinterpret_cast<uintptr_t>(name) > 0xFFFF) {
    if (FARPROC proc = plat::coredllProc(name)) return proc;
  }
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

FARPROC GetProcAddressW(HMODULE module, LPCWSTR name) {
  if (!name || reinterpret_cast<uintptr_t>(name) <= 0xFFFF) return GetProcAddress(module, nullptr);
  std::string ascii;
  for (const WCHAR* p = name; *p; ++p) ascii += *p < 0x80 ? static_cast<char>(*p) : '?';
  return GetProcAddress(module, ascii.c_str());
}

int LoadStringW(HINSTANCE module, UINT id, LPWSTR buffer, int bufferMax) {
  if (!buffer || bufferMax < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  ModuleTable& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  std::shared_ptr<Module> m = find(module);
  if (bufferMax > 0) buffer[0] = 0;
  if (!m) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  auto it = id <= 0xFFFF ? m->strings.find(static_cast<uint16_t>(id)) : m->strings.end();
  if (it == m->strings.end()) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return 0;
  }
  const std::u16string& text = it->second;
  if (bufferMax == 0) {
    // The caller gets a pointer to the module's own copy.
    const WCHAR* data = text.data();
    std::memcpy(buffer, &data, sizeof(data));
    return static_cast<int>(text.size());
  }
  size_t n = text.size() < static_cast<size_t>(bufferMax - 1) ? text.size() : static_cast<size_t>(bufferMax - 1);
  std::copy(text.begin(), text.begin() + static_cast<ptrdiff_t>(n), buffer);
  buffer[n] = 0;
  return static_cast<int>(n);
}

size_t plat::module::loadedCount() {
  ModuleTable& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  return t.byHandle.size();
}
