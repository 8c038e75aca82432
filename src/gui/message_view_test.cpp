#include "gui/message_view.h"

#include <QtTest>

using namespace chatterwick;

class MessageViewTest : public QObject {
  Q_OBJECT

 private slots:
  // A message's own line breaks start new lines of its row; nothing else does.
  void aMessageLineBreakMakesItsRowTaller() {
    gui::MessageModel model;
    std::vector<archive::MessageRow> rows(3);
    const char* bodies[] = {"one line", "first\nsecond", "first\nsecond\nthird"};
    for (size_t i = 0; i < rows.size(); ++i) {
      rows[i].id = static_cast<int64_t>(i + 1);
      rows[i].time_text = "(17:00:00)";
      rows[i].sender = "Bob";
      rows[i].body = bodies[i];
      rows[i].kind = "chat";
    }
    model.SetMessages(rows);
    gui::MessageDelegate delegate;
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, 2000, 20);
    int heights[3];
    for (int r = 0; r < 3; ++r) heights[r] = delegate.sizeHint(option, model.index(r, 0)).height();
    const int line = QFontMetrics(option.font).height();
    QVERIFY2(heights[1] - heights[0] >= line * 9 / 10, qPrintable(QString::number(heights[1])));
    QCOMPARE(heights[2] - heights[1], heights[1] - heights[0]);
  }

  // Each sender of what is shown has a colour of its own, in the order they
  // first speak, as the exported page gives them; a status line takes none.
  void sendersTakeColoursInTheOrderTheySpeak() {
    auto rows = [](std::vector<std::pair<std::string, std::string>> said) {
      std::vector<archive::MessageRow> out;
      for (const auto& [sender, kind] : said) {
        archive::MessageRow m;
        m.id = static_cast<int64_t>(out.size() + 1);
        m.time_text = "(17:00:00)";
        m.sender = sender;
        m.kind = kind;
        out.push_back(m);
      }
      return out;
    };
    auto colours = [](const gui::MessageModel& model) {
      QList<int> got;
      for (int r = 0; r < model.rowCount(); ++r)
        got << model.index(r, 0).data(gui::MessageModel::kColourRole).toInt();
      return got;
    };
    gui::MessageModel model;
    model.SetMessages(
        rows({{"", "status"}, {"Erin", "chat"}, {"Alice", "chat"}, {"Erin", "action"}}));
    model.AppendMessages(rows({{"Bob", "chat"}, {"Alice", "chat"}}));
    QCOMPARE(colours(model), (QList<int>{0, 0, 1, 0, 2, 1}));
    model.SetMessages(rows({{"Alice", "chat"}}));
    QCOMPARE(colours(model), (QList<int>{0}));
  }
};

QTEST_MAIN(MessageViewTest)
#include "message_view_test.moc"
