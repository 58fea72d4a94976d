// CUtility: the launcher's thin layer over the unit's operating system, registry and private
// drivers (volume, mute, call state, click sound, backlight, brightness, FM transmitter, touch
// calibration, storage volume folders, program start). Exported by the launcher program.
#pragma once

#include <atomic>

#include "windows.h"

enum EN_CLICKSOUND { CLICKSOUND_OFF = 0, CLICKSOUND_SOFT = 1, CLICKSOUND_LOUD = 2 };

class CUtility {
 public:
  CUtility();
  ~CUtility() = default;
  CUtility(const CUtility&) = delete;
  CUtility& operator=(const CUtility&) = delete;

  // Volume and sound. Levels are 0..10.
  int SetVolume(int level);
  int GetVolume();
  int SetVolumeUp();
  int SetVolumeDown();
  void SystemMute(BOOL on);
  void SetSystemMute(BOOL on);
  int GetSystemMute();
  void SetClickSound(int mode);
  EN_CLICKSOUND GetClickSound();
  void UpdateVolumeFromRegistry();
  BOOL AudioUpdateFromRegistry();
  void StopControlVolume();
  void SetCallStatu(BOOL active);

  // FM transmitter.
  BOOL SetFreqency(DWORD frequency);
  BOOL SetMute(BOOL on);
  BOOL FMSetMute(BYTE value);

  // Display and power.
  BOOL SetScreenBrightness(int level);
  DWORD GetBatteryTimeout();
  void SetBatteryTimeout(DWORD seconds);
  void KeepBacklightOn();
  void ReleaseBacklightOn();
  BOOL SetBatteryManage(int minutes);
  BOOL SwitchToDVD();

  // Touch calibration.
  BOOL TouchPadCalibration();
  BOOL FlushCalibrationData();
  BOOL SetCalibrationBmp(LPCWSTR first, LPCWSTR second);

  // Storage volumes. Results point into this object's path buffer (valid until the next query);
  // a folder path beginning with "\" or an empty string.
  LPCWSTR GetDiskFolder(int kind);
  LPCWSTR GetSDFolder();
  LPCWSTR GetSDFolderOfMap();
  LPCWSTR GetSDFolderOfMMC();
  LPCWSTR GetUSBFolder();
  BOOL IsExistSDFolderOfMap();
  BOOL IsExistSDFolderOfMMC();
  BOOL IsExistUSBFolder();
  LPCWSTR GetDataFlashFolder();
  DWORD IsSDOnsite(LPCWSTR path);
  DWORD FirstCheckSD();
  BOOL WaitSDOnsite(DWORD ms);
  DWORD IsUSBOnsite();
  BOOL IsFileExist(LPCWSTR path);
  BOOL IsExistDirectory(LPCWSTR path);
  int GetGPSSerialPort(LPCWSTR key);

  // Programs and windows.
  BOOL executeFile(LPCWSTR path);
  // Starts `path` on a watcher thread that reports to `owner` with WM_COMMAND (identifiers are
  // the registered "APPLICATION_MESSAGEID_NAVIERRORMSG", "..._NAVIFINDWNDMSG" and
  // "..._EXTNAVIEXITMSG"). `info` receives the process information once the process runs; it
  // must outlive the program (the main window keeps it as a member). It is written from the
  // watcher thread: read its fields with std::atomic_ref until the watcher has reported. The
  // handles in it belong to the watcher, which closes them when the program ends; the process id
  // is what stays usable (OpenProcess).
  BOOL ExcuteProgram(HWND owner, LPCWSTR path, PROCESS_INFORMATION* info);
  void GotoPreviousWindow();
  void RollingApp();
  HFONT CreateMyFont(int height, int face);
  void ClearTcpmpDefaultFile();

  // Polls made by the last WaitSDOnsite (-1 before the first).
  int GetLastPollCount() const { return m_nPollCount; }

  // Length of a watcher slice and the number of slices before the owner is told about the
  // program without its window (tests shorten nothing: they drive the platform clock).
  static constexpr DWORD kWatchSliceMs = 2000;
  static constexpr int kWatchSlices = 10;

 private:
  WCHAR m_szPath[MAX_PATH];
  DWORD m_dwSavedBatteryTimeout;
  bool m_bBacklightKept;  // between KeepBacklightOn and ReleaseBacklightOn
  int m_nPollCount;
  int m_nPollLimit;

  // Process-wide: the system mute, the volume before it, the call state.
  static std::atomic<int> s_bSystemMute;
  static std::atomic<int> s_nVolumeBeforeMute;
  static std::atomic<int> s_bCallActive;
};

// The process-wide instance, alive before start-up runs.
extern CUtility* g_pUtility;

class CDeviceProtocol;
// The device-protocol object that start-up installs (null until then); SetCallStatu sends its
// commands through it.
extern CDeviceProtocol* g_pDeviceProtocol;
