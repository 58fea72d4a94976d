// Language modules from outside: resource scripts and PE images must parse or fail cleanly.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "module/string_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  plat::module::StringTable table;
  plat::module::parseModule(bytes, table);
  plat::module::StringTable script;
  plat::module::parseResourceScript(bytes, script);
  plat::module::StringTable pe;
  plat::module::parsePeStrings(bytes, pe);
  return 0;
}
