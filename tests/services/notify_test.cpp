// Change notification on the unit root: records for folders coming and going, renames, bursts,
// the cut of a read, a vanished root, and closing that wakes a waiter.
#include <cstring>
#include <thread>

#include "unit_fixture.h"

namespace {

struct Change {
  DWORD action;
  std::u16string name;
  bool operator==(const Change&) const = default;
};

class NotifyTest : public UnitRootTest {
 protected:
  void SetUp() override {
    UnitRootTest::SetUp();
    handle_ = CeFindFirstChangeNotification(u"\\", FALSE, 0x8000001Bu);
    ASSERT_NE(handle_, INVALID_HANDLE_VALUE);
  }
  void TearDown() override {
    if (handle_ != INVALID_HANDLE_VALUE) FindCloseChangeNotification(handle_);
    UnitRootTest::TearDown();
  }
  // Reads one block of at most `limit` bytes, checking the record layout.
  std::vector<Change> readBlock(DWORD limit, DWORD* gotBytes = nullptr) {
    std::vector<Change> out;
    DWORD available = 0, got = 0;
    EXPECT_TRUE(CeGetFileNotificationInfo(handle_, 0, nullptr, 0, nullptr, &available));
    if (available == 0) return out;
    DWORD size = available < limit ? available : limit;
    std::vector<DWORD> words((size + 3) / 4 + 1, 0xEEEEEEEEu);
    EXPECT_TRUE(CeGetFileNotificationInfo(handle_, 0, words.data(), size, &got, &available));
    EXPECT_LE(got, size);
    if (gotBytes) *gotBytes = got;
    auto* base = reinterpret_cast<const BYTE*>(words.data());
    for (DWORD off = 0; off < got;) {
      auto* r = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(base + off);
      EXPECT_LE(off + 12 + r->FileNameLength, got);
      out.push_back({r->Action, std::u16string(r->FileName, r->FileNameLength / 2)});
      if (r->NextEntryOffset == 0) {
        EXPECT_LE(off + 12 + r->FileNameLength, got);
        break;
      }
      EXPECT_EQ(r->NextEntryOffset % 4, 0u);
      off += r->NextEntryOffset;
    }
    return out;
  }
  // Collects records until `count` are there (a 5 s watchdog guards each wait).
  std::vector<Change> collect(size_t count) {
    std::vector<Change> all;
    while (all.size() < count) {
      if (WaitForSingleObject(handle_, 5000) != WAIT_OBJECT_0) break;
      auto block = readBlock(4095);
      all.insert(all.end(), block.begin(), block.end());
      CeFindNextChangeNotification(handle_);
    }
    return all;
  }
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

TEST_F(NotifyTest, FoldersAddedRemovedAndRenamedUnderTheRoot) {
  EXPECT_EQ(WaitForSingleObject(handle_, 0), WAIT_TIMEOUT);
  makeFolder("StorageCard");
  writeFile("note.txt", "x");
  std::filesystem::rename(host("StorageCard"), host("SDMMC"));
  makeFolder("SDMMC/deeper");  // below the root: not reported
  std::filesystem::remove_all(host("SDMMC"));
  std::vector<Change> expected = {{FILE_ACTION_ADDED, u"StorageCard"},
                                  {FILE_ACTION_ADDED, u"note.txt"},
                                  {FILE_ACTION_MODIFIED, u"note.txt"},
                                  {FILE_ACTION_RENAMED_OLD_NAME, u"StorageCard"},
                                  {FILE_ACTION_RENAMED_NEW_NAME, u"SDMMC"},
                                  {FILE_ACTION_REMOVED, u"SDMMC"}};
  EXPECT_EQ(collect(expected.size()), expected);
  EXPECT_EQ(WaitForSingleObject(handle_, 0), WAIT_TIMEOUT);
}

TEST_F(NotifyTest, FoldersMovedAcrossTheRootEdgeArriveAndLeave) {
  // A card "inserted" from elsewhere on the host, and taken away again.
  std::string outside = root_ + "-outside";
  std::filesystem::create_directories(outside + "/card");
  std::filesystem::rename(outside + "/card", host("StorageCard"));
  std::filesystem::rename(host("StorageCard"), outside + "/card");
  std::vector<Change> expected = {{FILE_ACTION_ADDED, u"StorageCard"}, {FILE_ACTION_REMOVED, u"StorageCard"}};
  EXPECT_EQ(collect(2), expected);
  std::filesystem::remove_all(outside);
}

TEST_F(NotifyTest, UnicodeNamesArriveAsUtf16) {
  makeFolder("导航");
  std::vector<Change> expected = {{FILE_ACTION_ADDED, u"导航"}};
  EXPECT_EQ(collect(1), expected);
}

TEST_F(NotifyTest, ABurstIsReadInCutsOfWholeRecordsAndNothingIsLost) {
  const int count = 300;
  for (int i = 0; i < count; ++i) makeFolder("Hard Disk" + std::to_string(i));
  std::vector<Change> all;
  while (all.size() < static_cast<size_t>(count)) {
    ASSERT_EQ(WaitForSingleObject(handle_, 5000), WAIT_OBJECT_0) << all.size();
    DWORD got = 0;
    auto block = readBlock(4095, &got);
    EXPECT_LE(got, 4095u);
    all.insert(all.end(), block.begin(), block.end());
    CeFindNextChangeNotification(handle_);
  }
  ASSERT_EQ(all.size(), static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    EXPECT_EQ(all[i].action, FILE_ACTION_ADDED);
    EXPECT_EQ(all[i].name, plat::utf8ToUtf16("Hard Disk" + std::to_string(i)));
  }
}

TEST_F(NotifyTest, ABufferTooSmallForOneRecordIsRefused) {
  makeFolder("StorageCard");
  ASSERT_EQ(WaitForSingleObject(handle_, 5000), WAIT_OBJECT_0);
  BYTE small[8];
  DWORD got = 0, available = 0;
  EXPECT_FALSE(CeGetFileNotificationInfo(handle_, 0, small, sizeof small, &got, &available));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(available, 36u);  // 12 + 22 name bytes, padded to 4 (with room for a terminator)
  EXPECT_EQ(readBlock(4095).size(), 1u);
}

TEST_F(NotifyTest, ClosingWakesAWaitingThread) {
  std::atomic<DWORD> result{WAIT_TIMEOUT};
  const HANDLE watched = handle_;  // the waiter must not read the member this thread clears
  std::thread waiter([&result, watched] { result = WaitForSingleObject(watched, 10000); });
  // The waiter may or may not be waiting yet; either way the closed handle must let it go.
  EXPECT_TRUE(FindCloseChangeNotification(handle_));
  handle_ = INVALID_HANDLE_VALUE;
  waiter.join();
  EXPECT_NE(result.load(), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(plat::openHandleCount(), handlesAtStart());
}

TEST_F(NotifyTest, AVanishedRootIsReportedOnceAndStaysQuiet) {
  FindCloseChangeNotification(handle_);
  makeFolder("card-root");
  handle_ = CeFindFirstChangeNotification(u"\\card-root", FALSE, 0x8000001Bu);
  ASSERT_NE(handle_, INVALID_HANDLE_VALUE);
  std::filesystem::remove_all(host("card-root"));
  // Nothing below it to report; the handle must not keep firing without records.
  EXPECT_TRUE(waitForConsole("the folder is gone"));
  DWORD available = 1;
  CeGetFileNotificationInfo(handle_, 0, nullptr, 0, nullptr, &available);
  EXPECT_EQ(available, 0u);
  EXPECT_EQ(WaitForSingleObject(handle_, 0), WAIT_TIMEOUT);
}

TEST_F(NotifyTest, BadRequests) {
  EXPECT_EQ(CeFindFirstChangeNotification(u"\\no\\such\\folder", FALSE, 0x1B), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  std::u16string longPath = u"\\" + std::u16string(280, u'x');
  EXPECT_EQ(CeFindFirstChangeNotification(longPath.c_str(), FALSE, 0x1B), INVALID_HANDLE_VALUE);
  EXPECT_EQ(CeFindFirstChangeNotification(nullptr, FALSE, 0x1B), INVALID_HANDLE_VALUE);
  DWORD available = 0;
  EXPECT_FALSE(CeGetFileNotificationInfo(reinterpret_cast<HANDLE>(0x999), 0, nullptr, 0, nullptr, &available));
  EXPECT_FALSE(CeFindNextChangeNotification(reinterpret_cast<HANDLE>(0x999)));
}

}  // namespace
