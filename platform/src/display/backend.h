// A display backend: receives whole frames; the sdl one also feeds input to the window system.
#pragma once

#include <cstdint>
#include <memory>

#include "plat_types.h"

namespace plat::display {

class DisplayBackend {
 public:
  virtual ~DisplayBackend() = default;
  // Starts the backend; false when it cannot run here.
  virtual bool start(int width, int height, int scale, DWORD quitThread) = 0;
  // Shows one frame (0x00RRGGBB, width x height, rows top-down). Called with no lock of the
  // window system held; may be called from any window thread.
  virtual void present(const uint32_t* pixels, int width, int height) = 0;
  virtual void stop() = 0;
};

// Null when SDL2 is not built in.
std::unique_ptr<DisplayBackend> makeSdlBackend();

// Stops a playing input script and waits for its thread (display close).
void stopScriptPlayer();

}  // namespace plat::display
