// Animated picture operations (through each gif's player) and page switching.
#include "controls/button_control.h"
#include "controls/progress_control.h"
#include "gif/animation_player.h"
#include "operations_lookup.h"

void CSkinlet::SL_gifLoad(int id) {
  tagGif* g = recordOf(&tagMenu::Gifs, id);
  if (!g || !g->Player) return;
  g->Player->Stop();
  int width = 0;
  int height = 0;
  if (!g->Player->Load(g->Path, &width, &height)) return;
  g->Player->SetPosition(g->GifArea.LocX, g->GifArea.LocY);
  g->Player->SetSize(width, height);
  g->GifArea.Width = width;
  g->GifArea.Hight = height;
}

void CSkinlet::SL_gifPlay(int id) {
  tagGif* g = recordOf(&tagMenu::Gifs, id);
  if (g && g->Player) g->Player->Play();
}

void CSkinlet::SL_gifPause(int id, bool pause) {
  tagGif* g = recordOf(&tagMenu::Gifs, id);
  if (g && g->Player) g->Player->Pause(pause ? 1 : 0);
}

void CSkinlet::SL_gifStop(int id) {
  tagGif* g = recordOf(&tagMenu::Gifs, id);
  if (!g || !g->Player) return;
  g->Player->Stop();
  // The last animation frame stays on the window until the page's frame covers it.
  RECT rc = AreaToRect(g->GifArea);
  InvalidateRect(hViewWnd, &rc, FALSE);
}

void CSkinlet::SL_gifClose(int id) {
  tagGif* g = recordOf(&tagMenu::Gifs, id);
  if (!g || !g->Player) return;
  AnimationPlayer* player = g->Player;
  g->Player = nullptr;
  delete player;  // stops the thread first
}

int CSkinlet::SL_menuGetCurrentItem() { return CurMenu; }

tagMenu* CSkinlet::SL_menuGetStruct() {
  tagMenu* page = CurrentPage();
  if (!page) OutputDebugStringW(u"*E:CSkinlet::GetMenuStruct : Unknown index\n");
  return page;
}

void CSkinlet::markFocus(int value) {
  if (IrOnBtn) SL_btnOnSelect(IrActionId, value);
  if (IrOnPrg) SL_prgOnSelect(IrActionId, value);
  if (IrOnTbl) {
    SL_tblOnSelect(IrActionId, value);
    SL_tblRefreshItem(IrActionId);
  }
}

void CSkinlet::SL_menuSetCurrentItem(int index) {
  FullRepaint = 1;
  markFocus(0);
  const int pages = static_cast<int>(Menus.size());
  if (pages > 0) {
    const int p = index % pages;
    if (p >= 0) {
      btnShowAll(0);
      prgShowAll(0);
      segShowAll(0);
      CurMenu = p;
      InvalidateRect(hViewWnd, nullptr, FALSE);
    }
  }
  // The widget with the same id on the new page takes the focus mark.
  markFocus(IrMode);
}
