// CStatusBarWnd: the screen "StatusBar" across the top: date, time and weekday, refreshed every
// second, and three state indicators set by command.
#pragma once

#include "app/skin_wnd.h"

class CStatusBarWnd : public CSkinWnd {
 public:
  static constexpr UINT kClockTimer = 100;
  static constexpr UINT kClockPeriodMs = 1000;
  // Commands the screen obeys (wParam), the value in lParam.
  static constexpr WPARAM kCmdMode = 3;
  static constexpr WPARAM kCmdStateB = 4;
  static constexpr WPARAM kCmdStateBAlt = 1531;
  static constexpr WPARAM kCmdStateA = 5;
  static constexpr WPARAM kCmdFrame = 6;
  // Device-protocol code that carries the local time.
  static constexpr int kLocalTimeCommand = 71;

  CStatusBarWnd() = default;
  ~CStatusBarWnd() override;

  void OnCreate() override;
  void OnReceivedMsg() override;
  void OnActivate(WPARAM state, LPARAM lParam) override;
  void OnCommand(WPARAM id, LPARAM value) override;
  void OnTimer(WPARAM id, LPARAM lParam) override;
  void OnSkinReloaded() override;

  // Seconds from 1970-01-01 00:00 to the given local time, with no time-zone correction.
  static DWORD SecondsSince1970(const SYSTEMTIME& time);

  int Mode() const { return m_nMode; }
  int StateA() const { return m_nStateA; }
  int StateB() const { return m_nStateB; }
  int Frame() const { return m_nFrame; }

 private:
  void ShowClock();
  void ShowTime(const SYSTEMTIME& now);

  int m_nMode = 0;
  int m_nStateA = 0;
  int m_nStateB = 0;
  int m_nFrame = 0;
};
