#include "app/config.h"

#include <string>

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
  WCHAR folder[MAX_PATH];
  WCHAR backup[MAX_PATH];
  GetModuleFolder(folder);
  joinPath(backup, folder, u"Config.bak");
  if (!CopyFileW(backup, m_path, FALSE)) {
    // No factory copy either: run on with every default and never write the file.
    return 1;
  }
  return Load();
}

bool CConfig::saveAtomically() {
  // The old file stays until the new one is complete on the medium: a power cut during a
  // save must not cost the user every setting.
  std::string bytes = plat::utf16ToUtf8(m_doc.GetDoc());
  if (plat::writeFileAtomically(plat::hostPath(m_path), bytes)) return true;
  NKDbgPrintfW(u"CConfig::Save : cannot write %s, the previous file is kept\n", m_path);
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
