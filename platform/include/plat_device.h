// The unit's private drivers ("VEC0:", "BAK1:", "FMT0:") and kernel I/O control.
// The drivers are built in and simulated: they accept the control codes the shell sends,
// keep their state (readable by tests through plat::device) and log every call.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "plat_types.h"

// Video driver "VEC0:".
#define IOCTL_VEC_SWITCH_DVD 0x2201F0u
#define IOCTL_VEC_FLUSH_CALIBRATION 0x2201F4u
#define IOCTL_VEC_GET_DAY_PARAMS 0x220200u
#define IOCTL_VEC_GET_NIGHT_PARAMS 0x2201ECu
// Backlight driver "BAK1:": one byte, the brightness 0..99.
#define IOCTL_BAK_SET_BRIGHTNESS 0x220190u
// FM transmitter "FMT0:".
#define IOCTL_FMT_SET_FREQUENCY 0xB0002000u
#define IOCTL_FMT_SET_MUTE 0xB0002008u
#define IOCTL_FMT_SET_AUDIO_MUTE 0xB000200Cu

// Kernel I/O control codes.
#define IOCTL_HAL_QUERY_SD 0x1013FA7u
#define IOCTL_HAL_REBOOT 0x0101003Cu

// The exit status with which IOCTL_HAL_REBOOT ends the process; a supervisor that restarts the
// shell on this status (systemd: Restart=on-failure or RestartForceExitStatus=3) plays the reboot.
#define HU_REBOOT_EXIT_STATUS 3

BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                     LPDWORD returned, LPOVERLAPPED overlapped);
BOOL KernelIoControl(DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize, LPDWORD returned);

namespace plat::device {

// What the simulated drivers hold. One state for the process, as the hardware has.
struct State {
  int brightness = -1;           // last byte sent to BAK1 (-1: never set)
  uint32_t fmFrequency = 0;      // last frequency sent to FMT0
  int fmMute = -1;               // last transmitter mute byte (-1: never set)
  int fmAudioMute = -1;          // last audio mute byte (-1: never set)
  unsigned calibrationFlushes = 0;
  uint64_t calibrationFlushMs = 0;  // platform clock of the last calibration flush
  unsigned dvdSwitches = 0;
  unsigned displayQueries = 0;
};
State state();
// Back to the power-on state (tests).
void reset();

// Replaces the process exit of IOCTL_HAL_REBOOT (tests). With a hook set, KernelIoControl
// flushes the registry, writes its console line, calls the hook and returns TRUE.
// An empty function restores the real behaviour.
void setRebootHook(std::function<void()> hook);

// Key-click mode the audio settings were last applied with (0 off, 1 soft, 2 loud), as
// AudioUpdateFromRegistry took it from the registry.
int clickSound();
// Number of times the touch calibration entry was called.
unsigned touchCalibrations();

}  // namespace plat::device
