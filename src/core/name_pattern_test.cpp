#include "core/name_pattern.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace chatterwick {
namespace {

TEST(MatchNameTest, StarQuestionAndLetterCase) {
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"*.html", "2020-01-01.html", true},
      {"*.html", "X.HTML", true},
      {"*.html", "x.htm", false},
      {"*.html", "x.html.bak", false},
      {"*", "", true},
      {"?.txt", "a.txt", true},
      {"?.txt", "ab.txt", false},
      {"a*b*c", "aXbYbZc", true},
      {"a*b*c", "aXbYbZ", false},
      {"caf\xC3\xA9*", "CAF\xC3\xA9.html", true},
  };
  for (const auto& [pattern, name, want] : cases)
    EXPECT_EQ(MatchName(pattern, name), want) << pattern << " " << name;
}

TEST(MatchMaskTest, AnyOfItsPatterns) {
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"*.html;*.txt", "a.TXT", true},
      {"*.html;*.txt", "a.html", true},
      {"*.html;*.txt", "a.htm", false},
      {"*.html;", "", true},  // an empty pattern matches only the empty name
      {"*.html;;*.txt", "a.txt", true},
  };
  for (const auto& [mask, name, want] : cases)
    EXPECT_EQ(MatchMask(mask, name), want) << mask << " " << name;
}

TEST(MatchNameTest, ManyStarsStayFast) {
  std::string pattern(200, '*');
  pattern += "b";
  EXPECT_FALSE(MatchName(pattern, std::string(5000, 'a')));
}

}  // namespace
}  // namespace chatterwick
