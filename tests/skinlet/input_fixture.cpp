#include "input_fixture.h"

#include <fstream>

namespace input_test {

bool InputTest::paintThroughEngine = true;
InputSkinlet* InputTest::current = nullptr;
std::vector<Notice> InputTest::log;
std::vector<std::pair<uint64_t, UINT>> InputTest::ticks;

tagButton makeButton(int id, int x, int y, int w, int h) {
  tagButton b{};
  b.ActionID = id;
  b.IrHotKey = -1;
  b.BtnArea = {x, y, w, h};
  b.TouchArea = b.BtnArea;
  setLinks(b.IrDirect, -1, -1, -1, -1);
  return b;
}

tagProgress makeProgress(int id, int x, int y, int w, int h) {
  tagProgress p{};
  p.ActionID = id;
  p.Horizon = 1;
  p.PrgArea = {x, y, w, h};
  p.PrgSldArea = {0, 0, w, h};
  setLinks(p.IrDirect, -1, -1, -1, -1);
  return p;
}

tagTable makeTableItem(int id, int x, int y, int w, int h) {
  tagTable t{};
  t.ActionID = id;
  t.ActionType = 0x1;
  t.ItemArea = {x, y, w, h};
  t.TxtArea = {x + w, y, 100, h};
  t.TxtId = -2;
  setLinks(t.IrDirect, -1, -1, -1, -1);
  return t;
}

tagTexture makeText(int id, int x, int y, int w, int h, int type) {
  tagTexture t{};
  t.ActionID = id;
  t.TxtType = type;
  t.TxtArea = {x, y, w, h};
  return t;
}

void setLinks(int32_t (&links)[IR_COUNT], int left, int right, int up, int down, int ok, int upLt, int dnRt) {
  links[IR_LEFT] = left;
  links[IR_RIGHT] = right;
  links[IR_TOP] = up;
  links[IR_BOTTOM] = down;
  links[IR_OK] = ok;
  links[IR_CLOSE] = 0;
  links[IR_UPLT] = upLt;
  links[IR_DNRT] = dnRt;
}

LRESULT CALLBACK InputTest::screenProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  static const UINT released = RegisterWindowMessageW(u"MGSID_PROGRESS_LBUTTONUP");
  if (msg == WM_TIMER && wParam >= 888 && wParam <= 891) {
    ticks.emplace_back(plat::clock::nowMs(), static_cast<UINT>(wParam));
  }
  if (current) current->SL_MainProc(hwnd, msg, wParam, lParam);
  if (msg == WM_COMMAND || msg == kDown || msg == kUp || msg == kRepeat || msg == kTouch || msg == released) {
    log.push_back(Notice{msg, wParam, lParam});
    return 0;
  }
  if (msg == WM_PAINT && current && paintThroughEngine) {
    current->SL_PaintBegin();
    current->SL_PaintEnd();
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void InputTest::SetUp() {
  PlatformFixture::SetUp();
  log.clear();
  ticks.clear();
  paintThroughEngine = true;
  // Made after the platform knows the screen size: the engine's frame takes it at construction.
  owned = std::make_unique<InputSkinlet>();
  skin = owned.get();
  current = skin;
  ASSERT_NO_FATAL_FAILURE(controls_test::createScreenWindow(u"InputScreen", screenProc, screen));
  SetForegroundWindow(screen);
  skin->SL_SetWndHandle(screen, screen, nullptr);
  ButtonControl::CaptureFlag = 0;
}

void InputTest::TearDown() {
  current = nullptr;
  owned.reset();
  if (IsWindow(screen)) DestroyWindow(screen);
  PlatformFixture::TearDown();
}

void InputTest::createControls() {
  skin->SL_LoadImages();
  InvalidateRect(screen, nullptr, FALSE);
  pumpUntilIdle();
  log.clear();
}

std::vector<Notice> InputTest::takeNotices() {
  std::vector<Notice> out;
  out.swap(log);
  return out;
}

RECT InputTest::updateRect(HWND window) {
  RECT rc{};
  GetUpdateRect(window, &rc, FALSE);
  return rc;
}

bool InputTest::pendingPaint(HWND window) {
  RECT rc = updateRect(window);
  return rc.right > rc.left && rc.bottom > rc.top;
}

std::u16string InputTest::writeBitmap(const std::string& relative, int w, int h, COLORREF colour) {
  const int stride = (w * 3 + 3) & ~3;
  const uint32_t dataSize = static_cast<uint32_t>(stride * h);
  std::string bytes;
  auto put16 = [&](uint16_t v) {
    bytes.push_back(static_cast<char>(v & 0xFF));
    bytes.push_back(static_cast<char>(v >> 8));
  };
  auto put32 = [&](uint32_t v) {
    put16(static_cast<uint16_t>(v & 0xFFFF));
    put16(static_cast<uint16_t>(v >> 16));
  };
  bytes += "BM";
  put32(54 + dataSize);
  put32(0);
  put32(54);
  put32(40);
  put32(static_cast<uint32_t>(w));
  put32(static_cast<uint32_t>(h));
  put16(1);
  put16(24);
  put32(0);
  put32(dataSize);
  put32(2835);
  put32(2835);
  put32(0);
  put32(0);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      bytes.push_back(static_cast<char>((colour >> 16) & 0xFF));
      bytes.push_back(static_cast<char>((colour >> 8) & 0xFF));
      bytes.push_back(static_cast<char>(colour & 0xFF));
    }
    bytes.append(static_cast<size_t>(stride - w * 3), '\0');
  }
  writeFile(relative, bytes);
  std::u16string device = u"\\";
  for (char c : relative) device.push_back(c == '/' ? u'\\' : static_cast<char16_t>(c));
  return device;
}

}  // namespace input_test
