// Navigation with the three positions, name matching, attributes and data.
#include <gtest/gtest.h>

#include <memory>

#include "markup.h"
#include "markup_test_util.h"

namespace {

TEST(MarkupNavigate, NamesMatchOnlyWholeTagNames) {
  CMarkup m(u"<r><TEXTS/><TEXT/></r>");
  ASSERT_TRUE(m.FindElem(u"r"));
  ASSERT_TRUE(m.IntoElem());
  ASSERT_TRUE(m.FindElem(u"TEXT"));
  EXPECT_EQ(m.GetTagName(), u"TEXT");
  m.ResetMainPos();
  ASSERT_TRUE(m.FindElem(u"TEXTS"));
  EXPECT_EQ(m.GetTagName(), u"TEXTS");
  EXPECT_FALSE(m.FindElem(u"TEXTS"));
  // A given name may carry a tail after " ", "=", "/", "[" or "]".
  m.ResetMainPos();
  EXPECT_TRUE(m.FindElem(u"TEXT/x"));
  EXPECT_EQ(m.GetTagName(), u"TEXT");
  m.ResetMainPos();
  EXPECT_TRUE(m.FindElem(u"TEXT[2]"));
  EXPECT_FALSE(m.FindElem(u"text"));
}

TEST(MarkupNavigate, ANulInsideADocumentTagNameNeverMatchesTheEndOfTheName) {
  // SetDoc keeps NUL characters; a search for "a" must stop at its own terminator instead of
  // comparing on past it against the NUL in the document.
  std::u16string doc = u"<r><a";
  doc += u'\0';
  doc += u"b/></r>";
  CMarkup m(doc);
  m.FindElem(u"r");
  m.IntoElem();
  // On the heap, so that a read past the terminator is caught by the address checker.
  std::unique_ptr<char16_t[]> name(new char16_t[2]{u'a', 0});
  EXPECT_FALSE(m.FindElem(name.get()));
  m.ResetMainPos();
  m.SetDocFlags(8);
  EXPECT_FALSE(m.FindElem(name.get()));
}

TEST(MarkupNavigate, IgnoreCaseFlagAppliesToSearches) {
  CMarkup m(CMarkup::MDF_IGNORECASE);
  ASSERT_TRUE(m.SetDoc(u"<Root><Item Value=\"7\"/></Root>"));
  ASSERT_TRUE(m.FindElem(u"ROOT"));
  ASSERT_TRUE(m.FindChildElem(u"item"));
  EXPECT_EQ(m.GetChildAttrib(u"value"), u"7");
}

TEST(MarkupNavigate, FindElemSearchesForwardFromTheMainPosition) {
  CMarkup m(u"<r><A id=\"1\"/><B/><A id=\"3\"/><C/></r>");
  ASSERT_TRUE(m.FindElem());
  ASSERT_TRUE(m.IntoElem());
  ASSERT_TRUE(m.FindElem(u"B"));
  ASSERT_TRUE(m.FindElem(u"A"));
  EXPECT_EQ(m.GetAttrib(u"id"), u"3");
  int at = m.GetPos();
  // Nothing after: the position stays where it was.
  EXPECT_FALSE(m.FindElem(u"A"));
  EXPECT_EQ(m.GetPos(), at);
  m.ResetMainPos();
  ASSERT_TRUE(m.FindElem(u"A"));
  EXPECT_EQ(m.GetAttrib(u"id"), u"1");
  // No name: the next element, whatever its name.
  ASSERT_TRUE(m.FindElem(nullptr));
  EXPECT_EQ(m.GetTagName(), u"B");
  ASSERT_TRUE(m.FindElem(u""));
  EXPECT_EQ(m.GetTagName(), u"A");
}

TEST(MarkupNavigate, ChildPositionMovesUnderTheMainPosition) {
  CMarkup m(u"<cfg><K n=\"1\"/><K n=\"2\"/><L/></cfg>");
  // Without a main position, the first element becomes it.
  ASSERT_TRUE(m.FindChildElem(u"K"));
  EXPECT_EQ(m.GetTagName(), u"cfg");
  EXPECT_EQ(m.GetChildAttrib(u"n"), u"1");
  ASSERT_TRUE(m.FindChildElem(u"K"));
  EXPECT_EQ(m.GetChildAttrib(u"n"), u"2");
  EXPECT_FALSE(m.FindChildElem(u"K"));
  EXPECT_EQ(m.GetChildAttrib(u"n"), u"2");
  m.ResetChildPos();
  ASSERT_TRUE(m.FindChildElem(u"L"));
  EXPECT_EQ(m.GetChildTagName(), u"L");
  // Into: the child becomes the main position.
  ASSERT_TRUE(m.IntoElem());
  EXPECT_EQ(m.GetTagName(), u"L");
  EXPECT_EQ(m.GetChildTagName(), u"");
  ASSERT_TRUE(m.OutOfElem());
  EXPECT_EQ(m.GetTagName(), u"cfg");
  EXPECT_EQ(m.GetChildTagName(), u"L");
  EXPECT_FALSE(m.OutOfElem());
}

TEST(MarkupNavigate, MovesWithoutAPositionFailAndChangeNothing) {
  CMarkup m(u"<r><a/></r>");
  EXPECT_FALSE(m.IntoElem());
  EXPECT_FALSE(m.OutOfElem());
  EXPECT_EQ(m.GetTagName(), u"");
  EXPECT_EQ(m.GetAttrib(u"x"), u"");
  EXPECT_EQ(m.GetData(), u"");
  ASSERT_TRUE(m.FindElem());
  ASSERT_TRUE(m.IntoElem());
  // Into an element whose child position is empty: no main position inside it.
  EXPECT_EQ(m.GetPos(), 0);
  EXPECT_FALSE(m.IntoElem());
  ASSERT_TRUE(m.FindElem(u"a"));
  EXPECT_FALSE(m.FindChildElem());
  m.ResetPos();
  EXPECT_EQ(m.GetPosParent(), 0);
  ASSERT_TRUE(m.FindElem(u"r"));
  EXPECT_FALSE(m.FindElem());
}

TEST(MarkupNavigate, AttributesInEveryQuoteStyle) {
  CMarkup m(u"<e a=\"dq\" b='sq' c=bare d = \"spaced\" value2=\"no\" value=\"yes\" amp=\"a &amp; &lt;b&gt; &#65;\" "
            u"flag e=\"1>2\"/>");
  ASSERT_TRUE(m.FindElem());
  struct {
    const char16_t* name;
    const char16_t* value;
  } cases[] = {
      {u"a", u"dq"},       {u"b", u"sq"},   {u"c", u"bare"},          {u"d", u"spaced"},
      {u"value", u"yes"},  {u"value2", u"no"}, {u"amp", u"a & <b> A"}, {u"e", u"1>2"},
      {u"missing", u""},   {u"flag", u""},  {u"", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(m.GetAttrib(c.name), c.value) << markup_test::narrow(c.name);
  // The first attribute of a name wins.
  CMarkup twice(u"<e k=\"1\" k=\"2\"/>");
  ASSERT_TRUE(twice.FindElem());
  EXPECT_EQ(twice.GetAttrib(u"k"), u"1");
  CMarkup unquotedLast(u"<e k=v>text</e>");
  ASSERT_TRUE(unquotedLast.FindElem());
  EXPECT_EQ(unquotedLast.GetAttrib(u"k"), u"v");
}

TEST(MarkupNavigate, DataResolvesReferencesAndKeepsCdataLiteral) {
  struct {
    const char16_t* doc;
    const char16_t* data;
  } cases[] = {
      {u"<e>a &amp; b</e>", u"a & b"},
      {u"<e>text <![CDATA[<raw> &amp;]]> tail</e>", u"text <raw> &amp; tail"},
      {u"<e>a<!-- note -->b<?pi x?>c</e>", u"abc"},
      {u"<e>  spaced \r\n</e>", u"  spaced \r\n"},
      {u"<e>&#65;&#x41;&foo;&#x1F600;</e>", u"AA&foo;\U0001F600"},
      {u"<e><c/></e>", u""},
      {u"<e>x<c/>y</e>", u""},
      {u"<e/>", u""},
      {u"<e></e>", u""},
  };
  for (const auto& c : cases) {
    CMarkup m(c.doc);
    ASSERT_TRUE(m.FindElem()) << markup_test::narrow(c.doc);
    EXPECT_EQ(m.GetData(), c.data) << markup_test::narrow(c.doc);
  }
  CMarkup child(u"<r><v>1 &lt; 2</v></r>");
  ASSERT_TRUE(child.FindChildElem(u"v"));
  EXPECT_EQ(child.GetChildData(), u"1 < 2");
}

TEST(MarkupNavigate, CopiesAreIndependent) {
  CMarkup a(u"<r><x/></r>");
  CMarkup b(a);
  ASSERT_TRUE(b.FindElem());
  ASSERT_TRUE(b.AddChildElem(u"y", u"1"));
  EXPECT_EQ(a.GetDoc(), u"<r><x/></r>");
  CMarkup c;
  c = b;
  c.ResetChildPos();
  ASSERT_TRUE(c.FindChildElem(u"y"));
  EXPECT_EQ(c.GetChildData(), u"1");
  // Moves keep the positions; the source is left empty but usable.
  CMarkup d(std::move(c));
  EXPECT_EQ(d.GetChildTagName(), u"y");
  EXPECT_EQ(c.GetError(), u"Empty document");
  EXPECT_FALSE(c.FindElem());
  EXPECT_TRUE(c.AddElem(u"z"));
  c = std::move(d);
  EXPECT_EQ(c.GetChildData(), u"1");
}

}  // namespace
