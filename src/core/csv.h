#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "core/env.h"
#include "core/status.h"

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

// Puts EF BB BF at the start of an absent or empty file; a file that already
// holds content is left untouched and the call fails.
Status WriteUtf8Bom(Env& env, const std::string& path);

// Appends rows to the file at path (created when missing) and closes it.
// emit_rows is called with a function that takes one row's fields. Returns
// the first failure; the rows before it may have reached the file.
template <typename EmitRows>
Status AppendCsvRows(Env& env, const std::string& path, CsvText style, EmitRows emit_rows) {
  std::unique_ptr<WritableFile> out;
  Status s = env.NewAppendableFile(path, &out);
  if (!s.ok()) return s;
  std::string row;
  emit_rows([&](std::initializer_list<CsvField> fields) {
    if (!s.ok()) return;
    row.clear();
    AppendCsvRow(&row, fields, style);
    row.append("\r\n");
    s = out->Append(row);
  });
  Status closed = out->Close();
  return s.ok() ? closed : s;
}

}  // namespace chatterwick
