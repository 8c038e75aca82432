#include "cli/terminal.h"

#include <unicode/utf8.h>

#include <cstdio>

namespace chatterwick::cli {

bool TerminalTakesColour(Env& env, bool is_terminal) {
  return is_terminal && !env.GetVariable("NO_COLOR").has_value() &&
         env.GetVariable("TERM").value_or("") != "dumb";
}

std::string ForTerminal(std::string_view text, std::string_view highlight_start,
                        std::string_view highlight_end) {
  std::string out;
  out.reserve(text.size());
  const auto* s = reinterpret_cast<const uint8_t*>(text.data());
  const int32_t length = static_cast<int32_t>(text.size());
  char escape[16];
  for (int32_t i = 0; i < length;) {
    const std::string_view rest = text.substr(static_cast<size_t>(i));
    if (rest.starts_with(kMarkStart) || rest.starts_with(kMarkEnd)) {
      out.append(rest.starts_with(kMarkStart) ? highlight_start : highlight_end);
      i += static_cast<int32_t>(kMarkStart.size());
      continue;
    }
    const int32_t at = i;
    UChar32 c;
    U8_NEXT(s, i, length, c);
    if (c < 0) {
      // A lone byte: 0x80 to 0x9F is what an 8-bit terminal reads as C1.
      for (int32_t k = at; k < i; ++k) {
        if (s[k] >= 0x80 && s[k] <= 0x9f) {
          std::snprintf(escape, sizeof escape, "<%02X>", s[k]);
          out.append(escape);
        } else {
          out.push_back(static_cast<char>(s[k]));
        }
      }
    } else if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7f) {
      out.push_back('^');
      out.push_back(c == 0x7f ? '?' : static_cast<char>(c + 0x40));
    } else if (c >= 0x80 && c <= 0x9f) {
      std::snprintf(escape, sizeof escape, "<U+%04X>", static_cast<unsigned>(c));
      out.append(escape);
    } else {
      out.append(text.substr(static_cast<size_t>(at), static_cast<size_t>(i - at)));
    }
  }
  return out;
}

}  // namespace chatterwick::cli
