// Watchdogs: how long a test waits for what it depends on before it gives up. They bound a test
// that fails and never make one pass. Under an emulator (a cross build's tests run ARM programs
// through qemu) everything takes many times longer, so there they stretch by HU_WATCHDOG_SCALE
// (1 to 100) from the environment, which ctest sets for those tests.
#pragma once

#include <cstdlib>

namespace hu::test {

inline int watchdogScale() {
  static const int scale = [] {
    const char* text = std::getenv("HU_WATCHDOG_SCALE");
    const int n = text ? std::atoi(text) : 1;
    return n >= 1 && n <= 100 ? n : 1;
  }();
  return scale;
}

}  // namespace hu::test
