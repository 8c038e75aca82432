#include "gui/people_editor.h"

#include <vector>

#include "archive/people_choices.h"
#include "gui/dialogs.h"
#include "gui/display_text.h"
#include "gui/tree_pane.h"

namespace chatterwick::gui {

PeopleEditor::PeopleEditor(QWidget* window, Env& env, const std::string& db_path, JobThread& jobs,
                           const TreePane& tree)
    : window_(window), env_(env), db_path_(db_path), jobs_(jobs), tree_(tree) {}

void PeopleEditor::Merge(const std::string& handle, const std::string& person) {
  std::string into = person;
  if (into.empty()) {
    QStringList names = tree_.PersonNames();
    into = EncodeTyped(Dialogs::Current().ChooseItem(
        window_, QStringLiteral("Same Person as"),
        QStringLiteral("Who else is %1?").arg(DecodeForDisplay(handle)), names));
    if (into.empty()) return;
  }
  Run([this, handle, into] { return archive::MergeIntoPerson(env_, db_path_, into, {handle}); },
      QStringLiteral("%1 is now with %2.").arg(DecodeForDisplay(handle), DecodeForDisplay(into)));
}

void PeopleEditor::Split(const std::string& handle) {
  Run([this, handle] { return archive::SplitFromPerson(env_, db_path_, handle); },
      QStringLiteral("%1 stands alone now.").arg(DecodeForDisplay(handle)));
}

void PeopleEditor::Rename(const std::string& person) {
  const QString shown = DecodeForDisplay(person);
  const QString typed =
      Dialogs::Current().AskText(window_, QStringLiteral("Rename Person"),
                                 QStringLiteral("New name for %1:").arg(shown), shown);
  if (typed.isNull() || typed == shown) return;
  const std::string name = EncodeTyped(typed.trimmed());
  if (!typed.trimmed().isEmpty() && tree_.PersonNames().contains(typed.trimmed())) {
    const bool merge = Dialogs::Current().Confirm(
        window_, QStringLiteral("Rename Person"),
        QStringLiteral("Someone is called %1 already. Are %2 and %1 one person?")
            .arg(typed.trimmed(), shown),
        QStringLiteral("Merge"));
    if (!merge) return;
    const std::vector<std::string> handles = tree_.HandlesOf(person);
    return Run(
        [this, name, handles] { return archive::MergeIntoPerson(env_, db_path_, name, handles); },
        QStringLiteral("%1 and %2 are one person now.").arg(shown, typed.trimmed()));
  }
  Run([this, person, name] { return archive::RenamePerson(env_, db_path_, person, name); },
      QStringLiteral("%1 is now called %2.").arg(shown, typed.trimmed()));
}

void PeopleEditor::Run(std::function<Status()> change, const QString& said) {
  if (jobs_.Busy())
    return Dialogs::Current().Tell(window_, Dialogs::Icon::kWarning, QStringLiteral("People"),
                                   QStringLiteral("The archive is being updated or exported; "
                                                  "try again when that has finished."));
  jobs_.Start([this, change = std::move(change), said]() -> std::function<void()> {
    const Status s = change();
    return [this, s, said] {
      if (!s.ok())
        return Dialogs::Current().Tell(
            window_, Dialogs::Icon::kWarning, QStringLiteral("People"),
            QStringLiteral("Nothing was changed: %1.").arg(DecodeForDisplay(s.message())));
      if (on_changed) on_changed(said);
    };
  });
}

}  // namespace chatterwick::gui
