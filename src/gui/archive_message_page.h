#pragma once

#include <QString>
#include <QWidget>
#include <functional>

class QLabel;
class QPushButton;

namespace chatterwick::gui {

// What the archive window shows in place of the archive when there is none
// to show: why, and the ways to build one (the client's own log folder,
// when it is there, or one the user chooses).
class ArchiveMessagePage : public QWidget {
 public:
  // default_folder: the folder the first button reads.
  ArchiveMessagePage(const QString& default_folder, QWidget* parent = nullptr);

  // offer_build shows the button that chooses a folder, offer_default the
  // one that reads the default folder.
  void Show(const QString& text, bool offer_build, bool offer_default);
  QString text() const;
  // While an update runs, the buttons wait.
  void SetButtonsEnabled(bool enabled);

  std::function<void()> on_read_default, on_choose;

 private:
  QLabel* message_;
  QPushButton *default_button_, *build_button_;
};

}  // namespace chatterwick::gui
