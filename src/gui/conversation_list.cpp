#include "gui/conversation_list.h"

#include <algorithm>

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
  setHeaderLabels({QStringLiteral("Started"), QStringLiteral("Title"), QStringLiteral("Messages"),
                   QStringLiteral("Sources")});
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
      item->setToolTip(1, item->text(1));
      item->setData(2, Qt::DisplayRole, qlonglong{r.messages});
      item->setData(0, kIdRole, qlonglong{r.id});
      item->setText(3, DecodeForDisplay(r.sources));
      item->setToolTip(3, r.sources.empty() ? QString()
                                            : QStringLiteral("Held by: %1").arg(item->text(3)));
      if (r.present) continue;
      // Kept in the archive, but no source holds its log any more.
      item->setText(1, item->text(1) + QStringLiteral("  (log gone)"));
      for (int c = 0; c < 4; ++c)
        item->setForeground(c, palette().color(QPalette::PlaceholderText));
      item->setToolTip(
          1, QStringLiteral("Every source that held this log was read without it; its messages "
                            "are kept."));
    }
    setSortingEnabled(true);
    sortByColumn(0, Qt::AscendingOrder);
    for (int c : {0, 1, 2}) resizeColumnToContents(c);
    // A long title would push the sources out of sight; it shows whole in its tip.
    setColumnWidth(1, std::min(columnWidth(1), 12 * fontMetrics().averageCharWidth()));
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
