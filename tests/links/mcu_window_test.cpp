// The MCU link posting to a real main window of class and title "MainMenu".
#include <gtest/gtest.h>

#include <memory>

#include "links/can_protocal.h"
#include "links_support.h"
#include "platform_fixture.h"

namespace {

LRESULT CALLBACK plainProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcW(w, m, wp, lp); }

class McuWindow : public hu::test::PlatformFixture {
 protected:
  void SetUp() override {
    freezeClock_ = false;  // the bridge's reader runs on real time
    PlatformFixture::SetUp();
    plat::msgqueue::setNamePrefix(linktest::uniqueQueuePrefix("win"));
    MSGQUEUEOPTIONS o{sizeof(MSGQUEUEOPTIONS), MSGQUEUE_ALLOW_BROKEN, 1000, 1000, FALSE};
    toLauncher_ = CreateMsgQueue(CMsgQueue::kIncomingName, &o);
    link_ = std::make_unique<CCanProtocal>();
  }
  void TearDown() override {
    link_.reset();
    CloseMsgQueue(toLauncher_);
    plat::msgqueue::removeQueue(CMsgQueue::kOutgoingName);
    plat::msgqueue::removeQueue(CMsgQueue::kIncomingName);
    plat::msgqueue::setNamePrefix("");
    PlatformFixture::TearDown();
  }
  void request(std::vector<BYTE> m) { WriteMsgQueue(toLauncher_, m.data(), static_cast<DWORD>(m.size()), 1000, 0); }
  // The next MCU notice posted to the window, or -1 after a bounded wait.
  long nextNotice(HWND w) {
    UINT notice = RegisterWindowMessageW(u"APPLICATION_MESSAGEID_PROTOCALMCUMSG");
    for (int i = 0; i < 500; ++i) {
      MSG msg{};
      while (PeekMessageW(&msg, w, 0, 0, PM_REMOVE))
        if (msg.message == notice) return static_cast<long>(msg.wParam);
      Sleep(10);
    }
    return -1;
  }
  HANDLE toLauncher_ = nullptr;
  std::unique_ptr<CCanProtocal> link_;
};

TEST_F(McuWindow, RequestsReachTheMainMenuWindow) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = plainProc;
  wc.lpszClassName = u"MainMenu";
  ASSERT_NE(RegisterClassW(&wc), 0);
  HWND w = CreateWindowExW(0, u"MainMenu", u"MainMenu", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  request({'q'});
  EXPECT_EQ(nextNotice(w), 0);
  request({':', 0xA3, 0, 0, 0, 2});
  EXPECT_EQ(nextNotice(w), 1);
  DestroyWindow(w);
}

}  // namespace
