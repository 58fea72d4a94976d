// Widget records of a screen script: one tagMenu per page, one list per widget kind.
// Field order and types are those the painter, the input dispatcher and the launcher
// read; run-time fields (controls, texts, state) start zero and are filled later.
#pragma once

#include <cstdint>
#include <vector>

#include "windows.h"

class ButtonControl;
class ProgressControl;
class SegmentControl;
class SlideControl;
class AnimationPlayer;

typedef RECT tagRECT;

// Fixed text buffers of the records, terminator included.
constexpr int SL_TEXT_LEN = 100;
constexpr int SL_PATH_LEN = MAX_PATH;  // 260

struct tagArea {
  int32_t LocX;
  int32_t LocY;
  int32_t Width;
  int32_t Hight;
};

tagRECT AreaToRect(const tagArea& area);
tagArea RectToArea(const tagRECT& rect);
tagRECT ExtendRect(const tagRECT& rect, int n);
tagArea ExtendArea(const tagArea& area, int n);

// Entry of the image table; ids compare as unsigned 16-bit numbers.
struct tagImgRes {
  uint16_t imgId;
  HBITMAP hImg;
};

// Entry of a widget's image list.
struct tagImgItem {
  HBITMAP hImg;
  int32_t imgId;
  WCHAR path[SL_PATH_LEN];
};

// Direction table: "Left", "Rigth", "Top", "Bottom", "Ok", "Close", "UpLt", "DnRt".
enum { IR_LEFT = 0, IR_RIGHT, IR_TOP, IR_BOTTOM, IR_OK, IR_CLOSE, IR_UPLT, IR_DNRT, IR_COUNT };

struct tagTexture {
  int32_t ActionID;
  int32_t TxtType;
  int32_t TextIndex;
  WCHAR Text[SL_TEXT_LEN];
  int32_t TxtFont;
  int32_t TxtSize;
  COLORREF TxtColor;
  COLORREF TxtColorGray;
  tagArea TxtArea;
  uint32_t TxtAlign;
  int32_t TxtScrollPos;
  std::vector<int32_t> TextureIDs;
};

struct tagButton {
  int32_t ActionType;
  int32_t StateIndex;
  int32_t ActionID;
  int32_t IrHotKey;
  int32_t NextMode;
  int32_t InitMode;
  tagArea TouchArea;
  tagArea BtnArea;
  ButtonControl* Control;
  std::vector<int32_t> TextIds;
  int32_t TxtType;
  WCHAR Text[SL_TEXT_LEN];
  int32_t TxtSize;
  int32_t TxtFont;
  COLORREF TxtColor;
  COLORREF TxtSelColor;
  tagArea TxtArea;
  uint32_t TxtAlign;
  int32_t IrDirect[IR_COUNT];
  std::vector<tagImgItem> ImgUp;
  std::vector<tagImgItem> ImgDn;
  std::vector<tagImgItem> ImgGray;
  std::vector<tagImgItem> ImgIr;
};

struct tagPicture {
  int32_t ActionID;
  int32_t PicType;
  tagArea PicArea;
  int32_t ActionIndex;
  std::vector<tagImgItem> Images;
};

struct tagProgress {
  int32_t ActionType;
  int32_t ActionID;
  tagArea PrgSldArea;
  tagArea PrgArea;
  ProgressControl* Control;
  int32_t Horizon;
  int32_t TxtFont;
  int32_t TxtSize;
  COLORREF TxtColor;
  uint32_t TxtAlign;
  HBITMAP BackBitmap;
  HBITMAP IrBackBitmap;
  HBITMAP PrgBitmap;
  HBITMAP SlideBitmap;
  int32_t BackImgId;
  int32_t IrBackImgId;
  int32_t PrgImgId;
  int32_t SlideImgId;
  int32_t IrDirect[IR_COUNT];
};

struct tagEightSeg {
  SegmentControl* Control;
  WCHAR Text[SL_TEXT_LEN];
  HBITMAP BgBitmap;
  int32_t ActionID;
  int32_t SegType;
  int32_t SegShowType;
  tagArea SegArea;
  int32_t SegFontWid;
  int32_t SegStrockWid;
  int32_t SegStrockSpace;
  COLORREF SegColor;
  COLORREF SegHiColor;
  COLORREF SegStrockColor;
  tagArea SegCrop;
  uint32_t Flags;
};

struct tagSector {
  int32_t ActionID;
  int32_t SecType;
  int32_t SecStart;
  int32_t SecEnd;
  tagArea SecArea;
  COLORREF SecColor;
  COLORREF SecHiColor;
  COLORREF SecStrockColor;
};

struct tagGif {
  int32_t ActionID;
  int32_t ActionType;
  tagArea GifArea;
  AnimationPlayer* Player;
  WCHAR Path[SL_PATH_LEN];
};

struct tagSlide {
  SlideControl* Control;
  HBITMAP BgBitmap;
  int32_t BgImgId;
  tagArea SldArea;
  int32_t Horizon;
  int32_t ActionID;
  int32_t ActionType;
  HBITMAP UpBitmap;
  HBITMAP DnBitmap;
  int32_t UpImgId;
  int32_t DnImgId;
  tagArea ItemArea;
  int32_t TxtId;
  WCHAR Text[SL_TEXT_LEN];
  int32_t TxtType;
  int32_t TxtFont;
  int32_t TxtSize;
  COLORREF TxtColorUp;
  COLORREF TxtColorDn;
  tagArea TxtArea;
  uint32_t TxtAlign;
};

struct tagTable {
  int32_t ActionType;
  int32_t ActionID;
  int32_t IsSelected;
  tagArea TouchArea;
  tagArea ItemArea;
  HBITMAP DirBitmap;
  HBITMAP FileBitmap;
  HBITMAP BgBitmap;
  WCHAR DirPath[SL_PATH_LEN];
  WCHAR FilePath[SL_PATH_LEN];
  WCHAR BgPath[SL_PATH_LEN];
  int32_t DirImgId;
  int32_t FileImgId;
  int32_t BgImgId;
  int32_t TxtId;
  tagArea TxtArea;
  int32_t TxtSize;
  int32_t TxtFont;
  COLORREF TxtColor;
  COLORREF SelColor;
  WCHAR Text[SL_PATH_LEN];
  uint32_t TxtAlign;
  int32_t ScrollFlags;
  int32_t ScrollPos;
  int32_t ScrollStart;
  int32_t IrDirect[IR_COUNT];
};

struct tagSignal {
  int32_t ActionType;
  int32_t ActionID;
  tagArea SigArea;
  COLORREF SigInvalidColor;
  COLORREF SigValidColor;
  int32_t SigNum;
  int32_t SigNumFont;
  int32_t SigNumSize;
  COLORREF SigNumColor;
  tagArea SigNumArea;
  int32_t SigNumAlign;
  int32_t SigCN;
  int32_t SigCNFont;
  int32_t SigCNSize;
  COLORREF SigCNColor;
  tagArea SigCNArea;
  int32_t SigCNAlign;
};

struct tagSatellite {
  int32_t ActionID;
  tagArea SatDisplayArea;
  int32_t Spare;
  int32_t SatWidth;
  int32_t SatHight;
  COLORREF SatInvalidColor;
  COLORREF SatValidColor;
  int32_t SatTxtFont;
  int32_t SatTxtSize;
  COLORREF SatTxtColor;
  tagArea SatTxtArea;
  uint32_t SatTxtAlign;
};

// One page of a screen script.
struct tagMenu {
  int32_t BgImgId;
  HBITMAP BgBitmap;
  int32_t MaskImgId;
  HBITMAP MaskBitmap;
  float BackTransparent;
  float ForeTransparent;
  int32_t Region;
  tagArea MainViewPort;
  tagArea SlaveViewPort;
  std::vector<tagTexture> Texts;
  std::vector<tagButton> Buttons;
  std::vector<tagProgress> Progresses;
  std::vector<tagEightSeg> EightSegs;
  std::vector<tagGif> Gifs;
  std::vector<tagSlide> Slides;
  std::vector<tagTable> Tables;
  std::vector<tagSignal> Signals;
  std::vector<tagSatellite> Satellites;
  std::vector<tagPicture> Pictures;
  std::vector<tagSector> Sectors;
};
