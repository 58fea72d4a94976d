// Writing: element insertion and removal, attributes, data, flags, and the index kept in step
// with the text without re-parsing.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "markup.h"
#include "markup_test_util.h"
#include "spare_memory.h"

using markup_test::describeIndex;
using markup_test::narrow;
using markup_test::widen;

namespace {

// The index after edits must equal the index of a fresh parse of the edited text.
void expectIndexMatchesFreshParse(CMarkup& m) {
  CMarkup fresh(m.GetDocFlags());
  fresh.SetDoc(m.GetDoc());
  EXPECT_EQ(describeIndex(m), describeIndex(fresh)) << narrow(m.GetDoc());
}

TEST(MarkupEdit, ChildOfAnEmptyShortFormElementOpensIt) {
  CMarkup m(u"<CONFIG/>");
  ASSERT_TRUE(m.FindElem(u"CONFIG"));
  ASSERT_TRUE(m.AddChildElem(u"Value", 1));
  EXPECT_EQ(m.GetDoc(), u"<CONFIG>\r\n<Value>1</Value>\r\n</CONFIG>");
  EXPECT_EQ(m.GetChildData(), u"1");
  expectIndexMatchesFreshParse(m);

  CMarkup spaced(u"<CONFIG a=\"1\" />");
  ASSERT_TRUE(spaced.FindElem());
  ASSERT_TRUE(spaced.AddChildElem(u"Value", u"1"));
  EXPECT_EQ(spaced.GetDoc(), u"<CONFIG a=\"1\">\r\n<Value>1</Value>\r\n</CONFIG>");
  expectIndexMatchesFreshParse(spaced);
}

// The end tag written when an empty element is opened repeats its name: the longest name an end
// tag holds must come out whole, one character more must refuse and leave the text as it was.
TEST(MarkupEdit, OpeningAnElementWithTheLongestNameWritesItsWholeEndTag) {
  const std::u16string longest(1020, u'n');
  CMarkup m(u"<" + longest + u" a=\"1\" />");
  ASSERT_TRUE(m.FindElem());
  ASSERT_TRUE(m.AddChildElem(u"c"));
  EXPECT_EQ(m.GetDoc(), u"<" + longest + u" a=\"1\">\r\n<c/>\r\n</" + longest + u">");
  expectIndexMatchesFreshParse(m);

  // The parent and its first child both with the longest name, the child in the longest form.
  CMarkup both(u"<" + longest + u"/>");
  ASSERT_TRUE(both.FindElem());
  ASSERT_TRUE(both.AddChildElem(longest, MCD_CSTR(), CMarkup::MNF_WITHXHTMLSPACE));
  EXPECT_EQ(both.GetDoc(), u"<" + longest + u">\r\n<" + longest + u" />\r\n</" + longest + u">");
  expectIndexMatchesFreshParse(both);

  CMarkup data(u"<" + longest + u"/>");
  ASSERT_TRUE(data.FindElem());
  ASSERT_TRUE(data.SetData(u"x"));
  EXPECT_EQ(data.GetDoc(), u"<" + longest + u">x</" + longest + u">");

  const std::u16string tooLong(1021, u'n');
  const std::u16string text = u"<" + tooLong + u"/>";
  CMarkup refused(text);
  ASSERT_TRUE(refused.FindElem());
  EXPECT_FALSE(refused.AddChildElem(u"c"));
  EXPECT_FALSE(refused.SetData(u"x"));
  EXPECT_EQ(refused.GetDoc(), text);
}

TEST(MarkupEdit, BuildsADocumentWithLineBreaksAndNoIndentation) {
  CMarkup m;
  ASSERT_TRUE(m.AddElem(u"root"));
  EXPECT_EQ(m.GetDoc(), u"<root/>\r\n");
  ASSERT_TRUE(m.AddChildElem(u"a", u"x"));
  ASSERT_TRUE(m.AddChildElem(u"b"));
  ASSERT_TRUE(m.InsertChildElem(u"c", 5));
  m.ResetChildPos();
  ASSERT_TRUE(m.InsertChildElem(u"first"));
  EXPECT_EQ(m.GetDoc(), u"<root>\r\n<first/>\r\n<a>x</a>\r\n<c>5</c>\r\n<b/>\r\n</root>\r\n");
  expectIndexMatchesFreshParse(m);
  EXPECT_TRUE(CMarkup(m.GetDoc()).IsWellFormed());

  // At the document level the new element follows the root.
  ASSERT_TRUE(m.AddElem(u"tail"));
  EXPECT_EQ(m.GetDoc(), u"<root>\r\n<first/>\r\n<a>x</a>\r\n<c>5</c>\r\n<b/>\r\n</root>\r\n<tail/>\r\n");
  ASSERT_TRUE(m.RemoveElem());
  EXPECT_EQ(m.GetTagName(), u"root");
  EXPECT_EQ(m.GetDoc(), u"<root>\r\n<first/>\r\n<a>x</a>\r\n<c>5</c>\r\n<b/>\r\n</root>\r\n");
  expectIndexMatchesFreshParse(m);
}

TEST(MarkupEdit, NewElementsGoAfterTheDeclarationAndBeforeTheNextTag) {
  CMarkup m(u"<?xml version=\"1.0\"?>");
  ASSERT_TRUE(m.AddElem(u"r"));
  EXPECT_EQ(m.GetDoc(), u"<?xml version=\"1.0\"?>\r\n<r/>\r\n");
  CMarkup list(u"<r>\r\n<a/>\r\n<b/>\r\n</r>");
  ASSERT_TRUE(list.FindElem());
  ASSERT_TRUE(list.IntoElem());
  ASSERT_TRUE(list.FindElem(u"a"));
  ASSERT_TRUE(list.AddElem(u"n"));
  EXPECT_EQ(list.GetDoc(), u"<r>\r\n<a/>\r\n<n/>\r\n<b/>\r\n</r>");
  ASSERT_TRUE(list.InsertElem(u"m"));
  EXPECT_EQ(list.GetDoc(), u"<r>\r\n<a/>\r\n<m/>\r\n<n/>\r\n<b/>\r\n</r>");
  ASSERT_TRUE(list.FindElem());
  EXPECT_EQ(list.GetTagName(), u"n");
  list.ResetMainPos();
  ASSERT_TRUE(list.AddElem(u"z"));
  EXPECT_EQ(list.GetDoc(), u"<r>\r\n<a/>\r\n<m/>\r\n<n/>\r\n<b/>\r\n<z/>\r\n</r>");
  expectIndexMatchesFreshParse(list);
}

TEST(MarkupEdit, WritingFlags) {
  struct {
    const char16_t* data;
    int flags;
    const char16_t* written;
  } cases[] = {
      {u"", 0, u"<x/>\r\n"},
      {u"", 4, u"<x />\r\n"},
      {u"", 16, u"<x>\r\n"},
      {u"", 2, u"<x/>"},
      {u"v", 16, u"<x>v</x>\r\n"},
      {u"a<b>&c", 0, u"<x>a&lt;b&gt;&amp;c</x>\r\n"},
      {u"'\"", 0, u"<x>'\"</x>\r\n"},
      {u"'\"", 256, u"<x>&apos;&quot;</x>\r\n"},
      {u"&amp; & &#65; &x y;", 8, u"<x>&amp; &amp; &#65; &amp;x y;</x>\r\n"},
      {u"&amp;", 0, u"<x>&amp;amp;</x>\r\n"},
      {u"a]]>b<", 1, u"<x><![CDATA[a]]]]><![CDATA[>b<]]></x>\r\n"},
      {u"v", 2 | 1, u"<x><![CDATA[v]]></x>"},
  };
  for (const auto& c : cases) {
    CMarkup m(u"<r/>");
    ASSERT_TRUE(m.FindElem());
    ASSERT_TRUE(m.AddChildElem(u"x", c.data, c.flags));
    std::u16string lead = (c.flags & 2) ? u"<r>" : u"<r>\r\n";
    EXPECT_EQ(m.GetDoc(), lead + c.written + u"</r>") << narrow(c.data) << " flags " << c.flags;
    expectIndexMatchesFreshParse(m);
    if (!(c.flags & 16) || *c.data) {
      std::u16string back = m.GetChildData();
      std::u16string expected = c.data;
      if (c.flags & 8) expected = CMarkup::UnescapeText(c.data);
      EXPECT_EQ(back, expected) << narrow(c.data);
    }
  }
}

TEST(MarkupEdit, AttributesAreReplacedInPlaceOrAppended) {
  CMarkup m(u"<r><item/><item name=\"a\">x</item><i v='old'/><j v=old w=\"1\"/></r>");
  ASSERT_TRUE(m.FindElem());
  ASSERT_TRUE(m.FindChildElem(u"item"));
  ASSERT_TRUE(m.SetChildAttrib(u"value", 10));
  ASSERT_TRUE(m.FindChildElem(u"item"));
  ASSERT_TRUE(m.SetChildAttrib(u"value", 10));
  ASSERT_TRUE(m.FindChildElem(u"i"));
  ASSERT_TRUE(m.SetChildAttrib(u"v", u"a\"b'<&"));
  EXPECT_EQ(m.GetChildAttrib(u"v"), u"a\"b'<&");
  ASSERT_TRUE(m.FindChildElem(u"j"));
  ASSERT_TRUE(m.AddChildAttrib(u"v", u"n"));
  EXPECT_EQ(m.GetDoc(), u"<r><item value=\"10\"/><item name=\"a\" value=\"10\">x</item>"
                        u"<i v='a&quot;b&apos;&lt;&amp;'/><j v=\"n\" w=\"1\"/></r>");
  expectIndexMatchesFreshParse(m);
  ASSERT_TRUE(m.SetAttrib(u"root", u"1"));
  ASSERT_TRUE(m.AddAttrib(u"count", 2));
  EXPECT_EQ(m.GetAttrib(u"count"), u"2");
  expectIndexMatchesFreshParse(m);
}

// A new attribute goes in front of the tag's end, whatever shape that end has: after the last
// attribute and before any spaces and "/" of an empty element, and then it is read, replaced and
// followed by further attributes like one that was parsed.
TEST(MarkupEdit, NewAttributesGoBeforeTheEndOfEveryTagShape) {
  struct {
    const char16_t* doc;  // parsed; null: written by AddElem with `flags`
    int flags;
    const char16_t* value;
    const char16_t* expected;
  } cases[] = {
      {u"<a/>", 0, u"1", u"<a b=\"1\"/>"},
      {u"<a />", 0, u"1", u"<a b=\"1\" />"},
      {u"<a  x='0' \t/>", 0, u"1", u"<a  x='0' b=\"1\" \t/>"},
      {u"<a x=\"0\">t</a>", 0, u"1", u"<a x=\"0\" b=\"1\">t</a>"},
      {u"<a x=\"0\" >t</a>", 0, u"1", u"<a x=\"0\"  b=\"1\">t</a>"},
      {u"<a/>", 0, u"x<'y", u"<a b=\"x&lt;&apos;y\"/>"},
      {nullptr, 0, u"1", u"<a b=\"1\"/>\r\n"},
      {nullptr, 4, u"1", u"<a b=\"1\" />\r\n"},
      {nullptr, 16, u"1", u"<a b=\"1\">\r\n"},
      {nullptr, 4 | 2, u"", u"<a b=\"\" />"},
  };
  for (const auto& c : cases) {
    CMarkup m;
    if (c.doc) {
      m.SetDoc(c.doc);
      ASSERT_TRUE(m.FindElem());
    } else {
      ASSERT_TRUE(m.AddElem(u"a", u"", c.flags));
    }
    const std::string what = c.doc ? narrow(c.doc) : "flags " + std::to_string(c.flags);
    ASSERT_TRUE(m.SetAttrib(u"b", c.value)) << what;
    EXPECT_EQ(m.GetDoc(), c.expected) << what;
    EXPECT_EQ(m.GetAttrib(u"b"), c.value) << what;
    expectIndexMatchesFreshParse(m);
    // The recorded value is replaced in place, and one more attribute follows it.
    ASSERT_TRUE(m.SetAttrib(u"b", u"22"));
    ASSERT_TRUE(m.SetAttrib(u"c", 3));
    CMarkup fresh(m.GetDoc());
    ASSERT_TRUE(fresh.FindElem());
    for (const char16_t* name : {u"x", u"b", u"c"})
      EXPECT_EQ(m.GetAttrib(name), fresh.GetAttrib(name)) << what << " " << narrow(name);
    EXPECT_EQ(m.GetAttrib(u"b"), u"22") << what;
    EXPECT_EQ(m.GetAttrib(u"c"), u"3") << what;
    expectIndexMatchesFreshParse(m);
  }
}

// A name or value may be text of the document itself, lying where the edit moves the text: the
// result is the same as with a string of the caller's own.
TEST(MarkupEdit, NamesAndValuesTakenFromTheDocumentItself) {
  for (int op = 0; op < 4; ++op) {
    CMarkup own(u"<r/>tail"), copy(u"<r/>tail");
    ASSERT_TRUE(own.FindElem());
    ASSERT_TRUE(copy.FindElem());
    const WCHAR* inDoc = own.GetDoc().c_str() + own.GetDoc().find(u"tail");
    const std::u16string text = u"tail";
    switch (op) {
      case 0: ASSERT_TRUE(own.SetAttrib(u"b", inDoc)); ASSERT_TRUE(copy.SetAttrib(u"b", text)); break;
      case 1: ASSERT_TRUE(own.SetAttrib(inDoc, u"1")); ASSERT_TRUE(copy.SetAttrib(text, u"1")); break;
      case 2: ASSERT_TRUE(own.AddElem(inDoc)); ASSERT_TRUE(copy.AddElem(text)); break;
      default: ASSERT_TRUE(own.AddChildElem(inDoc)); ASSERT_TRUE(copy.AddChildElem(text)); break;
    }
    EXPECT_EQ(narrow(own.GetDoc()), narrow(copy.GetDoc())) << "case " << op;
    expectIndexMatchesFreshParse(own);
  }
}

TEST(MarkupEdit, SetDataReplacesContentOfElementsWithoutChildren) {
  CMarkup m(u"<r><v>old</v><e/><s /><p><c/></p></r>");
  ASSERT_TRUE(m.FindElem());
  ASSERT_TRUE(m.FindChildElem(u"v"));
  ASSERT_TRUE(m.SetChildData(u"a<b"));
  ASSERT_TRUE(m.FindChildElem(u"e"));
  ASSERT_TRUE(m.SetChildData(7));
  ASSERT_TRUE(m.FindChildElem(u"s"));
  ASSERT_TRUE(m.SetChildData(u"x]]>", 1));
  EXPECT_EQ(m.GetChildData(), u"x]]>");
  ASSERT_TRUE(m.FindChildElem(u"p"));
  std::u16string before = m.GetDoc();
  EXPECT_FALSE(m.SetChildData(u"no"));
  EXPECT_EQ(m.GetDoc(), before);
  EXPECT_EQ(m.GetDoc(), u"<r><v>a&lt;b</v><e>7</e><s><![CDATA[x]]]]><![CDATA[>]]></s><p><c/></p></r>");
  expectIndexMatchesFreshParse(m);
  ASSERT_TRUE(m.IntoElem());
  EXPECT_EQ(m.GetTagName(), u"p");
  ASSERT_TRUE(m.FindChildElem());
  EXPECT_EQ(m.GetChildTagName(), u"c");
  ASSERT_TRUE(m.SetChildData(u""));
  EXPECT_EQ(m.GetChildData(), u"");
}

TEST(MarkupEdit, RemovingMovesToThePreviousSibling) {
  CMarkup m(u"<r>\r\n<a/>\r\n<b><x/></b>\r\n<c/>\r\n</r>");
  ASSERT_TRUE(m.FindElem());
  ASSERT_TRUE(m.FindChildElem(u"b"));
  ASSERT_TRUE(m.RemoveChildElem());
  EXPECT_EQ(m.GetChildTagName(), u"a");
  EXPECT_EQ(m.GetDoc(), u"<r>\r\n<a/>\r\n<c/>\r\n</r>");
  ASSERT_TRUE(m.RemoveChildElem());
  EXPECT_EQ(m.GetPosChild(), 0);
  EXPECT_FALSE(m.RemoveChildElem());
  ASSERT_TRUE(m.FindChildElem());
  EXPECT_EQ(m.GetChildTagName(), u"c");
  expectIndexMatchesFreshParse(m);
  // Released records are reused by later insertions.
  ASSERT_TRUE(m.AddChildElem(u"d", u"1"));
  ASSERT_TRUE(m.AddChildElem(u"e", u"2"));
  expectIndexMatchesFreshParse(m);
  EXPECT_EQ(m.GetDoc(), u"<r>\r\n<c/>\r\n<d>1</d>\r\n<e>2</e>\r\n</r>");
}

TEST(MarkupEdit, WritingWithoutThePositionItNeedsFailsAndChangesNothing) {
  CMarkup m(u"<r><p><c/></p></r>");
  std::u16string doc = m.GetDoc();
  EXPECT_FALSE(m.AddChildElem(u"x"));
  EXPECT_FALSE(m.InsertChildElem(u"x"));
  EXPECT_FALSE(m.RemoveElem());
  EXPECT_FALSE(m.RemoveChildElem());
  EXPECT_FALSE(m.SetAttrib(u"a", u"1"));
  EXPECT_FALSE(m.SetChildAttrib(u"a", 1));
  EXPECT_FALSE(m.SetData(u"x"));
  EXPECT_FALSE(m.SetChildData(1));
  ASSERT_TRUE(m.FindElem());
  EXPECT_FALSE(m.SetData(u"x"));
  EXPECT_FALSE(m.AddElem(u""));
  EXPECT_FALSE(m.AddChildElem(nullptr));
  EXPECT_FALSE(m.SetAttrib(u"", u"1"));
  EXPECT_EQ(m.GetDoc(), doc);
}

// A map of `count` nodes, every third with a tag, their attributes written straight in.
void buildNodes(CMarkup& m, int count) {
  ASSERT_TRUE(m.AddElem(u"osm"));
  ASSERT_TRUE(m.IntoElem());
  for (int i = 0; i < count; ++i) {
    m.AddElem(u"node");
    m.SetAttrib(u"id", i);
    m.SetAttrib(u"lat", u"43.7370125");
    if (i % 3 == 0) {
      m.AddChildElem(u"tag");
      m.SetChildAttrib(u"k", u"highway");
    }
  }
}

// Every node of buildNodes reads back by name.
void expectNodes(CMarkup& m, int count) {
  m.ResetPos();
  ASSERT_TRUE(m.FindElem(u"osm"));
  ASSERT_TRUE(m.IntoElem());
  int i = 0, wrong = 0;
  for (; m.FindElem(u"node"); ++i) {
    const bool tagged = i % 3 != 0 || (m.FindChildElem(u"tag") && m.GetChildAttrib(u"k") == u"highway");
    if (m.GetAttrib(u"id") != widen(std::to_string(i)) || m.GetAttrib(u"lat") != u"43.7370125" || !tagged) ++wrong;
  }
  EXPECT_EQ(i, count);
  EXPECT_EQ(wrong, 0);
}

// More elements than one index segment holds: the index and the attribute table grow in place,
// and a copy or a move takes them whole.
TEST(MarkupEdit, ABuildPastOneIndexSegmentKeepsEveryRecord) {
  const int count = 70000;
  CMarkup m;
  buildNodes(m, count);
  expectIndexMatchesFreshParse(m);
  CMarkup copy(m);
  CMarkup moved(std::move(m));
  expectNodes(copy, count);
  expectNodes(moved, count);
}

// A document built after a large one went grows into the memory that one gave up (its text, index
// and attribute tables): it reads exactly as one built in fresh memory, and so does one parsed
// after it.
TEST(MarkupEdit, ADocumentBuiltInMemoryAnEarlierOneGaveUpIsTheSame) {
  const int count = 30000;
  std::u16string kept;  // none kept before: this test's first document gives up the text
  markup::takeSpareText(kept, 0, SIZE_MAX / 8);
  std::u16string first;
  const char16_t* firstText;
  {
    CMarkup m;
    buildNodes(m, count);
    first = m.GetDoc();
    firstText = m.GetDoc().data();
  }
  CMarkup again;
  buildNodes(again, count);
  EXPECT_EQ(again.GetDoc().data(), firstText);  // the text went to the next document
  ASSERT_EQ(again.GetDoc(), first);
  expectIndexMatchesFreshParse(again);
  expectNodes(again, count);
  CMarkup parsed;
  { CMarkup gone(std::move(again)); }
  ASSERT_TRUE(parsed.SetDoc(first));
  expectIndexMatchesFreshParse(parsed);
  expectNodes(parsed, count);
}

// The integer forms write "%d": every digit count, both signs and both ends of the range.
TEST(MarkupEdit, IntegerFormsWriteTheDecimalText) {
  const std::pair<int, const char16_t*> cases[] = {
      {0, u"0"},          {7, u"7"},          {10, u"10"},         {99, u"99"},
      {100, u"100"},      {-3, u"-3"},        {-45, u"-45"},       {21911863, u"21911863"},
      {1000000000, u"1000000000"}, {2147483647, u"2147483647"}, {-2147483647 - 1, u"-2147483648"},
  };
  for (const auto& [value, text] : cases) {
    CMarkup m;
    ASSERT_TRUE(m.AddElem(u"a", value));
    EXPECT_EQ(m.GetData(), text);
    ASSERT_TRUE(m.SetAttrib(u"v", value));
    EXPECT_EQ(m.GetAttrib(u"v"), text);
    ASSERT_TRUE(m.AddChildElem(u"c", value));
    EXPECT_EQ(m.GetChildData(), text);
  }
}

TEST(MarkupEdit, ManyEditsKeepTheIndexExact) {
  CMarkup m(u"<?xml version=\"1.0\"?>\r\n<!-- kept -->\r\n<list>\r\n</list>\r\n");
  uint32_t seed = 7;
  auto next = [&](uint32_t n) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % n;
  };
  ASSERT_TRUE(m.FindElem(u"list"));
  for (int step = 0; step < 400; ++step) {
    m.ResetChildPos();
    int skip = static_cast<int>(next(6));
    for (int i = 0; i < skip && m.FindChildElem(); ++i) {
    }
    switch (next(7)) {
      case 0: m.AddChildElem(u"item", static_cast<int>(step)); break;
      case 1: m.InsertChildElem(u"ins", u"a&b", next(2) ? 1 : 0); break;
      case 2: m.RemoveChildElem(); break;
      case 3: m.SetChildAttrib(u"n", static_cast<int>(next(100000))); break;
      case 4: m.SetChildData(u"<d>", 0); break;
      case 5:
        if (m.IntoElem()) {
          m.AddChildElem(u"sub", u"", static_cast<int>(next(2) * 4));
          m.OutOfElem();
        }
        break;
      default: m.AddChildElem(u"z", u"", 2); break;
    }
  }
  expectIndexMatchesFreshParse(m);
  EXPECT_TRUE(CMarkup(m.GetDoc()).IsWellFormed()) << narrow(m.GetDoc());
  EXPECT_EQ(m.GetDoc().rfind(u"<!-- kept -->", 40), 23u);
}

}  // namespace
