// Any fields, written as a row and read back by an independent CSV reader,
// must come back exactly as they went in.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/csv.h"
#include "testing/csv_reader.h"

using chatterwick::FormatCsvRow;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Fields are separated by NUL bytes; the program writes rows of 2, 3 or 5.
  const std::string_view in(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> f;
  size_t start = 0;
  for (size_t i = 0; i <= in.size() && f.size() < 5; ++i)
    if (i == in.size() || in[i] == '\0') {
      f.push_back(in.substr(start, i - start));
      start = i + 1;
    }
  while (f.size() < 5) f.push_back({});
  const std::string rows[] = {FormatCsvRow({f[0], f[1]}), FormatCsvRow({f[0], f[1], f[2]}),
                              FormatCsvRow({f[0], f[1], f[2], f[3], f[4]})};
  const size_t counts[] = {2, 3, 5};
  for (int r = 0; r < 3; ++r) {
    auto back = chatterwick::testing::ReadCsvRow(rows[r]);
    if (!back || back->size() != counts[r]) std::abort();
    for (size_t i = 0; i < counts[r]; ++i)
      if ((*back)[i] != f[i]) std::abort();
  }
  // Written for a spreadsheet, a field comes back with an apostrophe in front
  // exactly when its first byte could start a formula.
  auto safe = chatterwick::testing::ReadCsvRow(
      FormatCsvRow({f[0], f[1], f[2], f[3], f[4]}, chatterwick::CsvText::kSpreadsheetSafe));
  if (!safe || safe->size() != 5) std::abort();
  for (size_t i = 0; i < 5; ++i) {
    const bool guarded =
        !f[i].empty() && std::string_view("=+-@\t\r").find(f[i][0]) != std::string_view::npos;
    if ((*safe)[i] != (guarded ? "'" : "") + std::string(f[i])) std::abort();
  }
  return 0;
}
