#include "gui/tree_pane.h"

#include <QComboBox>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
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

archive::PersonRow Row(const std::string& person, int64_t person_id, int64_t contact,
                       const std::string& protocol, const std::string& name) {
  archive::PersonRow r;
  r.person = person;
  r.person_id = person_id;
  r.contact_id = contact;
  r.protocol = protocol;
  r.account = "me";
  r.contact = name;
  r.handle = protocol + "/me/" + name;
  return r;
}

// Zoë on one handle, Bob on two; contact 4's account is not there, and is left out.
std::vector<archive::PersonRow> People() {
  return {Row("Bob Jones", 7, 2, "jabber", "bob@example.org"), Row("Bob Jones", 7, 3, "aim", "bob"),
          Row("Zo\u00eb", 8, 1, "jabber", "zo\u00eb@example.org"),
          Row("", 0, 4, "irc", "#room.chat")};
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

  void peopleComeFirstAndAHandleDroppedOnAPersonJoinsIt() {
    gui::TreePane pane;
    std::vector<std::pair<std::string, std::string>> merged;
    pane.on_merge = [&](const std::string& h, const std::string& p) { merged.emplace_back(h, p); };
    pane.Fill(Nodes(), People());
    pane.resize(400, 300);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    auto* tree = pane.findChild<QTreeWidget*>("treArchive");
    QTreeWidgetItem* everything = tree->topLevelItem(0);
    QStringList shown;
    for (int i = 0; i < everything->childCount(); ++i)
      shown << everything->child(i)->text(0) + ":" +
                   QString::number(everything->child(i)->childCount());
    QCOMPARE(shown, QStringList({"Bob Jones:2", QString::fromUtf8("Zo\u00eb:1"),
                                 "#room.chat (irc, me):0"}));
    QTreeWidgetItem* bob = everything->child(0);
    QCOMPARE(bob->data(1, Qt::DisplayRole).toLongLong(), qlonglong{2});
    QCOMPARE(bob->data(2, Qt::DisplayRole).toLongLong(), qlonglong{15});
    QCOMPARE(pane.WhoIs(3), QString("Bob Jones \u2014 bob (aim, me)"));
    QCOMPARE(pane.PersonNames(), QStringList({"Bob Jones", QString::fromUtf8("Zo\u00eb")}));

    // Zoë's handle dropped on Bob: the pane tells, and moves nothing itself.
    QTreeWidgetItem* zoe = everything->child(1)->child(0);
    tree->setCurrentItem(zoe);
    tree->scrollToItem(bob);
    // As a drag does it: entered, then dropped.
    const QPoint at = tree->visualItemRect(bob).center();
    QMimeData* mime = tree->model()->mimeData({tree->currentIndex()});
    QDragEnterEvent enter(at, Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(tree->viewport(), &enter);
    QDropEvent drop(QPointF(at), Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(tree->viewport(), &drop);
    delete mime;
    QCOMPARE(merged.size(), size_t(1));
    QCOMPARE(merged[0].first, std::string("jabber/me/zo\u00eb@example.org"));
    QCOMPARE(merged[0].second, std::string("Bob Jones"));
    QCOMPARE(everything->child(1)->childCount(), 1);

    pane.findChild<QComboBox*>("cboTreeView")->setCurrentIndex(1);
    QCOMPARE(pane.view(), gui::TreePane::View::kAccounts);
    QCOMPARE(tree->topLevelItem(0)->child(0)->text(0), QString("jabber"));
  }
};

QTEST_MAIN(TreePaneTest)
#include "tree_pane_test.moc"
