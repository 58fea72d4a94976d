// Screen scripts into records: forward-only search, defaults, value forms and paths.
#include <cmath>

#include "skinlet.h"
#include "temp_unit.h"

namespace {

class SkinLoader : public TempUnit {
 protected:
  // Loads `body` (the content of "SL_MENUS") as the script T_Script.xml of skin "Skin800".
  int load(const std::string& body, bool wrap = true) {
    std::string doc = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
    doc += wrap ? "<SL_MENUS>" + body + "</SL_MENUS>\n" : body;
    write("Windows/Skin800/T_Script.xml", doc);
    return view.SL_LoadSkin(u"T_Script.xml", u"Skin800");
  }
  const tagMenu& page(size_t i = 0) { return view.Pages().at(i); }

  CSkinlet view;
};

TEST_F(SkinLoader, PageWithoutGlobalPropertiesIsAllZero) {
  ASSERT_EQ(load("<MENU/>"), 1);
  ASSERT_EQ(view.Pages().size(), 1u);
  const tagMenu& m = page();
  EXPECT_EQ(m.BgImgId, 0);
  EXPECT_EQ(m.BgBitmap, nullptr);
  EXPECT_EQ(m.MaskBitmap, nullptr);
  EXPECT_EQ(m.BackTransparent, 0.0f);
  EXPECT_EQ(m.Region, 0);
  EXPECT_EQ(m.MainViewPort.Width, 0);
  EXPECT_EQ(m.SlaveViewPort.Hight, 0);
}

TEST_F(SkinLoader, GlobalPropertiesAndViewPorts) {
  ASSERT_EQ(load("<MENU><BACKGRUOND MapId='7'/><BGMASK MapId='8'/><BACKTRANSPARENT value='50'/>"
                 "<FORETRANSPARENT value='30'/><BREGION value='1'/>"
                 "<MVIEWPORT LocX='0' LocY='40' Width='800' Hight='440'/>"
                 "<SVIEWPORT LocX='10' LocY='20' Width='30' Hight='40'/></MENU>"),
            1);
  const tagMenu& m = page();
  EXPECT_EQ(m.BgImgId, 7);
  EXPECT_EQ(m.MaskImgId, 8);
  EXPECT_FLOAT_EQ(m.BackTransparent, 0.5f);
  EXPECT_FLOAT_EQ(m.ForeTransparent, 0.3f);
  EXPECT_EQ(m.Region, 1);
  RECT rc{};
  EXPECT_EQ(view.SL_GetMainViewPort(&rc), 0);
  EXPECT_EQ(rc.left, 0);
  EXPECT_EQ(rc.top, 40);
  EXPECT_EQ(rc.right, 800);
  EXPECT_EQ(rc.bottom, 480);
  view.SL_GetSlaveViewPort(&rc);
  EXPECT_EQ(rc.left, 10);
  EXPECT_EQ(rc.bottom, 60);
}

TEST_F(SkinLoader, GlobalPropertyOutOfOrderIsNotSeen) {
  // BREGION is searched before MVIEWPORT; once BREGION is found, the MVIEWPORT before it is missed.
  ASSERT_EQ(load("<MENU><MVIEWPORT LocX='1'/><BREGION value='1'/><TEXTS><TEXT/></TEXTS></MENU>"), 1);
  EXPECT_EQ(page().Region, 1);
  EXPECT_EQ(page().MainViewPort.LocX, 0);
  EXPECT_EQ(page().Texts.size(), 1u);
}

TEST_F(SkinLoader, SectionsAreSearchedForwardInTheirOrder) {
  // BUTTONS before TEXTS: TEXTS is found first and the search for BUTTONS starts after it.
  ASSERT_EQ(load("<MENU><BUTTONS><BUTTON/></BUTTONS><TEXTS><TEXT/><TEXT/></TEXTS></MENU>"), 1);
  EXPECT_EQ(page().Texts.size(), 2u);
  EXPECT_EQ(page().Buttons.size(), 0u);
  // Failed searches in between do not restart the search: PICTURES before TEXTS stays unseen.
  ASSERT_EQ(load("<MENU><PICTURES><PICTURE/></PICTURES><TEXTS><TEXT/></TEXTS><TABLES><TABLEITEM/></TABLES></MENU>"), 1);
  EXPECT_EQ(page().Texts.size(), 1u);
  EXPECT_EQ(page().Pictures.size(), 0u);
  EXPECT_EQ(page().Tables.size(), 1u);
}

TEST_F(SkinLoader, SecondSectionOfAKindIsIgnored) {
  ASSERT_EQ(load("<MENU><TEXTS><TEXT/></TEXTS><TEXTS><TEXT/><TEXT/></TEXTS><PICTURES><PICTURE/></PICTURES></MENU>"), 1);
  EXPECT_EQ(page().Texts.size(), 1u);
  EXPECT_EQ(page().Pictures.size(), 1u);
}

TEST_F(SkinLoader, SectionBeforeGlobalPropertyIsNotSeen) {
  ASSERT_EQ(load("<MENU><TEXTS><TEXT/></TEXTS><MVIEWPORT LocX='5'/></MENU>"), 1);
  EXPECT_EQ(page().MainViewPort.LocX, 5);
  EXPECT_EQ(page().Texts.size(), 0u);
}

TEST_F(SkinLoader, DefaultsFillEveryItemUnlessItGivesItsOwn) {
  ASSERT_EQ(load("<MENU><TEXTS><TxtFont value='3'/><TxtColor R='255' G='0' B='0'/>"
                 "<TEXT><TxtActionID value='1'/></TEXT>"
                 "<TEXT><TxtActionID value='2'/><TxtFont value='4'/><TxtColor G='255'/></TEXT></TEXTS></MENU>"),
            1);
  ASSERT_EQ(page().Texts.size(), 2u);
  EXPECT_EQ(page().Texts[0].TxtFont, 3);
  EXPECT_EQ(page().Texts[0].TxtColor, 255u);
  EXPECT_EQ(page().Texts[1].ActionID, 2);
  EXPECT_EQ(page().Texts[1].TxtFont, 4);
  EXPECT_EQ(page().Texts[1].TxtColor, 0xFF00u);
}

TEST_F(SkinLoader, RepeatedTextIdsReplaceInheritedEntriesByPosition) {
  ASSERT_EQ(load("<MENU><TEXTS><TxtTextureID value='10'/><TxtTextureID value='11'/>"
                 "<TEXT><TxtTextureID value='20'/></TEXT>"
                 "<TEXT><TxtTextureID value='1'/><TxtTextureID value='2'/><TxtTextureID value='3'/></TEXT>"
                 "<TEXT/></TEXTS></MENU>"),
            1);
  EXPECT_EQ(page().Texts[0].TextureIDs, (std::vector<int32_t>{20, 11}));
  EXPECT_EQ(page().Texts[1].TextureIDs, (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(page().Texts[2].TextureIDs, (std::vector<int32_t>{10, 11}));
}

TEST_F(SkinLoader, RepeatedImagesAppendAfterInheritedEntries) {
  ASSERT_EQ(load("<MENU><BUTTONS><BtnImgUp MapId='1'/>"
                 "<BUTTON><BtnActionID value='5'/><BtnImgUp MapId='2'/><BtnImgUp MapId='3'/><BtnImgDn MapId='9'/>"
                 "<BtnTxtId value='40'/><BtnTxtId value='41'/></BUTTON></BUTTONS></MENU>"),
            1);
  const tagButton& b = page().Buttons.at(0);
  ASSERT_EQ(b.ImgUp.size(), 3u);
  EXPECT_EQ(b.ImgUp[0].imgId, 1);
  EXPECT_EQ(b.ImgUp[1].imgId, 2);
  EXPECT_EQ(b.ImgUp[2].imgId, 3);
  EXPECT_EQ(b.ImgUp[2].path[0], 0);
  ASSERT_EQ(b.ImgDn.size(), 1u);
  EXPECT_EQ(b.TextIds, (std::vector<int32_t>{40, 41}));
}

TEST_F(SkinLoader, DefaultAfterItemsIsStillADefaultAndHidesThoseItems) {
  ASSERT_EQ(load("<MENU><TEXTS><TEXT><TxtActionID value='1'/></TEXT><TEXT/><TxtFont value='6'/>"
                 "<TEXT><TxtActionID value='3'/></TEXT></TEXTS></MENU>"),
            1);
  ASSERT_EQ(page().Texts.size(), 1u);
  EXPECT_EQ(page().Texts[0].ActionID, 3);
  EXPECT_EQ(page().Texts[0].TxtFont, 6);
}

TEST_F(SkinLoader, ItemChildrenOutOfOrderAreSkipped) {
  // Read order: PrgActionType, PrgActionID, PrgHorizon, PrgArea, PrgSldArea, ...
  ASSERT_EQ(load("<MENU><PROGRESSES><PrgSldArea LocX='1' LocY='2' Width='3' Hight='4'/>"
                 "<PROGRESS><PrgActionID value='7'/><PrgActionType value='3'/><PrgSldArea LocX='9'/>"
                 "<PrgArea LocX='10' Width='200'/><Unknown/>"
                 "<PrgIrDirect Left='-1' Rigth='4' Bottom='6' Ok='1' Close='2' UpLt='300' DnRt='301'/>"
                 "</PROGRESS></PROGRESSES></MENU>"),
            1);
  const tagProgress& p = page().Progresses.at(0);
  EXPECT_EQ(p.ActionType, 3);
  EXPECT_EQ(p.ActionID, 0);  // stands before PrgActionType, which is read first
  EXPECT_EQ(p.PrgArea.LocX, 10);
  EXPECT_EQ(p.PrgSldArea.LocX, 1);  // the default: the item's own stands before PrgArea
  EXPECT_EQ(p.PrgSldArea.Hight, 4);
  const int32_t expected[IR_COUNT] = {-1, 4, 0, 6, 1, 2, 300, 301};  // no "Top": action id 0
  for (int i = 0; i < IR_COUNT; ++i) EXPECT_EQ(p.IrDirect[i], expected[i]) << i;
}

TEST_F(SkinLoader, NumbersAndColoursAreReadLeniently) {
  struct Case {
    const char* value;
    int32_t expected;
  } cases[] = {{"12px", 12}, {"0x10", 0}, {"  -7", -7}, {"+5", 5}, {"", 0}, {"abc", 0}};
  std::string items;
  for (const Case& c : cases) items += std::string("<SECTOR><SecStart value='") + c.value + "'/></SECTOR>";
  ASSERT_EQ(load("<MENU><SECTORS>" + items + "<SECTOR><SecColor R='300' G='-1' B='256'/></SECTOR></SECTORS></MENU>"),
            1);
  ASSERT_EQ(page().Sectors.size(), std::size(cases) + 1);
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(page().Sectors[i].SecStart, cases[i].expected) << cases[i].value;
  }
  EXPECT_EQ(page().Sectors.back().SecColor, 44u | (255u << 8) | (0u << 16));
}

TEST_F(SkinLoader, FileNamesResolveAgainstTheSkinFolder) {
  ASSERT_EQ(load("<MENU><GIFS><GIF><GifImg>intro.gif</GifImg></GIF></GIFS>"
                 "<TABLES><TABLEITEM><TblImgNameDir MapId='3'>dir.bmp</TblImgNameDir>"
                 "<TblImgNameFile MapId='4'></TblImgNameFile></TABLEITEM></TABLES></MENU>"),
            1);
  EXPECT_EQ(u16(page().Gifs.at(0).Path), u"\\Windows\\.\\Skin800\\Skin\\intro.gif");
  const tagTable& t = page().Tables.at(0);
  EXPECT_EQ(u16(t.DirPath), u"\\Windows\\.\\Skin800\\Skin\\dir.bmp");
  EXPECT_EQ(u16(t.FilePath), u"\\Windows\\.\\Skin800\\Skin\\");  // empty text: the base itself
  EXPECT_EQ(t.BgPath[0], 0);                                     // element absent
  EXPECT_EQ(t.DirImgId, 3);
  EXPECT_EQ(t.FileImgId, 4);
}

TEST_F(SkinLoader, LongFileNamesAreCutToTheBuffer) {
  std::string longName(400, 'a');
  ASSERT_EQ(load("<MENU><GIFS><GIF><GifImg>" + longName + "</GifImg></GIF></GIFS></MENU>"), 1);
  std::u16string path = u16(page().Gifs.at(0).Path);
  EXPECT_EQ(path.size(), 259u);
  EXPECT_EQ(path.substr(0, 24), u"\\Windows\\.\\Skin800\\Skin\\");
}

TEST_F(SkinLoader, EveryKindReadsItsFieldsInTableOrder) {
  ASSERT_EQ(load("<MENU>"
                 "<EIGHTSEGS><EIGHTSEG><SegActionID value='1'/><SegType value='2'/><SegShowType value='3'/>"
                 "<SegArea LocX='4' LocY='5' Width='6' Hight='7'/><SegFontWid value='8'/><SegColor R='1'/>"
                 "<SegHiColor G='1'/><SegStrockWid value='9'/><SegStrockSpace value='10'/><SegStrockColor B='1'/>"
                 "<SegBmpBg MapId='5'/><SegCrop LocX='11'/></EIGHTSEG></EIGHTSEGS>"
                 "<SLIDE><SLIDEITEM><SldImgBg MapId='2'/><SldArea LocX='3'/><SldHorizon value='1'/>"
                 "<SldActionID value='4'/><SldActionType value='1'/><SldImgUp MapId='5'/><SldImgDn MapId='6'/>"
                 "<SldItemArea Width='7'/><SldTxtId value='-1'/><SldTxtType value='8'/><SldTxtFont value='2'/>"
                 "<SldTxtSize value='9'/><SldTxtColorUp R='1'/><SldTxtColorDn R='2'/><SldTxtArea Hight='3'/>"
                 "<SldTxtAlign value='37'/></SLIDEITEM></SLIDE>"
                 "<SIGNALBAR><SIGNAL><SigActionType value='1'/><SigActionID value='2'/><SigArea Width='3'/>"
                 "<SigInvalidColor R='4'/><SigValidColor G='5'/><SigNum value='6'/><SigNumFont value='7'/>"
                 "<SigNumSize value='8'/><SigNumColor B='9'/><SigNumArea LocX='10'/><SigNumAlign value='11'/>"
                 "<SigCN value='12'/><SigCNFont value='13'/><SigCNSize value='14'/><SigCNColor R='15'/>"
                 "<SigCNArea LocY='16'/><SigCNAlign value='17'/></SIGNAL></SIGNALBAR>"
                 "<SATELLITES><SATELLITE><SatActionID value='1'/><SatDisplayArea Width='100'/>"
                 "<SatSize Width='8' Hight='9'/><SatTxtAlign value='5'/></SATELLITE>"
                 "<SATELLITE><SatActionID value='2'/></SATELLITE></SATELLITES></MENU>"),
            1);
  const tagEightSeg& s = page().EightSegs.at(0);
  EXPECT_EQ(s.ActionID, 1);
  EXPECT_EQ(s.SegShowType, 3);
  EXPECT_EQ(s.SegArea.Hight, 7);
  EXPECT_EQ(s.SegStrockWid, 9);
  EXPECT_EQ(s.SegStrockSpace, 10);
  EXPECT_EQ(s.SegStrockColor, 0x10000u);
  EXPECT_EQ(s.SegCrop.LocX, 11);
  const tagSlide& d = page().Slides.at(0);
  EXPECT_EQ(d.BgImgId, 2);
  EXPECT_EQ(d.DnImgId, 6);
  EXPECT_EQ(d.ItemArea.Width, 7);
  EXPECT_EQ(d.TxtId, -1);
  EXPECT_EQ(d.TxtAlign, 37u);
  EXPECT_EQ(d.Text[0], 0);  // a negative text id takes no language text
  const tagSignal& g = page().Signals.at(0);
  EXPECT_EQ(g.SigNum, 6);
  EXPECT_EQ(g.SigCN, 12);
  EXPECT_EQ(g.SigCNArea.LocY, 16);
  EXPECT_EQ(g.SigCNAlign, 17);
  ASSERT_EQ(page().Satellites.size(), 2u);
  EXPECT_EQ(page().Satellites[0].SatWidth, 8);
  EXPECT_EQ(page().Satellites[0].SatHight, 9);
  EXPECT_EQ(page().Satellites[1].SatWidth, 0);  // no SatSize: marks of zero size
}

TEST_F(SkinLoader, TableDefaultsGiveTheLiteralTextUnlessAnItemGivesAnId) {
  ASSERT_EQ(load("<MENU><TABLES><TblTxtId value='-1'/><TblTxtSize value='18'/>"
                 "<TABLEITEM><TblActionID value='0'/></TABLEITEM>"
                 "<TABLEITEM><TblActionID value='1'/><TblTxtId value='12'/></TABLEITEM></TABLES></MENU>"),
            1);
  ASSERT_EQ(page().Tables.size(), 2u);
  EXPECT_EQ(page().Tables[0].TxtId, -1);
  EXPECT_EQ(page().Tables[0].TxtSize, 18);
  EXPECT_EQ(page().Tables[1].TxtId, 12);
  EXPECT_EQ(page().Tables[1].ActionID, 1);
  EXPECT_EQ(page().Tables[0].DirPath[0], 0);  // no file element: no path
}

TEST_F(SkinLoader, PagesAreReadInDocumentOrder) {
  ASSERT_EQ(load("<MENU><BREGION value='1'/></MENU><OTHER/><MENU><BREGION value='2'/></MENU>"), 1);
  ASSERT_EQ(view.Pages().size(), 2u);
  EXPECT_EQ(page(0).Region, 1);
  EXPECT_EQ(page(1).Region, 2);
}

TEST_F(SkinLoader, RootMenuIsTheOnlyPageAndAnotherRootGivesNone) {
  EXPECT_EQ(load("<MENU><BREGION value='3'/></MENU>", false), 1);
  ASSERT_EQ(view.Pages().size(), 1u);
  EXPECT_EQ(page().Region, 3);
  EXPECT_EQ(load("<SCREEN><MENU/></SCREEN>", false), 1);
  EXPECT_EQ(view.Pages().size(), 0u);
}

TEST_F(SkinLoader, UnloadableScriptGivesZeroAndNoPages) {
  ASSERT_EQ(load("<MENU/>"), 1);
  EXPECT_EQ(load("<MENU>", true), 0);  // not well-formed
  EXPECT_EQ(view.Pages().size(), 0u);
  ASSERT_EQ(load("<MENU/>"), 1);
  EXPECT_EQ(view.SL_LoadSkin(u"Missing_Script.xml", u"Skin800"), 0);
  EXPECT_EQ(view.Pages().size(), 0u);
  EXPECT_EQ(console, "");  // silent about scripts
  RECT rc{1, 2, 3, 4};
  view.SL_GetMainViewPort(&rc);  // no page: an empty rectangle
  EXPECT_EQ(rc.right, 0);
}

TEST_F(SkinLoader, OverLongFolderCannotFormThePath) {
  std::u16string folder(300, u'f');
  EXPECT_EQ(view.SL_LoadSkin(u"T_Script.xml", folder.c_str()), 0);
  EXPECT_EQ(view.SL_IsScriptFileExist(u"T_Script.xml", folder.c_str()), 0);
}

TEST_F(SkinLoader, ScriptExistenceSetsTheBaseEvenWhenMissing) {
  write("Windows/Skin800/T_Script.xml", "<SL_MENUS/>");
  EXPECT_EQ(view.SL_IsScriptFileExist(u"T_Script.xml", u"Skin800"), 1);
  ASSERT_EQ(load("<MENU/>"), 1);  // the base is now the skin folder
  EXPECT_EQ(view.SL_IsScriptFileExist(u"Nope.xml", u"Skin800"), 0);
  EXPECT_EQ(u16(skinlet::baseDirectory()), u"\\Windows\\.\\");
}

}  // namespace
