#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace chatterwick::testing {

// Reads one CSV row by the usual rules (fields in quotation marks, a doubled
// quotation mark inside one stands for one), written independently of the
// program's writer. The row has no line end. nullopt when it is malformed.
inline std::optional<std::vector<std::string>> ReadCsvRow(std::string_view row) {
  std::vector<std::string> fields;
  size_t i = 0;
  for (;;) {
    std::string field;
    if (i < row.size() && row[i] == '"') {
      ++i;
      for (;;) {
        if (i >= row.size()) return std::nullopt;  // unclosed
        if (row[i] == '"') {
          if (i + 1 < row.size() && row[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        field += row[i++];
      }
    } else {
      while (i < row.size() && row[i] != ',') {
        if (row[i] == '"') return std::nullopt;  // a stray quotation mark
        field += row[i++];
      }
    }
    fields.push_back(std::move(field));
    if (i == row.size()) return fields;
    if (row[i] != ',') return std::nullopt;
    ++i;
  }
}

}  // namespace chatterwick::testing
