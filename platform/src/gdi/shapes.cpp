// Pens and brushes on shapes: Rectangle, Polygon (alternate fill), Polyline, LineTo.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "gdi/paint.h"

using namespace plat::gdi;

namespace {

bool penDraws(const DcState& s) { return s.pen && s.pen->style != PS_NULL; }
bool brushFills(const DcState& s) { return s.brush && !s.brush->null; }

// Scope covering everything a shape with these device-coordinate bounds may touch.
RECT boundsOf(const std::vector<POINT>& pts, int pad) {
  RECT r{pts[0].x, pts[0].y, pts[0].x, pts[0].y};
  for (const POINT& p : pts) {
    r.left = std::min(r.left, p.x);
    r.top = std::min(r.top, p.y);
    r.right = std::max(r.right, p.x);
    r.bottom = std::max(r.bottom, p.y);
  }
  return RECT{r.left - pad, r.top - pad, r.right + 1 + pad, r.bottom + 1 + pad};
}

// Cuts a long line to the part near `box` (Liang-Barsky), so that a line to a far-away point
// costs no more than one across the bitmap.
bool clipLong(POINT& a, POINT& b, const RECT& box, int margin) {
  const double x0 = a.x, y0 = a.y, ddx = double(b.x) - a.x, ddy = double(b.y) - a.y;
  double t0 = 0, t1 = 1;
  const double p[4] = {-ddx, ddx, -ddy, ddy};
  const double q[4] = {x0 - (box.left - margin), (box.right + margin) - x0, y0 - (box.top - margin),
                       (box.bottom + margin) - y0};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0) t0 = std::max(t0, t);
    else t1 = std::min(t1, t);
  }
  if (t0 > t1) return false;
  const POINT na{static_cast<LONG>(std::lround(x0 + t0 * ddx)), static_cast<LONG>(std::lround(y0 + t0 * ddy))};
  const POINT nb{static_cast<LONG>(std::lround(x0 + t1 * ddx)), static_cast<LONG>(std::lround(y0 + t1 * ddy))};
  a = na;
  b = nb;
  return true;
}

// A line from a to b without its end point, as horizontal runs handed to the clipper.
void drawLine(const DrawScope& scope, POINT a, POINT b, uint32_t pixel, int width) {
  const RECT box = scope.clip().box();
  const int64_t span = int64_t(box.right - box.left) + (box.bottom - box.top) + 4 * width + 64;
  if (std::max(std::abs(int64_t(b.x) - a.x), std::abs(int64_t(b.y) - a.y)) > 4 * span) {
    // Only far-reaching lines are cut; ordinary ones keep their exact pixels.
    if (!clipLong(a, b, box, width + 2)) return;
  }
  const int dx = std::abs(b.x - a.x), dy = std::abs(b.y - a.y);
  const int sx = a.x < b.x ? 1 : -1, sy = a.y < b.y ? 1 : -1;
  const int steps = std::max(dx, dy);
  const int lo = -(width - 1) / 2, hi = width / 2 + 1;  // square pen footprint
  auto plot = [&](int x0, int x1, int y) {  // x0 <= x1, inclusive
    for (int k = lo; k < hi; ++k) fillSpan(scope, y + k, x0 + lo, x1 + hi, pixel);
  };
  if (dy == 0) {
    if (steps) plot(std::min(a.x, b.x - sx), std::max(a.x, b.x - sx), a.y);
    return;
  }
  // Bresenham, collecting consecutive pixels of one row into a run.
  int x = a.x, y = a.y, err = dx - dy;
  int runStart = x;
  for (int i = 0; i < steps; ++i) {
    const int e2 = 2 * err;
    int nx = x, ny = y;
    if (e2 > -dy) { err -= dy; nx += sx; }
    if (e2 < dx) { err += dx; ny += sy; }
    if (ny != y || i == steps - 1) {
      plot(std::min(runStart, x), std::max(runStart, x), y);
      runStart = nx;
    }
    x = nx;
    y = ny;
  }
}

// Even-odd fill sampled at pixel centres: a pixel is inside when its centre is.
void fillPolygon(const DrawScope& scope, const std::vector<POINT>& pts, uint32_t pixel) {
  const RECT box = scope.clip().box();
  int ymin = pts[0].y, ymax = pts[0].y;
  for (const POINT& p : pts) {
    ymin = std::min<int>(ymin, p.y);
    ymax = std::max<int>(ymax, p.y);
  }
  ymin = std::max<int>(ymin, box.top);
  ymax = std::min<int>(ymax, box.bottom);
  std::vector<double> xs;
  const size_t n = pts.size();
  for (int y = ymin; y < ymax; ++y) {
    const double yc = y + 0.5;
    xs.clear();
    for (size_t i = 0; i < n; ++i) {
      const POINT& p = pts[i];
      const POINT& q = pts[(i + 1) % n];
      if (p.y == q.y) continue;
      const double y0 = std::min(p.y, q.y), y1 = std::max(p.y, q.y);
      if (yc < y0 || yc >= y1) continue;
      xs.push_back(p.x + (yc - p.y) * double(q.x - p.x) / double(q.y - p.y));
    }
    std::sort(xs.begin(), xs.end());
    for (size_t i = 0; i + 1 < xs.size(); i += 2) {
      const int x0 = static_cast<int>(std::ceil(xs[i] - 0.5));
      const int x1 = static_cast<int>(std::ceil(xs[i + 1] - 0.5));
      fillSpan(scope, y, x0, x1, pixel);
    }
  }
}

std::vector<POINT> toDevice(const DeviceContext& dc, const POINT* points, int count) {
  std::vector<POINT> out(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) out[static_cast<size_t>(i)] = POINT{dc.toDeviceX(points[i].x), dc.toDeviceY(points[i].y)};
  return out;
}

}  // namespace

BOOL Rectangle(HDC handle, int left, int top, int right, int bottom) {
  auto dc = findDC(handle);
  if (!dc) return FALSE;
  std::lock_guard lock(dc->mutex);
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  RECT r{dc->toDeviceX(left), dc->toDeviceY(top), dc->toDeviceX(right), dc->toDeviceY(bottom)};
  const DcState& s = dc->state;
  DrawScope scope(*dc, r);
  if (scope.empty()) return TRUE;
  if (!penDraws(s)) {
    // Without a pen the filled area is one pixel smaller to the right and bottom.
    if (brushFills(s)) fillRect(scope, RECT{r.left, r.top, r.right - 1, r.bottom - 1}, toPixel(s.brush->color));
    return TRUE;
  }
  const int w = std::max(1, s.pen->width);
  if (brushFills(s)) fillRect(scope, RECT{r.left + w, r.top + w, r.right - w, r.bottom - w}, toPixel(s.brush->color));
  const uint32_t pen = toPixel(s.pen->color);
  fillRect(scope, RECT{r.left, r.top, r.right, r.top + w}, pen);
  fillRect(scope, RECT{r.left, r.bottom - w, r.right, r.bottom}, pen);
  fillRect(scope, RECT{r.left, r.top, r.left + w, r.bottom}, pen);
  fillRect(scope, RECT{r.right - w, r.top, r.right, r.bottom}, pen);
  return TRUE;
}

BOOL Polygon(HDC handle, const POINT* points, int count) {
  auto dc = findDC(handle);
  if (!dc || !points || count < 2) return FALSE;
  std::lock_guard lock(dc->mutex);
  const DcState& s = dc->state;
  const std::vector<POINT> pts = toDevice(*dc, points, count);
  const int w = penDraws(s) ? s.pen->width : 0;
  DrawScope scope(*dc, boundsOf(pts, w));
  if (scope.empty()) return TRUE;
  if (brushFills(s) && count >= 3) fillPolygon(scope, pts, toPixel(s.brush->color));
  if (w) {
    for (size_t i = 0; i < pts.size(); ++i) drawLine(scope, pts[i], pts[(i + 1) % pts.size()], toPixel(s.pen->color), w);
  }
  return TRUE;
}

BOOL Polyline(HDC handle, const POINT* points, int count) {
  auto dc = findDC(handle);
  if (!dc || !points || count < 2) return FALSE;
  std::lock_guard lock(dc->mutex);
  const DcState& s = dc->state;
  if (!penDraws(s)) return TRUE;
  const std::vector<POINT> pts = toDevice(*dc, points, count);
  DrawScope scope(*dc, boundsOf(pts, s.pen->width));
  if (scope.empty()) return TRUE;
  for (size_t i = 0; i + 1 < pts.size(); ++i) drawLine(scope, pts[i], pts[i + 1], toPixel(s.pen->color), s.pen->width);
  return TRUE;
}

BOOL MoveToEx(HDC handle, int x, int y, LPPOINT previous) {
  auto dc = findDC(handle);
  if (!dc) return FALSE;
  std::lock_guard lock(dc->mutex);
  if (previous) *previous = dc->state.position;
  dc->state.position = POINT{x, y};
  return TRUE;
}

BOOL LineTo(HDC handle, int x, int y) {
  auto dc = findDC(handle);
  if (!dc) return FALSE;
  std::lock_guard lock(dc->mutex);
  DcState& s = dc->state;
  const POINT from = s.position;
  s.position = POINT{x, y};
  if (!penDraws(s)) return TRUE;
  const std::vector<POINT> pts{POINT{dc->toDeviceX(from.x), dc->toDeviceY(from.y)}, POINT{dc->toDeviceX(x), dc->toDeviceY(y)}};
  DrawScope scope(*dc, boundsOf(pts, s.pen->width));
  if (!scope.empty()) drawLine(scope, pts[0], pts[1], toPixel(s.pen->color), s.pen->width);
  return TRUE;
}
