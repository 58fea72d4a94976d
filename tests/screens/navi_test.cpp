// The navigation launcher: the scanner of the card, and the main window driven as the unit
// drives it (card present at start, companion requests, touches, storage events, GPS data, the
// started program ending or failing), with the companion's queues read as the companion would.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/navi_path_list.h"
#include "app/navi_path_list_wnd.h"
#include "app/storage_monitor.h"
#include "links/can_protocal.h"
#include "links/msg_queue.h"
#include "plat_device.h"
#include "plat_msgqueue.h"
#include "screen_fixture.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<BYTE>;

const Bytes kNaviPresent = {0x51, 0x05, 0x11, 0x01};
const Bytes kNaviAbsent = {0x51, 0x05, 0x11, 0x00};

bool startsWith(const Bytes& b, const Bytes& prefix) {
  return b.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), b.begin());
}

// An NMEA sentence with its checksum.
std::string nmea(const std::string& body) {
  unsigned char sum = 0;
  for (char c : body) sum ^= static_cast<unsigned char>(c);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return "$" + body + tail;
}

class NaviTest : public hu::test::ScreenFixture {
 protected:
  std::string remembered_;  // GPS_MAPPATH at start; empty: none

  std::string configText() override {
    std::string text =
        "<CONFIG><CURRENT_LANGUAGE Value=\"1033\"/><CURRENT_SKIN Value=\"1\"/><SKIN1>Skin800x480</SKIN1>"
        "<ANIMATOR_TYPE Value=\"0\"/>";
    if (!remembered_.empty()) text += "<GPS_MAPPATH>" + remembered_ + "</GPS_MAPPATH>";
    return text + "</CONFIG>";
  }
  void program(const std::string& relative, const std::string& body) {
    writeFile(relative, "#!/bin/sh\n" + body + "\n");
    ::chmod(hostPath(relative).c_str(), 0755);
  }
  void prepareUnit(const std::string& root) override {
    ScreenFixture::prepareUnit(root);
    program("StorageCard/Navi/Go.exe", "sleep 1");
    program("StorageCard/Maps/Long.EXE", "sleep 30");
    // Neither executable nor a script: the program watcher cannot create its process.
    writeFile("StorageCard/Bad.exe", "MZ not a program for this machine");
  }
  void SetUp() override {
    ScreenFixture::SetUp();
    plat::msgqueue::setNamePrefix("hu-test-navi-" + std::to_string(getpid()) + "-");
    MSGQUEUEOPTIONS o{sizeof(MSGQUEUEOPTIONS), MSGQUEUE_ALLOW_BROKEN, 1000, 1000, TRUE};
    fromLauncher_ = CreateMsgQueue(CMsgQueue::kOutgoingName, &o);
    o.bReadAccess = FALSE;
    toLauncher_ = CreateMsgQueue(CMsgQueue::kIncomingName, &o);
    g_pCanProtocal = new CCanProtocal();
    g_pStorageMonitor = new CStorageMonitor();
    g_pStorageMonitor->Start();
    g_pNaviPathList = new CNaviPathList();
  }
  void TearDown() override {
    wnd_.reset();
    delete g_pNaviPathList;
    g_pNaviPathList = nullptr;
    g_pStorageMonitor->Stop();
    delete g_pStorageMonitor;
    g_pStorageMonitor = nullptr;
    delete g_pCanProtocal;
    g_pCanProtocal = nullptr;
    CloseMsgQueue(fromLauncher_);
    CloseMsgQueue(toLauncher_);
    plat::msgqueue::removeQueue(CMsgQueue::kOutgoingName);
    plat::msgqueue::removeQueue(CMsgQueue::kIncomingName);
    plat::msgqueue::setNamePrefix("");
    ScreenFixture::TearDown();
  }
  void createMain() {
    wnd_ = std::make_unique<CNaviPathListWnd>();
    wnd_->SetName(u"MainMenu", u"MainMenu");
    wnd_->SetScript(u"Main_Menu_Script.xml", nullptr);
    ASSERT_TRUE(wnd_->Create(nullptr, nullptr, SW_SHOW, 0x40000000));
    SetTimer(wnd_->GetHwnd(), CNaviPathListWnd::kGpsTimeTimer, 5000, nullptr);
    pumpUntilIdle();
  }
  // Everything the launcher has sent to the companion since the last call.
  std::vector<Bytes> sent() {
    std::vector<Bytes> all;
    BYTE buffer[1000];
    DWORD got = 0, flags = 0;
    while (ReadMsgQueue(fromLauncher_, buffer, sizeof buffer, &got, 0, &flags)) all.emplace_back(buffer, buffer + got);
    return all;
  }
  static int count(const std::vector<Bytes>& messages, const Bytes& prefix) {
    return static_cast<int>(std::count_if(messages.begin(), messages.end(),
                                          [&](const Bytes& b) { return startsWith(b, prefix); }));
  }
  int page() { return wnd_->View().SL_menuGetCurrentItem(); }
  std::u16string remembered() {
    CConfig config;
    config.Open();
    WCHAR path[MAX_PATH] = {};
    config.GetString(u"GPS_MAPPATH", path);
    return path;
  }
  bool scanned(int atLeast = 1) {
    return waitReal([&] { return g_pNaviPathList->ScanCount() >= atLeast && g_pNaviPathList->IsReady(); });
  }
  std::u16string entry(int i) { return g_pNaviPathList->GetItem(i); }
  int indexOf(const std::u16string& path) {
    for (int i = 0; i < g_pNaviPathList->GetCount(); ++i)
      if (entry(i) == path) return i;
    return -1;
  }
  // Screen point of a table row's middle (the main window starts 40 pixels down).
  POINT rowPoint(int row) { return {300, 40 + 58 + 52 * row + 24}; }

  HANDLE fromLauncher_ = nullptr;
  HANDLE toLauncher_ = nullptr;
  std::unique_ptr<CNaviPathListWnd> wnd_;
};

TEST_F(NaviTest, ScanListsProgramsUpToTwoFoldersDownAndBroadcastsTheirNumber) {
  program("StorageCard/A/B/NAVI.exe", "exit 0");
  program("StorageCard/A/B/C/Deep.exe", "exit 0");
  program("StorageCard/A/Mixed.Exe", "exit 0");
  writeFile("StorageCard/A/readme.txt", "not a program");
  writeFile("StorageCard/.hidden.exe", "hidden");
  fs::create_directories(hostPath("StorageCard/Folder.exe"));
  std::string deep = "StorageCard/" + std::string(120, 'x') + "/" + std::string(120, 'y') + "/" + std::string(40, 'z') + ".exe";
  program(deep, "exit 0");

  // A window that hears the broadcast.
  createMain();
  ASSERT_TRUE(scanned());
  std::set<std::u16string> found;
  for (int i = 0; i < g_pNaviPathList->GetCount(); ++i) found.insert(entry(i));
  const std::set<std::u16string> expected = {
      u"\\StorageCard\\Bad.exe", u"\\StorageCard\\Navi\\Go.exe", u"\\StorageCard\\Maps\\Long.EXE",
      u"\\StorageCard\\A\\B\\NAVI.exe", u"\\StorageCard\\A\\Mixed.Exe"};
  EXPECT_EQ(found, expected);
  EXPECT_TRUE(consoleHas("path too long, skipped")) << consoleText();
  EXPECT_EQ(g_pNaviPathList->GetItem(99), u"");
  WCHAR copy[MAX_PATH] = u"junk";
  g_pNaviPathList->CopyItem(-1, copy);
  EXPECT_EQ(copy[0], 0);
}

TEST_F(NaviTest, StartWithCardRunsTheRememberedProgramWithoutATouch) {
  // (The fixture wrote no GPS_MAPPATH: this test writes its own before the window starts.)
  g_pConfig->SetString(u"GPS_MAPPATH", u"\\StorageCard\\Navi\\Go.exe");
  g_pConfig->Save();
  createMain();
  EXPECT_TRUE(wnd_->CardPresent());
  EXPECT_TRUE(consoleHas("[Vexa APP]StartGPS(\\StorageCard\\Navi\\Go.exe)")) << consoleText();
  EXPECT_EQ(page(), CNaviPathListWnd::kPageStarting);
  auto messages = sent();
  EXPECT_EQ(count(messages, kNaviPresent), 1);
  EXPECT_EQ(count(messages, {0x51}) - count(messages, kNaviPresent), 2) << "the version text, at creation and on start";

  // The program ends a second later, but within 1.5 s on the frozen clock: the companion is not
  // told that navigation stopped.
  ASSERT_TRUE(waitReal([&] { return consoleHas("MGSID_NAVIEXITMSG"); }));
  EXPECT_EQ(page(), CNaviPathListWnd::kPageList);
  EXPECT_EQ(count(sent(), kNaviAbsent), 0);
  EXPECT_EQ(wnd_->ProcessId(), 0u);
  EXPECT_EQ(remembered(), u"\\StorageCard\\Navi\\Go.exe");
}

TEST_F(NaviTest, CompanionRequestStartsNavigationAndAnEndAfterOneAndAHalfSecondsIsReported) {
  createMain();  // no remembered program: the fallback is absent, so nothing starts
  EXPECT_FALSE(consoleHas("StartGPS("));
  EXPECT_EQ(page(), CNaviPathListWnd::kPageList);
  ASSERT_TRUE(scanned());
  // The user chose a program earlier.
  g_pConfig->SetString(u"GPS_MAPPATH", u"\\StorageCard\\Maps\\Long.EXE");
  g_pConfig->Save();
  PostMessageW(wnd_->GetHwnd(), RegisterWindowMessageW(u"APPLICATION_MESSAGEID_NAVI_AUTORUNMSG"), 0, 0);
  pumpUntilIdle();
  ASSERT_TRUE(consoleHas("StartGPS(\\StorageCard\\Maps\\Long.EXE)"));
  sent();
  // A second request while it runs starts nothing more.
  PostMessageW(wnd_->GetHwnd(), RegisterWindowMessageW(u"APPLICATION_MESSAGEID_PROTOCALMCUMSG"), 0, 0);
  pumpUntilIdle();
  // The watcher may already have reported the process from its own thread while the window
  // still shows the starting page: what matters is that only the one start was made.
  EXPECT_GE(wnd_->Starting() + (wnd_->ProcessId() != 0), 1);
  {
    const std::string text = consoleText();
    size_t starts = 0;
    for (size_t at = text.find("StartGPS("); at != std::string::npos; at = text.find("StartGPS(", at + 1)) ++starts;
    EXPECT_EQ(starts, 1u) << text;
  }
  EXPECT_EQ(count(sent(), {0x51, 0x13, 0x12}), 1) << "the version text answers the request";
  ASSERT_TRUE(waitReal([&] { return wnd_->ProcessId() != 0; }));

  plat::clock::advance(2000);
  // Touching the launcher while the program runs ends the program.
  SendMessageW(wnd_->GetHwnd(), WM_ACTIVATE, WA_CLICKACTIVE, 0);
  ASSERT_TRUE(waitReal([&] { return consoleHas("MGSID_NAVIEXITMSG"); }));
  EXPECT_EQ(page(), CNaviPathListWnd::kPageList);
  EXPECT_EQ(count(sent(), kNaviAbsent), 1);
}

TEST_F(NaviTest, TapSelectsARowAndTheStartButtonStartsAndRemembersIt) {
  createMain();
  ASSERT_TRUE(scanned());
  pumpFor(1100);  // painting starts a second after activation
  const int go = indexOf(u"\\StorageCard\\Navi\\Go.exe");
  ASSERT_GE(go, 0);
  POINT p = rowPoint(go);
  tap(p.x, p.y);
  EXPECT_EQ(wnd_->Selected(), go);
  EXPECT_EQ(std::u16string(wnd_->CurrentPath()), u"\\StorageCard\\Navi\\Go.exe");
  EXPECT_EQ(std::u16string(wnd_->View().SL_txtGetStruct(2)->Text), u"\\StorageCard\\Navi\\Go.exe");
  EXPECT_FALSE(consoleHas("StartGPS(")) << "a touch only selects";
  EXPECT_EQ(remembered(), u"");
  // A touch below the last program selects nothing.
  POINT empty = rowPoint(5);
  tap(empty.x, empty.y);
  EXPECT_EQ(wnd_->Selected(), go);

  tap(700, 40 + 348);  // the start button
  EXPECT_TRUE(consoleHas("StartGPS(\\StorageCard\\Navi\\Go.exe)")) << consoleText();
  ASSERT_TRUE(waitReal([&] { return consoleHas("MGSID_NAVIEXITMSG"); }));
  EXPECT_EQ(remembered(), u"\\StorageCard\\Navi\\Go.exe");
}

TEST_F(NaviTest, AReloadedScriptShowsTheChosenPathAndTheListAgain) {
  createMain();
  ASSERT_TRUE(scanned());
  pumpFor(1100);
  const int go = indexOf(u"\\StorageCard\\Navi\\Go.exe");
  POINT p = rowPoint(go);
  tap(p.x, p.y);
  ASSERT_TRUE(wnd_->ReloadScript(nullptr, nullptr));
  EXPECT_EQ(wnd_->View().SL_menuGetCurrentItem(), CNaviPathListWnd::kPageList);
  EXPECT_EQ(std::u16string(wnd_->View().SL_txtGetStruct(2)->Text), u"\\StorageCard\\Navi\\Go.exe");
  pumpUntilIdle();  // the rows are filled as the page is painted
  EXPECT_EQ(std::u16string(wnd_->View().SL_tblGetTexture(go)), u"\\StorageCard\\Navi\\Go.exe");
}

TEST_F(NaviTest, AProgramThatCannotStartReturnsToTheListAndIsNotRemembered) {
  g_pConfig->SetString(u"GPS_MAPPATH", u"\\StorageCard\\Navi\\Go.exe");
  g_pConfig->Save();
  createMain();
  ASSERT_TRUE(waitReal([&] { return consoleHas("MGSID_NAVIEXITMSG"); }));
  ASSERT_TRUE(scanned());
  pumpFor(1100);
  const int bad = indexOf(u"\\StorageCard\\Bad.exe");
  ASSERT_GE(bad, 0);
  POINT p = rowPoint(bad);
  tap(p.x, p.y);
  PostMessageW(wnd_->GetHwnd(), WM_COMMAND, CNaviPathListWnd::kCmdStart, 0);
  pumpUntilIdle();
  EXPECT_TRUE(consoleHas("StartGPS(\\StorageCard\\Bad.exe)"));
  ASSERT_TRUE(waitReal([&] { return consoleHas("MGSID_NAVIERRORMSG"); })) << consoleText();
  EXPECT_EQ(page(), CNaviPathListWnd::kPageList);
  EXPECT_EQ(wnd_->Starting(), 0);
  EXPECT_EQ(remembered(), u"\\StorageCard\\Navi\\Go.exe");
}

TEST_F(NaviTest, CardRemovedAndInsertedEmptiesAndRefillsTheList) {
  createMain();
  ASSERT_TRUE(scanned());
  const int before = g_pNaviPathList->GetCount();
  ASSERT_GT(before, 0);
  sent();
  // Moved out of the unit, as a card that is pulled.
  const std::string away = unitRoot() + "-card";
  fs::rename(hostPath("StorageCard"), away);
  ASSERT_TRUE(waitReal([&] { return !g_pStorageMonitor->IsStorageCardPresent(); }));
  pumpFor(600);  // the removal settles for half a second
  EXPECT_EQ(wnd_->CardPresent(), 0);
  ASSERT_TRUE(scanned(2));
  EXPECT_EQ(g_pNaviPathList->GetCount(), 0);
  EXPECT_EQ(count(sent(), kNaviAbsent), 1);

  fs::rename(away, hostPath("StorageCard"));
  ASSERT_TRUE(waitReal([&] { return wnd_->CardPresent() == 1; }));
  ASSERT_TRUE(scanned(3));
  EXPECT_EQ(g_pNaviPathList->GetCount(), before);
  EXPECT_EQ(count(sent(), kNaviPresent), 1);
}

TEST_F(NaviTest, GpsTimeGoesToTheCompanionEveryFiveSecondsOnceSatellitesAreUsed) {
  createMain();
  sent();
  std::string fix = nmea("GPRMC,123456.00,A,3150.00,N,11712.00,E,0.0,0.0,010114,,") +
                    nmea("GPGSV,1,1,02,05,40,100,35,07,30,200,30");
  wnd_->Gps().Feed(reinterpret_cast<const BYTE*>(fix.data()), static_cast<int>(fix.size()));
  pumpFor(5000);
  EXPECT_EQ(count(sent(), {0x51, 0x07, 0x10}), 0) << "satellites in view but none used";

  std::string used = nmea("GPGSA,A,3,07,,,,,,,,,,,,2.0,1.0,1.5") + nmea("GPGSV,1,1,02,05,40,100,35,07,30,200,30");
  wnd_->Gps().Feed(reinterpret_cast<const BYTE*>(used.data()), static_cast<int>(used.size()));
  pumpFor(5000);
  auto messages = sent();
  ASSERT_EQ(count(messages, {0x51, 0x07, 0x10}), 1);
  for (const Bytes& b : messages) {
    if (startsWith(b, {0x51, 0x07, 0x10})) {
      EXPECT_EQ(Bytes(b.begin() + 3, b.begin() + 6), (Bytes{12, 34, 56}));
    }
  }
  pumpFor(10000);
  EXPECT_EQ(count(sent(), {0x51, 0x07, 0x10}), 2);
}

TEST_F(NaviTest, UpdatedListDropsTheSelection) {
  createMain();
  ASSERT_TRUE(scanned());
  pumpFor(1100);
  POINT p = rowPoint(0);
  tap(p.x, p.y);
  ASSERT_EQ(wnd_->Selected(), 0);
  g_pNaviPathList->Rescan();
  ASSERT_TRUE(scanned(2));
  ASSERT_TRUE(waitReal([&] { return wnd_->Selected() == -1; }));
}

}  // namespace

namespace {

TEST_F(NaviTest, RemoteKeysFocusARowAndEnterStartsThatRowsProgram) {
  createMain();
  ASSERT_TRUE(scanned());
  pumpFor(1100);
  key(VK_DOWN);
  key(VK_DOWN);
  const int row = wnd_->View().SL_IrGetTblActionIndex();
  ASSERT_GE(row, 0);
  ASSERT_LT(row, g_pNaviPathList->GetCount());
  const std::u16string focused = entry(row);
  key(VK_RETURN);
  EXPECT_EQ(wnd_->Selected(), row);
  EXPECT_TRUE(consoleHas("m_selectItem: " + std::to_string(row) + " ---"));
  std::string expected = "StartGPS(";
  for (char16_t c : focused) expected += static_cast<char>(c);
  EXPECT_TRUE(consoleHas(expected + ")")) << consoleText();
  waitReal([&] { return consoleHas("MGSID_NAVI"); });
}

// ---- Starting, fronting and the companion's requests -----------------------------------------

TEST_F(NaviTest, AStartWhileTheProgramsWindowLivesFrontsItRemembersThePathAndAnimates) {
  createMain();
  ASSERT_TRUE(scanned());
  pumpFor(1100);
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.lpszClassName = u"NaviProgram";
  RegisterClassW(&wc);
  HWND navi = CreateWindowExW(0, u"NaviProgram", u"navi", WS_POPUP | WS_VISIBLE, 790, 470, 10, 10, nullptr, nullptr,
                              nullptr, nullptr);
  SendMessageW(wnd_->GetHwnd(), WM_COMMAND, RegisterWindowMessageW(u"APPLICATION_MESSAGEID_NAVIFINDWNDMSG"),
               reinterpret_cast<LPARAM>(navi));
  POINT p = rowPoint(indexOf(u"\\StorageCard\\Navi\\Go.exe"));
  tap(p.x, p.y);  // our window in front again
  ASSERT_NE(GetForegroundWindow(), navi);
  PostMessageW(wnd_->GetHwnd(), WM_COMMAND, CNaviPathListWnd::kCmdStart, 0);
  pumpUntilIdle();
  EXPECT_EQ(GetForegroundWindow(), navi);
  EXPECT_EQ(remembered(), u"\\StorageCard\\Navi\\Go.exe");
  EXPECT_EQ(page(), CNaviPathListWnd::kPageStarting);
  const int frame = wnd_->Frame();
  pumpFor(CNaviPathListWnd::kAnimationPeriodMs);
  EXPECT_EQ(wnd_->Frame(), (frame + 1) % CNaviPathListWnd::kAnimationFrames) << "timer 55";
  EXPECT_FALSE(consoleHas("[Vexa APP]StartGPS(")) << "nothing else started";
  // Activated again, not by a touch, while the program's window is known: navigation is no
  // longer what the driver sees.
  sent();
  SendMessageW(wnd_->GetHwnd(), WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_EQ(count(sent(), kNaviAbsent), 1);
  DestroyWindow(navi);
}

TEST_F(NaviTest, AGoneProgramFallsBackToTheDemoProgramAndAStartThatFailedCanBeMadeAgain) {
  program("StorageCard/NaviOnej0p/NaviOne.exe", "exit 0");
  g_pConfig->SetString(u"GPS_MAPPATH", u"\\StorageCard\\Gone\\Navi.exe");
  CUtility* services = g_pUtility;
  g_pUtility = nullptr;  // the program watcher cannot be asked: the start fails at once
  createMain();
  g_pUtility = services;
  EXPECT_TRUE(consoleHas("NaviOne.exe cannot be started")) << consoleText();
  EXPECT_EQ(wnd_->Starting(), 0);
  PostMessageW(wnd_->GetHwnd(), WM_COMMAND, CNaviPathListWnd::kCmdStart, 0);
  EXPECT_TRUE(waitReal([&] { return consoleHas("[Vexa APP]StartGPS(\\StorageCard\\NaviOnej0p\\NaviOne.exe)"); }));
  waitReal([&] { return consoleHas("MGSID_NAVIEXITMSG"); });
}

TEST_F(NaviTest, TheCompanionsCalibrationRequestCalibratesAndThenFlushesTheData) {
  createMain();
  const unsigned calibrations = plat::device::touchCalibrations();
  const unsigned flushes = plat::device::state().calibrationFlushes;
  clearConsole();
  PostMessageW(wnd_->GetHwnd(), RegisterWindowMessageW(u"APPLICATION_MESSAGEID_PROTOCALMCUMSG"), 1, 0);
  pumpUntilIdle();
  EXPECT_EQ(plat::device::touchCalibrations(), calibrations + 1);
  EXPECT_EQ(plat::device::state().calibrationFlushes, flushes + 1);
  const std::string log = consoleText();
  EXPECT_LT(log.find("TouchCalibrate"), log.find("calibration data flushed")) << log;
}

// ---- The card pulled while a program runs --------------------------------------------------

struct Pull {
  const char16_t* program;  // remembered, so started at once; empty: none
  bool endsWithItsFolder;   // its end is reported during the half second the removal settles
  int restarts;
};

class CardPull : public NaviTest, public ::testing::WithParamInterface<Pull> {
 protected:
  void TearDown() override {
    plat::device::setRebootHook({});
    if (DWORD pid = wnd_ ? wnd_->ProcessId() : 0) kill(-static_cast<pid_t>(pid), SIGKILL);
    fs::remove_all(unitRoot() + "-card");
    NaviTest::TearDown();
  }
  int restarts = 0;
};

TEST_P(CardPull, TheUnitRestartsWhenAProgramRanAsTheCardWentAway) {
  const Pull& pull = GetParam();
  plat::device::setRebootHook([this] { ++restarts; });
  // Both say when they run; Gone.exe ends as soon as its folder is gone, Stay.exe stays.
  const std::string running = "d=$(dirname \"$0\"); touch \"$d/../running\"; ";
  program("StorageCard/Navi/Gone.exe", running + "while [ -d \"$d\" ]; do sleep 0.02; done");
  program("StorageCard/Maps/Stay.exe", running + "sleep 30");
  g_pConfig->SetString(u"GPS_MAPPATH", pull.program);
  createMain();
  ASSERT_TRUE(!pull.program[0] || waitReal([&] { return fs::exists(hostPath("StorageCard/running")); }));
  fs::rename(hostPath("StorageCard"), unitRoot() + "-card");
  ASSERT_TRUE(waitReal([&] { return !g_pStorageMonitor->IsStorageCardPresent(); }));
  ASSERT_TRUE(!pull.endsWithItsFolder || waitReal([&] { return consoleHas("MGSID_NAVIEXITMSG"); }));
  pumpFor(CNaviPathListWnd::kRemoveSettleMs + CNaviPathListWnd::kRebootDelayMs + 10);
  EXPECT_EQ(restarts, pull.restarts);
}

INSTANTIATE_TEST_SUITE_P(NaviTest, CardPull,
                         ::testing::Values(Pull{u"", false, 0}, Pull{u"\\StorageCard\\Maps\\Stay.exe", false, 1},
                                           Pull{u"\\StorageCard\\Navi\\Gone.exe", true, 1}));

}  // namespace
