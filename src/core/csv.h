#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "core/env.h"
#include "core/status.h"
#include "core/text.h"

// The program's CSV files: every field in quotation marks, rows ending in CR LF.
namespace chatterwick {

// One field of a row: a number, written in decimal, or a text.
class CsvField {
 public:
  CsvField(int32_t number) : number_(number), is_number_(true) {}
  CsvField(std::string_view text) : text_(text) {}
  CsvField(const std::string& text) : text_(text) {}
  CsvField(const char* text) : text_(text) {}

  bool is_number() const { return is_number_; }
  int32_t number() const { return number_; }
  std::string_view text() const { return text_; }

 private:
  std::string_view text_;
  int32_t number_ = 0;
  bool is_number_ = false;
};

// How text fields are written. kAsRead: the bytes as read, for exchanging
// data. kSpreadsheetSafe: a text that a spreadsheet would take for a formula
// (first byte "=", "+", "-", "@", tab or CR) gets an apostrophe in front, so
// that it shows as text. Numbers never change.
enum class CsvText { kAsRead, kSpreadsheetSafe };

// A file begun with the byte-order mark is meant for a spreadsheet.
inline CsvText CsvTextFor(bool write_bom) {
  return write_bom ? CsvText::kSpreadsheetSafe : CsvText::kAsRead;
}

// Every field in quotation marks, a quotation mark inside doubled; no line end.
std::string FormatCsvRow(std::initializer_list<CsvField> fields, CsvText style = CsvText::kAsRead);
void AppendCsvRow(std::string* out, std::initializer_list<CsvField> fields,
                  CsvText style = CsvText::kAsRead);
// The row and its CR LF, as every CSV file the program writes ends a row.
inline void AppendCsvLine(std::string* out, std::initializer_list<CsvField> fields,
                          CsvText style = CsvText::kAsRead) {
  AppendCsvRow(out, fields, style);
  out->append("\r\n");
}

// Calls emit_rows with a function that takes one row's fields, and hands
// each row, CR LF included, to sink.
template <typename EmitRows, typename Sink>
void FormatCsvRows(CsvText style, EmitRows emit_rows, Sink sink) {
  std::string row;
  emit_rows([&](std::initializer_list<CsvField> fields) {
    row.clear();
    AppendCsvLine(&row, fields, style);
    sink(std::string_view(row));
  });
}

// Appends the rows to out, which stays open. Returns the first failure; the
// rows after it are not written.
template <typename EmitRows>
Status WriteCsvRows(WritableFile& out, CsvText style, EmitRows emit_rows) {
  Status s;
  FormatCsvRows(style, emit_rows, [&](std::string_view row) {
    if (s.ok()) s = out.Append(row);
  });
  return s;
}

}  // namespace chatterwick
