// FormatMessageW with the device's English system texts, and the local heap.
#include <cstdlib>
#include <cstring>
#include <string>

#include "plat_core.h"
#include "plat_strings.h"

namespace {

struct SystemText {
  DWORD code;
  const char16_t* text;
};

const SystemText kSystemTexts[] = {
    {0, u"The operation completed successfully."},
    {1, u"Incorrect function."},
    {2, u"The system cannot find the file specified."},
    {3, u"The system cannot find the path specified."},
    {4, u"The system cannot open the file."},
    {5, u"Access is denied."},
    {6, u"The handle is invalid."},
    {8, u"Not enough storage is available to process this command."},
    {13, u"The data is invalid."},
    {14, u"Not enough storage is available to complete this operation."},
    {18, u"There are no more files."},
    {19, u"The media is write protected."},
    {21, u"The device is not ready."},
    {31, u"A device attached to the system is not functioning."},
    {32, u"The process cannot access the file because it is being used by another process."},
    {38, u"Reached the end of the file."},
    {50, u"The request is not supported."},
    {80, u"The file exists."},
    {87, u"The parameter is incorrect."},
    {109, u"The pipe has been ended."},
    {122, u"The data area passed to a system call is too small."},
    {123, u"The filename, directory name, or volume label syntax is incorrect."},
    {126, u"The specified module could not be found."},
    {127, u"The specified procedure could not be found."},
    {145, u"The directory is not empty."},
    {183, u"Cannot create a file when that file already exists."},
    {206, u"The filename or extension is too long."},
    {234, u"More data is available."},
    {259, u"No more data is available."},
    {267, u"The directory name is invalid."},
    {1167, u"The device is not connected."},
    {1168, u"Element not found."},
    {1400, u"Invalid window handle."},
    {1410, u"Class already exists."},
    {1460, u"This operation returned because the timeout period expired."},
    {1812, u"The specified image file did not contain a resource section."},
    {1813, u"The specified resource type cannot be found in the image file."},
    {1814, u"The specified resource name cannot be found in the image file."},
};

const char16_t* findSystemText(DWORD code) {
  for (const auto& entry : kSystemTexts)
    if (entry.code == code) return entry.text;
  return nullptr;
}

// Expands the inserts of a message: %1..%99 (with an optional !printf format!), %0 ends
// the text without a line break, %n is a line break, %% %. %! and %t %b %r escapes.
// Each argument is one pointer-sized word, from the array or from the va_list in order.
std::u16string expandInserts(const char16_t* text, bool ignoreInserts, bool argumentArray, va_list* args) {
  std::u16string out;
  DWORD_PTR collected[100] = {};
  int collectedCount = 0;
  auto argument = [&](int index) -> DWORD_PTR {
    if (argumentArray) return args ? reinterpret_cast<const DWORD_PTR*>(args)[index - 1] : 0;
    if (!args) return 0;
    while (collectedCount < index) collected[collectedCount++] = va_arg(*args, DWORD_PTR);
    return collected[index - 1];
  };
  for (const char16_t* p = text; *p; ++p) {
    if (*p != u'%') {
      out.push_back(*p);
      continue;
    }
    char16_t c = *++p;
    if (!c) break;
    if (c >= u'1' && c <= u'9') {
      const char16_t* start = p - 1;
      int index = c - u'0';
      if (p[1] >= u'0' && p[1] <= u'9') index = index * 10 + (*++p - u'0');
      std::u16string insertFormat = u"%s";
      const char16_t* after = p + 1;
      if (*after == u'!') {
        const char16_t* close = after + 1;
        while (*close && *close != u'!') ++close;
        if (*close == u'!') {
          insertFormat = u"%" + std::u16string(after + 1, close);
          p = close;
        }
      }
      if (ignoreInserts) {
        out.append(start, p + 1);
        continue;
      }
      DWORD_PTR value = argument(index);
      bool isString = !insertFormat.empty() && (insertFormat.back() == u's' || insertFormat.back() == u'S');
      if (isString) out += plat::format(insertFormat.c_str(), reinterpret_cast<const void*>(value));
      else out += plat::format(insertFormat.c_str(), value);
      continue;
    }
    if (ignoreInserts && c != u'0') {
      out += u'%';
      out += c;
      continue;
    }
    switch (c) {
      case u'0': return out;
      case u'n': out += u"\r\n"; break;
      case u'r': out += u'\r'; break;
      case u't': out += u'\t'; break;
      case u'b': out += u' '; break;
      default: out += c; break;  // %% %. %! and others stand for the character
    }
  }
  return out;
}

}  // namespace

DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPWSTR buffer, DWORD size,
                     va_list* args) {
  std::u16string text;
  if (flags & FORMAT_MESSAGE_FROM_STRING) {
    if (!source) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    text = static_cast<const WCHAR*>(source);
  } else if (flags & FORMAT_MESSAGE_FROM_SYSTEM) {
    const char16_t* system = findSystemText(messageId);
    if (!system) {
      SetLastError(ERROR_MR_MID_NOT_FOUND);
      return 0;
    }
    // System texts end with a line break, as the device's message table gives them.
    text = std::u16string(system) + u"\r\n";
  } else {
    // Message tables of modules are not used by the system.
    NKDbgPrintfW(u"FormatMessageW: flags 0x%x not supported\n", flags);
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
  }
  std::u16string result = expandInserts(text.c_str(), (flags & FORMAT_MESSAGE_IGNORE_INSERTS) != 0,
                                        (flags & FORMAT_MESSAGE_ARGUMENT_ARRAY) != 0, args);
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    if (!buffer) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    size_t chars = result.size() + 1 > size ? result.size() + 1 : size;
    auto* allocated = static_cast<WCHAR*>(LocalAlloc(LPTR, chars * sizeof(WCHAR)));
    if (!allocated) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return 0;
    }
    result.copy(allocated, result.size());
    *reinterpret_cast<WCHAR**>(buffer) = allocated;
    return static_cast<DWORD>(result.size());
  }
  if (!buffer || result.size() + 1 > size) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  result.copy(buffer, result.size());
  buffer[result.size()] = 0;
  return static_cast<DWORD>(result.size());
}

HLOCAL LocalAlloc(UINT flags, size_t bytes) {
  void* memory = (flags & LMEM_ZEROINIT) ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
  if (!memory) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return memory;
}

HLOCAL LocalFree(HLOCAL mem) {
  std::free(mem);
  return nullptr;
}

namespace plat {
std::u16string systemMessage(DWORD error) {
  const char16_t* text = findSystemText(error);
  return text ? std::u16string(text) : std::u16string();
}
}  // namespace plat
