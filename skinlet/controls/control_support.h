// What the four child controls share: their window class and creation, the object behind a
// window, off-screen composition, colour-keyed images and skin fonts.
#pragma once

#include <string_view>
#include <utility>

#include "skin_types.h"
#include "windows.h"

namespace skinlet {

// Colour that transparent images do not draw.
constexpr COLORREF kColourKey = 0xFA00FA;
// The hidden flag of buttons, progress bars (`ActionType`) and segment displays (`Flags`).
constexpr uint32_t kHiddenFlag = 0x100;

// Registers the control class (a repeated registration is harmless) and creates the control's
// window: a child, visible unless `visible` is false, extended style 0, at `area` in `parent`.
// The object is stored in the window's user data before the window gets its WM_CREATE, sent
// with zero parameters. Returns the window, or null with a console line.
HWND createControlWindow(void* object, LPCWSTR className, LPCWSTR windowName, WNDPROC proc, const tagArea& area,
                         HWND parent, HINSTANCE instance, int identifier, bool visible = true);

// The object stored in a control window's user data (null before it is stored and after the
// window is destroyed).
template <class Control>
Control* controlOf(HWND window) {
  return reinterpret_cast<Control*>(GetWindowLongPtrW(window, GWL_USERDATA));
}

// True while `window` still exists and still belongs to `object`. A control that sends a
// message asks this afterwards: the receiver may have released every control (a skin reload)
// and the control must then not touch itself again.
bool stillAttached(HWND window, const void* object);

// Forgets the object of a window that is being destroyed, so that no later message reaches a
// control that its owner may already have freed.
void detachControl(HWND window);

// Destroys a control's window from its owner's clean-up: the object is forgotten first, so the
// window never reaches an object that is going away, even when it cannot be destroyed here.
void destroyControlWindow(HWND& window);

// The pixel size of a bitmap; 0 x 0 for a null or unknown handle.
SIZE bitmapSize(HBITMAP bitmap);

// Script numbers are any 32-bit values: the controls compute positions in 64 bits and bring
// them back into range here, so that no sum of them can overflow.
inline int clampInt(int64_t v) {
  return static_cast<int>(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v);
}

// Draws `bitmap` with the colour key at (x, y), taking the w x h part at (sx, sy) of the
// bitmap, cut to what the bitmap holds (no stretching). Null bitmaps draw nothing.
void drawKeyed(HDC dc, HBITMAP bitmap, int64_t x, int64_t y, int64_t w, int64_t h, int64_t sx = 0, int64_t sy = 0);

// Points packed in a mouse message's lParam: signed 16-bit x and y.
POINT pointOf(LPARAM lParam);
bool clientContains(HWND window, POINT point);

// What every control answers alike: no background erase (its paint covers the window), its
// paint, closing, and on destruction the object forgets the window. Returns false, leaving
// `result` alone, for any other message.
template <class Control>
bool handleCommonMessage(Control* self, void (Control::*paint)(), HWND window, UINT msg, LRESULT& result) {
  switch (msg) {
    case WM_ERASEBKGND: break;
    case WM_PAINT: (self->*paint)(); break;
    case WM_CLOSE: DestroyWindow(window); break;
    case WM_DESTROY:
      detachControl(window);
      self->hWnd = nullptr;
      break;
    default: return false;
  }
  result = 0;
  return true;
}

// A memory context with a bitmap of the given size compatible with `target`; every control
// composes its picture here and copies it to the window in one piece, so it never flickers.
class MemoryCanvas {
 public:
  MemoryCanvas(HDC target, int width, int height);
  ~MemoryCanvas();
  MemoryCanvas(const MemoryCanvas&) = delete;
  MemoryCanvas& operator=(const MemoryCanvas&) = delete;
  HDC dc() const { return dc_; }
  int width() const { return width_; }
  int height() const { return height_; }
  // Copies the canvas to (0, 0) of `target`.
  void copyTo(HDC target) const;
  // Copies `source`'s pixels at (0, 0) into the canvas.
  void copyFrom(HDC source);

 private:
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

// Paints `window` in one piece: between BeginPaint and EndPaint, `draw(canvasDc, windowDc,
// client)` composes on a memory canvas of `width` x `height` (the client area's size when
// negative), which is then copied to the window. Nothing happens when there is no context.
template <class Draw>
void paintBuffered(HWND window, int width, int height, Draw&& draw) {
  PAINTSTRUCT ps{};
  HDC dc = BeginPaint(window, &ps);
  if (!dc) return;
  RECT client{};
  GetClientRect(window, &client);
  {
    MemoryCanvas canvas(dc, width < 0 ? client.right : width, height < 0 ? client.bottom : height);
    draw(canvas.dc(), dc, client);
    canvas.copyTo(dc);
  }
  EndPaint(window, &ps);
}
template <class Draw>
void paintBuffered(HWND window, Draw&& draw) {
  paintBuffered(window, -1, -1, std::forward<Draw>(draw));
}

// A memory context compatible with `like` with `bitmap` selected into it, to copy pixels from
// for a scope.
class BitmapSource {
 public:
  BitmapSource(HDC like, HBITMAP bitmap);
  ~BitmapSource();
  BitmapSource(const BitmapSource&) = delete;
  BitmapSource& operator=(const BitmapSource&) = delete;
  HDC dc() const { return dc_; }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// The font of a skin's face index and size, selected into a context for a scope and deleted
// after it. Text is drawn with a transparent background.
class SkinFont {
 public:
  SkinFont(HDC dc, int face, int size);
  ~SkinFont();
  SkinFont(const SkinFont&) = delete;
  SkinFont& operator=(const SkinFont&) = delete;

 private:
  HDC dc_;
  HFONT font_;
  HGDIOBJ old_;
};

// Face name of a skin's face index; indexes outside the table give the system default.
const WCHAR* skinFaceName(int face);

// Length of a fixed text buffer's text (never reads past `size` characters).
size_t boundedLength(const WCHAR* text, size_t size);

// Draws a text in `rect` with its alignment (low 24 bits), adding the end ellipsis when the
// text is wider than the rectangle.
void drawFittedText(HDC dc, const WCHAR* text, int length, RECT rect, UINT align);

}  // namespace skinlet
