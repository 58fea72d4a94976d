// Hot keys and hot-key modes. A hot key reports the first button whose IrHotKey is that key;
// a mode is a button (its action id): key 72 enters the first button with an InitMode above
// 0 and then follows the NextMode links until a button without one ends the chain.
#include "operations_lookup.h"

int CSkinlet::GetHotKeyId(int key) {
  tagMenu* page = CurrentPage();
  if (!page) return -1;
  for (const tagButton& b : page->Buttons) {
    if (b.IrHotKey == key) return b.ActionID;
  }
  return -1;
}

int CSkinlet::GetNextHotKeyModeId() {
  tagMenu* page = CurrentPage();
  if (!page) return HotKeyMode = -1;
  if (HotKeyMode == -1) {
    for (const tagButton& b : page->Buttons) {
      if (b.InitMode > 0) return HotKeyMode = b.ActionID;
    }
    return HotKeyMode;
  }
  for (const tagButton& b : page->Buttons) {
    if (b.ActionID != HotKeyMode) continue;
    HotKeyMode = b.NextMode;
    if (HotKeyMode > 0) return HotKeyMode;
  }
  return HotKeyMode = -1;
}

int CSkinlet::GetCurHotKeyModeId() { return HotKeyMode; }

void CSkinlet::SetCurHotKeyModeId(int id) {
  tagMenu* page = CurrentPage();
  if (!page) return;
  for (const tagButton& b : page->Buttons) {
    if (b.NextMode == id) {
      HotKeyMode = id;
      return;
    }
  }
}
