#include "core/catalogue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <new>

#include "core/commands.h"
#include "platform/posix_env.h"
#include "testing/fixtures.h"
#include "testing/mem_env.h"
#include "testing/memory_window.h"
#include "testing/temp_tree.h"

namespace chatterwick {
namespace {

using testing::TempTree;

TEST(FailureShareTest, RoundsHalfToEvenAndDropsTrailingZeros) {
  const std::tuple<int, int, const char*> cases[] = {
      {0, 7, "0"},     {0, 0, "0"},   {1, 1000, "0.1"}, {1, 8, "12.5"},  {1, 3, "33.33"},
      {2, 3, "66.67"}, {5, 5, "100"}, {1, 80000, "0"},  {1, 40000, "0"}, {3, 40000, "0.01"},
  };
  for (const auto& [f, n, want] : cases) EXPECT_EQ(FailureShare(f, n), want) << f << "/" << n;
}

// ---- the walk, on real folders ----

class WalkTest : public ::testing::Test {
 protected:
  TempTree tree;
  LoadedLog log;
  Catalogue catalogue;
  MemoryWindow window;
  Context ctx{log, catalogue, window, *PosixEnv(), tree.Path("output/")};
  CatalogueOptions options;

  void SetUp() override { tree.Folder("output"); }
  void Walk(const std::string& root) {
    catalogue.Clear();
    walked = FolderRunResult();
    FillCatalogue(ctx, options.mask, root, &walked);
  }
  // What the pane would say of the walk.
  std::string Report() const { return FolderRunReport(walked, "", true); }
  FolderRunResult walked;
  // "Id ParentId Name" for each entry; protocols have no parent to show.
  static std::vector<std::string> Rows(const CatalogueTable& t) {
    std::vector<std::string> out;
    for (int32_t i = 1; i < t.Extent(); ++i) {
      const CatalogueEntry& e = t[i];
      std::string row = std::to_string(e.Id) + " ";
      if (e.ParentId != 0) row += std::to_string(e.ParentId) + " ";
      out.push_back(row + e.Name);
    }
    return out;
  }
  using V = std::vector<std::string>;
};

TEST_F(WalkTest, NumbersEachLevelBeforeDescending) {
  tree.Add(R"(
    logs/P/A/c1/1.html
    logs/P/A/c2/1.html
    logs/P/B/c1/1.html
    logs/Q/A/c1/1.html
    logs/Q/A/c1/2.html
  )");
  Walk(tree.Path("logs/"));
  EXPECT_EQ(Rows(catalogue.Protocols), (V{"1 P", "2 Q"}));
  EXPECT_EQ(Rows(catalogue.Accounts), (V{"1 1 A", "2 1 B", "3 2 A"}));
  EXPECT_EQ(Rows(catalogue.Contacts), (V{"1 1 c1", "2 1 c2", "3 2 c1", "4 3 c1"}));
  EXPECT_EQ(Rows(catalogue.Conversations),
            (V{"1 1 1.html", "2 2 1.html", "3 3 1.html", "4 4 1.html", "5 4 2.html"}));
  ASSERT_EQ(catalogue.ChatLines.Count(), 10);
  for (int32_t i = 1; i <= 10; ++i) {
    EXPECT_EQ(catalogue.ChatLines[i].ConversationId, (i + 1) / 2);
    EXPECT_EQ(catalogue.ChatLines[i].LineNumber, 2 - i % 2);
  }
  EXPECT_EQ(catalogue.ChatLines[10].Message, " line 2");
  EXPECT_EQ(Report(), "");
}

TEST_F(WalkTest, PassesOverNamesOnlyAtTheirOwnLevel) {
  tree.Add(R"(
    logs/p/Old Chat Logs/c/1.html
    logs/p/old chat logs/c/1.html
    logs/p/.system/c/1.html
    logs/p/acct/.system/1.html
    logs/p/acct/.SYSTEM/1.html
    logs/p/acct/Old Chat Logs/1.html
    logs/stray.html
    logs/p/stray.html
    logs/p/acct/stray.html
    logs/p/acct/Old Chat Logs/deeper/1.html
  )");
  Walk(tree.Path("logs/"));
  EXPECT_EQ(Rows(catalogue.Protocols), (V{"1 p"}));
  EXPECT_EQ(Rows(catalogue.Accounts), (V{"1 1 .system", "2 1 acct", "3 1 old chat logs"}));
  EXPECT_EQ(Rows(catalogue.Contacts), (V{"1 1 c", "2 2 .SYSTEM", "3 2 Old Chat Logs", "4 3 c"}));
  EXPECT_EQ(catalogue.Conversations.FirstFreeSlot(), 5);
}

TEST_F(WalkTest, MaskPicksFilesIgnoringCaseAndEmptyMaskTakesAll) {
  tree.Add(R"(
    logs/p/a/c/b.HTML
    logs/p/a/c/a.html
    logs/p/a/c/notes.txt
    logs/p/a/c/sub.html/
  )");
  Walk(tree.Path("logs/"));
  EXPECT_EQ(Rows(catalogue.Conversations), (V{"1 1 a.html", "2 1 b.HTML"}));
  options.mask = "";
  Walk(tree.Path("logs/"));
  EXPECT_EQ(Rows(catalogue.Conversations), (V{"1 1 a.html", "2 1 b.HTML", "3 1 notes.txt"}));
}

TEST_F(WalkTest, RootWithoutFinalSeparatorIsTheSameFolder) {
  tree.Add("logs/p/a/c/1.html");
  Walk(tree.Path("logs"));
  EXPECT_EQ(catalogue.Protocols.FirstFreeSlot(), 2);
  EXPECT_EQ(catalogue.ChatLines.Count(), 2);
}

TEST_F(WalkTest, UnreadableLogKeepsItsConversation) {
  tree.Add(R"(
    logs/p/a/c/1.html = not a log
    logs/p/a/c/2.html
  )");
  Walk(tree.Path("logs/"));
  EXPECT_EQ(Rows(catalogue.Conversations), (V{"1 1 1.html", "2 1 2.html"}));
  EXPECT_EQ(Report(), "File could not be loaded. (" + tree.Path("logs/p/a/c/1.html") + ")\r\n");
  ASSERT_EQ(catalogue.ChatLines.Count(), 2);
  EXPECT_EQ(catalogue.ChatLines[1].ConversationId, 2);
  EXPECT_EQ(catalogue.ChatLines[1].LineNumber, 1);
}

TEST_F(WalkTest, LineNumbersCountOnlyCopiedLines) {
  tree.File("logs/p/a/c/1.html",
            "<title>t</title>\n<font size=\"2\">(1)</font> <b>A:</b> x\n</p>\n<i>just text</i>\n");
  Walk(tree.Path("logs/"));
  ASSERT_EQ(catalogue.ChatLines.Count(), 2);
  EXPECT_EQ(catalogue.ChatLines[2].LineNumber, 2);
  EXPECT_EQ(catalogue.ChatLines[2].Time, "");
  EXPECT_EQ(catalogue.ChatLines[2].Message, "just text");
  EXPECT_EQ(walked.failed_lines, 1);
}

TEST_F(WalkTest, FullTablesSkipWhatDoesNotFitAndSaySo) {
  for (const char* p : {"p1", "p2"})
    for (int a = 0; a < 60; ++a)
      tree.Folder("logs/" + std::string(p) + "/acct" + std::to_string(100 + a));
  tree.Add("logs/p2/acct159/c/1.html");  // under a skipped account: never read
  Walk(tree.Path("logs/"));
  EXPECT_EQ(catalogue.Accounts.FirstFreeSlot(), 101);
  EXPECT_EQ(catalogue.Accounts[100].Name, "acct139");
  EXPECT_EQ(catalogue.Accounts[100].ParentId, 2);
  EXPECT_EQ(catalogue.Contacts.FirstFreeSlot(), 1);
  EXPECT_EQ(Report(), "The Accounts table is full: 20 entries were skipped.\r\n");
}

// ---- the catalogue run ----

class CatalogueRunTest : public WalkTest {
 protected:
  // True when the five new files took the old ones' place.
  bool Run(const std::string& root) {
    last = commands::FolderRun(ctx, options, root);
    return last.outcome == RunOutcome::kWritten;
  }
  FolderRunResult last;
};

// Five empty files in place of the earlier ones would lose them: a tree
// without a log keeps them, and the pane says what a log tree looks like.
TEST_F(CatalogueRunTest, ATreeWithoutALogKeepsTheEarlierFilesAndSaysWhy) {
  tree.Folder("logs");
  options.write_bom = false;
  tree.File("output/chat.csv", "old rows\r\n");
  EXPECT_FALSE(Run(tree.Path("logs/")));
  EXPECT_EQ(last.outcome, RunOutcome::kNoLogs);
  EXPECT_EQ(tree.Read("output/chat.csv"), "old rows\r\n");
  EXPECT_EQ(window.pane,
            "No logs (*.html) were found under " + tree.Path("logs/") +
                ".\r\nA log folder holds a folder for each protocol, in each of those a folder "
                "for each account, in those a folder for each contact, and in those the logs: " +
                tree.Path("logs/") +
                "jabber/me@example.com/bob@example.org/2022-09-30.173826+0200CEST.html\r\n"
                "Nothing was replaced: the earlier files in " +
                tree.Path("output/") + " are kept as they were.\r\n");
  EXPECT_EQ(
      window.messages,
      (V{"chatterwick: Press OK to begin processing logs. This process may take some time."}));
}

// Where it can tell, the run says where the logs may be.
TEST_F(CatalogueRunTest, ARootThatIsNoLogRootGetsAHint) {
  tree.Add(R"(
    home/.purple/logs/jabber/me/bob/1.html
  )");
  const std::pair<const char*, std::string> cases[] = {
      {"home/.purple/", "Did you mean " + tree.Path("home/.purple/logs/") + "?"},
      {"home/.purple/logs/jabber/", tree.Path("home/.purple/logs/jabber/") +
                                        " looks like a protocol folder (logs 3 levels down): the "
                                        "log folder is likely one level above it."},
      {"home/.purple/logs/jabber/me/", tree.Path("home/.purple/logs/jabber/me/") +
                                           " looks like an account folder (logs 2 levels down): "
                                           "the log folder is likely two levels above it."},
      {"home/.purple/logs/jabber/me/bob", tree.Path("home/.purple/logs/jabber/me/bob/") +
                                              " looks like a contact folder (logs 1 level down): "
                                              "the log folder is likely three levels above "
                                              "it."},
      {"home/", ""},
  };
  for (const auto& [root, hint] : cases) {
    window = MemoryWindow();
    EXPECT_FALSE(Run(tree.Path(root)));
    EXPECT_EQ(last.outcome, RunOutcome::kNoLogs) << root;
    if (!hint.empty()) EXPECT_NE(window.pane.find(hint + "\r\n"), std::string::npos) << window.pane;
    else EXPECT_EQ(window.pane.find("looks like"), std::string::npos) << window.pane;
  }
}

TEST_F(CatalogueRunTest, WritesTheFiveFilesAfterTheMark) {
  tree.File("logs/jabber/me@x/bob \"b\", jr/2020.html",
            "<title>t</title>\n<font size=\"2\">(1)</font> <b>Bob:</b> a, \"b\"\n"
            "<font size=\"2\">(2)</font> <b>Bob:</b></font><br>\n<p>x</p>\n");
  EXPECT_TRUE(Run(tree.Path("logs/")));
  const std::string bom = "\xEF\xBB\xBF";
  EXPECT_EQ(tree.Read("output/protocols.csv"), bom + "\"1\",\"jabber\"\r\n");
  EXPECT_EQ(tree.Read("output/accounts.csv"), bom + "\"1\",\"1\",\"me@x\"\r\n");
  EXPECT_EQ(tree.Read("output/contacts.csv"), bom + "\"1\",\"1\",\"bob \"\"b\"\", jr\"\r\n");
  EXPECT_EQ(tree.Read("output/conversations.csv"), bom + "\"1\",\"1\",\"2020.html\"\r\n");
  // The line without a message has its row too: every line counted is written.
  EXPECT_EQ(tree.Read("output/chat.csv"), bom +
                                              "\"1\",\"1\",\"(1)\",\"Bob:\",\" a, \"\"b\"\"\"\r\n"
                                              "\"1\",\"2\",\"(2)\",\"Bob:\",\"\"\r\n"
                                              "\"1\",\"3\",\"\",\"\",\"x\"\r\n");
  EXPECT_NE(window.pane.find("Lines of chat found: 3\r\n\r\nLine parsing failed 1 times out of 3 "
                             "times (33.33%)\r\n"),
            std::string::npos)
      << window.pane;
}

TEST_F(CatalogueRunTest, StatusLinesReachChatCsv) {
  tree.File("logs/p/a/c/1.html",
            "<title>t</title>\n"
            "<span style=\"font-size: smaller\">(14:17:11)</span><b> bob has signed off.</b><br>\n"
            "<span style=\"color: #A82F2F\"><span style=\"font-size: smaller\">(14:18:00)</span> "
            "<b>bob:</b></span> back<br>\n");
  options.write_bom = false;
  EXPECT_TRUE(Run(tree.Path("logs/")));
  EXPECT_EQ(tree.Read("output/chat.csv"),
            "\"1\",\"1\",\"(14:17:11)\",\" bob has signed off.\",\"\"\r\n"
            "\"1\",\"2\",\"(14:18:00)\",\"bob:\",\" back\"\r\n");
  EXPECT_NE(window.pane.find("Lines of chat found: 2\r\n"), std::string::npos) << window.pane;
}

// A spreadsheet opening a file with the mark must not run what others wrote.
TEST_F(CatalogueRunTest, TextThatCouldStartAFormulaIsSafeOnlyWithTheMark) {
  tree.File("logs/=p/+a/-c/@1.html",
            "<title>t</title>\n<font size=\"2\">(1)</font> <b>=cmd:</b>"
            "=HYPERLINK(\"http://x\")\n");
  EXPECT_TRUE(Run(tree.Path("logs/")));
  const std::string bom = "\xEF\xBB\xBF";
  EXPECT_EQ(tree.Read("output/protocols.csv"), bom + "\"1\",\"'=p\"\r\n");
  EXPECT_EQ(tree.Read("output/accounts.csv"), bom + "\"1\",\"1\",\"'+a\"\r\n");
  EXPECT_EQ(tree.Read("output/contacts.csv"), bom + "\"1\",\"1\",\"'-c\"\r\n");
  EXPECT_EQ(tree.Read("output/conversations.csv"), bom + "\"1\",\"1\",\"'@1.html\"\r\n");
  EXPECT_EQ(tree.Read("output/chat.csv"),
            bom + "\"1\",\"1\",\"(1)\",\"'=cmd:\",\"'=HYPERLINK(\"\"http://x\"\")\"\r\n");

  options.write_bom = false;
  EXPECT_TRUE(Run(tree.Path("logs/")));
  EXPECT_EQ(tree.Read("output/protocols.csv"), "\"1\",\"=p\"\r\n");
  EXPECT_EQ(tree.Read("output/chat.csv"),
            "\"1\",\"1\",\"(1)\",\"=cmd:\",\"=HYPERLINK(\"\"http://x\"\")\"\r\n");
}

// Found before minutes of reading, not after them.
TEST_F(CatalogueRunTest, AFileThatCannotBeWrittenIsNamedBeforeTheWalk) {
  tree.Add("logs/p/a/c/1.html");
  tree.Folder("output/contacts.csv");
  EXPECT_FALSE(Run(tree.Path("logs/")));
  EXPECT_EQ(last.outcome, RunOutcome::kOutputUnusable);
  EXPECT_EQ(window.pane,
            "Could not write " + tree.Path("output/contacts.csv") + " (Is a directory)\r\n");
  EXPECT_FALSE(std::filesystem::exists(tree.Path("output/chat.csv")));
  EXPECT_TRUE(window.messages.empty());
}

// A whole tree the chat client wrote: every conversation and chat line lands.
TEST_F(CatalogueRunTest, FixtureTreesCatalogueCompletely) {
  SKIP_WITHOUT_FIXTURES();
  for (const std::filesystem::path& fixture : testing::FixtureTrees()) {
    SCOPED_TRACE(fixture.string());
    int logs = 0, lines = 0;
    for (const auto& file : testing::HtmlFilesUnder(fixture)) {
      if (file.string().find("/.system/") != std::string::npos) continue;
      ++logs;
      std::ifstream in(file);
      for (std::string l; std::getline(in, l);)
        lines += l.rfind('<', 0) == 0 && l.find("<b>") != std::string::npos;
    }
    window.pane.clear();
    EXPECT_TRUE(Run(fixture.string() + "/"));
    EXPECT_EQ(catalogue.Conversations.FirstFreeSlot() - 1, logs);
    EXPECT_EQ(catalogue.ChatLines.Count(), lines);
    EXPECT_EQ(last.failed_lines, 0);
    EXPECT_NE(window.pane.find("Conversations found: " + std::to_string(logs) + "\r\n"),
              std::string::npos);
    EXPECT_EQ(window.pane.find("could not"), std::string::npos) << window.pane;
    // One row for every line the summary counts.
    const std::string chat = tree.Read("output/chat.csv");
    EXPECT_EQ(std::count(chat.begin(), chat.end(), '\n'), lines);
    EXPECT_NE(window.pane.find("Lines of chat found: " + std::to_string(lines) + "\r\n"),
              std::string::npos);
    for (int32_t i = 1; i <= catalogue.ChatLines.Count(); ++i) {
      const auto e = catalogue.ChatLines[i];
      ASSERT_FALSE(e.Time.empty()) << i;
      ASSERT_FALSE(catalogue.Conversations[e.ConversationId].Name.empty());
    }
  }
}

// A plain-text tree catalogues as its HTML twin does once the mask takes
// its logs; the catalogue's own default still takes HTML logs only.
TEST_F(CatalogueRunTest, FixturePlainTextLogsCatalogueWhenTheMaskTakesThem) {
  const std::filesystem::path html = testing::FixtureRoot() / "real-logs-b";
  const std::filesystem::path text = testing::TextFixtureRoot() / "txt-logs-b";
  SKIP_WITHOUT(html);
  SKIP_WITHOUT(text);
  ASSERT_TRUE(Run(html.string() + "/"));
  const int32_t conversations = catalogue.Conversations.FirstFreeSlot() - 1;
  const int32_t lines = catalogue.ChatLines.Count();
  EXPECT_FALSE(Run(text.string() + "/"));
  options.mask = "*.txt";
  ASSERT_TRUE(Run(text.string() + "/"));
  EXPECT_EQ(catalogue.Conversations.FirstFreeSlot() - 1, conversations);
  EXPECT_EQ(catalogue.ChatLines.Count(), lines);
  EXPECT_EQ(last.failed_lines, 0);
}

}  // namespace
}  // namespace chatterwick

namespace chatterwick {
namespace {

// ---- the five files as one set ----

// Takes the mark, then fails every write to one named file, as a full disk does.
class FailingWritesEnv : public EnvWrapper {
 public:
  FailingWritesEnv(Env* target, std::string name) : EnvWrapper(target), name_(std::move(name)) {}
  Status NewTempFile(const std::string& prefix, FileAccess a, std::string* path,
                     std::unique_ptr<WritableFile>* r) override {
    Status s = target()->NewTempFile(prefix, a, path, r);
    if (s.ok() && prefix.find(name_) != std::string::npos) r->reset(new Full);
    return s;
  }

 private:
  struct Full : WritableFile {
    Status Append(std::string_view) override {
      if (++appends == 1) return Status::OK();
      return Status::IOError("No space left on device");
    }
    int appends = 0;
    Status Sync() override { return Status::OK(); }
    Status Close() override { return Status::OK(); }
  };
  std::string name_;
};

// Asks the run to stop, as a signal would, once n logs are loaded.
class StopAfter : public RunObserver {
 public:
  StopAfter(std::atomic<int>* stop, int n) : stop_(stop), left_(n) {}
  void OnLogDone(uint64_t, int64_t) override {
    if (--left_ == 0) stop_->store(15);
  }

 private:
  std::atomic<int>* stop_;
  int left_;
};

class OutputSetTest : public ::testing::Test {
 protected:
  MemEnv mem;
  LoadedLog log;
  Catalogue catalogue;
  MemoryWindow window;
  std::map<std::string, std::string> earlier;

  void SetUp() override {
    for (int i = 1; i <= 3; ++i)
      mem.PutFile("/logs/p/a/c/" + std::to_string(i) + ".html",
                  "<title>t</title>\n<font size=\"2\">(1)</font> <b>A:</b> m\n");
    for (const char* f : kCatalogueFiles) mem.PutFile(std::string("/out/") + f, "earlier rows");
    earlier = mem.FilesIn("/out");
  }
  FolderRunResult Run(Env& env, const std::string& root = "/logs/", RunObserver* observer = nullptr,
                      const std::atomic<int>* stop = nullptr, bool read_ahead = true) {
    Context ctx{log, catalogue, window, env, "/out/", observer, stop};
    CatalogueOptions options;
    options.read_ahead = read_ahead;
    return commands::FolderRun(ctx, options, root);
  }
  // The earlier five files, byte for byte, and nothing else but the lock.
  void ExpectEarlierSet() {
    auto now = mem.FilesIn("/out");
    now.erase(kCatalogueLockFile);
    EXPECT_EQ(now, earlier);
  }
};

TEST_F(OutputSetTest, ANewSetReplacesTheOldOneWhole) {
  EXPECT_EQ(Run(mem).outcome, RunOutcome::kWritten);
  auto now = mem.FilesIn("/out");
  EXPECT_EQ(now.size(), 6u);  // the five and the lock
  EXPECT_EQ(now["chat.csv"],
            "\xEF\xBB\xBF\"1\",\"1\",\"(1)\",\"A:\",\" m\"\r\n"
            "\"2\",\"1\",\"(1)\",\"A:\",\" m\"\r\n\"3\",\"1\",\"(1)\",\"A:\",\" m\"\r\n");
  EXPECT_EQ(now["protocols.csv"], "\xEF\xBB\xBF\"1\",\"p\"\r\n");
  EXPECT_FALSE(mem.IsLocked("/out/.chatterwick.lock"));
}

TEST_F(OutputSetTest, AFolderThatCannotBeReadChangesNothing) {
  mem.PutFile("/a-file", "x");
  const std::pair<const char*, const char*> cases[] = {
      {"/missing/", "Folder could not be read. (/missing/: No such file or directory)\r\n"},
      {"/a-file/", "Folder could not be read. (/a-file/: Not a directory)\r\n"},
      {"", "Folder could not be read. (: no folder named)\r\n"},
  };
  for (const auto& [root, pane] : cases) {
    window = MemoryWindow();
    const FolderRunResult r = Run(mem, root);
    EXPECT_EQ(r.outcome, RunOutcome::kRootUnreadable);
    EXPECT_FALSE(r.all_read);
    EXPECT_EQ(window.pane, pane);
    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(mem.FilesIn("/out"), earlier);  // not even a lock file
  }
}

// The chat file is written while the logs are read, the others after.
TEST_F(OutputSetTest, AFailedWriteKeepsTheEarlierSetAndSaysSo) {
  for (const char* file : {"contacts.csv", "chat.csv"}) {
    SCOPED_TRACE(file);
    window.pane.clear();
    FailingWritesEnv env(&mem, file);
    const FolderRunResult r = Run(env);
    EXPECT_EQ(r.outcome, RunOutcome::kNotWritten);
    ExpectEarlierSet();
    EXPECT_NE(window.pane.find("Could not write /out/" + std::string(file) +
                               " (No space left on device)\r\n"),
              std::string::npos)
        << window.pane;
    EXPECT_NE(window.pane.find("Lines of chat found: 3\r\n"), std::string::npos);
    EXPECT_TRUE(window.pane.ends_with(
        "Nothing was replaced: the earlier files in /out/ are kept as they were.\r\n"))
        << window.pane;
  }
}

// A run that ends between two renames (a crash, a kill, a failed rename)
// leaves a record; the next run completes the set before anything else.
TEST_F(OutputSetTest, ASetLeftHalfRenamedIsCompletedByTheNextRun) {
  struct RenamesTwice : EnvWrapper {
    using EnvWrapper::EnvWrapper;
    int renames = 0;
    Status RenameFile(const std::string& from, const std::string& to) override {
      if (to.ends_with(".csv") && ++renames > 2) return Status::IOError("Input/output error");
      return EnvWrapper::RenameFile(from, to);
    }
  } env(&mem);
  EXPECT_EQ(Run(env).outcome, RunOutcome::kNotWritten);
  const auto half = mem.FilesIn("/out");
  EXPECT_NE(half.at("protocols.csv"), "earlier rows");
  EXPECT_EQ(half.at("chat.csv"), "earlier rows");
  ASSERT_EQ(half.count(kCatalogueCommitRecord), 1u);

  // The next run is stopped before it writes: the folder holds the first run's set, whole.
  std::atomic<int> stop{0};
  StopAfter observer(&stop, 1);
  EXPECT_EQ(Run(mem, "/logs/", &observer, &stop).outcome, RunOutcome::kStopped);
  auto now = mem.FilesIn("/out");
  for (const char* f : kCatalogueFiles) EXPECT_NE(now[f], "earlier rows") << f;
  EXPECT_EQ(now.count(kCatalogueCommitRecord), 0u);
  EXPECT_EQ(now.size(), 6u);  // the five and the lock, no temporary file
}

// A record names only the five files in the folder itself and the run's
// own temporary files: anything else is passed over, named, and renames
// nothing, and the run goes on as if there were none.
TEST_F(OutputSetTest, ARecordThatNamesOtherFilesRenamesNothing) {
  const char* planted[] = {
      "../cvictim/a.txt\t../cvictim/b.txt",
      ".chatterwick-catalogue-chat.csv.1\t../cvictim/b.txt",
      "../cvictim/a.txt\tchat.csv",
      "/cvictim/a.txt\tchat.csv",
      "a.txt\tchat.csv",
      ".chatterwick-catalogue-chat.csv.1\tnotes.txt",
      ".chatterwick-catalogue-chat.csv.1",
  };
  for (const char* line : planted) {
    SCOPED_TRACE(line);
    mem.PutFile("/cvictim/a.txt", "a");
    mem.PutFile("/cvictim/b.txt", "b");
    mem.PutFile("/out/a.txt", "kept");
    mem.PutFile("/out/.chatterwick-catalogue-chat.csv.1", "planted");
    mem.PutFile(std::string("/out/") + kCatalogueCommitRecord, std::string(line) + "\n");
    window.pane.clear();
    EXPECT_EQ(Run(mem).outcome, RunOutcome::kWritten);
    EXPECT_EQ(mem.Contents("/cvictim/a.txt"), "a");
    EXPECT_EQ(mem.Contents("/cvictim/b.txt"), "b");
    EXPECT_EQ(mem.Contents("/out/a.txt"), "kept");
    EXPECT_NE(mem.Contents("/out/chat.csv"), "planted");
    EXPECT_NE(window.pane.find("Passed over /out/.chatterwick-commit: it names "),
              std::string::npos)
        << window.pane;
    EXPECT_NE(window.pane.find("Lines of chat found: 3"), std::string::npos);
  }
}

TEST_F(OutputSetTest, AStoppedRunKeepsTheEarlierSet) {
  std::atomic<int> stop{0};
  StopAfter observer(&stop, 2);
  const FolderRunResult r = Run(mem, "/logs/", &observer, &stop, false);
  EXPECT_EQ(r.outcome, RunOutcome::kStopped);
  ExpectEarlierSet();
  EXPECT_EQ(mem.reads().size(), 2u);  // the third log is never read
  EXPECT_EQ(window.pane.find("Log Folder Parsing Complete!"), std::string::npos);
}

TEST_F(OutputSetTest, AnExceptionKeepsTheEarlierSet) {
  struct Throwing : EnvWrapper {
    using EnvWrapper::EnvWrapper;
    Status NewSequentialFile(const std::string&, std::unique_ptr<SequentialFile>*) override {
      throw std::bad_alloc();
    }
  } env(&mem);
  Context ctx{log, catalogue, window, env, "/out/"};
  CatalogueOptions options;
  options.folder = "/logs/";
  commands::FolderRunClick(ctx, options);
  EXPECT_EQ(window.messages.back(),
            "chatterwick: Parse Log Folder to CSV stopped: not enough memory.");
  ExpectEarlierSet();
}

TEST_F(OutputSetTest, ASecondRunIntoTheSameFolderIsRefused) {
  std::unique_ptr<FileLock> held;
  ASSERT_TRUE(mem.LockFile("/out/.chatterwick.lock", &held).ok());
  const FolderRunResult r = Run(mem);
  EXPECT_EQ(r.outcome, RunOutcome::kBusy);
  EXPECT_EQ(window.pane,
            "Another run is writing into /out/; nothing was changed. Try again when it has "
            "finished.\r\n");
  EXPECT_TRUE(mem.reads().empty());
  EXPECT_TRUE(window.messages.empty());
  ExpectEarlierSet();
}

TEST_F(OutputSetTest, WhatAKilledRunLeftIsRemoved) {
  mem.PutFile("/out/.chatterwick-catalogue-chat.csv.123-1", "half a row");
  mem.PutFile("/out/notes.txt", "the user's own");
  EXPECT_EQ(Run(mem).outcome, RunOutcome::kWritten);
  auto now = mem.FilesIn("/out");
  EXPECT_EQ(now.count(".chatterwick-catalogue-chat.csv.123-1"), 0u);
  EXPECT_EQ(now["notes.txt"], "the user's own");
}

TEST_F(OutputSetTest, ALogThatCannotBeReadIsCounted) {
  mem.PutFile("/logs/p/a/c/4.html", "");
  const FolderRunResult r = Run(mem);
  EXPECT_EQ(r.outcome, RunOutcome::kWritten);
  EXPECT_FALSE(r.all_read);
  EXPECT_EQ(r.walk_problems.size(), 1u);
}

// The progress knows the whole before the first log: logs and their bytes.
TEST_F(OutputSetTest, TheTotalIsCountedBeforeTheWalk) {
  struct Recorder : RunObserver {
    bool WantsTotal() const override { return true; }
    void OnTotal(int64_t logs, uint64_t bytes) override {
      events.push_back("total " + std::to_string(logs) + " " + std::to_string(bytes));
    }
    void OnLogDone(uint64_t bytes, int64_t lines) override {
      events.push_back("log " + std::to_string(lines) + " " + std::to_string(bytes));
    }
    std::vector<std::string> events;
  } recorder;
  mem.PutFile("/logs/p/a/c/4.html", "<title>t</title>\n");
  ASSERT_EQ(Run(mem, "/logs/", &recorder).outcome, RunOutcome::kWritten);
  const std::string one = "<title>t</title>\n<font size=\"2\">(1)</font> <b>A:</b> m\n";
  const std::string size = std::to_string(one.size());
  EXPECT_EQ(recorder.events, (std::vector<std::string>{
                                 "total 4 " + std::to_string(3 * one.size() + 17), "log 1 " + size,
                                 "log 1 " + size, "log 1 " + size, "log 0 17"}));
}

}  // namespace
}  // namespace chatterwick

namespace chatterwick {
namespace {

// Reading ahead on a second thread changes when a log is read, never what a
// run gives: the same files, the same pane with its problems in the walk's
// order, and the same log left loaded, on every tree the client wrote and on
// one with problems between its logs.
TEST_F(CatalogueRunTest, ReadingAheadGivesWhatOneThreadGives) {
  tree.Add("logs/p/a/c1/1.html\nlogs/p/a/c1/2.html = not markup\nlogs/p/a/c1/3.html");
  std::filesystem::create_directory_symlink(tree.Path("nowhere"), tree.Path("logs/p/a/c2"));
  tree.Add("logs/p/a/c3/4.html\nlogs/p/a/c3/5.html = \n");
  std::filesystem::create_symlink(tree.Path("nowhere"), tree.Path("logs/p/a/c3/45.html"));
  std::vector<std::string> roots = {tree.Path("logs/")};
  for (const std::filesystem::path& fixture : testing::FixtureTrees())
    roots.push_back(fixture.string() + "/");
  for (const std::string& root : roots) {
    SCOPED_TRACE(root);
    std::vector<std::string> seen[2];
    for (bool read_ahead : {false, true}) {
      options.read_ahead = read_ahead;
      window.pane.clear();
      log.LineCount = 77;  // what a failed load leaves as it was
      Run(root);
      std::vector<std::string>& s = seen[read_ahead];
      s.push_back(window.pane);
      for (const char* f : kCatalogueFiles) s.push_back(tree.Read(std::string("output/") + f));
      s.push_back(std::to_string(log.LineCount) + " " + std::to_string(log.FailedLineCount) + " " +
                  std::to_string(*last.last_log_stored));
      for (int32_t i = 0; i < log.RawLines.Extent(); ++i)
        s.push_back(log.RawLines[i] + "|" + log.ParsedLines[i].Message);
    }
    EXPECT_EQ(seen[0], seen[1]);
    if (root == roots[0]) {
      const std::string& pane = seen[1][0];
      EXPECT_LT(pane.find("c2"), pane.find("2.html")) << pane;
      EXPECT_LT(pane.find("2.html"), pane.find("45.html")) << pane;
      EXPECT_LT(pane.find("45.html"), pane.find("5.html")) << pane;
    }
  }
}

}  // namespace
}  // namespace chatterwick
