// Remote-key focus driven through the keys of the platform: the first key only shows the
// focus, arrows follow the links of buttons, progress bars and table items, edge commands,
// Enter and Escape, hot keys and hot-key modes; the focus mark is on the screen only while
// remote mode is on.
#include "input_fixture.h"

namespace input_test {
namespace {

constexpr COLORREF kUpColour = 0xFF0000;  // blue
constexpr COLORREF kIrColour = 0x00FFFF;  // yellow
constexpr uint32_t kUpPixel = 0x0000FF;
constexpr uint32_t kIrPixel = 0xFFFF00;

constexpr UINT kLeft = 37, kUpKey = 38, kRight = 39, kDownKey = 40, kEnter = 13, kEscape = 27, kMode = 72;

class Focus : public InputTest {
 protected:
  // Buttons 1 to 4 in a 2 x 2 grid, linked from their positions.
  void buildGrid() {
    tagMenu& p = skin->page(0);
    const POINT at[] = {{200, 200}, {100, 100}, {100, 200}, {200, 100}};  // ids 4, 1, 3, 2
    const int ids[] = {4, 1, 3, 2};
    for (int i = 0; i < 4; ++i) {
      tagButton b = makeButton(ids[i], at[i].x, at[i].y);
      b.ImgUp = {image(bitmaps.make(60, 40, kUpColour))};
      b.ImgIr = {image(bitmaps.make(60, 40, kIrColour))};
      p.Buttons.push_back(b);
    }
    skin->SL_InitIrItemDirect();
  }
  // The id of the button that shows the focus mark on the screen, 0 for none; every other
  // button must show its released look.
  int markedOnScreen() {
    int marked = 0;
    for (const tagButton& b : skin->page(0).Buttons) {
      const uint32_t px = pixel(b.BtnArea.LocX + 30, b.BtnArea.LocY + 20);
      if (px == kIrPixel) {
        EXPECT_EQ(marked, 0) << "two marks";
        marked = b.ActionID;
      } else {
        EXPECT_EQ(px, kUpPixel) << b.ActionID;
      }
    }
    return marked;
  }
  HWND controlOf(int id) { return skin->SL_btnGetStruct(id)->Control->hWnd; }
};

TEST_F(Focus, ArrowsWalkTheButtonsAndTheMarkShowsOnlyInRemoteMode) {
  buildGrid();
  skin->SL_IrSetActionId(1);
  createControls();
  ASSERT_EQ(markedOnScreen(), 0);
  const LPARAM b1 = reinterpret_cast<LPARAM>(controlOf(1));
  // Marks expected on the screen after each step (0: none).
  const std::vector<int> marks = {1, 2, 4, 3, 4, 4, 4, 0, 0, 4, 4, 4, 0};
  size_t row = 0;
  play(
      {
          {"first key: shows the focus only", [&] { key(kRight); }, {}, 1, 1},
          {"right", [&] { key(kRight); }, {}, 2, 1},
          {"down", [&] { key(kDownKey); }, {}, 4, 1},
          {"left", [&] { key(kLeft); }, {}, 3, 1},
          {"right wraps in reading order", [&] { key(kRight); }, {}, 4, 1},
          {"Enter", [&] { key(kEnter); }, {{kCmd, 4, 0}, {kUp, 4, 0}}, 4, 1},
          {"Escape", [&] { key(kEscape); }, {{kCmd, 0, 0}}, 4, 1},
          {"10 s without keys", [&] { pumpFor(10000); }, {}, 4, 0},
          {"Enter while off: shows only", [&] { key(kEnter); pumpFor(10000); }, {}, 4, 0},
          {"left while off: shows only", [&] { key(kLeft); }, {}, 4, 1},
          {"9.9 s later still on", [&] { pumpFor(9900); }, {}, 4, 1},
          {"a key then starts the 10 s again", [&] { key(50); pumpFor(9900); }, {}, 4, 1},
          {"a touch on a button ends remote mode",
           [&] {
             tap(130, 120);
             pumpFor(200);
           },
           {{kTouch, 1, b1}, {kDown, 1, b1}, {kUp, 1, b1}, {kCmd, 1, b1}},
           4,
           0},
      },
      [&](const Step& s) { EXPECT_EQ(markedOnScreen(), marks[row++]) << s.what; });
  EXPECT_EQ(CSkinlet::LastIrResult, 4);
}

TEST_F(Focus, EscapeAndKeysOutsideTheTableStillSwitchRemoteModeOn) {
  buildGrid();
  skin->SL_IrSetActionId(2);
  createControls();
  play({
      {"Escape while off", [&] { key(kEscape); }, {{kCmd, 0, 0}}, 2, 1},
      {"touch on the screen itself", [&] { tap(700, 400); }, {}, 2, 0},
      {"an unknown key", [&] { key(50); }, {}, 2, 1},
      {"a key down alone does nothing", [&] { keyDown(kRight); }, {}, 2, 1},
      {"its key up moves", [&] { keyUp(kRight); }, {}, 3, 1},
  });
}

TEST_F(Focus, ProgressBarsPostTheirEdgeCommandsWhereNoNeighbourIs) {
  tagMenu& p = skin->page(0);
  tagButton b = makeButton(1, 10, 10);
  p.Buttons = {b};
  tagProgress bar = makeProgress(20, 10, 100);
  setLinks(bar.IrDirect, 1, -1, -1, -1, 0, 300, 301);
  p.Progresses = {bar};
  skin->SL_IrSetActionId(20);
  createControls();
  // Button links were made from positions; bar and button link to each other by hand.
  skin->page(0).Buttons[0].IrDirect[IR_RIGHT] = 20;
  ProgressControl* c = skin->page(0).Progresses[0].Control;
  play({
      {"first key shows", [&] { key(kLeft); }, {}, 20, 1},
      {"right: no neighbour", [&] { key(kRight); }, {{kCmd, 301, 0}}, 20, 1},
      {"down: no neighbour", [&] { key(kDownKey); }, {{kCmd, 301, 0}}, 20, 1},
      {"up: no neighbour", [&] { key(kUpKey); }, {{kCmd, 300, 0}}, 20, 1},
      {"Enter on the bar", [&] { key(kEnter); }, {{kCmd, 20, 0}, {kUp, 20, 0}}, 20, 1},
      {"left: the button", [&] { key(kLeft); }, {}, 1, 1},
      {"right: back to the bar", [&] { key(kRight); }, {}, 20, 1},
  });
  EXPECT_EQ(c->IrFocus, 1);
  skin->SL_IrSetActionId(1);
  skin->SL_IrChangeDirect(IR_NONE);
  EXPECT_EQ(c->IrFocus, 1) << "marks come off only from the widget that had the focus";
  skin->SL_IrSetActionId(20);
  skin->SL_IrChangeDirect(IR_NONE);
  skin->SL_IrChangeDirect(IR_NONE);
  EXPECT_EQ(skin->page(0).Buttons[0].Control->IrFocus, 1);
}

class TableFocus : public InputTest {
 protected:
  void SetUp() override {
    InputTest::SetUp();
    // Four rows; down and up follow the list; Ok 700, UpLt 500, DnRt 501.
    for (int i = 0; i < 4; ++i) {
      tagTable t = makeTableItem(i, 10, 10 + 50 * i);
      setLinks(t.IrDirect, -1, -1, i == 0 ? -1 : i - 1, i == 3 ? -1 : i + 1, 700 + i, 500, 501);
      skin->page(0).Tables.push_back(t);
    }
    skin->SL_btnIrOnItem(0);
    skin->SL_prgIrOnItem(0);
    skin->SL_tblIrOnItem(1);
    createControls();
  }
  int framed() {
    int n = -1;
    for (const tagTable& t : skin->page(0).Tables) {
      if (t.IsSelected & 0x2) {
        EXPECT_EQ(n, -1) << "two frames";
        n = t.ActionID;
      }
    }
    return n;
  }
};

TEST_F(TableFocus, ItemsAreFocusedByPositionWithPageCommandsAtTheEnds) {
  skin->SL_IrSetActionId(2);
  const std::vector<int> frames = {0, 1, 2, 2, 3, 0, 0, 0, 0, 0};
  size_t row = 0;
  play(
      {
          {"first key: a refresh brings the focus to item 0", [&] { key(kDownKey); }, {}, 0, 1},
          {"down", [&] { key(kDownKey); }, {}, 1, 1},
          {"down", [&] { key(kDownKey); }, {}, 2, 1},
          {"Enter reports the Ok of the item left", [&] { key(kEnter); }, {{kCmd, 701, 0}}, 2, 1},
          {"down", [&] { key(kDownKey); }, {}, 3, 1},
          {"down at the last row: next page, item 0", [&] { key(kDownKey); }, {{kCmd, 501, 0}}, 0, 1},
          {"up at the first row: previous page", [&] { key(kUpKey); }, {{kCmd, 500, 0}}, 0, 1},
          {"left without a link posts nothing", [&] { key(kLeft); }, {}, 0, 1},
          {"Enter", [&] { key(kEnter); }, {{kCmd, 700, 0}}, 0, 1},
          {"time-out", [&] { pumpFor(10000); }, {}, 0, 0},
      },
      [&](const Step& s) {
        EXPECT_EQ(framed(), s.mode ? frames[row] : -1) << s.what;
        ++row;
      });
}

TEST_F(TableFocus, LinksToHiddenOrMissingItemsFallBackToItemZero) {
  tagMenu& p = skin->page(0);
  p.Tables[2].ActionType = 0;  // hidden
  skin->SL_IrSetMode(1);
  skin->SL_IrSetActionId(1);
  EXPECT_EQ(skin->SL_IrChangeDirect(IR_DIR_DOWN), 701);
  EXPECT_EQ(skin->SL_IrGetActionID(), 0) << "the hidden item 2";
  for (int beyond : {4, 9}) {  // 4: just past the last item
    p.Tables[1].IrDirect[IR_RIGHT] = beyond;
    skin->SL_IrSetActionId(1);
    EXPECT_EQ(skin->SL_IrChangeDirect(IR_DIR_RIGHT), 701);
    EXPECT_EQ(skin->SL_IrGetActionID(), 0) << beyond;
  }
  EXPECT_EQ(skin->SL_IrGetTblActionIndex(), 0);
  skin->SL_IrSetMode(0);
  EXPECT_EQ(skin->SL_IrGetTblActionIndex(), -1) << "remote mode off";
  // Without an item 0 the focus stays where it is.
  p.Tables[0].ActionID = 50;
  skin->SL_IrSetMode(1);
  skin->SL_IrSetActionId(3);
  EXPECT_EQ(skin->SL_IrChangeDirect(IR_DIR_DOWN), 703);
  EXPECT_EQ(skin->SL_IrGetActionID(), 3);
  pumpUntilIdle();
  EXPECT_EQ(takeNotices(), (std::vector<Notice>{{kCmd, 501, 0}}));
}

TEST_F(Focus, AFocusOnNothingMovesNothing) {
  buildGrid();
  createControls();
  skin->page(0).Buttons[0].IrDirect[IR_RIGHT] = 99;  // button 1 links to an id the page lacks
  skin->SL_IrSetMode(1);
  skin->SL_IrSetActionId(1);
  EXPECT_EQ(skin->SL_IrChangeDirect(IR_DIR_RIGHT), 99);
  EXPECT_EQ(skin->SL_IrChangeDirect(IR_DIR_RIGHT), -1);
  EXPECT_EQ(skin->SL_IrChangeDirect(IR_NONE), -1);
  skin->SL_btnIrOnItem(0);
  skin->SL_IrSetActionId(1);
  EXPECT_EQ(skin->SL_IrChangeBtnDirect(IR_DIR_DOWN), -1) << "family switched off";
  EXPECT_EQ(skin->SL_IrChangeDirect(IR_DIR_DOWN), -1);
  pumpUntilIdle();
  EXPECT_EQ(markedOnScreen(), 0);
  EXPECT_EQ(takeNotices(), std::vector<Notice>{});
}

// ---- Hot keys -----------------------------------------------------------------------------

class HotKeys : public InputTest {
 protected:
  void SetUp() override {
    InputTest::SetUp();
    // A starts the chain of modes A -> B -> C; A is also hot key 'A'.
    tagButton a = makeButton(70000, 10, 10);
    a.IrHotKey = 65;
    a.InitMode = 1;
    a.NextMode = 71;
    tagButton b = makeButton(71, 100, 10);
    b.NextMode = 73;
    b.IrHotKey = 200;
    tagButton c = makeButton(73, 200, 10);
    c.NextMode = 0;
    tagButton d = makeButton(74, 300, 10);
    d.IrHotKey = 65;  // a second button with the same key: never reached
    skin->page(0).Buttons = {a, b, c, d};
    createControls();
  }
};

TEST_F(HotKeys, HotKeysReportTheirButtonWithTheIdCutTo16BitsInTheButtonNotices) {
  play({
      {"A down", [&] { keyDown(65); }, {{kDown, 4464, 0}}, 0, 0},
      {"A up", [&] { keyUp(65); }, {{kCmd, 70000, 0}, {kUp, 4464, 0}}, 0, 1},
      {"key 200", [&] { key(200); }, {{kDown, 71, 0}, {kCmd, 71, 0}, {kUp, 71, 0}}, 0, 1},
      {"a hot key without a button", [&] { key(207); }, {}, 0, 1},
      {"a key that is not a hot key", [&] { key(66); }, {}, 0, 1},
  });
}

TEST_F(HotKeys, Key72StepsThroughTheModesAndStartsAgainAfterTheEnd) {
  struct Row {
    int mode;
  } rows[] = {{70000}, {71}, {73}, {-1}, {70000}, {71}};
  for (const Row& r : rows) {
    key(kMode);
    const std::vector<Notice> expect =
        r.mode == -1 ? std::vector<Notice>{}
                     : std::vector<Notice>{{kDown, static_cast<WPARAM>(r.mode & 0xFFFF), 0},
                                           {kCmd, static_cast<WPARAM>(r.mode), 0},
                                           {kUp, static_cast<WPARAM>(r.mode & 0xFFFF), 0}};
    EXPECT_EQ(takeNotices(), expect) << r.mode;
    EXPECT_EQ(skin->GetCurHotKeyModeId(), r.mode);
  }
  // A mode can be set only to a button that some button names as its next mode.
  skin->SetCurHotKeyModeId(70000);
  EXPECT_EQ(skin->GetCurHotKeyModeId(), 71);
  skin->SetCurHotKeyModeId(73);
  EXPECT_EQ(skin->GetCurHotKeyModeId(), 73);
  skin->SetCurHotKeyModeId(0);  // C's next mode
  EXPECT_EQ(skin->GetCurHotKeyModeId(), 0);
  // Without an InitMode button there is no first mode.
  skin->HotKeyMode = -1;
  skin->page(0).Buttons[0].InitMode = 0;
  EXPECT_EQ(skin->GetNextHotKeyModeId(), -1);
}

}  // namespace
}  // namespace input_test

namespace input_test {
namespace {

// What a driver sees of a file table in picture mode after one key down: the focus frame on
// the second item, each item's picture fitted and centred in its box.
TEST_F(InputTest, GoldenTableInPictureModeWithTheFocusOnTheSecondItem) {
  const std::u16string red = writeBitmap("StorageCard/red.bmp", 40, 20, 0x0000FF);
  const std::u16string green = writeBitmap("StorageCard/green.bmp", 10, 30, 0x00FF00);
  const std::u16string blue = writeBitmap("StorageCard/blue.bmp", 64, 64, 0xFF8000);
  const std::u16string files[] = {red, green, blue};
  for (int i = 0; i < 3; ++i) {
    tagTable t = makeTableItem(i, 20 + 120 * i, 20, 100, 80);
    t.ActionType = 0x5;
    t.SelColor = 0x00FFFF;
    setLinks(t.IrDirect, i == 0 ? -1 : i - 1, i == 2 ? -1 : i + 1, -1, -1, 700);
    std::copy(files[i].begin(), files[i].end(), t.FilePath);
    skin->page(0).Tables.push_back(t);
  }
  skin->SL_btnIrOnItem(0);
  skin->SL_prgIrOnItem(0);
  skin->SL_tblIrOnItem(1);
  skin->SL_tblSetPictureMode();
  createControls();
  key(39);  // shows the focus on item 0
  key(39);  // moves it to item 1
  pumpFor(400);
  ASSERT_EQ(skin->SL_IrGetTblActionIndex(), 1);
  controls_test::expectGolden("input_table_focus_pictures", [&] {
    std::vector<uint32_t> out;
    for (int y = 0; y < 120; ++y)
      for (int x = 0; x < 400; ++x) out.push_back(pixel(x, y));
    return out;
  }(), 400, 120);
}

}  // namespace
}  // namespace input_test
