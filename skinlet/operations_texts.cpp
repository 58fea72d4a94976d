// Text operations: literal texts and numbers, texts formatted from a language template,
// highlighting, hiding and showing, and the repaint of a text's area.
#include <cstdio>
#include <type_traits>

#include "operations_lookup.h"
#include "skin_paths.h"

namespace {

constexpr int32_t kShown = 0x1;
constexpr int32_t kHighlighted = 0x10;
constexpr int32_t kFixed = 0x100;

enum class Argument { Number, String };

// A language template is outside data: a translator's "%s" handed a number, or a second
// conversion with no argument behind it, would make the formatter read memory that was never
// passed. A template may hold "%%" and at most one conversion of the argument's kind (flags,
// width and precision written out; no "*", no size prefixes).
bool templateFits(const WCHAR* format, Argument argument) {
  int conversions = 0;
  for (const WCHAR* p = format; *p; ++p) {
    if (*p != u'%') continue;
    ++p;
    if (*p == u'%') continue;
    while (*p == u'-' || *p == u'+' || *p == u' ' || *p == u'0' || *p == u'#') ++p;
    while (*p >= u'0' && *p <= u'9') ++p;
    if (*p == u'.') {
      ++p;
      while (*p >= u'0' && *p <= u'9') ++p;
    }
    const WCHAR c = *p;
    const bool fits = argument == Argument::Number
                          ? (c == u'd' || c == u'i' || c == u'u' || c == u'x' || c == u'X' || c == u'o')
                          : c == u's';
    if (!fits || ++conversions > 1) return false;
  }
  return true;
}

}  // namespace

void CSkinlet::SL_txtSetItem(int id, const WCHAR* text, int index) {
  tagTexture* t = recordOf(&tagMenu::Texts, id);
  if (!t) return;
  if (text) skinlet::copyCut(t->Text, SL_TEXT_LEN, text);
  if (index >= 0 && static_cast<size_t>(index) < t->TextureIDs.size()) t->TextIndex = index;
}

void CSkinlet::SL_txtSetItem(int id, int number, int index) {
  WCHAR text[16];
  wsprintfW(text, u"%d", number);
  SL_txtSetItem(id, static_cast<const WCHAR*>(text), index);
}

// The template text is hidden; its language text, formatted with the value, becomes the
// target's literal text. Results are cut to the text buffer.
template <class Value>
static void setParamItem(CSkinlet& skin, tagTexture* templ, int targetId, Value value, int index) {
  // A template without language ids is no template: it is left as it is, shown or not.
  if (!templ || templ->TextureIDs.empty()) return;
  templ->TxtType &= ~kShown;
  if (templ->TextureIDs.front() < 0) return;
  const WCHAR* format = skin.SL_resGetItem(static_cast<unsigned short>(templ->TextureIDs.front() & 0xFFFF));
  if (!format) return;
  constexpr bool isNumber = std::is_same_v<Value, int>;
  if (!templateFits(format, isNumber ? Argument::Number : Argument::String)) {
    OutputDebugStringW(u"*E:CSkinlet::SL_txtSetParamItem : Bad format string.\n");
    return;
  }
  WCHAR result[SL_TEXT_LEN];
  // A result that does not fit comes back unterminated: the last character is the end.
  _snwprintf(result, SL_TEXT_LEN - 1, format, value);
  result[SL_TEXT_LEN - 1] = 0;
  skin.SL_txtSetItem(targetId, static_cast<const WCHAR*>(result), index);
}

void CSkinlet::SL_txtSetParamItem(int targetId, int templateId, int number, int index) {
  setParamItem(*this, recordOf(&tagMenu::Texts, templateId), targetId, number, index);
}

void CSkinlet::SL_txtSetParamItem(int targetId, int templateId, const WCHAR* string, int index) {
  setParamItem(*this, recordOf(&tagMenu::Texts, templateId), targetId, string ? string : u"", index);
}

void CSkinlet::SL_txtHilightItem(int id, int on) {
  tagTexture* t = recordOf(&tagMenu::Texts, id);
  if (!t) return;
  t->TxtType |= kShown;
  if (on) t->TxtType |= kHighlighted;
  else t->TxtType &= ~kHighlighted;
}

void CSkinlet::SL_txtHideItem(int id) {
  tagTexture* t = recordOf(&tagMenu::Texts, id);
  if (t && !(t->TxtType & kFixed)) t->TxtType &= ~kShown;
}

void CSkinlet::SL_txtHideAll() {
  if (tagMenu* page = CurrentPage()) {
    for (tagTexture& t : page->Texts) {
      if (!(t.TxtType & kFixed)) t.TxtType &= ~kShown;
    }
  }
}

void CSkinlet::SL_txtDisplayAll() {
  if (tagMenu* page = CurrentPage()) {
    for (tagTexture& t : page->Texts) {
      if (!(t.TxtType & kFixed)) t.TxtType = (t.TxtType | kShown) & ~kHighlighted;
    }
  }
}

void CSkinlet::SL_txtRefreshItem(int id) {
  tagTexture* t = recordOf(&tagMenu::Texts, id);
  if (!t) return;
  RECT rc = AreaToRect(t->TxtArea);
  InvalidateRect(hViewWnd, &rc, FALSE);
}

tagTexture* CSkinlet::SL_txtGetStruct(int id) { return recordOf(&tagMenu::Texts, id); }

void CSkinlet::SL_txtInitScrollPosition(int actionId, int pos) {
  if (tagTexture* t = recordOf(&tagMenu::Texts, actionId)) t->TxtScrollPos = pos;
}
