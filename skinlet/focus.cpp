// Remote-key focus: one widget of the page (a button, a progress bar or a table item) holds
// the focus, named by its action id; the arrow keys follow the links of its direction table.
// Table items are named by their list position, which is why a table only works with the
// keys when every item's action id equals its position.
#include "operations_lookup.h"

namespace {

// The direction table entry of a key, or -1 for "no move".
int linkEntry(EN_IRDIRECT dir) {
  switch (dir) {
    case IR_DIR_LEFT: return IR_LEFT;
    case IR_DIR_RIGHT: return IR_RIGHT;
    case IR_DIR_UP: return IR_TOP;
    case IR_DIR_DOWN: return IR_BOTTOM;
    default: return -1;
  }
}

}  // namespace

int CSkinlet::SL_IrSetMode(int mode) {
  int previous = IrMode;
  IrMode = mode;
  return previous;
}

int CSkinlet::SL_IrGetActionID() { return IrActionId; }
void CSkinlet::SL_IrSetActionId(int id) { IrActionId = id; }
void CSkinlet::SL_btnIrOnItem(int on) { IrOnBtn = on; }
void CSkinlet::SL_prgIrOnItem(int on) { IrOnPrg = on; }
void CSkinlet::SL_tblIrOnItem(int on) { IrOnTbl = on; }

int CSkinlet::SL_IrGetTblActionIndex() {
  if (!IrMode) return -1;
  return GetTblListIndex(IrActionId);
}

int CSkinlet::SL_IrChangeDirect(EN_IRDIRECT dir) {
  markFocus(0);
  int result = SL_IrChangeBtnDirect(dir);
  if (result == -1) result = SL_IrChangePrgDirect(dir);
  if (result == -1) result = SL_IrChangeTblDirect(dir);
  markFocus(IrMode);
  return result;
}

int CSkinlet::SL_IrChangeBtnDirect(EN_IRDIRECT dir) {
  if (!IrOnBtn) return -1;
  const tagButton* b = recordOf(&tagMenu::Buttons, IrActionId);
  if (!b) return -1;
  const int entry = linkEntry(dir);
  if (entry >= 0 && b->IrDirect[entry] != -1) IrActionId = b->IrDirect[entry];
  return IrActionId;
}

int CSkinlet::SL_IrChangePrgDirect(EN_IRDIRECT dir) {
  if (!IrOnPrg) return -1;
  const tagProgress* p = recordOf(&tagMenu::Progresses, IrActionId);
  if (!p) return -1;
  const int entry = linkEntry(dir);
  if (entry < 0) return IrActionId;
  const int link = p->IrDirect[entry];
  if (link != -1) {
    IrActionId = link;
  } else {
    // No neighbour that way: the bar's edge command lets the keys change its value.
    const bool backwards = dir == IR_DIR_LEFT || dir == IR_DIR_UP;
    const int command = p->IrDirect[backwards ? IR_UPLT : IR_DNRT];
    PostMessageW(hViewWnd, WM_COMMAND, static_cast<WPARAM>(command), 0);
  }
  return IrActionId;
}

int CSkinlet::SL_IrChangeTblDirect(EN_IRDIRECT dir) {
  if (!IrOnTbl) return -1;
  tagMenu* page = CurrentPage();
  const tagTable* t = recordOf(&tagMenu::Tables, IrActionId);
  if (!page || !t) return -1;
  const int ok = t->IrDirect[IR_OK];
  const int firstItem = GetTblListIndex(0);
  const int entry = linkEntry(dir);
  int k = firstItem;
  if (entry >= 0) {
    k = t->IrDirect[entry];
    if (k == -1) {
      // Past the first or last row: the table's page commands.
      if (dir == IR_DIR_UP) PostMessageW(hViewWnd, WM_COMMAND, static_cast<WPARAM>(t->IrDirect[IR_UPLT]), 0);
      if (dir == IR_DIR_DOWN) PostMessageW(hViewWnd, WM_COMMAND, static_cast<WPARAM>(t->IrDirect[IR_DNRT]), 0);
      k = firstItem;
    }
  }
  if (k == -1) return ok;
  const std::vector<tagTable>& items = page->Tables;
  if (k < 0 || static_cast<size_t>(k) >= items.size() || !(items[static_cast<size_t>(k)].ActionType & 0x1)) {
    k = firstItem;
  }
  if (k != -1) IrActionId = k;
  return ok;
}
