// Modules: language resource modules with string tables, and the built-in "coredll.dll".
// (Owned by the modules area.)
#pragma once

#include "plat_types.h"

#define LOAD_LIBRARY_AS_DATAFILE 0x00000002u
#define DONT_RESOLVE_DLL_REFERENCES 0x00000001u

#ifndef ERROR_BAD_EXE_FORMAT
#define ERROR_BAD_EXE_FORMAT 193L
#endif

// Opens a module. "coredll.dll" is built in; any other name is a language resource module
// (a resource script with STRINGTABLE blocks, or a PE resource-only DLL), found as given
// when it holds a path, else in the program's folder and then in "\Windows" (".dll" is
// added to a name without extension). Loading the same file again returns the same handle, unless
// the file changed since: then it is read again and gets a handle of its own.
HMODULE LoadLibraryW(LPCWSTR name);
HMODULE LoadLibraryExW(LPCWSTR name, HANDLE reserved, DWORD flags);
BOOL FreeLibrary(HMODULE module);
FARPROC GetProcAddressW(HMODULE module, LPCWSTR name);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
// Copies string `id` of the module (at most bufferMax - 1 characters, terminated) and
// returns its length; a missing string gives 0 and an empty buffer. With bufferMax 0 the
// buffer receives a read-only pointer to the string (not terminated), valid while the
// module stays loaded.
int LoadStringW(HINSTANCE module, UINT id, LPWSTR buffer, int bufferMax);
// The user-interface language, kept in the registry (HKEY_CURRENT_USER\MUI "CurLang");
// the system's default in HKEY_LOCAL_MACHINE\MUI "SysLang", 1033 when not set.
LANGID GetUserDefaultUILanguage();
LANGID GetSystemDefaultUILanguage();
// Refuses (FALSE, ERROR_INVALID_PARAMETER) a language identifier that names no language:
// primary language neutral (0) or invariant (0x7F), or a neutral sub-language (0).
BOOL SetUserDefaultUILanguage(LANGID language);
