// CNaviPathListWnd: the main window "MainMenu". It lists the navigation programs on the card,
// starts the chosen or remembered one through the program watcher, fronts it when it runs,
// takes the screen back when it ends, owns the GPS receiver and keeps the microcontroller told
// about navigation and the GPS time.
#pragma once

#include "app/skin_wnd.h"
#include "links/gpsd_com.h"
#include "links/nmea_parser.h"
#include "links/serial_com.h"

class CNaviPathListWnd : public CSkinWnd {
 public:
  static constexpr UINT kPaintTimer = 54;       // paint allowed one second after activation
  static constexpr UINT kAnimationTimer = 55;   // start animation frames
  static constexpr UINT kRemoveTimer = 56;      // the settle time after a storage removal
  static constexpr UINT kRebootTimer = 57;      // the pause before the restart after a removal
  static constexpr UINT kGpsTimeTimer = 101;    // started by start-up, every 5000 ms
  static constexpr DWORD kAnimationPeriodMs = 100;
  static constexpr DWORD kRemoveSettleMs = 500;
  static constexpr DWORD kRebootDelayMs = 200;
  static constexpr DWORD kExitQuietMs = 1500;
  static constexpr WPARAM kCmdStart = 2;
  static constexpr int kPageStarting = 0;
  static constexpr int kPageList = 1;
  static constexpr int kTextPath = 2;
  static constexpr int kPictureAnimation = 3;
  static constexpr int kAnimationFrames = 4;
  static constexpr const char16_t* kVersion = u"KT55R-V9090418";
  static constexpr const char16_t* kFallbackPath = u"\\StorageCard\\NaviOnej0p\\NaviOne.exe";

  // The GPS record comes from the serial port (COM9, else COM3) or from gpsd.
  explicit CNaviPathListWnd(const GpsSource& gps = GpsSource());
  ~CNaviPathListWnd() override;

  void OnCreate() override;
  void OnActivate(WPARAM state, LPARAM lParam) override;
  void OnPrePaint() override;
  void OnPaint() override;
  void OnCommand(WPARAM id, LPARAM lParam) override;
  void OnTimer(WPARAM id, LPARAM lParam) override;
  void OnKeyDown(WPARAM key, LPARAM lParam) override;
  void OnLButtonDown(WPARAM wParam, LPARAM lParam) override;
  void OnLButtonUp(WPARAM wParam, LPARAM lParam) override;
  void OnDevOnsiteEx(WPARAM wParam, LPARAM lParam) override;
  void OnDevRemoveEx(WPARAM wParam, LPARAM lParam) override;
  int OnClose(WPARAM, LPARAM) override { return 1; }
  void OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void OnSkinReloaded() override;

  void StartGPS();
  void SetIdle(int idle);
  // "BuildTime" of the unit and the program version, as the microcontroller gets it.
  static void FormatVersionText(LPWSTR buffer, int size);

  // State for the tests and the tools.
  int Selected() const { return m_nSelected; }
  int CardPresent() const { return m_bCardPresent; }
  int Starting() const { return m_bStarting; }
  HWND NaviWindow() const { return m_hNaviWnd; }
  LPCWSTR CurrentPath() const { return m_szCurrentPath; }
  DWORD ProcessId() const;
  int PaintEnabled() const { return m_bPaintEnabled; }
  int Frame() const { return m_nFrame; }
  // The GPS port in use (9 or 3), or 0 without one (or with gpsd).
  int GpsPort() const { return m_nGpsPort; }
  CNmeaParser& Gps() { return m_Gps; }

 private:
  static int OnGpsData(void* owner, BYTE* bytes, int count);
  void SendVersionText();
  void RememberPath();
  void RememberStartedPath();
  void ClearProcessInfo();
  bool IsFile(LPCWSTR path) const;
  int ListCount() const;

  int m_nRowsPerPage = 0;
  int m_nPage = 0;
  int m_nSelected = -1;
  int m_nSelectedRow = -1;
  LPARAM m_downPoint = 0;
  int m_bCardPresent = 0;
  HWND m_hNaviWnd = nullptr;
  int m_bStarting = 0;
  WCHAR m_szCurrentPath[MAX_PATH] = {};
  // The program watcher writes the record from its own thread, which may still run when the
  // launcher ends and deletes this window; so the record lives in static storage (a ring of
  // them, one per window object made), never in the window itself.
  PROCESS_INFORMATION& m_ProcessInfo;
  int m_bActive = 0;
  int m_bPaintEnabled = 0;
  int m_nFrame = 0;
  DWORD m_dwStartTick = 0;
  WCHAR m_szStartedPath[MAX_PATH] = {};
  int m_bRememberPending = 0;
  // A program ran when the storage card went away: the removal ends in the unit's restart even
  // when the program's end is reported during the settle wait.
  int m_bRanAtRemoval = 0;
  int m_nGpsPort = 0;
  // The parser is declared before the port and gpsd's reader: they feed it until they end.
  CNmeaParser m_Gps;
  CSerialCom m_GpsPort;
  CGpsdCom m_Gpsd;
};
