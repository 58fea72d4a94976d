// The programs an integrator lets the shell start. A program on a removable card starts without
// a touch whenever the card is present; with an allow-list only the programs it names, each with
// the SHA-256 digest of its file, may start, by touch or by themselves. Without a list every
// program may start, as on the device.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "windows.h"

class CProgramAllowList {
 public:
  // Reads the list from a host file in the form sha256sum writes: the digest in hex, blanks (and
  // an optional "*"), then the program's device path ("\StorageCard\Navi\Navi.exe"); lines whose
  // first character is "#" are comments. Lines that are neither are named on the console and
  // left out. A list that cannot be read lets no program start. Returns false in that case.
  bool Load(const std::string& hostFile);
  bool Active() const { return m_active; }

  // Whether the program at `devicePath` may start now: always without a list; with one, when
  // the path is listed and the file's digest is one listed for it. `why` says otherwise ("not
  // on the list", "its digest differs from the list's", or why it cannot be read). Reads the
  // whole file every time: what is started is what was checked.
  bool Allows(const WCHAR* devicePath, std::string& why) const;
  // The same for drawing a list: a file unchanged since its last check (same size and time) is
  // not read again.
  bool AllowsCached(const WCHAR* devicePath);

  // The SHA-256 digest of a file read through the platform's file calls, in lower-case hex;
  // empty (and `why` set) when it cannot be read.
  static std::string DigestOf(const WCHAR* devicePath, std::string& why);

 private:
  static std::u16string keyOf(std::u16string_view devicePath);

  bool m_active = false;
  bool m_readable = true;
  std::string m_file;
  std::map<std::u16string, std::vector<std::string>> m_digests;  // by folded device path
  struct Checked {
    ULONGLONG size = 0;
    ULONGLONG time = 0;
    bool allowed = false;
  };
  std::mutex m_cacheLock;
  std::map<std::u16string, Checked> m_cache;
};

// The launcher's list (null: no list, every program may start).
extern CProgramAllowList* g_pProgramAllowList;
