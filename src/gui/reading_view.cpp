#include "gui/reading_view.h"

#include <QLabel>
#include <algorithm>

#include "gui/dialogs.h"
#include "gui/message_view.h"

namespace chatterwick::gui {

ReadingView::ReadingView(QWidget* parent)
    : QListView(parent), model_(new MessageModel), delegate_(new MessageDelegate(this)) {
  setObjectName("lstMessages");
  model_->setParent(this);
  setModel(model_);
  setItemDelegate(delegate_);
  setUniformItemSizes(false);
  setWordWrap(true);
  setResizeMode(QListView::Adjust);
  setLayoutMode(QListView::Batched);
  setBatchSize(500);
  setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& now, const QModelIndex& before) {
            if (before.isValid()) closePersistentEditor(before);
            if (now.isValid()) openPersistentEditor(now);
          });
  connect(this, &QListView::doubleClicked, this, [](const QModelIndex& index) {
    const QString link = FirstLink(index.data(MessageModel::kBodyRole).toString());
    if (!link.isEmpty()) Dialogs::Current().Open(QUrl(link));
  });
}

void ReadingView::Show(const std::vector<archive::MessageRow>& messages) {
  model_->SetMessages(messages);
  scrollToTop();
}

void ReadingView::Append(const std::vector<archive::MessageRow>& messages) {
  model_->AppendMessages(messages);
}

bool ReadingView::ShowMessage(int64_t message_id) {
  const int row = model_->RowOf(message_id);
  if (row < 0) return false;
  const QModelIndex index = model_->index(row);
  setCurrentIndex(index);
  scrollTo(index, QAbstractItemView::PositionAtCenter);
  return true;
}

QString ReadingView::ChosenText() const {
  if (auto* text = qobject_cast<QLabel*>(indexWidget(currentIndex()));
      text && text->hasSelectedText())
    return text->selectedText();
  QStringList lines;
  QModelIndexList rows = selectionModel()->selectedRows();
  std::sort(rows.begin(), rows.end());
  for (const QModelIndex& i : rows) lines << i.data(Qt::DisplayRole).toString();
  return lines.isEmpty() ? QString() : lines.join('\n') + '\n';
}

void ReadingView::Mark(const QStringList& words) {
  delegate_->SetMarks(words);
  // The message in hand shows its text through its own editor, made anew.
  if (const QModelIndex now = currentIndex(); now.isValid()) {
    closePersistentEditor(now);
    openPersistentEditor(now);
  }
  viewport()->update();
}

int ReadingView::CountMatches(const QString& what) const {
  int n = 0;
  for (int row = 0; row < model_->rowCount(); ++row)
    if (const QModelIndex at = model_->index(row);
        at.data(MessageModel::kKindRole).toString() != "day")
      n += static_cast<int>(Occurrences(MessageDelegate::Line(at), {what}).size());
  return n;
}

void ReadingView::MoveToMatch(const QString& what, bool backwards) {
  const int rows = model_->rowCount();
  const int step = backwards ? -1 : 1;
  int from = currentIndex().isValid() ? currentIndex().row() : (backwards ? 0 : rows - 1);
  for (int i = 1; i <= rows; ++i) {
    const QModelIndex at = model_->index(((from + step * i) % rows + rows) % rows);
    if (at.data(MessageModel::kKindRole).toString() != "day" &&
        MessageDelegate::Line(at).contains(what, Qt::CaseInsensitive)) {
      setCurrentIndex(at);
      scrollTo(at, QAbstractItemView::PositionAtCenter);
      return;
    }
  }
}

}  // namespace chatterwick::gui
