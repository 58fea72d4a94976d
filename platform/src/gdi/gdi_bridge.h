// What the window system needs from GDI: device contexts that draw onto a surface of
// 32-bit pixels (the screen), clipped to a window's visible region, and region rectangles.
#pragma once

#include <cstdint>
#include <vector>

#include "plat_gdi.h"

namespace plat::gdi {

// 32-bit pixels 0x00RRGGBB, rows top-down, stride in pixels.
struct Surface {
  uint32_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;
};

// A DC drawing onto `surface`: logical (0,0) is surface point `origin`; every operation is
// clipped to `visible` (a region in surface coordinates, copied; null: the whole surface).
HDC createSurfaceDC(const Surface& surface, POINT origin, HRGN visible);
// Moves or re-clips such a DC (the window moved, the windows above it changed).
void setSurfaceDCVisible(HDC dc, POINT origin, HRGN visible);
// Deletes such a DC (ReleaseDC, EndPaint).
void deleteSurfaceDC(HDC dc);
// The rectangles of a region, in bands top to bottom, left to right.
std::vector<RECT> regionRects(HRGN region);

}  // namespace plat::gdi
