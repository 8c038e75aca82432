#include "archive/hit_marks.h"

namespace chatterwick::archive {

Status HitMarks::Prepare(Database& db, const std::string& expression, const std::string& start,
                         const std::string& end) {
  db_ = &db;
  expression_ = expression, start_ = start, end_ = end;
  // In memory: the texts go in and out again at once.
  Status s = db.Exec(
      "PRAGMA temp_store = MEMORY; CREATE VIRTUAL TABLE IF NOT EXISTS temp.hit_mark USING "
      "fts5(body, sender, tokenize='chatterwick_folding')");
  if (s.ok()) s = clear_.Prepare(db, "DELETE FROM temp.hit_mark");
  if (s.ok())
    s = add_.Prepare(db, "INSERT INTO temp.hit_mark(rowid, body, sender) VALUES (?1, ?2, ?3)");
  if (s.ok())
    s = mark_.Prepare(db,
                      "SELECT rowid, highlight(hit_mark, 0, ?2, ?3) FROM temp.hit_mark WHERE "
                      "hit_mark MATCH ?1");
  return s;
}

Status HitMarks::Mark(std::vector<SearchHit>* hits) {
  // One transaction and one query for the run: each its own costs ten times as much.
  Status s = db_->Exec("SAVEPOINT marks");
  for (size_t i = 0; s.ok() && i < hits->size(); ++i) {
    add_.Bind(1, static_cast<int64_t>(i + 1));
    add_.Bind(2, (*hits)[i].body);
    add_.Bind(3, (*hits)[i].sender);
    s = add_.Run();
  }
  if (s.ok()) {
    mark_.Bind(1, expression_);
    mark_.Bind(2, start_);
    mark_.Bind(3, end_);
  }
  for (bool row = true; s.ok() && (s = mark_.Step(&row)).ok() && row;) {
    const int64_t at = mark_.Int(0);
    if (at >= 1 && at <= static_cast<int64_t>(hits->size()))
      (*hits)[static_cast<size_t>(at - 1)].body = mark_.Text(1);
  }
  mark_.Reset();
  if (s.ok()) s = clear_.Run();
  if (s.ok()) return db_->Exec("RELEASE marks");
  db_->Exec("ROLLBACK TO marks; RELEASE marks").IgnoreError();
  return s;
}

}  // namespace chatterwick::archive
