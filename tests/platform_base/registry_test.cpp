// The registry: the REGEDIT4 script (round trip, every value form, syntax errors with line
// numbers), the Reg* calls' return codes and buffer rules, and persistence in the unit root.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "windows.h"

namespace fsys = std::filesystem;

namespace {

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::registry::setFile("");
    plat::registry::clear();
    plat::console::setEcho(false);
    sink_ = plat::console::addSink([this](const std::string& line) { lines_.push_back(line); });
  }
  void TearDown() override {
    plat::console::removeSink(sink_);
    plat::console::setEcho(true);
    plat::registry::clear();
  }
  int sink_ = 0;
  std::vector<std::string> lines_;
};

std::u16string queryString(HKEY root, const char16_t* path, const char16_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return u"<no key>";
  WCHAR buffer[256] = {};
  DWORD size = sizeof buffer;
  DWORD type = 0;
  LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return u"<no value>";
  return buffer;
}

std::vector<uint8_t> queryBytes(HKEY root, const char16_t* path, const char16_t* name, DWORD* type) {
  HKEY key = nullptr;
  std::vector<uint8_t> bytes;
  if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return bytes;
  DWORD size = 0;
  if (RegQueryValueExW(key, name, nullptr, type, nullptr, &size) == ERROR_SUCCESS) {
    bytes.resize(size);
    RegQueryValueExW(key, name, nullptr, type, bytes.data(), &size);
  }
  RegCloseKey(key);
  return bytes;
}

const char kScript[] =
    "REGEDIT4\r\n"
    "; the unit's settings\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\FlashDrv\\ROFATFS]\r\n"
    "\"Folder\"=\"GPSData\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Unit]\r\n"
    "@=\"default text\"\r\n"
    "\"Path\"=\"\\\\StorageCard\\\\Navi \\\"One\\\".exe\"\r\n"
    "\"Volume\"=dword:0000001f\r\n"
    "\"Blob\"=hex:01,02,ff\r\n"
    "\"List\"=hex(7):61,00,62,00,00,00,\\\r\n"
    "  63,00,00,00,00,00\r\n"
    "\"Expand\"=hex(2):25,00,41,00,25,00,00,00\r\n"
    "\"Gone\"=dword:1\r\n"
    "\"Gone\"=-\r\n"
    "\"Caf\xc3\xa9\"=\"\xe4\xb8\xad\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Unit\\Old\\Deeper]\r\n"
    "\"x\"=dword:00000001\r\n"
    "[-HKEY_LOCAL_MACHINE\\Software\\Unit\\Old]\r\n"
    "[HKEY_CURRENT_USER\\ControlPanel\\Volume]\r\n"
    "\"Key\"=dword:ffffffff\r\n";

TEST_F(RegistryTest, ScriptLoadsEveryValueForm) {
  EXPECT_TRUE(plat::registry::loadText(kScript, "unit.reg"));
  EXPECT_TRUE(lines_.empty());
  EXPECT_EQ(queryString(HKEY_LOCAL_MACHINE, u"System\\StorageManager\\Profiles\\FlashDrv\\ROFATFS", u"Folder"),
            u"GPSData");
  EXPECT_EQ(queryString(HKEY_LOCAL_MACHINE, u"software\\UNIT", nullptr), u"default text");
  EXPECT_EQ(queryString(HKEY_LOCAL_MACHINE, u"Software\\Unit", u""), u"default text");
  EXPECT_EQ(queryString(HKEY_LOCAL_MACHINE, u"Software\\Unit", u"path"), u"\\StorageCard\\Navi \"One\".exe");
  EXPECT_EQ(queryString(HKEY_LOCAL_MACHINE, u"Software\\Unit", u"caf\u00c9"), u"\u4e2d");
  DWORD type = 0;
  EXPECT_EQ(queryBytes(HKEY_LOCAL_MACHINE, u"Software\\Unit", u"Volume", &type), (std::vector<uint8_t>{31, 0, 0, 0}));
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(queryBytes(HKEY_LOCAL_MACHINE, u"Software\\Unit", u"Blob", &type), (std::vector<uint8_t>{1, 2, 255}));
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(queryBytes(HKEY_LOCAL_MACHINE, u"Software\\Unit", u"List", &type),
            (std::vector<uint8_t>{0x61, 0, 0x62, 0, 0, 0, 0x63, 0, 0, 0, 0, 0}));
  EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
  queryBytes(HKEY_LOCAL_MACHINE, u"Software\\Unit", u"Expand", &type);
  EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(queryString(HKEY_LOCAL_MACHINE, u"Software\\Unit", u"Gone"), u"<no value>");
  EXPECT_EQ(queryString(HKEY_LOCAL_MACHINE, u"Software\\Unit\\Old", u"x"), u"<no key>");
  EXPECT_EQ(queryBytes(HKEY_CURRENT_USER, u"ControlPanel\\Volume", u"Key", &type),
            (std::vector<uint8_t>{255, 255, 255, 255}));
}

TEST_F(RegistryTest, WrittenScriptIsDeterministicAndReadsBackTheSame) {
  plat::registry::loadText(kScript, "unit.reg");
  const std::string expected =
      "REGEDIT4\n"
      "\n"
      "; the unit's settings\n"
      "\n"
      "[HKEY_CURRENT_USER\\ControlPanel]\n"
      "\n"
      "[HKEY_CURRENT_USER\\ControlPanel\\Volume]\n"
      "\"Key\"=dword:ffffffff\n"
      "\n"
      "[HKEY_LOCAL_MACHINE\\Software]\n"
      "\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Unit]\n"
      "@=\"default text\"\n"
      "\"Blob\"=hex:01,02,ff\n"
      "\"Caf\xc3\xa9\"=\"\xe4\xb8\xad\"\n"
      "\"Expand\"=hex(2):25,00,41,00,25,00,00,00\n"
      "\"List\"=hex(7):61,00,62,00,00,00,63,00,00,00,00,00\n"
      "\"Path\"=\"\\\\StorageCard\\\\Navi \\\"One\\\".exe\"\n"
      "\"Volume\"=dword:0000001f\n"
      "\n"
      "[HKEY_LOCAL_MACHINE\\System]\n"
      "\n"
      "[HKEY_LOCAL_MACHINE\\System\\StorageManager]\n"
      "\n"
      "[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles]\n"
      "\n"
      "[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\FlashDrv]\n"
      "\n"
      "[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\FlashDrv\\ROFATFS]\n"
      "\"Folder\"=\"GPSData\"\n"
      "\n";
  std::string text = plat::registry::toText();
  EXPECT_EQ(text, expected);
  EXPECT_TRUE(plat::registry::loadText(text, "again.reg"));
  EXPECT_EQ(plat::registry::toText(), expected);
}

TEST_F(RegistryTest, LongAndOddValuesSurviveTheRoundTrip) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"A\\B", 0, nullptr, 0, 0, nullptr, &key, nullptr), ERROR_SUCCESS);
  std::vector<uint8_t> blob(300);
  for (size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<uint8_t>(i * 7);
  RegSetValueExW(key, u"Blob", 0, REG_BINARY, blob.data(), static_cast<DWORD>(blob.size()));
  const BYTE noTerminator[] = {'a', 0, 'b', 0};
  RegSetValueExW(key, u"NoTerm", 0, REG_SZ, noTerminator, sizeof noTerminator);
  const BYTE shortDword[] = {1, 2};
  RegSetValueExW(key, u"Short", 0, REG_DWORD, shortDword, sizeof shortDword);
  const char16_t lines[] = u"two\r\nlines";
  RegSetValueExW(key, u"Lines", 0, REG_SZ, reinterpret_cast<const BYTE*>(lines), sizeof lines);
  RegSetValueExW(key, u"Empty", 0, REG_BINARY, nullptr, 0);
  RegSetValueExW(key, u"Quote\"\\Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(u"v"), 4);
  RegCloseKey(key);
  std::string first = plat::registry::toText();
  EXPECT_TRUE(plat::registry::loadText(first, "x.reg")) << first;
  EXPECT_EQ(plat::registry::toText(), first);
  DWORD type = 0;
  EXPECT_EQ(queryBytes(HKEY_LOCAL_MACHINE, u"A\\B", u"Blob", &type), blob);
  EXPECT_EQ(queryBytes(HKEY_LOCAL_MACHINE, u"A\\B", u"NoTerm", &type),
            std::vector<uint8_t>(noTerminator, noTerminator + 4));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(queryBytes(HKEY_LOCAL_MACHINE, u"A\\B", u"Short", &type), std::vector<uint8_t>({1, 2}));
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(queryString(HKEY_LOCAL_MACHINE, u"A\\B", u"Lines"), u"two\r\nlines");
  EXPECT_EQ(queryString(HKEY_LOCAL_MACHINE, u"A\\B", u"quote\"\\name"), u"v");
  // Hex lines are wrapped below 80 columns.
  std::istringstream in(first);
  for (std::string line; std::getline(in, line);) EXPECT_LE(line.size(), 80u) << line;
}

TEST_F(RegistryTest, SyntaxErrorsNameTheLineAndTheRestLoads) {
  const std::string script =
      "REGEDIT4\n"                          // 1
      "\"Orphan\"=dword:1\n"                // 2
      "[HKEY_LOCAL_MACHINE\\Good]\n"        // 3
      "\"NoEquals\" dword:1\n"              // 4
      "\"A\"=dword:123456789\n"             // 5
      "\"B\"=dword:xyz\n"                   // 6
      "\"C\"=hex:1,zz\n"                    // 7
      "\"D\"=\"unterminated\n"              // 8
      "\"E\"=word:1\n"                      // 9
      "Bare=dword:1\n"                      // 10
      "\"F\"=\"x\" trailing\n"              // 11
      "[HKEY_NOWHERE\\X]\n"                 // 12
      "\"InBadKey\"=dword:1\n"              // 13
      "[HKEY_LOCAL_MACHINE\\Good\n"         // 14
      "[HKEY_LOCAL_MACHINE\\Good]\n"        // 15
      "\"G\"=hex(zz):00\n"                  // 16
      "\"Fine\"=dword:00000002\n"           // 17
      "\"H\"=hex:01,\\\n"                   // 18
      "  02,0x\n"                           // 19
      "\"Last\"=\"ok\"\n"                   // 20
      "\"Bad\rName\"=dword:1\n";            // 21
  EXPECT_FALSE(plat::registry::loadText(script, "unit.reg"));
  const std::vector<std::string> expected = {
      "Registry: unit.reg line 2: a value outside of any key\n",
      "Registry: unit.reg line 4: missing \"=\" after the value name\n",
      "Registry: unit.reg line 5: a dword value needs 1 to 8 hex digits\n",
      "Registry: unit.reg line 6: a dword value needs 1 to 8 hex digits\n",
      "Registry: unit.reg line 7: hex data must be bytes of two hex digits separated by commas\n",
      "Registry: unit.reg line 8: the string value has no closing quote\n",
      "Registry: unit.reg line 9: unknown value type\n",
      "Registry: unit.reg line 10: a value name must be quoted or \"@\"\n",
      "Registry: unit.reg line 11: text after the closing quote of the string value\n",
      "Registry: unit.reg line 12: unknown root key \"HKEY_NOWHERE\"\n",
      "Registry: unit.reg line 13: a value of a key that could not be read\n",
      "Registry: unit.reg line 14: a key line must end with \"]\"\n",
      "Registry: unit.reg line 16: a hex(type) value needs a hex type number\n",
      "Registry: unit.reg line 18: hex data must be bytes of two hex digits separated by commas\n",
      "Registry: unit.reg line 21: a value name with a control character\n",
  };
  EXPECT_EQ(lines_, expected);
  DWORD type = 0;
  EXPECT_EQ(queryBytes(HKEY_LOCAL_MACHINE, u"Good", u"Fine", &type), std::vector<uint8_t>({2, 0, 0, 0}));
  EXPECT_EQ(queryString(HKEY_LOCAL_MACHINE, u"Good", u"Last"), u"ok");
  EXPECT_EQ(queryString(HKEY_LOCAL_MACHINE, u"Good", u"A"), u"<no value>");

  lines_.clear();
  EXPECT_FALSE(plat::registry::loadText("[HKEY_LOCAL_MACHINE\\K]\n\"v\"=dword:1\n", "nohead.reg"));
  EXPECT_EQ(lines_, std::vector<std::string>{"Registry: nohead.reg line 1: the first line is not \"REGEDIT4\"\n"});
  EXPECT_EQ(queryBytes(HKEY_LOCAL_MACHINE, u"K", u"v", &type), std::vector<uint8_t>({1, 0, 0, 0}));
}

TEST_F(RegistryTest, QueryFollowsTheBufferRules) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Test", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  const char16_t text[] = u"hello";
  ASSERT_EQ(RegSetValueExW(key, u"Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text), ERROR_SUCCESS);
  DWORD type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExW(key, u"Text", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, sizeof text);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  WCHAR small[3];
  size = sizeof small;
  EXPECT_EQ(RegQueryValueExW(key, u"Text", nullptr, &type, reinterpret_cast<BYTE*>(small), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, sizeof text);
  EXPECT_EQ(RegQueryValueExW(key, u"TEXT", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExW(key, u"Missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExW(key, u"Text", nullptr, &type, reinterpret_cast<BYTE*>(small), nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteValueW(key, u"text"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(key, u"text"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"software\\TEST", 0, nullptr, 0, 0, nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  RegCloseKey(key);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Nope", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(RegOpenKeyExW(reinterpret_cast<HKEY>(0x77), u"x", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegSetValueExW(HKEY_LOCAL_MACHINE, u"x", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
  // Names the registry file could not hold are refused.
  EXPECT_EQ(RegSetValueExW(HKEY_LOCAL_MACHINE, u"a\nb", 0, REG_BINARY, nullptr, 0), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"ok\bad\rkey", 0, nullptr, 0, 0, nullptr, &key, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"ok", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, EnumerationAndRecursiveDeletion) {
  plat::registry::loadText(
      "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Root\\beta]\n[HKEY_LOCAL_MACHINE\\Root\\Alpha\\Child]\n"
      "[HKEY_LOCAL_MACHINE\\Root]\n\"zeta\"=dword:1\n\"Eta\"=\"long value\"\n",
      "enum.reg");
  HKEY root = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Root", 0, KEY_READ, &root), ERROR_SUCCESS);
  std::vector<std::u16string> keys;
  WCHAR name[64];
  for (DWORD i = 0;; ++i) {
    DWORD length = 64;
    LSTATUS status = RegEnumKeyExW(root, i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(status, ERROR_SUCCESS);
    EXPECT_EQ(length, static_cast<DWORD>(lstrlenW(name)));
    keys.push_back(name);
  }
  EXPECT_EQ(keys, (std::vector<std::u16string>{u"Alpha", u"beta"}));
  DWORD length = 3;
  EXPECT_EQ(RegEnumKeyExW(root, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  length = 64;
  DWORD type = 0;
  BYTE data[4];
  DWORD dataLength = sizeof data;
  EXPECT_EQ(RegEnumValueW(root, 0, name, &length, nullptr, &type, data, &dataLength), ERROR_MORE_DATA);
  EXPECT_EQ(std::u16string(name), u"Eta");
  EXPECT_EQ(dataLength, sizeof(u"long value"));
  length = 64;
  dataLength = sizeof data;
  EXPECT_EQ(RegEnumValueW(root, 1, name, &length, nullptr, &type, data, &dataLength), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name), u"zeta");
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  length = 64;
  EXPECT_EQ(RegEnumValueW(root, 2, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);

  HKEY child = nullptr;
  ASSERT_EQ(RegOpenKeyExW(root, u"alpha\\child", 0, KEY_READ, &child), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"root\\ALPHA"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Root\\Alpha"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExW(child, u"x", nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
  length = 64;
  EXPECT_EQ(RegEnumKeyExW(root, 1, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(RegCloseKey(root), ERROR_SUCCESS);
}

TEST_F(RegistryTest, ConcurrentWritersAndReaders) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 200; ++i) {
        HKEY key = nullptr;
        std::u16string path = u"Stress\\T" + std::u16string(1, static_cast<char16_t>(u'0' + t));
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, 0, nullptr, &key, nullptr) != 0) continue;
        DWORD v = static_cast<DWORD>(i);
        RegSetValueExW(key, u"Count", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), sizeof v);
        DWORD size = sizeof v;
        RegQueryValueExW(key, u"Count", nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &size);
        RegCloseKey(key);
        if (i % 50 == 0) plat::registry::toText();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) {
    DWORD type = 0;
    std::u16string path = u"Stress\\T" + std::u16string(1, static_cast<char16_t>(u'0' + t));
    EXPECT_EQ(queryBytes(HKEY_LOCAL_MACHINE, path.c_str(), u"Count", &type), std::vector<uint8_t>({199, 0, 0, 0}));
  }
}

TEST_F(RegistryTest, PersistsInTheUnitRootAcrossStartups) {
  char pattern[] = "/tmp/hu-registry-XXXXXX";
  fsys::path root = mkdtemp(pattern);
  std::ofstream(root / "registry.reg") << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Unit]\n\"Volume\"=dword:00000005\n";
  plat::Options options;
  options.unitRoot = root.string();
  plat::startup(options);
  DWORD type = 0;
  EXPECT_EQ(queryBytes(HKEY_LOCAL_MACHINE, u"Unit", u"Volume", &type), std::vector<uint8_t>({5, 0, 0, 0}));
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Unit", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  DWORD v = 9;
  RegSetValueExW(key, u"Volume", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), sizeof v);
  EXPECT_EQ(RegFlushKey(key), ERROR_SUCCESS);
  RegCloseKey(key);
  std::string text;
  ASSERT_TRUE(plat::readHostFile((root / "registry.reg").string(), text));
  EXPECT_NE(text.find("\"Volume\"=dword:00000009"), std::string::npos) << text;
  v = 10;
  RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Unit", 0, nullptr, 0, 0, nullptr, &key, nullptr);
  RegSetValueExW(key, u"Volume", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), sizeof v);
  RegCloseKey(key);
  plat::shutdown();
  plat::registry::clear();
  plat::startup(options);
  EXPECT_EQ(queryBytes(HKEY_LOCAL_MACHINE, u"Unit", u"Volume", &type), std::vector<uint8_t>({10, 0, 0, 0}));
  plat::shutdown();

  // A unit that keeps no registry neither reads nor writes the file.
  options.persistRegistry = false;
  plat::startup(options);
  EXPECT_EQ(queryBytes(HKEY_LOCAL_MACHINE, u"Unit", u"Volume", &type), std::vector<uint8_t>());
  RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Other", 0, nullptr, 0, 0, nullptr, &key, nullptr);
  RegCloseKey(key);
  plat::shutdown();
  ASSERT_TRUE(plat::readHostFile((root / "registry.reg").string(), text));
  EXPECT_EQ(text.find("Other"), std::string::npos);
  EXPECT_EQ(std::distance(fsys::directory_iterator(root), fsys::directory_iterator()), 1);
  plat::startup(plat::Options{});
  plat::shutdown();
  fsys::remove_all(root);
}

TEST_F(RegistryTest, AnUnreadableRegistryIsNeverReplaced) {
  char pattern[] = "/tmp/hu-registry-XXXXXX";
  fsys::path root = mkdtemp(pattern);
  // Something is there but cannot be read as a script (here a folder in its place).
  fsys::create_directories(root / "registry.reg" / "keep");
  const std::string file = (root / "registry.reg").string();
  EXPECT_FALSE(plat::registry::load(file));
  EXPECT_EQ(lines_, std::vector<std::string>{"Registry: cannot read " + file +
                                             " (is a folder, not a file), changes are not written back\n"});
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"New", 0, nullptr, 0, 0, nullptr, &key, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(RegFlushKey(key), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_TRUE(fsys::is_directory(root / "registry.reg" / "keep"));
  EXPECT_EQ(std::distance(fsys::directory_iterator(root), fsys::directory_iterator()), 1);

  // A registry that is simply missing is created on the first write-back.
  lines_.clear();
  fsys::remove_all(root / "registry.reg");
  EXPECT_FALSE(plat::registry::load(file));
  EXPECT_TRUE(lines_.empty());
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"New", 0, nullptr, 0, 0, nullptr, &key, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(RegFlushKey(key), ERROR_SUCCESS);
  RegCloseKey(key);
  std::string text;
  ASSERT_TRUE(plat::readHostFile(file, text));
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\New]"), std::string::npos) << text;
  plat::registry::setFile("");
  fsys::remove_all(root);
}

TEST_F(RegistryTest, KeysDeeperThanTheLimitAreRefused) {
  auto path = [](int levels) {
    std::string p;
    for (int i = 0; i < levels; ++i) p += "\\k";
    return p;
  };
  // Far too deep for the stack if it were taken in: one console line, the rest loads.
  const std::string script = "REGEDIT4\n[HKEY_LOCAL_MACHINE" + path(200000) + "]\n\"v\"=dword:1\n" +
                             "[HKEY_LOCAL_MACHINE" + path(512) + "]\n\"deep\"=dword:2\n";
  EXPECT_FALSE(plat::registry::loadText(script, "deep.reg"));
  EXPECT_EQ(lines_, (std::vector<std::string>{"Registry: deep.reg line 2: a key more than 512 levels deep\n",
                                              "Registry: deep.reg line 3: a value of a key that could not be read\n"}));
  std::u16string deepest = plat::utf8ToUtf16(path(512).substr(1));
  DWORD type = 0;
  EXPECT_EQ(queryBytes(HKEY_LOCAL_MACHINE, deepest.c_str(), u"deep", &type), std::vector<uint8_t>({2, 0, 0, 0}));
  // The deepest key the tree holds still writes back and reads again.
  std::string text = plat::registry::toText();
  lines_.clear();
  EXPECT_TRUE(plat::registry::loadText(text, "again.reg"));
  EXPECT_TRUE(lines_.empty());
  EXPECT_EQ(queryBytes(HKEY_LOCAL_MACHINE, deepest.c_str(), u"deep", &type), std::vector<uint8_t>({2, 0, 0, 0}));

  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, deepest.c_str(), 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  HKEY deeper = nullptr;
  EXPECT_EQ(RegCreateKeyExW(key, u"one", 0, nullptr, 0, 0, nullptr, &deeper, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(deeper, nullptr);
  RegCloseKey(key);
  std::u16string tooDeep = u"Other" + plat::utf8ToUtf16(path(512));
  EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, tooDeep.c_str(), 0, nullptr, 0, 0, nullptr, &key, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Other", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

}  // namespace
