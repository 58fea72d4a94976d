// Input scripts come from the command line of a test run or a demo: any text must parse into
// steps or an error line, never crash or run away.
#include <cstdint>
#include <string>
#include <vector>

#include "plat_display.h"
#include "windows.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<plat::display::ScriptStep> steps;
  std::string error;
  bool ok = plat::display::parseInputScript(text, steps, error);
  // A refusal always says why.
  if (!ok && error.empty()) __builtin_trap();
  return 0;
}
