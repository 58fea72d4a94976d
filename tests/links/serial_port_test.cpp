// Serial ports: opening COMn: through the unit root, line settings on termios, the CE read
// time-outs, the event mask, and waking a blocked reader by closing its handle.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "core/kernel_object.h"
#include "serial/serial_termios.h"
#include "links_support.h"

namespace {

using linktest::FakeSerialDevice;
using linktest::openPort;
using linktest::UnitRoot;
using linktest::valid;

TEST(SerialPort, MissingDeviceFailsWithFileNotFound) {
  UnitRoot root;
  HANDLE h = openPort(7);
  EXPECT_FALSE(valid(h));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(SerialPort, NamesThatAreNotPortsAreRefused) {
  UnitRoot root;
  FakeSerialDevice device(root, 9);
  for (const char16_t* name : {u"COM9", u"COM:", u"COM9:x", u"COMX:", u"COM999:"}) {
    HANDLE h = plat::openSerialDevice(name, GENERIC_READ, 0, OPEN_EXISTING, 0);
    EXPECT_EQ(h, nullptr) << plat::utf16ToUtf8(name);
  }
  HANDLE h = plat::openSerialDevice(u"com9:", GENERIC_READ, 0, OPEN_EXISTING, 0);
  EXPECT_NE(h, nullptr);
  CloseHandle(h);
}

TEST(SerialPort, OnlyOneHandleAtATime) {
  UnitRoot root;
  FakeSerialDevice device(root, 9);
  ASSERT_TRUE(device.ok());
  HANDLE first = openPort(9);
  ASSERT_TRUE(valid(first));
  HANDLE second = openPort(9);
  EXPECT_FALSE(valid(second));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  CloseHandle(first);
  HANDLE again = openPort(9);
  EXPECT_TRUE(valid(again));
  CloseHandle(again);
}

struct LineCase {
  BYTE byteSize;
  BYTE parity;
  BYTE stopBits;
  DWORD baud;
  tcflag_t size;
  tcflag_t parityFlags;
  bool twoStop;
  speed_t speed;
};

TEST(SerialPort, DcbMapsOntoTermios) {
  const LineCase cases[] = {
      {8, NOPARITY, ONESTOPBIT, 9600, CS8, 0, false, B9600},
      {7, EVENPARITY, TWOSTOPBITS, 4800, CS7, PARENB, true, B4800},
      {8, ODDPARITY, ONESTOPBIT, 115200, CS8, PARENB | PARODD, false, B115200},
      {5, MARKPARITY, ONE5STOPBITS, 1200, CS5, PARENB | PARODD | CMSPAR, true, B1200},
      {6, SPACEPARITY, ONESTOPBIT, 300, CS6, PARENB | CMSPAR, false, B300},
  };
  for (const auto& c : cases) {
    DCB dcb{};
    dcb.BaudRate = c.baud;
    dcb.ByteSize = c.byteSize;
    dcb.Parity = c.parity;
    dcb.StopBits = c.stopBits;
    termios tio{};
    tio.c_lflag = ICANON | ECHO;
    tio.c_cflag = CSTOPB | PARENB;
    ASSERT_TRUE(plat::serial::validDcb(dcb));
    plat::serial::dcbToTermios(dcb, &tio);
    EXPECT_EQ(tio.c_cflag & CSIZE, c.size);
    EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR), c.parityFlags);
    EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, c.twoStop);
    EXPECT_EQ(cfgetospeed(&tio), c.speed);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u) << "ports are binary";
    DCB back{};
    plat::serial::termiosToDcb(tio, &back);
    EXPECT_EQ(back.BaudRate, c.baud);
    EXPECT_EQ(back.ByteSize, c.byteSize);
    EXPECT_EQ(back.Parity, c.parity);
  }
  DCB flow{};
  flow.BaudRate = 9600;
  flow.ByteSize = 8;
  flow.fOutX = 1;
  flow.fInX = 1;
  flow.fRtsControl = RTS_CONTROL_HANDSHAKE;
  termios tio{};
  plat::serial::dcbToTermios(flow, &tio);
  EXPECT_NE(tio.c_iflag & IXON, 0u);
  EXPECT_NE(tio.c_iflag & IXOFF, 0u);
  EXPECT_NE(tio.c_cflag & CRTSCTS, 0u);
}

TEST(SerialPort, SpeedAndRawModeReachTheDevice) {
  UnitRoot root;
  FakeSerialDevice device(root, 3);
  HANDLE h = openPort(3);
  ASSERT_TRUE(valid(h));
  for (DWORD baud : {4800u, 115200u, 9600u}) {
    DCB dcb{};
    ASSERT_TRUE(GetCommState(h, &dcb));
    dcb.BaudRate = baud;
    ASSERT_TRUE(SetCommState(h, &dcb));
    termios tio = device.settings();
    speed_t expected = baud == 4800 ? B4800 : baud == 115200 ? B115200 : B9600;
    EXPECT_EQ(cfgetospeed(&tio), expected);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    DCB back{};
    GetCommState(h, &back);
    EXPECT_EQ(back.BaudRate, baud);
  }
  CloseHandle(h);
}

TEST(SerialPort, ImpossibleSettingsAreRefused) {
  UnitRoot root;
  FakeSerialDevice device(root, 3);
  HANDLE h = openPort(3);
  ASSERT_TRUE(valid(h));
  DCB good{};
  GetCommState(h, &good);
  struct {
    const char* what;
    void (*change)(DCB&);
  } cases[] = {
      {"9 data bits", [](DCB& d) { d.ByteSize = 9; }},
      {"4 data bits", [](DCB& d) { d.ByteSize = 4; }},
      {"baud 12345", [](DCB& d) { d.BaudRate = 12345; }},
      {"parity 5", [](DCB& d) { d.Parity = 5; }},
      {"stop bits 3", [](DCB& d) { d.StopBits = 3; }},
  };
  for (auto& c : cases) {
    DCB dcb = good;
    c.change(dcb);
    SetLastError(0);
    EXPECT_FALSE(SetCommState(h, &dcb)) << c.what;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << c.what;
  }
  DCB after{};
  GetCommState(h, &after);
  EXPECT_EQ(after.BaudRate, good.BaudRate);
  CloseHandle(h);
}

TEST(SerialPort, ReadReturnsWhenTheIntervalPassesAfterTheLastByte) {
  UnitRoot root;
  FakeSerialDevice device(root, 9);
  HANDLE h = openPort(9);
  ASSERT_TRUE(valid(h));
  COMMTIMEOUTS t{50, 0, 0, 0, 0};  // interval only: no total limit
  ASSERT_TRUE(SetCommTimeouts(h, &t));
  device.send("hello");
  char buffer[1024];
  DWORD got = 0;
  ASSERT_TRUE(ReadFile(h, buffer, sizeof buffer, &got, nullptr));
  EXPECT_EQ(std::string(buffer, got), "hello");
  CloseHandle(h);
}

TEST(SerialPort, ImmediateModeReturnsWhatIsThere) {
  UnitRoot root;
  FakeSerialDevice device(root, 9);
  HANDLE h = openPort(9);
  ASSERT_TRUE(valid(h));
  COMMTIMEOUTS t{MAXDWORD, 0, 0, 0, 0};
  ASSERT_TRUE(SetCommTimeouts(h, &t));
  char buffer[16];
  DWORD got = 99;
  ASSERT_TRUE(ReadFile(h, buffer, sizeof buffer, &got, nullptr));
  EXPECT_EQ(got, 0u);
  device.send("abc");
  // The bytes cross the pseudo-terminal asynchronously; wait for them with a watchdog.
  for (int i = 0; i < 500 && got == 0; ++i) {
    ReadFile(h, buffer, sizeof buffer, &got, nullptr);
    if (!got) usleep(2000);
  }
  EXPECT_EQ(std::string(buffer, got), "abc");
  CloseHandle(h);
}

TEST(SerialPort, TotalTimeoutFollowsThePlatformClock) {
  UnitRoot root;
  FakeSerialDevice device(root, 9);
  HANDLE h = openPort(9);
  ASSERT_TRUE(valid(h));
  COMMTIMEOUTS t{0, 0, 60000, 0, 0};
  ASSERT_TRUE(SetCommTimeouts(h, &t));
  plat::clock::freeze();
  std::atomic<bool> done{false};
  DWORD got = 99;
  BOOL ok = FALSE;
  std::thread reader([&] {
    char buffer[8];
    ok = ReadFile(h, buffer, sizeof buffer, &got, nullptr);
    done = true;
  });
  // A minute on the frozen clock passes in an instant; advance until the read gives up.
  for (int i = 0; i < 500 && !done; ++i) {
    plat::clock::advance(60000);
    usleep(2000);
  }
  reader.join();
  plat::clock::unfreeze();
  EXPECT_TRUE(done);
  EXPECT_TRUE(ok);
  EXPECT_EQ(got, 0u);
  CloseHandle(h);
}

TEST(SerialPort, ClosingTheHandleWakesABlockedReader) {
  UnitRoot root;
  FakeSerialDevice device(root, 9);
  HANDLE h = openPort(9);
  ASSERT_TRUE(valid(h));
  COMMTIMEOUTS t{0, 0, 0, 0, 0};  // wait until the buffer is full: forever here
  ASSERT_TRUE(SetCommTimeouts(h, &t));
  HANDLE started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  BOOL ok = TRUE;
  std::thread reader([&] {
    char buffer[64];
    DWORD got = 0;
    SetEvent(started);
    ok = ReadFile(h, buffer, sizeof buffer, &got, nullptr);
  });
  WaitForSingleObject(started, 5000);
  CloseHandle(h);
  reader.join();  // hangs (and the suite times out) if the reader is not woken
  EXPECT_FALSE(ok);
  CloseHandle(started);
}

TEST(SerialPort, WaitCommEventSeesBytesAndMaskChanges) {
  UnitRoot root;
  FakeSerialDevice device(root, 9);
  HANDLE h = openPort(9);
  ASSERT_TRUE(valid(h));
  ASSERT_TRUE(SetCommMask(h, EV_RXCHAR));
  DWORD events = 0;
  std::thread waiter([&] { WaitCommEvent(h, &events, nullptr); });
  device.send("x");
  waiter.join();
  EXPECT_EQ(events, static_cast<DWORD>(EV_RXCHAR));

  PurgeComm(h, PURGE_RXCLEAR);
  char sink[8];
  DWORD got;
  COMMTIMEOUTS t{MAXDWORD, 0, 0, 0, 0};
  SetCommTimeouts(h, &t);
  ReadFile(h, sink, sizeof sink, &got, nullptr);

  HANDLE started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  events = 77;
  std::atomic<bool> returned{false};
  std::thread released([&] {
    SetEvent(started);
    WaitCommEvent(h, &events, nullptr);
    returned = true;
  });
  WaitForSingleObject(started, 5000);
  // Keep changing the mask until the waiter has seen a change (it may not be waiting yet).
  for (int i = 0; i < 500 && !returned; ++i) {
    SetCommMask(h, 0);
    usleep(2000);
  }
  released.join();
  EXPECT_EQ(events, 0u);
  CloseHandle(started);
  CloseHandle(h);
}

TEST(SerialPort, WrittenBytesReachTheDevice) {
  UnitRoot root;
  FakeSerialDevice device(root, 9);
  HANDLE h = openPort(9);
  ASSERT_TRUE(valid(h));
  DCB dcb{};
  GetCommState(h, &dcb);
  SetCommState(h, &dcb);  // raw mode
  DWORD put = 0;
  ASSERT_TRUE(WriteFile(h, "$GP\r\n", 5, &put, nullptr));
  EXPECT_EQ(put, 5u);
  char buffer[16];
  size_t total = 0;
  for (int i = 0; i < 500 && total < 5; ++i) {
    ssize_t n = ::read(device.master(), buffer + total, sizeof buffer - total);
    if (n > 0) total += static_cast<size_t>(n);
  }
  EXPECT_EQ(std::string(buffer, total), "$GP\r\n");
  CloseHandle(h);
}

TEST(SerialPort, CallsOnOtherHandlesFail) {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DCB dcb{};
  COMMTIMEOUTS t{};
  SetLastError(0);
  EXPECT_FALSE(GetCommState(event, &dcb));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(SetCommTimeouts(event, &t));
  EXPECT_FALSE(PurgeComm(nullptr, PURGE_RXCLEAR));
  CloseHandle(event);
}

}  // namespace
