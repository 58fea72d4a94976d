// Events, mutexes, semaphores, waits, critical sections and Sleep.
#include <atomic>
#include <mutex>
#include <thread>

#include "core/kernel_object.h"
#include "plat_core.h"
#include "plat_thread.h"
#include "plat_time.h"

namespace plat {
namespace {

class EventObject : public KernelObject {
 public:
  EventObject(bool manual, bool initial) : manualReset(manual), state(initial) {}
  const char* kind() const override { return "event"; }
  bool isWaitable() const override { return true; }
  bool isSignaled() const override { return state; }
  void consumeSignal() override {
    if (!manualReset) state = false;
  }
  const bool manualReset;
  bool state;  // guarded by waitMutex()
};

class MutexObject : public KernelObject {
 public:
  const char* kind() const override { return "mutex"; }
  bool isWaitable() const override { return true; }
  bool isSignaled() const override { return owner == 0 || owner == GetCurrentThreadId(); }
  void consumeSignal() override {
    owner = GetCurrentThreadId();
    ++count;
  }
  DWORD owner = 0;  // guarded by waitMutex()
  int count = 0;
};

class SemaphoreObject : public KernelObject {
 public:
  SemaphoreObject(LONG initial, LONG maximum) : count(initial), max(maximum) {}
  const char* kind() const override { return "semaphore"; }
  bool isWaitable() const override { return true; }
  bool isSignaled() const override { return count > 0; }
  void consumeSignal() override { --count; }
  LONG count;  // guarded by waitMutex()
  const LONG max;
};

// Finds a named object of the right kind, or makes one. Named objects are process-wide.
template <class T, class Make>
HANDLE createNamed(LPCWSTR name, Make make) {
  if (name && *name) {
    std::u16string key(name);
    if (auto existing = findNamedObject(key)) {
      if (!std::dynamic_pointer_cast<T>(existing)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
      }
      HANDLE handle = makeHandle(existing);
      SetLastError(ERROR_ALREADY_EXISTS);
      return handle;
    }
    auto object = make();
    registerNamedObject(key, object);
    SetLastError(ERROR_SUCCESS);
    return makeHandle(object);
  }
  SetLastError(ERROR_SUCCESS);
  return makeHandle(make());
}

}  // namespace
}  // namespace plat

using plat::EventObject;
using plat::MutexObject;
using plat::SemaphoreObject;

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR name) {
  return plat::createNamed<EventObject>(
      name, [&] { return std::make_shared<EventObject>(manualReset != FALSE, initialState != FALSE); });
}

HANDLE OpenEventW(DWORD, BOOL, LPCWSTR name) {
  if (!name || !*name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto object = std::dynamic_pointer_cast<EventObject>(plat::findNamedObject(name));
  if (!object) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  return plat::makeHandle(object);
}

static BOOL setEventState(HANDLE event, bool state, bool pulse) {
  auto object = plat::lookupAs<EventObject>(event);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  {
    std::lock_guard<std::mutex> guard(plat::waitMutex());
    object->state = state;
    plat::notifyWaitersLocked();
  }
  if (pulse) {
    // Let the threads already waiting see the signal before it is taken back.
    std::this_thread::yield();
    std::lock_guard<std::mutex> guard(plat::waitMutex());
    object->state = false;
  }
  return TRUE;
}

BOOL SetEvent(HANDLE event) { return setEventState(event, true, false); }
BOOL ResetEvent(HANDLE event) { return setEventState(event, false, false); }
BOOL PulseEvent(HANDLE event) { return setEventState(event, true, true); }

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCWSTR name) {
  return plat::createNamed<MutexObject>(name, [&] {
    auto m = std::make_shared<MutexObject>();
    if (initialOwner) {
      m->owner = GetCurrentThreadId();
      m->count = 1;
    }
    return m;
  });
}

BOOL ReleaseMutex(HANDLE mutex) {
  auto object = plat::lookupAs<MutexObject>(mutex);
  if (!object) return FALSE;
  std::lock_guard<std::mutex> guard(plat::waitMutex());
  if (object->owner != GetCurrentThreadId()) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  if (--object->count == 0) {
    object->owner = 0;
    plat::notifyWaitersLocked();
  }
  return TRUE;
}

HANDLE CreateSemaphoreW(LPSECURITY_ATTRIBUTES, LONG initial, LONG maximum, LPCWSTR name) {
  if (maximum <= 0 || initial < 0 || initial > maximum) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return plat::createNamed<SemaphoreObject>(name,
                                            [&] { return std::make_shared<SemaphoreObject>(initial, maximum); });
}

BOOL ReleaseSemaphore(HANDLE semaphore, LONG release, PLONG previous) {
  auto object = plat::lookupAs<SemaphoreObject>(semaphore);
  if (!object || release <= 0) return FALSE;
  std::lock_guard<std::mutex> guard(plat::waitMutex());
  if (object->count + release > object->max) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (previous) *previous = object->count;
  object->count += release;
  plat::notifyWaitersLocked();
  return TRUE;
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  std::vector<std::shared_ptr<plat::KernelObject>> objects;
  for (DWORD i = 0; i < count; ++i) {
    auto object = plat::lookupHandle(handles[i]);
    if (!object || !object->isWaitable()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    objects.push_back(std::move(object));
  }
  int index = plat::waitForObjects(objects, waitAll != FALSE, milliseconds);
  if (index < 0) return WAIT_TIMEOUT;
  return WAIT_OBJECT_0 + static_cast<DWORD>(index);
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) { return WaitForMultipleObjects(1, &handle, FALSE, milliseconds); }

void Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    std::this_thread::yield();
    return;
  }
  if (!plat::clock::frozen() && milliseconds != INFINITE) {
    uint64_t deadline = plat::clock::nowMs() + milliseconds;
    // advance() may move the clock on while we sleep; the platform clock is what counts.
    while (plat::clock::nowMs() < deadline && !plat::clock::frozen())
      std::this_thread::sleep_for(std::chrono::milliseconds(deadline - plat::clock::nowMs()));
    if (plat::clock::nowMs() >= deadline) return;
  }
  std::mutex m;
  std::condition_variable cv;
  std::unique_lock<std::mutex> lock(m);
  uint64_t deadline = milliseconds == INFINITE ? UINT64_MAX : plat::clock::nowMs() + milliseconds;
  plat::clock::waitUntil(lock, cv, deadline, [] { return false; });
}

namespace {
std::recursive_mutex* sectionMutex(LPCRITICAL_SECTION section) {
  auto* slot = reinterpret_cast<std::atomic<void*>*>(&section->impl);
  void* current = slot->load(std::memory_order_acquire);
  if (current) return static_cast<std::recursive_mutex*>(current);
  // Entering a section that was never initialised works, as it tends to on the device.
  auto* fresh = new std::recursive_mutex();
  void* expected = nullptr;
  if (slot->compare_exchange_strong(expected, fresh, std::memory_order_acq_rel)) return fresh;
  delete fresh;
  return static_cast<std::recursive_mutex*>(expected);
}
}  // namespace

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
  if (section) section->impl = new std::recursive_mutex();
}

void DeleteCriticalSection(LPCRITICAL_SECTION section) {
  if (!section) return;
  delete static_cast<std::recursive_mutex*>(section->impl);
  section->impl = nullptr;
}

void EnterCriticalSection(LPCRITICAL_SECTION section) { sectionMutex(section)->lock(); }
void LeaveCriticalSection(LPCRITICAL_SECTION section) { sectionMutex(section)->unlock(); }
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section) { return sectionMutex(section)->try_lock() ? TRUE : FALSE; }

LONG InterlockedIncrement(LONG volatile* value) { return __atomic_add_fetch(value, 1, __ATOMIC_SEQ_CST); }
LONG InterlockedDecrement(LONG volatile* value) { return __atomic_sub_fetch(value, 1, __ATOMIC_SEQ_CST); }
LONG InterlockedExchange(LONG volatile* target, LONG value) {
  return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
LONG InterlockedCompareExchange(LONG volatile* target, LONG exchange, LONG comparand) {
  __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comparand;
}
