// Kernel objects and the handle table. Every HANDLE that CloseHandle closes names a
// KernelObject here: files, devices, threads, events, processes, queues, notifications.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "plat_types.h"

namespace plat {

class KernelObject : public std::enable_shared_from_this<KernelObject> {
 public:
  virtual ~KernelObject() = default;
  virtual const char* kind() const = 0;

  // Called when the last handle to the object is closed. Objects with blocked callers
  // (a serial reader, a queue reader, a notification waiter) wake them here.
  virtual void onClose() {}

  // Byte streams (files, serial ports, devices). Default: ERROR_INVALID_HANDLE.
  virtual bool read(void* buffer, DWORD size, DWORD* done);
  virtual bool write(const void* buffer, DWORD size, DWORD* done);

  // Waitable objects: isSignaled() and consumeSignal() are called with waitMutex() held.
  virtual bool isWaitable() const { return false; }
  virtual bool isSignaled() const { return false; }
  // After a successful wait (auto-reset events reset, semaphores count down).
  virtual void consumeSignal() {}
};

// One lock and one condition for every waitable object: simple, and WaitForMultipleObjects
// over objects of different kinds needs nothing more. Signal changes notify every waiter.
std::mutex& waitMutex();
// Call after changing what isSignaled() returns (without holding waitMutex()).
void notifyWaiters();
// Same, when waitMutex() is already held by the caller.
void notifyWaitersLocked();

// Waits until one (or, with all, every) object is signalled or `ms` passes (INFINITE: no
// limit) on the platform clock. Returns the index of the object that ended the wait (0 with
// all), or -1 on time-out. Successful waits consume the signal (auto-reset events).
int waitForObjects(const std::vector<std::shared_ptr<KernelObject>>& objects, bool all, DWORD ms);

// Registers the object and returns a new handle to it.
HANDLE makeHandle(std::shared_ptr<KernelObject> object);
// The object behind a handle, or null (and ERROR_INVALID_HANDLE) when there is none.
std::shared_ptr<KernelObject> lookupHandle(HANDLE handle);
template <class T>
std::shared_ptr<T> lookupAs(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(lookupHandle(handle));
}
// Number of open handles (tests look for leaks with it).
size_t openHandleCount();

// Named objects (events, mutexes) share one process-wide namespace.
std::shared_ptr<KernelObject> findNamedObject(const std::u16string& name);
void registerNamedObject(const std::u16string& name, std::shared_ptr<KernelObject> object);

// Devices: CreateFileW hands names such as "COM9:" to these (each area implements its own).
// Return null with SetLastError when the name is not theirs or cannot be opened.
HANDLE openSerialDevice(const std::u16string& name, DWORD access, DWORD share, DWORD creation, DWORD flags);
HANDLE openDriverDevice(const std::u16string& name, DWORD access, DWORD share, DWORD creation, DWORD flags);

// Built-in procedures of "coredll.dll" (AudioUpdateFromRegistry, TouchCalibrate); null when unknown.
FARPROC coredllProc(const char* name);

// Loading and saving of the registry around startup()/shutdown().
void registryStartup(const std::string& unitRoot, bool persist);
void registryShutdown();

}  // namespace plat
