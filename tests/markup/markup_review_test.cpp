// Behaviour checks gathered while reviewing the document class: attribute search corners, the
// exact text the writing operations produce, and the edge cases callers depend on.
#include <gtest/gtest.h>

#include <string>

#include "markup.h"
#include "markup_test_util.h"

using markup_test::narrow;

namespace {

struct AttribCase {
  const char16_t* doc;
  const char16_t* name;
  const char* value;
};

const AttribCase kAttribCases[] = {
    {u"<a b=\"1\"/>", u"b", "1"},
    {u"<a b='1'/>", u"b", "1"},
    {u"<a b=1 c=2/>", u"c", "2/"},
    {u"<a b=1>x</a>", u"b", "1"},
    {u"<a b = \"1\"/>", u"b", "1"},
    {u"<a bc=\"1\" b=\"2\"/>", u"b", "2"},
    {u"<a b=\"1\"/>", u"bc", ""},
    {u"<a x=\"p=q\" q=\"2\"/>", u"q", "2"},
    {u"<a x='b=\"3\"' b=\"4\"/>", u"b", "4"},
    {u"<a b=\"\"/>", u"b", ""},
    {u"<a b=\"x &amp; y\"/>", u"b", "x & y"},
    {u"<a\r\n\tb=\"1\"\r\n/>", u"b", "1"},
    {u"<a b=\"1\" b=\"2\"/>", u"b", "1"},
    {u"<a b=\"1\"/>", u"b[1]", "1"},
    {u"<a b=\"1\"/>", u"missing", ""},
};

TEST(MarkupReview, AttributeSearch) {
  for (const AttribCase& c : kAttribCases) {
    CMarkup m(c.doc);
    ASSERT_TRUE(m.FindElem()) << narrow(c.doc);
    EXPECT_EQ(narrow(m.GetAttrib(c.name)), c.value) << narrow(c.doc) << " / " << narrow(c.name);
  }
}

TEST(MarkupReview, AttributeSearchIgnoresCaseWithFlag8) {
  CMarkup m(8);
  m.SetDoc(u"<A Value=\"5\"/>");
  ASSERT_TRUE(m.FindElem(u"a"));
  EXPECT_EQ(narrow(m.GetAttrib(u"VALUE")), "5");
  CMarkup strict(u"<A Value=\"5\"/>");
  EXPECT_FALSE(strict.FindElem(u"a"));
  ASSERT_TRUE(strict.FindElem(u"A"));
  EXPECT_EQ(narrow(strict.GetAttrib(u"value")), "");
}

TEST(MarkupReview, FindElemNameRule) {
  CMarkup m(u"<R><TEXTS/><TEXT/><A/><B/><A/></R>");
  ASSERT_TRUE(m.FindElem());
  ASSERT_TRUE(m.IntoElem());
  ASSERT_TRUE(m.FindElem(u"TEXT"));
  EXPECT_EQ(m.ElemAt(m.GetPos()).Start, 11);
  m.ResetMainPos();
  ASSERT_TRUE(m.FindElem(u"TEXTS"));
  EXPECT_FALSE(m.FindElem(u"TEXTS"));
  m.ResetMainPos();
  ASSERT_TRUE(m.FindElem(u"TEXT/x"));  // the name ends at "/"
  EXPECT_EQ(narrow(m.GetTagName()), "TEXT");
  ASSERT_TRUE(m.FindElem(u"A"));
  ASSERT_TRUE(m.FindElem(u"A"));
  EXPECT_FALSE(m.FindElem(u"A"));
  EXPECT_FALSE(m.FindElem(u"B"));  // only after the main position
  m.ResetMainPos();
  EXPECT_TRUE(m.FindElem(u"B"));
}

TEST(MarkupReview, GetDataEdgeCases) {
  struct {
    const char16_t* doc;
    const char* data;
  } cases[] = {
      {u"<a>a &amp; b</a>", "a & b"},
      {u"<a>x<![CDATA[<&amp;>]]></a>", "x<&amp;>"},
      {u"<a> x <!-- c --> y <?pi z?> </a>", " x  y  "},
      {u"<a>&#65;&#x41;&foo;</a>", "AA&foo;"},
      {u"<a><b>1</b></a>", ""},
      {u"<a/>", ""},
      {u"<a></a>", ""},
      {u"<a>\r\n\t</a>", "\r\n\t"},
  };
  for (const auto& c : cases) {
    CMarkup m(c.doc);
    ASSERT_TRUE(m.FindElem()) << narrow(c.doc);
    EXPECT_EQ(narrow(m.GetData()), c.data) << narrow(c.doc);
  }
  CMarkup none(u"<a>1</a>");
  EXPECT_EQ(narrow(none.GetData()), "");
}

TEST(MarkupReview, WritingTexts) {
  struct {
    const char16_t* data;
    int flags;
    const char* doc;
  } cases[] = {
      {u"", 0, "<R>\r\n<E/>\r\n</R>"},
      {u"", 4, "<R>\r\n<E />\r\n</R>"},
      {u"", 16, "<R>\r\n<E>\r\n</R>"},
      {u"x", 16, "<R>\r\n<E>x</E>\r\n</R>"},
      {u"", 2, "<R><E/></R>"},
      {u"a<b>&c", 0, "<R>\r\n<E>a&lt;b&gt;&amp;c</E>\r\n</R>"},
      {u"a&amp;b&c", 8, "<R>\r\n<E>a&amp;b&amp;c</E>\r\n</R>"},
      {u"'\"", 256, "<R>\r\n<E>&apos;&quot;</E>\r\n</R>"},
      {u"'\"", 0, "<R>\r\n<E>'\"</E>\r\n</R>"},
      {u"a]]>b<", 1, "<R>\r\n<E><![CDATA[a]]]]><![CDATA[>b<]]></E>\r\n</R>"},
      {u"", 1, "<R>\r\n<E/>\r\n</R>"},
  };
  for (const auto& c : cases) {
    CMarkup m(u"<R/>");
    ASSERT_TRUE(m.FindElem());
    ASSERT_TRUE(m.AddChildElem(u"E", c.data, c.flags));
    EXPECT_EQ(narrow(m.GetDoc()), c.doc) << c.flags;
    EXPECT_EQ(narrow(m.GetChildTagName()), "E");
  }
}

TEST(MarkupReview, NewElementsGoInFrontOfTheNextTag) {
  CMarkup m(u"<R>\r\n  <A/>\r\n  <B/>\r\n</R>");
  ASSERT_TRUE(m.FindElem());
  ASSERT_TRUE(m.FindChildElem(u"A"));
  ASSERT_TRUE(m.AddChildElem(u"C"));
  EXPECT_EQ(narrow(m.GetDoc()), "<R>\r\n  <A/>\r\n  <C/>\r\n<B/>\r\n</R>");
  ASSERT_TRUE(m.InsertChildElem(u"D", 7));
  EXPECT_EQ(narrow(m.GetDoc()), "<R>\r\n  <A/>\r\n  <D>7</D>\r\n<C/>\r\n<B/>\r\n</R>");
  m.ResetChildPos();
  ASSERT_TRUE(m.InsertChildElem(u"F", u"", 2));
  EXPECT_EQ(narrow(m.GetDoc()), "<R>\r\n  <F/><A/>\r\n  <D>7</D>\r\n<C/>\r\n<B/>\r\n</R>");
  m.ResetChildPos();
  ASSERT_TRUE(m.AddChildElem(u"G", -3));
  EXPECT_EQ(narrow(m.GetDoc()), "<R>\r\n  <F/><A/>\r\n  <D>7</D>\r\n<C/>\r\n<B/>\r\n<G>-3</G>\r\n</R>");
  CMarkup fresh(markup_test::widen(narrow(m.GetDoc())));
  EXPECT_EQ(markup_test::describeIndex(fresh), markup_test::describeIndex(m));
}

TEST(MarkupReview, BuildingFromNothing) {
  CMarkup m;
  ASSERT_TRUE(m.AddElem(u"CONFIG"));
  ASSERT_TRUE(m.AddChildElem(u"Value", 1));
  ASSERT_TRUE(m.AddChildElem(u"Name", u"x"));
  EXPECT_EQ(narrow(m.GetDoc()), "<CONFIG>\r\n<Value>1</Value>\r\n<Name>x</Name>\r\n</CONFIG>\r\n");
  EXPECT_TRUE(m.IsWellFormed());
}

TEST(MarkupReview, AttributesWritten) {
  CMarkup m(u"<a/>");
  ASSERT_TRUE(m.FindElem());
  ASSERT_TRUE(m.SetAttrib(u"value", 10));
  EXPECT_EQ(narrow(m.GetDoc()), "<a value=\"10\"/>");
  ASSERT_TRUE(m.SetAttrib(u"value", u"<\"'&>"));
  EXPECT_EQ(narrow(m.GetDoc()), "<a value=\"&lt;&quot;&apos;&amp;&gt;\"/>");
  EXPECT_EQ(narrow(m.GetAttrib(u"value")), "<\"'&>");
  CMarkup s(u"<a  v='1' w=2 ></a>");
  ASSERT_TRUE(s.FindElem());
  ASSERT_TRUE(s.SetAttrib(u"v", u"x"));
  ASSERT_TRUE(s.SetAttrib(u"w", u"y"));
  ASSERT_TRUE(s.AddAttrib(u"z", u"3"));
  EXPECT_EQ(narrow(s.GetDoc()), "<a  v='x' w=\"y\"  z=\"3\"></a>");
}

TEST(MarkupReview, RemovePositions) {
  CMarkup m(u"<R>\r\n<A/>\r\n<B/>\r\n<C/>\r\n</R>");
  ASSERT_TRUE(m.FindElem());
  ASSERT_TRUE(m.FindChildElem(u"B"));
  ASSERT_TRUE(m.RemoveChildElem());
  EXPECT_EQ(narrow(m.GetChildTagName()), "A");
  ASSERT_TRUE(m.RemoveChildElem());
  EXPECT_EQ(m.GetPosChild(), 0);
  EXPECT_FALSE(m.RemoveChildElem());
  EXPECT_EQ(narrow(m.GetDoc()), "<R>\r\n<C/>\r\n</R>");
  ASSERT_TRUE(m.IntoElem());
  ASSERT_TRUE(m.FindElem(u"C"));
  ASSERT_TRUE(m.RemoveElem());
  EXPECT_EQ(m.GetPos(), 0);
  EXPECT_FALSE(m.RemoveElem());
  EXPECT_EQ(narrow(m.GetDoc()), "<R>\r\n</R>");
}

TEST(MarkupReview, UnescapeLimits) {
  struct {
    const char16_t* in;
    std::u16string out;
  } cases[] = {
      {u"&#65;&#x41;", u"AA"},
      {u"&#0000065;", u"A"},
      {u"&#00000065;", u"&#00000065;"},
      {u"&#x000041;", u"A"},
      {u"&#x0000041;", u"&#x0000041;"},
      {u"&#X41;", u"&#X41;"},
      {u"&#65", u"&#65"},
      {u"&#;", u"&#;"},
      {u"&foo; & &am", u"&foo; & &am"},
      {u"&lt;&gt;&amp;&apos;&quot;", u"<>&'\""},
      {u"&#x1F600;", u"\U0001F600"},
      {u"&#65601;", std::u16string(1, char16_t(0xD800)) + char16_t(0xDC41)},
  };
  for (const auto& c : cases) EXPECT_EQ(CMarkup::UnescapeText(c.in), c.out) << narrow(c.in);
  EXPECT_EQ(CMarkup::UnescapeText(u"&lt;&lt;", 4), u"<");
  EXPECT_EQ(CMarkup::UnescapeText(u"&lt;&lt;", 3), u"&lt");
}

TEST(MarkupReview, EscapeWithReferencesKept) {
  EXPECT_EQ(CMarkup::EscapeText(u"&#65; &a-b.c:d_e; &_x; &:y; &1; &a b; &x", 8),
            u"&#65; &a-b.c:d_e; &_x; &:y; &amp;1; &amp;a b; &amp;x");
  EXPECT_EQ(CMarkup::EscapeText(u"&#65;", 0), u"&amp;#65;");
  EXPECT_EQ(CMarkup::EscapeText(u"'\"<>", 256), u"&apos;&quot;&lt;&gt;");
}

}  // namespace

namespace {

TEST(MarkupReview, QuotedMarkupCharactersStayInsideValues) {
  CMarkup m(u"<a b=\">\" c='<' d=\"2\">x</a>");
  ASSERT_TRUE(m.IsWellFormed()) << narrow(m.GetError());
  ASSERT_TRUE(m.FindElem(u"a"));
  EXPECT_EQ(narrow(m.GetAttrib(u"b")), ">");
  EXPECT_EQ(narrow(m.GetAttrib(u"c")), "<");
  EXPECT_EQ(narrow(m.GetAttrib(u"d")), "2");
  EXPECT_EQ(narrow(m.GetData()), "x");
}

TEST(MarkupReview, IllFormedDocumentsStayNavigable) {
  CMarkup m;
  EXPECT_FALSE(m.SetDoc(u"<R><A><B>1</B></R>"));
  EXPECT_EQ(narrow(m.GetError()), "End tag 'R' at offset 14 does not match start tag 'A' at offset 3");
  ASSERT_TRUE(m.FindElem(u"R"));
  EXPECT_TRUE(m.ElemAt(m.GetPos()).Flags & CMarkup::MNF_ILLFORMED);
  EXPECT_TRUE(m.ElemAt(0).Flags & CMarkup::MNF_ILLFORMED);
  // A is closed at its start tag; B follows it as its sibling.
  ASSERT_TRUE(m.FindChildElem(u"A"));
  EXPECT_TRUE(m.ElemAt(m.GetPosChild()).Flags & CMarkup::MNF_NONENDED);
  EXPECT_EQ(narrow(m.GetChildData()), "");
  ASSERT_TRUE(m.FindChildElem(u"B"));
  EXPECT_EQ(narrow(m.GetChildData()), "1");

  EXPECT_FALSE(m.SetDoc(nullptr));
  EXPECT_EQ(narrow(m.GetError()), "Empty document");
  EXPECT_FALSE(m.FindElem());
  EXPECT_FALSE(m.AddElem(u""));
}

}  // namespace

namespace {

TEST(MarkupReview, ReplacingABareValueKeepsTheEmptyElementMark) {
  CMarkup m(u"<R><a b=1/><c/></R>");
  ASSERT_TRUE(m.FindElem());
  ASSERT_TRUE(m.FindChildElem(u"a"));
  EXPECT_EQ(narrow(m.GetChildAttrib(u"b")), "1/");
  ASSERT_TRUE(m.SetChildAttrib(u"b", 2));
  EXPECT_EQ(narrow(m.GetDoc()), "<R><a b=\"2\"/><c/></R>");
  EXPECT_TRUE(CMarkup(m.GetDoc()).IsWellFormed());
  ASSERT_TRUE(m.FindChildElem(u"c"));
  EXPECT_EQ(m.ElemAt(m.GetPosChild()).Start, 13);
}

TEST(MarkupReview, LoadWithoutAFileName) {
  CMarkup m(u"<keep/>");
  EXPECT_FALSE(m.Load(nullptr));
  EXPECT_FALSE(m.Load(u""));
  EXPECT_FALSE(m.GetError().empty());
  EXPECT_EQ(narrow(m.GetDoc()), "<keep/>");
}

}  // namespace
