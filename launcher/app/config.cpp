#include "app/config.h"

#include <string>

#include "plat_file.h"

namespace {

const WCHAR kRoot[] = u"CONFIG";
const WCHAR kValue[] = u"Value";

// Holds the store's lock for a scope.
class Lock {
 public:
  explicit Lock(CRITICAL_SECTION* cs) : m_cs(cs) { EnterCriticalSection(m_cs); }
  ~Lock() { LeaveCriticalSection(m_cs); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

 private:
  CRITICAL_SECTION* m_cs;
};

bool isDirectory(LPCWSTR path) {
  DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// "%s\%s" into a MAX_PATH buffer; a longer path is cut.
void joinPath(LPWSTR out, LPCWSTR folder, LPCWSTR name) { _snwprintf(out, MAX_PATH - 1, u"%s\\%s", folder, name), out[MAX_PATH - 1] = 0; }

}  // namespace

CConfig* g_pConfig = nullptr;

void CConfig::GetModuleFolder(LPWSTR buffer) {
  WCHAR module[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, module, MAX_PATH);
  WCHAR* slash = wcsrchr(module, u'\\');
  if (slash) *slash = 0;
  else module[0] = 0;
  lstrcpynW(buffer, module, MAX_PATH);
}

void CConfig::GetDataFolder(LPWSTR buffer) {
  WCHAR folder[MAX_PATH] = u"\\GPSData";
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"System\\StorageManager\\Profiles\\FlashDrv\\ROFATFS", 0, KEY_READ,
                    &key) == ERROR_SUCCESS) {
    WCHAR value[MAX_PATH] = {};
    DWORD type = 0;
    DWORD size = sizeof(value) - sizeof(WCHAR);
    if (RegQueryValueExW(key, u"Folder", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS &&
        type == REG_SZ && value[0] != 0) {
      _snwprintf(folder, MAX_PATH - 1, u"\\%s", value);
      folder[MAX_PATH - 1] = 0;
    }
    RegCloseKey(key);
  }
  if (!isDirectory(folder)) GetModuleFolder(folder);
  lstrcpynW(buffer, folder, MAX_PATH);
}

CConfig::CConfig() {
  WCHAR folder[MAX_PATH];
  GetDataFolder(folder);
  joinPath(m_path, folder, u"Config.xml");
  InitializeCriticalSection(&m_lock);
  // A save cut off by a power cut leaves its temporary file beside "Config.xml".
  plat::removeStaleTemporaries(plat::hostPath(folder));
  Load();
}

CConfig::~CConfig() { DeleteCriticalSection(&m_lock); }

int CConfig::Load() {
  Lock lock(&m_lock);
  m_loaded = m_doc.Load(m_path) ? 1 : 0;
  return m_loaded;
}

int CConfig::Open() {
  if (Load()) return 1;
  // Empty when the file opened and only its content failed.
  const std::u16string failure = plat::utf8ToUtf16(plat::lastFileFailure());
  std::string host = plat::hostPath(m_path);
  DWORD attributes = GetFileAttributesW(m_path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    // Nothing can replace a folder: run on defaults in memory, as with no file at all.
    NKDbgPrintfW(u"CConfig: %s is a folder, not a settings file: running on defaults, settings are not saved\n",
                 m_path);
    return 1;
  }
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_SYSTEM)) {
    // A named pipe or a device holds nothing to keep, and is not ours to replace either.
    NKDbgPrintfW(u"CConfig: %s %s: running on defaults, settings are not saved\n", m_path, failure.c_str());
    return 1;
  }
  bool present = attributes != INVALID_FILE_ATTRIBUTES;
  if (present) {
    if (failure.empty()) NKDbgPrintfW(u"CConfig: %s cannot be read or parsed\n", m_path);
    else NKDbgPrintfW(u"CConfig: %s cannot be read: %s\n", m_path, failure.c_str());
    // The user's volume, zone and remembered program are in it: keep it before it is replaced.
    plat::keepDamagedCopy(host);
  }
  WCHAR folder[MAX_PATH];
  WCHAR backup[MAX_PATH];
  GetModuleFolder(folder);
  joinPath(backup, folder, u"Config.bak");
  if (GetFileAttributesW(backup) == INVALID_FILE_ATTRIBUTES) {
    // No factory copy: run on with every default and never write the file.
    if (present) NKDbgPrintfW(u"CConfig: no %s either: running on defaults, settings are not saved\n", backup);
    return 1;
  }
  CMarkup factory;
  if (factory.Load(backup)) {
    if (CopyFileW(backup, m_path, FALSE) && Load()) {
      NKDbgPrintfW(u"CConfig: %s restored from %s\n", m_path, backup);
      return 1;
    }
    NKDbgPrintfW(u"CConfig: cannot copy %s over %s (error %d): running on the factory settings\n", backup, m_path,
                 static_cast<int>(GetLastError()));
    Lock lock(&m_lock);
    m_loaded = m_doc.SetDoc(factory.GetDoc()) ? 1 : 0;
    if (m_loaded) return 1;
  } else {
    NKDbgPrintfW(u"CConfig: the factory copy %s cannot be read or parsed either\n", backup);
  }
  // The unit must come up whatever its files hold: start from the built-in defaults and keep
  // them as the new file, so the next start finds something to load.
  return UseBuiltInDefaults() ? 1 : 0;
}

namespace {

// The first folder beside the program that holds an "image.xml": a skin to show when the
// settings that named one are lost.
std::u16string findSkin() {
  WCHAR folder[MAX_PATH];
  CConfig::GetModuleFolder(folder);
  WCHAR pattern[MAX_PATH];
  joinPath(pattern, folder, u"*");
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(pattern, &data);
  if (find == INVALID_HANDLE_VALUE) return {};
  std::u16string best;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || data.cFileName[0] == u'.') continue;
    WCHAR skin[MAX_PATH];
    WCHAR images[MAX_PATH];
    joinPath(skin, folder, data.cFileName);
    joinPath(images, skin, u"image.xml");
    if (GetFileAttributesW(images) == INVALID_FILE_ATTRIBUTES) continue;
    std::u16string name(data.cFileName);
    if (best.empty() || name < best) best = name;
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return best;
}

}  // namespace

std::u16string CConfig::BuiltInDefaults() {
  std::u16string doc =
      u"<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<CONFIG>\r\n"
      u"<CURRENT_LANGUAGE Value=\"1033\"/>\r\n<VOLUME_LEVEL Value=\"8\"/>\r\n<GBL_MUTE Value=\"0\"/>\r\n"
      u"<KEYTONE_LEVEL Value=\"1\"/>\r\n<BT_POWEROFF_CHECK Value=\"0\"/>\r\n<ANIMATOR_TYPE Value=\"0\"/>\r\n";
  std::u16string skin = findSkin();
  if (!skin.empty() && skin.find_first_of(u"<>&\"") == std::u16string::npos)
    doc += u"<CURRENT_SKIN Value=\"1\"/>\r\n<SKIN1>" + skin + u"</SKIN1>\r\n";
  doc += u"</CONFIG>\r\n";
  return doc;
}

bool CConfig::UseBuiltInDefaults() {
  Lock lock(&m_lock);
  if (!m_doc.SetDoc(BuiltInDefaults().c_str())) {
    m_loaded = 0;
    return false;
  }
  m_loaded = 1;
  m_doc.ResetPos();
  if (saveAtomically()) NKDbgPrintfW(u"CConfig: running on built-in defaults, written to %s\n", m_path);
  else NKDbgPrintfW(u"CConfig: running on built-in defaults (kept in memory only)\n");
  return true;
}

bool CConfig::saveAtomically() {
  // The old file stays until the new one is complete on the medium: a power cut during a
  // save must not cost the user every setting.
  std::string bytes = plat::utf16ToUtf8(m_doc.GetDoc());
  if (plat::writeFileAtomically(plat::hostPath(m_path), bytes)) return true;
  NKDbgPrintfW(u"CConfig::Save : cannot write %s (%S), the previous file is kept\n", m_path,
               plat::lastFileFailure().c_str());
  return false;
}

void CConfig::Save() {
  Lock lock(&m_lock);
  if (!m_loaded) return;
  m_doc.ResetPos();
  if (!m_doc.FindElem(kRoot)) return;
  saveAtomically();
}

bool CConfig::findKey(LPCWSTR key) {
  if (!m_loaded || !key) return false;
  m_doc.ResetPos();
  if (!m_doc.FindElem(kRoot)) return false;
  return m_doc.FindChildElem(key);
}

bool CConfig::findOrCreateKey(LPCWSTR key) {
  if (!m_loaded || !key) return false;
  m_doc.ResetPos();
  if (!m_doc.FindElem(kRoot)) return false;
  if (m_doc.FindChildElem(key)) return true;
  return m_doc.AddChildElem(key, u" ");
}

int CConfig::GetValue(LPCWSTR key, int* value) {
  Lock lock(&m_lock);
  if (!findKey(key)) return 0;
  if (value) *value = static_cast<int>(_wtol(m_doc.GetChildAttrib(kValue).c_str()));
  return 1;
}

void CConfig::SetValue(LPCWSTR key, int value) {
  Lock lock(&m_lock);
  if (findKey(key)) {
    m_doc.SetChildAttrib(kValue, value);
    NKDbgPrintfW(u"CConfig%d\n", value);
    return;
  }
  if (findOrCreateKey(key)) m_doc.SetChildAttrib(kValue, value);
}

int CConfig::GetString(LPCWSTR key, LPWSTR buffer) {
  Lock lock(&m_lock);
  if (!findKey(key)) {
    if (buffer) buffer[0] = 0;
    return 0;
  }
  if (buffer) lstrcpynW(buffer, m_doc.GetChildData().c_str(), MAX_PATH);
  return 1;
}

void CConfig::SetString(LPCWSTR key, LPCWSTR value) {
  Lock lock(&m_lock);
  if (!findOrCreateKey(key)) return;
  // Every reader takes strings into MAX_PATH buffers: store no more than they can hold, so
  // what is read back is what was written.
  std::u16string text(value ? value : u"");
  if (text.size() > MAX_PATH - 1) text.resize(MAX_PATH - 1);
  m_doc.SetChildData(text.c_str());
}

int CConfig::GetSkinPath(LPWSTR buffer) {
  int skin = 0;
  if (!GetValue(u"CURRENT_SKIN", &skin)) {
    if (buffer) buffer[0] = 0;
    return 0;
  }
  WCHAR key[32];
  wsprintfW(key, u"SKIN%d", skin);
  WCHAR name[MAX_PATH];
  if (!GetString(key, name) || name[0] == 0) {
    if (buffer) buffer[0] = 0;
    return 0;
  }
  if (buffer) lstrcpynW(buffer, name, MAX_PATH);
  return 1;
}
