#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <optional>
#include <string>
#include <variant>

#include "archive/query.h"
#include "core/status.h"
#include "core/stop_flag.h"

// Finding messages in an archive: full-text words and phrases, and filters by
// name and by date.
namespace chatterwick::archive {

struct SearchOptions {
  // What to find (see TranslateQuery); empty: the filters alone choose.
  TranslatedQuery query;
  // Each matches a part of the name as people know it, letter case and
  // accents ignored in every script.
  std::string protocol, account, contact, sender;
  // The whole name of a person: the messages of every contact of theirs.
  std::string person;
  // YYYY-MM-DD, the local date the message was sent; both days included.
  std::string from, to;
  int64_t limit = 0;  // 0: every hit
  // Leaves out the conversations whose logs are gone from the disk.
  bool present_only = false;
  // The hits in the reverse of time order (messages without a full stamp,
  // which come last in time order, come first).
  bool newest_first = false;
  // Around each matched word of the body; empty: none.
  std::string mark_start, mark_end;
};

struct SearchHit {
  int64_t message_id = 0, conversation_id = 0;
  std::string sent_at;  // empty when the stamp gave no full time
  // The names as people know them (see DisplayName).
  // body is on one line, as every list of hits shows it: its line breaks are blanks.
  std::string time_text, protocol, account, contact, sender, body, kind;
  std::string person;  // empty for a chat room, or an archive from before people
};

// Checks a date as --from and --to take it: a real calendar date from
// 1000-01-01 to 9999-12-31.
bool IsDate(const std::string& text);

class Statement;

// An SQL text with its parameters, numbered as they are added.
class SqlWithParams {
 public:
  std::string sql;
  // Adds a parameter; returns its place in the SQL ("?3").
  std::string Param(std::variant<std::string, int64_t> value);
  void BindAll(Statement& st) const;

 private:
  // A list: the texts stay where they are while the statement reads them.
  std::list<std::variant<std::string, int64_t>> params_;
};

// How the statement finds its hits in time order: all of them through the
// full-text index and then sorted (best when they are few), or the messages
// in time order through their index, each looked up in the full-text index
// (best when they are many: a page ends the search early). kCount selects
// only the hits' ids, in no order.
enum class SearchPlan { kCount, kSorted, kInTimeOrder };

// The FTS5 expression every hit of t matches.
std::string MatchExpression(const TranslatedQuery& t);

// The statement that selects options' hits from an archive of schema
// "version", their columns as a SearchHit holds them.
SqlWithParams SearchSql(const SearchOptions& options, int64_t version,
                        SearchPlan plan = SearchPlan::kSorted);

// Calls emit with each hit in time order, until it returns false.
// InvalidData for a file that is not an archive (or of a newer schema); Busy
// when another run holds it; an FTS5 syntax error (only a raw query has one)
// comes back as IOError.
Status Search(const std::string& db_path, const SearchOptions& options,
              const std::function<bool(const SearchHit&)>& emit, StopFlag stop = {});

}  // namespace chatterwick::archive
