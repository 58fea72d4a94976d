#include "window/rect_set.h"

#include <algorithm>

namespace plat::window {

RECT rectIntersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (rectEmpty(r)) r = RECT{0, 0, 0, 0};
  return r;
}

namespace {
// Appends the parts of `a` outside `b` (at most four pieces).
void cut(const RECT& a, const RECT& b, std::vector<RECT>& out) {
  RECT i = rectIntersect(a, b);
  if (rectEmpty(i)) {
    out.push_back(a);
    return;
  }
  if (a.top < i.top) out.push_back(RECT{a.left, a.top, a.right, i.top});
  if (i.bottom < a.bottom) out.push_back(RECT{a.left, i.bottom, a.right, a.bottom});
  if (a.left < i.left) out.push_back(RECT{a.left, i.top, i.left, i.bottom});
  if (i.right < a.right) out.push_back(RECT{i.right, i.top, a.right, i.bottom});
}
}  // namespace

void RectSet::add(const RECT& r) {
  if (rectEmpty(r)) return;
  std::vector<RECT> pieces{r};
  for (const RECT& e : rects_) {
    std::vector<RECT> next;
    for (const RECT& p : pieces) cut(p, e, next);
    pieces.swap(next);
    if (pieces.empty()) return;
  }
  rects_.insert(rects_.end(), pieces.begin(), pieces.end());
}

void RectSet::add(const RectSet& other) {
  for (const RECT& r : other.rects_) add(r);
}

void RectSet::subtract(const RECT& r) {
  if (rectEmpty(r) || rects_.empty()) return;
  std::vector<RECT> next;
  next.reserve(rects_.size() + 4);
  for (const RECT& e : rects_) cut(e, r, next);
  rects_.swap(next);
}

void RectSet::subtract(const RectSet& other) {
  for (const RECT& r : other.rects_) {
    if (rects_.empty()) return;
    subtract(r);
  }
}

void RectSet::intersect(const RECT& r) {
  std::vector<RECT> next;
  for (const RECT& e : rects_) {
    RECT i = rectIntersect(e, r);
    if (!rectEmpty(i)) next.push_back(i);
  }
  rects_.swap(next);
}

void RectSet::intersect(const RectSet& other) {
  std::vector<RECT> next;
  for (const RECT& e : rects_)
    for (const RECT& o : other.rects_) {
      RECT i = rectIntersect(e, o);
      if (!rectEmpty(i)) next.push_back(i);
    }
  rects_.swap(next);
}

void RectSet::offset(int dx, int dy) {
  for (RECT& r : rects_) {
    r.left += dx;
    r.right += dx;
    r.top += dy;
    r.bottom += dy;
  }
}

bool RectSet::contains(int x, int y) const {
  for (const RECT& r : rects_)
    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
  return false;
}

RECT RectSet::bounds() const {
  if (rects_.empty()) return RECT{0, 0, 0, 0};
  RECT b = rects_.front();
  for (const RECT& r : rects_) {
    b.left = std::min(b.left, r.left);
    b.top = std::min(b.top, r.top);
    b.right = std::max(b.right, r.right);
    b.bottom = std::max(b.bottom, r.bottom);
  }
  return b;
}

long long RectSet::area() const {
  long long a = 0;
  for (const RECT& r : rects_) a += static_cast<long long>(r.right - r.left) * (r.bottom - r.top);
  return a;
}

bool RectSet::sameArea(const RectSet& other) const {
  if (area() != other.area()) return false;
  RectSet d = *this;
  d.subtract(other);
  return d.empty();
}

}  // namespace plat::window
