#include "cli/console_window.h"

namespace chatterwick {

std::string ConsoleWindow::PaneAsLines() const {
  std::string out;
  out.reserve(pane_.size());
  for (size_t i = 0; i < pane_.size(); ++i) {
    if (pane_[i] == '\r' && i + 1 < pane_.size() && pane_[i + 1] == '\n') continue;
    out.push_back(pane_[i]);
  }
  return out;
}

}  // namespace chatterwick
