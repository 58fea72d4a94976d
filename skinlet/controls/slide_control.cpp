// The slide control: see slide_control.h.
#include "controls/slide_control.h"

#include <algorithm>
#include <cstdlib>

#include "controls/control_support.h"

POINT SlideControl::PressPoint{0, 0};
POINT SlideControl::LastPoint{0, 0};
DWORD SlideControl::PressTime = 0;

namespace {

constexpr UINT kFocusOn = 0x432;
constexpr UINT kFocusOff = 0x433;

}  // namespace

SlideControl::SlideControl(HWND parent, HINSTANCE instance) : hParent(parent), hInstance(instance) {}

SlideControl::~SlideControl() {
  skinlet::destroyControlWindow(hWnd);
}

HWND SlideControl::Create(const tagSlide& host) {
  ActionID = host.ActionID;
  hWnd = skinlet::createControlWindow(this, ClassName, nullptr, WndProc, host.SldArea, hParent, hInstance, 0);
  if (hWnd) {
    RECT client{};
    GetClientRect(hWnd, &client);
    Width = client.right;
    Height = client.bottom;
  }
  return hWnd;
}

void SlideControl::SetItems(std::vector<tagSlide>* items) {
  Items = items;
  ContentWidth = ContentHeight = 0;
  if (!items || items->empty()) return;
  const tagSlide& last = items->back();
  BgImg = last.BgBitmap;
  Horizontal = last.Horizon;
  int minX = 0, maxX = 0, minY = 0, maxY = 0;
  for (const tagSlide& item : *items) {
    minX = std::min(minX, item.ItemArea.LocX);
    maxX = std::max(maxX, item.ItemArea.LocX);
    minY = std::min(minY, item.ItemArea.LocY);
    maxY = std::max(maxY, item.ItemArea.LocY);
  }
  ContentWidth = skinlet::clampInt(int64_t{last.ItemArea.Width} - minX + maxX + 20);
  ContentHeight = skinlet::clampInt(int64_t{last.ItemArea.Hight} - minY + maxY + 30);
}

int SlideControl::HitTest(POINT point) const {
  if (!Items) return -1;
  const int64_t p = Horizontal ? int64_t{OffsetX} + point.x : int64_t{OffsetY} + point.y;
  for (const tagSlide& item : *Items) {
    const int64_t lo = Horizontal ? item.ItemArea.LocX : item.ItemArea.LocY;
    const int64_t size = Horizontal ? item.ItemArea.Width : item.ItemArea.Hight;
    if (lo < p && p < lo + size) return item.ActionID;
  }
  return -1;
}

POINT SlideControl::Clamp(POINT p) const {
  p.x = std::max(0, std::min(static_cast<int>(p.x), Width - 1));
  p.y = std::max(0, std::min(static_cast<int>(p.y), Height - 1));
  return p;
}

void SlideControl::LimitOffsets() {
  // A strip shorter than the window gets a negative limit and so sits at the window's end.
  int& offset = Horizontal ? OffsetX : OffsetY;
  const int limit = skinlet::clampInt(Horizontal ? int64_t{ContentWidth} - Width : int64_t{ContentHeight} - Height);
  if (offset > limit) offset = limit;
  else if (offset < 0) offset = 0;
}

LRESULT CALLBACK SlideControl::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  SlideControl* self = skinlet::controlOf<SlideControl>(hwnd);
  if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
  LRESULT handled = 0;
  if (skinlet::handleCommonMessage(self, &SlideControl::Paint, hwnd, msg, handled)) return handled;
  switch (msg) {
    case WM_LBUTTONDOWN: self->OnLButtonDown(lParam); return 0;
    case WM_MOUSEMOVE: self->OnMouseMove(lParam); return 0;
    case WM_LBUTTONUP: self->OnLButtonUp(lParam); return 0;
    case WM_TIMER:
      if (wParam == InertiaTimer) self->OnInertia();
      return 0;
    case kFocusOn:
    case kFocusOff:
      self->IrFocus = msg == kFocusOn ? 1 : 0;
      self->Redraw();
      return 0;
    default: return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
}

void SlideControl::OnLButtonDown(LPARAM lParam) {
  KillTimer(hWnd, InertiaTimer);  // a touch stops the strip
  POINT point = skinlet::pointOf(lParam);
  PressPoint = LastPoint = point;
  PressTime = GetTickCount();
  SetCapture(hWnd);
  PressedId = HitTest(point);
  Dragging = 1;
  Redraw();
}

void SlideControl::OnMouseMove(LPARAM lParam) {
  if (!Dragging) return;
  POINT point = skinlet::pointOf(lParam);
  POINT last = Clamp(LastPoint);
  POINT current = Clamp(point);
  const int movement = Horizontal ? last.x - current.x : last.y - current.y;
  int& offset = Horizontal ? OffsetX : OffsetY;
  offset = skinlet::clampInt(int64_t{offset} + movement);
  if (std::abs(movement) > 1) Redraw();
  LastPoint = point;
}

void SlideControl::OnLButtonUp(LPARAM lParam) {
  POINT point = skinlet::pointOf(lParam);
  POINT press = Clamp(PressPoint);
  POINT release = Clamp(point);
  const int64_t d = Horizontal ? release.x - press.x : release.y - press.y;
  Direction = d <= 0 ? 1 : -1;
  const DWORD elapsed = GetTickCount() - PressTime;
  if (elapsed != 0) Speed = static_cast<int>(std::llabs(d * 500 / static_cast<int64_t>(elapsed)));
  SetTimer(hWnd, InertiaTimer, 0, nullptr);
  Dragging = 0;
  ReleaseCapture();
  if (skinlet::clientContains(hWnd, point)) {
    const int item = HitTest(PressPoint);
    // A tap between items names no item: nothing to report (see docs/deviations.md).
    if (item != -1 && item == HitTest(point)) {
      HWND self = hWnd;
      SendMessageW(hParent, WM_COMMAND, static_cast<WPARAM>(static_cast<uint32_t>(item)), 0);
      if (!skinlet::stillAttached(self, this)) return;  // the screen released its controls
    }
  }
  Redraw();
}

void SlideControl::OnInertia() {
  Speed -= 2;
  if (Speed >= 1) SetTimer(hWnd, InertiaTimer, static_cast<UINT>(300 / Speed), nullptr);
  else KillTimer(hWnd, InertiaTimer);
  int& offset = Horizontal ? OffsetX : OffsetY;
  offset = skinlet::clampInt(int64_t{offset} + Direction);
  Redraw();
}

void SlideControl::Paint() {
  // The canvas has the control's own size (empty when that is negative), not the client area's.
  skinlet::paintBuffered(hWnd, std::max(Width, 0), std::max(Height, 0), [this](HDC mem, HDC dc, const RECT&) {
    if (BgImg) {
      skinlet::BitmapSource source(dc, BgImg);
      SIZE size = skinlet::bitmapSize(BgImg);
      BitBlt(mem, 0, 0, std::min(Width, static_cast<int>(size.cx)), std::min(Height, static_cast<int>(size.cy)),
             source.dc(), 0, 0, SRCCOPY);
    }
    LimitOffsets();
    if (Items) {
      for (tagSlide& item : *Items) {
        const tagArea& a = item.ItemArea;
        const int64_t x = a.LocX, y = a.LocY;
        const bool visible = y + a.Hight + 22 >= OffsetY && y <= int64_t{Height} + OffsetY &&
                             x + a.Width >= OffsetX && x <= int64_t{Width} + OffsetX;
        if (!visible) continue;
        const bool pressed = PressedId == item.ActionID;
        skinlet::drawKeyed(mem, pressed ? item.DnBitmap : item.UpBitmap, x - OffsetX, y - OffsetY, a.Width, a.Hight);
        size_t length = skinlet::boundedLength(item.Text, SL_TEXT_LEN);
        if ((item.TxtType & 0x1) && length > 0) {
          skinlet::SkinFont font(mem, item.TxtFont, item.TxtSize);
          SetTextColor(mem, pressed ? item.TxtColorDn : item.TxtColorUp);
          const tagArea& t = item.TxtArea;
          RECT text{skinlet::clampInt(int64_t{t.LocX} - OffsetX), skinlet::clampInt(int64_t{t.LocY} - OffsetY),
                    skinlet::clampInt(int64_t{t.LocX} + t.Width - OffsetX),
                    skinlet::clampInt(int64_t{t.LocY} + t.Hight - OffsetY)};
          DrawTextW(mem, item.Text, static_cast<int>(length), &text, item.TxtAlign);
        }
      }
    }
    if (IrFocus) {
      RECT frame{0, 0, Width, Height};
      HBRUSH yellow = CreateSolidBrush(FocusColor);
      FrameRect(mem, &frame, yellow);
      DeleteObject(yellow);
    }
  });
}
