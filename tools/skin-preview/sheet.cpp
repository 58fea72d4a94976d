// The contact sheet is drawn with the platform's GDI: pictures are scaled by area averaging
// (nearest-pixel scaling would lose thin text strokes), labels are drawn with DrawTextW.
#include "sheet.h"

#include <algorithm>
#include <cstring>

#include "plat_strings.h"
#include "windows.h"

namespace skinpreview {

namespace {

constexpr int kGap = 10;
constexpr int kLabelHeight = 22;
constexpr uint32_t kSheetColour = 0x2A2E33;
constexpr uint32_t kFrameColour = 0x5A616B;
constexpr COLORREF kLabelColour = RGB(236, 238, 242);
constexpr COLORREF kFailureColour = RGB(255, 140, 120);
constexpr int kFailureHeight = 60;

}  // namespace

Picture ScaleDown(const Picture& in, int width, int height) {
  Picture out;
  out.width = std::max(1, width);
  out.height = std::max(1, height);
  out.pixels.assign(static_cast<size_t>(out.width) * out.height, 0);
  if (in.width <= 0 || in.height <= 0) return out;
  for (int ty = 0; ty < out.height; ++ty) {
    const int y0 = static_cast<int>(static_cast<long long>(ty) * in.height / out.height);
    const int y1 = std::max(y0 + 1, static_cast<int>(static_cast<long long>(ty + 1) * in.height / out.height));
    for (int tx = 0; tx < out.width; ++tx) {
      const int x0 = static_cast<int>(static_cast<long long>(tx) * in.width / out.width);
      const int x1 = std::max(x0 + 1, static_cast<int>(static_cast<long long>(tx + 1) * in.width / out.width));
      uint64_t r = 0, g = 0, b = 0, n = 0;
      for (int y = y0; y < y1 && y < in.height; ++y)
        for (int x = x0; x < x1 && x < in.width; ++x) {
          const uint32_t p = in.pixels[static_cast<size_t>(y) * in.width + x];
          r += (p >> 16) & 0xFF;
          g += (p >> 8) & 0xFF;
          b += p & 0xFF;
          ++n;
        }
      if (n == 0) continue;
      out.pixels[static_cast<size_t>(ty) * out.width + tx] =
          static_cast<uint32_t>(((r + n / 2) / n) << 16 | ((g + n / 2) / n) << 8 | ((b + n / 2) / n));
    }
  }
  return out;
}

bool ComposeSheet(const std::vector<SheetCell>& cells, int columns, Picture& out, std::string& error) {
  if (cells.empty()) {
    error = "the skin has no page to show";
    return false;
  }
  if (static_cast<int>(cells.size()) > kMaxSheetCells) {
    error = "the skin has " + std::to_string(cells.size()) + " pages in all its languages, more than the sheet's " +
            std::to_string(kMaxSheetCells);
    return false;
  }
  columns = std::clamp(columns, 1, 8);
  int widest = 1;
  for (const SheetCell& cell : cells) widest = std::max(widest, cell.picture.width);
  const double scale = std::min(1.0, static_cast<double>(kCellWidth) / widest);
  const int cellWidth = std::max(1, static_cast<int>(widest * scale + 0.5));

  // Each picture at the common scale; each row as tall as its tallest cell.
  std::vector<Picture> scaled;
  for (const SheetCell& cell : cells) {
    if (cell.picture.width <= 0) {
      scaled.push_back(Picture{});
      continue;
    }
    scaled.push_back(ScaleDown(cell.picture, static_cast<int>(cell.picture.width * scale + 0.5),
                               static_cast<int>(cell.picture.height * scale + 0.5)));
  }
  const int rows = (static_cast<int>(cells.size()) + columns - 1) / columns;
  std::vector<int> rowTop(static_cast<size_t>(rows) + 1, kGap);
  for (int row = 0; row < rows; ++row) {
    int tallest = 0;
    for (int c = 0; c < columns; ++c) {
      const size_t i = static_cast<size_t>(row * columns + c);
      if (i < cells.size()) tallest = std::max(tallest, scaled[i].width > 0 ? scaled[i].height : kFailureHeight);
    }
    rowTop[row + 1] = rowTop[row] + kLabelHeight + tallest + kGap;
    if (rowTop[row + 1] > kMaxSheetHeight) {
      error = "the sheet would be more than " + std::to_string(kMaxSheetHeight) + " pixels tall";
      return false;
    }
  }
  const int sheetWidth = kGap + columns * (cellWidth + kGap);
  const int sheetHeight = rowTop[rows];

  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = sheetWidth;
  info.bmiHeader.biHeight = -sheetHeight;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!dc || !bitmap || !bits) {
    if (bitmap) DeleteObject(bitmap);
    if (dc) DeleteDC(dc);
    error = "no memory for a sheet of " + std::to_string(sheetWidth) + "x" + std::to_string(sheetHeight);
    return false;
  }
  HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
  auto* pixels = static_cast<uint32_t*>(bits);
  std::fill(pixels, pixels + static_cast<size_t>(sheetWidth) * sheetHeight, kSheetColour);
  auto put = [&](int x, int y, uint32_t colour) {
    if (x >= 0 && y >= 0 && x < sheetWidth && y < sheetHeight) pixels[static_cast<size_t>(y) * sheetWidth + x] = colour;
  };

  HFONT font = CreateFontW(-14, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, u"DejaVu Sans");
  HGDIOBJ oldFont = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  for (size_t i = 0; i < cells.size(); ++i) {
    const int row = static_cast<int>(i) / columns;
    const int left = kGap + (static_cast<int>(i) % columns) * (cellWidth + kGap);
    const int top = rowTop[row];
    const std::u16string label = plat::utf8ToUtf16(cells[i].label);
    RECT labelRect = {left, top, left + cellWidth, top + kLabelHeight - 4};
    SetTextColor(dc, kLabelColour);
    DrawTextW(dc, label.c_str(), -1, &labelRect, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    const int pictureTop = top + kLabelHeight;
    const Picture& p = scaled[i];
    const int w = p.width > 0 ? p.width : cellWidth;
    const int h = p.width > 0 ? p.height : kFailureHeight;
    // A one-pixel frame shows where the window ends on a dark page.
    for (int x = -1; x <= w; ++x) {
      put(left + x, pictureTop - 1, kFrameColour);
      put(left + x, pictureTop + h, kFrameColour);
    }
    for (int y = 0; y < h; ++y) {
      put(left - 1, pictureTop + y, kFrameColour);
      put(left + w, pictureTop + y, kFrameColour);
    }
    if (p.width > 0) {
      for (int y = 0; y < p.height; ++y)
        std::memcpy(pixels + static_cast<size_t>(pictureTop + y) * sheetWidth + left,
                    p.pixels.data() + static_cast<size_t>(y) * p.width, static_cast<size_t>(p.width) * 4);
    } else {
      const std::u16string why = plat::utf8ToUtf16(cells[i].failure);
      RECT box = {left + 6, pictureTop + 4, left + cellWidth - 6, pictureTop + kFailureHeight - 4};
      SetTextColor(dc, kFailureColour);
      DrawTextW(dc, why.c_str(), -1, &box, DT_LEFT | DT_WORDBREAK | DT_END_ELLIPSIS);
    }
  }
  SelectObject(dc, oldFont);
  DeleteObject(font);

  out.width = sheetWidth;
  out.height = sheetHeight;
  out.pixels.resize(static_cast<size_t>(sheetWidth) * sheetHeight);
  for (size_t i = 0; i < out.pixels.size(); ++i) out.pixels[i] = pixels[i] & 0xFFFFFF;
  SelectObject(dc, oldBitmap);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return true;
}

}  // namespace skinpreview
