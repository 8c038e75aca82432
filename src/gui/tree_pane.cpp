#include "gui/tree_pane.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>
#include <map>

#include "archive/export_format.h"
#include "archive/names.h"
#include "gui/display_text.h"
#include "gui/people_items.h"

namespace chatterwick::gui {

namespace {

using archive::NodeRef;

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
    : QWidget(parent),
      view_(new QComboBox(this)),
      filter_(new QLineEdit(this)),
      tree_(new PeopleTreeWidget(this)) {
  setObjectName("paneTree");
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  view_->setObjectName("cboTreeView");
  view_->addItems({QStringLiteral("People"), QStringLiteral("Accounts")});
  view_->setToolTip(
      QStringLiteral("People: each person with their handles; Accounts: each "
                     "protocol, account and contact"));
  filter_->setObjectName("txtTreeFilter");
  filter_->setPlaceholderText(QStringLiteral("Filter contacts"));
  filter_->setClearButtonEnabled(true);
  tree_->setObjectName("treArchive");
  // Short headings, so that the figures below them fit; the tips say them whole.
  tree_->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Conv."), QStringLiteral("Msgs."),
                          QStringLiteral("Last")});
  tree_->headerItem()->setToolTip(1, QStringLiteral("Conversations"));
  tree_->headerItem()->setToolTip(2, QStringLiteral("Messages"));
  tree_->headerItem()->setToolTip(3, QStringLiteral("Last message"));
  tree_->setContextMenuPolicy(Qt::CustomContextMenu);
  // Ten thousand people lay out at once when every row is one line high.
  tree_->setUniformRowHeights(true);
  // The counts always show whole; the name takes the room that is left.
  tree_->header()->setStretchLastSection(false);
  tree_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  for (int c = 1; c < 4; ++c)
    tree_->header()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
  column->addWidget(view_);
  column->addWidget(filter_);
  column->addWidget(tree_);
  connect(view_, &QComboBox::currentIndexChanged, this, [this] { Fill(nodes_, people_); });
  connect(filter_, &QLineEdit::textChanged, this, [this](const QString& t) { Filter(t); });
  connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (item && on_chosen) on_chosen(NodeOf(item));
  });
  connect(tree_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { ShowMenu(at); });
  tree_->on_dropped = [this](QTreeWidgetItem* contact, QTreeWidgetItem* person) {
    if (on_merge)
      on_merge(contact->data(0, kHandleRole).toString().toStdString(),
               person->data(0, kPersonRole).toString().toStdString());
  };
}

void TreePane::Fill(const std::vector<archive::TreeNode>& nodes,
                    const std::vector<archive::PersonRow>& people) {
  if (&nodes != &nodes_) nodes_ = nodes;
  if (&people != &people_) people_ = people;
  // Lists ask who each of thousands of rows is with: found by contact at once.
  person_row_.clear();
  contact_node_.clear();
  for (size_t i = 0; i < people_.size(); ++i) person_row_.emplace(people_[i].contact_id, i);
  for (size_t i = 0; i < nodes_.size(); ++i)
    if (nodes_[i].node.level == NodeRef::Level::kContact)
      contact_node_.emplace(nodes_[i].node.id, i);
  const std::optional<NodeRef> before =
      tree_->currentItem() ? std::optional(NodeOf(tree_->currentItem())) : std::nullopt;
  {
    // The tree is chosen from once, when it is whole.
    const QSignalBlocker quiet(tree_);
    FillItems();
  }
  // A tree filled anew shows every item: only a filter typed hides some.
  if (!filter_->text().isEmpty()) Filter(filter_->text());
  if (!before || !Select(*before)) tree_->setCurrentItem(tree_->topLevelItem(0));
}

void TreePane::SetView(View view) { view_->setCurrentIndex(view == View::kPeople ? 0 : 1); }

TreePane::View TreePane::view() const {
  return view_->currentIndex() == 0 && !people_.empty() ? View::kPeople : View::kAccounts;
}

const archive::PersonRow* TreePane::RowOf(int64_t contact) const {
  const auto at = person_row_.find(contact);
  return at == person_row_.end() ? nullptr : &people_[at->second];
}

QString TreePane::WhoIs(int64_t contact) const {
  if (const archive::PersonRow* r = RowOf(contact)) {
    if (r->person.empty() || r->person == r->contact) return HandleLabel(*r);
    return DecodeForDisplay(r->person) + QStringLiteral(" — ") + HandleLabel(*r);
  }
  const auto at = contact_node_.find(contact);
  return at == contact_node_.end() ? QString() : DecodeForDisplay(nodes_[at->second].display_name);
}

std::map<int64_t, QString> TreePane::WhoIsEach() const {
  std::map<int64_t, QString> who;
  for (const archive::TreeNode& n : nodes_)
    if (n.node.level == NodeRef::Level::kContact) who[n.node.id] = WhoIs(n.node.id);
  return who;
}

QString TreePane::HandleOf(int64_t contact) const {
  const archive::PersonRow* r = RowOf(contact);
  return r ? HandleLabel(*r) : WhoIs(contact);
}

QString TreePane::NameOf(const NodeRef& node) const {
  for (QTreeWidgetItemIterator it(tree_); *it; ++it) {
    const NodeRef here = NodeOf(*it);
    if (here.level == node.level && here.id == node.id) return (*it)->text(0);
  }
  return {};
}

QStringList TreePane::PersonNames() const {
  QStringList names;
  for (const archive::PersonRow& r : people_)
    if (!r.person.empty() && (names.isEmpty() || names.back() != DecodeForDisplay(r.person)))
      names << DecodeForDisplay(r.person);
  return names;
}

std::vector<std::string> TreePane::HandlesOf(const std::string& person) const {
  std::vector<std::string> handles;
  for (const archive::PersonRow& r : people_)
    if (r.person == person) handles.push_back(r.handle);
  return handles;
}

void TreePane::FillItems() {
  tree_->clear();
  // Made apart from the tree and put in whole: items added one by one to a
  // tree each tell its model, which for ten thousand people takes long.
  auto* everything = new QTreeWidgetItem(QStringList{QStringLiteral("Everything")});
  Mark(everything, {});
  const bool people = view() == View::kPeople;
  view_->setVisible(!people_.empty());
  tree_->setDragDropMode(people ? QAbstractItemView::DragDrop : QAbstractItemView::NoDragDrop);
  tree_->viewport()->setAcceptDrops(people);
  if (people) AddPeopleItems(everything, nodes_, people_);
  else AddAccountItems(everything);
  int64_t conversations = 0, messages = 0;
  std::string last;
  for (const archive::TreeNode& n : nodes_) {
    if (n.node.level != NodeRef::Level::kProtocol) continue;
    conversations += n.conversations;
    messages += n.messages;
    last = std::max(last, n.last_sent_at);
  }
  everything->setData(1, Qt::DisplayRole, qlonglong{conversations});
  everything->setData(2, Qt::DisplayRole, qlonglong{messages});
  everything->setText(3, ShortStamp(last));
  tree_->addTopLevelItem(everything);
  everything->setExpanded(true);
  if (!people)
    for (int i = 0; i < everything->childCount(); ++i) everything->child(i)->setExpanded(true);
}

void TreePane::AddAccountItems(QTreeWidgetItem* everything) {
  std::map<std::pair<int, int64_t>, QTreeWidgetItem*> items;
  for (const archive::TreeNode& n : nodes_) {
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
  }
}

void TreePane::ShowMenu(const QPoint& at) {
  QTreeWidgetItem* item = tree_->itemAt(at);
  if (!item || view() != View::kPeople) return;
  const NodeRef node = NodeOf(item);
  const std::string person = item->data(0, kPersonRole).toString().toStdString();
  const std::string handle = item->data(0, kHandleRole).toString().toStdString();
  QMenu menu(this);
  if (node.level == NodeRef::Level::kPerson) {
    menu.addAction(QStringLiteral("Read All"), this, [this, node] {
      if (on_read_all) on_read_all(node);
    });
    menu.addAction(QStringLiteral("Rename Person\u2026"), this, [this, person] {
      if (on_rename) on_rename(person);
    });
  } else if (node.level == NodeRef::Level::kContact && !person.empty()) {
    menu.addAction(QStringLiteral("Same Person as\u2026"), this, [this, handle] {
      if (on_merge) on_merge(handle, "");
    });
    QAction* alone = menu.addAction(QStringLiteral("Stand Alone"), this, [this, handle] {
      if (on_split) on_split(handle);
    });
    alone->setEnabled(item->parent() && item->parent()->childCount() > 1);
  }
  if (!menu.isEmpty()) menu.exec(tree_->viewport()->mapToGlobal(at));
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

bool TreePane::SelectQuietly(const NodeRef& node) {
  const QSignalBlocker quiet(tree_);
  for (QTreeWidgetItemIterator it(tree_); *it; ++it) {
    const NodeRef here = NodeOf(*it);
    if (here.level != node.level || here.id != node.id) continue;
    tree_->setCurrentItem(*it);
    tree_->scrollToItem(*it);
    return true;
  }
  return false;
}

NodeRef TreePane::PlaceOf(int64_t contact) const {
  const archive::PersonRow* r = RowOf(contact);
  if (view() == View::kPeople && r && r->person_id != 0)
    return {NodeRef::Level::kPerson, r->person_id};
  return {NodeRef::Level::kContact, contact};
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
