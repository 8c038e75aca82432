#include "archive/archive_writer.h"

#include <algorithm>
#include <optional>

#include "archive/names.h"
#include "archive/schema.h"
#include "archive/stamps.h"

namespace chatterwick::archive {

namespace {

// Each row's values, its parameters numbered from "first".
std::string MessageValues(int first) {
  std::string v = "(?" + std::to_string(first);
  for (int k = 1; k < 7; ++k) v += ", ?" + std::to_string(first + k);
  return v + ")";
}

// A message's kind as the archive keeps it: the kinds' first letters differ.
int64_t KindNumber(const char* kind) {
  switch (kind[0]) {
    case 'c':
      return 0;
    case 'a':
      return 1;
    case 's':
      return 2;
    default:
      return 3;
  }
}

// A conversation's counts and times, and that a copy holds it now.
const std::string kTotals =
    ConversationTotalsSql("id = ?1", "(m.sent >> 12)", "present = 1, ", "message_text");

const std::string kAddMessage =
    "INSERT INTO message(conversation_id, line_number, time_text, sent, sender_id, body, kind) "
    "VALUES " +
    MessageValues(1);

}  // namespace

ArchiveWriter::ArchiveWriter(Database& db, ArchiveSummary& summary, RunObserver* observer,
                             StopFlag stop)
    : db_(db), summary_(summary), observer_(observer), stop_(stop), merge_(db) {}

Status ArchiveWriter::Prepare() {
  const std::pair<Statement*, const char*> statements[] = {
      {&find_protocol_, "SELECT id FROM protocol WHERE name = ?2 AND ?1 = 0"},
      {&add_protocol_, "INSERT INTO protocol(name, display_name) VALUES (?2, ?3) -- ?1"},
      {&find_account_, "SELECT id FROM account WHERE protocol_id = ?1 AND name = ?2"},
      {&add_account_, "INSERT INTO account(protocol_id, name, display_name) VALUES (?1, ?2, ?3)"},
      {&find_contact_, "SELECT id FROM contact WHERE account_id = ?1 AND name = ?2"},
      {&add_contact_, "INSERT INTO contact(account_id, name, display_name) VALUES (?1, ?2, ?3)"},
      {&find_conversation_, "SELECT id FROM conversation WHERE contact_id = ?1 AND file_stem = ?2"},
      {&find_copy_,
       "SELECT id, file_size, file_mtime, file_ctime, file_inode FROM copy "
       "WHERE source_id = ?1 AND conversation_id = ?2 AND file_name = ?3"},
      {&add_conversation_,
       "INSERT INTO conversation(contact_id, file_name, title, started_at, file_size, file_mtime, "
       "file_ctime, file_inode, file_stem) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)"},
      {&add_copy_,
       "INSERT INTO copy(source_id, conversation_id, file_name, file_size, file_mtime, "
       "file_ctime, file_inode, content_hash) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)"},
      {&update_copy_,
       "UPDATE copy SET file_size = ?4, file_mtime = ?5, file_ctime = ?6, file_inode = ?7, "
       "content_hash = ?8, present = 1 WHERE id = ?1 -- ?2 ?3"},
      {&totals_, kTotals.c_str()},
      {&set_totals_,
       "UPDATE conversation SET present = 1, messages = ?2, first_sent_at = ?3, last_sent_at = ?4 "
       "WHERE id = ?1"},
      {&find_sender_, "SELECT id FROM sender WHERE name = ?1"},
      {&add_sender_, "INSERT INTO sender(name) VALUES (?1)"},
      {&add_message_, kAddMessage.c_str()},
  };
  for (const auto& [statement, sql] : statements) {
    Status s = statement->Prepare(db_, sql);
    if (!s.ok()) return s;
  }
  std::string many = kAddMessage;
  for (size_t i = 1; i < kRowsPerInsert; ++i)
    many += ", " + MessageValues(static_cast<int>(i) * 7 + 1);
  Status s = add_messages_.Prepare(db_, many.c_str());
  return s.ok() ? merge_.Prepare() : s;
}

Status ArchiveWriter::Begin() {
  Status s = Prepare();
  if (!s.ok()) return s;
  // Logs go in batches, each log whole within its batch: an interrupted run
  // keeps every batch before it, and the next run sees the rest as new.
  s = db_.Exec("BEGIN IMMEDIATE");
  int64_t messages_before = 0;
  if (s.ok()) s = db_.QueryInt("SELECT count(*) FROM message", &messages_before);
  // An index is built faster at the end, all at once, than row by row.
  if (s.ok() && messages_before == 0) s = db_.Exec("DROP INDEX IF EXISTS message_order");
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

Status ArchiveWriter::Plan(const std::vector<LogRef>& logs, std::vector<LogPlan>* plans) {
  plans->assign(logs.size(), LogPlan());
  for (size_t i = 0; i < logs.size(); ++i) {
    Status s = PlanOne(logs[i], &(*plans)[i]);
    if (!s.ok()) return s;
  }
  return Status::OK();
}

Status ArchiveWriter::PlanOne(const LogRef& log, LogPlan* plan) {
  int64_t protocol = 0, account = 0, contact = 0;
  Status s = Known(find_protocol_, 0, log.protocol(), &protocols_, &protocol);
  if (s.ok() && protocol) s = Known(find_account_, protocol, log.account(), &accounts_, &account);
  if (s.ok() && account) s = Known(find_contact_, account, log.contact(), &contacts_, &contact);
  if (s.ok() && contact) s = FindConversation(contact, LogStem(log.file_name), &plan->conversation);
  bool row = false;
  if (s.ok() && plan->conversation) {
    find_copy_.Bind(1, log.source_id);
    find_copy_.Bind(2, plan->conversation);
    find_copy_.Bind(3, log.file_name);
    s = find_copy_.Step(&row);
  }
  if (row) plan->copy = find_copy_.Int(0);
  // A rewrite that keeps the size and sets the time back still changes the
  // inode's own change time, or (a new file renamed over it) the inode.
  const bool unchanged = row && find_copy_.Int(1) == static_cast<int64_t>(log.stamp.size) &&
                         find_copy_.Int(2) == log.stamp.modified &&
                         find_copy_.Int(3) == log.stamp.changed &&
                         find_copy_.Int(4) == static_cast<int64_t>(log.stamp.inode);
  find_copy_.Reset();
  // A log gone while listed has nothing to read.
  plan->wanted = log.stat_ok && !unchanged;
  return s;
}

Status ArchiveWriter::FindConversation(int64_t contact, const std::string& stem,
                                       int64_t* conversation) {
  *conversation = 0;
  find_conversation_.Bind(1, contact);
  find_conversation_.Bind(2, stem);
  bool row = false;
  Status s = find_conversation_.Step(&row);
  if (s.ok() && row) *conversation = find_conversation_.Int(0);
  find_conversation_.Reset();
  return s;
}

Status ArchiveWriter::ContactOf(const LogRef& log, int64_t* contact) {
  int64_t protocol = 0, account = 0;
  Status s = IdFor(find_protocol_, add_protocol_, 0, log.protocol(), &protocols_, &protocol);
  if (s.ok()) s = IdFor(find_account_, add_account_, protocol, log.account(), &accounts_, &account);
  if (s.ok()) s = IdFor(find_contact_, add_contact_, account, log.contact(), &contacts_, contact);
  return s;
}

Status ArchiveWriter::Store(const LogRef& log, const LogPlan& plan, ReadAhead<LogPiece>& pieces) {
  // Every log's names have their rows, read or not.
  int64_t contact = 0;
  Status s = ContactOf(log, &contact);
  if (!s.ok()) return s;
  if (plan.copy) seen_copies_.push_back(plan.copy);
  if (!log.stat_ok) return Unreadable(log, Status::NotFound("gone"));
  if (!plan.wanted) {
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
  // An earlier copy of this run may have made the conversation.
  int64_t added = 0, conversation = plan.conversation;
  if (!conversation) s = FindConversation(contact, LogStem(log.file_name), &conversation);
  std::string hash;
  Status read;
  if (s.ok()) s = StoreLines(log, contact, piece, pieces, &conversation, &added, &hash, &read);
  if (!s.ok() || stopped_in_log_ || !read.ok()) {
    // A log cut short by a read error adds nothing of what it held.
    db_.Exec("ROLLBACK TO log").IgnoreError();
    senders_.clear();  // some may have been the log's own
    tally_.DropLog();
    db_.Exec("RELEASE log").IgnoreError();
    return s.ok() && !stopped_in_log_ ? Unreadable(log, read) : s;
  }
  s = WriteCopy(log, plan, conversation, hash);
  if (s.ok()) s = WriteTotals(conversation);
  if (s.ok()) s = db_.Exec("RELEASE log");
  if (!s.ok()) return s;
  tally_.KeepLog();
  (plan.copy ? summary_.changed_logs : summary_.new_logs) += 1;
  summary_.messages_added += added;
  pending_messages_ += added;
  ++pending_logs_;
  return Status::OK();
}

void ArchiveWriter::CountFresh(const std::vector<PendingRow>& rows) {
  for (const PendingRow& row : rows) {
    ++fresh_->messages;
    if (!row.sent) continue;
    const int64_t at = *row.sent >> kSentShift;
    if (!fresh_->first || at < *fresh_->first >> kSentShift) fresh_->first = row.sent;
    if (!fresh_->last || at > *fresh_->last >> kSentShift) fresh_->last = row.sent;
  }
}

Status ArchiveWriter::WriteTotals(int64_t conversation) {
  // A conversation new to the archive has its totals from the rows as they
  // went in; one merged into is counted from what it holds now.
  Statement& write = fresh_ ? set_totals_ : totals_;
  write.Bind(1, conversation);
  // Bound as they are: they must last until the statement has run.
  const std::string first = fresh_ && fresh_->first ? SentAtText(*fresh_->first) : "";
  const std::string last = fresh_ && fresh_->last ? SentAtText(*fresh_->last) : "";
  if (fresh_) {
    write.Bind(2, fresh_->messages);
    if (fresh_->first) write.Bind(3, first);
    else write.BindNull(3);
    if (fresh_->last) write.Bind(4, last);
    else write.BindNull(4);
  }
  return write.Run();
}

Status ArchiveWriter::Unreadable(const LogRef& log, const Status& why) {
  ++summary_.unreadable_logs;
  if (observer_) observer_->OnProblem({Problem::Kind::kLogUnreadable, log.path(), why});
  return Status::OK();
}

Status ArchiveWriter::AddConversation(const LogRef& log, int64_t contact, const LogPiece& first,
                                      int64_t* conversation) {
  const std::optional<LogStart> start = ParseLogStart(log.file_name);
  Statement& add = add_conversation_;
  add.Bind(1, contact);
  add.Bind(2, log.file_name);
  const std::string started_at =
      start ? FormatLocal(start->date, start->seconds, start->offset_minutes) : "";
  add.Bind(3, first.title);
  if (start) add.Bind(4, started_at);
  else add.BindNull(4);
  add.Bind(5, static_cast<int64_t>(log.stamp.size));
  add.Bind(6, log.stamp.modified);
  add.Bind(7, log.stamp.changed);
  add.Bind(8, static_cast<int64_t>(log.stamp.inode));
  const std::string stem = LogStem(log.file_name);
  add.Bind(9, stem);
  Status s = add.Run();
  *conversation = db_.LastInsertId();
  return s;
}

Status ArchiveWriter::StoreLines(const LogRef& log, int64_t contact, LogPiece* piece,
                                 ReadAhead<LogPiece>& pieces, int64_t* conversation, int64_t* added,
                                 std::string* hash, Status* read) {
  // Messages of a conversation new to the archive all go in as they come;
  // another copy's only when the archive does not hold them yet.
  const bool merging = *conversation != 0;
  fresh_.reset();
  if (!merging) fresh_.emplace();
  Status s =
      merging ? merge_.Begin(*conversation) : AddConversation(log, contact, *piece, conversation);
  for (; s.ok();) {
    summary_.unreadable_stamps += piece->unreadable_stamps;
    if (piece->stopped) {
      stopped_in_log_ = true;
      return Status::OK();
    }
    if (merging) s = merge_.KeepNew(piece->last, &piece->rows);
    else CountFresh(piece->rows);
    if (s.ok()) s = InsertRows(*conversation, piece->rows);
    *added += static_cast<int64_t>(piece->rows.size());
    if (!s.ok() || piece->last) break;
    piece = pieces.Take();
    if (!piece) {
      stopped_in_log_ = true;
      return Status::OK();
    }
  }
  if (!s.ok()) return s;
  *read = piece->status;
  *hash = piece->hash;
  bool differs = false;
  if (merging) s = merge_.End(&differs);
  summary_.differing_copies += differs;
  return s;
}

Status ArchiveWriter::WriteCopy(const LogRef& log, const LogPlan& plan, int64_t conversation,
                                const std::string& hash) {
  Statement& write = plan.copy ? update_copy_ : add_copy_;
  write.Bind(1, plan.copy ? plan.copy : log.source_id);
  write.Bind(2, conversation);
  write.Bind(3, log.file_name);
  write.Bind(4, static_cast<int64_t>(log.stamp.size));
  write.Bind(5, log.stamp.modified);
  write.Bind(6, log.stamp.changed);
  write.Bind(7, static_cast<int64_t>(log.stamp.inode));
  write.Bind(8, hash);
  Status s = write.Run();
  if (s.ok() && !plan.copy) seen_copies_.push_back(db_.LastInsertId());
  return s;
}

Status ArchiveWriter::SenderId(const std::string& name, int64_t* id) {
  if (auto it = senders_.find(name); it != senders_.end()) {
    *id = it->second;
    return Status::OK();
  }
  find_sender_.Bind(1, name);
  bool row = false;
  Status s = find_sender_.Step(&row);
  if (s.ok() && row) *id = find_sender_.Int(0);
  find_sender_.Reset();
  if (s.ok() && !row) {
    add_sender_.Bind(1, name);
    s = add_sender_.Run();
    *id = db_.LastInsertId();
  }
  if (s.ok()) senders_.emplace(name, *id);
  return s;
}

Status ArchiveWriter::InsertRows(int64_t conversation, const std::vector<PendingRow>& rows) {
  tally_.Add(conversation, rows);
  // Rows of a log take turns among a few senders.
  const std::string* last_sender = nullptr;
  int64_t sender = 0;
  // Full batches go in one statement each: a step costs mostly itself, not its rows.
  for (size_t first = 0; first < rows.size();) {
    const bool full = rows.size() - first >= kRowsPerInsert;
    Statement& st = full ? add_messages_ : add_message_;
    const size_t per_step = full ? kRowsPerInsert : 1;
    for (size_t i = 0; i < per_step; ++i) {
      const PendingRow& r = rows[first + i];
      if (!last_sender || r.sender != *last_sender) {
        Status s = SenderId(r.sender, &sender);
        if (!s.ok()) return s;
        last_sender = &r.sender;
      }
      const int p = static_cast<int>(i) * 7;
      st.Bind(p + 1, conversation);
      st.Bind(p + 2, r.line_number);
      st.Bind(p + 3, r.time_text);
      if (r.sent) st.Bind(p + 4, *r.sent);
      else st.BindNull(p + 4);
      st.Bind(p + 5, sender);
      st.Bind(p + 6, r.body);
      st.Bind(p + 7, KindNumber(r.kind));
    }
    Status s = st.Run();
    if (!s.ok()) return s;
    first += per_step;
  }
  return Status::OK();
}

Status ArchiveWriter::Commit(bool begin_again) {
  Status s = tally_.Flush(db_);
  if (s.ok()) s = db_.Exec("COMMIT");
  int64_t through = 0;
  if (s.ok() && committed_) s = db_.QueryInt("SELECT coalesce(max(id), 0) FROM message", &through);
  if (s.ok() && committed_) committed_(through, finishing_);
  if (s.ok() && begin_again) s = db_.Exec("BEGIN IMMEDIATE");
  pending_logs_ = 0;
  pending_messages_ = 0;
  return s;
}

Status ArchiveWriter::CommitWhenFull() {
  return pending_logs_ >= 500 || pending_messages_ >= 200000 ? Commit(true) : Status::OK();
}

Status ArchiveWriter::Finish(bool* stopped) {
  finishing_ = true;
  Status s = Commit(true);
  finishing_ = false;
  if (!s.ok()) return s;
  // An index missing here is built by the next run.
  db_.SetStop(stop_);
  s = db_.Exec(
      ("CREATE INDEX IF NOT EXISTS message_order ON message(" + TimeOrderOf("") + ")").c_str());
  db_.SetStop({});
  if (!s.ok() && stop_.Requested()) {
    *stopped = true;
    db_.Exec("ROLLBACK").IgnoreError();
    return db_.Exec("BEGIN IMMEDIATE");
  }
  return s;
}

Status ArchiveWriter::End(const Status& so_far) {
  if (so_far.ok()) return Commit(false);
  db_.Exec("ROLLBACK").IgnoreError();
  return so_far;
}

}  // namespace chatterwick::archive
