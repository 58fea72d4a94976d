// The display: input-script parsing and playing, snapshots, presenting and backend choice.
#include <cstdlib>
#include <fstream>
#include <thread>

#include "window_test_util.h"

using namespace wintest;

namespace {

class Display : public WindowTest {};

TEST(InputScript, ParsesEveryStep) {
  std::vector<plat::display::ScriptStep> steps;
  std::string error;
  const char* text =
      "# start\n"
      "tap 10 20\n"
      "press 1 2  # comment\n"
      "  move 3 -4\n"
      "release 5 6\n"
      "drag 0 0 100 50 200\n"
      "key 13\n"
      "keydown left\n"
      "KEYUP 0x48\n"
      "key A\n"
      "wait 1500\n"
      "snapshot out/first.png\n"
      "\n"
      "quit\n";
  ASSERT_TRUE(plat::display::parseInputScript(text, steps, error)) << error;
  using K = plat::display::ScriptStep;
  std::vector<K::Kind> kinds;
  for (const auto& s : steps) kinds.push_back(s.kind);
  EXPECT_EQ(kinds, (std::vector<K::Kind>{K::Tap, K::Press, K::Move, K::Release, K::Drag, K::Key, K::KeyDown,
                                          K::KeyUp, K::Key, K::Wait, K::Snapshot, K::Quit}));
  EXPECT_EQ(steps[2].args[1], -4);
  EXPECT_EQ(steps[4].args[2], 100);
  EXPECT_EQ(steps[4].args[4], 200);
  EXPECT_EQ(steps[6].args[0], 37);
  EXPECT_EQ(steps[7].args[0], 72);
  EXPECT_EQ(steps[8].args[0], 65);
  EXPECT_EQ(steps[9].args[0], 1500);
  EXPECT_EQ(steps[10].file, "out/first.png");
  EXPECT_EQ(steps[10].line, 12);
}

TEST(InputScript, RejectsBadLinesNamingThem) {
  struct Bad {
    const char* text;
    const char* error;
  };
  const Bad cases[] = {
      {"tap 10\n", "input script line 1: expected tap X Y"},
      {"tap 10 20 30\n", "input script line 1: expected tap X Y"},
      {"tap x 20\n", "input script line 1: expected tap X Y"},
      {"tap 10 99999\n", "input script line 1: expected tap X Y"},
      {"tap 1 1\nmove 2\n", "input script line 2: expected move X Y"},
      {"drag 1 2 3 4\n", "input script line 1: expected drag X1 Y1 X2 Y2 MS"},
      {"drag 1 2 3 4 -5\n", "input script line 1: drag time must be 0 to 600000 ms"},
      {"key 256\n", "input script line 1: expected key CODE (1 to 255 or a key name)"},
      {"key 0\n", "input script line 1: expected key CODE (1 to 255 or a key name)"},
      {"keydown NOSUCHKEY\n", "input script line 1: expected keydown CODE (1 to 255 or a key name)"},
      {"wait\n", "input script line 1: expected wait MS (0 to 3600000)"},
      {"wait 12abc\n", "input script line 1: expected wait MS (0 to 3600000)"},
      {"wait 99999999999999999999\n", "input script line 1: expected wait MS (0 to 3600000)"},
      {"snapshot\n", "input script line 1: expected snapshot FILE.png"},
      {"quit now\n", "input script line 1: quit takes no arguments"},
      {"jump 1 2\n", "input script line 1: unknown step 'jump'"},
  };
  for (const Bad& b : cases) {
    std::vector<plat::display::ScriptStep> steps;
    std::string error;
    EXPECT_FALSE(plat::display::parseInputScript(b.text, steps, error)) << b.text;
    EXPECT_EQ(error, b.error) << b.text;
    EXPECT_TRUE(steps.empty());
  }
  std::vector<plat::display::ScriptStep> steps;
  std::string error;
  EXPECT_FALSE(plat::display::parseInputScript(std::string(5000, 'x'), steps, error));
  EXPECT_EQ(error, "input script line 1: line too long");
}

TEST(DisplayOptions, CommandLineValues) {
  struct Case {
    const char* option;
    const char* value;
    bool ok;
    const char* error;
  };
  const Case cases[] = {
      {"--display", "headless", true, ""},
      {"--display", "sdl", true, ""},
      {"--display", "x11", false, "--display takes headless, sdl or auto, not 'x11'"},
      {"--scale", "2", true, ""},
      {"--scale", "0", false, "--scale takes a whole number from 1 to 8"},
      {"--scale", "9", false, "--scale takes a whole number from 1 to 8"},
      {"--scale", "2x", false, "--scale takes a whole number from 1 to 8"},
      {"--scale", "", false, "--scale takes a whole number from 1 to 8"},
      {"--script", "run.txt", true, ""},
      {"--script", "", false, "--script takes a file"},
      {"--unit", "x", false, "not a display option: --unit"},
  };
  for (const Case& c : cases) {
    plat::display::Options o;
    std::string error;
    EXPECT_EQ(plat::display::parseOption(c.option, c.value, o, error), c.ok) << c.option << " " << c.value;
    EXPECT_EQ(error, c.error) << c.option << " " << c.value;
  }
  plat::display::Options o;
  std::string error;
  plat::display::parseOption("--scale", "3", o, error);
  plat::display::parseOption("--display", "sdl", o, error);
  EXPECT_EQ(o.scale, 3);
  EXPECT_EQ(o.backend, plat::display::Backend::Sdl);
}

TEST_F(Display, FixtureScriptsDriveWindowsOnTheTestClock) {
  HWND w = top(0, 0, 200, 200);
  pumpUntilIdle();
  takeLog();
  ASSERT_TRUE(runScript("drag 10 10 110 10 100\nkey 13\nwait 250\nquit\n")) << scriptError();
  auto got = only(takeLog(), {WM_LBUTTONDOWN, WM_MOUSEMOVE, WM_LBUTTONUP, WM_KEYDOWN, WM_KEYUP});
  ASSERT_EQ(got.size(), 9u);  // down, five moves (one per 20 ms), up, key down and up
  EXPECT_EQ(got[5].lParam, MAKELPARAM(110, 10));
  EXPECT_TRUE(quitSeen());
  EXPECT_FALSE(runScript("tap\n"));
  EXPECT_EQ(scriptError(), "input script line 1: expected tap X Y");
  (void)w;
}

// A PNG's width and height from its header.
bool pngSize(const std::string& path, int& w, int& h) {
  std::ifstream f(path, std::ios::binary);
  unsigned char b[24];
  if (!f.read(reinterpret_cast<char*>(b), 24)) return false;
  if (b[0] != 0x89 || b[1] != 'P' || b[2] != 'N' || b[3] != 'G') return false;
  w = (b[16] << 24) | (b[17] << 16) | (b[18] << 8) | b[19];
  h = (b[20] << 24) | (b[21] << 16) | (b[22] << 8) | b[23];
  return true;
}

TEST_F(Display, SnapshotsWriteTheScreenAsPng) {
  std::string path = snapshot("screen.png");
  int w = 0, h = 0;
  ASSERT_TRUE(pngSize(path, w, h));
  EXPECT_EQ(w, 800);
  EXPECT_EQ(h, 480);
  EXPECT_FALSE(plat::display::snapshot(hostPath("no/such/folder/x.png")));
  EXPECT_TRUE(consoleHas("display: cannot write snapshot"));
}

TEST_F(Display, FramesArePresentedOnlyWhenTheScreenChanged) {
  plat::display::Options o;
  o.backend = plat::display::Backend::Headless;
  ASSERT_TRUE(plat::display::open(o));
  HWND w = top(0, 0, 100, 100);
  pumpUntilIdle();
  plat::display::presentNow();
  uint64_t n = plat::display::framesPresented();
  pumpFor(100);
  EXPECT_EQ(plat::display::framesPresented(), n);  // idle, nothing new
  HDC dc = GetDC(w);
  RECT r{0, 0, 10, 10};
  HBRUSH b = CreateSolidBrush(RGB(9, 9, 9));
  FillRect(dc, &r, b);
  DeleteObject(b);
  ReleaseDC(w, dc);
  pumpFor(100);
  EXPECT_EQ(plat::display::framesPresented(), n + 1);
}

// Only the pixels that changed go to the backend: each row draws on the screen (through a window
// DC, clipped by a window above it) and says how many pixels the next present carries.
TEST_F(Display, OnlyThePixelsThatChangedArePresented) {
  plat::display::Options o;
  o.backend = plat::display::Backend::Headless;
  o.presentOnIdle = false;
  ASSERT_TRUE(plat::display::open(o));
  HWND w = top(0, 0, 200, 100);
  top(150, 0, 200, 100);  // covers columns 150..199 of w
  pumpUntilIdle();
  plat::display::presentNow();
  const struct {
    RECT rect;
    COLORREF colour;
    uint64_t pixels;
  } rows[] = {
      {{0, 0, 10, 10}, RGB(9, 9, 9), 100},     // a new colour: the whole rectangle
      {{0, 0, 10, 10}, RGB(9, 9, 9), 0},       // the same again: nothing, not even a frame
      {{0, 0, 20, 5}, RGB(9, 9, 9), 50},       // only the part that was not that colour yet
      {{140, 0, 170, 2}, RGB(1, 2, 3), 20},    // cut by the window above
      {{0, 50, 4, 52}, RGB(7, 7, 7), 8},       // one part far from the others
  };
  for (const auto& row : rows) {
    uint64_t frames = plat::display::framesPresented(), pixels = plat::display::pixelsPresented();
    HDC dc = GetDC(w);
    HBRUSH b = CreateSolidBrush(row.colour);
    FillRect(dc, &row.rect, b);
    DeleteObject(b);
    ReleaseDC(w, dc);
    plat::display::presentNow();
    EXPECT_EQ(plat::display::pixelsPresented() - pixels, row.pixels) << row.rect.left << "," << row.rect.top;
    EXPECT_EQ(plat::display::framesPresented() - frames, row.pixels ? 1u : 0u);
  }
}

TEST_F(Display, ThreadedScriptPlaysAgainstARealMessageLoop) {
  plat::clock::unfreeze();
  HWND w = top(0, 0, 200, 200);
  std::string script = hostPath("run.txt");
  {
    std::ofstream f(script);
    f << "tap 20 30\nkey 39\nwait 10\nsnapshot shot.png\nquit\n";
  }
  ASSERT_TRUE(plat::display::runInputScript(script));
  MSG m;
  int guard = 0;
  while (GetMessageW(&m, nullptr, 0, 0) > 0 && ++guard < 100000) DispatchMessageW(&m);
  EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
  EXPECT_TRUE(plat::display::waitScript(5000));
  auto got = numbers(only(takeLog(), {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_KEYDOWN, WM_KEYUP}));
  EXPECT_EQ(got, (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_KEYDOWN, WM_KEYUP}));
  int sw = 0, sh = 0;
  EXPECT_TRUE(pngSize(hostPath("shot.png"), sw, sh));
  EXPECT_FALSE(plat::display::runInputScript(hostPath("missing.txt")));
  EXPECT_TRUE(consoleHas("display: cannot read input script"));
  (void)w;
}

TEST_F(Display, SdlWithoutADisplayFallsBackToHeadless) {
  const char* old = std::getenv("DISPLAY");
  std::string saved = old ? old : "";
  setenv("DISPLAY", ":987", 1);  // nothing listens there
  // SDL opens the session bus on start; libdbus keeps a buffer of it for good, which the leak
  // checker would count. No bus here.
  const char* oldBus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  std::string savedBus = oldBus ? oldBus : "";
  setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent", 1);
  plat::display::Options o;
  o.backend = plat::display::Backend::Sdl;
  EXPECT_TRUE(plat::display::open(o));
  EXPECT_EQ(plat::display::active(), plat::display::Backend::Headless);
  EXPECT_TRUE(consoleHas("display: sdl unavailable, running headless"));
  if (old) setenv("DISPLAY", saved.c_str(), 1); else unsetenv("DISPLAY");
  if (oldBus) setenv("DBUS_SESSION_BUS_ADDRESS", savedBus.c_str(), 1); else unsetenv("DBUS_SESSION_BUS_ADDRESS");
  o.scale = 0;
  EXPECT_FALSE(plat::display::open(o));
  plat::display::Backend b;
  EXPECT_TRUE(plat::display::parseBackend("sdl", b));
  EXPECT_EQ(b, plat::display::Backend::Sdl);
  EXPECT_FALSE(plat::display::parseBackend("x11", b));
}

}  // namespace

namespace {

int g_hookTicks = 0;
void CALLBACK countTick(HWND, UINT, UINT_PTR, DWORD) { ++g_hookTicks; }

class FixtureHooks : public hu::test::PlatformFixture {
 protected:
  void prepareUnit(const std::string& root) override {
    std::ofstream(root + "/marker.txt") << "before start-up";
  }
};

TEST_F(FixtureHooks, PreparesTheUnitAndWritesFilesInIt) {
  EXPECT_TRUE(std::filesystem::exists(hostPath("marker.txt")));
  writeFile("Windows/Skin/a.txt", "x");
  EXPECT_TRUE(std::filesystem::exists(hostPath("Windows/Skin/a.txt")));
  g_hookTicks = 0;
  uint64_t t0 = plat::clock::nowMs();
  UINT_PTR id = SetTimer(nullptr, 0, 100, countTick);
  EXPECT_TRUE(pumpUntil([] { return g_hookTicks >= 3; }, 5000));
  EXPECT_GE(plat::clock::nowMs() - t0, 300u);
  EXPECT_LT(plat::clock::nowMs() - t0, 400u);
  EXPECT_FALSE(pumpUntil([] { return g_hookTicks >= 1000; }, 200));
  KillTimer(nullptr, id);
}

}  // namespace
