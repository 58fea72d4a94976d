// CSkinlet: the view engine of one screen. It loads the screen's script into pages of
// widget records, shares the program's image and language tables, and (in the painting,
// input, focus and operation files) draws the current page and reports the user's actions.
#pragma once

#include <functional>
#include <vector>

#include "img_res.h"
#include "skin_types.h"
#include "txt_res.h"

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
