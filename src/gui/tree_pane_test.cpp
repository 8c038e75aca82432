#include "gui/tree_pane.h"

#include <QLineEdit>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QtTest>

using namespace chatterwick;
using archive::NodeRef;
using Level = NodeRef::Level;

namespace {

archive::TreeNode Node(Level level, int64_t id, int64_t parent, const std::string& name,
                       int64_t conversations = 0, int64_t messages = 0,
                       const std::string& last = {}) {
  archive::TreeNode n;
  n.node = {level, id};
  n.parent_id = parent;
  n.name = name;
  n.display_name = name;
  n.conversations = conversations;
  n.messages = messages;
  n.last_sent_at = last;
  return n;
}

// Two protocols, three accounts, four contacts; one contact of an account
// that is not there.
std::vector<archive::TreeNode> Nodes() {
  return {Node(Level::kProtocol, 1, 0, "jabber", 3, 30, "2022-09-30T17:00:00+02:00"),
          Node(Level::kProtocol, 2, 0, "aim", 1, 5, "2019-01-09T09:48:00+01:00"),
          Node(Level::kAccount, 1, 1, "me@example.org", 2, 20),
          Node(Level::kAccount, 2, 1, "work@example.org", 1, 10),
          Node(Level::kAccount, 3, 2, "me", 1, 5),
          Node(Level::kContact, 1, 1, "zo\u00eb@example.org", 2, 20),
          Node(Level::kContact, 2, 2, "bob@example.org", 1, 10),
          Node(Level::kContact, 3, 3, "bob", 1, 5),
          Node(Level::kContact, 4, 99, "nobody", 7, 70)};
}

}  // namespace

class TreePaneTest : public QObject {
  Q_OBJECT

 private slots:
  void everythingAddsUpItsProtocols() {
    gui::TreePane pane;
    std::vector<NodeRef> chosen;
    pane.on_chosen = [&](const NodeRef& n) { chosen.push_back(n); };
    pane.Fill(Nodes());
    auto* tree = pane.findChild<QTreeWidget*>("treArchive");
    QTreeWidgetItem* everything = tree->topLevelItem(0);
    QCOMPARE(everything->text(0), QString("Everything"));
    QCOMPARE(everything->data(1, Qt::DisplayRole).toLongLong(), qlonglong{4});
    QCOMPARE(pane.TotalMessages(), int64_t{35});
    QCOMPARE(everything->text(3), QString("2022-09-30 17:00"));
    int items = 0;
    for (QTreeWidgetItemIterator it(tree); *it; ++it) ++items;
    QCOMPARE(items, 9);  // the contact of no known account is left out
    // Filled once, the tree chooses Everything once.
    QCOMPARE(chosen.size(), size_t(1));
    QCOMPARE(chosen[0].level, Level::kEverything);
  }

  void theFilterFoldsCaseAndAccentsAndKeepsParents() {
    gui::TreePane pane;
    pane.Fill(Nodes());
    auto* tree = pane.findChild<QTreeWidget*>("treArchive");
    pane.findChild<QLineEdit*>("txtTreeFilter")->setText("ZOE");
    QStringList shown;
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
      if (!(*it)->isHidden()) shown << (*it)->text(0);
    QCOMPARE(shown, QStringList({"Everything", "jabber", "me@example.org",
                                 QString::fromUtf8("zo\u00eb@example.org")}));
    // Filled anew, the filter still holds.
    pane.Fill(Nodes());
    int visible = 0;
    for (QTreeWidgetItemIterator it(tree); *it; ++it) visible += !(*it)->isHidden();
    QCOMPARE(visible, 4);
  }

  void aChosenNodeStaysChosenWhenTheTreeIsFilledAgain() {
    gui::TreePane pane;
    std::vector<NodeRef> chosen;
    pane.on_chosen = [&](const NodeRef& n) { chosen.push_back(n); };
    pane.Fill(Nodes());
    QVERIFY(pane.Select({Level::kContact, 3}));
    QVERIFY(!pane.Select({Level::kContact, 42}));
    pane.Fill(Nodes());
    QCOMPARE(chosen.back().level, Level::kContact);
    QCOMPARE(chosen.back().id, int64_t{3});
    // Choosing what is chosen shows it anew.
    const size_t before = chosen.size();
    QVERIFY(pane.Select({Level::kContact, 3}));
    QCOMPARE(chosen.size(), before + 1);
  }
};

QTEST_MAIN(TreePaneTest)
#include "tree_pane_test.moc"
