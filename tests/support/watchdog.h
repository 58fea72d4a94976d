// Watchdogs: how long a test waits for what it depends on before it gives up. They bound a test
// that fails and never make one pass. Under an emulator (a cross build's tests run ARM programs
// through qemu) everything takes many times longer, so there they stretch by HU_WATCHDOG_SCALE.
#pragma once

#ifndef HU_WATCHDOG_SCALE
#define HU_WATCHDOG_SCALE 1
#endif

namespace hu::test {

constexpr int kWatchdogScale = HU_WATCHDOG_SCALE;

}  // namespace hu::test
