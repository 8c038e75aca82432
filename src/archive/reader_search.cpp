#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "archive/hit_marks.h"
#include "archive/reader.h"
#include "archive/schema.h"
#include "archive/search.h"
#include "archive/search_index.h"
#include "archive/sqlite_db.h"

// The reader's searches: a page in time order, or every hit sorted, each
// hit's words marked when asked, and their count.
namespace chatterwick::archive {

namespace {

// One hit from a row of a search's statement of an archive of version.
void ReadHit(Statement& st, int64_t version, SearchHit* hit) {
  hit->sent_at = StampText(st, 0, version);
  hit->time_text = st.Text(1);
  hit->protocol = st.Text(2);
  hit->account = st.Text(3);
  hit->contact = st.Text(4);
  hit->sender = st.Text(5);
  hit->body = st.Text(6);
  hit->kind = st.Text(7);
  hit->message_id = st.Int(8);
  hit->conversation_id = st.Int(9);
  hit->person = st.Text(10);
}

// Steps through q's hits from offset; limited: q has a LIMIT. marks, when
// given, marks the hits' matched words, a run of hits at a time.
Status RunSearch(Database& db, SqlWithParams q, bool limited, int64_t offset, int64_t version,
                 const std::function<bool(const SearchHit&)>& emit, HitMarks* marks = nullptr) {
  if (offset > 0) q.sql += (limited ? " OFFSET " : " LIMIT -1 OFFSET ") + q.Param(offset);
  Statement st;
  Status s = st.Prepare(db, q.sql.c_str());
  if (!s.ok()) return s;
  q.BindAll(st);
  // The hits of a run keep their texts' buffers from one run to the next.
  std::vector<SearchHit> run(marks ? 256 : 1);
  size_t n = 0;
  bool more = true;
  auto give = [&]() {
    run.resize(std::max(n, size_t{1}));
    Status m = marks && n > 0 ? marks->Mark(&run) : Status::OK();
    for (size_t i = 0; m.ok() && more && i < n; ++i) {
      std::replace(run[i].body.begin(), run[i].body.end(), '\n', ' ');
      more = emit(run[i]);
    }
    n = 0;
    return m;
  };
  bool row = false;
  while (more && (s = st.Step(&row)).ok() && row) {
    if (n == run.size()) run.emplace_back();
    ReadHit(st, version, &run[n++]);
    if (n == (marks ? size_t{256} : size_t{1}) && !(s = give()).ok()) return s;
  }
  return s.ok() ? give() : s;
}

}  // namespace

Status ArchiveReader::SearchIndexThere(const SearchOptions& options) const {
  if (version_ < 7 || has_index_ ||
      SearchSql(options, version_).sql.find("message_fts") == std::string::npos)
    return Status::OK();
  return Status::NotFound("The archive's full-text index " + SearchIndexPath(path_) +
                          " is missing: the next archive run makes it.");
}

Status ArchiveReader::Search(const SearchOptions& options, int64_t offset,
                             const std::function<bool(const SearchHit&)>& emit) {
  // A page of a word in many messages comes at once in time order; one in
  // few would have the time-ordered walk pass over most messages, so that
  // walk gets a moment, and the sorted way follows when it was not enough.
  // Both give the same hits in the same order.
  const bool fts = !options.query.match.empty();
  Status s = SearchIndexThere(options);
  HitMarks marks;
  const bool marked = fts && version_ >= 7 && !options.mark_start.empty();
  if (s.ok() && marked)
    s = marks.Prepare(*db_, MatchExpression(options.query), options.mark_start, options.mark_end);
  if (!s.ok()) return s;
  if (fts && version_ >= 3 && options.limit > 0 && options.limit + offset <= 5000) {
    std::vector<SearchHit> page;
    db_->SetDeadline(std::chrono::steady_clock::now() + std::chrono::milliseconds(40));
    s = RunSearch(
        *db_, SearchSql(options, version_, SearchPlan::kInTimeOrder), true, offset, version_,
        [&](const SearchHit& h) {
          page.push_back(h);
          return true;
        },
        marked ? &marks : nullptr);
    const bool passed = db_->DeadlinePassed();
    db_->SetDeadline(std::nullopt);
    if (!passed) {
      if (!s.ok()) return s;
      for (const SearchHit& h : page)
        if (!emit(h)) break;
      return s;
    }
  }
  return RunSearch(*db_, SearchSql(options, version_), options.limit > 0, offset, version_, emit,
                   marked ? &marks : nullptr);
}

Status ArchiveReader::CountHits(const SearchOptions& options, int64_t* count) {
  SearchOptions all = options;
  all.limit = 0;
  all.mark_start.clear();
  const SqlWithParams q = SearchSql(all, version_, SearchPlan::kCount);
  Status s = SearchIndexThere(options);
  if (!s.ok()) return s;
  Statement st;
  s = st.Prepare(*db_, ("SELECT count(*) FROM (" + q.sql + ")").c_str());
  if (!s.ok()) return s;
  q.BindAll(st);
  bool row = false;
  s = st.Step(&row);
  *count = s.ok() && row ? st.Int(0) : 0;
  return s;
}

}  // namespace chatterwick::archive
