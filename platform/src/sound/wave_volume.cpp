// The device volume. One value for the one output device of the unit, full volume at start.
#include <atomic>

#include "plat_sound.h"

namespace {
std::atomic<DWORD> deviceVolume{0xFFFFFFFFu};

bool isDefaultDevice(HWAVEOUT device) {
  auto id = reinterpret_cast<uintptr_t>(device);
  return id == 0 || id == static_cast<uintptr_t>(WAVE_MAPPER) ||
         static_cast<UINT>(id) == WAVE_MAPPER;
}
}  // namespace

UINT waveOutGetNumDevs() { return 1; }

MMRESULT waveOutGetVolume(HWAVEOUT device, LPDWORD volume) {
  if (!volume) return MMSYSERR_INVALPARAM;
  if (!isDefaultDevice(device)) return MMSYSERR_BADDEVICEID;
  *volume = deviceVolume.load();
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutSetVolume(HWAVEOUT device, DWORD volume) {
  if (!isDefaultDevice(device)) return MMSYSERR_BADDEVICEID;
  deviceVolume.store(volume);
  return MMSYSERR_NOERROR;
}
