#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/reader.h"
#include "archive/schema.h"
#include "archive/source_table.h"
#include "archive/sqlite_db.h"
#include "platform/posix_env.h"
#include "testing/fixtures.h"
#include "testing/sql_rows.h"
#include "testing/temp_tree.h"

// One history from several log folders: copies of a conversation kept once
// and whole, whatever the order, and nothing lost to a folder out of reach.
namespace chatterwick::archive {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

class SourcesTest : public ::testing::Test {
 protected:
  testing::TempTree t;
  std::string db = t.Path("a.sqlite");

  ArchiveResult Run(const Strings& roots, GoneLogs gone = GoneLogs::kKeep,
                    const std::string& into = "") {
    Strings full;
    for (const std::string& root : roots)
      full.push_back(fs::path(root).is_absolute() ? root : t.Path(root));
    return RunArchive(*PosixEnv(), full, into.empty() ? db : into, kArchiveMask, &told, {}, gone);
  }
  Strings Rows(const std::string& sql, const std::string& file = "") {
    return testing::SqlRows(file.empty() ? db : file, sql);
  }
  // Every message with its conversation's place, in each conversation's order.
  Strings Messages(const std::string& file = "") {
    return Rows(
        "SELECT protocol || '/' || account || '/' || contact || '/' || file_name, "
        "coalesce(sent_at, ''), sender, body FROM chat ORDER BY 1, line_number",
        file);
  }

  struct Told : RunObserver {
    void OnProblem(const Problem& p) override { lines.push_back(p.why.message()); }
    Strings lines;
  } told;
};

std::string Stamped(int minute, const std::string& text) {
  return "<font size=\"2\">(10:" + std::string(minute < 10 ? "0" : "") + std::to_string(minute) +
         ":00)</font> <b>Bob:</b> " + text + "\n";
}

// The union of sources-b: its conversations (.system logs aside) from their
// whole copies, then the three roots in every order, run by run and at once.
TEST_F(SourcesTest, FixtureThreeMachinesGiveTheUnionInAnyOrder) {
  const fs::path roots = testing::SourcesFixtureRoot() / "sources-b";
  SKIP_WITHOUT(roots);
  std::ifstream in(roots / "expected.json");
  const nlohmann::json expected = nlohmann::json::parse(in);
  const Strings machines = {"laptop", "old-desktop", "backup-2023"};
  Strings conversations;
  for (const auto& [relative, lines] : expected["logs"].items()) {
    if (relative.find("/.system/") != std::string::npos) continue;
    conversations.push_back(relative);
    for (const std::string& machine : machines) {
      const fs::path copy = roots / machine / relative;
      std::ifstream log(copy, std::ios::binary);
      const std::string bytes((std::istreambuf_iterator<char>(log)), {});
      if (!fs::exists(copy) || std::count(bytes.begin(), bytes.end(), '\n') != lines) continue;
      fs::create_directories(fs::path(t.Path("whole/" + relative)).parent_path());
      fs::copy_file(copy, t.Path("whole/" + relative));
      break;
    }
  }
  ASSERT_EQ(Run({"whole/"}, GoneLogs::kKeep, t.Path("whole.sqlite")).outcome,
            ArchiveOutcome::kDone);
  std::sort(conversations.begin(), conversations.end());
  EXPECT_EQ(Rows("SELECT p.name || '/' || a.name || '/' || c.name || '/' || v.file_name FROM "
                 "conversation v JOIN contact c ON c.id = v.contact_id JOIN account a ON a.id = "
                 "c.account_id JOIN protocol p ON p.id = a.protocol_id ORDER BY 1",
                 t.Path("whole.sqlite")),
            conversations);
  const Strings want = Messages(t.Path("whole.sqlite"));

  Strings order = machines;
  std::sort(order.begin(), order.end());
  do {
    SCOPED_TRACE(order[0] + " " + order[1] + " " + order[2]);
    fs::remove(db);
    for (const std::string& machine : order)
      ASSERT_EQ(Run({(roots / machine).string()}).outcome, ArchiveOutcome::kDone);
    EXPECT_EQ(Messages(), want);
    EXPECT_EQ(Rows("SELECT count(*) FROM conversation"),
              Strings{std::to_string(conversations.size())});
  } while (std::next_permutation(order.begin(), order.end()));
  fs::remove(db);
  const ArchiveResult all = Run({(roots / "backup-2023").string(), (roots / "laptop").string(),
                                 (roots / "old-desktop").string()});
  EXPECT_EQ(all.summary.sources_read, 3);
  EXPECT_EQ(all.summary.differing_copies, 0);
  EXPECT_EQ(Messages(), want);
}

// Both formats, several copies, CR LF line ends: one conversation each.
TEST_F(SourcesTest, FixtureCopiesInEitherFormatAreOneConversation) {
  const fs::path html = testing::FixtureRoot() / "real-logs-b";
  SKIP_WITHOUT(html);
  SKIP_WITHOUT(testing::TextFixtureRoot());
  const ArchiveResult r = Run({html.string(), (testing::TextFixtureRoot() / "txt-logs-b").string(),
                               (testing::TextFixtureRoot() / "mixed-format-b").string(),
                               (testing::FixtureRoot() / "real-logs-b-crlf").string()});
  ASSERT_EQ(r.outcome, ArchiveOutcome::kDone) << r.why.message();
  EXPECT_EQ(r.summary.logs_found, 4 * 67);
  EXPECT_EQ(r.summary.messages_total, 2135);
  EXPECT_EQ(Rows("SELECT count(*), count(DISTINCT file_stem) FROM conversation"), Strings{"67|67"});
  EXPECT_EQ(Rows("SELECT count(*) FROM copy"), Strings{"268"});
}

// Copies that differ keep the messages of both, in time order, whichever
// came first; a copy cut inside its last message never shortens it.
TEST_F(SourcesTest, CopiesThatDifferKeepBothInTimeOrder) {
  const std::string head = "<title>t</title>\n";
  const std::string name = "p/a/bob/2022-09-30.100000+0000UTC.html";
  t.File("one/" + name, head + Stamped(1, "first") + Stamped(5, "only in one"));
  t.File("two/" + name, head + Stamped(1, "first") + Stamped(3, "only in two"));
  t.File("cut/" + name, head + Stamped(1, "first") + Stamped(5, "only"));
  Strings firsts;
  for (const Strings& order : {Strings{"one/", "two/", "cut/"}, Strings{"cut/", "two/", "one/"}}) {
    fs::remove(db);
    int64_t differing = 0;
    for (const std::string& root : order) differing += Run({root}).summary.differing_copies;
    EXPECT_EQ(differing, 1);
    EXPECT_EQ(Rows("SELECT body, line_number FROM message ORDER BY line_number"),
              (Strings{" first|1", " only in two|2", " only in one|3"}));
    EXPECT_EQ(Rows("SELECT messages, first_sent_at, last_sent_at FROM conversation"),
              Strings{"3|2022-09-30T10:01:00+00:00|2022-09-30T10:05:00+00:00"});
    EXPECT_EQ(Rows("SELECT count(*) FROM message_fts WHERE message_fts MATCH 'only'"),
              Strings{"2"});
    EXPECT_EQ(Rows("PRAGMA integrity_check"), Strings{"ok"});
  }
}

// A folder out of reach is named and changes nothing; a log is gone only
// when every source that held it was read without it, and only then pruned.
TEST_F(SourcesTest, AnUnpluggedSourceKeepsItsMessagesThroughUpdateAndPrune) {
  t.File("laptop/p/a/bob/2022-09-30.100000+0000UTC.html", testing::SmallLog(3));
  t.File("backup/p/a/bob/2022-09-30.100000+0000UTC.html", testing::SmallLog(3));
  t.File("backup/p/a/bob/2021-01-01.100000+0000UTC.html", testing::SmallLog(2));
  ASSERT_EQ(Run({"laptop", "backup"}).summary.messages_total, 5);
  fs::rename(t.Path("backup"), t.Path("unplugged"));
  for (GoneLogs gone : {GoneLogs::kKeep, GoneLogs::kPrune}) {
    told.lines.clear();
    const ArchiveResult r = Run({}, gone);
    EXPECT_EQ(r.outcome, ArchiveOutcome::kDone);
    EXPECT_EQ(r.summary.unreachable_sources, 1);
    EXPECT_EQ(r.summary.sources_read, 1);
    EXPECT_EQ(r.summary.gone_logs, 0);
    EXPECT_EQ(r.summary.pruned_logs, 0);
    EXPECT_EQ(r.summary.messages_total, 5);
    ASSERT_EQ(told.lines.size(), 1u);
    EXPECT_EQ(told.lines[0], "The source backup (" + t.Path("backup/") +
                                 ") could not be reached: No such file or directory. Its logs "
                                 "are kept as they were.");
  }
  // Gone from the laptop, still on the backup: not gone.
  fs::rename(t.Path("unplugged"), t.Path("backup"));
  fs::remove(t.Path("laptop/p/a/bob/2022-09-30.100000+0000UTC.html"));
  EXPECT_EQ(Run({}).summary.gone_logs, 0);
  fs::remove(t.Path("backup/p/a/bob/2022-09-30.100000+0000UTC.html"));
  const ArchiveResult r = Run({}, GoneLogs::kPrune);
  EXPECT_EQ(r.summary.pruned_logs, 1);
  EXPECT_EQ(r.summary.messages_total, 2);
}

// Forgetting a source keeps its messages, and a later prune keeps them too.
TEST_F(SourcesTest, ForgottenAndRenamedSources) {
  t.File("desk/p/a/bob/2022-09-30.100000+0000UTC.html", testing::SmallLog(3));
  t.File("laptop/p/a/bob/2022-10-01.100000+0000UTC.html", testing::SmallLog(2));
  ASSERT_EQ(Run({"desk", "laptop"}).outcome, ArchiveOutcome::kDone);
  EXPECT_EQ(RenameSource(*PosixEnv(), db, "desk", "laptop").message(),
            "another source is called laptop");
  EXPECT_EQ(RenameSource(*PosixEnv(), db, "nope", "x").message(), "there is no source called nope");
  EXPECT_TRUE(RenameSource(*PosixEnv(), db, "desk", "old desk").ok());
  int64_t copies = 0;
  EXPECT_TRUE(ForgetSource(*PosixEnv(), db, "old desk", &copies).ok());
  EXPECT_EQ(copies, 1);
  fs::remove_all(t.Path("desk"));
  const ArchiveResult r = Run({}, GoneLogs::kPrune);
  EXPECT_EQ(r.summary.sources_read, 1);
  EXPECT_EQ(r.summary.messages_total, 5);
  EXPECT_EQ(Rows("SELECT name FROM source"), Strings{"laptop"});
  EXPECT_EQ(RenameSource(*PosixEnv(), t.Path("none.sqlite"), "a", "b").message(),
            "there is no archive " + t.Path("none.sqlite"));
}

// A root given twice, or within another source, is read once; a source
// that holds another person's logs now loses nothing of the earlier ones.
TEST_F(SourcesTest, NestedRootsAndAForeignTreeAreToldAndCountNothingTwice) {
  t.File("all/logs/p/a/bob/2022-09-30.100000+0000UTC.html", testing::SmallLog(3));
  t.File("all/p/me/carol/2022-09-30.100000+0000UTC.html", testing::SmallLog(2));
  ArchiveResult r = Run({"all", "all/", "all/logs"});
  EXPECT_EQ(r.summary.sources_read, 2);
  EXPECT_EQ(r.summary.logs_found, 2);
  EXPECT_EQ(r.summary.messages_total, 5);
  ASSERT_EQ(told.lines.size(), 1u) << ::testing::PrintToString(told.lines);
  EXPECT_EQ(told.lines[0], "The new source all/logs (" + t.Path("all/logs/") +
                               ") lies inside the source all (" + t.Path("all/") +
                               "). Both are kept; the logs inside all/logs are read as its own "
                               "only.");
  r = Run({});
  EXPECT_EQ(r.summary.unchanged_logs, 2);

  fs::remove_all(t.Path("all/p"));
  t.File("all/q/someone/dave/2023-01-01.100000+0000UTC.html", testing::SmallLog(4));
  told.lines.clear();
  r = Run({"all"});
  EXPECT_EQ(r.summary.gone_logs, 0);
  EXPECT_EQ(r.summary.messages_total, 9);
  ASSERT_EQ(told.lines.size(), 1u);
  EXPECT_NE(told.lines[0].find("now holds the logs of other accounts than before"),
            std::string::npos);
  t.File("file", "x");
  r = Run({"file"});
  EXPECT_EQ(r.outcome, ArchiveOutcome::kRootUnreadable);
  EXPECT_NE(r.why.message().find("Not a directory"), std::string::npos);
}

// An archive of the version before sources: its folder becomes its one
// source on the next run that names it, and nothing is read again.
TEST_F(SourcesTest, AnArchiveOfTheLastVersionTakesItsFolderAsItsSource) {
  for (int day = 1; day <= 3; ++day)
    t.File("logs/p/a/bob/2022-09-0" + std::to_string(day) + ".100000+0000UTC.html",
           testing::SmallLog(day));
  ASSERT_EQ(Run({"logs"}).outcome, ArchiveOutcome::kDone);
  {
    Database d;
    ASSERT_TRUE(d.Open(db, false).ok());
    ASSERT_TRUE(d.Exec((std::string(kLayoutOfVersion6) + kChatViewOfVersion6 + kDropPeopleTables +
                        "DROP TABLE copy; DROP TABLE source; DROP INDEX conversation_stem; "
                        "ALTER TABLE conversation DROP COLUMN file_stem; "
                        "ALTER TABLE conversation DROP COLUMN messages; "
                        "ALTER TABLE conversation DROP COLUMN first_sent_at; "
                        "ALTER TABLE conversation DROP COLUMN last_sent_at; "
                        "PRAGMA user_version = 3;")
                           .c_str())
                    .ok());
  }
  told.lines.clear();
  ArchiveResult r = Run({});
  EXPECT_EQ(r.summary.unreachable_sources, 1);
  EXPECT_EQ(Rows("SELECT path, name, messages FROM source, conversation WHERE conversation.id = 3"),
            Strings{"|first log folder|3"});
  r = Run({"logs"});
  EXPECT_EQ(r.summary.unchanged_logs, 3);
  EXPECT_EQ(r.summary.messages_total, 6);
  const std::string above = fs::path(t.root()).parent_path().filename().string();
  EXPECT_EQ(Rows("SELECT path, name FROM source"),
            Strings{t.Path("logs/") + "|" + above + "/logs"});
}

TEST(SourceNameTest, AFolderNameOrTheClientsOwnLogsFolder) {
  EXPECT_EQ(DefaultSourceName("/home/me/.purple/logs/", '/'), ".purple/logs");
  EXPECT_EQ(DefaultSourceName("/media/backup-2023/", '/'), "backup-2023");
  EXPECT_EQ(DefaultSourceName("/", '/'), "/");
  EXPECT_EQ(DefaultSourceName("/logs/", '/'), "logs");
}

}  // namespace
}  // namespace chatterwick::archive
