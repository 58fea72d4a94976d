// Case mapping and the device's word order for file lists and lstrcmpW.
#include "strings/collation.h"

namespace plat::strings {

namespace {

bool inRange(WCHAR c, unsigned lo, unsigned hi) { return c >= lo && c <= hi; }
bool isEven(WCHAR c) { return (c & 1) == 0; }

// Base letters of Latin-1 (0xC0-0xFF) and Latin Extended-A (0x100-0x17F): '.' is not a
// letter, '*' a letter of its own (thorn).
const char kLatinBase[] =
    "aaaaaaaceeeeiiiidnooooo.ouuuuy*s"
    "aaaaaaaceeeeiiiidnooooo.ouuuuy*y"
    "aaaaaaccccccccddddeeeeeeeeeegggg"
    "gggghhhhiiiiiiiiiiiijjkkklllllll"
    "lllnnnnnnnnnoooooooorrrrrrssssss"
    "ssttttttuuuuuuuuuuuuwwyyyzzzzzzs";
static_assert(sizeof(kLatinBase) == 0x180 - 0xC0 + 1, "one base letter per code point");

}  // namespace

WCHAR toLower(WCHAR c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<WCHAR>(c + 32) : c;
  if (c < 0xC0) return c;
  if (c <= 0xDE) return c == 0xD7 ? c : static_cast<WCHAR>(c + 32);
  if (c < 0x100) return c;
  if (c == 0x130) return u'i';
  if (inRange(c, 0x100, 0x137) || inRange(c, 0x14A, 0x177)) return isEven(c) ? static_cast<WCHAR>(c + 1) : c;
  if (inRange(c, 0x139, 0x148) || inRange(c, 0x179, 0x17E)) return isEven(c) ? c : static_cast<WCHAR>(c + 1);
  if (c == 0x178) return 0xFF;
  if (inRange(c, 0x1CD, 0x1DC)) return isEven(c) ? c : static_cast<WCHAR>(c + 1);
  if (inRange(c, 0x1DE, 0x1EF) || inRange(c, 0x1F8, 0x21F) || inRange(c, 0x222, 0x233))
    return isEven(c) ? static_cast<WCHAR>(c + 1) : c;
  if (inRange(c, 0x1E00, 0x1E95) || inRange(c, 0x1EA0, 0x1EFF)) return isEven(c) ? static_cast<WCHAR>(c + 1) : c;
  if (inRange(c, 0x370, 0x3FF)) {
    if (c == 0x386) return 0x3AC;
    if (inRange(c, 0x388, 0x38A)) return static_cast<WCHAR>(c + 37);
    if (c == 0x38C) return 0x3CC;
    if (inRange(c, 0x38E, 0x38F)) return static_cast<WCHAR>(c + 63);
    if (inRange(c, 0x391, 0x3AB) && c != 0x3A2) return static_cast<WCHAR>(c + 32);
    if (inRange(c, 0x3D8, 0x3EF)) return isEven(c) ? static_cast<WCHAR>(c + 1) : c;
    return c;
  }
  if (inRange(c, 0x400, 0x52F)) {
    if (c <= 0x40F) return static_cast<WCHAR>(c + 80);
    if (c <= 0x42F) return static_cast<WCHAR>(c + 32);
    if (inRange(c, 0x460, 0x481) || inRange(c, 0x48A, 0x4BF) || inRange(c, 0x4D0, 0x52F))
      return isEven(c) ? static_cast<WCHAR>(c + 1) : c;
    if (c == 0x4C0) return 0x4CF;
    if (inRange(c, 0x4C1, 0x4CE)) return isEven(c) ? c : static_cast<WCHAR>(c + 1);
    return c;
  }
  if (inRange(c, 0x531, 0x556)) return static_cast<WCHAR>(c + 48);
  if (inRange(c, 0xFF21, 0xFF3A)) return static_cast<WCHAR>(c + 32);
  return c;
}

WCHAR toUpper(WCHAR c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<WCHAR>(c - 32) : c;
  if (c < 0xE0) return c;
  if (c <= 0xFE) return c == 0xF7 ? c : static_cast<WCHAR>(c - 32);
  if (c == 0xFF) return 0x178;
  if (c == 0x131) return u'I';
  if (c == 0x17F) return u'S';
  if (inRange(c, 0x100, 0x137) || inRange(c, 0x14A, 0x177)) return isEven(c) ? c : static_cast<WCHAR>(c - 1);
  if (inRange(c, 0x139, 0x148) || inRange(c, 0x179, 0x17E)) return isEven(c) ? static_cast<WCHAR>(c - 1) : c;
  if (inRange(c, 0x1CD, 0x1DC)) return isEven(c) ? static_cast<WCHAR>(c - 1) : c;
  if (inRange(c, 0x1DE, 0x1EF) || inRange(c, 0x1F8, 0x21F) || inRange(c, 0x222, 0x233))
    return isEven(c) ? c : static_cast<WCHAR>(c - 1);
  if (inRange(c, 0x1E00, 0x1E95) || inRange(c, 0x1EA0, 0x1EFF)) return isEven(c) ? c : static_cast<WCHAR>(c - 1);
  if (inRange(c, 0x370, 0x3FF)) {
    if (c == 0x3AC) return 0x386;
    if (inRange(c, 0x3AD, 0x3AF)) return static_cast<WCHAR>(c - 37);
    if (c == 0x3C2) return 0x3A3;
    if (inRange(c, 0x3B1, 0x3CB)) return static_cast<WCHAR>(c - 32);
    if (c == 0x3CC) return 0x38C;
    if (inRange(c, 0x3CD, 0x3CE)) return static_cast<WCHAR>(c - 63);
    if (inRange(c, 0x3D8, 0x3EF)) return isEven(c) ? c : static_cast<WCHAR>(c - 1);
    return c;
  }
  if (inRange(c, 0x400, 0x52F)) {
    if (inRange(c, 0x430, 0x44F)) return static_cast<WCHAR>(c - 32);
    if (inRange(c, 0x450, 0x45F)) return static_cast<WCHAR>(c - 80);
    if (inRange(c, 0x460, 0x481) || inRange(c, 0x48A, 0x4BF) || inRange(c, 0x4D0, 0x52F))
      return isEven(c) ? c : static_cast<WCHAR>(c - 1);
    if (c == 0x4CF) return 0x4C0;
    if (inRange(c, 0x4C1, 0x4CE)) return isEven(c) ? static_cast<WCHAR>(c - 1) : c;
    return c;
  }
  if (inRange(c, 0x561, 0x586)) return static_cast<WCHAR>(c - 48);
  if (inRange(c, 0xFF41, 0xFF5A)) return static_cast<WCHAR>(c - 32);
  return c;
}

namespace {

enum : uint32_t { kPunctuation = 1, kDigit = 2, kLetter = 3 };

uint32_t weight(uint32_t cls, uint32_t value) { return (cls << 20) | value; }

int digitValue(WCHAR c) {
  if (inRange(c, u'0', u'9')) return c - u'0';
  if (inRange(c, 0x660, 0x669)) return c - 0x660;
  if (inRange(c, 0x6F0, 0x6F9)) return c - 0x6F0;
  if (inRange(c, 0xFF10, 0xFF19)) return c - 0xFF10;
  if (c == 0xB9) return 1;
  if (c == 0xB2) return 2;
  if (c == 0xB3) return 3;
  return -1;
}

bool isLetter(WCHAR c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
  if (c < 0xC0) return c == 0xAA || c == 0xB5 || c == 0xBA;
  if (c <= 0x24F) return c != 0xD7 && c != 0xF7;
  if (c <= 0x2C1) return true;
  if (c < 0x370) return false;  // modifier letters and combining marks
  if (c <= 0x3FF) return c != 0x375 && c != 0x37E && c != 0x384 && c != 0x385 && c != 0x387 && c != 0x3F6;
  if (c <= 0x52F) return !inRange(c, 0x482, 0x489);
  if (c < 0x2000) return true;
  if (c < 0x2C00) return false;  // punctuation, currency, arrows, mathematics, box drawing
  if (c < 0x2E00) return true;
  if (c < 0x3000) return false;
  if (c < 0x3040) return inRange(c, 0x3005, 0x3007);
  if (c < 0xFE00) return true;  // kana, CJK, Hangul, surrogates, private use
  if (c < 0xFE70) return false;
  if (c < 0xFF00) return c != 0xFEFF;
  if (inRange(c, 0xFF21, 0xFF3A) || inRange(c, 0xFF41, 0xFF5A)) return true;
  return inRange(c, 0xFF66, 0xFFDF);
}

// The letter a lower-case letter sorts with, and whether it carries an accent.
WCHAR baseLetter(WCHAR lower) {
  if (inRange(lower, 0xC0, 0x17F)) {
    char base = kLatinBase[lower - 0xC0];
    if (base >= 'a' && base <= 'z') return static_cast<WCHAR>(base);
    return lower;
  }
  switch (lower) {
    case 0x3AC: return 0x3B1;
    case 0x3AD: return 0x3B5;
    case 0x3AE: return 0x3B7;
    case 0x3AF: case 0x390: case 0x3CA: return 0x3B9;
    case 0x3CC: return 0x3BF;
    case 0x3CD: case 0x3B0: case 0x3CB: return 0x3C5;
    case 0x3CE: return 0x3C9;
    case 0x3C2: return 0x3C3;
    case 0x451: return 0x435;
    default: break;
  }
  if (inRange(lower, 0x1E00, 0x1EFF)) {
    // Latin Extended Additional: Vietnamese and Welsh letters with accents, in pairs.
    static const struct { WCHAR from, to; WCHAR base; } kRanges[] = {
        {0x1E00, 0x1E01, 'a'}, {0x1E02, 0x1E07, 'b'}, {0x1E08, 0x1E09, 'c'}, {0x1E0A, 0x1E13, 'd'},
        {0x1E14, 0x1E1D, 'e'}, {0x1E1E, 0x1E1F, 'f'}, {0x1E20, 0x1E21, 'g'}, {0x1E22, 0x1E2B, 'h'},
        {0x1E2C, 0x1E2F, 'i'}, {0x1E30, 0x1E35, 'k'}, {0x1E36, 0x1E3D, 'l'}, {0x1E3E, 0x1E43, 'm'},
        {0x1E44, 0x1E4B, 'n'}, {0x1E4C, 0x1E53, 'o'}, {0x1E54, 0x1E57, 'p'}, {0x1E58, 0x1E5F, 'r'},
        {0x1E60, 0x1E69, 's'}, {0x1E6A, 0x1E71, 't'}, {0x1E72, 0x1E7B, 'u'}, {0x1E7C, 0x1E7F, 'v'},
        {0x1E80, 0x1E89, 'w'}, {0x1E8A, 0x1E8D, 'x'}, {0x1E8E, 0x1E8F, 'y'}, {0x1E90, 0x1E95, 'z'},
        {0x1EA0, 0x1EB7, 'a'}, {0x1EB8, 0x1EC7, 'e'}, {0x1EC8, 0x1ECB, 'i'}, {0x1ECC, 0x1EE3, 'o'},
        {0x1EE4, 0x1EF1, 'u'}, {0x1EF2, 0x1EF9, 'y'},
    };
    for (const auto& r : kRanges)
      if (inRange(lower, r.from, r.to)) return r.base;
  }
  return lower;
}

}  // namespace

SortWeights sortWeights(WCHAR c) {
  uint16_t wide = 0;
  if (inRange(c, 0xFF01, 0xFF5E)) {
    // Full-width forms sort with their ASCII letters, digits and signs.
    c = static_cast<WCHAR>(c - 0xFEE0);
    wide = 1;
  }
  int digit = digitValue(c);
  if (digit >= 0) {
    return {weight(kDigit, static_cast<uint32_t>(digit)), static_cast<uint16_t>(c == u'0' + digit ? wide : c), 0};
  }
  if (!isLetter(c)) return {weight(kPunctuation, c), wide, 0};
  WCHAR lower = toLower(c);
  uint8_t upper = lower != c ? 1 : 0;
  WCHAR base = baseLetter(lower);
  uint16_t accent = base != lower ? lower : wide;
  return {weight(kLetter, base), accent, upper};
}

namespace {

struct Cursor {
  const WCHAR* s;
  int length;  // -1: up to the terminator
  int at = 0;
  bool done() const { return length < 0 ? s[at] == 0 : at >= length; }
  WCHAR next() { return s[at++]; }
};

// Word sort: hyphens and apostrophes do not take part in the letter, accent and case
// levels, so that "coop" and "co-op" stay together in a sorted list.
bool isIgnorable(WCHAR c) { return c == u'-' || c == u'\'' || c == 0xAD || c == 0x2010 || c == 0x2011; }

template <class Key>
int compareLevel(const WCHAR* a, int lengthA, const WCHAR* b, int lengthB, Key key) {
  Cursor x{a, lengthA}, y{b, lengthB};
  for (;;) {
    while (!x.done() && isIgnorable(x.s[x.at])) ++x.at;
    while (!y.done() && isIgnorable(y.s[y.at])) ++y.at;
    bool endX = x.done(), endY = y.done();
    if (endX || endY) return endX == endY ? 0 : (endX ? -1 : 1);
    auto kx = key(x.next()), ky = key(y.next());
    if (kx != ky) return kx < ky ? -1 : 1;
  }
}

// The last word-sort level: where the ignored marks stand and which they are. A text without
// them sorts first ("coop" before "co-op").
int compareIgnorables(const WCHAR* a, int lengthA, const WCHAR* b, int lengthB) {
  Cursor x{a, lengthA}, y{b, lengthB};
  for (;;) {
    while (!x.done() && !isIgnorable(x.s[x.at])) ++x.at;
    while (!y.done() && !isIgnorable(y.s[y.at])) ++y.at;
    bool endX = x.done(), endY = y.done();
    if (endX || endY) return endX == endY ? 0 : (endX ? -1 : 1);
    if (x.at != y.at) return x.at < y.at ? -1 : 1;
    WCHAR cx = x.next(), cy = y.next();
    if (cx != cy) return cx < cy ? -1 : 1;
  }
}

}  // namespace

int collate(const WCHAR* a, int lengthA, const WCHAR* b, int lengthB, bool withCase) {
  static const WCHAR kEmpty[] = {0};
  if (!a) a = kEmpty, lengthA = 0;
  if (!b) b = kEmpty, lengthB = 0;
  int r = compareLevel(a, lengthA, b, lengthB, [](WCHAR c) { return sortWeights(c).primary; });
  if (r) return r;
  r = compareLevel(a, lengthA, b, lengthB, [](WCHAR c) { return sortWeights(c).secondary; });
  if (r) return r;
  if (withCase) {
    r = compareLevel(a, lengthA, b, lengthB, [](WCHAR c) { return sortWeights(c).tertiary; });
    if (r) return r;
  }
  r = compareIgnorables(a, lengthA, b, lengthB);
  if (r || !withCase) return r;
  return compareLevel(a, lengthA, b, lengthB, [](WCHAR c) { return static_cast<uint32_t>(c); });
}

}  // namespace plat::strings
