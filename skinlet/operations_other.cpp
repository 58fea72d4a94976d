// Operations on eight-segment displays, sectors, pictures, slides, signals and satellites.
#include "controls/segment_control.h"
#include "controls/slide_control.h"
#include "operations_lookup.h"
#include "skin_paths.h"

namespace {

constexpr uint32_t kSegHidden = 0x100;
constexpr int32_t kSegHighlighted = 0x1;
constexpr int32_t kPicShown = 0x1;
constexpr int32_t kPicFixed = 0x100;
// A signal with this type is not drawn.
constexpr int32_t kSignalOff = -1;

template <class Control>
void showWindow(Control* control, int show) {
  if (control && control->hWnd) ShowWindow(control->hWnd, show ? SW_SHOW : SW_HIDE);
}

void showSegment(tagEightSeg& s, int show) {
  showWindow(s.Control, show);
  if (show) s.Flags &= ~kSegHidden;
  else s.Flags |= kSegHidden;
}

}  // namespace

void CSkinlet::SL_segSetTexture(int id, const WCHAR* text) {
  tagEightSeg* s = recordOf(&tagMenu::EightSegs, id);
  if (!s || !text) return;
  skinlet::copyCut(s->Text, SL_TEXT_LEN, text);
  if (s->Control && s->Control->hWnd) InvalidateRect(s->Control->hWnd, nullptr, FALSE);
}

void CSkinlet::SL_segHilightItem(int id, int on) {
  tagEightSeg* s = recordOf(&tagMenu::EightSegs, id);
  if (!s) return;
  if (on) s->SegType |= kSegHighlighted;
  else s->SegType &= ~kSegHighlighted;
}

void CSkinlet::SL_segShowItem(int id, int show) {
  if (tagEightSeg* s = recordOf(&tagMenu::EightSegs, id)) showSegment(*s, show);
}

void CSkinlet::SL_segShowAll(int show) {
  if (tagMenu* page = CurrentPage()) {
    for (tagEightSeg& s : page->EightSegs) showSegment(s, show);
  }
}

void CSkinlet::SL_secSetSector(int id, int start, int end) {
  tagSector* s = recordOf(&tagMenu::Sectors, id);
  if (!s) return;
  s->SecStart = start;
  s->SecEnd = end;
}

void CSkinlet::SL_picDisplayItem(int id, int index) {
  tagPicture* p = recordOf(&tagMenu::Pictures, id);
  if (!p) return;
  if (index >= 0 && static_cast<size_t>(index) < p->Images.size()) {
    p->PicType |= kPicShown;
    p->ActionIndex = index;
  } else {
    p->PicType &= ~kPicShown;
  }
}

void CSkinlet::SL_picRefreshItem(int id) {
  tagPicture* p = recordOf(&tagMenu::Pictures, id);
  if (!p) return;
  RECT rc = AreaToRect(p->PicArea);
  InvalidateRect(hViewWnd, &rc, FALSE);
}

void CSkinlet::SL_picHideItem(int id) {
  tagPicture* p = recordOf(&tagMenu::Pictures, id);
  if (p && !(p->PicType & kPicFixed)) p->PicType &= ~kPicShown;
}

void CSkinlet::SL_picHideAll() {
  if (tagMenu* page = CurrentPage()) {
    for (tagPicture& p : page->Pictures) {
      if (!(p.PicType & kPicFixed)) p.PicType &= ~kPicShown;
    }
  }
}

void CSkinlet::SL_sldShowItem(int id, int show) {
  if (tagSlide* s = recordOf(&tagMenu::Slides, id)) showWindow(s->Control, show);
}

void CSkinlet::SL_sldShowAll(int show) {
  if (tagMenu* page = CurrentPage()) {
    for (tagSlide& s : page->Slides) showWindow(s.Control, show);
  }
}

tagSignal* CSkinlet::SL_sigGetStruct(int id) { return recordOf(&tagMenu::Signals, id); }

int CSkinlet::SL_sigGetListSize() {
  tagMenu* page = CurrentPage();
  return page ? static_cast<int>(page->Signals.size()) : 0;
}

void CSkinlet::SL_sigHideAll() {
  if (tagMenu* page = CurrentPage()) {
    for (tagSignal& s : page->Signals) {
      s.ActionType = kSignalOff;
      s.SigCN = 0;
      s.SigNum = 0;
    }
  }
}

tagSatellite* CSkinlet::SL_satGetStruct(int id) { return recordOf(&tagMenu::Satellites, id); }
