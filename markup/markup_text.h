// Character-level helpers shared by the parser and the document operations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <algorithm>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace markup {

// Space, tab, carriage return and line feed: one bit test.
inline bool isSpace(char16_t c) {
  constexpr uint64_t kSpaces = (1ull << ' ') | (1ull << '\t') | (1ull << '\r') | (1ull << '\n');
  return c <= u' ' && ((kSpaces >> c) & 1);
}

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

// Characters that end an attribute name inside a start tag: white space and "=/>"'".
struct AttribNameEnds {
  bool table[128] = {};
  constexpr AttribNameEnds() {
    for (char16_t c : {u' ', u'\t', u'\r', u'\n', u'=', u'/', u'>', u'"', u'\''}) table[c] = true;
  }
  bool operator()(char16_t c) const { return c < 128 && table[c]; }
};
inline constexpr AttribNameEnds endsAttribName;

inline char16_t foldCase(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

// Index of the first `c` in [from, end) of `text`, or `end`. Eight characters at a time: this
// is where the parser spends most of its time.
inline size_t findChar(const char16_t* text, size_t from, size_t end, char16_t c) {
  size_t i = from;
#if defined(__SSE2__)
  const __m128i needle = _mm_set1_epi16(static_cast<short>(c));
  for (; i + 8 <= end; i += 8) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(v, needle)));
    if (mask) return i + (static_cast<unsigned>(__builtin_ctz(mask)) >> 1);
  }
#endif
  while (i < end && text[i] != c) ++i;
  return i;
}

// Index of the first `a` or `b` in [from, end), or `end`.
inline size_t findEither(const char16_t* text, size_t from, size_t end, char16_t a, char16_t b) {
  size_t i = from;
#if defined(__SSE2__)
  const __m128i va = _mm_set1_epi16(static_cast<short>(a));
  const __m128i vb = _mm_set1_epi16(static_cast<short>(b));
  for (; i + 8 <= end; i += 8) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(v, va), _mm_cmpeq_epi16(v, vb))));
    if (mask) return i + (static_cast<unsigned>(__builtin_ctz(mask)) >> 1);
  }
#endif
  while (i < end && text[i] != a && text[i] != b) ++i;
  return i;
}

// Index of the first of the four characters in [from, end), or `end`.
inline size_t findAnyOf4(const char16_t* text, size_t from, size_t end, char16_t a, char16_t b, char16_t c,
                         char16_t d) {
  size_t i = from;
#if defined(__SSE2__)
  const __m128i va = _mm_set1_epi16(static_cast<short>(a));
  const __m128i vb = _mm_set1_epi16(static_cast<short>(b));
  const __m128i vc = _mm_set1_epi16(static_cast<short>(c));
  const __m128i vd = _mm_set1_epi16(static_cast<short>(d));
  for (; i + 8 <= end; i += 8) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(v, va), _mm_cmpeq_epi16(v, vb)),
                               _mm_or_si128(_mm_cmpeq_epi16(v, vc), _mm_cmpeq_epi16(v, vd)));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
    if (mask) return i + (static_cast<unsigned>(__builtin_ctz(mask)) >> 1);
  }
#endif
  for (; i < end; ++i) {
    char16_t x = text[i];
    if (x == a || x == b || x == c || x == d) break;
  }
  return i;
}

// Index of the first of the three characters in [from, end), or `end`.
inline size_t findAnyOf3(const char16_t* text, size_t from, size_t end, char16_t a, char16_t b, char16_t c) {
  size_t i = from;
#if defined(__SSE2__)
  const __m128i va = _mm_set1_epi16(static_cast<short>(a));
  const __m128i vb = _mm_set1_epi16(static_cast<short>(b));
  const __m128i vc = _mm_set1_epi16(static_cast<short>(c));
  for (; i + 8 <= end; i += 8) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(v, va), _mm_cmpeq_epi16(v, vb)), _mm_cmpeq_epi16(v, vc));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
    if (mask) return i + (static_cast<unsigned>(__builtin_ctz(mask)) >> 1);
  }
#endif
  for (; i < end; ++i) {
    char16_t x = text[i];
    if (x == a || x == b || x == c) break;
  }
  return i;
}

// The end of a start tag: the first ">" or "<" in [from, end) that is not inside a quoted value,
// or `end`. One pass, eight characters at a time, visiting only the characters that matter.
inline size_t findTagEnd(const char16_t* text, size_t from, size_t end) {
  size_t i = from;
  char16_t quote = 0;
#if defined(__SSE2__)
  const __m128i gt = _mm_set1_epi16(u'>');
  const __m128i lt = _mm_set1_epi16(u'<');
  const __m128i dq = _mm_set1_epi16(u'"');
  const __m128i sq = _mm_set1_epi16(u'\'');
  for (; i + 8 <= end; i += 8) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(v, gt), _mm_cmpeq_epi16(v, lt)),
                               _mm_or_si128(_mm_cmpeq_epi16(v, dq), _mm_cmpeq_epi16(v, sq)));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
    while (mask) {
      unsigned k = static_cast<unsigned>(__builtin_ctz(mask)) >> 1;
      mask &= ~(3u << (k * 2));
      char16_t c = text[i + k];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == u'>' || c == u'<') {
        return i + k;
      } else {
        quote = c;
      }
    }
  }
#endif
  for (; i < end; ++i) {
    char16_t c = text[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == u'>' || c == u'<') {
      return i;
    } else if (c == u'"' || c == u'\'') {
      quote = c;
    }
  }
  return end;
}

// Index of `pattern` in [from, end) of `text`, or `end` when it is not there.
size_t findText(const char16_t* text, size_t from, size_t end, std::u16string_view pattern);

// Decodes UTF-8 the way documents are read: "?" for invalid lead bytes and short sequences, a
// NUL ends the text, code points above U+FFFF become surrogate pairs.
std::u16string decodeUtf8(const char* bytes, size_t count);
// The same into an existing string, reusing its storage.
void decodeUtf8Into(std::u16string& out, const char* bytes, size_t count);
// Decodes one piece of a text arriving in pieces, the same way, into `out` (room for one
// character per byte), advancing it. Returns the bytes used: all of them, except a sequence cut
// by the end of the piece when more pieces follow (`last` false), which is to be fed again in
// front of the next piece. Sets `ended` at a NUL: nothing after it belongs to the text.
size_t decodeUtf8Piece(char16_t*& out, const char* bytes, size_t count, bool last, bool& ended);
// Encodes UTF-16 as UTF-8 without a byte-order mark. A lone surrogate is written as its own
// three-byte sequence, which decodeUtf8 reads back unchanged.
std::string encodeUtf8(const char16_t* text, size_t count);

// Appends text with the five named references and numeric references resolved.
void unescapeInto(std::u16string& out, const char16_t* text, size_t count);
// The same into a buffer of at least `count` characters (resolving never lengthens the text);
// returns the characters written.
size_t unescapeTo(char16_t* out, const char16_t* text, size_t count);

std::u16string decimal(long long value);

// Names and values are mostly a few characters: copied by two overlapping fixed-size moves (no
// call), longer ones in one block. Reads and writes only the `len` characters.
#if defined(__GNUC__)
__attribute__((always_inline))
#endif
inline char16_t* copyShort(const char16_t* from, size_t len, char16_t* to) {
  if (len >= 8) {
    if (len > 16) return std::copy_n(from, len, to);
    std::memcpy(to, from, 16);
    std::memcpy(to + len - 8, from + len - 8, 16);
  } else if (len >= 4) {
    std::memcpy(to, from, 8);
    std::memcpy(to + len - 4, from + len - 4, 8);
  } else if (len > 0) {
    to[0] = from[0];
    to[len / 2] = from[len / 2];
    to[len - 1] = from[len - 1];
  }
  return to + len;
}

// The same for a move within one text (the two runs may overlap): every character is read before
// any is written.
#if defined(__GNUC__)
__attribute__((always_inline))
#endif
inline void moveShort(const char16_t* from, size_t len, char16_t* to) {
  if (len >= 8) {
    if (len > 16) {
      std::memmove(to, from, len * sizeof(char16_t));
      return;
    }
    char16_t a[8], b[8];
    std::memcpy(a, from, 16);
    std::memcpy(b, from + len - 8, 16);
    std::memcpy(to, a, 16);
    std::memcpy(to + len - 8, b, 16);
  } else if (len >= 4) {
    char16_t a[4], b[4];
    std::memcpy(a, from, 8);
    std::memcpy(b, from + len - 4, 8);
    std::memcpy(to, a, 8);
    std::memcpy(to + len - 4, b, 8);
  } else if (len > 0) {
    const char16_t a = from[0], b = from[len / 2], c = from[len - 1];
    to[0] = a;
    to[len / 2] = b;
    to[len - 1] = c;
  }
}

}  // namespace markup
