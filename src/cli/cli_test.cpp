#include "cli/cli.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "platform/posix_env.h"
#include "testing/fixtures.h"
#include "testing/temp_tree.h"

namespace chatterwick {
namespace {

struct Result {
  int status;
  std::string out, err;
};

Result Cli(std::vector<std::string> args) {
  std::ostringstream out, err;
  int status = cli::Run(args, *PosixEnv(), out, err, false);
  return {status, out.str(), err.str()};
}

TEST(CliTest, UsageErrorsExitTwoWithOneLine) {
  for (auto args :
       std::vector<std::vector<std::string>>{{},
                                             {"view"},
                                             {"view", "a", "b"},
                                             {"frob"},
                                             {"catalogue"},
                                             {"catalogue", "x", "--bogus"},
                                             {"catalogue", "x", "--mask"},
                                             {"export", "x"},
                                             {"export", "x", "--csv", "a", "--text", "b"}}) {
    Result r = Cli(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(Cli({"--version"}).status, 0);
  EXPECT_NE(Cli({"--help"}).out.find("catalogue ROOT"), std::string::npos);
}

TEST(CliTest, ViewPrintsTitleThenLines) {
  testing::TempTree t;
  t.File("a.html", testing::SmallLog(2, "Chat with Bob"));
  Result r = Cli({"view", t.Path("a.html")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "Chat with Bob\n(10:00:01) Bob:  line 1\n(10:00:02) Bob:  line 2\n");
  EXPECT_EQ(r.err, "");
}

TEST(CliTest, ViewReportsLoaderFailures) {
  testing::TempTree t;
  t.File("empty.html", "");
  t.File("text.html", "hello\n<b>\n");
  for (const char* name : {"missing.html", "empty.html", "text.html"}) {
    Result r = Cli({"view", "\"" + t.Path(name) + "\""});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "File could not be loaded. (" + t.Path(name) + ")\n");
    EXPECT_EQ(r.out, "Log File: Title Unknown\n");
  }
}

TEST(CliTest, ViewListsEveryFixtureLog) {
  SKIP_WITHOUT_FIXTURES();
  for (const auto& log : testing::HtmlFilesUnder(testing::FixtureRoot())) {
    Result r = Cli({"view", log.string()});
    ASSERT_EQ(r.status, 0) << log << r.err;
    EXPECT_EQ(r.out.find("Log File: Title Unknown"), std::string::npos);
    // What people wrote, not the markup that carried it.
    for (const char* escape : {"&lt;", "&gt;", "&amp;", "&quot;", "&apos;", "&nbsp;", "<br"})
      EXPECT_EQ(r.out.find(escape), std::string::npos) << log << ": " << escape;
  }
}

TEST(CliTest, CatalogueWritesIntoTheOutputFolder) {
  testing::TempTree t;
  t.Add("logs/p/a/c/1.html");
  Result r =
      Cli({"catalogue", t.Path("logs"), "--output", t.Path("out/new"), "--no-bom", "--quiet"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Log Folder Parsing Complete!\n\nProtocols found: 1\n"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("\nLine parsing failed 0 times out of 2 times (0%)\n"), std::string::npos);
  EXPECT_EQ(t.Read("out/new/protocols.csv"), "\"1\",\"p\"\r\n");
}

TEST(CliTest, CatalogueExitsOneWhenAFileCannotBeWritten) {
  testing::TempTree t;
  t.Add("logs/p/a/c/1.html");
  t.Folder("out/chat.csv");
  Result r = Cli({"catalogue", t.Path("logs/"), "--output", t.Path("out"), "--quiet"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("Could not write " + t.Path("out/chat.csv")), std::string::npos);
}

TEST(CliTest, ExportWritesCsvOrText) {
  testing::TempTree t;
  t.File("a.html", testing::SmallLog(1, "T"));
  ASSERT_EQ(Cli({"export", t.Path("a.html"), "--csv", t.Path("a.csv"), "--no-bom"}).status, 0);
  EXPECT_EQ(t.Read("a.csv"),
            "\"\",\"\",\"<html><head><title>T</title></head><body><p>\"\r\n"
            "\"(10:00:01)\",\"Bob:\",\" line 1\"\r\n");
  ASSERT_EQ(Cli({"export", t.Path("a.html"), "--text", t.Path("a.txt")}).status, 0);
  EXPECT_EQ(t.Read("a.txt"), "(10:00:01) Bob:  line 1\r\n\r\n");
  Result r = Cli({"export", t.Path("missing.html"), "--csv", t.Path("m.csv")});
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(std::filesystem::exists(t.Path("m.csv")));
  r = Cli({"export", t.Path("a.html"), "--csv", t.Path("no/dir/x.csv")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Could not write"), std::string::npos);
}

}  // namespace
}  // namespace chatterwick
