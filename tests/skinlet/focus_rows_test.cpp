// Where the automatic focus links draw the line between one row (or column) and the next:
// buttons less than 11 pixels apart share it. Generated from a table of offsets on both sides
// of the threshold, for rows (order and up/down links) and for columns (which button below
// an up/down link prefers).
#include "skinlet.h"
#include "temp_unit.h"

namespace {

class FocusRows : public TempUnit {
 protected:
  struct Btn {
    int id, x, y;
  };
  const std::vector<tagButton>& load(const std::vector<Btn>& buttons) {
    std::string items;
    for (const Btn& b : buttons)
      items += "<BUTTON><BtnActionID value='" + std::to_string(b.id) + "'/><BtnArea LocX='" + std::to_string(b.x) +
               "' LocY='" + std::to_string(b.y) + "' Width='40' Hight='20'/></BUTTON>";
    write("Windows/Skin800/T_Script.xml", "<SL_MENUS><MENU><BUTTONS>" + items + "</BUTTONS></MENU></SL_MENUS>");
    EXPECT_EQ(view.SL_LoadSkin(u"T_Script.xml", u"Skin800"), 1);
    return view.Pages().at(0).Buttons;
  }
  CSkinlet view;
};

TEST_F(FocusRows, ButtonsLessThanElevenPixelsApartInYShareARow) {
  // Button 1 stands right of button 2; 2 is `dy` lower. In one row the order is by x (2, 1)
  // and nobody links up or down; in two rows 1 comes first and they link vertically.
  for (int dy : {0, 1, 5, 10, 11, 12, 40, -10, -11, -12}) {
    SCOPED_TRACE(dy);
    const auto& b = load({{1, 100, 200}, {2, 0, 200 + dy}});
    ASSERT_EQ(b.size(), 2u);
    const bool oneRow = std::abs(dy) < 11;
    const tagButton& first = b[0];
    const tagButton& second = b[1];
    if (oneRow) {
      EXPECT_EQ(first.ActionID, 2);
      EXPECT_EQ(first.IrDirect[IR_BOTTOM], -1);
      EXPECT_EQ(second.IrDirect[IR_TOP], -1);
    } else {
      EXPECT_EQ(first.ActionID, dy > 0 ? 1 : 2);
      EXPECT_EQ(first.IrDirect[IR_BOTTOM], second.ActionID);
      EXPECT_EQ(second.IrDirect[IR_TOP], first.ActionID);
    }
    EXPECT_EQ(first.IrDirect[IR_RIGHT], second.ActionID);
    EXPECT_EQ(second.IrDirect[IR_LEFT], first.ActionID);
  }
}

TEST_F(FocusRows, DownAndUpPreferTheButtonLessThanElevenPixelsAwayInX) {
  // Button 1 on top at x 100; below it, in one row, 2 at x 0 (first in scan order) and 3 at
  // x 100 + dx. 1's down link takes 3 when it stands in 1's column, else the first below.
  // Likewise 3's up link goes to 1 either way (1 is the only button above).
  for (int dx : {0, 1, 10, 11, 12, -10, -11}) {
    SCOPED_TRACE(dx);
    const auto& b = load({{1, 100, 0}, {2, 0, 100}, {3, 200 + dx - 100, 100}});
    ASSERT_EQ(b.size(), 3u);
    ASSERT_EQ(b[0].ActionID, 1);
    const bool sameColumn = std::abs(dx) < 11;
    EXPECT_EQ(b[0].IrDirect[IR_BOTTOM], sameColumn ? 3 : 2);
  }
  // And upwards: 3 at the bottom, two buttons above in one row, 2 in 3's column or not.
  for (int dx : {0, 10, 11, -11}) {
    SCOPED_TRACE(dx);
    const auto& b = load({{1, 300, 0}, {2, 100 + dx, 5}, {3, 100, 100}});
    ASSERT_EQ(b.size(), 3u);
    const tagButton& bottom = b[2];
    ASSERT_EQ(bottom.ActionID, 3);
    // Scanning up from 3: the first button above is the nearer in scan order, 1 at x 300 (the
    // row is ordered by x, so 1 stands last in it when 2 is left of it).
    const bool sameColumn = std::abs(dx) < 11;
    EXPECT_EQ(bottom.IrDirect[IR_TOP], sameColumn ? 2 : 1);
  }
}

}  // namespace
