#include "markup_text.h"

namespace markup {

size_t findText(const char16_t* text, size_t from, size_t end, std::u16string_view pattern) {
  const size_t m = pattern.size();
  if (m == 0) return from;
  if (end < m) return end;
  const size_t last = end - m;
  for (size_t i = from; i <= last; ++i) {
    i = findChar(text, i, last + 1, pattern[0]);
    if (i > last) break;
    size_t k = 1;
    while (k < m && text[i + k] == pattern[k]) ++k;
    if (k == m) return i;
  }
  return end;
}

std::u16string decodeUtf8(const char* bytes, size_t count) {
  std::u16string out;
  decodeUtf8Into(out, bytes, count);
  return out;
}

void decodeUtf8Into(std::u16string& out, const char* bytes, size_t count) {
  // Every character written consumes at least one byte, a surrogate pair four.
  out.clear();  // nothing of the old text is kept when the string grows
  out.resize_and_overwrite(count, [bytes, count](char16_t* d, size_t) {
    char16_t* o = d;
    bool ended = false;
    decodeUtf8Piece(o, bytes, count, true, ended);
    return static_cast<size_t>(o - d);
  });
}

size_t decodeUtf8Piece(char16_t*& out, const char* bytes, size_t count, bool last, bool& ended) {
  char16_t* o = out;
  const auto* begin = reinterpret_cast<const unsigned char*>(bytes);
  const auto* p = begin;
  const unsigned char* e = p + count;
  while (p < e) {
    // Plain ASCII runs, sixteen bytes at a time; a byte with the top bit set or a NUL ends the run.
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    // (Not from a byte that starts a sequence: text in other scripts is mostly such sequences.)
    // The length is tested first: a run may end exactly at the last byte.
    while (e - p >= 16 && *p < 0x80) {
      __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      unsigned stop = static_cast<unsigned>(_mm_movemask_epi8(v) | _mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)));
      // All sixteen are written even when the run is shorter: the room holds one character per
      // byte still to come, and what lies past the run is written over by what follows it.
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_unpacklo_epi8(v, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 8), _mm_unpackhi_epi8(v, zero));
      if (stop) {
        unsigned run = static_cast<unsigned>(__builtin_ctz(stop));
        o += run;
        p += run;
        break;
      }
      o += 16;
      p += 16;
    }
#endif
    if (p >= e) break;
    unsigned c = *p;
    if (c < 0x80) {
      if (c == 0) {
        ended = true;
        break;
      }
      *o++ = static_cast<char16_t>(c);
      ++p;
      continue;
    }
    int trail;
    uint32_t cp;
    if ((c & 0x20) == 0) {
      trail = 1;
      cp = c & 0x1F;
    } else if ((c & 0xF8) == 0xF8) {
      // Five or more leading ones: no such sequence.
      *o++ = u'?';
      ++p;
      continue;
    } else if ((c & 0x38) == 0x30) {
      trail = 3;
      cp = c & 0x07;
    } else {
      trail = 2;
      cp = c & 0x0F;
    }
    const unsigned char* q = p + 1;
    int k = 0;
    for (; k < trail; ++k) {
      if (q + k >= e || (q[k] & 0x80) == 0) break;
      cp = (cp << 6) | (q[k] & 0x3Fu);
    }
    if (k < trail) {
      // The piece ends inside the sequence: it is finished with the next piece.
      if (!last && q + k >= e) break;
      // A short sequence: the byte that broke it starts over as a lead byte.
      *o++ = u'?';
      p = q + k;
      continue;
    }
    p = q + trail;
    if (cp == 0) {
      ended = true;
      break;
    }
    if (cp > 0xFFFF) {
      if (cp > 0x10FFFF) {
        *o++ = u'?';
        continue;
      }
      cp -= 0x10000;
      *o++ = static_cast<char16_t>(0xD800 + (cp >> 10));
      *o++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      *o++ = static_cast<char16_t>(cp);
    }
  }
  out = o;
  return static_cast<size_t>(p - begin);
}

std::string encodeUtf8(const char16_t* text, size_t count) {
  std::string out;
  out.resize(count * 3);
  auto* o = reinterpret_cast<unsigned char*>(out.data());
  for (size_t i = 0; i < count; ++i) {
    uint32_t c = text[i];
    if (c < 0x80) {
      *o++ = static_cast<unsigned char>(c);
    } else if (c < 0x800) {
      *o++ = static_cast<unsigned char>(0xC0 | (c >> 6));
      *o++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else if (c >= 0xD800 && c < 0xDC00 && i + 1 < count && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      uint32_t cp = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
      ++i;
      *o++ = static_cast<unsigned char>(0xF0 | (cp >> 18));
      *o++ = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
      *o++ = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
      *o++ = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    } else {
      *o++ = static_cast<unsigned char>(0xE0 | (c >> 12));
      *o++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
      *o++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    }
  }
  out.resize(static_cast<size_t>(o - reinterpret_cast<unsigned char*>(out.data())));
  return out;
}

namespace {

int hexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Resolves the reference that starts with "&" at text[0] into `out`; returns the characters
// consumed (0: not a reference we resolve, the "&" stays as it is) and sets `written`.
size_t resolveReference(char16_t* out, size_t& written, const char16_t* text, size_t count) {
  auto named = [&](std::u16string_view name, char16_t ch) -> size_t {
    if (count < name.size() || std::u16string_view(text, name.size()) != name) return 0;
    out[0] = ch;
    written = 1;
    return name.size();
  };
  if (count < 4) return 0;
  switch (text[1]) {
    case u'l': return named(u"&lt;", u'<');
    case u'g': return named(u"&gt;", u'>');
    case u'a': return text[2] == u'm' ? named(u"&amp;", u'&') : named(u"&apos;", u'\'');
    case u'q': return named(u"&quot;", u'"');
    case u'#': break;
    default: return 0;
  }
  // At most seven characters after the number sign, then ";".
  bool hex = text[2] == u'x';
  size_t i = hex ? 3 : 2;
  uint32_t value = 0;
  size_t digits = 0;
  for (; i < count && i <= 8; ++i) {
    int v = hex ? hexValue(text[i]) : (text[i] >= u'0' && text[i] <= u'9' ? text[i] - u'0' : -1);
    if (v < 0) break;
    value = value * (hex ? 16 : 10) + static_cast<uint32_t>(v);
    ++digits;
  }
  if (digits == 0 || i >= count || i > 9 || text[i] != u';') return 0;
  // Characters beyond U+FFFF become a surrogate pair rather than losing their top bits; a number
  // beyond Unicode names no character and is cut to 16 bits like any other reference.
  if (value > 0xFFFF && value <= 0x10FFFF) {
    value -= 0x10000;
    out[0] = static_cast<char16_t>(0xD800 + (value >> 10));
    out[1] = static_cast<char16_t>(0xDC00 + (value & 0x3FF));
    written = 2;
  } else {
    out[0] = static_cast<char16_t>(value & 0xFFFF);
    written = 1;
  }
  return i + 1;
}

}  // namespace

size_t unescapeTo(char16_t* out, const char16_t* text, size_t count) {
  char16_t* o = out;
  size_t i = 0;
  while (i < count) {
    size_t amp = findChar(text, i, count, u'&');
    std::char_traits<char16_t>::copy(o, text + i, amp - i);
    o += amp - i;
    if (amp >= count) break;
    size_t written = 0;
    size_t used = resolveReference(o, written, text + amp, count - amp);
    if (used == 0) {
      *o++ = u'&';
      used = 1;
    } else {
      o += written;
    }
    i = amp + used;
  }
  return static_cast<size_t>(o - out);
}

void unescapeInto(std::u16string& out, const char16_t* text, size_t count) {
  size_t at = out.size();
  out.resize(at + count);
  out.resize(at + unescapeTo(out.data() + at, text, count));
}

std::u16string decimal(long long value) {
  std::string s = std::to_string(value);
  return std::u16string(s.begin(), s.end());
}

}  // namespace markup
