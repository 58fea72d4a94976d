// A display backend: receives the parts of frames that changed; the sdl one also feeds input to
// the window system.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "plat_types.h"
#include "window/foreign.h"

namespace plat::display {

class DisplayBackend {
 public:
  virtual ~DisplayBackend() = default;
  // Starts the backend; false when it cannot run here. Scale 0: full screen (sdl).
  virtual bool start(int width, int height, int scale, DWORD quitThread) = 0;
  // Shows what changed of a frame: `frame` is the whole screen (0x00RRGGBB, width x height, rows
  // top-down; read only during the call), `rects` the parts that differ from the frame before
  // (the whole screen the first time). Called with no lock of the window system held; may be
  // called from any window thread.
  virtual void present(const uint32_t* frame, int width, int height, const std::vector<RECT>& rects) = 0;
  virtual void stop() = 0;
};

// Null when SDL2 is not built in. `accelerated`: present through SDL's accelerated renderer (a
// GPU's driver) instead of the window surface.
std::unique_ptr<DisplayBackend> makeSdlBackend(bool accelerated);

// Other programs' windows on the X11 server `displayName` (null: $DISPLAY); `screenWindow` is
// our own screen's X window, which is never listed as another program's. Null when the server
// cannot be reached or xcb is not built in.
std::shared_ptr<window::foreign::Source> makeX11Windows(const char* displayName, uint32_t screenWindow);

// The screen as a Wayland window of our own ($WAYLAND_DISPLAY): shared-memory buffers, pointer,
// touch and keys. Null when not built in.
std::unique_ptr<DisplayBackend> makeWaylandScreen();

// Other programs' windows on sway, through its IPC socket at `socketPath` ($SWAYSOCK); our own
// screen window is the one of our process. Null when the socket does not answer or json-c is
// not built in.
std::shared_ptr<window::foreign::Source> makeSwayWindows(const char* socketPath);
// On a Wayland session: installs sway's windows ($SWAYSOCK) as other programs' windows, and
// says on the console whether `screen` (what shows our screen) sees them.
void watchSwayWindows(const char* screen);

// Wakes a thread that polls the eventfd `fd` (nothing when it is -1).
void wakeEventFd(int fd);

// More than `most` changed parts (a page of text) become the one box around them.
inline void limitParts(std::vector<RECT>& parts, size_t most) {
  if (parts.size() <= most) return;
  RECT box = parts.front();
  for (const RECT& r : parts) {
    box.left = std::min(box.left, r.left);
    box.top = std::min(box.top, r.top);
    box.right = std::max(box.right, r.right);
    box.bottom = std::max(box.bottom, r.bottom);
  }
  parts.assign(1, box);
}

// Stops a playing input script and waits for its thread (display close).
void stopScriptPlayer();

}  // namespace plat::display
