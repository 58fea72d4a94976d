// The status bar: the clock texts from the platform's local time every second, the local time
// handed on to the device protocol, and the indicator buttons and signal picture by command.
#include "app/status_bar_wnd.h"

#include "links/device_protocol.h"
#include "services/utility.h"

CStatusBarWnd::~CStatusBarWnd() {
  if (m_hWnd) KillTimer(m_hWnd, kClockTimer);
}

void CStatusBarWnd::OnCreate() {
  m_nMode = 0;
  m_nStateA = 0;
  m_nStateB = 0;
  OnReceivedMsg();
  // The first tick comes a second after creation: until then the texts would show the
  // script's own (no date, and the weekday of entry 0).
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  ShowTime(now);
  SetTimer(m_hWnd, kClockTimer, kClockPeriodMs, nullptr);
}

void CStatusBarWnd::OnReceivedMsg() {
  if (g_pDeviceProtocol) g_pDeviceProtocol->UpdateScreenData(u"StatusBar", this);
}

void CStatusBarWnd::OnActivate(WPARAM state, LPARAM) {
  if (state == WA_ACTIVE) {
    m_View.SL_btnSetStateIndex(0, m_nMode);
    m_View.SL_btnSetStateIndex(1, m_nStateB);
    m_View.SL_btnSetStateIndex(2, m_nStateA);
    SetTimer(m_hWnd, kClockTimer, kClockPeriodMs, nullptr);
  } else if (state == WA_INACTIVE) {
    KillTimer(m_hWnd, kClockTimer);
  }
}

void CStatusBarWnd::OnCommand(WPARAM id, LPARAM value) {
  const long v = static_cast<long>(value);
  switch (id) {
    case kCmdMode:
      m_nMode = v < 0 ? 0 : (v > 2 ? 2 : static_cast<int>(v));
      m_View.SL_btnSetStateIndex(0, m_nMode);
      break;
    case kCmdStateB:
    case kCmdStateBAlt:
      m_nStateB = v > 0 ? 1 : 0;
      m_View.SL_btnSetStateIndex(1, m_nStateB);
      break;
    case kCmdStateA:
      m_nStateA = v > 0 ? 1 : 0;
      m_View.SL_btnSetStateIndex(2, m_nStateA);
      break;
    case kCmdFrame:
      m_nFrame = v == 255 ? 0 : static_cast<int>(v);
      m_View.SL_picDisplayItem(0, m_nFrame);
      m_View.SL_picRefreshItem(0);
      break;
    default:
      break;
  }
}

void CStatusBarWnd::OnTimer(WPARAM id, LPARAM) {
  if (id == kClockTimer) ShowClock();
}

void CStatusBarWnd::OnSkinReloaded() {
  m_View.SL_btnSetStateIndex(0, m_nMode);
  m_View.SL_btnSetStateIndex(1, m_nStateB);
  m_View.SL_btnSetStateIndex(2, m_nStateA);
  m_View.SL_picDisplayItem(0, m_nFrame);
  // The clock texts come back at once rather than at the next tick; the device protocol has
  // had this second's time already.
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  ShowTime(now);
}

void CStatusBarWnd::ShowClock() {
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  ShowTime(now);
  DWORD seconds = SecondsSince1970(now);
  if (g_pDeviceProtocol) g_pDeviceProtocol->SendCommand(kLocalTimeCommand, 1, &seconds, 0, 0);
}

void CStatusBarWnd::ShowTime(const SYSTEMTIME& now) {
  WCHAR text[32];
  _snwprintf(text, 31, u"%d-%02d-%02d", now.wYear, now.wMonth, now.wDay);
  text[31] = 0;
  m_View.SL_txtSetItem(1, text, 0);
  m_View.SL_txtRefreshItem(1);
  _snwprintf(text, 31, u"%02d:%02d:%02d", now.wHour, now.wMinute, now.wSecond);
  text[31] = 0;
  m_View.SL_txtSetItem(2, text, 0);
  m_View.SL_txtRefreshItem(2);
  // The weekday picks the entry of the text's language ids (0 is Sunday).
  m_View.SL_txtSetItem(3, static_cast<const WCHAR*>(nullptr), now.wDayOfWeek);
  m_View.SL_txtRefreshItem(3);
}

DWORD CStatusBarWnd::SecondsSince1970(const SYSTEMTIME& time) {
  long long m = time.wMonth;
  long long y = time.wYear;
  if (m <= 2) {
    m += 10;
    y -= 1;
  } else {
    m -= 2;
  }
  long long days = y * 365 + y / 4 - y / 100 + y / 400 + 367 * m / 12 + time.wDay - 719499;
  long long seconds = ((days * 24 + time.wHour) * 60 + time.wMinute) * 60 + time.wSecond;
  return static_cast<DWORD>(seconds);
}
