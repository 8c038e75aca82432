#include "gui/usage.h"

namespace chatterwick::gui {

std::optional<std::string> CommandLineInfo(const std::vector<std::string>& args) {
  if (args.size() != 1) return std::nullopt;
  if (args[0] == "--version" || args[0] == "-V") return "chatterwick 0.1.0\n";
  if (args[0] != "--help" && args[0] != "-h") return std::nullopt;
  return "usage: chatterwick [LOG]\n"
         "       chatterwick +p ROOT\n"
         "       chatterwick --archive [FILE]\n"
         "\n"
         "Opens the chatterwick window: with LOG, that chat log listed; with +p ROOT, the\n"
         "log tree under ROOT catalogued into five CSV files before the window shows.\n"
         "--archive opens the archive window over FILE (default: the archive that\n"
         "chatterwick-cli archive writes) to browse, read and search it.\n"
         "chatterwick-cli does the same and more without a window: chatterwick-cli --help.\n";
}

}  // namespace chatterwick::gui
