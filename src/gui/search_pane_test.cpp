#include "gui/search_pane.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QtTest>

using namespace chatterwick;

namespace {

archive::SearchHit Hit(int64_t message, int64_t conversation) {
  archive::SearchHit h;
  h.message_id = message;
  h.conversation_id = conversation;
  h.sent_at = "2022-09-30T17:39:26+02:00";
  h.protocol = "jabber";
  h.account = "me";
  h.contact = "bob";
  h.sender = "Bob";
  h.body = " see \x02you\x03 at eight";
  h.kind = "chat";
  return h;
}

}  // namespace

class SearchPaneTest : public QObject {
  Q_OBJECT

 private slots:
  void theBoxesSayWhatToFind() {
    gui::SearchPane pane;
    pane.findChild<QLineEdit*>("txtQuery")->setText("\"see you\" -later");
    pane.findChild<QLineEdit*>("txtContact")->setText(QString::fromUtf8("zo\u00eb"));
    auto* from = pane.findChild<QDateEdit*>("dteFrom");
    auto* to = pane.findChild<QDateEdit*>("dteTo");
    from->setDate(QDate(2022, 9, 1));
    to->setDate(QDate(2022, 9, 30));
    archive::SearchOptions o;
    QVERIFY(pane.Options(&o).ok());
    QVERIFY(!o.query.match.empty());
    QCOMPARE(o.contact, std::string("zo\xC3\xAB"));
    QCOMPARE(o.from, std::string());  // a day counts only when ticked
    QVERIFY(!o.newest_first);
    for (QCheckBox* box : pane.findChildren<QCheckBox*>()) box->setChecked(true);
    QVERIFY(pane.Options(&o).ok());
    QCOMPARE(o.from, std::string("2022-09-01"));
    QCOMPARE(o.to, std::string("2022-09-30"));
    QCOMPARE(o.limit, gui::SearchPane::kPage);
    QVERIFY(o.newest_first);
    from->setDate(QDate(2022, 10, 1));
    QCOMPARE(QString::fromStdString(pane.Options(&o).message()),
             QString("The day From is after the day To."));
    QString many;
    for (int i = 0; i < 20; ++i) many += QString("w%1 ").arg(i);
    pane.findChild<QLineEdit*>("txtQuery")->setText(many);
    QVERIFY(!pane.Options(&o).ok());
  }

  // Typing asks for one search once it pauses, not one a key.
  void aPauseInTypingStartsOneSearch() {
    gui::SearchPane pane;
    int searches = 0;
    pane.on_changed = [&] { ++searches; };
    for (const char* typed : {"m", "me", "mee", "meet"})
      pane.findChild<QLineEdit*>("txtQuery")->setText(typed);
    QTRY_COMPARE(searches, 1);
    QTest::qWait(400);
    QCOMPARE(searches, 1);
  }

  void hitsAreListedAndOpenedRoundTheEnds() {
    gui::SearchPane pane;
    std::vector<std::pair<int64_t, int64_t>> opened;
    pane.on_hit_opened = [&](int64_t c, int64_t m) { opened.push_back({c, m}); };
    pane.Begin();
    QCOMPARE(pane.findChild<QLabel*>("lblHits")->text(), QString::fromUtf8("Searching\u2026"));
    pane.AddHits({Hit(10, 1), Hit(11, 2), Hit(12, 2)});
    QVERIFY(!pane.AllShown());  // until the count says how many there are
    pane.ShowCount(3);
    QVERIFY(pane.AllShown());
    QCOMPARE(pane.findChild<QLabel*>("lblHits")->text(), QString("3 messages"));
    auto* list = pane.findChild<QListWidget*>("lstHits");
    QCOMPARE(list->item(0)->text(),
             QString("2022-09-30 17:39  jabber/me/bob\nBob: see you at eight"));
    pane.MoveHit(-1);
    pane.MoveHit(1);
    pane.MoveHit(1);
    QCOMPARE(opened, (std::vector<std::pair<int64_t, int64_t>>{{2, 12}, {1, 10}, {2, 11}}));
    QCOMPARE(pane.HitConversations(), (std::vector<int64_t>{1, 2, 2}));
    pane.Begin();
    QCOMPARE(pane.HitsShown(), int64_t{0});
  }
};

QTEST_MAIN(SearchPaneTest)
#include "search_pane_test.moc"
