// CUtility: volume, mute, call state, click sound, backlight, brightness, FM transmitter, touch
// calibration, storage volume folders and the program watcher.
#include "services/utility.h"

#include <memory>
#include <vector>

#include "links/device_protocol.h"
#include "services/program_allow_list.h"

namespace {

CUtility g_utility;

const WCHAR kVolumeKey[] = u"ControlPanel\\Volume";
// The device accepts the key with a leading "\" as the same key; we name it without.
const WCHAR kBacklightKey[] = u"ControlPanel\\Backlight";
const WCHAR kSDMemory1Key[] = u"System\\StorageManager\\Profiles\\SDMemory1";
const WCHAR kSDMemoryKey[] = u"System\\StorageManager\\Profiles\\SDMemory";
const WCHAR kUsbStorageKey[] = u"Drivers\\USB\\ClientDrivers\\Mass_Storage_Class\\2";
const WCHAR kFlashKey[] = u"System\\StorageManager\\Profiles\\FlashDrv\\ROFATFS";
const WCHAR kCorvaneKey[] = u"System\\Corvane";
const WCHAR kTouchKey[] = u"HARDWARE\\DEVICEMAP\\TOUCH";
const WCHAR kMediaPlayerKey[] = u"SOFTWARE\\Media Player\\PLAY";

// Owns one registry key for the length of a scope.
class RegKey {
 public:
  RegKey() = default;
  ~RegKey() {
    if (key_) RegCloseKey(key_);
  }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  bool open(HKEY root, LPCWSTR path) { return RegOpenKeyExW(root, path, 0, KEY_ALL_ACCESS, &key_) == ERROR_SUCCESS; }
  bool create(HKEY root, LPCWSTR path) {
    DWORD disposition = 0;
    return RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key_,
                           &disposition) == ERROR_SUCCESS;
  }
  HKEY get() const { return key_; }
  bool readDword(LPCWSTR name, DWORD& value) const {
    DWORD type = 0, size = sizeof(DWORD), v = 0;
    if (RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<LPBYTE>(&v), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(DWORD))
      return false;
    value = v;
    return true;
  }
  // Reads a string value into `out` (cut to `max` characters with the terminator).
  bool readString(LPCWSTR name, WCHAR* out, DWORD max) const {
    std::vector<WCHAR> buffer(max + 1, 0);
    DWORD type = 0, size = max * sizeof(WCHAR);
    LSTATUS rc = RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<LPBYTE>(buffer.data()), &size);
    if (rc == ERROR_MORE_DATA) {
      NKDbgPrintfW(u"[Vexa APP]CUtility: registry value %s is longer than a path, ignored\r\n", name);
      return false;
    }
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    lstrcpynW(out, buffer.data(), static_cast<int>(max));
    return true;
  }
  bool writeDword(LPCWSTR name, DWORD value) {
    return RegSetValueExW(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
           ERROR_SUCCESS;
  }
  bool writeString(LPCWSTR name, LPCWSTR value) {
    DWORD size = static_cast<DWORD>((lstrlenW(value) + 1) * sizeof(WCHAR));
    return RegSetValueExW(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), size) == ERROR_SUCCESS;
  }

 private:
  HKEY key_ = nullptr;
};

// Owns a device or kernel handle for the length of a scope.
class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE h = nullptr) : h_(h) {}
  ~ScopedHandle() {
    if (valid()) CloseHandle(h_);
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  bool valid() const { return h_ && h_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

HANDLE openDevice(LPCWSTR name) {
  return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

// A window of the launcher's screens, known by its class name (and, failing that, its title).
HWND findNamedWindow(LPCWSTR name) {
  HWND window = FindWindowW(name, nullptr);
  return window ? window : FindWindowW(nullptr, name);
}

void postCommandTo(LPCWSTR windowName, WPARAM command) {
  HWND window = findNamedWindow(windowName);
  if (window) PostMessageW(window, WM_COMMAND, command, 0);
}

void setNamedEvent(LPCWSTR name) {
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, name);
  if (!event) {
    NKDbgPrintfW(u"[Vexa APP]CUtility: cannot create the event %s\r\n", name);
    return;
  }
  SetEvent(event);
  CloseHandle(event);
}

// Calls a procedure of "coredll.dll" that takes nothing and returns a BOOL.
// `found` tells whether the library and the entry were there.
BOOL callCoredll(const char* entry, bool& found) {
  found = false;
  HMODULE module = LoadLibraryW(u"coredll.dll");
  if (!module) return 0;
  BOOL result = 0;
  using Proc = BOOL (*)();
  if (FARPROC proc = GetProcAddress(module, entry)) {
    found = true;
    result = reinterpret_cast<Proc>(proc)();
  }
  FreeLibrary(module);
  return result;
}

void sendDeviceCommand(int command, int kind) {
  if (g_pDeviceProtocol) {
    g_pDeviceProtocol->SendCommand(command, kind, nullptr, 0, -1);
    return;
  }
  NKDbgPrintfW(u"[Vexa APP]CUtility: no device protocol for command %d\r\n", command);
}

int clampLevel(int level) { return level < 0 ? 0 : (level > 10 ? 10 : level); }

// ---- program watcher ----

struct WatchRequest {
  HWND owner;
  std::u16string path;
  PROCESS_INFORMATION* info;
};

struct WindowSearch {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK findProcessWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  // The program on the card may be a script that starts the real one: its windows count too.
  if (plat::process::belongsTo(owner, search->processId)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

void sendCommand(HWND owner, LPCWSTR registeredName, LPARAM lParam) {
  SendMessageW(owner, WM_COMMAND, RegisterWindowMessageW(registeredName), lParam);
}

// The watcher owns its copy of the process handles and closes them on every path; it touches
// the caller's PROCESS_INFORMATION only once, right after the process is created.
DWORD WINAPI watchProgram(LPVOID parameter) {
  plat::nameThread("program watch");
  std::unique_ptr<WatchRequest> request(static_cast<WatchRequest*>(parameter));
  PROCESS_INFORMATION pi = {};
  // Checked here, right before the start, by touch or by itself alike.
  std::string why;
  if (g_pProgramAllowList && !g_pProgramAllowList->Allows(request->path.c_str(), why)) {
    NKDbgPrintfW(u"[Vexa APP] %s is not allowed to start: %S\n", request->path.c_str(), why.c_str());
    sendCommand(request->owner, u"APPLICATION_MESSAGEID_NAVIERRORMSG", 0);
    return 0;
  }
  if (!CreateProcessW(request->path.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &pi)) {
    NKDbgPrintfW(u"CreateProcess failed (%d).\n", static_cast<int>(GetLastError()));
    sendCommand(request->owner, u"APPLICATION_MESSAGEID_NAVIERRORMSG", 0);
    return 0;
  }
  if (request->info) {
    // The window thread may look at the process id while we fill it in.
    std::atomic_ref<HANDLE>(request->info->hProcess).store(pi.hProcess);
    std::atomic_ref<HANDLE>(request->info->hThread).store(pi.hThread);
    std::atomic_ref<DWORD>(request->info->dwThreadId).store(pi.dwThreadId);
    std::atomic_ref<DWORD>(request->info->dwProcessId).store(pi.dwProcessId);
  }
  int slices = 0;
  for (;;) {
    DWORD rc = WaitForSingleObject(pi.hProcess, CUtility::kWatchSliceMs);
    if (rc != WAIT_TIMEOUT) break;
    WindowSearch search = {pi.dwProcessId, nullptr};
    EnumWindows(findProcessWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found || ++slices >= CUtility::kWatchSlices) {
      sendCommand(request->owner, u"APPLICATION_MESSAGEID_NAVIFINDWNDMSG", reinterpret_cast<LPARAM>(search.found));
      WaitForSingleObject(pi.hProcess, INFINITE);
      break;
    }
  }
  if (HWND taskBar = FindWindowW(u"HHTaskBar", nullptr)) ShowWindow(taskBar, SW_HIDE);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  sendCommand(request->owner, u"APPLICATION_MESSAGEID_EXTNAVIEXITMSG", 0);
  return 0;
}

}  // namespace

CUtility* g_pUtility = &g_utility;
CDeviceProtocol* g_pDeviceProtocol = nullptr;

std::atomic<int> CUtility::s_bSystemMute{0};
std::atomic<int> CUtility::s_nVolumeBeforeMute{0};
std::atomic<int> CUtility::s_bCallActive{0};

CUtility::CUtility() : m_dwSavedBatteryTimeout(600), m_bBacklightKept(false), m_nPollCount(-1), m_nPollLimit(-1) {
  m_szPath[0] = 0;
}

// ---- volume and sound ----

int CUtility::SetVolume(int level) {
  level = clampLevel(level);
  DWORD channel = static_cast<DWORD>(level) * 65535u / 10u;
  DWORD volume = channel | (channel << 16);
  waveOutSetVolume(nullptr, volume);
  RegKey key;
  if (key.create(HKEY_CURRENT_USER, kVolumeKey)) {
    // The device's audio stack keeps the wave volume in "Volume"; keeping it here too means a
    // later reload of the audio settings brings back this level and not an old one.
    key.writeDword(u"Volume", volume);
    RegFlushKey(key.get());
  }
  return 1;
}

int CUtility::GetVolume() {
  DWORD volume = 0;
  if (waveOutGetVolume(nullptr, &volume) != MMSYSERR_NOERROR) return 0;
  DWORD left = volume & 0xFFFFu;
  return clampLevel(static_cast<int>((left * 10u + 32767u) / 65535u));
}

int CUtility::SetVolumeUp() {
  int level = clampLevel(GetVolume() + 1);
  SetVolume(level);
  return level;
}

int CUtility::SetVolumeDown() {
  int level = clampLevel(GetVolume() - 1);
  SetVolume(level);
  return level;
}

void CUtility::SystemMute(BOOL on) {
  if (on) {
    if (s_bSystemMute) return;
    s_nVolumeBeforeMute = GetVolume();
    SetVolume(0);
    postCommandTo(u"MP3_Player", 16);
    postCommandTo(u"MP4_Player", 20);
    postCommandTo(u"PIP_WINDOW", 1010);
    s_bSystemMute = 1;
  } else {
    if (!s_bSystemMute) return;
    SetVolume(s_nVolumeBeforeMute);
    postCommandTo(u"MP3_Player", 4);
    postCommandTo(u"MP4_Player", 4);
    postCommandTo(u"PIP_WINDOW", 1011);
    s_bSystemMute = 0;
  }
}

void CUtility::SetSystemMute(BOOL on) {
  RegKey key;
  if (!key.create(HKEY_CURRENT_USER, kVolumeKey)) {
    NKDbgPrintfW(u"[Vexa APP]CUtility::SetSystemMute: cannot open %s\r\n", kVolumeKey);
    return;
  }
  key.writeDword(u"Mute", on ? 0u : 7u);
  UpdateVolumeFromRegistry();
}

// Bit 1 of the event-sound bits: 1 while event sounds are on (the value SetSystemMute(0) writes).
int CUtility::GetSystemMute() {
  RegKey key;
  DWORD mute = 0;
  if (!key.open(HKEY_CURRENT_USER, kVolumeKey) || !key.readDword(u"Mute", mute)) return 0;
  return (mute & 2u) ? 1 : 0;
}

void CUtility::SetClickSound(int mode) {
  DWORD value = mode == CLICKSOUND_SOFT ? 1u : (mode == CLICKSOUND_LOUD ? 0x10002u : 0u);
  RegKey key;
  if (!key.create(HKEY_CURRENT_USER, kVolumeKey)) {
    NKDbgPrintfW(u"[Vexa APP]CUtility::SetClickSound: cannot open %s\r\n", kVolumeKey);
    return;
  }
  key.writeDword(u"Screen", value);
  key.writeDword(u"Key", value);
  UpdateVolumeFromRegistry();
}

EN_CLICKSOUND CUtility::GetClickSound() {
  RegKey key;
  DWORD value = 0;
  if (!key.open(HKEY_CURRENT_USER, kVolumeKey)) return CLICKSOUND_OFF;
  if (!key.readDword(u"Key", value) && !key.readDword(u"Screen", value)) return CLICKSOUND_OFF;
  if (value == 0) return CLICKSOUND_OFF;
  return value == 1 ? CLICKSOUND_SOFT : CLICKSOUND_LOUD;
}

void CUtility::UpdateVolumeFromRegistry() {
  bool found = false;
  callCoredll("AudioUpdateFromRegistry", found);
}

BOOL CUtility::AudioUpdateFromRegistry() {
  bool found = false;
  BOOL result = callCoredll("AudioUpdateFromRegistry", found);
  return found && result ? 1 : 0;
}

void CUtility::StopControlVolume() { setNamedEvent(u"/Audio/Volume/Pause"); }

void CUtility::SetCallStatu(BOOL active) {
  if (active && !s_bCallActive) {
    s_bCallActive = 1;
    SystemMute(1);
    sendDeviceCommand(107, 0);
    sendDeviceCommand(107, 1);
  } else if (!active && s_bCallActive) {
    s_bCallActive = 0;
    SystemMute(0);
    sendDeviceCommand(109, 0);
    sendDeviceCommand(109, 1);
  }
}

// ---- FM transmitter ----

BOOL CUtility::SetFreqency(DWORD frequency) {
  ScopedHandle device(openDevice(u"FMT0:"));
  if (!device.valid()) {
    NKDbgPrintfW(u"Open FMT failed.\r\n");
    return FALSE;
  }
  DWORD returned = 0;
  return DeviceIoControl(device.get(), 0xB0002000u, &frequency, sizeof frequency, nullptr, 0, &returned, nullptr);
}

BOOL CUtility::SetMute(BOOL on) {
  ScopedHandle device(openDevice(u"FMT0:"));
  if (!device.valid()) {
    NKDbgPrintfW(u"Open FMT failed.\r\n");
    return FALSE;
  }
  BYTE value = on ? 1 : 0;
  DWORD returned = 0;
  return DeviceIoControl(device.get(), 0xB0002008u, &value, 1, nullptr, 0, &returned, nullptr);
}

BOOL CUtility::FMSetMute(BYTE value) {
  ScopedHandle device(openDevice(u"FMT0:"));
  if (!device.valid()) {
    NKDbgPrintfW(u"Fail to open DeviceIoControl\n");
    return FALSE;
  }
  DWORD returned = 0;
  return DeviceIoControl(device.get(), 0xB000200Cu, &value, 1, nullptr, 0, &returned, nullptr);
}

// ---- display and power ----

BOOL CUtility::SetScreenBrightness(int level) {
  // Wide enough that no level overflows on the way to the 99 limit.
  long long value = static_cast<long long>(level) * 10;
  if (value < 5) value = 8;
  if (value > 99) value = 99;
  ScopedHandle device(openDevice(u"BAK1:"));
  if (!device.valid()) {
    NKDbgPrintfW(u"[Vexa APP]CUtility::SetScreenBrightness: cannot open BAK1:\r\n");
    return 0;
  }
  BYTE byte = static_cast<BYTE>(value);
  DWORD returned = 0;
  return DeviceIoControl(device.get(), 0x220190u, &byte, 1, nullptr, 0, &returned, nullptr);
}

DWORD CUtility::GetBatteryTimeout() {
  RegKey key;
  DWORD seconds = 0;
  if (key.open(HKEY_CURRENT_USER, kBacklightKey) && key.readDword(u"BatteryTimeout", seconds)) return seconds;
  SetBatteryTimeout(600);
  return 600;
}

void CUtility::SetBatteryTimeout(DWORD seconds) {
  RegKey key;
  if (!key.create(HKEY_CURRENT_USER, kBacklightKey)) {
    NKDbgPrintfW(u"[Vexa APP]CUtility::SetBatteryTimeout: cannot open %s\r\n", kBacklightKey);
    return;
  }
  key.writeDword(u"BatteryTimeout", seconds);
}

void CUtility::KeepBacklightOn() {
  DWORD current = GetBatteryTimeout();
  // A second call while the backlight is already kept on must not save our own 0 and so lose
  // the user's time-out for good; a time-out the user set to 0 is saved like any other.
  if (!m_bBacklightKept) m_dwSavedBatteryTimeout = current;
  m_bBacklightKept = true;
  SetBatteryTimeout(0);
  setNamedEvent(u"BackLightChangeEvent");
}

void CUtility::ReleaseBacklightOn() {
  if (GetBatteryTimeout() == 0) SetBatteryTimeout(m_dwSavedBatteryTimeout);
  m_bBacklightKept = false;
  setNamedEvent(u"BackLightChangeEvent");
}

BOOL CUtility::SetBatteryManage(int minutes) {
  SetBatteryTimeout(static_cast<DWORD>(minutes) * 60u);
  setNamedEvent(u"BackLightChangeEvent");
  return 1;
}

BOOL CUtility::SwitchToDVD() {
  ScopedHandle device(openDevice(u"VEC0:"));
  if (!device.valid()) {
    NKDbgPrintfW(u"[Vexa APP]CUtility::SwitchToDVD: cannot open VEC0:\r\n");
    return FALSE;
  }
  DWORD returned = 0;
  return DeviceIoControl(device.get(), 0x2201F0u, nullptr, 0, nullptr, 0, &returned, nullptr);
}

// ---- touch calibration ----

BOOL CUtility::TouchPadCalibration() {
  bool found = false;
  BOOL result = callCoredll("TouchCalibrate", found);
  return found ? result : 0;
}

BOOL CUtility::FlushCalibrationData() {
  {
    RegKey key;
    if (key.open(HKEY_LOCAL_MACHINE, kTouchKey)) RegFlushKey(key.get());
  }
  ScopedHandle device(openDevice(u"VEC0:"));
  if (!device.valid()) {
    NKDbgPrintfW(u"[Vexa APP]CUtility::FlushCalibrationData: cannot open VEC0:\r\n");
    return FALSE;
  }
  DWORD returned = 0;
  return DeviceIoControl(device.get(), 0x2201F4u, nullptr, 0, nullptr, 0, &returned, nullptr);
}

BOOL CUtility::SetCalibrationBmp(LPCWSTR first, LPCWSTR second) {
  if (!first || !second || !IsFileExist(first) || !IsFileExist(second)) return FALSE;
  RegKey key;
  if (!key.create(HKEY_LOCAL_MACHINE, kTouchKey)) return FALSE;
  return key.writeString(u"calibration1", first) && key.writeString(u"calibration2", second);
}

// ---- storage volumes ----

LPCWSTR CUtility::GetDiskFolder(int kind) {
  m_szPath[0] = 0;
  LPCWSTR keyPath = kind == 1 ? kSDMemoryKey : kind == 3 ? kUsbStorageKey : kind == 8 ? kSDMemory1Key : nullptr;
  if (!keyPath) return m_szPath;
  RegKey key;
  WCHAR folder[MAX_PATH] = {};
  if (!key.open(HKEY_LOCAL_MACHINE, keyPath) || !key.readString(u"Folder", folder, MAX_PATH - 1)) return m_szPath;
  if (kind == 3) NKDbgPrintfW(u"Value=%s.............\r\n", folder);
  if (folder[0]) _snwprintf(m_szPath, MAX_PATH, u"\\%s", folder);
  m_szPath[MAX_PATH - 1] = 0;
  return m_szPath;
}

LPCWSTR CUtility::GetSDFolder() {
  RegKey key;
  WCHAR folder[MAX_PATH] = {};
  if (key.open(HKEY_LOCAL_MACHINE, kSDMemory1Key) && key.readString(u"Folder", folder, MAX_PATH - 1) && folder[0]) {
    _snwprintf(m_szPath, MAX_PATH, u"\\%s", folder);
    m_szPath[MAX_PATH - 1] = 0;
    return m_szPath;
  }
  return GetDiskFolder(1);
}

LPCWSTR CUtility::GetSDFolderOfMap() { return GetDiskFolder(1); }

LPCWSTR CUtility::GetSDFolderOfMMC() {
  LPCWSTR folder = GetDiskFolder(8);
  return folder[0] ? folder : GetDiskFolder(1);
}

LPCWSTR CUtility::GetUSBFolder() { return GetDiskFolder(3); }
BOOL CUtility::IsExistSDFolderOfMap() { return IsExistDirectory(GetSDFolderOfMap()); }
BOOL CUtility::IsExistSDFolderOfMMC() { return IsExistDirectory(GetSDFolderOfMMC()); }
BOOL CUtility::IsExistUSBFolder() { return IsExistDirectory(GetUSBFolder()); }

LPCWSTR CUtility::GetDataFlashFolder() {
  RegKey key;
  WCHAR folder[MAX_PATH] = {};
  if (key.open(HKEY_LOCAL_MACHINE, kFlashKey) && key.readString(u"Folder", folder, MAX_PATH - 1) && folder[0])
    _snwprintf(m_szPath, MAX_PATH, u"\\%s", folder);
  else
    lstrcpynW(m_szPath, u"\\GPSData", MAX_PATH);
  m_szPath[MAX_PATH - 1] = 0;
  return m_szPath;
}

DWORD CUtility::IsSDOnsite(LPCWSTR path) {
  // An empty path would equal the empty answer of an unnamed volume; it names no card.
  if (!path || !path[0]) return 0;
  WCHAR wanted[MAX_PATH];
  lstrcpynW(wanted, path, MAX_PATH);  // path may be our own buffer, which the queries reuse
  LPCWSTR profile = nullptr;
  if (_wcsicmp(wanted, GetSDFolder()) == 0) profile = kSDMemory1Key;
  else if (_wcsicmp(wanted, GetDiskFolder(1)) == 0) profile = kSDMemoryKey;
  else return 0;
  RegKey key;
  if (!key.open(HKEY_LOCAL_MACHINE, profile)) return FirstCheckSD();
  DWORD slot = 0;
  if (!key.readDword(u"SDSlot", slot)) return 1;
  return slot;
}

DWORD CUtility::FirstCheckSD() {
  DWORD answer = 0, returned = 0;
  if (!KernelIoControl(0x1013FA7u, nullptr, 0, &answer, sizeof answer, &returned)) return 1;
  return answer;
}

BOOL CUtility::WaitSDOnsite(DWORD ms) {
  DWORD answer = 0, returned = 0;
  m_nPollCount = 0;
  m_nPollLimit = static_cast<int>((static_cast<uint64_t>(ms) + 199u) / 200u);
  if (KernelIoControl(0x1013FA7u, nullptr, 0, &answer, sizeof answer, &returned) || m_nPollLimit < 1) return 0;
  for (;;) {
    m_nPollCount++;
    if (IsExistDirectory(GetSDFolder())) return 1;
    if (m_nPollCount >= m_nPollLimit) return 0;
    Sleep(200);
  }
}

DWORD CUtility::IsUSBOnsite() {
  RegKey key;
  DWORD disk = 0;
  if (!key.open(HKEY_LOCAL_MACHINE, kCorvaneKey) || !key.readDword(u"UDisk", disk)) return 0;
  return disk;
}

BOOL CUtility::IsFileExist(LPCWSTR path) { return path && GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

BOOL CUtility::IsExistDirectory(LPCWSTR path) {
  if (!path || !path[0]) return FALSE;
  DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? TRUE : FALSE;
}

int CUtility::GetGPSSerialPort(LPCWSTR keyPath) {
  RegKey key;
  DWORD index = 0;
  if (!keyPath || !key.open(HKEY_LOCAL_MACHINE, keyPath) || !key.readDword(u"Index", index)) return -1;
  return static_cast<int>(index);
}

// ---- programs and windows ----

BOOL CUtility::executeFile(LPCWSTR path) {
  SHELLEXECUTEINFO info = {};
  info.cbSize = sizeof info;
  info.lpVerb = u"open";
  info.lpFile = path;
  info.nShow = SW_SHOWNORMAL;
  return ShellExecuteEx(&info);
}

BOOL CUtility::ExcuteProgram(HWND owner, LPCWSTR path, PROCESS_INFORMATION* info) {
  // An empty or missing path still goes to the watcher: its failed start is reported to the
  // owner like any other program that cannot be started.
  auto* request = new WatchRequest{owner, path ? std::u16string(path) : std::u16string(), info};
  HANDLE thread = CreateThread(nullptr, 0, watchProgram, request, 0, nullptr);
  if (!thread) {
    delete request;
    return FALSE;
  }
  CloseHandle(thread);
  return TRUE;
}

void CUtility::GotoPreviousWindow() {
  HWND main = findNamedWindow(u"MainMenu");
  if (main) PostMessageW(main, WM_COMMAND, RegisterWindowMessageW(u"APPLICATION_MESSAGEID_EXTSHOWCURWNDMSG"), 0);
}

void CUtility::RollingApp() {
  setNamedEvent(u"KeyName1Down");
  Sleep(100);
  setNamedEvent(u"KeyName1Up");
}

HFONT CUtility::CreateMyFont(int height, int face) {
  static const WCHAR* const kFaces[] = {u"System", u"", u"System", u"Tahoma", u"Arial", u"微软雅黑"};
  LOGFONTW font = {};
  font.lfHeight = height;
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  const WCHAR* name = face >= 0 && face < 6 ? kFaces[face] : u"";
  lstrcpynW(font.lfFaceName, name, LF_FACESIZE);
  return CreateFontIndirectW(&font);
}

void CUtility::ClearTcpmpDefaultFile() {
  RegKey key;
  if (!key.create(HKEY_LOCAL_MACHINE, kMediaPlayerKey)) {
    NKDbgPrintfW(u"[Vexa APP]CUtility::ClearTcpmpDefaultFile: cannot open %s\r\n", kMediaPlayerKey);
    return;
  }
  key.writeString(u"4096", u"NULL");
}
