#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "archive/query.h"
#include "core/status.h"
#include "core/stop_flag.h"

// Finding messages in an archive: full-text words and phrases, and filters by
// name and by date.
namespace chatterwick::archive {

struct SearchOptions {
  // What to find (see TranslateQuery); empty: the filters alone choose.
  TranslatedQuery query;
  // Each matches a part of the name as people know it, letter case and
  // accents ignored in every script.
  std::string protocol, account, contact, sender;
  // YYYY-MM-DD, the local date the message was sent; both days included.
  std::string from, to;
  int64_t limit = 0;  // 0: every hit
  // Leaves out the conversations whose logs are gone from the disk.
  bool present_only = false;
  // Around each matched word of the body; empty: none.
  std::string mark_start, mark_end;
};

struct SearchHit {
  int64_t message_id = 0, conversation_id = 0;
  std::string sent_at;  // empty when the stamp gave no full time
  // The names as people know them (see DisplayName).
  std::string time_text, protocol, account, contact, sender, body, kind;
};

// Checks a date as --from and --to take it: a real calendar date from
// 1000-01-01 to 9999-12-31.
bool IsDate(const std::string& text);

// Calls emit with each hit in time order, until it returns false.
// InvalidData for a file that is not an archive (or of a newer schema); Busy
// when another run holds it; an FTS5 syntax error (only a raw query has one)
// comes back as IOError.
Status Search(const std::string& db_path, const SearchOptions& options,
              const std::function<bool(const SearchHit&)>& emit, StopFlag stop = {});

}  // namespace chatterwick::archive
