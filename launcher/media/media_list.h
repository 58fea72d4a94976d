// What the file list and the play list managers share: entries that own their texts, the
// paging cursor, the file-class tests and the bounded path helpers.
#pragma once

#include <windows.h>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace media {

// Longest name or path a record holds, without the terminator.
constexpr int kMaxText = MAX_PATH - 1;

// A copy of text cut to kMaxText characters; null stays null.
std::unique_ptr<WCHAR[]> copyText(LPCWSTR text);
std::unique_ptr<WCHAR[]> copyText(const std::u16string& text);
// Copies src into a MAX_PATH buffer, cut to kMaxText characters; null gives "".
void copyPath(WCHAR* dst, LPCWSTR src);
// Length of a nul-terminated text read at most to kMaxText + 1 characters.
int boundedLength(LPCWSTR text);

// True when the upper-cased last four characters of name equal one of the extensions.
bool hasExtension(LPCWSTR name, std::initializer_list<const char16_t*> extensions);
bool isVideoName(LPCWSTR name);
bool isAudioName(LPCWSTR name);
bool isImageName(LPCWSTR name);
bool isPhotoName(LPCWSTR name);
bool isTextName(LPCWSTR name);
bool isMapExeName(LPCWSTR name);
// The test of a filter value (1 video ... 6 text, 7 any file); other values accept nothing.
bool nameMatchesFilter(int filter, LPCWSTR name);

bool isDirectory(LPCWSTR path);
// True when the upper-cased path starts with one of the prefixes.
bool startsWithUpper(LPCWSTR path, std::initializer_list<const char16_t*> prefixes);

// Enumerates pattern with FindFirstFileW/FindNextFileW; the visitor returns false to stop.
// Returns false when the enumeration could not start.
bool enumerate(const std::u16string& pattern, const std::function<bool(const WIN32_FIND_DATAW&)>& visit);
// True when the enumeration found a file of the filter anywhere below folder (no trailing
// backslash). Sub-folders whose path would not fit MAX_PATH are not entered: a cut path
// names another folder.
bool treeHoldsFile(const std::u16string& folder, int filter);

// Entries of one record type (kind, dir, name, playTime first) that own their texts.
template <class Rec>
class EntryList {
 public:
  int size() const { return static_cast<int>(items_.size()); }
  bool empty() const { return items_.empty(); }
  Rec* at(int i) { return &items_[static_cast<size_t>(i)].rec; }
  const Rec* at(int i) const { return &items_[static_cast<size_t>(i)].rec; }

  // Appends a record whose texts are copied (and cut); other fields are taken as given.
  Rec* append(const Rec& rec) {
    Item item;
    item.rec = rec;
    item.dir = copyText(rec.dir);
    item.name = copyText(rec.name);
    item.rec.dir = item.dir.get();
    item.rec.name = item.name.get();
    items_.push_back(std::move(item));
    return &items_.back().rec;
  }
  void erase(int i) { items_.erase(items_.begin() + i); }
  void clear() { items_.clear(); }
  void reserve(int n) { items_.reserve(static_cast<size_t>(n)); }

  // Ascending by name with the device's locale-aware comparison, over [from, size()).
  void sortByName(int from = 0) {
    if (from < 0 || from >= size()) return;
    std::stable_sort(items_.begin() + from, items_.end(), [](const Item& a, const Item& b) {
      return lstrcmpW(textOrEmpty(a.rec.name), textOrEmpty(b.rec.name)) < 0;
    });
  }

  int find(const Rec& rec) const {
    for (int i = 0; i < size(); ++i)
      if (sameEntry(items_[static_cast<size_t>(i)].rec, rec)) return i;
    return -1;
  }

  static LPCWSTR textOrEmpty(LPCWSTR s) { return s ? s : u""; }
  // Equal kind and playTime, equal dir and name texts (null equals only null).
  static bool sameEntry(const Rec& a, const Rec& b) {
    return a.kind == b.kind && a.playTime == b.playTime && sameText(a.dir, b.dir) && sameText(a.name, b.name);
  }

 private:
  static bool sameText(LPCWSTR a, LPCWSTR b) {
    if (!a || !b) return a == b;
    // Stored texts are cut; compare the caller's text the same way.
    return std::u16string_view(a, static_cast<size_t>(std::min(boundedLength(a), kMaxText))) ==
           std::u16string_view(b, static_cast<size_t>(std::min(boundedLength(b), kMaxText)));
  }

  struct Item {
    Rec rec{};
    std::unique_ptr<WCHAR[]> dir;
    std::unique_ptr<WCHAR[]> name;
  };
  std::vector<Item> items_;
};

// The selected entry and the visible page of a list.
struct ListCursor {
  int absIndex = -1;
  int pageStart = -1;
  int pageSize = 9;

  void reset() { absIndex = pageStart = -1; }
  int validAbsIndex(int count) const { return absIndex >= 0 && absIndex < count ? absIndex : -1; }
  int pageOf(int index) const { return (index / pageSize) * pageSize; }
  int pageUp(int count);
  int pageDown(int count);
  void click(int row, int count);
  // One cursor step (delta -1 up, +1 down) that skips parent and folder entries and gives up
  // after wrapping twice; isFolder tells whether the entry at an index is one of those.
  int step(int count, int delta, const std::function<bool(int)>& isFolder);
};

}  // namespace media
