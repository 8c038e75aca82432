#include "archive/conversation_merge.h"

#include <utility>

namespace chatterwick::archive {

Status ConversationMerge::Prepare() {
  const std::pair<Statement*, const char*> statements[] = {
      {&stored_keys_,
       "SELECT coalesce(sent_at, ''), time_text, sender, substr(body, 1, 256), line_number, id "
       "FROM message_text WHERE conversation_id = ?1 ORDER BY line_number"},
      {&stored_body_, "SELECT body FROM message WHERE id = ?1"},
      {&same_time_,
       "SELECT coalesce(sent_at, ''), time_text, sender, substr(body, 1, 256) FROM message_text "
       "WHERE conversation_id = ?1 AND (sent = ?2 OR (sent IS NULL AND time_text = ?3))"},
      {&lengthen_, "UPDATE message SET body = ?2 WHERE id = ?1"},
      {&renumber_,
       // A line without a time keeps its place after the line before it.
       "UPDATE message SET line_number = o.n FROM (SELECT id, row_number() OVER (ORDER BY t, "
       "line_number) AS n FROM (SELECT id, line_number, coalesce(sent >> 12, (SELECT "
       "p.sent >> 12 FROM message p WHERE p.conversation_id = m.conversation_id AND "
       "p.line_number < m.line_number AND p.sent IS NOT NULL ORDER BY p.line_number DESC "
       "LIMIT 1)) AS t FROM message m WHERE conversation_id = ?1)) AS o WHERE message.id = o.id "
       "AND message.line_number <> o.n"},
  };
  for (const auto& [statement, sql] : statements) {
    Status s = statement->Prepare(db_, sql);
    if (!s.ok()) return s;
  }
  return Status::OK();
}

Status ConversationMerge::Begin(int64_t conversation) {
  merge_ = CopyMerge();
  conversation_ = conversation;
  last_line_ = last_id_ = 0;
  stored_keys_.Bind(1, conversation);
  Status s;
  for (bool row = true; (s = stored_keys_.Step(&row)).ok() && row;) {
    merge_.AddStored(MessageKey(stored_keys_.Text(0), stored_keys_.Text(1), stored_keys_.Text(2),
                                stored_keys_.Text(3)));
    last_line_ = stored_keys_.Int(4);
    last_id_ = stored_keys_.Int(5);
  }
  stored_keys_.Reset();
  return s;
}

Status ConversationMerge::Lengthen(const PendingRow& row) {
  // A copy cut short while the conversation went on may end inside a
  // message's text, whichever copy was read first: the longer text is kept.
  stored_body_.Bind(1, last_id_);
  bool found = false;
  Status s = stored_body_.Step(&found);
  const bool longer = s.ok() && found && row.body.size() > stored_body_.Text(0).size() &&
                      row.body.starts_with(stored_body_.Text(0));
  stored_body_.Reset();
  if (!s.ok() || !longer) return s;
  lengthen_.Bind(1, last_id_);
  lengthen_.Bind(2, row.body);
  return lengthen_.Run();
}

Status ConversationMerge::StoredBegunBy(const std::string& key, const PendingRow& row,
                                        bool* begun) {
  *begun = false;
  same_time_.Bind(1, conversation_);
  // A stamp is matched by stamp, a line without one by its time text.
  if (row.sent) same_time_.Bind(2, *row.sent), same_time_.BindNull(3);
  else same_time_.BindNull(2), same_time_.Bind(3, row.time_text);
  Status s;
  for (bool found = true; !*begun && (s = same_time_.Step(&found)).ok() && found;)
    *begun = KeyExtends(key, MessageKey(same_time_.Text(0), same_time_.Text(1), same_time_.Text(2),
                                        same_time_.Text(3)));
  same_time_.Reset();
  return s;
}

Status ConversationMerge::KeepNew(bool last_piece, std::vector<PendingRow>* rows) {
  size_t kept = 0;
  Status s;
  for (size_t i = 0; s.ok() && i < rows->size(); ++i) {
    PendingRow& row = (*rows)[i];
    const std::string key =
        MessageKey(row.sent ? SentAtText(*row.sent) : "", row.time_text, row.sender, row.body);
    const CopyMerge::Offered offered = merge_.Offer(key, last_piece && i + 1 == rows->size());
    bool held = offered != CopyMerge::Offered::kNew;
    if (offered == CopyMerge::Offered::kHeldLast) s = Lengthen(row);
    if (offered == CopyMerge::Offered::kMaybeCut) {
      s = StoredBegunBy(key, row, &held);
      merge_.Settle(held);
    }
    if (held) continue;
    row.line_number = ++last_line_;
    if (kept != i) (*rows)[kept] = std::move(row);
    ++kept;
  }
  rows->resize(kept);
  return s;
}

Status ConversationMerge::End(bool* differs) {
  *differs = merge_.Differs();
  if (!*differs) return Status::OK();
  renumber_.Bind(1, conversation_);
  return renumber_.Run();
}

}  // namespace chatterwick::archive
