#pragma once

#include <string>
#include <vector>

#include "archive/search.h"
#include "archive/sqlite_db.h"
#include "core/status.h"

// The words hits matched, marked as FTS5's highlight() marks them, for an
// index that keeps no texts of its own: a run of hits' texts goes through a
// small index on the connection's temporary database, with the same
// tokenizer and the same expression, and out again.
namespace chatterwick::archive {

class HitMarks {
 public:
  // expression is the FTS5 expression every hit matches; start and end go
  // around each matched word.
  Status Prepare(Database& db, const std::string& expression, const std::string& start,
                 const std::string& end);
  // Each hit's body with its matched words marked; as it was when none are found.
  Status Mark(std::vector<SearchHit>* hits);

 private:
  Database* db_ = nullptr;
  Statement clear_, add_, mark_;
  std::string expression_, start_, end_;
};

}  // namespace chatterwick::archive
