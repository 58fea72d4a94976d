// A set of disjoint rectangles: the window system's own region arithmetic for visible and
// update regions. GDI regions (HRGN) are made from it only where a DC needs a clip.
#pragma once

#include <vector>

#include "plat_types.h"

namespace plat::window {

class RectSet {
 public:
  RectSet() = default;
  explicit RectSet(const RECT& r) { add(r); }

  bool empty() const { return rects_.empty(); }
  const std::vector<RECT>& rects() const { return rects_; }
  void clear() { rects_.clear(); }

  // Union with one rectangle (pieces already covered are not added twice).
  void add(const RECT& r);
  void add(const RectSet& other);
  void subtract(const RECT& r);
  void subtract(const RectSet& other);
  void intersect(const RECT& r);
  void intersect(const RectSet& other);
  void offset(int dx, int dy);
  bool contains(int x, int y) const;
  RECT bounds() const;
  long long area() const;
  bool sameArea(const RectSet& other) const;

 private:
  std::vector<RECT> rects_;
};

inline bool rectEmpty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }
RECT rectIntersect(const RECT& a, const RECT& b);

}  // namespace plat::window
