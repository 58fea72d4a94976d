// A display backend: receives whole frames; the sdl one also feeds input to the window system.
#pragma once

#include <cstdint>
#include <memory>

#include "plat_types.h"
#include "window/foreign.h"

namespace plat::display {

class DisplayBackend {
 public:
  virtual ~DisplayBackend() = default;
  // Starts the backend; false when it cannot run here. Scale 0: full screen (sdl).
  virtual bool start(int width, int height, int scale, DWORD quitThread) = 0;
  // Shows one frame (0x00RRGGBB, width x height, rows top-down). Called with no lock of the
  // window system held; may be called from any window thread.
  virtual void present(const uint32_t* pixels, int width, int height) = 0;
  virtual void stop() = 0;
};

// Null when SDL2 is not built in.
std::unique_ptr<DisplayBackend> makeSdlBackend();

// Other programs' windows on the X11 server `displayName` (null: $DISPLAY); `screenWindow` is
// our own screen's X window, which is never listed as another program's. Null when the server
// cannot be reached or xcb is not built in.
std::shared_ptr<window::foreign::Source> makeX11Windows(const char* displayName, uint32_t screenWindow);

// Stops a playing input script and waits for its thread (display close).
void stopScriptPlayer();

}  // namespace plat::display
