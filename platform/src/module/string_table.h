// String tables of language resource modules, read from either of the two module forms:
// a UTF-8 resource script with STRINGTABLE blocks, or a PE resource-only DLL (RT_STRING).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace plat::module {

using StringTable = std::map<uint16_t, std::u16string>;

struct ParseResult {
  bool ok = false;
  // 1-based line of the first error of a resource script (0 for PE files and no error).
  int line = 0;
  std::string error;
};

// True when the bytes start like a PE image ("MZ").
bool looksLikePe(std::string_view bytes);

// Parses a resource script (UTF-8, optional byte-order mark; UTF-16LE with its mark is
// accepted too). Fails on the first syntax error and when the script holds no STRINGTABLE.
ParseResult parseResourceScript(std::string_view bytes, StringTable& table);

// Reads the RT_STRING resources of a PE image. Every offset is checked against the file.
ParseResult parsePeStrings(std::string_view bytes, StringTable& table);

// Chooses the form by content and parses.
ParseResult parseModule(std::string_view bytes, StringTable& table);

// Number of modules loaded now (tests look for leaks with it).
size_t loadedCount();

}  // namespace plat::module
