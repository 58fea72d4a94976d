// The user-interface language, kept in the registry as the device keeps it, so that a
// language chosen once survives a restart of the unit.
#include "plat_core.h"
#include "plat_module.h"
#include "plat_registry.h"

namespace {

constexpr LANGID kFallback = 0x0409;  // English (United States)

bool readDword(HKEY root, LPCWSTR value, DWORD& out) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, u"MUI", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  DWORD type = 0;
  DWORD data = 0;
  DWORD size = sizeof(data);
  LSTATUS status = RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<LPBYTE>(&data), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(data)) return false;
  out = data;
  return true;
}

bool validLanguage(LANGID language) {
  unsigned primary = language & 0x3FFu;
  unsigned sub = language >> 10;
  return primary != 0 && primary != 0x7F && sub != 0;
}

}  // namespace

LANGID GetSystemDefaultUILanguage() {
  DWORD value = 0;
  if (readDword(HKEY_LOCAL_MACHINE, u"SysLang", value) && validLanguage(static_cast<LANGID>(value))) {
    return static_cast<LANGID>(value);
  }
  return kFallback;
}

LANGID GetUserDefaultUILanguage() {
  DWORD value = 0;
  if (readDword(HKEY_CURRENT_USER, u"CurLang", value) && validLanguage(static_cast<LANGID>(value))) {
    return static_cast<LANGID>(value);
  }
  return GetSystemDefaultUILanguage();
}

BOOL SetUserDefaultUILanguage(LANGID language) {
  if (!validLanguage(language)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, u"MUI", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return FALSE;
  }
  DWORD value = language;
  LSTATUS status = RegSetValueExW(key, u"CurLang", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
  RegCloseKey(key);
  return status == ERROR_SUCCESS ? TRUE : FALSE;
}
