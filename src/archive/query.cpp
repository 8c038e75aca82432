#include "archive/query.h"

#include <unicode/uchar.h>
#include <unicode/uscript.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <utility>

namespace chatterwick::archive {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// One typed term before it is classed.
struct Typed {
  std::string text;
  bool phrase = false;   // was in double quotes: OR, NOT and * in it are text
  bool prefix = false;   // ended with *
  bool exclude = false;  // -word or NOT word
};

// Splits typed text into terms: runs of non-blank characters, and quoted
// phrases that end at their closing quote or at the end of the text.
std::vector<Typed> Split(std::string_view s) {
  std::vector<Typed> terms;
  for (size_t i = 0; i < s.size();) {
    if (IsBlank(s[i])) {
      ++i;
      continue;
    }
    Typed t;
    if (s[i] == '-' && i + 1 < s.size() && !IsBlank(s[i + 1])) {
      t.exclude = true;
      ++i;
    }
    if (s[i] == '"') {
      const size_t close = s.find('"', i + 1);
      const size_t end = close == std::string_view::npos ? s.size() : close;
      t.text = s.substr(i + 1, end - i - 1);
      t.phrase = true;
      i = close == std::string_view::npos ? s.size() : close + 1;
      if (i < s.size() && s[i] == '*') t.prefix = true, ++i;
    } else {
      size_t end = i;
      while (end < s.size() && !IsBlank(s[end])) ++end;
      t.text = s.substr(i, end - i);
      i = end;
      if (t.text.size() > 1 && t.text.back() == '*') t.text.pop_back(), t.prefix = true;
    }
    // An empty phrase, or one of blanks only, holds nothing to find.
    if (std::any_of(t.text.begin(), t.text.end(), [](char c) { return !IsBlank(c); }))
      terms.push_back(std::move(t));
  }
  return terms;
}

// What the full-text index makes of a term's characters: whether it holds
// any word at all, and whether it holds what the index cannot find (a
// script written without spaces between words, or a symbol such as an emoji).
struct Characters {
  bool indexed = false, unseen = false;
};

Characters Examine(std::string_view text) {
  Characters found;
  const auto* s = reinterpret_cast<const uint8_t*>(text.data());
  const int32_t length = static_cast<int32_t>(text.size());
  for (int32_t i = 0; i < length;) {
    UChar32 c;
    U8_NEXT(s, i, length, c);
    if (c < 0) {
      found.unseen = true;
      continue;
    }
    const int32_t mask = U_MASK(u_charType(c));
    if (mask & (U_GC_L_MASK | U_GC_N_MASK | U_GC_CO_MASK)) {
      found.indexed = true;
      UErrorCode status = U_ZERO_ERROR;
      const UScriptCode script = uscript_getScript(c, &status);
      if (U_SUCCESS(status) && uscript_breaksBetweenLetters(script)) found.unseen = true;
    } else if (c >= 0x80 && (mask & U_GC_S_MASK)) {
      found.unseen = true;
    }
  }
  return found;
}

// The term as an FTS5 string, each double quote doubled.
std::string Quoted(std::string_view text) {
  std::string q = "\"";
  for (char c : text) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

QueryTerm Classify(const Typed& t) {
  const Characters c = Examine(t.text);
  if (!c.indexed || c.unseen) return {true, t.text};
  return {false, Quoted(t.text) + (t.prefix ? " *" : "")};
}

std::string Joined(const std::vector<QueryTerm>& group, const char* op) {
  std::string out;
  for (const QueryTerm& term : group)
    out += (out.empty() ? "" : std::string(" ") + op + " ") + term.text;
  return group.size() > 1 ? "(" + out + ")" : out;
}

}  // namespace

Status TranslateQuery(std::string_view typed, TranslatedQuery* out) {
  *out = TranslatedQuery();
  // A NUL would end an FTS5 string early: it is read as the blank it looks like.
  std::string text(typed);
  std::replace(text.begin(), text.end(), '\0', ' ');
  std::vector<Typed> terms = Split(text);
  if (terms.size() > kMaxQueryTerms)
    return Status::InvalidData("the query has " + std::to_string(terms.size()) +
                               " terms; a search takes at most " + std::to_string(kMaxQueryTerms));
  // NOT before a term leaves it out, as "-" does; a NOT with nothing after
  // it is a word.
  for (size_t i = 0; i + 1 < terms.size(); ++i)
    if (!terms[i].phrase && !terms[i].exclude && terms[i].text == "NOT" && !terms[i].prefix &&
        !terms[i + 1].exclude) {
      terms[i + 1].exclude = true;
      terms.erase(terms.begin() + static_cast<std::ptrdiff_t>(i));
    }
  std::vector<std::vector<QueryTerm>> groups;
  std::vector<QueryTerm> excluded;
  bool join_next = false;
  for (size_t i = 0; i < terms.size(); ++i) {
    const Typed& t = terms[i];
    if (t.exclude) {
      excluded.push_back(Classify(t));
      continue;
    }
    // OR between two terms that may match joins them; anywhere else it is a word.
    const bool is_or = !t.phrase && !t.prefix && t.text == "OR";
    if (is_or && !groups.empty() && !join_next && i + 1 < terms.size() && !terms[i + 1].exclude) {
      join_next = true;
      continue;
    }
    if (join_next) groups.back().push_back(Classify(t));
    else groups.push_back({Classify(t)});
    join_next = false;
  }
  std::vector<QueryTerm> fts_groups;
  for (std::vector<QueryTerm>& group : groups) {
    bool any_substring = false;
    for (const QueryTerm& term : group) any_substring |= term.substring;
    if (any_substring) out->groups.push_back(std::move(group));
    else fts_groups.push_back({false, Joined(group, "OR")});
  }
  out->match = Joined(fts_groups, "AND");
  if (fts_groups.size() > 1) out->match = out->match.substr(1, out->match.size() - 2);
  std::vector<QueryTerm> fts_excluded;
  for (QueryTerm& term : excluded) {
    if (term.substring) out->lacks.push_back(std::move(term.text));
    else fts_excluded.push_back(std::move(term));
  }
  out->exclude = Joined(fts_excluded, "OR");
  if (fts_excluded.size() > 1) out->exclude = out->exclude.substr(1, out->exclude.size() - 2);
  return Status::OK();
}

TranslatedQuery RawFtsQuery(std::string_view fts) {
  TranslatedQuery q;
  q.match = fts;
  return q;
}

}  // namespace chatterwick::archive
