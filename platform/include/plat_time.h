// Tick count, wall-clock time, time zones, and the clock that tests control.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "plat_types.h"

struct TIME_ZONE_INFORMATION {
  LONG Bias;  // minutes, UTC = local + Bias
  WCHAR StandardName[32];
  SYSTEMTIME StandardDate;  // wYear 0: "day-in-month" form (wDay = week 1..5, 5 = last)
  LONG StandardBias;
  WCHAR DaylightName[32];
  SYSTEMTIME DaylightDate;
  LONG DaylightBias;
};
typedef TIME_ZONE_INFORMATION* LPTIME_ZONE_INFORMATION;

#define TIME_ZONE_ID_INVALID 0xFFFFFFFFu
#define TIME_ZONE_ID_UNKNOWN 0u
#define TIME_ZONE_ID_STANDARD 1u
#define TIME_ZONE_ID_DAYLIGHT 2u

DWORD GetTickCount();
void GetSystemTime(LPSYSTEMTIME time);
void GetLocalTime(LPSYSTEMTIME time);
BOOL SetSystemTime(const SYSTEMTIME* time);
BOOL SetLocalTime(const SYSTEMTIME* time);
DWORD GetTimeZoneInformation(LPTIME_ZONE_INFORMATION info);
BOOL SetTimeZoneInformation(const TIME_ZONE_INFORMATION* info);
BOOL SystemTimeToFileTime(const SYSTEMTIME* time, LPFILETIME fileTime);
BOOL FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME time);
BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, LPFILETIME localFileTime);
BOOL LocalFileTimeToFileTime(const FILETIME* localFileTime, LPFILETIME fileTime);

namespace plat::clock {

// Monotonic milliseconds of the platform clock (what GetTickCount, Sleep, time-outs and
// timers run on). Real time unless a test has frozen it.
uint64_t nowMs();
// Wall clock: milliseconds since 1970-01-01 UTC, real time plus the offset set by
// SetSystemTime / SetLocalTime or by a test.
int64_t wallMs();
void setWallMs(int64_t utcMs);

// Freeze the clock (tests): from now on it moves only by advance(). unfreeze() goes back to
// real time, continuing from the frozen reading.
void freeze();
void unfreeze();
bool frozen();
void advance(uint64_t ms);

// Waits on `cv` until `pred` holds or the platform clock reaches `deadlineMs`
// (UINT64_MAX: no deadline). Works with a frozen clock: advance() wakes every such wait.
// Returns pred().
template <class Pred>
bool waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, uint64_t deadlineMs,
               Pred pred);

// Milliseconds to hand to poll() for a wait that ends at `deadlineMs` (UINT64_MAX: none; -1
// then). With a frozen clock only advance() moves deadlines, so the wait goes in short slices
// and the caller looks at the platform clock again.
int pollTimeoutMs(uint64_t deadlineMs);

// --- implementation detail of waitUntil ---
void registerWaiter(std::condition_variable* cv, std::mutex* m);
void unregisterWaiter(std::condition_variable* cv);
// Waits at most until deadline (real mode) or until notified (frozen mode).
void waitStep(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, uint64_t deadlineMs);

template <class Pred>
bool waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, uint64_t deadlineMs,
               Pred pred) {
  registerWaiter(&cv, lock.mutex());
  while (!pred()) {
    if (deadlineMs != UINT64_MAX && nowMs() >= deadlineMs) break;
    waitStep(lock, cv, deadlineMs);
  }
  unregisterWaiter(&cv);
  return pred();
}

}  // namespace plat::clock
