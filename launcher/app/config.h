// The configuration store: every persistent setting of the launcher, kept in "Config.xml"
// in the unit's data folder, with a factory copy "Config.bak" beside the program.
#pragma once

#include <string>

#include "markup.h"
#include "windows.h"

class CConfig {
 public:
  CConfig();
  ~CConfig();
  CConfig(const CConfig&) = delete;
  CConfig& operator=(const CConfig&) = delete;

  // Parses "Config.xml" into memory, dropping unsaved changes. Non-zero when parsed.
  int Load();
  // Start-up check: load, or restore the factory copy and load that. 0: do not go on.
  int Open();
  // Replaces the document with the built-in defaults of the key table (and a skin found beside
  // the program) and writes it to "Config.xml". False only when nothing could be loaded.
  bool UseBuiltInDefaults();
  static std::u16string BuiltInDefaults();
  // Writes the whole document back (atomically: a power cut leaves the old file or the new).
  void Save();

  int GetValue(LPCWSTR key, int* value);
  void SetValue(LPCWSTR key, int value);
  // buffer: MAX_PATH characters. Values are cut to fit.
  int GetString(LPCWSTR key, LPWSTR buffer);
  void SetString(LPCWSTR key, LPCWSTR value);
  int GetSkinPath(LPWSTR buffer);

  // Where the store reads and writes (device paths).
  LPCWSTR ConfigPath() const { return m_path; }
  static void GetDataFolder(LPWSTR buffer);
  static void GetModuleFolder(LPWSTR buffer);

 private:
  // Moves to the child named key under "CONFIG"; false when the store is unusable or the key
  // is missing. Call with the lock held.
  bool findKey(LPCWSTR key);
  // As findKey, but creates a missing key (text " "). Call with the lock held.
  bool findOrCreateKey(LPCWSTR key);
  bool saveAtomically();

  WCHAR m_path[MAX_PATH];
  CMarkup m_doc;
  int m_loaded = 0;
  CRITICAL_SECTION m_lock;
};

// The process-wide store. The launcher creates it first thing in main(), once the platform
// knows the unit root, so that the paths it composes point into the unit.
extern CConfig* g_pConfig;
