#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "archive/log_pieces.h"
#include "archive/sqlite_db.h"
#include "core/status.h"

// How often each sender wrote in each conversation (table sender_tally),
// kept as messages go in: what names and "me" are found from without
// reading the messages again.
namespace chatterwick::archive {

class SenderTally {
 public:
  using Counts = std::map<std::pair<int64_t, std::string>, int64_t>;
  // Counts the chat lines and actions of rows, added to conversation by the
  // log being stored.
  void Add(int64_t conversation, const std::vector<PendingRow>& rows);
  // The log's rows stay, or were undone.
  void KeepLog();
  void DropLog() { log_.clear(); }
  // Adds what the kept logs added to the table and starts again.
  Status Flush(Database& db);

 private:
  Counts log_, kept_;
};

// Fills the table from every message: an archive made before it was kept.
Status FillSenderTally(Database& db);

}  // namespace chatterwick::archive
