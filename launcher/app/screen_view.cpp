#include "app/screen_view.h"

#include <utility>

namespace {
constexpr uint32_t kHiddenFlag = 0x100;
}  // namespace

bool CScreenView::CanFocus(int actionId) {
  if (IrOnBtn && GetBtnListIndex(actionId) >= 0) return true;
  if (IrOnPrg && GetPrgListIndex(actionId) >= 0) return true;
  return IrOnTbl && GetTblListIndex(actionId) >= 0;
}

int CScreenView::FirstFocus() {
  tagMenu* page = CurrentPage();
  if (!page) return 0;
  if (IrOnBtn) {
    for (const tagButton& b : page->Buttons)
      if (!(static_cast<uint32_t>(b.ActionType) & kHiddenFlag)) return b.ActionID;
  }
  if (IrOnPrg) {
    for (const tagProgress& p : page->Progresses)
      if (!(static_cast<uint32_t>(p.ActionType) & kHiddenFlag)) return p.ActionID;
  }
  // Tables (and a page with nothing to focus): the item with action id 0, where the engine's
  // own moves fall back to.
  return 0;
}

void CScreenView::TakePages(CScreenView& fresh) {
  const int page = CurMenu;
  // The old controls and players point into the old pages: they go with them.
  SL_UnLoadSkin();
  Menus = std::move(fresh.Menus);
  fresh.Menus.clear();
  ImgRes = fresh.ImgRes;
  TxtRes = fresh.TxtRes;
  CurMenu = page >= 0 && static_cast<size_t>(page) < Menus.size() ? page : 0;
  if (!CanFocus(IrActionId)) IrActionId = FirstFocus();
  SL_LoadImages();
  // The new controls draw themselves; the frame draws their look until the next paint is done.
  FullRepaint = 1;
  markFocus(IrMode);
  if (hViewWnd) InvalidateRect(hViewWnd, nullptr, FALSE);
}
