// The platform's folder watch on its own: what it reports, when, and how it survives folders
// that go away. It runs in real time; every wait is a bounded poll that ends as soon as the
// report is in.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>

#include "plat_folder_watch.h"
#include "platform_fixture.h"

namespace {

class FolderWatchTest : public hu::test::PlatformFixture {
 protected:
  void prepareUnit(const std::string&) override {
    writeFile("w/a.txt", "a");
    writeFile("v/b.txt", "b");
  }
  void TearDown() override {
    watch_.stop();
    PlatformFixture::TearDown();
  }

  void start(std::vector<std::u16string> folders, unsigned quietMs = 60) {
    plat::FolderWatch::Timing timing;
    timing.quietMs = quietMs;
    timing.retryMs = 30;
    ASSERT_TRUE(watch_.start(folders, [this](const std::vector<std::u16string>& changed) {
      std::lock_guard<std::mutex> guard(lock_);
      reports_.push_back(changed);
      arrived_.notify_all();
    }, timing));
  }
  // Waits (at most five seconds) until `count` reports are in; returns them.
  std::vector<std::vector<std::u16string>> reports(size_t count) {
    std::unique_lock<std::mutex> guard(lock_);
    arrived_.wait_for(guard, std::chrono::seconds(5), [&] { return reports_.size() >= count; });
    return reports_;
  }

  // Waits (at most five seconds) until some report names `path`.
  bool waitForReport(const std::u16string& path) {
    std::unique_lock<std::mutex> guard(lock_);
    return arrived_.wait_for(guard, std::chrono::seconds(5), [&] {
      for (const auto& r : reports_)
        if (std::find(r.begin(), r.end(), path) != r.end()) return true;
      return false;
    });
  }

  plat::FolderWatch watch_;
  std::mutex lock_;
  std::condition_variable arrived_;
  std::vector<std::vector<std::u16string>> reports_;
};

TEST_F(FolderWatchTest, ChangesInSeveralFoldersComeAsOneReportOnceTheyAreQuiet) {
  constexpr unsigned kQuietMs = 150;
  start({u"\\w", u"\\v", u"\\W"}, kQuietMs);  // the same folder twice is watched once
  // Each step well within the quiet time of the one before.
  auto previous = std::chrono::steady_clock::now();
  auto longestGap = std::chrono::steady_clock::duration::zero();
  for (auto step : std::vector<std::function<void()>>{[&] { writeFile("w/a.txt", "aa"); },
                                                      [&] { writeFile("v/b.txt", "bb"); },
                                                      [&] { writeFile("w/c.txt", "c"); },
                                                      [&] { std::filesystem::remove(hostPath("w/a.txt")); }}) {
    step();
    auto now = std::chrono::steady_clock::now();
    longestGap = std::max(longestGap, now - previous);
    previous = now;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  reports(1);
  std::this_thread::sleep_for(std::chrono::milliseconds(2 * kQuietMs));  // a second report would be in
  auto got = reports(1);
  if (longestGap >= std::chrono::milliseconds(kQuietMs))
    GTEST_SKIP() << "the machine was too slow to write a burst: the writes stood apart";
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], (std::vector<std::u16string>{u"\\v\\b.txt", u"\\w\\a.txt", u"\\w\\c.txt"}));
}

TEST_F(FolderWatchTest, AFileWrittenWithoutPauseIsStillReportedAfterTheLongestWait) {
  plat::FolderWatch::Timing timing;
  timing.quietMs = 1000;
  timing.longestMs = 150;
  std::atomic<int> calls{0};
  ASSERT_TRUE(watch_.start({u"\\w"}, [&](const std::vector<std::u16string>&) { ++calls; }, timing));
  auto begin = std::chrono::steady_clock::now();
  while (calls == 0 && std::chrono::steady_clock::now() - begin < std::chrono::seconds(5)) {
    writeFile("w/a.txt", "again");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_GE(calls.load(), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(900));
}

TEST_F(FolderWatchTest, AFolderDeletedAndMadeAgainIsWatchedAgainAndReportedWhole) {
  start({u"\\w"});
  std::filesystem::remove_all(hostPath("w"));
  reports(1);  // the files that went with it
  std::filesystem::create_directories(hostPath("w"));
  auto got = reports(2);
  ASSERT_GE(got.size(), 2u);
  EXPECT_NE(std::find(got.back().begin(), got.back().end(), u"\\w"), got.back().end());
  // And the folder's files are seen again afterwards.
  size_t before = got.size();
  writeFile("w/d.txt", "d");
  got = reports(before + 1);
  ASSERT_GT(got.size(), before);
  EXPECT_EQ(got.back(), (std::vector<std::u16string>{u"\\w\\d.txt"}));
  EXPECT_TRUE(consoleHas("the folder is gone")) << consoleText();
}

TEST_F(FolderWatchTest, AWatchedSubfolderMovedAwayWithItsFolderIsWatchedAgainWhereItWas) {
  writeFile("w/sub/x.txt", "x");
  start({u"\\w", u"\\w\\sub"});
  std::filesystem::rename(hostPath("w"), hostPath("w.old"));
  writeFile("w/sub/x.txt", "new");
  // The new subfolder is reported whole once it is watched.
  EXPECT_TRUE(waitForReport(u"\\w\\sub")) << consoleText();
  // From then on the old one, moved away, is no longer reported; the new one is.
  size_t before = reports(0).size();
  writeFile("w.old/sub/y.txt", "old");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(reports(0).size(), before);
  writeFile("w/sub/z.txt", "z");
  EXPECT_TRUE(waitForReport(u"\\w\\sub\\z.txt"));
}

TEST_F(FolderWatchTest, AFolderThatCannotBeWatchedIsNamedAndLookedForUntilItIsThere) {
  start({u"\\w\\a.txt", u"\\later"});
  EXPECT_TRUE(consoleHas("\\w\\a.txt: cannot watch: it is not a folder")) << consoleText();
  EXPECT_TRUE(consoleHas("\\later: cannot watch: it does not exist")) << consoleText();
  std::filesystem::create_directories(hostPath("later"));
  auto got = reports(1);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], (std::vector<std::u16string>{u"\\later"}));
}

}  // namespace
