// The gpsd reader against a scripted stand-in for gpsd on a free local port: what reaches the
// callback, and what the console is told as the other side comes, goes and misbehaves.
#include "links/gpsd_com.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "links_support.h"

namespace {

using Clock = std::chrono::steady_clock;
const std::string kHello = "{\"class\":\"VERSION\",\"release\":\"3.22\"}\r\n";

// Bounded wait (real time: the reader's pauses are real) for what a test depends on.
template <class Pred>
bool waitUntil(Pred pred, int ms = 15000) {
  for (auto end = Clock::now() + std::chrono::milliseconds(ms); !pred();
       std::this_thread::sleep_for(std::chrono::milliseconds(20)))
    if (Clock::now() > end) return false;
  return true;
}

// Answers connection n with the reply n (the last one for every later connection): writes its
// text, takes what a client that was greeted asks, and closes it unless told to keep it open.
struct Reply {
  std::string text;
  bool keepOpen = false;
};

class FakeGpsd {
 public:
  explicit FakeGpsd(std::vector<Reply> replies) : replies_(std::move(replies)) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    bind(fd_, reinterpret_cast<sockaddr*>(&a), size);
    listen(fd_, 4);
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &size);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] {
      for (int c; (c = accept(fd_, nullptr, nullptr)) >= 0;) {
        const Reply& reply = replies_[std::min(arrivals().size(), replies_.size() - 1)];
        (void)!write(c, reply.text.data(), reply.text.size());
        char asked[256] = {};
        if (reply.text.rfind(kHello, 0) == 0) (void)!recv(c, asked, sizeof asked - 1, 0);
        std::lock_guard<std::mutex> guard(lock_);
        arrivals_.push_back(Clock::now());
        if (*asked) asked_ = asked;
        if (reply.keepOpen)
          open_.push_back(c);
        else
          close(c);
      }
    });
  }
  ~FakeGpsd() {
    shutdown(fd_, SHUT_RDWR);
    thread_.join();
    close(fd_);
    for (int c : open_) close(c);
  }
  int port() const { return port_; }
  std::vector<Clock::time_point> arrivals() {
    std::lock_guard<std::mutex> guard(lock_);
    return arrivals_;
  }
  std::string asked() {
    std::lock_guard<std::mutex> guard(lock_);
    return asked_;
  }

 private:
  std::vector<Reply> replies_;
  int fd_ = -1, port_ = 0;
  std::thread thread_;
  std::mutex lock_;
  std::vector<Clock::time_point> arrivals_;
  std::vector<int> open_;
  std::string asked_;
};

struct Received {
  std::mutex lock;
  std::string text;
  static int onReceive(void* owner, BYTE* bytes, int count) {
    auto* self = static_cast<Received*>(owner);
    std::lock_guard<std::mutex> guard(self->lock);
    self->text.append(reinterpret_cast<char*>(bytes), static_cast<size_t>(count));
    return count;
  }
  bool has(const std::string& what) {
    std::lock_guard<std::mutex> guard(lock);
    return text.find(what) != std::string::npos;
  }
};

TEST(GpsdCom, OnlySentencesReachTheCallbackAndAGpsdThatComesBackIsReadAgain) {
  linktest::ConsoleCapture console;
  const std::string rmc = "$GPRMC,123456,A,4807.038,N,01131.000,E,1,2,230394,3,W*6A";
  FakeGpsd gpsd({{kHello + "{\"class\":\"DEVICES\"}\r\n" + rmc + "\r\n$GPXXX," + std::string(600, 'x') +
                  "\r\nnot a sentence\r\n!AIVDM,1\r\n"},
                 {kHello + "$GPZDA,1\r\n", true}});
  Received got;
  {
    CGpsdCom com;
    com.m_pOwner = &got;
    ASSERT_TRUE(com.Start("127.0.0.1", gpsd.port(), Received::onReceive));
    ASSERT_TRUE(waitUntil([&] { return got.has("ZDA"); }));
  }
  EXPECT_EQ(got.text, rmc + "\r\n!AIVDM,1\r\n$GPZDA,1\r\n");
  EXPECT_EQ(gpsd.asked(), "?WATCH={\"enable\":true,\"nmea\":true}\n");
  EXPECT_EQ(console.count("reading the receiver through gpsd at 127.0.0.1:" + std::to_string(gpsd.port())), 2);
  EXPECT_EQ(console.count("went away (gpsd closed the connection)"), 1);
}

// Something else on the port, or a port that drops every connection at once: one console line,
// and each try waits longer than the one before.
TEST(GpsdCom, SomethingElseOrNothingIsSaidOnceAndTriedLessAndLessOften) {
  const struct {
    std::string reply;
    const char* line;
  } cases[] = {
      {"HTTP/1.1 400 Bad Request\r\n", "does not answer as gpsd does (it said \"HTTP/1.1 400 Bad Request\")"},
      {"", "no gpsd at 127.0.0.1"},
  };
  for (const auto& c : cases) {
    linktest::ConsoleCapture console;
    FakeGpsd gpsd({{c.reply}});
    Received got;
    CGpsdCom com;
    com.m_pOwner = &got;
    ASSERT_TRUE(com.Start("127.0.0.1", gpsd.port(), Received::onReceive));
    ASSERT_TRUE(waitUntil([&] { return gpsd.arrivals().size() >= 4; })) << c.line;
    com.Stop();
    const auto at = gpsd.arrivals();
    for (size_t i = 2; i < at.size(); ++i) EXPECT_GT(at[i] - at[i - 1], (at[i - 1] - at[i - 2]) * 3 / 2) << c.line;
    EXPECT_EQ(console.count(c.line), 1) << c.line;
    EXPECT_EQ(console.lines().size(), 1u) << c.line;
  }
}

TEST(GpsdCom, SourceNames) {
  const struct {
    const char* text;
    bool ok, gpsd;
    const char* host;
    int port;
  } cases[] = {
      {"serial", true, false, "localhost", 2947},
      {"gpsd", true, true, "localhost", 2947},
      {"gpsd:10.0.0.7:3000", true, true, "10.0.0.7", 3000},
      {"gpsd:unit", true, true, "unit", 2947},
      {"gpsd:[::1]:2948", true, true, "::1", 2948},
      {"gpsd:", false, false, "", 0},
      {"gpsd::2947", false, false, "", 0},
      {"gpsd:host:", false, false, "", 0},
      {"gpsd:host:0", false, false, "", 0},
      {"gpsd:host:65536", false, false, "", 0},
      {"gpsd:host:12x", false, false, "", 0},
      {"gpsdx", false, false, "", 0},
      {"Serial", false, false, "", 0},
      {"", false, false, "", 0},
      {"gpsd:[::1", false, false, "", 0},
  };
  for (const auto& c : cases) {
    GpsSource s;
    std::string error;
    EXPECT_EQ(ParseGpsSource(c.text, &s, &error), c.ok) << c.text;
    if (!c.ok) {
      EXPECT_NE(error.find("serial, gpsd or gpsd:HOST:PORT"), std::string::npos) << c.text;
      continue;
    }
    EXPECT_EQ(s.gpsd, c.gpsd) << c.text;
    EXPECT_EQ(s.host, c.host) << c.text;
    EXPECT_EQ(s.port, c.port) << c.text;
    GpsSource again;
    EXPECT_TRUE(ParseGpsSource(FormatGpsSource(s), &again, &error)) << c.text;
    EXPECT_EQ(again.host, s.host) << c.text;
  }
}

}  // namespace
