#pragma once

#include <QTreeWidget>
#include <functional>
#include <vector>

#include "archive/reader.h"

namespace chatterwick::gui {

// The conversations of what the tree has chosen: start, who with, title,
// messages and sources, sortable by each; several may be chosen for an
// export. A
// conversation whose log the last update no longer found is kept, greyed
// and marked.
class ConversationList : public QTreeWidget {
 public:
  explicit ConversationList(QWidget* parent = nullptr);

  // Lists rows and opens the latest, as a chat opens at its end; who names
  // a row's contact. Newest first, when asked, as a person's many handles
  // read best.
  // With open, that conversation is chosen instead, and not opened again:
  // it is the one the reading view shows already.
  void Show(const std::vector<archive::ConversationRow>& rows,
            const std::function<QString(int64_t contact)>& who = {}, bool newest_first = false,
            int64_t open = 0);
  // Chooses the conversation with this id, when the list has it.
  bool Select(int64_t conversation);
  std::vector<int64_t> ChosenIds() const;

  // Told of each conversation opened.
  std::function<void(int64_t conversation)> on_opened;

 private:
  void AddRow(const archive::ConversationRow& r, const QString& with);
};

}  // namespace chatterwick::gui
