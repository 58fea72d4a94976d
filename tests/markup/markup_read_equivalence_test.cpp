// The attribute and data readers take shortcuts (matching names from the "=" backwards, copying
// text without "&" in one piece). These tests hold them to a plain character-by-character reading
// of the same rules over many generated start tags and contents full of awkward characters.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "markup.h"
#include "markup_test_util.h"

namespace {

bool isSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

bool endsTagName(char16_t c) { return isSpace(c) || std::u16string_view(u"<>=\\/?!").find(c) != std::u16string_view::npos; }

bool endsAttribName(char16_t c) { return isSpace(c) || std::u16string_view(u"=/>\"'").find(c) != std::u16string_view::npos; }

bool endsGivenName(char16_t c) { return c == 0 || std::u16string_view(u" =/[]").find(c) != std::u16string_view::npos; }

char16_t fold(char16_t c, bool ignoreCase) { return ignoreCase && c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

bool sameName(const std::u16string& d, size_t at, size_t len, const char16_t* name, bool ignoreCase) {
  for (size_t k = 0; k < len; ++k)
    if (name[k] == 0 || fold(name[k], ignoreCase) != fold(d[at + k], ignoreCase)) return false;
  return endsGivenName(name[len]);
}

// One character at a time: an "=" ends a name (white space before it allowed) and starts a value,
// quoted or bare up to white space; a quoted run that follows no "=" is stepped over.
std::u16string referenceAttrib(const CMarkup& m, int index, const char16_t* name) {
  if (!index || !name || !*name) return {};
  const std::u16string& d = m.GetDoc();
  const CMarkup::ElemPos& el = m.ElemAt(index);
  const bool ignoreCase = (m.GetDocFlags() & CMarkup::MDF_IGNORECASE) != 0;
  size_t limit = static_cast<size_t>(el.Start + el.StartTagLen() - 1);
  size_t lo = static_cast<size_t>(el.Start + 1);
  while (lo < d.size() && !endsTagName(d[lo])) ++lo;
  size_t i = lo;
  while (i < limit) {
    char16_t c = d[i];
    if (c == u'"' || c == u'\'') {
      ++i;
      while (i < limit && d[i] != c) ++i;
      ++i;
      continue;
    }
    if (c != u'=') {
      ++i;
      continue;
    }
    size_t ne = i;
    while (ne > lo && isSpace(d[ne - 1])) --ne;
    size_t ns = ne;
    while (ns > lo && !endsAttribName(d[ns - 1])) --ns;
    size_t j = i + 1;
    while (j < limit && isSpace(d[j])) ++j;
    size_t vs, ve;
    if (j < limit && (d[j] == u'"' || d[j] == u'\'')) {
      vs = j + 1;
      ve = vs;
      while (ve < limit && d[ve] != d[j]) ++ve;
      i = ve + 1;
    } else {
      vs = ve = j;
      while (ve < limit && !isSpace(d[ve])) ++ve;
      i = ve;
    }
    if (ns < ne && sameName(d, ns, ne - ns, name, ignoreCase))
      return CMarkup::UnescapeText(d.data() + vs, static_cast<int>(ve - vs));
  }
  return {};
}

std::u16string referenceData(const CMarkup& m, int index) {
  if (!index) return {};
  const CMarkup::ElemPos& el = m.ElemAt(index);
  if (el.FirstChild || el.ContentLen() <= 0) return {};
  const std::u16string& d = m.GetDoc();
  size_t end = static_cast<size_t>(el.ContentStart() + el.ContentLen());
  std::u16string text, out;
  auto flush = [&] {
    out += CMarkup::UnescapeText(text, static_cast<int>(text.size()));
    text.clear();
  };
  auto skipPast = [&](size_t from, std::u16string_view closer) {
    size_t k = d.find(closer, from);
    return (k == std::u16string::npos || k + closer.size() > end) ? end : k + closer.size();
  };
  for (size_t i = static_cast<size_t>(el.ContentStart()); i < end;) {
    std::u16string_view rest(d.data() + i, end - i);
    if (rest[0] != u'<') {
      text += rest[0];
      ++i;
    } else if (rest.starts_with(u"<![CDATA[")) {
      flush();
      size_t k = d.find(u"]]>", i + 9);
      size_t close = (k == std::u16string::npos || k + 3 > end) ? end : k;
      out.append(d, i + 9, close - (i + 9));
      i = close == end ? end : close + 3;
    } else if (rest.starts_with(u"<!--")) {
      flush();
      i = skipPast(i + 4, u"-->");
    } else if (rest.starts_with(u"<?")) {
      flush();
      i = skipPast(i + 2, u"?>");
    } else if (rest.size() > 1 && (rest[1] == u'/' || rest[1] == u'!' || rest[1] == u'_' || rest[1] == u':' ||
                                   rest[1] > u'z' || (rest[1] >= u'a' && rest[1] <= u'z') ||
                                   (rest[1] >= u'A' && rest[1] <= u'Z'))) {
      flush();
      i = skipPast(i, u">");
    } else {
      text += u'<';
      ++i;
    }
  }
  flush();
  return out;
}

std::u16string randomText(std::mt19937& rng, const std::vector<std::u16string>& pieces, int count) {
  std::u16string s;
  std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
  for (int k = 0; k < count; ++k) s += pieces[pick(rng)];
  return s;
}

TEST(MarkupReadEquivalence, AttributesOfGeneratedStartTags) {
  const std::vector<std::u16string> pieces = {
      u"a",  u"ab", u"A",  u"Ab", u"b", u"=", u"=", u" ",  u"\t", u"\r\n", u"\"", u"'", u"\"v\"", u"'w'", u"/",
      u"?",  u"!",  u"[1]", u"x y", u"&amp;", u"&#65;", u"&#x1F600;", u"&bad;", u"&", u"a=\"1\" ", u" ab='2'",
      u"\xE4", u"LocX", u"locx=\"9\"", u"_:", u"-", std::u16string(u"a\0b", 3),
  };
  const char16_t* names[] = {u"a", u"ab", u"A", u"b", u"Ab", u"a[1]", u"a b", u"a=", u"ab/", u"?a", u"!",
                             u"a\t", u"\"", u"LocX", u"locx", u"\xE4", u" ", u"[", u"x"};
  // Tags as they are usually written (double-quoted values, now and then something else), where
  // the reader takes its quickest way.
  const std::vector<std::u16string> usual = {
      u" a=\"1\"", u" ab=\"x'y\"", u" A=\"=\"", u" b = \"v\"", u"  Ab=\"\"", u" a=\"a=&amp;\"", u" LocX=\"12\"",
      u" locx=\"\xE4\"", u" x=\"\x4E2D\"", u"\r\n\tab=\"2\"", u" b=\"'\"", u" a=\"12345678901234567890\"", u" '", u" a=b",
      // References and quotes on either side of the first sixteen characters of a value.
      u" a=\"1234567890123456&amp;\"", u" ab=\"123456789012345678901&lt;x\"", u" b='123456789012345&apos;'",
      u" longattributename=\"1\"",
      std::u16string(u" a\0b=\"0\"", 8),
  };
  std::mt19937 rng(20261208);
  int compared = 0;
  for (int round = 0; round < 3000; ++round) {
    // Up to about 250 characters, so that tags reach across several 64-character windows.
    std::u16string tag = round % 2 ? randomText(rng, usual, 1 + static_cast<int>(rng() % 25))
                                   : randomText(rng, pieces, 1 + static_cast<int>(rng() % 40));
    std::u16string doc = u"<r" + tag + u"><c" + tag + u"/></r>";
    for (int flags : {0, static_cast<int>(CMarkup::MDF_IGNORECASE)}) {
      CMarkup m(flags);
      m.SetDoc(doc);
      if (!m.FindElem()) continue;
      m.FindChildElem();
      for (const char16_t* given : names) {
        // Each name in a block of its own size: a read past its end is caught.
        const size_t len = std::char_traits<char16_t>::length(given);
        auto name = std::make_unique<char16_t[]>(len + 1);
        std::char_traits<char16_t>::copy(name.get(), given, len + 1);
        ASSERT_EQ(m.GetAttrib(name.get()), referenceAttrib(m, m.GetPos(), name.get()))
            << markup_test::narrow(doc) << " name " << markup_test::narrow(given) << " flags " << flags;
        ASSERT_EQ(m.GetChildAttrib(name.get()), referenceAttrib(m, m.GetPosChild(), name.get()))
            << markup_test::narrow(doc) << " name " << markup_test::narrow(given) << " flags " << flags;
        ++compared;
      }
    }
  }
  EXPECT_GT(compared, 50000);
}

// The same tags read the way a loader reads them: every name of one element in turn, then every
// name of the next, so that from the second read on the element's attribute list is used.
TEST(MarkupReadEquivalence, AttributesReadOneElementAtATime) {
  const std::vector<std::u16string> pieces = {
      u"a", u"ab", u"A", u"b", u"=", u" ", u"\t", u"\"", u"'", u"\"v\"", u"'w'", u"/", u"[1]", u"x y", u"&amp;",
      u"a=\"1\" ", u" ab='2'", u" LocX=\"12\"", u" b = \"v\"", u" a=b", u" a=\"12345678901234567890123456789\"",
  };
  const char16_t* names[] = {u"a", u"ab", u"A", u"b", u"Ab", u"a[1]", u"a b", u"a=", u"LocX", u"locx", u"x", u"["};
  std::mt19937 rng(18);
  int compared = 0;
  for (int round = 0; round < 2000; ++round) {
    std::u16string tag = randomText(rng, pieces, 1 + static_cast<int>(rng() % 45));
    std::u16string doc = u"<r" + tag + u"><c" + tag + u"/><c" + tag + u"/></r>";
    for (int flags : {0, static_cast<int>(CMarkup::MDF_IGNORECASE)}) {
      CMarkup m(flags);
      m.SetDoc(doc);
      if (!m.FindElem()) continue;
      std::u16string value;
      for (int pass = 0; pass < 2; ++pass)
        for (const char16_t* name : names) {
          const std::u16string expected = referenceAttrib(m, m.GetPos(), name);
          ASSERT_EQ(m.GetAttrib(name), expected) << markup_test::narrow(doc) << " name " << markup_test::narrow(name);
          m.GetAttrib(name, value);
          ASSERT_EQ(value, expected);
          ++compared;
        }
      while (m.FindChildElem())
        for (const char16_t* name : names)
          ASSERT_EQ(m.GetChildAttrib(name), referenceAttrib(m, m.GetPosChild(), name))
              << markup_test::narrow(doc) << " name " << markup_test::narrow(name);
    }
  }
  EXPECT_GT(compared, 50000);
}

// Tags with more attributes than the list holds are still read completely.
TEST(MarkupReadEquivalence, AttributesOfVeryLongStartTags) {
  std::u16string tag;
  for (int k = 0; k < 200; ++k) tag += u" a" + markup_test::widen(std::to_string(k)) + u"=\"" + markup_test::widen(std::to_string(k * 7)) + u"\"";
  CMarkup m(u"<r" + tag + u"/>");
  ASSERT_TRUE(m.FindElem());
  for (int k = 199; k >= 0; --k)
    ASSERT_EQ(m.GetAttrib(u"a" + markup_test::widen(std::to_string(k))), markup_test::widen(std::to_string(k * 7))) << k;
}

// Visits every element depth first with the cursor, the element at the main position; stops
// (leaving the cursor there) when `at` returns true.
template <class At>
bool visitElements(CMarkup& m, At at) {
  m.ResetPos();
  int depth = 0;
  for (;;) {
    if (m.FindElem()) {
      if (at()) return true;
      m.IntoElem();
      ++depth;
      continue;
    }
    if (depth == 0) return false;
    m.OutOfElem();
    --depth;
  }
}

// Edits change start tags (values replaced, attributes added, empty elements opened), move them
// (text inserted or removed in front) and reuse the index slots of removed elements. After each
// edit every attribute of every element must still read as the text says.
TEST(MarkupReadEquivalence, AttributesAfterEdits) {
  const char16_t* attribNames[] = {u"a", u"ab", u"b", u"LocX", u"a b", u"q\"", u"[", u"x", u"A"};
  const char16_t* values[] = {u"1", u"", u"x\"y'<&z", u"a much longer value than before", u"&amp;", u"2"};
  const char16_t* tagNames[] = {u"e", u"node", u"n a=\"7\"", u"t b='8'/", u"p x"};
  const char16_t* docs[] = {
      u"<r a=\"1\" b='2'><e ab=\"3\"/><e a=\"4\" LocX = \"5\">t</e><f a=b/></r>",
      u"<r><e a=\"1\" /><e/><e b=\"&amp;\"></e></r>",
  };
  std::mt19937 rng(1812);
  auto pick = [&](auto& list) { return list[rng() % std::size(list)]; };
  int compared = 0;
  for (int round = 0; round < 300; ++round) {
    CMarkup m(round % 3 == 2 ? static_cast<int>(CMarkup::MDF_IGNORECASE) : 0);
    m.SetDoc(docs[round % 2]);
    for (int step = 0; step < 12; ++step) {
      int count = 0;
      visitElements(m, [&] {
        ++count;
        return false;
      });
      const int target = static_cast<int>(rng() % static_cast<unsigned>(count));
      int seen = 0;
      ASSERT_TRUE(visitElements(m, [&] { return seen++ == target; }));
      const std::u16string before = m.GetDoc();
      switch (rng() % 7) {
        case 0: m.SetAttrib(pick(attribNames), pick(values)); break;
        case 1: m.AddElem(pick(tagNames)) && m.SetAttrib(pick(attribNames), pick(values)); break;
        case 2: m.AddChildElem(pick(tagNames)) && m.SetChildAttrib(pick(attribNames), pick(values)); break;
        case 3: if (m.GetPosParent()) m.RemoveElem(); break;
        case 4: m.SetData(pick(values)); break;
        case 5: m.InsertElem(pick(tagNames), pick(values)) && m.SetAttrib(pick(attribNames), 42); break;
        case 6: if (m.FindChildElem()) m.RemoveChildElem(); break;
      }
      visitElements(m, [&] {
        for (const char16_t* name : attribNames) {
          EXPECT_EQ(m.GetAttrib(name), referenceAttrib(m, m.GetPos(), name))
              << markup_test::narrow(before) << " -> " << markup_test::narrow(m.GetDoc()) << " name "
              << markup_test::narrow(name);
          ++compared;
        }
        return ::testing::Test::HasFailure();
      });
      if (::testing::Test::HasFailure()) return;
    }
  }
  EXPECT_GT(compared, 50000);
}

TEST(MarkupReadEquivalence, DataOfGeneratedContents) {
  const std::vector<std::u16string> pieces = {
      u"t",      u" ",      u"\r\n",   u"&amp;",  u"&lt;",     u"&gt;",   u"&apos;", u"&quot;", u"&",
      u"&am",    u"&#65;",  u"&#x41;", u"&#x;",   u"&#12345678;", u"&#x10FFFF;", u"&#x110000;", u"&#1;",
      u"<![CDATA[", u"]]>", u"<!--",   u"-->",    u"<?",       u"?>",     u"< ",     u"<1",
      u"\xE4\x4E2D", u"</x>", u"<!x>",  u";",      u"#",        u"x",
  };
  std::mt19937 rng(8122026);
  int compared = 0;
  for (int round = 0; round < 6000; ++round) {
    std::u16string content = randomText(rng, pieces, static_cast<int>(rng() % 14));
    CMarkup m(u"<r><e>" + content + u"</e></r>");
    if (!m.FindElem() || !m.FindChildElem()) continue;
    ASSERT_EQ(m.GetChildData(), referenceData(m, m.GetPosChild())) << markup_test::narrow(content);
    ++compared;
  }
  EXPECT_GT(compared, 1000);
}

}  // namespace
