// Last error, the module name, and bringing the platform up and down.
#include <sys/stat.h>

#include <mutex>

#include "core/kernel_object.h"
#include "plat_core.h"
#include "plat_file.h"
#include "plat_strings.h"

namespace {
thread_local DWORD lastError = 0;

std::mutex& optionsLock() {
  static std::mutex* m = new std::mutex();
  return *m;
}

plat::Options& currentOptions() {
  static plat::Options* o = new plat::Options();
  return *o;
}
}  // namespace

DWORD GetLastError() { return lastError; }
void SetLastError(DWORD error) { lastError = error; }

DWORD GetModuleFileNameW(HMODULE, LPWSTR buffer, DWORD size) {
  if (!buffer || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::u16string name;
  {
    std::lock_guard<std::mutex> guard(optionsLock());
    name = currentOptions().moduleFileName;
  }
  if (name.size() + 1 > size) {
    // As the device: cut, terminate, and say the buffer was short.
    name.resize(size - 1);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
  }
  std::copy(name.begin(), name.end(), buffer);
  buffer[name.size()] = 0;
  return static_cast<DWORD>(name.size());
}

HMODULE GetModuleHandleW(LPCWSTR) {
  // The program itself; a non-null value callers can pass back.
  return reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x400000));
}

namespace plat {

void startup(const Options& options) {
  // Whatever the shell creates (settings, registry, play lists, console copies, snapshots) is
  // never writable by the group or by others, whatever mask it was started with.
  ::umask(::umask(0) | 022);
  {
    std::lock_guard<std::mutex> guard(optionsLock());
    currentOptions() = options;
  }
  setUnitRoot(options.unitRoot);
  console::setFile(options.consoleFile);
  registryStartup(options.unitRoot, options.persistRegistry);
}

void shutdown() {
  registryShutdown();
  console::setFile("");
}

const Options& options() {
  std::lock_guard<std::mutex> guard(optionsLock());
  return currentOptions();
}

}  // namespace plat
