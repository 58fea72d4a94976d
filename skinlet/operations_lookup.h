// The one index lookup behind every widget operation: a linear search of the current page's
// list of a kind for the first record with the action id. Several widgets of one kind may
// share an id; only the first is reached, which scripts rely on.
#pragma once

#include <string_view>

#include "skinlet.h"

namespace skinlet {

template <class Record>
int indexOf(const tagMenu* page, std::vector<Record> tagMenu::*list, int actionId) {
  if (!page) return -1;
  const std::vector<Record>& records = page->*list;
  for (size_t i = 0; i < records.size(); ++i) {
    if (records[i].ActionID == actionId) return static_cast<int>(i);
  }
  return -1;
}

// Text of a caller's null-terminated string; a null pointer reads as no text at all.
inline std::u16string_view callerText(const WCHAR* text) {
  return text ? std::u16string_view(text) : std::u16string_view();
}

}  // namespace skinlet

template <class Record>
Record* CSkinlet::recordOf(std::vector<Record> tagMenu::*list, int actionId) {
  tagMenu* page = CurrentPage();
  int index = skinlet::indexOf(page, list, actionId);
  return index < 0 ? nullptr : &(page->*list)[static_cast<size_t>(index)];
}
