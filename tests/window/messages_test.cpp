// Message queues: retrieval order, posting and sending within and across threads, broadcasts,
// quit, registered messages, limits and messages for windows that are gone.
#include <atomic>
#include <chrono>
#include <thread>

#include "window_test_util.h"

using namespace wintest;

namespace {

class Messages : public WindowTest {};

// Waits (real time, bounded) until `pred` holds; the watchdog of the cross-thread tests.
template <class P>
bool eventually(P pred, int ms = 5000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    if (pred()) return true;
    std::this_thread::yield();
  }
  return pred();
}

TEST_F(Messages, RetrievalOrderIsSentPostedInputPaintTimer) {
  HWND w = top(0, 0, 100, 100);
  pumpUntilIdle();
  SetForegroundWindow(w);
  pumpUntilIdle();
  takeLog();

  // Queue one of each kind, in the reverse of the order they must come out in.
  SetTimer(w, 7, 0, nullptr);
  InvalidateRect(w, nullptr, FALSE);
  plat::window::injectKey(VK_LEFT, true);
  PostMessageW(w, WM_USER + 1, 0, 0);
  std::thread sender([&] { SendMessageW(w, WM_USER + 2, 0, 0); });
  ASSERT_TRUE(eventually([] { return (GetQueueStatus(QS_SENDMESSAGE) & QS_SENDMESSAGE) != 0; }));
  pumpUntilIdle(4);  // the sent message is handled on the way and not counted
  sender.join();
  KillTimer(w, 7);

  auto got = numbers(only(takeLog(), {WM_USER + 1, WM_USER + 2, WM_KEYDOWN, WM_PAINT, WM_TIMER}));
  std::vector<UINT> want{WM_USER + 2, WM_USER + 1, WM_KEYDOWN, WM_PAINT, WM_TIMER};
  EXPECT_EQ(got, want);
}

TEST_F(Messages, PaintComesOncePerWindowAndOnlyWhileInvalid) {
  HWND a = top(0, 0, 100, 100);
  HWND b = top(200, 0, 100, 100);
  pumpUntilIdle();
  takeLog();
  InvalidateRect(a, nullptr, FALSE);
  InvalidateRect(a, nullptr, FALSE);
  InvalidateRect(b, nullptr, FALSE);
  pumpUntilIdle();
  auto paints = only(takeLog(), {WM_PAINT});
  ASSERT_EQ(paints.size(), 2u);
  EXPECT_NE(paints[0].hwnd, paints[1].hwnd);

  // A handler that does not validate keeps getting WM_PAINT: as on the device.
  hook() = [](HWND, UINT m, WPARAM, LPARAM, LRESULT& r) {
    r = 0;
    return m == WM_PAINT;
  };
  InvalidateRect(a, nullptr, FALSE);
  EXPECT_EQ(pumpUntilIdle(10), 10);
  ValidateRect(a, nullptr);
  EXPECT_EQ(pumpUntilIdle(10), 0);
}

TEST_F(Messages, PaintWaitsForPostedMessagesEvenWhenInvalidatedFirst) {
  HWND w = top(0, 0, 50, 50);
  pumpUntilIdle();
  takeLog();
  InvalidateRect(w, nullptr, FALSE);
  PostMessageW(w, WM_USER, 1, 0);
  PostMessageW(w, WM_USER, 2, 0);
  pumpUntilIdle();
  EXPECT_EQ(numbers(only(takeLog(), {WM_USER, WM_PAINT})), (std::vector<UINT>{WM_USER, WM_USER, WM_PAINT}));
}

TEST_F(Messages, SameThreadSendIsADirectCall) {
  HWND w = top(0, 0, 10, 10);
  pumpUntilIdle();
  takeLog();
  hook() = [](HWND, UINT m, WPARAM wp, LPARAM, LRESULT& r) {
    r = static_cast<LRESULT>(wp * 2);
    return m == WM_USER;
  };
  EXPECT_EQ(SendMessageW(w, WM_USER, 21, 0), 42);
  EXPECT_EQ(takeLog().size(), 1u);  // nothing queued, handled at once
  EXPECT_EQ(pumpUntilIdle(), 0);
}

TEST_F(Messages, CrossThreadSendWaitsForTheOwnerAndReturnsItsResult) {
  HWND w = top(0, 0, 10, 10);
  pumpUntilIdle();
  hook() = [](HWND, UINT m, WPARAM wp, LPARAM, LRESULT& r) {
    r = static_cast<LRESULT>(wp + 1);
    return m == WM_USER;
  };
  std::atomic<LRESULT> result{-1};
  std::atomic<DWORD> handlerThread{0};
  std::thread t([&] { result = SendMessageW(w, WM_USER, 41, 0); });
  ASSERT_TRUE(eventually([] { return (GetQueueStatus(QS_SENDMESSAGE) & QS_SENDMESSAGE) != 0; }));
  EXPECT_EQ(result.load(), -1);  // still waiting for this thread
  pumpUntilIdle();
  t.join();
  EXPECT_EQ(result.load(), 42);
  (void)handlerThread;
}

TEST_F(Messages, TwoThreadsSendingToEachOtherDoNotDeadlock) {
  HWND mine = top(0, 0, 10, 10);
  pumpUntilIdle();
  std::atomic<HWND> theirs{nullptr};
  std::atomic<bool> done{false};
  std::atomic<LRESULT> fromThem{0};
  // The other thread owns a window too; its procedure sends back to ours while our send to it
  // is still pending.
  std::thread other([&] {
    HWND h = CreateWindowExW(0, u"TestWnd", u"other", 0xC0000000, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    theirs = h;
    MSG m;
    while (!done && GetMessageW(&m, nullptr, 0, 0) > 0) DispatchMessageW(&m);
    DestroyWindow(h);
  });
  ASSERT_TRUE(eventually([&] { return theirs.load() != nullptr; }));
  hook() = [&](HWND h, UINT m, WPARAM, LPARAM, LRESULT& r) {
    if (m != WM_USER) return false;
    if (h == theirs.load()) {
      r = SendMessageW(mine, WM_USER, 0, 0) + 1;  // runs on the other thread
    } else {
      r = 10;
    }
    return true;
  };
  fromThem = SendMessageW(theirs.load(), WM_USER, 0, 0);
  EXPECT_EQ(fromThem.load(), 11);
  hook() = nullptr;
  done = true;
  PostMessageW(theirs.load(), WM_NULL, 0, 0);
  other.join();
}

TEST_F(Messages, SendToAWindowWhoseThreadEndedReturnsZero) {
  std::atomic<HWND> h{nullptr};
  std::thread t([&] {
    h = CreateWindowExW(0, u"TestWnd", u"gone", 0xC0000000, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  });
  t.join();
  EXPECT_EQ(SendMessageW(h.load(), WM_USER, 0, 0), 0);
  EXPECT_FALSE(PostMessageW(h.load(), WM_USER, 0, 0));
}

TEST_F(Messages, PostingFromManyThreadsKeepsEachThreadsOrder) {
  HWND w = top(0, 0, 10, 10);
  pumpUntilIdle();
  takeLog();
  const int perThread = 500;
  std::vector<std::thread> ts;
  for (int k = 0; k < 4; ++k)
    ts.emplace_back([&, k] {
      for (int i = 0; i < perThread; ++i) PostMessageW(w, WM_USER + static_cast<UINT>(k), static_cast<WPARAM>(i), 0);
    });
  for (auto& t : ts) t.join();
  pumpUntilIdle();
  std::vector<int> next(4, 0);
  int total = 0;
  for (const Rec& r : takeLog()) {
    if (r.msg < WM_USER || r.msg > WM_USER + 3) continue;
    int k = static_cast<int>(r.msg - WM_USER);
    EXPECT_EQ(static_cast<int>(r.wParam), next[static_cast<size_t>(k)]++);
    ++total;
  }
  EXPECT_EQ(total, 4 * perThread);
}

TEST_F(Messages, BroadcastReachesEveryTopLevelWindowButNoChild) {
  HWND a = top(0, 0, 100, 100);
  HWND b = top(0, 0, 100, 100, 0, false);  // hidden windows get broadcasts too
  HWND c = child(a, 0, 0, 10, 10);
  pumpUntilIdle();
  takeLog();
  UINT msg = RegisterWindowMessageW(u"WM_MSG_DEVICEATTACH");
  EXPECT_TRUE(PostMessageW(HWND_BROADCAST, msg, 0, 0));
  pumpUntilIdle();
  SendMessageW(HWND_BROADCAST, msg, 1, 0);
  auto got = only(takeLog(), {msg});
  ASSERT_EQ(got.size(), 4u);
  for (const Rec& r : got) EXPECT_NE(r.hwnd, c);
  int toA = 0, toB = 0;
  for (const Rec& r : got) {
    toA += r.hwnd == a;
    toB += r.hwnd == b;
  }
  EXPECT_EQ(toA, 2);
  EXPECT_EQ(toB, 2);
}

TEST_F(Messages, QuitComesAfterPostedMessagesWithItsCode) {
  HWND w = top(0, 0, 10, 10);
  pumpUntilIdle();
  PostQuitMessage(3);
  PostMessageW(w, WM_USER, 0, 0);
  MSG m;
  ASSERT_GT(GetMessageW(&m, nullptr, 0, 0), 0);
  EXPECT_EQ(m.message, static_cast<UINT>(WM_USER));
  EXPECT_EQ(GetMessageW(&m, nullptr, 0, 0), 0);
  EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(m.wParam, 3u);
}

TEST_F(Messages, GetMessageSleepsUntilAnotherThreadPosts) {
  HWND w = top(0, 0, 10, 10);
  pumpUntilIdle();
  std::thread t([&] {
    eventually([] { return plat::window::idle(); });
    PostMessageW(w, WM_USER + 9, 0, 0);
  });
  MSG m;
  ASSERT_GT(GetMessageW(&m, nullptr, 0, 0), 0);
  EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 9));
  t.join();
}

TEST_F(Messages, RegisteredMessagesAreStableCaseInsensitiveAndThreadSafe) {
  UINT a = RegisterWindowMessageW(u"APPLICATION_MESSAGEID_NAVIFINDWNDMSG");
  EXPECT_GE(a, 0xC000u);
  EXPECT_LE(a, 0xFFFFu);
  EXPECT_EQ(RegisterWindowMessageW(u"application_messageid_navifindwndmsg"), a);
  EXPECT_NE(RegisterWindowMessageW(u"APPLICATION_MESSAGEID_EXTNAVIEXITMSG"), a);
  EXPECT_EQ(RegisterWindowMessageW(u""), 0u);
  EXPECT_EQ(RegisterWindowMessageW(nullptr), 0u);

  std::vector<UINT> seen(8);
  std::vector<std::thread> ts;
  for (size_t i = 0; i < seen.size(); ++i)
    ts.emplace_back([&, i] { seen[i] = RegisterWindowMessageW(u"MGSID_PROGRESS_LBUTTONUP_RACE"); });
  for (auto& t : ts) t.join();
  for (UINT v : seen) EXPECT_EQ(v, seen[0]);
  EXPECT_NE(seen[0], 0u);
}

TEST_F(Messages, AFullQueueRefusesPostsInsteadOfBlocking) {
  HWND w = top(0, 0, 10, 10);
  pumpUntilIdle();
  for (int i = 0; i < PLAT_POSTED_QUEUE_LIMIT; ++i) ASSERT_TRUE(PostMessageW(w, WM_USER, 0, 0)) << i;
  EXPECT_FALSE(PostMessageW(w, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_QUOTA));
  EXPECT_FALSE(PostThreadMessageW(GetCurrentThreadId(), WM_USER, 0, 0));
  EXPECT_EQ(pumpUntilIdle(), PLAT_POSTED_QUEUE_LIMIT);
  EXPECT_TRUE(PostMessageW(w, WM_USER, 0, 0));
}

TEST_F(Messages, InvalidAndDestroyedWindowsGetNothing) {
  HWND w = top(0, 0, 10, 10);
  pumpUntilIdle();
  PostMessageW(w, WM_USER, 1, 0);
  PostMessageW(w, WM_USER, 2, 0);
  DestroyWindow(w);
  takeLog();
  EXPECT_EQ(pumpUntilIdle(), 0);  // what was queued for it went with it
  EXPECT_FALSE(PostMessageW(w, WM_USER, 0, 0));
  EXPECT_EQ(SendMessageW(w, WM_USER, 0, 0), 0);
  HWND bogus = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234));
  EXPECT_FALSE(PostMessageW(bogus, WM_USER, 0, 0));
  EXPECT_EQ(SendMessageW(bogus, WM_USER, 0, 0), 0);
  EXPECT_FALSE(IsWindow(bogus));
  MSG m{};
  m.hwnd = w;
  m.message = WM_USER;
  EXPECT_EQ(DispatchMessageW(&m), 0);
  EXPECT_TRUE(takeLog().empty());
}

TEST_F(Messages, DestroyingAWindowFromItsOwnHandlerWithMoreQueuedIsSafe) {
  HWND w = top(0, 0, 10, 10);
  pumpUntilIdle();
  hook() = [](HWND h, UINT m, WPARAM, LPARAM, LRESULT& r) {
    r = 0;
    if (m == WM_USER) DestroyWindow(h);
    if (m == WM_DESTROY) DestroyWindow(h);  // again, from inside the destruction
    return false;
  };
  for (int i = 0; i < 5; ++i) PostMessageW(w, WM_USER, static_cast<WPARAM>(i), 0);
  takeLog();
  pumpUntilIdle();
  auto got = only(takeLog(), {WM_USER, WM_DESTROY});
  EXPECT_EQ(numbers(got), (std::vector<UINT>{WM_USER, WM_DESTROY}));
  EXPECT_FALSE(IsWindow(w));
}

TEST_F(Messages, ThreadMessagesHaveNoWindowAndPeekCanLeaveThemQueued) {
  PostThreadMessageW(GetCurrentThreadId(), WM_USER + 3, 5, 6);
  MSG m;
  ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(m.hwnd, nullptr);
  EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 3));
  ASSERT_TRUE(PeekMessageW(&m, nullptr, WM_USER + 3, WM_USER + 3, PM_REMOVE));
  EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_FALSE(PostThreadMessageW(0xFFFFFF, WM_USER, 0, 0));
}

}  // namespace
