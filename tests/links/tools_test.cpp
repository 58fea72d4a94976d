// The development tools against the launcher's own link code: nmea-replay feeding the serial
// channel and parser, mcu-sim talking to the MCU link through the queues.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "links/can_protocal.h"
#include "links/nmea_parser.h"
#include "links/serial_com.h"
#include "links_support.h"

namespace {

std::string tool(const char* name) { return std::string(HU_BINARY_DIR) + "/tools/" + name; }

int feedParser(void* owner, BYTE* bytes, int count) { return static_cast<CNmeaParser*>(owner)->Feed(bytes, count); }

TEST(Tools, NmeaReplayFeedsTheGpsPort) {
  if (!std::filesystem::exists(tool("nmea-replay"))) GTEST_SKIP() << "nmea-replay not built";
  linktest::UnitRoot root;
  linktest::ConsoleCapture console;
  std::string log = root.path() + "/drive.log";
  {
    std::ofstream out(log, std::ios::binary);
    out << "# a header line that is not sent\n";
    for (int i = 0; i < 20; ++i) {
      char body[96], line[128];
      std::snprintf(body, sizeof body, "GPRMC,1200%02d,A,4807.038,N,01131.000,E,0.5,0.0,010124,,", i);
      BYTE sum = 0;
      for (char* p = body; *p; ++p) sum ^= static_cast<BYTE>(*p);
      std::snprintf(line, sizeof line, "$%s*%02X\r\n", body, sum);
      out << line;
    }
  }
  // Looping: like a receiver the tool does not wait for a reader, so what it sends before the
  // port is opened is lost, and a loaded machine opens it late.
  // The shell says the tool's process id first (it becomes the tool), so that it can be ended.
  std::string command = "echo $$; exec " + tool("nmea-replay") + " --unit " + root.path() + " --speed 10 --loop " + log;
  FILE* replay = popen(command.c_str(), "r");
  ASSERT_NE(replay, nullptr);
  char first[512] = {};
  pid_t pid = std::fgets(first, sizeof first, replay) ? static_cast<pid_t>(std::atol(first)) : 0;
  auto end = [&](FILE* f) {
    if (pid > 0) kill(pid, SIGTERM);
    pclose(f);
  };
  std::unique_ptr<FILE, decltype(end)> running(replay, end);
  ASSERT_GT(pid, 0) << first;
  ASSERT_NE(std::fgets(first, sizeof first, replay), nullptr);  // printed once the link is there
  EXPECT_NE(std::string(first).find("/dev/COM9"), std::string::npos) << first;
  CNmeaParser parser;
  {
    CSerialCom com;
    com.m_pOwner = &parser;
    ASSERT_NE(com.Start(9, 9600, feedParser, nullptr), nullptr);
    // 20 sentences at ten times 9600 baud take about 150 ms; the watchdog is generous.
    for (int i = 0; i < 200 && parser.Record().rmc.count < 40; ++i) Sleep(50);
  }
  running.reset();
  EXPECT_GE(parser.Record().rmc.count, 40u);
  EXPECT_EQ(parser.Record().rmc.hour, 12);
  EXPECT_EQ(parser.Record().rmc.minute, 0);
  EXPECT_LT(parser.Record().rmc.second, 20);
}

TEST(Tools, McuSimTalksToTheLink) {
  if (!std::filesystem::exists(tool("mcu-sim"))) GTEST_SKIP() << "mcu-sim not built";
  std::string prefix = linktest::uniqueQueuePrefix("tool");
  plat::msgqueue::setNamePrefix(prefix);
  linktest::ConsoleCapture console;
  auto link = std::make_unique<CCanProtocal>();
  std::string command = tool("mcu-sim") + " --prefix " + prefix + " --no-stdin --linger 1.5 volume 30 navi raw 51-0a";
  FILE* sim = popen(command.c_str(), "r");
  ASSERT_NE(sim, nullptr);
  EXPECT_TRUE(console.waitFor("[Vexa APP]CCanProtocal::SetVolume(30)"));
  EXPECT_TRUE(console.waitFor("MCU RX[1]-- [ 71- ]"));
  EXPECT_TRUE(console.waitFor("MCU RX[2]-- [ 51-0a- ]"));
  link->SendNaviState(TRUE);
  const BYTE time[3] = {12, 34, 56};
  link->SendGpsTime(time);
  link->SendText(u"KT55R");
  std::string output;
  char line[512];
  while (std::fgets(line, sizeof line, sim)) output += line;
  EXPECT_EQ(pclose(sim), 0);
  link.reset();
  EXPECT_NE(output.find("mcu -> launcher: volume 30  [51-1e]"), std::string::npos) << output;
  EXPECT_NE(output.find("launcher -> mcu: navigation present  [51-05-11-01-97]"), std::string::npos) << output;
  EXPECT_NE(output.find("launcher -> mcu: GPS time 12:34:56  [51-07-10-0c-22-38-31]"), std::string::npos) << output;
  EXPECT_NE(output.find("launcher -> mcu: text: KT55R"), std::string::npos) << output;
  plat::msgqueue::removeQueue(CMsgQueue::kOutgoingName);
  plat::msgqueue::removeQueue(CMsgQueue::kIncomingName);
  plat::msgqueue::setNamePrefix("");
}

// A user whose queue memory cannot hold the companion's depth still gets its queues, shallower,
// with a line that says how to raise it (a user of its own, so that no other queue counts).
TEST(Tools, McuSimOpensShallowerQueuesWhenTheUsersQueueMemoryIsShort) {
  if (!std::filesystem::exists(tool("mcu-sim"))) GTEST_SKIP() << "mcu-sim not built";
  if (geteuid() != 0 || std::system("command -v setpriv >/dev/null && command -v prlimit >/dev/null") != 0)
    GTEST_SKIP() << "needs root, setpriv and prlimit";
  long depth = 10;
  std::ifstream("/proc/sys/fs/mqueue/msg_max") >> depth;
  // Less than the depth the system allows at 1000 bytes a message, more than half of it.
  const long memory = std::min(depth, 1000L) * 800;
  const std::string user = std::to_string(60000 + getpid() % 5000);
  const std::string command = "prlimit --msgqueue=" + std::to_string(memory) + " setpriv --reuid=" + user +
                              " --regid=" + user + " --clear-groups " + tool("mcu-sim") + " --prefix " +
                              linktest::uniqueQueuePrefix("memory") + " --no-stdin --linger 0.2 2>&1";
  FILE* sim = popen(command.c_str(), "r");
  ASSERT_NE(sim, nullptr);
  std::string output;
  char line[512];
  while (std::fgets(line, sizeof line, sim)) output += line;
  EXPECT_EQ(pclose(sim), 0) << output;
  EXPECT_NE(output.find("the user's queue memory limit; raise it with LimitMSGQUEUE= or ulimit -q"), std::string::npos)
      << output;
  EXPECT_NE(output.find("mcu-sim: listening on"), std::string::npos) << output;
}

}  // namespace
