// The queue bridge. The reader waits without time limit; destruction sets the stop flag and
// closes the incoming queue, which wakes the reader so that it ends by itself.
#include "links/msg_queue.h"

#include <cstring>

namespace links {
void formatHexLine(const BYTE* bytes, int count, WCHAR* line, size_t lineSize) {
  static const char digits[] = "0123456789abcdef";
  size_t pos = 0;
  // 255 characters at most: whole "xx-" groups only.
  size_t limit = lineSize > 256 ? 255 : (lineSize ? lineSize - 1 : 0);
  for (int i = 0; i < count && pos + 3 <= limit; ++i) {
    line[pos++] = static_cast<WCHAR>(digits[bytes[i] >> 4]);
    line[pos++] = static_cast<WCHAR>(digits[bytes[i] & 15]);
    line[pos++] = u'-';
  }
  if (lineSize) line[pos] = 0;
}
}  // namespace links

CMsgQueue::CMsgQueue() = default;

CMsgQueue::~CMsgQueue() {
  m_bStop = 1;
  if (m_hReadQueue) {
    // The handle value stays in the field: the reader read it when it started.
    CloseMsgQueue(m_hReadQueue);
  }
  if (m_hReadThread) {
    if (WaitForSingleObject(m_hReadThread, 3000) == WAIT_TIMEOUT) {
      // Only a callback that does not return holds the reader now; it uses this object.
      NKDbgPrintfW(u"CMsgQueue: MsgQueueReadThread did not end within 3000 ms, waiting for it\n");
      WaitForSingleObject(m_hReadThread, INFINITE);
    }
    CloseHandle(m_hReadThread);
    m_hReadThread = nullptr;
  }
  if (m_hWriteQueue) {
    CloseMsgQueue(m_hWriteQueue);
    m_hWriteQueue = nullptr;
  }
}

BOOL CMsgQueue::Create(MsgQueueReceiveProc receive) {
  m_pfnReceive = receive;
  MSGQUEUEOPTIONS options;
  std::memset(&options, 0, sizeof options);
  options.dwSize = sizeof options;
  options.dwFlags = MSGQUEUE_ALLOW_BROKEN;
  options.dwMaxMessages = kMaxMessages;
  options.cbMaxMessage = kMaxMessageSize;
  options.bReadAccess = TRUE;
  m_hReadQueue = CreateMsgQueue(kIncomingName, &options);
  if (!m_hReadQueue) {
    DWORD error = GetLastError();
    NKDbgPrintfW(u"MsgQueueRead Create not succeed --\r\n");
    NKDbgPrintfW(u"CMsgQueue: queue %s cannot be created (error %d): no link to the companion\n", kIncomingName,
                 static_cast<int>(error));
    return 0;
  }
  m_hReadThread = CreateThread(nullptr, 0, MsgQueueReadThread, this, 0, nullptr);
  if (!m_hReadThread) {
    NKDbgPrintfW(u"MsgQueueReadThread Create Failed --\r\n");
    return 0;
  }
  options.bReadAccess = FALSE;
  m_hWriteQueue = CreateMsgQueue(kOutgoingName, &options);
  if (!m_hWriteQueue) {
    DWORD error = GetLastError();
    NKDbgPrintfW(u"MsgQueueSend Create not succeed --\r\n");
    // The incoming half already runs: say plainly that the link works one way only.
    NKDbgPrintfW(u"CMsgQueue: queue %s cannot be created (error %d): the link is half-open, messages from the "
                 u"companion arrive but none are sent to it\n",
                 kOutgoingName, static_cast<int>(error));
    return 0;
  }
  return 1;
}

BOOL CMsgQueue::Send(const BYTE* bytes, int count) {
  if (!bytes || count <= 0 || !m_hWriteQueue) return 0;
  BOOL written = WriteMsgQueue(m_hWriteQueue, const_cast<BYTE*>(bytes), static_cast<DWORD>(count), 100, 0);
  WCHAR line[256];
  links::formatHexLine(bytes, count, line, 256);
  NKDbgPrintfW(u"[Vexa App] MCU TX[%d]-- [ %s ]\n", count, line);
  return written ? 1 : 0;
}

DWORD WINAPI CMsgQueue::MsgQueueReadThread(LPVOID param) {
  plat::nameThread("queue reader");
  auto* self = static_cast<CMsgQueue*>(param);
  OutputDebugStringW(u"CMsgQueue::MsgQueueReadThread Begin");
  // The incoming handle is read once: destruction closes it to wake this thread.
  HANDLE queue = self->m_hReadQueue;
  BYTE buffer[kMaxMessageSize];
  while (!self->m_bStop) {
    std::memset(buffer, 0, sizeof buffer);
    DWORD got = 0;
    DWORD flags = 0;
    if (!ReadMsgQueue(queue, buffer, sizeof buffer, &got, INFINITE, &flags)) {
      if (GetLastError() == ERROR_INVALID_HANDLE) break;  // closed: the bridge is going away
      if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) Sleep(10);  // a queue in trouble: do not spin
      continue;
    }
    if (self->m_bStop) break;
    if (self->m_pfnReceive) self->m_pfnReceive(self->m_pOwner.load(), buffer, static_cast<int>(got));
  }
  return 0;
}
