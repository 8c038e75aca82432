#include "archive/hit_marks.h"

#include <utility>

namespace chatterwick::archive {

Status HitMarks::Prepare(Database& db, const std::string& expression, const std::string& start,
                         const std::string& end) {
  expression_ = expression, start_ = start, end_ = end;
  Status s = db.Exec(
      "CREATE VIRTUAL TABLE IF NOT EXISTS temp.hit_mark USING fts5(body, sender, "
      "tokenize='chatterwick_folding')");
  if (s.ok()) s = clear_.Prepare(db, "DELETE FROM temp.hit_mark");
  if (s.ok())
    s = add_.Prepare(db, "INSERT INTO temp.hit_mark(rowid, body, sender) VALUES (1, ?1, ?2)");
  if (s.ok())
    s = mark_.Prepare(db,
                      "SELECT highlight(hit_mark, 0, ?2, ?3) FROM temp.hit_mark WHERE hit_mark "
                      "MATCH ?1");
  return s;
}

Status HitMarks::Mark(std::string* body, std::string_view sender) {
  Status s = clear_.Run();
  add_.Bind(1, *body);
  add_.Bind(2, sender);
  if (s.ok()) s = add_.Run();
  mark_.Bind(1, expression_);
  mark_.Bind(2, start_);
  mark_.Bind(3, end_);
  bool row = false;
  if (s.ok()) s = mark_.Step(&row);
  std::string marked = s.ok() && row ? std::string(mark_.Text(0)) : std::string();
  mark_.Reset();
  if (s.ok() && row) *body = std::move(marked);
  return s;
}

}  // namespace chatterwick::archive
