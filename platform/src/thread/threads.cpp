// Threads: real host threads behind waitable thread objects. Nothing is ever killed; code
// that must stop a thread wakes it and waits for it.
#include <pthread.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "core/kernel_object.h"
#include "plat_core.h"
#include "plat_strings.h"
#include "plat_thread.h"
#include "plat_time.h"

namespace plat {

namespace {

std::atomic<DWORD> nextThreadId{0x100};
thread_local DWORD currentId = 0;

struct ThreadExit {
  DWORD code;
};

class ThreadObject : public KernelObject {
 public:
  const char* kind() const override { return "thread"; }
  bool isWaitable() const override { return true; }
  bool isSignaled() const override { return finished; }

  DWORD id = 0;
  int priority = THREAD_PRIORITY_NORMAL;
  bool suspended = false;   // guarded by waitMutex()
  bool finished = false;    // guarded by waitMutex()
  DWORD exitCode = STILL_ACTIVE;
  std::condition_variable resume;
};

}  // namespace

void nameThread(const char* name) {
  char shortName[16] = {};
  std::strncpy(shortName, name, sizeof shortName - 1);
  pthread_setname_np(pthread_self(), shortName);
}

}  // namespace plat

using plat::ThreadObject;

DWORD GetCurrentThreadId() {
  if (plat::currentId == 0) plat::currentId = plat::nextThreadId.fetch_add(1);
  return plat::currentId;
}

HANDLE GetCurrentThread() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2)); }

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, DWORD, LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,
                    LPDWORD threadId) {
  if (!start) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto object = std::make_shared<ThreadObject>();
  object->id = plat::nextThreadId.fetch_add(1);
  object->suspended = (flags & CREATE_SUSPENDED) != 0;
  HANDLE handle = plat::makeHandle(object);
  if (threadId) *threadId = object->id;
  try {
    std::thread([object, start, parameter]() {
      plat::currentId = object->id;
      {
        std::unique_lock<std::mutex> lock(plat::waitMutex());
        object->resume.wait(lock, [&] { return !object->suspended; });
      }
      DWORD code = 0;
      try {
        code = start(parameter);
      } catch (const plat::ThreadExit& exit) {
        code = exit.code;
      }
      {
        std::lock_guard<std::mutex> guard(plat::waitMutex());
        object->exitCode = code;
        object->finished = true;
        plat::notifyWaitersLocked();
      }
    }).detach();
  } catch (const std::system_error&) {
    CloseHandle(handle);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return handle;
}

DWORD ResumeThread(HANDLE thread) {
  auto object = plat::lookupAs<ThreadObject>(thread);
  if (!object) return 0xFFFFFFFFu;
  std::lock_guard<std::mutex> guard(plat::waitMutex());
  DWORD previous = object->suspended ? 1 : 0;
  object->suspended = false;
  object->resume.notify_all();
  return previous;
}

BOOL TerminateThread(HANDLE thread, DWORD) {
  NKDbgPrintfW(u"TerminateThread(%p): threads are not killed on this platform; wake the thread instead\n",
               thread);
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

void ExitThread(DWORD exitCode) { throw plat::ThreadExit{exitCode}; }

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
  auto object = plat::lookupAs<ThreadObject>(thread);
  if (!object || !exitCode) return FALSE;
  std::lock_guard<std::mutex> guard(plat::waitMutex());
  *exitCode = object->finished ? object->exitCode : STILL_ACTIVE;
  return TRUE;
}

BOOL SetThreadPriority(HANDLE thread, int priority) {
  if (thread == GetCurrentThread()) return TRUE;
  auto object = plat::lookupAs<ThreadObject>(thread);
  if (!object) return FALSE;
  // Host threads run at one priority; the value is kept for GetThreadPriority.
  object->priority = priority;
  return TRUE;
}

int GetThreadPriority(HANDLE thread) {
  auto object = plat::lookupAs<ThreadObject>(thread);
  return object ? object->priority : THREAD_PRIORITY_NORMAL;
}

BOOL CeSetThreadPriority(HANDLE thread, int priority) { return SetThreadPriority(thread, priority); }
