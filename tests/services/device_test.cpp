// The simulated drivers, kernel I/O control and the built-in coredll procedures.
#include <cstring>
#include <fstream>

#include "unit_fixture.h"

namespace {

class DeviceTest : public UnitRootTest {
 protected:
  void SetUp() override {
    UnitRootTest::SetUp();
    plat::device::reset();
  }
  void TearDown() override {
    plat::device::setRebootHook(nullptr);
    UnitRootTest::TearDown();
  }
  static HANDLE open(const char16_t* name) {
    return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  }
};

TEST_F(DeviceTest, DriversKeepWhatTheControlCodesSet) {
  HANDLE vec = open(u"VEC0:"), bak = open(u"bak1:"), fmt = open(u"FMT0:");
  ASSERT_TRUE(vec && vec != INVALID_HANDLE_VALUE);
  ASSERT_TRUE(bak && bak != INVALID_HANDLE_VALUE);
  ASSERT_TRUE(fmt && fmt != INVALID_HANDLE_VALUE);
  BYTE level = 57, mute = 1, audio = 0;
  DWORD freq = 87500, got = 0;
  EXPECT_TRUE(DeviceIoControl(bak, IOCTL_BAK_SET_BRIGHTNESS, &level, 1, nullptr, 0, &got, nullptr));
  EXPECT_TRUE(DeviceIoControl(fmt, IOCTL_FMT_SET_FREQUENCY, &freq, 4, nullptr, 0, &got, nullptr));
  EXPECT_TRUE(DeviceIoControl(fmt, IOCTL_FMT_SET_MUTE, &mute, 1, nullptr, 0, &got, nullptr));
  EXPECT_TRUE(DeviceIoControl(fmt, IOCTL_FMT_SET_AUDIO_MUTE, &audio, 1, nullptr, 0, &got, nullptr));
  EXPECT_TRUE(DeviceIoControl(vec, IOCTL_VEC_SWITCH_DVD, nullptr, 0, nullptr, 0, &got, nullptr));
  EXPECT_TRUE(DeviceIoControl(vec, IOCTL_VEC_FLUSH_CALIBRATION, nullptr, 0, nullptr, 0, &got, nullptr));
  auto s = plat::device::state();
  EXPECT_EQ(s.brightness, 57);
  EXPECT_EQ(s.fmFrequency, 87500u);
  EXPECT_EQ(s.fmMute, 1);
  EXPECT_EQ(s.fmAudioMute, 0);
  EXPECT_EQ(s.dvdSwitches, 1u);
  EXPECT_EQ(s.calibrationFlushes, 1u);
  EXPECT_TRUE(consoleHas("BAK1: brightness 57"));
  EXPECT_TRUE(consoleHas("FMT0: frequency 87500"));
  for (HANDLE h : {vec, bak, fmt}) CloseHandle(h);
  EXPECT_EQ(plat::openHandleCount(), handlesAtStart());
}

TEST_F(DeviceTest, BadCallsFailWithoutChangingState) {
  HANDLE bak = open(u"BAK1:"), fmt = open(u"FMT0:"), vec = open(u"VEC0:");
  DWORD got = 0;
  BYTE byte = 5;
  struct Case {
    HANDLE device;
    DWORD code;
    LPVOID in;
    DWORD inSize;
  } cases[] = {
      {bak, IOCTL_BAK_SET_BRIGHTNESS, nullptr, 0},  // no value
      {fmt, IOCTL_FMT_SET_FREQUENCY, &byte, 1},     // short value
      {fmt, IOCTL_FMT_SET_MUTE, nullptr, 0},
      {bak, 0x12345678u, &byte, 1},                 // unknown codes
      {vec, IOCTL_BAK_SET_BRIGHTNESS, &byte, 1},
      {fmt, IOCTL_VEC_SWITCH_DVD, nullptr, 0},
  };
  for (const auto& c : cases) EXPECT_FALSE(DeviceIoControl(c.device, c.code, c.in, c.inSize, nullptr, 0, &got, nullptr));
  auto s = plat::device::state();
  EXPECT_EQ(s.brightness, -1);
  EXPECT_EQ(s.fmFrequency, 0u);
  EXPECT_EQ(s.fmMute, -1);
  EXPECT_EQ(s.dvdSwitches, 0u);
  EXPECT_FALSE(DeviceIoControl(reinterpret_cast<HANDLE>(0x7777), IOCTL_VEC_SWITCH_DVD, nullptr, 0, nullptr, 0, &got,
                               nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  HANDLE none = open(u"XYZ9:");
  EXPECT_TRUE(none == nullptr || none == INVALID_HANDLE_VALUE);
  for (HANDLE h : {vec, bak, fmt}) CloseHandle(h);
}

TEST_F(DeviceTest, PictureParameterQueriesAnswerZeroedRecords) {
  HANDLE vec = open(u"VEC0:");
  for (DWORD code : {IOCTL_VEC_GET_DAY_PARAMS, IOCTL_VEC_GET_NIGHT_PARAMS}) {
    BYTE record[48];
    std::memset(record, 0xAA, sizeof record);
    DWORD got = 0;
    EXPECT_TRUE(DeviceIoControl(vec, code, nullptr, 0, record, 44, &got, nullptr));
    EXPECT_EQ(got, 44u);
    for (int i = 0; i < 44; ++i) ASSERT_EQ(record[i], 0) << i;
    EXPECT_EQ(record[44], 0xAA);  // nothing written past the record
    EXPECT_FALSE(DeviceIoControl(vec, code, nullptr, 0, record, 43, &got, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  }
  CloseHandle(vec);
}

TEST_F(DeviceTest, BrightnessIsMirroredToAHostBacklight) {
  makeFolder("sys/backlight");
  std::ofstream(host("sys/backlight/max_brightness")) << "1000\n";
  std::string folder = host("sys/backlight");
  std::string script = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Backlight]\n\"SysfsPath\"=\"" + folder + "\"\n";
  ASSERT_TRUE(plat::registry::loadText(script));
  HANDLE bak = open(u"BAK1:");
  BYTE level = 99;
  DWORD got = 0;
  EXPECT_TRUE(DeviceIoControl(bak, IOCTL_BAK_SET_BRIGHTNESS, &level, 1, nullptr, 0, &got, nullptr));
  std::ifstream in(folder + "/brightness");
  long value = 0;
  in >> value;
  EXPECT_EQ(value, 1000);
  level = 8;
  DeviceIoControl(bak, IOCTL_BAK_SET_BRIGHTNESS, &level, 1, nullptr, 0, &got, nullptr);
  std::ifstream again(folder + "/brightness");
  again >> value;
  EXPECT_EQ(value, 80);
  CloseHandle(bak);
}

TEST_F(DeviceTest, KernelControl) {
  DWORD out = 0, got = 0;
  EXPECT_FALSE(KernelIoControl(IOCTL_HAL_QUERY_SD, nullptr, 0, &out, 4, &got));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
  EXPECT_FALSE(KernelIoControl(0x42, nullptr, 0, nullptr, 0, &got));

  int reboots = 0;
  plat::device::setRebootHook([&] { reboots++; });
  EXPECT_TRUE(KernelIoControl(IOCTL_HAL_REBOOT, nullptr, 0, nullptr, 0, &got));
  EXPECT_EQ(reboots, 1);
  EXPECT_TRUE(consoleHas("IOCTL_HAL_REBOOT"));
}

TEST(DeviceReboot, EndsTheProcessWithTheRestartStatus) {
  plat::console::setEcho(false);
  EXPECT_EXIT(KernelIoControl(IOCTL_HAL_REBOOT, nullptr, 0, nullptr, 0, nullptr),
              ::testing::ExitedWithCode(HU_REBOOT_EXIT_STATUS), "");
}

TEST_F(DeviceTest, CoredllProcedures) {
  EXPECT_EQ(plat::coredllProc("NoSuchEntry"), nullptr);
  auto touch = reinterpret_cast<BOOL (*)()>(plat::coredllProc("TouchCalibrate"));
  ASSERT_NE(touch, nullptr);
  unsigned before = plat::device::touchCalibrations();
  EXPECT_EQ(touch(), 1);
  EXPECT_EQ(plat::device::touchCalibrations(), before + 1);

  ASSERT_TRUE(plat::registry::loadText(
      "REGEDIT4\n\n[HKEY_CURRENT_USER\\ControlPanel\\Volume]\n\"Volume\"=dword:80008000\n\"Key\"=dword:00010002\n"));
  auto update = reinterpret_cast<BOOL (*)()>(plat::coredllProc("AudioUpdateFromRegistry"));
  ASSERT_NE(update, nullptr);
  EXPECT_TRUE(update());
  EXPECT_EQ(plat::device::clickSound(), 2);
  DWORD volume = 0;
  waveOutGetVolume(nullptr, &volume);
  EXPECT_EQ(volume, 0x80008000u);
}

}  // namespace
