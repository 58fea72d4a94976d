// SegmentControl: the child window of an eight-segment display. It draws the characters of
// the record's text (' ', '0' to '9' and ':') as polygons of up to nine segments over a cut of
// its background image, and reports a release inside as WM_COMMAND to the screen window.
#pragma once

#include "skin_types.h"
#include "windows.h"

class SegmentControl {
 public:
  static constexpr const WCHAR* ClassName = u"Eight Segments";

  // The nine segments, in the order of their bits in SegmentsOf.
  enum Segment {
    UpperLeft,
    LowerLeft,
    Top,
    UpperRight,
    LowerRight,
    Bottom,
    Middle,
    UpperDot,
    LowerDot,
    SegmentCount
  };
  // Lit segments of a character as bits (1 << Segment); -1 for characters that are not drawn.
  static int SegmentsOf(WCHAR c);
  // The corner points of a segment of the cell at (x, y); returns their number (4 or 8).
  int SegmentPoints(Segment segment, int x, int y, POINT* points) const;

  SegmentControl(HWND parent, HINSTANCE instance);
  ~SegmentControl();
  SegmentControl(const SegmentControl&) = delete;
  SegmentControl& operator=(const SegmentControl&) = delete;

  void SetRecord(tagEightSeg& segment);
  HWND Create(const tagEightSeg& segment);

  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  HWND hWnd = nullptr;
  HWND hParent = nullptr;
  HINSTANCE hInstance = nullptr;
  int ActionID = 0;

  HBITMAP BgImg = nullptr;
  const tagArea* Crop = nullptr;
  const WCHAR* Text = nullptr;
  const int32_t* SegType = nullptr;
  const int32_t* SegShowType = nullptr;
  COLORREF Color = 0;
  COLORREF HiColor = 0;
  COLORREF StrokeColor = 0;
  int Wd = 32;  // digit width
  int Hd = 60;  // digit height
  int S = 5;    // stroke width
  int G = 3;    // gap between strokes

 private:
  void Paint();
  void DrawCharacter(HDC dc, WCHAR c, int x, int y) const;
};
