// Placeholder until the serial area lands: no serial ports.
#include "core/kernel_object.h"
#include "plat_core.h"

namespace plat {
HANDLE openSerialDevice(const std::u16string&, DWORD, DWORD, DWORD, DWORD) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  return nullptr;
}
}  // namespace plat
