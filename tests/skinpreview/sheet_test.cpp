// The contact sheet: pictures scaled by area averaging, cells in order (script, page,
// language) with the languages across, and the cells showing what the single preview shows.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "../support/platform_fixture.h"
#include "preview_program.h"
#include "sheet.h"

namespace fs = std::filesystem;
using skinpreview::Picture;

namespace {

Picture solid(int width, int height, uint32_t colour) {
  return Picture{width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height, colour)};
}

TEST(SheetScaling, AveragesEachAreaAndKeepsThinLines) {
  // A 4x2 picture: one white column among black ones halves to a mid grey, not to nothing.
  Picture in = solid(4, 2, 0x000000);
  in.pixels[1] = in.pixels[5] = 0xFFFFFF;
  Picture half = skinpreview::ScaleDown(in, 2, 1);
  ASSERT_EQ(half.pixels.size(), 2u);
  EXPECT_EQ(half.pixels[0], 0x808080u);
  EXPECT_EQ(half.pixels[1], 0x000000u);
  // Channels are averaged on their own.
  Picture two = solid(2, 1, 0);
  two.pixels = {0xFF0000, 0x0000FF};
  EXPECT_EQ(skinpreview::ScaleDown(two, 1, 1).pixels[0], 0x800080u);
  // A size that does not divide still covers every source pixel once.
  Picture odd = solid(3, 3, 0x303030);
  odd.pixels[8] = 0xF0F0F0;
  Picture small = skinpreview::ScaleDown(odd, 2, 2);
  EXPECT_EQ(small.pixels[0], 0x303030u);
  EXPECT_EQ(small.pixels[3], (0x30 * 3 + 0xF0 + 2) / 4 * 0x010101u);
}

class SheetLayout : public hu::test::PlatformFixture {};

TEST_F(SheetLayout, CellsRunAcrossThenDownAtOneScale) {
  std::vector<skinpreview::SheetCell> cells;
  cells.push_back({"wide", solid(800, 40, 0xFF0000), ""});
  cells.push_back({"tall", solid(400, 200, 0x00FF00), ""});
  cells.push_back({"broken", Picture{}, "does not load"});
  Picture sheet;
  std::string error;
  ASSERT_TRUE(skinpreview::ComposeSheet(cells, 2, sheet, error)) << error;
  // The widest page sets the scale (400 / 800): the second picture is 200 x 100.
  const int gap = 10, label = 22, cell = skinpreview::kCellWidth;
  EXPECT_EQ(sheet.width, gap + 2 * (cell + gap));
  auto at = [&](int x, int y) { return sheet.pixels[static_cast<size_t>(y) * sheet.width + x]; };
  EXPECT_EQ(at(gap + 5, gap + label + 5), 0xFF0000u);
  EXPECT_EQ(at(gap + cell - 1, gap + label + 19), 0xFF0000u);
  EXPECT_EQ(at(2 * gap + cell + 5, gap + label + 5), 0x00FF00u);
  EXPECT_EQ(at(2 * gap + cell + 199, gap + label + 99), 0x00FF00u);
  EXPECT_NE(at(2 * gap + cell + 200, gap + label + 50), 0x00FF00u);
  // The second row starts below the taller cell of the first.
  const int secondRow = gap + label + 100 + gap;
  EXPECT_EQ(sheet.height, secondRow + label + 60 + gap);
  // Labels are drawn: the label band of the first cell is not all background.
  bool inked = false;
  for (int x = gap; x < gap + 60; ++x)
    for (int y = gap; y < gap + label - 4; ++y) inked = inked || at(x, y) != at(0, 0);
  EXPECT_TRUE(inked);
}

TEST_F(SheetLayout, RefusesMoreCellsThanItsLimit) {
  std::vector<skinpreview::SheetCell> cells(skinpreview::kMaxSheetCells + 1, {"x", solid(4, 4, 0), ""});
  Picture sheet;
  std::string error;
  EXPECT_FALSE(skinpreview::ComposeSheet(cells, 2, sheet, error));
  EXPECT_NE(error.find("more than"), std::string::npos);
}

class SheetOfDefaultSkin : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "preview_sheet_XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    ASSERT_NE(mkdtemp(buffer.data()), nullptr);
    root_ = buffer.data();
    fs::copy(std::string(HU_SOURCE_DIR) + "/unit/Windows", root_ + "/Windows", fs::copy_options::recursive);
  }
  void TearDown() override {
    std::error_code code;
    fs::remove_all(root_, code);
  }
  std::string root_;
};

TEST_F(SheetOfDefaultSkin, EachCellIsTheScaledPreviewOfItsPage) {
  const std::string skin = root_ + "/Windows/Skin800x480";
  preview_test::Run run = preview_test::runPreview({skin, "--sheet", "-o", root_ + "/sheet.png"}, root_);
  ASSERT_EQ(run.status, 0) << run.errors;
  run = preview_test::runPreview(
      {skin, "Main_Menu_Script.xml", "--page", "1", "--lang", "2052", "-o", root_ + "/page.png"}, root_);
  ASSERT_EQ(run.status, 0) << run.errors;
  preview_test::Png sheet, page;
  ASSERT_TRUE(preview_test::readPng(root_ + "/sheet.png", sheet));
  ASSERT_TRUE(preview_test::readPng(root_ + "/page.png", page));
  // Scripts in name order, then pages, with the two languages across: Main_Menu page 1 in
  // Chinese is the second row's second cell; pages are 800 wide, so half size.
  Picture scaled = skinpreview::ScaleDown(Picture{page.width, page.height, page.pixels}, 400, 220);
  const int left = 10 + 400 + 10, top = 10 + 22 + 220 + 10 + 22;
  int differing = 0;
  for (int y = 0; y < 220; ++y)
    for (int x = 0; x < 400; ++x)
      differing += sheet.pixels[static_cast<size_t>(top + y) * sheet.width + left + x] != scaled.pixels[y * 400 + x];
  EXPECT_EQ(differing, 0);
  EXPECT_EQ(sheet.width, 10 + 2 * 410);
  EXPECT_EQ(sheet.height, 10 + 2 * (22 + 220 + 10) + 22 + 20 + 10);
}

}  // namespace
