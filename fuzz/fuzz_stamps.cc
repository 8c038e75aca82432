// Any file name and any time texts: the reader never fails, and whatever it
// gives is a well-formed ISO 8601 local time, with the log's offset when the
// name carries one.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "archive/stamps.h"

namespace {

bool WellFormed(const std::string& t, bool with_offset) {
  if (t.size() != (with_offset ? 25u : 19u)) return false;
  for (size_t i = 0; i < 19; ++i) {
    const char want = i == 4 || i == 7 ? '-' : i == 10 ? 'T' : i == 13 || i == 16 ? ':' : '0';
    if (want == '0' ? (t[i] < '0' || t[i] > '9') : t[i] != want) return false;
  }
  return t.compare(11, 2, "24") < 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  // The first line is the file name, each further line a time text.
  const size_t nl = input.find('\n');
  const std::string_view name = input.substr(0, nl);
  const auto start = chatterwick::archive::ParseLogStart(name);
  chatterwick::archive::StampClock clock(start);
  for (size_t pos = nl; pos != std::string_view::npos && pos < input.size();) {
    const size_t next = input.find('\n', pos + 1);
    const std::string_view text = input.substr(
        pos + 1, next == std::string_view::npos ? std::string_view::npos : next - pos - 1);
    const std::string sent_at = clock.SentAt(text);
    if (!sent_at.empty() && !WellFormed(sent_at, start.has_value())) std::abort();
    pos = next;
  }
  return 0;
}
