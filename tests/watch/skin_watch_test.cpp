// Live reload of the running skin: a screen on a small skin of its own, its files changed on
// disk while it runs, and the screen read back from the headless display. The file watch runs
// in real time, so each wait is a bounded poll that ends as soon as the reload is seen.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "app/skin_watch.h"
#include "app/skin_wnd.h"
#include "app/status_bar_wnd.h"
#include "bitmap_file.h"
#include "gdi/gdi_objects.h"
#include "core/kernel_object.h"
#include "img_res.h"
#include "module/string_table.h"
#include "platform_fixture.h"
#include "txt_res.h"

namespace {

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kYellow = 0xFFFF00;
constexpr int kPageWidth = 200, kPageHeight = 100;
const char* const kScript = "Windows/WatchSkin/Test_Script.xml";

std::string solid(uint32_t rgb, int w = kPageWidth, int h = kPageHeight) {
  return hu::test::bitmapFile(w, h, [rgb](int, int) { return rgb; });
}

// Two pages: page 0 on image 1, page 1 on `secondBackground` with buttons 10 and 11 (the
// second only when `withButton11`).
std::string script(int secondBackground, bool withButton11 = true) {
  auto button = [](int id, int x) {
    return "    <BUTTON>\n      <BtnActionID value=\"" + std::to_string(id) + "\"/>\n      <BtnTouchArea LocX=\"" +
           std::to_string(x) + "\" LocY=\"10\" Width=\"20\" Hight=\"20\"/>\n      <BtnArea LocX=\"" +
           std::to_string(x) + "\" LocY=\"10\" Width=\"20\" Hight=\"20\"/>\n      <BtnImgUp MapId=\"4\"/>\n" +
           "    </BUTTON>\n";
  };
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<SL_MENUS>\n<MENU>\n  <BACKGRUOND MapId=\"1\"/>\n"
         "  <MVIEWPORT LocX=\"0\" LocY=\"0\" Width=\"200\" Hight=\"100\"/>\n</MENU>\n<MENU>\n"
         "  <BACKGRUOND MapId=\"" +
         std::to_string(secondBackground) +
         "\"/>\n  <MVIEWPORT LocX=\"0\" LocY=\"0\" Width=\"200\" Hight=\"100\"/>\n  <BUTTONS>\n" + button(10, 10) +
         (withButton11 ? button(11, 50) : "") + "  </BUTTONS>\n</MENU>\n</SL_MENUS>\n";
}

std::string languageModule(const std::string& text300) {
  return "STRINGTABLE\nBEGIN\n    300, \"" + text300 + "\"\nEND\n";
}

// The line (from 1) at which `what` first appears in `text`.
int lineOf(const std::string& text, const std::string& what) {
  size_t at = text.find(what);
  return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), '\n'));
}

class SkinWatchTest : public hu::test::PlatformFixture {
 protected:
  void prepareUnit(const std::string&) override {
    writeFile("Windows/language.xml",
              "<LANGUAGES><LANGUAGE LANGID=\"1033\">lang_en.rc</LANGUAGE></LANGUAGES>");
    writeFile("Windows/lang_en.rc", languageModule("Hello"));
    writeFile("Windows/WatchSkin/image.xml",
              "<IMAGES><IMAGE ImgId=\"1\">red.bmp</IMAGE><IMAGE ImgId=\"2\">green.bmp</IMAGE>"
              "<IMAGE ImgId=\"3\">blue.bmp</IMAGE><IMAGE ImgId=\"4\">yellow.bmp</IMAGE></IMAGES>");
    writeFile("Windows/WatchSkin/Skin/red.bmp", solid(kRed));
    writeFile("Windows/WatchSkin/Skin/green.bmp", solid(kGreen));
    writeFile("Windows/WatchSkin/Skin/blue.bmp", solid(kBlue));
    writeFile("Windows/WatchSkin/Skin/yellow.bmp", solid(kYellow, 20, 20));
    writeFile(kScript, script(2));
  }

  void SetUp() override {
    PlatformFixture::SetUp();
    auto images = std::make_shared<CImgRes>();
    ASSERT_EQ(images->LoadImgResource(u"image.xml", u"WatchSkin"), 1);
    auto texts = std::make_shared<CTxtRes>();
    screen_ = std::make_unique<CSkinWnd>();
    screen_->SetName(u"WatchTest", u"WatchTest");
    screen_->SetResources(images.get(), texts.get());
    screen_->SetScript(u"Test_Script.xml", u"WatchSkin");
    ASSERT_TRUE(screen_->Create(nullptr, nullptr, SW_SHOW, 0));
    // Only the watch holds the tables: a table it replaces must go.
    watch_ = std::make_unique<app::CSkinWatch>(std::move(images), std::move(texts));
    watch_->AddScreen(screen_.get());
    view().SL_menuSetCurrentItem(1);
    view().SL_IrSetActionId(11);
    pumpUntilIdle();
  }

  void TearDown() override {
    watch_.reset();
    screen_.reset();
    PlatformFixture::TearDown();
  }

  CSkinlet& view() { return screen_->View(); }
  std::u16string skinFile(const char16_t* name) { return std::u16string(u"\\Windows\\WatchSkin\\") + name; }

  void startWatch(unsigned quietMs = 100) {
    plat::FolderWatch::Timing timing;
    timing.quietMs = quietMs;
    timing.retryMs = 50;
    ASSERT_TRUE(watch_->Start(timing));
  }
  // Pumps the window thread until `rounds` rounds of changes were acted on (real time, at most
  // five seconds).
  bool waitForRounds(int rounds) {
    for (int t = 0; t < 5000 && watch_->Rounds() < rounds; t += 5) {
      pumpUntilIdle();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pumpUntilIdle();
    return watch_->Rounds() >= rounds;
  }

  std::unique_ptr<CSkinWnd> screen_;
  std::unique_ptr<app::CSkinWatch> watch_;
};

TEST_F(SkinWatchTest, AChangedScriptShowsOnTheScreenOnTheSamePageWithTheSameFocus) {
  ASSERT_EQ(pixel(150, 80), kGreen);
  startWatch();
  writeFile(kScript, script(3));
  ASSERT_TRUE(waitForRounds(1));
  EXPECT_EQ(pixel(150, 80), kBlue);
  EXPECT_EQ(pixel(55, 15), kYellow) << "the buttons of the new page are drawn";
  EXPECT_EQ(view().SL_menuGetCurrentItem(), 1);
  EXPECT_EQ(view().SL_IrGetActionID(), 11);
  EXPECT_EQ(watch_->Reloads(), 1);

  // The focused widget is gone from the new script: the focus starts again on the first one.
  writeFile(kScript, script(3, false));
  ASSERT_TRUE(waitForRounds(2));
  EXPECT_EQ(view().SL_IrGetActionID(), 10);
  EXPECT_EQ(pixel(55, 15), kBlue);
  EXPECT_EQ(watch_->Failures(), 0);
}

TEST_F(SkinWatchTest, AScriptThatNoLongerLoadsKeepsTheLastGoodScreenAndNamesTheParsersLine) {
  startWatch();
  std::string broken = script(3);
  broken.replace(broken.find("</BUTTONS>"), 10, "</BUTTON>");
  writeFile(kScript, broken);
  ASSERT_TRUE(waitForRounds(1));
  EXPECT_EQ(watch_->Failures(), 1);
  EXPECT_EQ(pixel(150, 80), kGreen);
  EXPECT_EQ(pixel(55, 15), kYellow);
  EXPECT_EQ(view().Pages().size(), 2u);
  EXPECT_EQ(view().SL_menuGetCurrentItem(), 1);
  const std::string line = std::to_string(lineOf(broken, "</BUTTON>\n</MENU>"));
  const std::string expected = ": No start tag for end tag 'BUTTON' at line " + line + " column 3";
  EXPECT_TRUE(consoleHas("Test_Script.xml:" + line + expected)) << consoleText();
  EXPECT_TRUE(consoleHas("does not load; the screen keeps its last good script")) << consoleText();

  // Mended, it loads again.
  writeFile(kScript, script(3));
  ASSERT_TRUE(waitForRounds(2));
  EXPECT_EQ(pixel(150, 80), kBlue);
  EXPECT_EQ(watch_->Failures(), 1);
}

TEST_F(SkinWatchTest, AWellFormedScriptWithoutPagesKeepsTheLastGoodScreen) {
  writeFile(kScript, "<SL_MENUS>\n</SL_MENUS>\n");
  EXPECT_EQ(watch_->Apply({skinFile(u"Test_Script.xml")}), 0);
  pumpUntilIdle();
  EXPECT_EQ(view().Pages().size(), 2u);
  EXPECT_EQ(pixel(150, 80), kGreen);
  EXPECT_TRUE(consoleHas("Test_Script.xml:1: SL_MENUS holds no MENU")) << consoleText();
}

TEST_F(SkinWatchTest, ASaveThatRenamesANewFileOverTheScriptIsSeen) {
  startWatch();
  writeFile("Windows/WatchSkin/Test_Script.xml.new", script(3));
  std::filesystem::rename(hostPath("Windows/WatchSkin/Test_Script.xml.new"), hostPath(kScript));
  ASSERT_TRUE(waitForRounds(1));
  EXPECT_EQ(pixel(150, 80), kBlue);
}

TEST_F(SkinWatchTest, ABurstOfWritesGivesOneReloadOfTheLastContent) {
  constexpr unsigned kQuietMs = 250;
  startWatch(kQuietMs);
  const std::string last = script(3);
  // An editor's save: the file cut short, then written in pieces, while the window thread keeps
  // running as the launcher's does.
  auto previous = std::chrono::steady_clock::now();
  auto longestGap = std::chrono::steady_clock::duration::zero();
  for (size_t cut : {size_t{0}, last.size() / 3, last.size() / 2, last.size()}) {
    writeFile(kScript, last.substr(0, cut));
    auto now = std::chrono::steady_clock::now();
    longestGap = std::max(longestGap, now - previous);
    previous = now;
    for (int t = 0; t < 20; t += 5) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      pumpUntilIdle();
    }
  }
  ASSERT_TRUE(waitForRounds(1));
  // Two quiet periods more: a second round would have come by then.
  for (unsigned t = 0; t < 2 * kQuietMs; t += 10) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    pumpUntilIdle();
  }
  EXPECT_EQ(pixel(150, 80), kBlue);
  if (longestGap >= std::chrono::milliseconds(kQuietMs))
    GTEST_SKIP() << "the machine was too slow to write a burst: the writes stood apart";
  EXPECT_EQ(watch_->Rounds(), 1);
  EXPECT_EQ(watch_->Failures(), 0);
}

TEST_F(SkinWatchTest, AChangedBitmapReloadsTheImageTableAndTheOldOneGoes) {
  startWatch();
  CImgRes* before = watch_->Images();
  writeFile("Windows/WatchSkin/Skin/green.bmp", solid(kBlue));
  ASSERT_TRUE(waitForRounds(1));
  EXPECT_NE(watch_->Images(), before);
  EXPECT_EQ(pixel(150, 80), kBlue);
  EXPECT_EQ(view().SL_IrGetActionID(), 11);
}

TEST_F(SkinWatchTest, ManyReloadsLeaveNoBitmapsHandlesOrModulesBehind) {
  // Once, so that everything made on the first reload (class registrations, caches) exists.
  watch_->Apply({skinFile(u"Skin\\green.bmp"), u"\\Windows\\lang_en.rc"});
  pumpUntilIdle();
  const size_t objects = plat::gdi::liveObjectCount();
  const size_t handles = plat::openHandleCount();
  const size_t modules = plat::module::loadedCount();
  for (int i = 0; i < 20; ++i) {
    // A module that changed is read again: a table kept too long would keep the old one.
    writeFile("Windows/lang_en.rc", languageModule("Hello " + std::to_string(i)));
    ASSERT_EQ(watch_->Apply({skinFile(u"Skin\\green.bmp"), u"\\Windows\\lang_en.rc"}), 1);
    pumpUntilIdle();
  }
  EXPECT_EQ(plat::gdi::liveObjectCount(), objects);
  EXPECT_EQ(plat::openHandleCount(), handles);
  EXPECT_EQ(plat::module::loadedCount(), modules);
}

TEST_F(SkinWatchTest, AScreenWhoseScriptFailsKeepsTheImagesItDrawsUntilItLoadsAgain) {
  const size_t objects = plat::gdi::liveObjectCount();
  std::string broken = script(2);
  broken.replace(broken.find("</MENU>"), 7, "</MENUX>");
  writeFile(kScript, broken);
  writeFile("Windows/WatchSkin/Skin/green.bmp", solid(kBlue));
  EXPECT_EQ(watch_->Apply({skinFile(u"Test_Script.xml"), skinFile(u"Skin\\green.bmp")}), 0);
  InvalidateRect(screen_->GetHwnd(), nullptr, FALSE);
  pumpUntilIdle();
  // The old table still backs the pages on show, the new one is the watch's.
  EXPECT_EQ(pixel(150, 80), kGreen);
  EXPECT_GT(plat::gdi::liveObjectCount(), objects);

  writeFile(kScript, script(2));
  EXPECT_EQ(watch_->Apply({skinFile(u"Test_Script.xml")}), 1);
  pumpUntilIdle();
  EXPECT_EQ(pixel(150, 80), kBlue);
  EXPECT_EQ(plat::gdi::liveObjectCount(), objects) << "the old table went with the old pages";
}

TEST_F(SkinWatchTest, AChangedLanguageModuleGivesTheNewTexts) {
  ASSERT_EQ(std::u16string(view().SL_resGetItem(300)), u"Hello");
  startWatch();
  writeFile("Windows/lang_en.rc", languageModule("Goodbye"));
  ASSERT_TRUE(waitForRounds(1));
  EXPECT_EQ(std::u16string(view().SL_resGetItem(300)), u"Goodbye");
}

TEST_F(SkinWatchTest, BitmapsInFoldersBelowTheBitmapFolderAreWatchedToo) {
  writeFile("Windows/WatchSkin/Skin/icons/yellow.bmp", solid(kYellow, 20, 20));
  writeFile("Windows/WatchSkin/image.xml",
            "<IMAGES><IMAGE ImgId=\"1\">red.bmp</IMAGE><IMAGE ImgId=\"2\">green.bmp</IMAGE>"
            "<IMAGE ImgId=\"4\">icons/yellow.bmp</IMAGE></IMAGES>");
  startWatch();
  const auto& folders = watch_->Folders();
  EXPECT_NE(std::find(folders.begin(), folders.end(), u"\\Windows\\WatchSkin\\Skin\\icons"), folders.end());
  writeFile("Windows/WatchSkin/Skin/icons/yellow.bmp", solid(kRed, 20, 20));
  ASSERT_TRUE(waitForRounds(1));
  EXPECT_EQ(pixel(55, 15), kRed);
}

TEST_F(SkinWatchTest, FilesThatAreNoPartOfTheSkinChangeNothing) {
  // Editors' litter, in the bitmap folder where any other file would count.
  EXPECT_EQ(watch_->Apply({skinFile(u"Skin\\.green.bmp.swp"), skinFile(u"Skin\\4913"), skinFile(u"Skin\\green.bmp~"),
                           skinFile(u"Other_Script.xml"), u"\\Windows\\Config.bak", u"\\Windows\\lang_zh.rc"}),
            0);
  EXPECT_EQ(watch_->Rounds(), 0);
  // Names compare as the unit's volumes do: without regard to case.
  EXPECT_EQ(watch_->Apply({u"\\WINDOWS\\watchskin\\test_SCRIPT.xml"}), 1);
}

// The status bar of the default skin: what it set while running comes back with the new pages.
class StatusBarReloadTest : public hu::test::PlatformFixture {
 protected:
  void prepareUnit(const std::string&) override { copyIntoUnit(std::string(HU_SOURCE_DIR) + "/unit/Windows", "Windows"); }
  void TearDown() override {
    watch_.reset();
    bar_.reset();
    PlatformFixture::TearDown();
  }
  std::unique_ptr<CStatusBarWnd> bar_ = std::make_unique<CStatusBarWnd>();
  std::unique_ptr<app::CSkinWatch> watch_;
};

TEST_F(StatusBarReloadTest, IndicatorsFrameAndClockAreShownAgainAtOnce) {
  auto images = std::make_shared<CImgRes>();
  ASSERT_EQ(images->LoadImgResource(u"image.xml", u"Skin800x480"), 1);
  auto texts = std::make_shared<CTxtRes>();
  bar_->SetName(u"StatusBar", u"StatusBar");
  bar_->SetResources(images.get(), texts.get());
  bar_->SetScript(u"StatusBar_Script.xml", u"Skin800x480");
  ASSERT_TRUE(bar_->Create(nullptr, nullptr, SW_SHOW, 0));
  watch_ = std::make_unique<app::CSkinWatch>(images, texts);
  watch_->AddScreen(bar_.get());
  SendMessageW(bar_->GetHwnd(), WM_COMMAND, CStatusBarWnd::kCmdMode, 2);
  SendMessageW(bar_->GetHwnd(), WM_COMMAND, CStatusBarWnd::kCmdStateA, 1);
  SendMessageW(bar_->GetHwnd(), WM_COMMAND, CStatusBarWnd::kCmdFrame, 3);
  pumpFor(1000);
  const std::u16string time = bar_->View().SL_txtGetStruct(2)->Text;
  ASSERT_FALSE(time.empty());

  ASSERT_EQ(watch_->Apply({u"\\Windows\\Skin800x480\\StatusBar_Script.xml"}), 1);
  EXPECT_EQ(bar_->View().SL_btnGetStruct(0)->StateIndex, 2);
  EXPECT_EQ(bar_->View().SL_btnGetStruct(2)->StateIndex, 1);
  EXPECT_EQ(bar_->View().SL_btnGetStruct(1)->StateIndex, 0);
  EXPECT_EQ(std::u16string(bar_->View().SL_txtGetStruct(2)->Text), time) << "the clock, before its next tick";
  EXPECT_EQ(bar_->View().Pages()[0].Pictures[0].ActionIndex, 3);
}

}  // namespace
