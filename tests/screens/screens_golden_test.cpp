// The launcher's two screens as a driver sees them, in English and Chinese: the list of
// programs with one chosen, and the starting page with its animation.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <vector>

#include "app/navi_path_list.h"
#include "app/navi_path_list_wnd.h"
#include "app/status_bar_wnd.h"
#include "app/storage_monitor.h"
#include "golden_image.h"
#include "img_res.h"
#include "screen_fixture.h"
#include "text/font_catalog.h"
#include "txt_res.h"

namespace {

constexpr const char* kFont = "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf";
constexpr const char* kChineseFont = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";

class ScreensGolden : public hu::test::ScreenFixture {
 protected:
  void prepareUnit(const std::string& root) override {
    ScreenFixture::prepareUnit(root);
    for (const char* path : {"StorageCard/CityMap/CityMap.exe", "StorageCard/Maps/Europe/Route66.exe"}) {
      writeFile(path, "#!/bin/sh\nexit 0\n");
      ::chmod(hostPath(path).c_str(), 0755);
    }
  }
  void SetUp() override {
    ScreenFixture::SetUp();
    plat::text::pinFontFiles({kFont, "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", kChineseFont});
    plat::clock::setWallMs(1388575845000LL);  // 2014-01-01 11:30:45 UTC, a Wednesday
    TIME_ZONE_INFORMATION utc = {};
    GetTimeZoneInformation(&savedZone_);
    SetTimeZoneInformation(&utc);
    g_pStorageMonitor = new CStorageMonitor();
    g_pStorageMonitor->Start();
    g_pNaviPathList = new CNaviPathList();
  }
  void TearDown() override {
    main_.reset();
    bar_.reset();
    texts_.reset();
    images_.UnLoadImgResource();
    delete g_pNaviPathList;
    g_pNaviPathList = nullptr;
    g_pStorageMonitor->Stop();
    delete g_pStorageMonitor;
    g_pStorageMonitor = nullptr;
    SetTimeZoneInformation(&savedZone_);
    plat::text::pinFontFiles({});
    ScreenFixture::TearDown();
  }
  void start(LANGID language) {
    ASSERT_TRUE(SetUserDefaultUILanguage(language));
    ASSERT_EQ(images_.LoadImgResource(u"image.xml", u"Skin800x480"), 1);
    texts_ = std::make_unique<CTxtRes>();
    bar_ = std::make_unique<CStatusBarWnd>();
    bar_->SetName(u"StatusBar", u"StatusBar");
    bar_->SetResources(&images_, texts_.get());
    bar_->SetScript(u"StatusBar_Script.xml", nullptr);
    ASSERT_TRUE(bar_->Create(nullptr, nullptr, SW_SHOW, 0x08000008));
    main_ = std::make_unique<CNaviPathListWnd>();
    main_->SetName(u"MainMenu", u"MainMenu");
    main_->SetResources(&images_, texts_.get());
    main_->SetScript(u"Main_Menu_Script.xml", nullptr);
    ASSERT_TRUE(main_->Create(nullptr, nullptr, SW_SHOW, 0x40000000));
    ASSERT_TRUE(waitReal([] { return g_pNaviPathList->ScanCount() >= 1 && g_pNaviPathList->GetCount() == 2; }));
    pumpFor(1100);  // the clock ticks; the list paints a second after activation
  }
  void chooseRow(int row) {
    tap(300, 40 + 58 + 52 * row + 24);
    pumpFor(100);
  }
  std::vector<uint32_t> screen() {
    std::vector<uint32_t> out;
    for (int y = 0; y < 480; ++y)
      for (int x = 0; x < 800; ++x) out.push_back(pixel(x, y));
    return out;
  }

  TIME_ZONE_INFORMATION savedZone_ = {};
  CImgRes images_;
  std::unique_ptr<CTxtRes> texts_;
  std::unique_ptr<CStatusBarWnd> bar_;
  std::unique_ptr<CNaviPathListWnd> main_;
};

TEST_F(ScreensGolden, ListPageInEnglishWithARowChosen) {
  start(1033);
  chooseRow(1);
  test_support::expectGolden("launcher_list_en", screen().data(), 800, 480, 8, kFont);
}

TEST_F(ScreensGolden, ListPageInChineseWithARowChosen) {
  start(2052);
  chooseRow(0);
  test_support::expectGolden("launcher_list_zh", screen().data(), 800, 480, 8, kChineseFont);
}

TEST_F(ScreensGolden, StartingPageShowsItsAnimationFrame) {
  start(1033);
  // The starting page as the start button shows it; the program itself is not started here.
  main_->SetIdle(0);
  while (main_->Frame() != 2) pumpFor(100);  // the third frame of the animation
  test_support::expectGolden("launcher_starting_en", screen().data(), 800, 480, 8, kFont);
  main_->SetIdle(1);
}

}  // namespace
