#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/status.h"

// Finding messages in an archive: full-text words and phrases, and filters by
// name and by date.
namespace chatterwick::archive {

struct SearchOptions {
  // In FTS5's syntax (words, "phrases", OR, NOT, prefix*); empty: the
  // filters alone choose.
  std::string query;
  // Each matches a part of the name, letter case ignored (ASCII letters).
  std::string protocol, account, contact, sender;
  // YYYY-MM-DD, the local date the message was sent; both days included.
  std::string from, to;
  int64_t limit = 0;  // 0: every hit
  // Around each matched word of the body; empty: none.
  std::string mark_start, mark_end;
};

struct SearchHit {
  std::string sent_at;  // empty when the stamp gave no full time
  std::string time_text, protocol, account, contact, sender, body, kind;
};

// Checks a date as --from and --to take it.
bool IsDate(const std::string& text);

// Calls emit with each hit in time order. InvalidData for a file that is not
// an archive; the query's own syntax errors come back as IOError.
Status Search(const std::string& db_path, const SearchOptions& options,
              const std::function<void(const SearchHit&)>& emit);

}  // namespace chatterwick::archive
