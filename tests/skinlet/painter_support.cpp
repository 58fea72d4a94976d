#include "painter_support.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "golden_image.h"

#include "text/font_catalog.h"

namespace paint_test {

std::vector<UINT_PTR> PaintFixture::timersSeen;

namespace {

LRESULT CALLBACK screenProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* engine = reinterpret_cast<TestSkinlet*>(GetWindowLongPtrW(hwnd, GWL_USERDATA));
  switch (message) {
    case WM_PAINT:
      if (!engine) break;
      engine->SL_PaintBegin();
      engine->SL_PaintEnd();
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_TIMER:
      PaintFixture::timersSeen.push_back(wParam);
      return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

std::vector<std::pair<std::string, std::string>> paintSkinBitmaps() {
  constexpr uint32_t key = 0xFA00FA;
  auto inCircle = [](int x, int y, int cx, int cy, int r) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r; };
  // A button face whose corners are cut with the colour key.
  auto button = [&](uint32_t face, uint32_t edge) {
    return [=](int x, int y) -> uint32_t {
      const int dx = std::min(x, 119 - x), dy = std::min(y, 47 - y);
      if (dx + dy < 6) return key;
      return dx < 3 || dy < 3 ? edge : face;
    };
  };
  return {
      {"bg_widgets.bmp", bitmapFile(800, 480, [](int, int y) -> uint32_t { return y < 270 ? 0x1E2A38 : 0x263444; })},
      {"pic_key.bmp", bitmapFile(64, 64,
                                 [&](int x, int y) -> uint32_t {
                                   if (x >= 24 && x < 40 && y >= 24 && y < 40) return 0x2050C0;
                                   return inCircle(x, y, 32, 32, 28) ? 0xF09020 : key;
                                 })},
      {"btn_blue.bmp", bitmapFile(120, 48, button(0x3A7BD5, 0x9CC4F0))},
      {"btn_green.bmp", bitmapFile(120, 48, button(0x2E9A48, 0x9CE0AC))},
      {"prg_back.bmp", bitmapFile(300, 24,
                                  [&](int x, int y) -> uint32_t {
                                    if (x < 12 && y < 12 - x) return key;
                                    if (x > 287 && y > 24 - (300 - x)) return key;
                                    return (x / 10) % 2 ? 0x8090A0 : 0x707C8C;
                                  })},
      {"seg_bg.bmp", bitmapFile(200, 60,
                                [&](int x, int y) -> uint32_t {
                                  if (x < 100) return 0xFF0000;  // never shown: outside the crop
                                  if (y >= 25 && y < 35) return key;
                                  return 0x401010 + static_cast<uint32_t>((x - 100) / 20) * 0x100800;
                                })},
      {"tbl_dir.bmp", bitmapFile(220, 26,
                                 [](int x, int y) -> uint32_t {
                                   if (x >= 8 && x < 32 && y >= 5 && y < 21) return 0xE0B040;
                                   return 0xF4E8C8;
                                 })},
      {"tbl_file.bmp", bitmapFile(220, 26,
                                  [](int x, int y) -> uint32_t {
                                    if (x >= 12 && x < 28 && y >= 3 && y < 23) return (y % 4) ? 0xFFFFFF : 0x4060A0;
                                    return 0xD0D8E0;
                                  })},
      {"tbl_bg.bmp", bitmapFile(230, 36, [](int, int) -> uint32_t { return 0x2E6FB0; })},
      {"bg_old.bmp", bitmapFile(800, 480,
                                [](int x, int y) -> uint32_t {
                                  if ((x / 100 + y / 120) % 2) return 0x404448;
                                  return 0x2C3034;
                                })},
      {"bg_new.bmp", bitmapFile(800, 480,
                                [](int x, int y) -> uint32_t {
                                  if (std::abs(x - 400) < 3 || std::abs(y - 240) < 3) return 0xFFFFFF;
                                  if (x < 400) return y < 240 ? 0xC04040 : 0x4060C0;
                                  return y < 240 ? 0x40A040 : 0xC0A040;
                                })},
      {"mask.bmp", bitmapFile(400, 300,
                              [](int x, int y) -> uint32_t {
                                // An ellipse with a square hole: black is cut away.
                                const double ex = (x - 200) / 200.0, ey = (y - 150) / 150.0;
                                if (ex * ex + ey * ey > 1.0) return 0x000000;
                                if (x >= 170 && x < 230 && y >= 120 && y < 180) return 0x000000;
                                return 0xFFFFFF;
                              })},
      {"bg_shaped.bmp", bitmapFile(400, 300, [](int, int y) -> uint32_t { return (y / 30) % 2 ? 0x8040A0 : 0xA060C0; })},
  };
}

void expectGolden(const std::string& name, const Image& image, int tolerance) {
  test_support::expectGolden(name, image.pixels.data(), image.width, image.height, tolerance);
}

void PaintFixture::SetUp() {
  hu::test::PlatformFixture::SetUp();
  skinlet::resetModuleDirectory();
  // Every painting test draws with these files only, whatever the machine has installed.
  plat::text::pinFontFiles({"/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf",
                            "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                            "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"});
  timersSeen.clear();
  texts = std::make_unique<CTxtRes>();
  std::srand(1);
}

void PaintFixture::TearDown() {
  images.UnLoadImgResource();
  texts.reset();
  plat::text::pinFontFiles({});
  hu::test::PlatformFixture::TearDown();
}

void PaintFixture::installSkin(const std::string& folder,
                               const std::vector<std::pair<std::string, std::string>>& bitmaps) {
  copyIntoUnit(std::string(HU_SOURCE_DIR) + "/tests/skinlet/fixtures/" + folder, "Windows/" + folder);
  for (const auto& [name, bytes] : bitmaps) writeFile("Windows/" + folder + "/Skin/" + name, bytes);
}

bool PaintFixture::load(TestSkinlet& engine, const std::u16string& script, const std::u16string& folder) {
  if (!images.LoadImgResource(u"image.xml", folder.c_str())) return false;
  engine.SL_resSetHandle(&images, texts.get());
  return engine.SL_LoadSkin(script.c_str(), folder.c_str()) == 1;
}

HWND PaintFixture::createScreen(TestSkinlet& engine, RECT rect) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = screenProc;
  wc.lpszClassName = u"PaintTestScreen";
  RegisterClassW(&wc);  // a second registration in the same test is refused harmlessly
  HWND hwnd = CreateWindowExW(0, u"PaintTestScreen", u"screen", WS_POPUP, rect.left, rect.top,
                              rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr, nullptr, nullptr);
  EXPECT_NE(hwnd, nullptr);
  SetWindowLongPtrW(hwnd, GWL_USERDATA, reinterpret_cast<LONG_PTR>(&engine));
  engine.SL_SetWndHandle(hwnd, hwnd, nullptr);
  ShowWindow(hwnd, SW_SHOW);
  pumpUntilIdle();
  return hwnd;
}

void PaintFixture::paint(HWND window) {
  InvalidateRect(window, nullptr, FALSE);
  UpdateWindow(window);
}

Image PaintFixture::screen() { return screen(RECT{0, 0, screenWidth_, screenHeight_}); }

Image PaintFixture::screen(RECT part) {
  Image image;
  image.width = part.right - part.left;
  image.height = part.bottom - part.top;
  image.pixels.reserve(static_cast<size_t>(image.width) * image.height);
  for (int y = part.top; y < part.bottom; ++y)
    for (int x = part.left; x < part.right; ++x) image.pixels.push_back(pixel(x, y));
  return image;
}

}  // namespace paint_test
