#pragma once

#include <string>

#include "core/window_ops.h"

namespace chatterwick {

// The command-line companion's window: settings come from its arguments, the
// pane is kept for printing at the end, and no box ever waits for a person.
class ConsoleWindow : public WindowOps {
 public:
  ConsoleWindow(std::string mask, int bom) : mask_(std::move(mask)), bom_(bom) {}

  void AppendToPane(std::string_view text) override { pane_.append(text); }
  void ClearPane() override { pane_.clear(); }
  std::string PaneText() const override { return pane_; }
  void SetTitle(const std::string& caption) override { title_ = caption; }
  void EnableSaveButtons() override {}
  std::string Mask() const override { return mask_; }
  std::string Folder() const override { return std::string(); }
  int BomChecked() const override { return bom_; }
  // Nobody can answer: the same as a cancel.
  std::string InputBox(const std::string&, const std::string&, const std::string&) override {
    return std::string();
  }
  // The run goes on at once; the box's text adds nothing on a terminal.
  void MessageBox(const std::string&, const std::string&) override {}

  const std::string& title() const { return title_; }
  // The pane with every CR LF as a newline.
  std::string PaneAsLines() const;

 private:
  std::string mask_;
  int bom_;
  std::string pane_;
  std::string title_;
};

}  // namespace chatterwick
