#pragma once

#include <string>

#include "core/window_ops.h"

namespace chatterwick {

// text with every CR LF as a newline, as a terminal and a pipe expect lines.
std::string AsLines(std::string_view text);

// The command-line companion's window: the pane is kept for printing at the
// end, and no box ever waits for a person.
class ConsoleWindow : public WindowOps {
 public:
  void AppendToPane(std::string_view text) override { pane_.append(text); }
  void ClearPane() override { pane_.clear(); }
  std::string PaneText() const override { return pane_; }
  void SetTitle(const std::string&) override {}
  void EnableSaveButtons() override {}
  void DisableSaveButtons() override {}
  // Nobody can answer: the same as a cancel.
  std::string InputBox(const std::string&, const std::string&, const std::string&) override {
    return std::string();
  }
  // The run goes on at once; the box's text adds nothing on a terminal.
  void MessageBox(const std::string&, const std::string&) override {}

  // The pane with every CR LF as a newline.
  std::string PaneAsLines() const;

 private:
  std::string pane_;
};

}  // namespace chatterwick
