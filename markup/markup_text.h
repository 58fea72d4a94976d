// Character-level helpers shared by the parser and the document operations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace markup {

inline bool isSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

// A tag name runs up to white space or one of "<>=\/?!".
inline bool endsName(char16_t c) {
  switch (c) {
    case u' ': case u'\t': case u'\r': case u'\n':
    case u'<': case u'>': case u'=': case u'\\': case u'/': case u'?': case u'!':
      return true;
    default:
      return false;
  }
}

// What may follow "<" to start an element: a letter, "_", ":" or anything above the small letters.
inline bool startsName(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c == u':' || c > u'z';
}

// A name given by the caller ends at its terminator or at one of " =/[]".
inline bool endsGivenName(char16_t c) {
  return c == 0 || c == u' ' || c == u'=' || c == u'/' || c == u'[' || c == u']';
}

inline char16_t foldCase(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

// Index of the first `c` in [from, end) of `text`, or `end`.
inline size_t findChar(const char16_t* text, size_t from, size_t end, char16_t c) {
  const char16_t* p = text + from;
  const char16_t* e = text + end;
  while (p < e && *p != c) ++p;
  return static_cast<size_t>(p - text);
}

// Index of `pattern` in [from, end) of `text`, or `end` when it is not there.
size_t findText(const char16_t* text, size_t from, size_t end, std::u16string_view pattern);

// Decodes UTF-8 the way documents are read: "?" for invalid lead bytes and short sequences, a
// NUL ends the text, code points above U+FFFF become surrogate pairs.
std::u16string decodeUtf8(const char* bytes, size_t count);
// Encodes UTF-16 as UTF-8 without a byte-order mark. A lone surrogate is written as its own
// three-byte sequence, which decodeUtf8 reads back unchanged.
std::string encodeUtf8(const char16_t* text, size_t count);

// Appends text with the five named references and numeric references resolved.
void unescapeInto(std::u16string& out, const char16_t* text, size_t count);

std::u16string decimal(long long value);

}  // namespace markup
