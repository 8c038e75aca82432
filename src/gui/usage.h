#pragma once

#include <optional>
#include <string>
#include <vector>

namespace chatterwick::gui {

// What "chatterwick --help", "-h" or "--version" prints instead of opening a
// log of that name; nothing for any other command line.
std::optional<std::string> CommandLineInfo(const std::vector<std::string>& args);

}  // namespace chatterwick::gui
