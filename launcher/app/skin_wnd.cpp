// The screen framework: class registration, creation at the script's main viewport, the one
// window procedure with its dispatch rules, the skin check on activation and tear-down.
#include "app/skin_wnd.h"

#include <atomic>

#include "app/config.h"

namespace {

// One flag for every screen; only the window thread touches it, atomic all the same so that
// a screen on another thread (tests) cannot tear it.
std::atomic<int> s_keyHook{0};

UINT registered(LPCWSTR name) { return RegisterWindowMessageW(name); }

bool isOwnNumber(UINT message) {
  switch (message) {
    case WM_ACTIVATE: case WM_CREATE: case WM_PAINT: case WM_COMMAND: case WM_ERASEBKGND:
    case WM_TIMER: case WM_KEYDOWN: case WM_KEYUP: case WM_LBUTTONDOWN: case WM_LBUTTONUP:
    case WM_MOUSEMOVE: case WM_LBUTTONDBLCLK: case WM_DEVICECHANGE: case CSkinWnd::kMsgDeviceArrival:
    case CSkinWnd::kMsg4C9: case WM_MBUTTONDOWN: case WM_MOUSEWHEEL: case WM_MBUTTONUP: case WM_CLOSE:
    case WM_DESTROY: case WM_NOTIFY: case CSkinWnd::kMsgApp: case CSkinWnd::kMsg2B1B: case CSkinWnd::kMsg2B22:
    case CSkinWnd::kMsg7E9: case CSkinWnd::kMsg7EA: case CSkinWnd::kMsg48E:
      return true;
    default:
      return false;
  }
}

}  // namespace

CSkinWnd::CSkinWnd() = default;

CSkinWnd::~CSkinWnd() { DestroyWnd(); }

int CSkinWnd::KeyHookFlag() { return s_keyHook.load(); }
void CSkinWnd::SetKeyHookFlag(int value) { s_keyHook = value; }

void CSkinWnd::SetName(LPCWSTR name, LPCWSTR title) {
  lstrcpynW(m_szName, name ? name : u"", 100);
  lstrcpynW(m_szTitle, title ? title : u"", 100);
  NKDbgPrintfW(u"*** %s\n", m_szName);
}

void CSkinWnd::SetResources(CImgRes* images, CTxtRes* texts) {
  m_pImgRes = images;
  m_pTxtRes = texts;
}

void CSkinWnd::SetScript(LPCWSTR scriptName, LPCWSTR skinPath) {
  if (scriptName) lstrcpynW(m_szScriptName, scriptName, MAX_PATH);
  if (skinPath) lstrcpynW(m_szSkinPath, skinPath, MAX_PATH);
}

BOOL CSkinWnd::Create(HWND parent, HINSTANCE instance, int showCommand, DWORD exStyle) {
  if (HWND existing = FindWindowW(m_szName, nullptr)) {
    m_hWnd = existing;
    SetForegroundWindow(existing);
    ShowWindow(existing, SW_SHOW);
    return TRUE;
  }
  m_dwExStyle = exStyle;
  WNDCLASSW wc = {};
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = WndProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.lpszClassName = m_szName;
  RegisterClassW(&wc);  // a second screen object of the class finds it registered already

  m_hParent = parent;
  m_hInstance = instance;
  m_View.SL_resSetHandle(m_pImgRes, m_pTxtRes);

  WCHAR skin[MAX_PATH] = {};
  if (g_pConfig && g_pConfig->GetSkinPath(skin) && skin[0] &&
      _wcsnicmp(skin, m_szSkinPath, lstrlenW(skin)) != 0)
    lstrcpynW(m_szSkinPath, skin, MAX_PATH);

  // A screen whose script is missing or broken gets no window; the others go on without it.
  if (!m_View.SL_LoadSkin(m_szScriptName, m_szSkinPath)) {
    // Empty when the file opened and its content was at fault.
    std::string failure = plat::lastFileFailure();
    if (!failure.empty())
      failure = failure.compare(0, 3, "is ") == 0 ? " (it " + failure + ")" : " (cannot be read: " + failure + ")";
    NKDbgPrintfW(u"[Vexa APP] %s: screen script %s of skin %s cannot be loaded, no window%S\r\n", m_szName,
                 m_szScriptName, m_szSkinPath, failure.c_str());
    return FALSE;
  }
  if (m_View.Pages().empty()) {
    NKDbgPrintfW(u"[Vexa APP] %s: screen script %s of skin %s has no page, no window\r\n", m_szName,
                 m_szScriptName, m_szSkinPath);
    return FALSE;
  }

  int animation = 0;
  if (!g_pConfig || !g_pConfig->GetValue(u"ANIMATOR_TYPE", &animation)) {
    animation = 0;
    if (g_pConfig) {
      g_pConfig->SetValue(u"ANIMATOR_TYPE", 0);
      g_pConfig->Save();
    }
  }
  if (animation >= 9) animation = 8;
  if (animation < 0) animation = 0;
  m_View.SL_SetPaintAnimationType(animation);

  NKDbgPrintfW(u"+++ %s\n", m_szName);
  RECT view = {};
  m_View.SL_GetMainViewPort(&view);
  HWND hwnd = CreateWindowExW(m_dwExStyle, m_szName, m_szTitle, kWindowStyle, view.left, view.top,
                              view.right - view.left, view.bottom - view.top, parent, nullptr, instance, nullptr);
  if (!hwnd) {
    NKDbgPrintfW(u"[Vexa APP] %s: the window cannot be created\r\n", m_szName);
    return FALSE;
  }
  SetWindowLongW(hwnd, GWL_USERDATA, reinterpret_cast<LONG_PTR>(this));
  m_hWnd = hwnd;
  m_View.SL_SetWndHandle(parent, hwnd, instance);
  m_View.SL_LoadImages();
  SendMessageW(hwnd, WM_CREATE, 0, 0);
  UpdateWindow(hwnd);
  ShowWindow(hwnd, showCommand);
  m_View.SL_MakeWindowRgn(hwnd);
  return TRUE;
}

void CSkinWnd::DestroyWnd() {
  if (!m_hWnd) return;
  HWND hwnd = m_hWnd;
  ShowWindow(hwnd, SW_HIDE);
  SetWindowLongW(hwnd, GWL_USERDATA, 0);
  DestroyWindow(hwnd);
  m_hWnd = nullptr;
}

void CSkinWnd::OnPaint() {
  OnPrePaint();
  HDC dc = m_View.SL_PaintBegin();
  OnDraw(dc);
  m_View.SL_PaintEnd();
  OnPostPaint();
}

void CSkinWnd::CheckSkin() {
  if (!g_pConfig) return;
  g_pConfig->Load();
  WCHAR skin[MAX_PATH] = {};
  if (!g_pConfig->GetSkinPath(skin) || !skin[0] || lstrcmpW(skin, m_szSkinPath) == 0) return;
  RECT before = {};
  m_View.SL_GetMainViewPort(&before);
  lstrcpynW(m_szSkinPath, skin, MAX_PATH);
  if (!m_View.SL_LoadSkin(m_szScriptName, m_szSkinPath))
    NKDbgPrintfW(u"[Vexa APP] %s: screen script %s of skin %s cannot be loaded\r\n", m_szName, m_szScriptName,
                 m_szSkinPath);
  m_View.SL_LoadImages();
  RECT after = {};
  m_View.SL_GetMainViewPort(&after);
  if (!EqualRect(&before, &after) && after.right > after.left && after.bottom > after.top)
    MoveWindow(m_hWnd, after.left, after.top, after.right - after.left, after.bottom - after.top, TRUE);
  InvalidateRect(m_hWnd, nullptr, FALSE);
}

BOOL CSkinWnd::ReloadScript(CImgRes* images, CTxtRes* texts) {
  if (!m_hWnd) return FALSE;
  CScreenView fresh;
  fresh.SL_resSetHandle(images, texts);
  if (!fresh.SL_LoadSkin(m_szScriptName, m_szSkinPath) || fresh.Pages().empty()) return FALSE;
  RECT before = {};
  m_View.SL_GetMainViewPort(&before);
  m_pImgRes = images;
  m_pTxtRes = texts;
  m_View.TakePages(fresh);
  RECT after = {};
  m_View.SL_GetMainViewPort(&after);
  if (!EqualRect(&before, &after) && after.right > after.left && after.bottom > after.top)
    MoveWindow(m_hWnd, after.left, after.top, after.right - after.left, after.bottom - after.top, TRUE);
  m_View.SL_MakeWindowRgn(m_hWnd);
  OnSkinReloaded();
  InvalidateRect(m_hWnd, nullptr, FALSE);
  return TRUE;
}

LRESULT CALLBACK CSkinWnd::WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* screen = reinterpret_cast<CSkinWnd*>(GetWindowLongW(hwnd, GWL_USERDATA));
  if (!screen) return 0;
  return screen->Dispatch(hwnd, message, wParam, lParam);
}

LRESULT CSkinWnd::Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  // Registered messages first, each compared with the value its name has now.
  if (message >= 0xC000) {
    if (message == registered(u"APPLICATION_MESSAGEID_EXTKEYHOOKMSG")) s_keyHook = 1;
    else if (message == registered(u"APPLICATION_MESSAGEID_ANIMATORCHANGE"))
      m_View.SL_ChangePaintAnimationType(static_cast<int>(wParam));
    else if (message == registered(u"APPLICATION_MESSAGEID_EXTRECEIVEDMSG")) OnReceivedMsg();
    else if (message == registered(u"APPLICATION_MESSAGEID_EXTMCUKEYDOWNMSG")) OnMcuKeyDown(wParam, lParam);
    else if (message == registered(u"APPLICATION_MESSAGEID_EXTMCUKEYUPMSG")) OnMcuKeyUp(wParam, lParam);
    else if (message == registered(u"WM_MSG_DEVICEATTACH")) OnDevOnsiteEx(wParam, lParam);
    else if (message == registered(u"WM_MSG_DEVICEREMOVE")) OnDevRemoveEx(wParam, lParam);
    else if (message == registered(u"APPLICATION_MESSAGEID_EXTGRAPHNOTIFY")) OnGraphNotify(wParam, lParam);
    else if (message == registered(u"APPLICATION_MESSAGEID_EXTTPBTSHOW")) OnTpBtShow(wParam, lParam);
  } else {
    switch (message) {
      case kMsg2B1E: OnMsg2B1E(wParam, lParam); break;
      case kMsg2B1F: OnMsg2B1F(wParam, lParam); break;
      case kMsg2B20: OnMsg2B20(wParam, lParam); break;
      case kMsg2B21: OnMsg2B21(wParam, lParam); break;
      case kMsg2401: OnMsg2401(wParam, lParam); break;
      default: break;
    }
  }

  if (!(message == WM_KEYUP && s_keyHook == 1)) m_View.SL_MainProc(hwnd, message, wParam, lParam);

  // The engine's dispatcher may have closed this window: nothing more to do then.
  if (reinterpret_cast<CSkinWnd*>(GetWindowLongW(hwnd, GWL_USERDATA)) != this) return 0;

  if (!isOwnNumber(message)) {
    OnMessage(message, wParam, lParam);
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  switch (message) {
    case WM_ACTIVATE:
      if (wParam == WA_ACTIVE) {
        m_View.SL_resReload();
        CheckSkin();
      } else if (wParam == WA_INACTIVE) {
        m_View.SL_NeedPaintAnimation();
      }
      OnActivate(wParam, lParam);
      break;
    case WM_CREATE: OnCreate(); break;
    case WM_PAINT: OnPaint(); break;
    case WM_COMMAND: OnCommand(wParam, lParam); break;
    case WM_ERASEBKGND:
      OnEraseBkgnd();
      return 0;
    case WM_TIMER: OnTimer(wParam, lParam); break;
    case WM_KEYDOWN: OnKeyDown(wParam, lParam); break;
    case WM_KEYUP:
      OnKeyUp(wParam, lParam);
      s_keyHook = 0;
      break;
    case WM_LBUTTONDOWN: OnLButtonDown(wParam, lParam); break;
    case WM_LBUTTONUP: OnLButtonUp(wParam, lParam); break;
    case WM_MOUSEMOVE: OnMouseMove(wParam, lParam); break;
    case WM_LBUTTONDBLCLK: OnLButtonDblClk(wParam, lParam); break;
    case WM_DEVICECHANGE:
      if (wParam == 0x8000) OnDeviceArrival(0x8000, lParam);
      else if (wParam == 0x8004) OnDeviceRemoved(wParam, lParam);
      break;
    case kMsgDeviceArrival: OnDeviceArrival(wParam, lParam); break;
    case kMsg4C9: OnMsg4C9(wParam, lParam); break;
    case WM_MBUTTONDOWN: OnMButtonDown(wParam, lParam); break;
    case WM_MOUSEWHEEL: OnMouseWheel(wParam, lParam); break;
    case WM_MBUTTONUP: OnMButtonUp(wParam, lParam); break;
    case WM_CLOSE:
      if (OnClose(wParam, lParam)) PostMessageW(m_hParent, WM_COMMAND, kCmdScreenClosed, 0);
      DestroyWnd();
      NKDbgPrintfW(u"--- %s\n", m_szName);
      // The window is gone: the default procedure has nothing left to close.
      return 0;
    case WM_DESTROY:
      OnDestroy();
      // The window is being destroyed already: detach from it rather than destroy it again.
      SetWindowLongW(hwnd, GWL_USERDATA, 0);
      m_hWnd = nullptr;
      PostQuitMessage(0);
      return 0;
    case WM_NOTIFY: OnNotify(wParam, lParam); break;
    case kMsgApp: OnAppMsg(wParam, lParam); break;
    case kMsg2B1B: OnMsg2B1B(wParam, lParam); break;
    case kMsg2B22: OnMsg2B22(wParam, lParam); break;
    case kMsg7E9: OnMsg7E9(); break;
    case kMsg7EA: OnMsg7EA(); break;
    case kMsg48E:
      if (wParam == 0) OnMsg7E9();
      else OnMsg7EA();
      break;
    default: break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}
