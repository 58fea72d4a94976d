// The unit's Wayland session (packaging/headunit-sway-session with its kiosk configuration) on a
// headless sway: the launcher comes up in front; the program it starts from the card (held back
// by a wrapper script until the test lets it go) is in front once its window appears, whether a
// native Wayland window or an Xwayland one; when it ends the launcher is in front again; and when
// the compositor goes away the launcher ends in order with the display-lost status.
#include <gtest/gtest.h>
#include <mqueue.h>
#include <sys/stat.h>

#include "plat_display.h"
#include "sway.h"

namespace hu::test {
namespace {

struct Program {
  const char* name;
  const char* needs;  // a program that must be installed, or null
  // The command the wrapper on the card runs (DIR is the test's folder).
  const char* command;
  const char* comm;  // its process name
  const char* shell;  // where sway says its window comes from
};

const Program kPrograms[] = {
    {"Xwayland", nullptr, "DIR/navione --seconds 0", "navione", "xwayland"},
    // A native Wayland window: a second launcher on a unit of its own.
    {"NativeWayland", nullptr, "DIR/launcher --unit DIR/unit2 --display sdl", "launcher", "xdg_shell"},
    // Debian's navit through Xwayland, from the card entry scripts/navit-entry.sh makes.
    {"Navit", "/usr/bin/navit", "DIR/Navit/Navit.exe", "navit", "xwayland"},
};

class KioskSessionTest : public ::testing::TestWithParam<Program> {
 protected:
  void SetUp() override {
    std::string why = Sway::missing();
    if (!why.empty()) GTEST_SKIP() << why;
    if (access("/usr/bin/Xwayland", X_OK) != 0 && std::string(GetParam().shell) == "xwayland")
      GTEST_SKIP() << "Xwayland is not installed (apt-get install xwayland)";
    if (GetParam().needs && access(GetParam().needs, X_OK) != 0)
      GTEST_SKIP() << GetParam().needs << " is not installed";
    char pattern[] = "/tmp/hu-wayland-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    for (const char* unit : {"unit", "unit2"}) {
      std::string prepare = std::string(HU_SOURCE_DIR) + "/scripts/prepare-unit.sh \"" + dir_ + "/" + unit + "\" >/dev/null";
      ASSERT_EQ(std::system(prepare.c_str()), 0);
    }
    std::filesystem::remove_all(dir_ + "/unit2/StorageCard/NaviOnej0p");
    std::string navit = std::string(HU_SOURCE_DIR) + "/scripts/navit-entry.sh '" + dir_ + "/Navit' 800 480 >/dev/null";
    ASSERT_EQ(std::system(navit.c_str()), 0);
    // The programs run as the compositor's user, from copies it can read.
    std::string copy = "cp " HU_BINARY_DIR "/launcher/launcher " HU_BINARY_DIR "/skinlet/libskinlet.so " HU_BINARY_DIR
                       "/tools/navione '" + dir_ + "/'";
    ASSERT_EQ(std::system(copy.c_str()), 0);
    std::string command = GetParam().command;
    for (size_t at; (at = command.find("DIR")) != std::string::npos;) command.replace(at, 3, dir_);
    std::ofstream(dir_ + "/unit/StorageCard/NaviOnej0p/NaviOne.exe")
        << "#!/bin/sh\n# Held back until the test lets it go.\nwhile [ ! -e '" << dir_ << "/go' ]; do sleep 0.05; done\n"
        << "exec " << command << "\n";
    std::filesystem::permissions(dir_ + "/unit/StorageCard/NaviOnej0p/NaviOne.exe", std::filesystem::perms::all);
    // The unit's settings reach the launcher: only the card's program may start, and the
    // companion's queues are shared with a group.
    std::string allow = "cd '" + dir_ + "/unit/StorageCard' && sha256sum NaviOnej0p/NaviOne.exe | " +
                        "sed 's|  |  \\\\StorageCard\\\\|; s|/|\\\\|' >'" + dir_ + "/programs.sha256'";
    ASSERT_EQ(std::system(allow.c_str()), 0);
    ASSERT_TRUE(sway_.start(dir_, {HU_SOURCE_DIR "/packaging/headunit-sway-session"},
                            {"HEADUNIT_LAUNCHER=" + dir_ + "/launcher", "HEADUNIT_UNIT=" + dir_ + "/unit",
                             "HEADUNIT_STATE=" + dir_, "LOGS_DIRECTORY=" + dir_,
                             "HEADUNIT_SWAY_CONFIG=" HU_SOURCE_DIR "/packaging/sway/config", "LSAN_OPTIONS=detect_leaks=0",
                             "HU_MSGQUEUE_PREFIX=" + queues(), "HEADUNIT_ALLOW_PROGRAMS=" + dir_ + "/programs.sha256",
                             "HEADUNIT_QUEUE_GROUP=nogroup"},
                            dir_ + "/session.txt"))
        << log();
  }
  void TearDown() override {
    sway_.stop();
    for (const char* name : {"__MsgQueue_RUZ_Read__", "__MsgQueue_RUZ_Send__"}) mq_unlink(("/" + queues() + name).c_str());
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
  }

  // The launchers' queues, their own (the second launcher has a unit and a session of its own).
  std::string queues() const { return "hu-kiosk-" + std::filesystem::path(dir_).filename().string() + "-"; }
  std::string log() { return readFile(dir_ + "/session.txt") + readFile(dir_ + "/console.log"); }

  std::string dir_;
  Sway sway_;
};

TEST_P(KioskSessionTest, TheStartedProgramAndTheLauncherTakeTurnsInFrontAndTheLauncherEndsWithItsCompositor) {
  const Program& p = GetParam();
  ASSERT_TRUE(waitUntil([&] { return programName(sway_.focusedPid()) == "launcher"; }, 30000)) << log();
  ASSERT_TRUE(waitUntil([&] { return log().find("other programs' windows are seen") != std::string::npos; }))
      << log();
  long launcher = sway_.focusedPid();
  EXPECT_NE(log().find("allowed programs: 1 listed in"), std::string::npos) << log();
  struct stat queue {};
  EXPECT_EQ(stat(("/dev/mqueue/" + queues() + "__MsgQueue_RUZ_Send__").c_str(), &queue), 0);
  EXPECT_EQ(queue.st_mode & 0777, 0660u) << "the companion's queue is not shared with the group";

  std::ofstream(dir_ + "/go") << "go\n";
  SwayView program;
  ASSERT_TRUE(waitUntil(
      [&] {
        for (const SwayView& v : sway_.views())
          if (v.pid != launcher && programName(v.pid) == p.comm) program = v;
        return program.pid != 0;
      },
      30000))
      << log();
  EXPECT_EQ(program.shell, p.shell);
  // In front within a second of its window appearing.
  EXPECT_TRUE(waitUntil([&] { return sway_.focusedPid() == program.pid; }, 1000)) << log();
  // The program watcher finds it by its process (the wrapper's, which the program took over) at
  // its next look (every 2 s), not when it gives up looking 20 s after the start, seconds later.
  EXPECT_TRUE(waitUntil([&] { return log().find("MGSID_NAVIFINDWNDMSG") != std::string::npos; }, 6000)) << log();

  kill(static_cast<pid_t>(program.pid), SIGTERM);
  EXPECT_TRUE(waitUntil([&] { return log().find("MGSID_NAVIEXITMSG") != std::string::npos; }, 30000)) << log();
  EXPECT_TRUE(waitUntil([&] { return sway_.focusedPid() == launcher; })) << log();

  // The compositor goes away: the launcher ends in order with the display-lost status, and so
  // does the session, which the service then starts again.
  const std::string sway = "pkill -TERM -f -x 'sway -c " HU_SOURCE_DIR "/packaging/sway/config' -P ";
  ASSERT_EQ(std::system((sway + std::to_string(sway_.process->pid())).c_str()), 0) << log();
  EXPECT_EQ(sway_.process->wait(60000), HU_DISPLAY_LOST_EXIT_STATUS) << log();
  EXPECT_NE(log().find("the Wayland compositor went away"), std::string::npos) << log();
}

INSTANTIATE_TEST_SUITE_P(Programs, KioskSessionTest, ::testing::ValuesIn(kPrograms),
                         [](const ::testing::TestParamInfo<Program>& p) { return p.param.name; });

}  // namespace
}  // namespace hu::test
