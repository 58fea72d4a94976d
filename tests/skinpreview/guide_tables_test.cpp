// The read-order tables of the skin guide (docs/skins.md) against the loader's behaviour: for
// each row of the guide, a script with every element the row names, in the row's order, each
// with a value of its own; every element must then be found in what the loader made. A name
// the loader does not know, or two names in an order the loader does not read them, leaves
// an element unread and fails here.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "../support/bitmap_file.h"
#include "../support/platform_fixture.h"
#include "img_res.h"
#include "markup.h"
#include "plat_strings.h"
#include "skin_loader.h"

namespace {

struct GuideRow {
  std::string kind;                // "TEXT", "MENU properties", "MENU sections"
  std::vector<std::string> names;  // in the guide's order
  std::vector<std::string> items;  // sections row: the item element of each section
};

// Reads every table row of the guide whose first cell starts with a name in backticks.
std::map<std::string, GuideRow> guideRows() {
  std::ifstream in(std::string(HU_SOURCE_DIR) + "/docs/skins.md");
  std::map<std::string, GuideRow> rows;
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("| `", 0) != 0) continue;
    const size_t split = line.find(" | ", 2);
    if (split == std::string::npos) continue;
    GuideRow row;
    for (char c : line.substr(2, split - 2))
      if (c != '`') row.kind += c;
    std::string cell = line.substr(split + 3);
    cell = cell.substr(0, cell.rfind(" |"));
    // Entries are separated by commas outside parentheses.
    std::vector<std::string> entries(1);
    int depth = 0;
    for (char c : cell) {
      if (c == ',' && depth == 0) {
        entries.emplace_back();
        continue;
      }
      depth += c == '(' ? 1 : c == ')' ? -1 : 0;
      entries.back() += c;
    }
    for (const std::string& entry : entries) {
      std::stringstream words(entry);
      std::string name, next;
      words >> name;
      if (words >> next && next.front() == '(') row.items.push_back(next.substr(1, next.find(')') - 1));
      if (!name.empty()) row.names.push_back(name);
    }
    rows[row.kind] = row;
  }
  return rows;
}

// Element i of a row carries the number kBase + i * kStep in every attribute the loader may
// read and in its text; colours keep 8 bits, so the numbers stay below 256.
constexpr int kBase = 21;
constexpr int kStep = 11;
int numberOf(size_t i) { return kBase + static_cast<int>(i) * kStep; }

std::string element(const std::string& name, int n) {
  std::string v = std::to_string(n);
  std::string attributes;
  for (const char* a : {"value", "LocX", "LocY", "Width", "Hight", "R", "G", "B", "MapId", "Left", "Rigth", "Top",
                        "Bottom", "Ok", "Close", "UpLt", "DnRt", "nextMode", "initMode"})
    attributes += std::string(" ") + a + "=\"" + v + "\"";
  return "<" + name + attributes + ">f" + v + ".bmp</" + name + ">";
}

class GuideTables : public hu::test::PlatformFixture {
 protected:
  void prepareUnit(const std::string&) override {
    std::string table = "<IMAGES>";
    for (int id = 1; id < 256; ++id) table += "<IMAGE ImgId=\"" + std::to_string(id) + "\">p.bmp</IMAGE>";
    writeFile("Windows/Doc/image.xml", table + "</IMAGES>");
    writeFile("Windows/Doc/Skin/p.bmp", hu::test::bitmapFile(2, 2, [](int, int) { return 0x336699u; }));
  }
  void SetUp() override {
    PlatformFixture::SetUp();
    ASSERT_EQ(images_.LoadImgResource(u"image.xml", u"Doc"), 1);
    rows_ = guideRows();
  }
  void TearDown() override {
    images_.UnLoadImgResource();
    PlatformFixture::TearDown();
  }

  std::vector<tagMenu> load(const std::string& menuBody) {
    CMarkup xml;
    EXPECT_TRUE(xml.SetDoc(plat::utf8ToUtf16("<SL_MENUS><MENU>" + menuBody + "</MENU></SL_MENUS>")));
    std::vector<tagMenu> menus;
    skinlet::loadPages(xml, menus, &images_);
    return menus;
  }

  // Whether number n was left anywhere in the record: as a number, a grey colour, a percent,
  // the handle of image n, a file name "f<n>.bmp", or in one of the record's lists.
  template <class R>
  bool holds(const R& record, int n) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
    auto found = [&](const void* pattern, size_t size) {
      for (size_t at = 0; at + size <= sizeof(R); ++at)
        if (std::memcmp(bytes + at, pattern, size) == 0) return true;
      return false;
    };
    const int32_t number = n;
    const uint32_t grey = static_cast<uint32_t>(n) * 0x010101u;
    const float percent = static_cast<float>(n * 0.01);
    HBITMAP handle = images_.GetImgHandle(n);
    const std::u16string file = plat::utf8ToUtf16("f" + std::to_string(n) + ".bmp");
    if (found(&number, 4) || found(&grey, 4) || found(&percent, 4) || (handle && found(&handle, sizeof handle)) ||
        found(file.data(), file.size() * 2))
      return true;
    auto inIds = [n](const std::vector<int32_t>& list) { return std::find(list.begin(), list.end(), n) != list.end(); };
    auto inImages = [n](const std::vector<tagImgItem>& list) {
      return std::any_of(list.begin(), list.end(), [n](const tagImgItem& i) { return i.imgId == n; });
    };
    if constexpr (requires { record.TextureIDs; }) if (inIds(record.TextureIDs)) return true;
    if constexpr (requires { record.TextIds; }) if (inIds(record.TextIds)) return true;
    if constexpr (requires { record.ImgUp; })
      if (inImages(record.ImgUp) || inImages(record.ImgDn) || inImages(record.ImgGray) || inImages(record.ImgIr))
        return true;
    if constexpr (requires { record.Images; }) if (inImages(record.Images)) return true;
    return false;
  }

  // Loads one item of the row's kind with every element of the row and checks each was read.
  template <class R>
  void checkItemRow(const std::string& kind, std::vector<R> tagMenu::*list) {
    SCOPED_TRACE(kind);
    ASSERT_TRUE(rows_.count(kind)) << "the guide has no row for " << kind;
    ASSERT_TRUE(sectionOf_.count(kind)) << "the guide's sections row names no section of " << kind;
    const GuideRow& row = rows_[kind];
    std::string body;
    for (size_t i = 0; i < row.names.size(); ++i) body += element(row.names[i], numberOf(i));
    const std::string section = sectionOf_[kind];
    std::vector<tagMenu> menus = load("<" + section + "><" + kind + ">" + body + "</" + kind + "></" + section + ">");
    ASSERT_EQ(menus.size(), 1u);
    ASSERT_EQ((menus[0].*list).size(), 1u);
    for (size_t i = 0; i < row.names.size(); ++i)
      EXPECT_TRUE(holds((menus[0].*list)[0], numberOf(i))) << row.names[i] << " was not read where the guide puts it";
  }

  CImgRes images_;
  std::map<std::string, GuideRow> rows_;
  std::map<std::string, std::string> sectionOf_;
};

TEST_F(GuideTables, PagePropertiesAreReadInTheGuidesOrder) {
  ASSERT_TRUE(rows_.count("MENU properties"));
  const GuideRow& row = rows_["MENU properties"];
  ASSERT_FALSE(row.names.empty());
  std::string body;
  for (size_t i = 0; i < row.names.size(); ++i) body += element(row.names[i], numberOf(i));
  std::vector<tagMenu> menus = load(body);
  ASSERT_EQ(menus.size(), 1u);
  for (size_t i = 0; i < row.names.size(); ++i)
    EXPECT_TRUE(holds(menus[0], numberOf(i))) << row.names[i] << " was not read where the guide puts it";
}

TEST_F(GuideTables, SectionsAreReadInTheGuidesOrder) {
  ASSERT_TRUE(rows_.count("MENU sections"));
  const GuideRow& row = rows_["MENU sections"];
  ASSERT_EQ(row.items.size(), row.names.size()) << "each section names its item in parentheses";
  std::string body;
  for (size_t i = 0; i < row.names.size(); ++i)
    body += "<" + row.names[i] + "><" + row.items[i] + "/></" + row.names[i] + ">";
  std::vector<tagMenu> menus = load(body);
  ASSERT_EQ(menus.size(), 1u);
  const tagMenu& page = menus[0];
  const size_t items = page.Texts.size() + page.Buttons.size() + page.Progresses.size() + page.EightSegs.size() +
                       page.Sectors.size() + page.Gifs.size() + page.Slides.size() + page.Pictures.size() +
                       page.Tables.size() + page.Signals.size() + page.Satellites.size();
  EXPECT_EQ(items, row.names.size()) << "a section of the guide's row was not read in its place";
  EXPECT_EQ(row.names.size(), 11u) << "the page has eleven kinds of section";
}

TEST_F(GuideTables, ItemChildrenAreReadInTheGuidesOrder) {
  const GuideRow& sections = rows_["MENU sections"];
  for (size_t i = 0; i < sections.items.size() && i < sections.names.size(); ++i)
    sectionOf_[sections.items[i]] = sections.names[i];
  checkItemRow("TEXT", &tagMenu::Texts);
  checkItemRow("BUTTON", &tagMenu::Buttons);
  checkItemRow("PICTURE", &tagMenu::Pictures);
  checkItemRow("PROGRESS", &tagMenu::Progresses);
  checkItemRow("EIGHTSEG", &tagMenu::EightSegs);
  checkItemRow("SECTOR", &tagMenu::Sectors);
  checkItemRow("GIF", &tagMenu::Gifs);
  checkItemRow("SLIDEITEM", &tagMenu::Slides);
  checkItemRow("TABLEITEM", &tagMenu::Tables);
  checkItemRow("SIGNAL", &tagMenu::Signals);
  checkItemRow("SATELLITE", &tagMenu::Satellites);
}

}  // namespace
