#include "gui/dialogs.h"

#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace chatterwick::gui {

namespace {

Dialogs* g_current = nullptr;
StopFlag g_stop;

// A box shows the ordinary pointer even while a command runs.
class ArrowCursor {
 public:
  ArrowCursor() { QGuiApplication::setOverrideCursor(Qt::ArrowCursor); }
  ~ArrowCursor() { QGuiApplication::restoreOverrideCursor(); }
};

// The box's exec, cut short when a stop is asked for.
int ExecUntilStopped(QDialog& box) {
  ArrowCursor arrow;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &box, [&box] {
    if (g_stop.Requested()) box.done(QDialog::Rejected);
  });
  poll.start(100);
  return box.exec();
}

}  // namespace

Dialogs& Dialogs::Current() {
  static DesktopDialogs desktop;
  return g_current ? *g_current : desktop;
}

void Dialogs::Use(Dialogs* others) { g_current = others; }

void DesktopDialogs::CloseBoxesOn(StopFlag stop) { g_stop = stop; }

QString DesktopDialogs::ChoosePath(QWidget* parent, Choose what, const QString& start) {
  ArrowCursor arrow;
  switch (what) {
    case Choose::kLogToOpen:
      return QFileDialog::getOpenFileName(
          parent, QStringLiteral("Load Log"), start,
          QStringLiteral("Chat logs (*.html *.htm);;All files (*)"));
    case Choose::kFileToSave:
      return QFileDialog::getSaveFileName(parent, QStringLiteral("Save"), start);
    case Choose::kFolder:
      return QFileDialog::getExistingDirectory(parent, QStringLiteral("Log folder"), start);
  }
  return QString();
}

QString DesktopDialogs::AskPath(QWidget* parent, const QString& title, const QString& prompt,
                                const QString& answer, Choose what, const QString& browse_start) {
  QDialog box(parent);
  box.setObjectName("dlgPath");
  box.setWindowTitle(title);
  auto* column = new QVBoxLayout(&box);
  column->addWidget(new QLabel(prompt, &box));
  auto* row = new QHBoxLayout;
  auto* edit = new QLineEdit(answer, &box);
  edit->setObjectName("txtPath");
  edit->setMinimumWidth(edit->fontMetrics().averageCharWidth() * 60);
  auto* browse = new QPushButton(QStringLiteral("Browse\u2026"), &box);
  browse->setObjectName("cmdBrowse");
  browse->setAutoDefault(false);
  row->addWidget(edit);
  row->addWidget(browse);
  column->addLayout(row);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &box);
  column->addWidget(buttons);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
  QObject::connect(browse, &QPushButton::clicked, &box, [&] {
    const QString chosen = Dialogs::Current().ChoosePath(&box, what, browse_start);
    if (!chosen.isEmpty()) edit->setText(chosen);
  });
  edit->selectAll();
  edit->setFocus();
  return ExecUntilStopped(box) == QDialog::Accepted ? edit->text() : QString();
}

QString DesktopDialogs::AskText(QWidget* parent, const QString& title, const QString& label,
                                const QString& answer) {
  ArrowCursor arrow;
  bool ok = false;
  const QString text = QInputDialog::getText(parent, title, label, QLineEdit::Normal, answer, &ok);
  return ok ? text : QString();
}

QString DesktopDialogs::ChooseItem(QWidget* parent, const QString& title, const QString& label,
                                   const QStringList& items) {
  ArrowCursor arrow;
  bool ok = false;
  const QString item = QInputDialog::getItem(parent, title, label, items, 0, false, &ok);
  return ok ? item : QString();
}

void DesktopDialogs::Tell(QWidget* parent, Icon icon, const QString& title, const QString& text) {
  QMessageBox box(icon == Icon::kWarning ? QMessageBox::Warning : QMessageBox::Information, title,
                  text, QMessageBox::Ok, parent);
  ExecUntilStopped(box);
}

bool DesktopDialogs::Confirm(QWidget* parent, const QString& title, const QString& text,
                             const QString& do_text) {
  QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Cancel, parent);
  QPushButton* yes = box.addButton(do_text, QMessageBox::AcceptRole);
  box.setDefaultButton(QMessageBox::Cancel);
  ExecUntilStopped(box);
  return box.clickedButton() == yes;
}

void DesktopDialogs::Open(const QUrl& url) { QDesktopServices::openUrl(url); }

}  // namespace chatterwick::gui
