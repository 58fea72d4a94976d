// Message queues: whole messages in order between two handles of one name, time-outs, sizes,
// the system's depth limit, waking a blocked reader, and name prefixes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <mqueue.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <atomic>
#include <thread>
#include <tuple>

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

// A queue planted with a raw descriptor, as a live companion (`hold`: its handle's lock), a
// killed run or another user leaves it; and a queue's mode and group (mode 0: not there).
mqd_t plant(const std::string& host, mode_t mode, bool hold, uid_t owner) {
  mq_attr attr{0, 5, 1000, 0, {}};
  mqd_t q = mq_open(host.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600, &attr);
  fchmod(q, mode);
  if ((owner != geteuid() && fchown(q, owner, owner) != 0) || mq_send(q, "navi", 4, 0) != 0 ||
      (hold && flock(q, LOCK_SH) != 0))
    ADD_FAILURE();
  return q;
}
std::pair<mode_t, gid_t> modeOf(const std::string& host) {
  struct stat st {};
  mqd_t q = mq_open(host.c_str(), O_RDONLY);
  if (q == static_cast<mqd_t>(-1) || fstat(q, &st) != 0 || mq_close(q) != 0) return {0, 0};
  return {st.st_mode & 0777, st.st_gid};
}

// As on the device: a queue lives while any handle of any process holds it and goes with the
// last. One another run left is used while a live companion holds it, made anew (nothing stale
// read) when a run that ended without closing it left it, and refused when others may use it.
TEST_F(MsgQueues, QueuesLiveWhileHeldAndOnesLeftBehindAreUsedMadeAnewOrRefused) {
  const std::string host = plat::msgqueue::hostName(u"life");
  char buffer[1000];
  DWORD got = 0;
  HANDLE reader = open(u"life", true), writer = open(u"life", false);
  ASSERT_TRUE(WriteMsgQueue(writer, const_cast<char*>("kept"), 4, 0, 0));
  CloseMsgQueue(writer);
  ASSERT_TRUE(ReadMsgQueue(reader, buffer, sizeof buffer, &got, 0, nullptr)) << "lost with one handle left";
  CloseMsgQueue(reader);
  EXPECT_EQ(modeOf(host).first, 0u) << "the last handle left it behind";
  enum { Used, MadeAnew, Refused };
  const std::tuple<mode_t, bool, uid_t, int, const char*> cases[] = {
      {0600, true, geteuid(), Used, ""},
      {0600, false, geteuid(), MadeAnew, "life was left by an earlier run: 1 old message dropped"},
      {0666, true, geteuid(), Refused, "life is open to others (mode 0666): not used"},
      {0666, false, geteuid(), MadeAnew, "life was left by an earlier run and is open to others (mode 0666): made anew"},
      {0600, true, 65534, Refused, "life belongs to another user (uid 65534): not used"}};
  for (const auto& [mode, held, owner, outcome, says] : cases) {
    if (owner != geteuid() && geteuid() != 0) continue;  // only root plants another user's queue
    linktest::ConsoleCapture console;
    mqd_t planted = plant(host, mode, held, owner);
    reader = open(u"life", true);
    EXPECT_EQ(reader == nullptr, outcome == Refused) << says;
    EXPECT_TRUE(*says ? console.contains(says) : !console.contains("life")) << says;
    EXPECT_EQ(reader && ReadMsgQueue(reader, buffer, sizeof buffer, &got, 0, nullptr), outcome == Used) << says;
    CloseMsgQueue(reader);
    EXPECT_EQ(modeOf(host).first != 0, outcome != MadeAnew) << "removed under its holder, or left: " << says;
    mq_close(planted), mq_unlink(host.c_str());
  }
  const mode_t saved = umask(0);
  reader = open(u"life", true);
  EXPECT_EQ(modeOf(host).first, 0600u) << "made under a umask of 0";
  CloseMsgQueue(reader), umask(saved);
  plat::msgqueue::setAccessGroup(getgrgid(getegid())->gr_name);  // the unit's group: 0660, its own
  writer = open(u"life", false);
  EXPECT_EQ(modeOf(host), std::make_pair(mode_t{0660}, getegid()));
  CloseMsgQueue(writer);
  plat::msgqueue::setAccessGroup("");
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
