// The GPS receiver through gpsd: parsing the source's name, and the reader that keeps a
// connection to gpsd as gpsd comes and goes.
#include "links/gpsd_com.h"

#include <algorithm>
#include <cstdlib>

namespace {

// What the console was told last.
enum : int { kStateNone, kStateReading, kStateAway, kStateNotGpsd };

bool parsePort(const std::string& text, int* port) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  *port = std::atoi(text.c_str());
  return *port >= 1 && *port <= 65535;
}

}  // namespace

bool ParseGpsSource(const std::string& text, GpsSource* source, std::string* error) {
  GpsSource parsed;
  auto fail = [&] {
    *error = "\"" + text + "\" is not a GPS source: serial, gpsd or gpsd:HOST:PORT";
    return false;
  };
  if (text == "serial") {
    *source = parsed;
    return true;
  }
  if (text.rfind("gpsd", 0) != 0) return fail();
  parsed.gpsd = true;
  if (text.size() > 4) {
    if (text[4] != ':') return fail();
    std::string rest = text.substr(5);
    std::string port;
    if (!rest.empty() && rest[0] == '[') {
      const size_t close = rest.find(']');
      if (close == std::string::npos) return fail();
      parsed.host = rest.substr(1, close - 1);
      if (close + 1 < rest.size()) {
        if (rest[close + 1] != ':') return fail();
        port = rest.substr(close + 2);
        if (port.empty()) return fail();
      }
    } else {
      const size_t colon = rest.find(':');
      parsed.host = rest.substr(0, colon);
      if (colon != std::string::npos) {
        port = rest.substr(colon + 1);
        if (port.empty()) return fail();
      }
    }
    if (parsed.host.empty() || (!port.empty() && !parsePort(port, &parsed.port))) return fail();
  }
  *source = parsed;
  return true;
}

std::string FormatGpsSource(const GpsSource& source) {
  if (!source.gpsd) return "serial";
  const bool v6 = source.host.find(':') != std::string::npos;
  return "gpsd:" + (v6 ? "[" + source.host + "]" : source.host) + ":" + std::to_string(source.port);
}

CGpsdCom::CGpsdCom() { m_hStopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }

CGpsdCom::~CGpsdCom() {
  Stop();
  if (m_hStopEvent) CloseHandle(m_hStopEvent);
}

BOOL CGpsdCom::Start(const std::string& host, int port, SerialReceiveProc receive) {
  if (m_hThread || !m_hStopEvent || !receive) return FALSE;
  m_Host = host;
  m_nPort = port;
  m_pfnReceive = receive;
  m_hThread = CreateThread(nullptr, 0, ReadGpsdThread, this, 0, nullptr);
  if (!m_hThread) {
    NKDbgPrintfW(u"[Vexa APP] GPS: no thread to read gpsd with, running without GPS\r\n");
    return FALSE;
  }
  return TRUE;
}

void CGpsdCom::Stop() {
  if (!m_hThread) return;
  m_bStop = 1;
  SetEvent(m_hStopEvent);
  m_Stream.wake();
  if (WaitForSingleObject(m_hThread, kStopBoundMs) == WAIT_TIMEOUT) {
    // Only a name lookup that takes its time, or a callback that does not return, holds the
    // reader this long; the object must outlive the thread that uses it.
    NKDbgPrintfW(u"CGpsdCom: the gpsd reader did not end within %d ms, waiting for it\n", kStopBoundMs);
    WaitForSingleObject(m_hThread, INFINITE);
  }
  CloseHandle(m_hThread);
  m_hThread = nullptr;
}

void CGpsdCom::Say(int state, const std::string& why) {
  if (state == m_nState) return;
  const std::u16string host = plat::utf8ToUtf16(m_Host), reason = plat::utf8ToUtf16(why);
  if (state == kStateReading)
    NKDbgPrintfW(u"[Vexa APP] GPS: reading the receiver through gpsd at %s:%d\r\n", host.c_str(), m_nPort);
  else if (state == kStateNotGpsd)
    NKDbgPrintfW(u"[Vexa APP] GPS: %s:%d does not answer as gpsd does (%s); trying again\r\n", host.c_str(), m_nPort,
                 reason.c_str());
  else if (m_nState == kStateReading)
    NKDbgPrintfW(u"[Vexa APP] GPS: gpsd at %s:%d went away (%s); trying again\r\n", host.c_str(), m_nPort,
                 reason.c_str());
  else
    NKDbgPrintfW(u"[Vexa APP] GPS: no gpsd at %s:%d (%s); trying again\r\n", host.c_str(), m_nPort, reason.c_str());
  m_nState = state;
}

plat::gpsd::Status CGpsdCom::Watch(bool* delivered) {
  using plat::gpsd::Status;
  char block[kBlockSize];
  std::string why;
  for (;;) {
    size_t used = 0;
    const Status status = m_Stream.read(block, sizeof block, &used, INFINITE, why);
    if (used && !m_bStop) {
      m_pfnReceive(m_pOwner.load(), reinterpret_cast<BYTE*>(block), static_cast<int>(used));
      *delivered = true;
    }
    if (status == Status::Idle) continue;
    if (status != Status::Sentences) {
      if (status != Status::Woken) Say(status == Status::Garbage ? kStateNotGpsd : kStateAway, why);
      return status;
    }
    // A full block means more is waiting: the pause below keeps a flood to one block a cycle.
    const bool full = used + plat::gpsd::kMaxLine + 2 > sizeof block;
    if (full && !m_bFlooded)
      NKDbgPrintfW(u"[Vexa APP] GPS: gpsd sends more than %d bytes a second; the rest waits\r\n",
                   static_cast<int>(kBlockSize * 1000 / kCyclePauseMs));
    m_bFlooded = full;
    if (WaitForSingleObject(m_hStopEvent, kCyclePauseMs) == WAIT_OBJECT_0) return Status::Woken;
  }
}

DWORD WINAPI CGpsdCom::ReadGpsdThread(LPVOID param) {
  plat::nameThread("gpsd reader");
  using plat::gpsd::Status;
  auto* self = static_cast<CGpsdCom*>(param);
  DWORD pause = kFirstPauseMs;
  while (!self->m_bStop) {
    std::string why;
    Status status = self->m_Stream.open(self->m_Host, self->m_nPort, kGreetingMs, why);
    bool delivered = false;
    if (status == Status::Sentences) {
      self->Say(kStateReading, why);
      status = self->Watch(&delivered);
    } else if (status != Status::Woken) {
      self->Say(status == Status::Garbage ? kStateNotGpsd : kStateAway, why);
    }
    self->m_Stream.close();
    if (status == Status::Woken) break;
    // A gpsd that greets and then drops every connection is tried no more often than one that is
    // not there: only sentences received start the pauses afresh.
    if (delivered) pause = kFirstPauseMs;
    if (WaitForSingleObject(self->m_hStopEvent, pause) == WAIT_OBJECT_0) break;
    pause = std::min(pause * 2, kLongestPauseMs);
  }
  return 0;
}
