// The program on a machine it shares: names with any byte in them, links
// other people placed, files and databases it must not change or trust.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "cli/process_test_util.h"

namespace chatterwick {
namespace {

namespace fs = std::filesystem;
using testing::TempTree;

TEST(SafetyProcessTest, ABackslashOnTheCommandLineIsPartOfTheName) {
  TempTree t;
  t.File("logs/irc/me/nick\\away/1.html", testing::SmallLog(3));
  Ran view = RunToEnd(t, {"view", t.Path("logs/irc/me/nick\\away/1.html")});
  EXPECT_EQ(view.status, 0) << view.err;
  t.Folder("out");
  Ran save = RunToEnd(
      t, {"export", t.Path("logs/irc/me/nick\\away/1.html"), "--text", t.Path("out/a\\b.txt")});
  EXPECT_EQ(save.status, 0) << save.err;
  EXPECT_TRUE(fs::exists(t.Path("out/a\\b.txt")));
  EXPECT_FALSE(fs::exists(t.Path("out/a")));
  Ran archive = RunToEnd(t, {"archive", t.Path("logs"), "--db", t.Path("a.sqlite"), "--quiet"});
  EXPECT_EQ(archive.status, 0) << archive.err;
  EXPECT_NE(archive.out.find("Logs found: 1"), std::string::npos) << archive.out;
}

}  // namespace
}  // namespace chatterwick
