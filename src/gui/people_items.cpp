#include "gui/people_items.h"

#include <QDropEvent>
#include <algorithm>

#include "archive/export_format.h"
#include "gui/display_text.h"

namespace chatterwick::gui {

namespace {

using archive::NodeRef;

struct Totals {
  int64_t conversations = 0, messages = 0;
  std::string last;
  void Add(const Totals& more) {
    conversations += more.conversations;
    messages += more.messages;
    last = std::max(last, more.last);
  }
};

void Show(QTreeWidgetItem* item, const NodeRef& node, const Totals& t) {
  item->setData(0, kLevelRole, static_cast<int>(node.level));
  item->setData(0, kIdRole, qlonglong{node.id});
  item->setData(1, Qt::DisplayRole, qlonglong{t.conversations});
  item->setData(2, Qt::DisplayRole, qlonglong{t.messages});
  item->setText(3, DecodeForDisplay(archive::ReadableStamp(t.last).substr(0, 16)));
}

QTreeWidgetItem* HandleItem(QTreeWidgetItem* parent, const archive::PersonRow& r, const Totals& t) {
  auto* item = new QTreeWidgetItem(parent, {HandleLabel(r)});
  item->setToolTip(0, DecodeForDisplay(r.handle));
  item->setData(0, kHandleRole, QString::fromStdString(r.handle));
  item->setData(0, kPersonRole, QString::fromStdString(r.person));
  Show(item, {NodeRef::Level::kContact, r.contact_id}, t);
  return item;
}

}  // namespace

QString HandleLabel(const archive::PersonRow& row) {
  return DecodeForDisplay(row.contact + " (" + row.protocol + ", " + row.account + ")");
}

int64_t AddPeopleItems(QTreeWidgetItem* everything, const std::vector<archive::TreeNode>& nodes,
                       const std::vector<archive::PersonRow>& people) {
  std::map<int64_t, Totals> of_contact;
  for (const archive::TreeNode& n : nodes)
    if (n.node.level == NodeRef::Level::kContact)
      of_contact[n.node.id] = {n.conversations, n.messages, n.last_sent_at};
  int64_t messages = 0;
  QTreeWidgetItem* person = nullptr;
  Totals totals;
  // The rows come by person, the rooms last.
  for (const archive::PersonRow& r : people) {
    const Totals& t = of_contact[r.contact_id];
    messages += t.messages;
    if (r.person.empty()) {
      HandleItem(everything, r, t);
      continue;
    }
    if (!person || person->data(0, kIdRole).toLongLong() != r.person_id) {
      person = new QTreeWidgetItem(everything, {DecodeForDisplay(r.person)});
      person->setData(0, kPersonRole, QString::fromStdString(r.person));
      person->setToolTip(0, r.why.empty()
                                ? QString()
                                : QStringLiteral("One person: %1").arg(DecodeForDisplay(r.why)));
      person->setFlags(person->flags() | Qt::ItemIsDropEnabled);
      totals = {};
    }
    QTreeWidgetItem* handle = HandleItem(person, r, t);
    handle->setFlags((handle->flags() | Qt::ItemIsDragEnabled) & ~Qt::ItemIsDropEnabled);
    totals.Add(t);
    Show(person, {NodeRef::Level::kPerson, r.person_id}, totals);
  }
  return messages;
}

PeopleTreeWidget::PeopleTreeWidget(QWidget* parent) : QTreeWidget(parent) {}

void PeopleTreeWidget::dropEvent(QDropEvent* event) {
  QTreeWidgetItem* contact = currentItem();
  QTreeWidgetItem* onto = itemAt(event->position().toPoint());
  // A handle dropped on another handle joins that handle's person.
  if (onto && onto->data(0, kLevelRole).toInt() == static_cast<int>(NodeRef::Level::kContact))
    onto = onto->parent();
  event->setDropAction(Qt::IgnoreAction);
  event->accept();
  if (contact && onto && contact->parent() != onto && on_dropped &&
      onto->data(0, kLevelRole).toInt() == static_cast<int>(NodeRef::Level::kPerson))
    on_dropped(contact, onto);
}

}  // namespace chatterwick::gui
