// ButtonControl: the child window of a skin button. It paints its released, pressed, disabled
// and remote-focus looks from the button's images and reports touches to the screen window:
// 0x20B and 0x207 on a press, 0x20A while held, 0x208 and WM_COMMAND on a release inside.
#pragma once

#include "skin_types.h"
#include "windows.h"

class ButtonControl {
 public:
  static constexpr const WCHAR* ClassName = u"VexaImgBtnClass";
  // Timers of the control window.
  static constexpr UINT_PTR RepeatTimer = 2000;      // every 200 ms while held
  static constexpr UINT_PTR HoldTimer = 2001;        // 1000 ms after the press
  static constexpr UINT_PTR FlashTimer = 2002;       // ends the 100 ms press flash
  static constexpr COLORREF NoImageColor = 0x646464;
  static constexpr COLORREF ShadowColor = 0x323232;

  ButtonControl(HWND parent, HINSTANCE instance);
  ~ButtonControl();  // destroys the window when it still exists
  ButtonControl(const ButtonControl&) = delete;
  ButtonControl& operator=(const ButtonControl&) = delete;

  // Takes the record's first images, its text, colours, font and text rectangle; ready.
  void SetRecord(tagButton& button);
  // Creates the window at the record's BtnArea (class "VexaImgBtnClass").
  HWND Create(const tagButton& button);

  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  // Set by a press on any button, cleared by the release: only one button is touched at a time.
  static int CaptureFlag;

  HWND hWnd = nullptr;
  HWND hParent = nullptr;
  HINSTANCE hInstance = nullptr;
  int ActionID = 0;

  HBITMAP UpImg = nullptr;
  HBITMAP DnImg = nullptr;
  HBITMAP GrayImg = nullptr;
  HBITMAP IrImg = nullptr;
  HBITMAP SavedDnImg = nullptr;
  HBITMAP SavedUpImg = nullptr;
  int State = 0;  // 0 released, 1 pressed, 2 disabled
  int Disabled = 0;
  int Ready = 0;
  int FlashPending = 0;
  RECT TextRect{};
  WCHAR* Text = nullptr;  // the record's Text
  COLORREF TxtColor = 0;
  COLORREF TxtSelColor = 0;
  int TxtSize = 20;
  int TxtFont = 1;
  UINT TxtAlign = 0x25;
  int IrFocus = 0;

 private:
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  void OnLButtonDown(LPARAM lParam);
  void OnLButtonUp(LPARAM lParam);
  void OnTimer(UINT_PTR id);
  void Paint();
  void PaintFlash(HDC dc);
  // The picture behind a pressed or disabled look that has no image of its own: the released
  // image over what the window shows, inverted.
  void DrawInverted(HDC dc);
  void DrawText(HDC dc, COLORREF color, bool useContextColour);
  void Redraw() { InvalidateRect(hWnd, nullptr, FALSE); }
};
