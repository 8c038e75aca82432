#include "archive/search.h"

#include <chrono>
#include <cstdio>
#include <vector>

#include "archive/schema.h"
#include "archive/sqlite_db.h"
#include "archive/stamps.h"

namespace chatterwick::archive {

namespace {

std::optional<std::chrono::year_month_day> ReadDate(const std::string& text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  const auto start = ParseLogStart(text + ".000000+0000");
  if (!start) return std::nullopt;
  return start->date;
}

std::string DayAfter(const std::string& date) {
  const auto next =
      std::chrono::year_month_day{std::chrono::sys_days{*ReadDate(date)} + std::chrono::days{1}};
  return FormatLocal(next, 0, std::nullopt).substr(0, 10);
}

}  // namespace

bool IsDate(const std::string& text) { return ReadDate(text).has_value(); }

Status Search(const std::string& db_path, const SearchOptions& options,
              const std::function<void(const SearchHit&)>& emit) {
  Database db;
  Status s = db.Open(db_path, true);
  if (!s.ok()) return Status::InvalidData(s.message());
  int64_t version = 0;
  s = db.QueryInt("PRAGMA user_version", &version);
  if (!s.ok()) return Status::InvalidData(s.message());
  if (version != kSchemaVersion) return Status::InvalidData("not a chatterwick archive");

  const bool query = !options.query.empty();
  std::string sql =
      "SELECT chat.sent_at, chat.time_text, chat.protocol, chat.account, chat.contact, "
      "chat.sender, ";
  if (query && !options.mark_start.empty()) sql += "highlight(message_fts, 0, ?10, ?11)";
  else sql += "chat.body";
  sql += ", chat.kind FROM ";
  sql += query ? "message_fts JOIN chat ON chat.id = message_fts.rowid" : "chat";
  sql += " WHERE 1";
  if (query) sql += " AND message_fts MATCH ?1";
  const std::pair<const std::string*, const char*> names[] = {{&options.protocol, "chat.protocol"},
                                                              {&options.account, "chat.account"},
                                                              {&options.contact, "chat.contact"},
                                                              {&options.sender, "chat.sender"}};
  for (size_t i = 0; i < 4; ++i)
    if (!names[i].first->empty())
      sql += std::string(" AND instr(lower(") + names[i].second + "), lower(?" +
             std::to_string(i + 2) + ")) > 0";
  if (!options.from.empty()) sql += " AND chat.sent_at >= ?6";
  if (!options.to.empty()) sql += " AND chat.sent_at < ?7";
  // Time order across time zones: julianday reads the offset.
  sql += " ORDER BY chat.sent_at IS NULL, julianday(chat.sent_at), chat.id";
  if (options.limit > 0) sql += " LIMIT ?8";

  Statement st;
  s = st.Prepare(db, sql.c_str());
  if (!s.ok()) return s;
  if (query) st.Bind(1, options.query);
  for (size_t i = 0; i < 4; ++i)
    if (!names[i].first->empty()) st.Bind(static_cast<int>(i + 2), *names[i].first);
  if (!options.from.empty()) st.Bind(6, options.from);
  const std::string day_after = options.to.empty() ? "" : DayAfter(options.to);
  if (!options.to.empty()) st.Bind(7, day_after);
  if (options.limit > 0) st.Bind(8, options.limit);
  if (query && !options.mark_start.empty()) {
    st.Bind(10, options.mark_start);
    st.Bind(11, options.mark_end);
  }
  SearchHit hit;
  bool row = false;
  while ((s = st.Step(&row)).ok() && row) {
    hit.sent_at = st.Text(0);
    hit.time_text = st.Text(1);
    hit.protocol = st.Text(2);
    hit.account = st.Text(3);
    hit.contact = st.Text(4);
    hit.sender = st.Text(5);
    hit.body = st.Text(6);
    hit.kind = st.Text(7);
    emit(hit);
  }
  return s;
}

}  // namespace chatterwick::archive
