// Texts of a page: fonts of the face table, fitting a text into its rectangle, scrolling a
// text that is wider than its area, and breaking long texts without spaces into lines.
#include <algorithm>
#include <cstdint>

#include "painter_internal.h"
#include "skin_paths.h"
#include "skinlet.h"

namespace skinlet {

namespace {

// Script face indexes 0..6. 0 and 1 leave the choice to the system.
const WCHAR* const kFaces[] = {u"", u"", u"System", u"Tahoma", u"Arial", u"微软雅黑", u"MS Gothic"};

constexpr UINT kEndEllipsis = 0x8000;
constexpr int kTextScrollTimer = 890;
constexpr UINT kTextScrollPeriodMs = 500;
constexpr int kTextScrollStep = 2;
constexpr int kTableScrollStep = 30;

}  // namespace

const WCHAR* faceName(int index) {
  if (index < 0 || index >= static_cast<int>(std::size(kFaces))) return kFaces[0];
  return kFaces[index];
}

ScopedFont::ScopedFont(HDC dc, int faceIndex, int size) : dc_(dc) {
  font_ = CreateFontW(size, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                      DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, faceName(faceIndex));
  old_ = font_ ? SelectObject(dc_, font_) : nullptr;
}

ScopedFont::~ScopedFont() {
  if (!font_) return;
  SelectObject(dc_, old_);
  DeleteObject(font_);
}

int lineBreakSpacing(int length, int textWidth, int areaWidth) {
  if (textWidth <= 0 || length < 1) return 0;
  // 64 bits: a script may give any area width, and the product must not wrap.
  int64_t every = static_cast<int64_t>(areaWidth) * length / textWidth;
  if (every < 1) return 0;
  return every > INT32_MAX ? INT32_MAX : static_cast<int>(every);
}

void insertLineBreaks(WCHAR* buffer, size_t size, int every) {
  if (!buffer || size == 0 || every < 1) return;
  // Built front to back into a second buffer: the result is the text with a space after every
  // `every` characters, and it stops at the buffer's last character instead of running past
  // it when the spaces make the text longer than the buffer holds.
  std::u16string text(buffer);
  std::u16string out;
  out.reserve(size);
  const size_t room = size - 1;
  for (size_t i = 0; i < text.size() && out.size() < room; ++i) {
    out.push_back(text[i]);
    if ((i + 1) % static_cast<size_t>(every) == 0 && out.size() < room) out.push_back(u' ');
  }
  copyCut(buffer, size, out);
}

std::u16string scrollString(std::u16string_view text) {
  std::u16string doubled;
  doubled.reserve(text.size() * 2 + 12);
  for (int i = 0; i < 2; ++i) {
    doubled.append(text);
    doubled.append(u"      ");
  }
  return doubled;
}

int nextScrollOffset(int offset, int step, int doubledWidth, int areaWidth) {
  int64_t next = static_cast<int64_t>(offset) + step;
  if (next > static_cast<int64_t>(doubledWidth) - areaWidth) next = static_cast<int64_t>(doubledWidth / 2) - areaWidth;
  return static_cast<int>(std::clamp<int64_t>(next, INT32_MIN, INT32_MAX));
}

}  // namespace skinlet

using skinlet::ScopedFont;

// Draws `text` into `rect` with the alignment flags, adding the end ellipsis when the text is
// wider than the rectangle (`width` measured by the caller).
void CSkinlet::drawFitted(const WCHAR* text, int width, RECT rect, uint32_t align) {
  UINT format = align & 0xFFFFFF;
  if (width > rect.right - static_cast<int64_t>(rect.left)) format |= skinlet::kEndEllipsis;
  DrawTextW(FrameDC, text, -1, &rect, format);
}

// Draws the scrolling form of `text` clipped to `rect` at offset `offset` and returns the
// offset of the next paint.
int CSkinlet::drawScrolling(const WCHAR* text, RECT rect, int offset, int step) {
  std::u16string doubled = skinlet::scrollString(text);
  SIZE size{};
  GetTextExtentPoint32W(FrameDC, doubled.c_str(), static_cast<int>(doubled.size()), &size);
  int64_t spare = static_cast<int64_t>(rect.bottom) - size.cy - rect.top;
  int y = static_cast<int>(std::clamp<int64_t>(rect.top + (spare < 0 ? -spare : spare) / 2, INT32_MIN, INT32_MAX));
  int x = static_cast<int>(std::clamp<int64_t>(static_cast<int64_t>(rect.left) - offset, INT32_MIN, INT32_MAX));
  ExtTextOutW(FrameDC, x, y, ETO_CLIPPED, &rect, doubled.c_str(), static_cast<UINT>(doubled.size()), nullptr);
  int64_t areaWidth = static_cast<int64_t>(rect.right) - rect.left;
  return skinlet::nextScrollOffset(offset, step, size.cx,
                                   static_cast<int>(std::clamp<int64_t>(areaWidth, INT32_MIN, INT32_MAX)));
}

// The language text `id`, or an empty text when no language is loaded.
const WCHAR* CSkinlet::languageText(int32_t id) {
  const WCHAR* text = SL_resGetItem(static_cast<unsigned short>(id & 0xFFFF));
  return text ? text : u"";
}

void CSkinlet::paintTexts(tagMenu& page) {
  bool scrolled = false;
  for (tagTexture& item : page.Texts) {
    if (!(item.TxtType & 0x1)) continue;
    // A working copy of the record's size: the line breaks are inserted into it.
    WCHAR text[SL_TEXT_LEN];
    const int32_t index = item.TextIndex & 0xFFFF;
    if (index < static_cast<int32_t>(item.TextureIDs.size()) && item.TextureIDs[static_cast<size_t>(index)] >= 0) {
      skinlet::copyCut(text, SL_TEXT_LEN, languageText(item.TextureIDs[static_cast<size_t>(index)]));
    } else {
      skinlet::copyCut(text, SL_TEXT_LEN, item.Text);
    }
    ScopedFont font(FrameDC, item.TxtFont, item.TxtSize);
    SetTextColor(FrameDC, (item.TxtType & 0x10) ? item.TxtColorGray : item.TxtColor);
    RECT rect = AreaToRect(item.TxtArea);
    const int length = lstrlenW(text);
    SIZE size{};
    GetTextExtentPoint32W(FrameDC, text, length, &size);
    const int64_t areaWidth = static_cast<int64_t>(rect.right) - rect.left;
    if ((item.TxtType & 0x2) && size.cx > areaWidth) {
      item.TxtScrollPos = drawScrolling(text, rect, item.TxtScrollPos, skinlet::kTextScrollStep);
      scrolled = true;
      continue;
    }
    if (item.TxtType & 0x4) {
      int every = skinlet::lineBreakSpacing(length, size.cx, item.TxtArea.Width);
      skinlet::insertLineBreaks(text, SL_TEXT_LEN, every);
    }
    // Fitting goes by the width measured before the spaces went in.
    drawFitted(text, size.cx, rect, item.TxtAlign);
  }
  if (scrolled) {
    SL_txtStartScrollTimer(skinlet::kTextScrollPeriodMs);
  } else {
    KillTimer(hViewWnd, skinlet::kTextScrollTimer);
    TxtScrollTimerOn = 0;
  }
}

void CSkinlet::paintTableText(tagTable& item) {
  if (item.TxtId <= -2) return;
  const WCHAR* source = item.TxtId == -1 ? item.Text : languageText(item.TxtId);
  ScopedFont font(FrameDC, item.TxtFont, item.TxtSize);
  SetTextColor(FrameDC, (item.IsSelected & 0x1) ? item.SelColor : item.TxtColor);
  RECT rect = AreaToRect(item.TxtArea);
  SIZE size{};
  GetTextExtentPoint32W(FrameDC, source, lstrlenW(source), &size);
  const int64_t areaWidth = static_cast<int64_t>(rect.right) - rect.left;
  if ((item.ScrollFlags & 0x2) && (item.IsSelected & 0x1) && size.cx > areaWidth) {
    item.ScrollPos = drawScrolling(source, rect, item.ScrollPos, skinlet::kTableScrollStep);
    return;
  }
  item.ScrollPos = item.ScrollStart;
  drawFitted(source, size.cx, rect, item.TxtAlign);
}

void CSkinlet::paintButtonTexts(tagMenu& page) {
  for (tagButton& button : page.Buttons) {
    // The label follows its own bit, not the button's hidden flag: a button hidden with
    // SL_btnShowItem loses both, one hidden by the script or SL_btnShowAll keeps its label.
    if (!(button.TxtType & 0x1)) continue;
    const WCHAR* text = button.Text;
    if (button.StateIndex >= 0 && static_cast<size_t>(button.StateIndex) < button.TextIds.size() &&
        button.TextIds[static_cast<size_t>(button.StateIndex)] >= 0) {
      text = languageText(button.TextIds[static_cast<size_t>(button.StateIndex)]);
    }
    if (!text[0]) continue;
    ScopedFont font(FrameDC, button.TxtFont, button.TxtSize);
    SetTextColor(FrameDC, (button.TxtType & 0x10) ? button.TxtSelColor : button.TxtColor);
    tagArea area = button.TxtArea;
    area.LocX = static_cast<int32_t>(static_cast<uint32_t>(area.LocX) + static_cast<uint32_t>(button.BtnArea.LocX));
    area.LocY = static_cast<int32_t>(static_cast<uint32_t>(area.LocY) + static_cast<uint32_t>(button.BtnArea.LocY));
    RECT rect = AreaToRect(area);
    SIZE size{};
    GetTextExtentPoint32W(FrameDC, text, lstrlenW(text), &size);
    drawFitted(text, size.cx, rect, button.TxtAlign);
  }
}
