// The contact sheet: every page of every script of a skin in every language, scaled down,
// each cell labelled with its script, page and language.
#pragma once

#include <string>
#include <vector>

#include "preview.h"

namespace skinpreview {

struct SheetCell {
  std::string label;
  Picture picture;      // empty when the page could not be made
  std::string failure;  // why, shown in the cell instead
};

// Widest cell picture on the sheet; wider pages are scaled down to it, narrower ones keep
// their size relative to the widest.
constexpr int kCellWidth = 400;
// The sheet is refused beyond these, so that no skin makes the preview take unbounded memory.
constexpr int kMaxSheetCells = 512;
constexpr int kMaxSheetHeight = 32000;

// Area average of `in` at `width` x `height` (each at least 1).
Picture ScaleDown(const Picture& in, int width, int height);

// Lays the cells out `columns` to a row. False, with a message, past the limits above.
bool ComposeSheet(const std::vector<SheetCell>& cells, int columns, Picture& out, std::string& error);

}  // namespace skinpreview
