// The default skin of the unit loads completely and gives the screens what they address.
#include "skinlet.h"
#include "temp_unit.h"

namespace {

class DefaultSkin : public TempUnit {
 protected:
  void SetUp() override {
    TempUnit::SetUp();
    namespace fs = std::filesystem;
    fs::path unit = fs::path(HU_SOURCE_DIR) / "unit" / "Windows";
    for (const char* name : {"language.xml", "lang_en.rc", "lang_zh.rc"}) {
      fs::copy_file(unit / name, fs::path(root) / "Windows" / name);
    }
    fs::copy(unit / "Skin800x480", fs::path(root) / "Windows" / "Skin800x480", fs::copy_options::recursive);
    ASSERT_TRUE(SetUserDefaultUILanguage(1033));
  }

  template <class R>
  static const R& byId(const std::vector<R>& list, int id) {
    for (const R& r : list) {
      if (r.ActionID == id) return r;
    }
    throw std::runtime_error("no widget " + std::to_string(id));
  }
};

TEST_F(DefaultSkin, EveryBitmapLoadsAndBothScriptsReadTheirWidgets) {
  CImgRes images;
  CTxtRes texts;
  ASSERT_EQ(images.LoadImgResource(u"image.xml", u"Skin800x480"), 1);
  EXPECT_EQ(console.find("No image file"), std::string::npos) << console;
  EXPECT_EQ(images.Entries().size(), 21u);

  CSkinlet bar;
  bar.SL_resSetHandle(&images, &texts);
  ASSERT_EQ(bar.SL_LoadSkin(u"StatusBar_Script.xml", u"Skin800x480"), 1);
  ASSERT_EQ(bar.Pages().size(), 1u);
  const tagMenu& status = bar.Pages()[0];
  RECT rc{};
  bar.SL_GetMainViewPort(&rc);
  EXPECT_EQ(rc.right, 800);
  EXPECT_EQ(rc.bottom, 40);
  EXPECT_NE(status.BgBitmap, nullptr);
  for (int id : {1, 2, 3}) EXPECT_EQ(byId(status.Texts, id).TxtType & 1, 1) << id;
  EXPECT_EQ(byId(status.Texts, 3).TextureIDs.size(), 7u);  // one per weekday
  EXPECT_EQ(byId(status.Buttons, 0).ImgUp.size(), 3u);
  EXPECT_EQ(byId(status.Buttons, 1).ImgUp.size(), 2u);
  EXPECT_EQ(byId(status.Buttons, 2).ImgUp.size(), 2u);
  EXPECT_NE(byId(status.Buttons, 2).ImgUp[1].hImg, nullptr);
  EXPECT_EQ(byId(status.Pictures, 0).Images.size(), 4u);

  CSkinlet menu;
  menu.SL_resSetHandle(&images, &texts);
  ASSERT_EQ(menu.SL_LoadSkin(u"Main_Menu_Script.xml", u"Skin800x480"), 1);
  ASSERT_EQ(menu.Pages().size(), 2u);
  const tagPicture& busy = byId(menu.Pages()[0].Pictures, 3);
  ASSERT_EQ(busy.Images.size(), 4u);
  for (const tagImgItem& frame : busy.Images) EXPECT_NE(frame.hImg, nullptr);
  const tagMenu& list = menu.Pages()[1];
  EXPECT_EQ(list.Tables.size(), 6u);
  for (size_t i = 0; i < list.Tables.size(); ++i) {
    EXPECT_EQ(list.Tables[i].ActionID, static_cast<int>(i));  // remote keys need position == id
    EXPECT_EQ(list.Tables[i].TxtId, -1);
    EXPECT_NE(list.Tables[i].FileBitmap, nullptr);
  }
  EXPECT_EQ(byId(list.Texts, 2).TextureIDs, (std::vector<int32_t>{-1}));
  const tagButton& start = byId(list.Buttons, 2);
  EXPECT_NE(start.ImgUp.at(0).hImg, nullptr);
  EXPECT_EQ(u16(menu.SL_resGetItem(static_cast<unsigned short>(start.TextIds.at(0)))), u"Start");
}

TEST_F(DefaultSkin, BothLanguagesCarryTheScreenTextsAndTheTimeZones) {
  CTxtRes texts;
  ASSERT_EQ(texts.Languages().size(), 2u);
  ASSERT_EQ(texts.SetLanguage(2052), 1);
  EXPECT_EQ(u16(texts.GetResItem(100, nullptr)), u"星期日");
  WCHAR name[MAX_PATH];
  EXPECT_EQ(u16(texts.GetResItem(32768 + 77, name)), u"(GMT+08:00) Beijing, Chongqing, Hong Kong, Urumqi");
  ASSERT_EQ(texts.SetLanguage(1033), 1);
  EXPECT_EQ(u16(texts.GetResItem(106, nullptr)), u"Saturday");
  for (int i = 0; i < 100; ++i) {
    std::u16string zone = u16(texts.GetResItem(static_cast<unsigned short>(32768 + i), name));
    EXPECT_EQ(zone.rfind(u"(GMT", 0), 0u) << i;
  }
}

}  // namespace
