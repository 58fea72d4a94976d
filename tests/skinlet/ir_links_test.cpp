// Automatic button links, computed on every load from the buttons' positions.
#include "skinlet.h"
#include "temp_unit.h"

namespace {

struct Btn {
  int id, x, y;
};

class ButtonLinks : public TempUnit {
 protected:
  // Loads one page with the given buttons, in this document order.
  const std::vector<tagButton>& load(const std::vector<Btn>& buttons) {
    std::string items;
    for (const Btn& b : buttons) {
      items += "<BUTTON><BtnActionID value='" + std::to_string(b.id) + "'/><BtnArea LocX='" + std::to_string(b.x) +
               "' LocY='" + std::to_string(b.y) + "' Width='50' Hight='20'/>"
               "<BtnIrDirect Left='7' Rigth='7' Top='7' Bottom='7' Ok='8' Close='9' UpLt='10' DnRt='11'/></BUTTON>";
    }
    write("Windows/Skin800/T_Script.xml", "<SL_MENUS><MENU><BUTTONS>" + items + "</BUTTONS></MENU></SL_MENUS>");
    EXPECT_EQ(view.SL_LoadSkin(u"T_Script.xml", u"Skin800"), 1);
    return view.Pages().at(0).Buttons;
  }

  static std::vector<int> order(const std::vector<tagButton>& buttons) {
    std::vector<int> ids;
    for (const tagButton& b : buttons) ids.push_back(b.ActionID);
    return ids;
  }

  static const tagButton& byId(const std::vector<tagButton>& buttons, int id) {
    for (const tagButton& b : buttons) {
      if (b.ActionID == id) return b;
    }
    throw std::runtime_error("no button");
  }

  CSkinlet view;
};

TEST_F(ButtonLinks, GridIsOrderedRowByRowAndLinkedBothWays) {
  // Document order scrambled: ids name the positions (1 top-left ... 4 bottom-right).
  const auto& b = load({{4, 100, 100}, {2, 100, 0}, {3, 0, 100}, {1, 0, 0}});
  EXPECT_EQ(order(b), (std::vector<int>{1, 2, 3, 4}));
  struct Expect {
    int id, left, right, top, bottom;
  } table[] = {{1, 4, 2, -1, 3}, {2, 1, 3, -1, 4}, {3, 2, 4, 1, -1}, {4, 3, 1, 2, -1}};
  for (const Expect& e : table) {
    const tagButton& btn = byId(b, e.id);
    EXPECT_EQ(btn.IrDirect[IR_LEFT], e.left) << e.id;
    EXPECT_EQ(btn.IrDirect[IR_RIGHT], e.right) << e.id;
    EXPECT_EQ(btn.IrDirect[IR_TOP], e.top) << e.id;
    EXPECT_EQ(btn.IrDirect[IR_BOTTOM], e.bottom) << e.id;
    // The other four entries are the script's own.
    EXPECT_EQ(btn.IrDirect[IR_OK], 8);
    EXPECT_EQ(btn.IrDirect[IR_CLOSE], 9);
    EXPECT_EQ(btn.IrDirect[IR_UPLT], 10);
    EXPECT_EQ(btn.IrDirect[IR_DNRT], 11);
  }
}

TEST_F(ButtonLinks, ButtonsWithinTenPixelsShareARow) {
  const auto& b = load({{1, 200, 8}, {2, 0, 0}, {3, 100, 10}, {4, 50, 11}});
  // 2 (y 0) is the reference; 1 (y 8) and 3 (y 10) join its row; 4 (y 11) does not join 2's row.
  EXPECT_EQ(order(b).front(), 2);
  EXPECT_EQ(byId(b, 2).IrDirect[IR_BOTTOM], 4);
}

TEST_F(ButtonLinks, VerticalLinksPreferTheSameColumnElseTheNearestInScanOrder) {
  // Row 0: 1 (0), 2 (100), 3 (200). Row 1: 4 (100) only. Row 2: 5 (0), 6 (300).
  const auto& b = load({{1, 0, 0}, {2, 100, 0}, {3, 200, 0}, {4, 105, 50}, {5, 0, 100}, {6, 300, 100}});
  EXPECT_EQ(order(b), (std::vector<int>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(byId(b, 4).IrDirect[IR_TOP], 2);     // same column (within 10 px) of the row above
  EXPECT_EQ(byId(b, 1).IrDirect[IR_BOTTOM], 4);  // no button below in its column: the first met
  EXPECT_EQ(byId(b, 3).IrDirect[IR_BOTTOM], 4);
  EXPECT_EQ(byId(b, 5).IrDirect[IR_TOP], 4);     // the row above has one button only
  EXPECT_EQ(byId(b, 6).IrDirect[IR_TOP], 4);
  EXPECT_EQ(byId(b, 4).IrDirect[IR_BOTTOM], 5);  // leftmost of the row below
  EXPECT_EQ(byId(b, 6).IrDirect[IR_RIGHT], 1);   // wraps
  EXPECT_EQ(byId(b, 1).IrDirect[IR_LEFT], 6);
}

TEST_F(ButtonLinks, SingleButtonLinksToItself) {
  const auto& b = load({{9, 10, 10}});
  EXPECT_EQ(b[0].IrDirect[IR_LEFT], 9);
  EXPECT_EQ(b[0].IrDirect[IR_RIGHT], 9);
  EXPECT_EQ(b[0].IrDirect[IR_TOP], -1);
  EXPECT_EQ(b[0].IrDirect[IR_BOTTOM], -1);
}

TEST_F(ButtonLinks, ExtremeCoordinatesCompareWithoutOverflow) {
  // Differences of such coordinates leave the 32-bit range; they still order and link.
  const auto& b = load({{1, 0, 2147483647}, {2, 2147483647, -2147483647 - 1}, {3, -2147483647 - 1, -2147483647 - 1}});
  EXPECT_EQ(order(b), (std::vector<int>{3, 2, 1}));
  EXPECT_EQ(byId(b, 1).IrDirect[IR_TOP], 2);     // nearest of the row above in scan order
  EXPECT_EQ(byId(b, 3).IrDirect[IR_BOTTOM], 1);
  EXPECT_EQ(byId(b, 2).IrDirect[IR_TOP], -1);    // same row as 3
}

TEST_F(ButtonLinks, AreaHelpers) {
  tagArea a{10, 20, 30, 40};
  RECT r = AreaToRect(a);
  EXPECT_EQ(r.right, 40);
  EXPECT_EQ(r.bottom, 60);
  tagArea back = RectToArea(r);
  EXPECT_EQ(back.Width, 30);
  EXPECT_EQ(back.Hight, 40);
  RECT grown = ExtendRect(r, 5);
  EXPECT_EQ(grown.left, 5);
  EXPECT_EQ(grown.bottom, 65);
  tagArea bigger = ExtendArea(a, 5);
  EXPECT_EQ(bigger.LocX, 5);
  EXPECT_EQ(bigger.Width, 40);
  EXPECT_EQ(bigger.Hight, 50);
  // Sums beyond 32 bits wrap like the device's arithmetic, without overflow.
  RECT wrapped = AreaToRect(tagArea{2147483647, -2147483647 - 1, 1, -1});
  EXPECT_EQ(wrapped.right, -2147483647 - 1);
  EXPECT_EQ(wrapped.bottom, 2147483647);
  EXPECT_EQ(RectToArea(RECT{-2147483647 - 1, 0, 2147483647, 0}).Width, -1);
  EXPECT_EQ(ExtendArea(tagArea{0, 0, 2147483647, 0}, 1).Width, -2147483647);
  EXPECT_EQ(ExtendRect(RECT{-2147483647 - 1, 0, 0, 0}, 1).left, 2147483647);
}

}  // namespace
