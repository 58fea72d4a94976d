// Per-thread message queues: posting, sending (also across threads), retrieval in the order
// sent → posted → input → quit → paint → timer, dispatching, timers and registered messages.
#include <algorithm>

#include "display/screen.h"
#include "plat_core.h"
#include "plat_thread.h"
#include "plat_time.h"
#include "window/window_system.h"

namespace plat::window {

namespace {

void dropQueue(DWORD tid);

// Removes the thread's queue when the thread ends: messages sent to it are answered 0.
struct QueueGuard {
  DWORD tid = 0;
  ~QueueGuard() {
    if (tid) dropQueue(tid);
  }
};
thread_local QueueGuard t_guard;

void dropQueue(DWORD tid) {
  auto& s = state();
  Lock lock(s.lock);
  auto it = s.queues.find(tid);
  if (it == s.queues.end()) return;
  for (auto& m : it->second->sent) {
    m->done = true;
    m->result = 0;
    if (m->senderCv) m->senderCv->notify_all();
  }
  s.timers.erase(std::remove_if(s.timers.begin(), s.timers.end(), [&](const Timer& t) { return t.threadId == tid; }),
                 s.timers.end());
  s.queues.erase(it);
  s.idleCv.notify_all();
}

std::shared_ptr<ThreadQueue> currentQueuePtr() {
  auto& s = state();
  DWORD tid = GetCurrentThreadId();
  auto it = s.queues.find(tid);
  if (it != s.queues.end()) return it->second;
  auto q = std::make_shared<ThreadQueue>();
  q->threadId = tid;
  s.queues[tid] = q;
  t_guard.tid = tid;
  return q;
}

bool inRange(UINT m, UINT lo, UINT hi) { return (lo == 0 && hi == 0) || (m >= lo && m <= hi); }

bool windowMatches(HWND msgHwnd, HWND filter) {
  if (!filter) return true;
  if (filter == reinterpret_cast<HWND>(static_cast<intptr_t>(-1))) return msgHwnd == nullptr;
  if (msgHwnd == filter) return true;
  Window* w = findWindow(msgHwnd);
  for (Window* p = w ? w->parent : nullptr; p; p = p->parent)
    if (p->hwnd == filter) return true;
  return false;
}

void handleOneSent(Lock& lock, ThreadQueue& q) {
  std::shared_ptr<SentMessage> m = q.sent.front();
  q.sent.pop_front();
  ++q.receiving;
  LRESULT r = findWindow(m->hwnd) ? callProcUnlocked(lock, m->hwnd, m->message, m->wParam, m->lParam) : 0;
  --q.receiving;
  m->result = r;
  m->done = true;
  if (m->senderCv) m->senderCv->notify_all();
}

void collectPaintable(Window* w, DWORD tid, HWND filter, Window*& found) {
  if (found || !w->visible()) return;
  if (w->threadId == tid && !w->update.empty() && windowMatches(w->hwnd, filter)) {
    found = w;
    return;
  }
  for (Window* c : w->children) collectPaintable(c, tid, filter, found);
}

MSG makeMsg(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG m{};
  m.hwnd = hwnd;
  m.message = message;
  m.wParam = wParam;
  m.lParam = lParam;
  m.time = static_cast<DWORD>(plat::clock::nowMs());
  m.pt = state().cursor;
  return m;
}

// One message for the calling thread, or false. Sent messages are handled on the way.
bool retrieve(Lock& lock, ThreadQueue& q, MSG* out, HWND filter, UINT lo, UINT hi, bool remove) {
  auto& s = state();
  while (!q.sent.empty()) handleOneSent(lock, q);

  for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
    if (!windowMatches(it->hwnd, filter) || !inRange(it->message, lo, hi)) continue;
    *out = *it;
    if (remove) q.posted.erase(it);
    q.last = *out;
    return true;
  }
  for (auto it = q.input.begin(); it != q.input.end(); ++it) {
    if (!windowMatches(it->msg.hwnd, filter) || !inRange(it->msg.message, lo, hi)) continue;
    InputMessage im = *it;
    if (remove) q.input.erase(it);
    if (remove && im.activate) {
      // A touch on an inactive top-level window activates it before the touch arrives.
      Window* w = findWindow(im.msg.hwnd);
      Window* top = topLevelOf(w);
      if (top && s.active != top->hwnd && !(top->exStyle & WS_EX_NOACTIVATE)) activateLocked(lock, top, WA_CLICKACTIVE);
      // The handlers may have destroyed the window (and changed the queue): look again.
      if (!findWindow(im.msg.hwnd)) return retrieve(lock, q, out, filter, lo, hi, remove);
    }
    *out = im.msg;
    q.last = *out;
    return true;
  }
  if (q.quit) {
    *out = makeMsg(nullptr, WM_QUIT, static_cast<WPARAM>(q.quitCode), 0);
    if (remove) q.quit = false;
    return true;
  }
  if (inRange(WM_PAINT, lo, hi)) {
    flushLayoutLocked();
    Window* found = nullptr;
    for (Window* t : s.topLevels) collectPaintable(t, q.threadId, filter, found);
    if (found) {
      *out = makeMsg(found->hwnd, WM_PAINT, 0, 0);
      q.last = *out;
      return true;
    }
  }
  if (inRange(WM_TIMER, lo, hi)) {
    uint64_t now = plat::clock::nowMs();
    Timer* best = nullptr;
    for (Timer& t : s.timers) {
      if (t.threadId != q.threadId || t.due > now || !windowMatches(t.hwnd, filter)) continue;
      if (!best || t.due < best->due) best = &t;
    }
    if (best) {
      *out = makeMsg(best->hwnd, WM_TIMER, best->id, reinterpret_cast<LPARAM>(best->proc));
      if (remove) best->due = now + best->period;
      q.last = *out;
      return true;
    }
  }
  return false;
}

uint64_t nextDueLocked(DWORD tid) {
  uint64_t due = UINT64_MAX;
  for (const Timer& t : state().timers)
    if (t.threadId == tid) due = std::min(due, t.due);
  return due;
}

// Waiting with nothing to do: no message for it, and no timer of its fallen due while it sleeps
// towards that moment (a thread late to wake up is not idle, its WM_TIMER is still to come).
bool queueIdle(const ThreadQueue& q) {
  return q.waiting && !q.wake && nextDueLocked(q.threadId) > plat::clock::nowMs();
}

bool idleLocked() {
  auto& s = state();
  for (auto& [tid, q] : s.queues) {
    if (queueIdle(*q)) continue;
    bool ownsWindows = false;
    for (auto& [h, w] : s.windows)
      if (w->threadId == tid) {
        ownsWindows = true;
        break;
      }
    if (ownsWindows) return false;
  }
  return true;
}

BOOL postLocked(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = findWindow(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  ThreadQueue* q = queueFor(w->threadId);
  if (!q) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
  }
  if (q->posted.size() >= PLAT_POSTED_QUEUE_LIMIT) {
    SetLastError(ERROR_NOT_ENOUGH_QUOTA);
    return FALSE;
  }
  q->posted.push_back(makeMsg(hwnd, message, wParam, lParam));
  q->wake = true;
  q->cv.notify_all();
  return TRUE;
}

std::vector<HWND> topLevelHandles() {
  std::vector<HWND> list;
  for (Window* t : state().topLevels)
    if (!t->destroying) list.push_back(t->hwnd);
  return list;
}

}  // namespace

ThreadQueue* queueFor(DWORD threadId) {
  auto& s = state();
  auto it = s.queues.find(threadId);
  return it == s.queues.end() ? nullptr : it->second.get();
}

ThreadQueue& currentQueue() { return *currentQueuePtr(); }

void wakeQueue(DWORD threadId) {
  if (ThreadQueue* q = queueFor(threadId)) {
    q->wake = true;
    q->cv.notify_all();
  }
}

void notifyIdleWatchers() { state().idleCv.notify_all(); }

LRESULT callProcUnlocked(Lock& lock, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto& s = state();
  auto it = s.windows.find(reinterpret_cast<uintptr_t>(hwnd));
  if (it == s.windows.end() || it->second->dead) return 0;
  std::shared_ptr<Window> keep = it->second;  // the handler may destroy its own window
  WNDPROC proc = keep->proc;
  lock.unlock();
  LRESULT r = proc ? proc(hwnd, message, wParam, lParam) : 0;
  lock.lock();
  return r;
}

void notifyLocked(Lock& lock, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = findWindow(hwnd);
  if (!w) return;
  if (w->threadId == GetCurrentThreadId()) {
    callProcUnlocked(lock, hwnd, message, wParam, lParam);
    return;
  }
  ThreadQueue* q = queueFor(w->threadId);
  if (!q) return;
  auto m = std::make_shared<SentMessage>();
  m->hwnd = hwnd;
  m->message = message;
  m->wParam = wParam;
  m->lParam = lParam;
  m->wantsReply = false;
  q->sent.push_back(m);
  q->wake = true;
  q->cv.notify_all();
}

LRESULT sendLocked(Lock& lock, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, uint64_t deadline,
                   bool* timedOut) {
  if (timedOut) *timedOut = false;
  Window* w = findWindow(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (w->threadId == GetCurrentThreadId()) return callProcUnlocked(lock, hwnd, message, wParam, lParam);
  std::shared_ptr<ThreadQueue> target;
  {
    auto it = state().queues.find(w->threadId);
    if (it == state().queues.end()) return 0;  // the window's thread has ended
    target = it->second;
  }
  std::shared_ptr<ThreadQueue> me = currentQueuePtr();
  auto m = std::make_shared<SentMessage>();
  m->hwnd = hwnd;
  m->message = message;
  m->wParam = wParam;
  m->lParam = lParam;
  m->senderCv = &me->cv;
  target->sent.push_back(m);
  target->wake = true;
  target->cv.notify_all();
  for (;;) {
    // While waiting, answer what others send to this thread: two threads sending to each
    // other must not deadlock.
    plat::clock::waitUntil(lock, me->cv, deadline, [&] { return m->done || !me->sent.empty(); });
    if (m->done) return m->result;
    if (!me->sent.empty()) {
      handleOneSent(lock, *me);
      continue;
    }
    if (deadline != UINT64_MAX && plat::clock::nowMs() >= deadline) break;
  }
  auto& pending = target->sent;
  pending.erase(std::remove(pending.begin(), pending.end(), m), pending.end());
  m->senderCv = nullptr;
  if (timedOut) *timedOut = true;
  SetLastError(ERROR_TIMEOUT);
  return 0;
}

uint64_t nextTimerDueMs() {
  Lock lock(state().lock);
  return nextDueLocked(GetCurrentThreadId());
}

bool idle() {
  Lock lock(state().lock);
  return idleLocked();
}

bool waitIdle(uint32_t timeoutMs) {
  auto& s = state();
  Lock lock(s.lock);
  return s.idleCv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [] { return idleLocked(); });
}

bool waitThreadIdle(DWORD threadId, uint32_t timeoutMs) {
  auto& s = state();
  Lock lock(s.lock);
  return s.idleCv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    ThreadQueue* q = queueFor(threadId);
    return q && queueIdle(*q);
  });
}

void postQuit(DWORD threadId, int exitCode) {
  Lock lock(state().lock);
  if (ThreadQueue* q = queueFor(threadId)) {
    q->quit = true;
    q->quitCode = exitCode;
    q->wake = true;
    q->cv.notify_all();
  }
}

}  // namespace plat::window

using namespace plat::window;

BOOL PostMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!hwnd) return PostThreadMessageW(GetCurrentThreadId(), message, wParam, lParam);
  auto& s = state();
  Lock lock(s.lock);
  if (hwnd == HWND_BROADCAST) {
    for (HWND h : topLevelHandles()) postLocked(h, message, wParam, lParam);
    return TRUE;
  }
  return postLocked(hwnd, message, wParam, lParam);
}

BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
  auto& s = state();
  Lock lock(s.lock);
  ThreadQueue* q = threadId == GetCurrentThreadId() ? &currentQueue() : queueFor(threadId);
  if (!q) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
  }
  if (q->posted.size() >= PLAT_POSTED_QUEUE_LIMIT) {
    SetLastError(ERROR_NOT_ENOUGH_QUOTA);
    return FALSE;
  }
  MSG m{};
  m.message = message;
  m.wParam = wParam;
  m.lParam = lParam;
  m.time = static_cast<DWORD>(plat::clock::nowMs());
  q->posted.push_back(m);
  q->wake = true;
  q->cv.notify_all();
  return TRUE;
}

LRESULT SendMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto& s = state();
  Lock lock(s.lock);
  if (hwnd == HWND_BROADCAST) {
    for (HWND h : topLevelHandles()) sendLocked(lock, h, message, wParam, lParam, UINT64_MAX, nullptr);
    return 0;
  }
  return sendLocked(lock, hwnd, message, wParam, lParam, UINT64_MAX, nullptr);
}

LRESULT SendMessageTimeoutW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT, UINT timeoutMs,
                            DWORD_PTR* result) {
  auto& s = state();
  Lock lock(s.lock);
  uint64_t deadline = plat::clock::nowMs() + timeoutMs;
  bool timedOut = false;
  if (hwnd == HWND_BROADCAST) {
    for (HWND h : topLevelHandles()) sendLocked(lock, h, message, wParam, lParam, deadline, nullptr);
    if (result) *result = 0;
    return TRUE;
  }
  if (!findWindow(hwnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  LRESULT r = sendLocked(lock, hwnd, message, wParam, lParam, deadline, &timedOut);
  if (result) *result = static_cast<DWORD_PTR>(r);
  return timedOut ? 0 : 1;
}

BOOL SendNotifyMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto& s = state();
  Lock lock(s.lock);
  if (hwnd == HWND_BROADCAST) {
    for (HWND h : topLevelHandles()) notifyLocked(lock, h, message, wParam, lParam);
    return TRUE;
  }
  if (!findWindow(hwnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  notifyLocked(lock, hwnd, message, wParam, lParam);
  return TRUE;
}

BOOL GetMessageW(LPMSG msg, HWND hwnd, UINT lo, UINT hi) {
  if (!msg) return -1;
  auto& s = state();
  Lock lock(s.lock);
  if (hwnd && hwnd != reinterpret_cast<HWND>(static_cast<intptr_t>(-1)) && !findWindow(hwnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return -1;
  }
  std::shared_ptr<ThreadQueue> q = currentQueuePtr();
  bool windowFilter = hwnd && hwnd != reinterpret_cast<HWND>(static_cast<intptr_t>(-1));
  for (;;) {
    if (retrieve(lock, *q, msg, hwnd, lo, hi, true)) return msg->message != WM_QUIT;
    if (windowFilter && !findWindow(hwnd)) {
      // The window waited for is gone (a handler destroyed it): nothing can come any more.
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return -1;
    }
    // Nothing to do: present the frame if it changed, then sleep until something arrives,
    // a timer falls due or an owed present may go out.
    q->wake = false;
    lock.unlock();
    plat::display::queueIdle();
    lock.lock();
    if (q->wake || !q->sent.empty()) continue;
    uint64_t deadline = std::min(nextDueLocked(q->threadId), plat::display::presentDueMs());
    q->waiting = true;
    s.idleCv.notify_all();
    plat::clock::waitUntil(lock, q->cv, deadline, [&] { return q->wake; });
    q->waiting = false;
  }
}

BOOL PeekMessageW(LPMSG msg, HWND hwnd, UINT lo, UINT hi, UINT remove) {
  if (!msg) return FALSE;
  auto& s = state();
  Lock lock(s.lock);
  std::shared_ptr<ThreadQueue> q = currentQueuePtr();
  if (retrieve(lock, *q, msg, hwnd, lo, hi, (remove & PM_REMOVE) != 0)) return TRUE;
  q->wake = false;
  lock.unlock();
  plat::display::queueIdle();
  return FALSE;
}

BOOL WaitMessage() {
  auto& s = state();
  Lock lock(s.lock);
  std::shared_ptr<ThreadQueue> q = currentQueuePtr();
  MSG probe;
  if (retrieve(lock, *q, &probe, nullptr, 0, 0, false)) return TRUE;
  q->wake = false;
  uint64_t deadline = nextDueLocked(q->threadId);
  q->waiting = true;
  s.idleCv.notify_all();
  plat::clock::waitUntil(lock, q->cv, deadline, [&] { return q->wake; });
  q->waiting = false;
  return TRUE;
}

BOOL TranslateMessage(const MSG* msg) {
  if (!msg || (msg->message != WM_KEYDOWN && msg->message != WM_KEYUP)) return FALSE;
  if (msg->message != WM_KEYDOWN) return TRUE;
  WPARAM vk = msg->wParam;
  WPARAM ch = 0;
  if (vk >= 'A' && vk <= 'Z')
    ch = vk - 'A' + 'a';
  else if ((vk >= '0' && vk <= '9') || vk == VK_SPACE || vk == VK_BACK || vk == VK_TAB || vk == VK_RETURN ||
           vk == VK_ESCAPE)
    ch = vk;
  if (!ch) return TRUE;
  auto& s = state();
  Lock lock(s.lock);
  ThreadQueue& q = currentQueue();
  // The character comes next, before anything already posted.
  MSG m = *msg;
  m.message = WM_CHAR;
  m.wParam = ch;
  q.posted.push_front(m);
  q.wake = true;
  return TRUE;
}

LRESULT DispatchMessageW(const MSG* msg) {
  if (!msg) return 0;
  if (msg->message == WM_TIMER && msg->lParam) {
    auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
    {
      // Only a timer that still exists calls its procedure.
      Lock lock(state().lock);
      bool alive = false;
      for (const Timer& t : state().timers)
        if (t.hwnd == msg->hwnd && t.id == msg->wParam && t.proc == proc) alive = true;
      if (!alive) return 0;
    }
    proc(msg->hwnd, WM_TIMER, msg->wParam, static_cast<DWORD>(plat::clock::nowMs()));
    return 0;
  }
  if (!msg->hwnd) return 0;
  Lock lock(state().lock);
  if (!findWindow(msg->hwnd)) return 0;
  return callProcUnlocked(lock, msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT CallWindowProcW(WNDPROC proc, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return proc ? proc(hwnd, message, wParam, lParam) : 0;
}

LRESULT DefWindowProcW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_ERASEBKGND: {
      HBRUSH brush = nullptr;
      RECT rc{};
      {
        Lock lock(state().lock);
        Window* w = findWindow(hwnd);
        if (!w) return 0;
        brush = w->cls->background;
        rc = RECT{0, 0, w->width(), w->height()};
      }
      if (!brush || !wParam) return 0;
      FillRect(reinterpret_cast<HDC>(wParam), &rc, brush);
      return 1;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      if (BeginPaint(hwnd, &ps)) EndPaint(hwnd, &ps);
      return 0;
    }
    default:
      return 0;
  }
}

void PostQuitMessage(int exitCode) {
  auto& s = state();
  Lock lock(s.lock);
  ThreadQueue& q = currentQueue();
  q.quit = true;
  q.quitCode = exitCode;
  q.wake = true;
}

BOOL InSendMessage() {
  Lock lock(state().lock);
  ThreadQueue* q = queueFor(GetCurrentThreadId());
  return q && q->receiving > 0;
}

DWORD GetMessagePos() {
  Lock lock(state().lock);
  ThreadQueue* q = queueFor(GetCurrentThreadId());
  return q ? static_cast<DWORD>(MAKELONG(q->last.pt.x, q->last.pt.y)) : 0;
}

LONG GetMessageTime() {
  Lock lock(state().lock);
  ThreadQueue* q = queueFor(GetCurrentThreadId());
  return q ? static_cast<LONG>(q->last.time) : 0;
}

DWORD GetQueueStatus(UINT flags) {
  auto& s = state();
  Lock lock(s.lock);
  ThreadQueue* q = queueFor(GetCurrentThreadId());
  if (!q) return 0;
  DWORD st = 0;
  if (!q->sent.empty()) st |= QS_SENDMESSAGE;
  if (!q->posted.empty() || q->quit) st |= QS_POSTMESSAGE;
  for (const auto& im : q->input)
    st |= (im.msg.message == WM_KEYDOWN || im.msg.message == WM_KEYUP) ? QS_KEY
          : im.msg.message == WM_MOUSEMOVE                             ? QS_MOUSEMOVE
                                                                       : QS_MOUSEBUTTON;
  uint64_t now = plat::clock::nowMs();
  for (const Timer& t : s.timers)
    if (t.threadId == q->threadId && t.due <= now) st |= QS_TIMER;
  flushLayoutLocked();
  for (auto& [h, w] : s.windows)
    if (w->threadId == q->threadId && !w->update.empty() && visibleChain(w.get())) st |= QS_PAINT;
  st &= flags;
  return (st << 16) | st;
}

UINT RegisterWindowMessageW(LPCWSTR name) {
  if (!name || !*name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  auto& s = state();
  Lock lock(s.lock);
  std::u16string key = foldCase(name);
  auto it = s.registered.find(key);
  if (it != s.registered.end()) return it->second;
  if (s.nextRegistered > 0xFFFF) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  UINT v = s.nextRegistered++;
  s.registered[key] = v;
  return v;
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc) {
  auto& s = state();
  Lock lock(s.lock);
  DWORD tid = GetCurrentThreadId();
  if (hwnd) {
    Window* w = findWindow(hwnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    tid = w->threadId;
  } else {
    (void)currentQueue();
  }
  uint64_t due = plat::clock::nowMs() + elapseMs;
  for (Timer& t : s.timers) {
    if (t.hwnd == hwnd && t.id == id && (hwnd || t.threadId == tid) && (hwnd || id)) {
      // Setting an existing timer again restarts it with the new period.
      t.period = elapseMs;
      t.due = due;
      t.proc = proc;
      wakeQueue(t.threadId);
      return hwnd ? id : t.id;
    }
  }
  Timer t;
  t.hwnd = hwnd;
  // A thread timer gets an identifier of its own unless it restarts an existing one.
  t.id = hwnd ? id : s.nextThreadTimer++;
  t.period = elapseMs;
  t.due = due;
  t.proc = proc;
  t.threadId = tid;
  s.timers.push_back(t);
  wakeQueue(tid);
  return hwnd ? (id ? id : 1) : t.id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
  auto& s = state();
  Lock lock(s.lock);
  DWORD tid = GetCurrentThreadId();
  // Thread timers belong to the thread that set them.
  auto it = std::find_if(s.timers.begin(), s.timers.end(),
                         [&](const Timer& t) { return t.hwnd == hwnd && t.id == id && (hwnd || t.threadId == tid); });
  if (it == s.timers.end()) return FALSE;
  s.timers.erase(it);
  return TRUE;
}
