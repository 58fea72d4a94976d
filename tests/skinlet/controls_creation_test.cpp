// Creating and destroying the controls of every page: windows, texts, players, and nothing
// left behind after any number of loads.
#include <dirent.h>

#include <filesystem>
#include <fstream>

#include "controls_fixture.h"
#include "core/kernel_object.h"
#include "gdi/gdi_objects.h"
#include "skin_paths.h"

namespace controls_test {
namespace {

// Threads of this process.
size_t threadCount() {
  size_t n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
  }
  return n;
}

std::u16string windowText(HWND w, bool className) {
  WCHAR buffer[64] = {};
  if (className) GetClassNameW(w, buffer, 64);
  else GetWindowTextW(w, buffer, 64);
  return buffer;
}

class CreationTest : public ControlsTest {
 protected:
  void prepareUnit(const std::string& root) override {
    namespace fs = std::filesystem;
    fs::create_directories(root + "/Windows");
    std::ofstream(root + "/Windows/language.xml")
        << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<LANGUAGES><LANGUAGE LANGID=\"1033\">lang_test.rc"
           "</LANGUAGE></LANGUAGES>\n";
    std::ofstream(root + "/Windows/lang_test.rc") << "LANGUAGE 0x09, 0x01\nSTRINGTABLE\nBEGIN\n    5, \"" +
                                                         std::string(150, 'x') + "\"\n    6, \"Pause\"\nEND\n";
  }

  // A page with one widget of every kind that has a control or a player.
  void addEveryKind(tagMenu& page, int base) {
    tagButton b{};
    b.ActionID = base + 1;
    b.BtnArea = tagArea{10, 10, 80, 40};
    b.TxtType = 1;
    b.TextIds = {6};
    page.Buttons.push_back(b);
    tagProgress p{};
    p.ActionID = base + 2;
    p.PrgArea = tagArea{10, 60, 200, 30};
    page.Progresses.push_back(p);
    tagGif g{};
    g.ActionID = base + 3;
    g.ActionType = 0x10;
    page.Gifs.push_back(g);
    tagSlide s{};
    s.ActionID = base + 4;
    s.ActionType = 1;
    s.SldArea = tagArea{10, 100, 300, 80};
    page.Slides.push_back(s);
    tagEightSeg e{};
    e.ActionID = base + 5;
    e.SegArea = tagArea{10, 200, 100, 40};
    page.EightSegs.push_back(e);
  }

  static bool everythingReleased(const std::vector<tagMenu>& pages) {
    for (const tagMenu& page : pages) {
      for (const auto& r : page.Buttons) if (r.Control) return false;
      for (const auto& r : page.Progresses) if (r.Control) return false;
      for (const auto& r : page.Gifs) if (r.Player) return false;
      for (const auto& r : page.Slides) if (r.Control) return false;
      for (const auto& r : page.EightSegs) if (r.Control) return false;
    }
    return true;
  }
};

TEST_F(CreationTest, EveryControlGetsItsWindowInTheScreenWindow) {
  addEveryKind(skin.page(0), 0);
  addEveryKind(skin.page(1), 10);
  skin.SL_LoadImages();
  struct Want {
    HWND window;
    const char16_t* cls;
    const char16_t* name;
    RECT rect;
    int id;
    bool visible;  // right after creation
  };
  for (int p = 0; p < 2; ++p) {
    SCOPED_TRACE(p);
    tagMenu& page = skin.page(p);
    ASSERT_NE(page.Buttons[0].Control, nullptr);
    ASSERT_NE(page.Progresses[0].Control, nullptr);
    ASSERT_NE(page.Slides[0].Control, nullptr);
    ASSERT_NE(page.EightSegs[0].Control, nullptr);
    ASSERT_NE(page.Gifs[0].Player, nullptr);
    const Want wants[] = {
        {page.Buttons[0].Control->hWnd, u"VexaImgBtnClass", u"VexaImgBtnClass", {10, 10, 90, 50}, 10 * p + 1, false},
        {page.Progresses[0].Control->hWnd, u"VexaProgressClass", u"", {10, 60, 210, 90}, 10 * p + 2, false},
        {page.Slides[0].Control->hWnd, u"SlideClass", u"", {10, 100, 310, 180}, 0, true},
        {page.EightSegs[0].Control->hWnd, u"Eight Segments", u"Eight Segments", {10, 200, 110, 240}, 0, false},
    };
    for (const Want& w : wants) {
      SCOPED_TRACE(std::string(w.cls, w.cls + std::char_traits<char16_t>::length(w.cls)));
      ASSERT_TRUE(IsWindow(w.window));
      EXPECT_EQ(windowText(w.window, true), w.cls);
      EXPECT_EQ(windowText(w.window, false), w.name);
      EXPECT_EQ(GetParent(w.window), screen);
      RECT r{};
      GetWindowRect(w.window, &r);
      EXPECT_TRUE(EqualRect(&r, &w.rect));
      EXPECT_EQ(GetDlgCtrlID(w.window), w.id);
      EXPECT_EQ(IsWindowVisible(w.window) != FALSE, w.visible);
      EXPECT_EQ(GetWindowLongPtrW(w.window, GWL_STYLE) & (WS_CHILD | WS_VISIBLE), WS_CHILD | (w.visible ? WS_VISIBLE : 0));
    }
  }
  skin.SL_UnLoadImages();
  EXPECT_TRUE(everythingReleased(skin.Menus));
  EXPECT_EQ(plat::window::windowCount(), 1u);  // the screen window alone
}

TEST_F(CreationTest, ControlsTheScriptHidesStayHiddenUntilAnOperationShowsThem) {
  addEveryKind(skin.page(), 0);
  addEveryKind(skin.page(), 10);  // the same again, hidden by the script
  tagMenu& page = skin.page();
  page.Buttons[1].ActionType = page.Progresses[1].ActionType = 0x100;
  page.EightSegs[1].Flags = 0x100;
  skin.SL_LoadImages();
  skin.SL_PaintBegin();
  skin.SL_PaintEnd();  // the paint shows the page's controls
  const struct {
    HWND shown, hidden;
    std::function<void()> showHidden;
  } rows[] = {
      {page.Buttons[0].Control->hWnd, page.Buttons[1].Control->hWnd, [&] { skin.SL_btnShowItem(11, 1); }},
      {page.Progresses[0].Control->hWnd, page.Progresses[1].Control->hWnd, [&] { skin.SL_prgShowAll(1); }},
      {page.EightSegs[0].Control->hWnd, page.EightSegs[1].Control->hWnd, [&] { skin.SL_segShowItem(15, 1); }},
  };
  for (const auto& r : rows) {
    EXPECT_TRUE(IsWindowVisible(r.shown));
    EXPECT_FALSE(IsWindowVisible(r.hidden));
    r.showHidden();
    EXPECT_TRUE(IsWindowVisible(r.hidden));
  }
}

TEST_F(CreationTest, ButtonTextsComeFromTheLanguageTableCutToTheirField) {
  CTxtRes texts;
  ASSERT_EQ(texts.SetLanguage(1033), 1);
  skin.SL_resSetHandle(nullptr, &texts);
  tagMenu& page = skin.page();
  tagButton b{};
  b.TxtType = 1;
  b.TextIds = {5, 6};
  page.Buttons.push_back(b);  // state 0: the long text
  b.StateIndex = 1;
  page.Buttons.push_back(b);  // state 1: "Pause"
  b.StateIndex = 2;
  std::copy_n(u"kept", 5, b.Text);
  page.Buttons.push_back(b);  // no text id for state 2: the literal text stays
  b.StateIndex = 0;
  b.TxtType = 0;
  page.Buttons.push_back(b);  // text not shown: not filled
  b.TxtType = 1;
  b.TextIds = {-1};
  page.Buttons.push_back(b);  // a negative id: not filled
  skin.SL_LoadImages();
  EXPECT_EQ(std::u16string(page.Buttons[0].Text), std::u16string(99, u'x'));
  EXPECT_EQ(std::u16string(page.Buttons[1].Text), u"Pause");
  EXPECT_EQ(std::u16string(page.Buttons[2].Text), u"kept");
  EXPECT_EQ(std::u16string(page.Buttons[3].Text), u"kept");
  EXPECT_EQ(std::u16string(page.Buttons[4].Text), u"kept");
  EXPECT_EQ(page.Buttons[1].Control->Text, page.Buttons[1].Text);
}

TEST_F(CreationTest, LoadingTwiceReplacesTheControlsInsteadOfAddingToThem) {
  addEveryKind(skin.page(), 0);
  skin.SL_LoadImages();
  const size_t windows = plat::window::windowCount();
  skin.SL_LoadImages();
  EXPECT_EQ(plat::window::windowCount(), windows);
}

TEST_F(CreationTest, WithoutAScreenWindowTheControlsHaveNoWindowsAndNothingBreaks) {
  skin.SL_SetWndHandle(nullptr, nullptr, nullptr);
  addEveryKind(skin.page(), 0);
  skin.SL_LoadImages();
  EXPECT_EQ(skin.page().Buttons[0].Control->hWnd, nullptr);
  EXPECT_TRUE(consoleHas("*E:CSkinlet::LoadImages"));
  skin.SL_UnLoadImages();
  EXPECT_TRUE(everythingReleased(skin.Menus));
}

TEST_F(CreationTest, TheScreenWindowMayGoBeforeItsControls) {
  addEveryKind(skin.page(), 0);
  skin.SL_LoadImages();
  DestroyWindow(screen);  // takes the control windows with it
  EXPECT_EQ(skin.page().Buttons[0].Control->hWnd, nullptr);
  EXPECT_EQ(skin.page().Slides[0].Control->hWnd, nullptr);
  skin.SL_UnLoadImages();
  EXPECT_EQ(plat::window::windowCount(), 0u);
}

// A screen may reload its skin in answer to a control's command, while that control is still
// in the middle of the touch that sent it.
TEST_F(CreationTest, AScreenMayReleaseTheControlsFromTheCommandTheySend) {
  const size_t windows = plat::window::windowCount();
  onCommand() = [this](WPARAM, LPARAM) { skin.SL_UnLoadImages(); };
  for (int kind = 0; kind < 4; ++kind) {
    SCOPED_TRACE(kind);
    addEveryKind(skin.page(), 0);
    createControls();
    tagMenu& page = skin.page();
    if (kind == 0) {  // the slide's item command is sent
      tagSlide& s = page.Slides[0];
      s.ItemArea = tagArea{0, 0, 100, 80};
      s.Control->SetItems(&page.Slides);
      s.Control->OffsetY = 0;
      tap(50, 140);
    } else if (kind == 1) {  // so is the progress bar's value at the release
      page.Progresses[0].PrgSldArea = tagArea{0, 0, 200, 30};
      page.Progresses[0].Control->SetRecord(page.Progresses[0]);
      ShowWindow(page.Progresses[0].Control->hWnd, SW_SHOW);
      tap(100, 75);
    } else if (kind == 2) {  // the button's and the display's are posted
      tap(50, 30);
    } else {
      tap(50, 220);
    }
    pumpFor(1000);
    EXPECT_TRUE(everythingReleased(skin.Menus));
    EXPECT_EQ(plat::window::windowCount(), windows);
    EXPECT_FALSE(takeNotices().empty());
    skin.Menus.clear();
  }
}

TEST_F(CreationTest, UnloadingTheSkinAndDestroyingTheEngineReleaseTheControls) {
  const size_t windows = plat::window::windowCount();
  {
    TestSkinlet engine;
    engine.SL_SetWndHandle(screen, screen, nullptr);
    addEveryKind(engine.page(), 0);
    engine.SL_LoadImages();
    EXPECT_EQ(plat::window::windowCount(), windows + 4);
    engine.SL_UnLoadSkin();
    EXPECT_TRUE(engine.Menus.empty());
    EXPECT_EQ(plat::window::windowCount(), windows);
    addEveryKind(engine.page(), 0);
    engine.SL_LoadImages();
  }
  EXPECT_EQ(plat::window::windowCount(), windows);
}

TEST_F(CreationTest, BadRecordsNeitherCrashNorOverrun) {
  tagMenu& page = skin.page();
  addEveryKind(page, 0);
  // Texts that fill their whole field without an end, areas of no or negative size, sizes at
  // the limits of 32 bits, and no images anywhere.
  tagButton& b = page.Buttons[0];
  std::fill(std::begin(b.Text), std::end(b.Text), u'W');
  b.TxtType = 0;
  b.TxtArea = tagArea{INT32_MAX, INT32_MIN, INT32_MAX, INT32_MAX};
  b.BtnArea = tagArea{10, 10, 0, -5};
  tagProgress& p = page.Progresses[0];
  p.PrgSldArea = tagArea{INT32_MIN, INT32_MAX, INT32_MAX, -1};
  p.ActionType = 0x10000;
  p.Horizon = 1;
  p.SlideBitmap = bitmaps.make(30, 30, 0xFF);
  tagEightSeg& e = page.EightSegs[0];
  std::fill(std::begin(e.Text), std::end(e.Text), u'8');
  e.SegFontWid = INT32_MIN;
  e.SegStrockWid = INT32_MAX;
  e.SegStrockSpace = INT32_MIN;
  e.SegArea.Hight = INT32_MIN;
  e.SegCrop = tagArea{-5, -5, INT32_MAX, INT32_MIN};
  e.BgBitmap = bitmaps.make(4, 4, 0xFF00);
  tagSlide* host = &page.Slides[0];
  std::fill(std::begin(host->Text), std::end(host->Text), u'S');
  host->TxtType = 1;
  host->Horizon = 1;
  host->ItemArea = tagArea{INT32_MAX, INT32_MIN, INT32_MAX, INT32_MAX};
  host->TxtArea = tagArea{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
  tagSlide extra = *host;
  extra.ActionType = 0;
  extra.ItemArea = tagArea{INT32_MIN, 0, INT32_MIN, 0};
  page.Slides.push_back(extra);
  host = &page.Slides[0];
  createControls();
  for (const tagMenu& pg : skin.Menus)
    for (const tagEightSeg& seg : pg.EightSegs) ShowWindow(seg.Control->hWnd, SW_SHOW);
  pumpUntilIdle();
  // Touch every control and let the timers run.
  for (int y = 15; y < 240; y += 20) {
    press(20, y);
    move(2000, y);
    move(-50, y);
    release(20, y);
  }
  pumpFor(2000);
  p.Control->SetValue(INT32_MAX);
  p.Control->SetValue(INT32_MIN);
  ProgressControl* prg = p.Control;
  prg->Horizon = 2;
  prg->SetValue(INT32_MIN);
  InvalidateRect(prg->hWnd, nullptr, FALSE);
  pumpUntilIdle();
  SlideControl* slide = host->Control;
  slide->OffsetX = INT32_MAX;
  slide->OffsetY = INT32_MIN;
  InvalidateRect(slide->hWnd, nullptr, FALSE);
  pumpUntilIdle();
  skin.SL_UnLoadImages();
  EXPECT_TRUE(everythingReleased(skin.Menus));
}

// The unit's own skin, loaded and unloaded as the screens do, a thousand times: every window,
// handle, GDI object and thread it takes comes back.
class DefaultSkinLoop : public ControlsTest {
 protected:
  void prepareUnit(const std::string& root) override {
    namespace fs = std::filesystem;
    fs::path unit = fs::path(HU_SOURCE_DIR) / "unit" / "Windows";
    fs::create_directories(fs::path(root) / "Windows");
    for (const char* name : {"language.xml", "lang_en.rc", "lang_zh.rc"})
      fs::copy_file(unit / name, fs::path(root) / "Windows" / name);
    fs::copy(unit / "Skin800x480", fs::path(root) / "Windows" / "Skin800x480", fs::copy_options::recursive);
  }
};

TEST_F(DefaultSkinLoop, AThousandLoadsAndUnloadsLeaveNothingBehind) {
  skinlet::resetModuleDirectory();
  ASSERT_TRUE(SetUserDefaultUILanguage(1033));
  CImgRes images;
  CTxtRes texts;
  ASSERT_EQ(images.LoadImgResource(u"image.xml", u"Skin800x480"), 1);
  const size_t windows = plat::window::windowCount();
  const size_t handles = plat::openHandleCount();
  const size_t objects = plat::gdi::liveObjectCount();
  const size_t threads = threadCount();
  int buttons = 0;
  {
    CSkinlet bar;  // one engine reloaded, as a screen does after a skin change
    bar.SL_resSetHandle(&images, &texts);
    for (int i = 0; i < 1000; ++i) {
      CSkinlet menu;  // and one engine per screen, made and destroyed
      menu.SL_resSetHandle(&images, &texts);
      menu.SL_SetWndHandle(screen, screen, nullptr);
      ASSERT_EQ(menu.SL_LoadSkin(u"Main_Menu_Script.xml", u"Skin800x480"), 1);
      ASSERT_EQ(menu.SL_LoadImages(), 1);
      bar.SL_SetWndHandle(screen, screen, nullptr);
      ASSERT_EQ(bar.SL_LoadSkin(u"StatusBar_Script.xml", u"Skin800x480"), 1);
      ASSERT_EQ(bar.SL_LoadImages(), 1);
      if (i == 0) {
        buttons = static_cast<int>(plat::window::windowCount() - windows);
        for (const tagMenu& page : bar.Pages())
          for (const tagButton& b : page.Buttons) ASSERT_NE(b.Control, nullptr);
      }
      if (i % 100 == 0) pumpUntilIdle();
    }
    bar.SL_UnLoadSkin();
  }
  pumpUntilIdle();
  EXPECT_EQ(buttons, 4);  // the default skin's four buttons
  EXPECT_EQ(plat::window::windowCount(), windows);
  EXPECT_EQ(plat::openHandleCount(), handles);
  EXPECT_EQ(plat::gdi::liveObjectCount(), objects);
  EXPECT_EQ(threadCount(), threads);
}

}  // namespace
}  // namespace controls_test
