// The serial channel. The reader gathers up to 1024 bytes per cycle (a read returns 100 ms
// after the last byte) and pauses 100 ms between cycles. On destruction the reader is woken by
// closing the port and ends by itself; threads are never killed.
#include "links/serial_com.h"

#include <cstring>

namespace {
constexpr DWORD kBlockSize = 1024;
constexpr DWORD kCyclePauseMs = 100;
constexpr DWORD kStopBoundMs = 3000;
}  // namespace

CSerialCom::CSerialCom() { m_hStopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }

CSerialCom::~CSerialCom() {
  m_bStop = 1;
  if (m_hStopEvent) SetEvent(m_hStopEvent);
  // Closing the port releases a reader blocked in ReadFile; it then sees the stop flag.
  Close();
  if (m_hReadThread) {
    if (WaitForSingleObject(m_hReadThread, kStopBoundMs) == WAIT_TIMEOUT) {
      // Only a receive callback that does not return can hold the reader this long; the
      // object must outlive the thread that uses it.
      NKDbgPrintfW(u"CSerialCom: ReadPortThread did not end within %d ms, waiting for it\n", kStopBoundMs);
      WaitForSingleObject(m_hReadThread, INFINITE);
    }
    CloseHandle(m_hReadThread);
    m_hReadThread = nullptr;
  }
  if (m_hWriteThread) {
    WaitForSingleObject(m_hWriteThread, INFINITE);
    CloseHandle(m_hWriteThread);
    m_hWriteThread = nullptr;
  }
  if (m_hStopEvent) CloseHandle(m_hStopEvent);
}

HANDLE CSerialCom::Open(int port, int baud) {
  if (m_hPort.load()) {
    NKDbgPrintfW(u"COM%d(%d) is opened.\n", port, baud);
    return m_hPort.load();
  }
  WCHAR name[16];
  wsprintfW(name, u"COM%d:", port);
  HANDLE h = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE || h == nullptr) {
    DWORD error = GetLastError();
    m_hPort = nullptr;
    NKDbgPrintfW(u"Open COM%d(%d) fait(Error = %d)!\n", port, baud, static_cast<int>(error));
    return nullptr;
  }
  m_hPort = h;
  NKDbgPrintfW(u"Open COM%d(%d) successfully!\n", port, baud);

  SetCommMask(h, EV_RXCHAR);
  DCB dcb;
  std::memset(&dcb, 0, sizeof dcb);
  dcb.DCBlength = sizeof dcb;
  GetCommState(h, &dcb);
  dcb.BaudRate = static_cast<DWORD>(baud);
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fTXContinueOnXoff = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  SetCommMask(h, EV_RXCHAR);
  SetupComm(h, 16384, 16384);
  if (!SetCommState(h, &dcb)) {
    NKDbgPrintfW(u"Parameters error, Please check\r\n");
    PurgeComm(h, PURGE_TXCLEAR | PURGE_RXCLEAR);
    Close();
    return nullptr;
  }
  COMMTIMEOUTS timeouts;
  std::memset(&timeouts, 0, sizeof timeouts);
  GetCommTimeouts(h, &timeouts);
  timeouts.ReadIntervalTimeout = 100;
  timeouts.ReadTotalTimeoutMultiplier = 1;
  timeouts.ReadTotalTimeoutConstant = 100;
  timeouts.WriteTotalTimeoutMultiplier = 0;
  timeouts.WriteTotalTimeoutConstant = 0;
  if (!SetCommTimeouts(h, &timeouts)) {
    NKDbgPrintfW(u"Setting timeout...\r\n");
    PurgeComm(h, PURGE_TXCLEAR | PURGE_RXCLEAR);
    Close();
    return nullptr;
  }
  PurgeComm(h, PURGE_TXCLEAR | PURGE_RXCLEAR);
  return h;
}

HANDLE CSerialCom::Start(int port, int baud, SerialReceiveProc receive, SerialTransmitProc transmit) {
  HANDLE h = Open(port, baud);
  if (!h) return 0;
  // Started again while running: a second reader would share the port, and the first one's
  // handle would be lost, leaving a thread that outlives the object.
  if (m_hReadThread) return h;
  if (m_hWriteThread) {
    WaitForSingleObject(m_hWriteThread, INFINITE);  // it calls the transmit callback once and ends
    CloseHandle(m_hWriteThread);
    m_hWriteThread = nullptr;
  }
  m_pfnReceive = receive;
  m_pfnTransmit = transmit;
  if (receive) {
    m_hReadThread = CreateThread(nullptr, 0, ReadPortThread, this, 0, nullptr);
    if (!m_hReadThread) return 0;
    SetThreadPriority(m_hReadThread, THREAD_PRIORITY_ABOVE_NORMAL);
  }
  if (transmit) {
    m_hWriteThread = CreateThread(nullptr, 0, WritePortThread, this, 0, nullptr);
    if (!m_hWriteThread) {
      if (m_hReadThread) {
        // The reader is told to stop and waited for: its handle cannot be dropped while it runs.
        m_bStop = 1;
        SetEvent(m_hStopEvent);
        WaitForSingleObject(m_hReadThread, INFINITE);
        CloseHandle(m_hReadThread);
        m_bStop = 0;
        ResetEvent(m_hStopEvent);
      }
      m_hReadThread = nullptr;
      m_hWriteThread = nullptr;
      return 0;
    }
    SetThreadPriority(m_hWriteThread, THREAD_PRIORITY_NORMAL);
  }
  return h;
}

BOOL CSerialCom::Close() {
  HANDLE h = m_hPort.exchange(nullptr);
  if (h) {
    SetCommMask(h, 0);
    CloseHandle(h);
  }
  return 1;
}

DWORD WINAPI CSerialCom::ReadPortThread(LPVOID param) {
  plat::nameThread("serial reader");
  auto* self = static_cast<CSerialCom*>(param);
  BYTE readBuffer[kBlockSize];
  BYTE block[kBlockSize];
  while (self->m_hPort.load() != INVALID_HANDLE_VALUE) {
    WORD count = 0;
    // The device hung up or went away: nothing more can come from this handle, and trying
    // again every cycle would only keep the thread busy for nothing.
    bool ended = false;
    DWORD endError = 0;
    while (count < kBlockSize) {
      DWORD got = 0;
      if (!ReadFile(self->m_hPort.load(), readBuffer, kBlockSize - count, &got, nullptr)) {
        endError = GetLastError();
        ended = endError == ERROR_HANDLE_EOF || endError == ERROR_GEN_FAILURE;
        break;
      }
      if (got == 0) break;
      if (got > kBlockSize - count) got = kBlockSize - count;
      std::memcpy(block + count, readBuffer, got);
      count = static_cast<WORD>(count + got);
    }
    if (self->m_bStop) return 0;
    if (count > 0 && self->m_pfnReceive) self->m_pfnReceive(self->m_pOwner.load(), block, count);
    if (ended) {
      NKDbgPrintfW(u"CSerialCom::ReadPortThread: the port hung up (error %d), reading ends\n",
                   static_cast<int>(endError));
      return 0;
    }
    WaitForSingleObject(self->m_hStopEvent, kCyclePauseMs);
    if (self->m_bStop) return 0;
  }
  NKDbgPrintfW(u"CSerialCom::ReadPortThread end\n");
  return 0;
}

DWORD WINAPI CSerialCom::WritePortThread(LPVOID param) {
  plat::nameThread("serial writer");
  auto* self = static_cast<CSerialCom*>(param);
  if (self->m_hPort.load() != INVALID_HANDLE_VALUE && self->m_pfnTransmit) self->m_pfnTransmit(self->m_pOwner.load());
  return 1;
}
