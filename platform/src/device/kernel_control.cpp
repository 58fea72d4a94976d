// Kernel I/O control and the built-in procedures of "coredll.dll".
//
// IOCTL_HAL_REBOOT cannot restart a Linux machine for the shell: it writes the registry back and
// ends the process with HU_REBOOT_EXIT_STATUS, and the supervisor that runs the shell starts it
// again. Tests replace the exit with a hook.
#include <unistd.h>

#include <cstdio>
#include <mutex>

#include "core/kernel_object.h"
#include "plat_core.h"
#include "plat_device.h"
#include "plat_msgqueue.h"
#include "plat_process.h"
#include "plat_registry.h"
#include "plat_sound.h"
#include "plat_strings.h"

namespace plat {
namespace {

std::mutex& kernelMutex() {
  static auto* m = new std::mutex;
  return *m;
}
std::function<void()>& rebootHook() {
  static auto* h = new std::function<void()>;
  return *h;
}
int g_clickSound = 1;
unsigned g_touchCalibrations = 0;

bool queryDword(HKEY key, const char16_t* name, DWORD& value) {
  DWORD type = 0, size = sizeof value, v = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(&v), &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof v)
    return false;
  value = v;
  return true;
}

// Reapplies what HKCU "ControlPanel\Volume" holds: the wave volume ("Volume", both channels
// in one 32-bit value) and the click sounds ("Screen"/"Key": 0 off, 1 soft, other loud).
BOOL audioUpdateFromRegistry() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, u"ControlPanel\\Volume", 0, KEY_READ, &key) != ERROR_SUCCESS) {
    console::write(u"coredll: AudioUpdateFromRegistry: no ControlPanel\\Volume key, settings kept\r\n");
    return TRUE;
  }
  DWORD volume = 0, click = 0;
  bool haveVolume = queryDword(key, u"Volume", volume);
  bool haveClick = queryDword(key, u"Key", click) || queryDword(key, u"Screen", click);
  RegCloseKey(key);
  if (haveVolume) waveOutSetVolume(nullptr, volume);
  int mode = 0;
  {
    std::lock_guard<std::mutex> lock(kernelMutex());
    if (haveClick) g_clickSound = click == 0 ? 0 : (click == 1 ? 1 : 2);
    mode = g_clickSound;
  }
  console::write(format(u"coredll: AudioUpdateFromRegistry volume %s, click %d\r\n",
                        haveVolume ? u"applied" : u"unchanged", mode));
  return TRUE;
}

// The calibration screen is not there yet: the call is logged and reported as done.
BOOL touchCalibrate() {
  {
    std::lock_guard<std::mutex> lock(kernelMutex());
    g_touchCalibrations++;
  }
  console::write(u"coredll: TouchCalibrate (no calibration screen; current calibration kept)\r\n");
  return 1;
}

}  // namespace

FARPROC coredllProc(const char* name) {
  if (!name) return nullptr;
  if (std::string_view(name) == "AudioUpdateFromRegistry") return reinterpret_cast<FARPROC>(&audioUpdateFromRegistry);
  if (std::string_view(name) == "TouchCalibrate") return reinterpret_cast<FARPROC>(&touchCalibrate);
  return nullptr;
}

namespace device {
void setRebootHook(std::function<void()> hook) {
  std::lock_guard<std::mutex> lock(kernelMutex());
  rebootHook() = std::move(hook);
}
int clickSound() {
  std::lock_guard<std::mutex> lock(kernelMutex());
  return g_clickSound;
}
unsigned touchCalibrations() {
  std::lock_guard<std::mutex> lock(kernelMutex());
  return g_touchCalibrations;
}
}  // namespace device

}  // namespace plat

using namespace plat;

BOOL KernelIoControl(DWORD code, LPVOID, DWORD, LPVOID, DWORD, LPDWORD returned) {
  if (returned) *returned = 0;
  if (code == IOCTL_HAL_QUERY_SD) {
    // No card-detect line to ask on this platform: callers fall back to the registry.
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  if (code == IOCTL_HAL_REBOOT) {
    console::write(format(u"KernelIoControl: IOCTL_HAL_REBOOT, registry flushed, shell ends with status %d\r\n",
                          HU_REBOOT_EXIT_STATUS));
    RegFlushKey(HKEY_LOCAL_MACHINE);
    std::function<void()> hook;
    {
      std::lock_guard<std::mutex> lock(kernelMutex());
      hook = rebootHook();
    }
    if (hook) {
      hook();
      return TRUE;
    }
    // No destructor runs from here: end what the shell started and give up its queues now.
    process::endStartedPrograms(2000);
    msgqueue::removeQueuesAtExit();
    std::fflush(nullptr);
    _exit(HU_REBOOT_EXIT_STATUS);
  }
  console::write(format(u"KernelIoControl: unsupported code 0x%X\r\n", code));
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}
