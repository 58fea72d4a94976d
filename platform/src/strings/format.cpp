// wsprintfW / _snwprintf with the device's conventions: %s and %c take wide arguments,
// %S and %C narrow ones; "l" is 32 bits (LONG, DWORD), "ll" and "I64" are 64 bits.
#include <cstdio>
#include <cstring>
#include <string>

#include "plat_strings.h"

namespace {

// Counts every character of the result and keeps what fits.
struct Output {
  WCHAR* buffer = nullptr;
  size_t capacity = 0;
  std::u16string* text = nullptr;
  size_t count = 0;

  void put(WCHAR c) {
    if (text) text->push_back(c);
    else if (count < capacity) buffer[count] = c;
    ++count;
  }
  void repeat(WCHAR c, int n) {
    for (int i = 0; i < n; ++i) put(c);
  }
};

enum class Size { Default, Char, Short, Long, LongLong, Pointer, LongDouble };

struct Conversion {
  bool left = false, plus = false, space = false, zero = false, alternate = false;
  int width = 0;
  int precision = -1;
  Size size = Size::Default;
  WCHAR conversion = 0;
};

void padded(Output& out, const Conversion& conv, const WCHAR* text, size_t length) {
  int pad = conv.width > static_cast<int>(length) ? conv.width - static_cast<int>(length) : 0;
  if (!conv.left) out.repeat(u' ', pad);
  for (size_t i = 0; i < length; ++i) out.put(text[i]);
  if (conv.left) out.repeat(u' ', pad);
}

void integer(Output& out, const Conversion& conv, uint64_t magnitude, bool negative) {
  char digits[72];
  int n = 0;
  unsigned base = 10;
  const char* alphabet = "0123456789abcdef";
  switch (conv.conversion) {
    case u'o': base = 8; break;
    case u'x': base = 16; break;
    case u'X': case u'p': base = 16; alphabet = "0123456789ABCDEF"; break;
    default: break;
  }
  while (magnitude) {
    digits[n++] = alphabet[magnitude % base];
    magnitude /= base;
  }
  int precision = conv.precision;
  if (conv.conversion == u'p') precision = static_cast<int>(2 * sizeof(void*));
  if (precision < 0) precision = 1;
  int zeros = precision > n ? precision - n : 0;

  char prefix[3] = {};
  if (negative) prefix[0] = '-';
  else if (conv.plus && (conv.conversion == u'd' || conv.conversion == u'i')) prefix[0] = '+';
  else if (conv.space && (conv.conversion == u'd' || conv.conversion == u'i')) prefix[0] = ' ';
  else if (conv.alternate && n > 0 && conv.conversion == u'x') std::strcpy(prefix, "0x");
  else if (conv.alternate && n > 0 && conv.conversion == u'X') std::strcpy(prefix, "0X");
  else if (conv.alternate && conv.conversion == u'o' && zeros == 0) prefix[0] = '0';
  int prefixLength = static_cast<int>(std::strlen(prefix));

  int length = prefixLength + zeros + n;
  int pad = conv.width > length ? conv.width - length : 0;
  if (conv.zero && !conv.left && conv.precision < 0) {
    zeros += pad;
    pad = 0;
  }
  if (!conv.left) out.repeat(u' ', pad);
  for (int i = 0; i < prefixLength; ++i) out.put(static_cast<WCHAR>(prefix[i]));
  out.repeat(u'0', zeros);
  while (n) out.put(static_cast<WCHAR>(digits[--n]));
  if (conv.left) out.repeat(u' ', pad);
}

void floating(Output& out, const Conversion& conv, long double value, bool isLong) {
  char format[32];
  char* f = format;
  *f++ = '%';
  if (conv.left) *f++ = '-';
  if (conv.plus) *f++ = '+';
  if (conv.space) *f++ = ' ';
  if (conv.zero) *f++ = '0';
  if (conv.alternate) *f++ = '#';
  f += std::snprintf(f, 12, "%d", conv.width);
  if (conv.precision >= 0) f += std::snprintf(f, 12, ".%d", conv.precision);
  if (isLong) *f++ = 'L';
  *f++ = static_cast<char>(conv.conversion);
  *f = 0;
  char small[128];
  int n = isLong ? std::snprintf(small, sizeof small, format, value)
                 : std::snprintf(small, sizeof small, format, static_cast<double>(value));
  if (n < 0) return;
  if (static_cast<size_t>(n) < sizeof small) {
    for (int i = 0; i < n; ++i) out.put(static_cast<WCHAR>(small[i]));
    return;
  }
  std::string large(static_cast<size_t>(n) + 1, '\0');
  if (isLong) std::snprintf(large.data(), large.size(), format, value);
  else std::snprintf(large.data(), large.size(), format, static_cast<double>(value));
  for (int i = 0; i < n; ++i) out.put(static_cast<WCHAR>(large[static_cast<size_t>(i)]));
}

void wideString(Output& out, const Conversion& conv, const WCHAR* s) {
  static const WCHAR kNull[] = u"(null)";
  if (!s) s = kNull;
  size_t length = 0;
  size_t limit = conv.precision >= 0 ? static_cast<size_t>(conv.precision) : SIZE_MAX;
  while (length < limit && s[length]) ++length;
  padded(out, conv, s, length);
}

void narrowString(Output& out, const Conversion& conv, const char* s) {
  if (!s) s = "(null)";
  size_t bytes = 0;
  size_t limit = conv.precision >= 0 ? static_cast<size_t>(conv.precision) : SIZE_MAX;
  // Narrow text is in the ANSI code page, which is UTF-8 here. Never read past the
  // precision: the text need not be terminated then.
  while (bytes < limit && s[bytes]) ++bytes;
  std::u16string wide = plat::utf8ToUtf16(std::string_view(s, bytes));
  if (conv.precision >= 0 && wide.size() > limit) wide.resize(limit);
  padded(out, conv, wide.data(), wide.size());
}

// The largest width or precision taken in; written digits stop growing near this too.
constexpr int kMaxField = 1000000;

void formatAll(Output& out, const WCHAR* format, va_list* args) {
  if (!format) return;
  for (const WCHAR* p = format; *p;) {
    if (*p != u'%') {
      out.put(*p++);
      continue;
    }
    ++p;
    Conversion conv;
    for (;; ++p) {
      if (*p == u'-') conv.left = true;
      else if (*p == u'+') conv.plus = true;
      else if (*p == u' ') conv.space = true;
      else if (*p == u'0') conv.zero = true;
      else if (*p == u'#') conv.alternate = true;
      else break;
    }
    if (*p == u'*') {
      conv.width = va_arg(*args, int);
      if (conv.width < 0) {
        conv.left = true;
        conv.width = conv.width == INT32_MIN ? 0 : -conv.width;
      }
      // Bounded like written widths: a huge one would pad for billions of characters.
      if (conv.width > kMaxField) conv.width = kMaxField;
      ++p;
    } else {
      for (; *p >= u'0' && *p <= u'9'; ++p) conv.width = (conv.width > 100000) ? conv.width : conv.width * 10 + (*p - u'0');
    }
    if (*p == u'.') {
      ++p;
      conv.precision = 0;
      if (*p == u'*') {
        conv.precision = va_arg(*args, int);
        if (conv.precision < 0) conv.precision = -1;
        if (conv.precision > kMaxField) conv.precision = kMaxField;
        ++p;
      } else {
        for (; *p >= u'0' && *p <= u'9'; ++p)
          conv.precision = (conv.precision > 100000) ? conv.precision : conv.precision * 10 + (*p - u'0');
      }
    }
    // Size prefixes.
    if (p[0] == u'I' && p[1] == u'6' && p[2] == u'4') conv.size = Size::LongLong, p += 3;
    else if (p[0] == u'I' && p[1] == u'3' && p[2] == u'2') conv.size = Size::Long, p += 3;
    else if (p[0] == u'I') conv.size = Size::Pointer, ++p;
    else if (p[0] == u'h' && p[1] == u'h') conv.size = Size::Char, p += 2;
    else if (p[0] == u'h') conv.size = Size::Short, ++p;
    else if (p[0] == u'l' && p[1] == u'l') conv.size = Size::LongLong, p += 2;
    else if (p[0] == u'l' || p[0] == u'w') conv.size = Size::Long, ++p;
    else if (p[0] == u'q' || p[0] == u'j') conv.size = Size::LongLong, ++p;
    else if (p[0] == u'z' || p[0] == u't') conv.size = Size::Pointer, ++p;
    else if (p[0] == u'L') conv.size = Size::LongDouble, ++p;

    conv.conversion = *p;
    if (!*p) break;
    ++p;
    switch (conv.conversion) {
      case u'd':
      case u'i': {
        int64_t v;
        switch (conv.size) {
          case Size::LongLong: v = va_arg(*args, long long); break;
          case Size::Pointer: v = static_cast<int64_t>(va_arg(*args, intptr_t)); break;
          case Size::Short: v = static_cast<short>(va_arg(*args, int)); break;
          case Size::Char: v = static_cast<signed char>(va_arg(*args, int)); break;
          default: v = va_arg(*args, int); break;  // "l" is 32 bits on the device
        }
        uint64_t magnitude = v < 0 ? 0ull - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        integer(out, conv, magnitude, v < 0);
        break;
      }
      case u'u':
      case u'o':
      case u'x':
      case u'X': {
        uint64_t v;
        switch (conv.size) {
          case Size::LongLong: v = va_arg(*args, unsigned long long); break;
          case Size::Pointer: v = va_arg(*args, uintptr_t); break;
          case Size::Short: v = static_cast<unsigned short>(va_arg(*args, unsigned)); break;
          case Size::Char: v = static_cast<unsigned char>(va_arg(*args, unsigned)); break;
          default: v = va_arg(*args, unsigned); break;
        }
        integer(out, conv, v, false);
        break;
      }
      case u'p': {
        Conversion pointer = conv;
        pointer.precision = -1;
        integer(out, pointer, reinterpret_cast<uintptr_t>(va_arg(*args, void*)), false);
        break;
      }
      case u'c':
      case u'C': {
        bool narrow = conv.conversion == u'c' ? (conv.size == Size::Short || conv.size == Size::Char)
                                              : conv.size != Size::Long;
        int v = va_arg(*args, int);
        WCHAR c = narrow ? static_cast<WCHAR>(static_cast<unsigned char>(v) < 0x80 ? v & 0x7F : 0xFFFD)
                         : static_cast<WCHAR>(v);
        padded(out, conv, &c, 1);
        break;
      }
      case u's':
      case u'S': {
        bool narrow = conv.conversion == u's' ? (conv.size == Size::Short || conv.size == Size::Char)
                                              : conv.size != Size::Long;
        if (narrow) narrowString(out, conv, va_arg(*args, const char*));
        else wideString(out, conv, va_arg(*args, const WCHAR*));
        break;
      }
      case u'f':
      case u'F':
      case u'e':
      case u'E':
      case u'g':
      case u'G':
      case u'a':
      case u'A':
        if (conv.size == Size::LongDouble) floating(out, conv, va_arg(*args, long double), true);
        else floating(out, conv, va_arg(*args, double), false);
        break;
      case u'n':
        // Writing through a pointer taken from the format is never done here.
        (void)va_arg(*args, void*);
        break;
      default:
        // "%%" and unknown conversions print the character itself.
        out.put(conv.conversion);
        break;
    }
  }
}

int formatInto(WCHAR* buffer, size_t count, const WCHAR* format, va_list args) {
  Output out;
  out.buffer = buffer;
  out.capacity = buffer ? count : 0;
  va_list copy;
  va_copy(copy, args);
  formatAll(out, format, &copy);
  va_end(copy);
  if (out.count > count) return -1;
  if (out.count < count && buffer) buffer[out.count] = 0;
  return static_cast<int>(out.count);
}

}  // namespace

int wvsprintfW(LPWSTR buffer, LPCWSTR format, va_list args) {
  if (!buffer) return 0;
  constexpr size_t kLimit = 1024;
  Output out;
  out.buffer = buffer;
  out.capacity = kLimit - 1;
  va_list copy;
  va_copy(copy, args);
  formatAll(out, format, &copy);
  va_end(copy);
  size_t written = out.count < kLimit - 1 ? out.count : kLimit - 1;
  buffer[written] = 0;
  return static_cast<int>(written);
}

int wsprintfW(LPWSTR buffer, LPCWSTR format, ...) {
  va_list args;
  va_start(args, format);
  int n = wvsprintfW(buffer, format, args);
  va_end(args);
  return n;
}

int _vsnwprintf(WCHAR* buffer, size_t count, const WCHAR* format, va_list args) {
  return formatInto(buffer, count, format, args);
}

int _snwprintf(WCHAR* buffer, size_t count, const WCHAR* format, ...) {
  va_list args;
  va_start(args, format);
  int n = formatInto(buffer, count, format, args);
  va_end(args);
  return n;
}

int swprintf(WCHAR* buffer, const WCHAR* format, ...) {
  va_list args;
  va_start(args, format);
  // The old two-argument form has no size: the caller's buffer is trusted, as on the device.
  int n = formatInto(buffer, SIZE_MAX / sizeof(WCHAR), format, args);
  va_end(args);
  return n;
}

namespace plat {

std::u16string vformat(const WCHAR* format, va_list args) {
  std::u16string text;
  Output out;
  out.text = &text;
  va_list copy;
  va_copy(copy, args);
  formatAll(out, format, &copy);
  va_end(copy);
  return text;
}

std::u16string format(const WCHAR* format, ...) {
  va_list args;
  va_start(args, format);
  std::u16string text = vformat(format, args);
  va_end(args);
  return text;
}

}  // namespace plat
