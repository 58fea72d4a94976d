#include "gdi/region.h"

#include <algorithm>
#include <climits>

namespace plat::gdi {
namespace {

bool evalOp(Region::Op op, bool a, bool b) {
  switch (op) {
    case Region::Op::And: return a && b;
    case Region::Op::Or: return a || b;
    case Region::Op::Xor: return a != b;
    case Region::Op::Diff: return a && !b;
  }
  return false;
}

// Walks the boundaries of both span lists once; every boundary toggles its list's state.
void combineSpans(const std::vector<int>& a, const std::vector<int>& b, Region::Op op, std::vector<int>& out) {
  out.clear();
  size_t i = 0, j = 0;
  bool inA = false, inB = false, inside = false;
  int start = 0;
  while (i < a.size() || j < b.size()) {
    const int xa = i < a.size() ? a[i] : INT_MAX;
    const int xb = j < b.size() ? b[j] : INT_MAX;
    const int x = std::min(xa, xb);
    if (xa == x) { inA = !inA; ++i; }
    if (xb == x) { inB = !inB; ++j; }
    const bool now = evalOp(op, inA, inB);
    if (now == inside) continue;
    if (now) {
      start = x;
    } else {
      out.push_back(start);
      out.push_back(x);
    }
    inside = now;
  }
}

// Index of the first span (pair) whose right end is beyond x (or at x when `touch`).
size_t firstSpanEndingAfter(const std::vector<int>& xs, int x, bool touch) {
  size_t lo = 0, hi = xs.size() / 2;
  while (lo < hi) {
    const size_t mid = (lo + hi) / 2;
    const int right = xs[2 * mid + 1];
    if (touch ? right < x : right <= x) lo = mid + 1;
    else hi = mid;
  }
  return lo;
}

// Subtracts or adds [l, r) to one band's spans in place; false when nothing changed.
bool editSpans(std::vector<int>& xs, int l, int r, Region::Op op) {
  const bool add = op == Region::Op::Or;
  const size_t n = xs.size() / 2;
  const size_t i = firstSpanEndingAfter(xs, l, add);
  size_t j = i;
  while (j < n && (add ? xs[2 * j] <= r : xs[2 * j] < r)) ++j;
  int pieces[4];
  int count = 0;
  if (add) {
    if (j == i + 1 && xs[2 * i] <= l && xs[2 * i + 1] >= r) return false;
    pieces[count++] = i < j ? std::min(l, xs[2 * i]) : l;
    pieces[count++] = i < j ? std::max(r, xs[2 * j - 1]) : r;
  } else {
    if (i == j) return false;
    if (xs[2 * i] < l) {
      pieces[count++] = xs[2 * i];
      pieces[count++] = l;
    }
    if (xs[2 * j - 1] > r) {
      pieces[count++] = r;
      pieces[count++] = xs[2 * j - 1];
    }
  }
  const auto from = xs.begin() + static_cast<long>(2 * i);
  const long removed = static_cast<long>(2 * (j - i));
  if (count <= removed) {
    std::copy(pieces, pieces + count, from);
    xs.erase(from + count, from + removed);
  } else {
    std::copy(pieces, pieces + removed, from);
    xs.insert(from + removed, pieces + removed, pieces + count);
  }
  return true;
}

void appendBand(std::vector<Band>& bands, int top, int bottom, std::vector<int>& xs) {
  if (xs.empty() || top >= bottom) return;
  if (!bands.empty() && bands.back().bottom == top && bands.back().xs == xs) {
    bands.back().bottom = bottom;
    return;
  }
  bands.push_back(Band{top, bottom, xs});
}

}  // namespace

void Region::setRect(const RECT& r) {
  bands_.clear();
  if (r.left >= r.right || r.top >= r.bottom) return;
  bands_.push_back(Band{r.top, r.bottom, {r.left, r.right}});
}

int Region::type() const {
  if (bands_.empty()) return 1;  // NULLREGION
  if (bands_.size() == 1 && bands_[0].xs.size() == 2) return 2;  // SIMPLEREGION
  return 3;  // COMPLEXREGION
}

RECT Region::box() const {
  if (bands_.empty()) return RECT{0, 0, 0, 0};
  RECT r{INT_MAX, bands_.front().top, INT_MIN, bands_.back().bottom};
  for (const Band& b : bands_) {
    r.left = std::min(r.left, b.xs.front());
    r.right = std::max(r.right, b.xs.back());
  }
  return r;
}

int Region::bandAt(int y) const {
  auto it = std::upper_bound(bands_.begin(), bands_.end(), y, [](int v, const Band& b) { return v < b.bottom; });
  if (it == bands_.end() || it->top > y) return -1;
  return static_cast<int>(it - bands_.begin());
}

bool Region::contains(int x, int y) const {
  const int k = bandAt(y);
  if (k < 0) return false;
  const std::vector<int>& xs = bands_[k].xs;
  // The first boundary beyond x: an odd index means x lies inside a span.
  const size_t pos = std::upper_bound(xs.begin(), xs.end(), x) - xs.begin();
  return (pos & 1) != 0;
}

void Region::offset(int dx, int dy) {
  if (bands_.empty()) return;
  const RECT bounds = box();
  const int64_t lim = 1 << 30;
  if (int64_t(bounds.left) + dx >= -lim && int64_t(bounds.right) + dx <= lim && int64_t(bounds.top) + dy >= -lim &&
      int64_t(bounds.bottom) + dy <= lim) {
    for (Band& band : bands_) {
      band.top += dy;
      band.bottom += dy;
      for (int& x : band.xs) x += dx;
    }
    return;
  }
  // Held within +-2^30 so that moving a region far away and back cannot overflow.
  auto move = [](int v, int d) {
    const int64_t r = int64_t(v) + d;
    return static_cast<int>(r < -(1 << 30) ? -(1 << 30) : r > (1 << 30) ? (1 << 30) : r);
  };
  for (Band& b : bands_) {
    b.top = move(b.top, dy);
    b.bottom = move(b.bottom, dy);
    for (int& x : b.xs) x = move(x, dx);
  }
  // Clamping may have squeezed bands or spans to nothing.
  std::vector<Band> kept;
  for (Band& b : bands_) {
    std::vector<int> xs;
    for (size_t i = 0; i < b.xs.size(); i += 2)
      if (b.xs[i] < b.xs[i + 1]) {
        if (!xs.empty() && xs.back() == b.xs[i]) xs.back() = b.xs[i + 1];
        else xs.insert(xs.end(), {b.xs[i], b.xs[i + 1]});
      }
    appendBand(kept, b.top, b.bottom, xs);
  }
  bands_ = std::move(kept);
}

bool Region::operator==(const Region& other) const {
  if (bands_.size() != other.bands_.size()) return false;
  for (size_t i = 0; i < bands_.size(); ++i) {
    const Band& a = bands_[i];
    const Band& b = other.bands_[i];
    if (a.top != b.top || a.bottom != b.bottom || a.xs != b.xs) return false;
  }
  return true;
}

Region Region::combine(const Region& a, const Region& b, Op op) {
  Region result;
  const std::vector<Band>& ba = a.bands_;
  const std::vector<Band>& bb = b.bands_;
  const std::vector<int> none;
  std::vector<int> xs;
  size_t ia = 0, ib = 0;
  int y = INT_MIN;
  while (ia < ba.size() || ib < bb.size()) {
    const Band* A = ia < ba.size() ? &ba[ia] : nullptr;
    const Band* B = ib < bb.size() ? &bb[ib] : nullptr;
    const int ya = A ? std::max(A->top, y) : INT_MAX;
    const int yb = B ? std::max(B->top, y) : INT_MAX;
    const int y0 = std::min(ya, yb);
    const bool aOn = A && A->top <= y0;
    const bool bOn = B && B->top <= y0;
    const int endA = A ? (aOn ? A->bottom : A->top) : INT_MAX;
    const int endB = B ? (bOn ? B->bottom : B->top) : INT_MAX;
    const int y1 = std::min(endA, endB);
    combineSpans(aOn ? A->xs : none, bOn ? B->xs : none, op, xs);
    appendBand(result.bands_, y0, y1, xs);
    y = y1;
    if (A && A->bottom <= y) ++ia;
    if (B && B->bottom <= y) ++ib;
  }
  return result;
}

void Region::coalesce(size_t from, size_t to) {
  to = std::min(to, bands_.size());
  if (from >= to) return;
  size_t out = from;
  for (size_t k = from + 1; k < to; ++k) {
    Band& last = bands_[out];
    if (last.bottom == bands_[k].top && last.xs == bands_[k].xs) {
      last.bottom = bands_[k].bottom;
    } else if (++out != k) {
      bands_[out] = std::move(bands_[k]);
    }
  }
  bands_.erase(bands_.begin() + static_cast<long>(out + 1), bands_.begin() + static_cast<long>(to));
}

void Region::combineRect(const RECT& r, Op op) {
  if (op == Op::And) {
    intersectRect(r);
    return;
  }
  if (r.left >= r.right || r.top >= r.bottom) return;
  // The rows of the rectangle lie inside one band (always so once a mask has been cut for a
  // while): change that band's spans, splitting it when the rectangle covers part of its rows.
  if (const int k = bandAt(r.top); k >= 0 && bands_[static_cast<size_t>(k)].bottom >= r.bottom) {
    static thread_local std::vector<int> scratch;
    Band& band = bands_[static_cast<size_t>(k)];
    if (op != Op::Xor && band.top == r.top && band.bottom == r.bottom) {
      // The common case once a mask is being cut: the band is exactly the rectangle's rows.
      if (!editSpans(band.xs, r.left, r.right, op)) return;
      const size_t at = static_cast<size_t>(k);
      if (band.xs.empty()) {
        bands_.erase(bands_.begin() + k);
        coalesce(at > 0 ? at - 1 : 0, at + 1);
      } else {
        coalesce(at > 0 ? at - 1 : 0, at + 2);
      }
      return;
    }
    if (op == Op::Xor) {
      const std::vector<int> rect{static_cast<int>(r.left), static_cast<int>(r.right)};
      combineSpans(band.xs, rect, op, scratch);
    } else {
      scratch = band.xs;
      if (!editSpans(scratch, r.left, r.right, op)) return;
    }
    size_t at = static_cast<size_t>(k);
    if (band.top < r.top) {
      // Keep the rows above as they were.
      Band above{band.top, static_cast<int>(r.top), band.xs};
      band.top = r.top;
      bands_.insert(bands_.begin() + static_cast<long>(at), std::move(above));
      ++at;
    }
    if (bands_[at].bottom > r.bottom) {
      Band below{static_cast<int>(r.bottom), bands_[at].bottom, bands_[at].xs};
      bands_[at].bottom = r.bottom;
      bands_.insert(bands_.begin() + static_cast<long>(at + 1), std::move(below));
    }
    bands_[at].xs.swap(scratch);
    if (bands_[at].xs.empty()) {
      bands_.erase(bands_.begin() + static_cast<long>(at));
      coalesce(at > 0 ? at - 1 : 0, at + 1);
    } else {
      coalesce(at > 0 ? at - 1 : 0, at + 2);
    }
    return;
  }
  auto first = std::upper_bound(bands_.begin(), bands_.end(), static_cast<int>(r.top),
                                [](int v, const Band& b) { return v < b.bottom; });
  auto last = first;
  while (last != bands_.end() && last->top < r.bottom) ++last;
  const size_t i0 = static_cast<size_t>(first - bands_.begin());
  Region part;
  part.bands_.assign(std::make_move_iterator(first), std::make_move_iterator(last));
  Region done = combine(part, Region(r), op);
  bands_.erase(first, last);
  const size_t n = done.bands_.size();
  bands_.insert(bands_.begin() + static_cast<long>(i0), std::make_move_iterator(done.bands_.begin()),
                std::make_move_iterator(done.bands_.end()));
  coalesce(i0 > 0 ? i0 - 1 : 0, i0 + n + 1);
}

void Region::intersectRect(const RECT& r) {
  if (r.left >= r.right || r.top >= r.bottom) {
    bands_.clear();
    return;
  }
  std::vector<Band> kept;
  kept.reserve(bands_.size());
  for (Band& b : bands_) {
    const int top = std::max<int>(b.top, r.top);
    const int bottom = std::min<int>(b.bottom, r.bottom);
    if (top >= bottom) continue;
    std::vector<int> xs;
    for (size_t i = 0; i < b.xs.size(); i += 2) {
      const int l = std::max<int>(b.xs[i], r.left);
      const int rr = std::min<int>(b.xs[i + 1], r.right);
      if (l < rr) {
        xs.push_back(l);
        xs.push_back(rr);
      }
    }
    appendBand(kept, top, bottom, xs);
  }
  bands_ = std::move(kept);
}

std::vector<RECT> Region::rects() const {
  std::vector<RECT> out;
  for (const Band& b : bands_)
    for (size_t i = 0; i < b.xs.size(); i += 2) out.push_back(RECT{b.xs[i], b.top, b.xs[i + 1], b.bottom});
  return out;
}

}  // namespace plat::gdi
