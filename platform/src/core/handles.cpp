// The handle table shared by every kind of kernel object, and the one wait lock.
#include <atomic>
#include <map>
#include <unordered_map>

#include "core/kernel_object.h"
#include "plat_core.h"
#include "plat_time.h"

namespace plat {

namespace {

struct HandleTable {
  std::mutex lock;
  std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
  // Handle values are multiples of 4 starting high enough never to be mistaken for small
  // integers or the predefined pseudo-handles.
  uintptr_t next = 0x10000;
  std::map<std::u16string, std::weak_ptr<KernelObject>> named;
};

HandleTable& table() {
  static HandleTable* t = new HandleTable();  // never destroyed: threads may outlive main()
  return *t;
}

std::condition_variable& waitCondition() {
  static std::condition_variable* cv = new std::condition_variable();
  return *cv;
}

}  // namespace

bool KernelObject::read(void*, DWORD, DWORD* done) {
  if (done) *done = 0;
  SetLastError(ERROR_INVALID_HANDLE);
  return false;
}

bool KernelObject::write(const void*, DWORD, DWORD* done) {
  if (done) *done = 0;
  SetLastError(ERROR_INVALID_HANDLE);
  return false;
}

std::mutex& waitMutex() {
  static std::mutex* m = new std::mutex();
  return *m;
}

std::condition_variable& waitConditionForCore() { return waitCondition(); }

void notifyWaiters() {
  { std::lock_guard<std::mutex> guard(waitMutex()); }
  waitCondition().notify_all();
}

void notifyWaitersLocked() { waitCondition().notify_all(); }

HANDLE makeHandle(std::shared_ptr<KernelObject> object) {
  if (!object) return nullptr;
  auto& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  uintptr_t value = t.next;
  t.next += 4;
  t.objects.emplace(value, std::move(object));
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> lookupHandle(HANDLE handle) {
  auto& t = table();
  {
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
    if (it != t.objects.end()) return it->second;
  }
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

size_t openHandleCount() {
  auto& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  return t.objects.size();
}

std::shared_ptr<KernelObject> findNamedObject(const std::u16string& name) {
  auto& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.named.find(name);
  if (it == t.named.end()) return nullptr;
  auto object = it->second.lock();
  if (!object) t.named.erase(it);
  return object;
}

void registerNamedObject(const std::u16string& name, std::shared_ptr<KernelObject> object) {
  auto& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  t.named[name] = object;
}

// Waits until one (or all) of the objects is signalled or the deadline passes.
// Returns the index of the signalled object, or -1 on time-out.
int waitForObjects(const std::vector<std::shared_ptr<KernelObject>>& objects, bool all, DWORD ms) {
  uint64_t deadline = ms == INFINITE ? UINT64_MAX : clock::nowMs() + ms;
  std::unique_lock<std::mutex> lock(waitMutex());
  int found = -1;
  auto ready = [&]() {
    if (all) {
      for (auto& o : objects)
        if (!o->isSignaled()) return false;
      found = 0;
      return true;
    }
    for (size_t i = 0; i < objects.size(); ++i) {
      if (objects[i]->isSignaled()) {
        found = static_cast<int>(i);
        return true;
      }
    }
    return false;
  };
  if (!clock::waitUntil(lock, waitCondition(), deadline, ready)) return -1;
  if (all) {
    for (auto& o : objects) o->consumeSignal();
  } else {
    objects[found]->consumeSignal();
  }
  return found;
}

}  // namespace plat

BOOL CloseHandle(HANDLE handle) {
  std::shared_ptr<plat::KernelObject> object;
  {
    auto& t = plat::table();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
    if (it == t.objects.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    object = std::move(it->second);
    t.objects.erase(it);
  }
  // Wake blocked callers only when no other handle names the same object.
  if (object.use_count() >= 1) {
    bool lastHandle = true;
    {
      auto& t = plat::table();
      std::lock_guard<std::mutex> guard(t.lock);
      for (auto& entry : t.objects)
        if (entry.second == object) {
          lastHandle = false;
          break;
        }
    }
    if (lastHandle) object->onClose();
  }
  return TRUE;
}

BOOL DuplicateHandle(HANDLE, HANDLE src, HANDLE, LPHANDLE dst, DWORD, BOOL, DWORD) {
  auto object = plat::lookupHandle(src);
  if (!object || !dst) return FALSE;
  *dst = plat::makeHandle(object);
  return TRUE;
}
