// The unit's private drivers, simulated: "VEC0:" (video), "BAK1:" (backlight) and "FMT0:"
// (FM transmitter). Each accepts the control codes the shell sends, keeps what they set and
// logs every call on the console. BAK1 also drives a host backlight (sysfs) when the registry
// names one under HKLM "Drivers\BuiltIn\Backlight", value "SysfsPath".
#include <cstdio>
#include <cstring>
#include <mutex>

#include "core/kernel_object.h"
#include "plat_core.h"
#include "plat_device.h"
#include "plat_file.h"
#include "plat_registry.h"
#include "plat_strings.h"
#include "plat_time.h"

namespace plat {
namespace {

enum class Driver { Video, Backlight, FmTransmitter };

std::mutex& stateMutex() {
  static auto* m = new std::mutex;
  return *m;
}
device::State& driverState() {
  static auto* s = new device::State;
  return *s;
}

class DriverDevice : public KernelObject {
 public:
  DriverDevice(Driver driver, std::u16string name) : driver_(driver), name_(std::move(name)) {}
  const char* kind() const override { return "driver"; }
  Driver driver() const { return driver_; }
  const std::u16string& name() const { return name_; }

 private:
  Driver driver_;
  std::u16string name_;
};

void log(const std::u16string& text) { console::write(text); }

// Writes the brightness (0..99) to the host backlight named in the registry, scaled to its
// max_brightness. Silent when none is configured; a console line when the write fails.
void mirrorToSysfs(int brightness) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Drivers\\BuiltIn\\Backlight", 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  WCHAR path[MAX_PATH] = {};
  DWORD size = sizeof path - sizeof(WCHAR), type = 0;
  LSTATUS rc = RegQueryValueExW(key, u"SysfsPath", nullptr, &type, reinterpret_cast<LPBYTE>(path), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || type != REG_SZ || !path[0]) return;
  std::string folder = utf16ToUtf8(path);
  long maxValue = 255;
  std::string text;
  if (readHostFile(folder + "/max_brightness", text)) {
    long v = std::strtol(text.c_str(), nullptr, 10);
    if (v > 0) maxValue = v;
  }
  long value = maxValue * brightness / 99;
  std::FILE* f = std::fopen((folder + "/brightness").c_str(), "w");
  bool ok = f && std::fprintf(f, "%ld\n", value) > 0;
  if (f && std::fclose(f) != 0) ok = false;
  if (!ok) log(format(u"BAK1: cannot write the host backlight %s\r\n", path));
}

bool needIn(DWORD inSize, DWORD want, LPVOID in) {
  if (in && inSize >= want) return true;
  SetLastError(ERROR_INVALID_PARAMETER);
  return false;
}

BOOL videoControl(DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize, LPDWORD returned) {
  switch (code) {
    case IOCTL_VEC_SWITCH_DVD: {
      std::lock_guard<std::mutex> lock(stateMutex());
      driverState().dvdSwitches++;
      log(u"VEC0: switch to DVD\r\n");
      return TRUE;
    }
    case IOCTL_VEC_FLUSH_CALIBRATION: {
      std::lock_guard<std::mutex> lock(stateMutex());
      driverState().calibrationFlushes++;
      driverState().calibrationFlushMs = clock::nowMs();
      log(u"VEC0: calibration data flushed\r\n");
      return TRUE;
    }
    case IOCTL_VEC_GET_DAY_PARAMS:
    case IOCTL_VEC_GET_NIGHT_PARAMS: {
      // The picture parameters are the panel's own; the shell only needs well-formed records.
      const DWORD recordSize = 44;
      if (!out || outSize < recordSize) {
        log(format(u"VEC0: picture parameters 0x%X: buffer of %u bytes too small\r\n", code, outSize));
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
      }
      std::memset(out, 0, recordSize);
      if (returned) *returned = recordSize;
      std::lock_guard<std::mutex> lock(stateMutex());
      driverState().displayQueries++;
      log(format(u"VEC0: %s picture parameters read\r\n", code == IOCTL_VEC_GET_DAY_PARAMS ? u"day" : u"night"));
      return TRUE;
    }
    default:
      break;
  }
  log(format(u"VEC0: unsupported control code 0x%X\r\n", code));
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL backlightControl(DWORD code, LPVOID in, DWORD inSize) {
  if (code != IOCTL_BAK_SET_BRIGHTNESS) {
    log(format(u"BAK1: unsupported control code 0x%X\r\n", code));
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  if (!needIn(inSize, 1, in)) {
    log(u"BAK1: brightness without a value\r\n");
    return FALSE;
  }
  int value = *static_cast<const BYTE*>(in);
  if (value > 99) value = 99;
  {
    std::lock_guard<std::mutex> lock(stateMutex());
    driverState().brightness = value;
  }
  log(format(u"BAK1: brightness %d\r\n", value));
  mirrorToSysfs(value);
  return TRUE;
}

BOOL fmControl(DWORD code, LPVOID in, DWORD inSize) {
  switch (code) {
    case IOCTL_FMT_SET_FREQUENCY: {
      if (!needIn(inSize, 4, in)) break;
      uint32_t f;
      std::memcpy(&f, in, 4);
      std::lock_guard<std::mutex> lock(stateMutex());
      driverState().fmFrequency = f;
      log(format(u"FMT0: frequency %u\r\n", f));
      return TRUE;
    }
    case IOCTL_FMT_SET_MUTE:
    case IOCTL_FMT_SET_AUDIO_MUTE: {
      if (!needIn(inSize, 1, in)) break;
      int v = *static_cast<const BYTE*>(in);
      std::lock_guard<std::mutex> lock(stateMutex());
      (code == IOCTL_FMT_SET_MUTE ? driverState().fmMute : driverState().fmAudioMute) = v;
      log(format(code == IOCTL_FMT_SET_MUTE ? u"FMT0: transmitter mute %d\r\n" : u"FMT0: audio mute %d\r\n", v));
      return TRUE;
    }
    default:
      log(format(u"FMT0: unsupported control code 0x%X\r\n", code));
      SetLastError(ERROR_NOT_SUPPORTED);
      return FALSE;
  }
  log(format(u"FMT0: control code 0x%X without its value\r\n", code));
  return FALSE;
}

}  // namespace

HANDLE openDriverDevice(const std::u16string& name, DWORD, DWORD, DWORD, DWORD) {
  struct Known {
    const char16_t* name;
    Driver driver;
  };
  static const Known known[] = {
      {u"VEC0:", Driver::Video}, {u"BAK1:", Driver::Backlight}, {u"FMT0:", Driver::FmTransmitter}};
  for (const auto& k : known) {
    if (_wcsicmp(name.c_str(), k.name) == 0) return makeHandle(std::make_shared<DriverDevice>(k.driver, k.name));
  }
  SetLastError(ERROR_FILE_NOT_FOUND);
  return nullptr;
}

namespace device {
State state() {
  std::lock_guard<std::mutex> lock(stateMutex());
  return driverState();
}
void reset() {
  std::lock_guard<std::mutex> lock(stateMutex());
  driverState() = State{};
}
}  // namespace device

}  // namespace plat

using namespace plat;

BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize, LPDWORD returned,
                     LPOVERLAPPED) {
  if (returned) *returned = 0;
  auto object = lookupHandle(device);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  auto driver = std::dynamic_pointer_cast<DriverDevice>(object);
  if (!driver) {
    console::write(format(u"DeviceIoControl 0x%X on a %S handle: not supported\r\n", code, object->kind()));
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }
  switch (driver->driver()) {
    case Driver::Video: return videoControl(code, in, inSize, out, outSize, returned);
    case Driver::Backlight: return backlightControl(code, in, inSize);
    case Driver::FmTransmitter: return fmControl(code, in, inSize);
  }
  return FALSE;
}
