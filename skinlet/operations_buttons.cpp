// Button operations: show and hide, disable, states and state images, texts and the
// remote-focus mark. Each changes the record or the control and lets the control window
// repaint itself.
#include "controls/button_control.h"
#include "operations_lookup.h"
#include "skin_paths.h"

namespace {

constexpr int32_t kHidden = 0x100;
constexpr int32_t kTextShown = 0x1;

void redraw(ButtonControl* control) {
  if (control && control->hWnd) InvalidateRect(control->hWnd, nullptr, FALSE);
}

void showWindow(ButtonControl* control, int show) {
  if (control && control->hWnd) ShowWindow(control->hWnd, show ? SW_SHOW : SW_HIDE);
}

HBITMAP imageAt(const std::vector<tagImgItem>& images, int index) {
  return static_cast<size_t>(index) < images.size() ? images[static_cast<size_t>(index)].hImg : nullptr;
}

}  // namespace

void CSkinlet::SL_btnShowItem(int id, int show) {
  tagButton* b = recordOf(&tagMenu::Buttons, id);
  if (!b) return;
  showWindow(b->Control, show);
  if (show) {
    b->ActionType &= ~kHidden;
    b->TxtType |= kTextShown;
  } else {
    b->ActionType |= kHidden;
    b->TxtType &= ~kTextShown;
  }
}

void CSkinlet::SL_btnShowAll(int show) {
  tagMenu* page = CurrentPage();
  if (!page) return;
  for (tagButton& b : page->Buttons) {
    if (!b.Control) continue;
    showWindow(b.Control, show);
    if (show) b.ActionType &= ~kHidden;
    else b.ActionType |= kHidden;
  }
}

void CSkinlet::SL_btnDisableItem(int id, int disable) {
  tagButton* b = recordOf(&tagMenu::Buttons, id);
  if (!b || !b->Control) return;
  b->Control->Disabled = disable;
  b->Control->State = disable ? 2 : 0;
  redraw(b->Control);
}

void CSkinlet::SL_btnSetTexture(int id, const WCHAR* text) {
  tagButton* b = recordOf(&tagMenu::Buttons, id);
  if (!b || !b->Control || !text) return;
  skinlet::copyCut(b->Text, SL_TEXT_LEN, text);
  redraw(b->Control);
}

void CSkinlet::SL_btnSetUpState(int id) {
  tagButton* b = recordOf(&tagMenu::Buttons, id);
  if (!b || !b->Control) return;
  b->Control->State = b->Control->Disabled ? 2 : 0;
  redraw(b->Control);
}

void CSkinlet::SL_btnSetDnState(int id) {
  tagButton* b = recordOf(&tagMenu::Buttons, id);
  if (!b || !b->Control) return;
  b->Control->State = b->Control->Disabled ? 2 : 1;
  redraw(b->Control);
}

int CSkinlet::SL_btnSetStateIndex(int id, int index) {
  tagButton* b = recordOf(&tagMenu::Buttons, id);
  if (!b) return -1;
  if (index < 0) {
    OutputDebugStringW(u"*E:CSkinlet::SetBtnState : Unknown image.\n");
    return -1;
  }
  const size_t at = static_cast<size_t>(index);
  if (at < b->TextIds.size()) {
    const WCHAR* text = SL_resGetItem(static_cast<unsigned short>(b->TextIds[at] & 0xFFFF));
    skinlet::copyCut(b->Text, SL_TEXT_LEN, skinlet::callerText(text));
  }
  b->StateIndex = index;
  if (ButtonControl* c = b->Control) {
    c->UpImg = imageAt(b->ImgUp, index);
    c->DnImg = imageAt(b->ImgDn, index);
    c->GrayImg = imageAt(b->ImgGray, index);
    c->IrImg = imageAt(b->ImgIr, index);
    c->Ready = 1;
    redraw(c);
  }
  return at < b->ImgUp.size() ? index + 1 : 0;
}

void CSkinlet::SL_btnStateExchange(int id) {
  tagButton* b = recordOf(&tagMenu::Buttons, id);
  if (!b || !b->Control) return;
  b->Control->UpImg = b->Control->SavedDnImg;
  b->Control->DnImg = b->Control->SavedDnImg;
  redraw(b->Control);
}

void CSkinlet::SL_btnStateRestore(int id) {
  tagButton* b = recordOf(&tagMenu::Buttons, id);
  if (!b || !b->Control) return;
  b->Control->UpImg = b->Control->SavedUpImg;
  b->Control->DnImg = b->Control->SavedDnImg;
  redraw(b->Control);
}

void CSkinlet::SL_btnOnSelect(int id, int on) {
  tagButton* b = recordOf(&tagMenu::Buttons, id);
  if (!b || !b->Control) return;
  b->Control->IrFocus = on;
  redraw(b->Control);
}

tagButton* CSkinlet::SL_btnGetStruct(int id) { return recordOf(&tagMenu::Buttons, id); }
