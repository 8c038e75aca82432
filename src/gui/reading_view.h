#pragma once

#include <QListView>
#include <vector>

#include "archive/reader.h"

namespace chatterwick::gui {

class MessageDelegate;
class MessageModel;

// A conversation to read: a row a message with its time, its sender in a
// colour of its own and its text wrapped; a heading for each day; actions
// and status lines set apart. Only the rows in view are drawn. The message
// in hand takes a selectable copy of its text, so that a word of it can be
// copied; a double-click opens its web or mail address.
class ReadingView : public QListView {
 public:
  explicit ReadingView(QWidget* parent = nullptr);

  // The first messages of a conversation, from its top.
  void Show(const std::vector<archive::MessageRow>& messages);
  // The messages that follow, as they are read.
  void Append(const std::vector<archive::MessageRow>& messages);
  // Chooses the message and puts it in the middle of the view; false while
  // it is not there (yet).
  bool ShowMessage(int64_t message_id);
  // The characters chosen in the message in hand, or else the chosen rows,
  // one line a message; empty when nothing is chosen.
  QString ChosenText() const;

  // Marks every place these words stand in every message, letter case
  // ignored (none: nothing marked).
  void Mark(const QStringList& words);
  // How many times what stands in the messages read so far, letter case ignored.
  int CountMatches(const QString& what) const;
  // Chooses the next (or previous) message holding what after the one in
  // hand, round at the ends.
  void MoveToMatch(const QString& what, bool backwards);

 private:
  MessageModel* model_;
  MessageDelegate* delegate_;
};

}  // namespace chatterwick::gui
