// The progress control: see progress_control.h.
#include "controls/progress_control.h"

#include <algorithm>

#include "controls/control_support.h"

namespace {

constexpr UINT kFocusOn = 0x432;
constexpr UINT kFocusOff = 0x433;

}  // namespace

ProgressControl::ProgressControl(HWND parent, HINSTANCE instance) : hParent(parent), hInstance(instance) {}

ProgressControl::~ProgressControl() {
  skinlet::destroyControlWindow(hWnd);
}

void ProgressControl::SetRecord(const tagProgress& progress) {
  ActionID = progress.ActionID;
  BackImg = progress.BackBitmap;
  IrBackImg = progress.IrBackBitmap;
  PrgImg = progress.PrgBitmap;
  KnobImg = progress.SlideBitmap;
  SIZE knob = skinlet::bitmapSize(KnobImg);
  KnobWidth = knob.cx;
  KnobHeight = knob.cy;
  Track = AreaToRect(progress.PrgSldArea);
  Flags = static_cast<uint32_t>(progress.ActionType);
  Horizon = static_cast<uint32_t>(progress.Horizon);
  TxtFont = progress.TxtFont;
  TxtSize = progress.TxtSize;
  TxtColor = progress.TxtColor;
  TxtAlign = progress.TxtAlign;
}

HWND ProgressControl::Create(const tagProgress& progress) {
  const bool hidden = (progress.ActionType & skinlet::kHiddenFlag) != 0;
  hWnd = skinlet::createControlWindow(this, ClassName, nullptr, WndProc, progress.PrgArea, hParent, hInstance,
                                      progress.ActionID, !hidden);
  if (hWnd && !hidden) ShowWindow(hWnd, SW_SHOW);
  return hWnd;
}

ProgressControl::Span ProgressControl::ShrunkTrack(int times) const {
  const int64_t half = (horizontal() ? KnobWidth : KnobHeight) / 2;
  if (horizontal()) return Span{Track.left + half * times, Track.right - half * times};
  return Span{Track.top + half * times, Track.bottom - half * times};
}

void ProgressControl::SetValue(int v) {
  if (Disabled) return;
  const Span span = ShrunkTrack(1);
  const int64_t range = std::max<int64_t>(span.end - span.start, 0);
  Value = v;
  // Beyond 0 to 100 the knob stops at the ends anyway.
  const int64_t part = std::clamp<int64_t>(inverted() ? 100 - int64_t{v} : v, 0, 100);
  const int offset = skinlet::clampInt(range * part / 100);
  if (horizontal()) KnobX = offset;
  else KnobY = offset;
  Redraw();
}

int ProgressControl::ValueAt(LPARAM lParam, Span span) const {
  // The coordinate as the touch delivers it: a point left of or above the window arrives as a
  // large 16-bit number and counts as the start.
  int64_t coordinate = horizontal() ? LOWORD(lParam) : HIWORD(lParam);
  const int64_t range = span.end - span.start;
  // A knob as long as the track leaves no range to divide by: the value is the start's
  // (see docs/deviations.md).
  if (range <= 0) return inverted() ? 100 : 0;
  if (coordinate >= 50000 || coordinate < span.start) coordinate = span.start;
  else if (coordinate > span.end) coordinate = span.end;
  const int value = static_cast<int>((coordinate - span.start) * 100 / range);
  return inverted() ? 100 - value : value;
}

LRESULT CALLBACK ProgressControl::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  ProgressControl* self = skinlet::controlOf<ProgressControl>(hwnd);
  if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
  LRESULT handled = 0;
  if (skinlet::handleCommonMessage(self, &ProgressControl::Paint, hwnd, msg, handled)) return handled;
  switch (msg) {
    case WM_LBUTTONDOWN:
      SetCapture(hwnd);
      self->Dragging = 1;  // a press alone does not change the value
      return 0;
    case WM_MOUSEMOVE: self->OnMouseMove(lParam); return 0;
    case WM_LBUTTONUP: self->OnLButtonUp(lParam); return 0;
    case kFocusOn:
    case kFocusOff:
      if (!self->Disabled) {
        self->IrFocus = msg == kFocusOn ? 1 : 0;
        self->Redraw();
      }
      return 0;
    default: return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
}

void ProgressControl::OnMouseMove(LPARAM lParam) {
  if (!Dragging || Disabled) return;
  int before = Value;
  Value = ValueAt(lParam, ShrunkTrack(1));
  if (Value != before) {
    Redraw();
    PostMessageW(hParent, WM_COMMAND, static_cast<WPARAM>(ActionID), static_cast<LPARAM>(Value));
  }
}

void ProgressControl::OnLButtonUp(LPARAM lParam) {
  // The screen may release every control while it handles the value sent below: what the
  // end-of-drag notice needs is taken first.
  const HWND parent = hParent;
  const int actionId = ActionID;
  Dragging = 0;
  ReleaseCapture();
  if (!Disabled && PtInRect(&Track, skinlet::pointOf(lParam))) {
    // The release measures on a track shrunk once more by half the knob along the bar.
    Value = ValueAt(lParam, ShrunkTrack(2));
    Redraw();
    SendMessageW(parent, WM_COMMAND, static_cast<WPARAM>(actionId), static_cast<LPARAM>(Value));
  }
  const UINT released = RegisterWindowMessageW(ReleaseMessageName);
  PostMessageW(parent, WM_COMMAND, static_cast<WPARAM>(released), static_cast<LPARAM>(actionId));
}

void ProgressControl::Paint() {
  skinlet::paintBuffered(hWnd, [this](HDC mem, HDC, const RECT& client) {
    skinlet::drawKeyed(mem, IrFocus ? IrBackImg : BackImg, 0, 0, client.right, client.bottom);

    const int64_t trackW = int64_t{Track.right} - Track.left;
    const int64_t trackH = int64_t{Track.bottom} - Track.top;
    if (horizontal()) {
      skinlet::drawKeyed(mem, PrgImg, Track.left, Track.top, KnobX, trackH);
      skinlet::drawKeyed(mem, KnobImg, int64_t{Track.left} + KnobX, Track.top + (trackH - KnobHeight) / 2, KnobWidth,
                         KnobHeight);
    } else if (!inverted()) {
      skinlet::drawKeyed(mem, PrgImg, Track.left, Track.top, trackW, KnobY);
      skinlet::drawKeyed(mem, KnobImg, Track.left + (trackW - KnobWidth) / 2, int64_t{Track.top} + KnobY, KnobWidth,
                         KnobHeight);
    } else {
      // Filled from the knob down to the bottom of the track, the fill image taken from the
      // same place (measured from the track's top: see docs/deviations.md).
      skinlet::drawKeyed(mem, PrgImg, Track.left, int64_t{Track.top} + KnobY, trackW, trackH - KnobY, 0, KnobY);
      // The knob stands at the track's top, squeezed to less height the lower the value;
      // once it has no height left nothing is drawn (see docs/deviations.md).
      const int64_t height = int64_t{KnobHeight} - KnobY;
      const int64_t x = Track.left + (trackW - KnobWidth) / 2;
      if (KnobImg && height > 0 && x > -65536 && x < 65536 && Track.top > -65536 && Track.top < 65536) {
        TransparentImage(mem, static_cast<int>(x), Track.top, KnobWidth, static_cast<int>(height), KnobImg, 0, 0,
                         KnobWidth, KnobHeight, skinlet::kColourKey);
      }
    }

    size_t length = skinlet::boundedLength(ValueText, SL_TEXT_LEN);
    if ((Flags & ShowValueText) && length > 0) {
      skinlet::SkinFont font(mem, TxtFont, TxtSize);
      SetTextColor(mem, TxtColor);
      RECT text = client;
      text.left += 5;
      text.right -= 5;
      DrawTextW(mem, ValueText, static_cast<int>(length), &text, TxtAlign);
    }
  });
}
