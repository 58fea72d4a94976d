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

// The device's file-pattern rules ("*", "?", "*.*" and "name.*" also match names without a
// dot, "*." matches names without one), without regard to case.
bool patternMatches(std::u16string_view pattern, std::u16string_view name);

// Case-insensitive equality of two names (simple case folding per code unit).
bool sameNameIgnoringCase(std::u16string_view a, std::u16string_view b);

}  // namespace plat::fs
