#include "gui/conversation_list.h"

#include <QtTest>

using namespace chatterwick;

namespace {

archive::ConversationRow Row(int64_t id, const std::string& started, int64_t messages,
                             bool present = true) {
  archive::ConversationRow r;
  r.id = id;
  r.file_name = started.empty() ? "notes.html" : started.substr(0, 10) + ".html";
  r.title = "Conversation " + std::to_string(id);
  r.started_at = started;
  r.messages = messages;
  r.present = present;
  return r;
}

}  // namespace

class ConversationListTest : public QObject {
  Q_OBJECT

 private slots:
  void theLatestOpensAndGoneLogsAreMarked() {
    gui::ConversationList list;
    std::vector<int64_t> opened;
    list.on_opened = [&](int64_t id) { opened.push_back(id); };
    list.Show({Row(7, "2022-09-30T17:38:26+02:00", 43), Row(3, "2019-01-09T09:48:00+01:00", 5),
               Row(9, "2023-02-01T08:00:00+01:00", 2, false)});
    QCOMPARE(list.topLevelItemCount(), 3);
    QCOMPARE(list.topLevelItem(0)->text(0), QString("2019-01-09 09:48"));
    QCOMPARE(opened, std::vector<int64_t>{9});
    QVERIFY(list.topLevelItem(2)->text(2).endsWith("(log gone)"));
    QVERIFY(!list.topLevelItem(0)->text(2).contains("gone"));
    // Shown anew, nothing but the latest opens again.
    list.Show({});
    QCOMPARE(list.topLevelItemCount(), 0);
    QCOMPARE(opened.size(), size_t(1));
  }

  // Who with, in a column of its own; the client's own title, which only
  // repeats it, left to the tip; a person's many conversations newest first.
  void aListSaysWhoWithAndCanStartAtTheNewest() {
    gui::ConversationList list;
    std::vector<int64_t> opened;
    list.on_opened = [&](int64_t id) { opened.push_back(id); };
    std::vector<archive::ConversationRow> rows = {Row(1, "2020-01-01T10:00:00+00:00", 1),
                                                  Row(2, "2021-01-01T10:00:00+00:00", 1)};
    rows[0].contact_id = 5;
    rows[1].title = "Conversation with bob at 2021-01-01 on me (aim)";
    list.Show(
        rows, [](int64_t contact) { return QString("contact %1").arg(contact); }, true);
    QCOMPARE(list.topLevelItem(0)->text(0), QString("2021-01-01 10:00"));
    QCOMPARE(opened, std::vector<int64_t>{2});
    QCOMPARE(list.topLevelItem(1)->text(1), QString("contact 5"));
    QCOMPARE(list.topLevelItem(0)->text(2), QString());
    QCOMPARE(list.topLevelItem(0)->toolTip(2), QString::fromStdString(rows[1].title));
    QCOMPARE(list.topLevelItem(1)->text(2), QString("Conversation 1"));
  }

  void chosenConversationsAreWhatAnExportTakes() {
    gui::ConversationList list;
    std::vector<int64_t> opened;
    list.on_opened = [&](int64_t id) { opened.push_back(id); };
    list.Show({Row(1, "2020-01-01T10:00:00+00:00", 1), Row(2, "2020-01-02T10:00:00+00:00", 1),
               Row(3, "", 1)});
    QVERIFY(list.Select(1));
    QVERIFY(!list.Select(42));
    // Chosen from outside (a search hit), the list follows without opening it again.
    QCOMPARE(opened.size(), size_t(1));
    list.topLevelItem(0)->setSelected(true);
    list.topLevelItem(1)->setSelected(true);
    std::vector<int64_t> ids = list.ChosenIds();
    std::sort(ids.begin(), ids.end());
    QVERIFY(std::find(ids.begin(), ids.end(), 1) != ids.end());
    QCOMPARE(ids.size(), size_t(2));
  }
};

QTEST_MAIN(ConversationListTest)
#include "conversation_list_test.moc"
