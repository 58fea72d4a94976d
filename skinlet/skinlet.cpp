// CSkinlet: construction, loading and unloading of a screen script, the language-text
// operations and the view ports.
#include "skinlet.h"

#include "markup.h"
#include "skin_loader.h"
#include "skin_paths.h"

CSkinlet::CSkinlet() {
  // The frame of every paint has the screen's size.
  ScreenWidth = GetSystemMetrics(SM_CXSCREEN);
  ScreenHeight = GetSystemMetrics(SM_CYSCREEN);
}

CSkinlet::~CSkinlet() {
  // The screen window may outlive its engine: no engine timer may reach it afterwards.
  killEngineTimers();
  SL_UnLoadSkin();
  if (PaintBegun) releasePaintContexts();
  // A region handed to a window belongs to the window, which deletes it when it is replaced
  // or the window goes; only a region the window refused is still ours.
  if (WindowRgn && WindowRgnOwned) DeleteObject(WindowRgn);
  WindowRgn = nullptr;
}

tagMenu* CSkinlet::CurrentPage() {
  if (CurMenu < 0 || static_cast<size_t>(CurMenu) >= Menus.size()) return nullptr;
  return &Menus[static_cast<size_t>(CurMenu)];
}

void CSkinlet::SL_SetWndHandle(HWND mainWnd, HWND viewWnd, HINSTANCE instance) {
  hMainWnd = mainWnd;
  hViewWnd = viewWnd;
  hInstance = instance;
}

void CSkinlet::SL_resSetHandle(void* imgRes, void* txtRes) {
  ImgRes = static_cast<CImgRes*>(imgRes);
  TxtRes = static_cast<CTxtRes*>(txtRes);
}

int CSkinlet::SL_IsScriptFileExist(const WCHAR* file, const WCHAR* folder) {
  if (!file || !folder) return 0;
  // Sets the base directory as a load would, even when the script is missing.
  if (!skinlet::setBaseToModulePath(u".")) return 0;
  std::u16string rel;
  if (!skinlet::scriptRelativeName(folder, file, rel)) return 0;
  return GetFileAttributesW(skinlet::baseFile(rel)) != INVALID_FILE_ATTRIBUTES ? 1 : 0;
}

int CSkinlet::SL_LoadSkin(const WCHAR* file, const WCHAR* folder) {
  SL_UnLoadSkin();
  if (!file || !folder) return 0;
  if (!skinlet::setBaseToModulePath(u".")) return 0;
  std::u16string rel;
  if (!skinlet::scriptRelativeName(folder, file, rel)) return 0;
  CMarkup xml;
  if (!xml.Load(skinlet::baseFile(rel))) return 0;
  // From here on, file names in the script resolve against the skin folder.
  if (!skinlet::setBaseToSkinFolder(folder)) return 0;

  skinlet::loadPages(xml, Menus, ImgRes);

  if (TxtRes) TxtRes->SelectLanguage(0);
  SL_resReload();
  SL_InitIrItemDirect();
  return 1;
}

void CSkinlet::SL_UnLoadSkin() {
  // The controls and players point into the pages' records: they go before the pages.
  SL_UnLoadImages();
  for (tagMenu& page : Menus) {
    page.Texts.clear();
    page.Buttons.clear();
    page.Progresses.clear();
    page.EightSegs.clear();
    page.Gifs.clear();
    page.Slides.clear();
    page.Tables.clear();
    page.Signals.clear();
    page.Satellites.clear();
    page.Pictures.clear();
    page.Sectors.clear();
  }
  Menus.clear();
}

unsigned short CSkinlet::SL_resSelectLanguage(int offset) {
  return TxtRes ? TxtRes->SelectLanguage(offset) : 65535;
}

int CSkinlet::SL_resSetLanguage(int langId) { return TxtRes ? TxtRes->SetLanguage(langId) : 0; }

WCHAR* CSkinlet::SL_resGetItem(unsigned short id) {
  return TxtRes ? TxtRes->GetResItem(id, nullptr) : nullptr;
}

void CSkinlet::SL_resReload() {
  for (tagMenu& page : Menus) {
    for (tagSlide& slide : page.Slides) {
      if (slide.TxtId < 0) continue;
      // Without a language module the text is empty rather than left stale.
      const WCHAR* text = SL_resGetItem(static_cast<unsigned short>(slide.TxtId));
      skinlet::copyCut(slide.Text, SL_TEXT_LEN, text ? text : u"");
    }
    for (tagButton& button : page.Buttons) {
      if (!button.Control || button.TxtType <= 0) continue;
      if (button.StateIndex < 0 || static_cast<size_t>(button.StateIndex) >= button.TextIds.size()) continue;
      int32_t id = button.TextIds[static_cast<size_t>(button.StateIndex)];
      if (id < 0) continue;
      const WCHAR* text = SL_resGetItem(static_cast<unsigned short>(id));
      skinlet::copyCut(button.Text, SL_TEXT_LEN, text ? text : u"");
    }
  }
}

static void viewPort(const tagMenu* page, const tagArea tagMenu::*which, RECT* rc) {
  if (!rc) return;
  *rc = page ? AreaToRect(page->*which) : RECT{0, 0, 0, 0};
}

int CSkinlet::SL_GetMainViewPort(RECT* rc) {
  viewPort(CurrentPage(), &tagMenu::MainViewPort, rc);
  return 0;
}

int CSkinlet::SL_GetSlaveViewPort(RECT* rc) {
  viewPort(CurrentPage(), &tagMenu::SlaveViewPort, rc);
  return 0;
}
