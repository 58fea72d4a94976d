// The button control: see button_control.h.
#include "controls/button_control.h"

#include "controls/control_support.h"

using skinlet::MemoryCanvas;

int ButtonControl::CaptureFlag = 0;

namespace {

// Private messages of the controls: the remote-focus mark on and off.
constexpr UINT kFocusOn = 0x432;
constexpr UINT kFocusOff = 0x433;
constexpr UINT kAutoRepeat = 0x20A;
constexpr UINT kTouchNotice = 0x20B;

HBITMAP firstImage(const std::vector<tagImgItem>& images) { return images.empty() ? nullptr : images.front().hImg; }

}  // namespace

ButtonControl::ButtonControl(HWND parent, HINSTANCE instance) : hParent(parent), hInstance(instance) {}

ButtonControl::~ButtonControl() {
  skinlet::destroyControlWindow(hWnd);
}

void ButtonControl::SetRecord(tagButton& button) {
  ActionID = button.ActionID;
  UpImg = SavedUpImg = firstImage(button.ImgUp);
  DnImg = SavedDnImg = firstImage(button.ImgDn);
  GrayImg = firstImage(button.ImgGray);
  IrImg = firstImage(button.ImgIr);
  TextRect = AreaToRect(button.TxtArea);
  Text = button.Text;
  TxtColor = button.TxtColor;
  TxtSelColor = button.TxtSelColor;
  TxtSize = button.TxtSize;
  TxtFont = button.TxtFont;
  TxtAlign = button.TxtAlign;
  Ready = 1;
}

HWND ButtonControl::Create(const tagButton& button) {
  // A button the script hides starts hidden; an operation shows it.
  hWnd = skinlet::createControlWindow(this, ClassName, ClassName, WndProc, button.BtnArea, hParent, hInstance,
                                      button.ActionID, !(button.ActionType & skinlet::kHiddenFlag));
  return hWnd;
}

LRESULT CALLBACK ButtonControl::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  ButtonControl* self = skinlet::controlOf<ButtonControl>(hwnd);
  if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
  if (msg == WM_ERASEBKGND) return 0;  // the paint covers the whole window
  self->OnMessage(msg, wParam, lParam);
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT ButtonControl::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_LBUTTONDOWN: OnLButtonDown(lParam); break;
    case WM_LBUTTONUP: OnLButtonUp(lParam); break;
    case WM_TIMER: OnTimer(wParam); break;
    case WM_KEYDOWN:
    case WM_SETFOCUS:
      State = Disabled ? 2 : 1;
      Redraw();
      break;
    case WM_KEYUP:
      State = Disabled ? 2 : 0;
      Redraw();
      break;
    case WM_ACTIVATE: FlashPending = 0; break;
    case WM_PAINT:
      if (Ready) Paint();
      break;
    case kFocusOn:
    case kFocusOff:
      IrFocus = msg == kFocusOn ? 1 : 0;
      Redraw();
      break;
    case WM_CLOSE:
      Ready = 0;
      DestroyWindow(hWnd);
      break;
    case WM_DESTROY:
      // The window goes (closed, unloaded, or with its parent): forget it, so that neither a
      // late message nor the owner's clean-up reaches a window that is gone.
      Ready = 0;
      skinlet::detachControl(hWnd);
      hWnd = nullptr;
      break;
    default: break;
  }
  return 0;
}

void ButtonControl::OnLButtonDown(LPARAM lParam) {
  CaptureFlag = 1;
  SetCapture(hWnd);
  State = Disabled ? 2 : 1;
  Redraw();
  if (!Disabled && skinlet::clientContains(hWnd, skinlet::pointOf(lParam))) {
    LPARAM self = reinterpret_cast<LPARAM>(hWnd);
    PostMessageW(hParent, kTouchNotice, static_cast<WPARAM>(ActionID), self);
    PostMessageW(hParent, WM_MBUTTONDOWN, static_cast<WPARAM>(ActionID), self);
    SetTimer(hWnd, HoldTimer, 1000, nullptr);
  }
  if (State == 1) FlashPending = 1;
}

void ButtonControl::OnLButtonUp(LPARAM lParam) {
  KillTimer(hWnd, HoldTimer);
  if (CaptureFlag) {
    CaptureFlag = 0;
    ReleaseCapture();
    State = Disabled ? 2 : 0;
    Redraw();
    if (!Disabled && skinlet::clientContains(hWnd, skinlet::pointOf(lParam))) {
      LPARAM self = reinterpret_cast<LPARAM>(hWnd);
      PostMessageW(hParent, WM_MBUTTONUP, static_cast<WPARAM>(ActionID), self);
      PostMessageW(hParent, WM_COMMAND, static_cast<WPARAM>(ActionID), self);
    }
  }
  // Whatever happened to the flag, a release ends the repeat.
  KillTimer(hWnd, RepeatTimer);
}

void ButtonControl::OnTimer(UINT_PTR id) {
  switch (id) {
    case HoldTimer:
      if (!Disabled) {
        KillTimer(hWnd, HoldTimer);
        SetTimer(hWnd, RepeatTimer, 200, nullptr);
      }
      break;
    case RepeatTimer:
      if (!Disabled) PostMessageW(hParent, kAutoRepeat, static_cast<WPARAM>(ActionID), reinterpret_cast<LPARAM>(hWnd));
      break;
    case FlashTimer:
      KillTimer(hWnd, FlashTimer);
      Redraw();
      break;
    default: break;
  }
}

void ButtonControl::Paint() {
  PAINTSTRUCT ps{};
  HDC dc = BeginPaint(hWnd, &ps);
  if (!dc) return;
  if (ps.fErase) FlashPending = 0;
  RECT client{};
  GetClientRect(hWnd, &client);

  HBITMAP image = nullptr;
  bool flash = false;
  switch (State) {
    case 0:
      if (FlashPending) {
        flash = true;
      } else {
        // A focus look without a focus image keeps the released image (see docs/deviations.md).
        image = IrFocus && IrImg ? IrImg : UpImg;
      }
      break;
    case 1:
      image = DnImg ? DnImg : UpImg;
      FlashPending = 0;
      break;
    case 2: image = GrayImg ? GrayImg : UpImg; break;
    default: break;
  }

  if (flash) {
    PaintFlash(dc);
  } else if (!image) {
    MemoryCanvas canvas(dc, client.right, client.bottom);
    HBRUSH grey = CreateSolidBrush(NoImageColor);
    FillRect(canvas.dc(), &client, grey);
    DeleteObject(grey);
    canvas.copyTo(dc);
  } else {
    MemoryCanvas canvas(dc, client.right, client.bottom);
    // Transparent parts of the images show what lies below the button.
    canvas.copyFrom(dc);
    HDC mem = canvas.dc();
    switch (State) {
      case 0: skinlet::drawKeyed(mem, image, 0, 0, client.right, client.bottom); break;
      case 1:
        if (DnImg) skinlet::drawKeyed(mem, DnImg, 0, 0, client.right, client.bottom);
        else DrawInverted(mem);
        break;
      case 2:
        if (GrayImg) skinlet::drawKeyed(mem, GrayImg, 0, 0, client.right, client.bottom);
        else DrawInverted(mem);
        break;
    }
    DrawText(mem, State == 0 ? TxtColor : TxtSelColor, State == 2);
    canvas.copyTo(dc);
  }
  EndPaint(hWnd, &ps);
}

void ButtonControl::DrawInverted(HDC dc) {
  RECT client{};
  GetClientRect(hWnd, &client);
  // The released image first, so that repainting a pressed button does not invert twice
  // (see docs/deviations.md).
  skinlet::drawKeyed(dc, UpImg, 0, 0, client.right, client.bottom);
  PatBlt(dc, 0, 0, client.right, client.bottom, DSTINVERT);
}

void ButtonControl::DrawText(HDC dc, COLORREF color, bool useContextColour) {
  size_t length = skinlet::boundedLength(Text, SL_TEXT_LEN);
  if (length == 0) return;
  skinlet::SkinFont font(dc, TxtFont, TxtSize);
  if (!useContextColour) SetTextColor(dc, color);
  skinlet::drawFittedText(dc, Text, static_cast<int>(length), TextRect, TxtAlign);
}

void ButtonControl::PaintFlash(HDC dc) {
  // A tap released before its pressed look was painted: show that look for 100 ms.
  FlashPending = 0;
  RECT client{};
  GetClientRect(hWnd, &client);
  MemoryCanvas canvas(dc, client.right, client.bottom);
  canvas.copyFrom(dc);
  HDC mem = canvas.dc();
  if (DnImg) skinlet::drawKeyed(mem, DnImg, 0, 0, client.right, client.bottom);
  else DrawInverted(mem);
  size_t length = skinlet::boundedLength(Text, SL_TEXT_LEN);
  if (length > 0) {
    skinlet::SkinFont font(mem, TxtFont, TxtSize);
    RECT shadow{skinlet::clampInt(int64_t{TextRect.left} + 1), skinlet::clampInt(int64_t{TextRect.top} + 1),
                skinlet::clampInt(int64_t{TextRect.right} + 1), skinlet::clampInt(int64_t{TextRect.bottom} + 1)};
    SetTextColor(mem, ShadowColor);
    DrawTextW(mem, Text, static_cast<int>(length), &shadow, TxtAlign);
    RECT text = TextRect;
    SetTextColor(mem, TxtSelColor);
    DrawTextW(mem, Text, static_cast<int>(length), &text, TxtAlign);
  }
  canvas.copyTo(dc);
  SetTimer(hWnd, FlashTimer, 100, nullptr);
}
