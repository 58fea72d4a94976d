// Reading attributes: what one element's reads see after edits, across documents and threads,
// and the form that reads into the caller's string.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "markup.h"
#include "markup_test_util.h"

namespace {

// Reads every attribute twice, so that the element's attribute list is in use.
void readTwice(const CMarkup& m, const std::vector<std::u16string>& names) {
  for (int pass = 0; pass < 2; ++pass)
    for (const auto& n : names) (void)m.GetAttrib(n);
}

TEST(MarkupAttribReads, ReadsAfterAnEditSeeTheEditedDocument) {
  CMarkup m(u"<r><a x=\"1\" y=\"22\" z=\"333\"/><b x=\"4\" y=\"55\"/></r>");
  ASSERT_TRUE(m.FindElem());
  ASSERT_TRUE(m.IntoElem());
  ASSERT_TRUE(m.FindElem(u"a"));
  readTwice(m, {u"x", u"y", u"z"});
  // The value grows: everything after it moves.
  ASSERT_TRUE(m.SetAttrib(u"x", u"one hundred"));
  EXPECT_EQ(m.GetAttrib(u"x"), u"one hundred");
  EXPECT_EQ(m.GetAttrib(u"y"), u"22");
  EXPECT_EQ(m.GetAttrib(u"z"), u"333");
  readTwice(m, {u"x", u"y", u"z"});
  ASSERT_TRUE(m.SetAttrib(u"w", u"new"));
  EXPECT_EQ(m.GetAttrib(u"w"), u"new");
  EXPECT_EQ(m.GetAttrib(u"z"), u"333");
  // An edit of another element in front of this one moves its whole start tag.
  ASSERT_TRUE(m.FindElem(u"b"));
  readTwice(m, {u"x", u"y"});
  m.ResetMainPos();
  ASSERT_TRUE(m.FindElem(u"a"));
  ASSERT_TRUE(m.SetAttrib(u"x", u"2"));
  ASSERT_TRUE(m.FindElem(u"b"));
  EXPECT_EQ(m.GetAttrib(u"x"), u"4");
  EXPECT_EQ(m.GetAttrib(u"y"), u"55");
  // A removed element's slot is taken by a new one with other attributes.
  ASSERT_TRUE(m.RemoveElem());
  ASSERT_TRUE(m.AddElem(u"c"));
  ASSERT_TRUE(m.SetAttrib(u"q", u"9"));
  EXPECT_EQ(m.GetAttrib(u"x"), u"");
  EXPECT_EQ(m.GetAttrib(u"q"), u"9");
  EXPECT_EQ(m.GetAttrib(u"q"), u"9");
}

// The value written may be text of the document itself: it is taken before the document changes.
TEST(MarkupAttribReads, WritingAValueTakenFromTheDocumentItself) {
  CMarkup m(u"<r a=\"x\"/>");
  ASSERT_TRUE(m.FindElem());
  for (int i = 0; i < 6; ++i) {
    const std::u16string before = m.GetDoc();
    // From the "a" on to the end of the text: quotes and "<" that must be escaped.
    const size_t at = before.find(u"a=");
    ASSERT_TRUE(m.SetAttrib(u"b", m.GetDoc().c_str() + at));
    EXPECT_EQ(m.GetAttrib(u"b"), before.substr(at));
    EXPECT_EQ(m.GetAttrib(u"a"), u"x");
  }
  EXPECT_TRUE(m.IsWellFormed());
}

TEST(MarkupAttribReads, DocumentsReadInTurnKeepTheirOwnValues) {
  CMarkup a(u"<r k=\"first\" v=\"1\"/>"), b(u"<r k=\"second\" v=\"22\"/>");
  ASSERT_TRUE(a.FindElem());
  ASSERT_TRUE(b.FindElem());
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(a.GetAttrib(u"k"), u"first");
    EXPECT_EQ(a.GetAttrib(u"v"), u"1");
    EXPECT_EQ(b.GetAttrib(u"k"), u"second");
    EXPECT_EQ(b.GetAttrib(u"v"), u"22");
  }
  // A copy, a reload and a swap by move each leave reads agreeing with the text.
  CMarkup c(a);
  readTwice(a, {u"k", u"v"});
  ASSERT_TRUE(c.SetDoc(u"<r v=\"other\" k=\"x\"/>"));
  ASSERT_TRUE(c.FindElem());
  EXPECT_EQ(c.GetAttrib(u"v"), u"other");
  EXPECT_EQ(c.GetAttrib(u"k"), u"x");
  readTwice(b, {u"k", u"v"});
  CMarkup moved(std::move(b));
  EXPECT_EQ(moved.GetAttrib(u"k"), u"second");
  EXPECT_EQ(moved.GetAttrib(u"v"), u"22");
  EXPECT_EQ(a.GetAttrib(u"v"), u"1");
}

TEST(MarkupAttribReads, ReadingIntoTheCallersString) {
  CMarkup m(u"<r a=\"x &amp; y\" e=\"\" n=\"12345678901234567890\"><c d=\"4\"/></r>");
  ASSERT_TRUE(m.FindElem());
  std::u16string v = u"left over";
  EXPECT_TRUE(m.GetAttrib(u"a", v));
  EXPECT_EQ(v, u"x & y");
  EXPECT_TRUE(m.GetAttrib(u"n", v));
  EXPECT_EQ(v, u"12345678901234567890");
  const char16_t* buffer = v.data();
  EXPECT_TRUE(m.GetAttrib(u"e", v));  // there, and empty
  EXPECT_EQ(v, u"");
  EXPECT_FALSE(m.GetAttrib(u"missing", v));
  EXPECT_EQ(v, u"");
  EXPECT_TRUE(m.GetAttrib(u"n", v));
  EXPECT_EQ(v.data(), buffer);  // the same buffer, no new string
  EXPECT_FALSE(m.GetChildAttrib(u"d", v));  // no child position yet
  ASSERT_TRUE(m.FindChildElem());
  EXPECT_TRUE(m.GetChildAttrib(u"d", v));
  EXPECT_EQ(v, u"4");
  CMarkup empty;
  EXPECT_FALSE(empty.GetAttrib(u"a", v));
}

// Threads reading their own documents at the same time each see their own values: the
// attribute list of the element read last is kept per thread. The thread sanitizer build checks
// that they share nothing.
TEST(MarkupAttribReads, ThreadsReadingTheirOwnDocumentsSeeTheirOwnValues) {
  std::u16string text = u"<r>";
  for (int i = 0; i < 200; ++i) {
    const std::u16string n = markup_test::widen(std::to_string(i));
    text += u"<e id=\"" + n + u"\" twice=\"" + markup_test::widen(std::to_string(2 * i)) + u"\" name=\"element " + n +
            u"\"/>";
  }
  text += u"</r>";
  const CMarkup doc(text);
  std::vector<int> wrong(4, 0);
  std::vector<std::thread> readers;
  for (int t = 0; t < 4; ++t)
    readers.emplace_back([&, t] {
      CMarkup m(doc);
      for (int round = 0; round < 20; ++round) {
        m.ResetPos();
        m.FindElem();
        m.IntoElem();
        for (int i = 0; m.FindElem(); ++i) {
          const std::u16string n = markup_test::widen(std::to_string(i));
          if (m.GetAttrib(u"name") != u"element " + n || m.GetAttrib(u"id") != n ||
              m.GetAttrib(u"twice") != markup_test::widen(std::to_string(2 * i)))
            ++wrong[static_cast<size_t>(t)];
        }
      }
    });
  for (auto& r : readers) r.join();
  for (int w : wrong) EXPECT_EQ(w, 0);
}

}  // namespace
