// Shared set-up of the X server tests: the program's X server, and a unit root with the
// platform started and the sdl display open on that server.
#pragma once

#include "../services/unit_fixture.h"
#include "plat_display.h"
#include "x_server.h"

namespace hu::test {

extern XServer* g_xserver;
extern std::string g_xserverMissing;

class OnXServerTest : public UnitRootTest {
 protected:
  void SetUp() override {
    if (!g_xserver) GTEST_SKIP() << g_xserverMissing;
    UnitRootTest::SetUp();
    x_ = std::make_unique<XClient>(g_xserver->display());
    ASSERT_TRUE(x_->ok());
    plat::display::Options d;
    d.backend = plat::display::Backend::Sdl;
    // The test thread paints the screen itself and presents it (presentNow); presenting from the
    // listener windows' thread meanwhile would read the screen while it is being painted.
    d.presentOnIdle = false;
    ASSERT_TRUE(plat::display::open(d));
    ASSERT_EQ(plat::display::active(), plat::display::Backend::Sdl);
    // Our screen window is up once the server shows it.
    ASSERT_TRUE(waitUntil([&] { return (screen_ = x_->windowOfProcess(static_cast<uint32_t>(getpid()))) != 0; }));
  }
  void TearDown() override {
    if (!g_xserver) return;
    plat::display::close();
    x_.reset();
    UnitRootTest::TearDown();
  }

  // Fills our whole screen with one colour and shows it.
  void paintScreen(uint32_t rgb) {
    HDC dc = GetDC(nullptr);
    HBRUSH brush = CreateSolidBrush(RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF));
    RECT all = {0, 0, 800, 480};
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    ReleaseDC(nullptr, dc);
    plat::display::presentNow();
  }

  // Where a person looks: the middle of the screen, below any title band.
  bool screenShows(uint32_t rgb, int x = 400, int y = 240) {
    return waitUntil([&] { return x_->screenPixel(x, y) == rgb; });
  }

  std::unique_ptr<XClient> x_;
  xcb_window_t screen_ = 0;
};

}  // namespace hu::test
