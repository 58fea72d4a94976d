// A screen window on the headless display whose procedure hands every message to its view
// engine first (as the screen framework does), paints through the engine, and records the
// messages that reach it as data. Pages are built record by record.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls_fixture.h"

namespace input_test {

using controls_test::Bitmaps;
using controls_test::image;
using controls_test::Notice;

constexpr UINT kDown = 0x207;
constexpr UINT kUp = 0x208;
constexpr UINT kRepeat = 0x20A;
constexpr UINT kTouch = 0x20B;
constexpr UINT kCmd = WM_COMMAND;

// The engine with its state open to the tests.
class InputSkinlet : public CSkinlet {
 public:
  using CSkinlet::CurMenu;
  using CSkinlet::EffectPending;
  using CSkinlet::FrameDC;
  using CSkinlet::FullRepaint;
  using CSkinlet::GetBtnListIndex;
  using CSkinlet::GetCurHotKeyModeId;
  using CSkinlet::GetGifListIndex;
  using CSkinlet::GetHotKeyId;
  using CSkinlet::GetNextHotKeyModeId;
  using CSkinlet::GetPicListIndex;
  using CSkinlet::GetPrgListIndex;
  using CSkinlet::GetSatListIndex;
  using CSkinlet::GetSecListIndex;
  using CSkinlet::GetSegListIndex;
  using CSkinlet::GetSigListIndex;
  using CSkinlet::GetSldListIndex;
  using CSkinlet::GetTblListIndex;
  using CSkinlet::GetTxtListIndex;
  using CSkinlet::HotKeyMode;
  using CSkinlet::IrActionId;
  using CSkinlet::IrMode;
  using CSkinlet::IrOnBtn;
  using CSkinlet::IrOnPrg;
  using CSkinlet::IrOnTbl;
  using CSkinlet::Menus;
  using CSkinlet::PicLoadIndex;
  using CSkinlet::PicLoadStop;
  using CSkinlet::PicTimerOn;
  using CSkinlet::TblPicTimerOn;
  using CSkinlet::TblPictureMode;
  using CSkinlet::TxtScrollTimerOn;
  tagMenu& page(size_t i = 0) {
    if (Menus.size() <= i) Menus.resize(i + 1);
    return Menus[i];
  }
};

// Record builders: zero records with the fields the tests care about.
tagButton makeButton(int id, int x, int y, int w = 60, int h = 40);
tagProgress makeProgress(int id, int x, int y, int w = 200, int h = 30);
tagTable makeTableItem(int id, int x, int y, int w = 200, int h = 40);
tagTexture makeText(int id, int x, int y, int w = 100, int h = 30, int type = 0x1);
void setLinks(int32_t (&links)[IR_COUNT], int left, int right, int up, int down, int ok = 0, int upLt = 0,
              int dnRt = 0);

class InputTest : public hu::test::PlatformFixture {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Creates the controls of every page and lets the first paint run.
  void createControls();
  // The messages that reached the screen window since the last call.
  std::vector<Notice> takeNotices();
  // Area of the screen window waiting to be repainted (empty when none).
  RECT updateRect(HWND window);
  bool pendingPaint(HWND window);
  // Writes a 24-bit bitmap file of one colour below the unit root; returns its device path.
  std::u16string writeBitmap(const std::string& relative, int w, int h, COLORREF colour);

  // One user action and what it must bring: the messages that reach the screen window, in
  // order, and the focus afterwards.
  struct Step {
    const char* what;
    std::function<void()> act;
    std::vector<Notice> expect;
    int focus;
    int mode;
  };
  // Plays the steps in order; `check` looks at the screen after each.
  void play(const std::vector<Step>& steps, const std::function<void(const Step&)>& check = {}) {
    takeNotices();
    for (const Step& s : steps) {
      s.act();
      EXPECT_EQ(takeNotices(), s.expect) << s.what;
      EXPECT_EQ(skin->SL_IrGetActionID(), s.focus) << s.what;
      EXPECT_EQ(skin->IrMode, s.mode) << s.what;
      if (check) check(s);
    }
  }

  std::unique_ptr<InputSkinlet> owned;
  InputSkinlet* skin = nullptr;
  HWND screen = nullptr;
  Bitmaps bitmaps;
  // The screen's WM_PAINT goes through the engine's painter when set.
  static bool paintThroughEngine;
  static InputSkinlet* current;
  static std::vector<Notice> log;
  // Engine timer ticks that reached the screen window: {clock ms, timer id}.
  static std::vector<std::pair<uint64_t, UINT>> ticks;
  static LRESULT CALLBACK screenProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
};

}  // namespace input_test
