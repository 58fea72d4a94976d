// End to end on a real X server: the program watcher starts a navigation program from the card,
// finds its window in the first 2-second slice and hands it to the main window, which shows and
// fronts it the way the launcher's main window does; when the program ends our screen is in
// front again.
#include <gtest/gtest.h>

#include <chrono>

#include "../services/listener_window.h"
#include "services/utility.h"
#include "window/foreign.h"
#include "xwin_env.h"

namespace hu::test {
namespace {

constexpr uint32_t kOurScreen = 0x3060C0;
constexpr uint32_t kNaviBand = 0x1E3A8A;  // the demo program's title band
constexpr uint32_t kNaviLand = 0xE8E0C8;  // its map's land

class WatcherOnXTest : public OnXServerTest {
 protected:
  UINT id(const char16_t* name) { return RegisterWindowMessageW(name); }

  void placeDemoProgram(const std::string& relative) {
    std::string built = std::string(HU_BINARY_DIR) + "/tools/navione";
    ASSERT_EQ(access(built.c_str(), X_OK), 0) << "build the navione target first: " << built;
    std::filesystem::create_directories(std::filesystem::path(host(relative)).parent_path());
    std::filesystem::copy_file(built, host(relative), std::filesystem::copy_options::overwrite_existing);
    chmod(host(relative).c_str(), 0755);
  }

  // Starts `path`, waits for the watcher's report; returns the window it reported and how long
  // it took (real time).
  HWND startAndFind(ListenerWindows& owner, const char16_t* path, std::chrono::milliseconds& took, int waitMs = 8000) {
    auto start = std::chrono::steady_clock::now();
    if (!util.ExcuteProgram(owner.window(0), path, &info)) return nullptr;
    if (!owner.waitCount(WM_COMMAND, 1, id(u"APPLICATION_MESSAGEID_NAVIFINDWNDMSG"), waitMs)) return nullptr;
    took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    for (const Received& r : owner.received())
      if (r.message == WM_COMMAND && r.wParam == id(u"APPLICATION_MESSAGEID_NAVIFINDWNDMSG"))
        return reinterpret_cast<HWND>(r.lParam);
    return nullptr;
  }

  // What the main window does with the program's window once it is known.
  void showAndFront(HWND program) {
    ShowWindow(program, SW_SHOW);
    SetForegroundWindow(program);
  }

  DWORD processId() { return std::atomic_ref<DWORD>(info.dwProcessId).load(); }

  CUtility util;
  PROCESS_INFORMATION info = {};
};

TEST_F(WatcherOnXTest, TheDemoProgramsWindowIsFoundFrontedAndTheScreenComesBackWhenItCloses) {
  placeDemoProgram("StorageCard/NaviOnej0p/NaviOne.exe");
  ListenerWindows owner({u"MainMenu"});
  SetForegroundWindow(owner.window(0));
  paintScreen(kOurScreen);
  ASSERT_TRUE(screenShows(kOurScreen));
  std::chrono::milliseconds took{};
  HWND program = startAndFind(owner, u"\\StorageCard\\NaviOnej0p\\NaviOne.exe", took);
  ASSERT_NE(program, nullptr) << "the watcher reported no window";
  EXPECT_TRUE(plat::window::foreign::isForeign(program));
  // Found at the end of the first slice, not after the 20-second give-up.
  EXPECT_LT(took.count(), 4000);
  WCHAR text[64];
  GetClassNameW(program, text, 64);
  EXPECT_EQ(std::u16string(text), u"NaviOne");
  GetWindowTextW(program, text, 64);
  EXPECT_EQ(std::u16string(text), u"NaviOne navigation");
  DWORD pid = 0;
  GetWindowThreadProcessId(program, &pid);
  EXPECT_EQ(pid, processId());

  // Our screen was fronted over it; the main window brings it forward.
  SetForegroundWindow(owner.window(0));
  ASSERT_TRUE(screenShows(kOurScreen));
  showAndFront(program);
  xcb_window_t navi = x_->windowOfProcess(pid);
  ASSERT_NE(navi, 0u);
  EXPECT_GT(x_->stackIndex(navi), x_->stackIndex(screen_));
  EXPECT_EQ(x_->topMapped(), navi);
  EXPECT_TRUE(screenShows(kNaviBand, 10, 10));
  EXPECT_TRUE(screenShows(kNaviLand, 60, 120));

  // The driver closes it with its window's close button: the program ends, the window goes.
  x_->askToClose(navi);
  ASSERT_TRUE(owner.waitCount(WM_COMMAND, 1, id(u"APPLICATION_MESSAGEID_EXTNAVIEXITMSG"), 8000));
  EXPECT_FALSE(IsWindow(program));
  EXPECT_EQ(x_->topMapped(), screen_);
  EXPECT_TRUE(screenShows(kOurScreen));
  EXPECT_TRUE(screenShows(kOurScreen, 10, 10));
}

TEST_F(WatcherOnXTest, AWindowOfAProgramStartedByAScriptOnTheCardCounts) {
  // The real program runs in a session of its own: only its parentage ties it to the script.
  placeDemoProgram("StorageCard/Navi/bin/navione");
  writeFile("StorageCard/Navi/Navi.exe",
            "#!/bin/sh\nsetsid \"$(dirname \"$0\")/bin/navione\" --seconds 30 &\nwait $!\n", true);
  ListenerWindows owner({u"MainMenu"});
  std::chrono::milliseconds took{};
  HWND program = startAndFind(owner, u"\\StorageCard\\Navi\\Navi.exe", took);
  ASSERT_NE(program, nullptr);
  EXPECT_LT(took.count(), 4000);
  DWORD pid = 0;
  GetWindowThreadProcessId(program, &pid);
  EXPECT_NE(pid, processId());  // the script's child owns the window
  EXPECT_NE(getpgid(static_cast<pid_t>(pid)), static_cast<pid_t>(processId()));
  showAndFront(program);
  xcb_window_t navi = x_->windowOfProcess(pid);
  EXPECT_EQ(x_->topMapped(), navi);
  // Closed by its window: the program ends, then the script, and the watcher reports it.
  x_->askToClose(navi);
  ASSERT_TRUE(owner.waitCount(WM_COMMAND, 1, id(u"APPLICATION_MESSAGEID_EXTNAVIEXITMSG"), 8000));
  EXPECT_FALSE(IsWindow(program));
  EXPECT_EQ(x_->topMapped(), screen_);
}

TEST_F(WatcherOnXTest, AWindowOfAProgramThatLeftItsParentButNotItsProcessGroupCounts) {
  // Started in the background of a subshell that ends at once: its parent is gone, its
  // process group is still the started program's.
  placeDemoProgram("StorageCard/Navi/bin/navione");
  writeFile("StorageCard/Navi/Navi.exe",
            "#!/bin/sh\n( \"$(dirname \"$0\")/bin/navione\" --seconds 30 & )\nsleep 30\n", true);
  ListenerWindows owner({u"MainMenu"});
  std::chrono::milliseconds took{};
  HWND program = startAndFind(owner, u"\\StorageCard\\Navi\\Navi.exe", took);
  ASSERT_NE(program, nullptr);
  EXPECT_LT(took.count(), 4000);
  DWORD pid = 0;
  GetWindowThreadProcessId(program, &pid);
  EXPECT_NE(pid, processId());
  // Ending the started program ends its whole process group, the window's program too.
  TerminateProcess(std::atomic_ref<HANDLE>(info.hProcess).load(), 0);
  ASSERT_TRUE(owner.waitCount(WM_COMMAND, 1, id(u"APPLICATION_MESSAGEID_EXTNAVIEXITMSG"), 8000));
  EXPECT_TRUE(waitUntil([&] { return !IsWindow(program); }));
}

TEST_F(WatcherOnXTest, AnotherProgramsWindowIsNotTakenForTheStartedOnes) {
  // A desktop program of someone else is up before ours starts.
  xcb_window_t stranger = x_->makeWindow(0x00FF00);
  x_->setPid(stranger, 1);  // init: no program of ours
  placeDemoProgram("StorageCard/NaviOnej0p/NaviOne.exe");
  ListenerWindows owner({u"MainMenu"});
  std::chrono::milliseconds took{};
  HWND program = startAndFind(owner, u"\\StorageCard\\NaviOnej0p\\NaviOne.exe", took);
  ASSERT_NE(program, nullptr);
  DWORD pid = 0;
  GetWindowThreadProcessId(program, &pid);
  EXPECT_EQ(pid, processId());
  TerminateProcess(std::atomic_ref<HANDLE>(info.hProcess).load(), 0);
  ASSERT_TRUE(owner.waitCount(WM_COMMAND, 1, id(u"APPLICATION_MESSAGEID_EXTNAVIEXITMSG"), 8000));
  x_->destroy(stranger);
}

TEST_F(WatcherOnXTest, TheDebianNavigationProgramIsFoundAndFronted) {
  if (access("/usr/bin/navit", X_OK) != 0) GTEST_SKIP() << "navit is not installed (apt-get install navit)";
  // The card entry that scripts/prepare-unit.sh places.
  std::string script = std::string(HU_SOURCE_DIR) + "/scripts/navit-entry.sh";
  ASSERT_EQ(system(("\"" + script + "\" \"" + host("StorageCard/Navit") + "\" 800 480").c_str()), 0);
  ListenerWindows owner({u"MainMenu"});
  SetForegroundWindow(owner.window(0));
  paintScreen(kOurScreen);
  std::chrono::milliseconds took{};
  HWND program = startAndFind(owner, u"\\StorageCard\\Navit\\Navit.exe", took, 25000);
  ASSERT_NE(program, nullptr) << "navit opened no window the watcher could find";
  SetForegroundWindow(owner.window(0));
  showAndFront(program);
  DWORD pid = 0;
  GetWindowThreadProcessId(program, &pid);
  xcb_window_t navit = x_->windowOfProcess(pid);
  ASSERT_NE(navit, 0u);
  EXPECT_EQ(x_->topMapped(), navit);
  EXPECT_TRUE(waitUntil([&] { return x_->screenPixel(400, 240) != kOurScreen; }));
  TerminateProcess(std::atomic_ref<HANDLE>(info.hProcess).load(), 0);
  ASSERT_TRUE(owner.waitCount(WM_COMMAND, 1, id(u"APPLICATION_MESSAGEID_EXTNAVIEXITMSG"), 8000));
  EXPECT_TRUE(waitUntil([&] { return x_->topMapped() == screen_; }));
  EXPECT_TRUE(screenShows(kOurScreen));
}

}  // namespace
}  // namespace hu::test
