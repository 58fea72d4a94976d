// The engine's timers on the screen window: 888 picture loader, 889 picture refresh, 890 text
// scrolling (started by the painter while a text scrolls), 891 remote-mode time-out.
#include "operations_lookup.h"

namespace {

constexpr UINT kPictureLoaderTimer = 888;
constexpr UINT kPictureRefreshTimer = 889;
constexpr UINT kTextScrollTimer = 890;
constexpr UINT kRemoteTimeoutTimer = 891;

// A negative period from a caller would become a period of weeks; it is taken as "at once".
UINT periodOf(int period) { return period < 0 ? 0u : static_cast<UINT>(period); }

}  // namespace

void CSkinlet::SL_tblStartLoadPictureTimer(int period) {
  if (TblPicTimerOn) return;
  TblPicTimerOn = 1;
  SetTimer(hViewWnd, kPictureLoaderTimer, periodOf(period), nullptr);
}

void CSkinlet::SL_tblStopLoadPictureTimer() {
  KillTimer(hViewWnd, kPictureLoaderTimer);
  TblPicTimerOn = 0;
}

void CSkinlet::SL_picStartLoadItemTimer(int period) {
  if (PicTimerOn) return;
  PicTimerOn = 1;
  SetTimer(hViewWnd, kPictureRefreshTimer, periodOf(period), nullptr);
}

void CSkinlet::SL_picStopLoadItemTimer() {
  KillTimer(hViewWnd, kPictureRefreshTimer);
  PicTimerOn = 0;
}

void CSkinlet::SL_txtStartScrollTimer(int period) {
  if (TxtScrollTimerOn) return;
  TxtScrollTimerOn = 1;
  SetTimer(hViewWnd, kTextScrollTimer, periodOf(period), nullptr);
}

void CSkinlet::SL_txtStopScrollTimer() {
  KillTimer(hViewWnd, kTextScrollTimer);
  TxtScrollTimerOn = 0;
}

void CSkinlet::SL_tblStopLoadPictureList(int stop) { PicLoadStop = stop; }

void CSkinlet::SL_tblSetPictureMode() { TblPictureMode = 1; }

void CSkinlet::killEngineTimers() {
  if (!hViewWnd || !IsWindow(hViewWnd)) return;
  for (UINT id : {kPictureLoaderTimer, kPictureRefreshTimer, kTextScrollTimer, kRemoteTimeoutTimer}) {
    KillTimer(hViewWnd, id);
  }
  TblPicTimerOn = PicTimerOn = TxtScrollTimerOn = 0;
}

void CSkinlet::SL_OnTimer(UINT id, LPARAM) {
  tagMenu* page = CurrentPage();
  switch (id) {
    case kPictureLoaderTimer: {
      const size_t items = page ? page->Tables.size() : 0;
      if (PicLoadIndex < 0 || static_cast<size_t>(PicLoadIndex) >= items || PicLoadStop) {
        KillTimer(hViewWnd, kPictureLoaderTimer);
        // The timer no longer runs: a later start must be able to start it again.
        TblPicTimerOn = 0;
        PicLoadIndex = 0;
        PicLoadStop = 0;
        break;
      }
      const tagTable& item = page->Tables[static_cast<size_t>(PicLoadIndex++)];
      if (!(item.ActionType & 0x1)) break;
      const WCHAR* path = nullptr;
      if (item.ActionType & 0x2) path = item.DirPath;
      else if (item.ActionType & 0x4) path = item.FilePath;
      else if (item.ActionType & 0x8) path = (item.IsSelected & 0x1) ? item.DirPath : item.FilePath;
      else if (item.ActionType & 0x10) path = item.FilePath;
      if (path) drawThumbnail(item, path);
      break;
    }
    case kPictureRefreshTimer:
      if (!page) break;
      for (const tagPicture& p : page->Pictures) {
        RECT rc = AreaToRect(p.PicArea);
        InvalidateRect(hViewWnd, &rc, FALSE);
      }
      break;
    case kTextScrollTimer:
      if (!page) break;
      for (const tagTexture& t : page->Texts) {
        if (!(t.TxtType & 0x2)) continue;
        RECT rc = AreaToRect(t.TxtArea);
        InvalidateRect(hViewWnd, &rc, FALSE);
      }
      break;
    case kRemoteTimeoutTimer:
      KillTimer(hViewWnd, kRemoteTimeoutTimer);
      IrMode = 0;
      SL_IrChangeDirect(IR_NONE);
      break;
    default:
      break;
  }
}
