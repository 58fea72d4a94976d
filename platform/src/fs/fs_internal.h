// Shared by the file calls: device-path mapping with the facts the error codes need, host
// errors as Windows errors, and host times as FILETIMEs.
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>

#include "plat_types.h"

namespace plat::fs {

struct MappedPath {
  std::string host;          // the host path
  std::u16string lastName;   // the last component as given ("" for the root)
  bool parentExists = false; // the folder that holds the last component exists
  bool trailingSeparator = false;
  bool isRoot = false;
};

// Maps a device path into the unit root. Fails with ERROR_FILENAME_EXCED_RANGE for paths of
// MAX_PATH characters or more and ERROR_INVALID_PARAMETER for a null path ("" is the root).
// ".." never leaves the unit root.
bool mapPath(LPCWSTR devicePath, MappedPath& out, DWORD& error);

// The device's error for a failed host call on a path.
DWORD errorFromErrno(int error, bool parentExists);

// Characters FAT does not allow in names (wildcards, ':' and the rest).
bool hasInvalidNameCharacters(std::u16string_view name);

// FILE_ATTRIBUTE_* for a host entry; `name` decides hidden (host dot-files).
DWORD attributesOf(const struct stat& st, std::u16string_view name);

FILETIME fileTimeFromTimespec(const struct timespec& ts);

// What a host entry is when it is not a regular file ("a named pipe (FIFO)", "a socket", "a
// character device", ...); empty for a regular file.
std::string specialKindOf(const struct stat& st);
// The host's reason for an error number, in the console's words ("permission denied").
std::string reasonOf(int error);
// Why a path cannot be used after a host call failed with `error`: "a link loop", "a link to
// nothing", else the host's reason.
std::string describeUnusable(const std::string& hostPath, int error);
// Sets what lastFileFailure() tells on this thread.
void setFileFailure(std::string reason);
// Opens a host file (open(2) flags and mode) without ever blocking: anything that exists and
// is neither a regular file nor a folder is refused before it is opened, with a console line
// "<caller>: <path> is <kind>, not a file: not opened" and errno EINVAL; a folder fails with
// EISDIR (a null `caller` leaves the line to the caller). The descriptor is close-on-exec and
// blocking. lastFileFailure() says why it failed.
int openRegularFile(const std::string& hostPath, int flags, mode_t mode, const char* caller);

// The device's file-pattern rules ("*", "?", "*.*" and "name.*" also match names without a
// dot, "*." matches names without one), without regard to case.
bool patternMatches(std::u16string_view pattern, std::u16string_view name);

// Case-insensitive equality of two names (simple case folding per code unit).
bool sameNameIgnoringCase(std::u16string_view a, std::u16string_view b);

}  // namespace plat::fs
