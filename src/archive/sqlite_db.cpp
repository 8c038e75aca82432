#include "archive/sqlite_db.h"

#include <cerrno>

#include "archive/folding_tokenizer.h"

namespace chatterwick::archive {

namespace {

// path as the file part of an SQLite URI, which gives "%", "?" and "#" meanings.
std::string UriPath(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == '%') out += "%25";
    else if (c == '?') out += "%3f";
    else if (c == '#') out += "%23";
    else out += c;
  }
  return out;
}

}  // namespace

std::string ImmutableUri(const std::string& path) {
  return "file:" + UriPath(path) + "?immutable=1";
}

Database::~Database() { Close(); }

int Database::Progress(void* self) {
  auto* db = static_cast<Database*>(self);
  if (db->stop_.Requested()) return 1;
  if (db->deadline_ && std::chrono::steady_clock::now() > *db->deadline_) {
    db->deadline_passed_ = true;
    return 1;
  }
  return 0;
}

void Database::SetDeadline(std::optional<std::chrono::steady_clock::time_point> deadline) {
  deadline_ = deadline;
  deadline_passed_ = false;
}

void Database::Close() {
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
}

Status Database::Open(const std::string& path, bool read_only, StopFlag stop) {
  Status s = OpenOnce(
      path, read_only ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, stop);
  if (!s.ok() || !read_only) return s;
  // A WAL database whose folder this user may not write (read-only media,
  // another user's archive) cannot get the shared-memory file a reader
  // needs; nobody can be writing it there, so it is read as it stands.
  int64_t version = 0;
  s = QueryInt("PRAGMA schema_version", &version);
  const int code = sqlite3_errcode(db_) & 0xff;
  if (s.ok() || (code != SQLITE_CANTOPEN && code != SQLITE_READONLY)) return Status::OK();
  Close();
  return OpenOnce(ImmutableUri(path), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, stop);
}

Status Database::OpenOnce(const std::string& name, int flags, StopFlag stop) {
  // SQLite counts its memory under a lock at every allocation unless told
  // not to, before its first use: a cost nobody reads.
  static const bool configured = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
  (void)configured;
  if (sqlite3_open_v2(name.c_str(), &db_, flags | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
    const bool missing = db_ && sqlite3_system_errno(db_) == ENOENT;
    Status s = Error("cannot open");
    return missing ? Status::NotFound(s.message()) : s;
  }
  sqlite3_extended_result_codes(db_, 1);
  // Before any statement meets the full-text index, which reads and writes
  // its words through it.
  if (Status s = RegisterFoldingTokenizer(db_); !s.ok()) return s;
  // A connection waits out another's short write locks (a reader of a WAL
  // database, the run's lock on a file a reader holds), up to 5 s, instead
  // of failing at the first one.
  sqlite3_busy_timeout(db_, 5000);
  // Another person's file is data, not code: its views, triggers and virtual
  // tables may not call functions with side effects nor reach the program's
  // own, and nothing may write the file's structures directly.
  sqlite3_db_config(db_, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(db_, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  sqlite3_db_config(db_, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
  stop_ = stop;
  // Any statement, a crafted endless one too, ends soon after a stop request.
  sqlite3_progress_handler(db_, 10000, &Database::Progress, this);
  return Status::OK();
}

Status Database::Exec(const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return Status::OK();
  std::string text = message ? message : sqlite3_errmsg(db_);
  sqlite3_free(message);
  if (sqlite3_errcode(db_) == SQLITE_BUSY || (sqlite3_errcode(db_) & 0xff) == SQLITE_BUSY)
    return Status::Busy(text);
  return Status::IOError(text);
}

Status Database::QueryInt(const char* sql, int64_t* value) {
  Statement st;
  bool row = false;
  Status s = st.Prepare(*this, sql);
  if (s.ok()) s = st.Step(&row);
  if (s.ok()) *value = st.Int(0);
  return s;
}

Status Database::Error(const char* what) const {
  std::string text = db_ ? sqlite3_errmsg(db_) : "out of memory";
  if (text.empty()) text = what;
  if (db_ && (sqlite3_errcode(db_) & 0xff) == SQLITE_BUSY) return Status::Busy(text);
  return Status::IOError(text);
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Status Statement::Prepare(const Database& db, const char* sql) {
  db_ = &db;
  bind_failure_ = SQLITE_OK;
  sqlite3_finalize(stmt_);
  stmt_ = nullptr;
  if (sqlite3_prepare_v3(db.get(), sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr) !=
      SQLITE_OK)
    return db.Error("cannot prepare");
  return Status::OK();
}

void Statement::Bind(int i, std::string_view text) {
  // The caller's text outlives the step that reads it.
  Bound(sqlite3_bind_text64(stmt_, i, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8));
}

void Statement::Bind(int i, int64_t value) { Bound(sqlite3_bind_int64(stmt_, i, value)); }

void Statement::BindNull(int i) { Bound(sqlite3_bind_null(stmt_, i)); }

void Statement::Bound(int rc) {
  if (rc != SQLITE_OK && bind_failure_ == SQLITE_OK) bind_failure_ = rc;
}

Status Statement::Step(bool* row) {
  if (bind_failure_ != SQLITE_OK) {
    // A value that could not be bound would go in as NULL: the step is refused instead.
    *row = false;
    const int rc = bind_failure_;
    Reset();
    return Status::IOError(std::string("a value could not be stored: ") + sqlite3_errstr(rc));
  }
  const int rc = sqlite3_step(stmt_);
  *row = rc == SQLITE_ROW;
  if (rc == SQLITE_ROW || rc == SQLITE_DONE) return Status::OK();
  Status s = db_->Error("cannot step");
  sqlite3_reset(stmt_);
  return s;
}

Status Statement::Run() {
  bool row = false;
  Status s = Step(&row);
  Reset();
  return s;
}

void Statement::Reset() {
  bind_failure_ = SQLITE_OK;
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

std::string_view Statement::Text(int column) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
  if (!text) return {};
  return {text, static_cast<size_t>(sqlite3_column_bytes(stmt_, column))};
}

int64_t Statement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

bool Statement::IsNull(int column) const {
  return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

}  // namespace chatterwick::archive
