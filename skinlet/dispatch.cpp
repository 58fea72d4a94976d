// The input dispatcher of a screen window: activation, remote keys, touches and the engine's
// timers. Everything the user does reaches the screen window as a posted message carrying a
// skin action id.
#include "controls/slide_control.h"
#include "operations_lookup.h"

int CSkinlet::LastIrResult = 0;

namespace {

constexpr UINT kTouchNotice = 0x20B;
constexpr UINT kActionDown = 0x207;  // WM_MBUTTONDOWN
constexpr UINT kActionUp = 0x208;    // WM_MBUTTONUP

constexpr UINT kKeyEnter = 13;
constexpr UINT kKeyEscape = 27;
constexpr UINT kKeyLeft = 37;
constexpr UINT kKeyUp = 38;
constexpr UINT kKeyRight = 39;
constexpr UINT kKeyDown = 40;
constexpr UINT kKeyNextMode = 72;

constexpr UINT kRemoteTimeoutTimer = 891;
constexpr UINT kRemoteTimeoutMs = 10000;

bool isHotKey(WPARAM key) {
  switch (key) {
    case 8: case 9: case 18: case 43: case 65: case 68: case 73: case 77: case 78: case 83: case 88: case 89:
    case 199: case 200: case 201: case 202: case 203: case 204: case 206: case 207:
      return true;
    default:
      return false;
  }
}

// 0x207 and 0x208 of keys carry the action id as its low 16 bits.
WPARAM low16(int id) { return static_cast<WPARAM>(static_cast<uint32_t>(id) & 0xFFFF); }

}  // namespace

LRESULT CSkinlet::SL_MainProc(HWND, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto post = [this](UINT m, WPARAM w) {
    if (hViewWnd) PostMessageW(hViewWnd, m, w, 0);
  };
  switch (msg) {
    case WM_ACTIVATE:
      if (wParam == WA_ACTIVE) {
        btnShowAll(0);
        prgShowAll(0);
        segShowAll(0);
        SL_IrChangeDirect(IR_NONE);
        EffectPending = 1;
        FullRepaint = 1;
      } else if (wParam == WA_INACTIVE) {
        btnShowAll(0);
        prgShowAll(0);
        segShowAll(0);
        FullRepaint = 1;
      }
      break;
    case WM_NOTIFY:
      // Hidden and shown again, the slides repaint over whatever covered them.
      SL_sldShowAll(0);
      SL_sldShowAll(1);
      break;
    case WM_KEYDOWN: {
      int id = -1;
      if (isHotKey(wParam)) id = GetHotKeyId(static_cast<int>(wParam));
      else if (wParam == kKeyNextMode) id = GetNextHotKeyModeId();
      else break;
      if (id != -1) post(kActionDown, low16(id));
      break;
    }
    case WM_KEYUP: {
      if (hViewWnd) SetTimer(hViewWnd, kRemoteTimeoutTimer, kRemoteTimeoutMs, nullptr);
      const bool wasOn = IrMode != 0;
      IrMode = 1;
      // The first key only shows where the focus is.
      if (!wasOn) SL_IrChangeDirect(IR_NONE);
      switch (wParam) {
        case kKeyLeft:
        case kKeyRight:
        case kKeyUp:
        case kKeyDown:
          if (wasOn) {
            const EN_IRDIRECT dir = wParam == kKeyLeft    ? IR_DIR_LEFT
                                    : wParam == kKeyRight ? IR_DIR_RIGHT
                                    : wParam == kKeyUp    ? IR_DIR_UP
                                                          : IR_DIR_DOWN;
            LastIrResult = SL_IrChangeDirect(dir);
          }
          break;
        case kKeyEnter:
          // Without a page (the skin is being reloaded) the focus id names nothing the user
          // could have chosen.
          if (!wasOn || !CurrentPage()) break;
          if (IrOnTbl) {
            post(WM_COMMAND, static_cast<WPARAM>(LastIrResult));
          } else {
            post(WM_COMMAND, static_cast<WPARAM>(IrActionId));
            post(kActionUp, low16(IrActionId));
          }
          break;
        case kKeyEscape:
          post(WM_COMMAND, 0);
          break;
        default: {
          int id = -1;
          if (wParam == kKeyNextMode) id = HotKeyMode;
          else if (isHotKey(wParam)) id = GetHotKeyId(static_cast<int>(wParam));
          if (id != -1) {
            post(WM_COMMAND, static_cast<WPARAM>(id));
            post(kActionUp, low16(id));
          }
          break;
        }
      }
      break;
    }
    case WM_TIMER:
      SL_OnTimer(static_cast<UINT>(wParam), lParam);
      break;
    case WM_LBUTTONDOWN:
    case kTouchNotice:
      // A touch ends remote mode and takes the focus marks away.
      IrMode = 0;
      SL_IrChangeDirect(IR_NONE);
      break;
    default:
      break;
  }
  return 1;
}

namespace {

// Points of the hit tests are packed like a mouse message's lParam.
POINT unpack(DWORD pos) {
  return POINT{GET_X_LPARAM(static_cast<LPARAM>(pos)), GET_Y_LPARAM(static_cast<LPARAM>(pos))};
}

// The platform's point-in-rectangle rule: right and bottom edges are outside. Taken in 64
// bits, so that areas at the ends of the 32-bit range cannot overflow.
bool contains(const tagArea& a, POINT p) {
  const int64_t x = p.x;
  const int64_t y = p.y;
  return x >= a.LocX && x < int64_t{a.LocX} + a.Width && y >= a.LocY && y < int64_t{a.LocY} + a.Hight;
}

bool containsBoth(const tagArea& a, POINT down, POINT up) { return contains(a, down) && contains(a, up); }

}  // namespace

int CSkinlet::SL_txtGetClickOnItem(DWORD downPos, DWORD upPos) {
  tagMenu* page = CurrentPage();
  if (!page) return -1;
  const POINT down = unpack(downPos);
  const POINT up = unpack(upPos);
  for (size_t i = 0; i < page->Texts.size(); ++i) {
    const tagTexture& t = page->Texts[i];
    if ((t.TxtType & 0x1) && containsBoth(t.TxtArea, down, up)) return static_cast<int>(i);
  }
  return -1;
}

int CSkinlet::SL_txtGetIdClickOnItem(DWORD downPos, DWORD upPos) {
  const int index = SL_txtGetClickOnItem(downPos, upPos);
  return index < 0 ? -1 : CurrentPage()->Texts[static_cast<size_t>(index)].ActionID;
}

int CSkinlet::SL_segGetClickOnItem(DWORD downPos, DWORD upPos) {
  tagMenu* page = CurrentPage();
  if (!page) return -1;
  const POINT down = unpack(downPos);
  const POINT up = unpack(upPos);
  for (size_t i = 0; i < page->EightSegs.size(); ++i) {
    if (containsBoth(page->EightSegs[i].SegArea, down, up)) return static_cast<int>(i);
  }
  return -1;
}

int CSkinlet::SL_tblClickOnItemUp(DWORD downPos, DWORD upPos) {
  tagMenu* page = CurrentPage();
  if (!page) return -1;
  const POINT down = unpack(downPos);
  const POINT up = unpack(upPos);
  for (size_t i = 0; i < page->Tables.size(); ++i) {
    const tagTable& t = page->Tables[i];
    if (t.ActionType == 0) continue;
    const bool downIn = contains(t.ItemArea, down) || contains(t.TxtArea, down);
    const bool upIn = contains(t.ItemArea, up) || contains(t.TxtArea, up);
    if (downIn && upIn) return static_cast<int>(i);
  }
  return -1;
}
