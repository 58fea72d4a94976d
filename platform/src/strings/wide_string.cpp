// lstr* and the C run-time wide-string functions on WCHAR (UTF-16), with the device's
// semantics: null pointers where the device tolerates them, 32-bit number conversions.
#include <climits>
#include <cstdlib>
#include <string>

#include "plat_strings.h"
#include "strings/collation.h"

int lstrlenW(LPCWSTR s) { return s ? static_cast<int>(wcslen(s)) : 0; }

LPWSTR lstrcpyW(LPWSTR dst, LPCWSTR src) {
  if (!dst || !src) return nullptr;
  return wcscpy(dst, src);
}

LPWSTR lstrcpynW(LPWSTR dst, LPCWSTR src, int max) {
  if (!dst || max <= 0) return dst;
  int i = 0;
  if (src)
    for (; i < max - 1 && src[i]; ++i) dst[i] = src[i];
  dst[i] = 0;
  return dst;
}

LPWSTR lstrcatW(LPWSTR dst, LPCWSTR src) {
  if (!dst || !src) return nullptr;
  return wcscat(dst, src);
}

int lstrcmpW(LPCWSTR a, LPCWSTR b) {
  if (!a || !b) return (a == b) ? 0 : (a ? 1 : -1);
  return plat::strings::collate(a, -1, b, -1, true);
}

int lstrcmpiW(LPCWSTR a, LPCWSTR b) {
  if (!a || !b) return (a == b) ? 0 : (a ? 1 : -1);
  return plat::strings::collate(a, -1, b, -1, false);
}

size_t wcslen(const WCHAR* s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

WCHAR* wcscpy(WCHAR* dst, const WCHAR* src) {
  WCHAR* d = dst;
  while ((*d++ = *src++) != 0) {
  }
  return dst;
}

WCHAR* wcsncpy(WCHAR* dst, const WCHAR* src, size_t n) {
  size_t i = 0;
  for (; i < n && src[i]; ++i) dst[i] = src[i];
  for (; i < n; ++i) dst[i] = 0;
  return dst;
}

WCHAR* wcscat(WCHAR* dst, const WCHAR* src) {
  wcscpy(dst + wcslen(dst), src);
  return dst;
}

WCHAR* wcsncat(WCHAR* dst, const WCHAR* src, size_t n) {
  WCHAR* d = dst + wcslen(dst);
  size_t i = 0;
  for (; i < n && src[i]; ++i) d[i] = src[i];
  d[i] = 0;
  return dst;
}

int wcscmp(const WCHAR* a, const WCHAR* b) { return wcsncmp(a, b, SIZE_MAX); }

int wcsncmp(const WCHAR* a, const WCHAR* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    if (!a[i]) return 0;
  }
  return 0;
}

int _wcsicmp(const WCHAR* a, const WCHAR* b) { return _wcsnicmp(a, b, SIZE_MAX); }

int _wcsnicmp(const WCHAR* a, const WCHAR* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    WCHAR x = towlowerW(a[i]), y = towlowerW(b[i]);
    if (x != y) return x < y ? -1 : 1;
    if (!x) return 0;
  }
  return 0;
}

const WCHAR* wcschr(const WCHAR* s, WCHAR c) {
  for (;; ++s) {
    if (*s == c) return s;
    if (!*s) return nullptr;
  }
}

const WCHAR* wcsrchr(const WCHAR* s, WCHAR c) {
  const WCHAR* found = nullptr;
  for (;; ++s) {
    if (*s == c) found = s;
    if (!*s) return found;
  }
}

const WCHAR* wcsstr(const WCHAR* s, const WCHAR* sub) {
  if (!*sub) return s;
  for (; *s; ++s) {
    size_t i = 0;
    while (sub[i] && s[i] == sub[i]) ++i;
    if (!sub[i]) return s;
  }
  return nullptr;
}

WCHAR* wcschr(WCHAR* s, WCHAR c) { return const_cast<WCHAR*>(wcschr(static_cast<const WCHAR*>(s), c)); }
WCHAR* wcsrchr(WCHAR* s, WCHAR c) { return const_cast<WCHAR*>(wcsrchr(static_cast<const WCHAR*>(s), c)); }
WCHAR* wcsstr(WCHAR* s, const WCHAR* sub) { return const_cast<WCHAR*>(wcsstr(static_cast<const WCHAR*>(s), sub)); }

WCHAR* _wcslwr(WCHAR* s) {
  for (WCHAR* p = s; *p; ++p) *p = towlowerW(*p);
  return s;
}

WCHAR* _wcsupr(WCHAR* s) {
  for (WCHAR* p = s; *p; ++p) *p = towupperW(*p);
  return s;
}

WCHAR towlowerW(WCHAR c) { return plat::strings::toLower(c); }
WCHAR towupperW(WCHAR c) { return plat::strings::toUpper(c); }

namespace {

bool isBlank(WCHAR c) { return c == u' ' || (c >= 0x09 && c <= 0x0D); }

int digitIn(WCHAR c, int base) {
  int d;
  if (c >= u'0' && c <= u'9') d = c - u'0';
  else if (c >= u'a' && c <= u'z') d = c - u'a' + 10;
  else if (c >= u'A' && c <= u'Z') d = c - u'A' + 10;
  else return -1;
  return d < base ? d : -1;
}

// Shared by wcstol and wcstoul: the magnitude (saturated at 2^32-1 plus one bit for the
// overflow flag), the sign and where reading stopped.
struct Parsed {
  uint64_t magnitude = 0;
  bool negative = false;
  bool overflow = false;
  const WCHAR* end;
};

Parsed parseNumber(const WCHAR* s, int base) {
  Parsed p;
  p.end = s;
  if (!s) return p;
  const WCHAR* c = s;
  while (isBlank(*c)) ++c;
  if (*c == u'+' || *c == u'-') p.negative = *c++ == u'-';
  if ((base == 0 || base == 16) && c[0] == u'0' && (c[1] == u'x' || c[1] == u'X') && digitIn(c[2], 16) >= 0) {
    c += 2;
    base = 16;
  } else if (base == 0) {
    base = c[0] == u'0' ? 8 : 10;
  }
  if (base < 2 || base > 36) return p;
  const WCHAR* digits = c;
  for (int d; (d = digitIn(*c, base)) >= 0; ++c) {
    p.magnitude = p.magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    if (p.magnitude > 0xFFFFFFFFull) {
      p.overflow = true;
      p.magnitude = 0x100000000ull;
    }
  }
  if (c != digits) p.end = c;
  return p;
}

}  // namespace

long _wtol(const WCHAR* s) {
  if (!s) return 0;
  while (isBlank(*s)) ++s;
  bool negative = false;
  if (*s == u'+' || *s == u'-') negative = *s++ == u'-';
  // 32-bit arithmetic that wraps, as the device's run-time does.
  uint32_t value = 0;
  for (; *s >= u'0' && *s <= u'9'; ++s) value = value * 10u + static_cast<uint32_t>(*s - u'0');
  if (negative) value = 0u - value;
  return static_cast<long>(static_cast<int32_t>(value));
}

int _wtoi(const WCHAR* s) { return static_cast<int>(_wtol(s)); }

long wcstol(const WCHAR* s, WCHAR** end, int base) {
  Parsed p = parseNumber(s, base);
  if (end) *end = const_cast<WCHAR*>(p.end);
  // LONG is 32 bits on the device: results saturate at its limits.
  if (p.negative) {
    if (p.magnitude > 0x80000000ull) return INT32_MIN;
    return -static_cast<long>(p.magnitude);
  }
  if (p.magnitude > 0x7FFFFFFFull) return INT32_MAX;
  return static_cast<long>(p.magnitude);
}

unsigned long wcstoul(const WCHAR* s, WCHAR** end, int base) {
  Parsed p = parseNumber(s, base);
  if (end) *end = const_cast<WCHAR*>(p.end);
  if (p.overflow) return 0xFFFFFFFFul;
  uint32_t v = static_cast<uint32_t>(p.magnitude);
  return p.negative ? static_cast<uint32_t>(0u - v) : v;
}

double _wtof(const WCHAR* s) {
  if (!s) return 0.0;
  // Only ASCII can take part in a number; stop at the first other character.
  std::string narrow;
  for (; *s && *s < 0x80; ++s) narrow.push_back(static_cast<char>(*s));
  return std::strtod(narrow.c_str(), nullptr);
}

namespace {
WCHAR* toText(uint32_t magnitude, bool negative, WCHAR* buffer, int radix) {
  if (!buffer) return buffer;
  if (radix < 2 || radix > 36) {
    buffer[0] = 0;
    return buffer;
  }
  WCHAR digits[40];
  int n = 0;
  do {
    unsigned d = magnitude % static_cast<unsigned>(radix);
    digits[n++] = static_cast<WCHAR>(d < 10 ? u'0' + d : u'a' + d - 10);
    magnitude /= static_cast<unsigned>(radix);
  } while (magnitude);
  WCHAR* out = buffer;
  if (negative) *out++ = u'-';
  while (n) *out++ = digits[--n];
  *out = 0;
  return buffer;
}
}  // namespace

WCHAR* _itow(int value, WCHAR* buffer, int radix) {
  // Only base 10 shows a sign; other bases show the 32-bit pattern.
  bool negative = radix == 10 && value < 0;
  uint32_t magnitude = negative ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  return toText(magnitude, negative, buffer, radix);
}

WCHAR* _ltow(long value, WCHAR* buffer, int radix) { return _itow(static_cast<int32_t>(value), buffer, radix); }
