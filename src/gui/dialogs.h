#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include "core/stop_flag.h"

class QWidget;

// Every box and chooser the windows show goes through one seam, so that a
// test answers them instead of a person, and never blocks on one.
namespace chatterwick::gui {

class Dialogs {
 public:
  enum class Choose { kLogToOpen, kFileToSave, kFolder };
  enum class Icon { kInformation, kWarning };

  virtual ~Dialogs() = default;
  // A path the desktop's chooser gives, starting at start; empty when cancelled.
  virtual QString ChoosePath(QWidget* parent, Choose what, const QString& start) = 0;
  // A path typed into a box of its own (its text starting as answer), with
  // a Browse button that chooses one of kind what from browse_start; empty
  // when cancelled.
  virtual QString AskPath(QWidget* parent, const QString& title, const QString& prompt,
                          const QString& answer, Choose what, const QString& browse_start) = 0;
  // A line of text, starting as answer; empty when cancelled.
  virtual QString AskText(QWidget* parent, const QString& title, const QString& label,
                          const QString& answer) = 0;
  // One of items; empty when cancelled.
  virtual QString ChooseItem(QWidget* parent, const QString& title, const QString& label,
                             const QStringList& items) = 0;
  // A box with one OK button.
  virtual void Tell(QWidget* parent, Icon icon, const QString& title, const QString& text) = 0;
  // A question with a button that does it (do_text) and Cancel; true for the first.
  virtual bool Confirm(QWidget* parent, const QString& title, const QString& text,
                       const QString& do_text) = 0;
  // The desktop's program for url (a folder, a web or mail address).
  virtual void Open(const QUrl& url) = 0;

  // The dialogs every window uses: the desktop's, unless others were set.
  static Dialogs& Current();
  // From now on others answer every box (null: the desktop's again).
  static void Use(Dialogs* others);
};

// The desktop's own boxes and choosers.
class DesktopDialogs : public Dialogs {
 public:
  QString ChoosePath(QWidget* parent, Choose what, const QString& start) override;
  QString AskPath(QWidget* parent, const QString& title, const QString& prompt,
                  const QString& answer, Choose what, const QString& browse_start) override;
  QString AskText(QWidget* parent, const QString& title, const QString& label,
                  const QString& answer) override;
  QString ChooseItem(QWidget* parent, const QString& title, const QString& label,
                     const QStringList& items) override;
  void Tell(QWidget* parent, Icon icon, const QString& title, const QString& text) override;
  bool Confirm(QWidget* parent, const QString& title, const QString& text,
               const QString& do_text) override;
  void Open(const QUrl& url) override;

  // A box waiting for the user goes, as if cancelled, once stop is
  // requested: a signal that asks the program to end is not kept waiting.
  static void CloseBoxesOn(StopFlag stop);
};

}  // namespace chatterwick::gui
