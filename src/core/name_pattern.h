#pragma once

#include <string_view>

namespace chatterwick {

// Whether name matches a mask as a folder listing takes it: "*" any run,
// "?" any one character, ASCII letters matching either case.
bool MatchName(std::string_view pattern, std::string_view name);

// A mask may hold several patterns, separated by ';' ("*.html;*.txt"): name
// matches when one of them does.
bool MatchMask(std::string_view mask, std::string_view name);

}  // namespace chatterwick
