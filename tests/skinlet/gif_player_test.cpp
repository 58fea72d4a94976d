// The animation player on the headless display: it draws into a real window (or the whole
// screen) from its own thread, on the frozen platform clock, tells the window once per
// completed round, pauses by re-drawing, and stops only once its thread has ended.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "gif/animation_player.h"
#include "gif_builder.h"
#include "platform_fixture.h"
#include "plat_gdi.h"
#include "plat_thread.h"
#include "plat_window.h"
#include "skinlet.h"

namespace {

using giftest::GifBuilder;
using giftest::Rgb;

constexpr uint32_t kBack = 0x204060;  // the window's background, 0x00RRGGBB as the screen gives it
constexpr uint32_t kGreen = 0x00FF00, kBlue = 0x0000FF, kBlack = 0x000000;
constexpr int kAction = 77;

std::vector<UINT> g_commands;  // wParam of every WM_COMMAND the window got (window thread only)

LRESULT CALLBACK viewProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_COMMAND) g_commands.push_back(static_cast<UINT>(w));
  return DefWindowProcW(h, m, w, l);
}

// Waits for the playing thread, on real time, only as a watchdog: each test states what it
// waits for, and the player gets there at once when it works.
template <class Pred>
bool eventually(Pred pred) {
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class GifPlayerTest : public hu::test::PlatformFixture {
 protected:
  void SetUp() override {
    PlatformFixture::SetUp();
    g_commands.clear();
    WNDCLASSW wc{};
    wc.lpfnWndProc = viewProc;
    wc.lpszClassName = u"GifView";
    wc.hbrBackground = CreateSolidBrush(RGB(0x20, 0x40, 0x60));
    ASSERT_NE(RegisterClassW(&wc), 0);
    view = CreateWindowExW(0, u"GifView", u"view", WS_POPUP | WS_VISIBLE, 100, 50, 200, 100, nullptr, nullptr,
                           nullptr, nullptr);
    ASSERT_NE(view, nullptr);
    pumpUntilIdle();
    ASSERT_EQ(pixel(150, 100), kBack);
  }

  // 4 x 2: first image green on the right, transparent on the left, shown 100 ms; second
  // image one blue pixel at the top left, no delay given.
  static std::string twoFrames() {
    GifBuilder b;
    b.header(4, 2, {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}})
        .control(1, true, 0, 10)
        .image(0, 0, 4, 2, {0, 0, 1, 1, 0, 0, 1, 1})
        .image(0, 0, 1, 1, {2})
        .trailer();
    return b.str();
  }

  // Waits until the thread has drawn `frames` images and sleeps towards the next one.
  bool shown(AnimationPlayer& p, uint64_t frames) {
    return eventually([&] { return p.FramesShown() == frames && p.NextFrameDueMs() != 0; });
  }

  HWND view = nullptr;
};

TEST_F(GifPlayerTest, PlaysIntoTheWindowAtItsPositionAndSizeOverWhatWasThere) {
  writeFile("anim.gif", twoFrames());
  AnimationPlayer p(view, kAction, false);
  int w = 0, h = 0;
  ASSERT_EQ(p.Load(u"\\anim.gif", &w, &h), 1);
  EXPECT_EQ(w, 4);
  EXPECT_EQ(h, 2);
  p.SetPosition(10, 10);
  p.SetSize(40, 20);  // each picture pixel 10 x 10
  EXPECT_EQ(p.RunState(), 0);
  p.Play();
  EXPECT_EQ(p.RunState(), 5);
  ASSERT_TRUE(shown(p, 1));
  // Window origin (100, 50) + position (10, 10).
  EXPECT_EQ(pixel(115, 65), kBack);  // transparent: the window's own pixels
  EXPECT_EQ(pixel(135, 75), kGreen);
  EXPECT_EQ(pixel(149, 79), kGreen);
  EXPECT_EQ(pixel(150, 80), kBack);  // just outside the drawn size
  EXPECT_EQ(p.NextFrameDueMs(), plat::clock::nowMs() + 100);

  plat::clock::advance(100);
  ASSERT_TRUE(shown(p, 2));
  EXPECT_EQ(pixel(115, 65), kBlue);
  EXPECT_EQ(pixel(125, 65), kBack);
  EXPECT_EQ(p.NextFrameDueMs(), plat::clock::nowMs() + 50);  // no delay: 50 ms
  p.Stop();
}

TEST_F(GifPlayerTest, TellsTheWindowOncePerCompletedRound) {
  writeFile("anim.gif", twoFrames());
  AnimationPlayer p(view, kAction, false);
  ASSERT_EQ(p.Load(u"\\anim.gif", nullptr, nullptr), 1);
  p.Play();
  ASSERT_TRUE(shown(p, 1));
  pumpUntilIdle();
  EXPECT_TRUE(g_commands.empty());
  plat::clock::advance(100);
  ASSERT_TRUE(shown(p, 2));
  pumpUntilIdle();
  EXPECT_TRUE(g_commands.empty());
  plat::clock::advance(50);  // the trailer: back to the first image
  ASSERT_TRUE(shown(p, 3));
  pumpUntilIdle();
  EXPECT_EQ(g_commands, std::vector<UINT>{kAction});
  plat::clock::advance(100);
  ASSERT_TRUE(shown(p, 4));
  plat::clock::advance(50);
  ASSERT_TRUE(shown(p, 5));
  pumpUntilIdle();
  EXPECT_EQ(g_commands, (std::vector<UINT>{kAction, kAction}));
  p.Stop();
}

TEST_F(GifPlayerTest, PauseRedrawsTheLastFrameWithoutMovingOn) {
  writeFile("anim.gif", twoFrames());
  AnimationPlayer p(view, kAction, false);
  ASSERT_EQ(p.Load(u"\\anim.gif", nullptr, nullptr), 1);
  p.Play();
  ASSERT_TRUE(shown(p, 1));
  p.Pause(1);
  HDC dc = GetDC(view);
  RECT r{0, 0, 200, 100};
  FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  ASSERT_EQ(pixel(102, 50), kBlack);
  // The screen is read only while the thread waits: it re-draws and waits for the next 100 ms.
  uint64_t due = plat::clock::nowMs() + 200;
  plat::clock::advance(100);
  ASSERT_TRUE(eventually([&] { return p.NextFrameDueMs() == due; }));
  EXPECT_EQ(pixel(102, 50), kGreen);  // the kept frame again
  plat::clock::advance(100);
  ASSERT_TRUE(eventually([&] { return p.NextFrameDueMs() == due + 100; }));
  EXPECT_EQ(p.FramesShown(), 1u);
  EXPECT_EQ(pixel(100, 50), kBack);  // the canvas kept the window's pixels, not the black
  p.Pause(0);
  plat::clock::advance(100);
  ASSERT_TRUE(shown(p, 2));
  EXPECT_EQ(pixel(100, 50), kBlue);
  ReleaseDC(view, dc);
  p.Stop();
}

TEST_F(GifPlayerTest, StopReturnsOnceTheThreadHasEndedAndNothingIsDrawnAfter) {
  GifBuilder slow;  // 655 s per frame: only a stop can end the wait
  slow.header(1, 1, {{0, 255, 0}, {0, 0, 0}}).control(0, false, 0, 65535).image(0, 0, 1, 1, {0}).trailer();
  writeFile("slow.gif", slow.str());
  AnimationPlayer p(view, kAction, false);
  ASSERT_EQ(p.Load(u"\\slow.gif", nullptr, nullptr), 1);
  p.Play();
  ASSERT_TRUE(shown(p, 1));
  EXPECT_EQ(pixel(100, 50), kGreen);
  p.Stop();
  EXPECT_EQ(p.RunState(), 2);
  HDC dc = GetDC(view);
  RECT r{0, 0, 10, 10};
  FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  ReleaseDC(view, dc);
  plat::clock::advance(700000);
  pumpUntilIdle();
  EXPECT_EQ(pixel(100, 50), kBlack);
  EXPECT_TRUE(g_commands.empty());
  // A stopped player plays again from the first frame.
  p.Play();
  ASSERT_TRUE(shown(p, 1));
  EXPECT_EQ(pixel(100, 50), kGreen);
}

TEST_F(GifPlayerTest, DrawsOnTheWholeScreenWhenAsked) {
  writeFile("anim.gif", twoFrames());
  AnimationPlayer p(view, kAction, true);
  ASSERT_EQ(p.Load(u"\\anim.gif", nullptr, nullptr), 1);
  p.SetPosition(10, 10);
  p.Play();
  ASSERT_TRUE(shown(p, 1));
  EXPECT_EQ(pixel(12, 10), kGreen);
  EXPECT_EQ(pixel(112, 60), kBack);
  p.Stop();
}

TEST_F(GifPlayerTest, FileThatFailsToLoadLeavesThePlayerIdle) {
  writeFile("text.gif", "hello, not a picture");
  writeFile("huge.gif", GifBuilder().header(65535, 65535, {{1, 2, 3}, {4, 5, 6}}).trailer().str());
  for (const char16_t* path : {u"\\text.gif", u"\\huge.gif", u"\\missing.gif"}) {
    AnimationPlayer p(view, kAction, false);
    int w = -1, h = -1;
    EXPECT_EQ(p.Load(path, &w, &h), 0);
    EXPECT_EQ(w, -1);
    p.Play();
    EXPECT_EQ(p.RunState(), 0);
  }
  EXPECT_TRUE(consoleHas("*E:AnimationPlayer::Load : not a GIF"));
  EXPECT_TRUE(consoleHas("over the canvas budget"));
}

TEST_F(GifPlayerTest, FileWithoutTrailerStillGoesRoundAndTellsTheWindow) {
  std::string cut = twoFrames();
  cut.pop_back();  // no trailer: the data simply ends after the second image
  writeFile("cut.gif", cut);
  AnimationPlayer p(view, kAction, false);
  ASSERT_EQ(p.Load(u"\\cut.gif", nullptr, nullptr), 1);
  p.Play();
  ASSERT_TRUE(shown(p, 1));
  plat::clock::advance(100);
  ASSERT_TRUE(shown(p, 2));
  plat::clock::advance(50);
  ASSERT_TRUE(shown(p, 3));  // the first image again
  pumpUntilIdle();
  EXPECT_EQ(g_commands, std::vector<UINT>{kAction});
  EXPECT_EQ(p.RunState(), 5);
  p.Stop();
}

TEST_F(GifPlayerTest, FileWithNothingDrawableStopsByItselfWithoutNotice) {
  GifBuilder b;  // one image whose LZW codes are broken
  b.header(2, 1, {{1, 2, 3}, {4, 5, 6}}).imageCodes(0, 0, 2, 1, 2, {4, 1, 7, 5}).trailer();
  writeFile("broken.gif", b.str());
  AnimationPlayer p(view, kAction, false);
  ASSERT_EQ(p.Load(u"\\broken.gif", nullptr, nullptr), 1);
  p.Play();
  ASSERT_TRUE(eventually([&] { return p.NextFrameDueMs() != 0; }));  // the undrawn image's delay
  EXPECT_EQ(p.FramesShown(), 0u);
  plat::clock::advance(50);
  ASSERT_TRUE(eventually([&] { return p.RunState() == 2; }));
  pumpUntilIdle();
  EXPECT_TRUE(g_commands.empty());
  EXPECT_TRUE(consoleHas("nothing to show"));
  EXPECT_EQ(pixel(100, 50), kBack);
}

// The engine's operations reach the gif's player by its action id.
TEST_F(GifPlayerTest, TheEngineLoadsPlaysPausesAndClosesAGifByItsActionId) {
  writeFile("anim.gif", twoFrames());
  struct Engine : CSkinlet {
    tagMenu& page() { return Menus.emplace_back(); }
  } skin;
  tagGif gif{};
  gif.ActionID = kAction;
  gif.GifArea = {10, 10, 0, 0};
  lstrcpynW(gif.Path, u"\\anim.gif", SL_PATH_LEN);
  skin.page().Gifs = {gif};
  skin.SL_SetWndHandle(nullptr, view, nullptr);
  skin.SL_LoadImages();
  const tagGif& g = skin.Pages()[0].Gifs[0];
  skin.SL_gifLoad(kAction);
  EXPECT_EQ(std::make_pair(g.GifArea.Width, g.GifArea.Hight), std::make_pair(4, 2)) << "the file's size";
  skin.SL_gifPlay(kAction);
  ASSERT_TRUE(shown(*g.Player, 1));
  EXPECT_EQ(pixel(100 + 10 + 2, 50 + 10), kGreen) << "drawn 1:1 at the area's corner";
  skin.SL_gifPause(kAction, true);
  const uint64_t due = plat::clock::nowMs() + 200;
  plat::clock::advance(100);
  ASSERT_TRUE(eventually([&] { return g.Player->NextFrameDueMs() == due; }));
  EXPECT_EQ(g.Player->FramesShown(), 1u) << "paused: the first frame again";
  skin.SL_gifClose(kAction);
  EXPECT_EQ(g.Player, nullptr);
}

}  // namespace
