#pragma once

#include <QWidget>
#include <functional>

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace chatterwick::gui {

// What a find bar finds in: how many matches a text has (asked as it is
// typed; the empty text has none), a move to the next or previous match, round at the ends, and
// the pane that takes the focus back when the bar closes.
struct Findable {
  std::function<int(const QString& what)> count;
  std::function<void(const QString& what, bool backwards)> move;
  QWidget* pane = nullptr;
  // Told when the bar closes.
  std::function<void()> closed = [] {};
};

// Finds a text in a pane, letter case ignored: a box, the number of
// matches beside it, Enter for the next, Shift+Enter for the one before,
// Escape to close.
class FindBar : public QWidget {
 public:
  FindBar(Findable target, const QString& placeholder, QWidget* parent);
  // The text of a plain text pane.
  static Findable InText(QPlainTextEdit* pane);

  // Shows the bar with its box ready for typing.
  void Open();
  // Moves to the next (or previous) match, wrapping round; opens the bar
  // when there is nothing to find yet.
  void FindNext(bool backwards);

 private:
  void UpdateMatchCount();

  Findable target_;
  QLineEdit* edit_;
  QLabel* count_;
};

}  // namespace chatterwick::gui
