// Wave output volume. The platform keeps the device volume (low word left, high word right);
// any thread may read or set it.
#pragma once

#include "plat_types.h"

typedef UINT MMRESULT;
struct HWAVEOUT__;
typedef HWAVEOUT__* HWAVEOUT;
typedef HWAVEOUT* LPHWAVEOUT;

#define MMSYSERR_NOERROR 0
#define MMSYSERR_ERROR 1
#define MMSYSERR_BADDEVICEID 2
#define MMSYSERR_INVALHANDLE 5
#define MMSYSERR_INVALPARAM 11
#define WAVE_MAPPER (static_cast<UINT>(-1))

UINT waveOutGetNumDevs();
// The default device is named by a null handle, device id 0 cast to a handle, or WAVE_MAPPER.
MMRESULT waveOutGetVolume(HWAVEOUT device, LPDWORD volume);
MMRESULT waveOutSetVolume(HWAVEOUT device, DWORD volume);
