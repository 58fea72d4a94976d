// The image table: loading, ids cut to 16 bits, sort, binary search, console lines.
#include "img_res.h"
#include "skinlet.h"
#include "temp_unit.h"

namespace {

class ImageTable : public TempUnit {
 protected:
  void writeTable(const std::string& entries) {
    write("Windows/Skin800/image.xml", "<IMAGES>" + entries + "</IMAGES>");
  }
  CImgRes table;
};

TEST_F(ImageTable, LoadsSortsAndFindsByBinarySearch) {
  write("Windows/Skin800/Skin/a.bmp", bitmap(2, 2));
  write("Windows/Skin800/Skin/b.bmp", bitmap(3, 1));
  write("Windows/Skin800/Skin/c.bmp", bitmap(1, 1));
  writeTable("<IMAGE ImgId='9'>a.bmp</IMAGE><IMAGE ImgId='3'>b.bmp</IMAGE><IMAGE ImgId='65543'>c.bmp</IMAGE>");
  ASSERT_EQ(table.LoadImgResource(u"image.xml", u"Skin800"), 1);
  ASSERT_EQ(table.Entries().size(), 3u);
  EXPECT_EQ(table.Entries()[0].imgId, 3);
  EXPECT_EQ(table.Entries()[1].imgId, 7);  // 65543 cut to 16 bits
  EXPECT_EQ(table.Entries()[2].imgId, 9);
  EXPECT_NE(table.GetImgHandle(7), nullptr);
  EXPECT_EQ(table.GetImgHandle(7), table.Entries()[1].hImg);
  EXPECT_EQ(table.GetImgHandle(8), nullptr);
  EXPECT_EQ(table.GetImgHandle(65543), nullptr);  // outside 0-65535: never found
  EXPECT_EQ(table.GetImgHandle(-1), nullptr);
  // Bitmap names resolve in the skin folder; the base is left there.
  EXPECT_EQ(u16(skinlet::baseDirectory()), u"\\Windows\\.\\Skin800\\Skin\\");
}

TEST_F(ImageTable, EmptyTableFindsNothing) {
  EXPECT_EQ(table.GetImgHandle(0), nullptr);
  EXPECT_EQ(table.LoadImgResource(u"image.xml", u"Skin800"), 0);  // no file
  writeTable("");
  EXPECT_EQ(table.LoadImgResource(u"image.xml", u"Skin800"), 1);
  EXPECT_EQ(table.GetImgHandle(0), nullptr);
}

TEST_F(ImageTable, MissingBitmapKeepsItsEntryAndSaysSo) {
  write("Windows/Skin800/Skin/a.bmp", bitmap(2, 2));
  writeTable("<IMAGE ImgId='4'>gone.bmp</IMAGE><IMAGE ImgId='5'>a.bmp</IMAGE>");
  ASSERT_EQ(table.LoadImgResource(u"image.xml", u"Skin800"), 1);
  EXPECT_EQ(console, "No image file(id:4) in \"image.xml\"!\n");
  ASSERT_EQ(table.Entries().size(), 2u);
  EXPECT_EQ(table.GetImgHandle(4), nullptr);
  EXPECT_NE(table.GetImgHandle(5), nullptr);
}

TEST_F(ImageTable, LoadingTwiceKeepsBothSetsSortedTogether) {
  write("Windows/Skin800/Skin/a.bmp", bitmap(1, 1));
  writeTable("<IMAGE ImgId='2'>a.bmp</IMAGE><IMAGE ImgId='1'>a.bmp</IMAGE>");
  ASSERT_EQ(table.LoadImgResource(u"image.xml", u"Skin800"), 1);
  ASSERT_EQ(table.LoadImgResource(u"image.xml", u"Skin800"), 1);
  ASSERT_EQ(table.Entries().size(), 4u);
  EXPECT_EQ(table.Entries()[1].imgId, 1);
  EXPECT_EQ(table.Entries()[2].imgId, 2);
  console.clear();
  table.ResPrint();
  EXPECT_EQ(std::count(console.begin(), console.end(), '\n'), 4);
  EXPECT_EQ(console.rfind("imgId:1[ hImg:0x", 0), 0u);
  table.UnLoadImgResource();
  EXPECT_TRUE(table.Entries().empty());
  EXPECT_EQ(table.GetImgHandle(1), nullptr);
}

TEST_F(ImageTable, ScriptsTakeTheirHandlesFromTheTable) {
  write("Windows/Skin800/Skin/a.bmp", bitmap(2, 2));
  writeTable("<IMAGE ImgId='5'>a.bmp</IMAGE>");
  ASSERT_EQ(table.LoadImgResource(u"image.xml", u"Skin800"), 1);
  write("Windows/Skin800/T_Script.xml",
        "<SL_MENUS><MENU><BACKGRUOND MapId='5'/><BGMASK MapId='6'/>"
        "<PICTURES><PICTURE><PicImg MapId='5'/><PicImg MapId='65541'/></PICTURE></PICTURES></MENU></SL_MENUS>");
  CSkinlet view;
  view.SL_resSetHandle(&table, nullptr);
  ASSERT_EQ(view.SL_LoadSkin(u"T_Script.xml", u"Skin800"), 1);
  const tagMenu& m = view.Pages().at(0);
  EXPECT_EQ(m.BgBitmap, table.GetImgHandle(5));
  EXPECT_NE(m.BgBitmap, nullptr);
  EXPECT_EQ(m.MaskBitmap, nullptr);
  ASSERT_EQ(m.Pictures.at(0).Images.size(), 2u);
  EXPECT_EQ(m.Pictures[0].Images[0].hImg, m.BgBitmap);
  // The record keeps the id as written; the lookup of an id outside 16 bits finds nothing.
  EXPECT_EQ(m.Pictures[0].Images[1].imgId, 65541);
  EXPECT_EQ(m.Pictures[0].Images[1].hImg, nullptr);
}

TEST_F(ImageTable, PathsKeepTheDotLevels) {
  write("Windows/Skin800/Main_Script.xml", "<SL_MENUS><MENU/></SL_MENUS>");
  CSkinlet view;
  ASSERT_EQ(view.SL_LoadSkin(u"Main_Script.xml", u"Skin800"), 1);
  EXPECT_EQ(u16(skinlet::baseDirectory()), u"\\Windows\\.\\Skin800\\Skin\\");
  EXPECT_EQ(u16(skinlet::baseFile(u"x.bmp")), u"\\Windows\\.\\Skin800\\Skin\\x.bmp");
  std::u16string path;
  ASSERT_TRUE(skinlet::modulePath(u"language.xml", path));
  EXPECT_EQ(path, u"\\Windows\\language.xml");
  EXPECT_TRUE(skinlet::modulePath(std::u16string(250, u'n'), path));  // 259 characters
  EXPECT_FALSE(skinlet::modulePath(std::u16string(251, u'n'), path));
}

TEST_F(ImageTable, ATableThatLoadsNoImageSaysWhichFileAndWhy) {
  EXPECT_EQ(table.LoadImgResource(u"image.xml", u"Skin800"), 0);
  EXPECT_NE(console.find("image.xml loads no image: no such file"), std::string::npos) << console;
  console.clear();
  write("Windows/Skin800/image.xml", "<IMAGES><IMAGE ImgId='1'>a.bmp");
  EXPECT_EQ(table.LoadImgResource(u"image.xml", u"Skin800"), 0);
  EXPECT_NE(console.find("image.xml loads no image: it cannot be read or parsed"), std::string::npos) << console;
  console.clear();
  writeTable("<IMAGE ImgId='1'>gone.bmp</IMAGE><IMAGE ImgId='2'>gone too.bmp</IMAGE>");
  EXPECT_EQ(table.LoadImgResource(u"image.xml", u"Skin800"), 1);
  EXPECT_NE(console.find("image.xml loads no image: none of its 2 picture files could be loaded"), std::string::npos)
      << console;
  table.UnLoadImgResource();
  console.clear();
  write("Windows/Skin800/image.xml", "<PICTURES/>");
  EXPECT_EQ(table.LoadImgResource(u"image.xml", u"Skin800"), 1);
  EXPECT_NE(console.find("image.xml loads no image: no IMAGES element"), std::string::npos) << console;
}

}  // namespace
