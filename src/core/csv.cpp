#include "core/csv.h"

#include <charconv>

namespace chatterwick {

namespace {

bool CouldStartAFormula(std::string_view text) {
  if (text.empty()) return false;
  switch (text[0]) {
    case '=':
    case '+':
    case '-':
    case '@':
    case '\t':
    case '\r':
      return true;
    default:
      return false;
  }
}

}  // namespace

void AppendCsvRow(std::string* out, std::initializer_list<CsvField> fields, CsvText style) {
  bool first = true;
  for (const CsvField& field : fields) {
    out->append(first ? "\"" : "\",\"");
    first = false;
    if (field.is_number()) {
      char digits[16];
      out->append(digits, std::to_chars(digits, digits + sizeof digits, field.number()).ptr);
      continue;
    }
    std::string_view f = field.text();
    if (style == CsvText::kSpreadsheetSafe && CouldStartAFormula(f)) out->push_back('\'');
    for (size_t q; (q = f.find('"')) != std::string_view::npos; f.remove_prefix(q + 1)) {
      out->append(f.substr(0, q + 1));
      out->push_back('"');
    }
    out->append(f);
  }
  out->push_back('"');
}

std::string FormatCsvRow(std::initializer_list<CsvField> fields, CsvText style) {
  std::string row;
  AppendCsvRow(&row, fields, style);
  return row;
}

}  // namespace chatterwick
