#include "gdi/gdi_objects.h"

#include <unordered_map>

#include "gdi/bitmap.h"
#include "plat_core.h"

namespace plat::gdi {
namespace {

struct ObjectTable {
  std::mutex mutex;
  std::unordered_map<uintptr_t, std::shared_ptr<GdiObject>> objects;
  // Handles count up and are never reused, so a stale handle never finds a new object.
  uintptr_t next = 0x40000;
  size_t stockCount = 0;
  HGDIOBJ stock[SYSTEM_FONT + 1] = {};
};

ObjectTable& table() {
  static ObjectTable* t = new ObjectTable;  // lives for the whole process
  return *t;
}

HGDIOBJ addLocked(ObjectTable& t, std::shared_ptr<GdiObject> object) {
  t.next += 4;
  if (object->stock) ++t.stockCount;
  t.objects.emplace(t.next, std::move(object));
  return reinterpret_cast<HGDIOBJ>(t.next);
}

std::shared_ptr<GdiObject> makeStock(int which) {
  auto brush = [](COLORREF c, bool null) {
    auto b = std::make_shared<BrushObject>();
    b->color = c;
    b->null = null;
    return b;
  };
  auto pen = [](COLORREF c, int style) {
    auto p = std::make_shared<PenObject>();
    p->color = c;
    p->style = style;
    return p;
  };
  switch (which) {
    case WHITE_BRUSH: return brush(RGB(255, 255, 255), false);
    case LTGRAY_BRUSH: return brush(RGB(192, 192, 192), false);
    case GRAY_BRUSH: return brush(RGB(128, 128, 128), false);
    case DKGRAY_BRUSH: return brush(RGB(64, 64, 64), false);
    case BLACK_BRUSH: return brush(RGB(0, 0, 0), false);
    case NULL_BRUSH: return brush(0, true);
    case WHITE_PEN: return pen(RGB(255, 255, 255), PS_SOLID);
    case BLACK_PEN: return pen(0, PS_SOLID);
    case NULL_PEN: return pen(0, PS_NULL);
    case SYSTEM_FONT: {
      auto f = std::make_shared<FontObject>();
      f->logFont.lfWeight = FW_NORMAL;
      // The device's system font: its default face at a 16-pixel cell.
      f->logFont.lfHeight = 16;
      return f;
    }
    default: return nullptr;
  }
}

}  // namespace

HGDIOBJ addObject(std::shared_ptr<GdiObject> object) {
  ObjectTable& t = table();
  std::lock_guard lock(t.mutex);
  return addLocked(t, std::move(object));
}

std::shared_ptr<GdiObject> findObject(HGDIOBJ handle) {
  ObjectTable& t = table();
  std::lock_guard lock(t.mutex);
  auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
  return it == t.objects.end() ? nullptr : it->second;
}

std::shared_ptr<Bitmap> findBitmap(HGDIOBJ handle) { return findAs<Bitmap>(handle, ObjectKind::Bitmap); }

Region* regionOf(HRGN handle, std::shared_ptr<RegionObject>& keep) {
  keep = findAs<RegionObject>(handle, ObjectKind::Region);
  return keep ? &keep->region : nullptr;
}

size_t liveObjectCount() {
  ObjectTable& t = table();
  std::lock_guard lock(t.mutex);
  return t.objects.size() - t.stockCount;
}

HGDIOBJ stockObject(int which) {
  if (which < 0 || which > SYSTEM_FONT) return nullptr;
  ObjectTable& t = table();
  std::lock_guard lock(t.mutex);
  if (!t.stock[which]) {
    std::shared_ptr<GdiObject> o = makeStock(which);
    if (!o) return nullptr;
    o->stock = true;
    t.stock[which] = addLocked(t, std::move(o));
  }
  return t.stock[which];
}

}  // namespace plat::gdi

using namespace plat::gdi;

HGDIOBJ GetStockObject(int object) {
  HGDIOBJ h = stockObject(object);
  if (!h) SetLastError(ERROR_INVALID_PARAMETER);
  return h;
}

BOOL DeleteObject(HGDIOBJ object) {
  ObjectTable& t = table();
  std::shared_ptr<GdiObject> dying;  // released outside the lock
  {
    std::lock_guard lock(t.mutex);
    auto it = t.objects.find(reinterpret_cast<uintptr_t>(object));
    if (it == t.objects.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    if (it->second->stock) return TRUE;
    dying = std::move(it->second);
    t.objects.erase(it);
  }
  // A context that still holds the object keeps it alive until it selects another.
  return TRUE;
}

DWORD GetObjectType(HGDIOBJ object) {
  std::shared_ptr<GdiObject> o = findObject(object);
  if (!o) return 0;
  switch (o->kind) {
    case ObjectKind::Brush: return OBJ_BRUSH;
    case ObjectKind::Pen: return OBJ_PEN;
    case ObjectKind::Font: return OBJ_FONT;
    case ObjectKind::Bitmap: return OBJ_BITMAP;
    case ObjectKind::Region: return OBJ_REGION;
  }
  return 0;
}

HBRUSH CreateSolidBrush(COLORREF color) {
  auto b = std::make_shared<BrushObject>();
  b->color = color & 0xFFFFFF;
  return addObject(b);
}

HPEN CreatePen(int style, int width, COLORREF color) {
  if (style != PS_SOLID && style != PS_NULL) {
    plat::console::writeUtf8("FIXME: CreatePen draws every style other than PS_NULL as PS_SOLID\n");
  }
  auto p = std::make_shared<PenObject>();
  p->style = style == PS_NULL ? PS_NULL : PS_SOLID;
  p->width = width < 1 ? 1 : width;
  p->color = color & 0xFFFFFF;
  return addObject(p);
}
