// Ports that are not terminals, and terminals that hang up: neither may leave a reader spinning.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <future>
#include <thread>

#include "links/serial_com.h"
#include "links_support.h"

namespace {

using linktest::ConsoleCapture;
using linktest::FakeSerialDevice;
using linktest::openPort;
using linktest::UnitRoot;
using linktest::valid;

TEST(SerialHangUp, PathsThatAreNotTerminalsAreRefusedWithAConsoleLine) {
  UnitRoot root;
  ConsoleCapture console;
  std::string dev = root.path() + "/dev";
  std::ofstream(dev + "/gps.log") << "$GPGGA,1\r\n";
  struct Case {
    const char* what;
    std::string target;  // what COM9 links to; empty: COM9 is the regular file itself
    const char* said;
  } cases[] = {
      {"regular file", "", "is a regular file"},
      {"link to a regular file", dev + "/gps.log", "is a regular file"},
      {"link to /dev/null", "/dev/null", "is a character device that is not a terminal"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    console.clear();
    std::string port = dev + "/COM9";
    unlink(port.c_str());
    if (c.target.empty()) std::ofstream(port) << "$GPGGA,1\r\n";
    else ASSERT_EQ(symlink(c.target.c_str(), port.c_str()), 0);
    HANDLE h = openPort(9);
    EXPECT_FALSE(valid(h));
    if (valid(h)) CloseHandle(h);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_TRUE(console.contains(c.said)) << "no console line naming the reason";
    EXPECT_TRUE(console.contains("/dev/COM9"));
  }
}

TEST(SerialHangUp, PseudoTerminalsStillOpen) {
  UnitRoot root;
  FakeSerialDevice device(root, 9);
  ASSERT_TRUE(device.ok());
  HANDLE h = openPort(9);
  EXPECT_TRUE(valid(h));
  CloseHandle(h);
}

TEST(SerialHangUp, AHungUpPortFailsEveryReadAtOnce) {
  UnitRoot root;
  FakeSerialDevice device(root, 9);
  HANDLE h = openPort(9);
  ASSERT_TRUE(valid(h));
  // Time-outs that would hold a read for a minute if the hang-up were not seen.
  COMMTIMEOUTS t{0, 0, 60000, 0, 0};
  ASSERT_TRUE(SetCommTimeouts(h, &t));
  device.hangUp();
  for (int i = 0; i < 3; ++i) {
    auto read = std::async(std::launch::async, [h] {
      char buffer[64];
      DWORD got = 7;
      BOOL ok = ReadFile(h, buffer, sizeof buffer, &got, nullptr);
      return std::make_pair(ok, got);
    });
    ASSERT_EQ(read.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "read " << i << " waits on";
    auto [ok, got] = read.get();
    EXPECT_FALSE(ok) << i;
    EXPECT_EQ(got, 0u) << i;
  }
  CloseHandle(h);
}

int onReceive(void*, BYTE*, int) { return 0; }

TEST(SerialHangUp, TheReaderThreadEndsWhenThePortHangsUp) {
  UnitRoot root;
  FakeSerialDevice device(root, 9);
  ConsoleCapture console;
  {
    CSerialCom com;
    ASSERT_NE(com.Start(9, 9600, onReceive, nullptr), nullptr);
    device.send("$GPGGA,1\r\n");
    device.hangUp();
    EXPECT_TRUE(console.waitFor("the port hung up")) << "the reader keeps trying a port that is gone";
  }
  EXPECT_EQ(console.count("the port hung up"), 1);
}

}  // namespace
