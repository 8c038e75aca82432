#include "archive/sqlite_db.h"

namespace chatterwick::archive {

Database::~Database() {
  if (db_) sqlite3_close_v2(db_);
}

Status Database::Open(const std::string& path, bool read_only) {
  const int flags = read_only ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  if (sqlite3_open_v2(path.c_str(), &db_, flags | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK)
    return Error("cannot open");
  sqlite3_extended_result_codes(db_, 1);
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
  sqlite3_finalize(stmt_);
  stmt_ = nullptr;
  if (sqlite3_prepare_v3(db.get(), sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr) !=
      SQLITE_OK)
    return db.Error("cannot prepare");
  return Status::OK();
}

void Statement::Bind(int i, std::string_view text) {
  // The caller's text outlives the step that reads it.
  sqlite3_bind_text(stmt_, i, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
}

void Statement::Bind(int i, int64_t value) { sqlite3_bind_int64(stmt_, i, value); }

void Statement::BindNull(int i) { sqlite3_bind_null(stmt_, i); }

Status Statement::Step(bool* row) {
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
