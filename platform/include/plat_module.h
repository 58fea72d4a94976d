// Modules: language resource modules with string tables, and the built-in "coredll.dll".
// (Owned by the modules area.)
#pragma once

#include "plat_types.h"

#define LOAD_LIBRARY_AS_DATAFILE 0x00000002u
#define DONT_RESOLVE_DLL_REFERENCES 0x00000001u

HMODULE LoadLibraryW(LPCWSTR name);
HMODULE LoadLibraryExW(LPCWSTR name, HANDLE reserved, DWORD flags);
BOOL FreeLibrary(HMODULE module);
FARPROC GetProcAddressW(HMODULE module, LPCWSTR name);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
int LoadStringW(HINSTANCE module, UINT id, LPWSTR buffer, int bufferMax);
LANGID GetUserDefaultUILanguage();
LANGID GetSystemDefaultUILanguage();
BOOL SetUserDefaultUILanguage(LANGID language);
