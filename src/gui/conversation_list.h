#pragma once

#include <QTreeWidget>
#include <functional>
#include <vector>

#include "archive/reader.h"

namespace chatterwick::gui {

// The conversations of what the tree has chosen: start, title and
// messages, sortable by each; several may be chosen for an export. A
// conversation whose log the last update no longer found is kept, greyed
// and marked.
class ConversationList : public QTreeWidget {
 public:
  explicit ConversationList(QWidget* parent = nullptr);

  // Lists rows and opens the latest, as a chat opens at its end.
  void Show(const std::vector<archive::ConversationRow>& rows);
  // Chooses the conversation with this id, when the list has it.
  bool Select(int64_t conversation);
  std::vector<int64_t> ChosenIds() const;

  // Told of each conversation opened.
  std::function<void(int64_t conversation)> on_opened;
};

}  // namespace chatterwick::gui
