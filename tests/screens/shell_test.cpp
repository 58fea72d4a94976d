// The shell's start-up and shutdown as the launcher runs them around its message loop.
#include <gtest/gtest.h>
#include <unistd.h>

#include "app/shell.h"
#include "links/msg_queue.h"
#include "plat_device.h"
#include "plat_msgqueue.h"
#include "plat_registry.h"
#include "screen_fixture.h"

namespace {

class ShellTest : public hu::test::ScreenFixture {
 protected:
  void SetUp() override {
    ScreenFixture::SetUp();
    plat::msgqueue::setNamePrefix("hu-test-shell-" + std::to_string(getpid()) + "-");
    plat::device::reset();
  }
  void TearDown() override {
    plat::msgqueue::removeQueue(CMsgQueue::kOutgoingName);
    plat::msgqueue::removeQueue(CMsgQueue::kIncomingName);
    plat::msgqueue::setNamePrefix("");
    ScreenFixture::TearDown();
  }
};

TEST_F(ShellTest, TheTaskBarIsHiddenWhileTheShellRunsAndTheCardsMarkerCalibratesBeforeTheLoop) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.lpszClassName = u"HHTaskBar";
  RegisterClassW(&wc);
  HWND bar = CreateWindowExW(0, u"HHTaskBar", u"", WS_POPUP | WS_VISIBLE, 0, 440, 800, 40, nullptr, nullptr, nullptr,
                             nullptr);
  // The unit's storage card, where the marker is looked for.
  ASSERT_TRUE(plat::registry::loadText(
      "REGEDIT4\n[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory1]\n\"Folder\"=\"StorageCard\"\n"));
  for (bool marker : {false, true}) {
    if (marker) writeFile("StorageCard/Calibration.vexa", "");
    const unsigned calibrations = plat::device::touchCalibrations();
    app::CShell shell;
    ASSERT_TRUE(shell.Start(nullptr));
    EXPECT_FALSE(IsWindowVisible(bar));
    // Before a single message is dispatched.
    EXPECT_EQ(plat::device::touchCalibrations() - calibrations, marker ? 1u : 0u);
    EXPECT_EQ(plat::device::state().displayQueries, 2u) << "day and night picture parameters";
    shell.Stop();
    EXPECT_TRUE(IsWindowVisible(bar));
    plat::device::reset();
  }
}

}  // namespace
