// Files, folders and the unit root. Device paths ("\StorageCard\x.txt") are mapped into the
// unit root; each component matches without regard to case when the exact name is missing.
#pragma once

#include <string>
#include <vector>
#include <string_view>

#include "plat_types.h"

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define GENERIC_EXECUTE 0x20000000u
#define GENERIC_ALL 0x10000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_INROM 0x00000040u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100u
#define FILE_ATTRIBUTE_ROMMODULE 0x00002000u
#define FILE_FLAG_WRITE_THROUGH 0x80000000u
#define FILE_FLAG_OVERLAPPED 0x40000000u
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu
#define INVALID_FILE_SIZE 0xFFFFFFFFu
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu
#define ERROR_DISK_FULL 112L
#define ERROR_NEGATIVE_SEEK 131L
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

struct WIN32_FIND_DATAW {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwOID;
  WCHAR cFileName[MAX_PATH];
};
typedef WIN32_FIND_DATAW* LPWIN32_FIND_DATAW;

// A name such as "COM9:" or "VEC0:" opens a device; anything else a file in the unit root.
HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES attributes,
                   DWORD creation, DWORD flags, HANDLE templateFile);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method);
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
BOOL SetEndOfFile(HANDLE file);
BOOL FlushFileBuffers(HANDLE file);
BOOL GetFileTime(HANDLE file, LPFILETIME creation, LPFILETIME access, LPFILETIME write);

BOOL DeleteFileW(LPCWSTR name);
BOOL CopyFileW(LPCWSTR existing, LPCWSTR target, BOOL failIfExists);
BOOL MoveFileW(LPCWSTR existing, LPCWSTR target);
DWORD GetFileAttributesW(LPCWSTR name);
BOOL SetFileAttributesW(LPCWSTR name, DWORD attributes);
BOOL CreateDirectoryW(LPCWSTR name, LPSECURITY_ATTRIBUTES attributes);
BOOL RemoveDirectoryW(LPCWSTR name);
// Host files whose names start with "." report FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM.
HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data);
BOOL FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW data);
BOOL FindClose(HANDLE find);

BOOL GetDiskFreeSpaceExW(LPCWSTR directory, ULONGLONG* freeToCaller, ULONGLONG* total, ULONGLONG* totalFree);

namespace plat {
// The host folder that stands for "\" (empty: the host's "/").
void setUnitRoot(const std::string& hostFolder);
const std::string& unitRoot();
// Maps a device path to the host path (components matched without regard to case when the
// exact name is missing). "/" is accepted as a separator. Never fails; missing components
// are kept as given.
std::string hostPath(std::u16string_view devicePath);
std::string hostPath(LPCWSTR devicePath);
// The device path of a host path under the unit root ("" when it lies outside).
std::u16string devicePath(const std::string& hostPath);
// Replaces a host file atomically with the given bytes: temporary file, flush, rename. On
// failure GetLastError() tells why.
bool writeFileAtomically(const std::string& hostPath, const std::string& bytes);
// Reads a whole regular file; false for anything else (a folder, a named pipe, a device: those
// are never read, and the console names them), or when it cannot be read.
bool readHostFile(const std::string& hostPath, std::string& bytes);
// Who besides its owner may write a host folder ("every user (mode 0777)", "the members of its
// group (mode 0775)"), or empty when no one else may (a user-private group does not count).
std::string writableByOthers(const std::string& hostFolder);
// Why the last file call of this thread failed to open a file, in the console's words ("permission
// denied", "is a named pipe (FIFO), not a file", "no such file or directory"); empty after an open
// that worked.
std::string lastFileFailure();

// Keeping what a failed load would otherwise lose. A file that could not be read or parsed is
// copied to "<file>.damaged-<UTC time>" beside it before anything replaces it; at most
// kDamagedCopiesKept such copies of one file are kept (the oldest go first). Returns the host
// path of the copy, "" when there was nothing to keep or the copy failed (the console says why).
constexpr int kDamagedCopiesKept = 4;
std::string keepDamagedCopy(const std::string& hostPath);
// The copies kept of one file, oldest first.
std::vector<std::string> damagedCopies(const std::string& hostPath);

// Removes temporary files that writeFileAtomically left in `hostFolder` when the process was
// killed mid-save: those last changed before this process started (a save running now in
// another process is left alone). Returns how many were removed.
int removeStaleTemporaries(const std::string& hostFolder);

// As writeFileAtomically, for a copy: the target is replaced only once the whole source is on
// the medium, and the folder entry is synced too.
bool copyFileAtomically(const std::string& fromHostPath, const std::string& toHostPath);
}  // namespace plat
