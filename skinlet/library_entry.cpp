// The library's attach and detach lines on the debug console.
#include "windows.h"

namespace {

std::u16string entryLine(const char16_t* verb) {
  std::u16string line = u"Skinlet.dll(2.0) : ";
  line += verb;
  line += u" [";
  // Build date and time as the compiler gives them (plain ASCII).
  for (const char* p = __DATE__; *p; ++p) line += static_cast<char16_t>(*p);
  line += u'/';
  for (const char* p = __TIME__; *p; ++p) line += static_cast<char16_t>(*p);
  line += u"/RELEASE]\n";
  return line;
}

// A program whose output is its findings alone (skin-check) defines this symbol as non-zero:
// the library then keeps its attach and detach lines off the console.
extern "C" __attribute__((weak)) const int hu_skinlet_entry_lines_off;

bool entryLinesOff() { return &hu_skinlet_entry_lines_off != nullptr && hu_skinlet_entry_lines_off != 0; }

__attribute__((constructor)) void skinletAttached() {
  if (!entryLinesOff()) OutputDebugStringW(entryLine(u"attached").c_str());
}

__attribute__((destructor)) void skinletDetached() {
  if (!entryLinesOff()) OutputDebugStringW(entryLine(u"detached").c_str());
}

}  // namespace
