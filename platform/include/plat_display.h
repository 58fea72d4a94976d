// The display: where the screen surface goes (an SDL2 window or nowhere), input scripts and
// snapshots. The launcher's main parses --display, --scale and --script into Options and
// calls open() before it creates windows; tests use the headless backend.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace plat::display {

enum class Backend { Auto, Headless, Sdl };

struct Options {
  // Auto: sdl when a display is present (DISPLAY or WAYLAND_DISPLAY set) and SDL2 is built in,
  // headless otherwise.
  Backend backend = Backend::Auto;
  // sdl only: each screen pixel becomes scale x scale window pixels (1 to 8).
  int scale = 1;
  // sdl only: the window fills the whole display (borderless), the screen scaled to fit.
  bool fullscreen = false;
  // sdl only: present through SDL's accelerated renderer (the GPU's driver: worth it where a
  // GPU scales to a large display) instead of the window surface (shared memory, no GL).
  bool accelerated = false;
  // When sdl cannot start: go on headless (true), or fail open() (false: a unit's kiosk, where a
  // screen nobody sees is worse than ending and being started again).
  bool fallBackToHeadless = true;
  // Screen size; 0 keeps the current one (800 x 480 unless set before).
  int width = 0;
  int height = 0;
  // At most this many presents per second (on the platform clock).
  int rate = 60;
  // Present when the queues go idle. The test harness turns it off for the headless display
  // (nothing looks at those frames), so that reading the screen to compare frames never runs
  // while another thread of a test draws; presentNow() still presents.
  bool presentOnIdle = true;
  // Host path of an input script to play once the program's windows are idle (empty: none).
  std::string script;
};

// The exit status of a program whose X server went away under its sdl display: it ends in
// order with this status, and a supervisor starts it again once there is a display.
#define HU_DISPLAY_LOST_EXIT_STATUS 4

// "headless" / "sdl" / "auto" (for --display). False for anything else.
bool parseBackend(const std::string& text, Backend& out);

// Reads one command-line option of the display: "--display" (headless|sdl|auto), "--scale"
// (1 to 8) or "--script" (a host path). False, with the reason in `error`, for a bad value or
// an option that is not the display's.
bool parseOption(const std::string& option, const std::string& value, Options& out, std::string& error);

// Opens the display from the calling thread (the thread whose message loop the sdl window's
// close button ends). Falls back to headless, with a console line, when SDL cannot start.
// Returns false only when the options are invalid or the script cannot be read.
bool open(const Options& options);
// Stops the script player and the backend. Safe when nothing is open.
void close();
bool isOpen();
Backend active();

// Writes the screen as a PNG (host path). False, with a console line, on failure.
bool snapshot(const std::string& hostPngPath);
// One screen pixel, 0x00RRGGBB (0 outside the screen).
uint32_t pixel(int x, int y);
// Frames handed to the backend so far, and the pixels they changed.
uint64_t framesPresented();
uint64_t pixelsPresented();
// Sleeps until a frame later than `seen` went to the backend, or until `stop` is set and
// wakeFrameWaiters() called; returns framesPresented(). Costs nothing while nothing changes.
uint64_t waitFrame(uint64_t seen, const std::atomic<bool>& stop);
void wakeFrameWaiters();
// Presents now if the screen changed since the last present (ignores the rate).
void presentNow();

// Input scripts (see docs/input-scripts.md).
struct ScriptStep {
  enum Kind { Tap, Press, Move, Release, Drag, Key, KeyDown, KeyUp, Wait, Snapshot, Quit };
  Kind kind = Wait;
  int args[5] = {0, 0, 0, 0, 0};  // coordinates, key code or milliseconds, as the kind needs
  std::string file;               // snapshot: host path (relative paths: the script's folder)
  int line = 0;
};
// Parses a whole script; on the first bad line returns false with a message naming the line.
bool parseInputScript(const std::string& text, std::vector<ScriptStep>& steps, std::string& error);
// Reads and plays a script on a thread of its own: each step waits until the windows are idle
// (at most 5 s), `wait` waits on the platform clock, `quit` ends the opening thread's message
// loop. Returns false, with a console line, when the file cannot be read or parsed.
bool runInputScript(const std::string& hostPath);
// True while a script is being played.
bool scriptRunning();
// Waits until the script player has finished, at most timeoutMs of real time.
bool waitScript(uint32_t timeoutMs);

}  // namespace plat::display
