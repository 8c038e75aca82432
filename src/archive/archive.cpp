#include "archive/archive.h"

#include <openssl/evp.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "archive/names.h"
#include "archive/schema.h"
#include "archive/sqlite_db.h"
#include "archive/stamps.h"
#include "core/log_file.h"
#include "core/log_tree.h"
#include "core/messages.h"
#include "core/path.h"
#include "core/read_ahead.h"
#include "core/safe_file.h"

namespace chatterwick::archive {

namespace {

// The folders a contact's logs share: a tree of many logs holds each once.
struct LogFolder {
  std::string protocol, account, contact;
  std::string path;  // with its final separator
};

// A log found under the root, and what the disk says of it.
struct LogRef {
  std::shared_ptr<const LogFolder> folder;
  std::string file_name;
  FileStamp stamp;
  bool stat_ok = false;
  const std::string& protocol() const { return folder->protocol; }
  const std::string& account() const { return folder->account; }
  const std::string& contact() const { return folder->contact; }
  std::string path() const { return folder->path + file_name; }
};

// Lists the tree's logs with what the disk says of each, before any is read.
class LogLister : public LogTreeVisitor {
 public:
  using Unreadable = std::function<void(const std::string& path, const Status& why)>;
  LogLister(Env& env, Unreadable unreadable) : env_(env), unreadable_(std::move(unreadable)) {}

  bool OnFolder(TreeLevel, const std::string&, int32_t, int32_t*) override { return true; }
  void OnLog(LogFileRef&& found, int32_t) override {
    const std::string folder = found.path.substr(0, found.path.size() - found.file_name.size());
    if (!folder_ || folder_->path != folder || folder_->contact != found.contact ||
        folder_->account != found.account || folder_->protocol != found.protocol)
      folder_ = std::make_shared<const LogFolder>(LogFolder{
          std::move(found.protocol), std::move(found.account), std::move(found.contact), folder});
    LogRef ref{folder_, std::move(found.file_name), {}, false};
    ref.stat_ok = env_.GetFileStamp(found.path, &ref.stamp).ok();
    logs.push_back(std::move(ref));
  }
  void OnUnreadable(const std::string& folder, const std::string& entry,
                    const Status& why) override {
    unreadable_(folder + entry, why);
  }

  std::vector<LogRef> logs;

 private:
  Env& env_;
  Unreadable unreadable_;
  std::shared_ptr<const LogFolder> folder_;
};

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

// Reads through the Env it wraps, and hashes every byte the last file
// opened gives: what recognises a log's bytes at another place.
class HashingEnv : public EnvWrapper {
 public:
  explicit HashingEnv(Env* target) : EnvWrapper(target), ctx_(EVP_MD_CTX_new()) {}
  ~HashingEnv() override { EVP_MD_CTX_free(ctx_); }
  HashingEnv(const HashingEnv&) = delete;
  HashingEnv& operator=(const HashingEnv&) = delete;

  Status NewSequentialFile(const std::string& path,
                           std::unique_ptr<SequentialFile>* result) override {
    Status s = EnvWrapper::NewSequentialFile(path, result);
    if (!s.ok()) return s;
    if (!ctx_ || EVP_DigestInit_ex(ctx_, EVP_sha256(), nullptr) != 1)
      return Status::IOError("cannot hash");
    result->reset(new HashingFile(std::move(*result), ctx_));
    return s;
  }
  // The hash, in hex, of what was read since the file was opened.
  std::string Digest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(ctx_, digest, &size) != 1) return {};
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < size; ++i) {
      hex += kHex[digest[i] >> 4];
      hex += kHex[digest[i] & 15];
    }
    return hex;
  }

 private:
  class HashingFile : public SequentialFile {
   public:
    HashingFile(std::unique_ptr<SequentialFile> file, EVP_MD_CTX* ctx)
        : file_(std::move(file)), ctx_(ctx) {}
    Status Read(size_t n, char* scratch, size_t* got) override {
      Status s = file_->Read(n, scratch, got);
      if (s.ok() && *got > 0) EVP_DigestUpdate(ctx_, scratch, *got);
      return s;
    }

   private:
    std::unique_ptr<SequentialFile> file_;
    EVP_MD_CTX* ctx_;
  };

  EVP_MD_CTX* ctx_;
};

// A text longer than a message keeps is stored cut at a character's start,
// with a note of what was left out: SQLite would refuse it whole, and then
// the same log on every later run.
void CutToFit(std::string* text) {
  if (text->size() <= kMaxMessageBytes) return;
  const size_t total = text->size();
  size_t end = kMaxMessageBytes;
  while (end > 0 && (static_cast<unsigned char>((*text)[end]) & 0xC0) == 0x80) --end;
  text->resize(end);
  *text += " [cut: " + std::to_string(total - end) + " more bytes not stored]";
}

// The triggers (and views, with_views) of db's schema as one text.
Status SchemaCode(Database& db, bool with_views, std::string* code) {
  Statement st;
  Status s = st.Prepare(db, with_views ? "SELECT type, name, sql FROM sqlite_schema WHERE type IN "
                                         "('trigger', 'view') ORDER BY type, name"
                                       : "SELECT type, name, sql FROM sqlite_schema WHERE type = "
                                         "'trigger' ORDER BY name");
  code->clear();
  for (bool row = true; s.ok();) {
    s = st.Step(&row);
    if (!s.ok() || !row) break;
    for (int c = 0; c < 3; ++c) code->append(st.Text(c)).push_back('\0');
  }
  return s;
}

// A row as the archive stores it, made before it is stored.
struct PendingRow {
  int64_t line_number;
  std::string time_text, sent_at, sender, body;
  const char* kind;
};

// A piece of one log, read and split: its first piece has the title, its
// last the outcome and the hash. A long log comes in several pieces, so that
// what is read ahead stays small whatever the log's length.
struct LogPiece {
  bool last = false;
  // First and last: the log could not be opened or has no header (status says why).
  bool unreadable = false;
  // The stop came in the middle of this log; nothing follows.
  bool stopped = false;
  Status status;  // on the last piece: why the log ended early, when it did
  std::string title;
  std::vector<PendingRow> rows;
  int64_t unreadable_stamps = 0;
  std::string hash;
};

// Reads the logs a run wants, in the run's order, one piece at a time: the
// step of a ReadAhead, so that it may run on a thread of its own.
class LogPieces {
 public:
  LogPieces(Env& env, const std::vector<LogRef>& logs, const std::vector<char>& wanted,
            StopFlag stop)
      : hashing_(&env), logs_(logs), wanted_(wanted), stop_(stop) {}
  bool Next(LogPiece* piece);

 private:
  static constexpr size_t kPieceRows = 4096;
  static constexpr size_t kPieceBytes = size_t{8} << 20;

  HashingEnv hashing_;
  const std::vector<LogRef>& logs_;
  const std::vector<char>& wanted_;
  const StopFlag stop_;
  size_t next_ = 0;  // the next log to begin
  std::optional<LogLineReader> reader_;
  std::optional<StampClock> clock_;
  int64_t line_number_ = 0;
  ParsedLine rec_;
};

bool LogPieces::Next(LogPiece* piece) {
  piece->last = piece->unreadable = piece->stopped = false;
  piece->status = Status::OK();
  piece->title.clear();
  piece->rows.clear();
  piece->unreadable_stamps = 0;
  piece->hash.clear();
  if (!reader_) {
    while (next_ < logs_.size() && !wanted_[next_]) ++next_;
    if (next_ == logs_.size() || stop_.Requested()) return false;
    const LogRef& log = logs_[next_++];
    reader_.emplace();
    Status s = reader_->Open(hashing_, log.path());
    std::string header;
    if (s.ok() && !reader_->Next(&header)) s = reader_->status();
    if (!s.ok()) {
      piece->last = piece->unreadable = true;
      piece->status = std::move(s);
      reader_.reset();
      return true;
    }
    piece->title = ExtractTitle(header);
    clock_.emplace(ParseLogStart(log.file_name));
    line_number_ = 0;
  }
  size_t bytes = 0;
  for (std::string line; piece->rows.size() < kPieceRows && bytes < kPieceBytes;) {
    if (!reader_->Next(&line)) {
      piece->last = true;
      piece->status = reader_->status();
      piece->hash = hashing_.Digest();
      reader_.reset();
      return true;
    }
    ++line_number_;
    // A huge log is no reason to make a stop wait.
    if (line_number_ % 4096 == 0 && stop_.Requested()) {
      piece->stopped = piece->last = true;
      reader_.reset();
      return true;
    }
    const LineKind kind = ParseRawLine(line, &rec_);
    if (kind == LineKind::kMarkup) continue;
    std::string sent_at = rec_.Time.empty() ? std::string() : clock_->SentAt(rec_.Time);
    if (!rec_.Time.empty() && sent_at.empty()) ++piece->unreadable_stamps;
    ClassifiedLine m = ClassifyLine(kind, rec_);
    PendingRow& row =
        piece->rows.emplace_back(PendingRow{line_number_, rec_.Time, std::move(sent_at),
                                            std::move(m.sender), std::move(m.body), m.kind});
    for (std::string* text : {&row.time_text, &row.sender, &row.body}) {
      CutToFit(text);
      bytes += text->size();
    }
  }
  return true;  // more pieces of this log follow
}

class Archiver {
 public:
  Archiver(Env& env, RunObserver* observer, StopFlag stop, GoneLogs gone, bool read_ahead)
      : env_(env), observer_(observer), stop_(stop), gone_(gone), read_ahead_(read_ahead) {}

  ArchiveResult Run(const std::string& root, const std::string& db_path, const std::string& mask);

 private:
  Status OpenDatabase(const std::string& path);
  Status CreatePrivately(const std::string& file);
  // The display names an archive of schema 1 lacks, added in place.
  Status UpgradeFrom1();
  // Marks the conversations whose logs this run found, and no others, present.
  Status MarkPresent();
  // Of the conversations whose logs are gone, removes those whose bytes a
  // log still on the disk holds (moved or renamed), or all of them (prune).
  Status RemoveGone();
  Status Prepare();
  using IdCache = std::map<std::pair<int64_t, std::string>, int64_t>;
  Status IdFor(Statement& find, Statement& insert, int64_t parent, const std::string& name,
               IdCache* cache, int64_t* id);
  // The id of a name the archive holds already, or 0; adds nothing.
  Status Known(Statement& find, int64_t parent, const std::string& name, IdCache* cache,
               int64_t* id);
  // Which logs are to be read: those on the disk that are new to the
  // archive, or whose size, times or inode changed; and the conversation the
  // archive holds of each, or 0. No log's conversation is made by another's,
  // so what is found here holds for the whole run.
  Status FindWanted(const std::vector<LogRef>& logs, std::vector<char>* wanted,
                    std::vector<int64_t>* existing);
  // Brings one log's conversation up to date from the pieces read of it. A
  // log that cannot be read is counted and reported, and is no failure of the run.
  Status Store(const LogRef& log, bool wanted, int64_t existing, ReadAhead<LogPiece>& pieces);
  Status StoreLines(const LogRef& log, int64_t contact, int64_t existing, LogPiece* piece,
                    ReadAhead<LogPiece>& pieces, int64_t* stored_as, int64_t* added,
                    std::string* hash, Status* read);
  Status Unreadable(const LogRef& log, const Status& why);
  Status InsertRows(int64_t conversation, const std::vector<PendingRow>& rows);
  Status Commit(bool begin_again);
  // Whether the full-text index's segments wait to be merged until the end
  // of the run: on a first run, and on the run after a first one stopped.
  Status HoldMerges(int64_t messages_before);
  // The run's last steps, which only make finding faster: the indexes a
  // first run builds at its end, and the held merges. Every stored log is
  // committed first; a stop ends them within a step and leaves the rest to
  // the next run.
  Status Finish(bool* stopped);
  // Merges the held segments into one, a step at a time, committing as it goes.
  Status MergeHeld(bool* stopped);
  // How many segments on one level the index merges as it goes (0: none),
  // and how many it merges even so.
  Status SetMerging(int automerge, int crisismerge);

  Env& env_;
  RunObserver* observer_;
  const StopFlag stop_;
  const GoneLogs gone_;
  const bool read_ahead_;
  ArchiveSummary summary_;
  Database db_;
  Statement find_protocol_, add_protocol_, find_account_, add_account_, find_contact_, add_contact_,
      find_conversation_, add_conversation_, update_conversation_, delete_messages_, add_message_,
      add_messages_, index_new_, set_hash_;
  IdCache protocols_, accounts_, contacts_;
  std::vector<int64_t> seen_;
  static constexpr size_t kRowsPerInsert = 64;
  // Every message up to this id is in the full-text index. Ids are never
  // used again, so the messages of a batch are those above it.
  int64_t indexed_ = 0;
  int64_t pending_messages_ = 0;
  int pending_logs_ = 0;
  bool merges_held_ = false;
  // A stop came in the middle of a log, whose rows were then undone.
  bool stopped_in_log_ = false;
};

Status Archiver::OpenDatabase(const std::string& path) {
  // No stop for this connection's statements: a stop ends the run between
  // logs, or inside one (undone), and the batch before it is still committed.
  Status s = db_.Open(path, false);
  if (!s.ok()) return s;
  db_.SetBusyTimeout(5000);
  // Everything is checked before anything is changed: a file that is refused
  // keeps every byte.
  int64_t v = 0, tables = 0, ours = 0;
  s = db_.QueryInt("PRAGMA user_version", &v);
  if (s.ok()) s = db_.QueryInt("SELECT count(*) FROM sqlite_schema", &tables);
  if (s.ok())
    s = db_.QueryInt(
        "SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name IN "
        "('protocol', 'account', 'contact', 'conversation', 'message', 'message_fts')",
        &ours);
  if (!s.ok()) return s;
  if (v > kSchemaVersion)
    return Status::InvalidData("made by a newer chatterwick (schema " + std::to_string(v) + ")");
  if ((v == 0 && tables != 0) || (v != 0 && ours != 6))
    return Status::InvalidData("a database, but not a chatterwick archive");
  // The full-text index is kept up to date by triggers, which the
  // connection runs only for a schema it trusts: one whose every trigger and
  // view is this program's own.
  if (v != 0) {
    std::string theirs, mine;
    s = SchemaCode(db_, v >= 2, &theirs);
    Database fresh;
    if (s.ok()) s = fresh.Open(":memory:", false);
    if (s.ok()) s = fresh.Exec(kSchema);
    if (s.ok()) s = SchemaCode(fresh, v >= 2, &mine);
    if (!s.ok()) return s;
    if (theirs != mine)
      return Status::InvalidData("an archive with triggers or views this program did not make");
  }
  db_.TrustSchema();
  // Before the first table the page size is still free: large pages suit
  // long rows of text and a file of gigabytes, and take fewer calls to write.
  if (v == 0) s = db_.Exec("PRAGMA page_size = 32768");
  // WAL: readers (a search) go on while a run writes, and a commit costs no
  // sync. The page cache holds a batch, within the memory a run may take.
  if (s.ok())
    s = db_.Exec(
        "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; PRAGMA foreign_keys = ON; "
        "PRAGMA cache_size = -32768;");
  // The log is copied into the file once it holds 160 MiB, whatever the
  // page size of an archive made earlier.
  int64_t page_size = 0;
  if (s.ok()) s = db_.QueryInt("PRAGMA page_size", &page_size);
  if (s.ok())
    s = db_.Exec(("PRAGMA wal_autocheckpoint = " +
                  std::to_string((160 << 20) / std::max<int64_t>(page_size, 512)))
                     .c_str());
  if (!s.ok()) return s;
  if (v == kSchemaVersion) return s;
  s = db_.Exec("BEGIN IMMEDIATE");
  if (s.ok() && v == 0) s = db_.Exec(kSchema);
  if (s.ok() && v == 1) s = UpgradeFrom1();
  if (s.ok() && v >= 1 && v <= 2) s = db_.Exec(kUpgradeFrom2);
  if (s.ok()) s = db_.Exec(("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str());
  if (s.ok()) s = db_.Exec("COMMIT");
  else db_.Exec("ROLLBACK").IgnoreError();
  return s;
}

Status Archiver::CreatePrivately(const std::string& file) {
  FileKind kind = FileKind::kOther;
  Status s = env_.GetFileKind(file, &kind);
  if (!s.IsNotFound()) return Status::OK();
  // Made empty (SQLite reads an empty file as an empty database) for its
  // owner alone: SQLite would follow the umask, and gives its journal files
  // the database's own bits.
  ReplacementSet made(env_, FileAccess::kOwnerOnly);
  size_t index = 0;
  s = made.Add(file, TempPrefixFor(file, env_.Separator()), &index);
  std::string failed;
  return s.ok() ? made.Commit(path::FolderOf(file, env_.Separator()), &failed) : s;
}

Status Archiver::MarkPresent() {
  Status s = db_.Exec(
      "BEGIN IMMEDIATE; CREATE TEMP TABLE IF NOT EXISTS seen(id INTEGER PRIMARY KEY); "
      "DELETE FROM seen;");
  Statement add;
  if (s.ok()) s = add.Prepare(db_, "INSERT INTO seen(id) VALUES (?1)");
  for (size_t i = 0; s.ok() && i < seen_.size(); ++i) {
    add.Bind(1, seen_[i]);
    s = add.Run();
  }
  if (s.ok())
    s = db_.Exec(
        "UPDATE conversation SET present = (id IN (SELECT id FROM seen)) "
        "WHERE present <> (id IN (SELECT id FROM seen)); COMMIT");
  if (!s.ok()) db_.Exec("ROLLBACK").IgnoreError();
  return s;
}

Status Archiver::RemoveGone() {
  int64_t moved = 0, pruned = 0;
  Status s = db_.Exec("BEGIN IMMEDIATE");
  if (s.ok())
    s = db_.Exec(
        "DELETE FROM conversation WHERE present = 0 AND content_hash IS NOT NULL AND EXISTS "
        "(SELECT 1 FROM conversation n WHERE n.present = 1 AND n.file_size = "
        "conversation.file_size AND n.content_hash = conversation.content_hash)");
  if (s.ok()) moved = sqlite3_changes64(db_.get());
  if (s.ok() && gone_ == GoneLogs::kPrune) {
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

Status Archiver::UpgradeFrom1() {
  Status s = db_.Exec(kUpgradeFrom1);
  if (s.ok()) s = db_.Exec(ChatViewSql().c_str());
  for (const char* table : {"protocol", "account", "contact"}) {
    if (!s.ok()) break;
    Statement names, update;
    s = names.Prepare(db_, (std::string("SELECT id, name FROM ") + table).c_str());
    if (s.ok())
      s = update.Prepare(
          db_, (std::string("UPDATE ") + table + " SET display_name = ?2 WHERE id = ?1").c_str());
    bool row = false;
    while (s.ok() && (s = names.Step(&row)).ok() && row) {
      const std::string display = DisplayName(names.Text(1));
      update.Bind(1, names.Int(0));
      update.Bind(2, display);
      s = update.Run();
    }
  }
  return s;
}

Status Archiver::Prepare() {
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

Status Archiver::IdFor(Statement& find, Statement& insert, int64_t parent, const std::string& name,
                       IdCache* cache, int64_t* id) {
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

Status Archiver::Commit(bool begin_again) {
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

Status Archiver::HoldMerges(int64_t messages_before) {
  // A first run's index comes in hundreds of small segments, one a batch or
  // a megabyte of words. Merged as they come, four at a time, every word is
  // written again at each level, and a tree of ten million messages spent
  // longer merging than storing; merged once at the end, it is written twice.
  int64_t automerge = -1;
  Status s = db_.QueryInt(
      "SELECT coalesce((SELECT v FROM message_fts_config WHERE k = 'automerge'), -1)", &automerge);
  if (!s.ok()) return s;
  merges_held_ = messages_before == 0 || automerge == 0;
  if (!merges_held_ || automerge == 0) return s;
  // Even so, 1000 segments on one level are merged, so that no tree outgrows
  // the index's limit of 2000.
  return SetMerging(0, 1000);
}

Status Archiver::SetMerging(int automerge, int crisismerge) {
  return db_.Exec(("INSERT INTO message_fts(message_fts, rank) VALUES ('automerge', " +
                   std::to_string(automerge) +
                   "); INSERT INTO message_fts(message_fts, rank) VALUES ('crisismerge', " +
                   std::to_string(crisismerge) + ");")
                      .c_str());
}

Status Archiver::Finish(bool* stopped) {
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
  if (s.ok() && merges_held_) s = MergeHeld(stopped);
  return s;
}

Status Archiver::MergeHeld(bool* stopped) {
  // A negative count first puts every segment on one level, so that they are
  // merged all together; each step then writes about that many pages more.
  constexpr const char* kStart =
      "INSERT INTO message_fts(message_fts, rank) VALUES ('merge', -2000)";
  constexpr const char* kGoOn = "INSERT INTO message_fts(message_fts, rank) VALUES ('merge', 2000)";
  Status s;
  for (int step = 0; s.ok(); ++step) {
    if (stop_.Requested()) {
      *stopped = true;
      return s;
    }
    // A step that found nothing to merge changes fewer than two rows.
    const int64_t before = db_.TotalChanges();
    s = db_.Exec(step == 0 ? kStart : kGoOn);
    if (!s.ok() || (step > 0 && db_.TotalChanges() - before < 2)) break;
    if (step % 16 == 15) s = Commit(true);
  }
  // Later runs add few messages at a time, which the index merges as they
  // come, as it does unless told otherwise.
  if (s.ok()) s = SetMerging(4, 16);
  return s;
}

Status Archiver::Known(Statement& find, int64_t parent, const std::string& name, IdCache* cache,
                       int64_t* id) {
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

Status Archiver::FindWanted(const std::vector<LogRef>& logs, std::vector<char>* wanted,
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

Status Archiver::Store(const LogRef& log, bool wanted, int64_t existing,
                       ReadAhead<LogPiece>& pieces) {
  // Every log's names have their rows, read or not.
  int64_t protocol = 0, account = 0, contact = 0;
  Status s = IdFor(find_protocol_, add_protocol_, 0, log.protocol(), &protocols_, &protocol);
  if (s.ok()) s = IdFor(find_account_, add_account_, protocol, log.account(), &accounts_, &account);
  if (s.ok()) s = IdFor(find_contact_, add_contact_, account, log.contact(), &contacts_, &contact);
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
  if (s.ok() && !read.ok()) {
    // A log cut short by a read error keeps what the archive held of it.
    db_.Exec("ROLLBACK TO log").IgnoreError();
    db_.Exec("RELEASE log").IgnoreError();
    return Unreadable(log, read);
  }
  if (!s.ok() || stopped_in_log_) {
    db_.Exec("ROLLBACK TO log").IgnoreError();
    db_.Exec("RELEASE log").IgnoreError();
    return s;
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

Status Archiver::Unreadable(const LogRef& log, const Status& why) {
  ++summary_.unreadable_logs;
  if (observer_) observer_->OnProblem({Problem::Kind::kLogUnreadable, log.path(), why});
  return Status::OK();
}

Status Archiver::StoreLines(const LogRef& log, int64_t contact, int64_t existing, LogPiece* piece,
                            ReadAhead<LogPiece>& pieces, int64_t* stored_as, int64_t* added,
                            std::string* hash, Status* read) {
  const std::optional<LogStart> start = ParseLogStart(log.file_name);
  Statement& write = existing ? update_conversation_ : add_conversation_;
  write.Bind(1, existing ? existing : contact);
  write.Bind(2, log.file_name);
  const std::string started_at =
      start ? FormatLocal(start->date, start->seconds, start->offset_minutes) : "";
  write.Bind(3, piece->title);
  if (start) write.Bind(4, started_at);
  else write.BindNull(4);
  write.Bind(5, static_cast<int64_t>(log.stamp.size));
  write.Bind(6, log.stamp.modified);
  write.Bind(7, log.stamp.changed);
  write.Bind(8, static_cast<int64_t>(log.stamp.inode));
  Status s = write.Run();
  if (!s.ok()) return s;
  const int64_t conversation = existing ? existing : db_.LastInsertId();
  if (existing) {
    delete_messages_.Bind(1, conversation);
    s = delete_messages_.Run();
    if (!s.ok()) return s;
  }
  *stored_as = conversation;

  for (;;) {
    summary_.unreadable_stamps += piece->unreadable_stamps;
    if (piece->stopped) {
      stopped_in_log_ = true;
      return Status::OK();
    }
    s = InsertRows(conversation, piece->rows);
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

Status Archiver::InsertRows(int64_t conversation, const std::vector<PendingRow>& rows) {
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

ArchiveResult Archiver::Run(const std::string& typed_root, const std::string& db_path,
                            const std::string& mask) {
  ArchiveResult result;
  // A folder typed without its final separator is the same folder.
  const std::string root = path::WithFinalSeparator(typed_root, env_.Separator());
  Status s = CheckLogRoot(env_, root);
  if (!s.ok()) {
    result.outcome = ArchiveOutcome::kRootUnreadable;
    result.why = Status::IOError(UnreadableFolderMessage(root, s));
    return result;
  }

  // Listed before the database is touched: a root without logs creates none.
  LogLister lister(env_, [&](const std::string& path, const Status& why) {
    ++summary_.unreadable_folders;
    if (observer_) observer_->OnProblem({Problem::Kind::kFolderUnreadable, path, why});
  });
  WalkLogTree(env_, root, mask, lister, stop_);
  std::vector<LogRef>& logs = lister.logs;
  if (stop_.Requested()) {
    // Stopped while listing: nothing was read, and the database is untouched.
    result.outcome = ArchiveOutcome::kStopped;
    return result;
  }
  if (logs.empty()) {
    result.outcome = ArchiveOutcome::kNoLogs;
    result.why =
        Status::NotFound(NoLogsFound(env_, root, mask) + "Nothing was changed in " + db_path + ".");
    return result;
  }

  // The lock and the database are those of the file itself, however a link
  // names it, so that two runs never take two locks on one database.
  std::string file;
  s = env_.ResolveLinks(db_path, &file);
  const std::string lock_path = file + ".lock";
  FileKind kind = FileKind::kOther;
  const bool lock_made = s.ok() && env_.GetFileKind(lock_path, &kind).IsNotFound();
  std::unique_ptr<FileLock> lock;
  if (s.ok()) s = env_.LockFile(lock_path, &lock);
  if (s.IsBusy()) {
    result.outcome = ArchiveOutcome::kBusy;
    result.why = Status::Busy("Another run is updating " + db_path +
                              "; nothing was changed. Try again when it has finished.");
    return result;
  }
  if (s.ok()) s = CreatePrivately(file);
  if (s.ok()) s = OpenDatabase(file);
  if (s.ok()) s = Prepare();
  if (!s.ok()) {
    // A refused run leaves no lock file of its own making behind.
    if (lock && lock_made) env_.DeleteFile(lock_path).IgnoreError();
    result.outcome = ArchiveOutcome::kDatabaseError;
    result.why = s;
    return result;
  }

  summary_.logs_found = static_cast<int64_t>(logs.size());
  uint64_t bytes = 0;
  for (const LogRef& log : logs) bytes += log.stamp.size;
  if (observer_) observer_->OnTotal(summary_.logs_found, bytes);

  // Logs go in batches, each log whole within its batch: an interrupted run
  // keeps every batch before it, and the next run sees the rest as new.
  s = db_.Exec("BEGIN IMMEDIATE");
  int64_t messages_before = 0;
  if (s.ok()) s = db_.QueryInt("SELECT coalesce(max(id), 0) FROM message", &indexed_);
  if (s.ok()) s = db_.QueryInt("SELECT count(*) FROM message", &messages_before);
  // An index is built faster at the end, all at once, than row by row.
  if (s.ok() && messages_before == 0)
    s = db_.Exec("DROP INDEX IF EXISTS message_sent_at; DROP INDEX IF EXISTS message_order");
  if (s.ok()) s = HoldMerges(messages_before);
  std::vector<char> wanted;
  std::vector<int64_t> existing;
  if (s.ok()) s = FindWanted(logs, &wanted, &existing);
  if (s.ok()) {
    // The next logs are read and split while SQLite stores one; the reader
    // is done with before the run's last steps.
    LogPieces reader(env_, logs, wanted, stop_);
    // One thread: a log's pieces come one after another from one reader.
    ReadAhead<LogPiece> pieces([&reader](size_t, LogPiece* p) { return reader.Next(p); },
                               read_ahead_ ? 1 : 0);
    for (size_t i = 0; s.ok() && i < logs.size(); ++i) {
      if (stop_.Requested()) {
        result.outcome = ArchiveOutcome::kStopped;
        break;
      }
      const int64_t before = summary_.messages_added;
      s = Store(logs[i], wanted[i], existing[i], pieces);
      if (stopped_in_log_) {
        result.outcome = ArchiveOutcome::kStopped;
        break;
      }
      if (observer_) observer_->OnLogDone(logs[i].stamp.size, summary_.messages_added - before);
      if (s.ok() && (pending_logs_ >= 500 || pending_messages_ >= 200000)) s = Commit(true);
    }
  }
  if (s.ok() && result.outcome == ArchiveOutcome::kDone) {
    bool stopped = false;
    s = Finish(&stopped);
    if (stopped) result.outcome = ArchiveOutcome::kStopped;
  }
  if (s.ok()) s = Commit(false);
  else db_.Exec("ROLLBACK").IgnoreError();

  if (s.ok()) s = db_.QueryInt("SELECT count(*) FROM message", &summary_.messages_total);
  int64_t conversations = 0;
  if (s.ok()) s = db_.QueryInt("SELECT count(*) FROM conversation", &conversations);
  std::sort(seen_.begin(), seen_.end());
  seen_.erase(std::unique(seen_.begin(), seen_.end()), seen_.end());
  summary_.gone_logs = conversations - static_cast<int64_t>(seen_.size());
  if (summary_.gone_logs < 0) summary_.gone_logs = 0;
  // A whole run knows which logs are still on the disk; a stopped one does not.
  if (s.ok() && result.outcome == ArchiveOutcome::kDone) s = MarkPresent();
  if (s.ok() && result.outcome == ArchiveOutcome::kDone) s = RemoveGone();
  if (!s.ok()) {
    result.outcome = ArchiveOutcome::kDatabaseError;
    result.why = s;
  }
  result.summary = summary_;
  return result;
}

}  // namespace

ArchiveResult RunArchive(Env& env, const std::string& root, const std::string& db_path,
                         const std::string& mask, RunObserver* observer, StopFlag stop,
                         GoneLogs gone, bool read_ahead) {
  return Archiver(env, observer, stop, gone, read_ahead).Run(root, db_path, mask);
}

}  // namespace chatterwick::archive
