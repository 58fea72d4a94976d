// Fonts and text output: CreateFont*, measuring, DrawTextW, ExtTextOutW.
#include <algorithm>
#include <climits>
#include <cstring>

#include "gdi/paint.h"
#include "plat_core.h"
#include "text/font_instance.h"

using namespace plat::gdi;
using plat::text::FontInstance;
using plat::text::Glyph;

namespace {

std::shared_ptr<FontInstance> fontOf(DeviceContext& dc) {
  FontObject* f = dc.state.font.get();
  if (!f) return FontInstance::get(LOGFONTW{});
  std::lock_guard lock(f->instanceMutex);
  if (!f->instance) f->instance = FontInstance::get(f->logFont);
  return f->instance;
}

size_t lengthOf(const WCHAR* text, int count) {
  if (!text) return 0;
  if (count >= 0) return static_cast<size_t>(count);
  size_t n = 0;
  while (text[n]) ++n;
  return n;
}

// Caller holds textMutex().
int measure(FontInstance& f, const char32_t* s, size_t n) {
  int w = 0;
  for (size_t i = 0; i < n; ++i) w += f.glyph(s[i]).advance;
  return w;
}

// Blends one glyph's coverage over the destination in the text colour.
void blendGlyph(const DrawScope& scope, const Glyph& g, int gx, int gy, uint32_t color) {
  const RECT gr{gx, gy, gx + g.width, gy + g.height};
  const PixelView& v = scope.view();
  const uint32_t cr = (color >> 16) & 255, cg = (color >> 8) & 255, cb = color & 255;
  forEachRect(scope.clip(), [&](int l, int t, int r, int b) {
    l = std::max<int>(l, gr.left);
    t = std::max<int>(t, gr.top);
    r = std::min<int>(r, gr.right);
    b = std::min<int>(b, gr.bottom);
    for (int y = t; y < b; ++y) {
      const uint8_t* a = &g.alpha[static_cast<size_t>(y - gy) * g.width + (l - gx)];
      uint32_t* d = v.at(l, y);
      for (int x = l; x < r; ++x, ++a, ++d) {
        const uint32_t k = *a;
        if (!k) continue;
        if (k == 255) {
          *d = color;
          continue;
        }
        const uint32_t p = *d, ik = 255 - k;
        const uint32_t rr = (cr * k + ((p >> 16) & 255) * ik + 127) / 255;
        const uint32_t gg = (cg * k + ((p >> 8) & 255) * ik + 127) / 255;
        const uint32_t bb = (cb * k + (p & 255) * ik + 127) / 255;
        *d = (rr << 16) | (gg << 8) | bb;
      }
    }
  });
}

// Draws a run with its cell top at (x, top), device coordinates. `dx` (optional) gives each
// character's advance. Underlines characters [ulFrom, ulTo) (the prefix character), or all
// of them when the font is underlined.
void drawRun(const DrawScope& scope, FontInstance& f, int x, int top, const char32_t* s, size_t n, uint32_t color,
             const int* dx, size_t ulFrom = SIZE_MAX, size_t ulTo = SIZE_MAX) {
  const int baseline = top + f.metrics().ascent;
  const int start = x;
  int ulX0 = INT_MAX, ulX1 = INT_MIN;
  for (size_t i = 0; i < n; ++i) {
    const Glyph& g = f.glyph(s[i]);
    if (g.width) blendGlyph(scope, g, x + g.left, baseline - g.top, color);
    const int adv = dx ? dx[i] : g.advance;
    if (i >= ulFrom && i < ulTo) {
      ulX0 = std::min(ulX0, x);
      ulX1 = std::max(ulX1, x + adv);
    }
    x += adv;
  }
  const int thick = std::max(1, f.metrics().height / 16);
  if (f.underline()) fillRect(scope, RECT{start, baseline + 1, x, baseline + 1 + thick}, color);
  else if (ulX0 < ulX1) fillRect(scope, RECT{ulX0, baseline + 1, ulX1, baseline + 1 + thick}, color);
  if (f.strikeOut()) {
    const int y = baseline - f.metrics().ascent / 3;
    fillRect(scope, RECT{start, y, x, y + thick}, color);
  }
}

struct Line {
  std::u32string text;
  size_t ulIndex = SIZE_MAX;  // prefix-underlined character within the line
  int width = 0;
};

bool breaksBefore(char32_t c) {
  // Ideographic scripts may wrap between any two characters.
  return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0xFF00 && c <= 0xFFEF);
}

// Splits one paragraph into lines no wider than maxW where spaces (or ideographs) allow.
void wrap(FontInstance& f, const std::u32string& s, size_t ul, int maxW, std::vector<Line>& out) {
  size_t start = 0;
  const size_t n = s.size();
  do {
    size_t i = start, end = n, next = n;
    size_t candEnd = SIZE_MAX, candNext = 0;
    int w = 0;
    while (i < n) {
      if (s[i] == U' ') {
        candEnd = i;
        candNext = i;
      } else if (i > start && breaksBefore(s[i])) {
        candEnd = i;
        candNext = i;
      }
      const int a = f.glyph(s[i]).advance;
      if (w + a > maxW && i > start && s[i] != U' ') {
        if (candEnd != SIZE_MAX && candEnd > start) {
          end = candEnd;
          next = candNext;
        } else {
          // A word wider than the rectangle stays whole.
          while (i < n && s[i] != U' ') ++i;
          end = i;
          next = i;
        }
        break;
      }
      w += a;
      ++i;
    }
    while (end > start && s[end - 1] == U' ') --end;
    while (next < n && s[next] == U' ') ++next;
    Line line;
    line.text = s.substr(start, end - start);
    if (ul != SIZE_MAX && ul >= start && ul < end) line.ulIndex = ul - start;
    out.push_back(std::move(line));
    start = next;
  } while (start < n);
}

void ellipsize(FontInstance& f, Line& line, int maxW) {
  if (line.width <= maxW) return;
  static const std::u32string dots = U"...";
  const int dw = measure(f, dots.data(), dots.size());
  int w = 0;
  size_t k = 0;
  while (k < line.text.size()) {
    const int a = f.glyph(line.text[k]).advance;
    if (w + a + dw > maxW) break;
    w += a;
    ++k;
  }
  line.text = line.text.substr(0, k) + dots;
  if (line.ulIndex >= k) line.ulIndex = SIZE_MAX;
  line.width = w + dw;
}

}  // namespace

HFONT CreateFontIndirectW(const LOGFONTW* font) {
  if (!font) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto f = std::make_shared<FontObject>();
  f->logFont = *font;
  f->logFont.lfFaceName[LF_FACESIZE - 1] = 0;
  return addObject(f);
}

HFONT CreateFontW(int height, int width, int escapement, int orientation, int weight, DWORD italic, DWORD underline,
                  DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                  DWORD pitchAndFamily, LPCWSTR faceName) {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWidth = width;
  lf.lfEscapement = escapement;
  lf.lfOrientation = orientation;
  lf.lfWeight = weight;
  lf.lfItalic = static_cast<BYTE>(italic);
  lf.lfUnderline = static_cast<BYTE>(underline);
  lf.lfStrikeOut = static_cast<BYTE>(strikeOut);
  lf.lfCharSet = static_cast<BYTE>(charSet);
  lf.lfOutPrecision = static_cast<BYTE>(outPrecision);
  lf.lfClipPrecision = static_cast<BYTE>(clipPrecision);
  lf.lfQuality = static_cast<BYTE>(quality);
  lf.lfPitchAndFamily = static_cast<BYTE>(pitchAndFamily);
  for (int i = 0; faceName && i < LF_FACESIZE - 1 && faceName[i]; ++i) lf.lfFaceName[i] = faceName[i];
  return CreateFontIndirectW(&lf);
}

BOOL GetTextMetricsW(HDC handle, LPTEXTMETRICW tm) {
  auto dc = findDC(handle);
  if (!dc || !tm) return FALSE;
  std::lock_guard lock(dc->mutex);
  auto f = fontOf(*dc);
  const plat::text::FontMetrics& m = f->metrics();
  std::memset(tm, 0, sizeof *tm);
  tm->tmHeight = m.height;
  tm->tmAscent = m.ascent;
  tm->tmDescent = m.descent;
  tm->tmInternalLeading = m.internalLeading;
  tm->tmAveCharWidth = m.aveCharWidth;
  tm->tmMaxCharWidth = m.maxCharWidth;
  tm->tmWeight = m.weight;
  tm->tmDigitizedAspectX = 96;
  tm->tmDigitizedAspectY = 96;
  tm->tmFirstChar = 0x20;
  tm->tmLastChar = 0xFFFC;
  tm->tmDefaultChar = 0x1F;
  tm->tmBreakChar = 0x20;
  tm->tmItalic = dc->state.font ? dc->state.font->logFont.lfItalic : 0;
  tm->tmUnderlined = f->underline();
  tm->tmStruckOut = f->strikeOut();
  tm->tmPitchAndFamily = 0x06;  // variable pitch, TrueType
  tm->tmCharSet = DEFAULT_CHARSET;
  return f->usable();
}

BOOL GetTextExtentExPointW(HDC handle, LPCWSTR text, int count, int maxExtent, int* fit, int* dx, LPSIZE size) {
  auto dc = findDC(handle);
  if (!dc || (!text && count) || count < 0 || !size) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard lock(dc->mutex);
  auto f = fontOf(*dc);
  std::lock_guard tl(plat::text::textMutex());
  // Positions are reported per UTF-16 unit, as callers index their strings.
  int w = 0, fitted = 0;
  bool full = false;
  for (int i = 0; i < count; ++i) {
    char32_t c = text[i];
    const bool pair = c >= 0xD800 && c < 0xDC00 && i + 1 < count && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000;
    if (pair) c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
    w += f->glyph(c).advance;
    if (!full && (maxExtent < 0 || w <= maxExtent)) fitted = i + 1 + (pair ? 1 : 0);
    else full = true;
    if (dx) {
      dx[i] = w;
      if (pair) dx[i + 1] = w;
    }
    if (pair) ++i;
  }
  if (fit) *fit = fitted;
  size->cx = w;
  size->cy = f->metrics().height;
  return TRUE;
}

BOOL GetTextExtentPoint32W(HDC handle, LPCWSTR text, int count, LPSIZE size) {
  return GetTextExtentExPointW(handle, text, count, -1, nullptr, nullptr, size);
}

BOOL ExtTextOutW(HDC handle, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count, const int* dx) {
  auto dc = findDC(handle);
  if (!dc || (!text && count)) return FALSE;
  std::lock_guard lock(dc->mutex);
  auto f = fontOf(*dc);
  const std::u32string s = plat::text::decodeUtf16(text, count);
  // Per-character advances are given per UTF-16 unit; a surrogate pair takes the first.
  std::vector<int> adv;
  if (dx) {
    for (UINT i = 0; i < count; ++i) {
      adv.push_back(dx[i]);
      if (text[i] >= 0xD800 && text[i] < 0xDC00 && i + 1 < count && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) ++i;
    }
  }
  std::lock_guard tl(plat::text::textMutex());
  const int X = dc->toDeviceX(x), Y = dc->toDeviceY(y);
  RECT clipRect{INT_MIN / 2, INT_MIN / 2, INT_MAX / 2, INT_MAX / 2};
  RECT devRect{};
  if (rect) {
    devRect = RECT{dc->toDeviceX(rect->left), dc->toDeviceY(rect->top), dc->toDeviceX(rect->right),
                   dc->toDeviceY(rect->bottom)};
    if (options & ETO_CLIPPED) clipRect = devRect;
  }
  DrawScope scope(*dc, clipRect);
  if (scope.empty()) return TRUE;
  if (rect && (options & ETO_OPAQUE)) fillRect(scope, devRect, toPixel(dc->state.bkColor));
  int width = 0;
  for (size_t i = 0; i < s.size(); ++i) width += dx ? adv[i] : f->glyph(s[i]).advance;
  if (dc->state.bkMode == OPAQUE && !s.empty())
    fillRect(scope, RECT{X, Y, X + width, Y + f->metrics().height}, toPixel(dc->state.bkColor));
  drawRun(scope, *f, X, Y, s.data(), s.size(), toPixel(dc->state.textColor), dx ? adv.data() : nullptr);
  return TRUE;
}

BOOL TextOutW(HDC handle, int x, int y, LPCWSTR text, int count) {
  return ExtTextOutW(handle, x, y, 0, nullptr, text, count < 0 ? 0 : static_cast<UINT>(count), nullptr);
}

int DrawTextW(HDC handle, LPCWSTR text, int count, LPRECT rect, UINT format) {
  auto dc = findDC(handle);
  if (!dc || !rect || (!text && count)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  static const UINT known = DT_CENTER | DT_RIGHT | DT_VCENTER | DT_BOTTOM | DT_WORDBREAK | DT_SINGLELINE |
                            DT_EXPANDTABS | DT_NOCLIP | DT_CALCRECT | DT_NOPREFIX | DT_END_ELLIPSIS;
  if (format & ~known & 0xFFFFFF) {
    static bool told = false;
    if (!told) plat::console::writeUtf8("FIXME: DrawTextW ignores some format flags\n");
    told = true;
  }
  std::lock_guard lock(dc->mutex);
  auto f = fontOf(*dc);
  const size_t n = lengthOf(text, count);
  std::u32string s = plat::text::decodeUtf16(text, n);

  // '&' marks the next character as underlined; "&&" is one '&'.
  size_t ul = SIZE_MAX;
  if (!(format & DT_NOPREFIX)) {
    std::u32string t;
    for (size_t i = 0; i < s.size(); ++i) {
      if (s[i] == U'&' && i + 1 < s.size()) {
        ++i;
        if (s[i] != U'&') ul = t.size();
      }
      t += s[i];
    }
    s = std::move(t);
  }
  std::lock_guard tl(plat::text::textMutex());
  if (format & DT_EXPANDTABS) {
    std::u32string t;
    for (char32_t c : s) t += c == U'\t' ? std::u32string(8, U' ') : std::u32string(1, c);
    s = std::move(t);
  }
  if (n == 0) {
    // Nothing to draw; measuring an empty text gives an empty width and one line for a
    // single line (none otherwise), as on the device.
    const int lh = f->metrics().height;
    if (format & DT_CALCRECT) {
      rect->right = rect->left;
      rect->bottom = (format & DT_SINGLELINE) ? static_cast<LONG>(std::min<int64_t>(int64_t(rect->top) + lh, INT_MAX)) : rect->top;
    }
    return lh;
  }
  const int rectW = static_cast<int>(std::clamp<int64_t>(int64_t(rect->right) - rect->left, INT_MIN / 2, INT_MAX / 2));
  const int lineH = f->metrics().height;
  std::vector<Line> lines;
  if (format & DT_SINGLELINE) {
    Line line;
    for (size_t i = 0; i < s.size(); ++i) {
      if (s[i] == U'\r' || s[i] == U'\n') continue;
      if (i == ul) line.ulIndex = line.text.size();
      line.text += s[i];
    }
    lines.push_back(std::move(line));
  } else {
    size_t start = 0;
    for (size_t i = 0; i <= s.size(); ++i) {
      if (i < s.size() && s[i] != U'\n' && s[i] != U'\r') continue;
      std::u32string para = s.substr(start, i - start);
      const size_t paraUl = ul != SIZE_MAX && ul >= start && ul < i ? ul - start : SIZE_MAX;
      if (format & DT_WORDBREAK) {
        wrap(*f, para, paraUl, rectW, lines);
      } else {
        Line line;
        line.text = std::move(para);
        line.ulIndex = paraUl;
        lines.push_back(std::move(line));
      }
      if (i < s.size() && s[i] == U'\r' && i + 1 < s.size() && s[i + 1] == U'\n') ++i;
      start = i + 1;
    }
  }
  int maxW = 0;
  for (Line& line : lines) {
    line.width = measure(*f, line.text.data(), line.text.size());
    if (format & DT_END_ELLIPSIS) ellipsize(*f, line, rectW);
    maxW = std::max(maxW, line.width);
  }
  const int totalH = lineH * static_cast<int>(lines.size());
  if (format & DT_CALCRECT) {
    rect->right = static_cast<LONG>(std::min<int64_t>(int64_t(rect->left) + maxW, INT_MAX));
    rect->bottom = static_cast<LONG>(std::min<int64_t>(int64_t(rect->top) + totalH, INT_MAX));
    return totalH;
  }
  int64_t top = rect->top;
  if (format & DT_SINGLELINE) {
    // Vertical placement applies to single lines only, as on the device.
    if (format & DT_VCENTER) top = rect->top + (int64_t(rect->bottom) - rect->top - lineH) / 2;
    else if (format & DT_BOTTOM) top = int64_t(rect->bottom) - lineH;
  }
  const RECT devRect{dc->toDeviceX(rect->left), dc->toDeviceY(rect->top), dc->toDeviceX(rect->right),
                     dc->toDeviceY(rect->bottom)};
  const RECT bounds = (format & DT_NOCLIP) ? RECT{INT_MIN / 2, INT_MIN / 2, INT_MAX / 2, INT_MAX / 2} : devRect;
  DrawScope scope(*dc, bounds);
  if (!scope.empty()) {
    const uint32_t color = toPixel(dc->state.textColor);
    int64_t y = top;
    for (const Line& line : lines) {
      int64_t x = rect->left;
      if (format & DT_CENTER) x = rect->left + (int64_t(rectW) - line.width) / 2;
      else if (format & DT_RIGHT) x = int64_t(rect->right) - line.width;
      const int X = dc->toDeviceX(x), Y = dc->toDeviceY(y);
      if (dc->state.bkMode == OPAQUE && line.width)
        fillRect(scope, RECT{X, Y, X + line.width, Y + lineH}, toPixel(dc->state.bkColor));
      drawRun(scope, *f, X, Y, line.text.data(), line.text.size(), color, nullptr, line.ulIndex, line.ulIndex + 1);
      y += lineH;
    }
  }
  if (format & (DT_VCENTER | DT_BOTTOM)) return static_cast<int>(std::clamp<int64_t>(top - rect->top + totalH, INT_MIN, INT_MAX));
  return totalH;
}
