// LOCAL ONLY - never commit. Stands in for areas not merged yet.
#include <windows.h>
#include <string>
#include "plat_core.h"
namespace plat {
std::string hostPath(std::u16string_view p) {
  std::string s = plat::options().unitRoot;
  for (char16_t c : p) s += c == u'\\' ? '/' : char(c);
  return s;
}
std::string hostPath(LPCWSTR p) { return hostPath(std::u16string_view(p)); }
}
namespace plat { void setUnitRoot(const std::string&) {} }
