// A screen window on the headless display with a view engine whose pages the test builds
// record by record; every notice that reaches the screen window is recorded as data.
#pragma once

#include "golden_image.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "controls/button_control.h"
#include "controls/progress_control.h"
#include "controls/segment_control.h"
#include "controls/slide_control.h"
#include "platform_fixture.h"
#include "skinlet.h"
#include "text/font_catalog.h"
#include "windows.h"

namespace controls_test {

// One message that reached the screen window.
struct Notice {
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
  bool operator==(const Notice& o) const { return msg == o.msg && wParam == o.wParam && lParam == o.lParam; }
};

inline std::ostream& operator<<(std::ostream& out, const Notice& n) {
  return out << "{0x" << std::hex << n.msg << ", " << std::dec << static_cast<intptr_t>(n.wParam) << ", "
             << n.lParam << "}";
}

inline std::vector<Notice>& notices() {
  static std::vector<Notice> log;
  return log;
}

// What the screen does with a WM_COMMAND besides recording it (a test may reload its skin).
inline std::function<void(WPARAM, LPARAM)>& onCommand() {
  static std::function<void(WPARAM, LPARAM)> handler;
  return handler;
}

// The screen window's procedure: keeps what the controls report, nothing else.
inline LRESULT CALLBACK screenProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  static const UINT released = RegisterWindowMessageW(u"MGSID_PROGRESS_LBUTTONUP");
  if (msg == WM_COMMAND || msg == 0x207 || msg == 0x208 || msg == 0x20A || msg == 0x20B || msg == released) {
    notices().push_back(Notice{msg, wParam, lParam});
    if (msg == WM_COMMAND && onCommand()) onCommand()(wParam, lParam);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// The engine with its pages open to the test.
class TestSkinlet : public CSkinlet {
 public:
  using CSkinlet::Menus;
  tagMenu& page(size_t i = 0) {
    if (Menus.size() <= i) Menus.resize(i + 1);
    return Menus[i];
  }
};

// A bitmap of one colour, or with a second colour in a frame `border` pixels wide, made
// through the platform as the image table makes its bitmaps.
class Bitmaps {
 public:
  ~Bitmaps() {
    for (HBITMAP b : made_) DeleteObject(b);
  }
  HBITMAP make(int w, int h, COLORREF fill, COLORREF frame = CLR_INVALID, int border = 0) {
    BITMAPINFO info{};
    info.bmiHeader = {40, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP b = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    auto* px = static_cast<uint32_t*>(bits);
    auto pixel = [](COLORREF c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); };
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        bool edge = x < border || y < border || x >= w - border || y >= h - border;
        px[y * w + x] = pixel(edge && frame != CLR_INVALID ? frame : fill);
      }
    }
    made_.push_back(b);
    return b;
  }

 private:
  std::vector<HBITMAP> made_;
};

inline tagImgItem image(HBITMAP b) {
  tagImgItem item{};
  item.hImg = b;
  return item;
}

// The font every golden picture's texts are drawn with.
constexpr const char* kGoldenFont = "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf";

// Registers `className` on a black background and makes the visible 800 x 480 pop-up that the
// engine under test draws on, in `screen`.
inline void createScreenWindow(LPCWSTR className, WNDPROC proc, HWND& screen) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = proc;
  wc.lpszClassName = className;
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  ASSERT_NE(RegisterClassW(&wc), 0);
  screen = CreateWindowExW(0, className, u"screen", WS_POPUP | WS_VISIBLE, 0, 0, 800, 480, nullptr, nullptr, nullptr,
                           nullptr);
  ASSERT_NE(screen, nullptr);
}

class ControlsTest : public hu::test::PlatformFixture {
 protected:
  void SetUp() override {
    PlatformFixture::SetUp();
    plat::text::pinFontFiles({kGoldenFont, "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"});
    notices().clear();
    onCommand() = nullptr;
    ASSERT_NO_FATAL_FAILURE(createScreenWindow(u"ScreenWnd", screenProc, screen));
    skin.SL_SetWndHandle(screen, screen, nullptr);
    ButtonControl::CaptureFlag = 0;
  }

  void TearDown() override {
    onCommand() = nullptr;
    skin.SL_UnLoadImages();
    if (IsWindow(screen)) DestroyWindow(screen);
    plat::text::pinFontFiles({});
    PlatformFixture::TearDown();
  }

  // Creates the controls of the pages built so far and shows those of page 0, as the first
  // paint of a screen does.
  void createControls() {
    skin.SL_LoadImages();
    skin.btnShowAll(&skin.page(0), 1);
    skin.prgShowAll(&skin.page(0), 1);
    skin.segShowAll(&skin.page(0), 1);
    pumpUntilIdle();
    notices().clear();
  }

  std::vector<Notice> takeNotices() {
    std::vector<Notice> out;
    out.swap(notices());
    return out;
  }

  // The screen's pixels in a rectangle, row by row, 0x00RRGGBB.
  std::vector<uint32_t> screenPixels(int x, int y, int w, int h) {
    std::vector<uint32_t> out;
    for (int j = 0; j < h; ++j)
      for (int i = 0; i < w; ++i) out.push_back(pixel(x + i, y + j));
    return out;
  }

  TestSkinlet skin;
  HWND screen = nullptr;
  Bitmaps bitmaps;
};

// Compares pixels with tests/golden/<name>.png; the controls' texts need the pinned font.
inline void expectGolden(const std::string& name, const std::vector<uint32_t>& pixels, int width, int height,
                         int tolerance = 0) {
  ASSERT_EQ(pixels.size(), static_cast<size_t>(width) * height);
  test_support::expectGolden(name, pixels.data(), width, height, tolerance, kGoldenFont);
}

}  // namespace controls_test
