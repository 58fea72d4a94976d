// CScreenView: the view engine of a screen, with what a live reload of its script needs on top:
// taking over the pages another view has loaded, while the page on show and the widget holding
// the remote focus stay where the user left them.
#pragma once

#include "skinlet.h"

class CScreenView : public CSkinlet {
 public:
  // Replaces this view's pages by those `fresh` loaded (with the tables it loaded them
  // against); `fresh` is left without pages. This view's controls and players go with its old
  // pages, the new pages get theirs. The page on show keeps its index when the new script has
  // it (else the first page); the focus keeps its action id when a widget that may hold the
  // focus has it on that page (else the first such widget); the window is invalidated.
  void TakePages(CScreenView& fresh);

  // Whether a widget of a family that may hold the remote focus has `actionId` on the page on
  // show (buttons and progress bars by action id, table items by their list position).
  bool CanFocus(int actionId);
  // The action id a page starts its focus on: the first button that is not hidden, else the
  // first progress bar that is not, else 0 (the table item the engine's own moves fall back to).
  int FirstFocus();
};
