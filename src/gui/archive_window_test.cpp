#include "gui/archive_window.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTreeWidget>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <set>

#include "archive/archive.h"
#include "archive/search.h"
#include "archive/sqlite_db.h"
#include "core/tables.h"
#include "gui/conversation_header.h"
#include "gui/display_text.h"
#include "gui/frm_main.h"
#include "gui/message_view.h"
#include "gui/tree_pane.h"
#include "platform/posix_env.h"
#include "testing/fixtures.h"
#include "testing/scripted_dialogs.h"
#include "testing/temp_tree.h"

using namespace chatterwick;

class ArchiveWindowTest : public QObject {
  Q_OBJECT

  struct Fixture {
    testing::TempTree tree;
    std::string db = tree.Path("a.sqlite");
    testing::ScriptedDialogs dialogs;

    // The window over db, its boxes answered here, once it has read what it
    // reads when it opens.
    std::unique_ptr<gui::ArchiveWindow> Open(QString log_folder = {}) {
      dialogs.chooser = [log_folder](gui::Dialogs::Choose, const QString&) { return log_folder; };
      auto w = std::make_unique<gui::ArchiveWindow>(db, *PosixEnv(), log_folder);
      Settle(*w);
      return w;
    }
    static void Settle(gui::ArchiveWindow& w) { QTRY_VERIFY_WITH_TIMEOUT(!w.Reading(), 20000); }
    std::vector<std::string> Informed() const {
      std::vector<std::string> texts;
      for (const auto& t : dialogs.told) texts.push_back(t.text.toStdString());
      return texts;
    }
    void ArchiveFixtures() {
      for (const auto& t : testing::FixtureTrees())
        QVERIFY(archive::RunArchive(*PosixEnv(), t.string() + "/", db, "*.html", nullptr).outcome ==
                archive::ArchiveOutcome::kDone);
    }
    int64_t Count(const std::string& sql) {
      archive::Database d;
      int64_t n = -1;
      if (!d.Open(db, true).ok() || !d.QueryInt(sql.c_str(), &n).ok()) return -1;
      return n;
    }
  };

  template <typename T>
  static T* Find(QWidget& w, const char* name) {
    T* child = w.findChild<T*>(QString::fromLatin1(name));
    if (!child) qFatal("no control %s", name);
    return child;
  }

 private slots:
  void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

  void theTreeCountsWhatSqlCounts() {
    if (testing::FixtureTrees().empty()) QSKIP("no fixture trees");
    Fixture f;
    f.ArchiveFixtures();
    auto w = f.Open();
    auto* tree = Find<QTreeWidget>(*w, "treArchive");
    QCOMPARE(tree->topLevelItem(0)->data(2, Qt::DisplayRole).toLongLong(),
             f.Count("SELECT count(*) FROM message"));
    int contacts = 0;
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
      QTreeWidgetItem* item = *it;
      if (item->childCount() > 0 || item == tree->topLevelItem(0)) continue;
      ++contacts;
      const int64_t id = item->data(0, Qt::UserRole + 2).toLongLong();
      QCOMPARE(item->data(2, Qt::DisplayRole).toLongLong(),
               f.Count("SELECT count(*) FROM message m JOIN conversation v ON v.id = "
                       "m.conversation_id WHERE v.contact_id = " +
                       std::to_string(id)));
      QCOMPARE(
          item->data(1, Qt::DisplayRole).toLongLong(),
          f.Count("SELECT count(*) FROM conversation WHERE contact_id = " + std::to_string(id)));
    }
    QCOMPARE(contacts, static_cast<int>(f.Count("SELECT count(*) FROM contact")));
    // Names as people know them, and the filter folds case and accents.
    auto* filter = Find<QLineEdit>(*w, "txtTreeFilter");
    filter->setText("ZOE");
    int shown = 0;
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
      if (!(*it)->isHidden() && (*it)->childCount() == 0) {
        ++shown;
        QVERIFY((*it)->text(0).startsWith(QString::fromUtf8("zo\u00eb@")));
      }
    QVERIFY(shown > 0);
  }

  void aConversationShowsEveryMessageWithADayBetween() {
    if (testing::FixtureTrees().empty()) QSKIP("no fixture trees");
    Fixture f;
    f.ArchiveFixtures();
    auto w = f.Open();
    const int64_t id = f.Count(
        "SELECT conversation_id FROM message_text GROUP BY conversation_id "
        "ORDER BY count(DISTINCT substr(sent_at, 1, 10)) DESC LIMIT 1");
    w->OpenConversation(id);
    Fixture::Settle(*w);
    auto* view = Find<QListView>(*w, "lstMessages");
    const int64_t messages =
        f.Count("SELECT count(*) FROM message WHERE conversation_id = " + std::to_string(id));
    const int64_t days = f.Count(
        "SELECT count(DISTINCT substr(sent_at, 1, 10)) FROM message_text WHERE "
        "conversation_id = " +
        std::to_string(id));
    QVERIFY(days > 1);
    QCOMPARE(view->model()->rowCount(), static_cast<int>(messages + days));
    int64_t last_line = 0;
    std::set<QString> seen_days;
    for (int r = 0; r < view->model()->rowCount(); ++r) {
      const QModelIndex i = view->model()->index(r, 0);
      if (i.data(gui::MessageModel::kKindRole).toString() == "day") {
        QVERIFY(seen_days.insert(i.data(gui::MessageModel::kBodyRole).toString()).second);
        continue;
      }
      const int64_t line =
          f.Count("SELECT line_number FROM message WHERE id = " +
                  std::to_string(i.data(gui::MessageModel::kMessageIdRole).toLongLong()));
      QVERIFY(line > last_line);
      last_line = line;
    }
  }

  // The message in hand can be read as text: characters chosen in it are
  // what Copy takes; without a choice, Copy takes the chosen rows.
  void aMessagesCharactersCanBeChosenAndCopied() {
    if (testing::FixtureTrees().empty()) QSKIP("no fixture trees");
    Fixture f;
    f.ArchiveFixtures();
    auto w = f.Open();
    w->OpenConversation(
        f.Count("SELECT conversation_id FROM message_text WHERE kind = 'chat' LIMIT 1"));
    Fixture::Settle(*w);
    auto* view = Find<QListView>(*w, "lstMessages");
    int row = 0;
    while (view->model()->index(row, 0).data(gui::MessageModel::kKindRole).toString() != "chat")
      ++row;
    const QModelIndex index = view->model()->index(row, 0);
    view->setCurrentIndex(index);
    auto* text = qobject_cast<QLabel*>(view->indexWidget(index));
    QVERIFY(text);
    const QString sender = index.data(gui::MessageModel::kSenderRole).toString();
    QVERIFY(text->text().startsWith(sender + ": "));
    text->setSelection(0, static_cast<int>(sender.size()));
    QAction* copy = nullptr;
    for (QAction* a : w->findChildren<QAction*>())
      if (a->text() == QStringLiteral("&Copy")) copy = a;
    QVERIFY(copy);
    copy->trigger();
    QCOMPARE(QApplication::clipboard()->text(), sender);

    // The next message in hand has its own text; the last one's is gone.
    view->setCurrentIndex(view->model()->index(row + 1, 0));
    QVERIFY(!view->indexWidget(index));
    text = qobject_cast<QLabel*>(view->indexWidget(view->model()->index(row + 1, 0)));
    QVERIFY(!text || !text->hasSelectedText());
    view->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect);
    copy->trigger();
    QVERIFY(QApplication::clipboard()->text().contains(index.data(Qt::DisplayRole).toString()));
  }

  void aSearchShowsTheHitsSearchGivesAndOpensThem() {
    if (testing::FixtureTrees().empty()) QSKIP("no fixture trees");
    Fixture f;
    f.ArchiveFixtures();
    auto w = f.Open();
    Find<QLineEdit>(*w, "txtQuery")->setText("don't");
    w->RunSearch();
    auto* count = Find<QLabel>(*w, "lblHits");
    QTRY_VERIFY(count->text().endsWith("messages") || count->text().endsWith("message"));
    Fixture::Settle(*w);
    archive::SearchOptions options;
    QVERIFY(archive::TranslateQuery("don't", &options.query).ok());
    std::vector<int64_t> want;
    QVERIFY(archive::Search(f.db, options, [&](const archive::SearchHit& h) {
              want.push_back(h.message_id);
              return true;
            }).ok());
    QVERIFY(!want.empty());
    QCOMPARE(count->text(),
             want.size() == 1 ? QString("1 message") : QString("%L1 messages").arg(want.size()));
    auto* hits = Find<QListWidget>(*w, "lstHits");
    QCOMPARE(static_cast<size_t>(hits->count()), std::min<size_t>(want.size(), 200));
    // Choosing a hit opens its conversation with its message chosen.
    const int row = hits->count() / 2;
    emit hits->itemActivated(hits->item(row));
    Fixture::Settle(*w);
    auto* view = Find<QListView>(*w, "lstMessages");
    QCOMPARE(view->currentIndex().data(gui::MessageModel::kMessageIdRole).toLongLong(),
             static_cast<qlonglong>(want[static_cast<size_t>(row)]));
    QCOMPARE(Find<QTabWidget>(*w, "tabArchive")->currentIndex(), 0);
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    // The hit's words are marked in its message.
    auto* text = qobject_cast<QLabel*>(view->indexWidget(view->currentIndex()));
    QVERIFY(text &&
            text->text().contains(QRegularExpression("background-color: #ffd600; "
                                                     "color: black\">don.t</span>",
                                                     QRegularExpression::CaseInsensitiveOption)));
    QTest::keyClick(w.get(), Qt::Key_F3);
    QCOMPARE(hits->currentRow(), (row + 1) % hits->count());
    Fixture::Settle(*w);
    // Finding in the conversation has its own keys; F3 stays the search's.
    QTest::keyClick(w.get(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    auto* find = Find<QLineEdit>(*w, "txtFind");
    QTRY_VERIFY(find->hasFocus());
    QTest::keyClicks(find, "don't");
    QVERIFY(Find<QLabel>(*w, "lblFindCount")->text().endsWith("match") ||
            Find<QLabel>(*w, "lblFindCount")->text().endsWith("matches"));
    const qlonglong before =
        view->currentIndex().data(gui::MessageModel::kMessageIdRole).toLongLong();
    QTest::keyClick(find, Qt::Key_Return);
    QVERIFY(view->currentIndex().data(gui::MessageModel::kMessageIdRole).toLongLong() != before ||
            Find<QLabel>(*w, "lblFindCount")->text() == "1 match");
    QCOMPARE(hits->currentRow(), (row + 1) % hits->count());
    QTest::keyClick(find, Qt::Key_Escape);
    QVERIFY(!Find<QWidget>(*w, "fraFind")->isVisible());
  }

  // A new home folder has no data folder yet: the first archive makes it,
  // for its owner alone; a folder that cannot be made is named, with why.
  void theFirstArchiveMakesItsFolder() {
    Fixture f;
    f.tree.File("logs/p/a/c/2022-09-10.100000+0000UTC.html", testing::SmallLog(3));
    f.tree.File("home/file", "in the way");
    const std::string folder = f.tree.Path("home/.local/share/chatterwick/output/");
    f.db = folder + "archive.sqlite";
    auto w = f.Open(QString::fromStdString(f.tree.Path("logs/")));
    Find<QPushButton>(*w, "cmdBuild")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!w->Busy(), 30000);
    QCOMPARE(f.dialogs.told.back().icon, gui::Dialogs::Icon::kInformation);
    QCOMPARE(f.Count("SELECT count(*) FROM message"), int64_t{3});
    QCOMPARE(std::filesystem::status(folder).permissions() & std::filesystem::perms::all,
             std::filesystem::perms::owner_all);

    f.db = f.tree.Path("home/file/output/archive.sqlite");
    auto cannot = f.Open(QString::fromStdString(f.tree.Path("logs/")));
    Find<QPushButton>(*cannot, "cmdBuild")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!cannot->Busy(), 30000);
    QCOMPARE(f.dialogs.told.back().icon, gui::Dialogs::Icon::kWarning);
    QVERIFY2(f.dialogs.told.back().text.startsWith(
                 QString::fromStdString("The archive " + f.db + " could not be used: the folder " +
                                        f.tree.Path("home/file/output/") + " could not be made: ")),
             qPrintable(f.dialogs.told.back().text));
  }

  void anUpdateRunsOffTheWindowAndCanBeCancelled() {
    Fixture f;
    for (int c = 0; c < 30; ++c)
      for (int l = 0; l < 10; ++l)
        f.tree.File("logs/p/a/c" + std::to_string(c) + "/2022-09-" + std::to_string(10 + l) +
                        ".100000+0000UTC.html",
                    testing::SmallLog(400));
    auto w = f.Open(QString::fromStdString(f.tree.Path("logs/")));
    QVERIFY(Find<QLabel>(*w, "lblArchiveMessage")->text().contains("There is no archive"));
    QVERIFY(Find<QPushButton>(*w, "cmdBuild")->isVisibleTo(w.get()));
    w->StartUpdate({QString::fromStdString(f.tree.Path("logs/"))});
    QVERIFY(w->Busy());
    auto* progress = Find<QProgressBar>(*w, "barUpdate");
    QTRY_VERIFY_WITH_TIMEOUT(progress->value() > 0 || !w->Busy(), 30000);
    w->CancelUpdate();
    QTRY_VERIFY_WITH_TIMEOUT(!w->Busy(), 30000);
    QCOMPARE(f.Informed().size(), size_t(1));
    QVERIFY2(f.Informed()[0].find("Stopped") != std::string::npos, f.Informed()[0].c_str());
    archive::Database d;
    QVERIFY(d.Open(f.db, true).ok());
    archive::Statement check;
    QVERIFY(check.Prepare(d, "PRAGMA integrity_check").ok());
    bool row = false;
    QVERIFY(check.Step(&row).ok() && row);
    QCOMPARE(std::string(check.Text(0)), std::string("ok"));
    // The next update completes it.
    Find<QPushButton>(*w, "cmdBuild")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!w->Busy(), 60000);
    Fixture::Settle(*w);
    QCOMPARE(f.Count("SELECT count(*) FROM conversation"), int64_t{300});
    QCOMPARE(f.Count("SELECT count(*) FROM message"), int64_t{300 * 400});
    QCOMPARE(
        Find<QTreeWidget>(*w, "treArchive")->topLevelItem(0)->data(2, Qt::DisplayRole).toLongLong(),
        qlonglong{300 * 400});
  }

  // A first archive from the client's folder, a second folder added, both
  // updated at once, listed, and what is gone from both removed when asked.
  void theWindowReadsEverySourceAndRemovesOnlyWhatIsGoneFromAll() {
    Fixture f;
    const std::string name = "p/a/bob/2022-09-30.100000+0000UTC.html";
    f.tree.File("client/" + name, testing::SmallLog(2));
    f.tree.File("backup/" + name, testing::SmallLog(3));
    f.tree.File("backup/p/a/bob/2021-01-01.100000+0000UTC.html", testing::SmallLog(1));
    auto w = f.Open(QString::fromStdString(f.tree.Path("client/")));
    auto* offer = Find<QPushButton>(*w, "cmdReadDefault");
    QVERIFY(offer->isVisibleTo(w.get()));
    QVERIFY(Find<QLabel>(*w, "lblArchiveMessage")->text().contains("logs are in"));
    offer->click();
    QTRY_VERIFY_WITH_TIMEOUT(!w->Busy(), 30000);
    f.dialogs.chooser = [&](gui::Dialogs::Choose, const QString&) {
      return QString::fromStdString(f.tree.Path("backup"));
    };
    auto act = [&](const char* text) {
      for (QAction* a : w->findChildren<QAction*>())
        if (a->text() == QString::fromUtf8(text)) return a->trigger();
      qFatal("no action %s", text);
    };
    act("&Add a Log Folder\u2026");
    QTRY_VERIFY_WITH_TIMEOUT(!w->Busy(), 30000);
    QCOMPARE(f.Count("SELECT count(*) FROM message"), int64_t{4});
    f.dialogs.told.clear();
    act("&Update");
    QTRY_VERIFY_WITH_TIMEOUT(!w->Busy(), 30000);
    QVERIFY2(
        f.Informed().back().find("Sources read: 2, could not be reached: 0") != std::string::npos,
        f.Informed().back().c_str());
    Fixture::Settle(*w);
    act("&Sources\u2026");
    QTRY_VERIFY(!w->Reading() && f.Informed().back().find("Source: backup") != std::string::npos);
    QVERIFY(f.Informed().back().find("Source: client") != std::string::npos);
    auto* list = Find<QTreeWidget>(*w, "lstConversations");
    std::set<QString> held;
    for (int i = 0; i < list->topLevelItemCount(); ++i) held.insert(list->topLevelItem(i)->text(4));
    QCOMPARE(held, (std::set<QString>{"backup", "client, backup"}));

    std::filesystem::remove(f.tree.Path("client/" + name));
    act("&Update");
    QTRY_VERIFY_WITH_TIMEOUT(!w->Busy(), 30000);
    f.dialogs.confirm = true;
    act("&Remove Conversations Gone from Every Source\u2026");
    QTRY_VERIFY(!w->Reading() && !w->Busy());
    QVERIFY2(f.Informed().back().find("No conversation is gone") != std::string::npos,
             f.Informed().back().c_str());
    std::filesystem::remove(f.tree.Path("backup/" + name));
    act("&Update");
    QTRY_VERIFY_WITH_TIMEOUT(!w->Busy(), 30000);
    act("&Remove Conversations Gone from Every Source\u2026");
    QTRY_VERIFY_WITH_TIMEOUT(!w->Busy() && f.Count("SELECT count(*) FROM conversation") == 1,
                             30000);
    QCOMPARE(f.Count("SELECT count(*) FROM message"), int64_t{1});
  }

  void statisticsEqualSqlAndCopyAsText() {
    if (testing::FixtureTrees().empty()) QSKIP("no fixture trees");
    Fixture f;
    f.ArchiveFixtures();
    auto w = f.Open();
    auto* tabs = Find<QTabWidget>(*w, "tabArchive");
    tabs->setCurrentIndex(2);
    QCOMPARE(tabs->tabText(2), QString("Statistics (computing\u2026)"));
    QTRY_VERIFY(w->findChild<QTreeWidget*>("lstSenders") && !w->Busy());
    QCOMPARE(tabs->tabText(2), QString("Statistics"));
    QVERIFY(Find<QLabel>(*w, "lblStatsSummary")
                ->text()
                .startsWith(QString("%L1 messages").arg(f.Count("SELECT count(*) FROM message"))));
    auto* senders = Find<QTreeWidget>(*w, "lstSenders");
    qlonglong sum = 0;
    for (int i = 0; i < senders->topLevelItemCount(); ++i)
      sum += QLocale().toLongLong(senders->topLevelItem(i)->text(2));
    QCOMPARE(sum, f.Count("SELECT count(*) FROM message_text WHERE sender <> ''"));
    // The window's Copy takes the figures of the table in hand.
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    senders->setFocus();
    QTRY_VERIFY(senders->hasFocus());
    QApplication::clipboard()->clear();
    QTest::keyClick(senders, Qt::Key_C, Qt::ControlModifier);
    QVERIFY(QApplication::clipboard()->text().startsWith("Sender\tAccount\tMessages\n"));
  }

  void exportsWriteTheChosenConversations() {
    if (testing::FixtureTrees().empty()) QSKIP("no fixture trees");
    Fixture f;
    f.ArchiveFixtures();
    auto w = f.Open();
    const int64_t a = f.Count("SELECT min(id) FROM conversation"),
                  b = f.Count("SELECT max(id) FROM conversation");
    w->ExportConversations({a, b}, "txt", QString::fromStdString(f.tree.Path("out")));
    QTRY_VERIFY(!w->Busy());
    QVERIFY2(Find<QLabel>(*w, "lblArchiveStatus")->text().startsWith("2 files written to "),
             qPrintable(Find<QLabel>(*w, "lblArchiveStatus")->text()));

    // Search results: whole conversations, or only the matching messages.
    Find<QLineEdit>(*w, "txtQuery")->setText("combining");
    w->RunSearch();
    auto* hits = Find<QListWidget>(*w, "lstHits");
    QTRY_VERIFY(hits->count() > 0);
    Fixture::Settle(*w);
    const std::string out = f.tree.Path("matching");
    f.dialogs.answers = {"Only the matching messages", "txt"};
    f.dialogs.chooser = [&](gui::Dialogs::Choose, const QString&) {
      return QString::fromStdString(out);
    };
    for (QAction* action : w->findChildren<QAction*>())
      if (action->text() == "Export Search &Results\u2026") action->trigger();
    QTRY_VERIFY(!w->Busy());
    QCOMPARE(f.dialogs.offered[f.dialogs.offered.size() - 2],
             std::string("Whole conversations, Only the matching messages"));
    // A message is its line and the indented lines of its own line breaks.
    std::vector<std::string> messages;
    for (const auto& e : std::filesystem::recursive_directory_iterator(out)) {
      if (e.path().extension() != ".txt") continue;
      std::ifstream in(e.path());
      for (std::string line; std::getline(in, line);) {
        if (line.starts_with("[")) messages.push_back(line);
        else if (line.starts_with(" ") && !messages.empty()) messages.back() += "\n" + line;
      }
    }
    for (const std::string& m : messages)
      QVERIFY2(m.find("combining") != std::string::npos, m.c_str());
    QCOMPARE(static_cast<int>(messages.size()), hits->count());
  }

  void whatIsNoArchiveIsSaidAndNothingChanges() {
    Fixture f;
    f.tree.File("a.sqlite", "just some text, no database at all, for a test to open");
    auto w = f.Open();
    QString says = Find<QLabel>(*w, "lblArchiveMessage")->text();
    QVERIFY2(says.contains("cannot be read") && says.count("not a chatterwick archive") == 1,
             qPrintable(says));
    QVERIFY(!Find<QPushButton>(*w, "cmdBuild")->isVisibleTo(w.get()));
    QCOMPARE(f.tree.Read("a.sqlite"),
             std::string("just some text, no database at all, for a test to open"));
    // A database, but without the archive's tables: not an archive, not an empty one.
    {
      archive::Database d;
      QVERIFY(d.Open(f.tree.Path("b.sqlite"), false).ok());
      QVERIFY(d.Exec("CREATE TABLE notes(x); PRAGMA user_version = 3;").ok());
    }
    f.db = f.tree.Path("b.sqlite");
    w = f.Open();
    says = Find<QLabel>(*w, "lblArchiveMessage")->text();
    QVERIFY2(says.count("not a chatterwick archive") == 1 && !says.contains("empty"),
             qPrintable(says));
    QVERIFY(!Find<QPushButton>(*w, "cmdBuild")->isVisibleTo(w.get()));
  }

  // Each command and its keys in a column of their own, and the update's
  // progress wide enough for what it says.
  void shortcutsAndProgressCanBeRead() {
    Fixture f;
    auto w = f.Open();
    for (QAction* a : w->findChildren<QAction*>())
      if (a->text() == "&Keyboard Shortcuts") a->trigger();
    QVERIFY(!f.dialogs.told.empty());
    const QString said = f.dialogs.told.back().text;
    QVERIFY2(said.contains(QString("<td>Conversation</td><td style=\"padding-left: 24px\">") +
                           QKeySequence(Qt::ALT | Qt::Key_1).toString(QKeySequence::NativeText)),
             qPrintable(said));
    auto* bar = Find<QProgressBar>(*w, "barUpdate");
    QVERIFY(bar->minimumWidth() >
            bar->fontMetrics().horizontalAdvance("4445 of 12330 logs, about 3 s left"));
  }

  // A hit in another person's conversation: the tree and the list follow,
  // and the reading view keeps the hit.
  void theTreeAndTheListFollowAJump() {
    if (testing::FixtureTrees().empty()) QSKIP("no fixture trees");
    Fixture f;
    f.ArchiveFixtures();
    auto w = f.Open();
    auto* tree = Find<QTreeWidget>(*w, "treArchive");
    auto* everything = tree->topLevelItem(0);
    QTreeWidgetItem* niaj = nullptr;
    for (int i = 0; i < everything->childCount(); ++i)
      if (everything->child(i)->text(0) == "Niaj") niaj = everything->child(i);
    QVERIFY(niaj);
    tree->setCurrentItem(niaj);
    Fixture::Settle(*w);
    Find<QLineEdit>(*w, "txtQuery")->setText("\"combining: \"");
    Find<QLineEdit>(*w, "txtSender")->setText("Bob Jones");
    w->RunSearch();
    auto* hits = Find<QListWidget>(*w, "lstHits");
    QTRY_VERIFY(hits->count() > 0);
    Fixture::Settle(*w);
    emit hits->itemActivated(hits->item(0));
    Fixture::Settle(*w);
    QTRY_COMPARE(tree->currentItem()->text(0), QString("Bob Jones"));
    Fixture::Settle(*w);
    auto* header =
        dynamic_cast<gui::ConversationHeader*>(Find<QLabel>(*w, "lblConversationHeader"));
    QVERIFY(header->plain().startsWith("Bob Jones ("));
    auto* list = Find<QTreeWidget>(*w, "lstConversations");
    QVERIFY(list->currentItem());
    // The list's chosen conversation is the hit's, and the view still holds the hit.
    QVERIFY(header->plain().contains(list->currentItem()->text(0)));
    auto* view = Find<QListView>(*w, "lstMessages");
    QVERIFY(view->currentIndex().isValid());
  }

  // The search's calendars start at the archive's first and last days and
  // keep inside them, whatever today is.
  void theCalendarsKeepToTheArchivesDays() {
    if (testing::FixtureTrees().empty()) QSKIP("no fixture trees");
    Fixture f;
    f.ArchiveFixtures();
    auto w = f.Open();
    auto* from = Find<QDateEdit>(*w, "dteFrom");
    auto* to = Find<QDateEdit>(*w, "dteTo");
    auto day = [&](const char* which) {
      archive::Database d;
      archive::Statement st;
      bool row = false;
      if (!d.Open(f.db, true).ok() ||
          !st.Prepare(
                 d, (std::string("SELECT substr(") + which + "(sent_at), 1, 10) FROM message_text")
                        .c_str())
               .ok() ||
          !st.Step(&row).ok() || !row)
        return QDate();
      return QDate::fromString(QString::fromStdString(std::string(st.Text(0))), Qt::ISODate);
    };
    QVERIFY(day("min").isValid());
    QCOMPARE(from->date(), day("min"));
    QCOMPARE(to->date(), day("max"));
    QCOMPARE(from->minimumDate(), day("min"));
    QCOMPARE(to->maximumDate(), day("max"));
  }

  // People first: a person's conversations across handles, newest first;
  // what the user says of people is done off the window's thread and kept.
  void peopleComeFirstAndTheUsersWordIsKept() {
    if (testing::FixtureTrees().empty()) QSKIP("no fixture trees");
    Fixture f;
    f.ArchiveFixtures();
    auto w = f.Open();
    QCOMPARE(Find<QComboBox>(*w, "cboTreeView")->currentText(), QString("People"));
    auto* tree = Find<QTreeWidget>(*w, "treArchive");
    auto person = [&](const QString& name) -> QTreeWidgetItem* {
      QTreeWidgetItem* everything = tree->topLevelItem(0);
      for (int i = 0; i < everything->childCount(); ++i)
        if (everything->child(i)->text(0) == name) return everything->child(i);
      return nullptr;
    };
    QVERIFY(person("Bob Jones") && person("Niaj"));
    const int bob = person("Bob Jones")->childCount(), niaj = person("Niaj")->childCount();
    QVERIFY(bob >= 3);
    tree->setCurrentItem(person("Bob Jones"));
    auto* list = Find<QTreeWidget>(*w, "lstConversations");
    QTRY_COMPARE(list->topLevelItemCount(), person("Bob Jones")->data(1, Qt::DisplayRole).toInt());
    QVERIFY(list->topLevelItem(0)->text(0) > list->topLevelItem(1)->text(0));
    QVERIFY(list->topLevelItem(0)->text(1).contains(" ("));
    // The reading view says whose it is: the person, the handle, when, how much, where.
    auto* header =
        dynamic_cast<gui::ConversationHeader*>(Find<QLabel>(*w, "lblConversationHeader"));
    QTRY_VERIFY(header->plain().startsWith("Bob Jones ("));
    QVERIFY(header->plain().contains(" messages \u00b7 held by "));
    QVERIFY(header->plain().contains(list->topLevelItem(0)->text(0)));

    auto* pane = dynamic_cast<gui::TreePane*>(Find<QWidget>(*w, "paneTree"));
    QVERIFY(pane);
    f.dialogs.answers = {"Bob Jones"};
    pane->on_merge("irc/alice@irc.libera.chat/bob", "");
    QTRY_VERIFY(!w->Busy() && !w->Reading() && person("Bob Jones") &&
                person("Bob Jones")->childCount() == bob + 1);
    QVERIFY(f.dialogs.offered.back().find("Bob Jones") != std::string::npos);
    // A rename onto another person's name merges the two, once the user agrees.
    f.dialogs.answers = {"Niaj"};
    f.dialogs.confirm = true;
    pane->on_rename("Bob Jones");
    QTRY_VERIFY(!w->Busy() && !w->Reading() && !person("Bob Jones") && person("Niaj") &&
                person("Niaj")->childCount() == bob + 1 + niaj);
    f.dialogs.answers = {"  "};
    pane->on_rename("Niaj");
    QTRY_VERIFY(!w->Busy() && !f.dialogs.told.empty());
    QCOMPARE(f.dialogs.told.back().icon, gui::Dialogs::Icon::kWarning);
    QVERIFY(f.dialogs.told.back().text.contains("empty or only blanks"));
    QCOMPARE(f.Count("SELECT count(*) FROM person_choice WHERE person = 'Niaj'"),
             int64_t{bob + 1 + niaj});
  }

  void theMainWindowOpensTheArchive() {
    Fixture f;
    LoadedLog log;
    Catalogue catalogue;
    gui::FrmMain main(log, catalogue, *PosixEnv());
    auto* button = Find<QPushButton>(main, "cmdArchive");
    QCOMPARE(button->text(), QString::fromUtf8("Browse Archive\u2026"));
    QVERIFY(!button->geometry().intersects(Find<QWidget>(main, "lblStatus")->geometry()));
    button->click();
    QWidget* opened = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
      if (top->objectName() == "frmArchive" && top->isVisible()) opened = top;
    QVERIFY(opened);
    QVERIFY(opened->windowTitle().startsWith("archive.sqlite"));
    opened->close();
  }
};

QTEST_MAIN(ArchiveWindowTest)
#include "archive_window_test.moc"
