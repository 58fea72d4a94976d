// Automatic remote-key links of the buttons: reading order for left and right, the nearest
// row above or below (same column when there is one) for up and down.
#include <cstdint>
#include <utility>

#include "ir_links.h"
#include "skinlet.h"

namespace {

// Buttons closer than this in y stand in one row; closer in x, in one column.
constexpr int kSameLine = 11;

// Differences are taken in 64 bits: script coordinates are arbitrary 32-bit numbers and
// their difference must not overflow.
int64_t xOf(const tagButton& b) { return b.BtnArea.LocX; }
int64_t yOf(const tagButton& b) { return b.BtnArea.LocY; }
int64_t distance(int64_t a, int64_t b) { return a > b ? a - b : b - a; }

void sortByPosition(std::vector<tagButton>& buttons) {
  // Pairwise exchange over i < j: the order it leaves for equal positions is part of what
  // scripts see, so it is kept as it is rather than replaced by a library sort.
  size_t n = buttons.size();
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = i + 1; j < n; ++j) {
      int64_t yi = yOf(buttons[i]);
      int64_t yj = yOf(buttons[j]);
      bool higher = yi - yj >= kSameLine;
      bool sameRowLeft = distance(yi, yj) < kSameLine && xOf(buttons[i]) > xOf(buttons[j]);
      if (higher || sameRowLeft) std::swap(buttons[i], buttons[j]);
    }
  }
}

// Scans from `a` in steps of `step` for the vertical neighbour; `beyond(yA, yB)` tells
// whether B lies in another row in the scan's direction.
template <class Beyond>
int verticalLink(const std::vector<tagButton>& buttons, size_t a, int step, Beyond beyond) {
  const tagButton& A = buttons[a];
  int link = -1;
  int64_t rowY = 0;
  for (long b = static_cast<long>(a) + step; b >= 0 && b < static_cast<long>(buttons.size()); b += step) {
    const tagButton& B = buttons[static_cast<size_t>(b)];
    if (link == -1) {
      if (beyond(yOf(A), yOf(B))) {
        link = B.ActionID;
        rowY = yOf(B);
      }
    } else if (distance(xOf(A), xOf(B)) < kSameLine && distance(rowY, yOf(B)) < kSameLine) {
      link = B.ActionID;
      break;
    }
  }
  return link;
}

}  // namespace

namespace skinlet {

void computeButtonLinks(std::vector<tagButton>& buttons) {
  if (buttons.empty()) return;
  sortByPosition(buttons);
  size_t n = buttons.size();
  for (size_t i = 0; i < n; ++i) {
    tagButton& b = buttons[i];
    b.IrDirect[IR_RIGHT] = buttons[(i + 1) % n].ActionID;
    b.IrDirect[IR_LEFT] = buttons[(i + n - 1) % n].ActionID;
    b.IrDirect[IR_TOP] = -1;
    b.IrDirect[IR_BOTTOM] = -1;
  }
  for (size_t i = 0; i < n; ++i) {
    buttons[i].IrDirect[IR_TOP] =
        verticalLink(buttons, i, -1, [](int64_t yA, int64_t yB) { return yA - yB > kSameLine - 1; });
    buttons[i].IrDirect[IR_BOTTOM] =
        verticalLink(buttons, i, +1, [](int64_t yA, int64_t yB) { return yB - yA > kSameLine - 1; });
  }
}

}  // namespace skinlet

void CSkinlet::SL_InitIrItemDirect() {
  for (tagMenu& page : Menus) skinlet::computeButtonLinks(page.Buttons);
}
