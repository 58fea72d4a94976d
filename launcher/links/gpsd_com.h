// The GPS receiver through gpsd. Where the receiver belongs to gpsd, the shell reads it from
// gpsd like every other program on the unit: a reader thread connects, asks for the receivers'
// NMEA sentences and hands them in blocks to a receive callback of the serial channel's kind, so
// the same parser takes them. gpsd not running, stopped, restarted or answering garbage: one
// console line per change, and another try after a pause that grows; never a busy loop.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "links/serial_com.h"
#include "plat_gpsd.h"

// Where the GPS record comes from: the serial port (COM9, then COM3) or gpsd.
struct GpsSource {
  bool gpsd = false;
  std::string host = "localhost";
  int port = plat::gpsd::kDefaultPort;
};

// "serial", "gpsd" (localhost, port 2947), "gpsd:HOST:PORT" or "gpsd:HOST" ("[ADDRESS]" for an
// IPv6 address). False, with the reason, for anything else.
bool ParseGpsSource(const std::string& text, GpsSource* source, std::string* error);
// The text that names the source ("serial", "gpsd:HOST:PORT").
std::string FormatGpsSource(const GpsSource& source);

class CGpsdCom {
 public:
  static constexpr DWORD kGreetingMs = 5000;   // for gpsd to say who it is
  static constexpr DWORD kFirstPauseMs = 500;  // before the next try; doubled each time
  static constexpr DWORD kLongestPauseMs = 8000;
  static constexpr DWORD kCyclePauseMs = 100;  // between blocks, as the serial reader
  static constexpr size_t kBlockSize = 8192;   // so at most 80 KB of sentences a second
  static constexpr DWORD kStopBoundMs = 3000;

  CGpsdCom();
  ~CGpsdCom();
  CGpsdCom(const CGpsdCom&) = delete;
  CGpsdCom& operator=(const CGpsdCom&) = delete;

  // Starts the reader thread, which connects by itself; FALSE when the thread cannot be made.
  BOOL Start(const std::string& host, int port, SerialReceiveProc receive);
  // Ends the reader; no callback follows. Also done by the destructor.
  void Stop();

  // Context handed back to the callback; the owner sets it before Start.
  std::atomic<void*> m_pOwner{nullptr};

 private:
  static DWORD WINAPI ReadGpsdThread(LPVOID self);
  // One connection, from the greeting until it ends; its last status.
  plat::gpsd::Status Watch(bool* delivered);
  void Say(int state, const std::string& why);

  std::string m_Host;
  int m_nPort = 0;
  SerialReceiveProc m_pfnReceive = nullptr;
  plat::gpsd::Stream m_Stream;
  HANDLE m_hStopEvent = nullptr;
  HANDLE m_hThread = nullptr;
  std::atomic<LONG> m_bStop{0};
  int m_nState = 0;  // what the console was told last (reader thread only)
  bool m_bFlooded = false;
};
