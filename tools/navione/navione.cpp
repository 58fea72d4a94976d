// navione: the demo navigation program of the default unit. The launcher starts it from
// \StorageCard\NaviOnej0p\NaviOne.exe, watches it and takes the screen back when it ends.
// It stays up until it is closed (SIGTERM, SIGINT, or the launcher ending it) or until the
// given time has passed.
//
//   NaviOne.exe [--seconds N] [--exit-code C]
//   NAVIONE_SECONDS=N  the same as --seconds (the launcher passes no arguments); 0: until closed
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

volatile std::sig_atomic_t g_closed = 0;

void onSignal(int) { g_closed = 1; }

bool parseNumber(const char* text, long& value) {
  if (!text || !*text) return false;
  char* end = nullptr;
  long v = std::strtol(text, &end, 10);
  if (*end != 0 || v < 0) return false;
  value = v;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  long seconds = 60;
  long exitCode = 0;
  if (const char* env = std::getenv("NAVIONE_SECONDS")) {
    if (!parseNumber(env, seconds)) std::fprintf(stderr, "NaviOne: NAVIONE_SECONDS=%s is not a number, using 60\n", env);
  }
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    long* into = arg == "--seconds" ? &seconds : arg == "--exit-code" ? &exitCode : nullptr;
    if (!into || i + 1 >= argc || !parseNumber(argv[i + 1], *into)) {
      std::fprintf(stderr, "usage: NaviOne.exe [--seconds N] [--exit-code C]\n");
      return 2;
    }
    ++i;
  }
  std::signal(SIGTERM, onSignal);
  std::signal(SIGINT, onSignal);
  if (seconds > 0)
    std::printf("NaviOne: navigation running for %ld s (close it to return sooner)\n", seconds);
  else
    std::printf("NaviOne: navigation running until closed\n");
  std::fflush(stdout);
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  // A demo stand-in for a navigation program: it only has to stay alive, so a coarse nap that
  // notices a close request within a tenth of a second is enough.
  while (!g_closed && (seconds == 0 || std::chrono::steady_clock::now() < end))
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::printf("NaviOne: navigation %s\n", g_closed ? "closed" : "finished");
  std::fflush(stdout);
  return static_cast<int>(exitCode & 0xFF);
}
