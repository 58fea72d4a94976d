// CUtility: volume and mute, click sound, brightness, FM, backlight, storage folders, and the
// program watcher read back from the wave output, the drivers, the registry and the windows.
#include <climits>
#include <thread>

#include "links/device_protocol.h"
#include "listener_window.h"
#include "services/utility.h"
#include "unit_fixture.h"

namespace {

DWORD readDword(HKEY root, const char16_t* key, const char16_t* name, DWORD missing = 0xDEADBEEF) {
  HKEY k = nullptr;
  if (RegOpenKeyExW(root, key, 0, KEY_READ, &k) != ERROR_SUCCESS) return missing;
  DWORD v = 0, size = sizeof v, type = 0;
  LSTATUS rc = RegQueryValueExW(k, name, nullptr, &type, reinterpret_cast<LPBYTE>(&v), &size);
  RegCloseKey(k);
  return rc == ERROR_SUCCESS ? v : missing;
}

std::u16string readString(HKEY root, const char16_t* key, const char16_t* name) {
  HKEY k = nullptr;
  if (RegOpenKeyExW(root, key, 0, KEY_READ, &k) != ERROR_SUCCESS) return u"<no key>";
  WCHAR v[MAX_PATH] = {};
  DWORD size = sizeof v - sizeof(WCHAR), type = 0;
  LSTATUS rc = RegQueryValueExW(k, name, nullptr, &type, reinterpret_cast<LPBYTE>(v), &size);
  RegCloseKey(k);
  return rc == ERROR_SUCCESS ? std::u16string(v) : u"<no value>";
}

DWORD waveVolume() {
  DWORD v = 0;
  waveOutGetVolume(nullptr, &v);
  return v;
}

class UtilityTest : public UnitRootTest {
 protected:
  void SetUp() override {
    UnitRootTest::SetUp();
    plat::device::reset();
    // Start every case unmuted and out of a call, whatever an earlier one left.
    util.SystemMute(0);
    util.SetCallStatu(0);
  }
  CUtility util;
};

TEST_F(UtilityTest, VolumeLevelsMapToBothChannelsAndBack) {
  struct Case {
    int level;
    DWORD channel;
    int readBack;
  } cases[] = {{-1, 0, 0}, {0, 0, 0}, {1, 6553, 1}, {5, 32767, 5}, {8, 52428, 8}, {10, 65535, 10}, {11, 65535, 10}};
  for (const auto& c : cases) {
    EXPECT_EQ(util.SetVolume(c.level), 1);
    EXPECT_EQ(waveVolume(), c.channel | (c.channel << 16)) << c.level;
    EXPECT_EQ(util.GetVolume(), c.readBack) << c.level;
  }
  util.SetVolume(10);
  EXPECT_EQ(util.SetVolumeUp(), 10);
  util.SetVolume(0);
  EXPECT_EQ(util.SetVolumeDown(), 0);
  EXPECT_EQ(util.SetVolumeUp(), 1);
  EXPECT_EQ(util.GetVolume(), 1);
  // The key exists afterwards, holding the level the audio settings reload brings back.
  EXPECT_EQ(readDword(HKEY_CURRENT_USER, u"ControlPanel\\Volume", u"Volume"), 6553u | (6553u << 16));
}

TEST_F(UtilityTest, SystemMuteRemembersTheVolumeOnceAndTellsThePlayers) {
  ListenerWindows players({u"MP3_Player", u"MP4_Player", u"PIP_WINDOW"});
  util.SetVolume(6);
  util.SystemMute(1);
  util.SetVolume(3);  // changed while muted …
  util.SystemMute(1);  // … a second mute must not remember it
  EXPECT_EQ(util.GetVolume(), 3);
  ASSERT_TRUE(players.waitCount(WM_COMMAND, 3));
  util.SystemMute(0);
  EXPECT_EQ(util.GetVolume(), 6);
  util.SystemMute(0);  // no change, nothing posted
  ASSERT_TRUE(players.waitCount(WM_COMMAND, 6));
  std::vector<std::pair<HWND, WPARAM>> got;
  for (const auto& r : players.received()) got.push_back({r.window, r.wParam});
  std::vector<std::pair<HWND, WPARAM>> expected = {{players.window(0), 16},  {players.window(1), 20},
                                                   {players.window(2), 1010}, {players.window(0), 4},
                                                   {players.window(1), 4},   {players.window(2), 1011}};
  EXPECT_EQ(got, expected);
}

TEST_F(UtilityTest, MuteBitsAndClickSoundsInTheRegistry) {
  EXPECT_EQ(util.GetSystemMute(), 0);  // no key
  util.SetSystemMute(1);
  EXPECT_EQ(readDword(HKEY_CURRENT_USER, u"ControlPanel\\Volume", u"Mute"), 0u);
  EXPECT_EQ(util.GetSystemMute(), 0);
  util.SetSystemMute(0);
  EXPECT_EQ(readDword(HKEY_CURRENT_USER, u"ControlPanel\\Volume", u"Mute"), 7u);
  EXPECT_EQ(util.GetSystemMute(), 1);

  struct Case {
    int mode;
    DWORD stored;
    EN_CLICKSOUND readBack;
  } cases[] = {{0, 0, CLICKSOUND_OFF}, {1, 1, CLICKSOUND_SOFT}, {2, 0x10002, CLICKSOUND_LOUD}, {7, 0, CLICKSOUND_OFF}};
  for (const auto& c : cases) {
    util.SetClickSound(c.mode);
    EXPECT_EQ(readDword(HKEY_CURRENT_USER, u"ControlPanel\\Volume", u"Screen"), c.stored);
    EXPECT_EQ(readDword(HKEY_CURRENT_USER, u"ControlPanel\\Volume", u"Key"), c.stored);
    EXPECT_EQ(util.GetClickSound(), c.readBack);
    EXPECT_EQ(plat::device::clickSound(), static_cast<int>(c.readBack));  // reloaded by the OS
  }
  EXPECT_EQ(util.AudioUpdateFromRegistry(), 1);
}

TEST_F(UtilityTest, BrightnessFmAndVideoReachTheirDrivers) {
  struct Case {
    int level;
    int sent;
  } cases[] = {{0, 8}, {-4, 8}, {1, 10}, {5, 50}, {9, 90}, {10, 99}, {200, 99}, {INT_MAX, 99}, {INT_MIN, 8}};
  for (const auto& c : cases) {
    EXPECT_TRUE(util.SetScreenBrightness(c.level));
    EXPECT_EQ(plat::device::state().brightness, c.sent) << c.level;
  }
  EXPECT_TRUE(util.SetFreqency(101700));
  EXPECT_TRUE(util.SetMute(TRUE));
  EXPECT_TRUE(util.FMSetMute(3));
  EXPECT_TRUE(util.SwitchToDVD());
  EXPECT_TRUE(util.FlushCalibrationData());
  auto s = plat::device::state();
  EXPECT_EQ(s.fmFrequency, 101700u);
  EXPECT_EQ(s.fmMute, 1);
  EXPECT_EQ(s.fmAudioMute, 3);
  EXPECT_EQ(s.dvdSwitches, 1u);
  EXPECT_EQ(s.calibrationFlushes, 1u);
  EXPECT_EQ(util.TouchPadCalibration(), 1);
  EXPECT_EQ(plat::openHandleCount(), handlesAtStart());
}

TEST_F(UtilityTest, BacklightTimeoutIsKeptAndRestored) {
  HANDLE changed = CreateEventW(nullptr, TRUE, FALSE, u"BackLightChangeEvent");
  EXPECT_EQ(util.GetBatteryTimeout(), 600u);  // absent: the default is written
  EXPECT_EQ(readDword(HKEY_CURRENT_USER, u"ControlPanel\\Backlight", u"BatteryTimeout"), 600u);
  EXPECT_TRUE(util.SetBatteryManage(2));
  EXPECT_EQ(util.GetBatteryTimeout(), 120u);
  EXPECT_EQ(WaitForSingleObject(changed, 0), WAIT_OBJECT_0);
  ResetEvent(changed);
  util.KeepBacklightOn();
  util.KeepBacklightOn();  // a second call must not save the 0
  EXPECT_EQ(util.GetBatteryTimeout(), 0u);
  util.ReleaseBacklightOn();
  EXPECT_EQ(util.GetBatteryTimeout(), 120u);
  EXPECT_EQ(WaitForSingleObject(changed, 0), WAIT_OBJECT_0);
  // A time-out the user set to 0 (never off) is what comes back, not the construction default.
  util.SetBatteryTimeout(0);
  util.KeepBacklightOn();
  util.ReleaseBacklightOn();
  EXPECT_EQ(util.GetBatteryTimeout(), 0u);
  CloseHandle(changed);
}

TEST_F(UtilityTest, StorageFoldersFromTheRegistry) {
  EXPECT_EQ(std::u16string(util.GetSDFolder()), u"");
  EXPECT_EQ(std::u16string(util.GetUSBFolder()), u"");
  EXPECT_EQ(std::u16string(util.GetDataFlashFolder()), u"\\GPSData");
  EXPECT_EQ(util.IsSDOnsite(u""), 0u);
  EXPECT_EQ(util.IsUSBOnsite(), 0u);
  EXPECT_EQ(util.GetGPSSerialPort(u"Drivers\\GPS"), -1);
  ASSERT_TRUE(plat::registry::loadText(
      "REGEDIT4\n\n"
      "[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory1]\n\"Folder\"=\"StorageCard\"\n"
      "\"SDSlot\"=dword:00000000\n"
      "[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory]\n\"Folder\"=\"SDMMC\"\n"
      "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\ClientDrivers\\Mass_Storage_Class\\2]\n\"Folder\"=\"Hard Disk\"\n"
      "[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\FlashDrv\\ROFATFS]\n\"Folder\"=\"NFlash\"\n"
      "[HKEY_LOCAL_MACHINE\\System\\Corvane]\n\"UDisk\"=dword:00000001\n"
      "[HKEY_LOCAL_MACHINE\\Drivers\\GPS]\n\"Index\"=dword:00000009\n"));
  makeFolder("SDMMC");
  EXPECT_EQ(std::u16string(util.GetSDFolder()), u"\\StorageCard");
  EXPECT_EQ(std::u16string(util.GetSDFolderOfMap()), u"\\SDMMC");
  EXPECT_EQ(std::u16string(util.GetSDFolderOfMMC()), u"\\StorageCard");
  EXPECT_EQ(std::u16string(util.GetUSBFolder()), u"\\Hard Disk");
  EXPECT_TRUE(consoleHas("Value=Hard Disk............."));
  EXPECT_EQ(std::u16string(util.GetDataFlashFolder()), u"\\NFlash");
  EXPECT_FALSE(util.IsExistSDFolderOfMMC());
  EXPECT_TRUE(util.IsExistSDFolderOfMap());
  EXPECT_FALSE(util.IsExistUSBFolder());
  // SDMemory1 names SDSlot 0; SDMemory has no SDSlot (read as present); others are no card.
  EXPECT_EQ(util.IsSDOnsite(u"\\StorageCard"), 0u);
  EXPECT_EQ(util.IsSDOnsite(u"\\SDMMC"), 1u);
  EXPECT_EQ(util.IsSDOnsite(u"\\Elsewhere"), 0u);
  EXPECT_EQ(util.IsSDOnsite(util.GetSDFolder()), 0u);  // our own buffer as the argument
  EXPECT_EQ(util.FirstCheckSD(), 1u);
  EXPECT_EQ(util.IsUSBOnsite(), 1u);
  EXPECT_EQ(util.GetGPSSerialPort(u"Drivers\\GPS"), 9);
  EXPECT_TRUE(util.IsExistDirectory(u"\\SDMMC"));
  EXPECT_FALSE(util.IsExistDirectory(u""));
  writeFile("a.bmp", "x");
  EXPECT_TRUE(util.IsFileExist(u"\\a.bmp"));
  EXPECT_FALSE(util.IsExistDirectory(u"\\a.bmp"));
}

TEST_F(UtilityTest, ACardNamedOnlyByTheMapProfileAsksTheKernel) {
  // GetSDFolder falls back to SDMemory, so the path matches it first and the missing SDMemory1
  // profile sends the question to the kernel, which cannot answer here: present.
  ASSERT_TRUE(plat::registry::loadText(
      "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory]\n\"Folder\"=\"SDMMC\"\n"
      "\"SDSlot\"=dword:00000000\n"));
  EXPECT_EQ(std::u16string(util.GetSDFolder()), u"\\SDMMC");
  EXPECT_EQ(util.IsSDOnsite(u"\\SDMMC"), 1u);
  EXPECT_EQ(std::u16string(util.GetSDFolderOfMMC()), u"\\SDMMC");
  EXPECT_EQ(std::u16string(util.GetDiskFolder(2)), u"");
}

TEST_F(UtilityTest, TheDefaultUnitNamesItsVolumesAndSettings) {
  // A copy: a flush must never write into the source tree.
  std::filesystem::copy_file(std::string(HU_SOURCE_DIR) + "/unit/registry.reg", host("registry.reg"));
  ASSERT_TRUE(plat::registry::load(host("registry.reg")));
  EXPECT_FALSE(consoleHas("registry.reg"));  // no line of it was refused
  EXPECT_EQ(std::u16string(util.GetSDFolder()), u"\\StorageCard");
  EXPECT_EQ(std::u16string(util.GetSDFolderOfMap()), u"\\SDMMC");
  EXPECT_EQ(std::u16string(util.GetUSBFolder()), u"\\Hard Disk");
  EXPECT_EQ(std::u16string(util.GetDataFlashFolder()), u"\\GPSData");
  EXPECT_EQ(util.GetBatteryTimeout(), 600u);
  EXPECT_EQ(util.GetClickSound(), CLICKSOUND_SOFT);
  EXPECT_EQ(util.GetSystemMute(), 1);  // event sounds on
}

TEST_F(UtilityTest, AnOverlongVolumeFolderNamesNoVolume) {
  std::string script = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory1]\n\"Folder\"=\"" +
                       std::string(300, 'x') + "\"\n";
  ASSERT_TRUE(plat::registry::loadText(script));
  EXPECT_EQ(std::u16string(util.GetSDFolder()), u"");
  EXPECT_EQ(std::u16string(util.GetDiskFolder(8)), u"");
  EXPECT_TRUE(consoleHas("longer than a path"));
}

TEST_F(UtilityTest, WaitSDOnsitePollsAtMostOncePer200Ms) {
  ASSERT_TRUE(plat::registry::loadText(
      "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory1]\n\"Folder\"=\"StorageCard\"\n"));
  EXPECT_FALSE(util.WaitSDOnsite(0));
  EXPECT_EQ(util.GetLastPollCount(), 0);
  makeFolder("StorageCard");
  EXPECT_TRUE(util.WaitSDOnsite(1000));
  EXPECT_EQ(util.GetLastPollCount(), 1);
  std::filesystem::remove(host("StorageCard"));

  plat::clock::freeze();
  std::atomic<bool> done{false};
  BOOL result = TRUE;
  std::thread waiter([&] {
    result = util.WaitSDOnsite(1000);
    done = true;
  });
  // Drive the frozen clock until the wait gives up (5 polls, 4 naps of 200 ms between them).
  auto watchdog = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done && std::chrono::steady_clock::now() < watchdog) {
    plat::clock::advance(50);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  plat::clock::unfreeze();  // lets a stuck wait finish on the real clock
  waiter.join();
  EXPECT_TRUE(done);
  EXPECT_FALSE(result);
  EXPECT_EQ(util.GetLastPollCount(), 5);
}

TEST_F(UtilityTest, CalibrationPicturesAndPlayerFileInTheRegistry) {
  EXPECT_FALSE(util.SetCalibrationBmp(u"\\cal1.bmp", u"\\cal2.bmp"));
  EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, u"HARDWARE\\DEVICEMAP\\TOUCH", u"calibration1"), u"<no key>");
  writeFile("cal1.bmp", "x");
  EXPECT_FALSE(util.SetCalibrationBmp(u"\\cal1.bmp", u"\\cal2.bmp"));
  writeFile("cal2.bmp", "x");
  EXPECT_TRUE(util.SetCalibrationBmp(u"\\cal1.bmp", u"\\cal2.bmp"));
  EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, u"HARDWARE\\DEVICEMAP\\TOUCH", u"calibration1"), u"\\cal1.bmp");
  EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, u"HARDWARE\\DEVICEMAP\\TOUCH", u"calibration2"), u"\\cal2.bmp");
  util.ClearTcpmpDefaultFile();
  EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Media Player\\PLAY", u"4096"), u"NULL");
}

TEST_F(UtilityTest, NamedEventsForVolumeAndKeys) {
  HANDLE pause = CreateEventW(nullptr, TRUE, FALSE, u"/Audio/Volume/Pause");
  HANDLE down = CreateEventW(nullptr, TRUE, FALSE, u"KeyName1Down");
  HANDLE up = CreateEventW(nullptr, TRUE, FALSE, u"KeyName1Up");
  util.StopControlVolume();
  util.RollingApp();
  EXPECT_EQ(WaitForSingleObject(pause, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(down, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(up, 0), WAIT_OBJECT_0);
  for (HANDLE h : {pause, down, up}) CloseHandle(h);
  EXPECT_EQ(plat::openHandleCount(), handlesAtStart());
}

class RecordingProtocol : public CNullDeviceProtocol {
 public:
  struct Call {
    int command, kind;
    const void* data;
    int value, extra;
    bool operator==(const Call&) const = default;
  };
  void SendCommand(int command, int kind, const void* data, int value, int extra) override {
    calls.push_back({command, kind, data, value, extra});
  }
  std::vector<Call> calls;
};

TEST_F(UtilityTest, CallStateMutesOnceTellsTheDeviceAndRestores) {
  RecordingProtocol protocol;
  g_pDeviceProtocol = &protocol;
  util.SetVolume(7);
  util.SetCallStatu(1);
  util.SetCallStatu(1);
  EXPECT_EQ(util.GetVolume(), 0);
  util.SetCallStatu(0);
  util.SetCallStatu(0);
  EXPECT_EQ(util.GetVolume(), 7);
  g_pDeviceProtocol = nullptr;
  std::vector<RecordingProtocol::Call> expected = {
      {107, 0, nullptr, 0, -1}, {107, 1, nullptr, 0, -1}, {109, 0, nullptr, 0, -1}, {109, 1, nullptr, 0, -1}};
  EXPECT_EQ(protocol.calls, expected);
}

TEST_F(UtilityTest, FontsComeFromTheFaceTable) {
  const char16_t* faces[] = {u"System", u"", u"System", u"Tahoma", u"Arial", u"微软雅黑", u""};
  for (int face = 0; face < 7; ++face) {
    HFONT font = util.CreateMyFont(22, face);
    ASSERT_NE(font, nullptr) << face;
    LOGFONTW lf = {};
    ASSERT_EQ(GetObjectW(font, sizeof lf, &lf), static_cast<int>(sizeof lf));
    EXPECT_EQ(lf.lfHeight, 22);
    EXPECT_EQ(lf.lfWeight, 400);
    EXPECT_EQ(std::u16string(lf.lfFaceName), faces[face]) << face;
    DeleteObject(font);
  }
}

// ---- the program watcher ----

class WatcherTest : public UtilityTest {
 protected:
  UINT id(const char16_t* name) { return RegisterWindowMessageW(name); }
};

TEST_F(WatcherTest, AProgramThatEndsAtOnceIsReportedAsEndedAndHidesTheTaskBar) {
  writeFile("StorageCard/NaviOnej0p/NaviOne.exe", "#!/bin/sh\nexit 0\n", true);
  ListenerWindows owner({u"MainMenu", u"HHTaskBar"});
  ASSERT_TRUE(IsWindowVisible(owner.window(1)));
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(util.ExcuteProgram(owner.window(0), u"\\StorageCard\\NaviOnej0p\\NaviOne.exe", &info));
  UINT exitId = id(u"APPLICATION_MESSAGEID_EXTNAVIEXITMSG");
  ASSERT_TRUE(owner.waitCount(WM_COMMAND, 1, exitId));
  EXPECT_NE(std::atomic_ref<DWORD>(info.dwProcessId).load(), 0u);
  EXPECT_EQ(owner.count(WM_COMMAND, id(u"APPLICATION_MESSAGEID_NAVIFINDWNDMSG")), 0u);
  EXPECT_EQ(owner.received().back().lParam, 0);
  EXPECT_FALSE(IsWindowVisible(owner.window(1)));
  // The watcher closed its handles before it reported.
  EXPECT_EQ(plat::openHandleCount(), handlesAtStart());
}

TEST_F(WatcherTest, AMissingOrOverlongProgramIsReportedAsAnError) {
  ListenerWindows owner({u"MainMenu"});
  PROCESS_INFORMATION info = {};
  UINT errorId = id(u"APPLICATION_MESSAGEID_NAVIERRORMSG");
  ASSERT_TRUE(util.ExcuteProgram(owner.window(0), u"\\StorageCard\\gone.exe", &info));
  ASSERT_TRUE(owner.waitCount(WM_COMMAND, 1, errorId));
  EXPECT_TRUE(waitForConsole("CreateProcess failed (2)."));
  std::u16string longPath = u"\\StorageCard\\" + std::u16string(270, u'n') + u".exe";
  ASSERT_TRUE(util.ExcuteProgram(owner.window(0), longPath.c_str(), &info));
  ASSERT_TRUE(owner.waitCount(WM_COMMAND, 2, errorId));
  EXPECT_TRUE(waitForConsole("CreateProcess failed (206)."));
  EXPECT_EQ(info.dwProcessId, 0u);
  // No program at all is a failed start as well, reported the same way.
  ASSERT_TRUE(util.ExcuteProgram(owner.window(0), u"", &info));
  ASSERT_TRUE(owner.waitCount(WM_COMMAND, 3, errorId));
  ASSERT_TRUE(util.ExcuteProgram(owner.window(0), nullptr, nullptr));
  ASSERT_TRUE(owner.waitCount(WM_COMMAND, 4, errorId));
  EXPECT_EQ(owner.count(WM_COMMAND, id(u"APPLICATION_MESSAGEID_EXTNAVIEXITMSG")), 0u);
  EXPECT_EQ(plat::openHandleCount(), handlesAtStart());
}

TEST_F(WatcherTest, AfterTenSlicesWithoutAWindowTheOwnerIsToldAndTheEndStillComes) {
  writeFile("navi.exe", "#!/bin/sh\nsleep 30\n", true);
  ListenerWindows owner({u"MainMenu"});
  UINT findId = id(u"APPLICATION_MESSAGEID_NAVIFINDWNDMSG");
  UINT exitId = id(u"APPLICATION_MESSAGEID_EXTNAVIEXITMSG");
  plat::clock::freeze();
  uint64_t start = plat::clock::nowMs();
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(util.ExcuteProgram(owner.window(0), u"\\navi.exe", &info));
  // The watcher cannot report before ten 2-second slices of platform time have passed.
  bool found = false;
  for (int i = 0; i < 400 && !found; ++i) {
    plat::clock::advance(250);
    found = owner.waitCount(WM_COMMAND, 1, findId, 5);
  }
  uint64_t elapsed = plat::clock::nowMs() - start;
  plat::clock::unfreeze();
  ASSERT_TRUE(found);
  EXPECT_GE(elapsed, 20000u);
  EXPECT_LT(elapsed, 26000u);
  EXPECT_EQ(owner.received().back().lParam, 0);  // the child's windows are not ours to see
  EXPECT_EQ(owner.count(WM_COMMAND, exitId), 0u);
  // The launcher's touch-activation path: open the process by id and end it.
  HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, std::atomic_ref<DWORD>(info.dwProcessId).load());
  ASSERT_NE(process, nullptr);
  EXPECT_TRUE(TerminateProcess(process, 0));
  CloseHandle(process);
  ASSERT_TRUE(owner.waitCount(WM_COMMAND, 1, exitId));
  EXPECT_EQ(plat::openHandleCount(), handlesAtStart());
}

}  // namespace
