#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace chatterwick::gui {

// Finds a text in a pane, letter case ignored: a box, the number of
// matches beside it, Enter for the next, Escape to close.
class FindBar : public QWidget {
 public:
  FindBar(QPlainTextEdit* pane, QWidget* parent);

  // Shows the bar with its box ready for typing.
  void Open();
  // Moves to the next (or previous) match, wrapping round; opens the bar
  // when there is nothing to find yet.
  void FindNext(bool backwards);

 private:
  void UpdateMatchCount();

  QPlainTextEdit* pane_;
  QLineEdit* edit_;
  QLabel* count_;
};

}  // namespace chatterwick::gui
