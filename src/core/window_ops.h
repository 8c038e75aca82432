#pragma once

#include <string>
#include <string_view>

namespace chatterwick {

// The main window as the core sees it: the output pane, the title line, the
// save buttons and the modal boxes. Texts are bytes as the logs hold them; an
// implementation that displays them does its own decoding. Settings do not
// come through here: the shells pass them in as options.
class WindowOps {
 public:
  virtual ~WindowOps() = default;

  // Adds text at the end of the output pane; must cost time linear in text.
  virtual void AppendToPane(std::string_view text) = 0;
  virtual void ClearPane() = 0;
  virtual std::string PaneText() const = 0;

  virtual void SetTitle(const std::string& caption) = 0;
  // cmdSaveTxt, then cmdSaveCSV.
  virtual void EnableSaveButtons() = 0;
  // Both, when there is no valid log to save.
  virtual void DisableSaveButtons() = 0;

  // Modal; returns the typed text, or the empty string on cancel.
  virtual std::string InputBox(const std::string& prompt, const std::string& title,
                               const std::string& default_answer) = 0;
  // Modal information box with one OK button.
  virtual void MessageBox(const std::string& text, const std::string& title) = 0;
  // The same for a failure, with the warning icon where the window has one.
  virtual void WarningBox(const std::string& text, const std::string& title) {
    MessageBox(text, title);
  }
  // One line saying how the last action ended, and the folder it wrote into
  // (empty when none); a window without such a line ignores it.
  virtual void ShowStatus(const std::string& text, const std::string& folder) {
    (void)text;
    (void)folder;
  }
};

inline constexpr const char* kAppTitle = "chatterwick";

// One line of the pane: text followed by CR LF.
void AppendOutput(WindowOps& window, std::string_view text);

}  // namespace chatterwick
