// The internal show-all of buttons, progress bars and eight-segment displays: the painter
// hides the control windows while a page is composed with their static look, and shows
// again those whose hidden flag is clear. The flags themselves belong to the operations.
#include "controls/button_control.h"
#include "controls/progress_control.h"
#include "controls/segment_control.h"
#include "skinlet.h"

namespace {

constexpr int32_t kHidden = 0x100;

template <typename Record, typename Hidden>
void showControls(std::vector<Record>& records, int show, Hidden hidden) {
  // A page may hold thousands of controls: their windows are laid out once, not once each.
  plat::window::LayoutBatch batch;
  for (Record& record : records) {
    if (!record.Control || !record.Control->hWnd || hidden(record)) continue;
    ShowWindow(record.Control->hWnd, show ? SW_SHOW : SW_HIDE);
  }
}

}  // namespace

void CSkinlet::btnShowAll(tagMenu* page, int show) {
  if (!page) return;
  showControls(page->Buttons, show, [](const tagButton& b) { return (b.ActionType & kHidden) != 0; });
}

void CSkinlet::prgShowAll(tagMenu* page, int show) {
  if (!page) return;
  showControls(page->Progresses, show, [](const tagProgress& p) { return (p.ActionType & kHidden) != 0; });
}

void CSkinlet::segShowAll(tagMenu* page, int show) {
  if (!page) return;
  showControls(page->EightSegs, show, [](const tagEightSeg& s) { return (s.Flags & kHidden) != 0; });
}

void CSkinlet::btnShowAll(int show) { btnShowAll(CurrentPage(), show); }
void CSkinlet::prgShowAll(int show) { prgShowAll(CurrentPage(), show); }
void CSkinlet::segShowAll(int show) { segShowAll(CurrentPage(), show); }
