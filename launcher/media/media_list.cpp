#include "media/media_list.h"

namespace media {

int boundedLength(LPCWSTR text) {
  if (!text) return 0;
  int n = 0;
  while (n <= kMaxText && text[n] != 0) ++n;
  return n;
}

std::unique_ptr<WCHAR[]> copyText(LPCWSTR text) {
  if (!text) return nullptr;
  int n = std::min(boundedLength(text), kMaxText);
  auto out = std::make_unique<WCHAR[]>(static_cast<size_t>(n) + 1);
  std::copy(text, text + n, out.get());
  out[static_cast<size_t>(n)] = 0;
  return out;
}

std::unique_ptr<WCHAR[]> copyText(const std::u16string& text) {
  size_t n = std::min(text.size(), static_cast<size_t>(kMaxText));
  auto out = std::make_unique<WCHAR[]>(n + 1);
  std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n), out.get());
  out[n] = 0;
  return out;
}

void copyPath(WCHAR* dst, LPCWSTR src) {
  int n = std::min(boundedLength(src), kMaxText);
  if (src) std::copy(src, src + n, dst);
  dst[n] = 0;
}

bool hasExtension(LPCWSTR name, std::initializer_list<const char16_t*> extensions) {
  if (!name) return false;
  size_t len = 0;
  while (name[len] != 0) ++len;
  if (len < 4) return false;
  WCHAR tail[5];
  for (int i = 0; i < 4; ++i) tail[i] = towupperW(name[len - 4 + static_cast<size_t>(i)]);
  tail[4] = 0;
  for (const char16_t* ext : extensions)
    if (std::char_traits<char16_t>::compare(tail, ext, 5) == 0) return true;
  return false;
}

bool isVideoName(LPCWSTR name) {
  return hasExtension(name, {u".AVI", u".MPG", u".WMV", u".ASF", u".MP4", u".ASX", u".3GP"});
}
bool isAudioName(LPCWSTR name) { return hasExtension(name, {u".MP3", u".WMA"}); }
bool isImageName(LPCWSTR name) { return hasExtension(name, {u".NB0"}); }
bool isPhotoName(LPCWSTR name) { return hasExtension(name, {u".JPG", u".BMP", u".GIF", u".PNG"}); }
bool isTextName(LPCWSTR name) { return hasExtension(name, {u".TXT", u".REG", u".INI"}); }
bool isMapExeName(LPCWSTR name) { return hasExtension(name, {u".REG", u".EXE"}); }

bool nameMatchesFilter(int filter, LPCWSTR name) {
  switch (filter) {
    case 1:
      return isVideoName(name);
    case 2:
      return isAudioName(name);
    case 3:
      return isPhotoName(name);
    case 4:
      return isMapExeName(name);
    case 5:
      return isImageName(name);
    case 6:
      return isTextName(name);
    case 7:
      return name != nullptr;
    default:
      return false;
  }
}

bool isDirectory(LPCWSTR path) {
  if (!path) return false;
  DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool startsWithUpper(LPCWSTR path, std::initializer_list<const char16_t*> prefixes) {
  if (!path) return false;
  for (const char16_t* prefix : prefixes) {
    size_t i = 0;
    while (prefix[i] != 0 && path[i] != 0 && towupperW(path[i]) == prefix[i]) ++i;
    if (prefix[i] == 0) return true;
  }
  return false;
}

bool enumerate(const std::u16string& pattern, const std::function<bool(const WIN32_FIND_DATAW&)>& visit) {
  WIN32_FIND_DATAW data{};
  HANDLE find = FindFirstFileW(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  do {
    // The record's name is a fixed buffer; never read past it.
    data.cFileName[MAX_PATH - 1] = 0;
    if (!visit(data)) break;
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return true;
}

static bool isDotEntry(const WCHAR* name) {
  return (name[0] == u'.' && name[1] == 0) || (name[0] == u'.' && name[1] == u'.' && name[2] == 0);
}

bool treeHoldsFile(const std::u16string& folder, int filter) {
  bool found = false;
  enumerate(folder + u"\\*.*", [&](const WIN32_FIND_DATAW& data) {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) return true;
    if (isDotEntry(data.cFileName)) return true;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      std::u16string sub = folder + u"\\" + data.cFileName;
      if (sub.size() <= static_cast<size_t>(kMaxText) && treeHoldsFile(sub, filter)) found = true;
    } else if (nameMatchesFilter(filter, data.cFileName)) {
      found = true;
    }
    return !found;
  });
  return found;
}

int ListCursor::pageUp(int count) {
  if (count <= 0) return 0;
  pageStart = pageStart > pageSize ? pageStart - pageSize : 0;
  return 1;
}

int ListCursor::pageDown(int count) {
  if (count <= 0) return 0;
  if (pageStart + pageSize < count) pageStart += pageSize;
  return 1;
}

void ListCursor::click(int row, int count) {
  int index = pageStart + row;
  if (index >= 0 && index < count) absIndex = index;
}

int ListCursor::step(int count, int delta, const std::function<bool(int)>& isFolder) {
  if (count <= 0) return 0;
  if (absIndex == -1) {
    absIndex = pageStart = 0;
    return 1;
  }
  int wraps = 0;
  do {
    absIndex += delta;
    if (absIndex < 0 || absIndex >= count) {
      absIndex = delta < 0 ? count - 1 : 0;
      ++wraps;
    }
  } while (isFolder(absIndex) && wraps < 2);
  pageStart = pageOf(absIndex);
  return wraps >= 2 ? 0 : 1;
}

}  // namespace media
