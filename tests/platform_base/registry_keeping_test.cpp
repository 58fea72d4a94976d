// The registry file on disk: a script that was understood only in part is kept before it is
// first written back, and flushes from many threads never leave an older snapshot on disk.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "windows.h"

namespace fsys = std::filesystem;

namespace {

class RegistryFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/hu-regfile-XXXXXX";
    root_ = mkdtemp(pattern);
    file_ = (root_ / "registry.reg").string();
    plat::console::setEcho(false);
    sink_ = plat::console::addSink([this](const std::string& line) { lines_.push_back(line); });
  }
  void TearDown() override {
    plat::console::removeSink(sink_);
    plat::console::setEcho(true);
    plat::registry::setFile("");
    plat::registry::clear();
    fsys::remove_all(root_);
  }
  std::string fileText() {
    std::string text;
    plat::readHostFile(file_, text);
    return text;
  }
  std::vector<fsys::path> kept() {
    std::vector<fsys::path> out;
    for (auto& path : plat::damagedCopies(file_)) out.emplace_back(path);
    return out;
  }
  static void setDword(const char16_t* keyPath, const char16_t* name, DWORD value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, 0, 0, nullptr, &key, nullptr), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), sizeof value), ERROR_SUCCESS);
    RegCloseKey(key);
  }
  static LSTATUS flush() { return RegFlushKey(HKEY_LOCAL_MACHINE); }

  fsys::path root_;
  std::string file_;
  int sink_ = 0;
  std::vector<std::string> lines_;
};

TEST_F(RegistryFileTest, APartlyUnderstoodScriptIsKeptBeforeItsFirstWriteBack) {
  const std::string damaged =
      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Unit]\r\n\"Volume\"=dword:00000005\r\n\"Zone\"=bogus:10ff\r\n"
      "\"Name\"=\"Unit\"\r\n[HKEY_LOCAL_MACHINE\\Cut";  // a bad line and a truncation
  std::ofstream(file_, std::ios::binary) << damaged;
  EXPECT_FALSE(plat::registry::load(file_));
  EXPECT_EQ(fileText(), damaged);  // loading alone changes nothing

  setDword(u"Unit", u"Volume", 9);
  EXPECT_EQ(flush(), ERROR_SUCCESS);
  auto copies = kept();
  ASSERT_EQ(copies.size(), 1u);
  std::string original;
  ASSERT_TRUE(plat::readHostFile(copies[0].string(), original));
  EXPECT_EQ(original, damaged);
  // What is written back is only what was understood, and it loads cleanly.
  std::string text = fileText();
  EXPECT_NE(text.find("\"Volume\"=dword:00000009"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Name\"=\"Unit\""), std::string::npos) << text;
  EXPECT_EQ(text.find("Zone"), std::string::npos) << text;
  EXPECT_EQ(text.find("Cut"), std::string::npos) << text;

  // Later write-backs have nothing more to keep.
  setDword(u"Unit", u"Volume", 10);
  EXPECT_EQ(flush(), ERROR_SUCCESS);
  EXPECT_EQ(kept().size(), 1u);
  EXPECT_TRUE(plat::registry::load(file_));
  setDword(u"Unit", u"Volume", 11);
  EXPECT_EQ(flush(), ERROR_SUCCESS);
  EXPECT_EQ(kept().size(), 1u);
}

TEST_F(RegistryFileTest, ACleanScriptIsWrittenBackWithoutACopy) {
  std::ofstream(file_, std::ios::binary) << "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Unit]\r\n\"Volume\"=dword:00000005\r\n";
  EXPECT_TRUE(plat::registry::load(file_));
  setDword(u"Unit", u"Volume", 6);
  EXPECT_EQ(flush(), ERROR_SUCCESS);
  EXPECT_TRUE(kept().empty());
}

TEST_F(RegistryFileTest, FlushesFromManyThreadsLeaveTheNewestStateOnDisk) {
  // Each round every thread sets its own value and flushes at once. Whatever the order the
  // flushes run in, the file must end up holding what memory holds: a flush that wrote an
  // older snapshot after a newer one, and marked the registry clean, would lose an update.
  ASSERT_FALSE(plat::registry::load(file_));  // none yet: created on the first write-back
  constexpr int kThreads = 6;
  constexpr int kRounds = 150;
  for (int round = 1; round <= kRounds; ++round) {
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        std::u16string name = u"T" + std::u16string(1, static_cast<char16_t>(u'0' + t));
        ready.fetch_add(1);
        while (ready.load() < kThreads) std::this_thread::yield();
        setDword(u"Race", name.c_str(), static_cast<DWORD>(round));
        EXPECT_EQ(flush(), ERROR_SUCCESS);
      });
    }
    for (auto& thread : threads) thread.join();
    ASSERT_EQ(fileText(), plat::registry::toText()) << "round " << round;
  }
}

TEST_F(RegistryFileTest, AFlushWithNothingNewWritesNothingAndTheNextChangeIsWritten) {
  ASSERT_FALSE(plat::registry::load(file_));
  setDword(u"Unit", u"A", 1);
  EXPECT_EQ(flush(), ERROR_SUCCESS);
  // Nothing changed since: a flush writes nothing (the file keeps its time), and a change
  // after it is picked up by the one after.
  auto before = fsys::last_write_time(file_);
  EXPECT_EQ(flush(), ERROR_SUCCESS);
  EXPECT_EQ(fsys::last_write_time(file_), before);
  setDword(u"Unit", u"A", 2);
  EXPECT_EQ(flush(), ERROR_SUCCESS);
  EXPECT_NE(fileText().find("\"A\"=dword:00000002"), std::string::npos);
}

}  // namespace
