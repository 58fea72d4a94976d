// Widget operations: the index lookup of every kind, strings cut to the record buffers, the
// repaint class of each operation, button states, text flags and templates, page switching.
#include <functional>

#include "input_fixture.h"

namespace input_test {
namespace {

std::u16string text(const WCHAR* t) { return t ? std::u16string(t) : std::u16string(u"(null)"); }

class Operations : public InputTest {
 protected:
  // One page with one widget of every kind that has a control, each with action id 10, and
  // a second text, table item and picture (id 11) to show that only the named one changes.
  void buildPage() {
    tagMenu& p = skin->page(0);
    tagButton b = makeButton(10, 10, 10);
    b.ImgUp = {image(bitmaps.make(60, 40, 0x0000FF))};
    b.ImgDn = {image(bitmaps.make(60, 40, 0x00FF00))};
    p.Buttons.push_back(b);
    p.Progresses.push_back(makeProgress(10, 10, 100));
    tagEightSeg seg{};
    seg.ActionID = 10;
    seg.SegArea = {300, 10, 100, 60};
    p.EightSegs.push_back(seg);
    tagSlide slide{};
    slide.ActionID = 10;
    slide.ActionType = 1;
    slide.SldArea = {300, 100, 200, 80};
    slide.ItemArea = {0, 0, 80, 80};
    p.Slides.push_back(slide);
    p.Texts = {makeText(10, 10, 200), makeText(11, 10, 240)};
    p.Tables = {makeTableItem(10, 300, 300), makeTableItem(11, 300, 350)};
    tagPicture pic{};
    pic.ActionID = 10;
    pic.PicArea = {600, 10, 50, 50};
    pic.Images = {image(bitmaps.make(8, 8, 0xFF0000)), image(bitmaps.make(8, 8, 0x00FF00))};
    p.Pictures = {pic};
    tagGif gif{};
    gif.ActionID = 10;
    gif.GifArea = {600, 100, 40, 30};
    p.Gifs = {gif};
    tagSector sec{};
    sec.ActionID = 10;
    p.Sectors = {sec};
    tagSignal sig{};
    sig.ActionID = 10;
    sig.ActionType = 1;
    sig.SigNum = 3;
    sig.SigCN = 40;
    p.Signals = {sig, sig};
    createControls();
  }
  tagMenu& page() { return skin->page(0); }
  // A language table whose texts 1 to 8 are templates and labels.
  void loadLanguage() {
    writeFile("Windows/en.rc",
              "STRINGTABLE\nBEGIN\n  1, \"%d km\"\n  2, \"to %s\"\n  3, \"%s km\"\n  4, \"%d %d\"\n  5, \"100%% %d\"\n"
              "  6, \"" + std::string(150, 'y') + " %d\"\n  7, \"%-5d|\"\n  8, \"%n\"\nEND\n");
    writeFile("Windows/language.xml", "<LANGUAGES><LANGUAGE LANGID='1033'>en.rc</LANGUAGE></LANGUAGES>");
    table = std::make_unique<CTxtRes>();
    ASSERT_EQ(table->SetLanguage(1033), 1);
    skin->SL_resSetHandle(nullptr, table.get());
  }
  void TearDown() override {
    skin->SL_resSetHandle(nullptr, nullptr);
    table.reset();
    InputTest::TearDown();
  }
  std::unique_ptr<CTxtRes> table;
};

// ---- Index lookup -------------------------------------------------------------------------

template <class Record>
void threeRecords(std::vector<Record>& list) {
  list.assign(3, Record{});
  list[0].ActionID = 5;
  list[1].ActionID = 7;
  list[2].ActionID = 7;
}

struct LookupRow {
  const char* kind;
  std::function<void(tagMenu&)> fill;
  int (CSkinlet::*lookup)(int);
};

template <class Record>
LookupRow lookupRow(const char* kind, std::vector<Record> tagMenu::*list, int (CSkinlet::*lookup)(int)) {
  return {kind, [list](tagMenu& m) { threeRecords(m.*list); }, lookup};
}

TEST_F(Operations, EveryKindFindsTheFirstRecordWithTheIdAndMinusOneOtherwise) {
  using S = InputSkinlet;
  const LookupRow rows[] = {
      lookupRow("text", &tagMenu::Texts, &S::GetTxtListIndex),
      lookupRow("button", &tagMenu::Buttons, &S::GetBtnListIndex),
      lookupRow("progress", &tagMenu::Progresses, &S::GetPrgListIndex),
      lookupRow("segment", &tagMenu::EightSegs, &S::GetSegListIndex),
      lookupRow("gif", &tagMenu::Gifs, &S::GetGifListIndex),
      lookupRow("slide", &tagMenu::Slides, &S::GetSldListIndex),
      lookupRow("table", &tagMenu::Tables, &S::GetTblListIndex),
      lookupRow("signal", &tagMenu::Signals, &S::GetSigListIndex),
      lookupRow("picture", &tagMenu::Pictures, &S::GetPicListIndex),
      lookupRow("satellite", &tagMenu::Satellites, &S::GetSatListIndex),
      lookupRow("sector", &tagMenu::Sectors, &S::GetSecListIndex),
  };
  for (const LookupRow& row : rows) {
    CSkinlet* engine = skin;
    auto find = [&](int id) { return (engine->*row.lookup)(id); };
    skin->Menus.clear();
    EXPECT_EQ(find(7), -1) << row.kind << ": no page at all";
    skin->page(1);
    EXPECT_EQ(find(7), -1) << row.kind << ": empty list";
    row.fill(skin->page(0));
    EXPECT_EQ(find(5), 0) << row.kind;
    EXPECT_EQ(find(7), 1) << row.kind << ": the first of two with one id";
    EXPECT_EQ(find(6), -1) << row.kind;
    // Only the current page is searched.
    skin->CurMenu = 1;
    EXPECT_EQ(find(5), -1) << row.kind;
    skin->CurMenu = 0;
  }
  skin->Menus.clear();
}

TEST_F(Operations, GettersReturnTheRecordOrNull) {
  buildPage();
  EXPECT_EQ(skin->SL_btnGetStruct(10), &page().Buttons[0]);
  EXPECT_EQ(skin->SL_txtGetStruct(11), &page().Texts[1]);
  EXPECT_EQ(skin->SL_prgGetStruct(10), &page().Progresses[0]);
  EXPECT_EQ(skin->SL_tblGetStruct(11), &page().Tables[1]);
  EXPECT_EQ(skin->SL_sigGetStruct(10), &page().Signals[0]);
  EXPECT_EQ(skin->SL_tblGetTexture(11), page().Tables[1].Text);
  for (int missing : {0, -1, 12}) {
    EXPECT_EQ(skin->SL_btnGetStruct(missing), nullptr);
    EXPECT_EQ(skin->SL_txtGetStruct(missing), nullptr);
    EXPECT_EQ(skin->SL_prgGetStruct(missing), nullptr);
    EXPECT_EQ(skin->SL_tblGetStruct(missing), nullptr);
    EXPECT_EQ(skin->SL_tblGetTexture(missing), nullptr);
    EXPECT_EQ(skin->SL_sigGetStruct(missing), nullptr);
    EXPECT_EQ(skin->SL_satGetStruct(missing), nullptr);
    EXPECT_EQ(skin->SL_btnSetStateIndex(missing, 0), -1);
  }
  EXPECT_EQ(skin->SL_tblGetListSize(), 2);
  EXPECT_EQ(skin->SL_sigGetListSize(), 2);
  EXPECT_EQ(consoleText(), "") << "unknown ids are silent";
}

// ---- Caller strings -----------------------------------------------------------------------

TEST_F(Operations, CallerStringsAreCutToTheRecordBuffersAndNullIsIgnored) {
  buildPage();
  const std::u16string longText(400, u'x');
  struct Row {
    const char* op;
    std::function<void(const WCHAR*)> call;
    std::function<WCHAR*()> buffer;
    size_t size;
  };
  const Row rows[] = {
      {"SL_btnSetTexture", [&](const WCHAR* t) { skin->SL_btnSetTexture(10, t); },
       [&] { return page().Buttons[0].Text; }, 100},
      {"SL_txtSetItem", [&](const WCHAR* t) { skin->SL_txtSetItem(10, t, 0); },
       [&] { return page().Texts[0].Text; }, 100},
      {"SL_segSetTexture", [&](const WCHAR* t) { skin->SL_segSetTexture(10, t); },
       [&] { return page().EightSegs[0].Text; }, 100},
      {"SL_tblSetTexture", [&](const WCHAR* t) { skin->SL_tblSetTexture(10, t); },
       [&] { return page().Tables[0].Text; }, 260},
      {"SL_tblSetImgFile", [&](const WCHAR* t) { skin->SL_tblSetImgFile(10, t); },
       [&] { return page().Tables[0].FilePath; }, 260},
  };
  // The fields after the buffers must survive.
  page().Texts[0].TxtFont = 1234;
  page().Buttons[0].TxtSize = 1234;
  page().EightSegs[0].BgBitmap = reinterpret_cast<HBITMAP>(0x1234);
  page().Tables[0].TxtAlign = 1234;
  page().Tables[0].BgPath[0] = u'B';
  for (const Row& row : rows) {
    row.call(u"short");
    EXPECT_EQ(text(row.buffer()), u"short") << row.op;
    row.call(nullptr);
    EXPECT_EQ(text(row.buffer()), u"short") << row.op << ": a null string changes nothing";
    row.call(longText.substr(0, row.size - 1).c_str());
    EXPECT_EQ(text(row.buffer()), longText.substr(0, row.size - 1)) << row.op << ": the longest that fits";
    row.call(longText.c_str());
    EXPECT_EQ(text(row.buffer()), longText.substr(0, row.size - 1)) << row.op << ": cut, terminator included";
  }
  EXPECT_EQ(page().Texts[0].TxtFont, 1234);
  EXPECT_EQ(page().Buttons[0].TxtSize, 1234);
  EXPECT_EQ(page().EightSegs[0].BgBitmap, reinterpret_cast<HBITMAP>(0x1234));
  EXPECT_EQ(page().Tables[0].TxtAlign, 1234u);
  EXPECT_EQ(page().Tables[0].BgPath[0], u'B');
}

// ---- Repaint classes ----------------------------------------------------------------------

TEST_F(Operations, EachOperationRepaintsAsItsClassSays) {
  buildPage();
  HWND btn = page().Buttons[0].Control->hWnd;
  HWND prg = page().Progresses[0].Control->hWnd;
  HWND seg = page().EightSegs[0].Control->hWnd;
  HWND sld = page().Slides[0].Control->hWnd;
  enum Class { Control, Window, Area, None };
  struct Row {
    const char* op;
    std::function<void()> call;
    Class cls;
    HWND control;     // Control, Window
    RECT area;        // Area: the screen's update rectangle afterwards
  };
  const RECT none{};
  const Row rows[] = {
      {"SL_btnDisableItem", [&] { skin->SL_btnDisableItem(10, 1); }, Control, btn, none},
      {"SL_btnSetTexture", [&] { skin->SL_btnSetTexture(10, u"t"); }, Control, btn, none},
      {"SL_btnSetUpState", [&] { skin->SL_btnSetUpState(10); }, Control, btn, none},
      {"SL_btnSetDnState", [&] { skin->SL_btnSetDnState(10); }, Control, btn, none},
      {"SL_btnSetStateIndex", [&] { skin->SL_btnSetStateIndex(10, 0); }, Control, btn, none},
      {"SL_btnStateExchange", [&] { skin->SL_btnStateExchange(10); }, Control, btn, none},
      {"SL_btnStateRestore", [&] { skin->SL_btnStateRestore(10); }, Control, btn, none},
      {"SL_btnOnSelect", [&] { skin->SL_btnOnSelect(10, 1); }, Control, btn, none},
      {"SL_prgSetValue", [&] { skin->SL_prgSetValue(10, 50, 7); }, Control, prg, none},
      {"SL_prgOnSelect", [&] { skin->SL_prgOnSelect(10, 1); }, Control, prg, none},
      {"SL_segSetTexture", [&] { skin->SL_segSetTexture(10, u"12"); }, Control, seg, none},
      {"SL_btnShowItem", [&] { skin->SL_btnShowItem(10, !IsWindowVisible(btn)); }, Window, btn, none},
      {"SL_btnShowAll", [&] { skin->SL_btnShowAll(!IsWindowVisible(btn)); }, Window, btn, none},
      {"SL_prgShowItem", [&] { skin->SL_prgShowItem(10, !IsWindowVisible(prg)); }, Window, prg, none},
      {"SL_prgShowAll", [&] { skin->SL_prgShowAll(!IsWindowVisible(prg)); }, Window, prg, none},
      {"SL_segShowItem", [&] { skin->SL_segShowItem(10, !IsWindowVisible(seg)); }, Window, seg, none},
      {"SL_segShowAll", [&] { skin->SL_segShowAll(!IsWindowVisible(seg)); }, Window, seg, none},
      {"SL_sldShowItem", [&] { skin->SL_sldShowItem(10, !IsWindowVisible(sld)); }, Window, sld, none},
      {"SL_sldShowAll", [&] { skin->SL_sldShowAll(!IsWindowVisible(sld)); }, Window, sld, none},
      {"SL_txtRefreshItem", [&] { skin->SL_txtRefreshItem(11); }, Area, nullptr, {10, 240, 110, 270}},
      {"SL_picRefreshItem", [&] { skin->SL_picRefreshItem(10); }, Area, nullptr, {600, 10, 650, 60}},
      // The item grown by 5 on every side, then its text area beside it.
      {"SL_tblRefreshItem", [&] { skin->SL_tblRefreshItem(11); }, Area, nullptr, {295, 345, 600, 395}},
      {"SL_gifStop", [&] { skin->SL_gifStop(10); }, Area, nullptr, {600, 100, 640, 130}},
      {"SL_txtSetItem", [&] { skin->SL_txtSetItem(10, u"x", 0); }, None, nullptr, none},
      {"SL_txtHilightItem", [&] { skin->SL_txtHilightItem(10, 1); }, None, nullptr, none},
      {"SL_txtHideAll", [&] { skin->SL_txtHideAll(); }, None, nullptr, none},
      {"SL_txtDisplayAll", [&] { skin->SL_txtDisplayAll(); }, None, nullptr, none},
      {"SL_prgDisableItem", [&] { skin->SL_prgDisableItem(10, 0); }, None, nullptr, none},
      {"SL_tblSetItemType", [&] { skin->SL_tblSetItemType(10, PIC_TYPE_DIR); }, None, nullptr, none},
      {"SL_tblOnSelect", [&] { skin->SL_tblOnSelect(10, 1); }, None, nullptr, none},
      {"SL_tblHideAll", [&] { skin->SL_tblHideAll(); }, None, nullptr, none},
      {"SL_segHilightItem", [&] { skin->SL_segHilightItem(10, 1); }, None, nullptr, none},
      {"SL_secSetSector", [&] { skin->SL_secSetSector(10, 0, 90); }, None, nullptr, none},
      {"SL_picDisplayItem", [&] { skin->SL_picDisplayItem(10, 1); }, None, nullptr, none},
      {"SL_sigHideAll", [&] { skin->SL_sigHideAll(); }, None, nullptr, none},
  };
  HWND controls[] = {btn, prg, seg, sld};
  for (const Row& row : rows) {
    pumpUntilIdle();
    ASSERT_FALSE(pendingPaint(screen)) << row.op;
    const bool visibleBefore = row.control && IsWindowVisible(row.control);
    row.call();
    for (HWND c : controls) {
      EXPECT_EQ(pendingPaint(c) && IsWindowVisible(c), row.cls == Control && c == row.control) << row.op;
    }
    if (row.cls == Window) {
      EXPECT_NE(IsWindowVisible(row.control) != 0, visibleBefore) << row.op;
    }
    if (row.cls == Area) {
      RECT rc = updateRect(screen);
      EXPECT_EQ(std::tie(rc.left, rc.top, rc.right, rc.bottom),
                std::tie(row.area.left, row.area.top, row.area.right, row.area.bottom))
          << row.op;
    } else if (row.cls != Window) {
      EXPECT_FALSE(pendingPaint(screen)) << row.op;
    }
    // Windows shown again, so the next row starts from a visible control.
    for (HWND c : controls) ShowWindow(c, SW_SHOW);
  }
}

// ---- Buttons ------------------------------------------------------------------------------

TEST_F(Operations, StateIndexPicksTheImagesOfThatStateAndSaysWhetherTheReleasedOneExists) {
  HBITMAP up[3] = {bitmaps.make(4, 4, 1), bitmaps.make(4, 4, 2), bitmaps.make(4, 4, 3)};
  HBITMAP dn[3] = {bitmaps.make(4, 4, 4), bitmaps.make(4, 4, 5), bitmaps.make(4, 4, 6)};
  HBITMAP gray[2] = {bitmaps.make(4, 4, 8), bitmaps.make(4, 4, 9)};
  HBITMAP ir = bitmaps.make(4, 4, 7);
  loadLanguage();
  tagButton two = makeButton(1, 0, 0);
  two.ImgUp = {image(up[0]), image(up[1])};
  two.ImgDn = {image(dn[0]), image(dn[1]), image(dn[2])};
  two.ImgGray = {image(gray[0]), image(gray[1])};
  two.ImgIr = {image(ir)};
  two.TextIds = {1, 99, 2};
  tagButton three = makeButton(2, 100, 0);
  three.ImgUp = {image(up[0]), image(up[1]), image(up[2])};
  skin->page(0).Buttons = {two, three};
  createControls();
  ButtonControl* c = skin->page(0).Buttons[0].Control;
  struct Row {
    int id, index, result;
    HBITMAP upImg, dnImg, grayImg, irImg;
    const char16_t* label;
  } rows[] = {
      {1, 1, 2, up[1], dn[1], gray[1], nullptr, u""},  // text 99 is not in the table
      {1, 2, 0, nullptr, dn[2], nullptr, nullptr, u"to %s"},  // beyond ImgUp: a grey box while released
      {1, 0, 1, up[0], dn[0], gray[0], ir, u"%d km"},
      {2, 2, 3, up[2], nullptr, nullptr, nullptr, u""},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(skin->SL_btnSetStateIndex(r.id, r.index), r.result) << r.id << "/" << r.index;
    const tagButton& b = *skin->SL_btnGetStruct(r.id);
    EXPECT_EQ(b.StateIndex, r.index);
    EXPECT_EQ(b.Control->UpImg, r.upImg) << r.index;
    EXPECT_EQ(b.Control->DnImg, r.dnImg) << r.index;
    EXPECT_EQ(b.Control->GrayImg, r.grayImg) << r.index;
    EXPECT_EQ(b.Control->IrImg, r.irImg) << r.index;
    EXPECT_EQ(text(b.Text), r.label) << r.index;
  }
  EXPECT_EQ(consoleText(), "");
  skin->SL_resSetHandle(nullptr, nullptr);  // no language at all: an empty label
  skin->SL_btnSetStateIndex(1, 0);
  EXPECT_EQ(text(skin->page(0).Buttons[0].Text), u"");
  EXPECT_EQ(skin->SL_btnSetStateIndex(1, -1), -1);
  EXPECT_TRUE(consoleHas("*E:CSkinlet::SetBtnState : Unknown image.\n"));
  EXPECT_EQ(skin->page(0).Buttons[0].StateIndex, 0) << "a refused index changes nothing";

  // Exchange shows the pressed look while released; restore returns to the images of
  // creation, whatever the state index did since.
  skin->SL_btnSetStateIndex(1, 1);
  skin->SL_btnStateExchange(1);
  EXPECT_EQ(c->UpImg, dn[0]);
  EXPECT_EQ(c->DnImg, dn[0]);
  skin->SL_btnStateRestore(1);
  EXPECT_EQ(c->UpImg, up[0]);
  EXPECT_EQ(c->DnImg, dn[0]);
}

TEST_F(Operations, DisableAndStatesFollowTheDisabledFlag) {
  skin->page(0).Buttons = {makeButton(1, 0, 0)};
  createControls();
  ButtonControl* c = skin->page(0).Buttons[0].Control;
  struct Row {
    const char* op;
    std::function<void()> call;
    int state, disabled;
  } rows[] = {
      {"down", [&] { skin->SL_btnSetDnState(1); }, 1, 0},
      {"up", [&] { skin->SL_btnSetUpState(1); }, 0, 0},
      {"disable", [&] { skin->SL_btnDisableItem(1, 1); }, 2, 1},
      {"down while disabled", [&] { skin->SL_btnSetDnState(1); }, 2, 1},
      {"up while disabled", [&] { skin->SL_btnSetUpState(1); }, 2, 1},
      {"enable", [&] { skin->SL_btnDisableItem(1, 0); }, 0, 0},
  };
  for (const Row& r : rows) {
    r.call();
    EXPECT_EQ(c->State, r.state) << r.op;
    EXPECT_EQ(c->Disabled, r.disabled) << r.op;
  }
}

TEST_F(Operations, ShowingAndHidingButtonsKeepsTheFlagsInStep) {
  skin->page(0).Buttons = {makeButton(1, 0, 0), makeButton(2, 100, 0)};
  skin->page(0).Buttons[0].TxtType = 0x11;
  createControls();
  tagButton& b = skin->page(0).Buttons[0];
  skin->SL_btnShowItem(1, 0);
  EXPECT_EQ(b.ActionType, 0x100);
  EXPECT_EQ(b.TxtType, 0x10);
  EXPECT_FALSE(IsWindowVisible(b.Control->hWnd));
  skin->SL_btnShowItem(1, 1);
  EXPECT_EQ(b.ActionType, 0);
  EXPECT_EQ(b.TxtType, 0x11);
  EXPECT_TRUE(IsWindowVisible(b.Control->hWnd));
  // Show-all touches only the hidden flag.
  skin->SL_btnShowAll(0);
  EXPECT_EQ(b.ActionType, 0x100);
  EXPECT_EQ(b.TxtType, 0x11);
  EXPECT_EQ(skin->page(0).Buttons[1].ActionType, 0x100);
  // A hidden button stays hidden through the painter's show-all.
  InvalidateRect(screen, nullptr, FALSE);
  pumpUntilIdle();
  EXPECT_FALSE(IsWindowVisible(b.Control->hWnd));
}

TEST_F(Operations, ProgressBarsTakeValuesFocusAndHiddenFlags) {
  skin->page(0).Progresses = {makeProgress(4, 10, 10)};
  createControls();
  tagProgress& p = skin->page(0).Progresses[0];
  skin->SL_prgSetValue(4, 60, -7);
  EXPECT_EQ(p.Control->Value, 60);
  EXPECT_EQ(text(p.Control->ValueText), u"-7");
  skin->SL_prgDisableItem(4, 1);
  skin->SL_prgSetValue(4, 20, 20);
  EXPECT_EQ(p.Control->Value, 60) << "ignored while disabled";
  skin->SL_prgOnSelect(4, 1);
  EXPECT_EQ(p.Control->IrFocus, 0) << "no focus mark while disabled";
  skin->SL_prgDisableItem(4, 0);
  skin->SL_prgOnSelect(4, 1);
  EXPECT_EQ(p.Control->IrFocus, 1);

  // ShowItem leaves the flag, so the next paint shows the bar again; ShowAll keeps it hidden.
  skin->SL_prgShowItem(4, 0);
  EXPECT_EQ(p.ActionType, 0);
  InvalidateRect(screen, nullptr, FALSE);
  pumpUntilIdle();
  EXPECT_TRUE(IsWindowVisible(p.Control->hWnd));
  skin->SL_prgShowAll(0);
  EXPECT_EQ(p.ActionType, 0x100);
  InvalidateRect(screen, nullptr, FALSE);
  pumpUntilIdle();
  EXPECT_FALSE(IsWindowVisible(p.Control->hWnd));
}

// ---- Texts --------------------------------------------------------------------------------

TEST_F(Operations, TextFlagOperations) {
  struct Row {
    const char* op;
    int before;
    std::function<void()> call;
    int after;
  };
  const Row rows[] = {
      {"highlight a hidden text", 0x0, [&] { skin->SL_txtHilightItem(1, 1); }, 0x11},
      {"highlight off", 0x13, [&] { skin->SL_txtHilightItem(1, 0); }, 0x3},
      {"highlight off shows", 0x10, [&] { skin->SL_txtHilightItem(1, 0); }, 0x1},
      {"hide", 0x13, [&] { skin->SL_txtHideItem(1); }, 0x12},
      {"hide a fixed text", 0x101, [&] { skin->SL_txtHideItem(1); }, 0x101},
      {"hide all", 0x3, [&] { skin->SL_txtHideAll(); }, 0x2},
      {"hide all spares fixed", 0x111, [&] { skin->SL_txtHideAll(); }, 0x111},
      {"display all", 0x12, [&] { skin->SL_txtDisplayAll(); }, 0x3},
      {"display all spares fixed", 0x110, [&] { skin->SL_txtDisplayAll(); }, 0x110},
  };
  skin->page(0).Texts = {makeText(1, 0, 0)};
  for (const Row& r : rows) {
    skin->page(0).Texts[0].TxtType = r.before;
    r.call();
    EXPECT_EQ(skin->page(0).Texts[0].TxtType, r.after) << r.op;
  }
}

TEST_F(Operations, SetItemTakesTheIndexOnlyWithinTheTextIds) {
  skin->page(0).Texts = {makeText(1, 0, 0)};
  tagTexture& t = skin->page(0).Texts[0];
  t.TextureIDs = {-1, 40};
  skin->SL_txtSetItem(1, 12, 5);
  EXPECT_EQ(text(t.Text), u"12");
  EXPECT_EQ(t.TextIndex, 0);
  skin->SL_txtSetItem(1, static_cast<const WCHAR*>(nullptr), 1);  // the weekday form
  EXPECT_EQ(text(t.Text), u"12");
  EXPECT_EQ(t.TextIndex, 1);
  skin->SL_txtSetItem(1, -2147483647 - 1, -1);
  EXPECT_EQ(text(t.Text), u"-2147483648");
  EXPECT_EQ(t.TextIndex, 1);
  skin->SL_txtInitScrollPosition(1, 77);
  skin->SL_txtInitScrollPosition(2, 99);
  EXPECT_EQ(t.TxtScrollPos, 77);
}

class Templates : public Operations {
 protected:
  void SetUp() override {
    Operations::SetUp();
    loadLanguage();
    skin->page(0).Texts = {makeText(1, 0, 0), makeText(2, 0, 40)};
    skin->page(0).Texts[1].TextureIDs = {-1, 5};
  }
};

TEST_F(Templates, TheLanguageTextFormatsTheValueIntoTheTarget) {
  struct Row {
    int textId;
    std::function<void()> call;
    const char16_t* result;  // null: the target keeps "before"
    bool console;
  };
  const Row rows[] = {
      {1, [&] { skin->SL_txtSetParamItem(2, 1, 42, 1); }, u"42 km", false},
      {2, [&] { skin->SL_txtSetParamItem(2, 1, u"Berlin", 1); }, u"to Berlin", false},
      {2, [&] { skin->SL_txtSetParamItem(2, 1, static_cast<const WCHAR*>(nullptr), 1); }, u"to ", false},
      {5, [&] { skin->SL_txtSetParamItem(2, 1, 3, 1); }, u"100% 3", false},
      {7, [&] { skin->SL_txtSetParamItem(2, 1, 3, 1); }, u"3    |", false},
      // Templates that do not fit their argument are refused instead of reading garbage.
      {3, [&] { skin->SL_txtSetParamItem(2, 1, 42, 1); }, nullptr, true},
      {1, [&] { skin->SL_txtSetParamItem(2, 1, u"x", 1); }, nullptr, true},
      {4, [&] { skin->SL_txtSetParamItem(2, 1, 42, 1); }, nullptr, true},
      {8, [&] { skin->SL_txtSetParamItem(2, 1, 42, 1); }, nullptr, true},
      {1, [&] { skin->SL_resSetHandle(nullptr, nullptr), skin->SL_txtSetParamItem(2, 1, 42, 1); }, nullptr, false},
  };
  tagTexture& templ = skin->page(0).Texts[0];
  tagTexture& target = skin->page(0).Texts[1];
  for (const Row& r : rows) {
    clearConsole();
    templ.TxtType = 0x3;
    templ.TextureIDs = {r.textId};
    target.TextIndex = 0;
    skin->SL_txtSetItem(2, u"before", 0);
    r.call();
    EXPECT_EQ(templ.TxtType, 0x2) << r.textId << ": the template is hidden";
    EXPECT_EQ(text(target.Text), r.result ? r.result : u"before") << r.textId;
    EXPECT_EQ(target.TextIndex, r.result ? 1 : 0) << r.textId;
    EXPECT_EQ(consoleHas("*E:CSkinlet::SL_txtSetParamItem"), r.console) << r.textId;
    skin->SL_resSetHandle(nullptr, table.get());
  }
}

TEST_F(Templates, ResultsAreCutAndTemplatesWithoutTextDoNothing) {
  tagTexture& templ = skin->page(0).Texts[0];
  tagTexture& target = skin->page(0).Texts[1];
  templ.TextureIDs = {6};
  skin->SL_txtSetParamItem(2, 1, 42, 0);
  EXPECT_EQ(text(target.Text), std::u16string(99, u'y'));
  skin->SL_txtSetItem(2, u"before", 0);
  for (std::vector<int32_t> ids : {std::vector<int32_t>{}, std::vector<int32_t>{-1, 1}}) {
    templ.TxtType = 1;
    templ.TextureIDs = ids;
    skin->SL_txtSetParamItem(2, 1, 42, 0);
    EXPECT_EQ(text(target.Text), u"before");
    EXPECT_EQ(templ.TxtType, ids.empty() ? 1 : 0) << "no ids: no template, left as it was";
  }
  skin->SL_txtSetParamItem(2, 9, 42, 0);  // no such template
  EXPECT_EQ(text(target.Text), u"before");
}

// ---- Tables, pictures, segments, signals ---------------------------------------------------

TEST_F(Operations, RecordOperationsOfTheOtherKinds) {
  buildPage();
  tagTable& item = page().Tables[0];
  skin->SL_tblSetItemType(10, PIC_TYPE_PICTURE);
  EXPECT_EQ(item.ActionType, 0x11);
  item.IsSelected = 0x4;
  skin->SL_tblSetSelectedItem(10, 0x3);
  EXPECT_EQ(item.IsSelected, 0x7);
  skin->SL_tblOnSelect(10, 0);
  EXPECT_EQ(item.IsSelected, 0x5);
  skin->SL_tblSetUnSelectedItem(10, 0x1);
  EXPECT_EQ(item.IsSelected, 0x4);
  skin->SL_tblSetTexture(11, u"name");
  skin->SL_tblHideAll();
  EXPECT_EQ(item.ActionType, 0x10);
  EXPECT_EQ(page().Tables[1].ActionType, 0);
  EXPECT_EQ(text(page().Tables[1].Text), u"");

  tagPicture& pic = page().Pictures[0];
  struct PicRow {
    int index, type, shown;
  } picRows[] = {{1, 0x1, 1}, {2, 0x0, 1}, {0, 0x1, 0}, {-1, 0x0, 0}};
  for (const PicRow& r : picRows) {
    skin->SL_picDisplayItem(10, r.index);
    EXPECT_EQ(pic.PicType, r.type) << r.index;
    EXPECT_EQ(pic.ActionIndex, r.shown) << r.index;
  }
  pic.PicType = 0x101;
  skin->SL_picHideAll();
  EXPECT_EQ(pic.PicType, 0x101);
  pic.PicType = 0x1;
  skin->SL_picHideItem(10);
  EXPECT_EQ(pic.PicType, 0);

  tagEightSeg& seg = page().EightSegs[0];
  skin->SL_segShowItem(10, 0);
  EXPECT_EQ(seg.Flags, 0x100u);
  skin->SL_segShowAll(1);
  EXPECT_EQ(seg.Flags, 0u);
  skin->SL_segHilightItem(10, 1);
  EXPECT_EQ(seg.SegType, 1);

  skin->SL_secSetSector(10, -30, 400);
  EXPECT_EQ(page().Sectors[0].SecStart, -30);
  EXPECT_EQ(page().Sectors[0].SecEnd, 400);

  skin->SL_sigHideAll();
  for (const tagSignal& s : page().Signals) {
    EXPECT_EQ(s.ActionType, -1);
    EXPECT_EQ(s.SigCN, 0);
    EXPECT_EQ(s.SigNum, 0);
  }
}

// ---- Pages --------------------------------------------------------------------------------

TEST_F(Operations, PageIndexesWrapWithTheSignOfTheIndex) {
  struct Row {
    int pages, from, index, to;
  } rows[] = {{3, 0, 5, 2}, {3, 1, -1, 1}, {3, 2, 0, 0}, {3, 0, 3, 0}, {3, 1, -4, 1}, {1, 0, 7, 0},
              {3, 0, 2147483647, 1}, {3, 2, -2147483647 - 1, 2}};
  for (const Row& r : rows) {
    skin->Menus.assign(static_cast<size_t>(r.pages), tagMenu{});
    skin->CurMenu = r.from;
    skin->SL_menuSetCurrentItem(r.index);
    EXPECT_EQ(skin->SL_menuGetCurrentItem(), r.to) << r.pages << " pages, " << r.index;
    EXPECT_EQ(skin->FullRepaint, 1);
    skin->FullRepaint = 0;
  }
  skin->Menus.clear();
  skin->CurMenu = 0;
  skin->SL_menuSetCurrentItem(3);
  EXPECT_EQ(skin->SL_menuGetCurrentItem(), 0);
  EXPECT_EQ(skin->SL_menuGetStruct(), nullptr);
  EXPECT_TRUE(consoleHas("*E:CSkinlet::GetMenuStruct : Unknown index\n"));
}

TEST_F(Operations, SwitchingPagesMovesTheFocusMarkToTheSameIdOnTheNewPage) {
  skin->page(0).Buttons = {makeButton(3, 0, 0), makeButton(4, 100, 0)};
  skin->page(1).Buttons = {makeButton(4, 0, 200), makeButton(3, 100, 200)};
  skin->page(1).Tables = {makeTableItem(0, 0, 300), makeTableItem(3, 0, 350)};
  createControls();
  ButtonControl* old3 = skin->page(0).Buttons[0].Control;
  ButtonControl* new3 = skin->page(1).Buttons[1].Control;
  ASSERT_TRUE(IsWindowVisible(old3->hWnd));
  skin->IrActionId = 3;
  skin->IrMode = 1;
  skin->IrOnTbl = 1;
  skin->SL_IrChangeDirect(IR_NONE);
  EXPECT_EQ(old3->IrFocus, 1);
  pumpUntilIdle();

  skin->SL_menuSetCurrentItem(1);
  EXPECT_EQ(old3->IrFocus, 0);
  EXPECT_EQ(new3->IrFocus, 1);
  EXPECT_EQ(skin->page(1).Tables[1].IsSelected, 0x2);
  EXPECT_FALSE(IsWindowVisible(old3->hWnd)) << "the old page's controls are hidden";
  RECT rc = updateRect(screen);
  EXPECT_EQ(rc.right - rc.left, 800);
  EXPECT_EQ(rc.bottom - rc.top, 480);
  pumpUntilIdle();
  EXPECT_TRUE(IsWindowVisible(new3->hWnd)) << "the next paint shows the new page's controls";

  // With remote mode off the new page's widget gets no mark.
  skin->IrMode = 0;
  skin->SL_menuSetCurrentItem(0);
  EXPECT_EQ(old3->IrFocus, 0);
  EXPECT_EQ(new3->IrFocus, 0);
  EXPECT_EQ(skin->page(1).Tables[1].IsSelected, 0);
}

}  // namespace
}  // namespace input_test
