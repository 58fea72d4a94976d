// The launcher's serial channel: opens a numbered COM port with fixed line settings, gathers
// incoming bytes on a reader thread and hands each block to a receive callback.
#pragma once

#include <windows.h>

#include <atomic>

// (owner, bytes, count); the result is ignored.
typedef int (*SerialReceiveProc)(void* owner, BYTE* bytes, int count);
// (owner); called once by the transmit thread.
typedef int (*SerialTransmitProc)(void* owner);

class CSerialCom {
 public:
  CSerialCom();
  virtual ~CSerialCom();
  CSerialCom(const CSerialCom&) = delete;
  CSerialCom& operator=(const CSerialCom&) = delete;

  // The port handle, or null when the port cannot be opened or set up.
  HANDLE Open(int port, int baud);
  // Opens the port and starts the threads; the port handle, or 0 on failure.
  HANDLE Start(int port, int baud, SerialReceiveProc receive, SerialTransmitProc transmit);
  // Always 1.
  BOOL Close();

  HANDLE PortHandle() const { return m_hPort.load(); }
  HANDLE ReaderThread() const { return m_hReadThread; }
  HANDLE TransmitThread() const { return m_hWriteThread; }

  // Context handed back to the callbacks; the owner sets it before Start.
  std::atomic<void*> m_pOwner{nullptr};

 private:
  static DWORD WINAPI ReadPortThread(LPVOID self);
  static DWORD WINAPI WritePortThread(LPVOID self);

  std::atomic<HANDLE> m_hPort{nullptr};
  std::atomic<LONG> m_bStop{0};
  SerialReceiveProc m_pfnReceive = nullptr;
  SerialTransmitProc m_pfnTransmit = nullptr;
  HANDLE m_hReadThread = nullptr;
  HANDLE m_hWriteThread = nullptr;
  // Lets the reader's pause between cycles end at once on destruction.
  HANDLE m_hStopEvent = nullptr;
};
