// Device contexts: memory contexts drawing into the bitmap selected into them, and surface
// contexts (windows, the screen) drawing into a surface clipped to a visible region.
#pragma once

#include <memory>
#include <cstdint>
#include <mutex>
#include <vector>

#include "gdi/bitmap.h"
#include "gdi/gdi_bridge.h"
#include "gdi/gdi_objects.h"

namespace plat::gdi {

struct DcState {
  std::shared_ptr<Bitmap> bitmap;
  HGDIOBJ bitmapHandle = nullptr;
  std::shared_ptr<BrushObject> brush;
  HGDIOBJ brushHandle = nullptr;
  std::shared_ptr<PenObject> pen;
  HGDIOBJ penHandle = nullptr;
  std::shared_ptr<FontObject> font;
  HGDIOBJ fontHandle = nullptr;
  COLORREF textColor = 0;
  COLORREF bkColor = 0xFFFFFF;
  int bkMode = 2;  // OPAQUE
  bool hasClip = false;
  Region clip;  // logical coordinates
  POINT position{0, 0};
};

class DeviceContext {
 public:
  std::mutex mutex;
  bool isSurface = false;
  Surface surface;
  POINT origin{0, 0};
  bool hasVisible = false;
  Region visible;  // surface coordinates
  DcState state;
  std::vector<DcState> saved;

  // The buffer the context draws into, as device coordinates; width 0 when there is none.
  PixelView pixels();
  // The bitmap behind the pixels (memory contexts), or null.
  Bitmap* bitmap() { return isSurface ? nullptr : state.bitmap.get(); }
  // Where drawing may touch pixels, in device coordinates (cached).
  const Region& clip();
  void invalidateClip() { clipValid_ = false; }
  // Logical to device coordinates, held within +-2^29 so that no later sum overflows:
  // coordinates that far out are off every surface anyway.
  static int clampCoord(int64_t v) { return static_cast<int>(v < -(1 << 29) ? -(1 << 29) : v > (1 << 29) ? (1 << 29) : v); }
  int toDeviceX(int64_t x) const { return clampCoord(x + origin.x); }
  int toDeviceY(int64_t y) const { return clampCoord(y + origin.y); }

 private:
  Region clip_;
  bool clipValid_ = false;
};

std::shared_ptr<DeviceContext> findDC(HDC dc);

// One drawing operation's access to a context's pixels inside `bounds` (device coordinates):
// the clip is intersected with the bounds once, non-surface formats are converted in and out.
class DrawScope {
 public:
  DrawScope(DeviceContext& dc, const RECT& bounds, bool write = true);
  // A scope that wrote on a followed surface tells its log where, now that the pixels are there.
  ~DrawScope();
  DrawScope(const DrawScope&) = delete;
  DrawScope& operator=(const DrawScope&) = delete;
  bool empty() const { return clip_.empty(); }
  const Region& clip() const { return clip_; }
  const PixelView& view() const { return lock_ ? lock_->view() : view_; }

 private:
  Region clip_;
  PixelView view_;
  std::unique_ptr<PixelLock> lock_;
  DamageLog* damage_ = nullptr;
  std::unique_lock<std::recursive_mutex> surfaceHeld_;
};

// Region of a handle copied by value (empty and false when the handle is not a region).
bool copyRegion(HRGN handle, Region& out);

}  // namespace plat::gdi
