#include "gui/reading_view.h"

#include <QLabel>
#include <algorithm>

#include "gui/dialogs.h"
#include "gui/message_view.h"

namespace chatterwick::gui {

ReadingView::ReadingView(QWidget* parent) : QListView(parent), model_(new MessageModel) {
  setObjectName("lstMessages");
  model_->setParent(this);
  setModel(model_);
  setItemDelegate(new MessageDelegate(this));
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

}  // namespace chatterwick::gui
