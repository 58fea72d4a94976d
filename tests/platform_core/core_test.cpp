// Handles, threads, events, waits, the test clock and the console.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/kernel_object.h"
#include "core/mul_div.h"
#include "windows.h"

namespace {

// Unfreezes the clock whatever a test does.
struct FrozenClock {
  FrozenClock() { plat::clock::freeze(); }
  ~FrozenClock() { plat::clock::unfreeze(); }
};

DWORD WINAPI setEventThread(LPVOID param) {
  SetEvent(static_cast<HANDLE>(param));
  return 7;
}

TEST(Threads, ExitCodeAndWaitOnThreadHandle) {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, setEventThread, event, 0, &id);
  ASSERT_NE(thread, nullptr);
  EXPECT_NE(id, 0u);
  EXPECT_NE(id, GetCurrentThreadId());
  EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 7u);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(CloseHandle(thread));
  EXPECT_TRUE(CloseHandle(event));
}

TEST(Threads, SuspendedThreadRunsOnlyAfterResume) {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = CreateThread(nullptr, 0, setEventThread, event, CREATE_SUSPENDED, nullptr);
  EXPECT_EQ(WaitForSingleObject(event, 50), WAIT_TIMEOUT);
  DWORD code = 0;
  GetExitCodeThread(thread, &code);
  EXPECT_EQ(code, STILL_ACTIVE);
  ResumeThread(thread);
  EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  CloseHandle(thread);
  CloseHandle(event);
}

TEST(Threads, TerminateIsRefusedWithAConsoleLine) {
  std::vector<std::string> lines;
  plat::console::setEcho(false);
  int sink = plat::console::addSink([&](const std::string& l) { lines.push_back(l); });
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  EXPECT_FALSE(TerminateThread(event, 0));
  plat::console::removeSink(sink);
  plat::console::setEcho(true);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("not killed"), std::string::npos);
  CloseHandle(event);
}

TEST(Events, AutoResetReleasesOneWaitManualResetStays) {
  HANDLE autoEvent = CreateEventW(nullptr, FALSE, TRUE, nullptr);
  EXPECT_EQ(WaitForSingleObject(autoEvent, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(autoEvent, 0), WAIT_TIMEOUT);
  HANDLE manual = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  ResetEvent(manual);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);
  CloseHandle(autoEvent);
  CloseHandle(manual);
}

TEST(Events, NamedEventsAreSharedProcessWide) {
  HANDLE a = CreateEventW(nullptr, FALSE, FALSE, u"BackLightChangeEvent");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  HANDLE b = CreateEventW(nullptr, FALSE, FALSE, u"BackLightChangeEvent");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  HANDLE c = OpenEventW(EVENT_ALL_ACCESS, FALSE, u"BackLightChangeEvent");
  ASSERT_NE(c, nullptr);
  EXPECT_NE(a, b);
  SetEvent(c);
  EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(b, 0), WAIT_TIMEOUT);  // auto-reset: one wait consumed it
  CloseHandle(a);
  CloseHandle(b);
  CloseHandle(c);
  EXPECT_EQ(OpenEventW(EVENT_ALL_ACCESS, FALSE, u"BackLightChangeEvent"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(Waits, MultipleObjectsReportsTheSignalledIndexAndWaitAllNeedsEvery) {
  HANDLE e[3];
  for (auto& h : e) h = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetEvent(e[2]);
  EXPECT_EQ(WaitForMultipleObjects(3, e, FALSE, 0), WAIT_OBJECT_0 + 2);
  EXPECT_EQ(WaitForMultipleObjects(3, e, TRUE, 0), WAIT_TIMEOUT);
  SetEvent(e[0]);
  SetEvent(e[1]);
  EXPECT_EQ(WaitForMultipleObjects(3, e, TRUE, 0), WAIT_OBJECT_0);
  for (auto& h : e) CloseHandle(h);
}

TEST(Waits, InvalidHandlesFailInsteadOfBlocking) {
  EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(0x1234), INFINITE), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(CloseHandle(reinterpret_cast<HANDLE>(0x1234)));
  HANDLE e = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  CloseHandle(e);
  EXPECT_FALSE(CloseHandle(e));
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_FAILED);
}

TEST(Waits, SemaphoreCountsAndMutexIsRecursiveForItsOwner) {
  HANDLE s = CreateSemaphoreW(nullptr, 2, 2, nullptr);
  EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_TIMEOUT);
  EXPECT_FALSE(ReleaseSemaphore(s, 3, nullptr));
  LONG previous = -1;
  EXPECT_TRUE(ReleaseSemaphore(s, 1, &previous));
  EXPECT_EQ(previous, 0);
  CloseHandle(s);

  HANDLE m = CreateMutexW(nullptr, TRUE, nullptr);
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
  std::atomic<DWORD> other{0};
  std::thread([&] { other = WaitForSingleObject(m, 0); }).join();
  EXPECT_EQ(other.load(), WAIT_TIMEOUT);
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_FALSE(ReleaseMutex(m));
  std::thread([&] { other = WaitForSingleObject(m, 0); }).join();
  EXPECT_EQ(other.load(), WAIT_OBJECT_0);
  CloseHandle(m);
}

TEST(TestClock, FrozenClockMovesOnlyByAdvanceAndWakesTimedWaits) {
  FrozenClock frozen;
  DWORD start = GetTickCount();
  HANDLE e = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<DWORD> result{0xdead};
  std::thread waiter([&] { result = WaitForSingleObject(e, 1000); });
  // Real time passes, the platform clock does not: the wait must still be pending.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(result.load(), 0xdeadu);
  EXPECT_EQ(GetTickCount(), start);
  plat::clock::advance(999);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(result.load(), 0xdeadu);
  plat::clock::advance(1);
  waiter.join();
  EXPECT_EQ(result.load(), WAIT_TIMEOUT);
  EXPECT_EQ(GetTickCount(), start + 1000);
  CloseHandle(e);
}

TEST(TestClock, SleepFollowsTheFrozenClock) {
  FrozenClock frozen;
  std::atomic<bool> woke{false};
  std::thread sleeper([&] {
    Sleep(500);
    woke = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(40));
  EXPECT_FALSE(woke.load());
  plat::clock::advance(500);
  sleeper.join();
  EXPECT_TRUE(woke.load());
}

TEST(TestClock, WallClockCanBeSetAndMovesWithThePlatformClock) {
  FrozenClock frozen;
  plat::clock::setWallMs(1'000'000'000'000LL);
  EXPECT_EQ(plat::clock::wallMs(), 1'000'000'000'000LL);
  plat::clock::advance(1500);
  EXPECT_EQ(plat::clock::wallMs(), 1'000'000'001'500LL);
}

TEST(CriticalSection, RecursiveAndExclusive) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  EnterCriticalSection(&cs);
  EnterCriticalSection(&cs);
  std::atomic<BOOL> got{TRUE};
  std::thread([&] { got = TryEnterCriticalSection(&cs); }).join();
  EXPECT_FALSE(got.load());
  LeaveCriticalSection(&cs);
  LeaveCriticalSection(&cs);
  std::thread([&] {
    got = TryEnterCriticalSection(&cs);
    if (got) LeaveCriticalSection(&cs);
  }).join();
  EXPECT_TRUE(got.load());
  DeleteCriticalSection(&cs);
}

TEST(Console, SinksSeeFormattedLinesInOrder) {
  std::vector<std::string> lines;
  plat::console::setEcho(false);
  int sink = plat::console::addSink([&](const std::string& l) { lines.push_back(l); });
  OutputDebugStringW(u"*** MainMenu\n");
  NKDbgPrintfW(u"[Vexa APP] %s %d\n", u"\u5929", 42);
  plat::console::removeSink(sink);
  OutputDebugStringW(u"not seen\n");
  plat::console::setEcho(true);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "*** MainMenu\n");
  EXPECT_EQ(lines[1], "[Vexa APP] \xE5\xA4\xA9 42\n");
}

TEST(Handles, ClosingEveryHandleLeavesTheTableAsItWas) {
  size_t before = plat::openHandleCount();
  std::vector<HANDLE> handles;
  for (int i = 0; i < 100; ++i) handles.push_back(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  EXPECT_EQ(plat::openHandleCount(), before + 100);
  for (HANDLE h : handles) CloseHandle(h);
  EXPECT_EQ(plat::openHandleCount(), before);
}

TEST(Module, FileNameIsTheDevicePathAndIsCutToTheBuffer) {
  WCHAR buffer[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  EXPECT_EQ(std::u16string(buffer, n), u"\\Windows\\launcher.exe");
  WCHAR small[5];
  n = GetModuleFileNameW(nullptr, small, 5);
  EXPECT_EQ(n, 4u);
  EXPECT_EQ(std::u16string(small), u"\\Win");
}

// Products beyond 64 bits (a stretch across the whole coordinate range) without a 128-bit type.
TEST(MulDiv, ExactThroughProductsBeyond64BitsAndRoundsTowardZero) {
  const int64_t kMax = INT64_MAX, kBig = int64_t{1} << 62;
  const struct {
    int64_t a, b, c, want;
  } cases[] = {
      {7, 3, 2, 10},
      {-7, 3, 2, -10},
      {5, 0, 3, 0},
      {8589934593, 2147483648, 4294967294, 4294967298},
      {-8589934593, 2147483648, 4294967294, -4294967298},
      {kBig, kBig, kBig + 1, kBig - 1},
      {1099511640121, 1099511628775, 2199023255559, 549755820558},
      {kMax, kMax, kMax, kMax},
      {-kMax, kMax, kMax, -kMax},
      {kBig, kBig, 3, kMax},  // beyond 64 bits
      {-kBig, kBig, 3, INT64_MIN},
  };
  for (const auto& t : cases) EXPECT_EQ(plat::mulDiv(t.a, t.b, t.c), t.want) << t.a << " * " << t.b << " / " << t.c;
}

}  // namespace
