// The window region of a page with a shaped outline: the page's mask bitmap, whose black
// pixels are cut out of the window.
#include <algorithm>
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
  // No screen is larger than this; what lies beyond it can never be seen through.
  constexpr int kLargestScreen = 8192;
  width = std::min(width, kLargestScreen);
  height = std::min(height, kLargestScreen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // rows from the top
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  // One row at a time: the memory a mask takes does not grow with its height.
  std::vector<uint32_t> row(static_cast<size_t>(width));
  HDC dc = CreateCompatibleDC(nullptr);
  HRGN region = CreateRectRgn(0, 0, width, height);
  HRGN cut = CreateRectRgn(0, 0, 0, 0);
  bool readable = true;
  // Each run of black pixels of a row is cut at once: the same region as cutting them one by
  // one, with one region operation per run instead of per pixel.
  for (int y = 0; y < height && readable; ++y) {
    if (GetDIBits(dc, page->MaskBitmap, static_cast<UINT>(y), 1, row.data(), &info, DIB_RGB_COLORS) != 1) {
      readable = false;
      break;
    }
    for (int x = 0; x < width;) {
      if (row[static_cast<size_t>(x)] & 0xFFFFFF) {
        ++x;
        continue;
      }
      int end = x + 1;
      while (end < width && !(row[static_cast<size_t>(end)] & 0xFFFFFF)) ++end;
      SetRectRgn(cut, x, y, end, y + 1);
      CombineRgn(region, region, cut, RGN_DIFF);
      x = end;
    }
  }
  DeleteObject(cut);
  DeleteDC(dc);
  if (!readable) {
    DeleteObject(region);
    OutputDebugStringW(u"*E:CSkinlet::SL_MakeWindowRgn : the mask bitmap cannot be read, window region unchanged\n");
    return;
  }

  // The region kept before is ours only when its window refused it; a window deletes its own.
  if (WindowRgn && WindowRgnOwned) DeleteObject(WindowRgn);
  WindowRgn = region;
  WindowRgnOwned = false;
  if (!SetWindowRgn(hwnd, region, TRUE)) {
    OutputDebugStringW(u"SetWindowRgn Error!\n");
    WindowRgnOwned = true;
  }
}
