#pragma once

#include <string>
#include <string_view>

#include "core/env.h"

// Writing to a person's terminal rather than to a file or a pipe.
namespace chatterwick::cli {

// Colour and a progress line, as the usual conventions allow: on a terminal,
// unless NO_COLOR is set (to anything) or TERM is "dumb".
bool TerminalTakesColour(Env& env, bool is_terminal);

// Around a matched word in a text for ForTerminal: control characters that
// no chat text holds, turned into colour (or nothing) there.
inline constexpr std::string_view kMarkStart = "\x1f\x02";
inline constexpr std::string_view kMarkEnd = "\x1f\x03";

// text made safe to show: every control character that came from a log
// (the C0 range but tab and newline, DEL, the C1 range, as UTF-8 or as a
// lone byte) shown as a visible escape ("^[", "^?", "<U+009B>", "<9B>"), so
// that a log can never set the title, clear the screen or hide text. The
// marks become highlight_start and highlight_end.
std::string ForTerminal(std::string_view text, std::string_view highlight_start = {},
                        std::string_view highlight_end = {});

}  // namespace chatterwick::cli
