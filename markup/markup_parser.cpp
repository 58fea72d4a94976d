// The parser: one forward pass over the text that builds the element index. It keeps its own
// stack of open elements, so document depth never touches the machine stack.
#include <algorithm>
#include <climits>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "markup.h"
#include "markup_text.h"
#include "windows.h"

using markup::endsName;
using markup::findChar;
using markup::findText;
using markup::isSpace;
using markup::startsName;

class MarkupParser {
 public:
  explicit MarkupParser(CMarkup& doc)
      : m_(doc), d_(doc.Doc.data()), n_(static_cast<int>(doc.Doc.size())),
        ignoreCase_((doc.DocFlags & CMarkup::MDF_IGNORECASE) != 0) {}

  // Builds the index; returns the first error (empty when there was none).
  std::u16string run();

 private:
  using ElemPos = CMarkup::ElemPos;

  ElemPos& at(int i) { return m_.elem(i); }
  int newRecord();
  void appendChild(int parent, int child);
  int parent() const { return stack_.empty() ? 0 : stack_.back(); }
  void push(int e);
  void pop();
  int nameLen(int offset) const {
    int i = offset;
    while (i < n_ && !endsName(d_[i])) ++i;
    return i - offset;
  }
  bool sameName(int a, int b, int len) const;
  std::u16string text(int offset, int len) const { return std::u16string(d_ + offset, static_cast<size_t>(len)); }
  std::u16string nameKey(int offset, int len) const;

  // Errors: the first one found is kept; every error marks the element that holds it.
  bool haveError() const { return !error_.empty(); }
  void markIll(int holder);
  void nodeError(int holder, std::u16string_view what, int offset, std::u16string_view tail);
  void closeAtStart(size_t fromDepth);

  bool readUsualStartTag(size_t i, size_t& j);
  int parseStartTag(int i);
  int parseEndTag(int i);
  int parseMarkupDecl(int i);
  int skipDoctype(int i);

  CMarkup& m_;
  const char16_t* d_;
  int n_;
  bool ignoreCase_;
  std::vector<int> stack_;
  // Counts of open element names; built on the first end tag that does not close the innermost
  // element, so that well-formed documents never pay for it.
  bool namesActive_ = false;
  std::unordered_map<std::u16string, int> openNames_;
  std::u16string error_;
  static constexpr int kStop = -1;
};

int MarkupParser::newRecord() {
  if (m_.PosFree >= m_.PosCapacity) m_.growIndex(m_.PosFree + 1);
  int x = m_.PosFree++;
  at(x) = ElemPos();
  m_.AttribSpans.emplace_back();
  return x;
}

void MarkupParser::appendChild(int parentIndex, int child) {
  ElemPos& p = at(parentIndex);
  ElemPos& c = at(child);
  c.Parent = parentIndex;
  if (p.FirstChild == 0) {
    p.FirstChild = child;
    c.Prev = child;
  } else {
    ElemPos& first = at(p.FirstChild);
    int last = first.Prev;
    at(last).Next = child;
    c.Prev = last;
    first.Prev = child;
  }
}

std::u16string MarkupParser::nameKey(int offset, int len) const {
  std::u16string key(d_ + offset, static_cast<size_t>(len));
  if (ignoreCase_)
    for (char16_t& c : key) c = markup::foldCase(c);
  return key;
}

void MarkupParser::push(int e) {
  stack_.push_back(e);
  if (namesActive_) {
    int s = at(e).Start + 1;
    ++openNames_[nameKey(s, nameLen(s))];
  }
}

void MarkupParser::pop() {
  if (namesActive_) {
    int s = at(stack_.back()).Start + 1;
    auto it = openNames_.find(nameKey(s, nameLen(s)));
    if (it != openNames_.end() && --it->second == 0) openNames_.erase(it);
  }
  stack_.pop_back();
}

bool MarkupParser::sameName(int a, int b, int len) const {
  if (ignoreCase_) {
    for (int k = 0; k < len; ++k)
      if (markup::foldCase(d_[a + k]) != markup::foldCase(d_[b + k])) return false;
    return true;
  }
  return std::char_traits<char16_t>::compare(d_ + a, d_ + b, static_cast<size_t>(len)) == 0;
}

void MarkupParser::markIll(int holder) {
  at(holder).Flags |= CMarkup::MNF_ILLDATA;
  for (int x = holder;; x = at(x).Parent) {
    if (at(x).Flags & CMarkup::MNF_ILLFORMED) break;
    at(x).Flags |= CMarkup::MNF_ILLFORMED;
    if (x == 0) break;
  }
}

void MarkupParser::nodeError(int holder, std::u16string_view what, int offset, std::u16string_view tail) {
  markIll(holder);
  if (haveError()) return;
  error_.assign(what);
  error_ += u" at offset ";
  error_ += markup::decimal(offset);
  error_ += tail;
}

// Closes the open elements from stack depth `fromDepth` to the top at their start tags: each is
// marked as written without end tag and its content moves up to follow it as siblings. Working
// outermost first moves every child exactly once.
void MarkupParser::closeAtStart(size_t fromDepth) {
  for (size_t s = fromDepth; s < stack_.size(); ++s) {
    int e = stack_[s];
    ElemPos& el = at(e);
    el.Length = el.StartTagLen();
    el.Flags |= CMarkup::MNF_NONENDED | CMarkup::MNF_ILLFORMED;
    int first = el.FirstChild;
    if (first == 0) continue;
    int up = el.Parent;
    int last = at(first).Prev;
    for (int c = first; c; c = at(c).Next) at(c).Parent = up;
    // The open element is always the last child of its parent.
    at(at(up).FirstChild).Prev = last;
    at(first).Prev = e;
    el.Next = first;
    el.FirstChild = 0;
  }
  while (stack_.size() > fromDepth) pop();
}

namespace {

// What ends an attribute name in a usual start tag: what ends any attribute name, a "<", which
// the general end search takes for the start of another tag, and a NUL, so that no recorded name
// holds one (a tag with such a name is read the general way). All are below "@": one bit test
// each.
struct UsualNameStops {
  static constexpr uint64_t kStops = 1ull | (1ull << ' ') | (1ull << '\t') | (1ull << '\r') | (1ull << '\n') |
                                     (1ull << '=') | (1ull << '/') | (1ull << '>') | (1ull << '"') |
                                     (1ull << '\'') | (1ull << '<');
  bool operator()(char16_t c) const { return c < 64 && ((kStops >> c) & 1); }
};
constexpr UsualNameStops stopsUsualName;

// What ends the tag name for the usual form: what ends any tag name, and a quote, which makes the
// tag one of another form. All are at most a backslash.
struct TagNameStops {
  bool operator()(char16_t c) const { return endsName(c) || c == u'"' || c == u'\''; }
};
constexpr TagNameStops stopsTagName;

// The first character from `p` on (before `n`) that `stops`, where every such character is at
// most `highest`: eight characters at a time, and one by one only from a character in range
// (mostly the stop itself; in attribute names also digits, "-", "." and ":").
template <class Stops>
inline size_t findStop(const char16_t* d, size_t p, size_t n, char16_t highest, const Stops& stops) {
#if defined(__SSE2__)
  const __m128i top = _mm_set1_epi16(static_cast<short>(highest));
  while (p + 8 <= n) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + p));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_subs_epu16(v, top), _mm_setzero_si128())));
    if (!mask) {
      p += 8;
      continue;
    }
    p += static_cast<unsigned>(__builtin_ctz(mask)) >> 1;
    if (stops(d[p])) return p;
    ++p;
  }
#endif
  while (p < n && !stops(d[p])) ++p;
  return p;
}

// The first character from `p` on (before `n`) that `stops`, in a run that is mostly short (a name,
// a value, the line break and indentation before the next tag): character by character for the
// first sixteen, then `rest(p)` searches on a block at a time. Stepping one character at a time
// does not wait on the character read before it, so the processor runs ahead along a short run;
// a block search waits for each block's mask before it can go on, which costs more than a short
// run takes.
template <class Stops, class Rest>
inline size_t findShort(const char16_t* d, size_t p, size_t n, const Stops& stops, const Rest& rest) {
  for (const size_t first = p + 16 < n ? p + 16 : n; p < first; ++p)
    if (stops(d[p])) return p;
  return rest(p);
}

}  // namespace

// Reads the start tag at `i` in its usual form: the tag name, then name="value" pairs (double or
// single quotes, white space around the "="), and at most a "/" before the ">". Records each
// attribute and sets `j` to the ">". In this form the ">" is the one the general end search
// finds (every quote outside the values is paired, no "<" stands outside them), and the entries
// are the attributes the general attribute search finds, in its order. False for any other form:
// the caller discards what was recorded and reads the tag the general way.
//
// The text ends in its terminating NUL (d[n]), which is neither white space nor "=", a quote or
// ">": a test of one character may read d[n], fails there as running out of text does, and needs
// no bound of its own. A NUL inside the text fails those tests just the same.
bool MarkupParser::readUsualStartTag(size_t i, size_t& j) {
  const char16_t* d = d_;
  const size_t n = static_cast<size_t>(n_);
  // A quote in the tag name would open a quoted run for the end search.
  size_t p = findShort(d, i + 1, n, stopsTagName, [&](size_t r) { return findStop(d, r, n, u'\\', stopsTagName); });
  if (p < n && (d[p] == u'"' || d[p] == u'\'')) return false;
  auto& out = m_.AttribEntries;
  for (;;) {
    while (isSpace(d[p])) ++p;
    if (p >= n) return false;
    const char16_t c = d[p];
    if (stopsUsualName(c)) {
      if (c == u'/') {
        ++p;
        while (isSpace(d[p])) ++p;
      }
      if (d[p] != u'>') return false;
      j = p;
      return true;
    }
    const size_t ns = p;
    p = findShort(d, p + 1, n, stopsUsualName, [&](size_t r) { return findStop(d, r, n, u'>', stopsUsualName); });
    const size_t ne = p;
    // Mostly the "=" and the quote follow at once; white space around the "=" is looked for only
    // when they do not.
    if (d[p] != u'=') {
      while (isSpace(d[p])) ++p;
      if (d[p] != u'=') return false;
    }
    ++p;
    char16_t q = d[p];
    if (q != u'"' && q != u'\'') {
      while (isSpace(d[p])) ++p;
      q = d[p];
      if (q != u'"' && q != u'\'') return false;
    }
    const size_t vs = p + 1;
    // The closing quote, noting on the way whether the value holds a reference.
    size_t ve = findShort(
        d, vs, n, [q](char16_t x) { return x == q || x == u'&'; },
        [&](size_t r) { return markup::findEither(d, r, n, q, u'&'); });
    bool ref = false;
    if (d[ve] == u'&') {
      ref = true;
      ve = q == u'"' ? findChar(d, ve, n, u'"') : findChar(d, ve, n, u'\'');
    }
    if (ve >= n || ne - ns > 0xFFFF) return false;
    out.push_back({static_cast<uint32_t>(ns - i), static_cast<uint32_t>(vs - i), static_cast<uint32_t>(ve - vs),
                   ref ? 1u : 0u, q == u'\'' ? 1u : 0u, static_cast<uint16_t>(ne - ns), d[ns]});
    p = ve + 1;
  }
}

int MarkupParser::parseStartTag(int i) {
  // Up to the ">" that ends the tag; quoted values may hold ">" and "<".
  const size_t n = static_cast<size_t>(n_);
  auto& entries = m_.AttribEntries;
  const size_t first = entries.size();
  size_t j;
  const bool usual = readUsualStartTag(static_cast<size_t>(i), j);
  if (!usual) {
    entries.resize(first);
    j = markup::findTagEnd(d_, static_cast<size_t>(i) + 2, n);
  }
  if (j >= n) {
    nodeError(parent(), u"Element tag", i, u" unterminated");
    return kStop;
  }
  if (d_[j] == u'<') {
    // Another tag starts before this one ended: report it and go on from there.
    nodeError(parent(), u"Element tag", i, u" unterminated");
    return static_cast<int>(j);
  }
  int tagLen = static_cast<int>(j) + 1 - i;
  if (tagLen > ElemPos::kMaxStartTagLen) {
    entries.resize(first);
    nodeError(parent(), u"Element tag", i, u" too long");
    return static_cast<int>(j) + 1;
  }
  int e = newRecord();
  if (usual) m_.AttribSpans[static_cast<size_t>(e)] = {static_cast<uint32_t>(first),
                                                      static_cast<int32_t>(entries.size() - first)};
  ElemPos& el = at(e);
  el.Start = i;
  el.SetStartTagLen(tagLen);
  appendChild(parent(), e);
  if (d_[j - 1] == u'/') {
    at(e).Length = tagLen;
  } else {
    push(e);
  }
  return static_cast<int>(j) + 1;
}

int MarkupParser::parseEndTag(int i) {
  int nameStart = i + 2;
  int j = nameStart;
  while (j < n_ && !endsName(d_[j])) ++j;
  int len = j - nameStart;
  while (j < n_ && d_[j] != u'>' && d_[j] != u'<') ++j;
  if (j >= n_) {
    nodeError(parent(), u"Element end tag", i, u" unterminated");
    return kStop;
  }
  if (d_[j] == u'<') {
    nodeError(parent(), u"Element end tag", i, u" unterminated");
    return j;
  }
  int endLen = j + 1 - i;
  if (endLen > ElemPos::kMaxEndTagLen) {
    nodeError(parent(), u"Element end tag", i, u" too long");
    return j + 1;
  }

  // The usual case: the end tag closes the innermost open element. The end tag's name holds no
  // character that ends a name, so a start tag name equal to it over its length, and ended right
  // after, is of the same length. (The start tag is before this end tag: s + len < n_.)
  auto closes = [&](int e) {
    int s = at(e).Start + 1;
    return endsName(d_[s + len]) && sameName(s, nameStart, len);
  };
  size_t depth = stack_.size();
  if (depth > 0 && !closes(stack_.back())) {
    if (!namesActive_) {
      namesActive_ = true;
      for (int e : stack_) {
        int s = at(e).Start + 1;
        ++openNames_[nameKey(s, nameLen(s))];
      }
    }
    depth = openNames_.count(nameKey(nameStart, len)) ? stack_.size() - 1 : 0;
    while (depth > 0 && !closes(stack_[depth - 1])) --depth;
    if (depth > 0) {
      int inner = stack_.back();
      int innerName = at(inner).Start + 1;
      int matched = stack_[depth - 1];
      markIll(matched);
      if (!haveError()) {
        error_ = u"End tag '" + text(nameStart, len) + u"' at offset " + markup::decimal(i) +
                 u" does not match start tag '" + text(innerName, nameLen(innerName)) + u"' at offset " +
                 markup::decimal(at(inner).Start);
      }
      closeAtStart(depth);
    }
  }
  if (depth == 0) {
    markIll(parent());
    if (!haveError())
      error_ = u"No start tag for end tag '" + text(nameStart, len) + u"' at offset " + markup::decimal(i);
    return j + 1;
  }
  int e = stack_.back();
  ElemPos& el = at(e);
  el.Length = j + 1 - el.Start;
  el.SetEndTagLen(endLen);
  pop();
  return j + 1;
}

int MarkupParser::skipDoctype(int i) {
  int depth = 0;
  char16_t quote = 0;
  for (int j = i + 2; j < n_; ++j) {
    char16_t c = d_[j];
    if (quote) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == u'"' || c == u'\'') {
      quote = c;
    } else if (c == u'[') {
      ++depth;
    } else if (c == u']') {
      if (depth > 0) --depth;
    } else if (c == u'>') {
      if (depth == 0) return j + 1;
    } else if (c == u'<' && depth > 0 && j + 1 < n_) {
      // Comments and processing instructions of the internal subset may hold quotes or brackets.
      std::u16string_view close;
      if (j + 3 < n_ && d_[j + 1] == u'!' && d_[j + 2] == u'-' && d_[j + 3] == u'-')
        close = u"-->";
      else if (d_[j + 1] == u'?')
        close = u"?>";
      if (!close.empty()) {
        size_t k = findText(d_, static_cast<size_t>(j + 2), static_cast<size_t>(n_), close);
        if (k >= static_cast<size_t>(n_)) break;
        j = static_cast<int>(k + close.size()) - 1;
      }
    }
  }
  nodeError(parent(), u"Doctype", i, u" unterminated");
  return kStop;
}

int MarkupParser::parseMarkupDecl(int i) {
  char16_t c = i + 2 < n_ ? d_[i + 2] : 0;
  auto until = [&](int from, std::u16string_view close, std::u16string_view what) {
    size_t k = findText(d_, static_cast<size_t>(std::min(from, n_)), static_cast<size_t>(n_), close);
    if (k >= static_cast<size_t>(n_)) {
      nodeError(parent(), what, i, u" unterminated");
      return kStop;
    }
    return static_cast<int>(k + close.size());
  };
  switch (c) {
    case u'-':
      if (i + 3 < n_ && d_[i + 3] == u'-') return until(i + 4, u"-->", u"Comment");
      nodeError(parent(), u"Incorrect comment tag", i, u"");
      return i + 1;
    case u'[':
      if (i + 3 < n_ && d_[i + 3] == u'C') return until(i + 3, u"]]>", u"CDATA Section");
      nodeError(parent(), u"Incorrect tag", i, u"");
      return i + 1;
    case u'D':
    case u'E':
    case u'A':
    case u'N':
      return skipDoctype(i);
    default:
      nodeError(parent(), u"Incorrect ! tag", i, u"");
      return i + 1;
  }
}

std::u16string MarkupParser::run() {
  ElemPos& docRec = at(0);
  docRec = ElemPos();
  docRec.Length = n_;
  m_.PosFree = 1;
  m_.PosDeleted = 0;

  int i = 0;
  while (i < n_) {
    i = static_cast<int>(findShort(
        d_, static_cast<size_t>(i), static_cast<size_t>(n_), [](char16_t c) { return c == u'<'; },
        [&](size_t r) { return findChar(d_, r, static_cast<size_t>(n_), u'<'); }));
    if (i >= n_) break;
    char16_t c = i + 1 < n_ ? d_[i + 1] : 0;
    int next;
    if (startsName(c)) {
      next = parseStartTag(i);
    } else if (c == u'/') {
      next = parseEndTag(i);
    } else if (c == u'?') {
      size_t k = findText(d_, static_cast<size_t>(i + 2), static_cast<size_t>(n_), u"?>");
      if (k >= static_cast<size_t>(n_)) {
        nodeError(parent(), u"Processing instruction", i, u" unterminated");
        next = kStop;
      } else {
        next = static_cast<int>(k + 2);
      }
    } else if (c == u'!') {
      next = parseMarkupDecl(i);
    } else {
      nodeError(parent(), u"Incorrect tag name character", i, u"");
      next = i + 1;
    }
    if (next == kStop) break;
    i = next;
  }

  if (!stack_.empty()) {
    int inner = stack_.back();
    int s = at(inner).Start + 1;
    markIll(0);
    if (!haveError())
      error_ = u"Element '" + text(s, nameLen(s)) + u"' at offset " + markup::decimal(at(inner).Start) + u" not ended";
    closeAtStart(0);
  }
  if (!haveError()) {
    int root = at(0).FirstChild;
    if (root == 0)
      error_ = u"No root element";
    else if (at(root).Next != 0)
      error_ = u"Root element has sibling";
  }
  return std::move(error_);
}

void CMarkup::parse() {
  newStamp();
  std::u16string loadResult = std::move(Error);
  Error.clear();
  PosParent = Pos = PosChild = 0;
  NodeType = NodeOffset = NodeLength = 0;
  SavedPosMaps = nullptr;

  int needed = static_cast<int>(std::min<size_t>(Doc.size(), INT_MAX) / 64) + 8;
  if (PosCapacity < needed) {
    freeIndex();
    growIndex(needed);
  }
  // The attribute entries of a fresh parse: room for one per 16 characters, more than documents
  // usually hold, so that the table is not moved while it fills (room never written costs nothing).
  AttribEntries.clear();
  AttribEntries.reserve(std::min<size_t>(Doc.size(), INT_MAX) / 16);
  plat::adviseHugePages(AttribEntries.data(), AttribEntries.capacity() * sizeof(markup::AttribEntry));
  AttribSpans.clear();
  AttribSpans.reserve(static_cast<size_t>(needed));
  AttribSpans.emplace_back();
  AttribGarbage = 0;
  std::u16string parseError;
  if (Doc.size() >= static_cast<size_t>(INT_MAX)) {
    // Offsets in the index are 32-bit: such a text is not indexed at all.
    elem(0) = ElemPos();
    PosFree = 1;
    PosDeleted = 0;
    parseError = plat::systemMessage(ERROR_NOT_ENOUGH_MEMORY);
    parseError.resize(std::min(parseError.size(), parseError.find_first_of(u"\r\n")));
  } else if (Doc.empty()) {
    elem(0) = ElemPos();
    PosFree = 1;
    PosDeleted = 0;
    parseError = u"Empty document";
  } else {
    MarkupParser parser(*this);
    parseError = parser.run();
  }
  if (!loadResult.empty()) {
    Error = std::move(loadResult);
    if (!parseError.empty()) {
      Error += u", ";
      Error += parseError;
    }
  } else {
    Error = std::move(parseError);
  }
}
