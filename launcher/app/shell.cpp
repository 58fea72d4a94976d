// Start-up and shutdown of the shell, in the order the unit runs them.
#include "app/shell.h"

#include "app/config.h"
#include "app/navi_path_list.h"
#include "app/navi_path_list_wnd.h"
#include "app/screen_list.h"
#include "app/startup.h"
#include "app/status_bar_wnd.h"
#include "app/storage_monitor.h"
#include "img_res.h"
#include "links/can_protocal.h"
#include "links/device_protocol.h"
#include "plat_file.h"
#include "services/utility.h"
#include "txt_res.h"

namespace app {

namespace {

void reportConfiguration(CConfig& config) {
  NKDbgPrintfW(u"[Vexa APP] configuration %s\n", config.ConfigPath());
  static const WCHAR* const kIntegers[] = {u"CURRENT_LANGUAGE", u"VOLUME_LEVEL",      u"GBL_MUTE",
                                           u"KEYTONE_LEVEL",    u"BT_POWEROFF_CHECK", u"CURRENT_SKIN",
                                           u"ANIMATOR_TYPE",    u"TIME_ZONE"};
  for (const WCHAR* key : kIntegers) {
    int value = 0;
    if (config.GetValue(key, &value)) NKDbgPrintfW(u"[Vexa APP]   %s = %d\n", key, value);
    else NKDbgPrintfW(u"[Vexa APP]   %s missing\n", key);
  }
  WCHAR text[MAX_PATH];
  if (config.GetString(u"GPS_MAPPATH", text)) NKDbgPrintfW(u"[Vexa APP]   GPS_MAPPATH = %s\n", text);
}

// Shows or hides the platform's task bar, when the unit has one.
void showTaskBar(int command) {
  if (HWND bar = FindWindowW(u"HHTaskBar", nullptr)) ShowWindow(bar, command);
}

void deleteLinks() {
  delete g_pDeviceProtocol;
  g_pDeviceProtocol = nullptr;
  if (g_pStorageMonitor) g_pStorageMonitor->Stop();
  delete g_pStorageMonitor;
  g_pStorageMonitor = nullptr;
  delete g_pNaviPathList;
  g_pNaviPathList = nullptr;
  delete g_pCanProtocal;
  g_pCanProtocal = nullptr;
}

}  // namespace

CShell::CShell() = default;

CShell::~CShell() { Stop(); }

bool CShell::Start(HINSTANCE instance, const GpsSource& gps) {
  if (m_bStarted || !g_pConfig || !g_pUtility) return false;
  g_pCanProtocal = new CCanProtocal();
  g_pStorageMonitor = new CStorageMonitor();
  g_pStorageMonitor->Start();
  g_pNaviPathList = new CNaviPathList();
  if (!g_pConfig->Open()) {
    // Only when not even the built-in defaults could be set up.
    NKDbgPrintfW(u"[Vexa APP] configuration unusable, ending\n");
    deleteLinks();
    return false;
  }
  m_bStarted = true;
  // The play lists' second home; the data folder and the unit root are tidied by the
  // configuration store and the registry as they load.
  plat::removeStaleTemporaries(plat::hostPath(u"\\NFlash"));
  reportConfiguration(*g_pConfig);
  app::ReportFoldersOthersMayWrite();
  g_pDeviceProtocol = new CNullDeviceProtocol();
  g_pDeviceProtocol->IsReaderRunning(0);
  g_pDeviceProtocol->IsWriterRunning(0);
  showTaskBar(SW_HIDE);

  m_images = std::make_shared<CImgRes>();
  WCHAR skin[MAX_PATH];
  if (g_pConfig->GetSkinPath(skin)) {
    m_images->LoadImgResource(u"image.xml", skin);
    NKDbgPrintfW(u"[Vexa APP] skin %s: %d images\n", skin, static_cast<int>(m_images->Entries().size()));
  } else {
    NKDbgPrintfW(u"[Vexa APP] no skin configured: screens draw without images\n");
  }
  m_texts = std::make_shared<CTxtRes>();  // reads "language.xml" as it is made
  NKDbgPrintfW(u"[Vexa APP] %d languages listed\n", static_cast<int>(m_texts->Languages().size()));

  ApplyStartupSettings(*g_pConfig, *g_pUtility);
  NKDbgPrintfW(u"[Vexa APP] volume %d, language %d\n", g_pUtility->GetVolume(),
               static_cast<int>(GetUserDefaultUILanguage()));

  m_pStatusBar = new CStatusBarWnd();
  m_pStatusBar->SetName(kStatusBarScreen.name, kStatusBarScreen.name);
  m_pStatusBar->SetResources(m_images.get(), m_texts.get());
  m_pStatusBar->SetScript(kStatusBarScreen.script, nullptr);
  m_pStatusBar->Create(nullptr, instance, SW_SHOW, kStatusBarScreen.exStyle);

  m_pMainWnd = new CNaviPathListWnd(gps);
  m_pMainWnd->SetName(kMainMenuScreen.name, kMainMenuScreen.name);
  m_pMainWnd->SetResources(m_images.get(), m_texts.get());
  m_pMainWnd->SetScript(kMainMenuScreen.script, nullptr);
  if (m_pMainWnd->Create(nullptr, instance, SW_SHOW, kMainMenuScreen.exStyle))
    SetTimer(m_pMainWnd->GetHwnd(), CNaviPathListWnd::kGpsTimeTimer, 5000, nullptr);

  if (ApplyTimeZone(*g_pConfig)) {
    TIME_ZONE_INFORMATION zone = {};
    GetTimeZoneInformation(&zone);
    NKDbgPrintfW(u"[Vexa APP] time zone %s (bias %d)\n", zone.StandardName, static_cast<int>(zone.Bias));
  }

  WCHAR marker[MAX_PATH];
  _snwprintf(marker, MAX_PATH - 1, u"%s\\Calibration.vexa", g_pUtility->GetSDFolder());
  marker[MAX_PATH - 1] = 0;
  if (GetFileAttributesW(marker) != INVALID_FILE_ATTRIBUTES) g_pUtility->TouchPadCalibration();
  return true;
}

void CShell::Stop() {
  if (!m_bStarted) return;
  m_bStarted = false;
  showTaskBar(SW_SHOW);
  delete m_pStatusBar;
  m_pStatusBar = nullptr;
  delete m_pMainWnd;
  m_pMainWnd = nullptr;
  deleteLinks();
  // The screens are gone: the tables they drew from can go too (unless a watch took them).
  if (m_images) m_images->UnLoadImgResource();
  m_images.reset();
  m_texts.reset();
  if (HANDLE soundEnd = OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Serial Tx sound end")) {
    SetEvent(soundEnd);
    CloseHandle(soundEnd);
  }
}

}  // namespace app
