// A region as banded rectangles: bands sorted top to bottom, never overlapping and never
// touching with equal spans (such neighbours are merged); inside a band, spans sorted left
// to right, disjoint and not touching. Equal areas therefore have equal representations.
#pragma once

#include <vector>

#include "plat_types.h"

namespace plat::gdi {

struct Band {
  int top = 0;
  int bottom = 0;
  // Pairs left, right (right exclusive).
  std::vector<int> xs;
};

class Region {
 public:
  enum class Op { And, Or, Xor, Diff };

  Region() = default;
  explicit Region(const RECT& rect) { setRect(rect); }

  void setRect(const RECT& rect);
  void clear() { bands_.clear(); }
  bool empty() const { return bands_.empty(); }
  // NULLREGION, SIMPLEREGION or COMPLEXREGION.
  int type() const;
  RECT box() const;
  bool contains(int x, int y) const;
  void offset(int dx, int dy);
  bool operator==(const Region& other) const;

  // this = a op b.
  static Region combine(const Region& a, const Region& b, Op op);
  // this = this op rect, touching only the bands the rectangle's rows cross. This keeps
  // cutting a region one pixel at a time cheap.
  void combineRect(const RECT& rect, Op op);
  void intersect(const Region& other) { *this = combine(*this, other, Op::And); }
  void intersectRect(const RECT& rect);

  const std::vector<Band>& bands() const { return bands_; }
  std::vector<RECT> rects() const;
  // Index of the band holding row y, or -1.
  int bandAt(int y) const;

 private:
  void coalesce(size_t from, size_t to);
  std::vector<Band> bands_;
};

}  // namespace plat::gdi
