// Paths of the view library. Everything is resolved against the program's directory with a
// "." level kept in the path ("\Windows\.\Skin800\Skin\..."), as the device's skins expect.
// The base directory is one library-wide buffer: the last load decides it.
#pragma once

#include <string>

#include "windows.h"

namespace skinlet {

// The program's directory: its module file name cut before the last backslash. Read once.
const std::u16string& moduleDirectory();
// Forgets the cached module directory (tests that change the program's name).
void resetModuleDirectory();

// "<module directory>\<name>"; false when the result would exceed 259 characters.
bool modulePath(std::u16string_view name, std::u16string& out);

// Sets the base directory to the module path of `name` followed by a backslash.
// False (base unchanged) when the path cannot be formed or does not fit 260 characters.
bool setBaseToModulePath(std::u16string_view name);
// Sets the base directory to the skin folder of `folder` ("<module dir>\.\<folder>\Skin\").
bool setBaseToSkinFolder(std::u16string_view folder);
// The base directory itself, with its trailing backslash.
const WCHAR* baseDirectory();
// The base directory with `name` appended, cut to 259 characters. The result lives in one
// library-wide buffer and stays valid until the next call.
const WCHAR* baseFile(std::u16string_view name);
// Copies a base file name into a caller's buffer of `size` characters (cut, terminated).
void baseFileInto(std::u16string_view name, WCHAR* out, size_t size);

// ".\<folder>\<file>" relative to the base, at most 259 characters; false when longer.
bool scriptRelativeName(std::u16string_view folder, std::u16string_view file, std::u16string& out);

// Why a skin file at `path` that just failed to load gave nothing, for a console line: "no such
// file", "it is a folder", "it is a named pipe (FIFO), not a file", "it cannot be read:
// permission denied", or "it cannot be read or parsed" when it opened and its content failed.
std::u16string whyNotLoaded(const std::u16string& path);

// Copies `text` into a fixed buffer of `size` characters, cut to size - 1, terminated.
void copyCut(WCHAR* out, size_t size, std::u16string_view text);

}  // namespace skinlet
