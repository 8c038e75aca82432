#include "gui/reading_view.h"

#include <QLabel>
#include <QtTest>

#include "gui/message_view.h"

using namespace chatterwick;

namespace {

archive::MessageRow Message(int64_t id, const std::string& sent_at, const std::string& body) {
  archive::MessageRow m;
  m.id = id;
  m.line_number = id;
  m.time_text = "(" + sent_at.substr(11, 8) + ")";
  m.sent_at = sent_at;
  m.sender = "Bob";
  m.body = body;
  m.kind = "chat";
  return m;
}

QStringList Kinds(const QAbstractItemModel* model) {
  QStringList kinds;
  for (int r = 0; r < model->rowCount(); ++r)
    kinds << model->index(r, 0).data(gui::MessageModel::kKindRole).toString();
  return kinds;
}

}  // namespace

class ReadingViewTest : public QObject {
  Q_OBJECT

 private slots:
  // A day's heading comes once, also when its messages come in two pages.
  void pagesContinueTheirDay() {
    gui::ReadingView view;
    view.Show({Message(1, "2022-09-30T23:58:00+02:00", "late"),
               Message(2, "2022-10-01T00:01:00+02:00", "after midnight")});
    view.Append({Message(3, "2022-10-01T00:02:00+02:00", "same day"),
                 Message(4, "2022-10-02T09:00:00+02:00", "next day")});
    QCOMPARE(Kinds(view.model()),
             QStringList({"day", "chat", "day", "chat", "chat", "day", "chat"}));
    QVERIFY(view.ShowMessage(4));
    QCOMPARE(view.currentIndex().data(gui::MessageModel::kMessageIdRole).toLongLong(), 4);
    QVERIFY(!view.ShowMessage(5));
    // Shown anew, the days start over.
    view.Show({Message(5, "2022-10-02T10:00:00+02:00", "again")});
    QCOMPARE(Kinds(view.model()), QStringList({"day", "chat"}));
  }

  void theChosenRowsAreTheTextACopyTakes() {
    gui::ReadingView view;
    QCOMPARE(view.ChosenText(), QString());
    view.Show({Message(1, "2022-09-30T17:00:00+02:00", "one"),
               Message(2, "2022-09-30T17:01:00+02:00", "two")});
    view.selectionModel()->select(view.model()->index(2, 0), QItemSelectionModel::Select);
    view.selectionModel()->select(view.model()->index(1, 0), QItemSelectionModel::Select);
    QCOMPARE(view.ChosenText(), QString("17:00:00  Bob: one\n17:01:00  Bob: two\n"));
  }

  // The words of a hit are marked where they stand, letter case ignored,
  // the message in hand too; finding moves among the messages that hold a
  // text, round at the ends, and never stops at a day's heading.
  void wordsAreMarkedAndFound() {
    gui::ReadingView view;
    view.Show({Message(1, "2022-09-30T17:00:00+02:00", "Øresund at noon"),
               Message(2, "2022-09-30T17:01:00+02:00", "no match here"),
               Message(3, "2022-10-01T09:00:00+02:00", "the øresund bridge, ØRESUND")});
    QCOMPARE(gui::Occurrences("the øresund bridge, ØRESUND", {"Øresund"}),
             (QList<std::pair<int, int>>{{4, 7}, {20, 7}}));
    QCOMPARE(view.CountMatches("øresund"), 3);
    QCOMPARE(view.CountMatches("2022"), 0);  // the headings are no messages
    QVERIFY(view.ShowMessage(1));
    view.Mark({"øresund"});
    auto* text = qobject_cast<QLabel*>(view.indexWidget(view.currentIndex()));
    QVERIFY(text);
    QCOMPARE(text->textFormat(), Qt::RichText);
    QVERIFY(text->text().contains(">Øresund</span> at noon"));
    auto id = [&] { return view.currentIndex().data(gui::MessageModel::kMessageIdRole).toInt(); };
    view.MoveToMatch("øresund", false);
    QCOMPARE(id(), 3);
    view.MoveToMatch("øresund", false);
    QCOMPARE(id(), 1);
    view.MoveToMatch("øresund", true);
    QCOMPARE(id(), 3);
    view.MoveToMatch("nowhere", true);
    QCOMPARE(id(), 3);
    view.Mark({});
    text = qobject_cast<QLabel*>(view.indexWidget(view.currentIndex()));
    QCOMPARE(text->textFormat(), Qt::PlainText);
  }
};

QTEST_MAIN(ReadingViewTest)
#include "reading_view_test.moc"
