// Any line through the parser, the tag stripper and the reference decoder.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/html_text.h"
#include "core/log_file.h"

using namespace chatterwick;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  const std::string stripped = StripTags(line);
  // Stripping only ever removes, and leaves no complete tag behind.
  if (stripped.size() > line.size()) std::abort();
  const size_t lt = stripped.find('<');
  if (lt != std::string::npos && stripped.find('>', lt) != std::string::npos) std::abort();
  // Decoding never lengthens a text, and a text without "&" stays as it is.
  std::string decoded = stripped;
  DecodeReferences(&decoded);
  if (decoded.size() > stripped.size()) std::abort();
  if (stripped.find('&') == std::string::npos && decoded != stripped) std::abort();

  LoadedLog log;
  log.RawLines.At(0) = "<title>t</title>";
  log.RawLines.At(1) = line;
  log.LineCount = 2;
  if (!ParseAllLines(log)) std::abort();
  const ParsedLine& p = log.ParsedLines[1];
  // Every field is cut from the line, so none can be longer than it.
  if (p.Time.size() > line.size() || p.Sender.size() > line.size() ||
      p.Message.size() > line.size())
    std::abort();
  if (log.FailedLineCount > 1) std::abort();
  if (log.FailedLineCount == 1 && (!p.Time.empty() || !p.Sender.empty() || p.Message != decoded))
    std::abort();
  return 0;
}
