// Screen scripts from outside: any document must load into records without a fault.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "markup.h"
#include "skin_loader.h"
#include "windows.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string text = plat::utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size));
  // Scripts come from files, and loading a file ends the text at a NUL character.
  text = text.substr(0, text.find(u'\0'));
  CMarkup xml;
  xml.SetDoc(text);
  std::vector<tagMenu> pages;
  skinlet::loadPages(xml, pages, nullptr);
  return 0;
}
