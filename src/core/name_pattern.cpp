#include "core/name_pattern.h"

#include <string_view>

namespace chatterwick {

namespace {
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
}  // namespace

bool MatchName(std::string_view pattern, std::string_view name) {
  // Greedy match with one backtrack point: linear in practice, never exponential.
  size_t p = 0, n = 0, star = std::string_view::npos, mark = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || Upper(pattern[p]) == Upper(name[n]))) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool MatchMask(std::string_view mask, std::string_view name) {
  for (size_t start = 0;;) {
    const size_t end = mask.find(';', start);
    if (MatchName(mask.substr(start, end - start), name)) return true;
    if (end == std::string_view::npos) return false;
    start = end + 1;
  }
}

}  // namespace chatterwick
