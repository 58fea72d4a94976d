// What the painter puts on the screen, against golden images: every widget kind on one page,
// the middle of every transition, the opening blend, a shaped window, scrolled and broken
// texts in English and Chinese, and the default skin's two screens.
#include <filesystem>

#include "painter_support.h"

namespace paint_test {
namespace {

class PaintGolden : public PaintFixture {
 protected:
  void SetUp() override {
    PaintFixture::SetUp();
    installSkin("paint", paintSkinBitmaps());
    ASSERT_TRUE(load(engine, u"Paint_Script.xml", u"paint"));
    ASSERT_EQ(engine.Menus.size(), 6u);
  }

  static void setText(tagTexture& text, const std::u16string& value) { lstrcpynW(text.Text, value.c_str(), SL_TEXT_LEN); }
  static void setText(tagTable& item, const std::u16string& value) { lstrcpynW(item.Text, value.c_str(), SL_PATH_LEN); }

  // Shows page `from` and then paints page `to` with transition `type`, keeping the screen as
  // it is after step `step`.
  Image transitionStep(int type, int step) {
    HWND w = createScreen(engine);
    engine.CurMenu = 1;
    paint(w);
    engine.CurMenu = 2;
    Image mid;
    engine.OnAnimationStep = [&](int, int k) {
      if (k == step) mid = screen();
    };
    engine.SL_SetPaintAnimationType(type);
    paint(w);
    return mid;
  }

  TestSkinlet engine;
};

TEST_F(PaintGolden, EveryWidgetKindOnOnePage) {
  tagMenu& page = engine.page(0);
  setText(page.Texts[0], u"Plain text");
  setText(page.Texts[1], u"Highlighted text");
  setText(page.Texts[2], u"A text far too long for its area");
  setText(page.Texts[3], u"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789");
  setText(page.Texts[4], u"This text scrolls because it is wider than its area");
  lstrcpynW(page.Buttons[0].Text, u"OK", SL_TEXT_LEN);
  lstrcpynW(page.Buttons[1].Text, u"Sel", SL_TEXT_LEN);
  lstrcpynW(page.Buttons[2].Text, u"Hidden", SL_TEXT_LEN);
  const char16_t* rows[] = {u"Folder selected", u"File framed", u"0x9 selected 1", u"0x9 selected 3", u"0x11 file",
                            u"never drawn"};
  for (size_t i = 0; i < 6; ++i) setText(page.Tables[i], rows[i]);
  HWND w = createScreen(engine);
  engine.FullRepaint = 1;  // the controls' static look is part of the frame
  paint(w);
  expectGolden("paint_widgets", screen());
}

TEST_F(PaintGolden, EighthStepOfEveryTransition) {
  for (int type = 2; type <= 8; ++type) {
    SCOPED_TRACE(type);
    Image mid = transitionStep(type, 8);
    ASSERT_EQ(mid.width, 800);
    expectGolden("paint_transition_" + std::to_string(type) + "_step8", mid);
    plat::window::reset();
  }
}

TEST_F(PaintGolden, OpeningBlendOutsideTheSlaveViewPort) {
  HWND w = createScreen(engine);
  engine.CurMenu = 1;
  paint(w);
  engine.CurMenu = 3;
  engine.EffectPending = 1;
  paint(w);
  expectGolden("paint_opening_blend", screen());
}

TEST_F(PaintGolden, WindowCutToTheMaskedRegion) {
  // A desktop below the shaped window shows through what the mask cuts away.
  TestSkinlet desktop;
  desktop.SL_resSetHandle(&images, texts.get());
  ASSERT_EQ(desktop.SL_LoadSkin(u"Paint_Script.xml", u"paint"), 1);
  desktop.CurMenu = 1;
  HWND below = createScreen(desktop);
  paint(below);
  engine.CurMenu = 4;
  HWND w = createScreen(engine, RECT{200, 90, 600, 390});
  engine.SL_MakeWindowRgn(w);
  pumpUntilIdle();
  expectGolden("paint_window_region", screen(RECT{150, 40, 650, 440}));
}

TEST_F(PaintGolden, ScrolledAndBrokenTextsInEnglishAndChinese) {
  tagMenu& page = engine.page(5);
  setText(page.Texts[0], u"Navigation program on the storage card");
  setText(page.Texts[1], u"存储卡上的导航程序已经准备好了请稍候");
  setText(page.Texts[2], u"ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZ");
  setText(page.Texts[3], u"导航程序正在启动请稍候片刻不要关闭电源谢谢您的耐心等待");
  engine.CurMenu = 5;
  HWND w = createScreen(engine);
  for (int i = 0; i < 9; ++i) paint(w);  // ten paints with the window's first: 20 pixels on
  EXPECT_EQ(engine.page(5).Texts[0].TxtScrollPos, 20);
  expectGolden("paint_texts_en_zh", screen(RECT{0, 0, 380, 440}));
}

class DefaultSkinGolden : public PaintFixture {
 protected:
  void SetUp() override {
    PaintFixture::SetUp();
    namespace fs = std::filesystem;
    const fs::path unit = fs::path(HU_SOURCE_DIR) / "unit" / "Windows";
    for (const char* name : {"language.xml", "lang_en.rc", "lang_zh.rc"}) copyIntoUnitFile(unit / name, name);
    copyIntoUnit((unit / "Skin800x480").string(), "Windows/Skin800x480");
    texts = std::make_unique<CTxtRes>();  // reads the language list just copied
  }
  void copyIntoUnitFile(const std::filesystem::path& from, const std::string& name) {
    std::filesystem::create_directories(hostPath("Windows"));
    std::filesystem::copy_file(from, hostPath("Windows/" + name), std::filesystem::copy_options::overwrite_existing);
  }
};

TEST_F(DefaultSkinGolden, StatusBarAndProgramListAsTheEngineDrawsThem) {
  for (int language : {1033, 2052}) {
    SCOPED_TRACE(language);
    ASSERT_TRUE(SetUserDefaultUILanguage(static_cast<LANGID>(language)));
    TestSkinlet bar;
    TestSkinlet menu;
    ASSERT_TRUE(load(bar, u"StatusBar_Script.xml", u"Skin800x480"));
    menu.SL_resSetHandle(&images, texts.get());
    ASSERT_EQ(menu.SL_LoadSkin(u"Main_Menu_Script.xml", u"Skin800x480"), 1);

    // What the launcher's screens set: date, time and weekday; two programs, the first chosen.
    tagMenu& status = bar.page(0);
    lstrcpynW(status.Texts[0].Text, u"2026-12-08", SL_TEXT_LEN);
    lstrcpynW(status.Texts[1].Text, u"12:47", SL_TEXT_LEN);
    status.Texts[2].TextIndex = 2;  // Tuesday
    status.Buttons[0].StateIndex = 2;
    status.Buttons[2].StateIndex = 1;
    status.Pictures[0].ActionIndex = 3;
    tagMenu& list = menu.page(1);
    const char16_t* programs[] = {u"\\StorageCard\\NaviOne\\NaviOne.exe", u"\\StorageCard\\MapX\\MapX.exe"};
    for (size_t i = 0; i < 2; ++i) {
      list.Tables[i].ActionType = 0x11;
      lstrcpynW(list.Tables[i].Text, programs[i], SL_PATH_LEN);
    }
    list.Tables[0].IsSelected = 1;
    lstrcpynW(list.Texts[1].Text, programs[0], SL_TEXT_LEN);
    menu.CurMenu = 1;

    HWND barWindow = createScreen(bar, RECT{0, 0, 800, 40});
    HWND menuWindow = createScreen(menu, RECT{0, 40, 800, 480});
    bar.FullRepaint = menu.FullRepaint = 1;
    paint(barWindow);
    paint(menuWindow);
    expectGolden(language == 1033 ? "paint_default_skin_en" : "paint_default_skin_zh", screen());
    plat::window::reset();
    images.UnLoadImgResource();
  }
}

}  // namespace
}  // namespace paint_test
