#include "gdi/device_context.h"

#include <unordered_map>

#include "plat_core.h"

namespace plat::gdi {

HGDIOBJ stockObject(int which);

namespace {

struct DcTable {
  std::mutex mutex;
  std::unordered_map<uintptr_t, std::shared_ptr<DeviceContext>> dcs;
  uintptr_t next = 0x80000;
  // What a new memory context holds before a bitmap is selected: nothing to draw on.
  HGDIOBJ defaultBitmap = nullptr;
};

DcTable& dcTable() {
  static DcTable* t = new DcTable;
  return *t;
}

HDC addDC(std::shared_ptr<DeviceContext> dc) {
  DcTable& t = dcTable();
  std::lock_guard lock(t.mutex);
  t.next += 4;
  t.dcs.emplace(t.next, std::move(dc));
  return reinterpret_cast<HDC>(t.next);
}

std::shared_ptr<DeviceContext> removeDC(HDC handle) {
  DcTable& t = dcTable();
  std::lock_guard lock(t.mutex);
  auto it = t.dcs.find(reinterpret_cast<uintptr_t>(handle));
  if (it == t.dcs.end()) return nullptr;
  std::shared_ptr<DeviceContext> dc = std::move(it->second);
  t.dcs.erase(it);
  return dc;
}

HGDIOBJ defaultBitmapHandle() {
  static HGDIOBJ handle = [] {
    auto b = Bitmap::createSurfaceFormat(1, 1);
    b->stock = true;
    return addObject(b);
  }();
  return handle;
}

void initState(DcState& s) {
  s.brushHandle = stockObject(WHITE_BRUSH);
  s.brush = findAs<BrushObject>(s.brushHandle, ObjectKind::Brush);
  s.penHandle = stockObject(BLACK_PEN);
  s.pen = findAs<PenObject>(s.penHandle, ObjectKind::Pen);
  s.fontHandle = stockObject(SYSTEM_FONT);
  s.font = findAs<FontObject>(s.fontHandle, ObjectKind::Font);
}

}  // namespace

std::shared_ptr<DeviceContext> findDC(HDC handle) {
  DcTable& t = dcTable();
  std::lock_guard lock(t.mutex);
  auto it = t.dcs.find(reinterpret_cast<uintptr_t>(handle));
  return it == t.dcs.end() ? nullptr : it->second;
}

PixelView DeviceContext::pixels() {
  PixelView v;
  if (isSurface) {
    v.base = surface.pixels;
    v.stride = surface.stride;
    v.width = surface.pixels ? surface.width : 0;
    v.height = surface.pixels ? surface.height : 0;
    return v;
  }
  if (!state.bitmap || state.bitmap->stock) return v;
  if (state.bitmap->direct()) return state.bitmap->directView();
  v.width = state.bitmap->width;
  v.height = state.bitmap->height;
  return v;
}

const Region& DeviceContext::clip() {
  if (clipValid_) return clip_;
  const PixelView px = pixels();
  clip_.setRect(RECT{0, 0, px.width, px.height});
  if (isSurface && hasVisible) clip_.intersect(visible);
  if (state.hasClip) {
    Region c = state.clip;
    c.offset(origin.x, origin.y);
    clip_.intersect(c);
  }
  clipValid_ = true;
  return clip_;
}

DrawScope::DrawScope(DeviceContext& dc, const RECT& bounds, bool write) {
  clip_ = dc.clip();
  clip_.intersectRect(bounds);
  if (clip_.empty()) return;
  if (Bitmap* b = dc.bitmap(); b && !b->direct()) {
    lock_ = std::make_unique<PixelLock>(*b, clip_.box(), write);
  } else {
    if (dc.isSurface && dc.surface.damage) surfaceHeld_ = std::unique_lock(dc.surface.damage->pixels());
    view_ = dc.pixels();
    if (write && dc.isSurface) damage_ = dc.surface.damage;
  }
}

DrawScope::~DrawScope() {
  if (damage_) damage_->add(clip_.box());
}

void DamageLog::add(const RECT& r) {
  if (r.right <= r.left || r.bottom <= r.top) return;
  std::lock_guard<std::mutex> g(lock_);
  area_.combineRect(r, Region::Op::Or);
}

std::vector<RECT> DamageLog::take() {
  std::lock_guard<std::mutex> g(lock_);
  std::vector<RECT> out = area_.rects();
  area_.clear();
  return out;
}

HDC createSurfaceDC(const Surface& surface, POINT origin, HRGN visible) {
  auto dc = std::make_shared<DeviceContext>();
  dc->isSurface = true;
  dc->surface = surface;
  dc->origin = origin;
  dc->hasVisible = visible != nullptr;
  if (visible) copyRegion(visible, dc->visible);
  initState(dc->state);
  return addDC(dc);
}

void setSurfaceDCVisible(HDC handle, POINT origin, HRGN visible) {
  auto dc = findDC(handle);
  if (!dc) return;
  std::lock_guard lock(dc->mutex);
  dc->origin = origin;
  dc->hasVisible = visible != nullptr;
  if (visible) copyRegion(visible, dc->visible);
  else dc->visible.clear();
  dc->invalidateClip();
}

void deleteSurfaceDC(HDC handle) { removeDC(handle); }

}  // namespace plat::gdi

using namespace plat::gdi;

HDC CreateCompatibleDC(HDC) {
  auto dc = std::make_shared<DeviceContext>();
  initState(dc->state);
  dc->state.bitmapHandle = defaultBitmapHandle();
  dc->state.bitmap = findBitmap(dc->state.bitmapHandle);
  return addDC(dc);
}

BOOL DeleteDC(HDC handle) {
  auto dc = removeDC(handle);
  if (!dc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

HGDIOBJ SelectObject(HDC handle, HGDIOBJ object) {
  auto dc = findDC(handle);
  std::shared_ptr<GdiObject> o = findObject(object);
  if (!dc || !o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  std::lock_guard lock(dc->mutex);
  DcState& s = dc->state;
  HGDIOBJ previous = nullptr;
  switch (o->kind) {
    case ObjectKind::Brush:
      previous = s.brushHandle;
      s.brush = std::static_pointer_cast<BrushObject>(o);
      s.brushHandle = object;
      break;
    case ObjectKind::Pen:
      previous = s.penHandle;
      s.pen = std::static_pointer_cast<PenObject>(o);
      s.penHandle = object;
      break;
    case ObjectKind::Font:
      previous = s.fontHandle;
      s.font = std::static_pointer_cast<FontObject>(o);
      s.fontHandle = object;
      break;
    case ObjectKind::Bitmap:
      if (dc->isSurface) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
      }
      previous = s.bitmapHandle;
      s.bitmap = std::static_pointer_cast<Bitmap>(o);
      s.bitmapHandle = object;
      dc->invalidateClip();
      break;
    case ObjectKind::Region: {
      // Selecting a region sets the clip to a copy of it and returns the region's type.
      s.hasClip = true;
      s.clip = static_cast<RegionObject&>(*o).region;
      dc->invalidateClip();
      return reinterpret_cast<HGDIOBJ>(static_cast<uintptr_t>(s.clip.type()));
    }
  }
  return previous;
}

HGDIOBJ GetCurrentObject(HDC handle, UINT kind) {
  auto dc = findDC(handle);
  if (!dc) return nullptr;
  std::lock_guard lock(dc->mutex);
  switch (kind) {
    case OBJ_PEN: return dc->state.penHandle;
    case OBJ_BRUSH: return dc->state.brushHandle;
    case OBJ_FONT: return dc->state.fontHandle;
    case OBJ_BITMAP: return dc->state.bitmapHandle;
    default: return nullptr;
  }
}

int SaveDC(HDC handle) {
  auto dc = findDC(handle);
  if (!dc) return 0;
  std::lock_guard lock(dc->mutex);
  dc->saved.push_back(dc->state);
  return static_cast<int>(dc->saved.size());
}

BOOL RestoreDC(HDC handle, int which) {
  auto dc = findDC(handle);
  if (!dc) return FALSE;
  std::lock_guard lock(dc->mutex);
  const int n = static_cast<int>(dc->saved.size());
  // Negative: relative to the most recent save (-1 is the last one).
  const int index = which < 0 ? n + which + 1 : which;
  if (index < 1 || index > n) return FALSE;
  dc->state = dc->saved[static_cast<size_t>(index - 1)];
  dc->saved.resize(static_cast<size_t>(index - 1));
  dc->invalidateClip();
  return TRUE;
}

#define DC_ACCESSOR(Setter, Getter, field, type, bad)        \
  type Setter(HDC handle, type value) {                      \
    auto dc = findDC(handle);                                \
    if (!dc) return bad;                                     \
    std::lock_guard lock(dc->mutex);                         \
    type previous = dc->state.field;                         \
    dc->state.field = value;                                 \
    return previous;                                         \
  }                                                          \
  type Getter(HDC handle) {                                  \
    auto dc = findDC(handle);                                \
    if (!dc) return bad;                                     \
    std::lock_guard lock(dc->mutex);                         \
    return dc->state.field;                                  \
  }

DC_ACCESSOR(SetTextColor, GetTextColor, textColor, COLORREF, CLR_INVALID)
DC_ACCESSOR(SetBkColor, GetBkColor, bkColor, COLORREF, CLR_INVALID)

int SetBkMode(HDC handle, int mode) {
  auto dc = findDC(handle);
  if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  std::lock_guard lock(dc->mutex);
  const int previous = dc->state.bkMode;
  dc->state.bkMode = mode;
  return previous;
}

int GetBkMode(HDC handle) {
  auto dc = findDC(handle);
  if (!dc) return 0;
  std::lock_guard lock(dc->mutex);
  return dc->state.bkMode;
}

int SelectClipRgn(HDC handle, HRGN region) {
  auto dc = findDC(handle);
  if (!dc) return ERROR;
  std::lock_guard lock(dc->mutex);
  if (!region) {
    dc->state.hasClip = false;
    dc->state.clip.clear();
  } else {
    if (!copyRegion(region, dc->state.clip)) return ERROR;
    dc->state.hasClip = true;
  }
  dc->invalidateClip();
  const Region& c = dc->clip();
  return c.type();
}

int IntersectClipRect(HDC handle, int left, int top, int right, int bottom) {
  auto dc = findDC(handle);
  if (!dc) return ERROR;
  std::lock_guard lock(dc->mutex);
  const RECT r{left, top, right, bottom};
  if (dc->state.hasClip) {
    dc->state.clip.intersectRect(r);
  } else {
    dc->state.hasClip = true;
    dc->state.clip.setRect(r);
  }
  dc->invalidateClip();
  return dc->clip().type();
}

int GetClipBox(HDC handle, LPRECT rect) {
  auto dc = findDC(handle);
  if (!dc || !rect) return ERROR;
  std::lock_guard lock(dc->mutex);
  const Region& c = dc->clip();
  RECT b = c.box();
  if (!c.empty()) {
    b.left -= dc->origin.x;
    b.right -= dc->origin.x;
    b.top -= dc->origin.y;
    b.bottom -= dc->origin.y;
  }
  *rect = b;
  return c.type();
}
