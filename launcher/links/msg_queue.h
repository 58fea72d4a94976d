// The bridge to the companion process that owns the microcontroller's serial line: two named
// point-to-point message queues and a reader thread that hands every incoming message to a
// callback. The bridge does not look inside the messages.
#pragma once

#include <windows.h>

#include <atomic>

// (owner, message bytes, byte count); the result is ignored.
typedef int (*MsgQueueReceiveProc)(void* owner, BYTE* bytes, int count);

class CMsgQueue {
 public:
  // Seen from the companion's side: it sends on the first and reads the second.
  static constexpr const WCHAR* kIncomingName = u"__MsgQueue_RUZ_Send__";
  static constexpr const WCHAR* kOutgoingName = u"__MsgQueue_RUZ_Read__";
  static constexpr DWORD kMaxMessages = 1000;
  static constexpr DWORD kMaxMessageSize = 1000;

  CMsgQueue();
  virtual ~CMsgQueue();
  CMsgQueue(const CMsgQueue&) = delete;
  CMsgQueue& operator=(const CMsgQueue&) = delete;

  // Creates the incoming queue, the reader thread and the outgoing queue; 1 on success, 0 on
  // the first failure (what was made stays until destruction).
  BOOL Create(MsgQueueReceiveProc receive);
  // 1 when the message was written to the outgoing queue; 0 for a null or empty message, no
  // outgoing queue, or a write that failed (queue still full after 100 ms, message too long).
  BOOL Send(const BYTE* bytes, int count);

  bool HasOutgoingQueue() const { return m_hWriteQueue != nullptr; }

  // Context passed to the callback.
  std::atomic<void*> m_pOwner{nullptr};

 private:
  static DWORD WINAPI MsgQueueReadThread(LPVOID self);

  MsgQueueReceiveProc m_pfnReceive = nullptr;
  HANDLE m_hReadQueue = nullptr;
  HANDLE m_hReadThread = nullptr;
  HANDLE m_hWriteQueue = nullptr;
  std::atomic<LONG> m_bStop{0};
};

namespace links {
// "%02x-" per byte, at most 255 characters (85 bytes): the form of the MCU log lines.
void formatHexLine(const BYTE* bytes, int count, WCHAR* line, size_t lineSize);
}  // namespace links
