// CSkinWnd: the base of every screen. A screen owns one view of the skin engine bound to one
// screen script and one top-level window named after the screen; every window message goes
// to the engine's dispatcher and to a fixed table of virtual handlers that screens override.
#pragma once

#include "app/screen_view.h"
#include "windows.h"

class CSkinWnd {
 public:
  // Screen message numbers that are not standard window messages.
  static constexpr UINT kMsgDeviceArrival = 0x4C8;
  static constexpr UINT kMsg4C9 = 0x4C9;
  static constexpr UINT kMsg48E = 0x48E;
  static constexpr UINT kMsg7E9 = 0x7E9;
  static constexpr UINT kMsg7EA = 0x7EA;
  static constexpr UINT kMsg2401 = 0x2401;
  static constexpr UINT kMsg2B1B = 0x2B1B;
  static constexpr UINT kMsg2B1E = 0x2B1E;
  static constexpr UINT kMsg2B1F = 0x2B1F;
  static constexpr UINT kMsg2B20 = 0x2B20;
  static constexpr UINT kMsg2B21 = 0x2B21;
  static constexpr UINT kMsg2B22 = 0x2B22;
  static constexpr UINT kMsgApp = 0x8000;
  // Posted to the parent when a screen is closed.
  static constexpr UINT kCmdScreenClosed = 1824;
  static constexpr DWORD kWindowStyle = 0xC0000000;

  CSkinWnd();
  virtual ~CSkinWnd();  // slot 0
  CSkinWnd(const CSkinWnd&) = delete;
  CSkinWnd& operator=(const CSkinWnd&) = delete;

  void SetName(LPCWSTR name, LPCWSTR title);
  void SetResources(CImgRes* images, CTxtRes* texts);
  // Either may be null: only what is given is copied.
  void SetScript(LPCWSTR scriptName, LPCWSTR skinPath);
  // 1 when the window was created or one of this class already existed; 0 when the script
  // cannot be loaded (no window then).
  BOOL Create(HWND parent, HINSTANCE instance, int showCommand, DWORD exStyle);
  void DestroyWnd();

  HWND GetHwnd() const { return m_hWnd; }
  LPCWSTR GetName() const { return m_szName; }
  LPCWSTR GetSkinPath() const { return m_szSkinPath; }
  LPCWSTR GetScriptName() const { return m_szScriptName; }
  CSkinlet& View() { return m_View; }

  // Live reload: loads the screen's script again into a fresh view against the given tables and,
  // only when it loads with at least one page, takes that view's pages (page on show and focus
  // kept), moves the window when the main viewport changed, recuts its region and repaints.
  // FALSE, with everything as it was, when the script does not load or the screen has no window.
  BOOL ReloadScript(CImgRes* images, CTxtRes* texts);
  // Called after a reload took new pages: a screen puts back what it showed in the script's
  // widgets (texts, states, frames), since the new pages start as the script gives them.
  virtual void OnSkinReloaded() {}

  // The one window procedure of every screen.
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  // The key-hook flag shared by all screens: set by "APPLICATION_MESSAGEID_EXTKEYHOOKMSG",
  // it keeps the next key-up from the engine.
  static int KeyHookFlag();
  static void SetKeyHookFlag(int value);

  // Handler slots 1-42, in table order.
  virtual void OnReceivedMsg() {}
  virtual void OnActivate(WPARAM, LPARAM) {}
  virtual void OnCreate() {}
  virtual void OnPrePaint() {}
  virtual void OnPaint();
  virtual void OnDraw(HDC) {}
  virtual void OnPostPaint() {}
  virtual void OnCommand(WPARAM, LPARAM) {}
  virtual void OnEraseBkgnd() {}
  virtual void OnTimer(WPARAM, LPARAM) {}
  virtual void OnKeyDown(WPARAM, LPARAM) {}
  virtual void OnKeyUp(WPARAM, LPARAM) {}
  virtual void OnMcuKeyDown(WPARAM, LPARAM) {}
  virtual void OnMcuKeyUp(WPARAM, LPARAM) {}
  virtual void OnLButtonDown(WPARAM, LPARAM) {}
  virtual void OnLButtonUp(WPARAM, LPARAM) {}
  virtual void OnMouseMove(WPARAM, LPARAM) {}
  virtual void OnLButtonDblClk(WPARAM, LPARAM) {}
  virtual void OnDeviceArrival(WPARAM, LPARAM) {}
  virtual void OnDevOnsiteEx(WPARAM, LPARAM) {}
  virtual void OnDevRemoveEx(WPARAM, LPARAM) {}
  virtual void OnDeviceRemoved(WPARAM, LPARAM) {}
  virtual void OnMsg4C9(WPARAM, LPARAM) {}
  virtual void OnMButtonDown(WPARAM, LPARAM) {}
  virtual void OnMouseWheel(WPARAM, LPARAM) {}
  virtual void OnMButtonUp(WPARAM, LPARAM) {}
  virtual int OnClose(WPARAM, LPARAM) { return 1; }
  virtual void OnDestroy() {}
  virtual void OnNotify(WPARAM, LPARAM) {}
  virtual void OnGraphNotify(WPARAM, LPARAM) {}
  virtual void OnAppMsg(WPARAM, LPARAM) {}
  virtual void OnMsg2B1B(WPARAM, LPARAM) {}
  virtual void OnMsg2B1E(WPARAM, LPARAM) {}
  virtual void OnMsg2B1F(WPARAM, LPARAM) {}
  virtual void OnMsg2B20(WPARAM, LPARAM) {}
  virtual void OnMsg2B21(WPARAM, LPARAM) {}
  virtual void OnTpBtShow(WPARAM, LPARAM) {}
  virtual void OnMsg2401(WPARAM, LPARAM) {}
  virtual void OnMsg2B22(WPARAM, LPARAM) {}
  virtual void OnMsg7E9() {}
  virtual void OnMsg7EA() {}
  virtual void OnMessage(UINT, WPARAM, LPARAM) {}

 protected:
  // The window procedure's work once the screen object is known.
  LRESULT Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  // Reloads the configuration and, when the skin changed, the script and images of the new skin.
  void CheckSkin();

  HWND m_hWnd = nullptr;
  HWND m_hParent = nullptr;
  HINSTANCE m_hInstance = nullptr;
  WCHAR m_szName[100] = {};
  WCHAR m_szTitle[100] = {};
  WCHAR m_szSkinPath[MAX_PATH] = {};
  WCHAR m_szScriptName[MAX_PATH] = {};
  CScreenView m_View;
  CImgRes* m_pImgRes = nullptr;
  CTxtRes* m_pTxtRes = nullptr;
  DWORD m_dwExStyle = 0;
};
