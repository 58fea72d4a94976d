// The eight-segment display: see segment_control.h.
#include "controls/segment_control.h"

#include "controls/control_support.h"

using skinlet::clampInt;

namespace {

constexpr int bit(SegmentControl::Segment s) { return 1 << s; }

constexpr int kSevenBars = bit(SegmentControl::UpperLeft) | bit(SegmentControl::LowerLeft) |
                           bit(SegmentControl::Top) | bit(SegmentControl::UpperRight) |
                           bit(SegmentControl::LowerRight) | bit(SegmentControl::Bottom) |
                           bit(SegmentControl::Middle);

}  // namespace

int SegmentControl::SegmentsOf(WCHAR c) {
  switch (c) {
    case u' ': return 0;
    case u'0': return kSevenBars & ~bit(Middle);
    case u'1': return bit(UpperRight) | bit(LowerRight);
    case u'2': return bit(LowerLeft) | bit(Top) | bit(UpperRight) | bit(Bottom) | bit(Middle);
    case u'3': return bit(Top) | bit(UpperRight) | bit(LowerRight) | bit(Bottom) | bit(Middle);
    case u'4': return bit(UpperLeft) | bit(UpperRight) | bit(LowerRight) | bit(Middle);
    case u'5': return bit(UpperLeft) | bit(Top) | bit(LowerRight) | bit(Bottom) | bit(Middle);
    case u'6': return kSevenBars & ~bit(UpperRight);
    case u'7': return bit(Top) | bit(UpperRight) | bit(LowerRight);
    case u'8': return kSevenBars;
    case u'9': return kSevenBars & ~bit(LowerLeft);
    case u':': return bit(UpperDot) | bit(LowerDot);
    default: return -1;
  }
}

int SegmentControl::SegmentPoints(Segment segment, int cellX, int cellY, POINT* out) const {
  // 64-bit arithmetic: the sizes come from the script and may be anything.
  const int64_t x = cellX, y = cellY, w = Wd, h = Hd, s = S, g = G;
  const int64_t h2 = h / 2, h2b = (h + 1) / 2;
  int64_t p[8][2];
  int n = 4;
  auto set = [&](std::initializer_list<std::initializer_list<int64_t>> points) {
    n = 0;
    for (auto point : points) {
      p[n][0] = *point.begin();
      p[n][1] = *(point.begin() + 1);
      ++n;
    }
  };
  switch (segment) {
    case UpperLeft: set({{x, y + g}, {x, y + h2}, {x + s, y + h2 - s}, {x + s, y + g + s}}); break;
    case LowerLeft: set({{x, y + h2b}, {x, y + h - g}, {x + s, y + h - g - s}, {x + s, y + h2b + s}}); break;
    case Top: set({{x + g, y}, {x + w - g, y}, {x + w - g - s, y + s}, {x + g + s, y + s}}); break;
    case UpperRight: set({{x + w, y + g}, {x + w, y + h2}, {x + w - s, y + h2 - s}, {x + w - s, y + g + s}}); break;
    case LowerRight:
      set({{x + w, y + h2b}, {x + w, y + h - g}, {x + w - s, y + h - g - s}, {x + w - s, y + h2b + s}});
      break;
    case Bottom: set({{x + w - g, y + h}, {x + g, y + h}, {x + g + s, y + h - s}, {x + w - g - s, y + h - s}}); break;
    case Middle:
      set({{x + 2 * g, y + h2},
           {x + 2 * g + s / 2, y + h2 - s / 2},
           {x + w - 2 * g - s / 2, y + h2 - s / 2},
           {x + w - 2 * g, y + h2},
           {x + w - 2 * g, y + h2b},
           {x + w - 2 * g - s / 2, y + h2b + s / 2},
           {x + 2 * g + s / 2, y + h2b + s / 2},
           {x + 2 * g, y + h2b}});
      break;
    case UpperDot:
    case LowerDot: {
      const int64_t left = x + w / 2 - s / 2, right = x + w / 2 + s / 2;
      const int64_t top = segment == UpperDot ? y + h / 5 : y + 3 * h / 5;
      const int64_t bottom = segment == UpperDot ? y + 2 * h / 5 : y + 4 * h / 5;
      set({{left, top}, {right, top}, {right, bottom}, {left, bottom}});
      break;
    }
    default: return 0;
  }
  for (int i = 0; i < n; ++i) out[i] = POINT{clampInt(p[i][0]), clampInt(p[i][1])};
  return n;
}

SegmentControl::SegmentControl(HWND parent, HINSTANCE instance) : hParent(parent), hInstance(instance) {}

SegmentControl::~SegmentControl() {
  skinlet::destroyControlWindow(hWnd);
}

void SegmentControl::SetRecord(tagEightSeg& segment) {
  ActionID = segment.ActionID;
  BgImg = segment.BgBitmap;
  Crop = &segment.SegCrop;
  Text = segment.Text;
  SegType = &segment.SegType;
  SegShowType = &segment.SegShowType;
  Color = segment.SegColor;
  HiColor = segment.SegHiColor;
  StrokeColor = segment.SegStrockColor;
  S = segment.SegStrockWid;
  G = segment.SegStrockSpace;
  Wd = clampInt(int64_t{segment.SegFontWid} - 1);
  // The height less one, rounded down to even, and one less again for an odd stroke, so that
  // the two halves of the digit meet on a pixel row.
  const int64_t even = (int64_t{segment.SegArea.Hight} - 1) & ~int64_t{1};
  Hd = clampInt(even - ((S & 1) ? 1 : 0));
}

HWND SegmentControl::Create(const tagEightSeg& segment) {
  hWnd = skinlet::createControlWindow(this, ClassName, ClassName, WndProc, segment.SegArea, hParent, hInstance, 0,
                                      !(segment.Flags & skinlet::kHiddenFlag));
  return hWnd;
}

LRESULT CALLBACK SegmentControl::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  SegmentControl* self = skinlet::controlOf<SegmentControl>(hwnd);
  if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
  LRESULT handled = 0;
  if (skinlet::handleCommonMessage(self, &SegmentControl::Paint, hwnd, msg, handled)) return handled;
  switch (msg) {
    case WM_LBUTTONUP:
      if (skinlet::clientContains(hwnd, skinlet::pointOf(lParam))) {
        PostMessageW(self->hParent, WM_COMMAND, static_cast<WPARAM>(self->ActionID), reinterpret_cast<LPARAM>(hwnd));
      }
      return 0;
    default: return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
}

void SegmentControl::DrawCharacter(HDC dc, WCHAR c, int x, int y) const {
  const int lit = SegmentsOf(c);
  if (lit < 0) return;  // not a character of the display: its cell stays empty
  const bool outline = SegShowType && *SegShowType != 0;
  const COLORREF on = SegType && (*SegType & 0x1) ? HiColor : Color;
  HBRUSH litBrush = CreateSolidBrush(on);
  HPEN litPen = CreatePen(PS_SOLID, 1, on);
  HPEN strokePen = CreatePen(PS_SOLID, 1, StrokeColor);
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  HGDIOBJ oldPen = SelectObject(dc, strokePen);
  for (int s = 0; s < SegmentCount; ++s) {
    const bool isLit = (lit & (1 << s)) != 0;
    if (!isLit && !outline) continue;
    POINT points[8];
    int n = SegmentPoints(static_cast<Segment>(s), x, y, points);
    SelectObject(dc, isLit ? static_cast<HGDIOBJ>(litBrush) : GetStockObject(NULL_BRUSH));
    SelectObject(dc, isLit ? litPen : strokePen);
    Polygon(dc, points, n);
  }
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(litBrush);
  DeleteObject(litPen);
  DeleteObject(strokePen);
}

void SegmentControl::Paint() {
  skinlet::paintBuffered(hWnd, [this](HDC mem, HDC dc, const RECT& client) {
    if (BgImg && Crop) {
      skinlet::BitmapSource source(dc, BgImg);
      StretchBlt(mem, 0, 0, client.right, client.bottom, source.dc(), Crop->LocX, Crop->LocY, Crop->Width,
                 Crop->Hight, SRCCOPY);
    }
    const size_t n = skinlet::boundedLength(Text, SL_TEXT_LEN);
    for (size_t i = 0; i < n; ++i) {
      // Cell i starts at i x width / n: the cells share the width without a remainder piling up.
      const int x = static_cast<int>(static_cast<int64_t>(i) * client.right / static_cast<int64_t>(n));
      DrawCharacter(mem, Text[i], client.left + x, client.top);
    }
  });
}
