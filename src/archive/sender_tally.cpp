#include "archive/sender_tally.h"

#include <cstring>

#include "archive/people.h"

namespace chatterwick::archive {

namespace {

constexpr const char* kAddCount =
    "INSERT INTO sender_tally(conversation_id, sender, messages) VALUES (?1, ?2, ?3) "
    "ON CONFLICT DO UPDATE SET messages = messages + excluded.messages";

Status AddAll(Database& db, const SenderTally::Counts& counts) {
  Statement add;
  Status s = add.Prepare(db, kAddCount);
  for (auto it = counts.begin(); s.ok() && it != counts.end(); ++it) {
    add.Bind(1, it->first.first);
    add.Bind(2, std::string_view(it->first.second));
    add.Bind(3, it->second);
    s = add.Run();
  }
  return s;
}

}  // namespace

void SenderTally::Add(int64_t conversation, const std::vector<PendingRow>& rows) {
  // Rows of one log share a handful of senders: the last one's count is
  // found again without a lookup most of the time.
  int64_t* last = nullptr;
  std::string_view last_written;
  for (const PendingRow& r : rows) {
    if (std::strcmp(r.kind, "chat") != 0 && std::strcmp(r.kind, "action") != 0) continue;
    if (!last || r.sender != last_written) {
      last = &log_[{conversation, SenderName(r.sender)}];
      last_written = r.sender;
    }
    ++*last;
  }
}

void SenderTally::KeepLog() {
  for (const auto& [key, count] : log_) kept_[key] += count;
  log_.clear();
}

Status SenderTally::Flush(Database& db) {
  const Status s = AddAll(db, kept_);
  kept_.clear();
  return s;
}

Status FillSenderTally(Database& db) {
  Statement all;
  Status s = all.Prepare(db,
                         "SELECT conversation_id, sender, count(*) FROM message "
                         "WHERE kind IN ('chat', 'action') GROUP BY 1, 2");
  SenderTally::Counts counts;
  for (bool row = true; s.ok();) {
    s = all.Step(&row);
    if (!s.ok() || !row) break;
    counts[{all.Int(0), SenderName(all.Text(1))}] += all.Int(2);
  }
  return s.ok() ? AddAll(db, counts) : s;
}

}  // namespace chatterwick::archive
