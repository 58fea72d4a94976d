// The read orders of screen scripts, in one place: the rows of every record kind (the child
// elements the loader searches, in the order it searches them, and the attributes each one
// carries), the page's own rows and the widget sections. The loader reads scripts through
// these tables and the skin checker explains a script against the very same tables, so the
// two can never disagree about what a script means.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <utility>

#include "img_res.h"
#include "markup.h"
#include "skin_paths.h"
#include "skin_types.h"

namespace skinlet::schema {

// What the element of a row carries.
enum class Carries {
  Value,         // "value"
  Colour,        // "R", "G", "B"
  Area,          // "LocX", "LocY", "Width", "Hight"
  Image,         // "MapId": an id of the image table
  ImageAndFile,  // "MapId" and, as its text, a file name
  File,          // its text: a file name
  Directions,    // the eight focus links
  HotKeyModes,   // "nextMode", "initMode"
  Size,          // "Width", "Hight"
};

inline constexpr const char16_t* kValueAttributes[] = {u"value"};
inline constexpr const char16_t* kColourAttributes[] = {u"R", u"G", u"B"};
inline constexpr const char16_t* kAreaAttributes[] = {u"LocX", u"LocY", u"Width", u"Hight"};
inline constexpr const char16_t* kImageAttributes[] = {u"MapId"};
inline constexpr const char16_t* kDirectionAttributes[IR_COUNT] = {u"Left", u"Rigth", u"Top",   u"Bottom",
                                                                   u"Ok",   u"Close", u"UpLt", u"DnRt"};
inline constexpr const char16_t* kHotKeyModeAttributes[] = {u"nextMode", u"initMode"};
inline constexpr const char16_t* kSizeAttributes[] = {u"Width", u"Hight"};

// The attribute names an element of the kind is read with (none for a plain file name).
constexpr std::span<const char16_t* const> attributesOf(Carries carries) {
  switch (carries) {
    case Carries::Value: return kValueAttributes;
    case Carries::Colour: return kColourAttributes;
    case Carries::Area: return kAreaAttributes;
    case Carries::Image:
    case Carries::ImageAndFile: return kImageAttributes;
    case Carries::Directions: return kDirectionAttributes;
    case Carries::HotKeyModes: return kHotKeyModeAttributes;
    case Carries::Size: return kSizeAttributes;
    case Carries::File: break;
  }
  return {};
}

// Whether the element's text is read (as a file name).
constexpr bool carriesFile(Carries carries) { return carries == Carries::File || carries == Carries::ImageAndFile; }

// One row without its reader: what a checker needs to know.
struct RowInfo {
  const char16_t* tag;
  bool repeated;
  Carries carries;
};

inline constexpr const char16_t* kRootName = u"SL_MENUS";
inline constexpr const char16_t* kPageName = u"MENU";

// Reads the values of the element at the child position of the document.
class ItemReader {
 public:
  ItemReader(CMarkup& xml, CImgRes* images) : m_xml(xml), m_images(images) {}

  int32_t num(const char16_t* attribute) {
    // _wtol: leading blanks, sign, digits up to the first other character; 32-bit wrap.
    return static_cast<int32_t>(_wtol(m_xml.GetChildAttrib(attribute).c_str()));
  }
  int32_t value() { return num(kValueAttributes[0]); }

  COLORREF colour() {
    // Each component keeps only its low 8 bits.
    uint32_t r = static_cast<uint32_t>(num(kColourAttributes[0])) & 0xFFu;
    uint32_t g = static_cast<uint32_t>(num(kColourAttributes[1])) & 0xFFu;
    uint32_t b = static_cast<uint32_t>(num(kColourAttributes[2])) & 0xFFu;
    return r | (g << 8) | (b << 16);
  }

  tagArea area() {
    return tagArea{num(kAreaAttributes[0]), num(kAreaAttributes[1]), num(kAreaAttributes[2]), num(kAreaAttributes[3])};
  }

  HBITMAP lookup(int32_t id) { return m_images ? m_images->GetImgHandle(id) : nullptr; }

  // An image reference: the id and the handle the table gives it now.
  void image(int32_t& id, HBITMAP& handle) {
    id = num(kImageAttributes[0]);
    handle = lookup(id);
  }

  void directions(int32_t (&table)[IR_COUNT]) {
    for (int i = 0; i < IR_COUNT; ++i) table[i] = num(kDirectionAttributes[i]);
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
  RowInfo info;
  void (*read)(R& record, ItemReader& reader, size_t repetition);
};

#define SL_ROW(R, tag, carries, body) \
  Row<R> { {tag, false, carries}, [](R& r, ItemReader& in, size_t) { body; } }
#define SL_REPEATED(R, tag, carries, body) \
  Row<R> { {tag, true, carries}, [](R& r, ItemReader& in, size_t k) { body; } }
#define SL_INT_ROW(R, tag, field) SL_ROW(R, tag, Carries::Value, r.field = in.value())
#define SL_UINT_ROW(R, tag, field) SL_ROW(R, tag, Carries::Value, r.field = static_cast<uint32_t>(in.value()))
#define SL_COLOUR_ROW(R, tag, field) SL_ROW(R, tag, Carries::Colour, r.field = in.colour())
#define SL_AREA_ROW(R, tag, field) SL_ROW(R, tag, Carries::Area, r.field = in.area())
#define SL_IMAGE_ROW(R, tag, idField, bitmapField) \
  SL_ROW(R, tag, Carries::Image, in.image(r.idField, r.bitmapField))
#define SL_DIRECTION_ROW(R, tag, field) SL_ROW(R, tag, Carries::Directions, in.directions(r.field))

// The rows of each kind, in the order the loader searches them.
template <class R>
struct Rows;

template <>
struct Rows<tagMenu> {
  static constexpr Row<tagMenu> rows[] = {
      SL_IMAGE_ROW(tagMenu, u"BACKGRUOND", BgImgId, BgBitmap),
      SL_IMAGE_ROW(tagMenu, u"BGMASK", MaskImgId, MaskBitmap),
      SL_ROW(tagMenu, u"BACKTRANSPARENT", Carries::Value, r.BackTransparent = static_cast<float>(in.value() * 0.01)),
      SL_ROW(tagMenu, u"FORETRANSPARENT", Carries::Value, r.ForeTransparent = static_cast<float>(in.value() * 0.01)),
      SL_INT_ROW(tagMenu, u"BREGION", Region),
      SL_AREA_ROW(tagMenu, u"MVIEWPORT", MainViewPort),
      SL_AREA_ROW(tagMenu, u"SVIEWPORT", SlaveViewPort),
  };
};

template <>
struct Rows<tagTexture> {
  static constexpr Row<tagTexture> rows[] = {
      SL_ROW(tagTexture, u"TxtActionID", Carries::Value, r.ActionID = in.value(); r.Text[0] = 0),
      SL_INT_ROW(tagTexture, u"TxtType", TxtType),
      SL_REPEATED(tagTexture, u"TxtTextureID", Carries::Value, in.textId(r.TextureIDs, k)),
      SL_INT_ROW(tagTexture, u"TxtFont", TxtFont),
      SL_INT_ROW(tagTexture, u"TxtSize", TxtSize),
      SL_COLOUR_ROW(tagTexture, u"TxtColor", TxtColor),
      SL_COLOUR_ROW(tagTexture, u"TxtColorGray", TxtColorGray),
      SL_AREA_ROW(tagTexture, u"TxtArea", TxtArea),
      SL_INT_ROW(tagTexture, u"TxtScrollPos", TxtScrollPos),
      SL_UINT_ROW(tagTexture, u"TxtAlign", TxtAlign),
  };
};

template <>
struct Rows<tagButton> {
  static constexpr Row<tagButton> rows[] = {
      SL_INT_ROW(tagButton, u"BtnActionType", ActionType),
      SL_ROW(tagButton, u"BtnActionID", Carries::Value, r.ActionID = in.value(); r.StateIndex = 0),
      SL_INT_ROW(tagButton, u"BtnIrHotKey", IrHotKey),
      SL_ROW(tagButton, u"BtnIrHotKeyMode", Carries::HotKeyModes,
             r.NextMode = in.num(kHotKeyModeAttributes[0]); r.InitMode = in.num(kHotKeyModeAttributes[1])),
      SL_AREA_ROW(tagButton, u"BtnTouchArea", TouchArea),
      SL_AREA_ROW(tagButton, u"BtnArea", BtnArea),
      SL_REPEATED(tagButton, u"BtnImgUp", Carries::Image, (void)k; in.imageItem(r.ImgUp)),
      SL_REPEATED(tagButton, u"BtnImgDn", Carries::Image, (void)k; in.imageItem(r.ImgDn)),
      SL_REPEATED(tagButton, u"BtnImgGray", Carries::Image, (void)k; in.imageItem(r.ImgGray)),
      SL_REPEATED(tagButton, u"BtnImgIr", Carries::Image, (void)k; in.imageItem(r.ImgIr)),
      SL_REPEATED(tagButton, u"BtnTxtId", Carries::Value, in.textId(r.TextIds, k)),
      SL_INT_ROW(tagButton, u"BtnTxtType", TxtType),
      SL_INT_ROW(tagButton, u"BtnTxtSize", TxtSize),
      SL_INT_ROW(tagButton, u"BtnTxtFont", TxtFont),
      SL_COLOUR_ROW(tagButton, u"BtnTxtColor", TxtColor),
      SL_COLOUR_ROW(tagButton, u"BtnTxtSelColor", TxtSelColor),
      SL_AREA_ROW(tagButton, u"BtnTxtArea", TxtArea),
      SL_UINT_ROW(tagButton, u"BtnTxtAlign", TxtAlign),
      SL_DIRECTION_ROW(tagButton, u"BtnIrDirect", IrDirect),
  };
};

template <>
struct Rows<tagPicture> {
  static constexpr Row<tagPicture> rows[] = {
      SL_INT_ROW(tagPicture, u"PicActionID", ActionID),
      SL_INT_ROW(tagPicture, u"PicType", PicType),
      SL_AREA_ROW(tagPicture, u"PicArea", PicArea),
      SL_INT_ROW(tagPicture, u"PicActionIndex", ActionIndex),
      SL_REPEATED(tagPicture, u"PicImg", Carries::Image, (void)k; in.imageItem(r.Images)),
  };
};

template <>
struct Rows<tagProgress> {
  static constexpr Row<tagProgress> rows[] = {
      SL_INT_ROW(tagProgress, u"PrgActionType", ActionType),
      SL_INT_ROW(tagProgress, u"PrgActionID", ActionID),
      SL_INT_ROW(tagProgress, u"PrgHorizon", Horizon),
      SL_AREA_ROW(tagProgress, u"PrgArea", PrgArea),
      SL_AREA_ROW(tagProgress, u"PrgSldArea", PrgSldArea),
      SL_IMAGE_ROW(tagProgress, u"PrgImgBack", BackImgId, BackBitmap),
      SL_IMAGE_ROW(tagProgress, u"PrgImgIrBack", IrBackImgId, IrBackBitmap),
      SL_IMAGE_ROW(tagProgress, u"PrgImgPrg", PrgImgId, PrgBitmap),
      SL_IMAGE_ROW(tagProgress, u"PrgImgSlide", SlideImgId, SlideBitmap),
      SL_INT_ROW(tagProgress, u"PrgTxtFont", TxtFont),
      SL_INT_ROW(tagProgress, u"PrgTxtSize", TxtSize),
      SL_COLOUR_ROW(tagProgress, u"PrgTxtColor", TxtColor),
      SL_UINT_ROW(tagProgress, u"PrgTxtAlign", TxtAlign),
      SL_DIRECTION_ROW(tagProgress, u"PrgIrDirect", IrDirect),
  };
};

template <>
struct Rows<tagEightSeg> {
  static constexpr Row<tagEightSeg> rows[] = {
      SL_INT_ROW(tagEightSeg, u"SegActionID", ActionID),
      SL_INT_ROW(tagEightSeg, u"SegType", SegType),
      SL_INT_ROW(tagEightSeg, u"SegShowType", SegShowType),
      SL_AREA_ROW(tagEightSeg, u"SegArea", SegArea),
      SL_INT_ROW(tagEightSeg, u"SegFontWid", SegFontWid),
      SL_COLOUR_ROW(tagEightSeg, u"SegColor", SegColor),
      SL_COLOUR_ROW(tagEightSeg, u"SegHiColor", SegHiColor),
      SL_INT_ROW(tagEightSeg, u"SegStrockWid", SegStrockWid),
      SL_INT_ROW(tagEightSeg, u"SegStrockSpace", SegStrockSpace),
      SL_COLOUR_ROW(tagEightSeg, u"SegStrockColor", SegStrockColor),
      // Only the handle is kept for the segment background.
      SL_ROW(tagEightSeg, u"SegBmpBg", Carries::Image, r.BgBitmap = in.lookup(in.num(kImageAttributes[0]))),
      SL_AREA_ROW(tagEightSeg, u"SegCrop", SegCrop),
  };
};

template <>
struct Rows<tagSector> {
  static constexpr Row<tagSector> rows[] = {
      SL_INT_ROW(tagSector, u"SecActionID", ActionID),
      SL_INT_ROW(tagSector, u"SecType", SecType),
      SL_INT_ROW(tagSector, u"SecStart", SecStart),
      SL_INT_ROW(tagSector, u"SecEnd", SecEnd),
      SL_AREA_ROW(tagSector, u"SecArea", SecArea),
      SL_COLOUR_ROW(tagSector, u"SecColor", SecColor),
      SL_COLOUR_ROW(tagSector, u"SecHiColor", SecHiColor),
      SL_COLOUR_ROW(tagSector, u"SecStrockColor", SecStrockColor),
  };
};

template <>
struct Rows<tagGif> {
  static constexpr Row<tagGif> rows[] = {
      SL_INT_ROW(tagGif, u"GifActionID", ActionID),
      SL_INT_ROW(tagGif, u"GifActionType", ActionType),
      SL_AREA_ROW(tagGif, u"GifArea", GifArea),
      SL_ROW(tagGif, u"GifImg", Carries::File, in.path(r.Path)),
  };
};

template <>
struct Rows<tagSlide> {
  static constexpr Row<tagSlide> rows[] = {
      SL_IMAGE_ROW(tagSlide, u"SldImgBg", BgImgId, BgBitmap),
      SL_AREA_ROW(tagSlide, u"SldArea", SldArea),
      SL_INT_ROW(tagSlide, u"SldHorizon", Horizon),
      SL_INT_ROW(tagSlide, u"SldActionID", ActionID),
      SL_INT_ROW(tagSlide, u"SldActionType", ActionType),
      SL_IMAGE_ROW(tagSlide, u"SldImgUp", UpImgId, UpBitmap),
      SL_IMAGE_ROW(tagSlide, u"SldImgDn", DnImgId, DnBitmap),
      SL_AREA_ROW(tagSlide, u"SldItemArea", ItemArea),
      SL_INT_ROW(tagSlide, u"SldTxtId", TxtId),
      SL_INT_ROW(tagSlide, u"SldTxtType", TxtType),
      SL_INT_ROW(tagSlide, u"SldTxtFont", TxtFont),
      SL_INT_ROW(tagSlide, u"SldTxtSize", TxtSize),
      SL_COLOUR_ROW(tagSlide, u"SldTxtColorUp", TxtColorUp),
      SL_COLOUR_ROW(tagSlide, u"SldTxtColorDn", TxtColorDn),
      SL_AREA_ROW(tagSlide, u"SldTxtArea", TxtArea),
      SL_UINT_ROW(tagSlide, u"SldTxtAlign", TxtAlign),
  };
};

template <>
struct Rows<tagTable> {
  static constexpr Row<tagTable> rows[] = {
      SL_INT_ROW(tagTable, u"TblActionID", ActionID),
      SL_INT_ROW(tagTable, u"TblActionType", ActionType),
      SL_AREA_ROW(tagTable, u"TblTouchArea", TouchArea),
      SL_AREA_ROW(tagTable, u"TblItemArea", ItemArea),
      // Each of the three gives an image reference and, as its text, a file name; the
      // path is stored even when the text is empty (it is then the base directory).
      SL_ROW(tagTable, u"TblImgNameDir", Carries::ImageAndFile, in.image(r.DirImgId, r.DirBitmap); in.path(r.DirPath)),
      SL_ROW(tagTable, u"TblImgNameFile", Carries::ImageAndFile,
             in.image(r.FileImgId, r.FileBitmap); in.path(r.FilePath)),
      SL_ROW(tagTable, u"TblImgNameBg", Carries::ImageAndFile, in.image(r.BgImgId, r.BgBitmap); in.path(r.BgPath)),
      SL_INT_ROW(tagTable, u"TblIsSelected", IsSelected),
      SL_INT_ROW(tagTable, u"TblTxtId", TxtId),
      SL_AREA_ROW(tagTable, u"TblTxtArea", TxtArea),
      SL_INT_ROW(tagTable, u"TblTxtSize", TxtSize),
      SL_INT_ROW(tagTable, u"TblTxtFont", TxtFont),
      SL_COLOUR_ROW(tagTable, u"TblTxtColor", TxtColor),
      SL_COLOUR_ROW(tagTable, u"TblSelColor", SelColor),
      SL_UINT_ROW(tagTable, u"TblTxtAlign", TxtAlign),
      SL_DIRECTION_ROW(tagTable, u"TblIrDirect", IrDirect),
  };
};

template <>
struct Rows<tagSignal> {
  static constexpr Row<tagSignal> rows[] = {
      SL_INT_ROW(tagSignal, u"SigActionType", ActionType),
      SL_INT_ROW(tagSignal, u"SigActionID", ActionID),
      SL_AREA_ROW(tagSignal, u"SigArea", SigArea),
      SL_COLOUR_ROW(tagSignal, u"SigInvalidColor", SigInvalidColor),
      SL_COLOUR_ROW(tagSignal, u"SigValidColor", SigValidColor),
      SL_INT_ROW(tagSignal, u"SigNum", SigNum),
      SL_INT_ROW(tagSignal, u"SigNumFont", SigNumFont),
      SL_INT_ROW(tagSignal, u"SigNumSize", SigNumSize),
      SL_COLOUR_ROW(tagSignal, u"SigNumColor", SigNumColor),
      SL_AREA_ROW(tagSignal, u"SigNumArea", SigNumArea),
      SL_INT_ROW(tagSignal, u"SigNumAlign", SigNumAlign),
      SL_INT_ROW(tagSignal, u"SigCN", SigCN),
      SL_INT_ROW(tagSignal, u"SigCNFont", SigCNFont),
      SL_INT_ROW(tagSignal, u"SigCNSize", SigCNSize),
      SL_COLOUR_ROW(tagSignal, u"SigCNColor", SigCNColor),
      SL_AREA_ROW(tagSignal, u"SigCNArea", SigCNArea),
      SL_INT_ROW(tagSignal, u"SigCNAlign", SigCNAlign),
  };
};

template <>
struct Rows<tagSatellite> {
  static constexpr Row<tagSatellite> rows[] = {
      SL_INT_ROW(tagSatellite, u"SatActionID", ActionID),
      SL_AREA_ROW(tagSatellite, u"SatDisplayArea", SatDisplayArea),
      SL_ROW(tagSatellite, u"SatSize", Carries::Size,
             r.SatWidth = in.num(kSizeAttributes[0]); r.SatHight = in.num(kSizeAttributes[1])),
      SL_COLOUR_ROW(tagSatellite, u"SatInvalidColor", SatInvalidColor),
      SL_COLOUR_ROW(tagSatellite, u"SatValidColor", SatValidColor),
      SL_INT_ROW(tagSatellite, u"SatTxtFont", SatTxtFont),
      SL_INT_ROW(tagSatellite, u"SatTxtSize", SatTxtSize),
      SL_COLOUR_ROW(tagSatellite, u"SatTxtColor", SatTxtColor),
      SL_AREA_ROW(tagSatellite, u"SatTxtArea", SatTxtArea),
      SL_UINT_ROW(tagSatellite, u"SatTxtAlign", SatTxtAlign),
  };
};


#undef SL_ROW
#undef SL_REPEATED
#undef SL_INT_ROW
#undef SL_UINT_ROW
#undef SL_COLOUR_ROW
#undef SL_AREA_ROW
#undef SL_IMAGE_ROW
#undef SL_DIRECTION_ROW

// The rows of a kind without their readers, in read order.
template <class R, size_t... I>
constexpr std::array<RowInfo, sizeof...(I)> rowInfos(std::index_sequence<I...>) {
  return {Rows<R>::rows[I].info...};
}
template <class R>
inline constexpr auto kRowInfos = rowInfos<R>(std::make_index_sequence<std::size(Rows<R>::rows)>{});

// A section loader: `xml` stands on the section element; its items are named `itemName`.
using SectionLoader = void (*)(CMarkup& xml, const char16_t* itemName, tagMenu& page, CImgRes* images);
// The loader of one kind (skin_loader.cpp).
template <class R, std::vector<R> tagMenu::*List>
void loadSection(CMarkup& xml, const char16_t* itemName, tagMenu& page, CImgRes* images);

struct Section {
  const char16_t* name;
  const char16_t* item;
  std::span<const RowInfo> rows;
  SectionLoader load;
};

#define SL_SECTION(name, item, R, list) \
  Section { name, item, kRowInfos<R>, &loadSection<R, &tagMenu::list> }
// Sections in the order the page loader searches them, after the page's own rows.
inline constexpr Section kSections[] = {
    SL_SECTION(u"TEXTS", u"TEXT", tagTexture, Texts),
    SL_SECTION(u"BUTTONS", u"BUTTON", tagButton, Buttons),
    SL_SECTION(u"PROGRESSES", u"PROGRESS", tagProgress, Progresses),
    SL_SECTION(u"EIGHTSEGS", u"EIGHTSEG", tagEightSeg, EightSegs),
    SL_SECTION(u"SECTORS", u"SECTOR", tagSector, Sectors),
    SL_SECTION(u"GIFS", u"GIF", tagGif, Gifs),
    SL_SECTION(u"SLIDE", u"SLIDEITEM", tagSlide, Slides),
    SL_SECTION(u"PICTURES", u"PICTURE", tagPicture, Pictures),
    SL_SECTION(u"TABLES", u"TABLEITEM", tagTable, Tables),
    SL_SECTION(u"SIGNALBAR", u"SIGNAL", tagSignal, Signals),
    SL_SECTION(u"SATELLITES", u"SATELLITE", tagSatellite, Satellites),
};
#undef SL_SECTION

// The page's own rows (its global properties), searched before the sections.
inline constexpr std::span<const RowInfo> kPageRows = kRowInfos<tagMenu>;

}  // namespace skinlet::schema
