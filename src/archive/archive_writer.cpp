#include "archive/archive_writer.h"

#include <algorithm>
#include <optional>

#include "archive/fts_merges.h"
#include "archive/names.h"
#include "archive/schema.h"
#include "archive/stamps.h"

namespace chatterwick::archive {

namespace {

// Each row's values, its parameters numbered from "first".
std::string MessageValues(int first) {
  std::string v = "(?" + std::to_string(first);
  for (int k = 1; k < 7; ++k) v += ", ?" + std::to_string(first + k);
  // The time order from the stamp itself, so that no two ways of reading it differ.
  return v + ", " + SentOrderOf("?" + std::to_string(first + 3)) + ")";
}

const std::string kAddMessage =
    "INSERT INTO message(conversation_id, line_number, time_text, sent_at, sender, body, kind, "
    "sent_order) VALUES " +
    MessageValues(1);

}  // namespace

ArchiveWriter::ArchiveWriter(Database& db, ArchiveSummary& summary, RunObserver* observer,
                             StopFlag stop)
    : db_(db), summary_(summary), observer_(observer), stop_(stop) {}

Status ArchiveWriter::Prepare() {
  const std::pair<Statement*, const char*> statements[] = {
      {&find_protocol_, "SELECT id FROM protocol WHERE name = ?2 AND ?1 = 0"},
      {&add_protocol_, "INSERT INTO protocol(name, display_name) VALUES (?2, ?3) -- ?1"},
      {&find_account_, "SELECT id FROM account WHERE protocol_id = ?1 AND name = ?2"},
      {&add_account_, "INSERT INTO account(protocol_id, name, display_name) VALUES (?1, ?2, ?3)"},
      {&find_contact_, "SELECT id FROM contact WHERE account_id = ?1 AND name = ?2"},
      {&add_contact_, "INSERT INTO contact(account_id, name, display_name) VALUES (?1, ?2, ?3)"},
      {&find_conversation_,
       "SELECT id, file_size, file_mtime, file_ctime, file_inode FROM conversation "
       "WHERE contact_id = ?1 AND file_name = ?2"},
      {&add_conversation_,
       "INSERT INTO conversation(contact_id, file_name, title, started_at, file_size, file_mtime, "
       "file_ctime, file_inode) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)"},
      {&update_conversation_,
       "UPDATE conversation SET title = ?3, started_at = ?4, file_size = ?5, file_mtime = ?6, "
       "file_ctime = ?7, file_inode = ?8 WHERE id = ?1 -- ?2"},
      {&set_hash_, "UPDATE conversation SET content_hash = ?2 WHERE id = ?1"},
      {&every_conversation_,
       "SELECT v.id, p.name, a.name, c.name, v.file_name FROM conversation v JOIN contact c ON "
       "c.id = v.contact_id JOIN account a ON a.id = c.account_id JOIN protocol p ON p.id = "
       "a.protocol_id"},
      {&delete_messages_, "DELETE FROM message WHERE conversation_id = ?1"},
      {&index_new_,
       "INSERT INTO message_fts(rowid, body, sender) SELECT id, body, sender FROM message "
       "WHERE id > ?1"},
      {&add_message_, kAddMessage.c_str()},
  };
  for (const auto& [statement, sql] : statements) {
    Status s = statement->Prepare(db_, sql);
    if (!s.ok()) return s;
  }
  std::string many = kAddMessage;
  for (size_t i = 1; i < kRowsPerInsert; ++i)
    many += ", " + MessageValues(static_cast<int>(i) * 7 + 1);
  return add_messages_.Prepare(db_, many.c_str());
}

Status ArchiveWriter::Begin() {
  Status s = Prepare();
  if (!s.ok()) return s;
  // Logs go in batches, each log whole within its batch: an interrupted run
  // keeps every batch before it, and the next run sees the rest as new.
  s = db_.Exec("BEGIN IMMEDIATE");
  int64_t messages_before = 0;
  if (s.ok()) s = db_.QueryInt("SELECT coalesce(max(id), 0) FROM message", &indexed_);
  if (s.ok()) s = db_.QueryInt("SELECT count(*) FROM message", &messages_before);
  // An index is built faster at the end, all at once, than row by row.
  if (s.ok() && messages_before == 0)
    s = db_.Exec("DROP INDEX IF EXISTS message_sent_at; DROP INDEX IF EXISTS message_order");
  if (s.ok()) s = HoldMerges(db_, messages_before, &merges_held_);
  return s;
}

Status ArchiveWriter::IdFor(Statement& find, Statement& insert, int64_t parent,
                            const std::string& name, IdCache* cache, int64_t* id) {
  Status s = Known(find, parent, name, cache, id);
  if (!s.ok() || *id != 0) return s;
  const std::string display = DisplayName(name);
  insert.Bind(1, parent);
  insert.Bind(2, name);
  insert.Bind(3, display);
  s = insert.Run();
  *id = db_.LastInsertId();
  if (s.ok()) (*cache)[std::make_pair(parent, name)] = *id;
  return s;
}

Status ArchiveWriter::Known(Statement& find, int64_t parent, const std::string& name,
                            IdCache* cache, int64_t* id) {
  *id = 0;
  const auto key = std::make_pair(parent, name);
  if (auto it = cache->find(key); it != cache->end()) {
    *id = it->second;
    return Status::OK();
  }
  find.Bind(1, parent);
  find.Bind(2, name);
  bool row = false;
  Status s = find.Step(&row);
  if (s.ok() && row) *id = find.Int(0);
  find.Reset();
  if (s.ok() && row) (*cache)[key] = *id;
  return s;
}

Status ArchiveWriter::FindWanted(const std::vector<LogRef>& logs, std::vector<char>* wanted,
                                 std::vector<int64_t>* existing) {
  wanted->assign(logs.size(), 0);
  existing->assign(logs.size(), 0);
  for (size_t i = 0; i < logs.size(); ++i) {
    const LogRef& log = logs[i];
    int64_t protocol = 0, account = 0, contact = 0;
    Status s = Known(find_protocol_, 0, log.protocol(), &protocols_, &protocol);
    if (s.ok() && protocol) s = Known(find_account_, protocol, log.account(), &accounts_, &account);
    if (s.ok() && account) s = Known(find_contact_, account, log.contact(), &contacts_, &contact);
    if (!s.ok()) return s;
    bool row = false;
    if (contact) {
      find_conversation_.Bind(1, contact);
      find_conversation_.Bind(2, log.file_name);
      s = find_conversation_.Step(&row);
    }
    if (row) (*existing)[i] = find_conversation_.Int(0);
    // A rewrite that keeps the size and sets the time back still changes the
    // inode's own change time, or (a new file renamed over it) the inode.
    const bool unchanged = row &&
                           find_conversation_.Int(1) == static_cast<int64_t>(log.stamp.size) &&
                           find_conversation_.Int(2) == log.stamp.modified &&
                           find_conversation_.Int(3) == log.stamp.changed &&
                           find_conversation_.Int(4) == static_cast<int64_t>(log.stamp.inode);
    if (contact) find_conversation_.Reset();
    if (!s.ok()) return s;
    // A log gone while listed has nothing to read.
    (*wanted)[i] = log.stat_ok && !unchanged;
  }
  return Status::OK();
}

Status ArchiveWriter::ContactOf(const LogRef& log, int64_t* contact) {
  int64_t protocol = 0, account = 0;
  Status s = IdFor(find_protocol_, add_protocol_, 0, log.protocol(), &protocols_, &protocol);
  if (s.ok()) s = IdFor(find_account_, add_account_, protocol, log.account(), &accounts_, &account);
  if (s.ok()) s = IdFor(find_contact_, add_contact_, account, log.contact(), &contacts_, contact);
  return s;
}

Status ArchiveWriter::Store(const LogRef& log, bool wanted, int64_t existing,
                            ReadAhead<LogPiece>& pieces) {
  // Every log's names have their rows, read or not.
  int64_t contact = 0;
  Status s = ContactOf(log, &contact);
  if (!s.ok()) return s;
  if (existing) seen_.push_back(existing);
  if (!log.stat_ok) return Unreadable(log, Status::NotFound("gone"));
  if (!wanted) {
    ++summary_.unchanged_logs;
    return Status::OK();
  }
  LogPiece* piece = pieces.Take();
  if (!piece) {
    // The reader saw the stop before it began this log.
    stopped_in_log_ = true;
    return Status::OK();
  }
  if (piece->unreadable) return Unreadable(log, piece->status);

  s = db_.Exec("SAVEPOINT log");
  if (!s.ok()) return s;
  int64_t added = 0, conversation = 0;
  std::string hash;
  Status read;
  s = StoreLines(log, contact, existing, piece, pieces, &conversation, &added, &hash, &read);
  if (!s.ok() || stopped_in_log_ || !read.ok()) {
    // A log cut short by a read error keeps what the archive held of it.
    db_.Exec("ROLLBACK TO log").IgnoreError();
    db_.Exec("RELEASE log").IgnoreError();
    return s.ok() && !stopped_in_log_ ? Unreadable(log, read) : s;
  }
  set_hash_.Bind(1, conversation);
  set_hash_.Bind(2, hash);
  s = set_hash_.Run();
  if (s.ok()) s = db_.Exec("RELEASE log");
  if (!s.ok()) return s;
  if (!existing) seen_.push_back(conversation);
  (existing ? summary_.changed_logs : summary_.new_logs) += 1;
  summary_.messages_added += added;
  pending_messages_ += added;
  ++pending_logs_;
  return Status::OK();
}

Status ArchiveWriter::Unreadable(const LogRef& log, const Status& why) {
  ++summary_.unreadable_logs;
  if (observer_) observer_->OnProblem({Problem::Kind::kLogUnreadable, log.path(), why});
  return Status::OK();
}

Status ArchiveWriter::WriteConversation(const LogRef& log, int64_t contact, int64_t existing,
                                        const LogPiece& first, int64_t* conversation) {
  const std::optional<LogStart> start = ParseLogStart(log.file_name);
  Statement& write = existing ? update_conversation_ : add_conversation_;
  write.Bind(1, existing ? existing : contact);
  write.Bind(2, log.file_name);
  const std::string started_at =
      start ? FormatLocal(start->date, start->seconds, start->offset_minutes) : "";
  write.Bind(3, first.title);
  if (start) write.Bind(4, started_at);
  else write.BindNull(4);
  write.Bind(5, static_cast<int64_t>(log.stamp.size));
  write.Bind(6, log.stamp.modified);
  write.Bind(7, log.stamp.changed);
  write.Bind(8, static_cast<int64_t>(log.stamp.inode));
  Status s = write.Run();
  if (!s.ok()) return s;
  *conversation = existing ? existing : db_.LastInsertId();
  if (!existing) return s;
  delete_messages_.Bind(1, *conversation);
  return delete_messages_.Run();
}

Status ArchiveWriter::StoreLines(const LogRef& log, int64_t contact, int64_t existing,
                                 LogPiece* piece, ReadAhead<LogPiece>& pieces, int64_t* stored_as,
                                 int64_t* added, std::string* hash, Status* read) {
  Status s = WriteConversation(log, contact, existing, *piece, stored_as);
  if (!s.ok()) return s;
  for (;;) {
    summary_.unreadable_stamps += piece->unreadable_stamps;
    if (piece->stopped) {
      stopped_in_log_ = true;
      return Status::OK();
    }
    s = InsertRows(*stored_as, piece->rows);
    if (!s.ok()) return s;
    *added += static_cast<int64_t>(piece->rows.size());
    if (piece->last) break;
    piece = pieces.Take();
    if (!piece) {
      stopped_in_log_ = true;
      return Status::OK();
    }
  }
  *read = piece->status;
  *hash = piece->hash;
  return Status::OK();
}

Status ArchiveWriter::InsertRows(int64_t conversation, const std::vector<PendingRow>& rows) {
  // Full batches go in one statement each: a step costs mostly itself, not its rows.
  for (size_t first = 0; first < rows.size();) {
    const bool full = rows.size() - first >= kRowsPerInsert;
    Statement& st = full ? add_messages_ : add_message_;
    const size_t per_step = full ? kRowsPerInsert : 1;
    for (size_t i = 0; i < per_step; ++i) {
      const PendingRow& r = rows[first + i];
      const int p = static_cast<int>(i) * 7;
      st.Bind(p + 1, conversation);
      st.Bind(p + 2, r.line_number);
      st.Bind(p + 3, r.time_text);
      if (r.sent_at.empty()) st.BindNull(p + 4);
      else st.Bind(p + 4, r.sent_at);
      st.Bind(p + 5, r.sender);
      st.Bind(p + 6, r.body);
      st.Bind(p + 7, std::string_view(r.kind));
    }
    Status s = st.Run();
    if (!s.ok()) return s;
    first += per_step;
  }
  return Status::OK();
}

Status ArchiveWriter::Commit(bool begin_again) {
  // The batch's new messages join the index in one statement: a trigger
  // row by row costs ten times as much.
  index_new_.Bind(1, indexed_);
  Status s = index_new_.Run();
  if (s.ok()) s = db_.QueryInt("SELECT coalesce(max(id), 0) FROM message", &indexed_);
  if (s.ok()) s = db_.Exec("COMMIT");
  if (s.ok() && begin_again) s = db_.Exec("BEGIN IMMEDIATE");
  pending_logs_ = 0;
  pending_messages_ = 0;
  return s;
}

Status ArchiveWriter::CommitWhenFull() {
  return pending_logs_ >= 500 || pending_messages_ >= 200000 ? Commit(true) : Status::OK();
}

Status ArchiveWriter::Finish(bool* stopped) {
  // The last batch's messages also become a segment of the index here.
  Status s = Commit(true);
  if (!s.ok()) return s;
  // An index missing here is built by the next run. Messages an older
  // archive kept of logs no run reads again get their order too: few, and
  // found through the index, where no order sorts first.
  db_.SetStop(stop_);
  s = db_.Exec(("CREATE INDEX IF NOT EXISTS message_sent_at ON message(sent_at); "
                "CREATE INDEX IF NOT EXISTS message_order ON message(sent_order); "
                "UPDATE message SET sent_order = " +
                SentOrderOf("sent_at") + " WHERE sent_order IS NULL")
                   .c_str());
  db_.SetStop({});
  if (!s.ok() && stop_.Requested()) {
    *stopped = true;
    db_.Exec("ROLLBACK").IgnoreError();
    return db_.Exec("BEGIN IMMEDIATE");
  }
  if (s.ok() && merges_held_)
    s = MergeHeld(
        db_, stop_, [this] { return Commit(true); }, stopped);
  return s;
}

Status ArchiveWriter::End(const Status& so_far) {
  if (so_far.ok()) return Commit(false);
  db_.Exec("ROLLBACK").IgnoreError();
  return so_far;
}

Status ArchiveWriter::Conclude(bool whole, GoneLogs gone, const LogListing& listing,
                               const std::string& mask) {
  std::sort(seen_.begin(), seen_.end());
  seen_.erase(std::unique(seen_.begin(), seen_.end()), seen_.end());
  // A whole run knows which logs are still on the disk; a stopped one does not.
  Status s = whole ? MarkPresent(listing, mask) : Status::OK();
  if (s.ok()) s = db_.QueryInt("SELECT count(*) FROM message", &summary_.messages_total);
  if (s.ok())
    s = db_.QueryInt("SELECT count(*) FROM conversation WHERE present = 0", &summary_.gone_logs);
  if (s.ok() && whole) s = RemoveGone(gone);
  return s;
}

Status ArchiveWriter::FindGone(const LogListing& listing, const std::string& mask,
                               std::vector<int64_t>* gone) {
  bool row = false;
  Status s;
  while ((s = every_conversation_.Step(&row)).ok() && row) {
    const int64_t id = every_conversation_.Int(0);
    if (!std::binary_search(seen_.begin(), seen_.end(), id) &&
        listing.Gone(std::string(every_conversation_.Text(1)),
                     std::string(every_conversation_.Text(2)),
                     std::string(every_conversation_.Text(3)),
                     std::string(every_conversation_.Text(4)), mask))
      gone->push_back(id);
  }
  every_conversation_.Reset();
  return s;
}

Status ArchiveWriter::MarkPresent(const LogListing& listing, const std::string& mask) {
  std::vector<int64_t> gone;
  Status s = db_.Exec(
      "BEGIN IMMEDIATE; CREATE TEMP TABLE IF NOT EXISTS seen(id INTEGER PRIMARY KEY, here); "
      "DELETE FROM seen;");
  if (s.ok()) s = FindGone(listing, mask, &gone);
  Statement add;
  if (s.ok()) s = add.Prepare(db_, "INSERT INTO seen(id, here) VALUES (?1, ?2)");
  for (const auto& [ids, here] : {std::pair(&seen_, 1), std::pair(&gone, 0)})
    for (size_t i = 0; s.ok() && i < ids->size(); ++i) {
      add.Bind(1, (*ids)[i]);
      add.Bind(2, int64_t{here});
      s = add.Run();
    }
  if (s.ok())
    s = db_.Exec(
        "UPDATE conversation SET present = (SELECT here FROM seen WHERE seen.id = conversation.id) "
        "WHERE id IN (SELECT id FROM seen WHERE here <> conversation.present); COMMIT");
  if (!s.ok()) db_.Exec("ROLLBACK").IgnoreError();
  return s;
}

Status ArchiveWriter::RemoveGone(GoneLogs gone) {
  int64_t moved = 0, pruned = 0;
  Status s = db_.Exec("BEGIN IMMEDIATE");
  if (s.ok())
    s = db_.Exec(
        "DELETE FROM conversation WHERE present = 0 AND content_hash IS NOT NULL AND EXISTS "
        "(SELECT 1 FROM conversation n WHERE n.present = 1 AND n.file_size = "
        "conversation.file_size AND n.content_hash = conversation.content_hash)");
  if (s.ok()) moved = sqlite3_changes64(db_.get());
  if (s.ok() && gone == GoneLogs::kPrune) {
    s = db_.Exec("DELETE FROM conversation WHERE present = 0");
    if (s.ok()) pruned = sqlite3_changes64(db_.get());
  }
  if (s.ok()) s = db_.Exec("COMMIT");
  if (!s.ok()) {
    db_.Exec("ROLLBACK").IgnoreError();
    return s;
  }
  summary_.moved_logs = moved;
  summary_.pruned_logs = pruned;
  summary_.gone_logs -= moved + pruned;
  if (moved + pruned > 0)
    s = db_.QueryInt("SELECT count(*) FROM message", &summary_.messages_total);
  return s;
}

}  // namespace chatterwick::archive
