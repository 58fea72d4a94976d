// The preview paints a page exactly as the launcher's own screen shows it: the same window
// place and size, the same images, texts of the same language, the same page and focus. The
// launcher side is made here the way the launcher's main makes its screens.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "app/screen_list.h"
#include "app/skin_wnd.h"
#include "app/status_bar_wnd.h"
#include "img_res.h"
#include "preview_program.h"
#include "../screens/screen_fixture.h"
#include "txt_res.h"

namespace {

class PreviewMatchesLauncher : public hu::test::ScreenFixture {
 protected:
  void prepareUnit(const std::string& root) override {
    ScreenFixture::prepareUnit(root);
    // A second skin: the example scripts of the guide with the default skin's images.
    const std::string skin = std::string(HU_SOURCE_DIR) + "/unit/Windows/Skin800x480";
    copyIntoUnit(skin + "/Skin", "Windows/Examples/Skin");
    std::filesystem::copy_file(skin + "/image.xml", hostPath("Windows/Examples/image.xml"));
    std::filesystem::copy_file(std::string(HU_SOURCE_DIR) + "/docs/examples/Focus.xml",
                               hostPath("Windows/Examples/Focus.xml"));
  }
  void TearDown() override {
    screen_.reset();
    texts_.reset();
    images_.UnLoadImgResource();
    ScreenFixture::TearDown();
  }

  // The screen of `script` as the launcher makes it; the status bar is the launcher's own
  // class, every other script the screen base the launcher's screens are made of.
  void showOnLauncher(const char16_t* skin, const char16_t* script, int language, int page) {
    ASSERT_TRUE(SetUserDefaultUILanguage(static_cast<LANGID>(language)));
    ASSERT_EQ(images_.LoadImgResource(u"image.xml", skin), 1);
    texts_ = std::make_unique<CTxtRes>();
    const app::ScreenKind kind = app::ScreenKindOfScript(script);
    screen_ = lstrcmpW(kind.name, app::kStatusBarScreen.name) == 0 ? std::make_unique<CStatusBarWnd>()
                                                                     : std::make_unique<CSkinWnd>();
    screen_->SetName(kind.name, kind.name);
    screen_->SetResources(&images_, texts_.get());
    screen_->SetScript(script, skin);
    ASSERT_TRUE(screen_->Create(nullptr, nullptr, SW_SHOW, kind.exStyle));
    if (lstrcmpW(kind.name, app::kStatusBarScreen.name) == 0) {
      // The clock texts are the program's, filled as the bar is made; the preview shows them
      // as the script has them.
      for (int text : {1, 2}) screen_->View().SL_txtSetItem(text, u"", 0);
      screen_->View().SL_txtSetItem(3, static_cast<const WCHAR*>(nullptr), 0);
      InvalidateRect(screen_->GetHwnd(), nullptr, FALSE);
    }
    pumpUntilIdle();
    if (page != 0) {
      screen_->View().SL_menuSetCurrentItem(page);
      pumpUntilIdle();
    }
  }
  // The window's pixels on the launcher's screen.
  preview_test::Png launcherWindow() {
    RECT r = {};
    GetWindowRect(screen_->GetHwnd(), &r);
    preview_test::Png out;
    out.width = r.right - r.left;
    out.height = r.bottom - r.top;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) out.pixels.push_back(pixel(x, y));
    return out;
  }
  preview_test::Png preview(const std::vector<std::string>& args) {
    const std::string png = hostPath("preview.png");
    std::filesystem::remove(png);
    std::vector<std::string> all = args;
    all.insert(all.end(), {"-o", png});
    preview_test::Run run = preview_test::runPreview(all, unitRoot());
    EXPECT_EQ(run.status, 0) << run.errors;
    preview_test::Png out;
    EXPECT_TRUE(preview_test::readPng(png, out)) << png;
    return out;
  }
  static void expectSame(const preview_test::Png& launcher, const preview_test::Png& preview) {
    ASSERT_EQ(preview.width, launcher.width);
    ASSERT_EQ(preview.height, launcher.height);
    int differing = 0;
    int first = -1;
    for (size_t i = 0; i < launcher.pixels.size(); ++i)
      if (launcher.pixels[i] != preview.pixels[i] && differing++ == 0) first = static_cast<int>(i);
    EXPECT_EQ(differing, 0) << "first at " << first % launcher.width << "," << first / launcher.width;
  }

  CImgRes images_;
  std::unique_ptr<CTxtRes> texts_;
  std::unique_ptr<CSkinWnd> screen_;
};

struct Case {
  const char16_t* script;
  const char* scriptName;
  int page;
  int language;
};

TEST_F(PreviewMatchesLauncher, EveryPageOfTheDefaultSkinInBothLanguages) {
  const Case cases[] = {
      {u"StatusBar_Script.xml", "StatusBar_Script.xml", 0, 1033},
      {u"StatusBar_Script.xml", "StatusBar_Script.xml", 0, 2052},
      {u"Main_Menu_Script.xml", "Main_Menu_Script.xml", 0, 1033},
      {u"Main_Menu_Script.xml", "Main_Menu_Script.xml", 1, 1033},
      {u"Main_Menu_Script.xml", "Main_Menu_Script.xml", 0, 2052},
      {u"Main_Menu_Script.xml", "Main_Menu_Script.xml", 1, 2052},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.scriptName) + " page " + std::to_string(c.page) + " language " +
                 std::to_string(c.language));
    showOnLauncher(u"Skin800x480", c.script, c.language, c.page);
    preview_test::Png launcher = launcherWindow();
    expectSame(launcher, preview({hostPath("Windows/Skin800x480"), c.scriptName, "--page", std::to_string(c.page),
                                  "--lang", std::to_string(c.language)}));
    screen_.reset();
    texts_.reset();
    images_.UnLoadImgResource();
    pumpUntilIdle();
  }
}

TEST_F(PreviewMatchesLauncher, DefaultLanguageIsTheFirstOfTheList) {
  // language.xml lists English first; the unit is set to Chinese, which must not matter.
  showOnLauncher(u"Skin800x480", u"Main_Menu_Script.xml", 1033, 1);
  preview_test::Png launcher = launcherWindow();
  ASSERT_TRUE(SetUserDefaultUILanguage(2052));
  expectSame(launcher, preview({hostPath("Windows/Skin800x480"), "Main_Menu_Script.xml", "--page", "1"}));
}

// The unit's configuration names the skin the screens load: here the examples.
class PreviewMatchesLauncherOnExamples : public PreviewMatchesLauncher {
 protected:
  std::string configText() override {
    return "<CONFIG><CURRENT_LANGUAGE Value=\"1033\"/><CURRENT_SKIN Value=\"1\"/><SKIN1>Examples</SKIN1>"
           "<ANIMATOR_TYPE Value=\"0\"/></CONFIG>";
  }
};

TEST_F(PreviewMatchesLauncherOnExamples, FocusLooksAsAfterTheFirstRemoteKey) {
  showOnLauncher(u"Examples", u"Focus.xml", 1033, 0);
  preview_test::Png unfocused = launcherWindow();
  // The driver's first key shows the focus where the screen has put it.
  screen_->View().SL_IrSetActionId(2);
  key(VK_RIGHT);
  preview_test::Png focused = launcherWindow();
  ASSERT_NE(focused.pixels, unfocused.pixels) << "the example shows no focus mark";
  expectSame(focused, preview({hostPath("Windows/Examples"), "Focus.xml", "--focus", "2"}));
  expectSame(unfocused, preview({hostPath("Windows/Examples"), "Focus.xml"}));
}

}  // namespace
