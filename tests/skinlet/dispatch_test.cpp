// The dispatcher outside the focus keys: activation, the engine timers and their start and
// stop rules, the table picture loader (thumbnails on the screen), the hit tests, and input
// or timers that arrive when there is no page or no engine any more.
#include "input_fixture.h"

namespace input_test {
namespace {

class Dispatch : public InputTest {
 protected:
  std::vector<UINT> tickIds() {
    std::vector<UINT> ids;
    for (auto& t : ticks) ids.push_back(t.second);
    ticks.clear();
    return ids;
  }
  std::vector<uint64_t> tickTimes(UINT id) {
    std::vector<uint64_t> times;
    for (auto& t : ticks)
      if (t.second == id) times.push_back(t.first);
    return times;
  }
};

TEST_F(Dispatch, ActivationHidesTheControlsUntilThePaintThatShowsThemWithTheOpeningEffect) {
  skin->page(0).Buttons = {makeButton(1, 10, 10)};
  skin->page(0).Progresses = {makeProgress(2, 10, 100)};
  createControls();
  HWND btn = skin->page(0).Buttons[0].Control->hWnd;
  HWND prg = skin->page(0).Progresses[0].Control->hWnd;
  ASSERT_TRUE(IsWindowVisible(btn));
  struct Row {
    WPARAM state;
    bool hidden;
    int effect, full;
  } rows[] = {{WA_ACTIVE, true, 1, 1}, {WA_INACTIVE, true, 0, 1}, {WA_CLICKACTIVE, false, 0, 0}};
  for (const Row& r : rows) {
    skin->EffectPending = 0;
    skin->FullRepaint = 0;
    skin->SL_MainProc(screen, WM_ACTIVATE, r.state, 0);
    EXPECT_EQ(IsWindowVisible(btn) == 0, r.hidden) << r.state;
    EXPECT_EQ(IsWindowVisible(prg) == 0, r.hidden) << r.state;
    EXPECT_EQ(skin->EffectPending, r.effect) << r.state;
    EXPECT_EQ(skin->FullRepaint, r.full) << r.state;
    InvalidateRect(screen, nullptr, FALSE);
    pumpUntilIdle();
    EXPECT_TRUE(IsWindowVisible(btn)) << "the paint shows them again";
  }
}

TEST_F(Dispatch, ANotifyRedrawsTheSlides) {
  tagSlide slide{};
  slide.ActionID = 5;
  slide.ActionType = 1;
  slide.SldArea = {0, 0, 200, 80};
  skin->page(0).Slides = {slide};
  createControls();
  HWND sld = skin->page(0).Slides[0].Control->hWnd;
  skin->SL_sldShowItem(5, 0);
  ASSERT_FALSE(IsWindowVisible(sld));
  SendMessageW(screen, WM_NOTIFY, 0, 0);
  EXPECT_TRUE(IsWindowVisible(sld));
}

TEST_F(Dispatch, StartedTimersKeepTheirFirstPeriodUntilStopped) {
  skin->page(0).Texts = {makeText(1, 0, 0, 50, 20, 0x3), makeText(2, 0, 50, 50, 20, 0x1)};
  skin->page(0).Pictures = {tagPicture{}};
  skin->page(0).Pictures[0].PicArea = {300, 300, 20, 20};
  paintThroughEngine = false;
  struct Row {
    const char* name;
    std::function<void(int)> start;
    std::function<void()> stop;
    int* flag;
    UINT id;
  } rows[] = {
      {"text scroll", [&](int p) { skin->SL_txtStartScrollTimer(p); }, [&] { skin->SL_txtStopScrollTimer(); },
       &skin->TxtScrollTimerOn, 890},
      {"picture refresh", [&](int p) { skin->SL_picStartLoadItemTimer(p); }, [&] { skin->SL_picStopLoadItemTimer(); },
       &skin->PicTimerOn, 889},
      {"picture loader", [&](int p) { skin->SL_tblStartLoadPictureTimer(p); },
       [&] { skin->SL_tblStopLoadPictureTimer(); }, &skin->TblPicTimerOn, 888},
  };
  for (const Row& r : rows) {
    ticks.clear();
    const uint64_t t0 = plat::clock::nowMs();
    r.start(300);
    r.start(200);  // already running: keeps 300
    EXPECT_EQ(*r.flag, 1) << r.name;
    pumpFor(700);
    const std::vector<uint64_t> times = tickTimes(r.id);
    if (r.id == 888) {
      // No table items: the loader's first tick ends it and lets a later start run again.
      EXPECT_EQ(times, (std::vector<uint64_t>{t0 + 300})) << r.name;
      EXPECT_EQ(*r.flag, 0) << r.name;
    } else {
      EXPECT_EQ(times, (std::vector<uint64_t>{t0 + 300, t0 + 600})) << r.name;
    }
    r.stop();
    EXPECT_EQ(*r.flag, 0) << r.name;
    ticks.clear();
    pumpFor(1000);
    EXPECT_EQ(tickTimes(r.id), std::vector<uint64_t>{}) << r.name;
    r.start(-5);  // a negative period means at once, not in weeks
    pumpUntilIdle(100);  // such a timer is always due: a bounded pump
    EXPECT_FALSE(tickTimes(r.id).empty()) << r.name;
    r.stop();
  }
}

TEST_F(Dispatch, APaintWhoseFrameContextCouldNotBeMadeStillEndsAndShowsTheControls) {
  skin->page(0).Buttons = {makeButton(1, 10, 10)};
  createControls();
  paintThroughEngine = false;
  skin->SL_MainProc(screen, WM_ACTIVATE, WA_ACTIVE, 0);
  skin->SL_PaintBegin();  // the opening effect hides the controls
  DeleteDC(skin->FrameDC);
  skin->FrameDC = nullptr;
  skin->SL_PaintEnd();
  EXPECT_TRUE(IsWindowVisible(skin->page(0).Buttons[0].Control->hWnd));
  EXPECT_EQ(skin->FullRepaint, 0);
}

TEST_F(Dispatch, TimerTicksInvalidateTheScrollingTextsAndThePictures) {
  skin->page(0).Texts = {makeText(1, 10, 10, 50, 20, 0x3), makeText(2, 10, 50, 50, 20, 0x1),
                         makeText(3, 10, 100, 50, 20, 0x2)};
  tagPicture pic{};
  pic.PicArea = {300, 300, 20, 20};
  skin->page(0).Pictures = {pic};
  pumpUntilIdle();
  ASSERT_FALSE(pendingPaint(screen));
  skin->SL_OnTimer(890, 0);
  RECT rc = updateRect(screen);
  EXPECT_EQ(std::tie(rc.left, rc.top, rc.right, rc.bottom), std::make_tuple(10L, 10L, 60L, 120L))
      << "texts 1 and 3 (bit 0x2), not 2";
  pumpUntilIdle();
  skin->SL_OnTimer(889, 0);
  rc = updateRect(screen);
  EXPECT_EQ(std::tie(rc.left, rc.top, rc.right, rc.bottom), std::make_tuple(300L, 300L, 320L, 320L));
  pumpUntilIdle();
  skin->SL_OnTimer(892, 0);
  skin->SL_OnTimer(0, 0);
  EXPECT_FALSE(pendingPaint(screen));
}

// ---- Picture loader -----------------------------------------------------------------------

class PictureLoader : public Dispatch {
 protected:
  void SetUp() override {
    Dispatch::SetUp();
    red = writeBitmap("StorageCard/red.bmp", 40, 20, 0x0000FF);
    green = writeBitmap("StorageCard/green.bmp", 10, 30, 0x00FF00);
  }
  tagTable item(int id, int x, int type, const std::u16string& dir, const std::u16string& file) {
    tagTable t = makeTableItem(id, x, 100, 100, 100);
    t.TxtArea = {x, 250, 10, 10};
    t.ActionType = type;
    std::copy(dir.begin(), dir.end(), t.DirPath);
    std::copy(file.begin(), file.end(), t.FilePath);
    return t;
  }
  // 'r', 'g' or '.' for each item: the colour at the centre of its box.
  std::string centres(int items) {
    std::string out;
    for (int i = 0; i < items; ++i) {
      const uint32_t px = pixel(10 + 120 * i + 50, 150);
      out += px == 0xFF0000 ? 'r' : px == 0x00FF00 ? 'g' : px == 0 ? '.' : '?';
    }
    return out;
  }
  std::u16string red, green;
};

TEST_F(PictureLoader, EachTickDrawsOneItemsPictureChosenByItsType) {
  skin->page(0).Tables = {
      item(0, 10, 0x3, green, red),   // folder: DirPath
      item(1, 130, 0x5, green, red),  // file: FilePath
      item(2, 250, 0x9, green, red),  // not selected: FilePath
      item(3, 370, 0x9, green, red),  // selected: DirPath
      item(4, 490, 0x11, green, red), // FilePath
      item(5, 610, 0x2, green, red),  // hidden: skipped
  };
  skin->page(0).Tables[3].IsSelected = 0x1;
  skin->SL_tblSetPictureMode();
  InvalidateRect(screen, nullptr, FALSE);
  pumpUntilIdle();
  EXPECT_EQ(centres(6), "......");
  const char* expected[] = {"g.....", "gr....", "grr...", "grrg..", "grrgr.", "grrgr.", "grrgr."};
  for (const char* e : expected) {
    pumpFor(100);
    EXPECT_EQ(centres(6), e);
  }
  EXPECT_EQ(skin->PicLoadIndex, 0) << "past the last item the loader ends";
  ticks.clear();
  pumpFor(500);
  EXPECT_TRUE(ticks.empty());
}

TEST_F(PictureLoader, ThumbnailsAreFittedAndCentredInTheItem) {
  // 40 x 20 into 100 x 100: 100 x 50 from y 25; 10 x 30 into 100 x 100: 33 x 100 from x 33.
  skin->page(0).Tables = {item(0, 10, 0x5, u"", red), item(1, 130, 0x5, u"", green)};
  skin->SL_tblSetPictureMode();
  InvalidateRect(screen, nullptr, FALSE);
  pumpUntilIdle();
  pumpFor(200);
  struct Probe {
    int x, y;
    uint32_t colour;
  } probes[] = {
      {10, 125, 0xFF0000}, {109, 174, 0xFF0000}, {60, 124, 0}, {60, 175, 0},
      {130 + 33, 100, 0x00FF00}, {130 + 65, 199, 0x00FF00}, {130 + 32, 150, 0}, {130 + 67, 150, 0},
  };
  for (const Probe& p : probes) EXPECT_EQ(pixel(p.x, p.y), p.colour) << p.x << "," << p.y;
}

TEST_F(PictureLoader, AStopRequestEndsTheLoaderAtItsNextTickAndAPaintRestartsIt) {
  skin->page(0).Tables = {item(0, 10, 0x5, u"", red), item(1, 130, 0x5, u"", red)};
  skin->SL_tblSetPictureMode();
  InvalidateRect(screen, nullptr, FALSE);
  pumpUntilIdle();
  pumpFor(100);
  EXPECT_EQ(centres(2), "r.");
  skin->SL_tblStopLoadPictureList(1);
  pumpFor(100);
  EXPECT_EQ(centres(2), "r.");
  EXPECT_EQ(skin->PicLoadStop, 0);
  EXPECT_EQ(skin->PicLoadIndex, 0);
  ticks.clear();
  pumpFor(300);
  EXPECT_TRUE(ticks.empty());
  // The next paint covers the thumbnails and starts again from the first item.
  InvalidateRect(screen, nullptr, FALSE);
  pumpUntilIdle();
  EXPECT_EQ(centres(2), "..");
  pumpFor(200);
  EXPECT_EQ(centres(2), "rr");
}

TEST_F(PictureLoader, BadFilesAndHugeItemsLeaveTheItemAsPainted) {
  writeFile("StorageCard/bad.bmp", "BM not a picture");
  tagTable huge = item(2, 250, 0x5, u"", red);
  huge.ItemArea = {250, 100, 2000000000, 2000000000};
  tagTable empty = item(3, 370, 0x5, u"", red);
  empty.ItemArea.Width = 0;
  skin->page(0).Tables = {item(0, 10, 0x5, u"", u"\\StorageCard\\bad.bmp"),
                          item(1, 130, 0x5, u"", u"\\StorageCard\\missing.bmp"), huge, empty};
  skin->SL_tblSetPictureMode();
  InvalidateRect(screen, nullptr, FALSE);
  pumpUntilIdle();
  pumpFor(500);
  EXPECT_EQ(centres(4), "....");
  EXPECT_TRUE(consoleHas("too large for a thumbnail"));
}

// ---- Hit tests ----------------------------------------------------------------------------

DWORD at(int x, int y) { return static_cast<DWORD>(MAKELPARAM(x, y)); }

TEST_F(Dispatch, HitTestsNeedBothPointsInsideAndTheRightAndBottomEdgesAreOutside) {
  tagMenu& p = skin->page(0);
  p.Texts = {makeText(100, 0, 0, 50, 50, 0x0), makeText(101, 0, 0, 50, 50, 0x1), makeText(102, 40, 40, 50, 50, 0x3)};
  tagEightSeg seg{};
  seg.ActionID = 7;
  seg.SegArea = {200, 0, 50, 50};
  seg.Flags = 0x100;  // hidden ones count too
  p.EightSegs = {seg};
  tagTable a = makeTableItem(0, 300, 0, 50, 50);
  a.TxtArea = {350, 0, 100, 50};
  tagTable b = makeTableItem(1, 300, 50, 50, 50);
  b.TxtArea = {350, 50, 100, 50};
  tagTable off = makeTableItem(2, 300, 100, 50, 50);
  off.ActionType = 0;
  p.Tables = {a, b, off};
  struct Row {
    const char* what;
    DWORD down, up;
    int text, textId, segment, table;
  } rows[] = {
      {"inside the shown text", at(10, 10), at(20, 20), 1, 101, -1, -1},
      {"overlap: the first shown text", at(45, 45), at(45, 45), 1, 101, -1, -1},
      {"only the later text has both", at(45, 45), at(80, 80), 2, 102, -1, -1},
      {"right edge is outside", at(50, 10), at(10, 10), -1, -1, -1, -1},
      {"bottom edge is outside", at(10, 10), at(10, 90), -1, -1, -1, -1},
      {"hidden segment display", at(200, 0), at(249, 49), -1, -1, 0, -1},
      {"segment edge", at(200, 0), at(250, 49), -1, -1, -1, -1},
      {"table: down in text, up in item", at(400, 10), at(310, 10), -1, -1, -1, 0},
      {"table: down in one item, up in another", at(310, 10), at(310, 60), -1, -1, -1, -1},
      {"table: item 1", at(310, 60), at(440, 99), -1, -1, -1, 1},
      {"table: an item without type is skipped", at(310, 110), at(310, 120), -1, -1, -1, -1},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(skin->SL_txtGetClickOnItem(r.down, r.up), r.text) << r.what;
    EXPECT_EQ(skin->SL_txtGetIdClickOnItem(r.down, r.up), r.textId) << r.what;
    EXPECT_EQ(skin->SL_segGetClickOnItem(r.down, r.up), r.segment) << r.what;
    EXPECT_EQ(skin->SL_tblClickOnItemUp(r.down, r.up), r.table) << r.what;
  }
  // With an item holding both points, the first one that contains the down point wins even
  // when the up point is in another item that also has it.
  p.Tables[0].TxtArea = {300, 0, 50, 100};
  EXPECT_EQ(skin->SL_tblClickOnItemUp(at(310, 10), at(310, 60)), 0);
}

// ---- No page, no engine -------------------------------------------------------------------

TEST_F(Dispatch, KeysTouchesAndTimersWithoutPagesDoNoHarm) {
  skin->page(0).Buttons = {makeButton(1, 10, 10)};
  skin->page(0).Buttons[0].IrHotKey = 65;
  createControls();
  skin->SL_IrSetActionId(1);
  skin->SL_UnLoadSkin();
  for (UINT vk : {37u, 38u, 39u, 40u, 13u, 65u, 72u, 8u}) key(vk);
  tap(30, 30);
  key(27);
  for (UINT id : {888u, 889u, 890u, 891u}) skin->SL_OnTimer(id, 0);
  skin->SL_menuSetCurrentItem(1);
  skin->SL_txtHideAll();
  skin->SL_btnShowAll(1);
  EXPECT_EQ(skin->SL_IrChangeDirect(IR_DIR_RIGHT), -1);
  EXPECT_EQ(skin->SL_menuGetStruct(), nullptr);
  pumpFor(11000);
  EXPECT_EQ(takeNotices(), (std::vector<Notice>{{kCmd, 0, 0}})) << "only Escape, which needs no page";
  EXPECT_EQ(skin->IrMode, 0) << "the time-out still ends remote mode";
}

TEST_F(Dispatch, NoEngineTimerReachesTheWindowAfterTheEngineIsGone) {
  skin->page(0).Texts = {makeText(1, 0, 0)};
  skin->SL_txtStartScrollTimer(100);
  skin->SL_picStartLoadItemTimer(100);
  skin->SL_tblStartLoadPictureTimer(100);
  key(39);  // timer 891
  pumpFor(150);
  ASSERT_FALSE(ticks.empty());
  current = nullptr;
  owned.reset();
  skin = nullptr;
  ticks.clear();
  pumpFor(12000);
  EXPECT_TRUE(ticks.empty());
}

}  // namespace
}  // namespace input_test
