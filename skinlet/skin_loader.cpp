// One generic item loader driven by a table of rows per record kind, and one generic section
// loader driven by a table of sections. A row names a child element and how its value goes
// into the record; the rows stand in the order the document must give the elements.
#include "skin_loader.h"

#include "img_res.h"
#include "markup.h"
#include "skin_paths.h"

namespace skinlet {
namespace {

// Reads the values of the element at the child position of the document.
class ItemReader {
 public:
  ItemReader(CMarkup& xml, CImgRes* images) : m_xml(xml), m_images(images) {}

  int32_t num(const char16_t* attribute) {
    // _wtol: leading blanks, sign, digits up to the first other character; 32-bit wrap.
    return static_cast<int32_t>(_wtol(m_xml.GetChildAttrib(attribute).c_str()));
  }
  int32_t value() { return num(u"value"); }

  COLORREF colour() {
    // Each component keeps only its low 8 bits.
    uint32_t r = static_cast<uint32_t>(num(u"R")) & 0xFFu;
    uint32_t g = static_cast<uint32_t>(num(u"G")) & 0xFFu;
    uint32_t b = static_cast<uint32_t>(num(u"B")) & 0xFFu;
    return r | (g << 8) | (b << 16);
  }

  tagArea area() { return tagArea{num(u"LocX"), num(u"LocY"), num(u"Width"), num(u"Hight")}; }

  HBITMAP lookup(int32_t id) { return m_images ? m_images->GetImgHandle(id) : nullptr; }

  // An image reference: the id and the handle the table gives it now.
  void image(int32_t& id, HBITMAP& handle) {
    id = num(u"MapId");
    handle = lookup(id);
  }

  void directions(int32_t (&table)[IR_COUNT]) {
    static const char16_t* const names[IR_COUNT] = {u"Left", u"Rigth", u"Top",   u"Bottom",
                                                     u"Ok",   u"Close", u"UpLt", u"DnRt"};
    for (int i = 0; i < IR_COUNT; ++i) table[i] = num(names[i]);
  }

  // A file name: the element's text appended to the base directory, cut to the buffer.
  void path(WCHAR (&out)[SL_PATH_LEN]) { baseFileInto(m_xml.GetChildData(), out, SL_PATH_LEN); }

  // The k-th repetition of a text id overwrites the inherited entry k, or is appended.
  void textId(std::vector<int32_t>& list, size_t k) {
    int32_t id = value();
    if (k < list.size()) {
      list[k] = id;
    } else {
      list.push_back(id);
    }
  }

  // Every repetition of an image element appends after the inherited entries.
  void imageItem(std::vector<tagImgItem>& list) {
    tagImgItem item{};
    image(item.imgId, item.hImg);
    list.push_back(item);
  }

 private:
  CMarkup& m_xml;
  CImgRes* m_images;
};

template <class R>
struct Row {
  const char16_t* tag;
  bool repeated;
  void (*read)(R& record, ItemReader& reader, size_t repetition);
};

#define ROW(R, tag, body) \
  Row<R> { tag, false, [](R& r, ItemReader& in, size_t) { body; } }
#define REPEATED(R, tag, body) \
  Row<R> { tag, true, [](R& r, ItemReader& in, size_t k) { body; } }
#define INT_ROW(R, tag, field) ROW(R, tag, r.field = in.value())
#define UINT_ROW(R, tag, field) ROW(R, tag, r.field = static_cast<uint32_t>(in.value()))
#define COLOUR_ROW(R, tag, field) ROW(R, tag, r.field = in.colour())
#define AREA_ROW(R, tag, field) ROW(R, tag, r.field = in.area())
#define IMAGE_ROW(R, tag, idField, bitmapField) ROW(R, tag, in.image(r.idField, r.bitmapField))
#define DIRECTION_ROW(R, tag, field) ROW(R, tag, in.directions(r.field))

// The rows of each kind, in the order the loader searches them.
template <class R>
struct Rows;

template <>
struct Rows<tagMenu> {
  static constexpr Row<tagMenu> rows[] = {
      IMAGE_ROW(tagMenu, u"BACKGRUOND", BgImgId, BgBitmap),
      IMAGE_ROW(tagMenu, u"BGMASK", MaskImgId, MaskBitmap),
      ROW(tagMenu, u"BACKTRANSPARENT", r.BackTransparent = static_cast<float>(in.value() * 0.01)),
      ROW(tagMenu, u"FORETRANSPARENT", r.ForeTransparent = static_cast<float>(in.value() * 0.01)),
      INT_ROW(tagMenu, u"BREGION", Region),
      AREA_ROW(tagMenu, u"MVIEWPORT", MainViewPort),
      AREA_ROW(tagMenu, u"SVIEWPORT", SlaveViewPort),
  };
};

template <>
struct Rows<tagTexture> {
  static constexpr Row<tagTexture> rows[] = {
      ROW(tagTexture, u"TxtActionID", r.ActionID = in.value(); r.Text[0] = 0),
      INT_ROW(tagTexture, u"TxtType", TxtType),
      REPEATED(tagTexture, u"TxtTextureID", in.textId(r.TextureIDs, k)),
      INT_ROW(tagTexture, u"TxtFont", TxtFont),
      INT_ROW(tagTexture, u"TxtSize", TxtSize),
      COLOUR_ROW(tagTexture, u"TxtColor", TxtColor),
      COLOUR_ROW(tagTexture, u"TxtColorGray", TxtColorGray),
      AREA_ROW(tagTexture, u"TxtArea", TxtArea),
      INT_ROW(tagTexture, u"TxtScrollPos", TxtScrollPos),
      UINT_ROW(tagTexture, u"TxtAlign", TxtAlign),
  };
};

template <>
struct Rows<tagButton> {
  static constexpr Row<tagButton> rows[] = {
      INT_ROW(tagButton, u"BtnActionType", ActionType),
      ROW(tagButton, u"BtnActionID", r.ActionID = in.value(); r.StateIndex = 0),
      INT_ROW(tagButton, u"BtnIrHotKey", IrHotKey),
      ROW(tagButton, u"BtnIrHotKeyMode", r.NextMode = in.num(u"nextMode"); r.InitMode = in.num(u"initMode")),
      AREA_ROW(tagButton, u"BtnTouchArea", TouchArea),
      AREA_ROW(tagButton, u"BtnArea", BtnArea),
      REPEATED(tagButton, u"BtnImgUp", (void)k; in.imageItem(r.ImgUp)),
      REPEATED(tagButton, u"BtnImgDn", (void)k; in.imageItem(r.ImgDn)),
      REPEATED(tagButton, u"BtnImgGray", (void)k; in.imageItem(r.ImgGray)),
      REPEATED(tagButton, u"BtnImgIr", (void)k; in.imageItem(r.ImgIr)),
      REPEATED(tagButton, u"BtnTxtId", in.textId(r.TextIds, k)),
      INT_ROW(tagButton, u"BtnTxtType", TxtType),
      INT_ROW(tagButton, u"BtnTxtSize", TxtSize),
      INT_ROW(tagButton, u"BtnTxtFont", TxtFont),
      COLOUR_ROW(tagButton, u"BtnTxtColor", TxtColor),
      COLOUR_ROW(tagButton, u"BtnTxtSelColor", TxtSelColor),
      AREA_ROW(tagButton, u"BtnTxtArea", TxtArea),
      UINT_ROW(tagButton, u"BtnTxtAlign", TxtAlign),
      DIRECTION_ROW(tagButton, u"BtnIrDirect", IrDirect),
  };
};

template <>
struct Rows<tagPicture> {
  static constexpr Row<tagPicture> rows[] = {
      INT_ROW(tagPicture, u"PicActionID", ActionID),
      INT_ROW(tagPicture, u"PicType", PicType),
      AREA_ROW(tagPicture, u"PicArea", PicArea),
      INT_ROW(tagPicture, u"PicActionIndex", ActionIndex),
      REPEATED(tagPicture, u"PicImg", (void)k; in.imageItem(r.Images)),
  };
};

template <>
struct Rows<tagProgress> {
  static constexpr Row<tagProgress> rows[] = {
      INT_ROW(tagProgress, u"PrgActionType", ActionType),
      INT_ROW(tagProgress, u"PrgActionID", ActionID),
      INT_ROW(tagProgress, u"PrgHorizon", Horizon),
      AREA_ROW(tagProgress, u"PrgArea", PrgArea),
      AREA_ROW(tagProgress, u"PrgSldArea", PrgSldArea),
      IMAGE_ROW(tagProgress, u"PrgImgBack", BackImgId, BackBitmap),
      IMAGE_ROW(tagProgress, u"PrgImgIrBack", IrBackImgId, IrBackBitmap),
      IMAGE_ROW(tagProgress, u"PrgImgPrg", PrgImgId, PrgBitmap),
      IMAGE_ROW(tagProgress, u"PrgImgSlide", SlideImgId, SlideBitmap),
      INT_ROW(tagProgress, u"PrgTxtFont", TxtFont),
      INT_ROW(tagProgress, u"PrgTxtSize", TxtSize),
      COLOUR_ROW(tagProgress, u"PrgTxtColor", TxtColor),
      UINT_ROW(tagProgress, u"PrgTxtAlign", TxtAlign),
      DIRECTION_ROW(tagProgress, u"PrgIrDirect", IrDirect),
  };
};

template <>
struct Rows<tagEightSeg> {
  static constexpr Row<tagEightSeg> rows[] = {
      INT_ROW(tagEightSeg, u"SegActionID", ActionID),
      INT_ROW(tagEightSeg, u"SegType", SegType),
      INT_ROW(tagEightSeg, u"SegShowType", SegShowType),
      AREA_ROW(tagEightSeg, u"SegArea", SegArea),
      INT_ROW(tagEightSeg, u"SegFontWid", SegFontWid),
      COLOUR_ROW(tagEightSeg, u"SegColor", SegColor),
      COLOUR_ROW(tagEightSeg, u"SegHiColor", SegHiColor),
      INT_ROW(tagEightSeg, u"SegStrockWid", SegStrockWid),
      INT_ROW(tagEightSeg, u"SegStrockSpace", SegStrockSpace),
      COLOUR_ROW(tagEightSeg, u"SegStrockColor", SegStrockColor),
      // Only the handle is kept for the segment background.
      ROW(tagEightSeg, u"SegBmpBg", r.BgBitmap = in.lookup(in.num(u"MapId"))),
      AREA_ROW(tagEightSeg, u"SegCrop", SegCrop),
  };
};

template <>
struct Rows<tagSector> {
  static constexpr Row<tagSector> rows[] = {
      INT_ROW(tagSector, u"SecActionID", ActionID),
      INT_ROW(tagSector, u"SecType", SecType),
      INT_ROW(tagSector, u"SecStart", SecStart),
      INT_ROW(tagSector, u"SecEnd", SecEnd),
      AREA_ROW(tagSector, u"SecArea", SecArea),
      COLOUR_ROW(tagSector, u"SecColor", SecColor),
      COLOUR_ROW(tagSector, u"SecHiColor", SecHiColor),
      COLOUR_ROW(tagSector, u"SecStrockColor", SecStrockColor),
  };
};

template <>
struct Rows<tagGif> {
  static constexpr Row<tagGif> rows[] = {
      INT_ROW(tagGif, u"GifActionID", ActionID),
      INT_ROW(tagGif, u"GifActionType", ActionType),
      AREA_ROW(tagGif, u"GifArea", GifArea),
      ROW(tagGif, u"GifImg", in.path(r.Path)),
  };
};

template <>
struct Rows<tagSlide> {
  static constexpr Row<tagSlide> rows[] = {
      IMAGE_ROW(tagSlide, u"SldImgBg", BgImgId, BgBitmap),
      AREA_ROW(tagSlide, u"SldArea", SldArea),
      INT_ROW(tagSlide, u"SldHorizon", Horizon),
      INT_ROW(tagSlide, u"SldActionID", ActionID),
      INT_ROW(tagSlide, u"SldActionType", ActionType),
      IMAGE_ROW(tagSlide, u"SldImgUp", UpImgId, UpBitmap),
      IMAGE_ROW(tagSlide, u"SldImgDn", DnImgId, DnBitmap),
      AREA_ROW(tagSlide, u"SldItemArea", ItemArea),
      INT_ROW(tagSlide, u"SldTxtId", TxtId),
      INT_ROW(tagSlide, u"SldTxtType", TxtType),
      INT_ROW(tagSlide, u"SldTxtFont", TxtFont),
      INT_ROW(tagSlide, u"SldTxtSize", TxtSize),
      COLOUR_ROW(tagSlide, u"SldTxtColorUp", TxtColorUp),
      COLOUR_ROW(tagSlide, u"SldTxtColorDn", TxtColorDn),
      AREA_ROW(tagSlide, u"SldTxtArea", TxtArea),
      UINT_ROW(tagSlide, u"SldTxtAlign", TxtAlign),
  };
};

template <>
struct Rows<tagTable> {
  static constexpr Row<tagTable> rows[] = {
      INT_ROW(tagTable, u"TblActionID", ActionID),
      INT_ROW(tagTable, u"TblActionType", ActionType),
      AREA_ROW(tagTable, u"TblTouchArea", TouchArea),
      AREA_ROW(tagTable, u"TblItemArea", ItemArea),
      // Each of the three gives an image reference and, as its text, a file name; the
      // path is stored even when the text is empty (it is then the base directory).
      ROW(tagTable, u"TblImgNameDir", in.image(r.DirImgId, r.DirBitmap); in.path(r.DirPath)),
      ROW(tagTable, u"TblImgNameFile", in.image(r.FileImgId, r.FileBitmap); in.path(r.FilePath)),
      ROW(tagTable, u"TblImgNameBg", in.image(r.BgImgId, r.BgBitmap); in.path(r.BgPath)),
      INT_ROW(tagTable, u"TblIsSelected", IsSelected),
      INT_ROW(tagTable, u"TblTxtId", TxtId),
      AREA_ROW(tagTable, u"TblTxtArea", TxtArea),
      INT_ROW(tagTable, u"TblTxtSize", TxtSize),
      INT_ROW(tagTable, u"TblTxtFont", TxtFont),
      COLOUR_ROW(tagTable, u"TblTxtColor", TxtColor),
      COLOUR_ROW(tagTable, u"TblSelColor", SelColor),
      UINT_ROW(tagTable, u"TblTxtAlign", TxtAlign),
      DIRECTION_ROW(tagTable, u"TblIrDirect", IrDirect),
  };
};

template <>
struct Rows<tagSignal> {
  static constexpr Row<tagSignal> rows[] = {
      INT_ROW(tagSignal, u"SigActionType", ActionType),
      INT_ROW(tagSignal, u"SigActionID", ActionID),
      AREA_ROW(tagSignal, u"SigArea", SigArea),
      COLOUR_ROW(tagSignal, u"SigInvalidColor", SigInvalidColor),
      COLOUR_ROW(tagSignal, u"SigValidColor", SigValidColor),
      INT_ROW(tagSignal, u"SigNum", SigNum),
      INT_ROW(tagSignal, u"SigNumFont", SigNumFont),
      INT_ROW(tagSignal, u"SigNumSize", SigNumSize),
      COLOUR_ROW(tagSignal, u"SigNumColor", SigNumColor),
      AREA_ROW(tagSignal, u"SigNumArea", SigNumArea),
      INT_ROW(tagSignal, u"SigNumAlign", SigNumAlign),
      INT_ROW(tagSignal, u"SigCN", SigCN),
      INT_ROW(tagSignal, u"SigCNFont", SigCNFont),
      INT_ROW(tagSignal, u"SigCNSize", SigCNSize),
      COLOUR_ROW(tagSignal, u"SigCNColor", SigCNColor),
      AREA_ROW(tagSignal, u"SigCNArea", SigCNArea),
      INT_ROW(tagSignal, u"SigCNAlign", SigCNAlign),
  };
};

template <>
struct Rows<tagSatellite> {
  static constexpr Row<tagSatellite> rows[] = {
      INT_ROW(tagSatellite, u"SatActionID", ActionID),
      AREA_ROW(tagSatellite, u"SatDisplayArea", SatDisplayArea),
      ROW(tagSatellite, u"SatSize", r.SatWidth = in.num(u"Width"); r.SatHight = in.num(u"Hight")),
      COLOUR_ROW(tagSatellite, u"SatInvalidColor", SatInvalidColor),
      COLOUR_ROW(tagSatellite, u"SatValidColor", SatValidColor),
      INT_ROW(tagSatellite, u"SatTxtFont", SatTxtFont),
      INT_ROW(tagSatellite, u"SatTxtSize", SatTxtSize),
      COLOUR_ROW(tagSatellite, u"SatTxtColor", SatTxtColor),
      AREA_ROW(tagSatellite, u"SatTxtArea", SatTxtArea),
      UINT_ROW(tagSatellite, u"SatTxtAlign", SatTxtAlign),
  };
};

// The item loader: one forward search per row among the children of the element at the
// main position. A repeated row takes every later element of its name; the next row is
// then searched after the last repetition. Unknown elements are passed over.
template <class R>
void loadItem(CMarkup& xml, R& record, CImgRes* images) {
  ItemReader reader(xml, images);
  xml.ResetChildPos();
  for (const Row<R>& row : Rows<R>::rows) {
    if (row.repeated) {
      size_t k = 0;
      while (xml.FindChildElem(row.tag)) row.read(record, reader, k++);
    } else if (xml.FindChildElem(row.tag)) {
      row.read(record, reader, 0);
    }
  }
}

// The section loader, the same for every kind: the section's own children fill a default
// record; every item starts as a copy of it. Items are searched after the last default found.
template <class R, std::vector<R> tagMenu::*List>
void loadSection(CMarkup& xml, const char16_t* itemName, tagMenu& page, CImgRes* images) {
  R defaults{};
  loadItem(xml, defaults, images);
  xml.IntoElem();
  while (xml.FindElem(itemName)) {
    std::vector<R>& list = page.*List;
    list.push_back(defaults);
    loadItem(xml, list.back(), images);
  }
  xml.OutOfElem();
}

struct Section {
  const char16_t* name;
  const char16_t* item;
  void (*load)(CMarkup& xml, const char16_t* itemName, tagMenu& page, CImgRes* images);
};

// Sections in the order the page loader searches them.
constexpr Section kSections[] = {
    {u"TEXTS", u"TEXT", &loadSection<tagTexture, &tagMenu::Texts>},
    {u"BUTTONS", u"BUTTON", &loadSection<tagButton, &tagMenu::Buttons>},
    {u"PROGRESSES", u"PROGRESS", &loadSection<tagProgress, &tagMenu::Progresses>},
    {u"EIGHTSEGS", u"EIGHTSEG", &loadSection<tagEightSeg, &tagMenu::EightSegs>},
    {u"SECTORS", u"SECTOR", &loadSection<tagSector, &tagMenu::Sectors>},
    {u"GIFS", u"GIF", &loadSection<tagGif, &tagMenu::Gifs>},
    {u"SLIDE", u"SLIDEITEM", &loadSection<tagSlide, &tagMenu::Slides>},
    {u"PICTURES", u"PICTURE", &loadSection<tagPicture, &tagMenu::Pictures>},
    {u"TABLES", u"TABLEITEM", &loadSection<tagTable, &tagMenu::Tables>},
    {u"SIGNALBAR", u"SIGNAL", &loadSection<tagSignal, &tagMenu::Signals>},
    {u"SATELLITES", u"SATELLITE", &loadSection<tagSatellite, &tagMenu::Satellites>},
};

}  // namespace

void loadPage(CMarkup& xml, tagMenu& page, CImgRes* images) {
  // Global properties are the page's own "item rows"; the sections are searched after the
  // last one found (or from the first child when there was none).
  loadItem(xml, page, images);
  xml.IntoElem();
  for (const Section& section : kSections) {
    if (xml.FindElem(section.name)) section.load(xml, section.item, page, images);
  }
  xml.OutOfElem();
}

void loadPages(CMarkup& xml, std::vector<tagMenu>& menus, CImgRes* images) {
  xml.ResetPos();
  xml.FindElem(u"SL_MENUS");
  xml.IntoElem();
  while (xml.FindElem(u"MENU")) {
    menus.emplace_back();
    loadPage(xml, menus.back(), images);
  }
}

}  // namespace skinlet
