// Harness of the painting tests: a unit root whose program is \Windows\launcher.exe, the
// headless screen on a frozen clock, pinned fonts, a screen window that paints through its
// engine on WM_PAINT, bitmaps made to order, and golden-image comparison of the screen.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bitmap_file.h"
#include "platform_fixture.h"
#include "skin_paths.h"
#include "skinlet.h"

namespace paint_test {

// Opens the engine's state to the tests.
class TestSkinlet : public CSkinlet {
 public:
  using CSkinlet::AnimationStep;
  using CSkinlet::AnimationType;
  using CSkinlet::CurMenu;
  using CSkinlet::EffectPending;
  using CSkinlet::FullRepaint;
  using CSkinlet::Menus;
  using CSkinlet::NeedAnimation;
  using CSkinlet::OnAnimationStep;
  using CSkinlet::PicLoadIndex;
  using CSkinlet::ScreenHeight;
  using CSkinlet::ScreenWidth;
  using CSkinlet::TblPictureMode;
  using CSkinlet::TxtScrollTimerOn;
  using CSkinlet::WindowRgn;
  tagMenu& page(size_t i = 0) { return Menus.at(i); }
};

// Pixels 0x00RRGGBB, rows top-down.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
  uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

using hu::test::bitmapFile;

// The bitmaps of the fixture skin "paint" (tests/skinlet/fixtures/paint/image.xml).
std::vector<std::pair<std::string, std::string>> paintSkinBitmaps();

// Compares `image` with tests/golden/<name>.png (per-channel `tolerance`); on a difference
// writes <name>-actual.png and <name>-diff.png to the test's temporary folder.
// HU_UPDATE_GOLDEN=1 rewrites the golden file instead.
void expectGolden(const std::string& name, const Image& image, int tolerance = 8);

class PaintFixture : public hu::test::PlatformFixture {
 protected:
  void configure(plat::Options& options) override { options.moduleFileName = u"\\Windows\\launcher.exe"; }
  void SetUp() override;
  void TearDown() override;

  // Copies the fixture skin tests/skinlet/fixtures/<folder> to \Windows\<folder> and writes
  // its bitmaps (name → file bytes) into its Skin folder.
  void installSkin(const std::string& folder, const std::vector<std::pair<std::string, std::string>>& bitmaps);
  // Loads the image table of `folder` and `script` into `engine`; false when either fails.
  bool load(TestSkinlet& engine, const std::u16string& script, const std::u16string& folder);

  // A top-level screen window at `rect` whose WM_PAINT runs SL_PaintBegin / SL_PaintEnd of
  // `engine`, handed to the engine as its view window. Erasing is left to the engine.
  HWND createScreen(TestSkinlet& engine, RECT rect = {0, 0, 800, 480});
  // Invalidates the window and paints it now.
  void paint(HWND window);

  // The whole screen, or a part of it.
  Image screen();
  Image screen(RECT part);

  CImgRes images;
  std::unique_ptr<CTxtRes> texts;

 public:
  // WM_TIMER identifiers that reached the screen windows, in order.
  static std::vector<UINT_PTR> timersSeen;
};

}  // namespace paint_test
