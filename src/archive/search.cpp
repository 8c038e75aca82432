#include "archive/search.h"

#include <chrono>
#include <cstdio>
#include <list>
#include <string_view>
#include <variant>
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

// An SQL text with its parameters, numbered as they are added.
class Query {
 public:
  std::string sql;
  // Adds a parameter; returns its place in the SQL ("?3").
  std::string Param(std::variant<std::string, int64_t> value) {
    params_.push_back(std::move(value));
    return "?" + std::to_string(params_.size());
  }
  void BindAll(Statement& st) const {
    int i = 0;
    for (const auto& p : params_) {
      ++i;
      if (const auto* text = std::get_if<std::string>(&p)) st.Bind(i, std::string_view(*text));
      else st.Bind(i, std::get<int64_t>(p));
    }
  }

 private:
  // A list: the texts stay where they are while the statement reads them.
  std::list<std::variant<std::string, int64_t>> params_;
};

constexpr const char* kSearchable = "(chat.sender || char(10) || chat.body)";

std::string InFts(Query& q, const std::string& expression) {
  return "chat.id IN (SELECT rowid FROM message_fts WHERE message_fts MATCH " +
         q.Param(expression) + ")";
}

// The WHERE conditions that the typed query adds.
void AddQuery(Query& q, const TranslatedQuery& t) {
  if (!t.match.empty()) {
    const std::string expression =
        t.exclude.empty() ? t.match : t.match + " NOT (" + t.exclude + ")";
    q.sql += " AND message_fts MATCH " + q.Param(expression);
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

// How the statement finds its hits in time order: all of them through the
// full-text index and then sorted (best when they are few), or the messages
// in time order through their index, each looked up in the full-text index
// (best when they are many: a page ends the search early).
enum class Plan { kUnordered, kSorted, kInTimeOrder };

// The statement for options over an archive of schema "version".
Query BuildQuery(const SearchOptions& options, int64_t version, Plan plan = Plan::kSorted) {
  const bool ordered = plan != Plan::kUnordered;
  const TranslatedQuery& t = options.query;
  const bool fts = !t.match.empty();
  // Before display names, the names on the disk are all there is.
  const char* display = version >= 2 ? "_display" : "";
  auto name = [&](const char* column) { return std::string("chat.") + column + display; };
  Query q;
  const std::string body = fts && !options.mark_start.empty()
                               ? "highlight(message_fts, 0, " + q.Param(options.mark_start) + ", " +
                                     q.Param(options.mark_end) + ")"
                               : "chat.body";
  q.sql =
      "SELECT chat.sent_at, chat.time_text, " + name("protocol") + ", " + name("account") + ", " +
      name("contact") + ", chat.sender, " + body + ", chat.kind, chat.id, " +
      (version >= 2 ? "chat.conversation_id" : "0") + " FROM " +
      (plan == Plan::kInTimeOrder
           // CROSS JOIN keeps this order of the loops.
           ? "message o CROSS JOIN message_fts CROSS JOIN chat WHERE message_fts.rowid = o.id "
             "AND chat.id = o.id"
           : std::string(fts ? "message_fts JOIN chat ON chat.id = message_fts.rowid" : "chat") +
                 " WHERE 1");
  AddQuery(q, t);
  const std::pair<const std::string*, std::string> names[] = {{&options.protocol, name("protocol")},
                                                              {&options.account, name("account")},
                                                              {&options.contact, name("contact")},
                                                              {&options.sender, "chat.sender"}};
  for (const auto& [typed, column] : names) {
    if (typed->empty()) continue;
    const std::string folded = q.Param(FoldForSearch(*typed));
    q.sql += " AND (instr(chatterwick_fold(" + column + "), " + folded + ") > 0";
    // A name may also be typed as the disk has it, escapes and all.
    if (column != "chat.sender" && *display)
      q.sql += std::string(" OR instr(chatterwick_fold(") + column.substr(0, column.size() - 8) +
               "), " + folded + ") > 0";
    q.sql += ")";
  }
  if (options.present_only && version >= 2)
    q.sql += " AND chat.conversation_id IN (SELECT id FROM conversation WHERE present = 1)";
  if (!options.from.empty()) q.sql += " AND chat.sent_at >= " + q.Param(options.from);
  // Every stamp of the day "to" sorts before the day followed by "U": the
  // stamp has a "T" there.
  if (!options.to.empty()) q.sql += " AND chat.sent_at < " + q.Param(options.to + "U");
  // Time order across time zones: julianday reads the offset.
  if (plan == Plan::kInTimeOrder) q.sql += " ORDER BY o.sent_order, o.id";
  else if (ordered) q.sql += " ORDER BY chat.sent_at IS NULL, julianday(chat.sent_at), chat.id";
  if (options.limit > 0) q.sql += " LIMIT " + q.Param(options.limit);
  return q;
}

// Steps through q's hits from offset; limited: q has a LIMIT.
Status Run(Database& db, Query q, bool limited, int64_t offset,
           const std::function<bool(const SearchHit&)>& emit) {
  if (offset > 0) q.sql += (limited ? " OFFSET " : " LIMIT -1 OFFSET ") + q.Param(offset);
  Statement st;
  Status s = st.Prepare(db, q.sql.c_str());
  if (!s.ok()) return s;
  q.BindAll(st);
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
    hit.message_id = st.Int(8);
    hit.conversation_id = st.Int(9);
    if (!emit(hit)) break;
  }
  return s;
}

}  // namespace

bool IsDate(const std::string& text) { return ReadDate(text).has_value(); }

Status ArchiveReader::Search(const SearchOptions& options, int64_t offset,
                             const std::function<bool(const SearchHit&)>& emit) {
  // A page of a word in many messages comes at once in time order; one in
  // few would have the time-ordered walk pass over most messages, so that
  // walk gets a moment, and the sorted way follows when it was not enough.
  // Both give the same hits in the same order.
  const bool fts = !options.query.match.empty();
  if (fts && version_ >= 3 && options.limit > 0 && options.limit + offset <= 5000) {
    std::vector<SearchHit> page;
    db_->SetDeadline(std::chrono::steady_clock::now() + std::chrono::milliseconds(40));
    Status s = Run(*db_, BuildQuery(options, version_, Plan::kInTimeOrder), true, offset,
                   [&](const SearchHit& h) {
                     page.push_back(h);
                     return true;
                   });
    const bool passed = db_->DeadlinePassed();
    db_->SetDeadline(std::nullopt);
    if (!passed) {
      if (!s.ok()) return s;
      for (const SearchHit& h : page)
        if (!emit(h)) break;
      return s;
    }
  }
  return Run(*db_, BuildQuery(options, version_), options.limit > 0, offset, emit);
}

Status ArchiveReader::CountHits(const SearchOptions& options, int64_t* count) {
  SearchOptions all = options;
  all.limit = 0;
  all.mark_start.clear();
  const Query q = BuildQuery(all, version_, Plan::kUnordered);
  Statement st;
  Status s = st.Prepare(*db_, ("SELECT count(*) FROM (" + q.sql + ")").c_str());
  if (!s.ok()) return s;
  q.BindAll(st);
  bool row = false;
  s = st.Step(&row);
  *count = s.ok() && row ? st.Int(0) : 0;
  return s;
}

Status Search(const std::string& db_path, const SearchOptions& options,
              const std::function<bool(const SearchHit&)>& emit, StopFlag stop) {
  std::unique_ptr<ArchiveReader> reader;
  Status s = ArchiveReader::Open(db_path, &reader, stop);
  if (!s.ok()) return s.IsNotFound() ? Status::InvalidData(s.message()) : s;
  return reader->Search(options, 0, emit);
}

}  // namespace chatterwick::archive
