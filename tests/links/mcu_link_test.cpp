// The microcontroller link as the companion process sees it: frames read from
// "__MsgQueue_RUZ_Read__", requests written to "__MsgQueue_RUZ_Send__".
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>

#include "links/can_protocal.h"
#include "links/device_protocol.h"
#include "links_support.h"

namespace {

using Bytes = std::vector<BYTE>;

struct Post {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

std::mutex g_postLock;
std::vector<Post> g_posts;
// Read on the link's reader thread, set by the test thread.
std::atomic<bool> g_windowExists{true};
HWND const kMainMenu = reinterpret_cast<HWND>(0x4242);

HWND fakeFind() { return g_windowExists ? kMainMenu : nullptr; }
UINT fakeRegister(LPCWSTR name) {
  return std::u16string(name) == u"APPLICATION_MESSAGEID_PROTOCALMCUMSG" ? 0xC123 : 0xC999;
}
BOOL fakePost(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  std::lock_guard<std::mutex> guard(g_postLock);
  g_posts.push_back({w, m, wp, lp});
  return TRUE;
}

class McuLink : public testing::Test {
 protected:
  void SetUp() override {
    plat::msgqueue::setNamePrefix(linktest::uniqueQueuePrefix("mcu"));
    g_windowExists = true;
    {
      std::lock_guard<std::mutex> guard(g_postLock);
      g_posts.clear();
    }
    CCanProtocal::SetWindowLink({fakeFind, fakeRegister, fakePost});
    MSGQUEUEOPTIONS o{sizeof(MSGQUEUEOPTIONS), MSGQUEUE_ALLOW_BROKEN, 1000, 1000, TRUE};
    fromLauncher_ = CreateMsgQueue(CMsgQueue::kOutgoingName, &o);
    o.bReadAccess = FALSE;
    toLauncher_ = CreateMsgQueue(CMsgQueue::kIncomingName, &o);
    ASSERT_NE(fromLauncher_, nullptr);
    ASSERT_NE(toLauncher_, nullptr);
    link_ = std::make_unique<CCanProtocal>();
  }
  void TearDown() override {
    link_.reset();
    CloseMsgQueue(fromLauncher_);
    CloseMsgQueue(toLauncher_);
    plat::msgqueue::removeQueue(CMsgQueue::kOutgoingName);
    plat::msgqueue::removeQueue(CMsgQueue::kIncomingName);
    plat::msgqueue::setNamePrefix("");
    CCanProtocal::SetWindowLink(CCanProtocal::DefaultWindowLink());
  }

  // The next message the launcher sent, or empty after a bounded wait.
  Bytes received() {
    BYTE buffer[1000];
    DWORD got = 0;
    if (!ReadMsgQueue(fromLauncher_, buffer, sizeof buffer, &got, 5000, nullptr)) return {};
    return Bytes(buffer, buffer + got);
  }
  void request(const Bytes& message) {
    ASSERT_TRUE(WriteMsgQueue(toLauncher_, const_cast<BYTE*>(message.data()), static_cast<DWORD>(message.size()), 1000, 0));
  }
  std::vector<Post> posts() {
    std::lock_guard<std::mutex> guard(g_postLock);
    return g_posts;
  }

  linktest::ConsoleCapture console_;
  HANDLE fromLauncher_ = nullptr;
  HANDLE toLauncher_ = nullptr;
  std::unique_ptr<CCanProtocal> link_;
};

TEST_F(McuLink, CommandFrames) {
  ASSERT_TRUE(link_->BridgeReady());
  link_->SendNaviState(TRUE);
  EXPECT_EQ(received(), (Bytes{0x51, 0x05, 0x11, 0x01, 0x97}));
  link_->SendNaviState(FALSE);
  EXPECT_EQ(received(), (Bytes{0x51, 0x05, 0x11, 0x00, 0x98}));
  const BYTE time[3] = {12, 34, 56};
  link_->SendGpsTime(time);
  EXPECT_EQ(received(), (Bytes{0x51, 0x07, 0x10, 0x0C, 0x22, 0x38, 0x31}));
  link_->SendText(u"");
  EXPECT_EQ(received(), (Bytes{0x51, 0x04, 0x12, 0x98}));
  link_->SendText(u"V9 \u00dc\u4e2d");  // U-umlaut is 0x9A in code page 437; the other it lacks
  Bytes text = received();
  ASSERT_EQ(text.size(), 9u);
  EXPECT_EQ(Bytes(text.begin(), text.begin() + 8), (Bytes{0x51, 0x09, 0x12, 'V', '9', ' ', 0x9A, '?'}));
  EXPECT_EQ(text[8], CCanProtocal::Checksum(text.data(), 8));
  EXPECT_TRUE(console_.contains("[Vexa App] MCU TX[5]-- [ 51-05-11-01-97- ]\n"));
}

TEST_F(McuLink, NullTextSendsNothing) {
  link_->SendText(nullptr);
  EXPECT_TRUE(console_.contains("[Vexa APP][WideByte2Acsi Fial! asciisize:0]\r\n"));
  link_->SendNaviState(TRUE);
  EXPECT_EQ(received(), (Bytes{0x51, 0x05, 0x11, 0x01, 0x97})) << "nothing was queued before";
}

TEST_F(McuLink, VolumeRequestsAreClampedAndLogged) {
  struct {
    BYTE level;
    int logged;
    DWORD volume;
  } cases[] = {{100, 42, 0xFFFFFFFF}, {21, 21, 0x7FFF7FFF}, {0, 0, 0}, {42, 42, 0xFFFFFFFF}};
  for (auto& c : cases) {
    console_.clear();
    request({'Q', c.level});
    request({'Z'});  // handled after the volume request is complete
    ASSERT_TRUE(console_.waitFor("MCU RX[1]-- [ 5a- ]"));
    std::string line = "[Vexa APP]CCanProtocal::SetVolume(" + std::to_string(c.logged) + ")\r\n";
    EXPECT_TRUE(console_.contains(line)) << int(c.level);
    DWORD v = 0;
    waveOutGetVolume(nullptr, &v);
    EXPECT_EQ(v, c.volume) << int(c.level);
  }
  EXPECT_TRUE(console_.contains("[Vexa App] MCU RX[2]-- [ 51-2a- ]\n"));
  EXPECT_TRUE(posts().empty());
}

TEST_F(McuLink, RequestsPostedToTheMainWindow) {
  struct {
    Bytes message;
    int expectedPosts;
    WPARAM wParam;
  } cases[] = {
      {{'q'}, 1, 0},
      {{':', 0xA3, 0, 0, 0, 0x02}, 1, 1},
      {{':', 0xA3, 0, 0, 0, 0x02, 9, 9}, 1, 1},
      {{':', 0xA3, 0, 0, 0, 0x03}, 0, 0},
      {{':', 0xA2, 0, 0, 0, 0x02}, 0, 0},
      {{':', 0xA3, 0, 0, 0x02}, 0, 0},  // shorter than six bytes
      {{'x', 1, 2}, 0, 0},
      {{'Q'}, 0, 0},  // a volume request without its level
  };
  for (auto& c : cases) {
    {
      std::lock_guard<std::mutex> guard(g_postLock);
      g_posts.clear();
    }
    console_.clear();
    request(c.message);
    // Messages are handled in order: a marker after it shows that it was handled.
    request({'Z'});
    ASSERT_TRUE(console_.waitFor("MCU RX[1]-- [ 5a- ]"));
    auto p = posts();
    ASSERT_EQ(static_cast<int>(p.size()), c.expectedPosts) << int(c.message[0]) << " size " << c.message.size();
    if (c.expectedPosts) {
      EXPECT_EQ(p[0].window, kMainMenu);
      EXPECT_EQ(p[0].message, 0xC123u);
      EXPECT_EQ(p[0].wParam, c.wParam);
      EXPECT_EQ(p[0].lParam, 0);
    }
  }
  EXPECT_FALSE(console_.contains("SetVolume")) << "a lone 'Q' changes nothing";
}

TEST_F(McuLink, WithoutMainWindowRequestsAreLoggedAndDropped) {
  g_windowExists = false;
  request({'q'});
  request({'Q', 10});
  ASSERT_TRUE(console_.waitFor("SetVolume(10)"));
  EXPECT_TRUE(console_.contains("[Vexa App] MCU RX[1]-- [ 71- ]\n"));
  EXPECT_TRUE(posts().empty());
}

TEST_F(McuLink, LogLinesShowAtMost85Bytes) {
  Bytes message(100, 0xAB);
  message[0] = 'x';
  request(message);
  std::string shown;
  for (int i = 0; i < 85; ++i) shown += i == 0 ? "78-" : "ab-";
  ASSERT_TRUE(console_.waitFor("[Vexa App] MCU RX[100]-- [ " + shown + " ]\n"));

  // Outgoing: the whole message goes, only the log is cut.
  link_.reset();
  CMsgQueue bridge;
  ASSERT_TRUE(bridge.Create(nullptr));
  EXPECT_EQ(bridge.Send(message.data(), 100), 1);
  EXPECT_EQ(received(), message);
  EXPECT_TRUE(console_.contains("[Vexa App] MCU TX[100]-- [ " + shown + " ]\n"));
}

TEST(McuBridge, SendRefusesEmptyMessagesAndReportsAFullQueue) {
  linktest::ConsoleCapture console;
  plat::msgqueue::setNamePrefix(linktest::uniqueQueuePrefix("bridge"));
  {
    CMsgQueue bridge;
    ASSERT_TRUE(bridge.Create(nullptr));
    BYTE byte = 1;
    EXPECT_EQ(bridge.Send(nullptr, 1), 0);
    EXPECT_EQ(bridge.Send(&byte, 0), 0);
    EXPECT_EQ(bridge.Send(&byte, -1), 0);
    Bytes whole(1000, 7);
    EXPECT_EQ(bridge.Send(whole.data(), 1000), 1);
    Bytes tooLong(1001, 7);
    EXPECT_EQ(bridge.Send(tooLong.data(), 1001), 0);
    // Nobody reads: the queue fills, then each send waits its 100 ms and is lost.
    MSGQUEUEINFO info{};
    HANDLE probe = nullptr;
    {
      MSGQUEUEOPTIONS o{sizeof(MSGQUEUEOPTIONS), MSGQUEUE_ALLOW_BROKEN, 1000, 1000, FALSE};
      probe = CreateMsgQueue(CMsgQueue::kOutgoingName, &o);
      GetMsgQueueInfo(probe, &info);
    }
    for (DWORD i = 1; i < info.dwMaxMessages; ++i) ASSERT_EQ(bridge.Send(&byte, 1), 1) << i;
    EXPECT_EQ(bridge.Send(&byte, 1), 0);
    EXPECT_TRUE(console.contains("[Vexa App] MCU TX[1]-- [ 01- ]\n")) << "the attempt is still logged";
    CloseMsgQueue(probe);
  }
  plat::msgqueue::removeQueue(CMsgQueue::kOutgoingName);
  plat::msgqueue::removeQueue(CMsgQueue::kIncomingName);
  plat::msgqueue::setNamePrefix("");
}

TEST(McuBridge, DestructionEndsAnIdleReaderAtOnce) {
  plat::msgqueue::setNamePrefix(linktest::uniqueQueuePrefix("idle"));
  linktest::ConsoleCapture console;
  auto bridge = std::make_unique<CMsgQueue>();
  ASSERT_TRUE(bridge->Create([](void*, BYTE*, int) { return 1; }));
  ASSERT_TRUE(console.waitFor("CMsgQueue::MsgQueueReadThread Begin"));
  auto begin = std::chrono::steady_clock::now();
  bridge.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(1000));
  plat::msgqueue::removeQueue(CMsgQueue::kOutgoingName);
  plat::msgqueue::removeQueue(CMsgQueue::kIncomingName);
  plat::msgqueue::setNamePrefix("");
}

TEST(DeviceProtocol, TheNullProtocolDoesNothing) {
  std::unique_ptr<CDeviceProtocol> p = std::make_unique<CNullDeviceProtocol>();
  EXPECT_EQ(p->GetState(), 0);
  EXPECT_EQ(p->IsReaderRunning(0), 1);
  EXPECT_EQ(p->IsWriterRunning(0), 1);
  p->UpdateScreenData(u"Main", nullptr);
  p->SendCommand(1, 2, nullptr, 3, 4);
  p->Reset();
}

}  // namespace
