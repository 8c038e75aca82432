#include "core/window_ops.h"

namespace chatterwick {

void AppendOutput(WindowOps& window, std::string_view text) {
  std::string line;
  line.reserve(text.size() + 2);
  line.append(text);
  line.append("\r\n");
  window.AppendToPane(line);
}

}  // namespace chatterwick
