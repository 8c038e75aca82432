#include "platform/listing.h"

#include <gtest/gtest.h>

namespace chatterwick::listing {
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

TEST(SortNamesTest, FoldsAsciiCaseThenByteOrder) {
  std::vector<std::string> names = {"b", "B", "a.html", ".system", "A.html", "_x", "\xC3\xA9", "Z"};
  SortNames(&names);
  EXPECT_EQ(names, (std::vector<std::string>{".system", "A.html", "a.html", "B", "b", "Z", "_x",
                                             "\xC3\xA9"}));
}

TEST(PathTest, OnlySlashesSeparateAndDoubledOnesReadAsOne) {
  EXPECT_EQ(ToPosixPath("/logs/nick\\away\\"), "/logs/nick\\away\\");
  EXPECT_EQ(ToPosixPath("/a//b\\//c/"), "/a/b\\/c/");
  std::string folder, name;
  SplitPattern("/logs/nick\\away/*.html", &folder, &name);
  EXPECT_EQ(folder, "/logs/nick\\away/");
  EXPECT_EQ(name, "*.html");
  SplitPattern("plain", &folder, &name);
  EXPECT_EQ(folder, "");
  EXPECT_EQ(name, "plain");
}

}  // namespace
}  // namespace chatterwick::listing
