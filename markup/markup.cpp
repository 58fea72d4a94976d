#include "markup.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <utility>
#include <string_view>
#include <type_traits>
#include <vector>

#include "markup_text.h"
#include "spare_memory.h"
#include "windows.h"

using markup::AttribEntry;
using markup::AttribSpan;
using markup::endsAttribName;
using markup::copyShort;
using markup::endsName;
using markup::findChar;
using markup::findText;
using markup::isSpace;

namespace {

constexpr int kSegmentShift = 16;
constexpr int kSegmentSize = 1 << kSegmentShift;

// The platform's message for the last error, cut before its line break.
std::u16string lastErrorText(DWORD error) {
  std::u16string text = plat::systemMessage(error);
  size_t cut = text.find_first_of(u"\r\n");
  if (cut != std::u16string::npos) text.resize(cut);
  return text;
}

// Appends `data` as a CDATA section; every "]]>" in it is split across two sections.
void appendCdata(std::u16string& out, std::u16string_view data) {
  out += u"<![CDATA[";
  size_t i = 0;
  for (;;) {
    size_t k = data.find(u"]]>", i);
    if (k == std::u16string_view::npos) break;
    out.append(data.substr(i, k - i));
    out += u"]]]]><![CDATA[>";
    i = k + 3;
  }
  out.append(data.substr(i));
  out += u"]]>";
}

// An integer written as "%d" into a buffer of its own: the integer forms of the writing
// operations need no heap string.
struct DecimalText {
  char16_t text[16];
  const char16_t* start;
  explicit DecimalText(int value) {
    // Two digits at a time, from the end of the buffer back.
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    char16_t* p = text + 15;
    *p = 0;
    // Negated in unsigned arithmetic, so that the most negative int has its digits too.
    unsigned v = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    while (v >= 100) {
      const unsigned pair = 2 * (v % 100);
      v /= 100;
      p -= 2;
      p[0] = static_cast<char16_t>(kPairs[pair]);
      p[1] = static_cast<char16_t>(kPairs[pair + 1]);
    }
    if (v >= 10) {
      p -= 2;
      p[0] = static_cast<char16_t>(kPairs[2 * v]);
      p[1] = static_cast<char16_t>(kPairs[2 * v + 1]);
    } else {
      *--p = static_cast<char16_t>(u'0' + v);
    }
    if (value < 0) *--p = u'-';
    start = p;
  }
  operator MCD_CSTR() const { return MCD_CSTR(start); }  // NOLINT(google-explicit-constructor)
};

// Every state a document takes gets a stamp never used before, so a table kept for a stamp can
// never be taken for another document, or for the same one after an edit. Each thread counts in
// its own range (one shared increment per thread, not one per edit): the thread's number in the
// high 24 bits, its own count in the low 40.
std::atomic<uint64_t> g_stampThreads{0};
struct StampRange {
  uint64_t next = 0, end = 0;
};
thread_local StampRange t_stamps __attribute__((tls_model("initial-exec")));

// A piece of the document as a string of its own, or into the caller's string: copied without
// the library call a string's own copy makes (values are mostly a few characters).
// (The size handed to the writing function is not used: this library's string may pass the
// capacity it chose instead.)
inline void assignCopy(std::u16string& out, const char16_t* from, size_t len) {
  out.clear();  // nothing of the old text is kept when the string grows
  out.resize_and_overwrite(len, [from, len](char16_t* d, size_t) {
    copyShort(from, len, d);
    return len;
  });
}

inline std::u16string copyOf(const char16_t* from, size_t len) {
  std::u16string out;
  assignCopy(out, from, len);
  return out;
}

// The text being written by an edit.
thread_local std::u16string t_editText __attribute__((tls_model("initial-exec")));

}  // namespace

void CMarkup::newStamp() {
  StampRange& r = t_stamps;
  if (r.next == r.end) {
    const uint64_t thread = g_stampThreads.fetch_add(1, std::memory_order_relaxed) + 1;
    r.next = thread << 40;
    r.end = r.next + (uint64_t{1} << 40);
  }
  Stamp = r.next++;
}

// ---------------------------------------------------------------------------------------------
// Construction and the index

CMarkup::CMarkup() { parse(); }

CMarkup::CMarkup(MCD_CSTR text) { SetDoc(static_cast<const WCHAR*>(text)); }

CMarkup::CMarkup(int flags) : DocFlags(flags) { parse(); }

CMarkup::CMarkup(const CMarkup& other) { copyFrom(other); }

CMarkup& CMarkup::operator=(const CMarkup& other) {
  if (this != &other) copyFrom(other);
  return *this;
}

// The moved-from object is left holding the empty document, still usable.
CMarkup::CMarkup(CMarkup&& other) noexcept : CMarkup() { swap(other); }

CMarkup& CMarkup::operator=(CMarkup&& other) noexcept {
  if (this != &other) swap(other);
  return *this;
}

CMarkup::~CMarkup() {
  markup::keepSpareText(Doc);
  freeIndex();
}

void CMarkup::swap(CMarkup& other) noexcept {
  std::swap(Doc, other.Doc);
  std::swap(Error, other.Error);
  std::swap(PosParent, other.PosParent);
  std::swap(Pos, other.Pos);
  std::swap(PosChild, other.PosChild);
  std::swap(PosFree, other.PosFree);
  std::swap(PosDeleted, other.PosDeleted);
  std::swap(NodeType, other.NodeType);
  std::swap(NodeOffset, other.NodeOffset);
  std::swap(NodeLength, other.NodeLength);
  std::swap(DocFlags, other.DocFlags);
  std::swap(SavedPosMaps, other.SavedPosMaps);
  std::swap(PosSegments, other.PosSegments);
  std::swap(PosCapacity, other.PosCapacity);
  std::swap(SegCapacity, other.SegCapacity);
  std::swap(Stamp, other.Stamp);
  std::swap(AttribEntries, other.AttribEntries);
  std::swap(AttribSpans, other.AttribSpans);
  std::swap(AttribGarbage, other.AttribGarbage);
}

void CMarkup::copyFrom(const CMarkup& other) {
  Doc = other.Doc;
  Error = other.Error;
  PosParent = other.PosParent;
  Pos = other.Pos;
  PosChild = other.PosChild;
  PosDeleted = other.PosDeleted;
  NodeType = other.NodeType;
  NodeOffset = other.NodeOffset;
  NodeLength = other.NodeLength;
  DocFlags = other.DocFlags;
  SavedPosMaps = nullptr;
  freeIndex();
  PosFree = 1;
  growIndex(std::max(other.PosFree, 1));
  for (int i = 0; i < other.PosFree; ++i) elem(i) = other.elem(i);
  PosFree = other.PosFree;
  AttribEntries = other.AttribEntries;
  AttribSpans = other.AttribSpans;
  AttribGarbage = other.AttribGarbage;
  newStamp();
}

void CMarkup::freeIndex() {
  int segments = (PosCapacity + kSegmentSize - 1) >> kSegmentShift;
  for (int s = 0; s < segments; ++s) {
    const int records = s + 1 < segments ? kSegmentSize : PosCapacity - (s << kSegmentShift);
    markup::keepSpareBlock(PosSegments[s], sizeof(ElemPos) * static_cast<size_t>(records));
  }
  delete[] PosSegments;
  PosSegments = nullptr;
  PosCapacity = 0;
  SegCapacity = 0;
}

// Segments are raw storage: every record is written before it is read (newPos, the parser and
// the copies below), so nothing is filled in advance.
static_assert(std::is_trivially_copyable_v<CMarkup::ElemPos> && std::is_trivially_destructible_v<CMarkup::ElemPos>);
// A segment (`from` null) or the segment `from` of `have` records grown to at least `records`,
// in place when the memory allows. `records` becomes what it holds: a block kept from an earlier
// document may hold more (up to a whole segment).
static CMarkup::ElemPos* segmentOf(CMarkup::ElemPos* from, int have, int& records) {
  constexpr size_t kRecord = sizeof(CMarkup::ElemPos);
  const size_t used = kRecord * static_cast<size_t>(have);
  size_t got = 0;
  void* p = markup::growBlock(from, used, used, kRecord * static_cast<size_t>(records), got);
  records = static_cast<int>(std::min<size_t>(kSegmentSize, got / kRecord));
  return static_cast<CMarkup::ElemPos*>(p);
}

// Grows the index to hold at least `needed` records: to twice the records in use, filling up the
// last segment before a new one is started.
void CMarkup::growIndex(int needed) {
  long long target = std::max<long long>(needed, static_cast<long long>(PosFree) * 2);
  target = std::min<long long>(target, INT_MAX);
  int newCapacity = static_cast<int>(target);
  if (newCapacity <= PosCapacity) return;
  int segments = (PosCapacity + kSegmentSize - 1) >> kSegmentShift;
  if (PosCapacity & (kSegmentSize - 1)) {
    int s = segments - 1;
    int want = std::min(kSegmentSize, newCapacity - (s << kSegmentShift));
    PosSegments[s] = segmentOf(PosSegments[s], PosCapacity - (s << kSegmentShift), want);
    PosCapacity = (s << kSegmentShift) + want;
  }
  while (PosCapacity < newCapacity) {
    if (segments >= SegCapacity) {
      int grownCapacity = std::max(4, SegCapacity * 2);
      auto** table = new ElemPos*[static_cast<size_t>(grownCapacity)];
      std::copy(PosSegments, PosSegments + segments, table);
      delete[] PosSegments;
      PosSegments = table;
      SegCapacity = grownCapacity;
    }
    int want = std::min(kSegmentSize, newCapacity - PosCapacity);
    PosSegments[segments++] = segmentOf(nullptr, 0, want);
    PosCapacity += want;
  }
}

int CMarkup::newPos() {
  int x;
  if (PosDeleted) {
    x = PosDeleted;
    PosDeleted = elem(x).Next;
  } else {
    if (PosFree >= PosCapacity) growIndex(PosFree + 1);
    x = PosFree++;
  }
  elem(x) = ElemPos();
  forgetAttribs(x);
  return x;
}

// Gives element `index` the `count` entries from `first` (-1: not recorded).
void CMarkup::recordSpan(int index, uint32_t first, int32_t count) {
  const size_t i = static_cast<size_t>(index);
  if (AttribSpans.size() <= i) AttribSpans.resize(i + 1);
  AttribSpans[i] = {first, count};
}

// The element's attributes are no longer recorded: its start tag is read instead.
void CMarkup::forgetAttribs(int index) {
  const size_t i = static_cast<size_t>(index);
  if (i >= AttribSpans.size()) {
    // A new record is usually the next one: appended without the general resize.
    if (i == AttribSpans.size())
      AttribSpans.emplace_back();
    else
      AttribSpans.resize(i + 1);
    return;
  }
  if (AttribSpans[i].Count > 0) AttribGarbage += static_cast<size_t>(AttribSpans[i].Count);
  AttribSpans[i] = AttribSpan();
}

// Room for `extra` more entries, grown by doubling: the entries of an element moved to the end
// of the table on every new attribute must not copy the whole table each time.
void CMarkup::reserveEntries(size_t extra) {
  const size_t needed = AttribEntries.size() + extra;
  if (needed > AttribEntries.capacity()) AttribEntries.reserve(std::max(needed, AttribEntries.capacity() * 2));
}

// Drops the entries no element refers to any more, once they are the larger part.
void CMarkup::compactAttribs() {
  if (AttribGarbage < 4096 || AttribGarbage < AttribEntries.size() / 2) return;
  markup::PodVector<AttribEntry> kept;
  kept.reserve(AttribEntries.size() - AttribGarbage);
  for (AttribSpan& span : AttribSpans) {
    if (span.Count < 0) continue;
    const size_t from = span.First;
    span.First = static_cast<uint32_t>(kept.size());
    for (int32_t k = 0; k < span.Count; ++k) kept.push_back(AttribEntries[from + static_cast<size_t>(k)]);
  }
  AttribEntries.swap(kept);
  AttribGarbage = 0;
}

void CMarkup::releaseSubtree(int index) {
  std::vector<int> released;
  int x = index;
  for (;;) {
    released.push_back(x);
    if (elem(x).FirstChild) {
      x = elem(x).FirstChild;
      continue;
    }
    while (x != index && !elem(x).Next) x = elem(x).Parent;
    if (x == index) break;
    x = elem(x).Next;
  }
  for (int r : released) {
    forgetAttribs(r);
    elem(r) = ElemPos();
    elem(r).Next = PosDeleted;
    PosDeleted = r;
  }
}

// ---------------------------------------------------------------------------------------------
// Documents

bool CMarkup::SetDoc(const WCHAR* text) {
  // The text may be our own document: take the copy before anything changes.
  std::u16string copy = text ? std::u16string(text) : std::u16string();
  Doc = std::move(copy);
  Error.clear();
  parse();
  return IsWellFormed();
}

bool CMarkup::SetDoc(const std::u16string& text) {
  if (&text != &Doc) Doc = text;
  Error.clear();
  parse();
  return IsWellFormed();
}

bool CMarkup::SetDoc(std::u16string&& text) {
  if (&text != &Doc) {
    markup::keepSpareText(Doc);
    Doc = std::move(text);
  }
  Error.clear();
  parse();
  return IsWellFormed();
}

bool CMarkup::IsWellFormed() {
  const ElemPos& docRec = elem(0);
  return docRec.FirstChild != 0 && !(docRec.Flags & MNF_ILLFORMED) && elem(docRec.FirstChild).Next == 0;
}

bool CMarkup::Load(MCD_CSTR file) {
  HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE || h == nullptr) {
    Error = lastErrorText(GetLastError());
    return false;
  }
  // The file is decoded piece by piece as it is read: the bytes are never held whole. The text is
  // made aside, so that a failed read leaves the document as it was.
  std::u16string text;
  DWORD high = 0;
  DWORD size = GetFileSize(h, &high);
  if (size != INVALID_FILE_SIZE && high == 0 && size < 0x7FFFFFFFu && !markup::takeSpareText(text, size, size)) {
    text.reserve(size);
    plat::adviseHugePages(text.data(), text.capacity() * sizeof(char16_t));
  }
  constexpr size_t kPiece = 65536;
  char piece[kPiece + 4];  // room in front for a sequence cut by the end of the last piece
  size_t carried = 0;
  size_t total = 0;
  bool ended = false;
  bool failed = false;
  DWORD failure = 0;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(h, piece + carried, kPiece, &got, nullptr)) {
      failed = true;
      failure = GetLastError();
      break;
    }
    if (total + got > static_cast<size_t>(INT_MAX)) {
      // Offsets in the index are 32-bit: such a file cannot be held.
      failed = true;
      failure = ERROR_NOT_ENOUGH_MEMORY;
      break;
    }
    total += got;
    const bool last = got == 0;
    const size_t n = carried + got;
    carried = 0;
    if (!ended && n > 0) {
      // One character at most per byte, decoded straight into the room (never filled first).
      const size_t written = text.size();
      if (written + n > text.capacity()) text.reserve(std::max(written + n, text.capacity() * 2));
      size_t used = 0;
      text.resize_and_overwrite(written + n, [&](char16_t* d, size_t) {
        char16_t* o = d + written;
        used = markup::decodeUtf8Piece(o, piece, n, last, ended);
        return static_cast<size_t>(o - d);
      });
      if (!ended && used < n) {
        carried = n - used;
        std::memmove(piece, piece + used, carried);
      }
    }
    if (last) break;
  }
  CloseHandle(h);
  if (failed) {
    Error = lastErrorText(failure);
    return false;
  }
  Doc.swap(text);
  markup::keepSpareText(text);  // the document that was
  Error = markup::decimal(static_cast<long long>(total)) + u" bytes to " +
          markup::decimal(static_cast<long long>(Doc.size())) + u" wide chars";
  parse();
  return IsWellFormed();
}

bool CMarkup::Save(MCD_CSTR file) {
  if (file.empty()) {
    // No name: the unit root itself would be the target.
    Error = lastErrorText(ERROR_PATH_NOT_FOUND);
    return false;
  }
  std::string bytes = markup::encodeUtf8(Doc.data(), Doc.size());
  // The file is replaced as a whole (temporary file beside it, then rename), so a failed write
  // never leaves a half-written settings file behind.
  SetLastError(ERROR_SUCCESS);
  if (!plat::writeFileAtomically(plat::hostPath(file.c_str()), bytes)) {
    DWORD error = GetLastError();
    Error = lastErrorText(error != ERROR_SUCCESS ? error : static_cast<DWORD>(ERROR_GEN_FAILURE));
    return false;
  }
  Error = markup::decimal(static_cast<long long>(Doc.size())) + u" wide chars to " +
          markup::decimal(static_cast<long long>(bytes.size())) + u" bytes";
  return true;
}

// ---------------------------------------------------------------------------------------------
// Names and navigation

namespace {

// Length of the tag name at `offset` of a text of `n` characters.
inline size_t tagNameLenAt(const char16_t* d, size_t n, size_t offset) {
  size_t i = offset;
#if defined(__SSE2__)
  // Every character that ends a name is at most "?" or is a backslash: the first such candidate in
  // the next eight characters is where the character-by-character check starts.
  if (offset + 8 <= n) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + offset));
    __m128i low = _mm_cmpeq_epi16(_mm_subs_epu16(v, _mm_set1_epi16(0x3F)), _mm_setzero_si128());
    __m128i cand = _mm_or_si128(low, _mm_cmpeq_epi16(v, _mm_set1_epi16(u'\\')));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(cand));
    i += mask ? (static_cast<unsigned>(__builtin_ctz(mask)) >> 1) : 8;
  }
#endif
  while (i < n && !endsName(d[i])) ++i;
  return i - offset;
}

// Whether the tag name at `s` matches `name`: equal over the tag name's length, and `name` ends
// there. Compares while it measures, so a mismatch stops at the first differing character.
template <bool IgnoreCase>
inline bool tagNameMatchesAt(const char16_t* d, size_t n, size_t s, const WCHAR* name) {
  for (size_t k = 0;; ++k) {
    if (s + k >= n || endsName(d[s + k])) return markup::endsGivenName(name[k]);
    // A NUL in the document must not match the end of `name`.
    if (name[k] == 0) return false;
    if (IgnoreCase ? markup::foldCase(name[k]) != markup::foldCase(d[s + k]) : name[k] != d[s + k]) return false;
  }
}

// Index of the closing quote `q` (a double or single quote) in [from, end), or `end`. Each
// quote gets its own constant search: building the pattern from a variable character costs a
// stall on every value.
inline size_t findQuote(const char16_t* d, size_t from, size_t end, char16_t q) {
  return q == u'"' ? findChar(d, from, end, u'"') : findChar(d, from, end, u'\'');
}

// The value after the "=" at `sign`: past white space, in double or single quotes, or bare up to
// white space. Sets its start, end and quote (0 for a bare value); returns where the search
// for the next attribute goes on.
inline size_t readValueAfterSign(const char16_t* d, size_t sign, size_t limit, size_t& vs, size_t& ve,
                                 char16_t& q) {
  size_t j = sign + 1;
  while (j < limit && isSpace(d[j])) ++j;
  q = j < limit ? d[j] : 0;
  if (q == u'"' || q == u'\'') {
    vs = j + 1;
    ve = findQuote(d, vs, limit, q);
    return ve + 1;
  }
  q = 0;
  vs = j;
  ve = vs;
  while (ve < limit && !isSpace(d[ve])) ++ve;
  return ve;
}

// Bit k of `eq`, `dq` and `sq` tells whether d[from + k] is "=", a double or a single quote, for
// the `w` (at most 64) characters from `from`. Sixteen characters at a time, narrowed to bytes
// first: a character above 0xFF narrows to 0 or 0xFF, so it never passes for one of the three.
// Characters up to `n` may be read beyond the `w`: they are masked off.
inline void signAndQuoteMasks(const char16_t* d, size_t n, size_t from, size_t w, uint64_t& eq, uint64_t& dq,
                              uint64_t& sq) {
  eq = dq = sq = 0;
  size_t k = 0;
#if defined(__SSE2__)
  // Whole blocks of sixteen as long as the text lasts, then the bits beyond `w` are cleared.
  const size_t blocks = std::min(n - from, (w + 15) & ~size_t{15});
  const size_t wv = blocks & ~size_t{15};
  const __m128i ve = _mm_set1_epi8('=');
  const __m128i vd = _mm_set1_epi8('"');
  const __m128i vs = _mm_set1_epi8('\'');
  for (; k + 16 <= wv; k += 16) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + from + k));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + from + k + 8));
    __m128i bytes = _mm_packus_epi16(a, b);
    eq |= static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, ve)))) << k;
    dq |= static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, vd)))) << k;
    sq |= static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, vs)))) << k;
  }
  if (k > w) {
    const uint64_t keep = (uint64_t{1} << w) - 1;  // w < 64 here
    eq &= keep;
    dq &= keep;
    sq &= keep;
    return;
  }
#endif
  for (; k < w; ++k) {
    char16_t c = d[from + k];
    if (c == u'=') eq |= uint64_t{1} << k;
    else if (c == u'"') dq |= uint64_t{1} << k;
    else if (c == u'\'') sq |= uint64_t{1} << k;
  }
}

// The bits of `mask` from bit `k` on (none when k >= 64).
inline uint64_t bitsFrom(uint64_t mask, size_t k) { return k >= 64 ? 0 : mask & (~uint64_t{0} << k); }

// A window of a start tag read through its masks. In the usual tag every sign outside quotes
// is followed at once by a double quote, and no single quote stands outside a double-quoted
// run; the quoted runs are then simply the stretches between pairs of double quotes, so the
// signs outside them are known at once (a prefix parity of the quote mask).
struct QuotedWindow {
  uint64_t inside;  // characters within a double-quoted run, its opening quote included
  uint64_t signs;   // signs outside those runs
  bool usual;
};

inline QuotedWindow readQuotedWindow(uint64_t eq, uint64_t dq, uint64_t sq) {
  uint64_t inside = dq;
  inside ^= inside << 1;
  inside ^= inside << 2;
  inside ^= inside << 4;
  inside ^= inside << 8;
  inside ^= inside << 16;
  inside ^= inside << 32;
  const uint64_t signs = eq & ~inside;
  return {inside, signs, (sq & ~inside) == 0 && (signs >> 63) == 0 && ((signs << 1) & ~dq) == 0};
}

// Where the window after a usual one of `w` characters at `i` starts: a run still open at the
// end of the window closes at the next double quote.
inline size_t afterUsualWindow(const char16_t* d, size_t i, size_t w, size_t limit, uint64_t inside) {
  return (w == 64 && (inside >> 63)) || (w < 64 && ((inside >> (w - 1)) & 1)) ? findChar(d, i + w, limit, u'"') + 1
                                                                             : i + w;
}

}  // namespace

int CMarkup::tagNameLen(int offset) const {
  return static_cast<int>(tagNameLenAt(Doc.data(), Doc.size(), static_cast<size_t>(offset)));
}

bool CMarkup::nameMatches(int nameOffset, int nameLen, const WCHAR* name) const {
  const char16_t* t = Doc.data() + nameOffset;
  if (DocFlags & MDF_IGNORECASE) {
    for (int k = 0; k < nameLen; ++k)
      if (name[k] == 0 || markup::foldCase(name[k]) != markup::foldCase(t[k])) return false;
  } else {
    for (int k = 0; k < nameLen; ++k)
      if (name[k] == 0 || name[k] != t[k]) return false;  // a NUL in the document must not match the end of name
  }
  return markup::endsGivenName(name[nameLen]);
}

// Defined inline: only the navigation below calls it, and the call is worth saving.
inline int CMarkup::findElemFrom(int first, const WCHAR* name) const {
  if (!name || !*name) return first;
  const char16_t* d = Doc.data();
  const size_t n = Doc.size();
  if ((DocFlags & MDF_IGNORECASE) || markup::endsGivenName(name[0])) {
    for (int x = first; x; x = elem(x).Next) {
      size_t s = static_cast<size_t>(elem(x).Start) + 1;
      if (DocFlags & MDF_IGNORECASE ? tagNameMatchesAt<true>(d, n, s, name) : tagNameMatchesAt<false>(d, n, s, name))
        return x;
    }
  } else {
    // Most siblings differ in their first character: test it before the full comparison (a
    // match needs a tag name of at least one character here).
    const char16_t c0 = name[0];
    for (int x = first; x; x = elem(x).Next) {
      size_t s = static_cast<size_t>(elem(x).Start) + 1;
      if (s < n && d[s] == c0 && tagNameMatchesAt<false>(d, n, s, name)) return x;
    }
  }
  return 0;
}

bool CMarkup::FindElem(MCD_CSTR name) {
  int first = Pos ? elem(Pos).Next : elem(PosParent).FirstChild;
  int found = findElemFrom(first, name);
  if (!found) return false;
  Pos = found;
  PosChild = 0;
  NodeType = MNT_ELEMENT;
  NodeOffset = NodeLength = 0;
  return true;
}

bool CMarkup::FindChildElem(MCD_CSTR name) {
  if (!Pos && !FindElem()) return false;
  int first = PosChild ? elem(PosChild).Next : elem(Pos).FirstChild;
  int found = findElemFrom(first, name);
  if (!found) return false;
  PosChild = found;
  return true;
}

bool CMarkup::IntoElem() {
  if (!Pos || NodeType != MNT_ELEMENT) return false;
  PosParent = Pos;
  Pos = PosChild;
  PosChild = 0;
  NodeType = Pos ? MNT_ELEMENT : 0;
  NodeOffset = NodeLength = 0;
  return true;
}

bool CMarkup::OutOfElem() {
  if (!PosParent) return false;
  PosChild = Pos;
  Pos = PosParent;
  PosParent = elem(Pos).Parent;
  NodeType = MNT_ELEMENT;
  NodeOffset = NodeLength = 0;
  return true;
}

void CMarkup::ResetPos() {
  PosParent = Pos = PosChild = 0;
  NodeType = NodeOffset = NodeLength = 0;
}

void CMarkup::ResetMainPos() {
  Pos = PosChild = 0;
  NodeType = NodeOffset = NodeLength = 0;
}

// ---------------------------------------------------------------------------------------------
// Reading

std::u16string CMarkup::tagNameOf(int index) const {
  if (!index) return {};
  size_t s = static_cast<size_t>(elem(index).Start) + 1;
  return copyOf(Doc.data() + s, tagNameLenAt(Doc.data(), Doc.size(), s));
}


// Attributes are found from their "=" signs: the name is the token just before the sign, the
// value follows it (quoted, or bare up to white space). Quoted runs not after a sign are stepped
// over. The scan for signs and quotes goes eight characters at a time.
namespace {

// The attribute search for a given name (not null, not empty) in the start tag of `el`: 1 found,
// 0 not there, -1 the name needs the general form.
inline int findAttribInTag(const std::u16string& doc, const CMarkup::ElemPos& el, bool ignoreCase, const WCHAR* name,
                           int& valueStart, int& valueLen, int& quote) {
  // A name made only of characters an attribute name can hold, ending at its terminator, is the
  // usual case: then the matching attribute name has exactly its length and ends just before
  // the sign (or the white space before it), so the name is compared in place from there
  // without measuring every attribute name on the way.
  size_t nameLen = 0;
  bool plain = true;
  for (; !markup::endsGivenName(name[nameLen]); ++nameLen)
    if (endsAttribName(name[nameLen])) plain = false;
  if (!plain || name[nameLen] != 0) return -1;

  const char16_t* d = doc.data();
  const size_t limit = static_cast<size_t>(el.Start + el.StartTagLen() - 1);  // the closing ">"
  const size_t lo = static_cast<size_t>(el.Start + 1) + tagNameLenAt(d, doc.size(), static_cast<size_t>(el.Start + 1));
  const char16_t last = ignoreCase ? markup::foldCase(name[nameLen - 1]) : name[nameLen - 1];
  // Whether the attribute whose sign is at `e` has the name.
  auto nameBefore = [&](size_t e) {
    size_t ne = e;
    while (ne > lo && isSpace(d[ne - 1])) --ne;
    if (ne - lo < nameLen) return false;
    const size_t ns = ne - nameLen;
    if ((ignoreCase ? markup::foldCase(d[ne - 1]) : d[ne - 1]) != last) return false;
    if (ns != lo && !endsAttribName(d[ns - 1])) return false;
    size_t k = 0;
    if (ignoreCase) {
      while (k + 1 < nameLen && markup::foldCase(d[ns + k]) == markup::foldCase(name[k])) ++k;
    } else {
      while (k + 1 < nameLen && d[ns + k] == name[k]) ++k;
    }
    return k + 1 == nameLen;
  };
  // The tag is taken 64 characters at a time as bit masks of its signs and quotes, so stepping
  // from one attribute to the next is bit arithmetic rather than a chain of dependent searches.
  // What the window cannot settle (white space after a sign, a bare value, a value running past
  // the window) is stepped over character by character, and a new window starts after it.
  size_t i = lo;
  while (i < limit) {
    const size_t w = std::min<size_t>(64, limit - i);
    uint64_t eq, dq, sq;
    signAndQuoteMasks(d, doc.size(), i, w, eq, dq, sq);
    // In the usual tag only the signs outside quotes are visited.
    const QuotedWindow window = readQuotedWindow(eq, dq, sq);
    if (window.usual) {
      for (uint64_t v = window.signs; v; v &= v - 1) {
        const size_t b = static_cast<size_t>(__builtin_ctzll(v));
        if (!nameBefore(i + b)) continue;
        const uint64_t closer = bitsFrom(dq, b + 2);
        valueStart = static_cast<int>(i + b + 2);
        valueLen = static_cast<int>((closer ? i + static_cast<size_t>(__builtin_ctzll(closer))
                                            : findChar(d, i + b + 2, limit, u'"')) -
                                    (i + b + 2));
        quote = u'"';
        return 1;
      }
      i = afterUsualWindow(d, i, w, limit, window.inside);
      continue;
    }
    const uint64_t marks = eq | dq | sq;
    size_t rel = 0;
    size_t resume = i + w;
    for (;;) {
      const uint64_t live = bitsFrom(marks, rel);
      if (!live) break;
      const size_t b = static_cast<size_t>(__builtin_ctzll(live));
      if (!((eq >> b) & 1)) {
        // A quoted run that follows no sign.
        const uint64_t closer = bitsFrom(((dq >> b) & 1) ? dq : sq, b + 1);
        if (!closer) {
          resume = findQuote(d, i + b + 1, limit, d[i + b]) + 1;
          break;
        }
        rel = static_cast<size_t>(__builtin_ctzll(closer)) + 1;
        continue;
      }
      const size_t e = i + b;
      uint64_t closer = 0;
      char16_t q = 0;
      if (b + 1 < 64) {
        if ((dq >> (b + 1)) & 1) {
          q = u'"';
          closer = bitsFrom(dq, b + 2);
        } else if ((sq >> (b + 1)) & 1) {
          q = u'\'';
          closer = bitsFrom(sq, b + 2);
        }
      }
      size_t vs, ve;
      bool leave = false;
      if (closer) {
        const size_t c = static_cast<size_t>(__builtin_ctzll(closer));
        vs = e + 2;
        ve = i + c;
        rel = c + 1;
      } else {
        resume = readValueAfterSign(d, e, limit, vs, ve, q);
        leave = true;
      }
      if (nameBefore(e)) {
        valueStart = static_cast<int>(vs);
        valueLen = static_cast<int>(ve - vs);
        quote = q;
        return 1;
      }
      if (leave) break;
    }
    i = resume;
  }
  return 0;
}


}  // namespace

bool CMarkup::findAttrib(int index, const WCHAR* name, int& valueStart, int& valueLen, int& quote) const {
  if (!index || !name || !*name) return false;
  const int k = recordedAttrib(index, name);
  if (k != -2) {
    if (k < 0) return false;
    const AttribEntry& a = AttribEntries[static_cast<size_t>(k)];
    valueStart = elem(index).Start + static_cast<int>(a.ValueAt);
    valueLen = static_cast<int>(a.ValueLen);
    quote = a.Quote();
    return true;
  }
  int found = findAttribInTag(Doc, elem(index), (DocFlags & MDF_IGNORECASE) != 0, name, valueStart, valueLen, quote);
  if (found < 0) return findAttribByMeasure(index, name, valueStart, valueLen, quote);
  return found != 0;
}

// The general form for any given name: every attribute name is measured back from its sign and
// compared by the element-name rule.
bool CMarkup::findAttribByMeasure(int index, const WCHAR* name, int& valueStart, int& valueLen, int& quote) const {
  const ElemPos& el = elem(index);
  const char16_t* d = Doc.data();
  const size_t limit = static_cast<size_t>(el.Start + el.StartTagLen() - 1);  // the closing ">"
  const bool ignoreCase = (DocFlags & MDF_IGNORECASE) != 0;
  const char16_t first = ignoreCase ? markup::foldCase(name[0]) : name[0];
  const size_t lo = static_cast<size_t>(el.Start + 1) + tagNameLenAt(d, Doc.size(), static_cast<size_t>(el.Start + 1));
  size_t i = lo;
  for (;;) {
    i = markup::findAnyOf3(d, i, limit, u'=', u'"', u'\'');
    if (i >= limit) return false;
    if (d[i] != u'=') {
      i = findQuote(d, i + 1, limit, d[i]) + 1;
      continue;
    }
    size_t ne = i;
    while (ne > lo && isSpace(d[ne - 1])) --ne;
    size_t ns = ne;
    while (ns > lo && !endsAttribName(d[ns - 1])) --ns;
    size_t vs, ve;
    char16_t q;
    i = readValueAfterSign(d, i, limit, vs, ve, q);
    if (ns < ne) {
      char16_t c0 = ignoreCase ? markup::foldCase(d[ns]) : d[ns];
      if (c0 == first && nameMatches(static_cast<int>(ns), static_cast<int>(ne - ns), name)) {
        valueStart = static_cast<int>(vs);
        valueLen = static_cast<int>(ve - vs);
        quote = q;
        return true;
      }
    }
  }
}

namespace {

// The attributes of one start tag, in order: where each name and value lie. Kept per thread for
// the element read last, so that reading an element's attributes one after another scans its
// start tag once rather than once per name.
struct AttribTable {
  static constexpr int kMax = 48;
  struct Slot {
    int32_t nameStart, nameLen, valueStart, valueLen;
    char16_t quote;
  };
  uint64_t stamp = 0;
  int index = -1;
  enum { kReady, kTooMany } state = kReady;
  int count = 0;
  Slot slots[kMax];
};
// Initial-exec: the table is reached without a call into the dynamic linker on every read.
thread_local AttribTable t_attribs __attribute__((tls_model("initial-exec")));

// Adds the attribute whose sign is at `e` (value [vs, ve), quote q); false when the table is full.
inline bool addSlot(const char16_t* d, size_t lo, size_t e, size_t vs, size_t ve, char16_t q, AttribTable& t) {
  size_t ne = e;
  while (ne > lo && isSpace(d[ne - 1])) --ne;
  size_t ns = ne;
  while (ns > lo && !endsAttribName(d[ns - 1])) --ns;
  if (ns == ne) return true;  // no name: never matches
  if (t.count == AttribTable::kMax) return false;
  t.slots[t.count++] = {static_cast<int32_t>(ns), static_cast<int32_t>(ne - ns), static_cast<int32_t>(vs),
                        static_cast<int32_t>(ve - vs), q};
  return true;
}

// Lists every "=" outside quotes of the start tag of `el` with the name just before it and the
// value after it: the attributes the general search reads, in its order. Windows of 64
// characters where every sign is followed by a double quote and no single quote stands outside
// a quoted run are read from their bit masks; any other window one mark at a time.
// The usual start tag read forwards: white space, a name, "=", a value in quotes, again and
// again, and at most white space and a "/" at the end. A name read forwards from after white
// space or a closing quote is the name the general rule measures back from its sign, so the
// list is the same; anything else in the tag (a sign without a name, a bare value, a quoted run
// after no sign) is left to the general reading. False when it was left.
bool listUsualAttribs(const char16_t* d, size_t lo, size_t limit, AttribTable& t) {
  size_t i = lo;
  for (;;) {
    while (i < limit && isSpace(d[i])) ++i;
    if (i >= limit) return true;
    if (endsAttribName(d[i])) {
      // Only the "/" of an empty element may follow the last value.
      if (d[i] != u'/') return false;
      for (size_t k = i + 1; k < limit; ++k)
        if (!isSpace(d[k])) return false;
      return true;
    }
    const size_t ns = i;
    while (i < limit && !endsAttribName(d[i])) ++i;
    const size_t ne = i;
    while (i < limit && isSpace(d[i])) ++i;
    if (i >= limit || d[i] != u'=') return false;
    ++i;
    while (i < limit && isSpace(d[i])) ++i;
    if (i >= limit || (d[i] != u'"' && d[i] != u'\'')) return false;
    const char16_t q = d[i];
    const size_t vs = i + 1;
    const size_t ve = findQuote(d, vs, limit, q);
    if (t.count == AttribTable::kMax) {
      t.state = AttribTable::kTooMany;
      return true;
    }
    t.slots[t.count++] = {static_cast<int32_t>(ns), static_cast<int32_t>(ne - ns), static_cast<int32_t>(vs),
                          static_cast<int32_t>(ve - vs), q};
    i = ve + 1;
  }
}

void listAttribs(const std::u16string& doc, const CMarkup::ElemPos& el, AttribTable& t) {
  const char16_t* d = doc.data();
  const size_t limit = static_cast<size_t>(el.Start + el.StartTagLen() - 1);  // the closing ">"
  const size_t lo = static_cast<size_t>(el.Start + 1) + tagNameLenAt(d, doc.size(), static_cast<size_t>(el.Start + 1));
  t.count = 0;
  t.state = AttribTable::kReady;
  if (listUsualAttribs(d, lo, limit, t)) return;
  t.count = 0;
  t.state = AttribTable::kReady;
  size_t i = lo;
  while (i < limit) {
    const size_t w = std::min<size_t>(64, limit - i);
    uint64_t eq, dq, sq;
    signAndQuoteMasks(d, doc.size(), i, w, eq, dq, sq);
    const QuotedWindow window = readQuotedWindow(eq, dq, sq);
    if (window.usual) {
      for (uint64_t v = window.signs; v; v &= v - 1) {
        const size_t b = static_cast<size_t>(__builtin_ctzll(v));
        const uint64_t closer = bitsFrom(dq, b + 2);
        const size_t vs = i + b + 2;
        const size_t ve = closer ? i + static_cast<size_t>(__builtin_ctzll(closer)) : findChar(d, vs, limit, u'"');
        if (!addSlot(d, lo, i + b, vs, ve, u'"', t)) {
          t.state = AttribTable::kTooMany;
          return;
        }
      }
      i = afterUsualWindow(d, i, w, limit, window.inside);
      continue;
    }
    // Any other window: one mark at a time up to its end (a value may carry the search past it).
    const size_t stop = i + w;
    while (i < stop) {
      i = markup::findAnyOf3(d, i, stop, u'=', u'"', u'\'');
      if (i >= stop) break;
      if (d[i] != u'=') {
        i = findQuote(d, i + 1, limit, d[i]) + 1;
        continue;
      }
      size_t vs, ve;
      char16_t q;
      const size_t e = i;
      i = readValueAfterSign(d, e, limit, vs, ve, q);
      if (!addSlot(d, lo, e, vs, ve, q, t)) {
        t.state = AttribTable::kTooMany;
        return;
      }
    }
  }
}

}  // namespace

// The first look-up of an element lists all its attributes once; this and the following look-ups
// search the list. The list holds what the general search would find, in the same order, so the
// first match is the same attribute.
bool CMarkup::findAttribCached(int index, const WCHAR* name, int& valueStart, int& valueLen, int& quote) const {
  AttribTable& t = t_attribs;
  const bool ignoreCase = (DocFlags & MDF_IGNORECASE) != 0;
  if (t.stamp != Stamp || t.index != index) {
    t.stamp = Stamp;
    t.index = index;
    listAttribs(Doc, elem(index), t);
  }
  if (t.state != AttribTable::kReady) {
    int found = findAttribInTag(Doc, elem(index), ignoreCase, name, valueStart, valueLen, quote);
    if (found < 0) return findAttribByMeasure(index, name, valueStart, valueLen, quote);
    return found != 0;
  }
  // A name of plain characters up to its terminator matches only a name of its own length.
  size_t plainLen = 0;
  while (!markup::endsGivenName(name[plainLen])) ++plainLen;
  const bool plain = name[plainLen] == 0;
  const char16_t* d = Doc.data();
  const char16_t first = ignoreCase ? markup::foldCase(name[0]) : name[0];
  for (int k = 0; k < t.count; ++k) {
    const AttribTable::Slot& s = t.slots[k];
    if (plain && static_cast<size_t>(s.nameLen) != plainLen) continue;
    const char16_t c0 = ignoreCase ? markup::foldCase(d[s.nameStart]) : d[s.nameStart];
    if (c0 != first) continue;
    const bool match = plain && !ignoreCase
                           ? std::char_traits<char16_t>::compare(d + s.nameStart, name, plainLen) == 0
                           : nameMatches(s.nameStart, s.nameLen, name);
    if (match) {
      valueStart = s.valueStart;
      valueLen = s.valueLen;
      quote = s.quote;
      return true;
    }
  }
  return false;
}

namespace {

// The first of `count` entries whose name, in the start tag at `tag`, matches `name` by the
// element-name rule; -1 when none does. The first character is held in the entry, so most
// entries are passed over without reading the text.
template <bool IgnoreCase>
inline int matchRecorded(const AttribEntry* e, int count, const char16_t* tag, const WCHAR* name) {
  auto fold = [](char16_t c) { return IgnoreCase ? markup::foldCase(c) : c; };
  const char16_t c0 = fold(name[0]);
  for (int k = 0; k < count; ++k) {
    if (fold(e[k].NameFirst) != c0) continue;
    const char16_t* t = tag + e[k].NameAt;
    const size_t len = e[k].NameLen;
    size_t i = 1;
    // Recorded names hold no NUL: the end of `name` never matches a character of the text.
    while (i < len && fold(name[i]) == fold(t[i])) ++i;
    if (i == len && markup::endsGivenName(name[len])) return k;
  }
  return -1;
}

}  // namespace

// The attribute `name` among the recorded entries of the element: the index of its entry, -1
// when the element has no such attribute, -2 when its attributes are not recorded. The entries
// are the attributes the general search finds, in its order, so the first match is the same.
__attribute__((always_inline)) inline int CMarkup::recordedAttrib(int index, const WCHAR* name) const {
  const AttribSpan span = AttribSpans[static_cast<size_t>(index)];
  if (span.Count < 0) return -2;
  const char16_t* tag = Doc.data() + elem(index).Start;
  const AttribEntry* e = AttribEntries.data() + span.First;
  const int k = (DocFlags & MDF_IGNORECASE) ? matchRecorded<true>(e, span.Count, tag, name)
                                            : matchRecorded<false>(e, span.Count, tag, name);
  return k < 0 ? -1 : static_cast<int>(span.First) + k;
}

// The usual read, a recorded value without references, is one copy; the rest is `valueOther`,
// kept out of line so that the usual read stays small.
std::u16string CMarkup::attribOf(int index, MCD_CSTR name) const {
  if (!index || name.empty()) return {};
  const int k = recordedAttrib(index, name);
  if (k >= 0) {
    const AttribEntry& a = AttribEntries[static_cast<size_t>(k)];
    if (!a.HasRef) return copyOf(Doc.data() + elem(index).Start + a.ValueAt, a.ValueLen);
  }
  std::u16string out;
  if (k != -1) valueOther(index, k, name, out);
  return out;
}

bool CMarkup::attribInto(int index, MCD_CSTR name, std::u16string& value) const {
  value.clear();
  if (!index || name.empty()) return false;
  const int k = recordedAttrib(index, name);
  if (k >= 0) {
    const AttribEntry& a = AttribEntries[static_cast<size_t>(k)];
    if (!a.HasRef) {
      assignCopy(value, Doc.data() + elem(index).Start + a.ValueAt, a.ValueLen);
      return true;
    }
  }
  return k != -1 && valueOther(index, k, name, value);
}

// The value of recorded entry `k` holding references, or (k -2) of an element whose attributes
// are not recorded, found in its start tag; into `out`, which is empty. False: no such attribute.
__attribute__((noinline)) bool CMarkup::valueOther(int index, int k, const WCHAR* name, std::u16string& out) const {
  if (k >= 0) {
    const AttribEntry& a = AttribEntries[static_cast<size_t>(k)];
    markup::unescapeInto(out, Doc.data() + elem(index).Start + a.ValueAt, a.ValueLen);
    return true;
  }
  int vs = 0, vl = 0, q = 0;
  if (!findAttribCached(index, name, vs, vl, q)) return false;
  const char16_t* v = Doc.data() + vs;
  const size_t n = static_cast<size_t>(vl);
  // Most values hold no reference: one copy.
  if (findChar(v, 0, n, u'&') == n)
    assignCopy(out, v, n);
  else
    markup::unescapeInto(out, v, n);
  return true;
}

std::u16string CMarkup::dataOf(int index) const {
  if (!index) return {};
  const ElemPos& el = elem(index);
  if (el.FirstChild || el.ContentLen() <= 0) return {};
  const char16_t* d = Doc.data();
  size_t i = static_cast<size_t>(el.ContentStart());
  size_t end = i + static_cast<size_t>(el.ContentLen());
  // The data is never longer than the content: written in place, cut to size at the end.
  std::u16string out;
  out.resize(end - i);
  char16_t* o = out.data();
  while (i < end) {
    size_t lt = findChar(d, i, end, u'<');
    o += markup::unescapeTo(o, d + i, lt - i);
    if (lt >= end) break;
    std::u16string_view rest(d + lt, end - lt);
    if (rest.starts_with(u"<![CDATA[")) {
      size_t close = findText(d, lt + 9, end, u"]]>");
      std::char_traits<char16_t>::copy(o, d + lt + 9, close - (lt + 9));
      o += close - (lt + 9);
      i = std::min(end, close + 3);
    } else if (rest.starts_with(u"<!--")) {
      i = std::min(end, findText(d, lt + 4, end, u"-->") + 3);
    } else if (rest.starts_with(u"<?")) {
      i = std::min(end, findText(d, lt + 2, end, u"?>") + 2);
    } else if (rest.size() > 1 && (markup::startsName(rest[1]) || rest[1] == u'/' || rest[1] == u'!')) {
      // Other markup (a stray end tag of an ill-formed document) is not data.
      i = std::min(end, findChar(d, lt, end, u'>') + 1);
    } else {
      *o++ = u'<';
      i = lt + 1;
    }
  }
  out.resize(static_cast<size_t>(o - out.data()));
  return out;
}

// ---------------------------------------------------------------------------------------------
// Writing

void CMarkup::splice(int offset, int removeLen, const std::u16string& text) {
  splice(offset, removeLen, text.data(), text.size());
}

void CMarkup::splice(int offset, int removeLen, const char16_t* text, size_t len) {
  reserveDoc(Doc.size() - static_cast<size_t>(removeLen) + len);
  Doc.replace(static_cast<size_t>(offset), static_cast<size_t>(removeLen), text, len);
  newStamp();
}

inline void CMarkup::reserveDoc(size_t needed) {
  if (needed > Doc.capacity()) {
    // A document being built grows by four times while it is below 8M characters: each growth
    // copies the text into the text a gone document left, or into fresh memory, where room not
    // yet written costs nothing.
    const size_t by = Doc.capacity() < (size_t{1} << 23) ? 4 : 2;
    const size_t grown = std::max(needed, Doc.capacity() * by);
    if (markup::takeSpareText(Doc, needed, grown)) return;
    Doc.reserve(grown);
    plat::adviseHugePages(Doc.data(), Doc.capacity() * sizeof(char16_t));
  }
}

// Opens `len` characters of room at `offset` (what follows moves up) and returns where they start,
// for the caller to write them in place.
inline char16_t* CMarkup::openRoom(int offset, size_t len) {
  const size_t size = Doc.size();
  reserveDoc(size + len);
  const auto at = static_cast<size_t>(offset);
  // The room is not filled: the caller writes all of it. What follows is mostly an end tag or two.
  Doc.resize_and_overwrite(size + len, [at, len, size](char16_t* d, size_t) {
    markup::moveShort(d + at, size - at, d + at + len);
    return size + len;
  });
  newStamp();
  return Doc.data() + offset;
}

namespace {

// Whether `p` points into `text` (its terminating NUL included): such an argument must be read
// before the text changes.
inline bool pointsInto(const std::u16string& text, const WCHAR* p) {
  const auto a = reinterpret_cast<uintptr_t>(p);
  const auto lo = reinterpret_cast<uintptr_t>(text.data());
  return a >= lo && a <= lo + text.size() * sizeof(char16_t);
}

}  // namespace

void CMarkup::shiftSubtree(int index, int delta) {
  int x = index;
  for (;;) {
    elem(x).Start += delta;
    if (elem(x).FirstChild) {
      x = elem(x).FirstChild;
      continue;
    }
    while (x != index && !elem(x).Next) x = elem(x).Parent;
    if (x == index) break;
    x = elem(x).Next;
  }
}

// After a change of `delta` characters inside `parent`, in front of `firstSibling` (0: after
// the last child): the siblings from there on move, and every enclosing element grows, with
// the elements that follow each of them.
inline void CMarkup::shiftFrom(int parent, int firstSibling, int delta) {
  for (int s = firstSibling; s; s = elem(s).Next) shiftSubtree(s, delta);
  for (int p = parent;; p = elem(p).Parent) {
    elem(p).Length += delta;
    if (p == 0) break;
    for (int s = elem(p).Next; s; s = elem(s).Next) shiftSubtree(s, delta);
  }
}

// Turns "<name/>" (or a start tag without end tag) into "<name></name>". Only the end of the
// start tag is rewritten: what comes before it (the name and the attributes) stays in place.
// `content` (at most an end tag's length plus eight characters) is written in the same splice as
// the element's content: the caller records what it holds.
bool CMarkup::openEmptyElement(int index, bool lineBreak, const char16_t* content, size_t contentLen) {
  ElemPos& el = elem(index);
  int s = el.Start;
  int nameLen = tagNameLen(s + 1);
  if (nameLen + 3 > ElemPos::kMaxEndTagLen) return false;
  int tagEnd = s + el.StartTagLen() - 1;  // ">"
  int keep = tagEnd;
  if (!(el.Flags & MNF_NONENDED) && keep > s + 1 + nameLen && Doc[static_cast<size_t>(keep - 1)] == u'/') {
    --keep;
    while (keep > s + 1 + nameLen && isSpace(Doc[static_cast<size_t>(keep - 1)])) --keep;
  }
  // An element without end tag is its start tag alone. The new end is put together on the stack
  // (the name fits an end tag, so it is short) and spliced in once.
  char16_t tail[2 * ElemPos::kMaxEndTagLen + 11];
  char16_t* out = tail;
  *out++ = u'>';
  if (lineBreak) {
    *out++ = u'\r';
    *out++ = u'\n';
  }
  out = std::copy_n(content, contentLen, out);
  *out++ = u'<';
  *out++ = u'/';
  out = copyShort(Doc.data() + s + 1, static_cast<size_t>(nameLen), out);
  *out++ = u'>';
  const size_t tailLen = static_cast<size_t>(out - tail);
  int oldLen = el.Length;
  int newLen = keep - s + static_cast<int>(tailLen);
  int delta = newLen - oldLen;
  splice(keep, s + oldLen - keep, tail, tailLen);
  el.SetStartTagLen(keep - s + 1);
  el.SetEndTagLen(nameLen + 3);
  el.Length = newLen;
  el.Flags &= ~MNF_NONENDED;
  int parent = el.Parent;
  int next = el.Next;
  // The element itself already has its new length; only what encloses and follows it moves.
  for (int x = next; x; x = elem(x).Next) shiftSubtree(x, delta);
  for (int p = parent;; p = elem(p).Parent) {
    elem(p).Length += delta;
    if (p == 0) break;
    for (int x = elem(p).Next; x; x = elem(x).Next) shiftSubtree(x, delta);
  }
  return true;
}

bool CMarkup::insertElem(MCD_CSTR nameArg, MCD_CSTR dataArg, int flags, bool before, bool child) {
  if (nameArg.empty()) return false;
  const WCHAR* name = nameArg.c_str();
  const size_t nameLen = std::char_traits<char16_t>::length(name);
  if (static_cast<long long>(nameLen) + 3 > ElemPos::kMaxEndTagLen) return false;
  int parent, ref;
  if (child) {
    if (!Pos) return false;
    parent = Pos;
    ref = PosChild;
  } else {
    parent = PosParent;
    ref = Pos;
  }

  // The new element's text, in a buffer kept by the thread, with room for a line break in front
  // (used when the element opens a parent's content) and the line break after it. It is complete
  // before the document changes, so the data may even be a piece of the document itself.
  const bool lines = !(flags & MNF_WITHNOLINES);
  std::u16string& text = t_editText;
  text.clear();
  int startLen, endLen = 0;
  bool nonEnded = false;
  // An empty element named by a string of the caller's own is written straight into the document
  // once its place is known; the buffer is for data and for a name taken from the document.
  const char16_t* emptyEnd = nullptr;
  size_t emptyEndLen = 0;
  const bool direct = dataArg.empty() && !pointsInto(Doc, name);
  if (dataArg.empty()) {
    if (flags & MNF_WITHNOEND) {
      emptyEnd = u">";
      nonEnded = true;
    } else {
      emptyEnd = (flags & MNF_WITHXHTMLSPACE) ? u" />" : u"/>";
    }
    emptyEndLen = std::char_traits<char16_t>::length(emptyEnd);
    startLen = static_cast<int>(1 + nameLen + emptyEndLen);
    if (!direct) {
      text += u"\r\n<";
      text.append(name, nameLen);
      text.append(emptyEnd, emptyEndLen);
    }
  } else {
    text += u"\r\n<";
    text.append(name, nameLen);
    text += u">";
    startLen = static_cast<int>(text.size()) - 2;
    if (flags & MNF_WITHCDATA)
      appendCdata(text, dataArg.c_str());
    else
      escapeAppend(text, dataArg.c_str(), flags & (MNF_WITHREFS | MNF_ESCAPEQUOTES));
    text += u"</";
    text.append(name, nameLen);
    text += u'>';
    endLen = static_cast<int>(nameLen) + 3;
  }
  const size_t elemLen = direct ? static_cast<size_t>(startLen) : text.size() - 2;
  // A plain tag name leaves nothing after it but the tag's end: the new element has no attributes.
  const bool plainName =
      std::none_of(name, name + nameLen, [](char16_t c) { return endsName(c) || c == u'"' || c == u'\''; });
  if (lines && !direct) text += u"\r\n";
  if (Doc.size() + elemLen + 4 > static_cast<size_t>(INT_MAX)) return false;

  // Where it goes among its siblings.
  int first = elem(parent).FirstChild;
  int prevSib, nextSib;
  if (before) {
    nextSib = ref ? ref : first;
    prevSib = (nextSib && nextSib != first) ? elem(nextSib).Prev : 0;
  } else {
    prevSib = ref ? ref : (first ? elem(first).Prev : 0);
    nextSib = prevSib ? elem(prevSib).Next : 0;
  }
  bool lead = false;
  bool opened = false;  // the parent was opened with the new element inside
  int offset;
  if (prevSib) {
    offset = elem(prevSib).End();
    if (lines) {
      int n = static_cast<int>(Doc.size());
      int k = offset;
      while (k < n && isSpace(Doc[static_cast<size_t>(k)])) ++k;
      if (k == n || Doc[static_cast<size_t>(k)] == u'<') offset = k;
    }
  } else if (nextSib) {
    offset = elem(nextSib).Start;
  } else if (parent == 0) {
    offset = static_cast<int>(Doc.size());
    lead = lines && offset > 0 && Doc.back() != u'\n';
  } else if (direct && elem(parent).EndTagLen() == 0) {
    // Opening the empty parent and writing its first child are one splice, with one walk up.
    char16_t childText[ElemPos::kMaxEndTagLen + 8];
    char16_t* out = childText;
    if (lines) {
      *out++ = u'\r';
      *out++ = u'\n';
    }
    *out++ = u'<';
    out = copyShort(name, nameLen, out);
    for (size_t i = 0; i < emptyEndLen; ++i) *out++ = emptyEnd[i];  // at most " />"
    if (lines) {
      *out++ = u'\r';
      *out++ = u'\n';
    }
    if (!openEmptyElement(parent, false, childText, static_cast<size_t>(out - childText))) return false;
    offset = elem(parent).ContentStart();
    lead = lines;
    opened = true;
  } else {
    if (elem(parent).EndTagLen() == 0 && !openEmptyElement(parent, false)) return false;
    const ElemPos& p = elem(parent);
    offset = p.Start + p.Length - p.EndTagLen();
    lead = lines && p.ContentLen() == 0;
  }

  const int at = offset + (lead ? 2 : 0);
  int insertedLen = 0;
  if (opened) {
    // Written, and the enclosing elements moved, with the parent's end tag.
  } else if (direct) {
    insertedLen = static_cast<int>(elemLen) + (lead ? 2 : 0) + (lines ? 2 : 0);
    char16_t* out = openRoom(offset, static_cast<size_t>(insertedLen));
    if (lead) {
      *out++ = u'\r';
      *out++ = u'\n';
    }
    *out++ = u'<';
    out = copyShort(name, nameLen, out);
    for (size_t i = 0; i < emptyEndLen; ++i) *out++ = emptyEnd[i];  // at most " />"
    if (lines) {
      *out++ = u'\r';
      *out = u'\n';
    }
  } else {
    const size_t skip = lead ? 0 : 2;
    insertedLen = static_cast<int>(text.size() - skip);
    splice(offset, 0, text.data() + skip, text.size() - skip);
    if (text.capacity() > 65536) std::u16string().swap(text);  // a huge element is not kept for ever
  }
  if (!opened) shiftFrom(parent, nextSib, insertedLen);

  int x = newPos();
  if (plainName) recordSpan(x, static_cast<uint32_t>(AttribEntries.size()), 0);
  ElemPos& el = elem(x);
  el.Start = at;
  el.Length = static_cast<int>(elemLen);
  el.SetStartTagLen(startLen);
  el.SetEndTagLen(endLen);
  el.Flags = nonEnded ? static_cast<uint32_t>(MNF_NONENDED) : 0u;
  el.Parent = parent;
  ElemPos& p = elem(parent);
  if (!prevSib) {
    int oldFirst = p.FirstChild;
    p.FirstChild = x;
    if (oldFirst) {
      el.Prev = elem(oldFirst).Prev;
      elem(oldFirst).Prev = x;
      el.Next = oldFirst;
    } else {
      el.Prev = x;
      el.Next = 0;
    }
  } else {
    el.Prev = prevSib;
    el.Next = elem(prevSib).Next;
    elem(prevSib).Next = x;
    if (el.Next)
      elem(el.Next).Prev = x;
    else
      elem(p.FirstChild).Prev = x;
  }

  if (child) {
    PosChild = x;
  } else {
    Pos = x;
    PosChild = 0;
    NodeType = MNT_ELEMENT;
    NodeOffset = NodeLength = 0;
  }
  return true;
}

bool CMarkup::AddElem(MCD_CSTR name, int data, int flags) { return AddElem(name, DecimalText(data), flags); }
bool CMarkup::InsertElem(MCD_CSTR name, int data, int flags) { return InsertElem(name, DecimalText(data), flags); }
bool CMarkup::AddChildElem(MCD_CSTR name, int data, int flags) {
  return AddChildElem(name, DecimalText(data), flags);
}
bool CMarkup::InsertChildElem(MCD_CSTR name, int data, int flags) {
  return InsertChildElem(name, DecimalText(data), flags);
}

bool CMarkup::removeElemAt(int index) {
  if (!index) return false;
  const ElemPos& el = elem(index);
  int start = el.Start;
  int len = el.Length;
  // The line break written after an element goes with it.
  int n = static_cast<int>(Doc.size());
  int k = start + len;
  while (k < n && isSpace(Doc[static_cast<size_t>(k)])) ++k;
  if (k == n || Doc[static_cast<size_t>(k)] == u'<') len = k - start;

  int parent = el.Parent;
  int next = el.Next;
  ElemPos& p = elem(parent);
  int first = p.FirstChild;
  if (index == first) {
    p.FirstChild = next;
    if (next) elem(next).Prev = el.Prev;
  } else {
    elem(el.Prev).Next = next;
    if (next)
      elem(next).Prev = el.Prev;
    else
      elem(first).Prev = el.Prev;
  }
  splice(start, len, std::u16string());
  shiftFrom(parent, next, -len);
  releaseSubtree(index);
  if (AttribGarbage >= 4096) compactAttribs();  // the usual case returns at once: no call
  return true;
}

bool CMarkup::RemoveElem() {
  if (!Pos) return false;
  int prev = Pos == elem(PosParent).FirstChild ? 0 : elem(Pos).Prev;
  if (!removeElemAt(Pos)) return false;
  Pos = prev;
  PosChild = 0;
  NodeType = Pos ? MNT_ELEMENT : 0;
  NodeOffset = NodeLength = 0;
  return true;
}

bool CMarkup::RemoveChildElem() {
  if (!PosChild) return false;
  int prev = PosChild == elem(Pos).FirstChild ? 0 : elem(PosChild).Prev;
  if (!removeElemAt(PosChild)) return false;
  PosChild = prev;
  return true;
}

bool CMarkup::setAttribOf(int index, MCD_CSTR name, MCD_CSTR value) {
  if (!index || name.empty()) return false;
  // The recorded entry of the attribute, or -1 when the element's recorded attributes lack it.
  const int rec = recordedAttrib(index, name);
  if (rec == -1 && appendRecordedAttrib(index, name, value.c_str())) return true;
  int vs = 0, vl = 0, q = 0;
  int offset, removeLen;
  size_t nameLen = 0;  // of a new attribute
  // The new text is put together in a buffer kept by the thread, so that writing an attribute
  // costs no heap string once the buffer has grown. It is complete before the document changes,
  // so the value may even be a piece of the document itself.
  std::u16string& text = t_editText;
  text.clear();
  bool found;
  if (rec >= 0) {
    const AttribEntry& a = AttribEntries[static_cast<size_t>(rec)];
    vs = elem(index).Start + static_cast<int>(a.ValueAt);
    vl = static_cast<int>(a.ValueLen);
    q = a.Quote();
    found = true;
  } else {
    found = rec == -1 ? false : findAttrib(index, name, vs, vl, q);
  }
  if (found) {
    offset = vs;
    removeLen = vl;
    if (!q) text += u'"';
    escapeAppend(text, value.c_str(), MNF_ESCAPEQUOTES);
    if (!q) text += u'"';
    // A bare value reads up to the ">", so in "<a b=1/>" it takes the "/" along; replacing it
    // must leave the "/" that makes the element empty, or the document loses its structure.
    const ElemPos& el = elem(index);
    if (!q && vl > 0 && el.EndTagLen() == 0 && !(el.Flags & MNF_NONENDED) &&
        vs + vl == el.Start + el.StartTagLen() - 1 && Doc[static_cast<size_t>(vs + vl - 1)] == u'/')
      --removeLen;
  } else {
    const ElemPos& el = elem(index);
    int nameEnd = el.Start + 1 + tagNameLen(el.Start + 1);
    int k = el.Start + el.StartTagLen() - 1;  // ">"
    if (!(el.Flags & MNF_NONENDED) && el.EndTagLen() == 0 && k > nameEnd && Doc[static_cast<size_t>(k - 1)] == u'/') {
      --k;
      while (k > nameEnd && isSpace(Doc[static_cast<size_t>(k - 1)])) --k;
    }
    offset = k;
    removeLen = 0;
    nameLen = std::char_traits<char16_t>::length(name.c_str());
    text += u' ';
    text.append(name.c_str(), nameLen);
    text += u"=\"";
    escapeAppend(text, value.c_str(), MNF_ESCAPEQUOTES);
    text += u'"';
  }
  int delta = static_cast<int>(text.size()) - removeLen;
  ElemPos& el = elem(index);
  if (static_cast<long long>(el.StartTagLen()) + delta > ElemPos::kMaxStartTagLen) return false;
  if (Doc.size() + text.size() > static_cast<size_t>(INT_MAX)) return false;
  splice(offset, removeLen, text);
  if (rec != -2) followAttribEdit(index, rec, nameLen, offset, text);
  if (text.capacity() > 65536) std::u16string().swap(text);  // a huge value is not kept for ever
  el.SetStartTagLen(el.StartTagLen() + delta);
  el.Length += delta;
  for (int c = el.FirstChild; c; c = elem(c).Next) shiftSubtree(c, delta);
  shiftFrom(el.Parent, el.Next, delta);
  return true;
}

// A new attribute for an element whose attributes are recorded, in the usual case of a plain name
// and a value with nothing to escape: written straight into the document and recorded, with the
// same text and entry the general way gives. False (nothing changed) for any other case.
bool CMarkup::appendRecordedAttrib(int index, const WCHAR* name, const WCHAR* value) {
  // Every character that ends an attribute name, and every one a value must escape, is below
  // "@": one bit test each.
  constexpr uint64_t kNameEnds = (1ull << ' ') | (1ull << '\t') | (1ull << '\r') | (1ull << '\n') | (1ull << '=') |
                                 (1ull << '/') | (1ull << '>') | (1ull << '"') | (1ull << '\'') | (1ull << '<');
  constexpr uint64_t kEscaped = (1ull << '<') | (1ull << '>') | (1ull << '&') | (1ull << '"') | (1ull << '\'');
  // The terminator is one more such character: each scan stops at the first of them, and only
  // then is it told apart.
  size_t nameLen = 0;
  while (!(name[nameLen] < 64 && (((kNameEnds | 1) >> name[nameLen]) & 1))) ++nameLen;
  if (name[nameLen] != 0) return false;
  size_t valueLen = 0;
  while (!(value[valueLen] < 64 && (((kEscaped | 1) >> value[valueLen]) & 1))) ++valueLen;
  if (value[valueLen] != 0) return false;
  if (nameLen > 0xFFFF || pointsInto(Doc, name) || pointsInto(Doc, value)) return false;
  const size_t len = nameLen + valueLen + 4;  // ` name="value"`
  ElemPos& el = elem(index);
  if (static_cast<long long>(el.StartTagLen()) + static_cast<long long>(len) > ElemPos::kMaxStartTagLen) return false;
  if (Doc.size() + len > static_cast<size_t>(INT_MAX)) return false;

  // In front of the tag's ">", or of the "/>" (and the spaces before it) of an empty element.
  // The tag name holds neither "/" nor white space, so walking back from the "/" stops at the
  // name's end without measuring the name; only an empty name lets it reach the "<" side.
  int k = el.Start + el.StartTagLen() - 1;
  if (!(el.Flags & MNF_NONENDED) && el.EndTagLen() == 0 && k > el.Start + 1 &&
      Doc[static_cast<size_t>(k - 1)] == u'/') {
    --k;
    while (k > el.Start + 1 && isSpace(Doc[static_cast<size_t>(k - 1)])) --k;
  }
  char16_t* out = openRoom(k, len);
  *out++ = u' ';
  out = copyShort(name, nameLen, out);
  *out++ = u'=';
  *out++ = u'"';
  out = copyShort(value, valueLen, out);
  *out = u'"';

  AttribSpan& span = AttribSpans[static_cast<size_t>(index)];
  if (span.First + static_cast<size_t>(span.Count) != AttribEntries.size()) {
    // The element's entries must end the table to take one more: moved there when they do not.
    const size_t from = span.First;
    const size_t count = static_cast<size_t>(span.Count);
    reserveEntries(count + 1);
    for (size_t i = 0; i < count; ++i) AttribEntries.push_back(AttribEntries[from + i]);
    span.First = static_cast<uint32_t>(AttribEntries.size() - count);
    AttribGarbage += count;
  }
  const auto at = static_cast<uint32_t>(k - el.Start);
  AttribEntries.push_back({at + 1, at + static_cast<uint32_t>(nameLen) + 3, static_cast<uint32_t>(valueLen), 0u, 0u,
                           static_cast<uint16_t>(nameLen), name[0]});
  ++span.Count;
  if (AttribGarbage >= 4096) compactAttribs();  // the usual case returns at once: no call

  const int delta = static_cast<int>(len);
  el.SetStartTagLen(el.StartTagLen() + delta);
  el.Length += delta;
  for (int c = el.FirstChild; c; c = elem(c).Next) shiftSubtree(c, delta);
  shiftFrom(el.Parent, el.Next, delta);
  return true;
}

// Keeps the recorded attributes of `index` right after `text` was written at `offset` of its
// start tag: as the new value of entry `rec`, or (rec -1) as a new attribute ` name="value"` whose
// name has `nameLen` characters. The name is read from `text`: the caller's may have been a piece
// of the document, moved or freed by the edit.
void CMarkup::followAttribEdit(int index, int rec, size_t nameLen, int offset, const std::u16string& text) {
  const int start = elem(index).Start;
  AttribSpan& span = AttribSpans[static_cast<size_t>(index)];
  if (rec >= 0) {
    // A recorded value is always quoted: the escaped text replaces it between its quotes, and
    // the attributes after it move.
    AttribEntry& a = AttribEntries[static_cast<size_t>(rec)];
    const int delta = static_cast<int>(text.size()) - static_cast<int>(a.ValueLen);
    a.ValueLen = static_cast<uint32_t>(text.size());
    a.HasRef = findChar(text.data(), 0, text.size(), u'&') != text.size();
    const size_t end = span.First + static_cast<size_t>(span.Count);
    for (size_t k = static_cast<size_t>(rec) + 1; k < end; ++k) {
      AttribEntries[k].NameAt += static_cast<uint32_t>(delta);
      AttribEntries[k].ValueAt += static_cast<uint32_t>(delta);
    }
    return;
  }
  // A name that reads back as one attribute name is recorded; any other leaves the tag to be read.
  const char16_t* name = text.data() + 1;
  bool plain = true;
  for (size_t i = 0; i < nameLen; ++i)
    if (endsAttribName(name[i]) || name[i] == u'<' || name[i] == 0) plain = false;
  if (!plain || nameLen > 0xFFFF) {
    forgetAttribs(index);
    return;
  }
  // The element's entries must end the table to take one more: moved there when they do not.
  if (span.First + static_cast<size_t>(span.Count) != AttribEntries.size()) {
    const size_t from = span.First;
    const size_t count = static_cast<size_t>(span.Count);
    reserveEntries(count + 1);
    for (size_t k = 0; k < count; ++k) AttribEntries.push_back(AttribEntries[from + k]);
    span.First = static_cast<uint32_t>(AttribEntries.size() - count);
    AttribGarbage += count;
  }
  const size_t valueLen = text.size() - nameLen - 4;  // ` name="` ... `"`
  const size_t valueAt = nameLen + 3;
  AttribEntries.push_back({static_cast<uint32_t>(offset + 1 - start),
                           static_cast<uint32_t>(offset - start) + static_cast<uint32_t>(valueAt),
                           static_cast<uint32_t>(valueLen),
                           findChar(text.data(), valueAt, valueAt + valueLen, u'&') != valueAt + valueLen ? 1u : 0u,
                           0u, static_cast<uint16_t>(nameLen), name[0]});
  ++span.Count;
  if (AttribGarbage >= 4096) compactAttribs();  // the usual case returns at once: no call
}

bool CMarkup::SetAttrib(MCD_CSTR name, int value) { return SetAttrib(name, DecimalText(value)); }
bool CMarkup::SetChildAttrib(MCD_CSTR name, int value) { return SetChildAttrib(name, DecimalText(value)); }
bool CMarkup::AddAttrib(MCD_CSTR name, int value) { return AddAttrib(name, DecimalText(value)); }
bool CMarkup::AddChildAttrib(MCD_CSTR name, int value) { return AddChildAttrib(name, DecimalText(value)); }

bool CMarkup::setDataOf(int index, MCD_CSTR value, int flags) {
  if (!index || elem(index).FirstChild) return false;
  std::u16string content;
  if (!value.empty()) {
    if (flags & MNF_WITHCDATA)
      appendCdata(content, value.c_str());
    else
      escapeAppend(content, value.c_str(), flags & (MNF_WITHREFS | MNF_ESCAPEQUOTES));
  }
  if (Doc.size() + content.size() > static_cast<size_t>(INT_MAX)) return false;
  if (elem(index).EndTagLen() == 0) {
    if (content.empty()) return true;
    if (!openEmptyElement(index, false)) return false;
  }
  ElemPos& el = elem(index);
  int delta = static_cast<int>(content.size()) - el.ContentLen();
  splice(el.ContentStart(), el.ContentLen(), content);
  el.Length += delta;
  shiftFrom(el.Parent, el.Next, delta);
  return true;
}

bool CMarkup::SetData(int value, int flags) { return SetData(DecimalText(value), flags); }
bool CMarkup::SetChildData(int value, int flags) { return SetChildData(DecimalText(value), flags); }

// ---------------------------------------------------------------------------------------------
// Escaping

namespace {

bool refStartChar(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'#' || c == u'_' || c == u':' || c > 0x7F;
}

bool refChar(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' ||
         c == u'.' || c == u'_' || c == u':' || c > 0x7F;
}

}  // namespace

// Appends `text` escaped to `out`.
void CMarkup::escapeAppend(std::u16string& out, const WCHAR* text, int flags) {
  // Most texts hold nothing to escape: measured and copied in one piece up to the first
  // character that may need it.
  const bool quotes = (flags & MNF_ESCAPEQUOTES) != 0;
  size_t plain = 0;
  for (char16_t c; (c = text[plain]) != 0; ++plain)
    if (c == u'<' || c == u'>' || c == u'&' || (quotes && (c == u'"' || c == u'\''))) break;
  out.reserve(out.size() + plain + (text[plain] ? 16 : 0));
  out.append(text, plain);
  for (size_t i = plain; text[i]; ++i) {
    char16_t c = text[i];
    switch (c) {
      case u'<': out += u"&lt;"; break;
      case u'>': out += u"&gt;"; break;
      case u'&': {
        if (flags & MNF_WITHREFS && refStartChar(text[i + 1])) {
          size_t k = i + 2;
          while (text[k] && refChar(text[k])) ++k;
          if (text[k] == u';') {
            out.append(text + i, k + 1 - i);
            i = k;
            break;
          }
        }
        out += u"&amp;";
        break;
      }
      case u'\'':
        if (flags & MNF_ESCAPEQUOTES) out += u"&apos;"; else out += c;
        break;
      case u'"':
        if (flags & MNF_ESCAPEQUOTES) out += u"&quot;"; else out += c;
        break;
      default:
        out += c;
    }
  }
}

std::u16string CMarkup::EscapeText(MCD_CSTR textArg, int flags) {
  std::u16string out;
  escapeAppend(out, textArg.c_str(), flags);
  return out;
}

std::u16string CMarkup::UnescapeText(MCD_CSTR textArg, int length) {
  const WCHAR* text = textArg.c_str();
  size_t n = length < 0 ? std::char_traits<char16_t>::length(text) : static_cast<size_t>(length);
  std::u16string out;
  markup::unescapeInto(out, text, n);
  return out;
}
