#include "gui/find_bar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QTextCursor>
#include <QTextDocument>

namespace chatterwick::gui {

FindBar::FindBar(QPlainTextEdit* pane, QWidget* parent)
    : QWidget(parent), pane_(pane), edit_(new QLineEdit(this)), count_(new QLabel(this)) {
  setObjectName("fraFind");
  setAutoFillBackground(true);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(4, 2, 4, 2);
  edit_->setObjectName("txtFind");
  edit_->setPlaceholderText(QStringLiteral("Find in the log"));
  count_->setObjectName("lblFindCount");
  row->addWidget(edit_);
  row->addWidget(count_);
  hide();
  connect(edit_, &QLineEdit::textChanged, this, [this] { UpdateMatchCount(); });
  connect(edit_, &QLineEdit::returnPressed, this, [this] { FindNext(false); });
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WidgetWithChildrenShortcut);
  connect(escape, &QShortcut::activated, this, [this] {
    hide();
    pane_->setFocus();
  });
}

void FindBar::Open() {
  show();
  raise();
  edit_->setFocus();
  edit_->selectAll();
  UpdateMatchCount();
}

void FindBar::FindNext(bool backwards) {
  const QString what = edit_->text();
  if (what.isEmpty()) return Open();
  QTextDocument::FindFlags flags;
  if (backwards) flags |= QTextDocument::FindBackward;
  QTextDocument* doc = pane_->document();
  QTextCursor hit = doc->find(what, pane_->textCursor(), flags);
  if (hit.isNull()) {
    // Round again from the other end.
    QTextCursor from(doc);
    if (backwards) from.movePosition(QTextCursor::End);
    hit = doc->find(what, from, flags);
  }
  if (!hit.isNull()) pane_->setTextCursor(hit);
}

void FindBar::UpdateMatchCount() {
  const QString what = edit_->text();
  const int n = what.isEmpty() ? 0 : pane_->toPlainText().count(what, Qt::CaseInsensitive);
  count_->setText(what.isEmpty() ? QString()
                  : n == 1       ? QStringLiteral("1 match")
                                 : QStringLiteral("%1 matches").arg(n));
}

}  // namespace chatterwick::gui
