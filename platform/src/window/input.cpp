// Touch and key input: hit testing, capture, double clicks and activation by touch.
#include <cstdlib>

#include "plat_core.h"
#include "plat_thread.h"
#include "plat_time.h"
#include "window/window_system.h"

namespace plat::window {

namespace {

bool shapeContains(const Window* w, int x, int y) {
  RECT r = screenRect(w);
  if (x < r.left || x >= r.right || y < r.top || y >= r.bottom) return false;
  return !w->windowRgn || w->shapeRects.contains(x - r.left, y - r.top);
}

// The deepest visible, enabled window under a screen point whose window region holds it.
Window* hitTest(int x, int y) {
  for (Window* t : state().topLevels) {
    if (!t->visible() || t->destroying || !shapeContains(t, x, y)) continue;
    if (!t->enabled) return nullptr;
    Window* cur = t;
    for (bool deeper = true; deeper;) {
      deeper = false;
      for (Window* c : cur->children) {
        if (c->visible() && c->enabled && !c->destroying && shapeContains(c, x, y)) {
          cur = c;
          deeper = true;
          break;
        }
      }
    }
    return cur;
  }
  return nullptr;
}

void pushInput(Window* target, const MSG& m, bool activate) {
  ThreadQueue* q = queueFor(target->threadId);
  if (!q) return;
  // Moves not yet read are merged into the newest one, as the device's queue does.
  if (m.message == WM_MOUSEMOVE && !q->input.empty() && q->input.back().msg.message == WM_MOUSEMOVE &&
      q->input.back().msg.hwnd == m.hwnd) {
    q->input.back().msg = m;
  } else {
    q->input.push_back(InputMessage{m, activate});
  }
  q->wake = true;
  q->cv.notify_all();
}

bool g_buttonDown = false;

}  // namespace

void injectTouch(UINT message, int x, int y) {
  if (message != WM_LBUTTONDOWN && message != WM_LBUTTONUP && message != WM_MOUSEMOVE) return;
  auto& s = state();
  Lock lock(s.lock);
  s.cursor = POINT{x, y};
  if (message == WM_LBUTTONDOWN) g_buttonDown = true;
  if (message == WM_LBUTTONUP) g_buttonDown = false;
  Window* target = s.capture ? findWindow(s.capture) : nullptr;
  if (!target) target = hitTest(x, y);
  if (!target) return;
  POINT o = clientOrigin(target);
  MSG m{};
  m.hwnd = target->hwnd;
  m.message = message;
  m.wParam = (message == WM_LBUTTONUP || !g_buttonDown) ? 0 : MK_LBUTTON;
  m.lParam = MAKELPARAM(x - o.x, y - o.y);
  m.time = static_cast<DWORD>(plat::clock::nowMs());
  m.pt = POINT{x, y};
  bool activate = false;
  if (message == WM_LBUTTONDOWN) {
    uint64_t now = plat::clock::nowMs();
    if ((target->cls->style & CS_DBLCLKS) && s.lastDownWindow == target->hwnd &&
        now - s.lastDownTime <= GetDoubleClickTime() && std::abs(x - s.lastDownPoint.x) <= 4 &&
        std::abs(y - s.lastDownPoint.y) <= 4) {
      m.message = WM_LBUTTONDBLCLK;
      s.lastDownWindow = nullptr;
    } else {
      s.lastDownWindow = target->hwnd;
      s.lastDownTime = now;
      s.lastDownPoint = POINT{x, y};
    }
    Window* top = topLevelOf(target);
    activate = top && s.active != top->hwnd && !(top->exStyle & WS_EX_NOACTIVATE);
  }
  pushInput(target, m, activate);
}

void injectKey(UINT virtualKey, bool down) {
  auto& s = state();
  Lock lock(s.lock);
  Window* target = findWindow(s.active);
  if (!target) return;
  MSG m{};
  m.hwnd = target->hwnd;
  m.message = down ? WM_KEYDOWN : WM_KEYUP;
  m.wParam = virtualKey & 0xFF;
  m.lParam = down ? 1 : static_cast<LPARAM>(0xC0000001u);
  m.time = static_cast<DWORD>(plat::clock::nowMs());
  m.pt = s.cursor;
  pushInput(target, m, false);
}

}  // namespace plat::window

using namespace plat::window;

HWND WindowFromPoint(POINT pt) {
  Lock lock(state().lock);
  Window* w = hitTest(pt.x, pt.y);
  return w ? w->hwnd : nullptr;
}

HWND SetCapture(HWND hwnd) {
  auto& s = state();
  Lock lock(s.lock);
  HWND old = s.capture;
  if (hwnd && !findWindow(hwnd)) return old;
  s.capture = hwnd;
  if (old && old != hwnd && findWindow(old)) notifyLocked(lock, old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
  return old;
}

BOOL ReleaseCapture() {
  auto& s = state();
  Lock lock(s.lock);
  HWND old = s.capture;
  s.capture = nullptr;
  if (old && findWindow(old)) notifyLocked(lock, old, WM_CAPTURECHANGED, 0, 0);
  return TRUE;
}

HWND GetCapture() {
  Lock lock(state().lock);
  return state().capture;
}

UINT GetDoubleClickTime() { return 500; }

BOOL GetCursorPos(LPPOINT pt) {
  if (!pt) return FALSE;
  Lock lock(state().lock);
  *pt = state().cursor;
  return TRUE;
}

HCURSOR LoadCursorW(HINSTANCE, LPCWSTR name) {
  // Touch screens show no cursor; any non-null handle serves.
  return reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(name ? 0x7F00 : 0));
}

namespace {
HCURSOR g_cursor = nullptr;
int g_cursorCount = 0;
}  // namespace

HCURSOR SetCursor(HCURSOR cursor) {
  Lock lock(state().lock);
  HCURSOR old = g_cursor;
  g_cursor = cursor;
  return old;
}

int ShowCursor(BOOL show) {
  Lock lock(state().lock);
  g_cursorCount += show ? 1 : -1;
  return g_cursorCount;
}
