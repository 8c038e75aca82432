#include "core/csv.h"

#include <cstdint>

namespace chatterwick {

void AppendCsvRow(std::string* out, std::initializer_list<std::string_view> fields) {
  bool first = true;
  for (std::string_view f : fields) {
    out->append(first ? "\"" : "\",\"");
    first = false;
    for (size_t q; (q = f.find('"')) != std::string_view::npos; f.remove_prefix(q + 1)) {
      out->append(f.substr(0, q + 1));
      out->push_back('"');
    }
    out->append(f);
  }
  out->push_back('"');
}

std::string FormatCsvRow(std::initializer_list<std::string_view> fields) {
  std::string row;
  AppendCsvRow(&row, fields);
  return row;
}

Status WriteUtf8Bom(Env& env, const std::string& path) {
  uint64_t size = 0;
  if (env.GetFileSize(path, &size).ok() && size > 0)
    return Status::IOError("the file already holds content");
  return env.WriteAt(path, 0, "\xEF\xBB\xBF");
}

}  // namespace chatterwick
