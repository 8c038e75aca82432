#pragma once

#include <QString>
#include <QTreeWidget>
#include <functional>
#include <map>
#include <vector>

#include "archive/people_table.h"
#include "archive/reader.h"

// The tree's People view: each person with their handles inside, and the
// chat rooms after them, each with what lies below it.
namespace chatterwick::gui {

// Where a tree item keeps what it stands for.
inline constexpr int kLevelRole = Qt::UserRole + 1;
inline constexpr int kIdRole = Qt::UserRole + 2;
inline constexpr int kHandleRole = Qt::UserRole + 3;  // a contact's PROTOCOL/ACCOUNT/CONTACT
inline constexpr int kPersonRole = Qt::UserRole + 4;  // a person's name, on it and its contacts

// How a handle is shown below its person: "100000000 (icq, 123456789)".
QString HandleLabel(const archive::PersonRow& row);

// Adds the people below everything, with the counts and latest stamps of
// nodes (the Accounts view's contacts); returns their messages.
int64_t AddPeopleItems(QTreeWidgetItem* everything, const std::vector<archive::TreeNode>& nodes,
                       const std::vector<archive::PersonRow>& people);

// A tree that tells of a contact dropped onto a person, and moves nothing
// itself: the archive regroups, and the tree is filled anew.
class PeopleTreeWidget : public QTreeWidget {
 public:
  explicit PeopleTreeWidget(QWidget* parent = nullptr);
  std::function<void(QTreeWidgetItem* contact, QTreeWidgetItem* person)> on_dropped;

 protected:
  void dropEvent(QDropEvent* event) override;
};

}  // namespace chatterwick::gui
