#include "skin_paths.h"

#include <algorithm>

namespace skinlet {
namespace {

constexpr size_t kMaxPath = MAX_PATH;  // buffer size, terminator included

struct PathState {
  bool haveModuleDir = false;
  std::u16string moduleDir;
  WCHAR base[kMaxPath] = {};
  WCHAR file[kMaxPath] = {};
};

PathState& state() {
  // Never destroyed: the library's destructor and late callers may still ask for paths.
  static PathState* s = new PathState();
  return *s;
}

}  // namespace

void copyCut(WCHAR* out, size_t size, std::u16string_view text) {
  if (!out || size == 0) return;
  size_t n = std::min(text.size(), size - 1);
  std::copy(text.begin(), text.begin() + static_cast<ptrdiff_t>(n), out);
  out[n] = 0;
}

const std::u16string& moduleDirectory() {
  PathState& s = state();
  if (!s.haveModuleDir) {
    WCHAR name[kMaxPath] = {};
    // The process's module (the program), not this library.
    DWORD n = GetModuleFileNameW(nullptr, name, kMaxPath);
    std::u16string full(name, std::min<size_t>(n, kMaxPath - 1));
    size_t cut = full.rfind(u'\\');
    s.moduleDir = cut == std::u16string::npos ? std::u16string() : full.substr(0, cut);
    s.haveModuleDir = true;
  }
  return s.moduleDir;
}

void resetModuleDirectory() {
  state().haveModuleDir = false;
  state().moduleDir.clear();
}

bool modulePath(std::u16string_view name, std::u16string& out) {
  std::u16string result = moduleDirectory();
  result += u'\\';
  result += name;
  if (result.size() > kMaxPath - 1) return false;
  out = std::move(result);
  return true;
}

static bool setBase(const std::u16string& dir) {
  // The directory and its backslash must fit the buffer with the terminator.
  if (dir.size() + 1 > kMaxPath - 1) return false;
  std::u16string withSlash = dir + u'\\';
  copyCut(state().base, kMaxPath, withSlash);
  return true;
}

bool setBaseToModulePath(std::u16string_view name) {
  std::u16string path;
  if (!modulePath(name, path)) return false;
  return setBase(path);
}

bool setBaseToSkinFolder(std::u16string_view folder) {
  std::u16string rel = u".\\";
  rel += folder;
  rel += u"\\Skin";
  return setBaseToModulePath(rel);
}

const WCHAR* baseDirectory() { return state().base; }

const WCHAR* baseFile(std::u16string_view name) {
  baseFileInto(name, state().file, kMaxPath);
  return state().file;
}

void baseFileInto(std::u16string_view name, WCHAR* out, size_t size) {
  std::u16string full(state().base);
  full += name;
  copyCut(out, std::min(size, kMaxPath), full);
}

bool scriptRelativeName(std::u16string_view folder, std::u16string_view file, std::u16string& out) {
  std::u16string rel = u".\\";
  rel += folder;
  rel += u'\\';
  rel += file;
  if (rel.size() > kMaxPath - 1) return false;
  out = std::move(rel);
  return true;
}

std::u16string whyNotLoaded(const std::u16string& path) {
  // Read first: the attribute query below is a file call of its own.
  const std::string failure = plat::lastFileFailure();
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return u"no such file";
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return u"it is a folder";
  if (failure.empty()) return u"it cannot be read or parsed";
  return plat::utf8ToUtf16(failure.compare(0, 3, "is ") == 0 ? "it " + failure : "it cannot be read: " + failure);
}

}  // namespace skinlet
