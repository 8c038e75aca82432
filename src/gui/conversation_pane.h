#pragma once

#include <QWidget>

namespace chatterwick::gui {

class ConversationHeader;
class FindBar;
class ReadingView;

// The Conversation tab: the header that says whose conversation it is, the
// reading view, and a find bar under it that finds within what is read.
class ConversationPane : public QWidget {
 public:
  explicit ConversationPane(QWidget* parent = nullptr);

  ConversationHeader* header() const { return header_; }
  ReadingView* reading() const { return reading_; }
  // Shows the find bar, its box ready for typing.
  void OpenFind();

 private:
  ConversationHeader* header_;
  ReadingView* reading_;
  FindBar* find_;
};

}  // namespace chatterwick::gui
