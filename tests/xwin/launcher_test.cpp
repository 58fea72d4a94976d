// The launcher program on the sdl display of an X server of its own: it shows its screen, and
// when the X server goes away it ends in order with the status that makes its supervisor start
// it again.
#include <gtest/gtest.h>
#include <mqueue.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "plat_display.h"
#include "program_name.h"
#include "x_server.h"

namespace hu::test {
namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class LauncherOnXTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!server_.start(why)) GTEST_SKIP() << why;
    char pattern[] = "/tmp/hu-xwin-unit-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    std::string prepare = std::string(HU_SOURCE_DIR) + "/scripts/prepare-unit.sh \"" + dir_ + "/unit\" >/dev/null";
    ASSERT_EQ(system(prepare.c_str()), 0);
    // The launchers started here use queues of their own, which a crashed one leaves for the test.
    queues_ = "hu-xwin-" + std::filesystem::path(dir_).filename().string() + "-";
    setenv("HU_MSGQUEUE_PREFIX", queues_.c_str(), 1);
  }
  void TearDown() override {
    if (child_ > 0) {
      kill(child_, SIGKILL);
      waitpid(child_, nullptr, 0);
    }
    unsetenv("HU_MSGQUEUE_PREFIX");
    for (const char* name : {"__MsgQueue_RUZ_Read__", "__MsgQueue_RUZ_Send__"}) mq_unlink(("/" + queues_ + name).c_str());
    server_.stop();
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
  }

  void startLauncher() { startLauncher(server_.display()); }
  void startLauncher(const std::string& display) {
    std::string program = std::string(HU_BINARY_DIR) + "/launcher/launcher";
    ASSERT_EQ(access(program.c_str(), X_OK), 0) << "build the launcher target first";
    console_ = dir_ + "/console.txt";
    std::string unit = dir_ + "/unit";
    child_ = fork();
    if (child_ == 0) {
      setenv("DISPLAY", display.c_str(), 1);
      unsetenv("WAYLAND_DISPLAY");
      unsetenv("SDL_VIDEODRIVER");
      setenv("SDL_RENDER_DRIVER", "software", 1);
      setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 1);
      // A sanitizer build's leak report must not stand in for the exit status under test.
      setenv("LSAN_OPTIONS", "suppressions=" HU_SOURCE_DIR "/tests/xwin/sdl_leaks.supp", 1);
      int out = open((dir_ + "/stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(out, 1);
      dup2(out, 2);
      execl(program.c_str(), "launcher", "--unit", unit.c_str(), "--display", "sdl", "--fullscreen", "--console-file",
            console_.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
  }

  // The launcher's exit status, or -1 when it has not ended within `ms`.
  int waitExit(int ms) {
    int status = 0;
    bool ended = waitUntil([&] { return waitpid(child_, &status, WNOHANG) == child_; }, ms);
    if (!ended) return -1;
    child_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  XServer server_;
  std::string dir_, queues_;
  std::string console_;
  pid_t child_ = -1;
};

TEST_F(LauncherOnXTest, ShowsItsScreenFullAndEndsInOrderWhenTheXServerGoesAway) {
  startLauncher();
  {
    XClient x(server_.display());
    ASSERT_TRUE(x.ok());
    xcb_window_t screen = 0;
    ASSERT_TRUE(waitUntil([&] { return (screen = x.windowOfProcess(static_cast<uint32_t>(child_))) != 0; }, 15000))
        << readFile(console_);
    EXPECT_EQ(x.topMapped(), screen);
  }
  ASSERT_TRUE(waitUntil([&] { return readFile(console_).find("other programs' windows are seen") != std::string::npos; }));
  server_.stop();
  // Generous: a sanitizer build checks its heap on the way out, slowly on a loaded machine.
  EXPECT_EQ(waitExit(30000), HU_DISPLAY_LOST_EXIT_STATUS) << readFile(dir_ + "/stderr.txt");
  EXPECT_NE(readFile(console_).find("the X server went away"), std::string::npos) << readFile(console_);
}

TEST_F(LauncherOnXTest, FullScreenWithoutAnXServerEndsAtOnceWithTheDisplayLostStatus) {
  HeldDisplay nobody;
  startLauncher(nobody.display());
  EXPECT_EQ(waitExit(30000), HU_DISPLAY_LOST_EXIT_STATUS) << readFile(dir_ + "/stderr.txt");
  EXPECT_NE(readFile(console_).find("no screen to show the shell on"), std::string::npos) << readFile(console_);
}

// Without an X server (none named, or one that is not there) the demo program runs windowless.
TEST(DemoProgramTest, RunsWithoutAWindowWhereNoXServerIsReachable) {
  std::string program = std::string(HU_BINARY_DIR) + "/tools/navione";
  ASSERT_EQ(access(program.c_str(), X_OK), 0) << "build the navione target first";
  for (const char* env : {"env -u DISPLAY", "env DISPLAY=:4321"}) {
    std::string command = std::string(env) + " " + program + " --seconds 1 --exit-code 7 2>&1";
    FILE* out = popen(command.c_str(), "r");
    ASSERT_NE(out, nullptr);
    std::string text;
    char buf[256];
    while (size_t n = fread(buf, 1, sizeof buf, out)) text.append(buf, n);
    int status = pclose(out);
    EXPECT_EQ(text.find("window open"), std::string::npos) << env << ": " << text;
    EXPECT_NE(text.find("NaviOne: navigation finished"), std::string::npos) << env << ": " << text;
    EXPECT_EQ(WEXITSTATUS(status), 7) << env;
  }
}

// The unit's X session (packaging/headunit-session) with Xvfb standing in for Xorg: it ends
// with the status the service restarts on, whether the display goes or the launcher crashes.
class SessionTest : public LauncherOnXTest {
 protected:
  void SetUp() override {
    if (access("/usr/bin/Xvfb", X_OK) != 0) GTEST_SKIP() << "Xvfb is not installed (apt-get install xvfb)";
    char pattern[] = "/tmp/hu-xwin-session-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    std::string prepare = std::string(HU_SOURCE_DIR) + "/scripts/prepare-unit.sh \"" + dir_ + "/unit\" >/dev/null";
    ASSERT_EQ(system(prepare.c_str()), 0);
    console_ = dir_ + "/console.log";
    child_ = fork();
    if (child_ == 0) {
      setpgid(0, 0);
      setenv("HEADUNIT_XSERVER", "/usr/bin/Xvfb", 1);
      setenv("HEADUNIT_XARGS", "-screen 0 800x480x24", 1);
      setenv("HEADUNIT_UNIT", (dir_ + "/unit").c_str(), 1);
      setenv("HEADUNIT_STATE", dir_.c_str(), 1);
      setenv("LOGS_DIRECTORY", dir_.c_str(), 1);
      setenv("HEADUNIT_LAUNCHER", HU_BINARY_DIR "/launcher/launcher", 1);
      setenv("SDL_RENDER_DRIVER", "software", 1);
      setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 1);
      setenv("LSAN_OPTIONS", "suppressions=" HU_SOURCE_DIR "/tests/xwin/sdl_leaks.supp", 1);
      unsetenv("WAYLAND_DISPLAY");
      unsetenv("SDL_VIDEODRIVER");
      int out = open((dir_ + "/stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(out, 1);
      dup2(out, 2);
      execl(HU_SOURCE_DIR "/packaging/headunit-session", "headunit-session", static_cast<char*>(nullptr));
      _exit(127);
    }
    ASSERT_TRUE(waitUntil([&] { return readFile(console_).find("other programs' windows are seen") != std::string::npos; },
                          20000))
        << readFile(dir_ + "/stderr.txt");
  }
  void TearDown() override {
    if (child_ > 0) kill(-child_, SIGKILL);
    LauncherOnXTest::TearDown();
  }

  // The session's child process running `name` (the X server or the launcher).
  pid_t childNamed(const std::string& name) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
      std::string stat = readFile(entry.path().string() + "/stat");
      size_t close = stat.rfind(')');
      if (close == std::string::npos || programName(std::atol(entry.path().filename().c_str())) != name) continue;
      long ppid = std::atol(stat.c_str() + close + 4);
      if (ppid == child_) return static_cast<pid_t>(std::atol(entry.path().filename().c_str()));
    }
    return -1;
  }
};

TEST_F(SessionTest, EndsWithTheDisplayLostStatusWhenItsXServerGoes) {
  pid_t server = childNamed("Xvfb");
  ASSERT_GT(server, 0);
  kill(server, SIGTERM);
  // Generous: a sanitizer build checks its heap on the way out, slowly on a loaded machine.
  EXPECT_EQ(waitExit(30000), HU_DISPLAY_LOST_EXIT_STATUS) << readFile(dir_ + "/stderr.txt");
}

TEST_F(SessionTest, EndsWithACrashStatusWhenTheLauncherCrashesAndTakesItsXServerAlong) {
  pid_t launcher = childNamed("launcher");
  pid_t server = childNamed("Xvfb");
  ASSERT_GT(launcher, 0);
  kill(launcher, SIGABRT);
  EXPECT_EQ(waitExit(15000), 128 + SIGABRT);
  EXPECT_TRUE(waitUntil([&] { return kill(server, 0) != 0; }));
}

}  // namespace
}  // namespace hu::test
