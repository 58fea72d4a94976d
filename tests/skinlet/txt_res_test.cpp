// The language table: language list, selection with its wrap rule, texts by id, reload.
#include "skinlet.h"
#include "temp_unit.h"

namespace {

std::string module(const std::string& marker) {
  return "STRINGTABLE\nBEGIN\n  0, \"" + marker + " zero\"\n  1, \"" + marker + "\"\n  2, \"" + std::string(150, 'x') + "\"\n  7, \"" + marker +
         " seven\"\nEND\n";
}

class LanguageTable : public TempUnit {
 protected:
  void SetUp() override {
    TempUnit::SetUp();
    write("Windows/zh.rc", module("zh"));
    write("Windows/en.rc", module("en"));
    write("Windows/ja.rc", module("ja"));
    write("Windows/language.xml",
          "<LANGUAGES><LANGUAGE LANGID='2052'>zh.rc</LANGUAGE><LANGUAGE LANGID='66569'>en.rc</LANGUAGE>"
          "<LANGUAGE LANGID='1041'>\\Windows\\ja.rc</LANGUAGE></LANGUAGES>");
    ASSERT_TRUE(SetUserDefaultUILanguage(1033));
  }
  std::u16string text(CTxtRes& table, unsigned short id) { return u16(table.GetResItem(id, nullptr)); }
};

TEST_F(LanguageTable, ReadsTheListAndCutsIdsTo16Bits) {
  CTxtRes table;
  ASSERT_EQ(table.Languages().size(), 3u);
  EXPECT_EQ(table.Languages()[1].LangId, 1033);  // 66569 cut to 16 bits
  EXPECT_EQ(u16(table.Languages()[2].ModulePath), u"\\Windows\\ja.rc");
  EXPECT_EQ(table.GetResItem(1, nullptr), nullptr);  // nothing selected yet
}

TEST_F(LanguageTable, SelectionMovesFromTheSystemLanguageAndLandsAtTheEnds) {
  CTxtRes table;
  struct Case {
    int offset;
    unsigned short id;
    const char16_t* text;
  } cases[] = {{0, 1033, u"en"}, {1, 1041, u"ja"}, {2, 2052, u"zh"}, {-2, 1041, u"ja"},
               {-1, 2052, u"zh"}, {100, 2052, u"zh"}, {-100, 1041, u"ja"}, {2147483647, 2052, u"zh"}};
  for (const Case& c : cases) {
    EXPECT_EQ(table.SelectLanguage(c.offset), c.id) << c.offset;
    EXPECT_EQ(text(table, 1), c.text) << c.offset;
  }
}

TEST_F(LanguageTable, UnlistedSystemLanguageChangesNothing) {
  CTxtRes table;
  ASSERT_EQ(table.SetLanguage(2052), 1);
  ASSERT_TRUE(SetUserDefaultUILanguage(1036));
  EXPECT_EQ(table.SelectLanguage(1), 65535);
  EXPECT_EQ(text(table, 1), u"zh");
  EXPECT_EQ(table.SetLanguage(1036), 0);
  EXPECT_EQ(text(table, 1), u"zh");
  // Asked for the system language that is not listed, the table lets go of its module.
  EXPECT_EQ(table.ChangeLanguageRes(), nullptr);
  EXPECT_EQ(table.GetResItem(1, nullptr), nullptr);
}

TEST_F(LanguageTable, TextsAreCutToTheBufferTheyGoTo) {
  CTxtRes table;
  ASSERT_EQ(table.SetLanguage(1033), 1);
  EXPECT_EQ(text(table, 2).size(), 99u);
  WCHAR big[MAX_PATH];
  EXPECT_EQ(table.GetResItem(2, big), big);
  EXPECT_EQ(u16(big).size(), 150u);
  EXPECT_EQ(text(table, 3), u"");  // missing id: an empty text
  EXPECT_EQ(text(table, 0), u"en zero");
  EXPECT_NE(table.ChangeLanguageRes(), nullptr);
  EXPECT_EQ(text(table, 7), u"en seven");
}

TEST_F(LanguageTable, MissingEmptyOrMalformedModuleGivesNullTexts) {
  write("Windows/empty.rc", "");
  write("Windows/bad.rc", "STRINGTABLE BEGIN 1 \"unterminated\nEND\n");
  write("Windows/bad.dll", std::string("MZ") + std::string(200, '\xff'));
  write("Windows/language.xml",
        "<LANGUAGES><LANGUAGE LANGID='1'>gone.rc</LANGUAGE><LANGUAGE LANGID='2'>empty.rc</LANGUAGE>"
        "<LANGUAGE LANGID='3'>bad.rc</LANGUAGE><LANGUAGE LANGID='4'>bad.dll</LANGUAGE></LANGUAGES>");
  CTxtRes table;
  for (int id = 1; id <= 4; ++id) {
    EXPECT_EQ(table.SetLanguage(id), 1);
    EXPECT_EQ(table.GetResItem(1, nullptr), nullptr) << id;
  }
}

TEST_F(LanguageTable, NoLanguageListMeansNoSelection) {
  std::filesystem::remove(root + "/Windows/language.xml");
  CTxtRes table;
  EXPECT_TRUE(table.Languages().empty());
  EXPECT_EQ(table.SelectLanguage(0), 65535);
  EXPECT_EQ(table.SetLanguage(1033), 0);
  EXPECT_EQ(table.ChangeLanguageRes(), nullptr);
}

TEST_F(LanguageTable, LoadingASkinSelectsTheLanguageAndFillsSlideTexts) {
  write("Windows/Skin800/T_Script.xml",
        "<SL_MENUS><MENU><SLIDE><SLIDEITEM><SldTxtId value='7'/></SLIDEITEM><SLIDEITEM/>"
        "<SLIDEITEM><SldTxtId value='-1'/></SLIDEITEM><SLIDEITEM><SldTxtId value='65543'/></SLIDEITEM>"
        "</SLIDE></MENU></SL_MENUS>");
  CTxtRes table;
  CSkinlet view;
  view.SL_resSetHandle(nullptr, &table);
  ASSERT_EQ(view.SL_LoadSkin(u"T_Script.xml", u"Skin800"), 1);
  const std::vector<tagSlide>& slides = view.Pages().at(0).Slides;
  EXPECT_EQ(u16(slides[0].Text), u"en seven");
  EXPECT_EQ(u16(slides[1].Text), u"en zero");  // no SldTxtId: text 0
  EXPECT_EQ(u16(slides[2].Text), u"");  // no language text
  EXPECT_EQ(u16(slides[3].Text), u"en seven");  // low 16 bits of the id
  EXPECT_EQ(view.SL_resSetLanguage(2052), 1);
  view.SL_resReload();
  EXPECT_EQ(u16(view.Pages()[0].Slides[0].Text), u"zh seven");
  EXPECT_EQ(u16(view.SL_resGetItem(1)), u"zh");
  EXPECT_EQ(view.SL_resSelectLanguage(0), 1033);
}

TEST_F(LanguageTable, ViewWithoutTablesAnswersNothing) {
  CSkinlet view;
  EXPECT_EQ(view.SL_resGetItem(1), nullptr);
  EXPECT_EQ(view.SL_resSelectLanguage(0), 65535);
  EXPECT_EQ(view.SL_resSetLanguage(1033), 0);
  view.SL_resReload();
}

TEST_F(LanguageTable, AListWithoutLanguagesSaysWhichFileAndWhy) {
  struct Case {
    const char* what;
    const char* text;  // nullptr: no file
    const char* reason;
  } cases[] = {
      {"missing", nullptr, "no such file"},
      {"unparsable", "<LANGUAGES><LANGUAGE LANGID='1033'>en.rc", "it cannot be read or parsed"},
      {"wrong root", "<LANGS/>", "no LANGUAGES element"},
      {"no entries", "<LANGUAGES></LANGUAGES>", "no LANGUAGE entries"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(root + "/Windows/language.xml");
    if (c.text) write("Windows/language.xml", c.text);
    console.clear();
    CTxtRes table;
    EXPECT_TRUE(table.Languages().empty());
    EXPECT_NE(console.find("language.xml lists no language: " + std::string(c.reason)), std::string::npos) << console;
  }
  console.clear();
  std::filesystem::remove(root + "/Windows/language.xml");
  std::filesystem::create_directories(root + "/Windows/language.xml");
  CTxtRes folder;
  EXPECT_NE(console.find("lists no language: it is a folder"), std::string::npos) << console;
}

}  // namespace
