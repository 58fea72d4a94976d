// The screen surface (ScreenWidth x ScreenHeight, 32-bit 0x00RRGGBB) and the hooks by which
// the window system tells the display when to present it.
#pragma once

#include <cstdint>

#include "gdi/gdi_bridge.h"

namespace plat::display {

// The screen, made at the configured size on first use.
plat::gdi::Surface screenSurface();
int screenWidth();
int screenHeight();
// Only while no window exists; other sizes are kept for the next reset.
void setScreenSize(int width, int height);

// A thread's message queue ran dry (called without the window lock). Presents the frame when
// it changed and the display's rate allows; otherwise remembers that a present is owed.
void queueIdle();
// Platform-clock time at which an owed present may happen (UINT64_MAX: none owed).
uint64_t presentDueMs();

}  // namespace plat::display
