#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/cli_run.h"
#include "platform/posix_env.h"
#include "testing/fixtures.h"
#include "testing/temp_tree.h"

// The people command, and --person wherever messages are chosen.
namespace chatterwick {
namespace {

using Result = testing::CliResult;
Result Cli(const std::vector<std::string>& args) { return testing::RunCli(args); }

// Where search's hits are: "PERSON (PROTOCOL/ACCOUNT/CONTACT)".
std::set<std::string> HitHandles(const std::string& out) {
  std::set<std::string> handles;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    const size_t at = line.find("  ");
    if (at != std::string::npos)
      handles.insert(line.substr(at + 2, line.find("  ", at + 2) - at - 2));
  }
  return handles;
}

TEST(PeopleCommandTest, ListsMergesAndFindsEveryHandleOfAPerson) {
  SKIP_WITHOUT_FIXTURES();
  testing::TempTree t;
  const std::string db = t.Path("a.sqlite");
  ASSERT_EQ(
      Cli({"archive", (testing::FixtureRoot() / "real-logs-b").string(), "--db", db, "-q"}).status,
      0);
  Result r = Cli({"people", "--db", db, "--csv"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.out.starts_with(
      "\"person\",\"protocol\",\"account\",\"contact\",\"conversations\",\"messages\"\r\n"));
  EXPECT_NE(r.out.find("\"Bob Jones\",\"icq\",\"123456789\",\"100000000\",\"2\","),
            std::string::npos)
      << r.out;
  r = Cli({"people", "--db", db});
  EXPECT_NE(r.out.find("Bob Jones — "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Chat rooms (never people)\n"), std::string::npos) << r.out;

  r = Cli({"people", "merge", "Bob Jones", "bob", "--db", db});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err,
            "chatterwick-cli: \"bob\" names 2 contacts; name one of them:\n"
            "  aim/alicesmith84/bob\n  irc/alice@irc.libera.chat/bob\n"
            "Nothing was changed in " +
                db + ".\n");
  r = Cli({"people", "merge", "Bob Jones", "aim/alicesmith84/bob", "--db", db});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Joined to Bob Jones: 1.\n");
  EXPECT_EQ(Cli({"archive", "--db", db, "-q"}).status, 0);
  r = Cli({"search", "--db", db, "--person", "Bob Jones"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(HitHandles(r.out),
            (std::set<std::string>{"Bob Jones (aim/alicesmith84/bob)",
                                   "Bob Jones (icq/123456789/100000000)",
                                   "Bob Jones (jabber/alice.work@corp.example.net/bob@example.org)",
                                   "Bob Jones (jabber/alice@example.com/bob@example.org)"}));
  r = Cli({"search", "--db", db, "--person", "Bob"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "chatterwick-cli: no person is called \"Bob\" in " + db +
                       " (chatterwick-cli people lists them)\n");
  r = Cli({"export-archive", "--db", db, "--person", "Bob Jones", "--format", "txt", "--single",
           t.Path("bob.txt")});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string text = t.Read("bob.txt");
  EXPECT_NE(text.find("Conversation with Bob Jones (100000000)\n"), std::string::npos);
  EXPECT_NE(text.find("Conversation with Bob Jones (bob)\n"), std::string::npos);
  EXPECT_EQ(text.find("Conversation with Niaj"), std::string::npos);

  r = Cli({"people", "rename", "Bob Jones", "Niaj", "--db", db});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err,
            "chatterwick-cli: a person is called \"Niaj\" already: merge into it instead\n"
            "Nothing was changed in " +
                db + ".\n");
  for (const std::vector<std::string>& wrong : {std::vector<std::string>{"people", "frob"},
                                                {"people", "merge", "X"},
                                                {"people", "split"},
                                                {"people", "rename", "a"},
                                                {"people", "merge", "", "bob"}}) {
    r = Cli(wrong);
    EXPECT_EQ(r.status, 2) << wrong[1];
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
}

}  // namespace
}  // namespace chatterwick
