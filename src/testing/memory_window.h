#pragma once

#include <deque>
#include <string>
#include <vector>

#include "core/window_ops.h"

namespace chatterwick {

// A window that keeps everything in memory and answers its input boxes from a
// queue, so tests never block on a prompt.
class MemoryWindow : public WindowOps {
 public:
  void AppendToPane(std::string_view text) override { pane.append(text); }
  void ClearPane() override { pane.clear(); }
  std::string PaneText() const override { return pane; }
  void SetTitle(const std::string& caption) override { title = caption; }
  void EnableSaveButtons() override { save_enabled = true; }
  void DisableSaveButtons() override { save_enabled = false; }

  // Answers with the next queued text; with none queued, cancels.
  std::string InputBox(const std::string& prompt, const std::string& title_text,
                       const std::string& default_answer) override {
    prompts.push_back({prompt, title_text, default_answer});
    if (answers.empty()) return "";
    std::string a = answers.front();
    answers.pop_front();
    return a;
  }
  void MessageBox(const std::string& text, const std::string& title_text) override {
    messages.push_back(title_text + ": " + text);
  }
  void ShowStatus(const std::string& text, const std::string& folder) override {
    status = text;
    status_folder = folder;
  }

  struct Prompt {
    std::string prompt, title, default_answer;
  };

  std::string pane;
  std::string title;
  std::string status, status_folder;
  bool save_enabled = false;
  std::deque<std::string> answers;
  std::vector<Prompt> prompts;
  std::vector<std::string> messages;
};

}  // namespace chatterwick
