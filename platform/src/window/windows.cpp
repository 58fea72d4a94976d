// Window classes, the window tree, z-order, visibility, geometry and visible regions.
#include <algorithm>
#include <cstring>

#include <unistd.h>

#include "display/screen.h"
#include "gdi/device_context.h"
#include "gdi/gdi_bridge.h"
#include "gdi/gdi_objects.h"
#include "plat_core.h"
#include "plat_thread.h"
#include "window/foreign.h"
#include "window/window_system.h"

namespace plat::window {

State& state() {
  // Never destroyed: worker threads may still post while the process ends.
  static State* s = new State;
  return *s;
}

namespace {

namespace foreign = plat::window::foreign;

// The source that answers for another program's window, or null (one of ours, or no source:
// then the handle names nothing).
std::shared_ptr<foreign::Source> otherProgram(HWND hwnd) {
  return foreign::isForeign(hwnd) ? foreign::current() : nullptr;
}

// Our screen goes back in front of every other program's window when the shell fronts one of
// its own windows.
void frontOurScreen() {
  if (auto source = foreign::current()) source->frontScreen();
}

// Another program's window in front takes the activation from ours, as on the device: our
// window that was active is told it is inactive, and a later touch activates it by click.
void yieldActivation() {
  auto& s = state();
  Lock lock(s.lock);
  HWND old = s.active;
  if (!old) return;
  s.active = nullptr;
  notifyIdleWatchers();
  if (findWindow(old)) notifyLocked(lock, old, WM_ACTIVATE, WA_INACTIVE, 0);
}

bool matchesName(const std::u16string& have, LPCWSTR want) { return foldCase(have.c_str()) == foldCase(want); }

// Class names may be atoms (MAKEINTRESOURCE) in Win32; here only strings are accepted.
bool isStringName(LPCWSTR s) { return s && reinterpret_cast<uintptr_t>(s) > 0xFFFF; }

bool isTopmost(const Window* w) { return (w->exStyle & WS_EX_TOPMOST) != 0; }

// Index at which a top-level window enters its band (topmost windows stay above the others).
size_t bandTop(const Window* w) {
  auto& s = state();
  if (isTopmost(w)) return 0;
  size_t i = 0;
  while (i < s.topLevels.size() && isTopmost(s.topLevels[i])) ++i;
  return i;
}

std::vector<Window*>& siblingsOf(Window* w) { return w->parent ? w->parent->children : state().topLevels; }

void unlink(Window* w) {
  auto& list = siblingsOf(w);
  list.erase(std::remove(list.begin(), list.end(), w), list.end());
}

void linkAt(Window* w, size_t index) {
  auto& list = siblingsOf(w);
  index = std::min(index, list.size());
  list.insert(list.begin() + static_cast<long>(index), w);
}

// The window's shape in screen coordinates: its rectangle, cut by its window region.
RectSet shapeOf(const Window* w) {
  RECT r = screenRect(w);
  if (!w->windowRgn) return RectSet(r);
  RectSet s = w->shapeRects;
  s.offset(r.left, r.top);
  s.intersect(r);
  return s;
}

// Plain rectangles (most windows) take the cheap path; shaped windows their region.
void subtractShape(RectSet& vis, const Window* w) {
  if (w->windowRgn)
    vis.subtract(shapeOf(w));
  else
    vis.subtract(screenRect(w));
}

void intersectShape(RectSet& vis, const Window* w) {
  if (w->windowRgn)
    vis.intersect(shapeOf(w));
  else
    vis.intersect(screenRect(w));
}

bool overlaps(const RECT& a, const RECT& b) { return !rectEmpty(rectIntersect(a, b)); }

// The visible region of `w` inside `area` (screen coordinates): its shape on the screen, less
// what the windows above it at every level and its own children cover, cut by its parents.
// Only windows that reach into what is left are looked at closely, so a window among thousands
// of siblings costs one rectangle test per sibling.
RectSet visWithin(const Window* w, const RECT& area) {
  RectSet vis;
  if (!visibleChain(w)) return vis;
  auto sc = screenSize();
  RECT r = rectIntersect(rectIntersect(screenRect(w), RECT{0, 0, sc.width, sc.height}), area);
  if (rectEmpty(r)) return vis;
  vis = RectSet(r);
  if (w->windowRgn) intersectShape(vis, w);
  for (const Window* cur = w; !vis.empty(); cur = cur->parent) {
    const auto& sibs = cur->parent ? cur->parent->children : state().topLevels;
    const RECT bounds = vis.bounds();
    for (const Window* sib : sibs) {
      if (sib == cur) break;
      if (sib->visible() && !sib->dead && overlaps(screenRect(sib), bounds)) subtractShape(vis, sib);
    }
    if (!cur->parent) break;
    intersectShape(vis, cur->parent);
  }
  if (vis.empty()) return vis;
  const RECT bounds = vis.bounds();
  for (const Window* child : w->children)
    if (child->visible() && !child->dead && overlaps(screenRect(child), bounds)) subtractShape(vis, child);
  return vis;
}

const RECT kEverywhere{INT32_MIN / 2, INT32_MIN / 2, INT32_MAX / 2, INT32_MAX / 2};

RECT rectUnion(const RECT& a, const RECT& b) {
  if (rectEmpty(a)) return b;
  if (rectEmpty(b)) return a;
  return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
              std::max(a.bottom, b.bottom)};
}

void collect(Window* w, std::vector<Window*>& out) {
  out.push_back(w);
  for (Window* c : w->children) collect(c, out);
}

std::vector<Window*> allWindows() {
  std::vector<Window*> out;
  for (Window* t : state().topLevels) collect(t, out);
  return out;
}

void reclipDcs(Window* w) {
  for (DcEntry* e : w->dcs) {
    RectSet clip = w->vis;
    if (e->paint) clip.intersect(e->paintClip);
    HRGN rgn = toRegion(clip);
    plat::gdi::setSurfaceDCVisible(e->dc, clientOrigin(w), rgn);
    DeleteObject(rgn);
  }
}

void sendShowWindow(Lock& lock, Window* w, bool show) {
  notifyLocked(lock, w->hwnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
}

// Hides or shows with the lock held. Returns the previous visibility.
bool setVisible(Lock& lock, Window* w, bool show, bool activate) {
  bool was = w->visible();
  HWND h = w->hwnd;
  if (show != was) {
    sendShowWindow(lock, w, show);
    w = findWindow(h);
    if (!w) return was;
    if (show)
      w->style |= WS_VISIBLE;
    else
      w->style &= ~static_cast<DWORD>(WS_VISIBLE);
    relayout({}, screenRect(w));
  }
  auto& s = state();
  if (show && activate && !w->parent && !(w->exStyle & WS_EX_NOACTIVATE)) {
    activateLocked(lock, w, WA_ACTIVE);
  } else if (!show && was && s.active == h) {
    Window* next = nextActivatable(w);
    if (next) {
      activateLocked(lock, next, WA_ACTIVE);
    } else {
      s.active = nullptr;
      notifyLocked(lock, h, WM_ACTIVATE, WA_INACTIVE, 0);
    }
  }
  return was;
}

void sendPosChanges(Lock& lock, HWND h, bool moved, bool sized) {
  Window* w = findWindow(h);
  if (!w) return;
  RECT r = w->rect;
  if (sized)
    notifyLocked(lock, h, WM_SIZE, SIZE_RESTORED, MAKELPARAM(r.right - r.left, r.bottom - r.top));
  if (moved) {
    if (findWindow(h)) notifyLocked(lock, h, WM_MOVE, 0, MAKELPARAM(r.left, r.top));
  }
}

void destroyTree(Window* w) {
  auto& s = state();
  for (Window* c : std::vector<Window*>(w->children)) destroyTree(c);
  // Timers, queued messages, capture and DCs of the window go with it.
  s.timers.erase(std::remove_if(s.timers.begin(), s.timers.end(), [&](const Timer& t) { return t.hwnd == w->hwnd; }),
                 s.timers.end());
  if (ThreadQueue* q = queueFor(w->threadId)) {
    q->posted.erase(std::remove_if(q->posted.begin(), q->posted.end(), [&](const MSG& m) { return m.hwnd == w->hwnd; }),
                    q->posted.end());
    q->input.erase(std::remove_if(q->input.begin(), q->input.end(),
                                  [&](const InputMessage& m) { return m.msg.hwnd == w->hwnd; }),
                   q->input.end());
  }
  if (s.capture == w->hwnd) s.capture = nullptr;
  if (s.active == w->hwnd) s.active = nullptr;
  if (s.lastDownWindow == w->hwnd) s.lastDownWindow = nullptr;
  releaseWindowDcs(w);
  if (w->windowRgn) {
    DeleteObject(w->windowRgn);
    w->windowRgn = nullptr;
  }
  unlink(w);
  w->parent = nullptr;
  w->children.clear();
  w->dead = true;
  s.windows.erase(reinterpret_cast<uintptr_t>(w->hwnd));
}

void markDestroying(Window* w) {
  w->destroying = true;
  for (Window* c : w->children) markDestroying(c);
}

void sendDestroy(Lock& lock, HWND h) {
  if (!findWindow(h)) return;
  callProcUnlocked(lock, h, WM_DESTROY, 0, 0);
  Window* w = findWindow(h);
  if (!w) return;
  std::vector<HWND> kids;
  for (Window* c : w->children) kids.push_back(c->hwnd);
  for (HWND k : kids) sendDestroy(lock, k);
}

LONG_PTR readExtra(const Window* w, int index, size_t size) {
  if (index < 0 || static_cast<size_t>(index) + size > w->extra.size()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (size == 4) {
    int32_t v;
    std::memcpy(&v, w->extra.data() + index, 4);
    return v;
  }
  LONG_PTR v;
  std::memcpy(&v, w->extra.data() + index, sizeof v);
  return v;
}

LONG_PTR getLong(HWND h, int index, size_t size) {
  Lock lock(state().lock);
  Window* w = findWindow(h);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  switch (index) {
    case GWL_USERDATA: return w->userData;
    case GWL_STYLE: return static_cast<LONG>(w->style);
    case GWL_EXSTYLE: return static_cast<LONG>(w->exStyle);
    case GWL_ID: return static_cast<LONG_PTR>(w->ctrlId);
    case GWL_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
    case GWL_HINSTANCE: return reinterpret_cast<LONG_PTR>(w->instance);
    default: return readExtra(w, index, size);
  }
}

LONG_PTR setLong(HWND h, int index, LONG_PTR value, size_t size) {
  Lock lock(state().lock);
  Window* w = findWindow(h);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  LONG_PTR old = 0;
  switch (index) {
    case GWL_USERDATA: old = w->userData; w->userData = value; break;
    case GWL_STYLE: {
      old = static_cast<LONG>(w->style);
      bool vis = w->visible();
      w->style = static_cast<DWORD>(value);
      if (vis != w->visible()) relayout({}, screenRect(w));
      break;
    }
    case GWL_EXSTYLE: old = static_cast<LONG>(w->exStyle); w->exStyle = static_cast<DWORD>(value); break;
    case GWL_ID: old = static_cast<LONG_PTR>(w->ctrlId); w->ctrlId = static_cast<UINT_PTR>(value); break;
    case GWL_WNDPROC:
      old = reinterpret_cast<LONG_PTR>(w->proc);
      if (value) w->proc = reinterpret_cast<WNDPROC>(value);
      break;
    case GWL_HINSTANCE: old = reinterpret_cast<LONG_PTR>(w->instance); w->instance = reinterpret_cast<HINSTANCE>(value); break;
    default:
      old = readExtra(w, index, size);
      if (index >= 0 && static_cast<size_t>(index) + size <= w->extra.size()) {
        if (size == 4) {
          int32_t v = static_cast<int32_t>(value);
          std::memcpy(w->extra.data() + index, &v, 4);
        } else {
          std::memcpy(w->extra.data() + index, &value, sizeof value);
        }
      }
  }
  return old;
}

int copyText(const std::u16string& text, LPWSTR buffer, int max) {
  if (!buffer || max <= 0) return 0;
  int n = std::min(static_cast<int>(text.size()), max - 1);
  std::memcpy(buffer, text.data(), static_cast<size_t>(n) * sizeof(WCHAR));
  buffer[n] = 0;
  return n;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Helpers shared inside the window system (lock held).

Window* findWindow(HWND hwnd) {
  auto& s = state();
  auto it = s.windows.find(reinterpret_cast<uintptr_t>(hwnd));
  if (it == s.windows.end() || it->second->dead) return nullptr;
  return it->second.get();
}

Window* topLevelOf(Window* w) {
  while (w && w->parent) w = w->parent;
  return w;
}

bool visibleChain(const Window* w) {
  for (; w; w = w->parent)
    if (!w->visible() || w->dead) return false;
  return true;
}

RECT screenRect(const Window* w) {
  RECT r = w->rect;
  for (const Window* p = w->parent; p; p = p->parent) {
    r.left += p->rect.left;
    r.right += p->rect.left;
    r.top += p->rect.top;
    r.bottom += p->rect.top;
  }
  return r;
}

POINT clientOrigin(const Window* w) {
  RECT r = screenRect(w);
  return POINT{r.left, r.top};
}

ScreenInfo screenSize() { return ScreenInfo{plat::display::screenWidth(), plat::display::screenHeight()}; }

void invalidateLocked(Window* w, const RectSet& clientArea, bool erase) {
  RectSet a = clientArea;
  a.intersect(RECT{0, 0, w->width(), w->height()});
  if (a.empty()) return;
  w->update.add(a);
  if (erase) w->erase = true;
  wakeQueue(w->threadId);
}

void invalidateAllLocked(Window* w, bool erase, bool children) {
  invalidateLocked(w, RectSet(RECT{0, 0, w->width(), w->height()}), erase);
  if (children)
    for (Window* c : w->children) invalidateAllLocked(c, erase, true);
}

namespace {

void relayoutNow(const std::vector<Window*>& moved, const RECT& given) {
  auto& s = state();
  RECT area = given;
  if (s.layoutPending) {
    area = rectUnion(area, s.pendingArea);
    s.layoutPending = false;
  }
  const bool everywhere = area.left <= kEverywhere.left && area.right >= kEverywhere.right;
  std::vector<Window*> all = allWindows();
  for (Window* w : all) {
    bool isMoved = std::find(moved.begin(), moved.end(), w) != moved.end();
    // Nothing changed outside `area`: a window that neither showed nor can show anything
    // there keeps its visible region.
    if (!isMoved && rectEmpty(rectIntersect(w->vis.bounds(), area)) &&
        rectEmpty(rectIntersect(screenRect(w), area)))
      continue;
    // Outside the area the visible region stands; only the part inside is worked out again.
    RectSet nv;
    if (isMoved || everywhere) {
      nv = visWithin(w, kEverywhere);
    } else {
      nv = w->vis;
      nv.subtract(area);
      nv.add(visWithin(w, area));
    }
    bool changed = !(nv.sameArea(w->vis));
    if (changed && !isMoved) {
      RectSet exposed = nv;
      exposed.subtract(w->vis);
      if (!exposed.empty()) {
        POINT o = clientOrigin(w);
        exposed.offset(-o.x, -o.y);
        invalidateLocked(w, exposed, true);
      }
    }
    w->vis = std::move(nv);
    if (changed || isMoved) reclipDcs(w);
  }
  for (Window* m : moved)
    if (visibleChain(m)) invalidateAllLocked(m, true, true);
  notifyIdleWatchers();
}

}  // namespace

void relayout(const std::vector<Window*>& moved, const RECT& area) {
  auto& s = state();
  if (s.layoutBatches > 0 && moved.empty()) {
    s.pendingArea = s.layoutPending ? rectUnion(s.pendingArea, area) : area;
    s.layoutPending = true;
    return;
  }
  relayoutNow(moved, area);
}

void flushLayoutLocked() {
  if (state().layoutPending) relayoutNow({}, state().pendingArea);
}

Window* nextActivatable(Window* gone) {
  for (Window* t : state().topLevels)
    if (t != gone && !t->dead && !t->destroying && t->visible() && t->enabled && !(t->exStyle & WS_EX_NOACTIVATE))
      return t;
  return nullptr;
}

void activateLocked(Lock& lock, Window* top, WPARAM how) {
  auto& s = state();
  top = topLevelOf(top);
  if (!top || top->dead) return;
  // Activation raises the window within its band.
  if (s.topLevels.empty() || s.topLevels[bandTop(top)] != top) {
    unlink(top);
    linkAt(top, bandTop(top));
    relayout({}, screenRect(top));
  }
  if (s.active == top->hwnd) return;
  HWND old = s.active;
  HWND now = top->hwnd;
  s.active = now;
  notifyIdleWatchers();
  if (old && findWindow(old)) notifyLocked(lock, old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(now));
  if (findWindow(now) && s.active == now) notifyLocked(lock, now, WM_ACTIVATE, how, reinterpret_cast<LPARAM>(old));
}

HRGN toRegion(const RectSet& rs) {
  HRGN rgn = CreateRectRgn(0, 0, 0, 0);
  std::shared_ptr<plat::gdi::RegionObject> keep;
  if (plat::gdi::Region* r = rgn ? plat::gdi::regionOf(rgn, keep) : nullptr) *r = rs.region();
  return rgn;
}

RectSet fromRegion(HRGN rgn) {
  RectSet rs;
  if (rgn) plat::gdi::copyRegion(rgn, rs.region());
  return rs;
}

size_t windowCount() {
  Lock lock(state().lock);
  return state().windows.size();
}

void setScreenSize(int width, int height) {
  {
    Lock lock(state().lock);
    // Window DCs point into the screen: its size changes only while no window exists.
    if (!state().windows.empty() || !state().dcs.empty()) {
      plat::console::writeUtf8("display: screen size cannot change while windows exist\n");
      return;
    }
  }
  plat::display::setScreenSize(width, height);
}

void reset() {
  auto& s = state();
  Lock lock(s.lock);
  for (Window* t : std::vector<Window*>(s.topLevels)) destroyTree(t);
  s.windows.clear();
  s.topLevels.clear();
  s.classes.clear();
  s.timers.clear();
  for (auto& [dc, e] : s.dcs) plat::gdi::deleteSurfaceDC(dc);
  s.dcs.clear();
  for (auto& [tid, q] : s.queues) {
    for (auto& m : q->sent) {
      m->done = true;
      if (m->senderCv) m->senderCv->notify_all();
    }
    q->sent.clear();
    q->posted.clear();
    q->input.clear();
    q->quit = false;
    q->wake = true;
    q->cv.notify_all();
  }
  s.active = nullptr;
  s.capture = nullptr;
  s.lastDownWindow = nullptr;
  s.cursor = POINT{};
  s.layoutBatches = 0;
  s.layoutPending = false;
}

LayoutBatch::LayoutBatch() {
  Lock lock(state().lock);
  ++state().layoutBatches;
}

LayoutBatch::~LayoutBatch() {
  Lock lock(state().lock);
  if (state().layoutBatches > 0 && --state().layoutBatches == 0) flushLayoutLocked();
}

}  // namespace plat::window

using namespace plat::window;

// ---------------------------------------------------------------------------------------------
// Classes.

ATOM RegisterClassW(const WNDCLASSW* wc) {
  if (!wc || !isStringName(wc->lpszClassName) || !wc->lpfnWndProc || wc->cbWndExtra < 0 || wc->cbWndExtra > 4096) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  auto& s = state();
  Lock lock(s.lock);
  std::u16string key = foldCase(wc->lpszClassName);
  if (s.classes.count(key)) {
    // Registering the same class again is common (controls do it before every creation):
    // the first registration stands.
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  auto cls = std::make_shared<WindowClass>();
  cls->name = wc->lpszClassName;
  cls->key = key;
  cls->style = wc->style;
  cls->proc = wc->lpfnWndProc;
  cls->wndExtra = wc->cbWndExtra;
  cls->instance = wc->hInstance;
  cls->background = wc->hbrBackground;
  s.classes[key] = cls;
  return static_cast<ATOM>(0xC000 + (s.classes.size() & 0x3FFF));
}

BOOL UnregisterClassW(LPCWSTR className, HINSTANCE) {
  if (!isStringName(className)) return FALSE;
  auto& s = state();
  Lock lock(s.lock);
  std::u16string key = foldCase(className);
  auto it = s.classes.find(key);
  if (it == s.classes.end()) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return FALSE;
  }
  for (auto& [id, w] : s.windows)
    if (w->cls == it->second) {
      SetLastError(ERROR_CLASS_HAS_WINDOWS);
      return FALSE;
    }
  s.classes.erase(it);
  return TRUE;
}

BOOL GetClassInfoW(HINSTANCE, LPCWSTR className, LPWNDCLASSW out) {
  if (!isStringName(className) || !out) return FALSE;
  auto& s = state();
  Lock lock(s.lock);
  auto it = s.classes.find(foldCase(className));
  if (it == s.classes.end()) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return FALSE;
  }
  const WindowClass& c = *it->second;
  *out = WNDCLASSW{};
  out->style = c.style;
  out->lpfnWndProc = c.proc;
  out->cbWndExtra = c.wndExtra;
  out->hInstance = c.instance;
  out->hbrBackground = c.background;
  out->lpszClassName = className;
  return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Creation and destruction.

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  auto& s = state();
  Lock lock(s.lock);
  if (!isStringName(className)) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  auto cit = s.classes.find(foldCase(className));
  if (cit == s.classes.end()) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  Window* parentWin = nullptr;
  if (parent && parent != HWND_MESSAGE) {
    parentWin = findWindow(parent);
    if (!parentWin) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
  }
  // WS_CHILD makes a child of the given parent; with WS_POPUP as well (the screens' style
  // 0xC0000000) or without a parent the window is top-level and the parent is its owner.
  bool child = (style & WS_CHILD) && !(style & WS_POPUP);
  if (child && !parentWin) {
    SetLastError(ERROR_TLW_WITH_WSCHILD);
    return nullptr;
  }
  auto sc = screenSize();
  if (x == CW_USEDEFAULT) x = y = 0;
  if (width == CW_USEDEFAULT) {
    width = sc.width;
    height = sc.height;
  }
  width = std::max(width, 0);
  height = std::max(height, 0);

  auto win = std::make_shared<Window>();
  Window* w = win.get();
  uintptr_t id = s.nextHandle;
  s.nextHandle += 4;
  if (s.nextHandle > 0x7FFFFFF0u) s.nextHandle = 0x10010;
  w->hwnd = reinterpret_cast<HWND>(id);
  w->cls = cit->second;
  w->proc = w->cls->proc;
  w->title = windowName ? std::u16string(windowName) : std::u16string();
  w->style = style & ~static_cast<DWORD>(WS_VISIBLE);
  w->exStyle = exStyle;
  w->instance = instance;
  w->ctrlId = child ? reinterpret_cast<UINT_PTR>(menu) : 0;
  w->enabled = !(style & WS_DISABLED);
  w->rect = RECT{x, y, x + width, y + height};
  w->extra.assign(static_cast<size_t>(w->cls->wndExtra), 0);
  w->threadId = GetCurrentThreadId();
  (void)currentQueue();
  if (child) {
    w->parent = parentWin;
    linkAt(w, 0);
  } else {
    w->owner = parentWin ? parentWin->hwnd : nullptr;
    linkAt(w, bandTop(w));
  }
  s.windows[id] = win;
  HWND h = w->hwnd;

  CREATESTRUCTW cs{};
  cs.lpCreateParams = param;
  cs.hInstance = instance;
  cs.hMenu = menu;
  cs.hwndParent = parent;
  cs.x = x;
  cs.y = y;
  cs.cx = width;
  cs.cy = height;
  cs.style = static_cast<LONG>(style);
  cs.lpszName = windowName;
  cs.lpszClass = className;
  cs.dwExStyle = exStyle;
  LRESULT created = callProcUnlocked(lock, h, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs));
  w = findWindow(h);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if (created == -1) {
    lock.unlock();
    DestroyWindow(h);
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (style & WS_VISIBLE) setVisible(lock, w, true, true);
  return h;
}

BOOL DestroyWindow(HWND hwnd) {
  auto& s = state();
  Lock lock(s.lock);
  Window* w = findWindow(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (w->destroying) return TRUE;  // already on its way (a handler destroying its own window)
  if (w->threadId != GetCurrentThreadId()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  markDestroying(w);
  // Windows it owns go first, as on the device.
  std::vector<HWND> owned;
  for (Window* t : s.topLevels)
    if (t->owner == hwnd && !t->destroying && t->threadId == w->threadId) owned.push_back(t->hwnd);
  for (HWND o : owned) {
    lock.unlock();
    DestroyWindow(o);
    lock.lock();
  }
  if (!(w = findWindow(hwnd))) return TRUE;
  if (w->visible()) setVisible(lock, w, false, false);
  if ((w = findWindow(hwnd)) && s.active == hwnd) {
    Window* next = nextActivatable(w);
    if (next)
      activateLocked(lock, next, WA_ACTIVE);
    else
      s.active = nullptr;
  }
  sendDestroy(lock, hwnd);
  if ((w = findWindow(hwnd))) {
    bool wasVisible = visibleChain(w);
    RECT area = screenRect(w);
    destroyTree(w);
    if (wasVisible) relayout({}, area);
  }
  notifyIdleWatchers();
  return TRUE;
}

BOOL IsWindow(HWND hwnd) {
  if (foreign::isForeign(hwnd)) {
    auto other = otherProgram(hwnd);
    return other && other->alive(hwnd);
  }
  Lock lock(state().lock);
  return findWindow(hwnd) != nullptr;
}

BOOL IsWindowVisible(HWND hwnd) {
  if (foreign::isForeign(hwnd)) {
    auto other = otherProgram(hwnd);
    return other && other->visible(hwnd);
  }
  Lock lock(state().lock);
  Window* w = findWindow(hwnd);
  return w && visibleChain(w);
}

BOOL IsWindowEnabled(HWND hwnd) {
  Lock lock(state().lock);
  Window* w = findWindow(hwnd);
  return w && w->enabled;
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
  Lock lock(state().lock);
  Window* w = findWindow(hwnd);
  if (!w) return FALSE;
  bool wasDisabled = !w->enabled;
  if (w->enabled != (enable != 0)) {
    w->enabled = enable != 0;
    if (enable)
      w->style &= ~static_cast<DWORD>(WS_DISABLED);
    else
      w->style |= WS_DISABLED;
    notifyLocked(lock, hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
  }
  return wasDisabled;
}

BOOL IsChild(HWND parent, HWND hwnd) {
  Lock lock(state().lock);
  Window* w = findWindow(hwnd);
  for (Window* p = w ? w->parent : nullptr; p; p = p->parent)
    if (p->hwnd == parent) return TRUE;
  return FALSE;
}

HWND GetParent(HWND hwnd) {
  Lock lock(state().lock);
  Window* w = findWindow(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if (w->parent) return w->parent->hwnd;
  return (w->style & WS_POPUP) ? w->owner : nullptr;
}

HWND GetDesktopWindow() { return nullptr; }

BOOL ShowWindow(HWND hwnd, int command) {
  if (foreign::isForeign(hwnd)) {
    auto other = otherProgram(hwnd);
    bool was = false;
    if (!other || !other->show(hwnd, command, was)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    if (command != SW_HIDE && command != SW_MINIMIZE && command != SW_SHOWNA && command != SW_SHOWNOACTIVATE)
      yieldActivation();
    return was ? TRUE : FALSE;
  }
  auto& s = state();
  bool fronted = false;
  BOOL was = FALSE;
  {
    Lock lock(s.lock);
    Window* w = findWindow(hwnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    switch (command) {
      case SW_HIDE:
      case SW_MINIMIZE:
        return setVisible(lock, w, false, false) ? TRUE : FALSE;
      case SW_SHOWNA:
      case SW_SHOWNOACTIVATE:
        return setVisible(lock, w, true, false) ? TRUE : FALSE;
      default:
        // A top-level window that comes up activated brings our screen up with it.
        fronted = !w->parent && !w->visible() && !(w->exStyle & WS_EX_NOACTIVATE);
        was = setVisible(lock, w, true, true) ? TRUE : FALSE;
        break;
    }
  }
  if (fronted) frontOurScreen();
  return was;
}

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  auto& s = state();
  Lock lock(s.lock);
  Window* w = findWindow(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  bool zChanged = false;
  // Placing a window after itself, or making a window that is not topmost "not topmost",
  // leaves the z-order alone.
  bool zKept = insertAfter == hwnd || (insertAfter == HWND_NOTOPMOST && !isTopmost(w));
  if (!(flags & SWP_NOZORDER) && !zKept) {
    unlink(w);
    if (insertAfter == HWND_TOPMOST) {
      if (!w->parent) w->exStyle |= WS_EX_TOPMOST;
      linkAt(w, w->parent ? 0 : bandTop(w));
    } else if (insertAfter == HWND_NOTOPMOST) {
      if (!w->parent) w->exStyle &= ~static_cast<DWORD>(WS_EX_TOPMOST);
      linkAt(w, w->parent ? 0 : bandTop(w));
    } else if (insertAfter == HWND_BOTTOM) {
      // A topmost window sent to the bottom loses its topmost state.
      if (!w->parent) w->exStyle &= ~static_cast<DWORD>(WS_EX_TOPMOST);
      linkAt(w, siblingsOf(w).size());
    } else if (insertAfter == HWND_TOP) {
      linkAt(w, w->parent ? 0 : bandTop(w));
    } else {
      auto& list = siblingsOf(w);
      auto it = std::find_if(list.begin(), list.end(), [&](Window* o) { return o->hwnd == insertAfter; });
      size_t index = it == list.end() ? 0 : static_cast<size_t>(it - list.begin()) + 1;
      if (!w->parent) {
        // Top-level windows stay in their band: topmost ones above all others.
        size_t topmostCount = 0;
        while (topmostCount < list.size() && isTopmost(list[topmostCount])) ++topmostCount;
        index = isTopmost(w) ? std::min(index, topmostCount) : std::max(index, topmostCount);
      }
      linkAt(w, index);
    }
    zChanged = true;
  }
  RECT old = w->rect;
  RECT oldScreen = screenRect(w);
  RECT r = old;
  if (!(flags & SWP_NOMOVE)) {
    r.right = x + (old.right - old.left);
    r.bottom = y + (old.bottom - old.top);
    r.left = x;
    r.top = y;
  }
  if (!(flags & SWP_NOSIZE)) {
    r.right = r.left + std::max(cx, 0);
    r.bottom = r.top + std::max(cy, 0);
  }
  bool moved = r.left != old.left || r.top != old.top;
  bool sized = (r.right - r.left) != (old.right - old.left) || (r.bottom - r.top) != (old.bottom - old.top);
  w->rect = r;
  RECT newScreen = screenRect(w);
  RECT area{std::min(oldScreen.left, newScreen.left), std::min(oldScreen.top, newScreen.top),
            std::max(oldScreen.right, newScreen.right), std::max(oldScreen.bottom, newScreen.bottom)};
  if (moved || sized) {
    std::vector<Window*> tree;
    if (!(flags & SWP_NOREDRAW)) collect(w, tree);
    relayout(tree, area);
  } else if (zChanged) {
    relayout({}, area);
  }
  if (moved || sized) sendPosChanges(lock, hwnd, moved, sized);
  if ((w = findWindow(hwnd)) && (flags & SWP_SHOWWINDOW)) setVisible(lock, w, true, !(flags & SWP_NOACTIVATE));
  if ((w = findWindow(hwnd)) && (flags & SWP_HIDEWINDOW)) setVisible(lock, w, false, false);
  if ((w = findWindow(hwnd)) && !(flags & SWP_NOACTIVATE) && !w->parent && w->visible() &&
      !(w->exStyle & WS_EX_NOACTIVATE))
    activateLocked(lock, w, WA_ACTIVE);
  return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
  return SetWindowPos(hwnd, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL BringWindowToTop(HWND hwnd) {
  if (foreign::isForeign(hwnd)) return SetForegroundWindow(hwnd);
  if (!SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE)) return FALSE;
  bool topLevel = false;
  {
    Lock lock(state().lock);
    Window* w = findWindow(hwnd);
    topLevel = w && !w->parent;
  }
  if (topLevel) frontOurScreen();
  return TRUE;
}

BOOL SetForegroundWindow(HWND hwnd) {
  if (foreign::isForeign(hwnd)) {
    auto other = otherProgram(hwnd);
    if (!other || !other->front(hwnd)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    yieldActivation();
    return TRUE;
  }
  auto& s = state();
  {
    Lock lock(s.lock);
    Window* w = findWindow(hwnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    activateLocked(lock, w, WA_ACTIVE);
  }
  frontOurScreen();
  return TRUE;
}

HWND GetForegroundWindow() {
  Lock lock(state().lock);
  return state().active;
}

HWND GetActiveWindow() { return GetForegroundWindow(); }

HWND SetActiveWindow(HWND hwnd) {
  HWND old = GetForegroundWindow();
  SetForegroundWindow(hwnd);
  return old;
}

// Keys go to the active window; there is no separate keyboard focus.
HWND GetFocus() { return GetForegroundWindow(); }
HWND SetFocus(HWND hwnd) {
  HWND old = GetForegroundWindow();
  if (hwnd && IsWindow(hwnd)) {
    Lock lock(state().lock);
    Window* w = topLevelOf(findWindow(hwnd));
    if (w && state().active != w->hwnd) activateLocked(lock, w, WA_ACTIVE);
  }
  return old;
}

BOOL GetClientRect(HWND hwnd, LPRECT rect) {
  Lock lock(state().lock);
  Window* w = findWindow(hwnd);
  if (!w || !rect) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  *rect = RECT{0, 0, w->width(), w->height()};
  return TRUE;
}

BOOL GetWindowRect(HWND hwnd, LPRECT rect) {
  Lock lock(state().lock);
  Window* w = findWindow(hwnd);
  if (!w || !rect) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  *rect = screenRect(w);
  return TRUE;
}

BOOL ClientToScreen(HWND hwnd, LPPOINT pt) {
  Lock lock(state().lock);
  Window* w = findWindow(hwnd);
  if (!w || !pt) return FALSE;
  POINT o = clientOrigin(w);
  pt->x += o.x;
  pt->y += o.y;
  return TRUE;
}

BOOL ScreenToClient(HWND hwnd, LPPOINT pt) {
  Lock lock(state().lock);
  Window* w = findWindow(hwnd);
  if (!w || !pt) return FALSE;
  POINT o = clientOrigin(w);
  pt->x -= o.x;
  pt->y -= o.y;
  return TRUE;
}

int MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count) {
  Lock lock(state().lock);
  POINT a{0, 0}, b{0, 0};
  if (from) {
    Window* w = findWindow(from);
    if (!w) return 0;
    a = clientOrigin(w);
  }
  if (to) {
    Window* w = findWindow(to);
    if (!w) return 0;
    b = clientOrigin(w);
  }
  int dx = a.x - b.x, dy = a.y - b.y;
  for (UINT i = 0; points && i < count; ++i) {
    points[i].x += dx;
    points[i].y += dy;
  }
  return MAKELONG(dx, dy);
}

LONG_PTR GetWindowLongW(HWND hwnd, int index) { return getLong(hwnd, index, 4); }
LONG_PTR SetWindowLongW(HWND hwnd, int index, LONG_PTR value) { return setLong(hwnd, index, value, 4); }
LONG_PTR GetWindowLongPtrW(HWND hwnd, int index) { return getLong(hwnd, index, sizeof(LONG_PTR)); }
LONG_PTR SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value) {
  return setLong(hwnd, index, value, sizeof(LONG_PTR));
}

int GetWindowTextW(HWND hwnd, LPWSTR buffer, int max) {
  if (foreign::isForeign(hwnd)) {
    auto other = otherProgram(hwnd);
    std::u16string text;
    if (!other || !other->title(hwnd, text)) {
      if (buffer && max > 0) buffer[0] = 0;
      return 0;
    }
    return copyText(text, buffer, max);
  }
  Lock lock(state().lock);
  Window* w = findWindow(hwnd);
  if (!w) {
    if (buffer && max > 0) buffer[0] = 0;
    return 0;
  }
  return copyText(w->title, buffer, max);
}

int GetWindowTextLengthW(HWND hwnd) {
  if (foreign::isForeign(hwnd)) {
    auto other = otherProgram(hwnd);
    std::u16string text;
    return other && other->title(hwnd, text) ? static_cast<int>(text.size()) : 0;
  }
  Lock lock(state().lock);
  Window* w = findWindow(hwnd);
  return w ? static_cast<int>(w->title.size()) : 0;
}

BOOL SetWindowTextW(HWND hwnd, LPCWSTR text) {
  Lock lock(state().lock);
  Window* w = findWindow(hwnd);
  if (!w) return FALSE;
  w->title = text ? std::u16string(text) : std::u16string();
  return TRUE;
}

int GetClassNameW(HWND hwnd, LPWSTR buffer, int max) {
  if (foreign::isForeign(hwnd)) {
    auto other = otherProgram(hwnd);
    std::u16string text;
    if (!other || !other->className(hwnd, text)) {
      if (buffer && max > 0) buffer[0] = 0;
      return 0;
    }
    return copyText(text, buffer, max);
  }
  Lock lock(state().lock);
  Window* w = findWindow(hwnd);
  if (!w) {
    if (buffer && max > 0) buffer[0] = 0;
    return 0;
  }
  return copyText(w->cls->name, buffer, max);
}

int GetDlgCtrlID(HWND hwnd) {
  Lock lock(state().lock);
  Window* w = findWindow(hwnd);
  return w ? static_cast<int>(w->ctrlId) : 0;
}

HWND GetDlgItem(HWND parent, int id) {
  Lock lock(state().lock);
  Window* p = findWindow(parent);
  if (!p) return nullptr;
  for (Window* c : p->children)
    if (static_cast<int>(c->ctrlId) == id) return c->hwnd;
  return nullptr;
}

HWND FindWindowW(LPCWSTR className, LPCWSTR windowName) {
  {
    Lock lock(state().lock);
    std::u16string key = isStringName(className) ? foldCase(className) : std::u16string();
    for (Window* t : state().topLevels) {
      if (t->destroying) continue;
      if (isStringName(className) && t->cls->key != key) continue;
      if (windowName && foldCase(t->title.c_str()) != foldCase(windowName)) continue;
      return t->hwnd;
    }
  }
  // Then other programs' windows, topmost first; one that goes while we look is skipped.
  auto other = foreign::current();
  if (!other) return nullptr;
  std::vector<HWND> above, below;
  other->list(above, below);
  above.insert(above.end(), below.begin(), below.end());
  for (HWND h : above) {
    std::u16string text;
    if (isStringName(className) && !(other->className(h, text) && matchesName(text, className))) continue;
    if (windowName && !(other->title(h, text) && matchesName(text, windowName))) continue;
    return h;
  }
  return nullptr;
}

BOOL EnumWindows(WNDENUMPROC callback, LPARAM lParam) {
  if (!callback) return FALSE;
  std::vector<HWND> list;
  // Other programs' windows above our screen come first, those below it last.
  std::vector<HWND> above, below;
  if (auto other = foreign::current()) other->list(above, below);
  list = above;
  {
    Lock lock(state().lock);
    for (Window* t : state().topLevels) list.push_back(t->hwnd);
  }
  list.insert(list.end(), below.begin(), below.end());
  // The callback runs without the lock: it may call anything, windows may come and go.
  for (HWND h : list) {
    if (!IsWindow(h)) continue;
    if (!callback(h, lParam)) break;
  }
  return TRUE;
}

DWORD GetWindowThreadProcessId(HWND hwnd, LPDWORD processId) {
  if (foreign::isForeign(hwnd)) {
    auto other = otherProgram(hwnd);
    DWORD pid = 0;
    if (!other || !other->processId(hwnd, pid)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      if (processId) *processId = 0;
      return 0;
    }
    if (processId) *processId = pid;
    // The thread is the program's main thread, whose id on Linux is the process id.
    return pid;
  }
  Lock lock(state().lock);
  Window* w = findWindow(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (processId) *processId = static_cast<DWORD>(getpid());
  return w->threadId;
}

HWND WindowFromPoint(POINT pt);  // input.cpp

int SetWindowRgn(HWND hwnd, HRGN region, BOOL redraw) {
  auto& s = state();
  Lock lock(s.lock);
  Window* w = findWindow(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (w->windowRgn && w->windowRgn != region) DeleteObject(w->windowRgn);
  w->windowRgn = region;
  w->shapeRects = region ? fromRegion(region) : RectSet();
  relayout({}, screenRect(w));
  if (redraw && visibleChain(w)) invalidateAllLocked(w, true, false);
  return 1;
}

int GetWindowRgn(HWND hwnd, HRGN region) {
  Lock lock(state().lock);
  Window* w = findWindow(hwnd);
  if (!w || !w->windowRgn || !region) return ERROR;
  return CombineRgn(region, w->windowRgn, nullptr, RGN_COPY);
}
