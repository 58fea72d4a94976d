// The main window: program list, program start and watch, storage events, GPS receiver and
// the microcontroller's navigation state, version text and GPS time.
#include "app/navi_path_list_wnd.h"

#include <algorithm>
#include <atomic>

#include "app/config.h"
#include "app/navi_path_list.h"
#include "app/storage_monitor.h"
#include "links/can_protocal.h"
#include "services/program_allow_list.h"
#include "services/utility.h"

namespace {

UINT registered(LPCWSTR name) { return RegisterWindowMessageW(name); }

PROCESS_INFORMATION& processRecord() {
  static PROCESS_INFORMATION records[16];
  static std::atomic<unsigned> next{0};
  PROCESS_INFORMATION& record = records[next++ % 16];
  std::atomic_ref<DWORD>(record.dwProcessId).store(0);
  return record;
}

bool cardPresentNow() { return g_pStorageMonitor && g_pStorageMonitor->IsStorageCardPresent(); }

// The card's folder is gone, whether or not the storage monitor has seen it go yet.
bool cardGoneNow() {
  DWORD attributes = GetFileAttributesW(u"\\StorageCard");
  return !cardPresentNow() || attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

CNaviPathListWnd::CNaviPathListWnd(const GpsSource& gps) : m_ProcessInfo(processRecord()) {
  ClearProcessInfo();
  if (g_pConfig) g_pConfig->GetString(u"GPS_MAPPATH", m_szCurrentPath);
  if (gps.gpsd) {
    // The receiver belongs to gpsd; its reader connects, and keeps connecting, by itself.
    m_Gpsd.m_pOwner = this;
    m_Gpsd.Start(gps.host, gps.port, OnGpsData);
    return;
  }
  m_GpsPort.m_pOwner = this;
  if (m_GpsPort.Start(9, 9600, OnGpsData, nullptr)) {
    m_nGpsPort = 9;
  } else if (m_GpsPort.Start(3, 9600, OnGpsData, nullptr)) {
    m_nGpsPort = 3;
  } else {
    NKDbgPrintfW(u"[Vexa APP] no GPS receiver on COM9: or COM3:, running without GPS\r\n");
  }
}

CNaviPathListWnd::~CNaviPathListWnd() {
  // The port's and gpsd's readers stop before the parser and the window go.
  m_Gpsd.Stop();
  m_GpsPort.Close();
}

int CNaviPathListWnd::OnGpsData(void* owner, BYTE* bytes, int count) {
  auto* self = static_cast<CNaviPathListWnd*>(owner);
  if (self && bytes && count > 0) self->m_Gps.Feed(bytes, count);
  return count;
}

DWORD CNaviPathListWnd::ProcessId() const {
  // The program watcher writes the record from its own thread.
  return std::atomic_ref<DWORD>(const_cast<DWORD&>(m_ProcessInfo.dwProcessId)).load();
}

void CNaviPathListWnd::ClearProcessInfo() {
  std::atomic_ref<DWORD>(m_ProcessInfo.dwProcessId).store(0);
  std::atomic_ref<DWORD>(m_ProcessInfo.dwThreadId).store(0);
  std::atomic_ref<HANDLE>(m_ProcessInfo.hProcess).store(nullptr);
  std::atomic_ref<HANDLE>(m_ProcessInfo.hThread).store(nullptr);
}

int CNaviPathListWnd::ListCount() const { return g_pNaviPathList ? g_pNaviPathList->GetCount() : 0; }

bool CNaviPathListWnd::IsFile(LPCWSTR path) const {
  DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void CNaviPathListWnd::FormatVersionText(LPWSTR buffer, int size) {
  WCHAR build[33] = {};
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Drivers\\BuiltIn\\Private", 0, 0, &key) == ERROR_SUCCESS) {
    DWORD type = 0;
    DWORD bytes = 64;
    if (RegQueryValueExW(key, u"BuildTime", nullptr, &type, reinterpret_cast<LPBYTE>(build), &bytes) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
      build[0] = 0;
    build[32] = 0;
    RegCloseKey(key);
  }
  _snwprintf(buffer, size - 1, u"%s %s", build, kVersion);
  buffer[size - 1] = 0;
}

void CNaviPathListWnd::SendVersionText() {
  if (!g_pCanProtocal) return;
  WCHAR text[128];
  FormatVersionText(text, 128);
  g_pCanProtocal->SendText(text);
}

void CNaviPathListWnd::RememberPath() {
  if (!g_pConfig) return;
  g_pConfig->Load();
  g_pConfig->SetString(u"GPS_MAPPATH", m_szCurrentPath);
  g_pConfig->Save();
}

void CNaviPathListWnd::OnCreate() {
  m_View.SL_IrSetActionId(0);
  m_nRowsPerPage = m_View.SL_tblGetListSize();
  if (cardPresentNow()) {
    m_bCardPresent = 1;
    if (g_pNaviPathList) g_pNaviPathList->Rescan();
    if (g_pCanProtocal) g_pCanProtocal->SendNaviState(TRUE);
    SendVersionText();
    PostMessageW(m_hWnd, registered(u"APPLICATION_MESSAGEID_NAVI_AUTORUNMSG"), 0, 0);
  } else {
    m_bCardPresent = 0;
    if (g_pNaviPathList) g_pNaviPathList->Rescan();
    if (g_pCanProtocal) g_pCanProtocal->SendNaviState(FALSE);
    SendVersionText();
    SetIdle(1);
  }
}

void CNaviPathListWnd::SetIdle(int idle) {
  if (idle) {
    m_View.SL_menuSetCurrentItem(kPageList);
    m_View.SL_txtSetItem(kTextPath, m_szCurrentPath, 0);
    m_View.SL_txtRefreshItem(kTextPath);
  } else {
    m_View.SL_menuSetCurrentItem(kPageStarting);
    SetTimer(m_hWnd, kAnimationTimer, kAnimationPeriodMs, nullptr);
  }
}

void CNaviPathListWnd::StartGPS() {
  if (!m_bCardPresent && g_pCanProtocal) {
    SetIdle(1);
    return;
  }
  if (m_hNaviWnd && IsWindow(m_hNaviWnd)) {
    if (IsFile(m_szCurrentPath) && lstrlenW(m_szCurrentPath) > 5) RememberPath();
    ShowWindow(m_hNaviWnd, SW_SHOW);
    SetForegroundWindow(m_hNaviWnd);
    m_View.SL_menuSetCurrentItem(kPageStarting);
    SetTimer(m_hWnd, kAnimationTimer, kAnimationPeriodMs, nullptr);
    return;
  }
  if (!IsFile(m_szCurrentPath) || lstrlenW(m_szCurrentPath) < 5) {
    if (IsFile(kFallbackPath)) {
      lstrcpynW(m_szCurrentPath, kFallbackPath, MAX_PATH);
    } else {
      if (m_szCurrentPath[0])
        NKDbgPrintfW(u"[Vexa APP] StartGPS: %s is not a program file\r\n", m_szCurrentPath);
      SetIdle(1);
      return;
    }
  }
  if (ProcessId() != 0 || m_bStarting) {
    if (m_hNaviWnd && IsWindow(m_hNaviWnd)) {
      ShowWindow(m_hNaviWnd, SW_SHOW);
      SetIdle(1);
    }
    return;
  }
  m_bStarting = 1;
  NKDbgPrintfW(u"[Vexa APP]StartGPS(%s)\r\n", m_szCurrentPath);
  m_dwStartTick = GetTickCount();
  if (!g_pUtility || !g_pUtility->ExcuteProgram(m_hWnd, m_szCurrentPath, &m_ProcessInfo)) {
    // Nothing was started, so no watcher will report: the window must not stay "starting".
    m_bStarting = 0;
    NKDbgPrintfW(u"[Vexa APP] StartGPS: %s cannot be started\r\n", m_szCurrentPath);
    SetIdle(1);
    return;
  }
  // Remembered once the watcher reports that the process exists: the watcher creates it on
  // its own thread, and a path that cannot be started must not become the remembered one.
  lstrcpynW(m_szStartedPath, m_szCurrentPath, MAX_PATH);
  m_bRememberPending = 1;
  m_View.SL_menuSetCurrentItem(kPageStarting);
  SetTimer(m_hWnd, kAnimationTimer, kAnimationPeriodMs, nullptr);
}

void CNaviPathListWnd::RememberStartedPath() {
  if (!m_bRememberPending) return;
  m_bRememberPending = 0;
  if (ProcessId() == 0 || !g_pConfig) return;
  g_pConfig->Load();
  g_pConfig->SetString(u"GPS_MAPPATH", m_szStartedPath);
  g_pConfig->Save();
}

void CNaviPathListWnd::OnCommand(WPARAM id, LPARAM lParam) {
  if (id == registered(u"APPLICATION_MESSAGEID_EXTNAVIEXITMSG")) {
    NKDbgPrintfW(u"[Vexa APP]CMainMenu::OnCommand MGSID_NAVIEXITMSG \r\n");
    RememberStartedPath();  // a program that ran and ended before its window was found
    // A program whose files went with the card ends at once, often before the removal is
    // handled: it still ran when the card went away.
    if (m_bCardPresent && cardGoneNow()) m_bRanAtRemoval = 1;
    m_bStarting = 0;
    ClearProcessInfo();
    m_hNaviWnd = nullptr;
    if (g_pCanProtocal) {
      if (GetTickCount() - m_dwStartTick > kExitQuietMs) g_pCanProtocal->SendNaviState(FALSE);
    }
    SetIdle(1);
  } else if (id == registered(u"APPLICATION_MESSAGEID_NAVIFINDWNDMSG")) {
    NKDbgPrintfW(u"[Vexa APP]CMainMenu::OnCommand MGSID_NAVIFINDWNDMSG \r\n");
    RememberStartedPath();
    m_bStarting = 0;
    m_hNaviWnd = reinterpret_cast<HWND>(lParam);
    SetIdle(1);
  } else if (id == registered(u"APPLICATION_MESSAGEID_NAVIERRORMSG")) {
    NKDbgPrintfW(u"[Vexa APP]CMainMenu::OnCommand MGSID_NAVIERRORMSG \r\n");
    m_bRememberPending = 0;
    m_bStarting = 0;
    ClearProcessInfo();
    m_hNaviWnd = nullptr;
    SetIdle(1);
  } else if (id == kCmdStart) {
    SendVersionText();
    int row = m_View.SL_IrGetTblActionIndex();
    if (row >= 0 && ListCount() > row + m_nPage * m_nRowsPerPage) {
      m_nSelected = row + m_nPage * m_nRowsPerPage;
      NKDbgPrintfW(u"m_selectItem: %d ---\r\n", m_nSelected);
      // The focused row is the program to start, as a touch on it would have chosen.
      if (g_pNaviPathList) g_pNaviPathList->CopyItem(m_nSelected, m_szCurrentPath);
    }
    InvalidateRect(m_hWnd, nullptr, FALSE);
    StartGPS();
  }
}

void CNaviPathListWnd::OnMessage(UINT message, WPARAM wParam, LPARAM) {
  if (message == registered(u"WM_MSG_UPDATENAVIPATHLIST")) {
    m_nSelected = -1;
    InvalidateRect(m_hWnd, nullptr, FALSE);
  } else if (message == registered(u"APPLICATION_MESSAGEID_PROTOCALMCUMSG")) {
    if (wParam == 1) {
      if (g_pUtility) {
        g_pUtility->TouchPadCalibration();
        g_pUtility->FlushCalibrationData();
      }
    } else if (wParam == 0) {
      PostMessageW(m_hWnd, WM_COMMAND, kCmdStart, 0);
    }
  } else if (message == registered(u"APPLICATION_MESSAGEID_NAVI_AUTORUNMSG")) {
    WCHAR remembered[MAX_PATH] = {};
    if (g_pConfig && g_pConfig->GetString(u"GPS_MAPPATH", remembered) && IsFile(remembered))
      lstrcpynW(m_szCurrentPath, remembered, MAX_PATH);
    PostMessageW(m_hWnd, WM_COMMAND, kCmdStart, 0);
  }
}

void CNaviPathListWnd::OnActivate(WPARAM state, LPARAM) {
  NKDbgPrintfW(u"[Vexa APP]CNaviPathListWnd::OnActivate(%d) \r\n", static_cast<int>(state));
  if (state == WA_INACTIVE) {
    m_bActive = 0;
    m_bPaintEnabled = 0;
    SetIdle(1);
    return;
  }
  if (state == WA_CLICKACTIVE) {
    if (DWORD pid = ProcessId()) {
      if (HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, pid)) {
        TerminateProcess(process, 0);
        CloseHandle(process);
      }
    }
    m_bActive = 1;
    SetIdle(1);
  } else {
    m_bActive = 1;
    if (m_hNaviWnd && g_pCanProtocal) g_pCanProtocal->SendNaviState(FALSE);
  }
  SetTimer(m_hWnd, kPaintTimer, 1000, nullptr);
}

void CNaviPathListWnd::OnTimer(WPARAM id, LPARAM) {
  switch (id) {
    case kPaintTimer:
      KillTimer(m_hWnd, kPaintTimer);
      m_bPaintEnabled = m_bActive;
      InvalidateRect(m_hWnd, nullptr, FALSE);
      break;
    case kAnimationTimer:
      if (m_View.SL_menuGetCurrentItem() == kPageStarting) {
        m_nFrame = (m_nFrame + 1) % kAnimationFrames;
        m_View.SL_picDisplayItem(kPictureAnimation, m_nFrame);
        m_View.SL_picRefreshItem(kPictureAnimation);
      } else {
        KillTimer(m_hWnd, kAnimationTimer);
        InvalidateRect(m_hWnd, nullptr, FALSE);
      }
      break;
    case kGpsTimeTimer: {
      const NmeaGpsRecord& record = m_Gps.Record();
      BYTE time[3] = {};
      bool used = false;
      m_Gps.Lock();
      int inView = std::min<int>(record.gsv.inView, 12);
      for (int i = 0; i < inView && !used; ++i) used = record.gsv.satellites[i].used != 0;
      time[0] = record.rmc.hour;
      time[1] = record.rmc.minute;
      time[2] = record.rmc.second;
      m_Gps.Unlock();
      if (used && g_pCanProtocal) g_pCanProtocal->SendGpsTime(time);
      break;
    }
    case kRemoveTimer: {
      KillTimer(m_hWnd, kRemoveTimer);
      NKDbgPrintfW(u"[Vexa APP]OnDevRemoveEx %d\r\n", m_bCardPresent);
      // What ran when the card went away decides, not what still runs after the wait: the
      // program's exit report may have come in meanwhile and cleared the record.
      const bool ran = m_bRanAtRemoval || ProcessId() != 0;
      m_bRanAtRemoval = 0;
      if (!cardPresentNow() && m_bCardPresent == 1) {
        m_bCardPresent = 0;
        if (g_pNaviPathList) g_pNaviPathList->Rescan();
        if (g_pCanProtocal) g_pCanProtocal->SendNaviState(FALSE);
        if (ran) SetTimer(m_hWnd, kRebootTimer, kRebootDelayMs, nullptr);
      }
      break;
    }
    case kRebootTimer:
      KillTimer(m_hWnd, kRebootTimer);
      NKDbgPrintfW(u"[Vexa APP] storage card pulled while navigation ran: restarting the unit\r\n");
      KernelIoControl(IOCTL_HAL_REBOOT, nullptr, 0, nullptr, 0, nullptr);
      break;
    default:
      break;
  }
}

void CNaviPathListWnd::OnPaint() {
  if (!m_bPaintEnabled) {
    // Nothing is drawn until the window has been active for a second; the update region is
    // taken all the same, or the window would be asked to paint again at once.
    ValidateRect(m_hWnd, nullptr);
    return;
  }
  CSkinWnd::OnPaint();
}

void CNaviPathListWnd::OnPrePaint() {
  m_View.SL_tblHideAll();
  m_nRowsPerPage = m_View.SL_tblGetListSize();
  const int count = ListCount();
  for (int r = 0; r < m_nRowsPerPage; ++r) {
    const int i = m_nPage * m_nRowsPerPage + r;
    if (i >= count) break;
    std::u16string path = g_pNaviPathList->GetItem(i);
    // A program the unit's allow-list refuses is listed, marked as one that will not start.
    if (g_pProgramAllowList && !g_pProgramAllowList->AllowsCached(path.c_str())) path += u"  (not allowed to start)";
    m_View.SL_tblSetItemType(r, static_cast<ENPICTYPE>(16));
    m_View.SL_tblSetTexture(r, path.c_str());
    m_View.SL_tblSetUnSelectedItem(r, 1);
    if (i == m_nSelected) m_View.SL_tblSetSelectedItem(r, 1);
  }
}

void CNaviPathListWnd::OnSkinReloaded() {
  // The list rows are filled at every paint; the path text and the animation frame are not.
  m_nRowsPerPage = m_View.SL_tblGetListSize();
  m_View.SL_txtSetItem(kTextPath, m_szCurrentPath, 0);
  m_View.SL_picDisplayItem(kPictureAnimation, m_nFrame);
}

void CNaviPathListWnd::OnKeyDown(WPARAM, LPARAM) {
  m_View.SL_btnIrOnItem(0);
  m_View.SL_prgIrOnItem(0);
  m_View.SL_tblIrOnItem(1);
}

void CNaviPathListWnd::OnLButtonDown(WPARAM, LPARAM lParam) { m_downPoint = lParam; }

void CNaviPathListWnd::OnLButtonUp(WPARAM, LPARAM lParam) {
  int row = m_View.SL_tblClickOnItemUp(static_cast<DWORD>(m_downPoint), static_cast<DWORD>(lParam));
  if (row < 0 || row >= ListCount() - m_nPage * m_nRowsPerPage) return;
  m_View.SL_tblStopLoadPictureList(1);
  if (m_nSelectedRow >= 0) m_View.SL_tblRefreshItem(m_nSelectedRow);
  m_View.SL_tblRefreshItem(row);
  m_nSelectedRow = row;
  m_nSelected = row + m_nPage * m_nRowsPerPage;
  if (g_pNaviPathList) g_pNaviPathList->CopyItem(m_nSelected, m_szCurrentPath);
  m_View.SL_txtSetItem(kTextPath, m_szCurrentPath, 0);
  m_View.SL_txtRefreshItem(kTextPath);
}

void CNaviPathListWnd::OnDevOnsiteEx(WPARAM, LPARAM) {
  NKDbgPrintfW(u"[Vexa APP]OnDevOnsiteEx %d\r\n", m_bCardPresent);
  if (cardPresentNow() && m_bCardPresent == 0) {
    m_bCardPresent = 1;
    if (g_pCanProtocal) g_pCanProtocal->SendNaviState(TRUE);
    if (g_pNaviPathList) g_pNaviPathList->Rescan();
    PostMessageW(m_hWnd, registered(u"APPLICATION_MESSAGEID_NAVI_AUTORUNMSG"), 0, 0);
  }
}

void CNaviPathListWnd::OnDevRemoveEx(WPARAM, LPARAM) {
  if (ProcessId() != 0) m_bRanAtRemoval = 1;
  // The device waits half a second on the window thread here; a timer waits as long without
  // freezing the screens.
  SetTimer(m_hWnd, kRemoveTimer, kRemoveSettleMs, nullptr);
}
