// Page transitions and the opening effect. A transition draws the new frame onto the
// screen in 15 steps of at least 40 ms each (slides, zooms, blinds); the opening effect blends
// a page that has a see-through background half and half with what the screen showed.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "painter_internal.h"
#include "plat_time.h"
#include "skinlet.h"

namespace skinlet {

const float kAnimationFactor[16] = {0.1f,  0.2f,  0.35f, 0.5f,  0.65f, 0.8f,  0.85f, 0.88f,
                                    0.9f,  0.92f, 0.94f, 0.96f, 0.97f, 0.98f, 0.99f, 1.0f};

namespace {

// Spends the rest of a step's 40 ms. On a frozen (test) clock nothing else moves time while
// the window thread is busy here, so the step's time is spent on that clock directly: the
// transition then takes its real length on the platform clock without waiting.
void finishStep(DWORD startTick) {
  DWORD elapsed = GetTickCount() - startTick;
  if (elapsed >= kAnimationStepMs) return;
  DWORD rest = kAnimationStepMs - elapsed;
  if (plat::clock::frozen()) {
    plat::clock::advance(rest);
  } else {
    Sleep(rest);
  }
}

// A 32-bit top-down section of the screen's size in a memory context of its own.
class PixelBuffer {
 public:
  PixelBuffer(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    pixels_ = static_cast<uint32_t*>(bits);
    dc_ = CreateCompatibleDC(nullptr);
    old_ = bitmap_ ? SelectObject(dc_, bitmap_) : nullptr;
    if (pixels_) std::memset(pixels_, 0, static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  }
  ~PixelBuffer() {
    if (old_) SelectObject(dc_, old_);
    if (dc_) DeleteDC(dc_);
    if (bitmap_) DeleteObject(bitmap_);
  }
  PixelBuffer(const PixelBuffer&) = delete;
  PixelBuffer& operator=(const PixelBuffer&) = delete;
  bool ok() const { return pixels_ && dc_ && old_; }
  HDC dc() const { return dc_; }
  uint32_t* pixels() const { return pixels_; }

 private:
  HBITMAP bitmap_ = nullptr;
  HDC dc_ = nullptr;
  HGDIOBJ old_ = nullptr;
  uint32_t* pixels_ = nullptr;
};

}  // namespace

void blendOutside(uint32_t* frame, const uint32_t* screen, int width, int height, const RECT& keep) {
  for (int y = 0; y < height; ++y) {
    uint32_t* row = frame + static_cast<size_t>(y) * static_cast<size_t>(width);
    const uint32_t* under = screen + static_cast<size_t>(y) * static_cast<size_t>(width);
    const bool rowInside = y >= keep.top && y < keep.bottom;
    for (int x = 0; x < width; ++x) {
      if (rowInside && x >= keep.left && x < keep.right) continue;
      // Per channel (a + b) >> 1: the carries of one channel never reach the next.
      const uint32_t a = row[x], b = under[x];
      row[x] = (((a & 0xFEFEFE) + (b & 0xFEFEFE)) >> 1) + (a & b & 0x010101);
    }
  }
}

}  // namespace skinlet

void CSkinlet::drawAnimationStep(int type, int step) {
  const int W = ScreenWidth, H = ScreenHeight;
  const float factor = skinlet::kAnimationFactor[std::clamp(step, 0, 15)];
  const int wk = static_cast<int>(static_cast<float>(W) * factor);
  const int hk = static_cast<int>(static_cast<float>(H) * factor);
  switch (type) {
    case 2:  // slides in from the left
      BitBlt(PaintDC, 0, 0, wk, H, FrameDC, W - wk, 0, SRCCOPY);
      break;
    case 3:  // slides in from the right
      BitBlt(PaintDC, W - wk, 0, wk, H, FrameDC, 0, 0, SRCCOPY);
      break;
    case 4:  // slides in from the top
      BitBlt(PaintDC, 0, 0, W, hk, FrameDC, 0, H - hk, SRCCOPY);
      break;
    case 5:  // zoom in
      if (wk > 0 && hk > 0) StretchBlt(PaintDC, (W - wk) / 2, (H - hk) / 2, wk, hk, FrameDC, 0, 0, W, H, SRCCOPY);
      break;
    case 6:  // zoom out
      if (wk > 0 && hk > 0) StretchBlt(PaintDC, 0, 0, W, H, FrameDC, (W - wk) / 2, (H - hk) / 2, wk, hk, SRCCOPY);
      break;
    case 7: {  // four horizontal blinds
      const int64_t rows = static_cast<int64_t>(step) * H / 60;
      for (int j = 0; j < 4; ++j) {
        const int y = static_cast<int>(static_cast<int64_t>(j) * H / 4);
        const int height = static_cast<int>(std::min<int64_t>(rows, H - y));
        if (height > 0) BitBlt(PaintDC, 0, y, W, height, FrameDC, 0, y, SRCCOPY);
      }
      break;
    }
    case 8: {  // eight vertical blinds, spaced by a quarter of the screen's height
      const int64_t columns = static_cast<int64_t>(step) * W / 60;
      for (int j = 0; j < 8; ++j) {
        const int64_t x = static_cast<int64_t>(j) * H / 4;
        // On a screen wider than high the last blinds start past its right edge.
        if (x >= W) break;
        const int width = static_cast<int>(std::min<int64_t>(columns, W - x));
        if (width > 0) BitBlt(PaintDC, static_cast<int>(x), 0, width, H, FrameDC, static_cast<int>(x), 0, SRCCOPY);
      }
      break;
    }
    default:  // 0: nothing until the whole frame is copied
      break;
  }
}

void CSkinlet::SL_AnimationProc() {
  NeedAnimation = 0;
  if (!PaintDC || !FrameDC) return;
  int type = AnimationType;
  if (type == 1) type = std::rand() % 6 + 3;
  for (AnimationStep = 1; AnimationStep <= skinlet::kAnimationSteps; ++AnimationStep) {
    const DWORD start = GetTickCount();
    drawAnimationStep(type, AnimationStep);
    if (OnAnimationStep) OnAnimationStep(type, AnimationStep);
    skinlet::finishStep(start);
    // Type 0 has nothing to show: one step, and the frame is copied whole.
    if (type == 0) break;
  }
}

void CSkinlet::SL_PaintEffect(int) {
  if (!EffectPending) return;
  EffectPending = 0;
  btnShowAll(0);
  prgShowAll(0);
  segShowAll(0);
  tagMenu* page = CurrentPage();
  if (!page || !(page->BackTransparent > 0) || !FrameDC) return;
  if (ScreenWidth <= 0 || ScreenHeight <= 0) return;
  skinlet::PixelBuffer screen(ScreenWidth, ScreenHeight);
  skinlet::PixelBuffer frame(ScreenWidth, ScreenHeight);
  if (!screen.ok() || !frame.ok()) return;
  if (PaintDC) BitBlt(screen.dc(), 0, 0, ScreenWidth, ScreenHeight, PaintDC, 0, 0, SRCCOPY);
  BitBlt(frame.dc(), 0, 0, ScreenWidth, ScreenHeight, FrameDC, 0, 0, SRCCOPY);
  skinlet::blendOutside(frame.pixels(), screen.pixels(), ScreenWidth, ScreenHeight, AreaToRect(page->SlaveViewPort));
  BitBlt(FrameDC, 0, 0, ScreenWidth, ScreenHeight, frame.dc(), 0, 0, SRCCOPY);
}
