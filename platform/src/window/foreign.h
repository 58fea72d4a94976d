// Other programs' windows: the top-level windows of other clients of the display server the
// screen is shown on. The window calls hand them out as handles of their own kind (a tag bit no
// handle of ours carries) and pass every call on such a handle to the one installed source.
// The sdl display on an X11 server installs one; the headless display has none, so there the
// calls see our own windows only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "plat_types.h"

namespace plat::window::foreign {

// Bit 44 of a handle (bit 31 where handles have 32 bits) marks another program's window; our own
// handles count up from 0x10010 and stay below 0x7FFFFFF0.
constexpr uintptr_t kHandleTag = uintptr_t{1} << (sizeof(uintptr_t) == 8 ? 44 : 31);
inline bool isForeign(HWND hwnd) { return (reinterpret_cast<uintptr_t>(hwnd) & kHandleTag) != 0; }

class Source {
 public:
  virtual ~Source() = default;
  // Top-level windows of other programs in stacking order, topmost first, split by where they
  // stand against our own screen window.
  virtual void list(std::vector<HWND>& above, std::vector<HWND>& below) = 0;
  // Every call below is false (or empty) for a window that is gone; its handle then stays invalid.
  virtual bool alive(HWND hwnd) = 0;
  virtual bool visible(HWND hwnd) = 0;
  // 0 when the window names no process.
  virtual bool processId(HWND hwnd, DWORD& pid) = 0;
  virtual bool title(HWND hwnd, std::u16string& text) = 0;
  virtual bool className(HWND hwnd, std::u16string& text) = 0;
  // ShowWindow's commands: hide, minimise, show (and front unless `activate` is false).
  virtual bool show(HWND hwnd, int command, bool& wasVisible) = 0;
  // Above every other window, with the input focus.
  virtual bool front(HWND hwnd) = 0;
  // Our own screen window above every other program's window again.
  virtual void frontScreen() = 0;
};

// The display installs its source when it opens and removes it when it closes. Calls in flight
// keep the source they took alive.
void install(std::shared_ptr<Source> source);
void uninstall();
std::shared_ptr<Source> current();

}  // namespace plat::window::foreign
