#pragma once

#include <QString>
#include <functional>
#include <string>

#include "core/env.h"
#include "core/status.h"
#include "gui/job_thread.h"

class QWidget;

namespace chatterwick::gui {

class TreePane;

// What the user says about people in the archive window: asked through
// the dialogs seam, carried out on the window's job thread (never its own)
// under the archive's lock, and told back.
class PeopleEditor {
 public:
  // Every argument outlives the editor.
  PeopleEditor(QWidget* window, Env& env, const std::string& db_path, JobThread& jobs,
               const TreePane& tree);

  // The handle joins person; with no person, the user chooses one.
  void Merge(const std::string& handle, const std::string& person);
  void Split(const std::string& handle);
  // Asks for the new name; one that another person has merges the two,
  // when the user agrees.
  void Rename(const std::string& person);

  // After a change was made: what to say of it.
  std::function<void(const QString& said)> on_changed;

 private:
  void Run(std::function<Status()> change, const QString& said);

  QWidget* window_;
  Env& env_;
  const std::string& db_path_;
  JobThread& jobs_;
  const TreePane& tree_;
};

}  // namespace chatterwick::gui
