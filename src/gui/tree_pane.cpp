#include "gui/tree_pane.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>
#include <map>

#include "archive/export_format.h"
#include "archive/names.h"
#include "gui/display_text.h"

namespace chatterwick::gui {

namespace {

using archive::NodeRef;
constexpr int kLevelRole = Qt::UserRole + 1;
constexpr int kIdRole = Qt::UserRole + 2;

QString ShortStamp(const std::string& stamp) {
  return DecodeForDisplay(archive::ReadableStamp(stamp).substr(0, 16));
}

NodeRef NodeOf(const QTreeWidgetItem* item) {
  return {static_cast<NodeRef::Level>(item->data(0, kLevelRole).toInt()),
          item->data(0, kIdRole).toLongLong()};
}

void Mark(QTreeWidgetItem* item, const NodeRef& node) {
  item->setData(0, kLevelRole, static_cast<int>(node.level));
  item->setData(0, kIdRole, qlonglong{node.id});
}

}  // namespace

TreePane::TreePane(QWidget* parent)
    : QWidget(parent), filter_(new QLineEdit(this)), tree_(new QTreeWidget(this)) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  filter_->setObjectName("txtTreeFilter");
  filter_->setPlaceholderText(QStringLiteral("Filter contacts"));
  filter_->setClearButtonEnabled(true);
  tree_->setObjectName("treArchive");
  tree_->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Conversations"),
                          QStringLiteral("Messages"), QStringLiteral("Last message")});
  column->addWidget(filter_);
  column->addWidget(tree_);
  connect(filter_, &QLineEdit::textChanged, this, [this](const QString& t) { Filter(t); });
  connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (item && on_chosen) on_chosen(NodeOf(item));
  });
}

void TreePane::Fill(const std::vector<archive::TreeNode>& nodes) {
  const std::optional<NodeRef> before =
      tree_->currentItem() ? std::optional(NodeOf(tree_->currentItem())) : std::nullopt;
  {
    // The tree is chosen from once, when it is whole.
    const QSignalBlocker quiet(tree_);
    FillItems(nodes);
  }
  Filter(filter_->text());
  if (!before || !Select(*before)) tree_->setCurrentItem(tree_->topLevelItem(0));
}

void TreePane::FillItems(const std::vector<archive::TreeNode>& nodes) {
  tree_->clear();
  auto* everything = new QTreeWidgetItem(tree_, {QStringLiteral("Everything")});
  Mark(everything, {});
  std::map<std::pair<int, int64_t>, QTreeWidgetItem*> items;
  int64_t conversations = 0, messages = 0;
  std::string last;
  for (const archive::TreeNode& n : nodes) {
    QTreeWidgetItem* parent = everything;
    if (n.node.level != NodeRef::Level::kProtocol)
      parent = items[{static_cast<int>(n.node.level) - 1, n.parent_id}];
    if (!parent) continue;
    auto* item = new QTreeWidgetItem(parent);
    item->setText(0, DecodeForDisplay(n.display_name));
    item->setToolTip(0, DecodeForDisplay(n.name));
    item->setData(1, Qt::DisplayRole, qlonglong{n.conversations});
    item->setData(2, Qt::DisplayRole, qlonglong{n.messages});
    item->setText(3, ShortStamp(n.last_sent_at));
    Mark(item, n.node);
    items[{static_cast<int>(n.node.level), n.node.id}] = item;
    if (n.node.level != NodeRef::Level::kProtocol) continue;
    conversations += n.conversations;
    messages += n.messages;
    last = std::max(last, n.last_sent_at);
  }
  everything->setData(1, Qt::DisplayRole, qlonglong{conversations});
  everything->setData(2, Qt::DisplayRole, qlonglong{messages});
  everything->setText(3, ShortStamp(last));
  everything->setExpanded(true);
  for (int i = 0; i < everything->childCount(); ++i) everything->child(i)->setExpanded(true);
  for (int c = 0; c < 4; ++c) tree_->resizeColumnToContents(c);
}

int64_t TreePane::TotalMessages() const {
  const QTreeWidgetItem* everything = tree_->topLevelItem(0);
  return everything ? everything->data(2, Qt::DisplayRole).toLongLong() : 0;
}

bool TreePane::Select(const NodeRef& node) {
  for (QTreeWidgetItemIterator it(tree_); *it; ++it) {
    const NodeRef here = NodeOf(*it);
    if (here.level != node.level || here.id != node.id) continue;
    if (tree_->currentItem() == *it && on_chosen) on_chosen(node);  // chosen again: shown anew
    else tree_->setCurrentItem(*it);
    return true;
  }
  return false;
}

void TreePane::FocusFilter() { filter_->setFocus(); }

void TreePane::Filter(const QString& typed) {
  const std::string folded = archive::FoldForSearch(EncodeTyped(typed));
  // An item shows when it or an item below it matches.
  std::function<bool(QTreeWidgetItem*)> show = [&](QTreeWidgetItem* item) {
    bool any = folded.empty() ||
               archive::FoldForSearch(EncodeTyped(item->text(0))).find(folded) != std::string::npos;
    for (int i = 0; i < item->childCount(); ++i) any |= show(item->child(i));
    item->setHidden(!any);
    return any;
  };
  for (int i = 0; i < tree_->topLevelItemCount(); ++i) show(tree_->topLevelItem(i));
  if (tree_->topLevelItemCount() > 0) tree_->topLevelItem(0)->setHidden(false);
}

}  // namespace chatterwick::gui
