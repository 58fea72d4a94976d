// One X server for the whole program; every test skips with the reason when it cannot start.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "xwin_env.h"

namespace hu::test {

XServer* g_xserver = nullptr;
std::string g_xserverMissing;

namespace {

class XServerEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    server_ = std::make_unique<XServer>();
    if (server_->start(g_xserverMissing)) {
      g_xserver = server_.get();
      setenv("DISPLAY", server_->display().c_str(), 1);
      // SDL must use the X server, whatever the caller's environment says.
      unsetenv("WAYLAND_DISPLAY");
      unsetenv("SDL_VIDEODRIVER");
    } else {
      std::fprintf(stderr, "[  SKIP    ] X server tests: %s\n", g_xserverMissing.c_str());
    }
  }
  void TearDown() override {
    g_xserver = nullptr;
    server_.reset();
  }

 private:
  std::unique_ptr<XServer> server_;
};

}  // namespace
}  // namespace hu::test

// The session bus connection SDL keeps is never freed; it is not ours to check.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }

int main(int argc, char** argv) {
  // The software renderer: a virtual X server has no graphics card, and the GL drivers SDL
  // would load and unload leave nothing a leak report could name.
  setenv("SDL_RENDER_DRIVER", "software", 1);
  setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 1);
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new hu::test::XServerEnvironment);
  return RUN_ALL_TESTS();
}
