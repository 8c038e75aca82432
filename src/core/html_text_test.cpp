#include "core/html_text.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace chatterwick {
namespace {

TEST(StripTagsTest, RemovesEveryTagAndNothingElse) {
  const std::pair<const char*, const char*> cases[] = {
      {"plain &lt; text", "plain &lt; text"},
      {"<a><b><c><d><e><f><g><h><i><j><k>end", "end"},
      {"a>b<i>c", "a>bc"},  // a stray ">" first doubles nothing
      {"ab<c", "ab<c"},     // no ">" after the "<": the rest stays
      {"<abc", "<abc"},
      {" x <i>y</i> ", " x y "},
      {"a<bra>b<brief/>c<b r>d", "abcd"},  // tags that only begin like a break
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(StripTags(in), out) << in;
}

TEST(StripTagsTest, LineBreaksBecomeBlanksBeforeVisibleText) {
  const std::pair<const char*, const char*> cases[] = {
      {"<br>", ""},
      {"a<br/>b<br>", "a b"},
      {"thanks!<br/>tab\tseparated<br/>;-)<br>", "thanks! tab\tseparated ;-)"},
      {"a<br/><br>", "a"},
      {"a<br><br>b", "a  b"},
      {"a<BR>b<Br />c<br class=\"x\">d<br\t/>e", "a b c d e"},
      {"<br>first", " first"},
      {"a<br> <i></i>\t", "a \t"},  // no visible text after it: the blanks stay, the break goes
      {"a<br><i>b</i>", "a b"},     // text inside later tags is visible
      {"a<br> \tb", "a  \tb"},      // the blank stands where the break stood
      {"a<br>&nbsp;", "a &nbsp;"},  // a reference is visible text
      {"a<br>x<c", "a x<c"},        // so is the unstripped rest
      {"a<br><c", "a <c"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(StripTags(in), out) << in;
}

// A paragraph, division or list item boundary reads as one blank between
// texts, as a line break does, and as nothing at either end.
TEST(StripTagsTest, BlockBoundariesBecomeOneBlankBetweenTexts) {
  const std::pair<const char*, const char*> cases[] = {
      {"<p>line one</p><p>line two</p>", "line one line two"},
      {"<body><P class='x'>one</P>\t<div>two</div><ul><li>three</li><li>four</li></ul></body>",
       "one \ttwo three four"},
      {" <p>after a blank</p>", " after a blank"},
      {"a <p>b</p>", "a b"},
      {"<div>only</div>", "only"},
      {"<pre>pre</pre><param>x", "prex"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(StripTags(in), out) << in;
}

// Kept, a line break or block boundary between texts is "\n"; before any
// text it is the blank it always was, and after the last it is nothing.
TEST(StripTagsTest, KeptLineBreaksStandBetweenTextsOnly) {
  const std::pair<const char*, const char*> cases[] = {
      {"a<br/>b<br>", "a\nb"},
      {"a<br><br>b", "a\n\nb"},
      {"<br>first", " first"},
      {" <br/>x<br>y", "  x\ny"},
      {"a<br> <i></i>\t", "a \t"},
      {"a<br> \tb", "a\n \tb"},
      {"<p>line one</p><p>line two</p>", "line one\nline two"},
      {"a <p>b</p>", "a \nb"},
      {"a<br><p>b</p><p></p>", "a\nb"},
      {"<div>only</div>", "only"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(StripTags(in, LineBreaks::kKept), out) << in;
}

TEST(StripTagsTest, HostileInputStaysLinear) {
  std::string hostile = ">";
  for (int i = 0; i < 1000; ++i) hostile += "x<";
  EXPECT_EQ(StripTags(hostile).size(), hostile.size());
  std::string breaks;
  for (int i = 0; i < 100000; ++i) breaks += "<br> ";
  EXPECT_EQ(StripTags(breaks), std::string(100000, ' '));
}

std::string Decoded(std::string text) {
  DecodeReferences(&text);
  return text;
}

TEST(DecodeReferencesTest, KnownReferencesOnceAndTheRestAsItIs) {
  const std::pair<const char*, const char*> cases[] = {
      {"1 &lt; 2 &amp;&amp; 3 &gt; 2", "1 < 2 && 3 > 2"},
      {"&quot;q&quot; &apos;a&apos;", "\"q\" 'a'"},
      {"non-breaking&nbsp;space", "non-breaking\xC2\xA0space"},
      {"&amp;lt;", "&lt;"},  // decoded once
      {"&lt;b&gt;", "<b>"},
      {"caf&#233; &#x1F600; &#X41;&#x4a;", "caf\xC3\xA9 \xF0\x9F\x98\x80 AJ"},
      {"&#1;&#127;&#128;&#2047;&#2048;&#65535;&#65536;&#1114111;",
       "\x01\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},
      {"&#0065;", "A"},
      // Every name HTML defines, from libxml2's table; nothing else.
      {"&copy; 2024 &eacute;t&eacute; &hearts; &euro;5 &mu;&ne;&lsaquo;",
       "\xC2\xA9 2024 \xC3\xA9t\xC3\xA9 \xE2\x99\xA5 \xE2\x82\xAC"
       "5 \xCE\xBC\xE2\x89\xA0\xE2\x80\xB9"},
      {"&bogus; &copy &AMP; &amp &#; &#x; &#0; &#xD800; &#xDFFF; &#x110000; &co-py; &a;",
       "&bogus; &copy &AMP; &amp &#; &#x; &#0; &#xD800; &#xDFFF; &#x110000; &co-py; &a;"},
      {"&aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa;",
       "&aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa;"},
      {"&#99999999999999999999; &#x12g; &#12", "&#99999999999999999999; &#x12g; &#12"},
      {"&&amp;& &", "&&& &"},
      {"no references", "no references"},
      {"", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(Decoded(in), out) << in;
}

}  // namespace
}  // namespace chatterwick
