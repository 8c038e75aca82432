#include "archive/archive.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>
#include <tuple>

#include "archive/schema.h"
#include "archive/search.h"
#include "archive/search_index.h"
#include "archive/sqlite_db.h"
#include "core/commands.h"
#include "core/text.h"
#include "platform/posix_env.h"
#include "testing/fixtures.h"
#include "testing/memory_window.h"
#include "testing/sql_rows.h"
#include "testing/temp_tree.h"

namespace chatterwick::archive {
namespace {

using chatterwick::testing::SmallLog;
using chatterwick::testing::TempTree;
using Strings = std::vector<std::string>;

TranslatedQuery Typed(std::string_view text) {
  TranslatedQuery q;
  EXPECT_TRUE(TranslateQuery(text, &q).ok()) << text;
  return q;
}

// Stops the run, as Ctrl+C would, once n logs are done.
class StopAfter : public RunObserver {
 public:
  StopAfter(std::atomic<int>* stop, int n) : stop_(stop), left_(n) {}
  void OnLogDone(uint64_t, int64_t) override {
    if (--left_ == 0) stop_->store(2);
  }

 private:
  std::atomic<int>* stop_;
  int left_;
};

class ArchiveTest : public ::testing::Test {
 protected:
  TempTree t;
  std::string db = t.Path("a.sqlite");

  ArchiveResult Run(const std::string& root = "logs/", RunObserver* observer = nullptr,
                    const std::atomic<int>* stop = nullptr) {
    return RunArchive(*PosixEnv(), t.Path(root), db, "*.html", observer, stop);
  }
  // One text per row, its columns joined by "|".
  Strings Rows(const std::string& sql) { return chatterwick::testing::SqlRows(db, sql); }
  std::string One(const std::string& sql) {
    const Strings rows = Rows(sql);
    return rows.empty() ? "(none)" : rows[0];
  }
  Strings Find(SearchOptions options) {
    Strings hits;
    const Status s = Search(db, options, [&](const SearchHit& h) {
      hits.push_back(h.sent_at + "|" + h.contact + "|" + h.sender + "|" + h.body);
      return true;
    });
    EXPECT_TRUE(s.ok()) << s.message();
    return hits;
  }
};

TEST_F(ArchiveTest, SchemaHoldsEveryLevelWithItsKeys) {
  t.File("logs/jabber/me@x/bob/2022-09-30.173826+0200CEST.html",
         "<html><head><title>Chat with Bob</title></head><body>\n"
         "<font size=\"2\">(17:38:38)</font> <b>Bob:</b> hi &amp; bye\n"
         "no markup here\n"
         "<font size=\"2\">(17:39:00)</font> <b>***Bob</b> waves\n"
         "<span style=\"font-size: smaller\">(17:40:00)</span><b> Bob has signed off.</b><br>\n"
         "<p>just text</p>\n</body></html>\n");
  const ArchiveResult r = Run();
  ASSERT_EQ(r.outcome, ArchiveOutcome::kDone) << r.why.message();
  EXPECT_EQ(One("PRAGMA user_version"), std::to_string(kSchemaVersion));
  EXPECT_EQ(Rows("PRAGMA foreign_key_check"), Strings{});
  EXPECT_EQ(Rows("SELECT protocol, account, contact, file_name, title, started_at FROM chat "
                 "LIMIT 1"),
            Strings{"jabber|me@x|bob|2022-09-30.173826+0200CEST.html|Chat with Bob|"
                    "2022-09-30T17:38:26+02:00"});
  EXPECT_EQ(Rows("SELECT line_number, time_text, sent_at, sender, body, kind FROM message_text"),
            (Strings{"1|(17:38:38)|2022-09-30T17:38:38+02:00|Bob| hi & bye no markup here|chat",
                     "2|(17:39:00)|2022-09-30T17:39:00+02:00|Bob| waves|action",
                     "3|(17:40:00)|2022-09-30T17:40:00+02:00||Bob has signed off.|status",
                     "4||||just text|unparsed"}));
  // A name two accounts share is two rows, each under its own parent.
  t.File("logs/irc/me@x/bob/1.html", SmallLog(1));
  ASSERT_EQ(Run().outcome, ArchiveOutcome::kDone);
  EXPECT_EQ(One("SELECT count(*) FROM account WHERE name = 'me@x'"), "2");
  EXPECT_EQ(Rows("PRAGMA foreign_key_check"), Strings{});
}

// The same loader and parser as the catalogue: every line it counts is here,
// as the catalogue has it but for the message's own line breaks.
TEST_F(ArchiveTest, FixtureTreesReachTheArchiveWhole) {
  SKIP_WITHOUT_FIXTURES();
  for (const std::filesystem::path& fixture : chatterwick::testing::FixtureTrees()) {
    SCOPED_TRACE(fixture.string());
    LoadedLog log;
    Catalogue catalogue;
    MemoryWindow window;
    Context ctx{log, catalogue, window, *PosixEnv(), t.Path("out/")};
    ASSERT_EQ(commands::FolderRun(ctx, {}, fixture.string() + "/").outcome, RunOutcome::kWritten);
    Strings expected;
    int status_lines = 0;
    for (int32_t i = 1; i <= catalogue.ChatLines.Count(); ++i) {
      const ChatEntry e = catalogue.ChatLines[i];
      const std::string sender(e.Sender);
      // A status line, or the client's own error ("<b> Message could not be sent…:</b>").
      const bool error = sender.starts_with(' ') && sender.ends_with(':') &&
                         text::TrimBlanks(std::string(e.Message)).empty();
      if ((!e.Time.empty() && !sender.ends_with(':') && !sender.starts_with("***")) || error) {
        ++status_lines;
        continue;
      }
      expected.push_back(catalogue.Conversations[e.ConversationId].Name + "|" +
                         std::string(e.Time) + "|" + std::string(e.Message));
    }
    std::filesystem::remove(db);
    const ArchiveResult r =
        RunArchive(*PosixEnv(), fixture.string() + "/", db, "*.html", nullptr, nullptr);
    ASSERT_EQ(r.outcome, ArchiveOutcome::kDone) << r.why.message();
    EXPECT_EQ(r.summary.unreadable_logs, 0);
    EXPECT_EQ(r.summary.unreadable_stamps, 0);
    EXPECT_EQ(r.summary.new_logs, catalogue.Conversations.FirstFreeSlot() - 1);
    Strings archived = Rows(
        "SELECT file_name || '|' || time_text || '|' || replace(body, char(10), ' ') FROM chat "
        "WHERE kind <> 'status'");
    std::sort(expected.begin(), expected.end());
    std::sort(archived.begin(), archived.end());
    EXPECT_EQ(archived, expected);
    EXPECT_EQ(One("SELECT count(*) FROM message_text WHERE kind = 'status'"),
              std::to_string(status_lines));
    // Each stamp a full one, in the offset of its log's name.
    EXPECT_EQ(One("SELECT count(*) FROM chat WHERE sent_at IS NULL AND time_text <> ''"), "0");
    EXPECT_EQ(One("SELECT count(*) FROM chat WHERE substr(sent_at, 20) <> substr(started_at, 20)"),
              "0");
    // Each conversation's first and last stamps are those of its first and
    // last messages in time.
    for (const char* end : {"min", "max"}) {
      const std::string kept = std::string(end) == "min" ? "first_sent_at" : "last_sent_at";
      EXPECT_EQ(One("SELECT count(*) FROM conversation v WHERE " + kept +
                    " IS NOT (SELECT m.sent_at FROM message_text m WHERE m.conversation_id = "
                    "v.id AND m.sent >> 12 = (SELECT " +
                    end +
                    "(p.sent >> 12) FROM message p WHERE p.conversation_id = v.id) ORDER BY "
                    "m.line_number LIMIT 1)"),
                "0")
          << kept;
    }
  }
}

TEST_F(ArchiveTest, NoCapacityLimitsAnywhere) {
  std::string long_log = "<html><head><title>long</title></head><body>\n";
  for (int i = 0; i < 12000; ++i) long_log += "<font size=\"2\">(10:00:00)</font> <b>A:</b> m\n";
  t.File("logs/p000/a/c/long.html", long_log);
  // More protocol folders than the catalogue holds.
  for (int p = 1; p <= 101; ++p) {
    char name[16];
    std::snprintf(name, sizeof name, "p%03d", p);
    t.File("logs/" + std::string(name) + "/a/c/1.html", SmallLog(1));
  }
  const ArchiveResult r = Run();
  ASSERT_EQ(r.outcome, ArchiveOutcome::kDone);
  EXPECT_EQ(One("SELECT count(*) FROM protocol"), "102");
  EXPECT_EQ(One("SELECT count(*) FROM message m JOIN conversation v ON v.id = m.conversation_id "
                "WHERE v.file_name = 'long.html'"),
            "12000");
  EXPECT_EQ(r.summary.messages_total, 12101);
}

TEST_F(ArchiveTest, LaterRunsReadOnlyWhatChanged) {
  t.File("logs/p/a/c/same.html", SmallLog(3));
  t.File("logs/p/a/c/grows.html", SmallLog(2));
  t.File("logs/p/a/c/rewritten.html", SmallLog(4));
  t.File("logs/p/a/c/goes.html", SmallLog(5));
  ASSERT_EQ(Run().summary.messages_added, 14);

  ArchiveResult r = Run();
  EXPECT_EQ(r.summary.unchanged_logs, 4);
  EXPECT_EQ(r.summary.messages_added, 0);

  t.File("logs/p/a/c/grows.html", SmallLog(3));
  t.File("logs/p/a/c/rewritten.html", SmallLog(1, "Other"));
  std::filesystem::remove(t.Path("logs/p/a/c/goes.html"));
  t.File("logs/p/a/c/new.html", SmallLog(1));
  r = Run();
  EXPECT_EQ(r.summary.logs_found, 4);
  EXPECT_EQ(r.summary.new_logs, 1);
  EXPECT_EQ(r.summary.changed_logs, 2);
  EXPECT_EQ(r.summary.unchanged_logs, 1);
  EXPECT_EQ(r.summary.gone_logs, 1);
  EXPECT_EQ(r.summary.messages_added, 2);
  // A grown log adds what followed; one that shrank (an older copy put back)
  // takes nothing away; a gone one's messages stay.
  EXPECT_EQ(r.summary.messages_total, 3 + 3 + 1 + 5 + 4);
  EXPECT_EQ(
      Rows("SELECT file_name, count(*) FROM chat GROUP BY file_name ORDER BY file_name"),
      (Strings{"goes.html|5", "grows.html|3", "new.html|1", "rewritten.html|4", "same.html|3"}));
  EXPECT_EQ(
      Rows("SELECT file_name, messages FROM conversation ORDER BY file_name"),
      (Strings{"goes.html|5", "grows.html|3", "new.html|1", "rewritten.html|4", "same.html|3"}));
}

TEST_F(ArchiveTest, AnInterruptedRunIsCompletedByTheNext) {
  for (int i = 0; i < 1200; ++i) t.File("logs/p/a/c/" + std::to_string(i) + ".html", SmallLog(2));
  std::atomic<int> stop{0};
  StopAfter observer(&stop, 700);
  ArchiveResult r = Run("logs/", &observer, &stop);
  EXPECT_EQ(r.outcome, ArchiveOutcome::kStopped);
  const int64_t kept = std::stoll(One("SELECT count(*) FROM conversation"));
  EXPECT_EQ(kept, 700);
  EXPECT_EQ(One("PRAGMA integrity_check"), "ok");
  r = Run();
  EXPECT_EQ(r.outcome, ArchiveOutcome::kDone);
  EXPECT_EQ(r.summary.new_logs, 1200 - kept);
  EXPECT_EQ(r.summary.messages_total, 2400);
  EXPECT_EQ(One("SELECT count(*) FROM message_fts('line')"), "2400");
  EXPECT_EQ(One("SELECT v FROM message_fts_config WHERE k = 'automerge'"), "4");
}

// A first run builds its indexes and merges its full-text index at its very
// end; a stop there keeps every message, and leaves that work, and what the
// full-text index had not taken yet, to the next run.
TEST_F(ArchiveTest, AStopInTheLastStepsLeavesThemToTheNextRun) {
  // Three batches, so three segments to merge.
  for (int i = 0; i < 1200; ++i) t.File("logs/p/a/c/" + std::to_string(i) + ".html", SmallLog(2));
  std::atomic<int> stop{0};
  StopAfter observer(&stop, 1200);
  ArchiveResult r = Run("logs/", &observer, &stop);
  EXPECT_EQ(r.outcome, ArchiveOutcome::kStopped);
  EXPECT_EQ(One("SELECT count(*) FROM conversation"), "1200");
  // The full-text index may be behind what was stored: a stop waits for neither.
  EXPECT_LE(std::stoi(One("SELECT count(*) FROM message_fts('line')")), 2400);
  // Segments are numbered in the high bits of the index's row ids.
  const std::string segments =
      "SELECT count(DISTINCT id >> 37) FROM message_fts_data WHERE id >> 37";
  const std::string indexes =
      "SELECT group_concat(name, ' ') FROM sqlite_schema WHERE type = 'index' AND "
      "name IN ('message_sent_at', 'message_order')";
  EXPECT_EQ(One(indexes), "");

  r = Run();
  EXPECT_EQ(r.outcome, ArchiveOutcome::kDone);
  EXPECT_EQ(r.summary.unchanged_logs, 1200);
  EXPECT_EQ(One(segments), "1");
  EXPECT_EQ(One(indexes), "message_order");
  EXPECT_EQ(One("SELECT count(*) FROM message_fts('line')"), "2400");
  EXPECT_EQ(One("SELECT count(*) FROM message_fts('line AND 2')"), "1200");
  EXPECT_EQ(One("SELECT v FROM message_fts_config WHERE k = 'automerge'"), "4");

  // Later runs merge as they go, and the index stays whole.
  for (int i = 0; i < 600; ++i) t.File("logs/p/a/d/" + std::to_string(i) + ".html", SmallLog(1));
  r = Run();
  EXPECT_EQ(r.summary.new_logs, 600);
  EXPECT_EQ(One("SELECT count(*) FROM message_fts('line')"), "3000");
  Database d;
  ASSERT_TRUE(d.Open(SearchIndexPath(db), false).ok());
  const Status check = d.Exec("INSERT INTO message_fts(message_fts) VALUES ('integrity-check')");
  EXPECT_TRUE(check.ok()) << check.message();
}

TEST_F(ArchiveTest, WhatCannotBeUsedIsRefusedClearly) {
  t.File("logs/p/a/c/1.html", SmallLog(1));
  t.File("logs/p/a/c/empty.html", "");
  // A second run at once waits for nothing: it is refused.
  {
    std::unique_ptr<FileLock> held;
    ASSERT_TRUE(PosixEnv()->LockFile(db + ".lock", &held).ok());
    const ArchiveResult r = Run();
    EXPECT_EQ(r.outcome, ArchiveOutcome::kBusy);
    EXPECT_FALSE(std::filesystem::exists(db));
  }
  ArchiveResult r = Run("missing/");
  EXPECT_EQ(r.outcome, ArchiveOutcome::kRootUnreadable);
  EXPECT_EQ(r.why.message(),
            "Folder could not be read. (" + t.Path("missing/") + ": No such file or directory)");
  r = Run();
  EXPECT_EQ(r.outcome, ArchiveOutcome::kDone);
  EXPECT_EQ(r.summary.unreadable_logs, 1);

  t.File("not-a-db", "hello, I am text and no database at all, not even a little bit\n");
  db = t.Path("not-a-db");
  r = Run();
  EXPECT_EQ(r.outcome, ArchiveOutcome::kDatabaseError);
  EXPECT_EQ(r.why.message(), "file is not a database");
  EXPECT_TRUE(Search(db, {}, [](const SearchHit&) { return true; }).IsInvalidData());

  db = t.Path("other.sqlite");
  {
    Database other;
    ASSERT_TRUE(other.Open(db, false).ok());
    ASSERT_TRUE(other.Exec("CREATE TABLE notes(x)").ok());
  }
  r = Run();
  EXPECT_EQ(r.outcome, ArchiveOutcome::kDatabaseError);
  EXPECT_EQ(r.why.message(), "a database, but not a chatterwick archive");
  EXPECT_TRUE(Search(db, {}, [](const SearchHit&) { return true; }).IsInvalidData());
  EXPECT_TRUE(
      Search(t.Path("none.sqlite"), {}, [](const SearchHit&) { return true; }).IsInvalidData());
}

TEST_F(ArchiveTest, SearchFindsWordsPhrasesAndFiltersByNameAndDay) {
  t.File("logs/jabber/me@x/Bob/2022-09-29.235900+0200CEST.html",
         "<title>t</title>\n"
         "<font size=\"2\">(23:59:10)</font> <b>Bob:</b> the blue café\n"
         "<font size=\"2\">(00:00:05)</font> <b>Bob:</b> blue moon\n"
         "<font size=\"2\">(23:59:59)</font> <b>Me:</b> late blue\n");
  t.File("logs/irc/me/Carol/2022-10-01.080000+0000UTC.html",
         "<title>t</title>\n<font size=\"2\">(08:00:00)</font> <b>Carol:</b> Blue sky\n");
  ASSERT_EQ(Run().outcome, ArchiveOutcome::kDone);
  SearchOptions o;
  o.query = Typed("blue");
  EXPECT_EQ(Find(o), (Strings{"2022-09-29T23:59:10+02:00|Bob|Bob| the blue café",
                              "2022-09-30T00:00:05+02:00|Bob|Bob| blue moon",
                              "2022-09-30T23:59:59+02:00|Bob|Me| late blue",
                              "2022-10-01T08:00:00+00:00|Carol|Carol| Blue sky"}));
  o.query = Typed("\"blue moon\" OR cafe");  // accents folded
  EXPECT_EQ(Find(o).size(), 2u);
  o.query = Typed("blu*");
  o.contact = "bo";
  o.sender = "BOB";
  EXPECT_EQ(Find(o).size(), 2u);
  // --to takes in the whole of its day.
  o = {};
  o.from = "2022-09-30";
  o.to = "2022-09-30";
  EXPECT_EQ(Find(o), (Strings{"2022-09-30T00:00:05+02:00|Bob|Bob| blue moon",
                              "2022-09-30T23:59:59+02:00|Bob|Me| late blue"}));
  o = {};
  o.protocol = "IRC";
  o.limit = 1;
  EXPECT_EQ(Find(o), Strings{"2022-10-01T08:00:00+00:00|Carol|Carol| Blue sky"});
  o = {};
  o.query = RawFtsQuery("\"unclosed");
  EXPECT_FALSE(Search(db, o, [](const SearchHit&) { return true; }).ok());
  EXPECT_TRUE(IsDate("2024-02-29"));
  for (const char* bad : {"2023-02-29", "2022-9-30", "30.09.2022", ""}) EXPECT_FALSE(IsDate(bad));
}

// Names as people know them: escapes decoded for output and filters, letter
// case and accents ignored; an archive from before display names is searched
// as it is and upgraded in place by the next run.
TEST_F(ArchiveTest, NamesAsPeopleKnowThemAndAnOlderArchiveUpgraded) {
  t.File("logs/jabber/me@x/zo%c3%ab@example.org/2022-09-30.100000+0000UTC.html",
         "<title>t</title>\n<font size=\"2\">(10:00:00)</font> <b>Zo\u00eb:</b> hello\n");
  t.File("logs/jabber/me@x/caf%c3%a9@muc.example.net.chat/2022-09-30.110000+0000UTC.html",
         "<title>t</title>\n<font size=\"2\">(11:00:00)</font> <b>\u0419\u043e:</b> hello\n");
  ASSERT_EQ(Run().outcome, ArchiveOutcome::kDone);
  auto contacts = [&](SearchOptions o) {
    Strings found;
    for (const std::string& hit : Find(o)) found.push_back(hit.substr(hit.find('|') + 1));
    return found;
  };
  const std::pair<std::pair<const char*, const char*>, Strings> filters[] = {
      {{"zo\u00eb", ""}, {"zo\u00eb@example.org|Zo\u00eb| hello"}},
      {{"ZOE", ""}, {"zo\u00eb@example.org|Zo\u00eb| hello"}},
      {{"zo%c3%ab", ""}, {"zo\u00eb@example.org|Zo\u00eb| hello"}},
      {{"cafe", ""}, {"caf\u00e9@muc.example.net.chat|\u0419\u043e| hello"}},
      {{"", "\u0438\u043e"}, {"caf\u00e9@muc.example.net.chat|\u0419\u043e| hello"}},
      {{"", "zoe"}, {"zo\u00eb@example.org|Zo\u00eb| hello"}},
  };
  for (const auto& [typed, want] : filters) {
    SearchOptions o;
    o.contact = typed.first;
    o.sender = typed.second;
    EXPECT_EQ(contacts(o), want) << typed.first << typed.second;
  }
  EXPECT_EQ(One("SELECT contact, contact_display FROM chat LIMIT 1"),
            "caf%c3%a9@muc.example.net.chat|caf\u00e9@muc.example.net.chat");

  // Back to the first schema, as an earlier chatterwick left it.
  {
    Database d;
    ASSERT_TRUE(d.Open(db, false).ok());
    ASSERT_TRUE(d.Exec((std::string(kLayoutOfVersion6) + kDropPeopleTables +
                        "ALTER TABLE protocol DROP COLUMN display_name; "
                        "ALTER TABLE account DROP COLUMN display_name; "
                        "ALTER TABLE contact DROP COLUMN display_name; "
                        "ALTER TABLE conversation DROP COLUMN present; "
                        "ALTER TABLE conversation DROP COLUMN file_ctime; "
                        "ALTER TABLE conversation DROP COLUMN file_inode; "
                        "ALTER TABLE conversation DROP COLUMN content_hash; "
                        "DROP INDEX message_order; ALTER TABLE message DROP COLUMN sent_order; "
                        "DROP TABLE copy; DROP TABLE source; DROP INDEX conversation_stem; "
                        "ALTER TABLE conversation DROP COLUMN file_stem; "
                        "ALTER TABLE conversation DROP COLUMN messages; "
                        "ALTER TABLE conversation DROP COLUMN first_sent_at; "
                        "ALTER TABLE conversation DROP COLUMN last_sent_at; "
                        "PRAGMA user_version = 1;")
                           .c_str())
                    .ok());
    std::string view = kChatViewOfVersion6;
    view = view.substr(0, view.find(",\n         p.display_name")) +
           view.substr(view.find("\n  FROM message m"));
    ASSERT_TRUE(d.Exec(view.c_str()).ok()) << view;
  }
  SearchOptions o;
  o.contact = "zo%c3";
  EXPECT_EQ(contacts(o), Strings{"zo%c3%ab@example.org|Zo\u00eb| hello"});
  ASSERT_EQ(Run().outcome, ArchiveOutcome::kDone);
  EXPECT_EQ(One("PRAGMA user_version"), std::to_string(kSchemaVersion));
  EXPECT_EQ(contacts(o), Strings{"zo\u00eb@example.org|Zo\u00eb| hello"});
  EXPECT_EQ(Rows("SELECT display_name FROM contact ORDER BY id"),
            (Strings{"caf\u00e9@muc.example.net.chat", "zo\u00eb@example.org"}));
}

// A stop while the tree is being listed reads nothing and makes no database.
TEST_F(ArchiveTest, AStopBeforeAnyLogIsReadTouchesNothing) {
  t.File("logs/p/a/c/2022-09-30.100000+0000UTC.html", SmallLog(3));
  std::atomic<int> stop{2};
  const ArchiveResult r = Run("logs/", nullptr, &stop);
  EXPECT_EQ(r.outcome, ArchiveOutcome::kStopped);
  EXPECT_FALSE(std::filesystem::exists(db));
}

// The archive keeps a log gone from the disk, and says it is gone; a stopped
// run, which did not look at every log, says nothing of it.
TEST_F(ArchiveTest, ALogGoneFromTheDiskIsMarkedSo) {
  t.File("logs/p/a/c/2022-09-30.100000+0000UTC.html", SmallLog(3));
  t.File("logs/p/a/c/2022-10-01.100000+0000UTC.html", SmallLog(2));
  ASSERT_EQ(Run().outcome, ArchiveOutcome::kDone);
  std::filesystem::rename(t.Path("logs/p/a/c/2022-10-01.100000+0000UTC.html"),
                          t.Path("moved.html"));
  ArchiveResult r = Run();
  ASSERT_EQ(r.outcome, ArchiveOutcome::kDone);
  EXPECT_EQ(r.summary.gone_logs, 1);
  EXPECT_EQ(Rows("SELECT file_name, present FROM conversation ORDER BY id"),
            (Strings{"2022-09-30.100000+0000UTC.html|1", "2022-10-01.100000+0000UTC.html|0"}));
  std::filesystem::rename(t.Path("moved.html"),
                          t.Path("logs/p/a/c/2022-10-01.100000+0000UTC.html"));
  std::atomic<int> stop{2};
  EXPECT_EQ(Run("logs/", nullptr, &stop).outcome, ArchiveOutcome::kStopped);
  EXPECT_EQ(One("SELECT present FROM conversation WHERE id = 2"), "0");
  ASSERT_EQ(Run().outcome, ArchiveOutcome::kDone);
  EXPECT_EQ(One("SELECT sum(present) FROM conversation"), "2");
}

// A rewrite that keeps the size and sets the time back is read again: the
// inode's change time (or a new inode) gives it away.
TEST_F(ArchiveTest, ARewriteWithTheSameSizeAndTimeIsReadAgain) {
  const std::string log = t.Path("logs/p/a/c/2022-09-30.100000+0000UTC.html");
  t.File("logs/p/a/c/2022-09-30.100000+0000UTC.html", SmallLog(3, "First"));
  ASSERT_EQ(Run().outcome, ArchiveOutcome::kDone);
  const auto when = std::filesystem::last_write_time(log);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  std::string later = SmallLog(3, "First");
  for (size_t at; (at = later.find("(10:")) != std::string::npos;) later[at + 2] = '1';
  t.File("logs/p/a/c/2022-09-30.100000+0000UTC.html", later);
  std::filesystem::last_write_time(log, when);
  const ArchiveResult r = Run();
  EXPECT_EQ(r.summary.changed_logs, 1);
  EXPECT_EQ(r.summary.messages_added, 3);
  EXPECT_EQ(One("SELECT count(*) FROM message WHERE time_text LIKE '(11:%'"), "3");
}

// A renamed contact folder or log is the same conversation at a new place:
// its messages are found once. --prune drops what is gone; --present leaves it out.
TEST_F(ArchiveTest, AMovedLogIsKeptOnceAndGoneOnesArePrunedOrLeftOutWhenAsked) {
  t.File("logs/p/a/bob/2022-09-30.100000+0000UTC.html", SmallLog(3, "Moved"));
  t.File("logs/p/a/bob/2022-10-01.100000+0000UTC.html", SmallLog(2, "Gone"));
  ASSERT_EQ(Run().outcome, ArchiveOutcome::kDone);
  std::filesystem::rename(t.Path("logs/p/a/bob"), t.Path("logs/p/a/robert"));
  std::filesystem::remove(t.Path("logs/p/a/robert/2022-10-01.100000+0000UTC.html"));
  ArchiveResult r = Run();
  ASSERT_EQ(r.outcome, ArchiveOutcome::kDone);
  EXPECT_EQ(r.summary.moved_logs, 1);
  EXPECT_EQ(r.summary.gone_logs, 1);
  EXPECT_EQ(r.summary.messages_total, 5);
  SearchOptions o;
  o.query = Typed("line");
  EXPECT_EQ(Find(o).size(), 5u);
  o.present_only = true;
  EXPECT_EQ(Find(o).size(), 3u);
  EXPECT_EQ(One("PRAGMA integrity_check"), "ok");
  EXPECT_EQ(One("SELECT count(*) FROM message_fts WHERE message_fts MATCH 'line'"), "5");

  r = RunArchive(*PosixEnv(), t.Path("logs/"), db, "*.html", nullptr, {}, GoneLogs::kPrune);
  EXPECT_EQ(r.summary.pruned_logs, 1);
  EXPECT_EQ(r.summary.gone_logs, 0);
  EXPECT_EQ(r.summary.messages_total, 3);
  EXPECT_EQ(Rows("SELECT title FROM conversation"), Strings{"Moved"});
  EXPECT_EQ(One("SELECT count(*) FROM message_fts WHERE message_fts MATCH 'line'"), "3");
}

}  // namespace
}  // namespace chatterwick::archive

namespace chatterwick::archive {
namespace {

// Remembers the problems a run tells, in order.
class ProblemList : public RunObserver {
 public:
  void OnProblem(const Problem& p) override { told.push_back(p.path + ": " + p.why.message()); }
  Strings told;
};

// Reading ahead on a second thread changes when a log is read, never what
// the archive holds: the same rows with the same ids, the same summary, the
// same problems in the same order, for every tree the client wrote and for
// one whose long log comes in several pieces between logs that cannot be read.
TEST_F(ArchiveTest, ReadingAheadGivesWhatOneThreadGives) {
  t.File("logs/p/a/c/1.html", SmallLog(3));
  t.File("logs/p/a/c/2.html", SmallLog(9999, "Long"));
  t.File("logs/p/a/c/3.html", "not markup\n");
  t.File("logs/p/a/c/4.html", "");
  t.File("logs/p/a/d/5.html", SmallLog(2));
  std::vector<std::string> roots = {t.Path("logs/")};
  for (const std::filesystem::path& fixture : chatterwick::testing::FixtureTrees())
    roots.push_back(fixture.string() + "/");
  for (const std::string& root : roots) {
    SCOPED_TRACE(root);
    Strings seen[2];
    for (bool read_ahead : {false, true}) {
      std::filesystem::remove(db);
      ProblemList problems;
      const ArchiveResult r =
          RunArchive(*PosixEnv(), root, db, "*.html", &problems, {}, GoneLogs::kKeep, read_ahead);
      Strings& s = seen[read_ahead];
      const ArchiveSummary& m = r.summary;
      s.push_back(std::to_string(m.new_logs) + " " + std::to_string(m.unreadable_logs) + " " +
                  std::to_string(m.messages_added) + " " + std::to_string(m.unreadable_stamps));
      s.insert(s.end(), problems.told.begin(), problems.told.end());
      for (const char* sql :
           {"SELECT * FROM message ORDER BY id",
            "SELECT id, contact_id, file_name, title, started_at, content_hash FROM conversation "
            "ORDER BY id",
            "SELECT rowid FROM message_fts WHERE message_fts MATCH 'message' ORDER BY rowid"})
        for (std::string& row : Rows(sql)) s.push_back(std::move(row));
    }
    EXPECT_EQ(seen[0], seen[1]);
    if (root == roots[0]) {
      EXPECT_EQ(seen[1][0], "3 2 10004 10004");  // names without a date give no full stamp
    }
  }
}

// Only what a run saw go is called gone: the logs of a folder it could not
// read or examine, logs its mask leaves out and the folders of another root
// keep their conversations, --prune or not; what did go is pruned.
TEST_F(ArchiveTest, NothingIsCalledGoneThatTheRunDidNotSeeGo) {
  t.File("logs/p/a/c/2022-09-30.100000+0000UTC.html", SmallLog(3));
  t.File("logs/p/a/c/2023-01-01.100000+0000UTC.html", SmallLog(2));
  t.File("logs/p/a/d/2022-10-01.100000+0000UTC.html", SmallLog(4));
  t.File("logs/p/b/e/2022-10-02.100000+0000UTC.html", SmallLog(1, "E"));
  ASSERT_EQ(Run().outcome, ArchiveOutcome::kDone);
  struct Blind : EnvWrapper {
    std::string list, look;  // a folder that cannot be listed, an entry that cannot be examined
    using EnvWrapper::EnvWrapper;
    Status ListFolder(const std::string& p, ListKind k, std::vector<std::string>* n) override {
      if (!list.empty() && p.find(list) != std::string::npos)
        return Status::IOError("Permission denied");
      return EnvWrapper::ListFolder(p, k, n);
    }
    Status GetFileKind(const std::string& p, FileKind* k) override {
      if (!look.empty() && p.ends_with(look)) return Status::IOError("Permission denied");
      return EnvWrapper::GetFileKind(p, k);
    }
  };
  auto prune = [&](Env& env, const std::string& root, const std::string& mask) {
    return RunArchive(env, t.Path(root), db, mask, nullptr, {}, GoneLogs::kPrune);
  };
  Blind contact_unreadable(PosixEnv()), account_unreadable(PosixEnv()), unexaminable(PosixEnv());
  contact_unreadable.list = "/a/d/";
  account_unreadable.list = "/p/b/";
  unexaminable.look = "/p/a/d";
  t.File("other/q/x/y/2022-11-11.100000+0000UTC.html", SmallLog(1));
  struct Case {
    Env* env;
    const char* root;
    const char* mask;
  } cases[] = {{&contact_unreadable, "logs/", "*.html"},
               {&account_unreadable, "logs/", "*.html"},
               {&unexaminable, "logs/", "*.html"},
               {PosixEnv(), "logs/", "2022*"},
               {PosixEnv(), "other/", "*.html"}};
  for (const Case& c : cases) {
    const ArchiveResult r = prune(*c.env, c.root, c.mask);
    ASSERT_EQ(r.outcome, ArchiveOutcome::kDone) << c.root << c.mask;
    EXPECT_EQ(r.summary.pruned_logs, 0) << c.root << c.mask;
    EXPECT_EQ(r.summary.gone_logs, 0) << c.root << c.mask;
    EXPECT_EQ(One("SELECT count(*) FROM conversation WHERE present = 1"),
              One("SELECT count(*) FROM conversation"));
  }
  EXPECT_EQ(One("SELECT count(*) FROM conversation"), "5");
  // A log that went from a folder read whole, and a folder that went whole.
  std::filesystem::remove(t.Path("logs/p/a/c/2023-01-01.100000+0000UTC.html"));
  std::filesystem::remove_all(t.Path("logs/p/b"));
  const ArchiveResult r = prune(*PosixEnv(), "logs/", "*.html");
  EXPECT_EQ(r.summary.pruned_logs, 2);
  EXPECT_EQ(Rows("SELECT c.name || '/' || v.file_name FROM conversation v JOIN contact c ON c.id = "
                 "v.contact_id ORDER BY 1"),
            (Strings{"c/2022-09-30.100000+0000UTC.html", "d/2022-10-01.100000+0000UTC.html",
                     "y/2022-11-11.100000+0000UTC.html"}));
}

}  // namespace
}  // namespace chatterwick::archive
