// ProgressControl: the child window of a progress bar or slider. It draws the background, the
// fill and the knob at its value and turns drags into values for the screen window:
// WM_COMMAND (action id, value) while dragging (posted) and at the release (sent), and after
// every release WM_COMMAND with the registered "MGSID_PROGRESS_LBUTTONUP" and the action id.
#pragma once

#include "skin_types.h"
#include "windows.h"

class ProgressControl {
 public:
  static constexpr const WCHAR* ClassName = u"VexaProgressClass";
  static constexpr const WCHAR* ReleaseMessageName = u"MGSID_PROGRESS_LBUTTONUP";
  static constexpr uint32_t ShowValueText = 0x10000;  // Flags: draw ValueText
  static constexpr uint32_t HorizontalBit = 0x1;      // Horizon
  static constexpr uint32_t InvertedBit = 0x2;        // Horizon, vertical only: 100 at the top

  ProgressControl(HWND parent, HINSTANCE instance);
  ~ProgressControl();
  ProgressControl(const ProgressControl&) = delete;
  ProgressControl& operator=(const ProgressControl&) = delete;

  void SetRecord(const tagProgress& progress);
  HWND Create(const tagProgress& progress);
  // Moves the knob to value v (0 to 100); ignored while disabled.
  void SetValue(int v);

  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  HWND hWnd = nullptr;
  HWND hParent = nullptr;
  HINSTANCE hInstance = nullptr;
  int ActionID = 0;

  HBITMAP BackImg = nullptr;
  HBITMAP IrBackImg = nullptr;
  HBITMAP PrgImg = nullptr;
  HBITMAP KnobImg = nullptr;
  int KnobWidth = 0;
  int KnobHeight = 0;
  RECT Track{};
  int Value = 0;
  int KnobX = 0;
  int KnobY = 0;
  uint32_t Flags = 0;
  uint32_t Horizon = 0;
  int TxtFont = 0;
  int TxtSize = 0;
  COLORREF TxtColor = 0;
  UINT TxtAlign = 5;
  WCHAR ValueText[SL_TEXT_LEN] = {};
  int IrFocus = 0;
  int Disabled = 0;
  int Dragging = 0;

 private:
  bool horizontal() const { return (Horizon & HorizontalBit) != 0; }
  bool inverted() const { return !horizontal() && (Horizon & InvertedBit) != 0; }
  // The knob's path along the bar: [start, end] in client coordinates.
  struct Span {
    int64_t start;
    int64_t end;
  };
  // The track shrunk by half the knob at both ends, `times` times.
  Span ShrunkTrack(int times) const;
  // The value of a pointer position on a span of the track.
  int ValueAt(LPARAM lParam, Span span) const;
  void OnMouseMove(LPARAM lParam);
  void OnLButtonUp(LPARAM lParam);
  void Paint();
  void Redraw() { InvalidateRect(hWnd, nullptr, FALSE); }
};
