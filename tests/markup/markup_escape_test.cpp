// EscapeText and UnescapeText.
#include <gtest/gtest.h>

#include "markup.h"
#include "markup_test_util.h"

using markup_test::narrow;

namespace {

TEST(MarkupEscape, EscapeText) {
  struct {
    const char16_t* text;
    int flags;
    const char16_t* escaped;
  } cases[] = {
      {u"a<b>c&d", 0, u"a&lt;b&gt;c&amp;d"},
      {u"'\"", 0, u"'\""},
      {u"'\"", 256, u"&apos;&quot;"},
      {u"&lt; &#65; &#x41; &_a-1.b:c; &\u00e9;", 8, u"&lt; &#65; &#x41; &_a-1.b:c; &\u00e9;"},
      {u"&; &1a; &a b; &a", 8, u"&amp;; &amp;1a; &amp;a b; &amp;a"},
      {u"&lt;", 0, u"&amp;lt;"},
      {u"", 0, u""},
  };
  for (const auto& c : cases) EXPECT_EQ(CMarkup::EscapeText(c.text, c.flags), c.escaped) << narrow(c.text);
  EXPECT_EQ(CMarkup::EscapeText(nullptr), u"");
  EXPECT_EQ(CMarkup::EscapeText(std::u16string(u"<")), u"&lt;");
}

TEST(MarkupEscape, UnescapeText) {
  struct {
    const char16_t* text;
    const char16_t* plain;
  } cases[] = {
      {u"&lt;&amp;&gt;&apos;&quot;", u"<&>'\""},
      {u"&#65;&#x41;", u"AA"},
      {u"&foo; &amp", u"&foo; &amp"},
      {u"&#X41; &#x; &#; &#65 &#6a;", u"&#X41; &#x; &#; &#65 &#6a;"},
      // At most seven characters after the number sign.
      {u"&#0000065;&#00000065;", u"A&#00000065;"},
      {u"&#x00041;&#x000041;&#x0000041;", u"AA&#x0000041;"},
      {u"&#x20AC;&#8364;", u"\u20ac\u20ac"},
      // Beyond U+FFFF: a surrogate pair; beyond Unicode: cut to 16 bits.
      {u"&#x1F600;&#128512;", u"\U0001F600\U0001F600"},
      {u"&#x110041;&#xFFFFFF;&#9999999;", u"A\uffff\u967f"},
      {u"&&amp;", u"&&"},
  };
  for (const auto& c : cases) EXPECT_EQ(CMarkup::UnescapeText(c.text), c.plain) << narrow(c.text);
  EXPECT_EQ(CMarkup::UnescapeText(u"a&lt;b", 5), u"a<");
  EXPECT_EQ(CMarkup::UnescapeText(u"a&lt;b", 4), u"a&lt");
  EXPECT_EQ(CMarkup::UnescapeText(nullptr), u"");
  std::u16string nul = CMarkup::UnescapeText(u"&#0;");
  EXPECT_EQ(nul, std::u16string(1, u'\0'));
}

TEST(MarkupEscape, EscapedTextUnescapesToTheOriginal) {
  const char16_t* texts[] = {u"a<b>&c'\"d", u"&amp;&lt;", u"\u4e2d\u6587 & \U0001F600"};
  for (const char16_t* t : texts) {
    EXPECT_EQ(CMarkup::UnescapeText(CMarkup::EscapeText(t, 256)), t);
    EXPECT_EQ(CMarkup::UnescapeText(CMarkup::EscapeText(t)), t);
  }
}

}  // namespace
