// Wide-string helpers: formatting, the device's word order, number reading, code pages and
// system message texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "windows.h"

namespace {

std::string narrow(const std::u16string& s) { return plat::utf16ToUtf8(s); }

// --- formatting -------------------------------------------------------------------------

struct FormatCase {
  const char16_t* expected;
  std::u16string actual;
};

TEST(Format, ConversionsFlagsWidthsAndSizes) {
  int n = 0;
  void* pointer = reinterpret_cast<void*>(static_cast<uintptr_t>(0xBEEF));
  const FormatCase cases[] = {
      {u"[abc]", plat::format(u"[%s]", u"abc")},
      {u"[narrow]", plat::format(u"[%S]", "narrow")},
      {u"[wide]", plat::format(u"[%ls]", u"wide")},
      {u"[h narrow]", plat::format(u"[%hs]", "h narrow")},
      {u"[\u00e9t\u00e9]", plat::format(u"[%S]", "\xc3\xa9t\xc3\xa9")},
      {u"[x][y]", plat::format(u"[%c][%C]", u'x', 'y')},
      {u"[\u4e2d]", plat::format(u"[%c]", 0x4e2d)},
      {u"-42 42 4294967254", plat::format(u"%d %i %u", -42, 42, -42)},
      {u"ff FF 0xff 0XFF 17", plat::format(u"%x %X %#x %#X %o", 255, 255, 255, 255, 15)},
      {u"-7 4000000000", plat::format(u"%ld %lu", -7L, 4000000000UL)},
      {u"-9000000000 9000000000", plat::format(u"%lld %I64d", -9000000000LL, 9000000000LL)},
      {u"18446744073709551615", plat::format(u"%I64u", ~0ULL)},
      {u"07:05", plat::format(u"%02d:%02d", 7, 5)},
      {u"[ab   ][   ab]", plat::format(u"[%-5s][%5s]", u"ab", u"ab")},
      {u"[abc]", plat::format(u"[%.3s]", u"abcdef")},
      {u"[  abc]", plat::format(u"[%*.*s]", 5, 3, u"abcdef")},
      {u"[42   ]", plat::format(u"[%*d]", -5, 42)},
      {u"[+5][ 5][-0005][  005]", plat::format(u"[%+d][% d][%05d][%5.3d]", 5, 5, -5, 5)},
      {u"[]", plat::format(u"[%.0d]", 0)},
      {u"3.14 2.500000 1.5e+00", plat::format(u"%.2f %f %.1e", 3.14159, 2.5, 1.5)},
      {u"100%", plat::format(u"%d%%", 100)},
      {u"(null)", plat::format(u"%s", static_cast<const WCHAR*>(nullptr))},
      {u"-2147483648", plat::format(u"%d", INT32_MIN)},
      {u"y", plat::format(u"%y")},
  };
  for (const auto& c : cases) EXPECT_EQ(narrow(c.expected), narrow(c.actual));
  EXPECT_EQ(plat::format(u"%p", pointer).size(), 2 * sizeof(void*));
  EXPECT_EQ(narrow(plat::format(u"%p", pointer)).substr(2 * sizeof(void*) - 4), "BEEF");
  (void)n;
}

TEST(Format, SnwprintfReportsOverflowAndNeverWritesPastCount) {
  WCHAR buffer[8];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  EXPECT_EQ(_snwprintf(buffer, 4, u"%d", 123), 3);
  EXPECT_EQ(std::u16string(buffer), u"123");
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  // Exactly count characters: written without a terminator, count returned.
  EXPECT_EQ(_snwprintf(buffer, 4, u"%d", 1234), 4);
  EXPECT_EQ(buffer[4], u'#');
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  EXPECT_EQ(_snwprintf(buffer, 4, u"%s", u"abcdefg"), -1);
  EXPECT_EQ(std::u16string(buffer, 5), u"abcd#");
}

TEST(Format, HugeStarWidthsAreBounded) {
  // Would otherwise pad for two billion characters.
  WCHAR buffer[8];
  EXPECT_EQ(_snwprintf(buffer, 8, u"%*d", INT32_MAX, 1), -1);
  EXPECT_EQ(_snwprintf(buffer, 8, u"%.*d", INT32_MAX, 1), -1);
  EXPECT_EQ(plat::format(u"%*d", INT32_MAX, 1).size(), 1000000u);
  EXPECT_EQ(wsprintfW(buffer, u"%-*d|", -3, 7), 4);
  EXPECT_EQ(std::u16string(buffer), u"7  |");
}

TEST(Format, WsprintfStopsAt1024Characters) {
  std::vector<WCHAR> buffer(2000, u'#');
  std::u16string longText(1500, u'x');
  EXPECT_EQ(wsprintfW(buffer.data(), u"%s", longText.c_str()), 1023);
  EXPECT_EQ(buffer[1023], 0);
  EXPECT_EQ(buffer[1024], u'#');
}

// --- word order -------------------------------------------------------------------------

TEST(Order, LstrcmpListIsInTheDevicesOrder) {
  // Each entry sorts strictly before the next one.
  const char16_t* ordered[] = {
      u"",         u" x",        u"!bang",     u"#hash",   u"(paren",  u".dot",  u"_under",
      u"0",        u"01",        u"1",         u"10",      u"2",       u"9z",        u"a",     u"A",
      u"\u00e1",   u"\u00c1",    u"ab",        u"aB",      u"Ab",      u"AB",        u"abc",   u"\u00e1c",
      u"b",        u"B",         u"-dash",     u"Music",     u"music2",  u"\u0153",  u"Photos",    u"z",     u"Z",
      u"\u03b1",   u"\u0391",    u"\u03c9",    u"\u0430",  u"\u0410",  u"\u044f",    u"\u042f",
  };
  for (size_t i = 0; i + 1 < std::size(ordered); ++i) {
    EXPECT_LT(lstrcmpW(ordered[i], ordered[i + 1]), 0) << narrow(ordered[i]) << " < " << narrow(ordered[i + 1]);
    EXPECT_GT(lstrcmpW(ordered[i + 1], ordered[i]), 0) << narrow(ordered[i + 1]) << " > " << narrow(ordered[i]);
  }
  for (const auto* s : ordered) EXPECT_EQ(lstrcmpW(s, s), 0);
}

TEST(Order, CaseAndAccentsOnlyBreakTies) {
  // The letters decide first, whatever the case: "apple" < "Banana" < "cherry".
  std::vector<std::u16string> names = {u"cherry", u"Banana", u"apple", u"\u00c9clair", u"eclair", u"Egg"};
  std::sort(names.begin(), names.end(),
            [](const std::u16string& a, const std::u16string& b) { return lstrcmpW(a.c_str(), b.c_str()) < 0; });
  std::vector<std::u16string> expected = {u"apple", u"Banana", u"cherry", u"eclair", u"\u00c9clair", u"Egg"};
  EXPECT_EQ(names, expected);
}

TEST(Order, HyphensAndApostrophesOnlyBreakTies) {
  // A word sort: "co-op" stays beside "coop" instead of going ahead of every letter.
  const char16_t* ordered[] = {u"co", u"coop", u"co-op", u"coo-p", u"Coop", u"cop", u"can't", u"cant\u00e1"};
  std::vector<std::u16string> names(std::begin(ordered), std::end(ordered));
  std::sort(names.begin(), names.end(),
            [](const std::u16string& a, const std::u16string& b) { return lstrcmpW(a.c_str(), b.c_str()) < 0; });
  std::vector<std::u16string> expected = {u"can't", u"cant\u00e1", u"co", u"coop", u"co-op", u"coo-p", u"Coop", u"cop"};
  EXPECT_EQ(names, expected);
  EXPECT_GT(lstrcmpiW(u"co-op", u"COOP"), 0);
  EXPECT_EQ(lstrcmpiW(u"co-op", u"CO-OP"), 0);
  EXPECT_LT(lstrcmpW(u"-", u"--"), 0);
  EXPECT_LT(lstrcmpW(u"", u"-"), 0);
}

TEST(Order, LstrcmpiIgnoresCaseButNotAccents) {
  EXPECT_EQ(lstrcmpiW(u"StorageCard", u"STORAGECARD"), 0);
  EXPECT_EQ(lstrcmpiW(u"\u0391\u0392", u"\u03b1\u03b2"), 0);
  EXPECT_EQ(lstrcmpiW(u"\u0416", u"\u0436"), 0);
  EXPECT_LT(lstrcmpiW(u"e", u"\u00e9"), 0);
  EXPECT_LT(lstrcmpiW(u"abc", u"ABD"), 0);
  EXPECT_EQ(lstrcmpW(nullptr, nullptr), 0);
  EXPECT_LT(lstrcmpW(nullptr, u"a"), 0);
}

TEST(Order, CaseMappingPairsRoundTrip) {
  const std::pair<WCHAR, WCHAR> pairs[] = {
      {u'A', u'a'},     {0xC0, 0xE0},     {0xDE, 0xFE},     {0x178, 0xFF},    {0x100, 0x101},
      {0x141, 0x142},   {0x17D, 0x17E},   {0x1EA0, 0x1EA1}, {0x391, 0x3B1},
      {0x3A3, 0x3C3},   {0x386, 0x3AC},   {0x38F, 0x3CE},   {0x401, 0x451},   {0x410, 0x430},
      {0x42F, 0x44F},   {0x490, 0x491},   {0x4C1, 0x4C2},   {0xFF21, 0xFF41},
  };
  for (const auto& [upper, lower] : pairs) {
    EXPECT_EQ(towlowerW(upper), lower) << std::hex << static_cast<int>(upper);
    EXPECT_EQ(towupperW(lower), upper) << std::hex << static_cast<int>(lower);
  }
  EXPECT_EQ(towupperW(0x3C2), 0x3A3);  // final sigma
  EXPECT_EQ(towlowerW(u'1'), u'1');
  EXPECT_EQ(towupperW(0xF7), 0xF7);
  WCHAR text[] = u"Stra\u00dfe \u00c4\u00d6\u00dc";
  EXPECT_EQ(std::u16string(_wcslwr(text)), u"stra\u00dfe \u00e4\u00f6\u00fc");
  EXPECT_EQ(_wcsicmp(u"\u00c4BC", u"\u00e4bc"), 0);
  EXPECT_LT(_wcsnicmp(u"abc", u"ABD", 3), 0);
  EXPECT_EQ(_wcsnicmp(u"abc", u"ABD", 2), 0);
}

// --- numbers ----------------------------------------------------------------------------

TEST(Numbers, WtolReadsLeniently) {
  const struct {
    const char16_t* text;
    long value;
  } cases[] = {
      {u"42", 42},          {u"  \t-17", -17},       {u"+8", 8},          {u"12abc", 12},
      {u"abc", 0},          {u"", 0},                {u"-", 0},           {u"0x1F", 0},
      {u" 3 4", 3},         {u"2147483647", 2147483647L},                 {u"2147483648", -2147483647L - 1},
      {u"-2147483648", -2147483647L - 1},            {u"4294967297", 1},  {u"007", 7},
      {u"\uff11", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(_wtol(c.text), c.value) << narrow(c.text);
  EXPECT_EQ(_wtol(nullptr), 0);
  EXPECT_EQ(_wtoi(u"99 bottles"), 99);
}

TEST(Numbers, WcstolBasesAndLimits) {
  WCHAR* end = nullptr;
  const WCHAR text[] = u"  0x1fZ";
  EXPECT_EQ(wcstol(text, &end, 0), 31);
  EXPECT_EQ(*end, u'Z');
  EXPECT_EQ(wcstol(u"0777", nullptr, 0), 511);
  EXPECT_EQ(wcstol(u"zz", nullptr, 36), 1295);
  EXPECT_EQ(wcstol(u"99999999999", nullptr, 10), INT32_MAX);
  EXPECT_EQ(wcstol(u"-99999999999", nullptr, 10), INT32_MIN);
  EXPECT_EQ(wcstoul(u"4294967295", nullptr, 10), 4294967295ul);
  EXPECT_EQ(wcstoul(u"4294967296", nullptr, 10), 4294967295ul);
  const WCHAR none[] = u"xyz";
  EXPECT_EQ(wcstol(none, &end, 10), 0);
  EXPECT_EQ(end, none);
  EXPECT_DOUBLE_EQ(_wtof(u" 2.5e1x"), 25.0);
  WCHAR buffer[40];
  EXPECT_EQ(std::u16string(_itow(-123, buffer, 10)), u"-123");
  EXPECT_EQ(std::u16string(_itow(-1, buffer, 16)), u"ffffffff");
  EXPECT_EQ(std::u16string(_ltow(5, buffer, 2)), u"101");
}

TEST(Strings, CopyConcatenateAndSearch) {
  WCHAR buffer[6];
  lstrcpynW(buffer, u"abcdefgh", 6);
  EXPECT_EQ(std::u16string(buffer), u"abcde");
  lstrcpynW(buffer, nullptr, 6);
  EXPECT_EQ(buffer[0], 0);
  WCHAR path[32] = u"\\a";
  lstrcatW(path, u"\\b.txt");
  EXPECT_EQ(lstrlenW(path), 8);
  EXPECT_EQ(lstrlenW(nullptr), 0);
  EXPECT_EQ(wcsrchr(path, u'\\'), path + 2);
  EXPECT_EQ(wcschr(path, u'.'), path + 4);
  EXPECT_EQ(wcsstr(path, u"b.t"), path + 3);
  EXPECT_EQ(wcsstr(path, u"zz"), nullptr);
  EXPECT_EQ(wcschr(path, 0), path + 8);
  WCHAR padded[5];
  wcsncpy(padded, u"ab", 5);
  EXPECT_EQ(padded[4], 0);
  EXPECT_LT(wcscmp(u"B", u"a"), 0);  // plain code-unit order
  EXPECT_EQ(wcsncmp(u"abc", u"abd", 2), 0);
}

// --- code pages -------------------------------------------------------------------------

TEST(CodePages, Utf8RoundTripWithSurrogatePairs) {
  std::u16string text = u"A\u00e9\u4e2d\U0001F600z";
  std::string utf8 = plat::utf16ToUtf8(text);
  EXPECT_EQ(utf8, "A\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80z");
  EXPECT_EQ(plat::utf8ToUtf16(utf8), text);
}

TEST(CodePages, InvalidInputBecomesReplacementCharacters) {
  const struct {
    std::string utf8;
    std::u16string wide;
  } cases[] = {
      {"a\xff" "b", u"a\ufffdb"},
      {"\xc0\xaf", u"\ufffd\ufffd"},            // overlong
      {"\xed\xa0\x80", u"\ufffd\ufffd\ufffd"},  // encoded surrogate
      {"\xe4\xb8", u"\ufffd"},                  // cut short at the end
      {"\xe4\xb8x", u"\ufffdx"},
      {"\xf4\x90\x80\x80", u"\ufffd\ufffd\ufffd\ufffd"},  // above U+10FFFF
  };
  for (const auto& c : cases) EXPECT_EQ(plat::utf8ToUtf16(c.utf8), c.wide);
  EXPECT_EQ(plat::utf16ToUtf8(std::u16string(1, static_cast<char16_t>(0xD800)) + u"x"), "\xef\xbf\xbdx");
  EXPECT_EQ(plat::utf16ToUtf8(std::u16string(1, static_cast<char16_t>(0xDC00))), "\xef\xbf\xbd");
}

TEST(CodePages, MultiByteToWideCharSizesAndErrors) {
  WCHAR wide[8];
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "h\xc3\xa9", -1, nullptr, 0), 3);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "h\xc3\xa9", -1, wide, 8), 3);
  EXPECT_EQ(std::u16string(wide), u"h\u00e9");
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "hello", 5, wide, 3), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(MultiByteToWideChar(12345, 0, "x", 1, wide, 8), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(MultiByteToWideChar(CP_OEMCP, 0, "\x80\xe1\xb0\xff", 4, wide, 8), 4);
  EXPECT_EQ(std::u16string(wide, 4), u"\u00c7\u00df\u2591\u00a0");
}

TEST(CodePages, Cp437IsComplete) {
  // Every byte maps to a distinct character and back again.
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  std::vector<WCHAR> wide(256);
  ASSERT_EQ(MultiByteToWideChar(437, 0, all.data(), 255, wide.data(), 256), 255);
  std::vector<WCHAR> sorted(wide.begin(), wide.begin() + 255);
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
  std::string back(255, '\0');
  BOOL used = TRUE;
  ASSERT_EQ(WideCharToMultiByte(437, 0, wide.data(), 255, back.data(), 255, nullptr, &used), 255);
  EXPECT_EQ(back, all);
  EXPECT_FALSE(used);
}

TEST(CodePages, Cp437UnmappableBecomesDefaultCharacter) {
  char out[8] = {};
  BOOL used = FALSE;
  EXPECT_EQ(WideCharToMultiByte(CP_OEMCP, 0, u"a\u4e2d\U0001F600\u00e9", -1, out, 8, nullptr, &used), 5);
  EXPECT_STREQ(out, "a??\x82");
  EXPECT_TRUE(used);
  EXPECT_EQ(WideCharToMultiByte(CP_OEMCP, 0, u"\u4e2d", 1, out, 8, "*", &used), 1);
  EXPECT_EQ(out[0], '*');
  // UTF-8 takes no default character.
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"x", 1, out, 8, nullptr, &used), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u00e9", -1, nullptr, 0, nullptr, nullptr), 3);
}

// --- system messages --------------------------------------------------------------------

TEST(Messages, SystemTextsEndWithALineBreak) {
  const struct {
    DWORD code;
    const char16_t* text;
  } cases[] = {
      {ERROR_FILE_NOT_FOUND, u"The system cannot find the file specified.\r\n"},
      {ERROR_PATH_NOT_FOUND, u"The system cannot find the path specified.\r\n"},
      {ERROR_ACCESS_DENIED, u"Access is denied.\r\n"},
      {ERROR_ALREADY_EXISTS, u"Cannot create a file when that file already exists.\r\n"},
      {ERROR_FILENAME_EXCED_RANGE, u"The filename or extension is too long.\r\n"},
  };
  for (const auto& c : cases) {
    WCHAR buffer[128];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, c.code, 0,
                             buffer, 128, nullptr);
    EXPECT_EQ(n, static_cast<DWORD>(lstrlenW(c.text)));
    EXPECT_EQ(narrow(buffer), narrow(c.text));
  }
  EXPECT_EQ(narrow(plat::systemMessage(5)), "Access is denied.");
  EXPECT_EQ(plat::systemMessage(99999), u"");
}

TEST(Messages, BufferRulesAndAllocation) {
  WCHAR small[8];
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 2, 0, small, 8, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 424242, 0, small, 8, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
  LPWSTR allocated = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 3, 0,
                           reinterpret_cast<LPWSTR>(&allocated), 0, nullptr);
  ASSERT_NE(allocated, nullptr);
  EXPECT_EQ(n, static_cast<DWORD>(lstrlenW(allocated)));
  EXPECT_EQ(LocalFree(allocated), nullptr);
}

TEST(Messages, StringInserts) {
  WCHAR buffer[64];
  DWORD_PTR args[] = {reinterpret_cast<DWORD_PTR>(u"disk"), 7};
  FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, u"%1 has %2!d! files%n%0tail", 0, 0,
                 buffer, 64, reinterpret_cast<va_list*>(args));
  EXPECT_EQ(narrow(buffer), "disk has 7 files\r\n");
  FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_IGNORE_INSERTS, u"%1 and %2!d!", 0, 0, buffer, 64,
                 nullptr);
  EXPECT_EQ(narrow(buffer), "%1 and %2!d!");
}

}  // namespace
