// UTF-8 <-> UTF-16 and the code pages the system converts with: CP_ACP (UTF-8 on this
// platform), CP_UTF8 and the OEM code page 437.
#include <string>

#include "plat_core.h"
#include "plat_strings.h"

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Upper half of code page 437; the lower half is ASCII.
const char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

int cp437Byte(char16_t c) {
  if (c < 0x80) return c;
  for (int i = 0; i < 128; ++i)
    if (kCp437High[i] == c) return 0x80 + i;
  return -1;
}

bool isUtf8(UINT codePage) { return codePage == CP_ACP || codePage == CP_UTF8; }
bool isOem(UINT codePage) { return codePage == CP_OEMCP || codePage == 437; }

}  // namespace

namespace plat {

std::u16string utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0, n = text.size();
  auto byte = [&](size_t at) { return static_cast<unsigned char>(text[at]); };
  while (i < n) {
    unsigned b = byte(i);
    if (b < 0x80) {
      out.push_back(static_cast<char16_t>(b));
      ++i;
      continue;
    }
    int extra;
    uint32_t cp;
    unsigned lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (b >= 0xC2 && b <= 0xDF) extra = 1, cp = b & 0x1F;
    else if (b >= 0xE0 && b <= 0xEF) {
      extra = 2, cp = b & 0x0F;
      if (b == 0xE0) lo = 0xA0;   // no overlong forms
      if (b == 0xED) hi = 0x9F;   // no encoded surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
      extra = 3, cp = b & 0x07;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;   // nothing above U+10FFFF
    } else {
      out.push_back(kReplacement);
      ++i;
      continue;
    }
    // The longest valid start of a sequence becomes one replacement character.
    size_t j = i + 1;
    bool ok = true;
    for (int k = 0; k < extra; ++k, ++j) {
      if (j >= n) { ok = false; break; }
      unsigned c = byte(j);
      unsigned min = k == 0 ? lo : 0x80, max = k == 0 ? hi : 0xBF;
      if (c < min || c > max) { ok = false; break; }
      cp = (cp << 6) | (c & 0x3F);
    }
    if (!ok) {
      out.push_back(kReplacement);
      i = j;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i = j;
  }
  return out;
}

std::string utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

}  // namespace plat

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcLen, LPWSTR dst, int dstLen) {
  if (!src || srcLen == 0 || srcLen < -1 || dstLen < 0 || (dstLen > 0 && !dst)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t length = srcLen == -1 ? std::char_traits<char>::length(src) + 1 : static_cast<size_t>(srcLen);
  std::u16string wide;
  if (isUtf8(codePage)) {
    wide = plat::utf8ToUtf16(std::string_view(src, length));
  } else if (isOem(codePage)) {
    wide.reserve(length);
    for (size_t i = 0; i < length; ++i) {
      auto b = static_cast<unsigned char>(src[i]);
      wide.push_back(b < 0x80 ? static_cast<char16_t>(b) : kCp437High[b - 0x80]);
    }
  } else {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (dstLen == 0) return static_cast<int>(wide.size());
  if (wide.size() > static_cast<size_t>(dstLen)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  wide.copy(dst, wide.size());
  return static_cast<int>(wide.size());
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcLen, LPSTR dst, int dstLen,
                        LPCSTR defaultChar, BOOL* usedDefault) {
  if (!src || srcLen == 0 || srcLen < -1 || dstLen < 0 || (dstLen > 0 && !dst)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t length = srcLen == -1 ? std::char_traits<char16_t>::length(src) + 1 : static_cast<size_t>(srcLen);
  std::string narrow;
  if (isUtf8(codePage)) {
    // UTF-8 has no default character: the device refuses one.
    if (defaultChar || usedDefault) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    narrow = plat::utf16ToUtf8(std::u16string_view(src, length));
  } else if (isOem(codePage)) {
    std::string fallback = defaultChar ? std::string(defaultChar) : std::string("?");
    if (fallback.empty()) fallback = "?";
    bool used = false;
    narrow.reserve(length);
    for (size_t i = 0; i < length; ++i) {
      int b = cp437Byte(src[i]);
      if (b < 0) {
        used = true;
        narrow.push_back(fallback[0]);
        // A surrogate pair is one character and gets one default character.
        if (src[i] >= 0xD800 && src[i] <= 0xDBFF && i + 1 < length && src[i + 1] >= 0xDC00 && src[i + 1] <= 0xDFFF) ++i;
      } else {
        narrow.push_back(static_cast<char>(b));
      }
    }
    if (usedDefault) *usedDefault = used ? TRUE : FALSE;
  } else {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (dstLen == 0) return static_cast<int>(narrow.size());
  if (narrow.size() > static_cast<size_t>(dstLen)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  narrow.copy(dst, narrow.size());
  return static_cast<int>(narrow.size());
}
