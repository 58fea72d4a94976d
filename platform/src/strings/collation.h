// Character classes and case mapping shared by the wide-string helpers.
#pragma once

#include <cstdint>

#include "plat_types.h"

namespace plat::strings {

// Simple one-to-one case mapping for Latin-1, Latin Extended-A/B (the paired letters),
// Latin Extended Additional, Greek, Cyrillic and the full-width Latin letters.
WCHAR toLower(WCHAR c);
WCHAR toUpper(WCHAR c);

// The weights of one character for the device's word order:
//   primary   - the letter without case or accent, digits by value, punctuation by code;
//               punctuation and blanks sort before digits, digits before letters;
//   secondary - the accent (0: none);
//   tertiary  - the case (0: lower or caseless, 1: upper).
struct SortWeights {
  uint32_t primary;
  uint16_t secondary;
  uint8_t tertiary;
};
SortWeights sortWeights(WCHAR c);

// Multi-level comparison: primary weights of the whole strings first, then accents, then
// case (when withCase), then code units (when withCase). Returns -1, 0 or 1.
int collate(const WCHAR* a, int lengthA, const WCHAR* b, int lengthB, bool withCase);

}  // namespace plat::strings
