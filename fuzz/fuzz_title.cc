// Any header line: the title is the decoded text between the markers, or the
// fallback text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/html_text.h"
#include "core/log_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  const std::string title = chatterwick::ExtractTitle(line);
  if (title != "Log File: Title Unknown" && title.size() > line.size()) std::abort();
  const size_t open = line.find("<title>"), close = line.find("</title>");
  if (open != std::string::npos && close != std::string::npos && close >= open + 7) {
    std::string piece = line.substr(open + 7, close - open - 7);
    chatterwick::DecodeReferences(&piece);
    if (title != piece) std::abort();
  }
  return 0;
}
