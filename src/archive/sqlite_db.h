#pragma once

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/status.h"
#include "core/stop_flag.h"

// The few pieces of SQLite's C interface the archive uses, each closing what
// it opened. Failures come back as Status with SQLite's own words.
namespace chatterwick::archive {

// The URI that opens the file at path as one nobody writes: for a WAL
// database in a folder the reader may not write.
std::string ImmutableUri(const std::string& path);

class Database {
 public:
  Database() = default;
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // read_only opens an existing file only (NotFound when there is none);
  // otherwise it is created when missing. Every statement of the connection
  // fails soon after stop is requested.
  Status Open(const std::string& path, bool read_only, StopFlag stop = {});
  Status Exec(const char* sql);
  // The first column of the first row "sql" gives.
  Status QueryInt(const char* sql, int64_t* value);
  // The rowid of the row the last INSERT on this connection added.
  int64_t LastInsertId() const { return sqlite3_last_insert_rowid(db_); }
  // Rows changed by every statement of the connection so far.
  int64_t TotalChanges() const { return sqlite3_total_changes64(db_); }
  sqlite3* get() const { return db_; }
  // The main database's file, in full, its links followed.
  std::string FileName() const {
    const char* name = sqlite3_db_filename(db_, "main");
    return name ? name : "";
  }
  // Lets the file's own triggers and views run what they call: only for a
  // schema whose code the caller has checked to be its own.
  void TrustSchema() { sqlite3_db_config(db_, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 1, nullptr); }
  Status Error(const char* what) const;

  // Statements fail soon after stop is requested from now on ({}: never).
  void SetStop(StopFlag stop) { stop_ = stop; }
  // Statements fail once deadline has passed (none: never), and then
  // DeadlinePassed tells that this was why.
  void SetDeadline(std::optional<std::chrono::steady_clock::time_point> deadline);
  bool DeadlinePassed() const { return deadline_passed_; }

 private:
  static int Progress(void* self);
  Status OpenOnce(const std::string& name, int flags, StopFlag stop);
  void Close();

  sqlite3* db_ = nullptr;
  StopFlag stop_;
  std::optional<std::chrono::steady_clock::time_point> deadline_;
  bool deadline_passed_ = false;
};

// A prepared statement; parameters are numbered from 1, columns from 0.
class Statement {
 public:
  Statement() = default;
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Status Prepare(const Database& db, const char* sql);
  // text is not copied: it must stay as it is until the statement is reset.
  void Bind(int i, std::string_view text);
  void Bind(int i, std::string&& text) = delete;  // would be gone before the step
  void Bind(int i, int64_t value);
  void BindNull(int i);
  // *row tells whether a row is there to read; false at the end.
  Status Step(bool* row);
  // Runs a statement that returns no rows, then makes it ready again.
  Status Run();
  void Reset();

  int Columns() const { return sqlite3_column_count(stmt_); }
  int Parameters() const { return sqlite3_bind_parameter_count(stmt_); }
  std::string_view Text(int column) const;
  int64_t Int(int column) const;
  bool IsNull(int column) const;

 private:
  void Bound(int rc);

  const Database* db_ = nullptr;
  sqlite3_stmt* stmt_ = nullptr;
  // The first bind of this step that failed, which the step then reports.
  int bind_failure_ = SQLITE_OK;
};

}  // namespace chatterwick::archive
