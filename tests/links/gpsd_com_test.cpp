// The gpsd reader against a stand-in for gpsd on a free port: the first connection gets gpsd's
// greeting, a sentence among gpsd's reports, garbage and an over-long line, then it closes; every
// later one is answered as a web server would.
#include "links/gpsd_com.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "servers.h"
#include "links_support.h"

namespace {

using Clock = std::chrono::steady_clock;

// The reader's callback; the text is read once the reader has ended.
int append(void* owner, BYTE* bytes, int count) {
  static_cast<std::string*>(owner)->append(reinterpret_cast<char*>(bytes), static_cast<size_t>(count));
  return count;
}

TEST(GpsdCom, OnlySentencesPassAndEachChangeIsSaidOnceWithLongerPausesBetweenTries) {
  linktest::ConsoleCapture console;
  int port = 0;
  const int server = hu::test::bindLocalPort(&port);
  const std::string rmc = "$GPRMC,123456,A,4807.038,N,01131.000,E,1,2,230394,3,W*6A";
  std::vector<Clock::time_point> tries;  // the server's own until it has ended
  std::atomic<size_t> count{0};
  char asked[64] = {};
  std::thread gpsd([&] {
    for (int c; (c = accept(server, nullptr, nullptr)) >= 0; close(c), tries.push_back(Clock::now()), ++count) {
      const std::string reply = tries.empty()
                                    ? "{\"class\":\"VERSION\"}\r\n{\"class\":\"DEVICES\"}\r\n" + rmc + "\r\n$GPXXX," +
                                          std::string(600, 'x') + "\r\nnot a sentence\r\n!AIVDM,1\r\n"
                                    : "HTTP/1.1 400 Bad Request\r\n";
      (void)!write(c, reply.data(), reply.size());
      if (tries.empty()) (void)!recv(c, asked, sizeof asked - 1, 0);
    }
  });
  std::string got;
  {
    CGpsdCom com;
    com.m_pOwner = &got;
    ASSERT_TRUE(com.Start("127.0.0.1", port, append));
    hu::test::waitUntil([&] { return count >= 4; }, 20000);
  }
  shutdown(server, SHUT_RDWR);
  gpsd.join();
  close(server);
  EXPECT_EQ(got, rmc + "\r\n!AIVDM,1\r\n");
  EXPECT_STREQ(asked, "?WATCH={\"enable\":true,\"nmea\":true}\n");
  ASSERT_GE(tries.size(), 4u);
  // Pauses of 0.5, 1, 2 s...: a busy machine can only lengthen them, so each is held to its least.
  for (size_t i = 1; i < tries.size(); ++i)
    EXPECT_GE(tries[i] - tries[i - 1], std::chrono::milliseconds(std::min(CGpsdCom::kFirstPauseMs << (i - 1), CGpsdCom::kLongestPauseMs) - 50)) << i;
  const std::string at = "127.0.0.1:" + std::to_string(port);
  EXPECT_EQ(console.count("GPS: reading the receiver through gpsd at " + at), 1);
  EXPECT_EQ(console.count("GPS: gpsd at " + at + " went away (gpsd closed the connection)"), 1);
  EXPECT_EQ(console.count(at + " does not answer as gpsd does (it said \"HTTP/1.1 400 Bad Request\")"), 1);
  EXPECT_EQ(console.lines().size(), 3u);
}

TEST(GpsdCom, SourceNames) {
  GpsSource s;
  std::string error;
  for (const char* text : {"serial", "gpsd:localhost:2947", "gpsd:10.0.0.7:3000", "gpsd:[::1]:2948"})
    EXPECT_TRUE(ParseGpsSource(text, &s, &error) && FormatGpsSource(s) == text) << text;
  EXPECT_TRUE(ParseGpsSource("gpsd", &s, &error) && s.gpsd && s.host == "localhost" && s.port == 2947);
  for (const char* bad :
       {"gpsd:", "gpsd::2947", "gpsd:host:", "gpsd:host:65536", "gpsd:host:12x", "gpsdx", "gpsd:[::1"})
    EXPECT_FALSE(ParseGpsSource(bad, &s, &error) || error.find("serial, gpsd or gpsd:HOST:PORT") == std::string::npos)
        << bad;
}

}  // namespace
