#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "core/env.h"
#include "core/status.h"

// The program's CSV files: every field in quotation marks, rows ending in CR LF.
namespace chatterwick {

// Every field in quotation marks, a quotation mark inside doubled; no line end.
std::string FormatCsvRow(std::initializer_list<std::string_view> fields);
void AppendCsvRow(std::string* out, std::initializer_list<std::string_view> fields);

// Puts EF BB BF at the start of an absent or empty file; a file that already
// holds content is left untouched and the call fails.
Status WriteUtf8Bom(Env& env, const std::string& path);

// Appends rows to the file at path (created when missing) and closes it.
// emit_rows is called with a function that takes one row's fields. Returns
// the first failure; the rows before it may have reached the file.
template <typename EmitRows>
Status AppendCsvRows(Env& env, const std::string& path, EmitRows emit_rows) {
  std::unique_ptr<WritableFile> out;
  Status s = env.NewAppendableFile(path, &out);
  if (!s.ok()) return s;
  std::string row;
  emit_rows([&](std::initializer_list<std::string_view> fields) {
    if (!s.ok()) return;
    row.clear();
    AppendCsvRow(&row, fields);
    row.append("\r\n");
    s = out->Append(row);
  });
  Status closed = out->Close();
  return s.ok() ? closed : s;
}

}  // namespace chatterwick
