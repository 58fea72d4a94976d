// Wide-string helpers with the device's semantics (WCHAR is UTF-16), code pages and
// system message texts.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

#include "plat_types.h"

int lstrlenW(LPCWSTR s);
LPWSTR lstrcpyW(LPWSTR dst, LPCWSTR src);
// Copies at most max-1 characters and always terminates (max > 0).
LPWSTR lstrcpynW(LPWSTR dst, LPCWSTR src, int max);
LPWSTR lstrcatW(LPWSTR dst, LPCWSTR src);
// Locale-aware order as on the device: letters compare without regard to case first,
// ties broken with lower case before upper case; punctuation before digits before letters.
int lstrcmpW(LPCWSTR a, LPCWSTR b);
int lstrcmpiW(LPCWSTR a, LPCWSTR b);

// C run-time wide functions on WCHAR.
size_t wcslen(const WCHAR* s);
WCHAR* wcscpy(WCHAR* dst, const WCHAR* src);
WCHAR* wcsncpy(WCHAR* dst, const WCHAR* src, size_t n);
WCHAR* wcscat(WCHAR* dst, const WCHAR* src);
WCHAR* wcsncat(WCHAR* dst, const WCHAR* src, size_t n);
int wcscmp(const WCHAR* a, const WCHAR* b);
int wcsncmp(const WCHAR* a, const WCHAR* b, size_t n);
int _wcsicmp(const WCHAR* a, const WCHAR* b);
int _wcsnicmp(const WCHAR* a, const WCHAR* b, size_t n);
const WCHAR* wcschr(const WCHAR* s, WCHAR c);
const WCHAR* wcsrchr(const WCHAR* s, WCHAR c);
const WCHAR* wcsstr(const WCHAR* s, const WCHAR* sub);
WCHAR* wcschr(WCHAR* s, WCHAR c);
WCHAR* wcsrchr(WCHAR* s, WCHAR c);
WCHAR* wcsstr(WCHAR* s, const WCHAR* sub);
WCHAR* _wcslwr(WCHAR* s);
WCHAR* _wcsupr(WCHAR* s);
WCHAR towlowerW(WCHAR c);
WCHAR towupperW(WCHAR c);
// Leading white space, optional sign, decimal digits up to the first other character;
// no digits reads as 0. Overflow wraps as 32-bit arithmetic does on the device.
long _wtol(const WCHAR* s);
int _wtoi(const WCHAR* s);
long wcstol(const WCHAR* s, WCHAR** end, int base);
unsigned long wcstoul(const WCHAR* s, WCHAR** end, int base);
double _wtof(const WCHAR* s);
WCHAR* _itow(int value, WCHAR* buffer, int radix);
WCHAR* _ltow(long value, WCHAR* buffer, int radix);

// Formatting. %s and %c take wide arguments, %S and %C narrow ones (as on the device);
// flags "-+ 0#", width, precision ("*" too), l/h/ll/I64 sizes, d i u x X o c s S p f e g %.
// wsprintfW writes at most 1024 characters, as the device does.
int wsprintfW(LPWSTR buffer, LPCWSTR format, ...);
int wvsprintfW(LPWSTR buffer, LPCWSTR format, va_list args);
// Writes at most count characters; returns -1 (and leaves the buffer unterminated, as the
// device does) when the text did not fit.
int _snwprintf(WCHAR* buffer, size_t count, const WCHAR* format, ...);
int _vsnwprintf(WCHAR* buffer, size_t count, const WCHAR* format, va_list args);
int swprintf(WCHAR* buffer, const WCHAR* format, ...);

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_UTF8 65001
#define MB_PRECOMPOSED 1
#define WC_DEFAULTCHAR 0x40
// CP_ACP is UTF-8 on this platform; CP_OEMCP (and 437) is code page 437, where characters
// it lacks become the default character "?".
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcLen, LPWSTR dst, int dstLen);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcLen, LPSTR dst, int dstLen,
                        LPCSTR defaultChar, BOOL* usedDefault);

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000
#define ERROR_MR_MID_NOT_FOUND 317L
// FROM_SYSTEM: the device's text for the error code, ending in "\r\n". FROM_STRING with
// inserts (%1..%99, "!fmt!", %n, %0) is supported too; module message tables are not.
DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPWSTR buffer,
                     DWORD size, va_list* args);
HLOCAL LocalFree(HLOCAL mem);
HLOCAL LocalAlloc(UINT flags, size_t bytes);
#define LMEM_FIXED 0
#define LMEM_ZEROINIT 0x40
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

namespace plat {
// UTF-8 <-> UTF-16 with surrogate pairs. Invalid UTF-8 becomes U+FFFD; lone surrogates
// become U+FFFD in UTF-8.
std::u16string utf8ToUtf16(std::string_view text);
std::string utf16ToUtf8(std::u16string_view text);
// The text of the device's message for an error code, without the line break.
std::u16string systemMessage(DWORD error);
// Formats like _snwprintf into a growing string.
std::u16string format(const WCHAR* format, ...);
std::u16string vformat(const WCHAR* format, va_list args);
}  // namespace plat
