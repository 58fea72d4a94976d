// The window region of a page with a shaped outline: the page's mask bitmap, whose black
// pixels are cut out of the window.
#include <cstdint>
#include <vector>

#include "painter_internal.h"
#include "skinlet.h"

void CSkinlet::SL_MakeWindowRgn(HWND hwnd) {
  tagMenu* page = CurrentPage();
  if (!page || page->Region != 1) return;
  int width = 0, height = 0;
  // Without a mask every pixel would count as cut: the window would vanish. It keeps its shape.
  if (!skinlet::bitmapSize(page->MaskBitmap, width, height)) {
    OutputDebugStringW(u"*E:CSkinlet::SL_MakeWindowRgn : the page has no mask bitmap, window region unchanged\n");
    return;
  }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // rows from the top
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
  HDC dc = CreateCompatibleDC(nullptr);
  const int rows = GetDIBits(dc, page->MaskBitmap, 0, static_cast<UINT>(height), pixels.data(), &info,
                             DIB_RGB_COLORS);
  DeleteDC(dc);
  if (rows != height) {
    OutputDebugStringW(u"*E:CSkinlet::SL_MakeWindowRgn : the mask bitmap cannot be read, window region unchanged\n");
    return;
  }

  HRGN region = CreateRectRgn(0, 0, width, height);
  HRGN cut = CreateRectRgn(0, 0, 0, 0);
  // Each run of black pixels of a row is cut at once: the same region as cutting them one by
  // one, with one region operation per run instead of per pixel.
  for (int y = 0; y < height; ++y) {
    const uint32_t* row = pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
    for (int x = 0; x < width;) {
      if (row[x] & 0xFFFFFF) {
        ++x;
        continue;
      }
      int end = x + 1;
      while (end < width && !(row[end] & 0xFFFFFF)) ++end;
      SetRectRgn(cut, x, y, end, y + 1);
      CombineRgn(region, region, cut, RGN_DIFF);
      x = end;
    }
  }
  DeleteObject(cut);

  // The region kept before is ours only when its window refused it; a window deletes its own.
  if (WindowRgn && WindowRgnOwned) DeleteObject(WindowRgn);
  WindowRgn = region;
  WindowRgnOwned = false;
  if (!SetWindowRgn(hwnd, region, TRUE)) {
    OutputDebugStringW(u"SetWindowRgn Error!\n");
    WindowRgnOwned = true;
  }
}
