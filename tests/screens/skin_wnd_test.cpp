// The screen framework: which handler slot each message reaches and in what order, the
// key-hook flag, creation at the main viewport, closing and destruction, and the skin check on
// activation.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/skin_wnd.h"
#include "screen_fixture.h"

namespace {

// A screen that writes down every slot it is called in.
class RecordingScreen : public CSkinWnd {
 public:
  std::vector<std::string> calls;
  void note(const std::string& slot, WPARAM w = 0) { calls.push_back(slot + ":" + std::to_string(w)); }
  void OnReceivedMsg() override { note("ReceivedMsg"); }
  void OnActivate(WPARAM s, LPARAM) override { note("Activate", s); }
  void OnCreate() override { note("Create"); }
  void OnCommand(WPARAM id, LPARAM) override { note("Command", id); }
  void OnTimer(WPARAM id, LPARAM) override { note("Timer", id); }
  void OnKeyDown(WPARAM k, LPARAM) override { note("KeyDown", k); }
  void OnKeyUp(WPARAM k, LPARAM) override { note("KeyUp", k); }
  void OnMcuKeyDown(WPARAM w, LPARAM) override { note("McuKeyDown", w); }
  void OnMcuKeyUp(WPARAM w, LPARAM) override { note("McuKeyUp", w); }
  void OnDeviceArrival(WPARAM w, LPARAM) override { note("DeviceArrival", w); }
  void OnDevOnsiteEx(WPARAM w, LPARAM) override { note("DevOnsiteEx", w); }
  void OnDevRemoveEx(WPARAM w, LPARAM) override { note("DevRemoveEx", w); }
  void OnDeviceRemoved(WPARAM w, LPARAM) override { note("DeviceRemoved", w); }
  void OnMsg4C9(WPARAM w, LPARAM) override { note("4C9", w); }
  void OnMButtonDown(WPARAM w, LPARAM) override { note("MButtonDown", w); }
  void OnMouseWheel(WPARAM w, LPARAM) override { note("MouseWheel", w); }
  void OnMButtonUp(WPARAM w, LPARAM) override { note("MButtonUp", w); }
  int OnClose(WPARAM, LPARAM) override {
    note("Close");
    return closeResult;
  }
  void OnDestroy() override { note("Destroy"); }
  void OnNotify(WPARAM w, LPARAM) override { note("Notify", w); }
  void OnGraphNotify(WPARAM w, LPARAM) override { note("GraphNotify", w); }
  void OnAppMsg(WPARAM w, LPARAM) override { note("AppMsg", w); }
  void OnMsg2B1B(WPARAM w, LPARAM) override { note("2B1B", w); }
  void OnMsg2B1E(WPARAM w, LPARAM) override { note("2B1E", w); }
  void OnMsg2B1F(WPARAM w, LPARAM) override { note("2B1F", w); }
  void OnMsg2B20(WPARAM w, LPARAM) override { note("2B20", w); }
  void OnMsg2B21(WPARAM w, LPARAM) override { note("2B21", w); }
  void OnTpBtShow(WPARAM w, LPARAM) override { note("TpBtShow", w); }
  void OnMsg2401(WPARAM w, LPARAM) override { note("2401", w); }
  void OnMsg2B22(WPARAM w, LPARAM) override { note("2B22", w); }
  void OnMsg7E9() override { note("7E9"); }
  void OnMsg7EA() override { note("7EA"); }
  void OnMessage(UINT m, WPARAM w, LPARAM) override {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", m);
    note(std::string("Message ") + (m >= 0xC000 ? "registered" : hex), w);
  }
  int closeResult = 1;
};

class SkinWndTest : public hu::test::ScreenFixture {
 protected:
  void SetUp() override {
    ScreenFixture::SetUp();
    screen_.SetName(u"StatusBar", u"StatusBar");
    screen_.SetScript(u"StatusBar_Script.xml", nullptr);
    ASSERT_TRUE(screen_.Create(nullptr, nullptr, SW_SHOW, 0));
    pumpUntilIdle();
    screen_.calls.clear();
  }
  std::vector<std::string> send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    screen_.calls.clear();
    SendMessageW(screen_.GetHwnd(), message, wParam, lParam);
    return screen_.calls;
  }
  RecordingScreen screen_;
};

using Calls = std::vector<std::string>;

TEST_F(SkinWndTest, EachMessageReachesItsSlotAndOnlyTheOthersReachOnMessage) {
  struct Row {
    UINT message;
    WPARAM wParam;
    Calls expected;
  };
  const UINT attach = RegisterWindowMessageW(u"WM_MSG_DEVICEATTACH");
  const UINT remove = RegisterWindowMessageW(u"WM_MSG_DEVICEREMOVE");
  const Row rows[] = {
      {WM_DEVICECHANGE, 0x8000, {"DeviceArrival:32768"}},
      {WM_DEVICECHANGE, 0x8004, {"DeviceRemoved:32772"}},
      {WM_DEVICECHANGE, 0x8001, {}},
      {0x4C8, 7, {"DeviceArrival:7"}},
      {0x4C9, 7, {"4C9:7"}},
      {0x48E, 0, {"7E9:0"}},
      {0x48E, 5, {"7EA:0"}},
      {0x7E9, 1, {"7E9:0"}},
      {0x7EA, 1, {"7EA:0"}},
      {WM_MBUTTONDOWN, 9, {"MButtonDown:9"}},
      {WM_MBUTTONUP, 9, {"MButtonUp:9"}},
      {0x20A, 9, {"MouseWheel:9"}},
      {WM_NOTIFY, 3, {"Notify:3"}},
      {0x8000, 3, {"AppMsg:3"}},
      {0x2B1B, 3, {"2B1B:3"}},
      {0x2B22, 3, {"2B22:3"}},
      {0x2B1E, 3, {"2B1E:3", "Message 2B1E:3"}},
      {0x2B1F, 3, {"2B1F:3", "Message 2B1F:3"}},
      {0x2B20, 3, {"2B20:3", "Message 2B20:3"}},
      {0x2B21, 3, {"2B21:3", "Message 2B21:3"}},
      {0x2401, 3, {"2401:3", "Message 2401:3"}},
      {attach, 0, {"DevOnsiteEx:0", "Message registered:0"}},
      {remove, 0, {"DevRemoveEx:0", "Message registered:0"}},
      {RegisterWindowMessageW(u"APPLICATION_MESSAGEID_EXTRECEIVEDMSG"), 4, {"ReceivedMsg:0", "Message registered:4"}},
      {RegisterWindowMessageW(u"APPLICATION_MESSAGEID_EXTMCUKEYDOWNMSG"), 4, {"McuKeyDown:4", "Message registered:4"}},
      {RegisterWindowMessageW(u"APPLICATION_MESSAGEID_EXTMCUKEYUPMSG"), 4, {"McuKeyUp:4", "Message registered:4"}},
      {RegisterWindowMessageW(u"APPLICATION_MESSAGEID_EXTGRAPHNOTIFY"), 4, {"GraphNotify:4", "Message registered:4"}},
      {RegisterWindowMessageW(u"APPLICATION_MESSAGEID_EXTTPBTSHOW"), 4, {"TpBtShow:4", "Message registered:4"}},
      {RegisterWindowMessageW(u"SOME_OTHER_NAME"), 4, {"Message registered:4"}},
      {0x0401, 4, {"Message 401:4"}},
      {WM_COMMAND, 42, {"Command:42"}},
      {WM_TIMER, 77, {"Timer:77"}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(send(row.message, row.wParam), row.expected) << std::hex << row.message << " " << row.wParam;
  }
}

TEST_F(SkinWndTest, KeyHookKeepsOnlyTheNextKeyUpFromTheEngine) {
  // Every key-up that the engine sees starts its remote-mode time-out timer.
  ASSERT_EQ(plat::window::nextTimerDueMs(), UINT64_MAX);
  const UINT hook = RegisterWindowMessageW(u"APPLICATION_MESSAGEID_EXTKEYHOOKMSG");
  send(hook);
  EXPECT_EQ(CSkinWnd::KeyHookFlag(), 1);
  EXPECT_EQ(send(WM_KEYUP, 40), Calls{"KeyUp:40"});
  EXPECT_EQ(CSkinWnd::KeyHookFlag(), 0);
  EXPECT_EQ(plat::window::nextTimerDueMs(), UINT64_MAX) << "the hooked key-up reached the engine";
  EXPECT_EQ(send(WM_KEYUP, 40), Calls{"KeyUp:40"});
  EXPECT_NE(plat::window::nextTimerDueMs(), UINT64_MAX) << "the next key-up did not reach the engine";
}

TEST_F(SkinWndTest, ActivationReachesOnActivateAfterTheFrameworkStep) {
  EXPECT_EQ(send(WM_ACTIVATE, WA_INACTIVE), Calls{"Activate:0"});
  EXPECT_EQ(send(WM_ACTIVATE, WA_ACTIVE), Calls{"Activate:1"});
  EXPECT_EQ(send(WM_ACTIVATE, WA_CLICKACTIVE), Calls{"Activate:2"});
}

TEST_F(SkinWndTest, CloseTellsTheParentAndDestroysTheWindowWithoutOnDestroy) {
  HWND parent = CreateWindowExW(0, u"StatusBar", u"parent", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(parent, nullptr);
  RecordingScreen child;
  child.SetName(u"ChildScreen", u"ChildScreen");
  child.SetScript(u"StatusBar_Script.xml", nullptr);
  ASSERT_TRUE(child.Create(parent, nullptr, SW_SHOW, 0));
  HWND window = child.GetHwnd();
  child.calls.clear();
  clearConsole();
  SendMessageW(window, WM_CLOSE, 0, 0);
  // Hiding the window on the way out still reaches the screen; destruction no longer does.
  ASSERT_FALSE(child.calls.empty());
  EXPECT_EQ(child.calls.front(), "Close:0");
  EXPECT_EQ(std::count(child.calls.begin(), child.calls.end(), "Destroy:0"), 0);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(child.GetHwnd(), nullptr);
  EXPECT_TRUE(consoleHas("--- ChildScreen"));
  MSG m;
  ASSERT_TRUE(PeekMessageW(&m, parent, WM_COMMAND, WM_COMMAND, PM_REMOVE));
  EXPECT_EQ(m.wParam, 1824u);
  EXPECT_FALSE(quitSeen());

  // A screen that refuses in OnClose still goes, but tells no one.
  ASSERT_TRUE(child.Create(parent, nullptr, SW_SHOW, 0));
  child.closeResult = 0;
  SendMessageW(child.GetHwnd(), WM_CLOSE, 0, 0);
  EXPECT_FALSE(PeekMessageW(&m, parent, WM_COMMAND, WM_COMMAND, PM_REMOVE));
  DestroyWindow(parent);
}

TEST_F(SkinWndTest, DestroyingAnAttachedWindowEndsTheLauncher) {
  HWND window = screen_.GetHwnd();
  screen_.calls.clear();
  DestroyWindow(window);
  ASSERT_FALSE(screen_.calls.empty());
  EXPECT_EQ(screen_.calls.back(), "Destroy:0");
  EXPECT_EQ(screen_.GetHwnd(), nullptr);
  pumpUntilIdle();
  EXPECT_TRUE(quitSeen());
  EXPECT_EQ(quitCode(), 0);
}

TEST_F(SkinWndTest, DeletingAScreenDestroysItsWindowWithoutQuitting) {
  auto* other = new RecordingScreen();
  other->SetName(u"Other", u"Other");
  other->SetScript(u"StatusBar_Script.xml", nullptr);
  ASSERT_TRUE(other->Create(nullptr, nullptr, SW_SHOW, 0));
  HWND window = other->GetHwnd();
  delete other;
  EXPECT_FALSE(IsWindow(window));
  pumpUntilIdle();
  EXPECT_FALSE(quitSeen());
}

TEST_F(SkinWndTest, WindowTakesTheMainViewportAndASecondCreateFindsIt) {
  RECT r = {};
  GetWindowRect(screen_.GetHwnd(), &r);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.right, 800);
  EXPECT_EQ(r.bottom, 40);
  RecordingScreen twin;
  twin.SetName(u"StatusBar", u"StatusBar");
  twin.SetScript(u"StatusBar_Script.xml", nullptr);
  EXPECT_TRUE(twin.Create(nullptr, nullptr, SW_SHOW, 0));
  EXPECT_EQ(twin.GetHwnd(), screen_.GetHwnd());
  EXPECT_TRUE(twin.calls.empty()) << "no second window, so no second OnCreate";
  twin.DestroyWnd();  // the window is the first screen's; closing it here is the test's end
}

TEST_F(SkinWndTest, MissingOrBrokenScriptGivesNoWindowAndSaysWhy) {
  writeFile("Windows/Skin800x480/Broken_Script.xml", "<SL_MENUS><MENU>");
  for (const char16_t* script : {u"Missing_Script.xml", u"Broken_Script.xml"}) {
    RecordingScreen bad;
    bad.SetName(u"Bad", u"Bad");
    bad.SetScript(script, nullptr);
    clearConsole();
    EXPECT_FALSE(bad.Create(nullptr, nullptr, SW_SHOW, 0));
    EXPECT_EQ(bad.GetHwnd(), nullptr);
    EXPECT_EQ(FindWindowW(u"Bad", nullptr), nullptr);
    EXPECT_TRUE(consoleHas("cannot be loaded, no window")) << consoleText();
  }
}

// The animation type a view was given (the engine keeps it to itself).
struct ViewState : CSkinlet {
  static int animationType(CSkinlet& view) { return view.*(&ViewState::AnimationType); }
};

TEST_F(SkinWndTest, TheAnimationTypeIsLimitedToZeroToEightAndAMissingOneIsStoredAsZero) {
  const struct {
    const char* setting;
    int type;
  } rows[] = {{"", 0}, {"<ANIMATOR_TYPE Value=\"12\"/>", 8}, {"<ANIMATOR_TYPE Value=\"-3\"/>", 0},
              {"<ANIMATOR_TYPE Value=\"5\"/>", 5}};
  for (const auto& r : rows) {
    writeFile("GPSData/Config.xml",
              std::string("<CONFIG><CURRENT_SKIN Value=\"1\"/><SKIN1>Skin800x480</SKIN1>") + r.setting + "</CONFIG>");
    g_pConfig->Load();
    RecordingScreen other;
    other.SetName(u"Other", u"Other");
    other.SetScript(u"StatusBar_Script.xml", nullptr);
    ASSERT_TRUE(other.Create(nullptr, nullptr, SW_SHOW, 0));
    EXPECT_EQ(ViewState::animationType(other.View()), r.type) << r.setting;
    if (!*r.setting) {  // a missing type is stored
      CConfig reread;
      int stored = -1;
      EXPECT_TRUE(reread.Open() && reread.GetValue(u"ANIMATOR_TYPE", &stored) && stored == 0);
    }
  }
}

TEST_F(SkinWndTest, ActivationAfterASkinChangeReloadsTheScriptAndResizesTheWindow) {
  // A second skin whose status bar is taller.
  copyIntoUnit(std::string(HU_SOURCE_DIR) + "/unit/Windows/Skin800x480", "Windows/Tall");
  std::string script;
  {
    std::ifstream in(hostPath("Windows/Tall/StatusBar_Script.xml"));
    script.assign(std::istreambuf_iterator<char>(in), {});
  }
  auto at = script.find("Hight=\"40\"");
  ASSERT_NE(at, std::string::npos);
  script.replace(at, 10, "Hight=\"64\"");
  writeFile("Windows/Tall/StatusBar_Script.xml", script);
  writeFile("GPSData/Config.xml", "<CONFIG><CURRENT_SKIN Value=\"2\"/><SKIN2>Tall</SKIN2><ANIMATOR_TYPE Value=\"0\"/></CONFIG>");

  send(WM_ACTIVATE, WA_ACTIVE);
  EXPECT_EQ(std::u16string(screen_.GetSkinPath()), u"Tall");
  RECT v = {};
  screen_.View().SL_GetMainViewPort(&v);
  EXPECT_EQ(v.bottom, 64);
  RECT r = {};
  GetWindowRect(screen_.GetHwnd(), &r);
  EXPECT_EQ(r.bottom - r.top, 64);
  // The same skin again changes nothing; a skin whose script does not load leaves no
  // viewport, and the window keeps its size.
  for (const char* skin : {"Tall", "Missing"}) {
    writeFile("GPSData/Config.xml",
              std::string("<CONFIG><CURRENT_SKIN Value=\"2\"/><SKIN2>") + skin + "</SKIN2></CONFIG>");
    send(WM_ACTIVATE, WA_ACTIVE);
    GetWindowRect(screen_.GetHwnd(), &r);
    EXPECT_EQ(r.bottom - r.top, 64) << skin;
  }
}

}  // namespace
