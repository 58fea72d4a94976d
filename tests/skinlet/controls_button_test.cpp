// Button controls: what a touch reports to the screen window, and how each state looks.
#include "controls_fixture.h"

namespace controls_test {
namespace {

constexpr int kId = 7;
constexpr RECT kButton{100, 100, 220, 160};  // BtnArea on the screen
constexpr COLORREF kUp = 0x804020;           // COLORREF: blue-ish
constexpr COLORREF kDn = 0x0080FF;           // orange
constexpr COLORREF kGray = 0x808080;
constexpr uint32_t kUpPixel = 0x204080;
constexpr uint32_t kDnPixel = 0xFF8000;
constexpr uint32_t kGrayPixel = 0x808080;

class ButtonTest : public ControlsTest {
 protected:
  // One button with released, pressed and disabled images and a text.
  tagButton& addButton(bool withDn = true, bool withImages = true) {
    tagButton b{};
    b.ActionID = kId;
    b.BtnArea = tagArea{kButton.left, kButton.top, 120, 60};
    b.TouchArea = b.BtnArea;
    if (withImages) {
      b.ImgUp.push_back(image(bitmaps.make(120, 60, kUp, 0xFFFFFF, 2)));
      if (withDn) b.ImgDn.push_back(image(bitmaps.make(120, 60, kDn, 0xFFFFFF, 2)));
      b.ImgGray.push_back(image(bitmaps.make(120, 60, kGray, 0x404040, 2)));
    }
    std::u16string text = u"Play";
    std::copy(text.begin(), text.end(), b.Text);
    b.TxtArea = tagArea{0, 0, 120, 60};
    b.TxtAlign = 0x25;
    b.TxtFont = 4;
    b.TxtSize = 24;
    b.TxtColor = 0xFFFFFF;
    b.TxtSelColor = 0x00FFFF;
    skin.page().Buttons.push_back(b);
    return skin.page().Buttons.back();
  }
  ButtonControl* control() { return skin.page().Buttons.at(0).Control; }
  uint32_t centre() { return pixel(110, 105); }  // inside the image, away from the text
};

struct Step {
  enum Kind { Press, Release, Wait } kind;
  int x = 0, y = 0, ms = 0;
};
Step pressAt(int x, int y) { return Step{Step::Press, x, y, 0}; }
Step releaseAt(int x, int y) { return Step{Step::Release, x, y, 0}; }
Step wait(int ms) { return Step{Step::Wait, 0, 0, ms}; }

struct Row {
  const char* action;
  bool disabled;
  std::vector<Step> steps;
  std::vector<UINT> expected;  // each with wParam = action id, lParam = the control's window
};

constexpr UINT kCmd = WM_COMMAND;

TEST_F(ButtonTest, EachTouchReportsItsSequenceToTheScreen) {
  const Step in = pressAt(150, 130), out = releaseAt(400, 400);
  const Step upIn = releaseAt(150, 130);
  const std::vector<Row> rows = {
      {"tap", false, {in, upIn}, {0x20B, 0x207, 0x208, kCmd}},
      {"hold 1199 ms", false, {in, wait(1199), upIn}, {0x20B, 0x207, 0x208, kCmd}},
      {"hold 1200 ms: first repeat", false, {in, wait(1200), upIn}, {0x20B, 0x207, 0x20A, 0x208, kCmd}},
      {"hold 1650 ms: repeats every 200 ms",
       false,
       {in, wait(1650), upIn},
       {0x20B, 0x207, 0x20A, 0x20A, 0x20A, 0x208, kCmd}},
      {"press inside, release outside", false, {in, out}, {0x20B, 0x207}},
      {"hold, then release outside", false, {in, wait(1450), out}, {0x20B, 0x207, 0x20A, 0x20A}},
      {"the release ends the repeat", false, {in, wait(1250), upIn, wait(1000)}, {0x20B, 0x207, 0x20A, 0x208, kCmd}},
      {"release on the edge is outside", false, {in, releaseAt(220, 130)}, {0x20B, 0x207}},
      {"disabled: tap", true, {in, upIn}, {}},
      {"disabled: hold", true, {in, wait(2000), upIn}, {}},
  };
  addButton();
  createControls();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.action);
    control()->Disabled = row.disabled;
    control()->State = row.disabled ? 2 : 0;
    takeNotices();
    for (const Step& s : row.steps) {
      if (s.kind == Step::Press) press(s.x, s.y);
      if (s.kind == Step::Release) release(s.x, s.y);
      if (s.kind == Step::Wait) pumpFor(static_cast<uint64_t>(s.ms));
    }
    pumpFor(200);  // lets a flash end and shows that nothing else follows
    std::vector<Notice> want;
    const auto window = reinterpret_cast<LPARAM>(control()->hWnd);
    for (UINT m : row.expected) want.push_back(Notice{m, kId, window});
    EXPECT_EQ(takeNotices(), want);
    EXPECT_EQ(ButtonControl::CaptureFlag, 0);
    EXPECT_EQ(GetCapture(), nullptr);
  }
}

TEST_F(ButtonTest, PressedDisabledAndReleasedLooks) {
  addButton();
  createControls();
  EXPECT_EQ(centre(), kUpPixel);
  expectGolden("controls_button_released", screenPixels(100, 100, 120, 60), 120, 60);

  press(150, 130);
  EXPECT_EQ(centre(), kDnPixel);
  expectGolden("controls_button_pressed", screenPixels(100, 100, 120, 60), 120, 60);
  release(150, 130);
  pumpFor(200);
  EXPECT_EQ(centre(), kUpPixel);

  // Keys and the input focus press and release it too.
  SendMessageW(control()->hWnd, WM_KEYDOWN, VK_RETURN, 0);
  pumpUntilIdle();
  EXPECT_EQ(centre(), kDnPixel);
  SendMessageW(control()->hWnd, WM_KEYUP, VK_RETURN, 0);
  pumpUntilIdle();
  pumpFor(200);
  EXPECT_EQ(centre(), kUpPixel);

  control()->Disabled = 1;
  control()->State = 2;
  InvalidateRect(control()->hWnd, nullptr, FALSE);
  pumpUntilIdle();
  EXPECT_EQ(centre(), kGrayPixel);
  expectGolden("controls_button_disabled", screenPixels(100, 100, 120, 60), 120, 60);
  // A touch keeps the disabled look.
  press(150, 130);
  EXPECT_EQ(centre(), kGrayPixel);
  release(150, 130);
  EXPECT_EQ(centre(), kGrayPixel);
}

TEST_F(ButtonTest, AQuickTapFlashesThePressedLookFor100Milliseconds) {
  addButton();
  createControls();
  tap(150, 130);  // down and up before any paint
  EXPECT_EQ(control()->FlashPending, 0);
  EXPECT_EQ(centre(), kDnPixel);
  expectGolden("controls_button_flash", screenPixels(100, 100, 120, 60), 120, 60);
  pumpFor(99);
  EXPECT_EQ(centre(), kDnPixel);
  pumpFor(1);
  EXPECT_EQ(centre(), kUpPixel);
  expectGolden("controls_button_released", screenPixels(100, 100, 120, 60), 120, 60);
}

TEST_F(ButtonTest, ATapFollowedByAFullRedrawShowsNoFlash) {
  addButton();
  createControls();
  plat::window::injectTouch(WM_LBUTTONDOWN, 150, 130);
  plat::window::injectTouch(WM_LBUTTONUP, 150, 130);
  // The screen hides and shows its controls around a full paint before the tap was painted:
  // the redraw that erases shows the released look at once.
  ShowWindow(control()->hWnd, SW_HIDE);
  ShowWindow(control()->hWnd, SW_SHOW);
  pumpUntilIdle();
  EXPECT_EQ(centre(), kUpPixel);
  EXPECT_EQ(control()->FlashPending, 0);
}

TEST_F(ButtonTest, APressPaintedBeforeTheReleaseNeedsNoFlash) {
  addButton();
  createControls();
  press(150, 130);  // painted pressed
  release(150, 130);
  EXPECT_EQ(centre(), kUpPixel);
  EXPECT_EQ(control()->FlashPending, 0);
}

TEST_F(ButtonTest, WithoutAPressedImageThePressShowsTheReleasedImageInverted) {
  addButton(/*withDn=*/false);
  createControls();
  press(150, 130);
  EXPECT_EQ(centre(), ~kUpPixel & 0xFFFFFF);
  expectGolden("controls_button_inverted", screenPixels(100, 100, 120, 60), 120, 60);
  // Painting the pressed button again does not invert it back.
  InvalidateRect(control()->hWnd, nullptr, FALSE);
  pumpUntilIdle();
  EXPECT_EQ(centre(), ~kUpPixel & 0xFFFFFF);
  release(150, 130);
  EXPECT_EQ(centre(), kUpPixel);
}

TEST_F(ButtonTest, WithoutImagesTheButtonIsAGreyBox) {
  addButton(true, /*withImages=*/false);
  createControls();
  for (int y = 100; y < 160; y += 7)
    for (int x = 100; x < 220; x += 9) ASSERT_EQ(pixel(x, y), 0x646464u) << x << "," << y;
  press(150, 130);
  EXPECT_EQ(centre(), 0x646464u);
  release(150, 130);
  pumpFor(200);
  EXPECT_EQ(centre(), 0x646464u);
}

TEST_F(ButtonTest, TheRemoteFocusShowsTheFocusImageAndFallsBackToTheReleasedOne) {
  tagButton& b = addButton();
  b.ImgIr.push_back(image(bitmaps.make(120, 60, 0x00FF00)));
  createControls();
  SendMessageW(control()->hWnd, 0x432, 0, 0);
  pumpUntilIdle();
  EXPECT_EQ(centre(), 0x00FF00u);
  SendMessageW(control()->hWnd, 0x433, 0, 0);
  pumpUntilIdle();
  EXPECT_EQ(centre(), kUpPixel);
  // A button without a focus image keeps its released look under the focus.
  control()->IrImg = nullptr;
  SendMessageW(control()->hWnd, 0x432, 0, 0);
  pumpUntilIdle();
  EXPECT_EQ(centre(), kUpPixel);
}

TEST_F(ButtonTest, TransparentPixelsShowWhatLiesBelow) {
  tagButton& b = addButton();
  b.ImgUp[0].hImg = bitmaps.make(120, 60, 0xFA00FA, kUp, 10);  // a keyed middle in a frame
  createControls();
  // The screen is painted while its controls are hidden, then they show again (as a paint of
  // the page does).
  ShowWindow(control()->hWnd, SW_HIDE);
  HDC dc = GetDC(screen);
  RECT r{0, 0, 800, 480};
  HBRUSH green = CreateSolidBrush(0x00C000);
  FillRect(dc, &r, green);  // what the screen shows below the button
  DeleteObject(green);
  ReleaseDC(screen, dc);
  ShowWindow(control()->hWnd, SW_SHOW);
  pumpUntilIdle();
  EXPECT_EQ(pixel(102, 102), kUpPixel);
  EXPECT_EQ(pixel(160, 140), 0x00C000u);
}

}  // namespace
}  // namespace controls_test
