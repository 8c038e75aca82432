#include "archive/schema.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/search_index.h"
#include "archive/sqlite_db.h"
#include "archive/stamps.h"
#include "platform/posix_env.h"
#include "testing/fixtures.h"
#include "testing/sql_rows.h"
#include "testing/temp_tree.h"

// An archive of an earlier version is brought up to this one in place, and
// reads as it did: every message, stamp and search hit the same.
namespace chatterwick::archive {
namespace {

using Strings = std::vector<std::string>;

// What makes an archive of this version one of an earlier version, as that
// version's program left it (each keeps the tables of the versions before).
std::string DownTo(int version) {
  std::string sql = std::string(kLayoutOfVersion6) + kChatViewOfVersion6;
  if (version <= 5) sql += kFullTextOfVersion5;
  if (version <= 4) sql += kDropPeopleTables;
  if (version <= 3)
    sql +=
        "DROP TABLE copy; DROP TABLE source; DROP INDEX conversation_stem; "
        "ALTER TABLE conversation DROP COLUMN file_stem; "
        "ALTER TABLE conversation DROP COLUMN messages; "
        "ALTER TABLE conversation DROP COLUMN first_sent_at; "
        "ALTER TABLE conversation DROP COLUMN last_sent_at; ";
  return sql + "PRAGMA user_version = " + std::to_string(version) + ";";
}

TEST(SchemaUpgradeFixtureTest, EveryEarlierVersionReadsTheSameOnceUpgraded) {
  SKIP_WITHOUT_FIXTURES();
  testing::TempTree t;
  const std::string root = testing::FixtureTrees().front().string();
  const std::string made = t.Path("made.sqlite");
  ASSERT_EQ(RunArchive(*PosixEnv(), {root}, made, kArchiveMask, nullptr, {}).outcome,
            ArchiveOutcome::kDone);
  // Every column the view had before version 7 added the stamp's number.
  const std::string chat =
      "SELECT id, protocol, account, contact, file_name, title, started_at, line_number, "
      "time_text, sent_at, sender, body, kind, protocol_display, account_display, "
      "contact_display, conversation_id FROM chat ORDER BY id";
  const std::string found =
      "SELECT rowid FROM message_fts WHERE message_fts MATCH 'the OR you' ORDER BY rowid";
  const Strings rows = testing::SqlRows(made, chat), hits = testing::SqlRows(made, found);
  const std::string seq = "SELECT seq FROM sqlite_sequence WHERE name = 'message'";
  const Strings next_id = testing::SqlRows(made, seq);
  ASSERT_GT(rows.size(), 1000u);
  ASSERT_GT(hits.size(), 100u);
  for (int version : {3, 4, 5, 6}) {
    SCOPED_TRACE(version);
    const std::string db = t.Path("v" + std::to_string(version) + ".sqlite");
    std::filesystem::copy_file(made, db);
    {
      Database d;
      ASSERT_TRUE(d.Open(db, false).ok());
      const Status s = d.Exec(DownTo(version).c_str());
      ASSERT_TRUE(s.ok()) << s.message();
    }
    // An archive as that version left it is what it was, to a reader too.
    EXPECT_EQ(testing::SqlRows(db, chat), rows);
    {
      Database up;
      const Status s = OpenArchiveForWriting(up, db);
      ASSERT_TRUE(s.ok()) << s.message();
    }
    // The next run builds the full-text index in its own file.
    SearchIndex index;
    int64_t through = 0;
    bool stopped = false;
    ASSERT_TRUE(index.Open(db, {}).ok());
    ASSERT_TRUE(index.ArchiveEnd(&through).ok());
    ASSERT_TRUE(index.CatchUp(through, &stopped).ok());
    EXPECT_EQ(testing::SqlRows(db, "PRAGMA user_version"), Strings{std::to_string(kSchemaVersion)});
    EXPECT_EQ(testing::SqlRows(db, chat), rows);
    EXPECT_EQ(testing::SqlRows(db, found), hits);
    EXPECT_EQ(testing::SqlRows(db, seq), next_id);
  }
}

// The number a stamp is kept as gives back its text, its offset and its
// time order, before 1970 too; the view's SQL and the program agree.
TEST(SentTest, TheNumberGivesBackTheStampsText) {
  const Strings stamps = {"2022-09-30T17:38:26+02:00", "2022-09-30T17:38:26",
                          "1969-12-31T23:59:59-00:30", "2024-04-01T00:00:00-14:59",
                          "0001-01-01T00:00:00+14:00", "9999-12-31T23:59:59+14:00",
                          "2019-06-30T05:45:00+05:45"};
  testing::TempTree t;
  const std::string db = t.Path("a.sqlite");
  Database d;
  ASSERT_TRUE(d.Open(db, false).ok());
  ASSERT_TRUE(d.Exec(kTables).ok() && d.Exec(kMessageTables).ok() && d.Exec(kMessageCode).ok());
  ASSERT_TRUE(d.Exec("INSERT INTO protocol(name) VALUES ('p'); INSERT INTO account(protocol_id, "
                     "name) VALUES (1, 'a'); INSERT INTO contact(account_id, name) VALUES (1, "
                     "'c'); INSERT INTO conversation(contact_id, file_name, title, file_size, "
                     "file_mtime) VALUES (1, 'f', 't', 0, 0); INSERT INTO sender(name) VALUES ('')")
                  .ok());
  for (const std::string& text : stamps) {
    SCOPED_TRACE(text);
    Statement add;
    ASSERT_TRUE(add.Prepare(d, ("INSERT INTO message(conversation_id, line_number, time_text, "
                                "sent, sender_id, body, kind) VALUES (1, 1, '', " +
                                SentOfText("?1") + ", 1, '', 0) RETURNING sent")
                                   .c_str())
                    .ok());
    add.Bind(1, text);
    bool row = false;
    ASSERT_TRUE(add.Step(&row).ok() && row);
    const int64_t sent = add.Int(0);
    EXPECT_EQ(SentAtText(sent), text);
    EXPECT_EQ(sent >> kSentShift, EpochOf(text));
  }
  EXPECT_EQ(testing::SqlRows(db, "SELECT sent_at FROM message_text ORDER BY id"), stamps);
}

}  // namespace
}  // namespace chatterwick::archive
