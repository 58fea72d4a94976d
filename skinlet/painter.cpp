// Composing a page off screen and copying it to the screen window. Every paint composes the
// whole page into a frame of the screen's size, in a fixed order, so that transitions and the
// opening effect always have the complete page to work from; the system clips the final copy.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "painter_internal.h"
#include "skinlet.h"

namespace skinlet {

namespace {

constexpr int kTablePictureTimer = 888;
constexpr UINT kTablePicturePeriodMs = 100;
// The selected background of a table item reaches this far beyond its area.
constexpr int kSelectionMargin = 5;

// Coordinates of shapes stay within what the drawing calls take without wrapping.
int toCoordinate(double value) {
  if (!(value > -1e9)) return -1000000000;
  if (value > 1e9) return 1000000000;
  return static_cast<int>(value);
}

}  // namespace

bool bitmapSize(HBITMAP bitmap, int& width, int& height) {
  width = height = 0;
  BITMAP info{};
  if (!bitmap || GetObjectW(bitmap, sizeof(info), &info) != sizeof(info)) return false;
  width = info.bmWidth;
  height = info.bmHeight;
  return width > 0 && height > 0;
}

int clampAnimationType(int type) { return std::clamp(type, 0, 8); }

std::vector<POINT> sectorPoints(const tagSector& sector) {
  const tagArea& area = sector.SecArea;
  const int64_t cx = area.LocX + static_cast<int64_t>(area.Width / 2);
  const int64_t cy = area.LocY + static_cast<int64_t>(area.Hight / 2);
  const double r = area.Width / 2;
  const int start = sector.SecStart % 360;
  int end = sector.SecEnd % 360;
  if (end < start) end += 360;
  // Negative angles can put the end almost two turns after the start; a sector is at most a
  // whole disc, so the arc stops one turn on (61 points).
  end = std::min(end, start + 360);
  std::vector<POINT> points;
  for (int a = start; a <= end; a += 6) {
    const double radians = a * 0.017453292519944444;
    points.push_back(POINT{toCoordinate(static_cast<double>(cx) + r * std::cos(radians)),
                           toCoordinate(static_cast<double>(cy) - r * std::sin(radians))});
  }
  points.push_back(POINT{toCoordinate(static_cast<double>(cx)), toCoordinate(static_cast<double>(cy))});
  return points;
}

int signalBarHeight(int height, int cn) {
  if (height <= 0 || cn <= 0) return 0;
  int64_t bar = static_cast<int64_t>(height) * cn / 50;
  return static_cast<int>(std::min<int64_t>(bar, height));
}

}  // namespace skinlet

using skinlet::kColorKey;

void CSkinlet::SL_SetPaintAnimationType(int type) {
  AnimationType = skinlet::clampAnimationType(type);
  NeedAnimation = 1;
}

void CSkinlet::SL_ChangePaintAnimationType(int type) { AnimationType = skinlet::clampAnimationType(type); }

void CSkinlet::SL_NeedPaintAnimation() { NeedAnimation = 1; }

void CSkinlet::SL_PaintAnimationStop() { NeedAnimation = 0; }

HDC CSkinlet::SL_PaintBegin() {
  // A paint that was begun and never finished is finished now, so its contexts are not lost.
  if (PaintBegun) releasePaintContexts();
  PaintDC = BeginPaint(hViewWnd, &PaintInfo);
  PaintBegun = true;
  SourceDC = CreateCompatibleDC(PaintDC);
  FrameDC = CreateCompatibleDC(PaintDC);
  FrameBitmap = CreateCompatibleBitmap(PaintDC, ScreenWidth, ScreenHeight);
  // Without a frame bitmap the paint goes into the context's own (empty) bitmap.
  FrameOldBitmap = FrameBitmap ? SelectObject(FrameDC, FrameBitmap) : nullptr;
  SourceOldBitmap = nullptr;

  tagMenu* page = CurrentPage();
  if (page) {
    paintBackground(*page);
    SetBkMode(FrameDC, TRANSPARENT);
    paintPictures(*page);
    paintTables(*page);
    if (EffectPending || FullRepaint) paintControlLooks(*page);
    paintSectors(*page);
    paintTexts(*page);
    paintSignals(*page);
  } else {
    SetBkMode(FrameDC, TRANSPARENT);
    KillTimer(hViewWnd, 890);
    TxtScrollTimerOn = 0;
  }
  SL_PaintEffect(0);
  return FrameDC;
}

void CSkinlet::SL_PaintEnd() {
  // Without a frame context there is nothing to play or copy; the paint is still ended and
  // the controls the opening effect hid come back.
  if (FrameDC) {
    if (NeedAnimation) SL_AnimationProc();
    BitBlt(PaintDC, 0, 0, ScreenWidth, ScreenHeight, FrameDC, 0, 0, SRCCOPY);
  }
  if (PaintBegun) releasePaintContexts();
  btnShowAll(1);
  prgShowAll(1);
  segShowAll(1);
  if (TblPictureMode) {
    PicLoadIndex = 0;
    PicLoadStop = 0;
    SetTimer(hViewWnd, skinlet::kTablePictureTimer, skinlet::kTablePicturePeriodMs, nullptr);
  }
  FullRepaint = 0;
}

void CSkinlet::releasePaintContexts() {
  if (SourceDC) {
    if (SourceOldBitmap) SelectObject(SourceDC, SourceOldBitmap);
    DeleteDC(SourceDC);
  }
  if (FrameDC) {
    if (FrameOldBitmap) SelectObject(FrameDC, FrameOldBitmap);
    DeleteDC(FrameDC);
  }
  if (FrameBitmap) DeleteObject(FrameBitmap);
  EndPaint(hViewWnd, &PaintInfo);
  PaintBegun = false;
  SourceDC = FrameDC = PaintDC = nullptr;
  FrameBitmap = nullptr;
  FrameOldBitmap = SourceOldBitmap = nullptr;
}

// Selects `bitmap` into the source context; false (nothing selected) for a null bitmap.
bool CSkinlet::selectSource(HBITMAP bitmap) {
  if (!bitmap || !SourceDC) return false;
  HGDIOBJ old = SelectObject(SourceDC, bitmap);
  if (!old) return false;
  if (!SourceOldBitmap) SourceOldBitmap = old;
  return true;
}

void CSkinlet::paintBackground(tagMenu& page) {
  if (!page.BgBitmap) return;
  int width = 0, height = 0;
  if (!skinlet::bitmapSize(page.BgBitmap, width, height)) return;
  // The view port may be larger than the picture or the screen: only what exists is copied.
  width = std::min({page.MainViewPort.Width, width, ScreenWidth});
  height = std::min({page.MainViewPort.Hight, height, ScreenHeight});
  if (width <= 0 || height <= 0 || !selectSource(page.BgBitmap)) return;
  BitBlt(FrameDC, 0, 0, width, height, SourceDC, 0, 0, SRCCOPY);
}

void CSkinlet::paintPictures(tagMenu& page) {
  for (const tagPicture& picture : page.Pictures) {
    if (!(picture.PicType & 0x1)) continue;
    if (picture.ActionIndex < 0 || static_cast<size_t>(picture.ActionIndex) >= picture.Images.size()) continue;
    HBITMAP bitmap = picture.Images[static_cast<size_t>(picture.ActionIndex)].hImg;
    int width = 0, height = 0;
    if (!skinlet::bitmapSize(bitmap, width, height)) continue;
    const tagArea& area = picture.PicArea;
    if (area.Width <= 0 || area.Hight <= 0) continue;
    TransparentImage(FrameDC, area.LocX, area.LocY, area.Width, area.Hight, bitmap, 0, 0, width, height, kColorKey);
  }
}

void CSkinlet::paintTables(tagMenu& page) {
  for (tagTable& item : page.Tables) {
    if (!(item.ActionType & 0x1)) continue;
    const tagArea& area = item.ItemArea;
    if ((item.IsSelected & 0x1) && area.Width > 0 && area.Hight > 0 && selectSource(item.BgBitmap)) {
      tagArea grown = ExtendArea(area, skinlet::kSelectionMargin);
      StretchBlt(FrameDC, grown.LocX, grown.LocY, grown.Width, grown.Hight, SourceDC, 0, 0, area.Width, area.Hight,
                 SRCCOPY);
    }
    if (!TblPictureMode) {
      HBITMAP image = nullptr;
      if (item.ActionType & 0x2) {
        image = item.DirBitmap;
      } else if (item.ActionType & 0x4) {
        image = item.FileBitmap;
      } else if (item.ActionType & 0x8) {
        image = item.IsSelected == 1 && item.DirBitmap ? item.DirBitmap : item.FileBitmap;
      } else if (item.ActionType & 0x10) {
        image = item.FileBitmap;
      } else {
        continue;
      }
      if (area.Width > 0 && area.Hight > 0 && selectSource(image))
        BitBlt(FrameDC, area.LocX, area.LocY, area.Width, area.Hight, SourceDC, 0, 0, SRCCOPY);
    }
    if (item.IsSelected & 0x2) {
      HPEN pen = CreatePen(PS_SOLID, 1, item.SelColor);
      HGDIOBJ oldPen = SelectObject(FrameDC, pen);
      HGDIOBJ oldBrush = SelectObject(FrameDC, GetStockObject(NULL_BRUSH));
      RECT rect = AreaToRect(area);
      Rectangle(FrameDC, rect.left, rect.top, rect.right, rect.bottom);
      SelectObject(FrameDC, oldBrush);
      SelectObject(FrameDC, oldPen);
      DeleteObject(pen);
    }
    paintTableText(item);
  }
}

void CSkinlet::paintControlLooks(tagMenu& page) {
  for (const tagButton& button : page.Buttons) {
    if (button.ActionType & 0x100) continue;
    if (button.StateIndex < 0 || static_cast<size_t>(button.StateIndex) >= button.ImgUp.size()) continue;
    HBITMAP bitmap = button.ImgUp[static_cast<size_t>(button.StateIndex)].hImg;
    int width = 0, height = 0;
    if (!skinlet::bitmapSize(bitmap, width, height)) continue;
    TransparentImage(FrameDC, button.BtnArea.LocX, button.BtnArea.LocY, width, height, bitmap, 0, 0, width, height,
                     kColorKey);
  }
  paintButtonTexts(page);
  for (const tagProgress& progress : page.Progresses) {
    // Every bar's background, hidden or not: the track belongs to the page's look.
    const tagArea& area = progress.PrgArea;
    if (!progress.BackBitmap || area.Width <= 0 || area.Hight <= 0) continue;
    TransparentImage(FrameDC, area.LocX, area.LocY, area.Width, area.Hight, progress.BackBitmap, 0, 0, area.Width,
                     area.Hight, kColorKey);
  }
  for (const tagEightSeg& segment : page.EightSegs) {
    if (segment.Flags & 0x100) continue;
    const tagArea& area = segment.SegArea;
    const tagArea& crop = segment.SegCrop;
    if (!segment.BgBitmap || area.Width <= 0 || area.Hight <= 0 || crop.Width <= 0 || crop.Hight <= 0) continue;
    TransparentImage(FrameDC, area.LocX, area.LocY, area.Width, area.Hight, segment.BgBitmap, crop.LocX, crop.LocY,
                     crop.Width, crop.Hight, kColorKey);
  }
}

void CSkinlet::paintSectors(tagMenu& page) {
  for (const tagSector& sector : page.Sectors) {
    std::vector<POINT> points = skinlet::sectorPoints(sector);
    // Only the centre: an empty sector shows nothing.
    if (points.size() < 2) continue;
    HBRUSH brush = CreateSolidBrush((sector.SecType & 0x1) ? sector.SecHiColor : sector.SecColor);
    HPEN pen = CreatePen(PS_SOLID, 1, sector.SecStrockColor);
    HGDIOBJ oldBrush = SelectObject(FrameDC, brush);
    HGDIOBJ oldPen = SelectObject(FrameDC, pen);
    Polygon(FrameDC, points.data(), static_cast<int>(points.size()));
    SelectObject(FrameDC, oldPen);
    SelectObject(FrameDC, oldBrush);
    DeleteObject(pen);
    DeleteObject(brush);
  }
}

void CSkinlet::paintSignals(tagMenu& page) {
  if (page.Signals.empty()) return;
  const tagSignal& first = page.Signals.front();
  skinlet::ScopedFont font(FrameDC, first.SigNumFont, first.SigNumSize);
  SetTextColor(FrameDC, first.SigNumColor);
  for (const tagSignal& signal : page.Signals) {
    if (signal.ActionType != 0 && signal.ActionType != 1) continue;
    const tagArea& area = signal.SigArea;
    const int bar = skinlet::signalBarHeight(area.Hight, signal.SigCN);
    if (bar > 0 && area.Width > 0) {
      RECT rect = AreaToRect(area);
      rect.top = static_cast<LONG>(static_cast<int64_t>(rect.bottom) - bar);
      HBRUSH brush = CreateSolidBrush(signal.ActionType == 1 ? signal.SigValidColor : signal.SigInvalidColor);
      FillRect(FrameDC, &rect, brush);
      DeleteObject(brush);
    }
    WCHAR number[16];
    wsprintfW(number, u"%d", signal.SigNum);
    RECT numberRect = AreaToRect(signal.SigNumArea);
    DrawTextW(FrameDC, number, -1, &numberRect, static_cast<UINT>(signal.SigNumAlign) | DT_SINGLELINE);
    if (signal.SigCN > 0) {
      wsprintfW(number, u"%d", signal.SigCN);
      RECT cnRect = AreaToRect(signal.SigCNArea);
      DrawTextW(FrameDC, number, -1, &cnRect, static_cast<UINT>(signal.SigCNAlign) | DT_SINGLELINE);
    }
  }
}
