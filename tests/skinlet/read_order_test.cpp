// Every read order of the screen-script loader, checked from tables of the orders: each row
// says how to write an element and where its value lands in the record. From the tables the
// tests write documents with every element in order (all read), with each adjacent pair
// swapped (the later row's element, now first, is skipped), and colours whose components
// carry bits above the low 8 (each cut on its own).
#include <cmath>
#include <functional>

#include "img_res.h"
#include "markup.h"
#include "skin_loader.h"
#include "skinlet.h"
#include "temp_unit.h"

namespace {

// How an element is written and read back.
enum class Form { Value, Percent, Area, Colour, Image, HandleOnly, Directions, Path, TextIds, ImageList, HotKeyMode, SatSize };

template <class R>
struct Elem {
  const char* tag;
  Form form;
  // The number the element's value left in the record (0 when the element was not read).
  std::function<int64_t(const R&, CImgRes&)> probe;
};

#define VALUE(R, tag, field) Elem<R>{tag, Form::Value, [](const R& r, CImgRes&) -> int64_t { return r.field; }}
#define PERCENT(R, tag, field) \
  Elem<R>{tag, Form::Percent, [](const R& r, CImgRes&) -> int64_t { return std::lround(r.field * 100); }}
#define AREA(R, tag, field) Elem<R>{tag, Form::Area, [](const R& r, CImgRes&) -> int64_t { return r.field.Hight; }}
#define COLOUR(R, tag, field) \
  Elem<R>{tag, Form::Colour, [](const R& r, CImgRes&) -> int64_t { return static_cast<int64_t>(r.field); }}
#define IMAGE(R, tag, idField, handleField)                                                \
  Elem<R>{tag, Form::Image, [](const R& r, CImgRes& t) -> int64_t {                       \
            return r.handleField == t.GetImgHandle(r.idField) ? int64_t(r.idField) : -1; \
          }}
#define DIRECTIONS(R, tag, field) \
  Elem<R>{tag, Form::Directions, [](const R& r, CImgRes&) -> int64_t { return r.field[IR_DNRT]; }}
#define TEXT_IDS(R, tag, field) \
  Elem<R>{tag, Form::TextIds, [](const R& r, CImgRes&) -> int64_t { return r.field.empty() ? 0 : r.field[0]; }}
#define IMAGE_LIST(R, tag, field)                                     \
  Elem<R>{tag, Form::ImageList, [](const R& r, CImgRes&) -> int64_t { \
            return r.field.empty() ? 0 : r.field[0].imgId;            \
          }}

// The number a file name "fN.bmp" at the end of a stored path gives.
int64_t pathNumber(const WCHAR* path) {
  std::u16string p(path);
  const size_t f = p.rfind(u"\\f");
  if (f == std::u16string::npos || p.size() < 4 || p.substr(p.size() - 4) != u".bmp") return 0;
  int64_t n = 0;
  for (size_t i = f + 2; i < p.size() - 4; ++i) n = n * 10 + (p[i] - u'0');
  return n;
}

// The read orders, as the script format gives them.
template <class R>
struct Order;

template <>
struct Order<tagMenu> {
  static inline const std::vector<Elem<tagMenu>> rows = {
      IMAGE(tagMenu, "BACKGRUOND", BgImgId, BgBitmap),     IMAGE(tagMenu, "BGMASK", MaskImgId, MaskBitmap),
      PERCENT(tagMenu, "BACKTRANSPARENT", BackTransparent), PERCENT(tagMenu, "FORETRANSPARENT", ForeTransparent),
      VALUE(tagMenu, "BREGION", Region),                    AREA(tagMenu, "MVIEWPORT", MainViewPort),
      AREA(tagMenu, "SVIEWPORT", SlaveViewPort),
  };
};

template <>
struct Order<tagTexture> {
  static constexpr const char* section = "TEXTS";
  static constexpr const char* item = "TEXT";
  static constexpr std::vector<tagTexture> tagMenu::*list = &tagMenu::Texts;
  static inline const std::vector<Elem<tagTexture>> rows = {
      VALUE(tagTexture, "TxtActionID", ActionID),       VALUE(tagTexture, "TxtType", TxtType),
      TEXT_IDS(tagTexture, "TxtTextureID", TextureIDs), VALUE(tagTexture, "TxtFont", TxtFont),
      VALUE(tagTexture, "TxtSize", TxtSize),            COLOUR(tagTexture, "TxtColor", TxtColor),
      COLOUR(tagTexture, "TxtColorGray", TxtColorGray), AREA(tagTexture, "TxtArea", TxtArea),
      VALUE(tagTexture, "TxtScrollPos", TxtScrollPos),  VALUE(tagTexture, "TxtAlign", TxtAlign),
  };
};

template <>
struct Order<tagButton> {
  static constexpr const char* section = "BUTTONS";
  static constexpr const char* item = "BUTTON";
  static constexpr std::vector<tagButton> tagMenu::*list = &tagMenu::Buttons;
  static inline const std::vector<Elem<tagButton>> rows = {
      VALUE(tagButton, "BtnActionType", ActionType),
      VALUE(tagButton, "BtnActionID", ActionID),
      VALUE(tagButton, "BtnIrHotKey", IrHotKey),
      Elem<tagButton>{"BtnIrHotKeyMode", Form::HotKeyMode,
                      [](const tagButton& r, CImgRes&) -> int64_t { return r.NextMode == r.InitMode ? r.InitMode : -1; }},
      AREA(tagButton, "BtnTouchArea", TouchArea),
      AREA(tagButton, "BtnArea", BtnArea),
      IMAGE_LIST(tagButton, "BtnImgUp", ImgUp),
      IMAGE_LIST(tagButton, "BtnImgDn", ImgDn),
      IMAGE_LIST(tagButton, "BtnImgGray", ImgGray),
      IMAGE_LIST(tagButton, "BtnImgIr", ImgIr),
      TEXT_IDS(tagButton, "BtnTxtId", TextIds),
      VALUE(tagButton, "BtnTxtType", TxtType),
      VALUE(tagButton, "BtnTxtSize", TxtSize),
      VALUE(tagButton, "BtnTxtFont", TxtFont),
      COLOUR(tagButton, "BtnTxtColor", TxtColor),
      COLOUR(tagButton, "BtnTxtSelColor", TxtSelColor),
      AREA(tagButton, "BtnTxtArea", TxtArea),
      VALUE(tagButton, "BtnTxtAlign", TxtAlign),
      DIRECTIONS(tagButton, "BtnIrDirect", IrDirect),
  };
};

template <>
struct Order<tagPicture> {
  static constexpr const char* section = "PICTURES";
  static constexpr const char* item = "PICTURE";
  static constexpr std::vector<tagPicture> tagMenu::*list = &tagMenu::Pictures;
  static inline const std::vector<Elem<tagPicture>> rows = {
      VALUE(tagPicture, "PicActionID", ActionID),        VALUE(tagPicture, "PicType", PicType),
      AREA(tagPicture, "PicArea", PicArea),              VALUE(tagPicture, "PicActionIndex", ActionIndex),
      IMAGE_LIST(tagPicture, "PicImg", Images),
  };
};

template <>
struct Order<tagProgress> {
  static constexpr const char* section = "PROGRESSES";
  static constexpr const char* item = "PROGRESS";
  static constexpr std::vector<tagProgress> tagMenu::*list = &tagMenu::Progresses;
  static inline const std::vector<Elem<tagProgress>> rows = {
      VALUE(tagProgress, "PrgActionType", ActionType),
      VALUE(tagProgress, "PrgActionID", ActionID),
      VALUE(tagProgress, "PrgHorizon", Horizon),
      AREA(tagProgress, "PrgArea", PrgArea),
      AREA(tagProgress, "PrgSldArea", PrgSldArea),
      IMAGE(tagProgress, "PrgImgBack", BackImgId, BackBitmap),
      IMAGE(tagProgress, "PrgImgIrBack", IrBackImgId, IrBackBitmap),
      IMAGE(tagProgress, "PrgImgPrg", PrgImgId, PrgBitmap),
      IMAGE(tagProgress, "PrgImgSlide", SlideImgId, SlideBitmap),
      VALUE(tagProgress, "PrgTxtFont", TxtFont),
      VALUE(tagProgress, "PrgTxtSize", TxtSize),
      COLOUR(tagProgress, "PrgTxtColor", TxtColor),
      VALUE(tagProgress, "PrgTxtAlign", TxtAlign),
      DIRECTIONS(tagProgress, "PrgIrDirect", IrDirect),
  };
};

template <>
struct Order<tagEightSeg> {
  static constexpr const char* section = "EIGHTSEGS";
  static constexpr const char* item = "EIGHTSEG";
  static constexpr std::vector<tagEightSeg> tagMenu::*list = &tagMenu::EightSegs;
  static inline const std::vector<Elem<tagEightSeg>> rows = {
      VALUE(tagEightSeg, "SegActionID", ActionID),
      VALUE(tagEightSeg, "SegType", SegType),
      VALUE(tagEightSeg, "SegShowType", SegShowType),
      AREA(tagEightSeg, "SegArea", SegArea),
      VALUE(tagEightSeg, "SegFontWid", SegFontWid),
      COLOUR(tagEightSeg, "SegColor", SegColor),
      COLOUR(tagEightSeg, "SegHiColor", SegHiColor),
      VALUE(tagEightSeg, "SegStrockWid", SegStrockWid),
      VALUE(tagEightSeg, "SegStrockSpace", SegStrockSpace),
      COLOUR(tagEightSeg, "SegStrockColor", SegStrockColor),
      // Only the handle is kept: the probe finds which id the table gives that handle.
      Elem<tagEightSeg>{"SegBmpBg", Form::HandleOnly,
                        [](const tagEightSeg& r, CImgRes& t) -> int64_t {
                          for (const tagImgRes& e : t.Entries())
                            if (r.BgBitmap && e.hImg == r.BgBitmap) return e.imgId;
                          return 0;
                        }},
      AREA(tagEightSeg, "SegCrop", SegCrop),
  };
};

template <>
struct Order<tagSector> {
  static constexpr const char* section = "SECTORS";
  static constexpr const char* item = "SECTOR";
  static constexpr std::vector<tagSector> tagMenu::*list = &tagMenu::Sectors;
  static inline const std::vector<Elem<tagSector>> rows = {
      VALUE(tagSector, "SecActionID", ActionID),     VALUE(tagSector, "SecType", SecType),
      VALUE(tagSector, "SecStart", SecStart),        VALUE(tagSector, "SecEnd", SecEnd),
      AREA(tagSector, "SecArea", SecArea),           COLOUR(tagSector, "SecColor", SecColor),
      COLOUR(tagSector, "SecHiColor", SecHiColor),   COLOUR(tagSector, "SecStrockColor", SecStrockColor),
  };
};

template <>
struct Order<tagGif> {
  static constexpr const char* section = "GIFS";
  static constexpr const char* item = "GIF";
  static constexpr std::vector<tagGif> tagMenu::*list = &tagMenu::Gifs;
  static inline const std::vector<Elem<tagGif>> rows = {
      VALUE(tagGif, "GifActionID", ActionID),
      VALUE(tagGif, "GifActionType", ActionType),
      AREA(tagGif, "GifArea", GifArea),
      Elem<tagGif>{"GifImg", Form::Path, [](const tagGif& r, CImgRes&) { return pathNumber(r.Path); }},
  };
};

template <>
struct Order<tagSlide> {
  static constexpr const char* section = "SLIDE";
  static constexpr const char* item = "SLIDEITEM";
  static constexpr std::vector<tagSlide> tagMenu::*list = &tagMenu::Slides;
  static inline const std::vector<Elem<tagSlide>> rows = {
      IMAGE(tagSlide, "SldImgBg", BgImgId, BgBitmap),  AREA(tagSlide, "SldArea", SldArea),
      VALUE(tagSlide, "SldHorizon", Horizon),          VALUE(tagSlide, "SldActionID", ActionID),
      VALUE(tagSlide, "SldActionType", ActionType),    IMAGE(tagSlide, "SldImgUp", UpImgId, UpBitmap),
      IMAGE(tagSlide, "SldImgDn", DnImgId, DnBitmap),  AREA(tagSlide, "SldItemArea", ItemArea),
      VALUE(tagSlide, "SldTxtId", TxtId),              VALUE(tagSlide, "SldTxtType", TxtType),
      VALUE(tagSlide, "SldTxtFont", TxtFont),          VALUE(tagSlide, "SldTxtSize", TxtSize),
      COLOUR(tagSlide, "SldTxtColorUp", TxtColorUp),   COLOUR(tagSlide, "SldTxtColorDn", TxtColorDn),
      AREA(tagSlide, "SldTxtArea", TxtArea),           VALUE(tagSlide, "SldTxtAlign", TxtAlign),
  };
};

// Table picture elements give an image id and a file name at once; both must land.
#define TABLE_FILE(tag, idField, handleField, pathField)                                            \
  Elem<tagTable>{tag, Form::Path, [](const tagTable& r, CImgRes& t) -> int64_t {                    \
                   const int64_t n = pathNumber(r.pathField);                                       \
                   return n == r.idField && r.handleField == t.GetImgHandle(r.idField) ? n : -1;    \
                 }}

template <>
struct Order<tagTable> {
  static constexpr const char* section = "TABLES";
  static constexpr const char* item = "TABLEITEM";
  static constexpr std::vector<tagTable> tagMenu::*list = &tagMenu::Tables;
  static inline const std::vector<Elem<tagTable>> rows = {
      VALUE(tagTable, "TblActionID", ActionID),
      VALUE(tagTable, "TblActionType", ActionType),
      AREA(tagTable, "TblTouchArea", TouchArea),
      AREA(tagTable, "TblItemArea", ItemArea),
      TABLE_FILE("TblImgNameDir", DirImgId, DirBitmap, DirPath),
      TABLE_FILE("TblImgNameFile", FileImgId, FileBitmap, FilePath),
      TABLE_FILE("TblImgNameBg", BgImgId, BgBitmap, BgPath),
      VALUE(tagTable, "TblIsSelected", IsSelected),
      VALUE(tagTable, "TblTxtId", TxtId),
      AREA(tagTable, "TblTxtArea", TxtArea),
      VALUE(tagTable, "TblTxtSize", TxtSize),
      VALUE(tagTable, "TblTxtFont", TxtFont),
      COLOUR(tagTable, "TblTxtColor", TxtColor),
      COLOUR(tagTable, "TblSelColor", SelColor),
      VALUE(tagTable, "TblTxtAlign", TxtAlign),
      DIRECTIONS(tagTable, "TblIrDirect", IrDirect),
  };
};

template <>
struct Order<tagSignal> {
  static constexpr const char* section = "SIGNALBAR";
  static constexpr const char* item = "SIGNAL";
  static constexpr std::vector<tagSignal> tagMenu::*list = &tagMenu::Signals;
  static inline const std::vector<Elem<tagSignal>> rows = {
      VALUE(tagSignal, "SigActionType", ActionType),       VALUE(tagSignal, "SigActionID", ActionID),
      AREA(tagSignal, "SigArea", SigArea),                 COLOUR(tagSignal, "SigInvalidColor", SigInvalidColor),
      COLOUR(tagSignal, "SigValidColor", SigValidColor),   VALUE(tagSignal, "SigNum", SigNum),
      VALUE(tagSignal, "SigNumFont", SigNumFont),          VALUE(tagSignal, "SigNumSize", SigNumSize),
      COLOUR(tagSignal, "SigNumColor", SigNumColor),       AREA(tagSignal, "SigNumArea", SigNumArea),
      VALUE(tagSignal, "SigNumAlign", SigNumAlign),        VALUE(tagSignal, "SigCN", SigCN),
      VALUE(tagSignal, "SigCNFont", SigCNFont),            VALUE(tagSignal, "SigCNSize", SigCNSize),
      COLOUR(tagSignal, "SigCNColor", SigCNColor),         AREA(tagSignal, "SigCNArea", SigCNArea),
      VALUE(tagSignal, "SigCNAlign", SigCNAlign),
  };
};

template <>
struct Order<tagSatellite> {
  static constexpr const char* section = "SATELLITES";
  static constexpr const char* item = "SATELLITE";
  static constexpr std::vector<tagSatellite> tagMenu::*list = &tagMenu::Satellites;
  static inline const std::vector<Elem<tagSatellite>> rows = {
      VALUE(tagSatellite, "SatActionID", ActionID),
      AREA(tagSatellite, "SatDisplayArea", SatDisplayArea),
      Elem<tagSatellite>{"SatSize", Form::SatSize,
                         [](const tagSatellite& r, CImgRes&) -> int64_t {
                           return r.SatWidth == r.SatHight ? r.SatHight : -1;
                         }},
      COLOUR(tagSatellite, "SatInvalidColor", SatInvalidColor),
      COLOUR(tagSatellite, "SatValidColor", SatValidColor),
      VALUE(tagSatellite, "SatTxtFont", SatTxtFont),
      VALUE(tagSatellite, "SatTxtSize", SatTxtSize),
      COLOUR(tagSatellite, "SatTxtColor", SatTxtColor),
      AREA(tagSatellite, "SatTxtArea", SatTxtArea),
      VALUE(tagSatellite, "SatTxtAlign", SatTxtAlign),
  };
};

// The element of `form` carrying the number n (1 to 255, so a colour can hold it in red).
std::string element(const char* tag, Form form, int n) {
  const std::string t = tag, v = std::to_string(n);
  switch (form) {
    case Form::Value:
    case Form::Percent:
    case Form::TextIds: return "<" + t + " value='" + v + "'/>";
    case Form::Area: return "<" + t + " LocX='1' LocY='2' Width='3' Hight='" + v + "'/>";
    case Form::Colour: return "<" + t + " R='" + v + "' G='0' B='0'/>";
    case Form::Image:
    case Form::HandleOnly:
    case Form::ImageList: return "<" + t + " MapId='" + v + "'/>";
    case Form::Directions:
      return "<" + t + " Left='1' Rigth='2' Top='3' Bottom='4' Ok='5' Close='6' UpLt='7' DnRt='" + v + "'/>";
    case Form::Path: return "<" + t + " MapId='" + v + "'>f" + v + ".bmp</" + t + ">";
    case Form::HotKeyMode: return "<" + t + " nextMode='" + v + "' initMode='" + v + "'/>";
    case Form::SatSize: return "<" + t + " Width='" + v + "' Hight='" + v + "'/>";
  }
  return {};
}

// Row i carries the number 10 + i: distinct, non-zero, and an image id the table holds.
int numberOf(size_t row) { return static_cast<int>(10 + row); }

class ReadOrder : public TempUnit {
 protected:
  void SetUp() override {
    TempUnit::SetUp();
    // An image table with every id the rows use, each its own bitmap.
    std::string entries;
    for (int id = 10; id < 40; ++id) {
      write("Windows/Skin800/Skin/i" + std::to_string(id) + ".bmp", bitmap(1, 1, static_cast<uint32_t>(id)));
      entries += "<IMAGE ImgId='" + std::to_string(id) + "'>i" + std::to_string(id) + ".bmp</IMAGE>";
    }
    write("Windows/Skin800/image.xml", "<IMAGES>" + entries + "</IMAGES>");
    ASSERT_EQ(images.LoadImgResource(u"image.xml", u"Skin800"), 1);
  }

  // The pages of a script body (the content of "SL_MENUS").
  std::vector<tagMenu> load(const std::string& body) {
    const std::string doc = "<SL_MENUS>" + body + "</SL_MENUS>";
    CMarkup xml;
    EXPECT_TRUE(xml.SetDoc(std::u16string(doc.begin(), doc.end())));
    std::vector<tagMenu> pages;
    skinlet::loadPages(xml, pages, &images);
    return pages;
  }

  // The children of one item of kind R (or of the page itself for tagMenu) in the given row order.
  template <class R>
  std::string document(const std::vector<size_t>& order) {
    std::string children;
    for (size_t i : order) children += element(Order<R>::rows[i].tag, Order<R>::rows[i].form, numberOf(i));
    if constexpr (std::is_same_v<R, tagMenu>) {
      return "<MENU>" + children + "</MENU>";
    } else {
      return std::string("<MENU><") + Order<R>::section + "><" + Order<R>::item + ">" + children + "</" +
             Order<R>::item + "></" + Order<R>::section + "></MENU>";
    }
  }

  template <class R>
  const R* record(const std::vector<tagMenu>& pages) {
    if (pages.size() != 1) return nullptr;
    if constexpr (std::is_same_v<R, tagMenu>) {
      return &pages[0];
    } else {
      const std::vector<R>& list = pages[0].*Order<R>::list;
      return list.size() == 1 ? &list[0] : nullptr;
    }
  }

  // The value of every row after loading the rows in `order`.
  template <class R>
  std::vector<int64_t> readBack(const std::vector<size_t>& order) {
    const std::vector<tagMenu> pages = load(document<R>(order));
    const R* r = record<R>(pages);
    std::vector<int64_t> values;
    if (!r) return values;
    for (const Elem<R>& e : Order<R>::rows) values.push_back(e.probe(*r, images));
    return values;
  }

  template <class R>
  void checkOrder(const char* kind) {
    SCOPED_TRACE(kind);
    const size_t n = Order<R>::rows.size();
    std::vector<size_t> inOrder(n);
    for (size_t i = 0; i < n; ++i) inOrder[i] = i;
    std::vector<int64_t> all = readBack<R>(inOrder);
    ASSERT_EQ(all.size(), n);
    for (size_t i = 0; i < n; ++i) EXPECT_EQ(all[i], numberOf(i)) << Order<R>::rows[i].tag << " in order";
    // Rows i and i + 1 swapped: i is found, and the search for i + 1 starts after it.
    for (size_t i = 0; i + 1 < n; ++i) {
      std::vector<size_t> swapped = inOrder;
      std::swap(swapped[i], swapped[i + 1]);
      const std::vector<int64_t> got = readBack<R>(swapped);
      ASSERT_EQ(got.size(), n);
      const std::string what = std::string(Order<R>::rows[i + 1].tag) + " before " + Order<R>::rows[i].tag;
      EXPECT_EQ(got[i], numberOf(i)) << what;
      EXPECT_EQ(got[i + 1], 0) << what << ": the earlier element must be skipped";
      for (size_t k = i + 2; k < n; ++k) EXPECT_EQ(got[k], numberOf(k)) << what << ", then " << Order<R>::rows[k].tag;
    }
  }

  // Colours with components beyond 8 bits: each component keeps its own low 8 bits and
  // nothing spills into its neighbour.
  template <class R>
  void checkColours(const char* kind) {
    SCOPED_TRACE(kind);
    struct Case {
      const char *r, *g, *b;
      uint32_t expected;
    } cases[] = {{"300", "0", "0", 44u},
                 {"0", "256", "0", 0u},
                 {"0", "0", "257", 1u << 16},
                 {"263", "265", "523", 7u | (9u << 8) | (11u << 16)},
                 {"-1", "0", "-256", 255u},
                 {"511", "511", "511", 0xFFFFFFu}};
    for (size_t i = 0; i < Order<R>::rows.size(); ++i) {
      const Elem<R>& e = Order<R>::rows[i];
      if (e.form != Form::Colour) continue;
      for (const Case& c : cases) {
        std::string children = std::string("<") + e.tag + " R='" + c.r + "' G='" + c.g + "' B='" + c.b + "'/>";
        std::string doc = std::string("<MENU><") + Order<R>::section + "><" + Order<R>::item + ">" + children + "</" +
                          Order<R>::item + "></" + Order<R>::section + "></MENU>";
        const std::vector<tagMenu> pages = load(doc);
        const R* r = record<R>(pages);
        ASSERT_TRUE(r);
        EXPECT_EQ(e.probe(*r, images), int64_t(c.expected)) << e.tag << " R=" << c.r << " G=" << c.g << " B=" << c.b;
      }
    }
  }

  CImgRes images;
};

TEST_F(ReadOrder, PageGlobalPropertiesInTheirOrder) { checkOrder<tagMenu>("MENU"); }

TEST_F(ReadOrder, EveryWidgetKindReadsItsElementsInItsOrder) {
  checkOrder<tagTexture>("TEXT");
  checkOrder<tagButton>("BUTTON");
  checkOrder<tagPicture>("PICTURE");
  checkOrder<tagProgress>("PROGRESS");
  checkOrder<tagEightSeg>("EIGHTSEG");
  checkOrder<tagSector>("SECTOR");
  checkOrder<tagGif>("GIF");
  checkOrder<tagSlide>("SLIDEITEM");
  checkOrder<tagTable>("TABLEITEM");
  checkOrder<tagSignal>("SIGNAL");
  checkOrder<tagSatellite>("SATELLITE");
}

TEST_F(ReadOrder, EveryColourKeepsTheLow8BitsOfEachComponent) {
  checkColours<tagTexture>("TEXT");
  checkColours<tagButton>("BUTTON");
  checkColours<tagProgress>("PROGRESS");
  checkColours<tagEightSeg>("EIGHTSEG");
  checkColours<tagSector>("SECTOR");
  checkColours<tagSlide>("SLIDEITEM");
  checkColours<tagTable>("TABLEITEM");
  checkColours<tagSignal>("SIGNAL");
  checkColours<tagSatellite>("SATELLITE");
}

// The sections of a page, each with one item whose first element carries a number.
struct SectionRow {
  const char* section;
  const char* item;
  const char* firstElement;
  std::function<int64_t(const tagMenu&)> probe;
};

#define SECTION(section, item, element, list, field)                                            \
  SectionRow{section, item, element, [](const tagMenu& m) -> int64_t {                          \
               return m.list.size() == 1 ? int64_t(m.list[0].field) : int64_t(m.list.size()) * -1; \
             }}

TEST_F(ReadOrder, SectionsInTheirOrder) {
  const std::vector<SectionRow> sections = {
      SECTION("TEXTS", "TEXT", "TxtActionID", Texts, ActionID),
      SECTION("BUTTONS", "BUTTON", "BtnActionID", Buttons, ActionID),
      SECTION("PROGRESSES", "PROGRESS", "PrgActionID", Progresses, ActionID),
      SECTION("EIGHTSEGS", "EIGHTSEG", "SegActionID", EightSegs, ActionID),
      SECTION("SECTORS", "SECTOR", "SecActionID", Sectors, ActionID),
      SECTION("GIFS", "GIF", "GifActionID", Gifs, ActionID),
      SECTION("SLIDE", "SLIDEITEM", "SldActionID", Slides, ActionID),
      SECTION("PICTURES", "PICTURE", "PicActionID", Pictures, ActionID),
      SECTION("TABLES", "TABLEITEM", "TblActionID", Tables, ActionID),
      SECTION("SIGNALBAR", "SIGNAL", "SigActionID", Signals, ActionID),
      SECTION("SATELLITES", "SATELLITE", "SatActionID", Satellites, ActionID),
  };
  const size_t n = sections.size();
  auto doc = [&](const std::vector<size_t>& order) {
    std::string body = "<MENU><BREGION value='1'/>";
    for (size_t i : order) {
      const SectionRow& s = sections[i];
      body += std::string("<") + s.section + "><" + s.item + "><" + s.firstElement + " value='" +
              std::to_string(numberOf(i)) + "'/></" + s.item + "></" + s.section + ">";
    }
    return body + "</MENU>";
  };
  std::vector<size_t> inOrder(n);
  for (size_t i = 0; i < n; ++i) inOrder[i] = i;
  {
    const std::vector<tagMenu> pages = load(doc(inOrder));
    ASSERT_EQ(pages.size(), 1u);
    for (size_t i = 0; i < n; ++i) EXPECT_EQ(sections[i].probe(pages[0]), numberOf(i)) << sections[i].section;
  }
  for (size_t i = 0; i + 1 < n; ++i) {
    std::vector<size_t> swapped = inOrder;
    std::swap(swapped[i], swapped[i + 1]);
    const std::vector<tagMenu> pages = load(doc(swapped));
    ASSERT_EQ(pages.size(), 1u);
    const std::string what = std::string(sections[i + 1].section) + " before " + sections[i].section;
    EXPECT_EQ(sections[i].probe(pages[0]), numberOf(i)) << what;
    EXPECT_EQ(sections[i + 1].probe(pages[0]), 0) << what << ": the earlier section must be skipped";
    for (size_t k = i + 2; k < n; ++k) EXPECT_EQ(sections[k].probe(pages[0]), numberOf(k)) << what;
  }
}

// --- image ids across the whole 16-bit range ----------------------------------------------

TEST_F(ReadOrder, ImageIdsSortAndAreFoundAsUnsigned16BitNumbers) {
  // Ids on both sides of 32768 in scrambled order: sorted as signed numbers, the ones at or
  // above 32768 would come first and the binary search would miss ids on either side.
  const int ids[] = {40000, 7, 32768, 65535, 32767, 100, 50000, 0, 1};
  std::string entries;
  for (int id : ids) {
    write("Windows/Skin900/Skin/j" + std::to_string(id) + ".bmp", bitmap(1, 1, static_cast<uint32_t>(id)));
    entries += "<IMAGE ImgId='" + std::to_string(id) + "'>j" + std::to_string(id) + ".bmp</IMAGE>";
  }
  write("Windows/Skin900/image.xml", "<IMAGES>" + entries + "</IMAGES>");
  CImgRes table;
  ASSERT_EQ(table.LoadImgResource(u"image.xml", u"Skin900"), 1);
  ASSERT_EQ(table.Entries().size(), std::size(ids));
  for (size_t i = 1; i < table.Entries().size(); ++i)
    EXPECT_LT(table.Entries()[i - 1].imgId, table.Entries()[i].imgId) << "entry " << i;
  for (int id : ids) {
    HBITMAP h = table.GetImgHandle(id);
    ASSERT_NE(h, nullptr) << id;
    // The handle is the bitmap of that id: its one pixel carries the id's colour.
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, h);
    const COLORREF c = GetPixel(dc, 0, 0);
    SelectObject(dc, old);
    DeleteDC(dc);
    const uint32_t rgb = static_cast<uint32_t>(id) & 0xFFFFFF;
    EXPECT_EQ(c, ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16)) << id;
  }
  EXPECT_EQ(table.GetImgHandle(65536), nullptr);
  EXPECT_EQ(table.GetImgHandle(-32768), nullptr);
}

}  // namespace
