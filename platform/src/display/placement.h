// Where the screen lies in a window of another size, and the nearest-neighbour copy of a
// changed part of it into the window's pixels: shared by the window backends.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "plat_types.h"

namespace plat::display {

// Where the screen lies in the window: `scale` window pixels per screen pixel, or (full screen)
// as large as fits, centred. Maps screen rectangles to window rectangles and window points
// back to screen points, with the same rounding both ways.
struct Placement {
  int screenW = 0, screenH = 0;  // the screen
  int x = 0, y = 0, w = 0, h = 0;  // its picture in the window

  void fit(int sw, int sh, int windowW, int windowH, int scale) {
    screenW = sw;
    screenH = sh;
    if (scale > 0) {
      w = sw * scale;
      h = sh * scale;
    } else if (static_cast<int64_t>(windowW) * sh <= static_cast<int64_t>(windowH) * sw) {
      w = windowW;
      h = static_cast<int>(static_cast<int64_t>(sh) * windowW / sw);
    } else {
      h = windowH;
      w = static_cast<int>(static_cast<int64_t>(sw) * windowH / sh);
    }
    x = scale > 0 ? 0 : (windowW - w) / 2;
    y = scale > 0 ? 0 : (windowH - h) / 2;
  }
  // First window column showing screen column `sx` (sx = screenW: one past the last).
  int toWindowX(int sx) const { return x + static_cast<int>((static_cast<int64_t>(sx) * w + screenW - 1) / screenW); }
  int toWindowY(int sy) const { return y + static_cast<int>((static_cast<int64_t>(sy) * h + screenH - 1) / screenH); }
  int toScreenX(int wx) const {
    int64_t v = (static_cast<int64_t>(wx) - x) * screenW / std::max(w, 1);
    return static_cast<int>(std::clamp<int64_t>(v, 0, screenW - 1));
  }
  int toScreenY(int wy) const {
    int64_t v = (static_cast<int64_t>(wy) - y) * screenH / std::max(h, 1);
    return static_cast<int>(std::clamp<int64_t>(v, 0, screenH - 1));
  }
};

// Nearest-neighbour copy of the screen rectangle `r` of `frame` into 32-bit window pixels.
inline void scaleInto(const Placement& p, const uint32_t* frame, const RECT& r, uint32_t* out, int outPitchPixels,
                      int outX, int outY) {
  int x0 = p.toWindowX(r.left), x1 = p.toWindowX(r.right);
  int y0 = p.toWindowY(r.top), y1 = p.toWindowY(r.bottom);
  std::vector<int> columns(static_cast<size_t>(std::max(x1 - x0, 0)));
  for (int wx = x0; wx < x1; ++wx) columns[static_cast<size_t>(wx - x0)] = p.toScreenX(wx);
  for (int wy = y0; wy < y1; ++wy) {
    const uint32_t* src = frame + static_cast<size_t>(p.toScreenY(wy)) * static_cast<size_t>(p.screenW);
    uint32_t* dst = out + static_cast<ptrdiff_t>(wy - outY) * outPitchPixels - outX;
    for (int wx = x0; wx < x1; ++wx) dst[wx] = src[columns[static_cast<size_t>(wx - x0)]];
  }
}

}  // namespace plat::display
