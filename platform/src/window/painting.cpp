// Window DCs on the screen surface, update regions, BeginPaint / EndPaint and erasing.
#include <algorithm>

#include "display/screen.h"
#include "gdi/gdi_bridge.h"
#include "plat_core.h"
#include "window/window_system.h"

namespace plat::window {

namespace {

HDC makeDc(Window* w, bool paint, const RectSet& paintClip) {
  auto& s = state();
  plat::gdi::Surface surface = plat::display::screenSurface();
  HDC dc = nullptr;
  if (!w) {
    dc = plat::gdi::createSurfaceDC(surface, POINT{0, 0}, nullptr);
  } else {
    flushLayoutLocked();
    RectSet clip = w->vis;
    if (paint) clip.intersect(paintClip);
    HRGN rgn = toRegion(clip);
    dc = plat::gdi::createSurfaceDC(surface, clientOrigin(w), rgn);
    DeleteObject(rgn);
  }
  if (!dc) return nullptr;
  auto e = std::make_unique<DcEntry>();
  e->dc = dc;
  e->window = w;
  e->paint = paint;
  e->paintClip = paintClip;
  if (w) w->dcs.push_back(e.get());
  s.dcs[dc] = std::move(e);
  return dc;
}

bool releaseDc(HDC dc) {
  auto& s = state();
  auto it = s.dcs.find(dc);
  if (it == s.dcs.end()) return false;
  if (Window* w = it->second->window) w->dcs.erase(std::remove(w->dcs.begin(), w->dcs.end(), it->second.get()), w->dcs.end());
  plat::gdi::deleteSurfaceDC(dc);
  s.dcs.erase(it);
  return true;
}

void invalidateTree(Window* w, const RectSet* area, bool erase, bool children) {
  if (area)
    invalidateLocked(w, *area, erase);
  else
    invalidateLocked(w, RectSet(RECT{0, 0, w->width(), w->height()}), erase);
  if (children)
    for (Window* c : w->children) {
      if (area) {
        RectSet a = *area;
        a.offset(-c->rect.left, -c->rect.top);
        invalidateTree(c, &a, erase, true);
      } else {
        invalidateTree(c, nullptr, erase, true);
      }
    }
}

void validate(Window* w, const RectSet* area) {
  if (!area) {
    w->update.clear();
  } else {
    w->update.subtract(*area);
  }
  if (w->update.empty()) w->erase = false;
}

}  // namespace

void releaseWindowDcs(Window* w) {
  // A DC kept past its window's end (an animation thread's) draws nowhere until released.
  for (DcEntry* e : w->dcs) {
    RectSet none;
    HRGN rgn = toRegion(none);
    plat::gdi::setSurfaceDCVisible(e->dc, POINT{0, 0}, rgn);
    DeleteObject(rgn);
    e->window = nullptr;
  }
  w->dcs.clear();
}

}  // namespace plat::window

using namespace plat::window;

HDC GetDC(HWND hwnd) {
  Lock lock(state().lock);
  if (!hwnd) return makeDc(nullptr, false, RectSet());
  Window* w = findWindow(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  return makeDc(w, false, RectSet());
}

HDC GetWindowDC(HWND hwnd) { return GetDC(hwnd); }

int ReleaseDC(HWND, HDC dc) {
  Lock lock(state().lock);
  return releaseDc(dc) ? 1 : 0;
}

HDC BeginPaint(HWND hwnd, LPPAINTSTRUCT ps) {
  if (!ps) return nullptr;
  Lock lock(state().lock);
  Window* w = findWindow(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  *ps = PAINTSTRUCT{};
  RectSet area = w->update;
  bool erase = w->erase;
  w->update.clear();
  w->erase = false;
  ps->rcPaint = area.bounds();
  POINT o = clientOrigin(w);
  area.offset(o.x, o.y);
  HDC dc = makeDc(w, true, area);
  ps->hdc = dc;
  if (!dc) return nullptr;
  if (erase) {
    LRESULT erased = callProcUnlocked(lock, hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    ps->fErase = erased ? FALSE : TRUE;
  }
  return dc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT* ps) {
  if (!ps) return FALSE;
  Lock lock(state().lock);
  releaseDc(ps->hdc);
  return TRUE;
}

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
  auto& s = state();
  Lock lock(s.lock);
  if (!hwnd) {
    for (Window* t : s.topLevels) invalidateTree(t, nullptr, erase != 0, true);
    return TRUE;
  }
  Window* w = findWindow(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (rect) {
    RectSet a(*rect);
    invalidateLocked(w, a, erase != 0);
  } else {
    invalidateAllLocked(w, erase != 0, false);
  }
  return TRUE;
}

BOOL InvalidateRgn(HWND hwnd, HRGN region, BOOL erase) {
  if (!region) return InvalidateRect(hwnd, nullptr, erase);
  Lock lock(state().lock);
  Window* w = findWindow(hwnd);
  if (!w) return FALSE;
  invalidateLocked(w, fromRegion(region), erase != 0);
  return TRUE;
}

BOOL ValidateRect(HWND hwnd, const RECT* rect) {
  Lock lock(state().lock);
  Window* w = findWindow(hwnd);
  if (!w) return FALSE;
  if (rect) {
    RectSet a(*rect);
    validate(w, &a);
  } else {
    validate(w, nullptr);
  }
  return TRUE;
}

BOOL ValidateRgn(HWND hwnd, HRGN region) {
  if (!region) return ValidateRect(hwnd, nullptr);
  Lock lock(state().lock);
  Window* w = findWindow(hwnd);
  if (!w) return FALSE;
  RectSet a = fromRegion(region);
  validate(w, &a);
  return TRUE;
}

BOOL GetUpdateRect(HWND hwnd, LPRECT rect, BOOL) {
  Lock lock(state().lock);
  Window* w = findWindow(hwnd);
  if (!w) return FALSE;
  if (rect) *rect = w->update.bounds();
  return !w->update.empty();
}

int GetUpdateRgn(HWND hwnd, HRGN region, BOOL) {
  Lock lock(state().lock);
  Window* w = findWindow(hwnd);
  if (!w || !region) return ERROR;
  HRGN r = toRegion(w->update);
  int type = CombineRgn(region, r, nullptr, RGN_COPY);
  DeleteObject(r);
  return type;
}

BOOL RedrawWindow(HWND hwnd, const RECT* rect, HRGN region, UINT flags) {
  {
    Lock lock(state().lock);
    Window* w = findWindow(hwnd);
    if (!w) return FALSE;
    RectSet area;
    const RectSet* ap = nullptr;
    if (region) {
      area = fromRegion(region);
      ap = &area;
    } else if (rect) {
      area = RectSet(*rect);
      ap = &area;
    }
    if (flags & RDW_INVALIDATE) invalidateTree(w, ap, (flags & RDW_ERASE) != 0, (flags & RDW_ALLCHILDREN) != 0);
    if (flags & RDW_VALIDATE) validate(w, ap);
  }
  if (flags & (RDW_UPDATENOW | RDW_ERASENOW)) UpdateWindow(hwnd);
  return TRUE;
}

BOOL UpdateWindow(HWND hwnd) {
  Lock lock(state().lock);
  Window* w = findWindow(hwnd);
  if (!w) return FALSE;
  // Paints now, bypassing the queue, when something is invalid.
  // From another thread the paint is handed to the owner without waiting for it.
  if (!w->update.empty() && visibleChain(w)) notifyLocked(lock, hwnd, WM_PAINT, 0, 0);
  return TRUE;
}

int GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXSCREEN: return plat::display::screenWidth();
    case SM_CYSCREEN: return plat::display::screenHeight();
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK: return 8;
    default: return 0;
  }
}

// ---------------------------------------------------------------------------------------------
// Rectangles.

BOOL SubtractRect(LPRECT dst, const RECT* a, const RECT* b) {
  if (!dst || !a || !b) return FALSE;
  RECT r = *a;
  RECT i = rectIntersect(*a, *b);
  if (!rectEmpty(i)) {
    // Only a cut across the whole width or height leaves a rectangle.
    if (i.left == a->left && i.right == a->right) {
      if (i.top == a->top) r.top = i.bottom;
      else if (i.bottom == a->bottom) r.bottom = i.top;
    } else if (i.top == a->top && i.bottom == a->bottom) {
      if (i.left == a->left) r.left = i.right;
      else if (i.right == a->right) r.right = i.left;
    }
  }
  *dst = rectEmpty(r) ? RECT{0, 0, 0, 0} : r;
  return !rectEmpty(*dst);
}
