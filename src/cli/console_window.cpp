#include "cli/console_window.h"

namespace chatterwick {

std::string AsLines(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out.push_back(text[i]);
  }
  return out;
}

std::string ConsoleWindow::PaneAsLines() const { return AsLines(pane_); }

}  // namespace chatterwick
