#include "cli/cli.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include "cli/cli_run.h"
#include "cli/progress.h"
#include "core/output_folder.h"
#include "platform/posix_env.h"
#include "testing/fixtures.h"
#include "testing/temp_tree.h"

namespace chatterwick {
namespace {

using Result = testing::CliResult;
Result Cli(const std::vector<std::string>& args) { return testing::RunCli(args); }

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
                                             {"export", "x", "--csv", "a", "--text", "b"},
                                             // An empty text names nothing, not "/" or ".".
                                             {"view", ""},
                                             {"catalogue", ""},
                                             {"catalogue", "x", "--output", ""},
                                             {"catalogue", "x", "--mask", ""},
                                             {"export", "", "--csv", "a"},
                                             {"export", "x", "--csv", ""},
                                             {"export", "x", "--text", ""}}) {
    Result r = Cli(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

// An installed copy with neither HOME nor XDG_DATA_HOME has nowhere to put
// its files: it says so, and never writes into the working folder instead.
// The usage line a command's table gives (in usage errors and the manual)
// names every option its parser takes, and nothing else.
TEST(CliTest, EveryUsageLineNamesWhatItsParserTakes) {
  for (const cli::CommandUsage& c : cli::CommandUsages()) {
    std::set<std::string> said;
    std::istringstream words(c.usage);
    for (std::string w; words >> w;) {
      w.erase(0, w.find_first_not_of("[("));
      w.erase(w.find_last_not_of("])|") + 1);
      if (!w.empty()) said.insert(w);
    }
    std::set<std::string> parsed;
    for (const std::vector<std::string>& names : c.parsed) {
      bool any = false;
      for (const std::string& n : names) any |= said.count(n) > 0;
      EXPECT_TRUE(any) << c.name << ": " << names.back() << " is missing from " << c.usage;
      parsed.insert(names.begin(), names.end());
    }
    for (const std::string& w : said) {
      const bool option = w.size() >= 2 && w[0] == '-' && w != "--";
      EXPECT_TRUE(!option || parsed.count(w)) << c.name << ": " << w << " is not an option";
    }
  }
}

TEST(CliTest, WithoutAPlaceForItsFilesTheDefaultsAreRefused) {
  testing::TempTree t;
  t.File("logs/p/a/c/2022-09-30.100000+0000UTC.html", testing::SmallLog(2));
  struct Homeless : EnvWrapper {
    using EnvWrapper::EnvWrapper;
    std::optional<std::string> GetVariable(const std::string&) override { return std::nullopt; }
    std::string ApplicationFolder() override { return "/usr/bin"; }
  } env(PosixEnv());
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"catalogue", t.Path("logs")},
        {"archive", t.Path("logs")},
        {"search", "word"},
        {"export-archive", "--format", "txt", "--output", t.Path("x")}}) {
    std::ostringstream out, err;
    EXPECT_EQ(cli::Run(args, env, out, err, false), 1) << args[0];
    EXPECT_EQ(err.str(),
              "chatterwick-cli: cannot find a place for its files: neither XDG_DATA_HOME nor HOME "
              "is set; name one with --output or --db.\n");
  }
  std::ostringstream out, err;
  EXPECT_EQ(
      cli::Run({"catalogue", t.Path("logs"), "--output", t.Path("out")}, env, out, err, false), 0)
      << err.str();
}

// A stop asked for while a log is read or listed ends the program at once,
// with the signal's status, instead of after the whole listing.
TEST(CliTest, AStoppedViewListsNothingMore) {
  testing::TempTree t;
  t.File("1.html", testing::SmallLog(50));
  const std::atomic<int> stop{2};
  std::ostringstream out, err;
  EXPECT_EQ(cli::Run({"view", t.Path("1.html")}, *PosixEnv(), out, err, false, &stop), 130);
  EXPECT_EQ(out.str(), "");
}

// A pipe where the archive should be, or as the first word, is no archive;
// opening it would wait for a writer that never comes.
TEST(CliTest, APipeIsNoArchiveAndKeepsNothingWaiting) {
  testing::TempTree t;
  ASSERT_EQ(::mkfifo(t.Path("pipe").c_str(), 0600), 0);
  Result r = Cli({"search", "--db", t.Path("pipe"), "word"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err,
            "chatterwick-cli: " + t.Path("pipe") + " is not an archive: not a regular file\n");
  // Taken for a word, not opened to see whether it is an archive.
  EXPECT_NE(Cli({"search", t.Path("pipe"), "zqxjzqxj"}).status, 0);
}

TEST(CliTest, EveryCommandHasHelpAndTheUsualFlagForms) {
  for (const char* command : {"view", "catalogue", "export", "archive", "search"}) {
    for (const char* help : {"--help", "-h"}) {
      Result r = Cli({command, help});
      EXPECT_EQ(r.status, 0) << command << help;
      EXPECT_NE(r.out.find(std::string("Usage: chatterwick-cli ") + command), std::string::npos)
          << r.out;
      EXPECT_EQ(r.err, "");
    }
  }
  EXPECT_NE(Cli({"catalogue", "--help"}).out.find("-o,--output"), std::string::npos);
  EXPECT_NE(Cli({"--help"}).out.find("The output folder here: "), std::string::npos);
  for (const char* v : {"--version", "-V"}) EXPECT_EQ(Cli({v}).out, "chatterwick-cli 0.1.0\n");

  testing::TempTree t;
  t.Add("logs/p/a/c/1.html");
  t.Add("logs/p/a/c/2.txt");
  const std::vector<std::vector<std::string>> forms = {
      {"catalogue", t.Path("logs"), "--output", t.Path("o1"), "--mask", "*.txt", "--quiet"},
      {"catalogue", t.Path("logs"), "--output=" + t.Path("o2"), "--mask=*.txt", "-q"},
      {"catalogue", "-o", t.Path("o3"), "-m", "*.txt", "-q", t.Path("logs")},
      {"catalogue", "-q", "-o" + t.Path("o4"), "-m*.txt", t.Path("logs")},
  };
  for (size_t i = 0; i < forms.size(); ++i) {
    Result r = Cli(forms[i]);
    EXPECT_EQ(r.status, 0) << i << r.err;
    EXPECT_EQ(r.err, "") << i;
    EXPECT_EQ(t.Read("o" + std::to_string(i + 1) + "/conversations.csv"),
              "\xEF\xBB\xBF\"1\",\"1\",\"2.txt\"\r\n")
        << i;
  }
  Result r = Cli({"view", "--", "--help"});  // a log named like an option
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "File could not be loaded. (--help): no such file\n");
}

TEST(CliTest, ViewPrintsTitleThenLines) {
  testing::TempTree t;
  t.File("a.html", testing::SmallLog(2, "Chat with Bob"));
  Result r = Cli({"view", t.Path("a.html")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "Chat with Bob\n(10:00:01) Bob:  line 1\n(10:00:02) Bob:  line 2\n");
  EXPECT_EQ(r.err, "");
}

TEST(CliTest, ViewSaysWhyALogCouldNotBeLoaded) {
  testing::TempTree t;
  t.File("empty.html", "");
  t.File("text.html", "hello\n<b>\n");
  t.File("locked.html", "<title>t</title>\n");
  ::chmod(t.Path("locked.html").c_str(), 0);
  std::string long_log = "<title>t</title>\n";
  for (int i = 0; i < 10001; ++i) long_log += "<font size=\"2\">(1)</font> <b>A:</b> m\n";
  t.File("long.html", long_log);
  const std::pair<const char*, const char*> cases[] = {
      {"missing.html", "no such file"},
      {"empty.html", "the file is empty"},
      {"text.html", "the first line is not markup"},
      {"long.html", "more than 10000 lines, the most one log may hold"},
      {"locked.html", "permission denied"},
      {"a\"quoted\".html", "no such file"},
  };
  for (const auto& [name, reason] : cases) {
    // Root reads a file whatever its permission bits.
    if (name == std::string("locked.html") && ::geteuid() == 0) continue;
    Result r = Cli({"view", t.Path(name)});
    EXPECT_EQ(r.status, 1) << name;
    // The path as given, quotes and all: the shell has already taken its own.
    EXPECT_EQ(r.err, "File could not be loaded. (" + t.Path(name) + "): " + reason + "\n");
    if (name != std::string("long.html")) {
      EXPECT_EQ(r.out, "Log File: Title Unknown\n");
    }
  }
}

TEST(CliTest, ALogNamedWithQuotesIsOpenedAsNamed) {
  testing::TempTree t;
  t.File("say \"hi\".html", testing::SmallLog(1, "Q"));
  Result r = Cli({"view", t.Path("say \"hi\".html")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Q\n(10:00:01) Bob:  line 1\n");
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
  Result r = Cli({"catalogue", t.Path("logs/"), "--output", t.Path("out")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Could not write " + t.Path("out/chat.csv") + " (Is a directory)\n");
}

// Nothing is catalogued, nothing in the output folder changes, and stderr says why.
TEST(CliTest, CatalogueOfARootThatIsNoFolderChangesNothing) {
  testing::TempTree t;
  t.File("out/protocols.csv", "earlier");
  t.File("a file", "x");
  for (const char* root : {"missing", "a file"}) {
    Result r = Cli({"catalogue", t.Path(root), "--output", t.Path("out")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    const std::string why =
        root == std::string("missing") ? "No such file or directory" : "Not a directory";
    EXPECT_EQ(r.err, "Folder could not be read. (" + t.Path(root) + "/: " + why + ")\n");
    EXPECT_EQ(std::filesystem::directory_iterator(t.Path("out"))->path().filename(),
              "protocols.csv");
    EXPECT_EQ(t.Read("out/protocols.csv"), "earlier");
  }
}

// Exit status 1 means something could not be read, even though the files
// were written from what could. Each problem is told once, on stderr, with
// its reason; stdout has the summary alone.
TEST(CliTest, CatalogueExitsOneWhenALogOrFolderCouldNotBeRead) {
  testing::TempTree t;
  t.Add("logs/p/a/c/1.html");
  t.File("logs/p/a/c/2.html", "");
  ASSERT_EQ(::symlink("loop", t.Path("logs/p/loop").c_str()), 0);
  Result r = Cli({"catalogue", t.Path("logs"), "--output", t.Path("out")});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.out.starts_with("Log Folder Parsing Complete!\n")) << r.out;
  EXPECT_NE(r.out.find("Conversations found: 2\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "Folder could not be read. (" + t.Path("logs/p//loop") +
                       ": Too many levels of symbolic links)\n"
                       "File could not be loaded. (" +
                       t.Path("logs/p/a/c/2.html") + "): the file is empty\nFiles written to " +
                       t.Path("out/") + "\n");
  EXPECT_NE(t.Read("out/chat.csv").find("line 2"), std::string::npos);
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
  // A log that could not be read costs no earlier text.
  t.File("empty.html", "");
  r = Cli({"export", t.Path("empty.html"), "--text", t.Path("a.txt")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(t.Read("a.txt"), "(10:00:01) Bob:  line 1\r\n\r\n");
  r = Cli({"export", t.Path("empty.html"), "--csv", t.Path("a.csv")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(t.Read("a.csv").find("\"\",\"\",\"\"\r\n"), std::string::npos);
  r = Cli({"export", t.Path("a.html"), "--csv", t.Path("no/dir/x.csv")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Could not write"), std::string::npos);
}

TEST(CliTest, ExportFollowsLinksWritesPipesInPlaceAndDashIsStandardOutput) {
  testing::TempTree t;
  t.File("a.html", testing::SmallLog(1, "T"));
  const std::string rows =
      "\"\",\"\",\"<html><head><title>T</title></head><body><p>\"\r\n"
      "\"(10:00:01)\",\"Bob:\",\" line 1\"\r\n";
  // Standard output is a stream, not a file for a spreadsheet: no mark.
  Result r = Cli({"export", t.Path("a.html"), "--csv", "-"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, rows);
  r = Cli({"export", t.Path("a.html"), "--text", "-"});
  EXPECT_EQ(r.out, "(10:00:01) Bob:  line 1\r\n\r\n");

  t.File("real.csv", "");
  ASSERT_EQ(::symlink("real.csv", t.Path("link.csv").c_str()), 0);
  ASSERT_EQ(Cli({"export", t.Path("a.html"), "--csv", t.Path("link.csv")}).status, 0);
  EXPECT_TRUE(std::filesystem::is_symlink(t.Path("link.csv")));
  EXPECT_EQ(t.Read("real.csv"), "\xEF\xBB\xBF" + rows);

  ASSERT_EQ(::mkfifo(t.Path("pipe").c_str(), 0644), 0);
  std::string got;
  std::thread reader([&] {
    std::ifstream in(t.Path("pipe"), std::ios::binary);
    got.assign(std::istreambuf_iterator<char>(in), {});
  });
  EXPECT_EQ(Cli({"export", t.Path("a.html"), "--text", t.Path("pipe")}).status, 0);
  reader.join();
  EXPECT_EQ(got, "(10:00:01) Bob:  line 1\r\n\r\n");
  EXPECT_TRUE(std::filesystem::is_fifo(t.Path("pipe")));
}

TEST(CliTest, ArchiveThenSearch) {
  testing::TempTree t;
  t.File("logs/jabber/me@x/=bob/2022-09-30.173826+0200CEST.html",
         "<title>t</title>\n"
         "<font size=\"2\">(17:38:38)</font> <b>Bob:</b> =SUM(A1) is blue\n"
         "<font size=\"2\">(17:39:00)</font> <b>***Bob</b> turns blue\n");
  const std::string db = t.Path("a.sqlite");
  Result r = Cli({"archive", t.Path("logs"), "--db", db, "--quiet"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Logs found: 1\n  new: 1, changed: 0, unchanged: 0, could not be read: 0\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("Messages added: 2\n"), std::string::npos);
  EXPECT_EQ(r.err, "");

  r = Cli({"search", db, "blue"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "2022-09-30T17:38:38+02:00  jabber/me@x/=bob  Bob: =SUM(A1) is blue\n"
            "2022-09-30T17:39:00+02:00  jabber/me@x/=bob  * Bob turns blue\n");
  // Quotation marks alone are no query, as an empty one is none: never "everything".
  for (const char* nothing : {"\"", "\"  \""}) {
    r = Cli({"search", db, nothing});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "chatterwick-cli search: QUERY must not be empty\n");
    EXPECT_EQ(r.out, "");
  }
  // Rows for a spreadsheet: a header, and no formula runs.
  r = Cli({"search", db, "sum", "--csv"});
  EXPECT_EQ(r.out,
            "\"sent_at\",\"protocol\",\"account\",\"contact\",\"sender\",\"body\",\"person\"\r\n"
            "\"2022-09-30T17:38:38+02:00\",\"jabber\",\"me@x\",\"'=bob\",\"Bob\","
            "\" =SUM(A1) is blue\",\"'=bob\"\r\n");
  r = Cli({"search", db, "green"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");

  t.File("text.txt", "not a database, just words on a line of their own\n");
  for (const auto& args :
       std::vector<std::vector<std::string>>{{"search", "--db", t.Path("text.txt"), "x"},
                                             {"search", "--db", t.Path("none.sqlite")},
                                             {"search", db, "--fts", "\"open"},
                                             {"search", db, "--from", "2022-02-30"},
                                             {"search", db, "--limit", "0"},
                                             {"search", "--db", ""},
                                             {"archive", ""},
                                             {"archive", t.Path("logs"), "--db", ""}}) {
    r = Cli(args);
    EXPECT_EQ(r.status, 2) << args[1];
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  r = Cli({"archive", t.Path("logs"), "--db", t.Path("text.txt")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "chatterwick-cli: the archive " + t.Path("text.txt") +
                       " could not be used: file is not a database\n");
}

// An Env whose program lives in a folder of the test's own, the folder it
// was built in, with the environment variables the test gives it.
struct TestEnv : EnvWrapper {
  TestEnv(std::string app, std::map<std::string, std::string> vars)
      : EnvWrapper(PosixEnv()), app_(std::move(app)), vars_(std::move(vars)) {
    std::filesystem::create_directories(app_);
    std::ofstream(app_ + "/" + kBuildFolderMark).put('\n');
  }
  std::string ApplicationFolder() override { return app_; }
  std::optional<std::string> GetVariable(const std::string& name) override {
    auto it = vars_.find(name);
    if (it == vars_.end()) return std::nullopt;
    return it->second;
  }
  std::string app_;
  std::map<std::string, std::string> vars_;
};

Result CliWith(Env& env, std::vector<std::string> args, bool out_is_terminal = false) {
  std::ostringstream out, err;
  int status = cli::Run(args, env, out, err, false, nullptr, out_is_terminal);
  return {status, out.str(), err.str()};
}

// Plain text is a query; the archive that archive writes is found by
// default; dates are checked as dates; no hits are said.
TEST(CliTest, SearchTakesWhatPeopleType) {
  testing::TempTree t;
  t.File("logs/jabber/me@x/zo%c3%ab/2022-09-30.173826+0200CEST.html",
         "<title>t</title>\n"
         "<font size=\"2\">(17:38:38)</font> <b>Zo\xc3\xab:</b> don't mail bob@example.org\n"
         "<font size=\"2\">(17:39:00)</font> <b>Zo\xc3\xab:</b> -hello at 10:30\n");
  TestEnv env(t.root() + "app", {});
  Result r = CliWith(env, {"search", "x"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "chatterwick-cli: there is no archive " + t.Path("app/output/archive.sqlite") +
                       " (chatterwick-cli archive ROOT makes it)\n");
  ASSERT_EQ(CliWith(env, {"archive", t.Path("logs"), "-q"}).status, 0);
  const std::string hit1 =
      "2022-09-30T17:38:38+02:00  jabber/me@x/zo\xc3\xab  Zo\xc3\xab: don't mail bob@example.org\n";
  const std::string hit2 =
      "2022-09-30T17:39:00+02:00  jabber/me@x/zo\xc3\xab  Zo\xc3\xab: -hello at 10:30\n";
  const std::string db = t.Path("app/output/archive.sqlite");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out, err;
  };
  const Case cases[] = {
      {{"search", "don't"}, 0, hit1, ""},
      {{"search", "bob@example.org", "--contact", "ZOE"}, 0, hit1, ""},
      {{"search", db, "10:30"}, 0, hit2, ""},
      {{"search", "--db", db, "e-mail"}, 1, "", "No messages match.\n"},
      {{"search", "--", "-hello"}, 0, hit1, ""},
      {{"search", "mail", "OR", "hello"}, 0, hit1 + hit2, ""},
      {{"search", "--to", "9999-12-31", "--from", "2022-09-30"}, 0, hit1 + hit2, ""},
      {{"search", "--fts", "mail OR hello"}, 0, hit1 + hit2, ""},
      {{"search", "green"}, 1, "", "No messages match.\n"},
  };
  for (const Case& c : cases) {
    r = CliWith(env, c.args);
    EXPECT_EQ(r.status, c.status) << c.args[1] << r.err;
    EXPECT_EQ(r.out, c.out) << c.args[1];
    EXPECT_EQ(r.err, c.err) << c.args[1];
  }
  const std::pair<std::vector<std::string>, std::string> usage[] = {
      {{"search", "--from", "2022-10-01", "--to", "2022-09-30"},
       "--from 2022-10-01 is later than --to 2022-09-30"},
      {{"search", "--from", "22-10-01"}, "22-10-01"},
      {{"search", "--to", "0999-01-01"}, "0999-01-01"},
      {{"search", "--to", "2023-02-29"}, "2023-02-29"},
  };
  for (const auto& [args, says] : usage) {
    r = CliWith(env, args);
    EXPECT_EQ(r.status, 2) << args[2];
    EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
}

TEST(CliTest, AMistypedCommandGetsASuggestion) {
  const std::pair<const char*, const char*> cases[] = {
      {"catalog", "chatterwick-cli: unknown command \"catalog\"; did you mean \"catalogue\"?\n"},
      {"serach", "chatterwick-cli: unknown command \"serach\"; did you mean \"search\"?\n"},
      {"arch", "chatterwick-cli: unknown command \"arch\"; did you mean \"archive\"?\n"},
      {"frobnicate",
       "chatterwick-cli: unknown command \"frobnicate\"; usage: chatterwick-cli (view | "
       "catalogue | export | archive | sources | people | search | export-archive) ...   (--help "
       "for "
       "more)\n"},
  };
  for (const auto& [typed, says] : cases) {
    Result r = Cli({typed, "x"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, says);
  }
}

// A log can never drive the terminal: its control characters are shown,
// on a terminal only, and colour follows NO_COLOR and TERM.
TEST(CliTest, ATerminalSeesControlCharactersAsEscapes) {
  testing::TempTree t;
  t.File("logs/p/a/c/2022-09-30.100000+0000UTC.html",
         "<title>\x1b]0;owned\x07</title>\n"
         "<font size=\"2\">(10:00:00)</font> <b>Ann:</b> bell\x07 \x1b[2Jclear\x7f \xc2\x9b\x31m "
         "\x9b\n");
  const std::string log = t.Path("logs/p/a/c/2022-09-30.100000+0000UTC.html");
  TestEnv plain(t.root() + "app", {});
  Result r = CliWith(plain, {"view", log}, true);
  EXPECT_EQ(r.out, "^[]0;owned^G\n(10:00:00) Ann:  bell^G ^[[2Jclear^? <U+009B>1m <9B>\n");
  r = CliWith(plain, {"view", log}, false);
  EXPECT_EQ(r.out,
            "\x1b]0;owned\x07\n(10:00:00) Ann:  bell\x07 \x1b[2Jclear\x7f \xc2\x9b\x31m \x9b\n");

  ASSERT_EQ(CliWith(plain, {"archive", t.Path("logs"), "-q"}).status, 0);
  r = CliWith(plain, {"search", "bell"}, true);
  EXPECT_EQ(r.out,
            "2022-09-30T10:00:00+00:00  p/a/c  Ann: \x1b[1;33mbell\x1b[0m^G ^[[2Jclear^? "
            "<U+009B>1m <9B>\n");
  for (const auto& vars : {std::map<std::string, std::string>{{"NO_COLOR", ""}},
                           std::map<std::string, std::string>{{"TERM", "dumb"}}}) {
    TestEnv env(t.root() + "app", vars);
    r = CliWith(env, {"search", "bell"}, true);
    EXPECT_EQ(r.out,
              "2022-09-30T10:00:00+00:00  p/a/c  Ann: bell^G ^[[2Jclear^? <U+009B>1m <9B>\n");
  }
}

// Each ROOT is remembered; archive alone reads them all again, and sources
// lists, renames and forgets them, each change under the archive's lock.
TEST(CliTest, ArchiveRemembersItsFoldersAndSourcesListsThem) {
  testing::TempTree t;
  t.File("laptop/p/a/bob/2022-09-30.100000+0000UTC.html", testing::SmallLog(3));
  t.File("backup/p/a/bob/2022-09-30.100000+0000UTC.html", testing::SmallLog(2));
  const std::string db = t.Path("a.sqlite");
  Result r = Cli({"archive", "--db", db, "-q"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "chatterwick-cli: There is no archive " + db +
                       " yet: name a log folder to read. Name it: chatterwick-cli archive ROOT\n");
  r = Cli({"archive", t.Path("laptop"), t.Path("backup"), "--db", db, "-q"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Sources read: 2, could not be reached: 0\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Messages in the archive: 3\n"), std::string::npos) << r.out;
  r = Cli({"sources", "--db", db});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("Source: laptop\n  Path: " + t.Path("laptop/") +
                       "\n  Logs: 1 at the last "
                       "read; copies kept: 1, of which still there: 1\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("Source: backup\n"), std::string::npos);

  std::filesystem::rename(t.Path("backup"), t.Path("unplugged"));
  r = Cli({"archive", "--db", db, "-q"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "The source backup (" + t.Path("backup/") +
                       ") could not be reached: No such file or directory. Its logs are kept as "
                       "they were.\n");
  EXPECT_NE(r.out.find("Messages in the archive: 3\n"), std::string::npos) << r.out;
  r = Cli({"sources", "--db", db});
  EXPECT_NE(r.out.find("Reachable now: no, No such file or directory\n"), std::string::npos);

  EXPECT_EQ(
      Cli({"sources", "rename", "backup", "laptop", "--db", db}).err,
      "chatterwick-cli: another source is called laptop; nothing was changed in " + db + "\n");
  r = Cli({"sources", "rename", "backup", "old drive", "--db", db});
  EXPECT_EQ(r.out, "Source backup is now called old drive.\n");
  r = Cli({"sources", "forget", "old drive", "--db", db});
  EXPECT_EQ(r.out,
            "Source old drive forgotten (copies of logs it held: 1); their messages are kept.\n");
  r = Cli({"archive", "--db", db, "--prune"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Messages in the archive: 3\n"), std::string::npos) << r.out;
  for (const std::vector<std::string>& wrong : {std::vector<std::string>{"sources", "frob"},
                                                {"sources", "forget"},
                                                {"sources", "rename", "a"},
                                                {"sources", "forget", ""}}) {
    r = Cli(wrong);
    EXPECT_EQ(r.status, 2) << wrong[1];
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
}

// A root without a single log replaces nothing and creates no archive; the
// user hears what a log root looks like, and a hint.
TEST(CliTest, ARootWithoutLogsChangesNothing) {
  testing::TempTree t;
  t.Add("home/.purple/logs/jabber/me/bob/1.html");
  t.File("out/chat.csv", "earlier");
  Result r = Cli({"catalogue", t.Path("home/.purple"), "--output", t.Path("out")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("No logs (*.html) were found under " + t.Path("home/.purple/") + ".\n"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("Did you mean " + t.Path("home/.purple/logs/") + "?\n"), std::string::npos);
  EXPECT_NE(r.err.find("Nothing was replaced"), std::string::npos);
  EXPECT_EQ(t.Read("out/chat.csv"), "earlier");

  const std::string db = t.Path("a.sqlite");
  r = Cli({"archive", t.Path("home/.purple/logs/jabber/me"), "--db", db});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("looks like an account folder"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(db));
  EXPECT_FALSE(std::filesystem::exists(db + ".lock"));
  // Without its final slash, the root is the same folder.
  r = Cli({"archive", t.Path("home/.purple/logs"), "--db", db, "-q"});
  EXPECT_EQ(r.status, 0) << r.err;
}

// export-archive from the default archive: the summary, a second run that
// finds everything unchanged, one file to standard output, and its usage.
TEST(CliTest, ExportArchiveWritesFilesAndSaysWhat) {
  testing::TempTree t;
  t.File("logs/jabber/me@x/zo%c3%ab/2022-09-30.173826+0200CEST.html",
         "<title>t</title>\n"
         "<font size=\"2\">(17:38:38)</font> <b>Zo\xc3\xab:</b> &lt;script&gt;x&lt;/script&gt; hi\n"
         "<font size=\"2\">(17:39:00)</font> <b>***Zo\xc3\xab</b> waves\n");
  TestEnv env(t.root() + "app", {});
  ASSERT_EQ(CliWith(env, {"archive", t.Path("logs"), "-q"}).status, 0);
  Result r = CliWith(env, {"export-archive", "--format", "txt", "-o", t.Path("out"), "-q"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(
      r.out.starts_with("Conversations exported: 1\nMessages exported: 2\n"
                        "Files written: 1, unchanged: 0, removed from the selection: 0\n"))
      << r.out;
  EXPECT_EQ(t.Read("out/jabber/me@x/zo\xc3\xab/2022-09-30 17.38.26.txt"),
            "Conversation with zo\xc3\xab\nAccount me@x (jabber), log "
            "2022-09-30.173826+0200CEST.html\nFrom 2022-09-30 17:38:38 to 2022-09-30 17:39:00, 2 "
            "messages\n\n[2022-09-30 17:38:38] Zo\xc3\xab: <script>x</script> hi\n"
            "[2022-09-30 17:39:00] * Zo\xc3\xab waves\n\n");
  r = CliWith(env, {"export-archive", "--format", "txt", "-o", t.Path("out"), "-q"});
  EXPECT_NE(r.out.find("Files written: 0, unchanged: 1, "), std::string::npos) << r.out;
  // A file that cannot be written is named once; the summary still comes, with exit status 1.
  t.File("blocked/jabber", "a file where a folder would go");
  r = CliWith(env, {"export-archive", "--format", "txt", "-o", t.Path("blocked"), "-q"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find(", could not be written: 1\n"), std::string::npos) << r.out;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_NE(r.err.find("Could not write " + t.Path("blocked/jabber")), std::string::npos) << r.err;

  r = CliWith(env, {"export-archive", "--format", "jsonl", "--single", "-", "--query", "waves",
                    "--only-matching"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
  EXPECT_NE(r.out.find("\"contact_on_disk\":\"zo%c3%ab\""), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("Conversations exported: 1\n"), std::string::npos);

  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"export-archive", "--format", "txt"},
        {"export-archive", "--format", "pdf", "-o", t.Path("x")},
        {"export-archive", "--format", "txt", "-o", t.Path("x"), "--single", t.Path("y")},
        {"export-archive", "--format", "txt", "-o", ""}}) {
    r = CliWith(env, args);
    EXPECT_EQ(r.status, 2) << args.back();
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
}

TEST(ProgressTest, ShareByBytesRateAndTimeLeft) {
  struct Case {
    int64_t done, total;
    uint64_t done_bytes, total_bytes;
    int64_t lines;
    double seconds;
    const char* text;
  };
  const Case cases[] = {
      {0, 400, 0, 0, 0, 0, "logs 0/400  0%  lines 0"},
      {1, 400, 900, 1000, 50, 9, "logs 1/400  90%  lines 50  6 lines/s  1 s left"},
      {120, 400, 250, 1000, 5000, 2, "logs 120/400  25%  lines 5000  2500 lines/s  6 s left"},
      {400, 400, 1000, 1000, 8000, 4, "logs 400/400  100%  lines 8000  2000 lines/s"},
      {3, 4, 0, 0, 10, 1, "logs 3/4  75%  lines 10  10 lines/s  0 s left"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(cli::FormatProgress(c.done, c.total, c.done_bytes, c.total_bytes, c.lines, c.seconds),
              c.text);
}

}  // namespace
}  // namespace chatterwick
