#include "gui/find_bar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QTextCursor>
#include <QTextDocument>

namespace chatterwick::gui {

FindBar::FindBar(Findable target, const QString& placeholder, QWidget* parent)
    : QWidget(parent),
      target_(std::move(target)),
      edit_(new QLineEdit(this)),
      count_(new QLabel(this)) {
  setObjectName("fraFind");
  setAutoFillBackground(true);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(4, 2, 4, 2);
  edit_->setObjectName("txtFind");
  edit_->setPlaceholderText(placeholder);
  count_->setObjectName("lblFindCount");
  row->addWidget(edit_);
  row->addWidget(count_);
  hide();
  connect(edit_, &QLineEdit::textChanged, this, [this] { UpdateMatchCount(); });
  connect(edit_, &QLineEdit::returnPressed, this, [this] { FindNext(false); });
  auto* back = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_Return), edit_);
  back->setContext(Qt::WidgetShortcut);
  connect(back, &QShortcut::activated, this, [this] { FindNext(true); });
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WidgetWithChildrenShortcut);
  connect(escape, &QShortcut::activated, this, [this] {
    hide();
    target_.closed();
    target_.pane->setFocus();
  });
}

Findable FindBar::InText(QPlainTextEdit* pane) {
  Findable text;
  text.pane = pane;
  text.count = [pane](const QString& what) {
    return what.isEmpty() ? 0
                          : static_cast<int>(pane->toPlainText().count(what, Qt::CaseInsensitive));
  };
  text.move = [pane](const QString& what, bool backwards) {
    QTextDocument::FindFlags flags;
    if (backwards) flags |= QTextDocument::FindBackward;
    QTextDocument* doc = pane->document();
    QTextCursor hit = doc->find(what, pane->textCursor(), flags);
    if (hit.isNull()) {
      // Round again from the other end.
      QTextCursor from(doc);
      if (backwards) from.movePosition(QTextCursor::End);
      hit = doc->find(what, from, flags);
    }
    if (!hit.isNull()) pane->setTextCursor(hit);
  };
  return text;
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
  target_.move(what, backwards);
}

void FindBar::UpdateMatchCount() {
  const QString what = edit_->text();
  const int n = target_.count(what);
  count_->setText(what.isEmpty() ? QString()
                  : n == 1       ? QStringLiteral("1 match")
                                 : QStringLiteral("%1 matches").arg(n));
}

}  // namespace chatterwick::gui
