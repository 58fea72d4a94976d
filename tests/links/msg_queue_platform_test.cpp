// Message queues: whole messages in order between two handles of one name, time-outs, sizes,
// the system's depth limit, waking a blocked reader, and name prefixes.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "links_support.h"

namespace {

class MsgQueues : public testing::Test {
 protected:
  void SetUp() override { plat::msgqueue::setNamePrefix(linktest::uniqueQueuePrefix("plat")); }
  void TearDown() override {
    for (auto& name : names_) plat::msgqueue::removeQueue(name);
    plat::msgqueue::setNamePrefix("");
  }
  HANDLE open(const std::u16string& name, bool read, DWORD depth = 1000, DWORD size = 1000) {
    names_.push_back(name);
    MSGQUEUEOPTIONS o{sizeof(MSGQUEUEOPTIONS), MSGQUEUE_ALLOW_BROKEN, depth, size, read ? TRUE : FALSE};
    return CreateMsgQueue(name.c_str(), &o);
  }
  std::vector<std::u16string> names_;
};

TEST_F(MsgQueues, MessagesArriveWholeAndInOrder) {
  HANDLE reader = open(u"q1", true);
  HANDLE writer = open(u"q1", false);
  ASSERT_NE(reader, nullptr);
  ASSERT_NE(writer, nullptr);
  std::vector<std::string> sent = {"a", std::string(500, 'b'), std::string(1000, 'c')};
  for (auto& m : sent) ASSERT_TRUE(WriteMsgQueue(writer, m.data(), static_cast<DWORD>(m.size()), 0, 0));
  for (auto& m : sent) {
    char buffer[1000];
    DWORD got = 0, flags = 99;
    ASSERT_TRUE(ReadMsgQueue(reader, buffer, sizeof buffer, &got, 0, &flags));
    EXPECT_EQ(std::string(buffer, got), m);
    EXPECT_EQ(flags, 0u);
  }
  CloseMsgQueue(writer);
  CloseMsgQueue(reader);
}

TEST_F(MsgQueues, SizeAndAccessErrors) {
  HANDLE reader = open(u"q2", true);
  HANDLE writer = open(u"q2", false);
  char big[1001] = {};
  struct {
    const char* what;
    BOOL result;
    DWORD error;
  } cases[] = {
      {"message above the maximum", WriteMsgQueue(writer, big, 1001, 0, 0), ERROR_INSUFFICIENT_BUFFER},
      {"empty message", WriteMsgQueue(writer, big, 0, 0, 0), ERROR_INVALID_PARAMETER},
      {"null message", WriteMsgQueue(writer, nullptr, 5, 0, 0), ERROR_INVALID_PARAMETER},
      {"writing a read handle", WriteMsgQueue(reader, big, 1, 0, 0), ERROR_ACCESS_DENIED},
  };
  for (auto& c : cases) {
    EXPECT_FALSE(c.result) << c.what;
  }
  SetLastError(0);
  WriteMsgQueue(writer, big, 1001, 0, 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  SetLastError(0);
  WriteMsgQueue(reader, big, 1, 0, 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

  // A message larger than the reader's buffer is refused and does not block the next one.
  ASSERT_TRUE(WriteMsgQueue(writer, big, 10, 0, 0));
  ASSERT_TRUE(WriteMsgQueue(writer, big, 2, 0, 0));
  char small[4];
  DWORD got = 0;
  EXPECT_FALSE(ReadMsgQueue(reader, small, sizeof small, &got, 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_TRUE(ReadMsgQueue(reader, small, sizeof small, &got, 0, nullptr));
  EXPECT_EQ(got, 2u);
  EXPECT_FALSE(ReadMsgQueue(writer, small, sizeof small, &got, 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

  MSGQUEUEOPTIONS wrongSize{12, 0, 10, 100, TRUE};
  EXPECT_EQ(CreateMsgQueue(u"q2", &wrongSize), nullptr);
  EXPECT_EQ(CreateMsgQueue(u"q2", nullptr), nullptr);
  CloseMsgQueue(writer);
  CloseMsgQueue(reader);
}

TEST_F(MsgQueues, ReadTimesOutOnTheFrozenClock) {
  HANDLE reader = open(u"q3", true);
  char buffer[8];
  DWORD got = 0;
  SetLastError(0);
  EXPECT_FALSE(ReadMsgQueue(reader, buffer, sizeof buffer, &got, 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));

  plat::clock::freeze();
  std::atomic<bool> done{false};
  BOOL ok = TRUE;
  DWORD error = 0;
  std::thread t([&] {
    ok = ReadMsgQueue(reader, buffer, sizeof buffer, &got, 10000, nullptr);
    error = GetLastError();
    done = true;
  });
  for (int i = 0; i < 500 && !done; ++i) {
    plat::clock::advance(10000);
    usleep(2000);
  }
  t.join();
  plat::clock::unfreeze();
  EXPECT_FALSE(ok);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_TIMEOUT));
  CloseMsgQueue(reader);
}

TEST_F(MsgQueues, FullQueueTimesOutAndTheDepthFollowsTheSystemLimit) {
  linktest::ConsoleCapture console;
  plat::msgqueue::resetLimitNotice();
  HANDLE writer = open(u"q4", false);
  ASSERT_NE(writer, nullptr);
  MSGQUEUEINFO info{};
  info.dwSize = sizeof info;
  ASSERT_TRUE(GetMsgQueueInfo(writer, &info));
  long limit = 10;
  if (FILE* f = fopen("/proc/sys/fs/mqueue/msg_max", "r")) {
    if (fscanf(f, "%ld", &limit) != 1) limit = 10;
    fclose(f);
  }
  DWORD depth = static_cast<DWORD>(std::min<long>(limit, 1000));
  EXPECT_EQ(info.dwMaxMessages, depth);
  if (limit < 1000) {
    EXPECT_TRUE(console.contains("fs.mqueue.msg_max"));
  }
  char byte = 'x';
  for (DWORD i = 0; i < depth; ++i) ASSERT_TRUE(WriteMsgQueue(writer, &byte, 1, 0, 0)) << i;
  SetLastError(0);
  EXPECT_FALSE(WriteMsgQueue(writer, &byte, 1, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
  GetMsgQueueInfo(writer, &info);
  EXPECT_EQ(info.dwCurrentMessages, depth);
  CloseMsgQueue(writer);
}

TEST_F(MsgQueues, ClosingWakesABlockedReader) {
  HANDLE reader = open(u"q5", true);
  HANDLE started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  BOOL ok = TRUE;
  std::thread t([&] {
    char buffer[8];
    DWORD got = 0;
    SetEvent(started);
    ok = ReadMsgQueue(reader, buffer, sizeof buffer, &got, INFINITE, nullptr);
  });
  WaitForSingleObject(started, 5000);
  CloseMsgQueue(reader);
  t.join();
  EXPECT_FALSE(ok);
  CloseHandle(started);
}

TEST_F(MsgQueues, PrefixesKeepRunsApart) {
  HANDLE a = open(u"shared", false);
  ASSERT_TRUE(WriteMsgQueue(a, const_cast<char*>("A"), 1, 0, 0));
  std::string first = plat::msgqueue::namePrefix();
  plat::msgqueue::setNamePrefix(first + "other-");
  HANDLE b = open(u"shared", true);
  char buffer[4];
  DWORD got = 0;
  EXPECT_FALSE(ReadMsgQueue(b, buffer, sizeof buffer, &got, 0, nullptr));
  EXPECT_EQ(plat::msgqueue::hostName(u"x/y"), "/" + first + "other-x_y");
  CloseMsgQueue(b);
  plat::msgqueue::removeQueue(u"shared");
  plat::msgqueue::setNamePrefix(first);
  CloseMsgQueue(a);
}

TEST(WaveVolume, KeepsTheDeviceVolumeOfBothChannels) {
  DWORD saved = 0;
  ASSERT_EQ(waveOutGetVolume(nullptr, &saved), static_cast<MMRESULT>(MMSYSERR_NOERROR));
  EXPECT_EQ(waveOutSetVolume(nullptr, 0x1234ABCD), static_cast<MMRESULT>(MMSYSERR_NOERROR));
  DWORD v = 0;
  waveOutGetVolume(reinterpret_cast<HWAVEOUT>(static_cast<uintptr_t>(WAVE_MAPPER)), &v);
  EXPECT_EQ(v, 0x1234ABCDu);
  EXPECT_EQ(waveOutSetVolume(reinterpret_cast<HWAVEOUT>(7), 0), static_cast<MMRESULT>(MMSYSERR_BADDEVICEID));
  EXPECT_EQ(waveOutGetVolume(nullptr, nullptr), static_cast<MMRESULT>(MMSYSERR_INVALPARAM));
  waveOutSetVolume(nullptr, saved);
}

}  // namespace
