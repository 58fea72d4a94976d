// CMarkup: the XML document of the shell. The whole document is one UTF-16 string plus an index
// of element positions; a cursor (parent, main, child) walks forward through sibling elements.
// Edits splice the string in place and shift the index, so a saved document keeps everything it
// had (comments, declarations, spacing) except what was changed.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "plat_types.h"
#include "spare_memory.h"

// Names and texts handed to CMarkup: a plain wide-character pointer, or a wide string (the
// wrapper only borrows the string's buffer for the duration of the call).
class MCD_CSTR {
 public:
  MCD_CSTR() = default;
  MCD_CSTR(const WCHAR* text) : text_(text) {}                     // NOLINT(google-explicit-constructor)
  MCD_CSTR(const std::u16string& text) : text_(text.c_str()) {}    // NOLINT(google-explicit-constructor)
  operator const WCHAR*() const { return text_; }                  // NOLINT(google-explicit-constructor)
  const WCHAR* c_str() const { return text_ ? text_ : u""; }
  bool empty() const { return text_ == nullptr || *text_ == 0; }

 private:
  const WCHAR* text_ = nullptr;
};

// Helpers of the class that only the library itself calls: not exported, so that calls between
// them are direct and can be inlined.
#if defined(__GNUC__)
#define MARKUP_LOCAL __attribute__((visibility("hidden")))
#else
#define MARKUP_LOCAL
#endif

namespace markup {

// A growable array of plain records in one block of memory that grows with realloc, so that a
// large table grows in place (or by remapping) instead of being copied into fresh memory. A large
// block is taken from, and given back to, the blocks kept for the next document.
template <class T>
class PodVector {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

 public:
  PodVector() = default;
  PodVector(const PodVector& other) { *this = other; }
  PodVector& operator=(const PodVector& other) {
    if (this != &other) {
      clear();
      reserve(other.size_);
      if (other.size_) std::memcpy(static_cast<void*>(data_), other.data_, other.size_ * sizeof(T));
      size_ = other.size_;
    }
    return *this;
  }
  PodVector(PodVector&& other) noexcept { swap(other); }
  PodVector& operator=(PodVector&& other) noexcept {
    swap(other);
    return *this;
  }
  ~PodVector() { keepSpareBlock(data_, capacity_ * sizeof(T)); }

  size_t size() const { return size_; }
  size_t capacity() const { return capacity_; }
  bool empty() const { return size_ == 0; }
  T* data() { return data_; }
  const T* data() const { return data_; }
  T* begin() { return data_; }
  T* end() { return data_ + size_; }
  T& operator[](size_t i) { return data_[i]; }
  const T& operator[](size_t i) const { return data_[i]; }
  void clear() { size_ = 0; }
  void swap(PodVector& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
  }

  void reserve(size_t n) {
    if (n <= capacity_) return;
    size_t got = 0;
    data_ = static_cast<T*>(growBlock(data_, size_ * sizeof(T), capacity_ * sizeof(T), n * sizeof(T), got));
    capacity_ = got / sizeof(T);
  }
  // By value: the record may be one of this array's own.
  void push_back(T value) {
    if (size_ == capacity_) reserve(capacity_ ? capacity_ * 2 : 16);
    data_[size_++] = value;
  }
  void emplace_back() { push_back(T{}); }
  // New records are value-initialised.
  void resize(size_t n) {
    if (n > capacity_) reserve(std::max(n, capacity_ * 2));
    for (size_t i = size_; i < n; ++i) data_[i] = T{};
    size_ = n;
  }

 private:
  T* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

// Where one attribute of a start tag lies, counted from the element's "<" so that the entry stays
// right when the element moves.
struct AttribEntry {
  uint32_t NameAt;
  uint32_t ValueAt;
  uint32_t ValueLen : 30;
  uint32_t HasRef : 1;       // the value holds an "&": it must be unescaped
  uint32_t SingleQuote : 1;  // the value is in single quotes (else double)
  uint16_t NameLen;
  char16_t NameFirst;        // the name's first character, compared before the name is read
  char16_t Quote() const { return SingleQuote ? u'\'' : u'"'; }
};

// An element's entries: `Count` of them from `First`. -1: not recorded, the start tag itself is
// read (a tag of another form than name="value" pairs, or one changed in a way not followed).
struct AttribSpan {
  uint32_t First = 0;
  int32_t Count = -1;
};

}  // namespace markup

class CMarkup {
 public:
  // Flags of the writing operations.
  enum {
    MNF_WITHCDATA = 1,      // data as a CDATA section
    MNF_WITHNOLINES = 2,    // no line break after the new element
    MNF_WITHXHTMLSPACE = 4, // empty element ends with " />"
    MNF_WITHREFS = 8,       // character references already in the data are kept
    MNF_WITHNOEND = 16,     // element without end tag (empty data only)
    MNF_ESCAPEQUOTES = 256, // also escape quotes
  };
  // Document flags.
  enum { MDF_IGNORECASE = 8 };
  // Node types.
  enum {
    MNT_ELEMENT = 1,
    MNT_TEXT = 2,
    MNT_WHITESPACE = 4,
    MNT_CDATA_SECTION = 8,
    MNT_PROCESSING_INSTRUCTION = 16,
    MNT_COMMENT = 32,
    MNT_DOCUMENT_TYPE = 64,
    MNT_LONE_END_TAG = 128,
  };
  // Element record flags.
  enum : uint32_t {
    MNF_NONENDED = 0x100000,    // written without end tag
    MNF_ILLDATA = 0x200000,     // the content holds an error
    MNF_ILLFORMED = 0x800000,   // the element or something inside it is ill-formed
  };

  // One element of the index. Index 0 stands for the document; its FirstChild is the root.
  struct ElemPos {
    int32_t Start = 0;       // offset of "<"
    int32_t Length = 0;      // up to and including the end tag
    uint32_t TagLens = 0;    // StartTagLen (low 22 bits) and EndTagLen (high 10 bits)
    uint32_t Flags = 0;
    int32_t Parent = 0;
    int32_t FirstChild = 0;
    int32_t Next = 0;
    int32_t Prev = 0;        // the first child's Prev is the last child

    static constexpr int32_t kMaxStartTagLen = 0x3FFFFF;
    static constexpr int32_t kMaxEndTagLen = 0x3FF;
    int32_t StartTagLen() const { return static_cast<int32_t>(TagLens & 0x3FFFFFu); }
    int32_t EndTagLen() const { return static_cast<int32_t>(TagLens >> 22); }
    void SetStartTagLen(int32_t n) { TagLens = (TagLens & ~0x3FFFFFu) | (static_cast<uint32_t>(n) & 0x3FFFFFu); }
    void SetEndTagLen(int32_t n) { TagLens = (TagLens & 0x3FFFFFu) | (static_cast<uint32_t>(n) << 22); }
    int32_t ContentStart() const { return Start + StartTagLen(); }
    int32_t ContentLen() const { return Length - StartTagLen() - EndTagLen(); }
    int32_t End() const { return Start + Length; }
  };

  CMarkup();
  explicit CMarkup(MCD_CSTR text);
  explicit CMarkup(int flags);
  CMarkup(const CMarkup& other);
  CMarkup& operator=(const CMarkup& other);
  CMarkup(CMarkup&& other) noexcept;
  CMarkup& operator=(CMarkup&& other) noexcept;
  ~CMarkup();

  bool Load(MCD_CSTR file);
  bool Save(MCD_CSTR file);
  bool SetDoc(const WCHAR* text);
  bool SetDoc(const std::u16string& text);
  // Takes over the text without copying it.
  bool SetDoc(std::u16string&& text);
  const std::u16string& GetDoc() const { return Doc; }
  bool IsWellFormed();
  const std::u16string& GetError() const { return Error; }
  int GetDocFlags() const { return DocFlags; }
  void SetDocFlags(int flags) { DocFlags = flags; }

  // Navigation.
  bool FindElem(MCD_CSTR name = MCD_CSTR());
  bool FindChildElem(MCD_CSTR name = MCD_CSTR());
  bool IntoElem();
  bool OutOfElem();
  void ResetPos();
  void ResetMainPos();
  void ResetChildPos() { PosChild = 0; }

  // Reading.
  std::u16string GetTagName() const { return tagNameOf(Pos); }
  std::u16string GetChildTagName() const { return tagNameOf(PosChild); }
  std::u16string GetAttrib(MCD_CSTR name) const { return attribOf(Pos, name); }
  std::u16string GetChildAttrib(MCD_CSTR name) const { return attribOf(PosChild, name); }
  // The same reads into the caller's string, whose buffer is reused: no heap string per value
  // once it has room. False (and `value` emptied) when the element or attribute is not there.
  bool GetAttrib(MCD_CSTR name, std::u16string& value) const { return attribInto(Pos, name, value); }
  bool GetChildAttrib(MCD_CSTR name, std::u16string& value) const { return attribInto(PosChild, name, value); }
  std::u16string GetData() const { return dataOf(Pos); }
  std::u16string GetChildData() const { return dataOf(PosChild); }

  // Writing.
  bool AddElem(MCD_CSTR name, MCD_CSTR data = MCD_CSTR(), int flags = 0) { return insertElem(name, data, flags, false, false); }
  bool AddElem(MCD_CSTR name, int data, int flags = 0);
  bool InsertElem(MCD_CSTR name, MCD_CSTR data = MCD_CSTR(), int flags = 0) { return insertElem(name, data, flags, true, false); }
  bool InsertElem(MCD_CSTR name, int data, int flags = 0);
  bool AddChildElem(MCD_CSTR name, MCD_CSTR data = MCD_CSTR(), int flags = 0) { return insertElem(name, data, flags, false, true); }
  bool AddChildElem(MCD_CSTR name, int data, int flags = 0);
  bool InsertChildElem(MCD_CSTR name, MCD_CSTR data = MCD_CSTR(), int flags = 0) { return insertElem(name, data, flags, true, true); }
  bool InsertChildElem(MCD_CSTR name, int data, int flags = 0);
  bool RemoveElem();
  bool RemoveChildElem();
  bool SetAttrib(MCD_CSTR name, MCD_CSTR value) { return setAttribOf(Pos, name, value); }
  bool SetAttrib(MCD_CSTR name, int value);
  bool SetChildAttrib(MCD_CSTR name, MCD_CSTR value) { return setAttribOf(PosChild, name, value); }
  bool SetChildAttrib(MCD_CSTR name, int value);
  bool AddAttrib(MCD_CSTR name, MCD_CSTR value) { return setAttribOf(Pos, name, value); }
  bool AddAttrib(MCD_CSTR name, int value);
  bool AddChildAttrib(MCD_CSTR name, MCD_CSTR value) { return setAttribOf(PosChild, name, value); }
  bool AddChildAttrib(MCD_CSTR name, int value);
  bool SetData(MCD_CSTR value, int flags = 0) { return setDataOf(Pos, value, flags); }
  bool SetData(int value, int flags = 0);
  bool SetChildData(MCD_CSTR value, int flags = 0) { return setDataOf(PosChild, value, flags); }
  bool SetChildData(int value, int flags = 0);

  static std::u16string EscapeText(MCD_CSTR text, int flags = 0);
  static std::u16string UnescapeText(MCD_CSTR text, int length = -1);

  // Read access to the index, for diagnostics and tests (0: the document).
  const ElemPos& ElemAt(int index) const { return elem(index); }
  int GetPos() const { return Pos; }
  int GetPosParent() const { return PosParent; }
  int GetPosChild() const { return PosChild; }
  int GetNodeType() const { return NodeType; }

 private:
  ElemPos& elem(int i) { return PosSegments[i >> 16][i & 0xFFFF]; }
  const ElemPos& elem(int i) const { return PosSegments[i >> 16][i & 0xFFFF]; }

  MARKUP_LOCAL void parse();
  MARKUP_LOCAL void freeIndex();
  MARKUP_LOCAL void reserveIndex(int records);
  MARKUP_LOCAL void growIndex(int needed);
  MARKUP_LOCAL int newPos();
  MARKUP_LOCAL void releaseSubtree(int index);
  MARKUP_LOCAL void copyFrom(const CMarkup& other);
  MARKUP_LOCAL void swap(CMarkup& other) noexcept;

  MARKUP_LOCAL bool nameMatches(int nameOffset, int nameLen, const WCHAR* name) const;
  MARKUP_LOCAL int tagNameLen(int offset) const;
  MARKUP_LOCAL int findElemFrom(int first, const WCHAR* name) const;
  std::u16string tagNameOf(int index) const;
  std::u16string attribOf(int index, MCD_CSTR name) const;
  bool attribInto(int index, MCD_CSTR name, std::u16string& value) const;
  MARKUP_LOCAL bool valueOther(int index, int k, const WCHAR* name, std::u16string& out) const;
  std::u16string dataOf(int index) const;
  MARKUP_LOCAL bool findAttrib(int index, const WCHAR* name, int& valueStart, int& valueLen, int& quote) const;
  MARKUP_LOCAL bool findAttribByMeasure(int index, const WCHAR* name, int& valueStart, int& valueLen, int& quote) const;
  MARKUP_LOCAL bool findAttribCached(int index, const WCHAR* name, int& valueStart, int& valueLen, int& quote) const;
  MARKUP_LOCAL void newStamp();
  MARKUP_LOCAL int recordedAttrib(int index, const WCHAR* name) const;
  MARKUP_LOCAL void recordSpan(int index, uint32_t first, int32_t count);
  MARKUP_LOCAL void forgetAttribs(int index);
  MARKUP_LOCAL void compactAttribs();
  MARKUP_LOCAL void reserveEntries(size_t extra);
  MARKUP_LOCAL void followAttribEdit(int index, int rec, size_t nameLen, int offset, const std::u16string& text);
  MARKUP_LOCAL static void escapeAppend(std::u16string& out, const WCHAR* text, int flags);

  bool insertElem(MCD_CSTR name, MCD_CSTR data, int flags, bool before, bool child);
  MARKUP_LOCAL bool removeElemAt(int index);
  bool setAttribOf(int index, MCD_CSTR name, MCD_CSTR value);
  bool setDataOf(int index, MCD_CSTR value, int flags);
  MARKUP_LOCAL bool openEmptyElement(int index, bool lineBreak, const char16_t* content = nullptr, size_t contentLen = 0);
  MARKUP_LOCAL void splice(int offset, int removeLen, const std::u16string& text);
  MARKUP_LOCAL void splice(int offset, int removeLen, const char16_t* text, size_t len);
  MARKUP_LOCAL void reserveDoc(size_t needed);
  MARKUP_LOCAL char16_t* openRoom(int offset, size_t len);
  MARKUP_LOCAL bool appendRecordedAttrib(int index, const WCHAR* name, const WCHAR* value);
  MARKUP_LOCAL void shiftFrom(int parent, int firstSibling, int delta);
  MARKUP_LOCAL void shiftSubtree(int index, int delta);

  std::u16string Doc;
  std::u16string Error;
  int32_t PosParent = 0;
  int32_t Pos = 0;
  int32_t PosChild = 0;
  int32_t PosFree = 1;
  int32_t PosDeleted = 0;
  int32_t NodeType = 0;
  int32_t NodeOffset = 0;
  int32_t NodeLength = 0;
  int32_t DocFlags = 0;
  void* SavedPosMaps = nullptr;
  ElemPos** PosSegments = nullptr;
  int32_t PosCapacity = 0;
  int32_t SegCapacity = 0;
  // Names this state of the document (text and index) among all documents of the process: the
  // attribute table of an element read last is kept per thread under this stamp.
  uint64_t Stamp = 0;

  // The attributes of the start tags, recorded while parsing and kept by the edits, so that a
  // look-up by name is a short scan of the element's entries.
  markup::PodVector<markup::AttribEntry> AttribEntries;
  markup::PodVector<markup::AttribSpan> AttribSpans;  // by element index
  size_t AttribGarbage = 0;             // entries no span refers to any more

  friend class MarkupParser;
};
