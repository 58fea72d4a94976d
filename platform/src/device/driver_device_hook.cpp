// Placeholder until the device area lands: no drivers, no coredll procedures.
#include "core/kernel_object.h"
#include "plat_core.h"

namespace plat {
HANDLE openDriverDevice(const std::u16string&, DWORD, DWORD, DWORD, DWORD) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  return nullptr;
}
FARPROC coredllProc(const char*) { return nullptr; }
}  // namespace plat
