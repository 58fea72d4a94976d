// Timers on the frozen clock: periods, restarts, kills, period 0 and timers of windows that go.
#include <thread>

#include "window_test_util.h"

using namespace wintest;

namespace {

class Timers : public WindowTest {
 protected:
  // Clock readings at which each WM_TIMER of `id` was dispatched.
  std::vector<uint64_t> ticks;
  UINT_PTR watched = 0;
  void SetUp() override {
    WindowTest::SetUp();
    hook() = [this](HWND, UINT m, WPARAM wp, LPARAM, LRESULT&) {
      if (m == WM_TIMER && wp == watched) ticks.push_back(plat::clock::nowMs());
      return false;
    };
  }
};

TEST_F(Timers, FireAtTheirPeriod) {
  HWND w = top(0, 0, 10, 10);
  pumpUntilIdle();
  watched = 101;
  uint64_t t0 = plat::clock::nowMs();
  ASSERT_EQ(SetTimer(w, 101, 5000, nullptr), 101u);
  pumpFor(4999);
  EXPECT_TRUE(ticks.empty());
  pumpFor(10001);
  ASSERT_EQ(ticks.size(), 3u);
  EXPECT_EQ(ticks[0] - t0, 5000u);
  EXPECT_EQ(ticks[1] - t0, 10000u);
  EXPECT_EQ(ticks[2] - t0, 15000u);
}

TEST_F(Timers, SettingAgainRestartsWithTheNewPeriod) {
  HWND w = top(0, 0, 10, 10);
  pumpUntilIdle();
  watched = 891;
  uint64_t t0 = plat::clock::nowMs();
  SetTimer(w, 891, 10000, nullptr);
  pumpFor(9000);
  SetTimer(w, 891, 10000, nullptr);  // a key-up restarts the remote-mode time-out
  pumpFor(9000);
  EXPECT_TRUE(ticks.empty());
  pumpFor(1000);
  ASSERT_EQ(ticks.size(), 1u);
  EXPECT_EQ(ticks[0] - t0, 19000u);
  KillTimer(w, 891);
  SetTimer(w, 891, 300, nullptr);
  pumpFor(300);
  EXPECT_EQ(ticks.size(), 2u);
}

TEST_F(Timers, KilledTimersStopAndTimersDieWithTheirWindow) {
  HWND w = top(0, 0, 10, 10);
  HWND other = top(0, 0, 10, 10);
  pumpUntilIdle();
  watched = 5;
  SetTimer(w, 5, 100, nullptr);
  SetTimer(other, 5, 100, nullptr);
  pumpFor(100);
  EXPECT_EQ(ticks.size(), 2u);
  EXPECT_TRUE(KillTimer(w, 5));
  EXPECT_FALSE(KillTimer(w, 5));
  DestroyWindow(other);
  ticks.clear();
  pumpFor(1000);
  EXPECT_TRUE(ticks.empty());
  EXPECT_EQ(plat::window::nextTimerDueMs(), UINT64_MAX);
}

TEST_F(Timers, PeriodZeroFiresWheneverTheQueueIsIdle) {
  HWND w = top(0, 0, 10, 10);
  pumpUntilIdle();
  watched = 100;
  SetTimer(w, 100, 0, nullptr);
  PostMessageW(w, WM_USER, 0, 0);
  takeLog();
  pumpUntilIdle(3);
  auto got = numbers(only(takeLog(), {WM_USER, WM_TIMER}));
  EXPECT_EQ(got, (std::vector<UINT>{WM_USER, WM_TIMER, WM_TIMER}));
  KillTimer(w, 100);
  EXPECT_EQ(pumpUntilIdle(), 0);
}

TEST_F(Timers, SameIdOnTwoWindowsAreTwoTimers) {
  HWND a = top(0, 0, 10, 10);
  HWND b = top(0, 0, 10, 10);
  pumpUntilIdle();
  SetTimer(a, 1, 100, nullptr);
  SetTimer(b, 1, 250, nullptr);
  takeLog();
  pumpFor(500);
  auto got = only(takeLog(), {WM_TIMER});
  int na = 0, nb = 0;
  for (const Rec& r : got) {
    na += r.hwnd == a;
    nb += r.hwnd == b;
  }
  EXPECT_EQ(na, 5);
  EXPECT_EQ(nb, 2);
}

std::vector<UINT_PTR> g_procTicks;
void CALLBACK timerProc(HWND, UINT, UINT_PTR id, DWORD) { g_procTicks.push_back(id); }

TEST_F(Timers, ThreadTimersCallTheirProcedure) {
  g_procTicks.clear();
  UINT_PTR id = SetTimer(nullptr, 0, 50, timerProc);
  ASSERT_NE(id, 0u);
  pumpFor(100);
  EXPECT_EQ(g_procTicks, (std::vector<UINT_PTR>{id, id}));
  // Setting it again by its identifier restarts it; an unknown identifier makes a new timer.
  EXPECT_EQ(SetTimer(nullptr, id, 30, timerProc), id);
  UINT_PTR other = SetTimer(nullptr, id + 1000, 1000, timerProc);
  EXPECT_NE(other, 0u);
  EXPECT_NE(other, id + 1000);
  EXPECT_NE(other, id);
  // Another thread cannot kill this thread's timer.
  BOOL killedElsewhere = TRUE;
  std::thread([&] { killedElsewhere = KillTimer(nullptr, id); }).join();
  EXPECT_FALSE(killedElsewhere);
  EXPECT_TRUE(KillTimer(nullptr, other));
  g_procTicks.clear();
  pumpFor(60);
  EXPECT_EQ(g_procTicks, (std::vector<UINT_PTR>{id, id}));
  EXPECT_TRUE(KillTimer(nullptr, id));
  EXPECT_FALSE(KillTimer(nullptr, id));
  pumpFor(100);
  EXPECT_EQ(g_procTicks.size(), 2u);
}

TEST_F(Timers, SetTimerOnAnInvalidWindowFails) {
  EXPECT_EQ(SetTimer(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x4444)), 1, 10, nullptr), 0u);
}

}  // namespace
