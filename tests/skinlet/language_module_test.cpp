// Language resource modules: the two forms, LoadStringW, handles and the UI language.
#include <fstream>
#include <iterator>

#include "module/string_table.h"
#include "temp_unit.h"

namespace {

using plat::module::ParseResult;
using plat::module::StringTable;

std::string readFixture(const char* name) {
  std::ifstream in(std::string(HU_SOURCE_DIR) + "/tests/skinlet/fixtures/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(ResourceScript, ReadsBlocksEscapesAndSymbols) {
  StringTable table;
  ParseResult r = plat::module::parseResourceScript(
      "\xEF\xBB\xBF// comment\n#include \"x.h\"\n#define IDS_BASE 0x8000\nLANGUAGE 9, 1\n"
      "1 VERSIONINFO BEGIN VALUE \"STRINGTABLE\" END\n"
      "STRINGTABLE DISCARDABLE\nBEGIN\n"
      "  1, \"Tab\\there\"\n"
      "  2 \"Quote \"\"q\"\" and \\\"q\\\"\"\n"
      "  3, L\"Line\\nbreak\\x41\\101\\\\\"\n"
      "  IDS_BASE + 1, \"Beijing \xE5\x8C\x97\xE4\xBA\xAC\"\n"
      "  /* block */ 65535, \"joined \" \"text\"\n"
      "END\n"
      "stringtable { 4, \"braces\" }\n",
      table);
  ASSERT_TRUE(r.ok) << r.line << ": " << r.error;
  EXPECT_EQ(table.at(1), u"Tab\there");
  EXPECT_EQ(table.at(2), u"Quote \"q\" and \"q\"");
  EXPECT_EQ(table.at(3), u"Line\nbreakAA\\");
  EXPECT_EQ(table.at(32769), u"Beijing 北京");
  EXPECT_EQ(table.at(65535), u"joined text");
  EXPECT_EQ(table.at(4), u"braces");
  EXPECT_EQ(table.size(), 6u);
}

TEST(ResourceScript, MalformedScriptsNameTheirFault) {
  struct Case {
    std::string script;
    int line;
    const char* error;
  } cases[] = {
      {"", 0, "no STRINGTABLE"},
      {"LANGUAGE 9, 1\n", 0, "no STRINGTABLE"},
      {"STRINGTABLE\n", 1, "without BEGIN"},
      {"STRINGTABLE\nBEGIN\n 1, \"a\"\n", 3, "without END"},
      {"STRINGTABLE\nBEGIN\n 1, \"open\nEND\n", 3, "unterminated string"},
      {"STRINGTABLE\nBEGIN\n 65536, \"a\"\nEND\n", 3, "out of range"},
      {"STRINGTABLE\nBEGIN\n -1, \"a\"\nEND\n", 3, "out of range"},
      {"STRINGTABLE\nBEGIN\n IDS_NONE, \"a\"\nEND\n", 3, "unknown string id 'IDS_NONE'"},
      {"STRINGTABLE\nBEGIN\n 5 6\nEND\n", 3, "expected a string"},
      {"STRINGTABLE\nBEGIN\n 5, \"a\"\n 5, \"b\"\nEND\n", 4, "duplicate string id 5"},
      {"STRINGTABLE\nBEGIN\n 5, \"\\x\"\nEND\n", 3, "\\x without"},
      {"/* open", 1, "unterminated comment"},
      {std::string("STRINGTABLE BEGIN 1, \"a\0b\" END", 30), 1, "binary content"},
  };
  for (const Case& c : cases) {
    StringTable table;
    ParseResult r = plat::module::parseResourceScript(c.script, table);
    EXPECT_FALSE(r.ok) << c.script;
    EXPECT_EQ(r.line, c.line) << c.script;
    EXPECT_NE(r.error.find(c.error), std::string::npos) << c.script << " -> " << r.error;
    EXPECT_TRUE(table.empty());
  }
}

TEST(ResourceScript, DeepExpressionsAreRefusedNotRecursedForever) {
  StringTable table;
  std::string deep = "STRINGTABLE BEGIN " + std::string(100000, '-') + "1, \"a\" END";
  EXPECT_FALSE(plat::module::parseResourceScript(deep, table).ok);
  std::string parens = "STRINGTABLE BEGIN " + std::string(100000, '(') + "1, \"a\" END";
  EXPECT_FALSE(plat::module::parseResourceScript(parens, table).ok);
}

TEST(PeModule, ReadsTheStringTablesOfAResourceOnlyDll) {
  std::string dll = readFixture("strings_pe.dll");
  ASSERT_FALSE(dll.empty());
  StringTable table;
  ParseResult r = plat::module::parseModule(dll, table);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(table.at(1), u"One");  // the first language of the block
  EXPECT_EQ(table.at(15), u"Fifteen");
  EXPECT_EQ(table.at(16), u"Sixteen");
  EXPECT_EQ(table.at(32768), u"(GMT-12:00) International Date Line West");
  EXPECT_EQ(table.at(32867), u"(GMT+14:00) Kiritimati Island");
  EXPECT_EQ(table.at(65535), u"Last");
  EXPECT_EQ(table.count(2), 0u);
}

TEST(PeModule, DamagedImagesFailOrReadWithinTheFile) {
  std::string dll = readFixture("strings_pe.dll");
  ASSERT_FALSE(dll.empty());
  // Every prefix, and every single byte set to 0xFF: no read outside the buffer (ASan), no hang.
  for (size_t n = 0; n < dll.size(); n += 7) {
    StringTable table;
    plat::module::parsePeStrings(std::string_view(dll.data(), n), table);
  }
  for (size_t i = 0; i < dll.size(); ++i) {
    std::string copy = dll;
    copy[i] = '\xff';
    StringTable table;
    plat::module::parsePeStrings(copy, table);
  }
  StringTable table;
  EXPECT_FALSE(plat::module::parsePeStrings("MZ", table).ok);
}

// A 32-bit ARM resource-only image as the device's modules are, written byte by byte:
// one section holding the resource tree RT_STRING / block 1 / language 0x804.
std::string pe32WithStrings(const std::vector<std::u16string>& block) {
  std::string f(0x200, '\0');
  auto put16 = [&f](size_t at, uint32_t v) {
    if (f.size() < at + 2) f.resize(at + 2);
    f[at] = static_cast<char>(v & 0xFF);
    f[at + 1] = static_cast<char>((v >> 8) & 0xFF);
  };
  auto put32 = [&](size_t at, uint32_t v) {
    put16(at, v & 0xFFFF);
    put16(at + 2, v >> 16);
  };
  f[0] = 'M';
  f[1] = 'Z';
  put32(0x3C, 0x40);
  f.replace(0x40, 4, std::string("PE\0\0", 4));
  put16(0x44, 0x1C0);  // ARM
  put16(0x46, 1);      // one section
  put16(0x54, 224);    // optional header size
  put16(0x58, 0x10B);  // PE32
  put32(0x58 + 92, 16);
  const uint32_t rva = 0x1000, raw = 0x200;
  // Strings: 16 counted entries from raw + 88.
  size_t at = raw + 88;
  for (size_t i = 0; i < 16; ++i) {
    std::u16string text = i < block.size() ? block[i] : std::u16string();
    put16(at, static_cast<uint32_t>(text.size()));
    at += 2;
    for (char16_t c : text) {
      put16(at, c);
      at += 2;
    }
  }
  uint32_t size = static_cast<uint32_t>(at - raw);
  put32(0x58 + 96 + 16, rva);
  put32(0x58 + 96 + 20, size);
  f.replace(0x138, 5, ".rsrc");
  put32(0x138 + 8, size);
  put32(0x138 + 12, rva);
  put32(0x138 + 16, size);
  put32(0x138 + 20, raw);
  put16(raw + 14, 1);  // root: one id entry
  put32(raw + 16, 6);
  put32(raw + 20, 0x80000000u | 24);
  put16(raw + 24 + 14, 1);  // RT_STRING: block 1
  put32(raw + 40, 1);
  put32(raw + 44, 0x80000000u | 48);
  put16(raw + 48 + 14, 1);  // language 0x804
  put32(raw + 64, 0x804);
  put32(raw + 68, 72);
  put32(raw + 72, rva + 88);  // data entry
  put32(raw + 76, size - 88);
  return f;
}

TEST(PeModule, ReadsA32BitImage) {
  StringTable table;
  ParseResult r = plat::module::parseModule(pe32WithStrings({u"", u"\u4e00", u"", u"three"}), table);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(table.size(), 2u);
  EXPECT_EQ(table.at(1), u"\u4e00");
  EXPECT_EQ(table.at(3), u"three");
}

class Modules : public TempUnit {};

TEST_F(Modules, LoadStringCopiesCutsAndPointsIntoTheModule) {
  write("Windows/en.rc", "STRINGTABLE BEGIN 1, \"Hello\" 2, \"\" END");
  HMODULE m = LoadLibraryExW(u"en.rc", nullptr, DONT_RESOLVE_DLL_REFERENCES);
  ASSERT_NE(m, nullptr);
  WCHAR buffer[8];
  EXPECT_EQ(LoadStringW(m, 1, buffer, 8), 5);
  EXPECT_EQ(u16(buffer), u"Hello");
  EXPECT_EQ(LoadStringW(m, 1, buffer, 4), 3);
  EXPECT_EQ(u16(buffer), u"Hel");
  buffer[0] = u'x';
  EXPECT_EQ(LoadStringW(m, 9, buffer, 8), 0);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(LoadStringW(m, 2, buffer, 8), 0);
  EXPECT_EQ(LoadStringW(m, 0x10001, buffer, 8), 0);
  const WCHAR* pointer = nullptr;
  EXPECT_EQ(LoadStringW(m, 1, reinterpret_cast<LPWSTR>(&pointer), 0), 5);
  EXPECT_EQ(std::u16string(pointer, 5), u"Hello");
  EXPECT_EQ(LoadStringW(m, 1, nullptr, 8), 0);
  EXPECT_TRUE(FreeLibrary(m));
  EXPECT_EQ(LoadStringW(m, 1, buffer, 8), 0);
  EXPECT_FALSE(FreeLibrary(m));
}

TEST_F(Modules, NamesAreSearchedAndSameFileSharesOneHandle) {
  write("Windows/lang.dll", "STRINGTABLE BEGIN 1, \"w\" END");
  write("Card/x.rc", "STRINGTABLE BEGIN 1, \"c\" END");
  HMODULE a = LoadLibraryW(u"lang");  // ".dll" added, found in \Windows
  HMODULE b = LoadLibraryW(u"\\Windows\\LANG.DLL");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  HMODULE c = LoadLibraryW(u"\\Card\\x.rc");
  ASSERT_NE(c, nullptr);
  EXPECT_NE(c, a);
  EXPECT_TRUE(FreeLibrary(a));
  WCHAR buffer[4];
  EXPECT_EQ(LoadStringW(b, 1, buffer, 4), 1);  // still held once
  EXPECT_TRUE(FreeLibrary(b));
  EXPECT_TRUE(FreeLibrary(c));
  EXPECT_EQ(LoadLibraryW(u"nowhere.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(LoadLibraryW(nullptr), nullptr);
}

TEST_F(Modules, AFileChangedSinceItWasLoadedIsReadAgainUnderAHandleOfItsOwn) {
  write("Windows/lang.rc", "STRINGTABLE BEGIN 1, \"old\" END");
  HMODULE before = LoadLibraryW(u"lang.rc");
  ASSERT_NE(before, nullptr);
  write("Windows/lang.rc", "STRINGTABLE BEGIN 1, \"new\" END");
  HMODULE after = LoadLibraryW(u"lang.rc");
  ASSERT_NE(after, nullptr);
  EXPECT_NE(after, before);
  WCHAR buffer[8];
  LoadStringW(after, 1, buffer, 8);
  EXPECT_EQ(u16(buffer), u"new");
  LoadStringW(before, 1, buffer, 8);
  EXPECT_EQ(u16(buffer), u"old") << "the old handle keeps what it read until it is freed";
  EXPECT_EQ(LoadLibraryW(u"lang.rc"), after) << "unchanged since: shared";
  EXPECT_TRUE(FreeLibrary(before));
  EXPECT_TRUE(FreeLibrary(after));
  EXPECT_TRUE(FreeLibrary(after));
  EXPECT_FALSE(FreeLibrary(after));
}

TEST_F(Modules, MalformedModuleFailsWithALine) {
  write("Windows/bad.rc", "STRINGTABLE\nBEGIN\n  1 \"x\"\n  1 \"y\"\nEND\n");
  EXPECT_EQ(LoadLibraryExW(u"bad.rc", nullptr, LOAD_LIBRARY_AS_DATAFILE), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
  EXPECT_NE(console.find("bad.rc\" is not a language module: line 4: duplicate string id 1"), std::string::npos)
      << console;
}

TEST_F(Modules, PeModuleLoadsFromTheUnit) {
  write("Windows/pe.dll", readFixture("strings_pe.dll"));
  HMODULE m = LoadLibraryExW(u"pe.dll", nullptr, DONT_RESOLVE_DLL_REFERENCES);
  ASSERT_NE(m, nullptr);
  WCHAR buffer[64];
  EXPECT_EQ(LoadStringW(m, 202, buffer, 64), 5);
  EXPECT_EQ(u16(buffer), u"Start");
  EXPECT_EQ(GetProcAddress(m, "AudioUpdateFromRegistry"), nullptr);
  FreeLibrary(m);
}

TEST_F(Modules, CoreDllIsBuiltIn) {
  HMODULE core = LoadLibraryW(u"coredll.dll");
  ASSERT_NE(core, nullptr);
  EXPECT_EQ(LoadLibraryW(u"\\Windows\\CoreDll.DLL"), core);
  EXPECT_EQ(GetProcAddressW(core, u"NoSuchProc"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(GetProcAddress(core, reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(5))), nullptr);
  FreeLibrary(core);
  FreeLibrary(core);
}

TEST_F(Modules, UserInterfaceLanguageLivesInTheRegistry) {
  EXPECT_EQ(GetSystemDefaultUILanguage(), 1033);
  EXPECT_EQ(GetUserDefaultUILanguage(), 1033);
  EXPECT_TRUE(SetUserDefaultUILanguage(2052));
  EXPECT_EQ(GetUserDefaultUILanguage(), 2052);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"MUI", 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
  DWORD value = 0, size = sizeof(value), type = 0;
  ASSERT_EQ(RegQueryValueExW(key, u"CurLang", nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(value, 2052u);
  for (LANGID refused : {LANGID{0}, LANGID{9}, LANGID{0x7F}, LANGID{0x047F}}) {
    EXPECT_FALSE(SetUserDefaultUILanguage(refused)) << refused;
  }
  EXPECT_EQ(GetUserDefaultUILanguage(), 2052);
}

}  // namespace
