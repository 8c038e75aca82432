#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/copies.h"
#include "archive/log_pieces.h"
#include "archive/sqlite_db.h"
#include "core/status.h"

// The SQL of merging one copy of a log into the conversation the archive
// holds of it (see CopyMerge): what is stored read first, a copy's rows
// kept only when new, the stored last message made whole, and the messages
// put in time order again when the copy differed.
namespace chatterwick::archive {

class ConversationMerge {
 public:
  explicit ConversationMerge(Database& db) : db_(db) {}

  Status Prepare();
  // Begins a copy of conversation: reads what the archive holds of it.
  Status Begin(int64_t conversation);
  // Keeps the rows of one piece of the copy that are new, numbered after the
  // stored ones; last_piece: the copy ends with this piece.
  Status KeepNew(bool last_piece, std::vector<PendingRow>* rows);
  // The copy is all offered; *differs says it was neither the start of the
  // stored messages nor those followed by more.
  Status End(bool* differs);

 private:
  // The stored last message's text, when row's goes on from it.
  Status Lengthen(const PendingRow& row);
  // Whether a stored message of row's time goes on from row's text (key).
  Status StoredBegunBy(const std::string& key, const PendingRow& row, bool* begun);

  Database& db_;
  Statement stored_keys_, stored_body_, same_time_, lengthen_, renumber_;
  CopyMerge merge_;
  int64_t conversation_ = 0, last_line_ = 0;
  int64_t last_id_ = 0;  // of the stored last message
};

}  // namespace chatterwick::archive
