// Shared pieces of the child controls (see control_support.h).
#include "controls/control_support.h"

#include <algorithm>

namespace skinlet {

HWND createControlWindow(void* object, LPCWSTR className, LPCWSTR windowName, WNDPROC proc, const tagArea& area,
                         HWND parent, HINSTANCE instance, int identifier, bool visible) {
  WNDCLASSW wc{};
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.hbrBackground = nullptr;
  wc.lpszClassName = className;
  RegisterClassW(&wc);  // fails harmlessly when the class exists from an earlier control
  const DWORD style = WS_CHILD | (visible ? WS_VISIBLE : 0);
  HWND window = CreateWindowExW(0, className, windowName, style, area.LocX, area.LocY, area.Width, area.Hight, parent,
                                reinterpret_cast<HMENU>(static_cast<intptr_t>(identifier)), instance, nullptr);
  if (!window) {
    NKDbgPrintfW(u"*E:CSkinlet::LoadImages : no window for control %d (error %u)\n", identifier,
                 static_cast<unsigned>(GetLastError()));
    return nullptr;
  }
  SetWindowLongPtrW(window, GWL_USERDATA, reinterpret_cast<LONG_PTR>(object));
  SendMessageW(window, WM_CREATE, 0, 0);
  return window;
}

bool stillAttached(HWND window, const void* object) {
  return window && IsWindow(window) && GetWindowLongPtrW(window, GWL_USERDATA) == reinterpret_cast<LONG_PTR>(object);
}

void detachControl(HWND window) { SetWindowLongPtrW(window, GWL_USERDATA, 0); }

void destroyControlWindow(HWND& window) {
  if (!window) return;
  HWND doomed = window;
  window = nullptr;
  detachControl(doomed);
  DestroyWindow(doomed);
}

SIZE bitmapSize(HBITMAP bitmap) {
  BITMAP info{};
  if (!bitmap || GetObjectW(bitmap, sizeof info, &info) == 0) return SIZE{0, 0};
  return SIZE{info.bmWidth, info.bmHeight < 0 ? -info.bmHeight : info.bmHeight};
}

void drawKeyed(HDC dc, HBITMAP bitmap, int64_t x, int64_t y, int64_t w, int64_t h, int64_t sx, int64_t sy) {
  if (!bitmap) return;
  SIZE size = bitmapSize(bitmap);
  if (sx < 0 || sy < 0) return;
  w = std::min<int64_t>(w, size.cx - sx);
  h = std::min<int64_t>(h, size.cy - sy);
  if (w <= 0 || h <= 0) return;
  // Far outside any context: nothing to draw, and nothing to overflow in the blit.
  if (x < -65536 || y < -65536 || x > 65536 || y > 65536) return;
  TransparentImage(dc, static_cast<int>(x), static_cast<int>(y), static_cast<int>(w), static_cast<int>(h), bitmap,
                   static_cast<int>(sx), static_cast<int>(sy), static_cast<int>(w), static_cast<int>(h), kColourKey);
}

POINT pointOf(LPARAM lParam) { return POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; }

bool clientContains(HWND window, POINT point) {
  RECT client{};
  GetClientRect(window, &client);
  return PtInRect(&client, point) != FALSE;
}

MemoryCanvas::MemoryCanvas(HDC target, int width, int height) : width_(std::max(width, 0)), height_(std::max(height, 0)) {
  dc_ = CreateCompatibleDC(target);
  bitmap_ = CreateCompatibleBitmap(target, width_, height_);
  if (dc_ && bitmap_) old_ = SelectObject(dc_, bitmap_);
}

MemoryCanvas::~MemoryCanvas() {
  if (dc_ && old_) SelectObject(dc_, old_);
  if (bitmap_) DeleteObject(bitmap_);
  if (dc_) DeleteDC(dc_);
}

void MemoryCanvas::copyTo(HDC target) const {
  if (width_ > 0 && height_ > 0) BitBlt(target, 0, 0, width_, height_, dc_, 0, 0, SRCCOPY);
}

void MemoryCanvas::copyFrom(HDC source) {
  if (width_ > 0 && height_ > 0) BitBlt(dc_, 0, 0, width_, height_, source, 0, 0, SRCCOPY);
}

BitmapSource::BitmapSource(HDC like, HBITMAP bitmap) : dc_(CreateCompatibleDC(like)) {
  old_ = SelectObject(dc_, bitmap);
}

BitmapSource::~BitmapSource() {
  SelectObject(dc_, old_);
  DeleteDC(dc_);
}

const WCHAR* skinFaceName(int face) {
  static const WCHAR* const kFaces[] = {u"", u"", u"System", u"Tahoma", u"Arial", u"微软雅黑", u"MS Gothic"};
  if (face < 0 || face >= static_cast<int>(std::size(kFaces))) return u"";
  return kFaces[face];
}

SkinFont::SkinFont(HDC dc, int face, int size) : dc_(dc) {
  font_ = CreateFontW(size, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                      DEFAULT_QUALITY, DEFAULT_PITCH, skinFaceName(face));
  old_ = font_ ? SelectObject(dc_, font_) : nullptr;
  SetBkMode(dc_, TRANSPARENT);
}

SkinFont::~SkinFont() {
  if (old_) SelectObject(dc_, old_);
  if (font_) DeleteObject(font_);
}

size_t boundedLength(const WCHAR* text, size_t size) {
  if (!text) return 0;
  size_t n = 0;
  while (n < size && text[n]) ++n;
  return n;
}

void drawFittedText(HDC dc, const WCHAR* text, int length, RECT rect, UINT align) {
  if (!text || length <= 0) return;
  SIZE extent{};
  GetTextExtentPoint32W(dc, text, length, &extent);
  UINT format = align & 0xFFFFFF;
  if (extent.cx > rect.right - rect.left) format |= DT_END_ELLIPSIS;
  DrawTextW(dc, text, length, &rect, format);
}

}  // namespace skinlet
