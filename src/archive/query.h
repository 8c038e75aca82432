#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/status.h"

// What people type into a search box, made into what the archive can run.
// Words and any run of non-blank characters match as written (letter case
// and accents ignored); "a phrase" in double quotes; OR between two terms;
// -word or NOT word leaves out messages with it; word* matches a prefix.
// Everything else is text, never syntax: an unbalanced quote ends at the end,
// a lone OR or * is a word.
namespace chatterwick::archive {

// One term that may match: an FTS5 expression, or text to find anywhere in a
// message as written (for scripts written without spaces between words, and
// symbols such as emoji, which the full-text index does not hold).
struct QueryTerm {
  bool substring = false;
  std::string text;
  bool operator==(const QueryTerm&) const = default;
};

struct TranslatedQuery {
  // An FTS5 expression every hit matches; empty when the terms need none.
  std::string match;
  // An FTS5 expression no hit matches; empty when none.
  std::string exclude;
  // Terms no hit holds as written.
  std::vector<std::string> lacks;
  // Further groups, each of which a hit meets through one of its terms: the
  // groups with a substring term, which one FTS5 expression cannot hold.
  std::vector<std::vector<QueryTerm>> groups;

  bool empty() const { return match.empty() && exclude.empty() && lacks.empty() && groups.empty(); }
  bool operator==(const TranslatedQuery&) const = default;
};

// The most terms one search takes: enough for anything typed, few enough
// that every search answers at once.
inline constexpr size_t kMaxQueryTerms = 16;

// Translates typed text. InvalidData, with a message for the user, when it
// has more than kMaxQueryTerms terms; never an FTS5 syntax error.
Status TranslateQuery(std::string_view typed, TranslatedQuery* out);

// Passes FTS5's own syntax through unchanged, for those who want all of it.
TranslatedQuery RawFtsQuery(std::string_view fts);

}  // namespace chatterwick::archive
