// CStorageMonitor: folders plugged and unplugged under the unit root while a window listens.
#include "app/storage_monitor.h"
#include "listener_window.h"
#include "unit_fixture.h"

namespace {

class StorageMonitorTest : public UnitRootTest {
 protected:
  UINT attach() { return RegisterWindowMessageW(u"WM_MSG_DEVICEATTACH"); }
  UINT remove() { return RegisterWindowMessageW(u"WM_MSG_DEVICEREMOVE"); }
};

TEST_F(StorageMonitorTest, TheFolderTable) {
  const char16_t* expected[] = {u"StorageCard", u"SDMMC", u"Hard Disk", u"Hard Disk2", u"Hard Disk3"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(std::u16string(CStorageMonitor::FolderName(i)), expected[i]);
  EXPECT_EQ(std::u16string(CStorageMonitor::FolderName(20)), u"Hard Disk19");
  EXPECT_EQ(CStorageMonitor::FolderName(21), nullptr);
  EXPECT_EQ(CStorageMonitor::FolderName(-1), nullptr);
}

TEST_F(StorageMonitorTest, StartProbesTheFoldersThatExist) {
  makeFolder("SDMMC");
  makeFolder("hard disk7");  // the unit's volumes match without regard to case
  writeFile("Hard Disk2", "a file, not a folder");
  CStorageMonitor monitor;
  EXPECT_FALSE(monitor.IsStorageCardPresent());
  ASSERT_TRUE(monitor.Start());
  EXPECT_FALSE(monitor.IsStorageCardPresent());
  EXPECT_TRUE(monitor.IsPresent(1));
  EXPECT_TRUE(monitor.IsPresent(8));
  EXPECT_FALSE(monitor.IsPresent(3));
  monitor.Stop();
  monitor.Stop();  // twice is harmless
}

TEST_F(StorageMonitorTest, CardInsertedAndRemovedIsBroadcastAndTracked) {
  ListenerWindows listener({u"MainMenu", u"StatusBar"});
  CStorageMonitor monitor;
  ASSERT_TRUE(monitor.Start());
  makeFolder("StorageCard");
  // Every top-level window hears it.
  ASSERT_TRUE(listener.waitCount(attach(), 2));
  EXPECT_TRUE(monitor.IsStorageCardPresent());
  for (const auto& r : listener.received()) {
    EXPECT_EQ(r.wParam, 0u);
    EXPECT_EQ(r.lParam, 0);
  }
  std::filesystem::remove(host("StorageCard"));
  ASSERT_TRUE(listener.waitCount(remove(), 2));
  EXPECT_FALSE(monitor.IsStorageCardPresent());
  monitor.Stop();
  EXPECT_EQ(plat::openHandleCount(), handlesAtStart());
}

TEST_F(StorageMonitorTest, ChangesOutsideTheTableStillBroadcastButTouchNoFlag) {
  ListenerWindows listener({u"MainMenu"});
  CStorageMonitor monitor;
  ASSERT_TRUE(monitor.Start());
  makeFolder("USB Stick");
  writeFile("loose.txt", "x");  // a file: added as well
  ASSERT_TRUE(listener.waitCount(attach(), 2));
  std::filesystem::rename(host("USB Stick"), host("Other"));  // a rename is neither
  std::filesystem::remove(host("loose.txt"));
  ASSERT_TRUE(listener.waitCount(remove(), 1));
  for (int i = 0; i < CStorageMonitor::kFolderCount; ++i) EXPECT_FALSE(monitor.IsPresent(i)) << i;
  monitor.Stop();
  EXPECT_EQ(listener.count(attach()), 2u);
  EXPECT_EQ(listener.count(remove()), 1u);
}

TEST_F(StorageMonitorTest, ABurstOfHundredsOfFoldersIsFullyCounted) {
  ListenerWindows listener({u"MainMenu"});
  CStorageMonitor monitor;
  ASSERT_TRUE(monitor.Start());
  const size_t count = 300;  // far beyond one 4095-byte read
  for (size_t i = 0; i < count; ++i) makeFolder("Hard Disk" + std::to_string(i));
  ASSERT_TRUE(listener.waitCount(attach(), count, static_cast<WPARAM>(-1), 20000)) << listener.count(attach());
  // "Hard Disk0" is no table name; "Hard Disk2" … "Hard Disk19" are entries 3 … 20.
  for (int i = 3; i < CStorageMonitor::kFolderCount; ++i) EXPECT_TRUE(monitor.IsPresent(i)) << i;
  EXPECT_FALSE(monitor.IsPresent(2));
  monitor.Stop();
}

TEST_F(StorageMonitorTest, StopEndsTheThreadPromptlyAndDestructionIsSafe) {
  auto* monitor = new CStorageMonitor;
  ASSERT_TRUE(monitor->Start());
  uint64_t before = plat::clock::nowMs();
  delete monitor;  // Stop inside: the thread is woken and joined
  EXPECT_LT(plat::clock::nowMs() - before, static_cast<uint64_t>(CStorageMonitor::kStopWaitMs));
  // A change after destruction reaches nobody and breaks nothing.
  makeFolder("StorageCard");
  EXPECT_FALSE(consoleHas("still busy"));
  EXPECT_EQ(plat::openHandleCount(), handlesAtStart());
}

TEST_F(StorageMonitorTest, AVanishedRootLeavesTheFlagsAsTheyWere) {
  makeFolder("StorageCard");
  CStorageMonitor monitor;
  ASSERT_TRUE(monitor.Start());
  std::filesystem::remove_all(root_);
  EXPECT_TRUE(waitForConsole("the folder is gone"));
  monitor.Stop();
  std::filesystem::create_directories(root_);
}

TEST_F(StorageMonitorTest, StartFailsCleanlyWhenTheRootCannotBeWatched) {
  std::filesystem::remove_all(root_);
  CStorageMonitor monitor;
  EXPECT_FALSE(monitor.Start());
  EXPECT_FALSE(monitor.IsStorageCardPresent());
  monitor.Stop();
  std::filesystem::create_directories(root_);
  EXPECT_EQ(plat::openHandleCount(), handlesAtStart());
}

}  // namespace
