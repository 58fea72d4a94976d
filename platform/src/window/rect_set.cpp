#include "window/rect_set.h"

#include <algorithm>

namespace plat::window {

RECT rectIntersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (rectEmpty(r)) r = RECT{0, 0, 0, 0};
  return r;
}

}  // namespace plat::window
