// The platform clock: real time by default; tests freeze it and move it by hand.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <set>

#include "plat_time.h"

namespace plat::clock {

namespace {

struct ClockState {
  std::mutex lock;
  bool isFrozen = false;
  uint64_t frozenMs = 0;
  // Added to the steady clock so that unfreezing continues from the frozen reading.
  int64_t steadyOffsetMs = 0;
  int64_t wallOffsetMs = 0;
  std::multiset<std::condition_variable*> waiters;
};

ClockState& state() {
  static ClockState* s = new ClockState();
  return *s;
}

uint64_t steadyMs() {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
}

// Read from the C library rather than through std::chrono::system_clock: a 32-bit unit's C++
// library asks the kernel with 32-bit seconds, which end in 2038; ours are 64 bits wide.
int64_t realWallMs() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// A frozen clock's waiters re-check at least this often, so a wake-up lost between their
// check and their wait costs at most this much real time.
constexpr auto kFrozenRecheck = std::chrono::milliseconds(10);

}  // namespace

uint64_t nowMs() {
  auto& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.isFrozen) return s.frozenMs;
  return steadyMs() + static_cast<uint64_t>(s.steadyOffsetMs);
}

int64_t wallMs() {
  auto& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  // The wall clock moves with the platform clock, so a frozen clock freezes both.
  uint64_t platform = s.isFrozen ? s.frozenMs : steadyMs() + static_cast<uint64_t>(s.steadyOffsetMs);
  return static_cast<int64_t>(platform) + s.wallOffsetMs;
}

void setWallMs(int64_t utcMs) {
  auto& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  uint64_t platform = s.isFrozen ? s.frozenMs : steadyMs() + static_cast<uint64_t>(s.steadyOffsetMs);
  s.wallOffsetMs = utcMs - static_cast<int64_t>(platform);
}

namespace {
struct WallInit {
  WallInit() {
    auto& s = state();
    s.wallOffsetMs = realWallMs() - static_cast<int64_t>(steadyMs());
  }
} wallInit;
}  // namespace

void freeze() {
  auto& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.isFrozen) return;
  s.frozenMs = steadyMs() + static_cast<uint64_t>(s.steadyOffsetMs);
  s.isFrozen = true;
}

void unfreeze() {
  auto& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  if (!s.isFrozen) return;
  s.steadyOffsetMs = static_cast<int64_t>(s.frozenMs) - static_cast<int64_t>(steadyMs());
  s.isFrozen = false;
  for (auto* cv : s.waiters) cv->notify_all();
}

bool frozen() {
  auto& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.isFrozen;
}

void advance(uint64_t ms) {
  auto& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.isFrozen) {
    s.frozenMs += ms;
  } else {
    s.steadyOffsetMs += static_cast<int64_t>(ms);
  }
  for (auto* cv : s.waiters) cv->notify_all();
}

int pollTimeoutMs(uint64_t deadlineMs) {
  if (deadlineMs == UINT64_MAX) return frozen() ? 20 : -1;
  uint64_t now = nowMs();
  if (now >= deadlineMs) return 0;
  uint64_t left = deadlineMs - now;
  if (frozen()) left = std::min<uint64_t>(left, 20);
  return static_cast<int>(std::min<uint64_t>(left, 60000));
}

void registerWaiter(std::condition_variable* cv, std::mutex*) {
  auto& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  s.waiters.insert(cv);
}

void unregisterWaiter(std::condition_variable* cv) {
  auto& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  auto it = s.waiters.find(cv);
  if (it != s.waiters.end()) s.waiters.erase(it);
}

void waitStep(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, uint64_t deadlineMs) {
  if (frozen()) {
    cv.wait_for(lock, kFrozenRecheck);
    return;
  }
  if (deadlineMs == UINT64_MAX) {
    cv.wait(lock);
    return;
  }
  uint64_t now = nowMs();
  if (now >= deadlineMs) return;
  cv.wait_for(lock, std::chrono::milliseconds(deadlineMs - now));
}

}  // namespace plat::clock

DWORD GetTickCount() { return static_cast<DWORD>(plat::clock::nowMs()); }
