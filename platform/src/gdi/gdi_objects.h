// GDI objects (brushes, pens, fonts, bitmaps, regions) and their handle table. GDI handles
// are not kernel handles: DeleteObject releases them, CloseHandle does not know them.
#pragma once

#include <memory>
#include <mutex>

#include "gdi/region.h"
#include "plat_gdi.h"

namespace plat::text {
class FontInstance;
}

namespace plat::gdi {

enum class ObjectKind { Brush, Pen, Font, Bitmap, Region };

class GdiObject {
 public:
  explicit GdiObject(ObjectKind k) : kind(k) {}
  virtual ~GdiObject() = default;
  const ObjectKind kind;
  bool stock = false;
};

struct BrushObject : GdiObject {
  BrushObject() : GdiObject(ObjectKind::Brush) {}
  bool null = false;
  COLORREF color = 0;
};

struct PenObject : GdiObject {
  PenObject() : GdiObject(ObjectKind::Pen) {}
  int style = 0;  // PS_SOLID, PS_NULL
  int width = 1;
  COLORREF color = 0;
};

struct FontObject : GdiObject {
  FontObject() : GdiObject(ObjectKind::Font) {}
  LOGFONTW logFont{};
  // Filled by the text area on first use: the faces and size that render this font.
  std::shared_ptr<text::FontInstance> instance;
  std::mutex instanceMutex;
};

struct RegionObject : GdiObject {
  RegionObject() : GdiObject(ObjectKind::Region) {}
  Region region;
};

class Bitmap;

// Registers an object and returns its new handle.
HGDIOBJ addObject(std::shared_ptr<GdiObject> object);
std::shared_ptr<GdiObject> findObject(HGDIOBJ handle);
template <class T>
std::shared_ptr<T> findAs(HGDIOBJ handle, ObjectKind kind) {
  std::shared_ptr<GdiObject> o = findObject(handle);
  if (!o || o->kind != kind) return nullptr;
  return std::static_pointer_cast<T>(o);
}
std::shared_ptr<Bitmap> findBitmap(HGDIOBJ handle);
// Region behind a handle, or null.
Region* regionOf(HRGN handle, std::shared_ptr<RegionObject>& keep);
// Number of live (non-stock) objects: tests look for leaks with it.
size_t liveObjectCount();

// COLORREF 0x00BBGGRR <-> surface pixel 0x00RRGGBB.
inline uint32_t toPixel(COLORREF c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }
inline COLORREF toColorRef(uint32_t p) { return ((p & 0xFF) << 16) | (p & 0xFF00) | ((p >> 16) & 0xFF); }

}  // namespace plat::gdi
