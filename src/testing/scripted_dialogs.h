#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "gui/dialogs.h"

namespace chatterwick::testing {

// Answers every box and chooser of the windows while it lives, as a test
// scripts them, and keeps what each was asked and told.
class ScriptedDialogs : public gui::DesktopDialogs {
 public:
  ScriptedDialogs() { Use(this); }
  ~ScriptedDialogs() override { Use(nullptr); }
  ScriptedDialogs(const ScriptedDialogs&) = delete;
  ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

  // The next answers to path boxes and item choosers, in order; with none
  // left, the box is cancelled.
  std::deque<QString> answers;
  // When set, choosers of paths ask it; otherwise they are cancelled.
  std::function<QString(Choose what, const QString& start)> chooser;
  // Path boxes show the desktop's own box (its Browse asks chooser).
  bool real_path_box = false;

  // "PROMPT [ANSWER]" of each path or text box.
  std::vector<std::string> asked;
  struct Told {
    Icon icon;
    QString title, text;
  };
  std::vector<Told> told;
  std::vector<QUrl> opened;

  QString ChoosePath(QWidget*, Choose what, const QString& start) override {
    return chooser ? chooser(what, start) : QString();
  }
  QString AskPath(QWidget* parent, const QString& title, const QString& prompt,
                  const QString& answer, Choose what, const QString& browse_start) override {
    if (real_path_box)
      return DesktopDialogs::AskPath(parent, title, prompt, answer, what, browse_start);
    asked.push_back((prompt + " [" + answer + "]").toStdString());
    return Next();
  }
  QString AskText(QWidget*, const QString&, const QString& label, const QString& answer) override {
    asked.push_back((label + " [" + answer + "]").toStdString());
    return Next();
  }
  // The items of each chooser, one line each, ", " between them.
  std::vector<std::string> offered;
  QString ChooseItem(QWidget*, const QString&, const QString&, const QStringList& items) override {
    offered.push_back(items.join(", ").toStdString());
    return Next();
  }
  void Tell(QWidget*, Icon icon, const QString& title, const QString& text) override {
    told.push_back({icon, title, text});
  }
  bool Confirm(QWidget*, const QString& title, const QString& text, const QString&) override {
    told.push_back({Icon::kInformation, title, text});
    return confirm;
  }
  void Open(const QUrl& url) override { opened.push_back(url); }
  // What every question is answered.
  bool confirm = false;

  // What each box told, "TITLE: TEXT".
  std::vector<std::string> ToldLines() const {
    std::vector<std::string> lines;
    for (const Told& t : told) lines.push_back((t.title + ": " + t.text).toStdString());
    return lines;
  }

 private:
  QString Next() {
    if (answers.empty()) return QString();
    QString a = answers.front();
    answers.pop_front();
    return a;
  }
};

}  // namespace chatterwick::testing
