#include "archive/search_index.h"

#include <algorithm>
#include <set>

#include "archive/fts_merges.h"
#include "archive/schema.h"

namespace chatterwick::archive {

namespace {

// How many message ids a transaction of the index takes: a few tenths of a
// second, so that a stop is not kept waiting.
constexpr int64_t kSlice = 65536;

constexpr const char* kIndexTables = R"sql(
CREATE TABLE indexed (
  token TEXT NOT NULL,
  through_id INTEGER NOT NULL,
  through_change INTEGER NOT NULL
);
)sql";

Status Attach(Database& db, const std::string& path, const char* sql) {
  Statement attach;
  Status s = attach.Prepare(db, sql);
  if (!s.ok()) return s;
  attach.Bind(1, path);
  return attach.Run();
}

// The first column of the first row of sql, as text; empty for none.
Status QueryText(Database& db, const char* sql, std::string* text) {
  Statement st;
  Status s = st.Prepare(db, sql);
  bool row = false;
  if (s.ok()) s = st.Step(&row);
  *text = s.ok() && row ? std::string(st.Text(0)) : std::string();
  return s;
}

}  // namespace

std::string SearchIndexPath(const std::string& archive_path) { return archive_path + ".index"; }

Status SearchIndex::Open(const std::string& archive_path, StopFlag stop) {
  stop_ = stop;
  const std::string path = SearchIndexPath(archive_path);
  Status s = db_.Open(path, false, stop);
  int64_t tables = 0, ours = 0, version = 0;
  if (s.ok()) s = db_.QueryInt("PRAGMA user_version", &version);
  if (s.ok()) s = db_.QueryInt("SELECT count(*) FROM sqlite_schema", &tables);
  if (s.ok())
    s = db_.QueryInt(
        "SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name IN ('message_fts', "
        "'indexed')",
        &ours);
  if (!s.ok()) return s;
  if (tables > 0 && (version != 1 || ours != 2))
    return Status::InvalidData(path +
                               " is no search index of this program's: move it away, and the "
                               "next run makes the archive's index there");
  // Large pages, as the archive has, before the first table.
  if (tables == 0) s = db_.Exec("PRAGMA page_size = 32768");
  if (s.ok())
    s = db_.Exec(
        "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; PRAGMA cache_size = -32768;");
  if (s.ok()) s = Attach(db_, archive_path, "ATTACH DATABASE ?1 AS archive");
  std::string token, indexed_token;
  int64_t issued = 0;
  if (s.ok()) s = QueryText(db_, "SELECT token FROM archive.search_index", &token);
  if (s.ok())
    s = db_.QueryInt(
        "SELECT coalesce((SELECT seq FROM archive.sqlite_sequence WHERE name = 'message'), 0)",
        &issued);
  if (s.ok() && ours == 2) s = QueryText(db_, "SELECT token FROM indexed", &indexed_token);
  if (s.ok() && ours == 2) s = db_.QueryInt("SELECT through_id FROM indexed", &indexed_through_);
  if (s.ok() && ours == 2) s = db_.QueryInt("SELECT through_change FROM indexed", &changes_taken_);
  if (!s.ok()) return s;
  // Ids the archive has not given out yet are another history's, or lost
  // with the archive's last commits.
  if (token.empty() || indexed_token != token || indexed_through_ > issued) s = Remake(token);
  return s.ok() ? HoldMerges(db_, indexed_through_, &merges_held_) : s;
}

Status SearchIndex::Remake(const std::string& token) {
  indexed_through_ = changes_taken_ = 0;
  Status s = db_.Exec("BEGIN");
  if (s.ok()) s = db_.Exec("DROP TABLE IF EXISTS message_fts; DROP TABLE IF EXISTS indexed;");
  if (s.ok()) s = db_.Exec(kContentlessFullTextTable);
  if (s.ok()) s = db_.Exec(kIndexTables);
  Statement first;
  if (s.ok()) s = first.Prepare(db_, "INSERT INTO indexed VALUES (?1, 0, 0)");
  if (s.ok()) first.Bind(1, token);
  if (s.ok()) s = first.Run();
  if (s.ok()) s = db_.Exec("PRAGMA user_version = 1");
  if (s.ok()) return db_.Exec("COMMIT");
  db_.Exec("ROLLBACK").IgnoreError();
  return s;
}

Status SearchIndex::ArchiveEnd(int64_t* through) {
  return db_.QueryInt("SELECT coalesce(max(id), 0) FROM archive.message", through);
}

Status SearchIndex::TakeChanges() {
  // A message changed twice since is in the index as its first logged form.
  Statement changes, take_out, add_again;
  Status s = changes.Prepare(
      db_, "SELECT seq, id, body, sender FROM archive.index_change WHERE seq > ?1 ORDER BY seq");
  if (s.ok())
    s = take_out.Prepare(db_,
                         "INSERT INTO message_fts(message_fts, rowid, body, sender) VALUES "
                         "('delete', ?1, ?2, ?3)");
  if (s.ok())
    s = add_again.Prepare(db_,
                          "INSERT INTO message_fts(rowid, body, sender) SELECT id, body, sender "
                          "FROM archive.message_text WHERE id = ?1");
  if (!s.ok()) return s;
  changes.Bind(1, changes_taken_);
  std::set<int64_t> changed;
  for (bool row = true; s.ok() && (s = changes.Step(&row)).ok() && row;) {
    changes_taken_ = changes.Int(0);
    const int64_t id = changes.Int(1);
    // Messages above indexed_through_ come in as they are now.
    if (id > indexed_through_ || !changed.insert(id).second) continue;
    take_out.Bind(1, id);
    take_out.Bind(2, changes.Text(2));
    take_out.Bind(3, changes.Text(3));
    s = take_out.Run();
  }
  for (auto it = changed.begin(); s.ok() && it != changed.end(); ++it) {
    add_again.Bind(1, *it);
    s = add_again.Run();
  }
  return s;
}

Status SearchIndex::AddSlice(int64_t last) {
  if (last <= indexed_through_) return Status::OK();
  Statement add;
  Status s = add.Prepare(db_,
                         "INSERT INTO message_fts(rowid, body, sender) SELECT id, body, sender "
                         "FROM archive.message_text WHERE id > ?1 AND id <= ?2");
  if (!s.ok()) return s;
  add.Bind(1, indexed_through_);
  add.Bind(2, last);
  s = add.Run();
  if (s.ok()) indexed_through_ = last;
  return s;
}

Status SearchIndex::CatchUp(int64_t through, bool* stopped) {
  for (bool first = true; first || indexed_through_ < through; first = false) {
    if (stop_.Requested()) {
      *stopped = true;
      return Status::OK();
    }
    const int64_t id_before = indexed_through_, change_before = changes_taken_;
    // Not IMMEDIATE: that would wait for the write lock of the attached
    // archive too, which the run holds while it stores.
    Status s = db_.Exec("BEGIN");
    if (s.ok() && first) s = TakeChanges();
    if (s.ok()) s = AddSlice(std::min(through, indexed_through_ + kSlice));
    Statement record;
    if (s.ok()) s = record.Prepare(db_, "UPDATE indexed SET through_id = ?1, through_change = ?2");
    if (s.ok()) record.Bind(1, indexed_through_), record.Bind(2, changes_taken_);
    if (s.ok()) s = record.Run();
    if (s.ok()) s = db_.Exec("COMMIT");
    if (s.ok()) continue;
    db_.Exec("ROLLBACK").IgnoreError();
    indexed_through_ = id_before, changes_taken_ = change_before;
    if (!stop_.Requested()) return s;
    *stopped = true;
    return Status::OK();
  }
  return Status::OK();
}

Status SearchIndex::Merge(bool* stopped) {
  if (!merges_held_) return Status::OK();
  Status s = db_.Exec("BEGIN");
  if (s.ok())
    s = MergeHeld(
        db_, stop_,
        [this] {
          Status c = db_.Exec("COMMIT");
          return c.ok() ? db_.Exec("BEGIN") : c;
        },
        stopped);
  if (s.ok()) s = db_.Exec("COMMIT");
  if (s.ok()) {
    merges_held_ = *stopped;
    return s;
  }
  db_.Exec("ROLLBACK").IgnoreError();
  if (!stop_.Requested()) return s;
  *stopped = true;
  return Status::OK();
}

Status ForgetTakenChanges(Database& archive, int64_t taken) {
  Statement forget;
  Status s = forget.Prepare(archive, "DELETE FROM index_change WHERE seq <= ?1");
  if (!s.ok()) return s;
  forget.Bind(1, taken);
  return forget.Run();
}

Status AttachSearchIndex(Database& db, const std::string& archive_path, bool* attached) {
  // A reader's connection opens no file it does not find. In a folder it
  // may not write, the index is read as it stands, as the archive is.
  const std::string path = SearchIndexPath(archive_path);
  *attached = Attach(db, path, "ATTACH DATABASE ?1 AS search").ok() ||
              Attach(db, ImmutableUri(path), "ATTACH DATABASE ?1 AS search").ok();
  return Status::OK();
}

}  // namespace chatterwick::archive
