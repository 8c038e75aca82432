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
  setHeaderLabels({QStringLiteral("Started"), QStringLiteral("With"), QStringLiteral("Title"),
                   QStringLiteral("Messages"), QStringLiteral("Sources")});
  setRootIsDecorated(false);
  setSortingEnabled(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (item && on_opened) on_opened(item->data(0, kIdRole).toLongLong());
  });
}

void ConversationList::Show(const std::vector<archive::ConversationRow>& rows,
                            const std::function<QString(int64_t contact)>& who, bool newest_first,
                            int64_t open) {
  {
    const QSignalBlocker quiet(this);
    setSortingEnabled(false);
    clear();
    for (const archive::ConversationRow& r : rows) AddRow(r, who ? who(r.contact_id) : QString());
    setSortingEnabled(true);
    sortByColumn(0, newest_first ? Qt::DescendingOrder : Qt::AscendingOrder);
    for (int c : {0, 1, 2, 3}) resizeColumnToContents(c);
    // Long names and titles would push the rest out of sight; they show whole in their tips.
    for (int c : {1, 2})
      setColumnWidth(c, std::min(columnWidth(c), 18 * fontMetrics().averageCharWidth()));
  }
  if (open && Select(open)) return;
  if (topLevelItemCount() > 0)
    setCurrentItem(topLevelItem(newest_first ? 0 : topLevelItemCount() - 1));
}

void ConversationList::AddRow(const archive::ConversationRow& r, const QString& with) {
  auto* item = new QTreeWidgetItem(this);
  item->setText(0, r.started_at.empty() ? DecodeForDisplay(r.file_name) : ShortStamp(r.started_at));
  item->setText(1, with);
  item->setToolTip(1, with);
  // The client's own title only repeats who, when and on which account: the
  // columns say that; its tip still shows it whole.
  const bool own_title = r.title.starts_with("Conversation with ");
  item->setText(2, own_title ? QString() : DecodeForDisplay(r.title));
  item->setToolTip(2, DecodeForDisplay(r.title));
  item->setData(3, Qt::DisplayRole, qlonglong{r.messages});
  item->setData(0, kIdRole, qlonglong{r.id});
  item->setText(4, DecodeForDisplay(r.sources));
  item->setToolTip(
      4, r.sources.empty() ? QString() : QStringLiteral("Held by: %1").arg(item->text(4)));
  if (r.present) return;
  // Kept in the archive, but no source holds its log any more.
  item->setText(2, (item->text(2) + QStringLiteral("  (log gone)")).trimmed());
  for (int c = 0; c < 5; ++c) item->setForeground(c, palette().color(QPalette::PlaceholderText));
  item->setToolTip(2, QStringLiteral("Every source that held this log was read without it; its "
                                     "messages are kept."));
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
