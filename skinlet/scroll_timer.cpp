// The text scroll timer: while a text of the page scrolls, timer 890 of the screen window
// asks for the repaints that move it on.
#include "skinlet.h"

void CSkinlet::SL_txtStartScrollTimer(int period) {
  if (TxtScrollTimerOn) return;
  TxtScrollTimerOn = 1;
  SetTimer(hViewWnd, 890, static_cast<UINT>(period), nullptr);
}
