// The window system's region arithmetic (visible and update regions), on GDI's banded
// regions: every operation is linear in the bands, and equal areas compare equal cheaply.
#pragma once

#include <vector>

#include "gdi/region.h"
#include "plat_types.h"

namespace plat::window {

inline bool rectEmpty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }
RECT rectIntersect(const RECT& a, const RECT& b);

class RectSet {
 public:
  using Op = plat::gdi::Region::Op;
  RectSet() = default;
  explicit RectSet(const RECT& r) { add(r); }

  bool empty() const { return region_.empty(); }
  std::vector<RECT> rects() const { return region_.rects(); }
  const plat::gdi::Region& region() const { return region_; }
  plat::gdi::Region& region() { return region_; }
  void clear() { region_.clear(); }

  void add(const RECT& r) {
    if (!rectEmpty(r)) region_.combineRect(r, Op::Or);
  }
  void add(const RectSet& o) { region_ = plat::gdi::Region::combine(region_, o.region_, Op::Or); }
  void subtract(const RECT& r) {
    if (!rectEmpty(r) && !region_.empty()) region_.combineRect(r, Op::Diff);
  }
  void subtract(const RectSet& o) {
    if (!o.empty() && !region_.empty()) region_ = plat::gdi::Region::combine(region_, o.region_, Op::Diff);
  }
  void intersect(const RECT& r) { region_.intersectRect(r); }
  void intersect(const RectSet& o) { region_.intersect(o.region_); }
  void offset(int dx, int dy) { region_.offset(dx, dy); }
  bool contains(int x, int y) const { return region_.contains(x, y); }
  RECT bounds() const { return region_.empty() ? RECT{0, 0, 0, 0} : region_.box(); }
  bool sameArea(const RectSet& o) const { return region_ == o.region_; }

 private:
  plat::gdi::Region region_;
};

}  // namespace plat::window
