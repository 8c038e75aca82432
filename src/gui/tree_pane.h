#pragma once

#include <QWidget>
#include <functional>
#include <map>
#include <unordered_map>
#include <vector>

#include "archive/people_table.h"
#include "archive/reader.h"

class QComboBox;
class QLineEdit;
class QTreeWidgetItem;

namespace chatterwick::gui {

class PeopleTreeWidget;

// The archive as a tree: everything, then its people with their handles
// (People), or its protocols, accounts and contacts (Accounts), names as
// people know them, each with its conversations, messages and last
// message; a box above it narrows the tree as people type, letter case and
// accents ignored. In People, a handle dropped on a person, or the context
// menu, tells what the user says about people.
class TreePane : public QWidget {
 public:
  enum class View { kPeople, kAccounts };
  explicit TreePane(QWidget* parent = nullptr);

  // The tree anew, keeping the node chosen before when it is still there.
  // Without people (an archive from before them) there is no People view.
  void Fill(const std::vector<archive::TreeNode>& nodes,
            const std::vector<archive::PersonRow>& people = {});
  void SetView(View view);
  View view() const;
  // Who a contact is, as a list names it: "Bob Jones (icq, 100000000)".
  QString WhoIs(int64_t contact) const;
  // WhoIs of every contact, by contact.
  std::map<int64_t, QString> WhoIsEach() const;
  // The handle alone: "100000000 (icq, 123456789)".
  QString HandleOf(int64_t contact) const;
  // The name a node of the tree shows.
  QString NameOf(const archive::NodeRef& node) const;
  // Every person's name, by name.
  QStringList PersonNames() const;
  // The handles of the person called name.
  std::vector<std::string> HandlesOf(const std::string& person) const;
  // Every message below the tree (0 before it is filled).
  int64_t TotalMessages() const;
  // Chooses node, when the tree has it; false when it has not.
  bool Select(const archive::NodeRef& node);
  // Chooses node without telling on_chosen: the window follows a jump itself.
  bool SelectQuietly(const archive::NodeRef& node);
  // Where the tree shows contact: its person in People (a room: itself), or itself.
  archive::NodeRef PlaceOf(int64_t contact) const;
  void FocusFilter();

  // Told of each node chosen.
  std::function<void(const archive::NodeRef& node)> on_chosen;
  // What the user says: a handle to join a person (empty: to be chosen), a
  // handle to stand alone, a person to rename or to read whole.
  std::function<void(const std::string& handle, const std::string& person)> on_merge;
  std::function<void(const std::string& handle)> on_split;
  std::function<void(const std::string& person)> on_rename;
  std::function<void(const archive::NodeRef& person)> on_read_all;

 private:
  // The contact's row of people_, or null.
  const archive::PersonRow* RowOf(int64_t contact) const;
  void FillItems();
  void AddAccountItems(QTreeWidgetItem* everything);
  void Filter(const QString& typed);
  void ShowMenu(const QPoint& at);

  QComboBox* view_;
  QLineEdit* filter_;
  PeopleTreeWidget* tree_;
  std::vector<archive::TreeNode> nodes_;
  std::vector<archive::PersonRow> people_;
  // By contact: its row in people_, its node in nodes_.
  std::unordered_map<int64_t, size_t> person_row_, contact_node_;
};

}  // namespace chatterwick::gui
