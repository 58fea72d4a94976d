// Registry scripts from outside (a unit's registry.reg): any bytes must load without a crash,
// and what the registry writes must read back to the same text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "windows.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool quiet = [] {
    plat::console::setEcho(false);
    return true;
  }();
  (void)quiet;
  plat::registry::loadText(std::string(reinterpret_cast<const char*>(data), size), "fuzz.reg");
  std::string first = plat::registry::toText();
  plat::registry::loadText(first, "fuzz-again.reg");
  if (plat::registry::toText() != first) std::abort();
  return 0;
}
