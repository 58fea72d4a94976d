// Parsing: well-formedness, the exact error texts and offsets, and the tree built from
// documents with errors.
#include <gtest/gtest.h>

#include <string>

#include "markup.h"
#include "markup_test_util.h"

using markup_test::narrow;

namespace {

struct Malformed {
  const char16_t* doc;
  const char* error;
};

// Only the first error of a document is reported.
const Malformed kMalformed[] = {
    {u"", "Empty document"},
    {u"just text", "No root element"},
    {u"<?xml version=\"1.0\"?>\r\n<!-- nothing -->\r\n", "No root element"},
    {u"<a/><b/>", "Root element has sibling"},
    {u"<a></a>\r\n<a></a>", "Root element has sibling"},
    {u"<a>", "Element 'a' at offset 0 not ended"},
    {u"<a><b>", "Element 'b' at offset 3 not ended"},
    {u"<a><b></a>", "End tag 'a' at offset 6 does not match start tag 'b' at offset 3"},
    {u"<a><b><c></a>", "End tag 'a' at offset 9 does not match start tag 'c' at offset 6"},
    {u"<a></b></a>", "No start tag for end tag 'b' at offset 3"},
    {u"</a>", "No start tag for end tag 'a' at offset 0"},
    {u"<a></b><c>", "No start tag for end tag 'b' at offset 3"},
    {u"<a><!DOCTYPE x", "Doctype at offset 3 unterminated"},
    {u"<!DOCTYPE a [ <!ENTITY e \"]>\"> ", "Doctype at offset 0 unterminated"},
    {u"<a b=\"c>", "Element tag at offset 0 unterminated"},
    {u"<a\r\n<b/>", "Element tag at offset 0 unterminated"},
    {u"<a></a", "Element end tag at offset 3 unterminated"},
    {u"<a></a <b/>", "Element end tag at offset 3 unterminated"},
    {u"<a><![CDATA[x</a>", "CDATA Section at offset 3 unterminated"},
    {u"<?xml version=\"1.0\"", "Processing instruction at offset 0 unterminated"},
    {u"<a><!-- x </a>", "Comment at offset 3 unterminated"},
    {u"<a>x</a><!-- trailing", "Comment at offset 8 unterminated"},
    {u"<a>< b</a>", "Incorrect tag name character at offset 3"},
    {u"<a>1<2</a>", "Incorrect tag name character at offset 4"},
    {u"<a>x<", "Incorrect tag name character at offset 4"},
    {u"<a><!x></a>", "Incorrect ! tag at offset 3"},
    {u"<a><![x[</a>", "Incorrect tag at offset 3"},
    {u"<a><!-x></a>", "Incorrect comment tag at offset 3"},
};

TEST(MarkupParse, MalformedDocumentsReportTheirFirstErrorExactly) {
  for (const Malformed& c : kMalformed) {
    CMarkup m;
    EXPECT_FALSE(m.SetDoc(c.doc)) << narrow(c.doc);
    EXPECT_EQ(narrow(m.GetError()), c.error) << narrow(c.doc);
    EXPECT_FALSE(m.IsWellFormed());
  }
}

TEST(MarkupParse, WellFormedDocumentsWithEveryKindOfNode) {
  const char16_t* docs[] = {
      u"<a/>",
      u"<a />",
      u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!-- c -->\r\n<root>\r\n</root>\r\n<!-- after -->\r\n",
      u"<!DOCTYPE a [\r\n<!ENTITY x \"]>\">\r\n<!-- don't ] -->\r\n<?pi it's?>\r\n]>\r\n<a>&x;</a>",
      u"<!DOCTYPE a SYSTEM \"a.dtd\"><a/>",
      u"<a b='>' c=\"<\" d=e/>",
      u"<a><![CDATA[<b></a>]]></a>",
      u"<a><!-- </a> --><?p </a>?></a>",
      u"<_x:y.z-1><\u00e9t\u00e9/></_x:y.z-1>",
  };
  for (const char16_t* doc : docs) {
    CMarkup m;
    EXPECT_TRUE(m.SetDoc(doc)) << narrow(doc) << " -> " << narrow(m.GetError());
    EXPECT_EQ(m.GetError(), u"");
  }
}

TEST(MarkupParse, ConstructorsParseTheEmptyDocument) {
  CMarkup plain;
  EXPECT_EQ(plain.GetError(), u"Empty document");
  EXPECT_EQ(plain.GetDocFlags(), 0);
  CMarkup flagged(8);
  EXPECT_EQ(flagged.GetDocFlags(), 8);
  EXPECT_EQ(flagged.GetError(), u"Empty document");
  CMarkup text(u"<a/>");
  EXPECT_TRUE(text.IsWellFormed());
  CMarkup null(static_cast<const WCHAR*>(nullptr));
  EXPECT_EQ(null.GetError(), u"Empty document");
}

TEST(MarkupParse, MismatchedEndTagClosesInnerElementsAtTheirStartTags) {
  CMarkup m;
  ASSERT_FALSE(m.SetDoc(u"<a><b><c>x</c><d/></a>"));
  ASSERT_TRUE(m.FindElem(u"a"));
  const auto& a = m.ElemAt(m.GetPos());
  EXPECT_EQ(a.Length, 22);
  EXPECT_TRUE(a.Flags & CMarkup::MNF_ILLFORMED);
  ASSERT_TRUE(m.IntoElem());
  // b lost its content: c and d now follow it as siblings.
  ASSERT_TRUE(m.FindElem());
  EXPECT_EQ(m.GetTagName(), u"b");
  const auto& b = m.ElemAt(m.GetPos());
  EXPECT_EQ(b.Length, 3);
  EXPECT_EQ(b.EndTagLen(), 0);
  EXPECT_TRUE(b.Flags & CMarkup::MNF_NONENDED);
  EXPECT_EQ(m.GetData(), u"");
  ASSERT_TRUE(m.FindElem());
  EXPECT_EQ(m.GetTagName(), u"c");
  EXPECT_EQ(m.GetData(), u"x");
  ASSERT_TRUE(m.FindElem());
  EXPECT_EQ(m.GetTagName(), u"d");
  EXPECT_FALSE(m.FindElem());
  ASSERT_TRUE(m.OutOfElem());
  EXPECT_FALSE(m.FindElem());
}

TEST(MarkupParse, ElementsOpenAtTheEndMoveToTheDocumentLevel) {
  CMarkup m;
  ASSERT_FALSE(m.SetDoc(u"<a><b>t<c/>"));
  EXPECT_EQ(m.GetError(), u"Element 'b' at offset 3 not ended");
  const char* expected[] = {"a", "b", "c"};
  for (const char* name : expected) {
    ASSERT_TRUE(m.FindElem()) << name;
    EXPECT_EQ(narrow(m.GetTagName()), name);
  }
  EXPECT_FALSE(m.FindElem());
}

TEST(MarkupParse, LoneEndTagIsIgnoredButMarksTheDocument) {
  CMarkup m;
  ASSERT_FALSE(m.SetDoc(u"<r><x>1</y></x><z/></r>"));
  EXPECT_EQ(m.GetError(), u"No start tag for end tag 'y' at offset 7");
  ASSERT_TRUE(m.FindElem(u"r"));
  ASSERT_TRUE(m.FindChildElem(u"x"));
  EXPECT_EQ(m.GetChildData(), u"1");
  EXPECT_TRUE(m.ElemAt(m.GetPosChild()).Flags & CMarkup::MNF_ILLDATA);
  ASSERT_TRUE(m.FindChildElem(u"z"));
  EXPECT_FALSE(m.ElemAt(m.GetPosChild()).Flags & CMarkup::MNF_ILLFORMED);
}

TEST(MarkupParse, IgnoreCaseFlagAppliesToEndTags) {
  CMarkup exact;
  EXPECT_FALSE(exact.SetDoc(u"<Root></ROOT>"));
  CMarkup loose(CMarkup::MDF_IGNORECASE);
  EXPECT_TRUE(loose.SetDoc(u"<Root></ROOT>"));
}

TEST(MarkupParse, IndexRecordsOffsetsAndTagLengths) {
  CMarkup m(u"<r a=\"1\">\r\n<x>t</x>\r\n<y/>\r\n</r>");
  ASSERT_TRUE(m.IsWellFormed());
  EXPECT_EQ(markup_test::describeIndex(m), "0:r@0+31/9/4\n1:x@11+8/3/4\n1:y@21+4/4/0\n");
  EXPECT_EQ(m.ElemAt(0).FirstChild, 1);
}

TEST(MarkupParse, DeepNestingParsesWithoutRecursion) {
  const int depth = 100000;
  std::u16string doc;
  for (int i = 0; i < depth; ++i) doc += u"<a>";
  std::u16string open = doc;
  for (int i = 0; i < depth; ++i) doc += u"</a>";
  CMarkup m;
  ASSERT_TRUE(m.SetDoc(doc));
  int reached = 0;
  while (m.FindElem(u"a") && m.IntoElem()) ++reached;
  EXPECT_EQ(reached, depth);

  // Never closed: every element is closed at its start tag, all at the document level.
  ASSERT_FALSE(m.SetDoc(open));
  EXPECT_EQ(m.GetError(), u"Element 'a' at offset 299997 not ended");
  int count = 0;
  while (m.FindElem()) ++count;
  EXPECT_EQ(count, depth);
}

TEST(MarkupParse, ManyUnmatchedEndTagsUnderDeepNestingStayLinear) {
  // Each stray end tag would otherwise search the whole open-element stack.
  std::u16string doc;
  for (int i = 0; i < 50000; ++i) doc += u"<a>";
  for (int i = 0; i < 50000; ++i) doc += u"</b>";
  doc += u"</a>";
  CMarkup m;
  EXPECT_FALSE(m.SetDoc(doc));
  EXPECT_EQ(m.GetError(), u"No start tag for end tag 'b' at offset 150000");
  // The innermost a was closed by the last end tag; the others were never closed.
  EXPECT_TRUE(m.FindElem(u"a"));
}

TEST(MarkupParse, OverlongTagsAreRejectedNotTruncated) {
  std::u16string endTag = u"<a></a" + std::u16string(1100, u' ') + u">";
  CMarkup m;
  EXPECT_FALSE(m.SetDoc(endTag));
  EXPECT_EQ(m.GetError(), u"Element end tag at offset 3 too long");
}

TEST(MarkupParse, ReparsingReplacesTheIndexAndResetsPositions) {
  CMarkup m(u"<a><b/></a>");
  ASSERT_TRUE(m.FindElem());
  ASSERT_TRUE(m.IntoElem());
  ASSERT_TRUE(m.SetDoc(u"<c/>"));
  EXPECT_EQ(m.GetPos(), 0);
  EXPECT_EQ(m.GetPosParent(), 0);
  ASSERT_TRUE(m.FindElem());
  EXPECT_EQ(m.GetTagName(), u"c");
  // Setting the document from its own text is safe.
  EXPECT_TRUE(m.SetDoc(m.GetDoc()));
  EXPECT_TRUE(m.SetDoc(m.GetDoc().c_str()));
  EXPECT_EQ(m.GetDoc(), u"<c/>");
}

TEST(MarkupParse, GarbageNeverBreaksTheTree) {
  // A deterministic spray of markup fragments: every result must still be walkable.
  const char16_t* pieces[] = {u"<a>", u"</a>", u"<b x='>'>", u"</b>", u"<c/>", u"<!--", u"-->", u"<![CDATA[",
                              u"]]>", u"<?", u"?>", u"<!D", u"[", u"]", u">", u"<", u"\"", u"'", u"&#x41;", u"txt"};
  uint32_t seed = 12345;
  for (int round = 0; round < 300; ++round) {
    std::u16string doc;
    int count = 1 + round % 40;
    for (int i = 0; i < count; ++i) {
      seed = seed * 1103515245u + 12345u;
      doc += pieces[(seed >> 16) % (sizeof pieces / sizeof pieces[0])];
    }
    CMarkup m;
    m.SetDoc(doc);
    std::string index = markup_test::describeIndex(m);
    (void)index;
    // Offsets must stay within the text.
    m.ResetPos();
    while (m.FindElem()) {
      const auto& e = m.ElemAt(m.GetPos());
      ASSERT_GE(e.Start, 0);
      ASSERT_LE(e.Start + e.Length, static_cast<int>(doc.size())) << narrow(doc);
      m.GetData();
      m.GetAttrib(u"x");
    }
  }
}

}  // namespace

// Where a start tag ends: at the first ">" (or "<") outside quotes, wherever the quotes stand.
// Usual tags are read by a quicker path than the others; both must end every tag at the same place.
TEST(MarkupParse, StartTagsEndAtTheFirstBracketOutsideQuotes) {
  struct Case {
    const char16_t* doc;
    int startTagLen;     // of the first element
    const char16_t* a;   // its attribute "a"
  };
  const Case cases[] = {
      {u"<r a=\"1>2\" b='x>y'/>", 20, u"1>2"},
      {u"<r a = '<' />", 13, u"<"},
      {u"<r\"x>\" a=\"1\"></r>", 13, u""},    // a quote in the tag name opens a quoted run
      {u"<r'x>' a=\"1\"/>", 14, u""},
      {u"<r a=1 b=\"2>3\">", 15, u"1"},        // a bare value
      {u"<r 'a>b' a=\"4\"/>", 16, u"4"},       // a quoted run after no sign
      {u"<r a=\"5\" / >", 12, u"5"},           // white space after the "/": not an empty element
      {u"<r a=\"6\"\"x>\">", 13, u"6"},        // a quoted run right after a value
  };
  for (const Case& c : cases) {
    CMarkup m;
    m.SetDoc(c.doc);
    ASSERT_TRUE(m.FindElem()) << markup_test::narrow(c.doc);
    EXPECT_EQ(m.ElemAt(m.GetPos()).StartTagLen(), c.startTagLen) << markup_test::narrow(c.doc);
    EXPECT_EQ(m.GetAttrib(u"a"), c.a) << markup_test::narrow(c.doc);
  }
}
