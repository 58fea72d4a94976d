// The registry in memory: keys with case-blind names, typed values, and the script format
// the unit keeps it in.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "plat_types.h"

namespace plat::registry {

struct Value {
  std::u16string name;  // as first written; "" is the default value
  DWORD type = 0;
  std::vector<uint8_t> data;
};

struct Key {
  std::u16string name;
  // Keyed by the folded name, so enumeration and the written script follow one fixed order.
  std::map<std::u16string, std::shared_ptr<Key>> children;
  std::map<std::u16string, Value> values;
  // Set when the key is deleted while a handle still names it.
  bool deleted = false;
  // Levels below its root key (a root is 0).
  int depth = 0;
};

// How deep the tree may go. A script line naming a key hundreds of thousands of levels deep
// would otherwise exhaust the stack when the tree is written back or freed.
constexpr int kMaxDepth = 512;

// The folded form of a key or value name, for lookups and ordering.
std::u16string foldName(std::u16string_view name);

// Names may hold anything but a zero or a line break (the script could not hold those).
bool validName(std::u16string_view name);

// Reads a registry script into `roots` (indexed like the predefined keys 0..3). Every line
// that cannot be read is reported through `report(lineNumber, what)`. Comment lines before
// the first key are returned in `header`.
void parseScript(const std::string& text, std::shared_ptr<Key> roots[4], std::vector<std::string>& header,
                 const std::function<void(int, const std::string&)>& report);

// Writes the tree as a script, deterministic: keys depth first in folded-name order.
std::string writeScript(const std::shared_ptr<Key> roots[4], const std::vector<std::string>& header);

extern const char16_t* const kRootNames[4];

}  // namespace plat::registry
