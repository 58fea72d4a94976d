// Change notification on a folder of the unit, with per-file change records
// (FILE_NOTIFY_INFORMATION) read through CeGetFileNotificationInfo.
#pragma once

#include "plat_types.h"

#define FILE_NOTIFY_CHANGE_FILE_NAME 0x00000001u
#define FILE_NOTIFY_CHANGE_DIR_NAME 0x00000002u
#define FILE_NOTIFY_CHANGE_ATTRIBUTES 0x00000004u
#define FILE_NOTIFY_CHANGE_SIZE 0x00000008u
#define FILE_NOTIFY_CHANGE_LAST_WRITE 0x00000010u
#define FILE_NOTIFY_CHANGE_LAST_ACCESS 0x00000020u
#define FILE_NOTIFY_CHANGE_CREATION 0x00000040u
#define FILE_NOTIFY_CHANGE_SECURITY 0x00000100u
#define FILE_NOTIFY_CHANGE_CEGETINFO 0x80000000u

#define FILE_ACTION_ADDED 0x00000001u
#define FILE_ACTION_REMOVED 0x00000002u
#define FILE_ACTION_MODIFIED 0x00000003u
#define FILE_ACTION_RENAMED_OLD_NAME 0x00000004u
#define FILE_ACTION_RENAMED_NEW_NAME 0x00000005u

// One change record. Records follow each other at NextEntryOffset (0 on the last one),
// each aligned to 4 bytes; FileNameLength is in bytes; the name is not terminated.
struct FILE_NOTIFY_INFORMATION {
  DWORD NextEntryOffset;
  DWORD Action;
  DWORD FileNameLength;
  WCHAR FileName[1];
};
typedef FILE_NOTIFY_INFORMATION* PFILE_NOTIFY_INFORMATION;

// A waitable handle, signalled while change records are pending (and once the handle is
// closed, so that a waiting thread returns). INVALID_HANDLE_VALUE on failure.
HANDLE CeFindFirstChangeNotification(LPCWSTR path, BOOL watchSubtree, DWORD filter);
HANDLE FindFirstChangeNotificationW(LPCWSTR path, BOOL watchSubtree, DWORD filter);
// Re-arms the handle. The handle stays signalled while records remain unread.
BOOL CeFindNextChangeNotification(HANDLE handle);
BOOL FindNextChangeNotification(HANDLE handle);
BOOL FindCloseChangeNotification(HANDLE handle);
// Copies as many whole pending records as fit into `buffer` and removes them from the queue.
// With no buffer (or size 0) only *bytesAvailable is told. *bytesAvailable: the size of all
// records pending before the call.
BOOL CeGetFileNotificationInfo(HANDLE handle, DWORD flags, LPVOID buffer, DWORD bufferSize,
                               LPDWORD bytesReturned, LPDWORD bytesAvailable);
