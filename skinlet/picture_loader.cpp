// Thumbnails of table items in picture mode: each picture file is decoded by the platform's
// imaging service, fitted into the item's area keeping its proportions, centred, and drawn
// straight onto the window (the next paint's frame covers it again).
#include "operations_lookup.h"
#include "plat_image.h"

namespace {

// No thumbnail is larger than this on either side; a script area beyond it would make the
// scaler allocate without bound for pixels the screen cannot show.
constexpr int64_t kMaxThumbnailSide = 4096;

}  // namespace

void CSkinlet::drawThumbnail(const tagTable& item, const WCHAR* path) {
  // Nothing to draw on once the window is gone; the file is not even decoded then.
  if (!hViewWnd || !IsWindow(hViewWnd) || !path || !path[0]) return;
  std::unique_ptr<plat::image::Image> image = plat::image::Image::fromFile(path);
  if (!image) return;
  const int64_t iw = image->width();
  const int64_t ih = image->height();
  const int64_t left = item.ItemArea.LocX;
  const int64_t top = item.ItemArea.LocY;
  const int64_t bw = item.ItemArea.Width;
  const int64_t bh = item.ItemArea.Hight;
  const int64_t right = left + bw;
  const int64_t bottom = top + bh;
  int64_t w = 0;
  int64_t h = 0;
  if (bw * ih <= bh * iw) {
    w = bw;
    h = iw ? bw * ih / iw : bh;
  } else {
    h = bh;
    w = ih ? bh * iw / ih : bw;
  }
  if (w <= 0 || h <= 0) return;
  if (w > kMaxThumbnailSide || h > kMaxThumbnailSide) {
    OutputDebugStringW(u"*E:CSkinlet::SL_OnTimer : table item too large for a thumbnail\n");
    return;
  }
  const RECT target{static_cast<LONG>((right - w + left) / 2), static_cast<LONG>((bottom - h + top) / 2),
                    static_cast<LONG>((right + left + w) / 2), static_cast<LONG>((bottom + top + h) / 2)};
  std::unique_ptr<plat::image::Image> thumb = image->thumbnail(static_cast<int>(w), static_cast<int>(h));
  if (!thumb) return;
  HDC dc = GetDC(hViewWnd);
  if (!dc) return;
  thumb->draw(dc, target);
  ReleaseDC(hViewWnd, dc);
}
