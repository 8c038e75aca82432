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

TEST(MatchNameTest, ManyStarsStayFast) {
  std::string pattern(200, '*');
  pattern += "b";
  EXPECT_FALSE(MatchName(pattern, std::string(5000, 'a')));
}

}  // namespace
}  // namespace chatterwick
