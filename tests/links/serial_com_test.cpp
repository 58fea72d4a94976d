// The serial channel over a pseudo-terminal standing in for the GPS receiver.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>

#include "links/serial_com.h"
#include "links_support.h"

namespace {

using linktest::ConsoleCapture;
using linktest::FakeSerialDevice;
using linktest::UnitRoot;

struct Receiver {
  std::mutex lock;
  std::string bytes;
  std::vector<int> blocks;
  std::atomic<int> calls{0};
  std::atomic<int> transmits{0};
  void* lastOwner = nullptr;
  HANDLE got = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ~Receiver() { CloseHandle(got); }

  static int onReceive(void* owner, BYTE* data, int count) {
    auto* self = static_cast<Receiver*>(owner);
    {
      std::lock_guard<std::mutex> guard(self->lock);
      self->bytes.append(reinterpret_cast<char*>(data), static_cast<size_t>(count));
      self->blocks.push_back(count);
      self->lastOwner = owner;
    }
    ++self->calls;
    SetEvent(self->got);
    return 0;
  }
  static int onTransmit(void* owner) {
    ++static_cast<Receiver*>(owner)->transmits;
    SetEvent(static_cast<Receiver*>(owner)->got);
    return 0;
  }
  size_t size() {
    std::lock_guard<std::mutex> guard(lock);
    return bytes.size();
  }
};

TEST(SerialCom, MissingPortReportsTheErrorAndStartsNothing) {
  UnitRoot root;
  ConsoleCapture console;
  CSerialCom com;
  Receiver r;
  com.m_pOwner = &r;
  EXPECT_EQ(com.Start(5, 9600, Receiver::onReceive, Receiver::onTransmit), nullptr);
  EXPECT_TRUE(console.contains("Open COM5(9600) fait(Error = 2)!\n"));
  EXPECT_EQ(com.ReaderThread(), nullptr);
  EXPECT_EQ(com.TransmitThread(), nullptr);
  EXPECT_EQ(com.PortHandle(), nullptr);
  EXPECT_EQ(com.Close(), 1);
}

TEST(SerialCom, OpenSetsTheLineAndOpeningAgainKeepsTheHandle) {
  UnitRoot root;
  FakeSerialDevice device(root, 9);
  ConsoleCapture console;
  CSerialCom com;
  HANDLE h = com.Open(9, 9600);
  ASSERT_NE(h, nullptr);
  EXPECT_TRUE(console.contains("Open COM9(9600) successfully!\n"));
  COMMTIMEOUTS t{};
  ASSERT_TRUE(GetCommTimeouts(h, &t));
  EXPECT_EQ(t.ReadIntervalTimeout, 100u);
  EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 1u);
  EXPECT_EQ(t.ReadTotalTimeoutConstant, 100u);
  EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(t.WriteTotalTimeoutConstant, 0u);
  DCB dcb{};
  GetCommState(h, &dcb);
  EXPECT_EQ(dcb.BaudRate, 9600u);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, NOPARITY);
  EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
  EXPECT_EQ(dcb.fOutX, 0u);
  EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
  DWORD mask = 0;
  GetCommMask(h, &mask);
  EXPECT_EQ(mask, static_cast<DWORD>(EV_RXCHAR));
  termios tio = device.settings();
  EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B9600));

  EXPECT_EQ(com.Open(9, 4800), h);
  EXPECT_TRUE(console.contains("COM9(4800) is opened.\n"));
  GetCommState(h, &dcb);
  EXPECT_EQ(dcb.BaudRate, 9600u) << "settings are not touched again";
  com.Close();
  EXPECT_EQ(com.PortHandle(), nullptr);
  // Closed ports can be opened again.
  EXPECT_NE(com.Open(9, 9600), nullptr);
}

TEST(SerialCom, RejectedLineSettingsLeaveThePortClosed) {
  UnitRoot root;
  FakeSerialDevice device(root, 9);
  ConsoleCapture console;
  CSerialCom com;
  EXPECT_EQ(com.Start(9, 12345, Receiver::onReceive, nullptr), nullptr);
  EXPECT_TRUE(console.contains("Open COM9(12345) successfully!\n"));
  EXPECT_TRUE(console.contains("Parameters error, Please check\r\n"));
  EXPECT_EQ(com.PortHandle(), nullptr);
  EXPECT_EQ(com.ReaderThread(), nullptr);
  // Nothing holds the port: it opens again with settings the line accepts.
  EXPECT_NE(com.Open(9, 9600), nullptr);
}

TEST(SerialCom, WithoutReceiveCallbackNoReaderStarts) {
  UnitRoot root;
  FakeSerialDevice device(root, 3);
  Receiver r;
  auto com = std::make_unique<CSerialCom>();
  com->m_pOwner = &r;
  ASSERT_NE(com->Start(3, 9600, nullptr, Receiver::onTransmit), nullptr);
  EXPECT_EQ(com->ReaderThread(), nullptr);
  EXPECT_NE(com->TransmitThread(), nullptr);
  EXPECT_EQ(WaitForSingleObject(r.got, 5000), WAIT_OBJECT_0);
  com.reset();
  EXPECT_EQ(r.transmits, 1);
}

TEST(SerialCom, ABurstArrivesInOrderInBlocksOfAtMost1024Bytes) {
  UnitRoot root;
  FakeSerialDevice device(root, 9);
  Receiver r;
  CSerialCom com;
  com.m_pOwner = &r;
  ASSERT_NE(com.Start(9, 9600, Receiver::onReceive, nullptr), nullptr);
  std::string burst;
  for (int i = 0; i < 3000; ++i) burst += static_cast<char>('A' + i % 26);
  device.send(burst);
  for (int i = 0; i < 100 && r.size() < burst.size(); ++i) WaitForSingleObject(r.got, 100);
  std::lock_guard<std::mutex> guard(r.lock);
  EXPECT_EQ(r.bytes, burst);
  EXPECT_GE(r.blocks.size(), 3u);
  for (int b : r.blocks) EXPECT_LE(b, 1024);
  EXPECT_EQ(r.lastOwner, &r);
}

TEST(SerialCom, StartingARunningChannelAgainKeepsItsOneReader) {
  UnitRoot root;
  FakeSerialDevice device(root, 9);
  ConsoleCapture console;
  Receiver r;
  auto com = std::make_unique<CSerialCom>();
  com->m_pOwner = &r;
  HANDLE h = com->Start(9, 9600, Receiver::onReceive, nullptr);
  ASSERT_NE(h, nullptr);
  HANDLE reader = com->ReaderThread();
  EXPECT_EQ(com->Start(9, 9600, Receiver::onReceive, nullptr), h);
  EXPECT_TRUE(console.contains("COM9(9600) is opened.\n"));
  EXPECT_EQ(com->ReaderThread(), reader);
  const std::string sent = "$GPZDA*00\r\n";
  device.send(sent);
  for (int i = 0; i < 50 && r.size() < sent.size(); ++i) WaitForSingleObject(r.got, 100);
  com.reset();
  std::lock_guard<std::mutex> guard(r.lock);
  EXPECT_EQ(r.bytes, sent) << "one reader: every byte arrives once";
}

TEST(SerialCom, DestructionWakesABlockedReaderAndNoCallbackFollows) {
  UnitRoot root;
  FakeSerialDevice device(root, 9);
  Receiver r;
  auto com = std::make_unique<CSerialCom>();
  com->m_pOwner = &r;
  ASSERT_NE(com->Start(9, 9600, Receiver::onReceive, nullptr), nullptr);
  // Make the reader block without limit, as a driver without time-outs would.
  COMMTIMEOUTS forever{0, 0, 0, 0, 0};
  SetCommTimeouts(com->PortHandle(), &forever);
  device.send("$GP");  // a read now waits for 1024 bytes that never come
  auto begin = std::chrono::steady_clock::now();
  com.reset();
  auto took = std::chrono::steady_clock::now() - begin;
  EXPECT_LT(took, std::chrono::milliseconds(3000));
  int calls = r.calls;
  device.send("more bytes that nobody reads");
  EXPECT_EQ(WaitForSingleObject(r.got, 200), WAIT_TIMEOUT);
  EXPECT_EQ(r.calls, calls);
}

}  // namespace
