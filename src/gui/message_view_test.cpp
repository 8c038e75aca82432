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
};

QTEST_MAIN(MessageViewTest)
#include "message_view_test.moc"
