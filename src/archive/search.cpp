#include "archive/search.h"

#include <chrono>
#include <cstdio>
#include <vector>

#include "archive/archive.h"
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
  bool row = false;
  {
    Statement version;
    s = version.Prepare(db, "PRAGMA user_version");
    if (s.ok()) s = version.Step(&row);
    if (!s.ok()) return Status::InvalidData(s.message());
    if (version.Int(0) != kSchemaVersion) return Status::InvalidData("not a chatterwick archive");
  }

  const bool query = !options.query.empty();
  std::string sql = "SELECT m.sent_at, m.time_text, p.name, a.name, c.name, m.sender, ";
  if (query && !options.mark_start.empty()) sql += "highlight(message_fts, 0, ?10, ?11)";
  else sql += "m.body";
  sql += ", m.kind FROM ";
  sql += query ? "message_fts JOIN message m ON m.id = message_fts.rowid" : "message m";
  sql +=
      " JOIN conversation v ON v.id = m.conversation_id JOIN contact c ON c.id = v.contact_id"
      " JOIN account a ON a.id = c.account_id JOIN protocol p ON p.id = a.protocol_id WHERE 1";
  if (query) sql += " AND message_fts MATCH ?1";
  const std::pair<const std::string*, const char*> names[] = {{&options.protocol, "p.name"},
                                                              {&options.account, "a.name"},
                                                              {&options.contact, "c.name"},
                                                              {&options.sender, "m.sender"}};
  for (size_t i = 0; i < 4; ++i)
    if (!names[i].first->empty())
      sql += std::string(" AND instr(lower(") + names[i].second + "), lower(?" +
             std::to_string(i + 2) + ")) > 0";
  if (!options.from.empty()) sql += " AND m.sent_at >= ?6";
  if (!options.to.empty()) sql += " AND m.sent_at < ?7";
  // Time order across time zones: julianday reads the offset.
  sql += " ORDER BY m.sent_at IS NULL, julianday(m.sent_at), m.id";
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
