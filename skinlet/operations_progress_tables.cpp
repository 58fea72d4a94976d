// Progress bar and table item operations.
#include "controls/progress_control.h"
#include "operations_lookup.h"
#include "skin_paths.h"

namespace {

constexpr int32_t kHidden = 0x100;
constexpr int32_t kItemShown = 0x1;
constexpr int32_t kFocusFrame = 0x2;
// Table items repaint their selection background, which overhangs the item by this much.
constexpr int kSelectionOverhang = 5;

void redraw(ProgressControl* control) {
  if (control && control->hWnd) InvalidateRect(control->hWnd, nullptr, FALSE);
}

void showWindow(ProgressControl* control, int show) {
  if (control && control->hWnd) ShowWindow(control->hWnd, show ? SW_SHOW : SW_HIDE);
}

}  // namespace

void CSkinlet::SL_prgSetValue(int id, int value, int shown) {
  tagProgress* p = recordOf(&tagMenu::Progresses, id);
  if (!p || !p->Control) return;
  p->Control->SetValue(value);
  wsprintfW(p->Control->ValueText, u"%d", shown);
  redraw(p->Control);
}

void CSkinlet::SL_prgShowItem(int id, int show) {
  tagProgress* p = recordOf(&tagMenu::Progresses, id);
  if (p) showWindow(p->Control, show);
}

void CSkinlet::SL_prgShowAll(int show) {
  tagMenu* page = CurrentPage();
  if (!page) return;
  for (tagProgress& p : page->Progresses) {
    showWindow(p.Control, show);
    if (show) p.ActionType &= ~kHidden;
    else p.ActionType |= kHidden;
  }
}

void CSkinlet::SL_prgDisableItem(int id, int disable) {
  tagProgress* p = recordOf(&tagMenu::Progresses, id);
  if (p && p->Control) p->Control->Disabled = disable;
}

void CSkinlet::SL_prgOnSelect(int id, int on) {
  tagProgress* p = recordOf(&tagMenu::Progresses, id);
  if (!p || !p->Control || p->Control->Disabled) return;
  p->Control->IrFocus = on;
  redraw(p->Control);
}

tagProgress* CSkinlet::SL_prgGetStruct(int id) { return recordOf(&tagMenu::Progresses, id); }

void CSkinlet::SL_tblSetItemType(int id, ENPICTYPE type) {
  if (tagTable* t = recordOf(&tagMenu::Tables, id)) t->ActionType = static_cast<int32_t>(type) | kItemShown;
}

void CSkinlet::SL_tblSetSelectedItem(int id, int bits) {
  if (tagTable* t = recordOf(&tagMenu::Tables, id)) t->IsSelected |= bits;
}

void CSkinlet::SL_tblSetUnSelectedItem(int id, int bits) {
  if (tagTable* t = recordOf(&tagMenu::Tables, id)) t->IsSelected &= ~bits;
}

void CSkinlet::SL_tblOnSelect(int id, int on) {
  if (on) SL_tblSetSelectedItem(id, kFocusFrame);
  else SL_tblSetUnSelectedItem(id, kFocusFrame);
}

// Several items selected at once are not supported by the tables; kept for the screens that
// call it.
void CSkinlet::SL_tblMultiSelected(int) {}

void CSkinlet::SL_tblSetTexture(int id, const WCHAR* text) {
  tagTable* t = recordOf(&tagMenu::Tables, id);
  if (t && text) skinlet::copyCut(t->Text, SL_PATH_LEN, text);
}

WCHAR* CSkinlet::SL_tblGetTexture(int id) {
  tagTable* t = recordOf(&tagMenu::Tables, id);
  return t ? t->Text : nullptr;
}

void CSkinlet::SL_tblSetImgFile(int id, const WCHAR* path) {
  tagTable* t = recordOf(&tagMenu::Tables, id);
  if (t && path) skinlet::copyCut(t->FilePath, SL_PATH_LEN, path);
}

void CSkinlet::SL_tblRefreshItem(int id) {
  tagTable* t = recordOf(&tagMenu::Tables, id);
  if (!t) return;
  RECT item = ExtendRect(AreaToRect(t->ItemArea), kSelectionOverhang);
  InvalidateRect(hViewWnd, &item, FALSE);
  RECT text = AreaToRect(t->TxtArea);
  InvalidateRect(hViewWnd, &text, FALSE);
}

void CSkinlet::SL_tblHideAll() {
  if (tagMenu* page = CurrentPage()) {
    for (tagTable& t : page->Tables) {
      t.ActionType &= ~kItemShown;
      t.Text[0] = 0;
    }
  }
}

int CSkinlet::SL_tblGetListSize() {
  tagMenu* page = CurrentPage();
  return page ? static_cast<int>(page->Tables.size()) : 0;
}

tagTable* CSkinlet::SL_tblGetStruct(int id) { return recordOf(&tagMenu::Tables, id); }
