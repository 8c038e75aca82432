#include "archive/search.h"

#include <chrono>
#include <string_view>
#include <vector>

#include "archive/names.h"
#include "archive/reader.h"
#include "archive/schema.h"
#include "archive/sqlite_db.h"
#include "archive/stamps.h"

namespace chatterwick::archive {

namespace {

std::optional<std::chrono::year_month_day> ReadDate(const std::string& text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-' || text[0] == '0') return std::nullopt;
  const auto start = ParseLogStart(text + ".000000+0000");
  if (!start) return std::nullopt;
  return start->date;
}

// A phrase found as written finds it across a line break too, as a blank.
constexpr const char* kSearchable =
    "(chat.sender || char(10) || replace(chat.body, char(10), ' '))";

std::string InFts(SqlWithParams& q, const std::string& expression) {
  return "chat.id IN (SELECT rowid FROM message_fts WHERE message_fts MATCH " +
         q.Param(expression) + ")";
}

// The WHERE conditions that the typed query adds.
void AddQuery(SqlWithParams& q, const TranslatedQuery& t) {
  if (!t.match.empty()) {
    q.sql += " AND message_fts MATCH " + q.Param(MatchExpression(t));
  } else if (!t.exclude.empty()) {
    q.sql += " AND NOT " + InFts(q, t.exclude);
  }
  for (const std::string& text : t.lacks)
    q.sql += std::string(" AND instr(") + kSearchable + ", " + q.Param(text) + ") = 0";
  for (const std::vector<QueryTerm>& group : t.groups) {
    std::string any;
    for (const QueryTerm& term : group) {
      any += any.empty() ? "" : " OR ";
      any += term.substring
                 ? std::string("instr(") + kSearchable + ", " + q.Param(term.text) + ") > 0"
                 : InFts(q, term.text);
    }
    q.sql += " AND (" + any + ")";
  }
}

// What a hit holds, in SearchHit's order, and where it is selected from.
void AddSelect(SqlWithParams& q, const SearchOptions& options, int64_t version, SearchPlan plan) {
  const bool fts = !options.query.match.empty();
  // Before display names, the names on the disk are all there is.
  const std::string display = version >= 2 ? "_display" : "";
  // Since version 7 the index keeps no texts, and the reader marks them (HitMarks).
  const std::string body = fts && !options.mark_start.empty() && version < 7
                               ? "highlight(message_fts, 0, " + q.Param(options.mark_start) + ", " +
                                     q.Param(options.mark_end) + ")"
                               : "chat.body";
  // A count needs no column: the joins that would only give one are left out.
  if (plan == SearchPlan::kCount) q.sql = "SELECT chat.id";
  else
    q.sql =
        "SELECT chat." + std::string(version >= 7 ? "sent" : "sent_at") +
        ", chat.time_text, chat.protocol" + display + ", chat.account" + display +
        ", chat.contact" + display + ", chat.sender, " + body + ", chat.kind, chat.id, " +
        (version >= 2 ? "chat.conversation_id" : "0") + ", " +
        (version >= 5 ? "coalesce((SELECT pe.name FROM conversation v JOIN contact_person cp ON "
                        "cp.contact_id = v.contact_id JOIN person pe ON pe.id = cp.person_id WHERE "
                        "v.id = chat.conversation_id), '')"
                      : "''");
  q.sql +=
      " FROM " +
      (plan == SearchPlan::kInTimeOrder
           // CROSS JOIN keeps this order of the loops.
           ? "message o CROSS JOIN message_fts CROSS JOIN chat WHERE message_fts.rowid = o.id "
             "AND chat.id = o.id"
           : std::string(fts ? "message_fts JOIN chat ON chat.id = message_fts.rowid" : "chat") +
                 " WHERE 1");
}

// The conditions of the name filters: a part of the name as people know
// it, or as the disk has it, escapes and all.
void AddNameFilters(SqlWithParams& q, const SearchOptions& options, int64_t version) {
  struct Filter {
    const std::string* typed;
    const char* column;
    bool has_display;  // a name with a display name beside it
  };
  const Filter filters[] = {{&options.protocol, "chat.protocol", true},
                            {&options.account, "chat.account", true},
                            {&options.contact, "chat.contact", true},
                            {&options.sender, "chat.sender", false}};
  for (const Filter& f : filters) {
    if (f.typed->empty()) continue;
    const std::string folded = q.Param(FoldForSearch(*f.typed));
    const bool display = f.has_display && version >= 2;
    const std::string shown = std::string(f.column) + (display ? "_display" : "");
    q.sql += " AND (instr(chatterwick_fold(" + shown + "), " + folded + ") > 0";
    if (display)
      q.sql += std::string(" OR instr(chatterwick_fold(") + f.column + "), " + folded + ") > 0";
    q.sql += ")";
  }
}

}  // namespace

std::string MatchExpression(const TranslatedQuery& t) {
  return t.exclude.empty() ? t.match : t.match + " NOT (" + t.exclude + ")";
}

std::string SqlWithParams::Param(std::variant<std::string, int64_t> value) {
  params_.push_back(std::move(value));
  return "?" + std::to_string(params_.size());
}

void SqlWithParams::BindAll(Statement& st) const {
  int i = 0;
  for (const auto& p : params_) {
    ++i;
    if (const auto* text = std::get_if<std::string>(&p)) st.Bind(i, std::string_view(*text));
    else st.Bind(i, std::get<int64_t>(p));
  }
}

SqlWithParams SearchSql(const SearchOptions& options, int64_t version, SearchPlan plan) {
  SqlWithParams q;
  AddSelect(q, options, version, plan);
  AddQuery(q, options.query);
  AddNameFilters(q, options, version);
  if (!options.person.empty())
    q.sql += version >= 5 ? " AND chat.conversation_id IN (SELECT v.id FROM conversation v JOIN "
                            "contact_person cp ON cp.contact_id = v.contact_id JOIN person pe ON "
                            "pe.id = cp.person_id WHERE pe.name = " +
                                q.Param(options.person) + ")"
                          : " AND 0";
  if (options.present_only && version >= 2)
    q.sql += " AND chat.conversation_id IN (SELECT id FROM conversation WHERE present = 1)";
  if (!options.from.empty()) q.sql += " AND chat.sent_at >= " + q.Param(options.from);
  // Every stamp of the day "to" sorts before the day followed by "U": the
  // stamp has a "T" there.
  if (!options.to.empty()) q.sql += " AND chat.sent_at < " + q.Param(options.to + "U");
  // Time order across time zones: julianday reads the offset.
  const std::string down = options.newest_first ? " DESC" : "";
  if (plan == SearchPlan::kInTimeOrder)
    q.sql += " ORDER BY " + (version >= 7 ? TimeOrderOf("o.") : std::string("o.sent_order")) +
             down + ", o.id" + down;
  // "+ 0": not message_order's own expression, which SQLite would walk,
  // looking each message up out of order, rather than read them and sort.
  else if (plan == SearchPlan::kSorted && version >= 7)
    q.sql += " ORDER BY " + TimeOrderOf("chat.") + " + 0" + down + ", chat.id" + down;
  else if (plan == SearchPlan::kSorted)
    q.sql += " ORDER BY chat.sent_at IS NULL" + down + ", julianday(chat.sent_at)" + down +
             ", chat.id" + down;
  if (options.limit > 0) q.sql += " LIMIT " + q.Param(options.limit);
  return q;
}

bool IsDate(const std::string& text) { return ReadDate(text).has_value(); }

Status Search(const std::string& db_path, const SearchOptions& options,
              const std::function<bool(const SearchHit&)>& emit, StopFlag stop) {
  std::unique_ptr<ArchiveReader> reader;
  Status s = ArchiveReader::Open(db_path, &reader, stop);
  if (!s.ok()) return s.IsNotFound() ? Status::InvalidData(s.message()) : s;
  return reader->Search(options, 0, emit);
}

}  // namespace chatterwick::archive
