#include "archive/schema.h"

#include <algorithm>
#include <set>
#include <string>
#include <utility>

#include "archive/copies.h"
#include "archive/names.h"
#include "archive/people_table.h"
#include "archive/sender_tally.h"
#include "archive/sqlite_db.h"
#include "archive/stamps.h"

namespace chatterwick::archive {

namespace {

// Brings a schema 1 archive to schema 2: the display names' columns, and
// whether a log is still on the disk. The names are then filled in.
constexpr const char* kUpgradeFrom1 = R"sql(
ALTER TABLE protocol ADD COLUMN display_name TEXT;
ALTER TABLE account ADD COLUMN display_name TEXT;
ALTER TABLE contact ADD COLUMN display_name TEXT;
ALTER TABLE conversation ADD COLUMN present INTEGER NOT NULL DEFAULT 1;
)sql";

// Brings a schema 2 archive to schema 3: what tells a rewritten log from an
// untouched one besides its size and time (both can be set back), what
// recognises a log's bytes at a new place, and the messages' time order as
// one indexed number. Every log is read again once, by the next run, which
// fills them in.
constexpr const char* kUpgradeFrom2 = R"sql(
ALTER TABLE conversation ADD COLUMN file_ctime INTEGER NOT NULL DEFAULT 0;
ALTER TABLE conversation ADD COLUMN file_inode INTEGER NOT NULL DEFAULT 0;
ALTER TABLE conversation ADD COLUMN content_hash BLOB;
ALTER TABLE message ADD COLUMN sent_order INTEGER;
CREATE INDEX message_order ON message(sent_order);
)sql";

// Brings a schema 3 archive to schema 4: conversations kept once whatever
// holds their logs, with their counts and times at hand, and the sources.
// The logs read so far become the copies of one source whose path the
// next run names (see FillCopies).
constexpr const char* kUpgradeFrom3 = R"sql(
ALTER TABLE conversation ADD COLUMN file_stem TEXT;
ALTER TABLE conversation ADD COLUMN messages INTEGER NOT NULL DEFAULT 0;
ALTER TABLE conversation ADD COLUMN first_sent_at TEXT;
ALTER TABLE conversation ADD COLUMN last_sent_at TEXT;
)sql";

// Every protocol's, account's and contact's name as people know it.
Status FillDisplayNames(Database& db) {
  Status s;
  for (const char* table : {"protocol", "account", "contact"}) {
    Statement names, update;
    s = names.Prepare(db, (std::string("SELECT id, name FROM ") + table).c_str());
    if (s.ok())
      s = update.Prepare(
          db, (std::string("UPDATE ") + table + " SET display_name = ?2 WHERE id = ?1").c_str());
    bool row = false;
    while (s.ok() && (s = names.Step(&row)).ok() && row) {
      const std::string display = DisplayName(names.Text(1));
      update.Bind(1, names.Int(0));
      update.Bind(2, display);
      s = update.Run();
    }
    if (!s.ok()) break;
  }
  return s;
}

// Each conversation's stem, unique within its contact: two logs an earlier
// version kept apart ("x.html", "x.txt") stay apart, the later by its
// whole name.
Status FillStems(Database& db) {
  Statement names, update;
  Status s = names.Prepare(db, "SELECT id, contact_id, file_name FROM conversation ORDER BY id");
  if (s.ok()) s = update.Prepare(db, "UPDATE conversation SET file_stem = ?2 WHERE id = ?1");
  std::set<std::pair<int64_t, std::string>> taken;
  bool row = false;
  while (s.ok() && (s = names.Step(&row)).ok() && row) {
    const int64_t contact = names.Int(1);
    const std::string file_name(names.Text(2));
    std::string stem = LogStem(file_name);
    if (taken.count({contact, stem})) stem = file_name;
    if (taken.count({contact, stem})) stem = file_name + "#" + std::to_string(names.Int(0));
    taken.insert({contact, stem});
    update.Bind(1, names.Int(0));
    update.Bind(2, stem);
    s = update.Run();
  }
  return s;
}

// The rest of the step to schema 4: the stems, each conversation's count
// and times, and the logs read so far as copies of one source. Its path is
// not known ('') until a run finds its logs again; nothing need be re-read.
Status FillCopies(Database& db) {
  Status s = FillStems(db);
  if (s.ok())
    s = db.Exec("CREATE UNIQUE INDEX conversation_stem ON conversation(contact_id, file_stem)");
  if (s.ok()) s = db.Exec(kSourceTables);
  if (s.ok())
    s = db.Exec(
        "INSERT INTO source(id, path, name) SELECT 1, '', 'first log folder' "
        "WHERE EXISTS (SELECT 1 FROM conversation); "
        "INSERT INTO copy(conversation_id, source_id, file_name, file_size, file_mtime, "
        "file_ctime, file_inode, content_hash, present) SELECT id, 1, file_name, file_size, "
        "file_mtime, file_ctime, file_inode, content_hash, present FROM conversation;");
  if (s.ok()) s = db.Exec(ConversationTotalsSql("1", "unixepoch(m.sent_at)").c_str());
  return s;
}

// Messages an earlier version kept as the lines said them: a whisper's
// sender after a blank, the client's errors as chat lines without a text.
// Their letters stay in the same order, so every copy still matches them.
constexpr const char* kMendSenders = R"sql(
UPDATE message SET kind = 'status', body = trim(sender), sender = ''
  WHERE kind = 'chat' AND sender LIKE ' %' AND trim(body) = '';
UPDATE message SET sender = trim(sender)
  WHERE kind IN ('chat', 'action') AND (sender LIKE ' %' OR sender LIKE '% ');
)sql";

Status FillPeople(Database& db) {
  Status s = db.Exec(kMendSenders);
  if (s.ok()) s = FillSenderTally(db);
  return s.ok() ? Regroup(db) : s;
}

// Brings a schema 6 archive to schema 7: what refers to the messages goes,
// and the messages step aside for FillMessages to rewrite.
constexpr const char* kUpgradeFrom6 = R"sql(
DROP VIEW IF EXISTS chat;
DROP TRIGGER IF EXISTS message_fts_delete;
DROP TRIGGER IF EXISTS message_fts_update;
DROP TABLE IF EXISTS message_fts;
DROP INDEX IF EXISTS message_sent_at;
ALTER TABLE message RENAME TO message_6;
)sql";

// The rest of the step to schema 7: each sender once, each message's stamp
// as one number and its kind as a small one, under the ids it had (and the
// next id it would have had), then its indexes. The full-text index leaves
// the archive for a file of its own, which the next run builds.
Status FillMessages(Database& db) {
  Status s = db.Exec(kMessageTables);
  if (s.ok())
    s = db.Exec(
        ("INSERT INTO sender(name) SELECT DISTINCT sender FROM message_6 ORDER BY 1; "
         "INSERT INTO message(id, conversation_id, line_number, time_text, sent, sender_id, body, "
         "kind) SELECT m.id, m.conversation_id, m.line_number, m.time_text, " +
         SentOfText("m.sent_at") +
         ", s.id, m.body, CASE m.kind WHEN 'chat' THEN 0 WHEN 'action' THEN 1 WHEN 'status' "
         "THEN 2 ELSE 3 END FROM message_6 m JOIN sender s ON s.name = m.sender ORDER BY m.id; "
         "DELETE FROM sqlite_sequence WHERE name = 'message'; "
         "UPDATE sqlite_sequence SET name = 'message' WHERE name = 'message_6'; "
         "DROP TABLE message_6;")
            .c_str());
  if (s.ok()) s = db.Exec(kMessageIndexes);
  return s.ok() ? db.Exec(kMessageCode) : s;
}

// One version's step to the next: its SQL, then what SQL alone cannot do.
struct UpgradeStep {
  int from, to;
  const char* sql;
  Status (*fill)(Database& db);  // null when the SQL is all
};

constexpr UpgradeStep kUpgradeSteps[] = {
    {1, 2, kUpgradeFrom1, &FillDisplayNames},
    {2, 3, kUpgradeFrom2, nullptr},
    {3, 4, kUpgradeFrom3, &FillCopies},
    {4, 5, kPeopleTables, &FillPeople},
    // The index of version 6 went when it was made anew from version 7's file.
    {5, 6, "DROP TABLE message_fts;", nullptr},
    {6, 7, kUpgradeFrom6, &FillMessages},
};

// The triggers (and views, with_views) of db's schema as one text.
Status SchemaCode(Database& db, bool with_views, std::string* code) {
  Statement st;
  Status s = st.Prepare(db, with_views ? "SELECT type, name, sql FROM sqlite_schema WHERE type IN "
                                         "('trigger', 'view') ORDER BY type, name"
                                       : "SELECT type, name, sql FROM sqlite_schema WHERE type = "
                                         "'trigger' ORDER BY name");
  code->clear();
  for (bool row = true; s.ok();) {
    s = st.Step(&row);
    if (!s.ok() || !row) break;
    for (int c = 0; c < 3; ++c) code->append(st.Text(c)).push_back('\0');
  }
  return s;
}

// Makes a new archive's tables and view in db.
Status CreateSchema(Database& db) {
  Status s = db.Exec(kTables);
  if (s.ok()) s = db.Exec(kMessageTables);
  if (s.ok()) s = db.Exec(kMessageIndexes);
  if (s.ok()) s = db.Exec(kMessageCode);
  if (s.ok()) s = db.Exec(kSourceTables);
  if (s.ok()) s = db.Exec(kPeopleTables);
  return s.ok() ? db.Exec(kChatView) : s;
}

}  // namespace

Status CheckSchema(Database& db, int64_t* version) {
  int64_t v = 0, tables = 0, ours = 0;
  Status s = db.QueryInt("PRAGMA user_version", &v);
  if (s.ok()) s = db.QueryInt("SELECT count(*) FROM sqlite_schema", &tables);
  if (s.ok())
    s = db.QueryInt(
        "SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name IN "
        "('protocol', 'account', 'contact', 'conversation', 'message')",
        &ours);
  // The full-text index was in the archive up to version 6, and since then
  // the tables that name its file and tell it of changes are.
  int64_t index_tables = 0;
  if (s.ok())
    s = db.QueryInt(v >= 7 ? "SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name IN "
                             "('sender', 'search_index', 'index_change')"
                           : "SELECT 3 * count(*) FROM sqlite_schema WHERE type = 'table' AND "
                             "name = 'message_fts'",
                    &index_tables);
  if (!s.ok()) return s;
  *version = v;
  if (v > kSchemaVersion)
    return Status::InvalidData("made by a newer chatterwick (schema " + std::to_string(v) + ")");
  int64_t sources = 0;
  if (s.ok() && v >= 4)
    s = db.QueryInt(
        "SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name IN ('source', 'copy')",
        &sources);
  int64_t people = 0;
  if (s.ok() && v >= 5)
    s = db.QueryInt(
        "SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name IN "
        "('sender_tally', 'person', 'contact_person', 'person_choice', 'me_name')",
        &people);
  if (!s.ok()) return s;
  if ((v == 0 && tables != 0) || (v != 0 && (ours != 5 || index_tables != 3)) ||
      (v >= 4 && sources != 2) || (v >= 5 && people != 5))
    return Status::InvalidData("a database, but not a chatterwick archive");
  if (v == 0) return s;
  // The full-text index is kept up to date by triggers, which the
  // connection runs only for a schema it trusts: one whose every trigger and
  // view is this program's own. The first schema's view was another.
  std::string theirs, mine;
  s = SchemaCode(db, v >= 2, &theirs);
  Database fresh;
  if (s.ok()) s = fresh.Open(":memory:", false);
  if (s.ok()) s = CreateSchema(fresh);
  if (s.ok() && v < 7) s = fresh.Exec(kLayoutOfVersion6);
  if (s.ok() && v < 7) s = fresh.Exec(kChatViewOfVersion6);
  if (s.ok()) s = SchemaCode(fresh, v >= 2, &mine);
  if (s.ok() && theirs != mine)
    return Status::InvalidData("an archive with triggers or views this program did not make");
  return s;
}

namespace {

// WAL: readers (a search) go on while a run writes, and a commit costs no
// sync. The page cache holds a batch, within the memory a run may take.
Status SetUpForWriting(Database& db, int64_t version) {
  Status s;
  // Before the first table the page size is still free: large pages suit
  // long rows of text and a file of gigabytes, and take fewer calls to write.
  if (version == 0) s = db.Exec("PRAGMA page_size = 32768");
  if (s.ok())
    s = db.Exec(
        "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; PRAGMA foreign_keys = ON; "
        "PRAGMA cache_size = -32768;");
  // The log is copied into the file once it holds 160 MiB, whatever the
  // page size of an archive made earlier.
  int64_t page_size = 0;
  if (s.ok()) s = db.QueryInt("PRAGMA page_size", &page_size);
  if (s.ok())
    s = db.Exec(("PRAGMA wal_autocheckpoint = " +
                 std::to_string((160 << 20) / std::max<int64_t>(page_size, 512)))
                    .c_str());
  return s;
}

// Makes the schema (version 0) or takes it through every step from version
// up, in one transaction: a failure leaves the database as it was.
Status BringUpToDate(Database& db, int64_t version) {
  Status s = db.Exec("BEGIN IMMEDIATE");
  if (s.ok() && version == 0) s = CreateSchema(db);
  if (s.ok() && version > 0) {
    for (const UpgradeStep& step : kUpgradeSteps) {
      if (step.from < version) continue;
      s = db.Exec(step.sql);
      if (s.ok() && step.fill) s = step.fill(db);
      if (!s.ok()) break;
    }
    if (s.ok()) s = db.Exec("DROP VIEW IF EXISTS chat");
    if (s.ok()) s = db.Exec(kChatView);
  }
  if (s.ok()) s = db.Exec(("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str());
  if (s.ok()) s = db.Exec("COMMIT");
  else db.Exec("ROLLBACK").IgnoreError();
  return s;
}

}  // namespace

std::string StampText(const Statement& st, int column, int64_t version) {
  if (version < 7) return std::string(st.Text(column));
  return st.IsNull(column) ? std::string() : SentAtText(st.Int(column));
}

Status OpenArchiveForWriting(Database& db, const std::string& path) {
  // No stop for this connection's statements: a stop ends the run between
  // logs, or inside one (undone), and the batch before it is still committed.
  Status s = db.Open(path, false);
  // Everything is checked before anything is changed: a file that is refused
  // keeps every byte.
  int64_t version = 0;
  if (s.ok()) s = CheckSchema(db, &version);
  if (!s.ok()) return s;
  db.TrustSchema();
  s = SetUpForWriting(db, version);
  if (!s.ok() || version == kSchemaVersion) return s;
  return BringUpToDate(db, version);
}

}  // namespace chatterwick::archive
