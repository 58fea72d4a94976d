// Internal state of the window system: windows, classes, per-thread queues, timers and the
// one lock that guards them. Window procedures are never called with the lock held.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "plat_gdi.h"
#include "plat_window.h"
#include "window/rect_set.h"

namespace plat::window {

struct WindowClass {
  std::u16string name;
  std::u16string key;  // lower case, for lookups
  UINT style = 0;
  WNDPROC proc = nullptr;
  int wndExtra = 0;
  HINSTANCE instance = nullptr;
  HBRUSH background = nullptr;
};

struct DcEntry;

struct Window {
  HWND hwnd = nullptr;
  std::shared_ptr<WindowClass> cls;
  WNDPROC proc = nullptr;
  std::u16string title;
  DWORD style = 0;
  DWORD exStyle = 0;
  HINSTANCE instance = nullptr;
  UINT_PTR ctrlId = 0;
  Window* parent = nullptr;  // child windows only
  HWND owner = nullptr;      // top-level windows created with a parent handle
  std::vector<Window*> children;  // topmost first
  RECT rect{};                    // in the parent's client coordinates (top-level: screen)
  bool enabled = true;
  bool destroying = false;
  bool dead = false;
  LONG_PTR userData = 0;
  std::vector<BYTE> extra;
  DWORD threadId = 0;
  RectSet update;  // client coordinates
  bool erase = false;
  HRGN windowRgn = nullptr;
  RectSet shapeRects;  // window region in window coordinates (valid when windowRgn)
  RectSet vis;         // visible region in screen coordinates
  std::vector<DcEntry*> dcs;

  bool visible() const { return (style & WS_VISIBLE) != 0; }
  int width() const { return rect.right - rect.left; }
  int height() const { return rect.bottom - rect.top; }
};

struct DcEntry {
  HDC dc = nullptr;
  Window* window = nullptr;  // null: the whole screen, or the window is gone
  bool paint = false;        // made by BeginPaint: clipped to the update region too
  RectSet paintClip;         // screen coordinates
};

struct SentMessage {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  LRESULT result = 0;
  bool done = false;
  bool wantsReply = true;
  std::condition_variable* senderCv = nullptr;
};

struct InputMessage {
  MSG msg{};
  bool activate = false;  // a touch-down that activates its top-level window when retrieved
};

struct ThreadQueue {
  DWORD threadId = 0;
  std::deque<MSG> posted;
  std::deque<std::shared_ptr<SentMessage>> sent;
  std::deque<InputMessage> input;
  bool quit = false;
  int quitCode = 0;
  bool wake = false;     // something arrived since the thread last looked
  bool waiting = false;  // blocked in GetMessageW
  int receiving = 0;     // nesting of cross-thread sent messages being handled
  MSG last{};
  std::condition_variable cv;
};

struct Timer {
  HWND hwnd = nullptr;
  UINT_PTR id = 0;
  UINT period = 0;
  uint64_t due = 0;
  TIMERPROC proc = nullptr;
  DWORD threadId = 0;
};

struct State {
  std::mutex lock;
  std::condition_variable idleCv;
  std::unordered_map<uintptr_t, std::shared_ptr<Window>> windows;
  std::vector<Window*> topLevels;  // z-order, topmost first
  std::map<std::u16string, std::shared_ptr<WindowClass>> classes;
  std::unordered_map<DWORD, std::shared_ptr<ThreadQueue>> queues;
  std::vector<Timer> timers;
  std::unordered_map<HDC, std::unique_ptr<DcEntry>> dcs;
  std::map<std::u16string, UINT> registered;
  UINT nextRegistered = 0xC000;
  uintptr_t nextHandle = 0x10010;
  UINT_PTR nextThreadTimer = 0x7F00;
  HWND active = nullptr;
  HWND capture = nullptr;
  DWORD captureThread = 0;
  // Double-click detection.
  HWND lastDownWindow = nullptr;
  uint64_t lastDownTime = 0;
  POINT lastDownPoint{};
  POINT cursor{};
  // Visibility changes gathered while a LayoutBatch is open: the screen area they touch.
  int layoutBatches = 0;
  bool layoutPending = false;
  RECT pendingArea{};
};

State& state();

// Class and registered-message names compare without regard to case (ASCII letters).
inline std::u16string foldCase(const char16_t* s) {
  std::u16string k;
  for (; s && *s; ++s) k.push_back(*s >= u'A' && *s <= u'Z' ? static_cast<char16_t>(*s - u'A' + u'a') : *s);
  return k;
}
using Lock = std::unique_lock<std::mutex>;

// All of these expect the lock held.
Window* findWindow(HWND hwnd);
Window* topLevelOf(Window* w);
bool visibleChain(const Window* w);
RECT screenRect(const Window* w);
POINT clientOrigin(const Window* w);
ThreadQueue* queueFor(DWORD threadId);
ThreadQueue& currentQueue();  // made on first use
void wakeQueue(DWORD threadId);
// Recomputes every visible region, invalidates what became exposed, re-clips live DCs.
// `moved`: windows whose content must be repainted entirely (moved or resized, with children).
// `area` (screen coordinates) bounds what changed; windows away from it are left alone.
// Works out the visible regions again after a change inside `area` (screen coordinates; nothing
// outside it changed), or everywhere. `moved` windows are worked out whole and repainted. While a
// LayoutBatch is open a change without moved windows is only gathered.
void relayout(const std::vector<Window*>& moved = {},
              const RECT& area = RECT{INT32_MIN / 2, INT32_MIN / 2, INT32_MAX / 2, INT32_MAX / 2});
// Works out what a batch has gathered so far: before anything reads the visible regions or the
// update regions they feed (a DC is made, paints are looked for).
void flushLayoutLocked();
void invalidateLocked(Window* w, const RectSet& clientArea, bool erase);
void invalidateAllLocked(Window* w, bool erase, bool children);
void releaseWindowDcs(Window* w);
void notifyIdleWatchers();
// Activation (lock held on entry and exit; sends WM_ACTIVATE with the lock released).
void activateLocked(Lock& lock, Window* top, WPARAM how);
// The next window to activate after `gone` disappears (or null).
Window* nextActivatable(Window* gone);

// Calls the window procedure with the lock released. The window must be alive at the call.
LRESULT callProcUnlocked(Lock& lock, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// SendMessageW with the lock held on entry and exit.
LRESULT sendLocked(Lock& lock, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, uint64_t deadline,
                   bool* timedOut);

// Same thread: calls the procedure now; other thread: queues it as a sent message and returns.
void notifyLocked(Lock& lock, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// GDI region made from a rect set (caller deletes).
HRGN toRegion(const RectSet& rs);
RectSet fromRegion(HRGN rgn);

// Screen surface of the display area.
struct ScreenInfo {
  int width;
  int height;
};
ScreenInfo screenSize();

}  // namespace plat::window
