// What the window system needs from GDI: device contexts that draw onto a surface of
// 32-bit pixels (the screen), clipped to a window's visible region, and region rectangles.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "gdi/region.h"
#include "plat_gdi.h"

namespace plat::gdi {

// Where a surface was drawn on since the presenter last looked: every drawing call through a
// context of the surface adds the box it wrote to, once it has written. Any thread.
// A followed surface is read by another thread (the presenter, the snapshot writer) while
// its owner draws: every drawing call on it, and every reader, holds `pixels()` meanwhile.
class DamageLog {
 public:
  void add(const RECT& r);
  // The area drawn on since the last take, as disjoint rectangles; empties the log.
  std::vector<RECT> take();
  // Recursive: a copy from the screen onto the screen holds it as source and as target.
  std::recursive_mutex& pixels() { return pixels_; }

 private:
  std::recursive_mutex pixels_;
  std::mutex lock_;
  Region area_;
};

// 32-bit pixels 0x00RRGGBB, rows top-down, stride in pixels.
struct Surface {
  uint32_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;
  DamageLog* damage = nullptr;  // null: nobody follows what changes
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
