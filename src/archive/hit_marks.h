#pragma once

#include <string>
#include <string_view>

#include "archive/sqlite_db.h"
#include "core/status.h"

// The words a hit matched, marked as FTS5's highlight() marks them, for an
// index that keeps no texts of its own: each hit's texts go through a
// one-row index on the connection's temporary database, with the same
// tokenizer and the same expression.
namespace chatterwick::archive {

class HitMarks {
 public:
  // expression is the FTS5 expression every hit matches; start and end go
  // around each matched word.
  Status Prepare(Database& db, const std::string& expression, const std::string& start,
                 const std::string& end);
  // *body with its matched words marked; as it was when none are found.
  Status Mark(std::string* body, std::string_view sender);

 private:
  Statement clear_, add_, mark_;
  std::string expression_, start_, end_;
};

}  // namespace chatterwick::archive
