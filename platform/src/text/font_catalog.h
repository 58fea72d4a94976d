// Which font file draws a face name: the unit's \Windows\Fonts folder first, then
// fontconfig. Tests pin the files they draw with so results never depend on the machine.
#pragma once

#include <string>
#include <vector>

namespace plat::text {

struct FontFile {
  std::string path;
  int index = 0;  // face inside a collection (.ttc)
  std::string family;
  bool bold = false;
  bool italic = false;
};

// The families the device's face names stand for, in order of preference.
std::vector<std::string> familiesFor(const std::u16string& faceName);
// Families tried, in order, for characters the chosen face lacks (Chinese, Japanese, symbols).
const std::vector<std::string>& fallbackFamilies();

// The best file of a family (bold / italic preferred as asked); false when none is known.
bool findFontFile(const std::string& family, bool bold, bool italic, FontFile& out);

// Test hook: only these files are used (no unit folder, no fontconfig) until cleared with
// an empty list. Also drops every cached font.
void pinFontFiles(const std::vector<std::string>& paths);

// Forgets cached lookups (the unit root changed).
void resetFontCatalog();

}  // namespace plat::text
