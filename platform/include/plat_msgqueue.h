// Point-to-point message queues on POSIX message queues ("/" + prefix + name).
#pragma once

#include <string>

#include "plat_types.h"

#define MSGQUEUE_NOPRECOMMIT 0x00000001u
#define MSGQUEUE_ALLOW_BROKEN 0x00000002u
#define MSGQUEUE_MSGALERT 0x00000001u

struct MSGQUEUEOPTIONS {
  DWORD dwSize;         // sizeof(MSGQUEUEOPTIONS), 20
  DWORD dwFlags;        // MSGQUEUE_NOPRECOMMIT, MSGQUEUE_ALLOW_BROKEN
  DWORD dwMaxMessages;  // 0: as many as the system allows
  DWORD cbMaxMessage;   // largest message in bytes
  BOOL bReadAccess;     // TRUE: this handle reads, FALSE: it writes
};
typedef MSGQUEUEOPTIONS* LPMSGQUEUEOPTIONS;

struct MSGQUEUEINFO {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwMaxMessages;
  DWORD cbMaxMessage;
  DWORD dwCurrentMessages;
  DWORD dwMaxQueueMessages;
  WORD wNumReaders;
  WORD wNumWriters;
};
typedef MSGQUEUEINFO* LPMSGQUEUEINFO;

// Creates or opens the named queue (a null name makes a private one). Messages written by one
// process are read by another that opened the same name.
HANDLE CreateMsgQueue(LPCWSTR name, LPMSGQUEUEOPTIONS options);
// timeout in ms, INFINITE waits without limit, 0 does not wait. ERROR_TIMEOUT when nothing came,
// ERROR_INSUFFICIENT_BUFFER when the message is larger than the buffer (it is dropped).
BOOL ReadMsgQueue(HANDLE queue, LPVOID buffer, DWORD bufferSize, LPDWORD bytesRead, DWORD timeout,
                  DWORD* flags);
// ERROR_TIMEOUT when the queue stayed full, ERROR_INSUFFICIENT_BUFFER for a message larger than
// the queue's maximum.
BOOL WriteMsgQueue(HANDLE queue, LPVOID data, DWORD dataSize, DWORD timeout, DWORD flags);
BOOL GetMsgQueueInfo(HANDLE queue, LPMSGQUEUEINFO info);
// Closes the handle; a ReadMsgQueue or WriteMsgQueue blocked on it returns FALSE at once.
BOOL CloseMsgQueue(HANDLE queue);

namespace plat::msgqueue {
// Queue names are global to the machine. A prefix keeps side-by-side runs apart: it is taken
// from the environment variable HU_MSGQUEUE_PREFIX at first use, or set here (tests, tools).
void setNamePrefix(const std::string& prefix);
std::string namePrefix();
// The host name ("/" + prefix + name) a queue name maps to.
std::string hostName(const std::u16string& name);
// Removes the named queue from the system (its messages are lost). Returns false when absent.
// (A queue goes by itself when its last handle, in any process, is closed.)
bool removeQueue(const std::u16string& name);
// Queues are created for the user alone (0600); with a group named here (or in the environment
// variable HU_MSGQUEUE_GROUP at first use) they are made 0660 and given to that group, so that a
// companion running as another user of the group can open them. Set before the first queue.
void setAccessGroup(const std::string& group);
std::string accessGroup();
// For an end of the process that runs no destructors (a restart request): removes the queues
// whose last handle is in this process. The handles stay usable until the process ends.
void removeQueuesAtExit();
// The note about the system's limits is written once per process; tests make it come again.
void resetLimitNotice();
}  // namespace plat::msgqueue
