// gpsd's sentence stream. On a unit whose GPS receiver belongs to gpsd, every program reads the
// receiver from gpsd's socket; the stream below is the receivers' NMEA sentences as gpsd relays
// them to a client that asks ?WATCH={"enable":true,"nmea":true}, read through gpsd's own client
// library (libgps). The shell feeds them to the same parser the serial port feeds.
#pragma once

#include <string>

#include "plat_types.h"

namespace plat::gpsd {

constexpr int kDefaultPort = 2947;
// The longest line handed on. NMEA allows 82 characters; receivers' own sentences run longer,
// the parser takes 255 after the identifier. Longer lines are dropped and counted.
constexpr size_t kMaxLine = 512;

enum class Status {
  Sentences,  // watching; read: sentences were appended to the block
  Idle,       // nothing to hand on within the time-out
  Woken,      // wake() was called
  Ended,      // no gpsd there, or the connection ended (why says what the system said)
  Garbage,    // the other side does not speak gpsd's protocol (why says how)
};

class Stream {
 public:
  Stream();
  ~Stream();
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;

  // Connects to gpsd at host:port (a name or a numeric address), waits up to `timeoutMs` for
  // gpsd's greeting and asks for the receivers' sentences. Sentences when watching.
  Status open(const std::string& host, int port, DWORD timeoutMs, std::string& why);
  // Waits up to `timeoutMs` (INFINITE: no limit) for what gpsd sends and appends the NMEA
  // sentences among it to `block`, each ended by CR LF, while `*used` leaves room for one more
  // line: what does not fit waits for the next call. gpsd's own reports are not handed on.
  Status read(char* block, size_t size, size_t* used, DWORD timeoutMs, std::string& why);
  void close();
  // From any thread: the open or read in progress, and every later one, returns Woken at once.
  void wake();
  // Lines dropped so far: longer than kMaxLine, or neither a sentence nor a report of gpsd's.
  unsigned long droppedLines() const;

 private:
  struct Impl;
  Impl* impl_;
};

}  // namespace plat::gpsd
