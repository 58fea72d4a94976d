// The region calls on top of the banded Region.
#include "gdi/gdi_bridge.h"
#include "gdi/gdi_objects.h"
#include "plat_core.h"

using namespace plat::gdi;

namespace {

RECT normalized(int l, int t, int r, int b) {
  // Rectangles given right-to-left or bottom-to-top mean the same area.
  if (l > r) std::swap(l, r);
  if (t > b) std::swap(t, b);
  return RECT{l, t, r, b};
}

}  // namespace

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
  auto r = std::make_shared<RegionObject>();
  r->region.setRect(normalized(left, top, right, bottom));
  return addObject(r);
}

HRGN CreateRectRgnIndirect(const RECT* rect) {
  if (!rect) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return CreateRectRgn(rect->left, rect->top, rect->right, rect->bottom);
}

BOOL SetRectRgn(HRGN region, int left, int top, int right, int bottom) {
  std::shared_ptr<RegionObject> keep;
  Region* r = regionOf(region, keep);
  if (!r) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  r->setRect(normalized(left, top, right, bottom));
  return TRUE;
}

int CombineRgn(HRGN dst, HRGN src1, HRGN src2, int mode) {
  std::shared_ptr<RegionObject> kd, k1, k2;
  Region* d = regionOf(dst, kd);
  Region* a = regionOf(src1, k1);
  Region* b = mode == RGN_COPY ? nullptr : regionOf(src2, k2);
  if (!d || !a || (mode != RGN_COPY && !b)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return ERROR;
  }
  Region::Op op;
  switch (mode) {
    case RGN_AND: op = Region::Op::And; break;
    case RGN_OR: op = Region::Op::Or; break;
    case RGN_XOR: op = Region::Op::Xor; break;
    case RGN_DIFF: op = Region::Op::Diff; break;
    case RGN_COPY:
      if (d != a) *d = *a;
      return d->type();
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return ERROR;
  }
  // Combining in place with a rectangle (one pixel of a mask, a window) touches only the
  // bands it crosses.
  if (d == a && b != d && b->type() == SIMPLEREGION) {
    d->combineRect(b->box(), op);
  } else {
    *d = Region::combine(*a, *b, op);
  }
  return d->type();
}

int OffsetRgn(HRGN region, int dx, int dy) {
  std::shared_ptr<RegionObject> keep;
  Region* r = regionOf(region, keep);
  if (!r) {
    SetLastError(ERROR_INVALID_HANDLE);
    return ERROR;
  }
  r->offset(dx, dy);
  return r->type();
}

BOOL PtInRegion(HRGN region, int x, int y) {
  std::shared_ptr<RegionObject> keep;
  Region* r = regionOf(region, keep);
  return r && r->contains(x, y);
}

int GetRgnBox(HRGN region, LPRECT rect) {
  std::shared_ptr<RegionObject> keep;
  Region* r = regionOf(region, keep);
  if (!r || !rect) {
    SetLastError(ERROR_INVALID_HANDLE);
    return ERROR;
  }
  *rect = r->box();
  return r->type();
}

BOOL EqualRgn(HRGN a, HRGN b) {
  std::shared_ptr<RegionObject> ka, kb;
  Region* ra = regionOf(a, ka);
  Region* rb = regionOf(b, kb);
  if (!ra || !rb) return ERROR;
  return *ra == *rb ? TRUE : FALSE;
}

namespace plat::gdi {

std::vector<RECT> regionRects(HRGN region) {
  std::shared_ptr<RegionObject> keep;
  Region* r = regionOf(region, keep);
  return r ? r->rects() : std::vector<RECT>{};
}

bool copyRegion(HRGN handle, Region& out) {
  std::shared_ptr<RegionObject> keep;
  Region* r = regionOf(handle, keep);
  if (!r) {
    out.clear();
    return false;
  }
  out = *r;
  return true;
}

}  // namespace plat::gdi
