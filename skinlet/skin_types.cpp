#include "skin_types.h"

namespace {

// Script values are arbitrary 32-bit numbers: sums wrap as the device's 32-bit arithmetic
// does instead of overflowing.
int32_t add(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
int32_t sub(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

}  // namespace

tagRECT AreaToRect(const tagArea& area) {
  return tagRECT{area.LocX, area.LocY, add(area.LocX, area.Width), add(area.LocY, area.Hight)};
}

tagArea RectToArea(const tagRECT& rect) {
  return tagArea{rect.left, rect.top, sub(rect.right, rect.left), sub(rect.bottom, rect.top)};
}

tagRECT ExtendRect(const tagRECT& rect, int n) {
  return tagRECT{sub(rect.left, n), sub(rect.top, n), add(rect.right, n), add(rect.bottom, n)};
}

tagArea ExtendArea(const tagArea& area, int n) {
  int32_t twice = static_cast<int32_t>(static_cast<uint32_t>(n) * 2u);
  return tagArea{sub(area.LocX, n), sub(area.LocY, n), add(area.Width, twice), add(area.Hight, twice)};
}
