#include "platform/listing.h"

#include <algorithm>

#include "core/path.h"

namespace chatterwick::listing {

namespace {
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
}  // namespace

void SortNames(std::vector<std::string>* names) {
  std::sort(names->begin(), names->end(), [](const std::string& a, const std::string& b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
      unsigned char x = static_cast<unsigned char>(Upper(a[i]));
      unsigned char y = static_cast<unsigned char>(Upper(b[i]));
      if (x != y) return x < y;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
  });
}

void SplitPattern(std::string_view pattern, std::string* folder, std::string* name_pattern) {
  const size_t name = path::NameStart(pattern, '/');
  folder->assign(pattern.substr(0, name));
  name_pattern->assign(pattern.substr(name));
}

std::string ToPosixPath(std::string_view path) {
  std::string out;
  out.reserve(path.size());
  for (char c : path) {
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out.push_back(c);
  }
  return out;
}

}  // namespace chatterwick::listing
