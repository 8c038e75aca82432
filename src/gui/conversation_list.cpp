#include "gui/conversation_list.h"

#include "archive/export_format.h"
#include "gui/display_text.h"

namespace chatterwick::gui {

namespace {

constexpr int kIdRole = Qt::UserRole + 2;

QString ShortStamp(const std::string& stamp) {
  return DecodeForDisplay(archive::ReadableStamp(stamp).substr(0, 16));
}

}  // namespace

ConversationList::ConversationList(QWidget* parent) : QTreeWidget(parent) {
  setObjectName("lstConversations");
  setHeaderLabels({QStringLiteral("Started"), QStringLiteral("Title"), QStringLiteral("Messages")});
  setRootIsDecorated(false);
  setSortingEnabled(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (item && on_opened) on_opened(item->data(0, kIdRole).toLongLong());
  });
}

void ConversationList::Show(const std::vector<archive::ConversationRow>& rows) {
  {
    const QSignalBlocker quiet(this);
    setSortingEnabled(false);
    clear();
    for (const archive::ConversationRow& r : rows) {
      auto* item = new QTreeWidgetItem(this);
      item->setText(
          0, r.started_at.empty() ? DecodeForDisplay(r.file_name) : ShortStamp(r.started_at));
      item->setText(1, DecodeForDisplay(r.title));
      item->setData(2, Qt::DisplayRole, qlonglong{r.messages});
      item->setData(0, kIdRole, qlonglong{r.id});
      if (r.present) continue;
      // Kept in the archive, but its log is gone from the disk.
      item->setText(1, item->text(1) + QStringLiteral("  (log gone)"));
      for (int c = 0; c < 3; ++c)
        item->setForeground(c, palette().color(QPalette::PlaceholderText));
      item->setToolTip(1, QStringLiteral("The last update no longer found this log on the disk."));
    }
    setSortingEnabled(true);
    sortByColumn(0, Qt::AscendingOrder);
    resizeColumnToContents(0);
    resizeColumnToContents(2);
  }
  if (topLevelItemCount() > 0) setCurrentItem(topLevelItem(topLevelItemCount() - 1));
}

bool ConversationList::Select(int64_t conversation) {
  for (int i = 0; i < topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = topLevelItem(i);
    if (item->data(0, kIdRole).toLongLong() != conversation) continue;
    const QSignalBlocker quiet(this);
    setCurrentItem(item);
    scrollToItem(item);
    return true;
  }
  return false;
}

std::vector<int64_t> ConversationList::ChosenIds() const {
  std::vector<int64_t> ids;
  for (QTreeWidgetItem* item : selectedItems()) ids.push_back(item->data(0, kIdRole).toLongLong());
  return ids;
}

}  // namespace chatterwick::gui
