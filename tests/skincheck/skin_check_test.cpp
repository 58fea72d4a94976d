// The skin checker, on skins written into a temporary folder: a clean skin gives no finding,
// and every mistake planted into it is reported at its exact line. Mistakes that make the
// loader skip something are also loaded by the real loader, to show that it does skip.
#include "authoring/skin_check.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "bitmap_file.h"
#include "markup.h"
#include "skin_loader.h"
#include "windows.h"

namespace {

namespace fs = std::filesystem;
using skinlet::check::Finding;
using skinlet::check::Severity;

const char kCleanScript[] = R"(<?xml version="1.0" encoding="utf-8"?>
<SL_MENUS>
<MENU>
  <BACKGRUOND MapId="1"/>
  <MVIEWPORT LocX="0" LocY="40" Width="200" Hight="100"/>
  <TEXTS>
    <TxtFont value="5"/>
    <TEXT>
      <TxtActionID value="1"/>
      <TxtTextureID value="100"/>
      <TxtArea LocX="0" LocY="0" Width="100" Hight="20"/>
    </TEXT>
  </TEXTS>
  <BUTTONS>
    <BUTTON>
      <BtnActionID value="0"/>
      <BtnTouchArea LocX="0" LocY="30" Width="40" Hight="30"/>
      <BtnArea LocX="0" LocY="30" Width="40" Hight="30"/>
      <BtnImgUp MapId="2"/>
      <BtnImgDn MapId="3"/>
      <BtnTxtId value="101"/>
    </BUTTON>
    <BUTTON>
      <BtnActionID value="1"/>
      <BtnTouchArea LocX="50" LocY="30" Width="40" Hight="30"/>
      <BtnArea LocX="50" LocY="30" Width="40" Hight="30"/>
      <BtnImgUp MapId="2"/>
    </BUTTON>
  </BUTTONS>
  <PROGRESSES>
    <PROGRESS>
      <PrgActionID value="10"/>
      <PrgArea LocX="70" LocY="80" Width="60" Hight="10"/>
      <PrgIrDirect Left="-1" Rigth="11" Top="-1" Bottom="-1" Ok="0" Close="0" UpLt="0" DnRt="0"/>
    </PROGRESS>
    <PROGRESS>
      <PrgActionID value="11"/>
      <PrgArea LocX="10" LocY="80" Width="60" Hight="10"/>
      <PrgIrDirect Left="10" Rigth="-1" Top="-1" Bottom="-1" Ok="0" Close="0" UpLt="0" DnRt="0"/>
    </PROGRESS>
  </PROGRESSES>
  <GIFS>
    <GIF>
      <GifActionID value="1"/>
      <GifArea LocX="140" LocY="0" Width="20" Hight="20"/>
      <GifImg>anim.gif</GifImg>
    </GIF>
  </GIFS>
  <TABLES>
    <TblTxtId value="-1"/>
    <TABLEITEM>
      <TblActionID value="0"/>
      <TblTouchArea LocX="100" LocY="30" Width="90" Hight="20"/>
      <TblIrDirect Left="-1" Rigth="-1" Top="-1" Bottom="1" Ok="2" Close="0" UpLt="0" DnRt="0"/>
    </TABLEITEM>
    <TABLEITEM>
      <TblActionID value="1"/>
      <TblTouchArea LocX="100" LocY="50" Width="90" Hight="20"/>
      <TblIrDirect Left="-1" Rigth="-1" Top="0" Bottom="-1" Ok="2" Close="0" UpLt="0" DnRt="0"/>
    </TABLEITEM>
  </TABLES>
</MENU>
</SL_MENUS>
)";

const char kImageTable[] = R"(<?xml version="1.0" encoding="utf-8"?>
<IMAGES>
<IMAGE ImgId="1">bg.bmp</IMAGE>
<IMAGE ImgId="2">up.bmp</IMAGE>
<IMAGE ImgId="3">dn.bmp</IMAGE>
</IMAGES>
)";

const char kLanguages[] = R"(<?xml version="1.0" encoding="utf-8"?>
<LANGUAGES>
<LANGUAGE LANGID="1033">lang_en.rc</LANGUAGE>
<LANGUAGE LANGID="2052">lang_zh.rc</LANGUAGE>
</LANGUAGES>
)";

std::string stringTable(const std::string& entries) { return "STRINGTABLE\nBEGIN\n" + entries + "END\n"; }

// `text` with `from` (which must occur exactly once) replaced by `to`.
std::string plant(const std::string& text, const std::string& from, const std::string& to) {
  size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at == std::string::npos) return text;
  EXPECT_EQ(text.find(from, at + 1), std::string::npos) << from << " occurs twice";
  return text.substr(0, at) + to + text.substr(at + from.size());
}

std::string describe(const std::vector<Finding>& findings) {
  std::string out;
  for (const Finding& f : findings) out += skinlet::check::format(f) + "\n";
  return out.empty() ? "(no findings)\n" : out;
}

class SkinCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "skincheck-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    ASSERT_NE(mkdtemp(buffer.data()), nullptr);
    unit = buffer.data();
    skin = unit / "Skin200";
    write("language.xml", kLanguages);
    write("lang_en.rc", stringTable("    100, \"Hello\"\n    101, \"Start\"\n"));
    write("lang_zh.rc", stringTable("    100, \"Ni hao\"\n    101, \"Kaishi\"\n"));
    write("Skin200/image.xml", kImageTable);
    write("Skin200/Skin/bg.bmp", hu::test::bitmapFile(200, 100, [](int, int) { return 0x102030u; }));
    write("Skin200/Skin/up.bmp", hu::test::bitmapFile(40, 30, [](int, int) { return 0x405060u; }));
    write("Skin200/Skin/dn.bmp", hu::test::bitmapFile(40, 30, [](int, int) { return 0x708090u; }));
    write("Skin200/Skin/anim.gif", "GIF89a");
    script = kCleanScript;
  }
  void TearDown() override { fs::remove_all(unit); }

  void write(const std::string& relative, const std::string& bytes) {
    fs::path path = unit / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }

  std::vector<Finding> check() {
    write("Skin200/Main_Script.xml", script);
    return skinlet::check::checkSkin(skin);
  }

  // Loads the script with the engine's own loader.
  std::vector<tagMenu> loadWithEngine() const {
    CMarkup xml;
    xml.SetDoc(plat::utf8ToUtf16(script));
    std::vector<tagMenu> pages;
    skinlet::loadPages(xml, pages, nullptr);
    return pages;
  }

  fs::path scriptPath() const { return skin / "Main_Script.xml"; }

  fs::path unit;
  fs::path skin;
  std::string script;
};

TEST_F(SkinCheck, CleanSkinHasNoFinding) {
  std::vector<Finding> findings = check();
  EXPECT_TRUE(findings.empty()) << describe(findings);
}

TEST_F(SkinCheck, DefaultSkinOfTheUnitIsClean) {
  std::vector<Finding> findings = skinlet::check::checkSkin(fs::path(HU_SOURCE_DIR) / "unit/Windows/Skin800x480");
  EXPECT_TRUE(findings.empty()) << describe(findings);
}

// One planted mistake: where it goes (one or two replacements in the clean script), the line
// and severity of the first finding, what it says, how many findings there are, and, for
// what the loader skips, how the real loader shows that it skipped it.
struct Planted {
  const char* name;
  std::vector<std::pair<std::string, std::string>> replace;
  int line;
  Severity severity;
  const char* says;
  std::function<bool(const std::vector<tagMenu>&)> engineSkipped = nullptr;
  size_t count = 1;
};

using Pages = std::vector<tagMenu>;
const std::string kText =
    "    <TEXT>\n      <TxtActionID value=\"1\"/>\n      <TxtTextureID value=\"100\"/>\n"
    "      <TxtArea LocX=\"0\" LocY=\"0\" Width=\"100\" Hight=\"20\"/>\n    </TEXT>\n";

const std::vector<Planted>& plantedMistakes() {
  static const std::vector<Planted> cases = {
      {"element out of its row order",
       {{"      <TxtActionID value=\"1\"/>\n      <TxtTextureID value=\"100\"/>\n",
         "      <TxtTextureID value=\"100\"/>\n      <TxtActionID value=\"1\"/>\n"}},
       9,
       Severity::Error,
       "'TxtTextureID' in TEXT is out of order: it is read after 'TxtActionID' (line 10)",
       [](const Pages& p) { return p[0].Texts[0].TextureIDs.empty(); }},
      {"element after a repeated row's element",
       {{"      <TxtTextureID value=\"100\"/>\n      <TxtArea LocX=\"0\" LocY=\"0\" Width=\"100\" Hight=\"20\"/>\n",
         "      <TxtArea LocX=\"0\" LocY=\"0\" Width=\"100\" Hight=\"20\"/>\n      <TxtTextureID value=\"100\"/>\n"}},
       10,
       Severity::Error,
       "'TxtArea' in TEXT is out of order: it is read after 'TxtTextureID' (line 11)",
       [](const Pages& p) { return p[0].Texts[0].TxtArea.Width == 0; }},
      {"repeated element after the next row",
       {{"      <BtnImgDn MapId=\"3\"/>\n", "      <BtnImgDn MapId=\"3\"/>\n      <BtnImgUp MapId=\"2\"/>\n"}},
       20,
       Severity::Error,
       "'BtnImgDn' in BUTTON is not read: 'BtnImgUp' is repeated after it (line 21)",
       [](const Pages& p) { return p[0].Buttons[0].ImgDn.empty() && p[0].Buttons[0].ImgUp.size() == 2; }},
      {"second element of a row read once",
       {{"      <BtnActionID value=\"1\"/>\n", "      <BtnActionID value=\"1\"/>\n      <BtnActionID value=\"7\"/>\n"}},
       25,
       Severity::Error,
       "a second 'BtnActionID' in BUTTON is ignored: only the first (line 24) is read",
       [](const Pages& p) { return p[0].Buttons[1].ActionID == 1; }},
      {"second section of a kind",
       {{"  </TEXTS>\n", "  </TEXTS>\n  <TEXTS><TEXT><TxtActionID value=\"9\"/></TEXT></TEXTS>\n"}},
       14,
       Severity::Error,
       "a second 'TEXTS' section in MENU is ignored: only the first (line 6) is read",
       [](const Pages& p) { return p[0].Texts.size() == 1; }},
      {"section out of order",
       {{"  <GIFS>\n", "  <PICTURES><PICTURE/></PICTURES>\n  <GIFS>\n"}},
       42,
       Severity::Error,
       "section 'PICTURES' in MENU is out of order: it is read after 'GIFS' (line 43)",
       [](const Pages& p) { return p[0].Pictures.empty(); }},
      {"default after items",
       {{kText, "    <TEXT>\n      <TxtActionID value=\"1\"/>\n    </TEXT>\n    <TxtSize value=\"30\"/>\n"}},
       8,
       Severity::Error,
       "'TEXT' is not loaded: the default 'TxtSize' (line 11) stands after it",
       [](const Pages& p) { return p[0].Texts.empty(); }},
      {"section before a page property",
       {{"  <MVIEWPORT ", "  <SECTORS><SECTOR/></SECTORS>\n  <MVIEWPORT "}},
       5,
       Severity::Error,
       "section 'SECTORS' is not loaded: the page property 'MVIEWPORT' (line 6) stands after it",
       [](const Pages& p) { return p[0].Sectors.empty(); }},
      {"unknown element",
       {{"      <BtnArea LocX=\"50\"", "      <BtnAera LocX=\"50\""}},
       26,
       Severity::Error,
       "unknown element 'BtnAera' in BUTTON is not read; did you mean 'BtnArea'?",
       [](const Pages& p) { return p[0].Buttons[1].BtnArea.Width == 0; }},
      {"unknown attribute",
       {{"Width=\"100\" Hight=\"20\"", "Width=\"100\" Height=\"20\""}},
       11,
       Severity::Error,
       "unknown attribute 'Height' of 'TxtArea' is not read; did you mean 'Hight'?",
       [](const Pages& p) { return p[0].Texts[0].TxtArea.Hight == 0; },
       2},
      {"attribute of an item",
       {{"    <BUTTON>\n      <BtnActionID value=\"1\"/>", "    <BUTTON id=\"1\">\n      <BtnActionID value=\"1\"/>"}},
       23,
       Severity::Error,
       "attribute 'id' of 'BUTTON' is not read: values are given as child elements"},
      {"number the loader reads otherwise",
       {{"<TxtArea LocX=\"0\"", "<TxtArea LocX=\"12px\""}},
       11,
       Severity::Error,
       "value '12px' of 'LocX' in 'TxtArea' is read as 12 (only decimal integers are read)",
       [](const Pages& p) { return p[0].Texts[0].TxtArea.LocX == 12; }},
      {"colour component above 255",
       {{"<TxtFont value=\"5\"/>", "<TxtFont value=\"5\"/><TxtColor R=\"300\" G=\"0\" B=\"0\"/>"}},
       7,
       Severity::Error,
       "colour component 'R' = 300 in 'TxtColor' keeps only its low 8 bits: it is read as 44",
       [](const Pages& p) { return p[0].Texts[0].TxtColor == 44; }},
      {"missing link of a progress bar",
       {{"Rigth=\"11\" Top=\"-1\" ", "Rigth=\"11\" "}},
       34,
       Severity::Warning,
       "'PrgIrDirect' has no 'Top' and it is read as 0: the link goes to 0, not nowhere"},
      {"unknown page",
       {{"<MENU>\n", "<MENUS></MENUS>\n<MENU>\n"}},
       3,
       Severity::Error,
       "unknown element 'MENUS' in SL_MENUS is not read; did you mean 'MENU'?"},
      {"image id not in the image table",
       {{"<BtnImgDn MapId=\"3\"/>", "<BtnImgDn MapId=\"4\"/>"}},
       20,
       Severity::Error,
       "image 4 of 'BtnImgDn' is not in image.xml"},
      {"image id beyond 16 bits",
       {{"<BtnImgDn MapId=\"3\"/>", "<BtnImgDn MapId=\"65539\"/>"}},
       20,
       Severity::Error,
       "image 65539 of 'BtnImgDn' is not in image.xml"},
      {"text id missing from the modules",
       {{"<BtnTxtId value=\"101\"/>", "<BtnTxtId value=\"102\"/>"}},
       21,
       Severity::Error,
       "text 102 of 'BtnTxtId' is missing from language module 'lang_en.rc' (1033)",
       nullptr,
       2},
      {"file that does not exist",
       {{"<GifImg>anim.gif", "<GifImg>anim2.gif"}},
       46,
       Severity::Error,
       "file 'anim2.gif' of 'GifImg' does not exist in the Skin folder"},
      {"focus link to an action id nobody has",
       {{"Rigth=\"11\" Top=\"-1\"", "Rigth=\"11\" Top=\"12\""}},
       34,
       Severity::Error,
       "the Top link of progress bar 10 names action id 12, which no button or progress bar"},
      {"table link past the last item",
       {{"Top=\"0\" Bottom=\"-1\"", "Top=\"0\" Bottom=\"2\""}},
       59,
       Severity::Error,
       "the Bottom link of table item 1 names position 2, but the table has 2 items"},
      {"hot-key mode naming no button",
       {{"      <BtnActionID value=\"1\"/>\n",
         "      <BtnActionID value=\"1\"/>\n      <BtnIrHotKeyMode nextMode=\"5\" initMode=\"1\"/>\n"}},
       25,
       Severity::Error,
       "the nextMode of button 1 names action id 5, which no button of the page has"},
      {"action id given twice in a kind",
       {{"<BtnActionID value=\"1\"/>", "<BtnActionID value=\"0\"/>"}},
       24,
       Severity::Warning,
       "button action id 0 is given twice on the page (first at line 15)"},
      {"one-way link",
       {{"Left=\"10\" Rigth=\"-1\"", "Left=\"-1\" Rigth=\"-1\""}},
       34,
       Severity::Warning,
       "the Rigth link of progress bar 10 to 11 is one-way: Left of 11 does not lead back"},
      {"table item the keys cannot reach",
       {{"Top=\"-1\" Bottom=\"1\"", "Top=\"-1\" Bottom=\"-1\""},
        {"Top=\"0\" Bottom=\"-1\"", "Top=\"-1\" Bottom=\"-1\""}},
       56,
       Severity::Warning,
       "table item 1 cannot be reached with the arrow keys from item 0"},
      {"widget outside the viewport",
       {{"<GifArea LocX=\"140\"", "<GifArea LocX=\"190\""}},
       45,
       Severity::Warning,
       "animation 1's GifArea (190,0 20x20) reaches outside the page's viewport (200x100)"},
      {"overlapping touch areas",
       {{"<BtnTouchArea LocX=\"50\"", "<BtnTouchArea LocX=\"30\""}},
       25,
       Severity::Warning,
       "the touch area of button 1 overlaps that of button 0 (line 17)"},
      {"bitmap size differs from its area",
       {{"<BtnArea LocX=\"0\" LocY=\"30\" Width=\"40\"", "<BtnArea LocX=\"0\" LocY=\"30\" Width=\"44\""}},
       19,
       Severity::Warning,
       "BtnImgUp image 2 is 40x30 but its button's BtnArea (line 18) is 44x30",
       nullptr,
       2},
      {"table row bitmap of another size than the row",
       {{"<TblTxtId value=\"-1\"/>", "<TblImgNameBg MapId=\"2\"></TblImgNameBg><TblTxtId value=\"-1\"/>"},
        {"<TblTouchArea LocX=\"100\" LocY=\"30\" Width=\"90\" Hight=\"20\"/>",
         "<TblTouchArea LocX=\"100\" LocY=\"30\" Width=\"90\" Hight=\"20\"/><TblItemArea LocX=\"100\" LocY=\"30\" "
         "Width=\"90\" Hight=\"20\"/>"}},
       50,
       Severity::Warning,
       "TblImgNameBg image 2 is 40x30 but its table item's TblItemArea (line 53) is 90x20"},
      {"button link that the load replaces (links written as the load computes them are fine)",
       {{"<BtnTxtId value=\"101\"/>\n",
         "<BtnTxtId value=\"101\"/>\n      <BtnIrDirect Left=\"5\" Rigth=\"1\" Top=\"-1\" Ok=\"7\"/>\n"}},
       22,
       Severity::Warning,
       "the Left link 5 of button 0 is not used: the engine computes 1 from the button positions"},
      {"broken XML",
       {{"  </TEXTS>", "  </TEXTZ>"}},
       13,
       Severity::Error,
       "not well-formed XML (No start tag for end tag 'TEXTZ'"},
      {"root that is not a page list",
       {{"<SL_MENUS>\n", "<SL_MENU>\n"}, {"</SL_MENUS>", "</SL_MENU>"}},
       2,
       Severity::Error,
       "the root element is 'SL_MENU', not 'SL_MENUS'"},
  };
  return cases;
}

TEST_F(SkinCheck, EveryPlantedMistakeIsReportedAtItsLineAndNothingElse) {
  for (const Planted& c : plantedMistakes()) {
    SCOPED_TRACE(c.name);
    script = kCleanScript;
    for (const auto& [from, to] : c.replace) script = plant(script, from, to);
    std::vector<Finding> findings = check();
    ASSERT_EQ(findings.size(), c.count) << describe(findings);
    const Finding& f = findings[0];
    EXPECT_EQ(f.file, scriptPath().string());
    EXPECT_EQ(f.line, c.line) << describe(findings);
    EXPECT_EQ(f.severity, c.severity) << describe(findings);
    EXPECT_NE(f.message.find(c.says), std::string::npos) << describe(findings);
    if (c.engineSkipped) {
      std::vector<tagMenu> pages = loadWithEngine();
      ASSERT_EQ(pages.size(), 1u);
      EXPECT_TRUE(c.engineSkipped(pages)) << "the loader read what the checker calls skipped";
    }
  }
}

TEST_F(SkinCheck, ATextMissingFromEveryModuleIsReportedPerModule) {
  script = plant(kCleanScript, "<TxtTextureID value=\"100\"/>", "<TxtTextureID value=\"300\"/>");
  std::vector<Finding> findings = check();
  ASSERT_EQ(findings.size(), 2u) << describe(findings);
  EXPECT_NE(findings[0].message.find("'lang_en.rc' (1033)"), std::string::npos);
  EXPECT_NE(findings[1].message.find("'lang_zh.rc' (2052)"), std::string::npos);
  EXPECT_EQ(findings[0].line, 10);
}

TEST_F(SkinCheck, ImageTableAndLanguageListAreCheckedAtTheirLines) {
  write("Skin200/image.xml", plant(kImageTable, "</IMAGES>",
                                   "<IMAGE ImgId=\"7\">junk.bmp</IMAGE>\n<IMAGE ImgId=\"8\">gone.bmp</IMAGE>\n"
                                   "<IMAGE ImgId=\"2\">dn.bmp</IMAGE>\n<IMAGE ImgID=\"9\">up.bmp</IMAGE>\n</IMAGES>"));
  write("Skin200/Skin/junk.bmp", "this is no bitmap");
  write("language.xml",
        plant(kLanguages, "</LANGUAGES>", "<LANGUAGE LANGID=\"1041\">lang_ja.rc</LANGUAGE>\n</LANGUAGES>"));
  std::vector<Finding> findings = check();
  std::vector<std::string> lines;
  for (const Finding& f : findings)
    lines.push_back(fs::path(f.file).filename().string() + ":" + std::to_string(f.line));
  EXPECT_EQ(lines,
            (std::vector<std::string>{"image.xml:6", "image.xml:7", "image.xml:8", "image.xml:9", "language.xml:5"}))
      << describe(findings);
  ASSERT_EQ(findings.size(), 5u);
  EXPECT_NE(findings[0].message.find("'junk.bmp' of image 7 does not load (not a BMP file)"), std::string::npos);
  EXPECT_NE(findings[1].message.find("'gone.bmp' of image 8 does not exist"), std::string::npos);
  EXPECT_EQ(findings[2].severity, Severity::Warning);  // id 2 twice
  EXPECT_NE(findings[3].message.find("'ImgID'"), std::string::npos);
  EXPECT_NE(findings[4].message.find("'lang_ja.rc' (1041) does not load (not found)"), std::string::npos);
}

TEST_F(SkinCheck, AScriptReferringToAnImageWhoseBitmapFailsIsToldWhy) {
  write("Skin200/Skin/dn.bmp", "junk");
  std::vector<Finding> findings =
      skinlet::check::checkScript(skin, (write("Skin200/Main_Script.xml", script), scriptPath()));
  ASSERT_EQ(findings.size(), 1u) << describe(findings);
  EXPECT_EQ(findings[0].line, 20);
  EXPECT_NE(findings[0].message.find("its bitmap 'dn.bmp' does not load (image.xml line 5)"), std::string::npos);
}

TEST_F(SkinCheck, ModulesNamedWithAPathAreFoundFromTheUnitRoot) {
  write("Skin200/Main_Script.xml", script);
  fs::create_directories(unit / "Windows");
  fs::copy(skin, unit / "Windows/Skin200", fs::copy_options::recursive);
  write("Windows/Lang/en.rc", stringTable("    100, \"Hello\"\n    101, \"Start\"\n"));
  write("Windows/language.xml",
        "<LANGUAGES>\n<LANGUAGE LANGID=\"1033\">\\Windows\\Lang\\en.rc</LANGUAGE>\n"
        "<LANGUAGE LANGID=\"2052\">\\Lang\\en.rc</LANGUAGE>\n</LANGUAGES>\n");
  std::vector<Finding> findings = skinlet::check::checkSkin(unit / "Windows/Skin200");
  ASSERT_EQ(findings.size(), 1u) << describe(findings);
  EXPECT_EQ(findings[0].line, 3);
  EXPECT_NE(findings[0].message.find("(2052) does not load"), std::string::npos);
}

// ---- bad input: every file is answered with a finding, never with a crash or a hang

TEST_F(SkinCheck, BadFilesGiveOneFindingEach) {
  // Binary junk.
  script = std::string("\x00\xff\xfe<\x01\x02\x03", 7) + std::string(1000, '\x9c');
  std::vector<Finding> findings = check();
  ASSERT_EQ(findings.size(), 1u) << describe(findings);
  EXPECT_EQ(findings[0].severity, Severity::Error);

  // A script of any name is checked, not only the launcher's "..._Script.xml".
  write("Skin200/Settings.xml", "<SL_MENUS><MENU><TEXTS></MENU>");
  findings = check();
  ASSERT_EQ(findings.size(), 2u) << describe(findings);
  EXPECT_EQ(fs::path(findings[1].file).filename(), "Settings.xml");
  fs::remove(skin / "Settings.xml");

  // An enormous file is refused without being read.
  fs::resize_file((write("Skin200/Main_Script.xml", ""), scriptPath()), skinlet::check::kMaxFileBytes + 1);
  findings = skinlet::check::checkSkin(skin);
  ASSERT_EQ(findings.size(), 1u) << describe(findings);
  EXPECT_NE(findings[0].message.find("bytes are not read"), std::string::npos);

  // Many widgets whose touch areas all overlap, and many unknown elements: answered without
  // comparing everything with everything.
  const int kMany = 10000;
  std::string many = "<SL_MENUS><MENU><BUTTONS>\n";
  for (int i = 0; i < kMany; ++i)
    many += "<BUTTON><BtnTouchArea LocX=\"0\" LocY=\"0\" Width=\"9\" Hight=\"9\"/><x/></BUTTON>\n";
  script = many + "</BUTTONS></MENU></SL_MENUS>";
  findings = check();
  EXPECT_EQ(std::count_if(findings.begin(), findings.end(),
                          [](const Finding& f) { return f.message.find("overlaps") != std::string::npos; }),
            200);
  EXPECT_EQ(std::count_if(findings.begin(), findings.end(),
                          [](const Finding& f) { return f.message.find("unknown element 'x'") != std::string::npos; }),
            kMany);

  // Deep nesting: only the levels a script has are walked.
  std::string deep = "<SL_MENUS><MENU><TEXTS><TEXT>";
  for (int i = 0; i < 20000; ++i) deep += "<a>";
  for (int i = 0; i < 20000; ++i) deep += "</a>";
  script = deep + "</TEXT></TEXTS></MENU></SL_MENUS>";
  findings = check();
  ASSERT_EQ(findings.size(), 1u) << describe(findings);
  EXPECT_NE(findings[0].message.find("unknown element 'a' in TEXT"), std::string::npos);
}

TEST_F(SkinCheck, MissingFoldersAndFilesAreFindings) {
  std::vector<Finding> findings = skinlet::check::checkSkin(unit / "NoSuchSkin");
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].message, "no such folder");

  fs::remove(skin / "image.xml");
  fs::remove(unit / "language.xml");
  findings = check();
  ASSERT_EQ(findings.size(), 2u) << describe(findings);
  EXPECT_EQ(fs::path(findings[0].file).filename(), "image.xml");
  EXPECT_EQ(fs::path(findings[1].file).filename(), "language.xml");

  if (geteuid() != 0) {  // root reads every file
    write("Skin200/Main_Script.xml", script);
    chmod(scriptPath().c_str(), 0);
    findings = skinlet::check::checkScript(skin, scriptPath());
    ASSERT_EQ(findings.size(), 1u) << describe(findings);
    EXPECT_NE(findings[0].message.find("cannot be read"), std::string::npos);
  }
}

// Whatever stands where a script, a table, a module or a bitmap should be is an error saying
// what it is, found at once.
TEST_F(SkinCheck, EntriesThatAreNotFilesAreErrorsSayingWhatTheyAre) {
  ::alarm(60);  // watchdog: a checker waiting on a pipe ends the program
  write("Skin200/Main_Script.xml", script);
  auto pipe = [](const fs::path& p) { mkfifo(p.c_str(), 0644); };
  auto zero = [](const fs::path& p) { fs::create_symlink("/dev/zero", p); };
  const std::tuple<const char*, std::function<void(const fs::path&)>, const char*> cases[] = {
      {"Skin200/A_Script.xml", zero, "is a character device, not a file"},
      {"Skin200/A_Script.xml", [](const fs::path& p) { fs::create_symlink(p.filename(), p); }, "is a link loop"},
      {"Skin200/A_Script.xml", [](const fs::path& p) { fs::create_symlink("gone", p); }, "is a link to nothing"},
      {"Skin200/A_Script.xml", pipe, "is a named pipe (FIFO), not a file"},
      {"Skin200/A_Script.xml", [](const fs::path& p) { fs::create_directory(p); }, "is a folder, not a file"},
      {"Skin200/image.xml", pipe, "is a named pipe (FIFO), not a file"},
      {"language.xml", zero, "is a character device, not a file"},
      {"lang_en.rc", pipe, "(1033) does not load (is a named pipe (FIFO), not a file)"},
      {"Skin200/Skin/dn.bmp", pipe, "of image 3 does not load (is a named pipe (FIFO), not a file)"}};
  for (const auto& [where, make, says] : cases) {
    std::error_code none;
    fs::rename(unit / where, unit / "saved", none);
    make(unit / where);
    std::vector<Finding> found = skinlet::check::checkSkin(skin);
    EXPECT_TRUE(std::any_of(found.begin(), found.end(), [&, says = says](const Finding& f) {
      return f.severity == Severity::Error && f.message.find(says) != std::string::npos;
    })) << where << ": " << says << "\n" << describe(found);
    fs::remove_all(unit / where);
    fs::rename(unit / "saved", unit / where, none);
  }
  ::alarm(0);
}

TEST(SkinCheckFormat, FindingsReadAsCompilerMessages) {
  EXPECT_EQ(skinlet::check::format(Finding{"a/B_Script.xml", 12, Severity::Error, "x"}), "a/B_Script.xml:12: error: x");
  EXPECT_EQ(skinlet::check::format(Finding{"a/image.xml", 0, Severity::Warning, "y"}), "a/image.xml: warning: y");
}

// ---- the program

class SkinCheckProgram : public SkinCheck {
 protected:
  // `whole`: the arguments are the whole command (a program that runs the checker).
  int run(const std::string& arguments, bool whole = false) {
    std::string command = (whole ? "" : std::string(SKIN_CHECK_PROGRAM) + " ") + arguments + " >" +
                          (unit / "out.txt").string() + " 2>" + (unit / "err.txt").string();
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string read(const char* name) {
    std::ifstream in(unit / name);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
};

TEST_F(SkinCheckProgram, ExitStatusTellsCleanWarningsAndErrors) {
  write("Skin200/Main_Script.xml", script);
  EXPECT_EQ(run(skin.string()), 0) << read("out.txt");
  EXPECT_EQ(read("out.txt"), "");
  EXPECT_NE(read("err.txt").find("0 errors, 0 warnings"), std::string::npos);

  write("Skin200/Main_Script.xml", plant(script, "<GifArea LocX=\"140\"", "<GifArea LocX=\"190\""));
  EXPECT_EQ(run(skin.string()), 1);
  EXPECT_NE(read("out.txt").find("Main_Script.xml:45: warning: "), std::string::npos) << read("out.txt");

  write("Skin200/Main_Script.xml", plant(script, "<GifImg>anim.gif", "<GifImg>nothing.gif"));
  EXPECT_EQ(run(skin.string() + " --quiet"), 2);
  EXPECT_NE(read("out.txt").find("Main_Script.xml:46: error: "), std::string::npos) << read("out.txt");
  EXPECT_EQ(read("err.txt").find("skin-check:"), std::string::npos);

  // The language folder can be given: without it here, the modules are not found.
  fs::create_directories(unit / "elsewhere/Skin200");
  fs::copy(skin, unit / "elsewhere/Skin200", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  write("Skin200/Main_Script.xml", script);
  fs::copy(scriptPath(), unit / "elsewhere/Skin200/Main_Script.xml", fs::copy_options::overwrite_existing);
  EXPECT_EQ(run((unit / "elsewhere/Skin200").string()), 2);
  EXPECT_EQ(run((unit / "elsewhere/Skin200").string() + " --lang-dir " + unit.string()), 0) << read("out.txt");
}

// Unreadable files say so with the system's reason (run as nobody when root, who reads all),
// and --quiet leaves standard error empty.
TEST_F(SkinCheckProgram, UnreadableFilesSayPermissionDeniedAndQuietPrintsOnlyFindings) {
  write("Skin200/Main_Script.xml", script);
  const std::string as = geteuid() ? "" : "setpriv --reuid=65534 --regid=65534 --clear-groups ";
  if (!as.empty() && std::system((as + "true").c_str()) != 0) GTEST_SKIP() << "setpriv cannot run as nobody here";
  fs::permissions(unit, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
  const std::pair<const char*, const char*> cases[] = {
      {"Skin200/Skin/dn.bmp", "image.xml:5: error: bitmap 'dn.bmp' of image 3 does not load (cannot be read: "
                              "permission denied)"},
      {"Skin200/Main_Script.xml", "Main_Script.xml: error: cannot be read: permission denied"},
      {"Skin200/Skin", "Skin: error: cannot be read: permission denied: no bitmap or file in it loads"}};
  for (const auto& [file, says] : cases) {
    const fs::perms before = fs::status(unit / file).permissions();
    fs::permissions(unit / file, fs::perms::none);
    EXPECT_EQ(run(as + SKIN_CHECK_PROGRAM + " --quiet " + skin.string(), true), 2);
    EXPECT_NE(read("out.txt").find(says), std::string::npos) << read("out.txt");
    EXPECT_EQ(read("out.txt").find("does not exist"), std::string::npos) << read("out.txt");
    EXPECT_EQ(read("err.txt"), "");
    fs::permissions(unit / file, before);
  }
}

TEST_F(SkinCheckProgram, DefaultSkinOfTheUnitExitsClean) {
  EXPECT_EQ(run(std::string(HU_SOURCE_DIR) + "/unit/Windows/Skin800x480"), 0) << read("out.txt");
}

TEST_F(SkinCheckProgram, UnusableArgumentsExitWithTwoAndSayWhy) {
  EXPECT_EQ(run((unit / "missing").string()), 2);
  EXPECT_NE(read("err.txt").find("no such folder"), std::string::npos);
  EXPECT_EQ(run(""), 2);
  EXPECT_NE(read("err.txt").find("no skin folder given"), std::string::npos);
  EXPECT_EQ(run(skin.string() + " --lang-dir"), 2);
  EXPECT_EQ(run(skin.string() + " --bogus"), 2);
  EXPECT_EQ(run("--help"), 0);
  EXPECT_NE(read("out.txt").find("skin folder's parent"), std::string::npos);
}

}  // namespace
