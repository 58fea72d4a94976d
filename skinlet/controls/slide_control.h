// SlideControl: the child window that shows a page's slide items as one scrolling strip. A
// drag scrolls it, a swipe keeps it moving (timer 100) and a tap on an item sends WM_COMMAND
// with the item's action id to the screen window.
#pragma once

#include <vector>

#include "skin_types.h"
#include "windows.h"

class SlideControl {
 public:
  static constexpr const WCHAR* ClassName = u"SlideClass";
  static constexpr UINT_PTR InertiaTimer = 100;
  static constexpr COLORREF FocusColor = 0x00FFFF;

  SlideControl(HWND parent, HINSTANCE instance);
  ~SlideControl();
  SlideControl(const SlideControl&) = delete;
  SlideControl& operator=(const SlideControl&) = delete;

  // Creates the window at the hosting item's SldArea.
  HWND Create(const tagSlide& host);
  // Takes the page's whole slide list: background and orientation of its last item, and the
  // size of the content.
  void SetItems(std::vector<tagSlide>* items);
  // Action id of the item under a client point along the orientation, or -1.
  int HitTest(POINT point) const;

  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  // One press at a time in the whole library: where it began, the last move, and when.
  static POINT PressPoint;
  static POINT LastPoint;
  static DWORD PressTime;

  HWND hWnd = nullptr;
  HWND hParent = nullptr;
  HINSTANCE hInstance = nullptr;
  int ActionID = 0;

  std::vector<tagSlide>* Items = nullptr;
  HBITMAP BgImg = nullptr;
  int Horizontal = 0;
  int Width = 0;
  int Height = 0;
  int ContentWidth = 0;
  int ContentHeight = 0;
  int OffsetX = 0;
  int OffsetY = 0;
  int PressedId = -1;
  int Dragging = 0;
  int IrFocus = 0;
  int Speed = 0;
  int Direction = 0;

 private:
  POINT Clamp(POINT p) const;
  void LimitOffsets();
  void OnLButtonDown(LPARAM lParam);
  void OnMouseMove(LPARAM lParam);
  void OnLButtonUp(LPARAM lParam);
  void OnInertia();
  void Paint();
  void Redraw() { InvalidateRect(hWnd, nullptr, FALSE); }
};
