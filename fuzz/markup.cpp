// libFuzzer target for CMarkup: bytes are decoded as Load decodes a file, parsed, walked, edited
// and checked against a fresh parse of the edited text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "markup.h"
#include "markup_text.h"

namespace {

// Visits every element, reading what a loader reads. The depth is kept by the cursor itself.
void walk(CMarkup& m) {
  m.ResetPos();
  int depth = 0;
  for (;;) {
    if (m.FindElem()) {
      m.GetTagName();
      m.GetAttrib(u"ID");
      m.GetAttrib(u"value");
      m.GetData();
      if (m.FindChildElem()) {
        m.GetChildAttrib(u"x");
        m.GetChildData();
        m.ResetChildPos();
      }
      m.IntoElem();
      ++depth;
      continue;
    }
    if (depth == 0) break;
    m.OutOfElem();
    --depth;
  }
}

// Offsets of every element, in document order, taken from the index links.
std::string layout(const CMarkup& m) {
  std::string out;
  int x = m.ElemAt(0).FirstChild;
  while (x) {
    const CMarkup::ElemPos& e = m.ElemAt(x);
    out += std::to_string(e.Start) + "+" + std::to_string(e.Length) + "/" + std::to_string(e.StartTagLen()) + "/" +
           std::to_string(e.EndTagLen()) + ";";
    if (e.FirstChild) {
      x = e.FirstChild;
      continue;
    }
    while (x && !m.ElemAt(x).Next) x = m.ElemAt(x).Parent;
    if (x) x = m.ElemAt(x).Next;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  const char* bytes = reinterpret_cast<const char*>(data);
  int flags = size > 0 && (data[0] & 1) ? CMarkup::MDF_IGNORECASE : 0;
  CMarkup m(flags);
  m.SetDoc(markup::decodeUtf8(bytes, size));
  walk(m);
  CMarkup::UnescapeText(m.GetDoc());
  CMarkup::EscapeText(m.GetDoc(), 8 | 256);

  // Edits on a well-formed document must leave the index exactly as a fresh parse builds it.
  if (m.IsWellFormed()) {
    m.ResetPos();
    m.FindElem();
    m.AddChildElem(u"fz", u"a]]>&b", 1);
    m.SetChildAttrib(u"v", u"\"<'>");
    m.InsertChildElem(u"fy", 7, 4);
    m.SetChildData(u"x&#65;", 8);
    if (m.FindChildElem()) m.RemoveChildElem();
    m.SetAttrib(u"root", 1);
    CMarkup fresh(flags);
    fresh.SetDoc(m.GetDoc());
    if (!fresh.IsWellFormed() || layout(fresh) != layout(m)) abort();
  }
  return 0;
}
