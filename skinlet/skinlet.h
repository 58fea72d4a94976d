// CSkinlet: the view engine of one screen. It loads the screen's script into pages of
// widget records, shares the program's image and language tables, and (in the painting,
// input, focus and operation files) draws the current page and reports the user's actions.
#pragma once

#include <functional>
#include <vector>

#include "img_res.h"
#include "skin_types.h"
#include "txt_res.h"

// Table item types as the launcher sets them (shown is added by the operation).
enum ENPICTYPE {
  PIC_TYPE_NONE = 0,
  PIC_TYPE_DIR = 2,
  PIC_TYPE_FILE = 4,
  PIC_TYPE_DIR_OR_FILE = 8,
  PIC_TYPE_PICTURE = 16
};

enum EN_IRDIRECT { IR_NONE = 0, IR_DIR_LEFT = 1, IR_DIR_RIGHT = 2, IR_DIR_UP = 3, IR_DIR_DOWN = 4 };

class CSkinlet {
 public:
  CSkinlet();
  ~CSkinlet();
  CSkinlet(const CSkinlet&) = delete;
  CSkinlet& operator=(const CSkinlet&) = delete;

  // Loading.
  void SL_SetWndHandle(HWND hMainWnd, HWND hViewWnd, HINSTANCE hInstance);
  void SL_resSetHandle(void* imgRes, void* txtRes);
  int SL_IsScriptFileExist(const WCHAR* file, const WCHAR* folder);
  int SL_LoadSkin(const WCHAR* file, const WCHAR* folder);
  void SL_UnLoadSkin();

  // Language texts (forwarded to the shared language table).
  unsigned short SL_resSelectLanguage(int offset);
  int SL_resSetLanguage(int langId);
  WCHAR* SL_resGetItem(unsigned short id);
  void SL_resReload();

  // Automatic left/right/up/down links of every page's buttons, from their positions.
  void SL_InitIrItemDirect();

  // Painting, transitions and the window region (painter.cpp).
  HDC SL_PaintBegin();
  void SL_PaintEnd();
  void SL_PaintEffect(int unused);
  void SL_SetPaintAnimationType(int type);
  void SL_ChangePaintAnimationType(int type);
  void SL_NeedPaintAnimation();
  void SL_PaintAnimationStop();
  void SL_AnimationProc();
  void SL_MakeWindowRgn(HWND hwnd);
  // Starts timer 890 (text scrolling) with `period` ms unless it runs already.
  void SL_txtStartScrollTimer(int period);

  // Child controls and animation players of every page (control_creation.cpp).
  int SL_LoadImages();
  int SL_UnLoadImages();

  // Show or hide the control windows of a page whose hidden flags are clear, without
  // touching the flags (show_all.cpp).
  void btnShowAll(tagMenu* page, int show);
  void btnShowAll(int show);
  void prgShowAll(tagMenu* page, int show);
  void prgShowAll(int show);
  void segShowAll(tagMenu* page, int show);
  void segShowAll(int show);

  // The current page's view ports as rectangles; return 0.
  int SL_GetMainViewPort(RECT* rc);
  int SL_GetSlaveViewPort(RECT* rc);

  // ---- Input and timer dispatch (dispatch.cpp, engine_timers.cpp, picture_loader.cpp) ----
  // Every message of the screen window comes here first; always 1.
  LRESULT SL_MainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  void SL_OnTimer(UINT id, LPARAM param);
  void SL_tblStartLoadPictureTimer(int period);
  void SL_tblStopLoadPictureTimer();
  void SL_picStartLoadItemTimer(int period);
  void SL_picStopLoadItemTimer();
  void SL_txtStopScrollTimer();
  void SL_tblStopLoadPictureList(int stop);
  void SL_tblSetPictureMode();
  void SL_txtInitScrollPosition(int actionId, int pos);
  // Hit tests of two points packed like a mouse message's lParam (x low, y high word).
  int SL_txtGetClickOnItem(DWORD downPos, DWORD upPos);
  int SL_txtGetIdClickOnItem(DWORD downPos, DWORD upPos);
  int SL_segGetClickOnItem(DWORD downPos, DWORD upPos);
  int SL_tblClickOnItemUp(DWORD downPos, DWORD upPos);
  // Result of the last focus move made by a direction key, shared by every engine.
  static int LastIrResult;

  // ---- Remote-key focus (focus.cpp, hot_keys.cpp) ----
  int SL_IrSetMode(int mode);
  int SL_IrGetActionID();
  void SL_IrSetActionId(int id);
  void SL_btnIrOnItem(int on);
  void SL_prgIrOnItem(int on);
  void SL_tblIrOnItem(int on);
  int SL_IrGetTblActionIndex();
  int SL_IrChangeDirect(EN_IRDIRECT dir);
  int SL_IrChangeBtnDirect(EN_IRDIRECT dir);
  int SL_IrChangePrgDirect(EN_IRDIRECT dir);
  int SL_IrChangeTblDirect(EN_IRDIRECT dir);
  void SetCurHotKeyModeId(int id);

  // ---- Widget operations (operations_*.cpp) ----
  // Buttons.
  void SL_btnShowItem(int id, int show);
  void SL_btnShowAll(int show);
  void SL_btnDisableItem(int id, int disable);
  void SL_btnSetTexture(int id, const WCHAR* text);
  void SL_btnSetUpState(int id);
  void SL_btnSetDnState(int id);
  int SL_btnSetStateIndex(int id, int index);
  void SL_btnStateExchange(int id);
  void SL_btnStateRestore(int id);
  void SL_btnOnSelect(int id, int on);
  tagButton* SL_btnGetStruct(int id);
  // Texts.
  void SL_txtSetItem(int id, const WCHAR* text, int index);
  void SL_txtSetItem(int id, int number, int index);
  void SL_txtSetParamItem(int targetId, int templateId, int number, int index);
  void SL_txtSetParamItem(int targetId, int templateId, const WCHAR* string, int index);
  void SL_txtHilightItem(int id, int on);
  void SL_txtHideItem(int id);
  void SL_txtHideAll();
  void SL_txtDisplayAll();
  void SL_txtRefreshItem(int id);
  tagTexture* SL_txtGetStruct(int id);
  // Progress bars.
  void SL_prgSetValue(int id, int value, int shown);
  void SL_prgShowItem(int id, int show);
  void SL_prgShowAll(int show);
  void SL_prgDisableItem(int id, int disable);
  void SL_prgOnSelect(int id, int on);
  tagProgress* SL_prgGetStruct(int id);
  // Table items.
  void SL_tblSetItemType(int id, ENPICTYPE type);
  void SL_tblSetSelectedItem(int id, int bits);
  void SL_tblSetUnSelectedItem(int id, int bits);
  void SL_tblOnSelect(int id, int on);
  void SL_tblMultiSelected(int unused);
  void SL_tblSetTexture(int id, const WCHAR* text);
  WCHAR* SL_tblGetTexture(int id);
  void SL_tblSetImgFile(int id, const WCHAR* path);
  void SL_tblRefreshItem(int id);
  void SL_tblHideAll();
  int SL_tblGetListSize();
  tagTable* SL_tblGetStruct(int id);
  // Eight-segment displays, sectors, pictures, slides.
  void SL_segSetTexture(int id, const WCHAR* text);
  void SL_segHilightItem(int id, int on);
  void SL_segShowItem(int id, int show);
  void SL_segShowAll(int show);
  void SL_secSetSector(int id, int start, int end);
  void SL_picDisplayItem(int id, int index);
  void SL_picRefreshItem(int id);
  void SL_picHideItem(int id);
  void SL_picHideAll();
  void SL_sldShowItem(int id, int show);
  void SL_sldShowAll(int show);
  // Signals and satellites.
  tagSignal* SL_sigGetStruct(int id);
  int SL_sigGetListSize();
  void SL_sigHideAll();
  tagSatellite* SL_satGetStruct(int id);
  // Animated pictures.
  void SL_gifLoad(int id);
  void SL_gifPlay(int id);
  void SL_gifPause(int id, bool pause);
  void SL_gifStop(int id);
  void SL_gifClose(int id);
  // Pages.
  int SL_menuGetCurrentItem();
  void SL_menuSetCurrentItem(int index);
  tagMenu* SL_menuGetStruct();

  // The loaded pages (the launcher's tools and the tests read them).
  const std::vector<tagMenu>& Pages() const { return Menus; }

 protected:
  // Windows handed over by the screen.
  HWND hMainWnd = nullptr;
  HWND hViewWnd = nullptr;
  HINSTANCE hInstance = nullptr;
  // Shared tables, not owned.
  CImgRes* ImgRes = nullptr;
  CTxtRes* TxtRes = nullptr;
  // Pages, owned; the shown one.
  std::vector<tagMenu> Menus;
  int CurMenu = 0;

  // Painting state (0 until the painter sets it up).
  int ScreenWidth = 0;
  int ScreenHeight = 0;
  HDC PaintDC = nullptr;
  HDC SourceDC = nullptr;
  HDC FrameDC = nullptr;
  // Between SL_PaintBegin and SL_PaintEnd, whether or not the contexts could be made.
  bool PaintBegun = false;
  int EffectPending = 0;
  int FullRepaint = 0;
  int NeedAnimation = 0;
  int AnimationType = 0;
  int AnimationStep = 0;
  HRGN WindowRgn = nullptr;
  // WindowRgn is still ours to delete (its window refused it).
  bool WindowRgnOwned = false;
  PAINTSTRUCT PaintInfo{};
  // The frame bitmap of the paint and what the contexts held before.
  HBITMAP FrameBitmap = nullptr;
  HGDIOBJ FrameOldBitmap = nullptr;
  HGDIOBJ SourceOldBitmap = nullptr;
  // Called after each transition step is drawn, with the type played and the step (tests
  // look at the screen in the middle of a transition).
  std::function<void(int type, int step)> OnAnimationStep;

  // Input and timers.
  int TblPictureMode = 0;
  int PicLoadIndex = 0;
  int PicLoadStop = 0;
  int TblPicTimerOn = 0;
  int PicTimerOn = 0;
  int TxtScrollTimerOn = 0;

  // Remote-key focus.
  int IrActionId = 0;
  int IrMode = 0;
  int IrOnBtn = 1;
  int IrOnPrg = 1;
  int IrOnTbl = 0;
  int HotKeyMode = -1;

  // The current page, or null when there is none.
  tagMenu* CurrentPage();

  // Index of the first record of the current page's list with that action id, or -1.
  int GetTxtListIndex(int actionId);
  int GetBtnListIndex(int actionId);
  int GetPrgListIndex(int actionId);
  int GetSegListIndex(int actionId);
  int GetGifListIndex(int actionId);
  int GetSldListIndex(int actionId);
  int GetTblListIndex(int actionId);
  int GetSigListIndex(int actionId);
  int GetPicListIndex(int actionId);
  int GetSatListIndex(int actionId);
  int GetSecListIndex(int actionId);
  // Hot-key modes and keys of the current page's buttons (hot_keys.cpp).
  int GetHotKeyId(int key);
  int GetNextHotKeyModeId();
  int GetCurHotKeyModeId();
  // The record behind a lookup (operations_lookup.h); null when the lookup gives -1.
  template <class Record>
  Record* recordOf(std::vector<Record> tagMenu::*list, int actionId);
  // Puts the remote-focus mark on (value 1) or off (0) the widget named by IrActionId in
  // every family that may hold the focus.
  void markFocus(int value);
  // Kills the engine timers of the screen window (destruction, unloading).
  void killEngineTimers();
  // Draws one table item's picture file as a thumbnail straight onto the window.
  void drawThumbnail(const tagTable& item, const WCHAR* path);

 private:
  // Composing the frame (painter.cpp, painter_text.cpp, transitions.cpp).
  void releasePaintContexts();
  bool selectSource(HBITMAP bitmap);
  void paintBackground(tagMenu& page);
  void paintPictures(tagMenu& page);
  void paintTables(tagMenu& page);
  void paintTableText(tagTable& item);
  void paintControlLooks(tagMenu& page);
  void paintButtonTexts(tagMenu& page);
  void paintSectors(tagMenu& page);
  void paintTexts(tagMenu& page);
  void paintSignals(tagMenu& page);
  void drawFitted(const WCHAR* text, int width, RECT rect, uint32_t align);
  int drawScrolling(const WCHAR* text, RECT rect, int offset, int step);
  const WCHAR* languageText(int32_t id);
  void drawAnimationStep(int type, int step);
};
