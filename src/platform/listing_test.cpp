#include "platform/listing.h"

#include <gtest/gtest.h>

namespace chatterwick::listing {
namespace {

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
