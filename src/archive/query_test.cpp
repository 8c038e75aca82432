#include "archive/query.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/search.h"
#include "platform/posix_env.h"
#include "testing/temp_tree.h"

namespace chatterwick::archive {
namespace {

// The translation in one line: "match | exclude | lacks | groups".
std::string Render(std::string_view typed) {
  TranslatedQuery q;
  const Status s = TranslateQuery(typed, &q);
  if (!s.ok()) return "error: " + s.message();
  std::string text = q.match + " | " + q.exclude + " |";
  for (const std::string& l : q.lacks) text += " [" + l + "]";
  text += " |";
  for (const auto& group : q.groups) {
    text += " (";
    for (const QueryTerm& term : group)
      text += (term.substring ? "[" + term.text + "]" : term.text) + ";";
    text += ")";
  }
  return text;
}

TEST(QueryTest, TypedTextBecomesAnExpressionThatCannotFail) {
  const std::pair<std::string_view, const char*> cases[] = {
      {"hello", "\"hello\" |  | |"},
      {"don't", "\"don't\" |  | |"},
      {"don\u2019t", "\"don\u2019t\" |  | |"},
      {"bob@example.org", "\"bob@example.org\" |  | |"},
      {"example.com", "\"example.com\" |  | |"},
      {"10:30", "\"10:30\" |  | |"},
      {"sip:bob", "\"sip:bob\" |  | |"},
      {"https://example.com/x", "\"https://example.com/x\" |  | |"},
      {"e-mail", "\"e-mail\" |  | |"},
      {"café", "\"café\" |  | |"},
      {"say\"hi", "\"say\"\"hi\" |  | |"},
      {"see you", "\"see\" AND \"you\" |  | |"},
      {"\"see you\" tomorrow", "\"see you\" AND \"tomorrow\" |  | |"},
      {"\"see you", "\"see you\" |  | |"},
      {"\"\" x", "\"x\" |  | |"},
      {"tomo*", "\"tomo\" * |  | |"},
      {"\"see yo\"*", "\"see yo\" * |  | |"},
      {"a OR b", "(\"a\" OR \"b\") |  | |"},
      {"a OR b c", "(\"a\" OR \"b\") AND \"c\" |  | |"},
      {"a OR b OR c", "(\"a\" OR \"b\" OR \"c\") |  | |"},
      {"OR", "\"OR\" |  | |"},
      {"OR a", "\"OR\" AND \"a\" |  | |"},
      {"a OR", "\"a\" AND \"OR\" |  | |"},
      {"a or b", "\"a\" AND \"or\" AND \"b\" |  | |"},
      {"-hello", " | \"hello\" | |"},
      {"hi -spam -junk", "\"hi\" | \"spam\" OR \"junk\" | |"},
      {"NOT spam hi", "\"hi\" | \"spam\" | |"},
      {"NOT", "\"NOT\" |  | |"},
      {"a OR -b", "\"a\" AND \"OR\" | \"b\" | |"},
      {"-", " |  | | ([-];)"},
      {"*", " |  | | ([*];)"},
      {"\u6771\u4eac", " |  | | ([\u6771\u4eac];)"},
      {"\U0001F389 party", "\"party\" |  | | ([\U0001F389];)"},
      {"a OR \u6771\u4eac", " |  | | (\"a\";[\u6771\u4eac];)"},
      {"-\U0001F389", " |  | [\U0001F389] |"},
      {std::string_view("a\0b\"c\0", 6), "\"a\" AND \"b\"\"c\" |  | |"},
      {std::string_view("\"x\0y\" z", 7), "\"x y\" AND \"z\" |  | |"},
      {"NEAR(a b) {x}: ^y", "\"NEAR(a\" AND \"b)\" AND \"{x}:\" AND \"^y\" |  | |"},
  };
  for (const auto& [typed, want] : cases) EXPECT_EQ(Render(typed), want) << typed;
}

TEST(QueryTest, AQueryOfThousandsOfTermsIsRefusedAtOnce) {
  std::string many;
  for (int i = 0; i < 5000; ++i) many += "w" + std::to_string(i) + " ";
  EXPECT_EQ(Render(many), "error: the query has 5000 terms; a search takes at most 16");
  std::string enough;
  for (size_t i = 0; i < kMaxQueryTerms; ++i) enough += "w ";
  EXPECT_EQ(Render(enough).rfind("error", 0), std::string::npos);
}

// What each typed query finds in a small archive.
TEST(QueryTest, TypedTextFindsWhatPeopleMean) {
  testing::TempTree t;
  const char* const lines[] = {
      "don't panic",
      "don\u2019t worry",
      "mail bob@example.org now",
      "see https://example.com/x",
      "meet at 10:30",
      "\u6771\u4eac\u306b\u884c\u304d\u307e\u3059",
      "party \U0001F389 tonight",
      "e-mail me",
      "sip:bob called",
      "example.com is down",
      "Caf\u00e9 at noon",
      "spam and ham",
  };
  std::string log = "<title>t</title>\n";
  int second = 10;
  for (const char* line : lines) {
    log +=
        "<font size=\"2\">(10:00:" + std::to_string(second) + ")</font> <b>Ann:</b> " + line + "\n";
    ++second;
  }
  t.File("logs/p/a/c/2022-09-30.100000+0000UTC.html", log);
  const std::string db = t.Path("a.sqlite");
  ASSERT_EQ(RunArchive(*PosixEnv(), t.Path("logs/"), db, "*.html", nullptr).outcome,
            ArchiveOutcome::kDone);
  auto find = [&](std::string_view typed) {
    SearchOptions o;
    EXPECT_TRUE(TranslateQuery(typed, &o.query).ok());
    std::vector<std::string> bodies;
    const Status s = Search(db, o, [&](const SearchHit& h) {
      bodies.push_back(h.body.substr(1));
      return true;
    });
    EXPECT_TRUE(s.ok()) << typed << ": " << s.message();
    return bodies;
  };
  using V = std::vector<std::string>;
  const std::pair<const char*, V> cases[] = {
      {"don't", V{"don't panic", "don\u2019t worry"}},
      {"don\u2019t", V{"don't panic", "don\u2019t worry"}},
      {"bob@example.org", V{"mail bob@example.org now"}},
      {"example.com", V{"see https://example.com/x", "example.com is down"}},
      {"https://example.com/x", V{"see https://example.com/x"}},
      {"10:30", V{"meet at 10:30"}},
      {"sip:bob", V{"sip:bob called"}},
      {"e-mail", V{"e-mail me"}},
      {"\u6771\u4eac", V{"\u6771\u4eac\u306b\u884c\u304d\u307e\u3059"}},
      {"\U0001F389", V{"party \U0001F389 tonight"}},
      {"cafe", V{"Caf\u00e9 at noon"}},
      {"CAFÉ -noon", V{}},
      {"spam -ham", V{}},
      {"-don -example -\U0001F389 -10 -bob -\u6771\u4eac -caf\u00e9 -spam", V{"e-mail me"}},
      {"pan* OR wor*", V{"don't panic", "don\u2019t worry"}},
      {"\"bob called\"", V{"sip:bob called"}},
      {"'\"( NEAR ^ : * -", V{}},
  };
  for (const auto& [typed, want] : cases) EXPECT_EQ(find(typed), want) << typed;
}

}  // namespace
}  // namespace chatterwick::archive
